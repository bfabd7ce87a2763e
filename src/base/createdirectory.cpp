#include "base/createdirectory.h"

#include <vector>

#include "platform/access.h"
#include "platform/files.h"
#include "platform/syserror.h"

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

bool MakeLevel(const std::string &path, bool protect) {
  return protect ? plat::CreateProtectedDirectory(path) : plat::CreateOneDirectory(path);
}

} // namespace

bool CreateDirectoryPath(const std::string &path, bool protect) {
  if (path.empty())
    return false;
  if (plat::DirectoryExists(path))
    return true;

  const char separator = plat::PathSeparator();
  const std::vector<std::string> parts = SplitPath(path, separator);
  const plat::PathStart start = plat::PathStartOf(parts);
  std::string prefix = start.path;
  size_t next = start.parts;
  // The reason of the last level that could not be made is the one to give.
  uint32_t failure = 0;
  if (start.create && !plat::DirectoryExists(prefix) && !MakeLevel(prefix, protect))
    failure = plat::SystemError();

  for (; next < parts.size() && !parts[next].empty(); ++next) {
    prefix = prefix.empty() ? parts[next] : prefix + separator + parts[next];
    if (!plat::DirectoryExists(prefix) && !MakeLevel(prefix, protect))
      failure = plat::SystemError();
  }
  if (plat::DirectoryExists(path))
    return true;
  if (failure != 0)
    plat::RestoreSystemError(failure);
  return false;
}
