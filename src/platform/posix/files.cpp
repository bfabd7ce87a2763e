#include "platform/files.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <string>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <linux/openat2.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace plat {

namespace {

// Writes count bytes; done gets how many went. A write that takes no byte
// and gives no error would do the same again: it fails.
bool WriteAll(int fd, const void *bytes, size_t count, size_t *done = nullptr) {
  const auto *p = static_cast<const char *>(bytes);
  size_t written = 0;
  bool ok = true;
  while (ok && written < count) {
    const ssize_t n = write(fd, p + written, count - written);
    if (n < 0 && errno == EINTR)
      continue;
    if (n == 0)
      errno = ENOSPC;
    ok = n > 0;
    if (ok)
      written += static_cast<size_t>(n);
  }
  if (done != nullptr)
    *done = written;
  return ok;
}

// The search patterns know only '*' and '?'; anything fnmatch would read as
// a bracket expression or an escape is matched literally.
std::string LiteralPattern(const std::string &pattern) {
  std::string escaped;
  for (char c : pattern) {
    if (c == '[' || c == ']' || c == '\\')
      escaped += '\\';
    escaped += c;
  }
  return escaped;
}

// Closes fd keeping the reason of the call that failed before.
void CloseKeeping(int fd) {
  const KeptSystemError failure;
  close(fd);
}

// The folder a *at call starts from: the held folder's descriptor, or the
// current directory's for a path.
int FolderFd(const Dir *dir) { return dir != nullptr ? static_cast<int>(dir->Native()) : AT_FDCWD; }

EntryType TypeAt(int dirfd, const std::string &name) {
  struct stat info{};
  if (name.empty() || fstatat(dirfd, name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0)
    return EntryType::kNone;
  if (S_ISREG(info.st_mode))
    return EntryType::kFile;
  if (S_ISDIR(info.st_mode))
    return EntryType::kDirectory;
  if (S_ISLNK(info.st_mode))
    return EntryType::kLink;
  return EntryType::kOther;
}

// Opens a regular file for reading: a link is never followed, and a FIFO or
// a device is never waited for (O_NONBLOCK, cleared once the descriptor is
// known to be a regular file's).
int OpenForReading(int dirfd, const std::string &name) {
  const int fd = openat(dirfd, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0)
    return -1;
  struct stat info{};
  int failure = 0;
  if (fstat(fd, &info) != 0)
    failure = errno;
  else if (!S_ISREG(info.st_mode))
    failure = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  else if (fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK) != 0)
    failure = errno;
  if (failure == 0)
    return fd;
  close(fd);
  errno = failure;
  return -1;
}

bool ReadBlocksAt(int dirfd, const std::string &name, uint64_t maxBytes, const BlockSink &take) {
  const int fd = OpenForReading(dirfd, name);
  if (fd < 0)
    return false;
  // The kernel reads ahead of a file read from start to end.
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  // One block per thread, left uninitialised: only the pages a read fills
  // become resident.
  constexpr size_t kBlock = 1 << 20;
  static thread_local std::unique_ptr<uint8_t[]> block(new uint8_t[kBlock]);
  struct stat info{};
  int failure = fstat(fd, &info) != 0 ? errno : static_cast<uint64_t>(info.st_size) > maxBytes ? EFBIG : 0;
  for (uint64_t total = 0; failure == 0;) {
    const ssize_t n = read(fd, block.get(), kBlock);
    if (n < 0 && errno == EINTR)
      continue;
    if (n <= 0) {
      failure = n < 0 ? errno : 0;
      break;
    }
    total += static_cast<uint64_t>(n);
    // A file that grows while it is read is held to the bound as well.
    if (total > maxBytes)
      failure = EFBIG;
    else if (!take(block.get(), static_cast<size_t>(n)))
      failure = errno != 0 ? errno : EIO;
  }
  close(fd);
  errno = failure;
  return failure == 0;
}

bool AppendAt(int dirfd, const std::string &name, const void *bytes, size_t count, bool sync) {
  // Only ever into a regular file: a FIFO or a device planted at the name
  // is neither waited for nor written.
  const int fd =
      openat(dirfd, name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY, 0666);
  if (fd < 0)
    return false;
  struct stat info{};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    const int failure = S_ISREG(info.st_mode) || info.st_mode == 0 ? errno : EINVAL;
    close(fd);
    errno = failure;
    return false;
  }
  // One write on an O_APPEND descriptor: concurrent lines never interleave.
  size_t written = 0;
  int failure = WriteAll(fd, bytes, count, &written) ? 0 : errno;
  if (failure != 0 && written > 0) {
    // A write cut short (a full disk, a size limit) is taken back: the file
    // ends where it ended before, so no torn line stays on disk. The offset
    // stands right after the bytes that went; they are cut while nobody
    // appended after them.
    const off_t end = lseek(fd, 0, SEEK_CUR);
    if (end >= static_cast<off_t>(written) && fstat(fd, &info) == 0 && info.st_size == end)
      (void)!ftruncate(fd, end - static_cast<off_t>(written));
  }
  if (failure == 0 && sync && fsync(fd) != 0)
    failure = errno;
  if (close(fd) != 0 && failure == 0)
    failure = errno;
  errno = failure;
  return failure == 0;
}

