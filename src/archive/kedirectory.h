// A KE directory on disk as every part of the archive sees it (the disk
// check, VERIFY, the run record): which entries are archive files, which of
// its folders may be written, the one writer it has at a time, and the
// temporaries a writer that died left behind. A link is never followed.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/files.h"

// True when name can safely name one file or directory inside the archive on
// either platform: not empty, not "." or "..", no separator, drive colon,
// wildcard or control byte, no trailing dot or blank, not a reserved device
// name of Windows.
bool IsSafeComponent(const std::string &name);

// What an entry found by the search for Z*.ej is to the archive:
//  - left alone: a directory, a hidden or a system entry, never touched;
//  - a link: never read, never counted (the disk check and FIX move the
//    link itself aside);
//  - foreign: a plain file whose name is not Z, four digits, ..., ".ej";
//  - an archive file: a plain file with that name, whatever its archive,
//    read-only, compressed, encrypted, not-indexed or offline bits say.
enum class EntryKind { kLeftAlone, kLink, kForeign, kArchive };
EntryKind KindOf(const plat::FoundFile &entry);
bool IsArchiveName(const std::string &name);
// The name an archive file's number starts with: Z and four digits.
std::string ArchiveNumberName(int number);
// The last byte of a whole KE file: 0xFF, or 0x1A for a file of the first
// kind.
bool IsEndMarker(int lastByte);
// Whether dir/name ends in an end marker (an empty or unreadable file does
// not); only its tail is read.
bool HasEndMarker(const plat::Dir &dir, const std::string &name);
// The entries of dir the search for Z*.ej finds that are not left alone;
// false (the system's reason kept) when dir cannot be listed, which is
// never taken for an empty directory.
bool ArchiveEntries(const plat::Dir &dir, std::vector<plat::FoundFile> &entries);
std::vector<plat::FoundFile> ArchiveEntries(const std::string &dir);
// The archive files of dir.
int CountArchiveFiles(const std::string &dir);

// The folders written inside a KE directory: its quarantine and its logs.
constexpr const char *kQuarantineName = "uszkodzone";
constexpr const char *kLogFolderName = "log";
// The first of dir, its quarantine folder and its log folder that exists
// but is a link or no folder (and so must not be written through); none
// when all may be used.
std::optional<std::string> UnusableFolder(const std::string &dir);

// The lock file of a KE directory. A writer (the archive run, VERIFY with
// FIX) holds it while it changes the directory; plain VERIFY holds it shared
// while it reads, when it can.
constexpr const char *kLockName = "zarvik.lock";
// Takes dir's lock, waiting up to waitMs while another process (or another
// job of this one) holds it; onWait is called once when the wait begins.
// kBusy: it was held for the whole wait; kFailed: the lock file can be
// neither made nor opened (a folder this user may not write, a link in its
// place). The holder then removes the leftover temporaries of writers that
// died. The holder asks the lock before each change (plat::FileLock::
// StillHeld): a lock file removed or replaced meanwhile ends its work there.
// Shared (plain VERIFY, a reader): only beside other readers, the lock file
// never made (kFailed when there is none) and nothing removed.
enum class DirectoryLock { kTaken, kBusy, kFailed };
DirectoryLock LockKeDirectory(plat::FileLock &lock, const plat::Dir &dir, int waitMs,
                              const std::function<void()> &onWait, bool shared = false);
