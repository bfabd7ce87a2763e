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

// Appends bytes to a file (created if missing) with one write on a descriptor
// opened for appending, so lines of concurrent writers never tear or mix.
// With noFollow a link at the last component of path is not followed (the
// append fails) on POSIX.
bool AppendAtomically(const std::string &path, const void *bytes, size_t count, bool noFollow = false);

// Writes a whole file: data to a new file, flushed to disk. False on any
// failure (a partial file may remain; the caller removes it).
bool WriteWholeFile(const std::string &path, const void *bytes, size_t count);
// Renames from over to (replacing an existing file).
bool RenameReplace(const std::string &from, const std::string &to);
bool RemoveFile(const std::string &path);
// Puts a whole new file in place of path: bytes written to temporary (a
// name beside it), flushed, then renamed over path. On failure the temporary
// is removed and path is left as it was, and the system error is the
// failed write's or rename's.
inline bool ReplaceWhole(const std::string &path, const std::string &temporary, const void *bytes, size_t count) {
  if (WriteWholeFile(temporary, bytes, count) && RenameReplace(temporary, path))
    return true;
  const KeptSystemError failure;
  RemoveFile(temporary);
  return false;
}
// Renames from to a name that must not exist yet; false (and nothing moved)
// when it does.
bool RenameNoReplace(const std::string &from, const std::string &to);
// Makes a rename or a new file in dir durable (Linux: fsync of the
// directory; Windows renames write through and need nothing more).
void SyncDirectory(const std::string &dir);
bool FileExists(const std::string &path);

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
// mask of the Windows search: with kAttrArchive alone, plain files only;
// with kAttrDirectory, directories too (links to directories reported with
// kAttrLink).
std::vector<FoundFile> FindFiles(const std::string &dir, const std::string &pattern, uint32_t mask);

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