// The rename that never replaces: renameat2 with RENAME_NOREPLACE; where
// the kernel or the file system lacks it, a hard link (which cannot replace
// a name either) and the old name's removal, and last a rename after a look.
bool RenameNoReplaceAt(int fromFd, const std::string &from, int toFd, const std::string &to) {
  if (renameat2(fromFd, from.c_str(), toFd, to.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno != ENOSYS && errno != EINVAL)
    return false;
  if (linkat(fromFd, from.c_str(), toFd, to.c_str(), 0) == 0) {
    if (unlinkat(fromFd, from.c_str(), 0) == 0)
      return true;
    const KeptSystemError failure;
    unlinkat(toFd, to.c_str(), 0);
    return false;
  }
  if (errno == EEXIST)
    return false;
  struct stat info{};
  if (fstatat(toFd, to.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
    errno = EEXIST;
    return false;
  }
  return errno == ENOENT && renameat(fromFd, from.c_str(), toFd, to.c_str()) == 0;
}

void SyncFd(int dirfd) {
  const int fd = openat(dirfd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  fsync(fd);
  close(fd);
}

bool PutInPlaceAt(int dirfd, const std::string &name, const void *bytes, size_t count) {
  const EntryType type = TypeAt(dirfd, name);
  if (type == EntryType::kDirectory || type == EntryType::kOther || name.empty() || name.back() == '/') {
    errno = type == EntryType::kOther ? EINVAL : EISDIR;  // the reason a caller reports
    return false;
  }
  const size_t slash = name.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : name.substr(0, slash + 1);
  const std::string base = name.substr(folder.size());
  std::string temporary;
  int fd = -1;
  // A name that is taken (planted, or a leftover) is passed over: the next
  // random one is tried; a link there is never opened.
  for (int attempt = 0; fd < 0 && attempt < 8; ++attempt) {
    uint64_t random = 0;
    if (getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
      random = static_cast<uint64_t>(std::time(nullptr)) * 2654435761u ^ static_cast<uint64_t>(getpid()) << 32 ^
               static_cast<uint64_t>(attempt);
    temporary = folder + TemporaryName(base, random);
    fd = openat(dirfd, temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST)
      return false;
  }
  if (fd < 0)
    return false;
  int failure = WriteAll(fd, bytes, count) && fsync(fd) == 0 ? 0 : errno;
  if (close(fd) != 0 && failure == 0)
    failure = errno;
  // Looked at again just before the rename: what appeared there meanwhile
  // is refused all the same.
  if (failure == 0) {
    const EntryType now = TypeAt(dirfd, name);
    if (now == EntryType::kDirectory || now == EntryType::kOther)
      failure = now == EntryType::kOther ? EINVAL : EISDIR;
    else if (renameat(dirfd, temporary.c_str(), dirfd, name.c_str()) != 0)
      failure = errno;
  }
  if (failure != 0) {
    unlinkat(dirfd, temporary.c_str(), 0);
    errno = failure;
    return false;
  }
  if (dirfd == AT_FDCWD)
    SyncDirectory(folder);
  else
    SyncFd(dirfd);
  return true;
}

bool ReadTailAt(int dirfd, const std::string &name, size_t count, std::vector<uint8_t> &tail, uint64_t &size) {
  tail.clear();
  size = 0;
  const int fd = OpenForReading(dirfd, name);
  if (fd < 0)
    return false;
  struct stat info{};
  int failure = fstat(fd, &info) == 0 ? 0 : errno;
  if (failure == 0) {
    size = static_cast<uint64_t>(info.st_size);
    const size_t want = size < count ? static_cast<size_t>(size) : count;
    tail.resize(want);
    size_t got = 0;
    while (failure == 0 && got < want) {
      const ssize_t n = pread(fd, tail.data() + got, want - got, static_cast<off_t>(size - want + got));
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        failure = n < 0 ? errno : EIO;
      else
        got += static_cast<size_t>(n);
    }
    if (failure != 0)
      tail.clear();
  }
  close(fd);
  errno = failure;
  return failure == 0;
}

// Lists the folder fd names; false (errno kept) when it cannot be read.
bool ListAt(int folderFd, const std::string &dirPath, const std::string &pattern, uint32_t mask,
            std::vector<FoundFile> &found) {
  found.clear();
  // A descriptor of its own: the listing's offset is not the held one's.
  const int fd = openat(folderFd, folderFd == AT_FDCWD ? (dirPath.empty() ? "." : dirPath.c_str()) : ".",
                        O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return false;
  DIR *listing = fdopendir(fd);
  if (!listing) {
    CloseKeeping(fd);
    return false;
  }
  const int at = dirfd(listing);
  const std::string glob = LiteralPattern(pattern);
  int failure = 0;
  for (;;) {
    errno = 0;
    dirent *entry = readdir(listing);
    if (entry == nullptr) {
      failure = errno;
      break;
    }
    std::string name = entry->d_name;
    if (name == "." || name == ".." || fnmatch(glob.c_str(), name.c_str(), 0) != 0)
      continue;
    struct stat own{};
    if (fstatat(at, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0)
      continue;
    const uint32_t hidden = name[0] == '.' ? kAttrHidden : 0;
    if (S_ISLNK(own.st_mode)) {
      // A link is reported as a link; only a directory search looks where
      // it points, to tell a link to a directory.
      struct stat target{};
      const bool toDirectory = (mask & kAttrDirectory) && fstatat(at, name.c_str(), &target, 0) == 0 &&
                               S_ISDIR(target.st_mode);
      found.push_back(FoundFile{name, kAttrLink | hidden | (toDirectory ? kAttrDirectory : 0), 0});
      continue;
    }
    if (S_ISDIR(own.st_mode)) {
      if (mask & kAttrDirectory)
        found.push_back(FoundFile{name, kAttrDirectory | hidden, 0});
      continue;
    }
    if (!S_ISREG(own.st_mode))
      continue;
    uint32_t attributes = kAttrArchive | hidden;
    if (!(own.st_mode & S_IWUSR))
      attributes |= kAttrReadOnly;
    found.push_back(FoundFile{name, attributes, static_cast<uint64_t>(own.st_size)});
  }
  closedir(listing);
  errno = failure;
  return failure == 0;
}

// Opens the folder name in dirfd without following a link at any step of
// name: openat2 refuses every link on the way where the kernel has it; the
// last component is never followed in any case.
int OpenFolderAt(int dirfd, const std::string &name) {
  const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  if (dirfd != AT_FDCWD) {
    open_how how{};
    how.flags = static_cast<uint64_t>(flags);
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_NO_MAGICLINKS;
    const long fd = syscall(SYS_openat2, dirfd, name.c_str(), &how, sizeof how);
    if (fd >= 0 || (errno != ENOSYS && errno != EPERM && errno != E2BIG))
      return static_cast<int>(fd);
  }
  return openat(dirfd, name.c_str(), flags);
}

} // namespace

char PathSeparator() { return '/'; }

bool DirectoryExists(const std::string &path) {
  struct stat info{};
  return !path.empty() && stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool DirectoryListable(const std::string &path) {
  DIR *listing = opendir(path.empty() ? "." : path.c_str());
  if (listing == nullptr)
    return false;
  closedir(listing);
  return true;
}

PathStart PathStartOf(const std::vector<std::string> &parts) {
  if (parts.size() > 2 && parts[0].empty() && parts[1].empty() && !parts[2].empty())
    return {3, "//" + parts[2], true};
  if (parts.size() > 1 && parts[0].empty() && !parts[1].empty())
    return {2, "/" + parts[1], true};
  return {};
}

bool CreateOneDirectory(const std::string &path) {
  return mkdir(path.c_str(), 0777) == 0 || (errno == EEXIST && DirectoryExists(path));
}

EntryType TypeOf(const std::string &path) { return TypeAt(AT_FDCWD, path); }

bool AppendAtomically(const std::string &path, const void *bytes, size_t count, bool sync) {
  return AppendAt(AT_FDCWD, path, bytes, count, sync);
}

bool PutInPlace(const std::string &path, const void *bytes, size_t count) {
  return PutInPlaceAt(AT_FDCWD, path, bytes, count);
}

bool RemoveFile(const std::string &path) { return unlink(path.c_str()) == 0; }

bool RenameNoReplace(const std::string &from, const std::string &to) {
  return RenameNoReplaceAt(AT_FDCWD, from, AT_FDCWD, to);
}

void SyncDirectory(const std::string &dir) {
  const int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  fsync(fd);
  close(fd);
}

bool FileExists(const std::string &path) {
  struct stat info{};
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool ReadTail(const std::string &path, size_t count, std::vector<uint8_t> &tail, uint64_t &size) {
  return ReadTailAt(AT_FDCWD, path, count, tail, size);
}

bool ReadFileBlocks(const std::string &path, uint64_t maxBytes, const BlockSink &take) {
  return ReadBlocksAt(AT_FDCWD, path, maxBytes, take);
}
bool ReadFileBlocks(const Dir &dir, const std::string &name, uint64_t maxBytes, const BlockSink &take) {
  return ReadBlocksAt(FolderFd(&dir), name, maxBytes, take);
}

std::vector<FoundFile> FindFiles(const std::string &dir, const std::string &pattern, uint32_t mask) {
  std::vector<FoundFile> found;
  ListAt(AT_FDCWD, dir, pattern, mask, found);
  return found;
}

bool Dir::Open(const std::string &folder, bool followLink) {
  Close();
  const std::string at = folder.empty() ? "." : folder;
  const int fd = followLink ? open(at.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC) : OpenFolderAt(AT_FDCWD, at);
  if (fd < 0)
    return false;
  handle = fd;
  path = folder;
  return true;
}

bool Dir::Open(const Dir &parent, const std::string &name, bool create) {
  Close();
  const int at = FolderFd(&parent);
  if (create && mkdirat(at, name.c_str(), 0777) != 0 && errno != EEXIST)
    return false;
  const int fd = OpenFolderAt(at, name);
  if (fd < 0)
    return false;
  handle = fd;
  path = parent.PathOf(name);
  return true;
}

void Dir::Close() {
  if (handle != -1)
    close(static_cast<int>(handle));
  handle = -1;
}

EntryType Dir::TypeOf(const std::string &name) const { return TypeAt(FolderFd(this), name); }
bool Dir::List(const std::string &pattern, uint32_t mask, std::vector<FoundFile> &found) const {
  return ListAt(FolderFd(this), path, pattern, mask, found);
}
bool Dir::Remove(const std::string &name) const { return unlinkat(FolderFd(this), name.c_str(), 0) == 0; }
bool Dir::RenameNoReplace(const std::string &name, const Dir &into, const std::string &to) const {
  return RenameNoReplaceAt(FolderFd(this), name, FolderFd(&into), to);
}
bool Dir::PutInPlace(const std::string &name, const void *bytes, size_t count) const {
  return PutInPlaceAt(FolderFd(this), name, bytes, count);
}
bool Dir::AppendAtomically(const std::string &name, const void *bytes, size_t count, bool sync) const {
  return AppendAt(FolderFd(this), name, bytes, count, sync);
}
bool Dir::ReadTail(const std::string &name, size_t count, std::vector<uint8_t> &tail, uint64_t &size) const {
  return ReadTailAt(FolderFd(this), name, count, tail, size);
}
void Dir::Sync() const { SyncFd(FolderFd(this)); }

FileLock::Try FileLock::Take(intptr_t) {
  // A writer opens it for writing: a user who may only read the folder
  // cannot hold the lock. Made readable and writable by its owner only. A
  // reader's shared lock only opens one that is there.
  const int fd = shared ? openat(FolderFd(folder), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                        : openat(FolderFd(folder), name.c_str(),
                                 O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC, 0600);
  if (fd < 0)
    return Try::kFailed;
  struct stat info{};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_nlink != 1) {
    const int failure = info.st_nlink > 1 ? EMLINK : S_ISREG(info.st_mode) || info.st_mode == 0 ? errno : EINVAL;
    close(fd);
    errno = failure;
    return Try::kFailed;
  }
  while (flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    if (errno == EINTR)
      continue;
    const bool held = errno == EWOULDBLOCK;
    CloseKeeping(fd);
    return held ? Try::kHeld : Try::kFailed;
  }
  handle = fd;
  return Try::kTaken;
}

bool FileLock::StillHeld() const {
  if (handle < 0)
    return false;
  // The lock guards the directory only while its file is the one at the
  // name: removed or replaced, a second writer could lock a new one.
  struct stat own{};
  struct stat named{};
  if (fstat(static_cast<int>(handle), &own) != 0)
    return false;
  if (own.st_nlink == 0) {
    errno = ENOENT;
    return false;
  }
  if (fstatat(FolderFd(folder), name.c_str(), &named, AT_SYMLINK_NOFOLLOW) != 0)
    return false;
  if (own.st_dev != named.st_dev || own.st_ino != named.st_ino) {
    errno = ESTALE;
    return false;
  }
  return true;
}

void FileLock::Release() {
  if (handle >= 0)
    close(static_cast<int>(handle));
  handle = -1;
}

std::string CurrentDirectory() {
  std::string path(4096, '\0');
  if (!getcwd(path.data(), path.size()))
    return ".";
  path.resize(std::char_traits<char>::length(path.c_str()));
  return path;
}

std::string AbsolutePath(const std::string &path) {
  if (!path.empty() && path[0] == '/')
    return path;
  const std::string current = CurrentDirectory();
  if (path.empty() || path == ".")
    return current;
  return (current == "/" ? "" : current) + "/" + (path.rfind("./", 0) == 0 ? path.substr(2) : path);
}

std::string TempDirectory() {
  const char *tmp = std::getenv("TMPDIR");
  std::string dir = tmp && *tmp ? tmp : "/tmp";
  while (dir.size() > 1 && dir.back() == '/')
    dir.pop_back();
  return dir;
}

std::string DefaultLogDirectory() {
  const char *home = std::getenv("HOME");
  if (!home || !*home)
    return FallbackLogDirectory({});
  std::string dir = home;
  while (dir.size() > 1 && dir.back() == '/')
    dir.pop_back();
  return dir + "/vemora_log";
}

// Other users share the temporary directory: the folder is the user's own.
std::string FallbackLogDirectory(const std::string &) {
  return TempDirectory() + "/vemora_log-" + std::to_string(geteuid());
}

bool PrepareFallbackLogDirectory(const std::string &path) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
    return false;
  struct stat info{};
  return lstat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == geteuid();
}

std::string SystemLogDirectory() { return std::string(); }

std::string DiscoveryErrorFile() { return "error.txt"; }
std::string DefaultReportFile() { return "test.txt"; }

} // namespace plat
