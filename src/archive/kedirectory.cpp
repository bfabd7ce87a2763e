#include "archive/kedirectory.h"

#include <chrono>
#include <cstdint>
#include <cstring>

#include "platform/clock.h"
#include "platform/numtext.h"
#include "platform/stop.h"

namespace {

// How often a held lock is tried again while the wait lasts.
constexpr int kLockRetryMs = 250;

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

bool IsUnusable(const std::string &path) {
  const plat::EntryType type = plat::TypeOf(path);
  return type != plat::EntryType::kNone && type != plat::EntryType::kDirectory;
}

} // namespace

bool IsArchiveName(const std::string &name) {
  if (name.size() < 8 || (name[0] != 'Z' && name[0] != 'z') || !IsDigit(name[1]) || !IsDigit(name[2]) ||
      !IsDigit(name[3]) || !IsDigit(name[4]))
    return false;
  const std::string end = name.substr(name.size() - 3);
  return end[0] == '.' && (end[1] == 'e' || end[1] == 'E') && (end[2] == 'j' || end[2] == 'J');
}

std::string ArchiveNumberName(int number) {
  char name[8] = "Z0000";
  for (int k = 4; k >= 1; --k, number /= 10)
    name[k] = static_cast<char>('0' + number % 10);
  return name;
}

EntryKind KindOf(const plat::FoundFile &entry) {
  if (entry.attributes & plat::kAttrLink)
    return EntryKind::kLink;
  if (entry.attributes & (plat::kAttrDirectory | plat::kAttrHidden | plat::kAttrSystem))
    return EntryKind::kLeftAlone;
  return IsArchiveName(entry.name) ? EntryKind::kArchive : EntryKind::kForeign;
}

bool IsEndMarker(int lastByte) { return lastByte == 0xFF || lastByte == 0x1A; }

bool HasEndMarker(const plat::Dir &dir, const std::string &name) {
  std::vector<uint8_t> tail;
  uint64_t size = 0;
  return dir.ReadTail(name, 1, tail, size) && size > 0 && !tail.empty() && IsEndMarker(tail.back());
}

namespace {

std::vector<plat::FoundFile> NotLeftAlone(std::vector<plat::FoundFile> &&found) {
  std::vector<plat::FoundFile> entries;
  for (plat::FoundFile &entry : found)
    if (KindOf(entry) != EntryKind::kLeftAlone)
      entries.push_back(std::move(entry));
  return entries;
}

} // namespace

bool ArchiveEntries(const plat::Dir &dir, std::vector<plat::FoundFile> &entries) {
  std::vector<plat::FoundFile> found;
  const bool listed = dir.List("Z*.ej", plat::kAttrArchive, found);
  entries = NotLeftAlone(std::move(found));
  return listed;
}

std::vector<plat::FoundFile> ArchiveEntries(const std::string &dir) {
  return NotLeftAlone(plat::FindFiles(dir, "Z*.ej", plat::kAttrArchive));
}

int CountArchiveFiles(const std::string &dir) {
  int count = 0;
  for (const plat::FoundFile &entry : ArchiveEntries(dir))
    if (KindOf(entry) == EntryKind::kArchive)
      ++count;
  return count;
}

std::optional<std::string> UnusableFolder(const std::string &dir) {
  for (const std::string &path : {dir, plat::JoinPath(dir, kQuarantineName), plat::JoinPath(dir, kLogFolderName)})
    if (IsUnusable(path))
      return path;
  return std::nullopt;
}

DirectoryLock LockKeDirectory(plat::FileLock &lock, const plat::Dir &dir, int waitMs,
                              const std::function<void()> &onWait, bool shared) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  bool waiting = false;
  for (;;) {
    const plat::FileLock::Try result = lock.TryLock(dir, kLockName, shared);
    if (result == plat::FileLock::Try::kFailed)
      return DirectoryLock::kFailed;
    if (result == plat::FileLock::Try::kTaken)
      break;
    if (std::chrono::steady_clock::now() >= deadline || plat::StopRequested())
      return DirectoryLock::kBusy;
    if (!waiting && onWait)
      onWait();
    waiting = true;
    plat::WaitForStop(kLockRetryMs);
  }
  if (shared)
    return DirectoryLock::kTaken;
  // Whoever wrote these died before the rename (the writers that live hold
  // the lock); the entries go as they are, a link as the link.
  std::vector<plat::FoundFile> leftovers;
  dir.List("~*.tmp", plat::kAttrArchive, leftovers);
  for (const plat::FoundFile &entry : leftovers)
    if (plat::IsTemporaryName(entry.name) && !(entry.attributes & plat::kAttrDirectory))
      dir.Remove(entry.name);
  return DirectoryLock::kTaken;
}

bool IsSafeComponent(const std::string &name) {
  if (name.empty() || name == "." || name == "..")
    return false;
  for (char ch : name) {
    auto byte = static_cast<unsigned char>(ch);
    if (byte < 0x20 || byte == 0x7F || std::strchr("/\\:*?\"<>|", ch) != nullptr)
      return false;
  }
  char last = name.back();
  if (last == '.' || last == ' ')
    return false;
  // Windows opens a device for these names, with or without an extension.
  return !plat::IsReservedDeviceName(name);
}
