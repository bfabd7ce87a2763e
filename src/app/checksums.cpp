#include "app/checksums.h"

#include <chrono>
#include <cstdint>
#include <fstream>
#include <iterator>

#include "app/archrun.h"
#include "base/createdirectory.h"
#include "platform/numtext.h"
#include "platform/files.h"

namespace {

std::string Join(const std::string &dir, const std::string &name) {
  return dir + plat::PathSeparator() + name;
}

// A line of sha256sum: an optional backslash (the name is escaped), 64 hex
// digits, a blank, a blank or '*' (binary mode), the name. Empty name on
// failure.
std::string ParseLine(const std::string &line, std::string &hex) {
  size_t at = 0;
  const bool escaped = !line.empty() && line[0] == '\\';
  if (escaped)
    at = 1;
  if (line.size() < at + 67)
    return std::string();
  hex.clear();
  for (size_t k = at; k < at + 64; ++k) {
    const int value = HexDigit(line[k]);
    if (value < 0)
      return std::string();
    hex += "0123456789abcdef"[value];
  }
  if (line[at + 64] != ' ' || (line[at + 65] != ' ' && line[at + 65] != '*'))
    return std::string();
  std::string name;
  for (size_t k = at + 66; k < line.size(); ++k) {
    if (escaped && line[k] == '\\' && k + 1 < line.size()) {
      const char next = line[++k];
      name += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      name += line[k];
    }
  }
  return name;
}

} // namespace

std::string HexDigest(const plat::Sha256Digest &digest) {
  std::string hex;
  for (uint8_t byte : digest) {
    hex += "0123456789abcdef"[byte >> 4];
    hex += "0123456789abcdef"[byte & 15];
  }
  return hex;
}

bool ChecksumList::Load(const std::string &dir) {
  sums.clear();
  badLines.clear();
  changed = false;
  const std::string path = Join(dir, kSumsName);
  present = plat::FileExists(path);
  if (!present)
    return true;
  std::ifstream in(path, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof())
    return false;
  if (!in.is_open())
    return false;
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty())
      continue;
    std::string hex;
    const std::string name = ParseLine(line, hex);
    if (name.empty() || !IsSafeComponent(name) || Has(name))
      badLines.push_back(number);
    else
      sums[name] = hex;
  }
  return true;
}

bool ChecksumList::Save(const std::string &dir) {
  if (sums.empty() && !present)
    return true;
  std::string text;
  for (const auto &[name, hex] : sums)
    text += hex + "  " + name + "\n";
  const std::string target = Join(dir, kSumsName);
  // Two runs sharing an archive root may rewrite one list at the same
  // moment: each writes a temporary of its own, so neither renames the
  // other's half-written text into place.
  const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
  const std::string temporary = Join(dir, std::string("~") + kSumsName + "." + std::to_string(tick) + ".tmp");
  if (!plat::ReplaceWhole(target, temporary, text.data(), text.size()))
    return false;
  plat::SyncDirectory(dir);
  present = true;
  changed = false;
  return true;
}

void ChecksumList::Set(const std::string &name, const plat::Sha256Digest &digest) {
  std::string &line = sums[name];
  const std::string hex = HexDigest(digest);
  changed = changed || line != hex;
  line = hex;
}

void ChecksumList::Erase(const std::string &name) { changed = sums.erase(name) != 0 || changed; }

std::string Quarantine(const std::string &dir, const std::string &name) {
  const std::string folder = Join(dir, kQuarantineName);
  if (!plat::DirectoryExists(folder) && !CreateDirectoryPath(folder))
    return std::string();
  const std::string from = Join(dir, name);
  for (int copy = 0; copy < 1000; ++copy) {
    const std::string to = Join(folder, copy == 0 ? name : name + "." + std::to_string(copy));
    if (plat::FileExists(to) || plat::DirectoryExists(to))
      continue;
    if (plat::RenameNoReplace(from, to)) {
      plat::SyncDirectory(folder);
      plat::SyncDirectory(dir);
      return to;
    }
    if (!plat::FileExists(from))
      return std::string();
  }
  return std::string();
}
