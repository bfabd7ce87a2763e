#include "archive/checksums.h"

#include <algorithm>
#include <cstdint>

#include "platform/files.h"
#include "platform/numtext.h"

namespace {

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

// The list is never longer than this: a bigger file is no list of one KE.
constexpr uint64_t kMaxListBytes = 64ull << 20;

bool ChecksumList::Load(const std::string &dir) {
  plat::Dir held;
  return held.Open(dir) && Load(held);
}

bool ChecksumList::Save(const std::string &dir) {
  plat::Dir held;
  return held.Open(dir) && Save(held);
}

bool ChecksumList::Load(const plat::Dir &dir) {
  sums.clear();
  repeats.clear();
  badLines.clear();
  edits.clear();
  lastName.clear();
  rewrite = false;
  linked = false;
  const plat::EntryType type = dir.TypeOf(kSumsName);
  present = type != plat::EntryType::kNone;
  if (type == plat::EntryType::kLink) {
    linked = true;
    rewrite = true;
    return true;
  }
  if (!present)
    return true;
  // A folder or a device in its place is never opened, nor appended to.
  if (type != plat::EntryType::kFile) {
    rewrite = true;
    return false;
  }
  std::string text;
  if (!plat::ReadWholeFile(dir, kSumsName, kMaxListBytes, text))
    return false;
  // A last line without its line feed (a writer that died in the middle of
  // it) must not run into a line appended after it.
  rewrite = !text.empty() && text.back() != '\n';
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
    if (name.empty() || !IsSafeComponent(name)) {
      badLines.push_back(number);
      continue;
    }
    if (Has(name)) {
      badLines.push_back(number);
      repeats.emplace(name, hex);
    } else {
      sums[name] = hex;
    }
    lastName = std::max(lastName, name);
  }
  return true;
}

bool ChecksumList::Save(const plat::Dir &dir) {
  if (!Changed())
    return true;
  // Only new names after the last one: appended, the list's order kept.
  bool append = present && !rewrite && edits.begin()->first > lastName;
  std::string text;
  for (const auto &[name, hex] : edits) {
    append = append && hex.has_value();
    if (hex)
      text += *hex + "  " + name + "\n";
  }
  if (append) {
    if (!dir.AppendAtomically(kSumsName, text.data(), text.size(), true))
      return false;
    lastName = edits.rbegin()->first;
    edits.clear();
    return true;
  }

  // Whole: the list on disk now, with this list's changes on top.
  ChecksumList merged;
  if (!merged.Load(dir))
    return false;
  for (const auto &[name, hex] : edits) {
    merged.sums.erase(name);
    merged.repeats.erase(name);
    if (hex)
      merged.sums[name] = *hex;
  }
  if (merged.sums.empty() && !merged.present)
    return true;
  text.clear();
  for (const auto &[name, hex] : merged.sums) {
    text += hex + "  " + name + "\n";
    const auto [from, to] = merged.repeats.equal_range(name);
    for (auto it = from; it != to; ++it)
      text += it->second + "  " + name + "\n";
  }
  if (!dir.PutInPlace(kSumsName, text.data(), text.size()))
    return false;
  sums = std::move(merged.sums);
  repeats = std::move(merged.repeats);
  lastName = sums.empty() ? std::string() : sums.rbegin()->first;
  present = true;
  linked = false;
  rewrite = false;
  edits.clear();
  return true;
}

bool ChecksumList::Matches(const std::string &name, const std::string &hex) const {
  const auto first = sums.find(name);
  if (first != sums.end() && first->second == hex)
    return true;
  const auto [from, to] = repeats.equal_range(name);
  for (auto it = from; it != to; ++it)
    if (it->second == hex)
      return true;
  return false;
}

void ChecksumList::Set(const std::string &name, const plat::Sha256Digest &digest) {
  const std::string hex = HexDigest(digest);
  const auto line = sums.find(name);
  if (line != sums.end() && line->second == hex && repeats.count(name) == 0)
    return;
  sums[name] = hex;
  repeats.erase(name);
  edits[name] = hex;
}

void ChecksumList::Erase(const std::string &name) {
  if (sums.erase(name) + repeats.erase(name) != 0)
    edits[name] = std::nullopt;
}

std::string Quarantine(const plat::Dir &dir, const std::string &name) {
  // Never through a link: the folder is made when missing and opened
  // without following one, so the damaged file stays inside the archive.
  plat::Dir folder;
  if (!folder.Open(dir, kQuarantineName, true))
    return std::string();
  for (int copy = 0; copy < 1000; ++copy) {
    const std::string to = copy == 0 ? name : name + "." + std::to_string(copy);
    if (folder.TypeOf(to) != plat::EntryType::kNone)
      continue;
    if (dir.RenameNoReplace(name, folder, to)) {
      folder.Sync();
      dir.Sync();
      return folder.PathOf(to);
    }
    if (dir.TypeOf(name) == plat::EntryType::kNone)
      return std::string();
  }
  return std::string();
}
