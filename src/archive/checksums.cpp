#include "archive/checksums.h"

#include <algorithm>
#include <cstdint>

#include "platform/files.h"
#include "platform/numtext.h"

namespace {

// A line of the list: 64 hex digits, two blanks, the name. Empty name when
// the line is no such line; sha256sum's binary mode ("<hex> *name") and its
// escaped names (a leading backslash) are none: no archive file needs them.
std::string ParseLine(const std::string &line, std::string &hex) {
  if (line.size() < 67 || line[64] != ' ' || line[65] != ' ')
    return std::string();
  hex.clear();
  for (size_t k = 0; k < 64; ++k) {
    const int value = HexDigit(line[k]);
    if (value < 0)
      return std::string();
    hex += "0123456789abcdef"[value];
  }
  return line.substr(66);
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
  plat::Dir held;
  if (!held.Open(dir)) {
    *this = ChecksumList();
    present = true;
    readable = false;
    error = plat::LastErrorText();
    return false;
  }
  return Load(held);
}

bool ChecksumList::Save(const std::string &dir) {
  plat::Dir held;
  return held.Open(dir) && Save(held);
}

bool ChecksumList::Load(const plat::Dir &dir) {
  *this = ChecksumList();
  present = dir.TypeOf(kSumsName) != plat::EntryType::kNone;
  if (!present)
    return true;
  // Read as every file is: a link, a FIFO, a folder or a list past the
  // bound is no list this program reads, and so none it writes.
  std::string text;
  if (!plat::ReadWholeFile(dir, kSumsName, kMaxSumsBytes, text)) {
    error = plat::LastErrorText();
    // Gone between the look and the read: missing, so empty.
    if (dir.TypeOf(kSumsName) == plat::EntryType::kNone) {
      present = false;
      error.clear();
      return true;
    }
    readable = false;
    return false;
  }
  // A last line without its line feed is not read, and must not run into a
  // line appended after it.
  rewrite = !text.empty() && text.back() != '\n';
  size_t start = 0;
  for (int number = 1; start < text.size(); ++number) {
    const size_t end = text.find('\n', start);
    if (end == std::string::npos)
      break;
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r')
      line.pop_back();
    if (line.empty())
      continue;
    std::string hex;
    const std::string name = ParseLine(line, hex);
    if (name.empty() || !IsArchiveName(name) || !IsSafeComponent(name)) {
      badLines.push_back(number);
      if (!name.empty())
        foreignLines.emplace_back(number, name);
      continue;
    }
    if (Has(name)) {
      repeatLines.push_back(number);
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
  if (!readable)
    return false;
  // Only new names after the highest one: appended, the list's order kept.
  if (present && !rewrite && added.begin()->first > lastName)
    return AppendAdded(dir);
  return RewriteMerged(dir);
}

bool ChecksumList::AppendAdded(const plat::Dir &dir) {
  std::string text;
  for (const auto &[name, hex] : added)
    text += hex + "  " + name + "\n";
  if (!dir.AppendAtomically(kSumsName, text.data(), text.size(), true))
    return false;
  lastName = added.rbegin()->first;
  added.clear();
  return true;
}

bool ChecksumList::RewriteMerged(const plat::Dir &dir) {
  // The list on disk now, with this list's new lines on top (a name another
  // writer gave a line meanwhile keeps that line).
  ChecksumList merged;
  if (!merged.Load(dir)) {
    error = merged.error;
    return false;
  }
  for (const auto &[name, hex] : added)
    merged.sums.emplace(name, hex);
  if (withoutRepeats)
    merged.repeats.clear();
  if (merged.sums.empty() && !merged.present)
    return true;
  std::string text;
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
  rewrite = false;
  withoutRepeats = false;
  badLines.clear();
  foreignLines.clear();
  repeatLines.clear();
  added.clear();
  return true;
}

void ChecksumList::Add(const std::string &name, const plat::Sha256Digest &digest) {
  // Only lines Load reads back: a file under another name (a garbled
  // Directory line) is foreign, and the disk check moves it aside.
  if (Has(name) || !IsArchiveName(name) || !IsSafeComponent(name))
    return;
  sums[name] = HexDigest(digest);
  added[name] = sums[name];
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
