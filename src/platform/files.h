// File-system facilities the logic needs. Paths are narrow texts in the
// system code page; the separator is the platform's.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/syserror.h"

namespace plat {

// '\\' on Windows, '/' elsewhere.
char PathSeparator();
// dir and name joined by the platform's separator: the one way the program
// makes a path of a folder and a name in it.
inline std::string JoinPath(const std::string &dir, const std::string &name) {
  return dir + PathSeparator() + name;
}

bool DirectoryExists(const std::string &path);
// True when the directory's entries can be listed.
bool DirectoryListable(const std::string &path);

// The fixed start of a path split at the separator (parts[0] is what comes
// before the first separator): how many parts it takes, the start as a path,
// and whether that start is a level to create. Windows: a drive prefix ("D:"
// or the drive-relative "c:dane") is never created; a network path starts at
// its server name. Both: an absolute path starts at its first level.
struct PathStart {
  size_t parts = 0;
  std::string path;
  bool create = false;
};
PathStart PathStartOf(const std::vector<std::string> &parts);
// Creates one directory level; true when the directory exists afterwards,
// made now or by another process in the meantime.
bool CreateOneDirectory(const std::string &path);

// What is at a path, the last component not followed: nothing, a regular
// file, a directory, a link (Windows: a reparse point such as a junction or
// a symbolic link), or something else (a device, a FIFO, a socket).
enum class EntryType { kNone, kFile, kDirectory, kLink, kOther };
EntryType TypeOf(const std::string &path);

// Appends bytes to a file (created if missing) with one write on a descriptor
// opened for appending, so lines of concurrent writers never tear or mix. A
// link at the last component of path is never followed: the append fails.
// With sync the bytes are on the disk when it returns.
bool AppendAtomically(const std::string &path, const void *bytes, size_t count, bool sync = false);

// The one way a file is put in place: the bytes go to a new temporary in
// path's folder, created exclusively without following a link under a name
// nobody can predict (TemporaryName), written, flushed and synced, then
// renamed over path and the rename made durable. A link at path is replaced
// by the file (its target is untouched). A path that holds a directory, a
// device or anything else that is neither a regular file nor a link is
// refused and left as it is. On failure the temporary is removed and path
// is left as it was.
bool PutInPlace(const std::string &path, const void *bytes, size_t count);

// The temporaries of this program: "~<name>.<16 hex digits>.tmp" beside
// the file they become. Every temporary it ever wrote (older versions wrote
// "~<name>.tmp" and "~SHA256SUMS.<tick>.tmp") starts with '~' and ends in
// ".tmp", which no archive file, list or log does.
inline std::string TemporaryName(const std::string &name, uint64_t random) {
  std::string hex(16, '0');
  for (int k = 15; k >= 0; --k, random >>= 4)
    hex[static_cast<size_t>(k)] = "0123456789abcdef"[random & 15];
  return "~" + name + "." + hex + ".tmp";
}
inline bool IsTemporaryName(const std::string &name) {
  return name.size() > 5 && name[0] == '~' && name.compare(name.size() - 4, 4, ".tmp") == 0;
}

bool RemoveFile(const std::string &path);
// Renames from to a name that must not exist yet; false (and nothing moved)
// when it does. A link is moved as the link.
bool RenameNoReplace(const std::string &from, const std::string &to);
// Makes a rename or a new file in dir durable (Linux: fsync of the
// directory; Windows renames write through and need nothing more).
void SyncDirectory(const std::string &dir);
bool FileExists(const std::string &path);

// Reads a whole regular file of at most maxBytes bytes. A link is never
// followed, a FIFO or device never opened for long nor waited for; false,
// with the system's reason in error, when the file cannot be opened or read
// whole, is no regular file, or is larger than maxBytes (the thread's system
// error then carries the same reason).
bool ReadWholeFile(const std::string &path, uint64_t maxBytes, std::vector<uint8_t> &out, std::string &error);

// Reads up to count bytes from the end of a file; size gets the file size.
bool ReadTail(const std::string &path, size_t count, std::vector<uint8_t> &tail, uint64_t &size);

// File attributes as the Windows directory search reports them.
constexpr uint32_t kAttrReadOnly = 0x01;
constexpr uint32_t kAttrHidden = 0x02;
constexpr uint32_t kAttrSystem = 0x04;
constexpr uint32_t kAttrDirectory = 0x10;
constexpr uint32_t kAttrArchive = 0x20;
// A link (Windows: a reparse point such as a junction).
constexpr uint32_t kAttrLink = 0x400;

struct FoundFile {
  std::string name;     // without directory
  uint32_t attributes;  // kAttr* bits
  uint64_t size;
};

// Directory search of dir for names matching pattern (only '*' and '?'
// wildcards; letter case as the file system treats it) with the attribute
// mask of the Windows search: with kAttrArchive alone, plain files and
// links (kAttrLink; a link is never followed); with kAttrDirectory,
// directories too (links to directories reported with kAttrDirectory and
// kAttrLink).
std::vector<FoundFile> FindFiles(const std::string &dir, const std::string &pattern, uint32_t mask);

// A lock on a lock file, held until Release, the object's end or the end of
// the process (the system drops it then). POSIX: flock; Windows: LockFileEx.
// Exclusive: the lock file is created when missing and is never removed.
// Shared (a reader beside other readers): the lock file is only opened, never
// created; kFailed when it is missing. One that is a link is refused.
class FileLock {
public:
  enum class Try { kTaken, kHeld, kFailed };  // kHeld: someone else holds it
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;
  Try TryLock(const std::string &path, bool shared = false);
  void Release();

private:
  intptr_t handle = -1;
};

std::string CurrentDirectory();
// The path as an absolute one: a relative path is taken from the current
// directory (Windows: also a drive-relative "c:dane"); nothing is resolved
// on disk.
std::string AbsolutePath(const std::string &path);
std::string TempDirectory();

// The default log directory and the directory a log line falls back to when
// its file cannot be opened even after creating the directory.
std::string DefaultLogDirectory();
std::string FallbackLogDirectory(const std::string &dir);
// Makes the fallback log directory ready. POSIX: it lies in the shared
// temporary directory, so it is created with mode 0700 and refused when it is
// a link or belongs to another user. Windows: created like any directory.
bool PrepareFallbackLogDirectory(const std::string &path);

// The discovery failure file ("c:error.txt" on Windows) and the default
// device report file ("c:\test.txt" on Windows).
std::string DiscoveryErrorFile();
std::string DefaultReportFile();

} // namespace plat
