// File-system facilities the logic needs. Paths are narrow texts in the
// system code page; the separator is the platform's.
#pragma once

#include <cstdint>
#include <functional>
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

// Whether Windows opens name (a file name, with or without an extension) as
// a device in any folder: CON, PRN, AUX, NUL, CONIN$, CONOUT$, COM0-9,
// LPT0-9. The one rule for the archive's names and the Windows file calls.
bool IsReservedDeviceName(const std::string &name);

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
// With sync the bytes are on the disk when it returns. An append cut short (a
// full disk) is taken back: the file ends where it ended before, so no torn
// line stays. Windows: this program's appenders take turns through a lock
// that is only tried for a bounded time, so no reader holding it stops them.
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

// Reads up to count bytes from the end of a file; size gets the file size.
bool ReadTail(const std::string &path, size_t count, std::vector<uint8_t> &tail, uint64_t &size);

// The one way a file is read. The file is opened without following a link
// and without waiting (a FIFO or a device is never opened for good), and
// only a regular file is read; take gets its bytes block by block, in order.
// False (the system's reason kept for the caller) when the file cannot be
// opened, is no regular file, holds more than maxBytes, cannot be read to
// its end, or take says to stop. In ReadWholeFile the file's bytes end up
// in out.
class Dir;
using BlockSink = std::function<bool(const uint8_t *bytes, size_t count)>;
bool ReadFileBlocks(const std::string &path, uint64_t maxBytes, const BlockSink &take);
bool ReadFileBlocks(const Dir &dir, const std::string &name, uint64_t maxBytes, const BlockSink &take);
bool ReadWholeFile(const std::string &path, uint64_t maxBytes, std::string &out);
bool ReadWholeFile(const Dir &dir, const std::string &name, uint64_t maxBytes, std::string &out);

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

// A folder held open for a job, reached without following a link: every
// entry of it is named relative to the folder the job opened, so renaming
// the folder aside and putting a link (or another folder) in its place never
// sends a later read or write elsewhere. POSIX: a descriptor opened
// O_DIRECTORY|O_NOFOLLOW (openat2 with RESOLVE_NO_SYMLINKS where the kernel
// has it) and the *at calls; Windows: a handle opened without following a
// reparse point and without FILE_SHARE_DELETE, so the folder cannot be
// renamed or replaced while it is held. No entry operation follows a link
// at its last component either.
class Dir {
public:
  Dir() = default;
  ~Dir() { Close(); }
  Dir(const Dir &) = delete;
  Dir &operator=(const Dir &) = delete;

  // Opens the folder at path. Links in the part before its last component
  // are the operator's (the archive root named on the command line); the
  // last one is followed only with followLink (the archive root itself).
  // False with the system's reason.
  bool Open(const std::string &path, bool followLink = false);
  // Opens the folder name inside parent (made first when create is set and
  // it is missing), never through a link.
  bool Open(const Dir &parent, const std::string &name, bool create);
  void Close();
  bool IsOpen() const { return handle != -1; }
  // The folder's path as it was opened: for messages (and for the Windows
  // calls, which the held handle keeps pointing at this folder).
  const std::string &Path() const { return path; }
  std::string PathOf(const std::string &name) const { return JoinPath(path, name); }

  EntryType TypeOf(const std::string &name) const;
  // The entries as FindFiles reports them; false (the system's reason kept)
  // when the folder cannot be listed.
  bool List(const std::string &pattern, uint32_t mask, std::vector<FoundFile> &found) const;
  bool Remove(const std::string &name) const;
  // Moves name to the name to inside folder into (this folder or another
  // held one) when that name is free; never replaces an entry.
  bool RenameNoReplace(const std::string &name, const Dir &into, const std::string &to) const;
  bool PutInPlace(const std::string &name, const void *bytes, size_t count) const;
  bool AppendAtomically(const std::string &name, const void *bytes, size_t count, bool sync = false) const;
  bool ReadTail(const std::string &name, size_t count, std::vector<uint8_t> &tail, uint64_t &size) const;
  void Sync() const;
  intptr_t Native() const { return handle; }

private:
  intptr_t handle = -1;
  std::string path;
};

// A lock on a lock file, held until Release, the object's end or the end of
// the process (the system drops it then). POSIX: flock; Windows: LockFileEx.
// Exclusive (a writer): The lock file is created when missing (readable and writable
// by its owner only; Windows: by SYSTEM and the Administrators) and is
// never removed; it is opened for writing, so a user who may only read the
// folder cannot hold it. One that is a link, no regular file or has more
// than one name (a hard link) is refused.
// Shared (a reader beside other readers): the lock file is only opened for
// reading, never created; kFailed when it is missing or cannot be opened.
class FileLock {
public:
  enum class Try { kTaken, kHeld, kFailed };  // kHeld: someone else holds it
  FileLock() = default;
  ~FileLock() { Release(); }
  FileLock(const FileLock &) = delete;
  FileLock &operator=(const FileLock &) = delete;
  Try TryLock(const std::string &path, bool shared = false);
  Try TryLock(const Dir &dir, const std::string &name, bool shared = false);
  // Whether the lock still guards its file: false once the lock file was
  // removed or replaced while held (another writer could take a new one),
  // with the system's reason set. A writer asks before each change.
  bool StillHeld() const;
  void Release();

private:
  Try Take(intptr_t file);
  intptr_t handle = -1;
  const Dir *folder = nullptr;
  std::string name;
  bool shared = false;
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
// The folder for the lines of failures that leave a run no other log: an
// archive root that cannot be created. Windows: "%ProgramData%\Zarvik"
// (the environment's ProgramData, else C:\ProgramData), which outlives any
// data drive. POSIX: empty, none; the fallback log directory already takes
// those lines.
std::string SystemLogDirectory();

// The discovery failure file ("c:error.txt" on Windows) and the default
// device report file ("c:\test.txt" on Windows).
std::string DiscoveryErrorFile();
std::string DefaultReportFile();

} // namespace plat
