#include "base/createdirectory.h"

#include <vector>

#include "platform/files.h"

namespace {

std::vector<std::string> SplitPath(const std::string &path, char separator) {
  std::vector<std::string> parts(1);
  for (char c : path) {
    if (c == separator)
      parts.emplace_back();
    else
      parts.back() += c;
  }
  return parts;
}

bool IsDrivePrefix(const std::string &component) {
  return component.size() >= 2 && component[0] != 0 && static_cast<unsigned char>(component[0]) < 0x80 &&
         component[1] == ':';
}

} // namespace

bool CreateDirectoryPath(const std::string &path) {
  if (path.empty())
    return false;
  if (plat::DirectoryExists(path))
    return true;

  const char separator = plat::PathSeparator();
  const std::vector<std::string> parts = SplitPath(path, separator);
  std::string prefix;
  size_t next = 0;
  if (separator == '\\' && IsDrivePrefix(parts[0])) {
    // "D:" or the drive-relative "c:dane": never created, the walk starts after it.
    prefix = parts[0];
    next = 1;
  } else if (parts.size() > 2 && parts[0].empty() && parts[1].empty() && !parts[2].empty()) {
    // Network path: the first level is the two separators and the server name.
    prefix = std::string(2, separator) + parts[2];
    next = 3;
    if (!plat::DirectoryExists(prefix))
      plat::CreateOneDirectory(prefix);
  } else if (parts.size() > 1 && parts[0].empty() && !parts[1].empty()) {
    // Absolute path from the root.
    prefix = std::string(1, separator) + parts[1];
    next = 2;
    if (!plat::DirectoryExists(prefix))
      plat::CreateOneDirectory(prefix);
  }

  for (; next < parts.size() && !parts[next].empty(); ++next) {
    prefix = prefix.empty() ? parts[next] : prefix + separator + parts[next];
    if (!plat::DirectoryExists(prefix))
      plat::CreateOneDirectory(prefix);
  }
  return plat::DirectoryExists(path);
}
