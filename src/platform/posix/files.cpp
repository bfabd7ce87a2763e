#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <ctime>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/file.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

namespace plat {

namespace {

bool WriteAll(int fd, const void *bytes, size_t count) {
  const auto *p = static_cast<const char *>(bytes);
  while (count > 0) {
    ssize_t written = write(fd, p, count);
    if (written < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    p += written;
    count -= static_cast<size_t>(written);
  }
  return true;
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

EntryType TypeOf(const std::string &path) {
  struct stat info{};
  if (path.empty() || lstat(path.c_str(), &info) != 0)
    return EntryType::kNone;
  if (S_ISREG(info.st_mode))
    return EntryType::kFile;
  if (S_ISDIR(info.st_mode))
    return EntryType::kDirectory;
  if (S_ISLNK(info.st_mode))
    return EntryType::kLink;
  return EntryType::kOther;
}

bool AppendAtomically(const std::string &path, const void *bytes, size_t count, bool sync) {
  // Only ever into a regular file: a FIFO or a device planted at the name
  // is neither waited for nor written.
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
  if (fd < 0)
    return false;
  struct stat info{};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return false;
  }
  // One write on an O_APPEND descriptor: concurrent lines never interleave.
  bool ok = WriteAll(fd, bytes, count) && (!sync || fsync(fd) == 0);
  return close(fd) == 0 && ok;
}

bool PutInPlace(const std::string &path, const void *bytes, size_t count) {
  const EntryType type = TypeOf(path);
  if (type == EntryType::kDirectory || type == EntryType::kOther || path.empty() || path.back() == '/') {
    errno = type == EntryType::kOther ? EINVAL : EISDIR;  // the reason a caller reports
    return false;
  }
  const size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
  const std::string name = path.substr(folder.size());
  std::string temporary;
  int fd = -1;
  // A name that is taken (planted, or a leftover) is passed over: the next
  // random one is tried; a link there is never opened.
  for (int attempt = 0; fd < 0 && attempt < 8; ++attempt) {
    uint64_t random = 0;
    if (getrandom(&random, sizeof random, 0) != static_cast<ssize_t>(sizeof random))
      random = static_cast<uint64_t>(std::time(nullptr)) * 2654435761u ^ static_cast<uint64_t>(getpid()) << 32 ^
               static_cast<uint64_t>(attempt);
    temporary = folder + TemporaryName(name, random);
    fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0 && errno != EEXIST)
      return false;
  }
  if (fd < 0)
    return false;
  bool ok = WriteAll(fd, bytes, count) && fsync(fd) == 0;
  ok = close(fd) == 0 && ok;
  // Looked at again just before the rename: what appeared there meanwhile
  // is refused all the same.
  const EntryType now = TypeOf(path);
  ok = ok && now != EntryType::kDirectory && now != EntryType::kOther && rename(temporary.c_str(), path.c_str()) == 0;
  if (!ok) {
    const KeptSystemError failure;
    unlink(temporary.c_str());
    return false;
  }
  SyncDirectory(folder.empty() ? std::string(".") : folder);
  return true;
}

bool RemoveFile(const std::string &path) { return unlink(path.c_str()) == 0; }

bool RenameNoReplace(const std::string &from, const std::string &to) {
  // A hard link cannot replace a name; the old name goes once the new one
  // stands. File systems without hard links take a rename after a look.
  if (link(from.c_str(), to.c_str()) == 0) {
    if (unlink(from.c_str()) == 0)
      return true;
    unlink(to.c_str());
    return false;
  }
  if (errno == EEXIST)
    return false;
  struct stat info{};
  if (lstat(to.c_str(), &info) == 0 || errno != ENOENT)
    return false;
  return rename(from.c_str(), to.c_str()) == 0;
}

void SyncDirectory(const std::string &dir) {
  int fd = open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0)
    return;
  fsync(fd);
  close(fd);
}

bool FileExists(const std::string &path) {
  struct stat info{};
  return stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool ReadWholeFile(const std::string &path, uint64_t maxBytes, std::vector<uint8_t> &out, std::string &error) {
  out.clear();
  error.clear();
  // Non-blocking: a FIFO opens at once and is refused below, unread.
  const int fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  int failure = fd < 0 ? errno : 0;
  struct stat info{};
  if (failure == 0 && fstat(fd, &info) != 0)
    failure = errno;
  else if (failure == 0 && !S_ISREG(info.st_mode))
    failure = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
  else if (failure == 0 && static_cast<uint64_t>(info.st_size) > maxBytes)
    failure = EFBIG;
  if (failure == 0)
    out.reserve(static_cast<size_t>(info.st_size));
  // Read to the end, not to the size seen: a file that grew past the bound
  // is refused all the same.
  std::vector<uint8_t> chunk(65536);
  while (failure == 0) {
    const ssize_t n = read(fd, chunk.data(), chunk.size());
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0)
      failure = errno;
    else if (n == 0)
      break;
    else if (out.size() + static_cast<size_t>(n) > maxBytes)
      failure = EFBIG;
    else
      out.insert(out.end(), chunk.begin(), chunk.begin() + n);
  }
  if (fd >= 0)
    close(fd);
  if (failure != 0) {
    out.clear();
    error = SystemErrorText(static_cast<uint32_t>(failure));
    errno = failure;
  }
  return failure == 0;
}

bool ReadTail(const std::string &path, size_t count, std::vector<uint8_t> &tail, uint64_t &size) {
  tail.clear();
  size = 0;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  struct stat info{};
  bool ok = fstat(fd, &info) == 0;
  if (ok) {
    size = static_cast<uint64_t>(info.st_size);
    size_t want = size < count ? static_cast<size_t>(size) : count;
    tail.resize(want);
    size_t got = 0;
    while (ok && got < want) {
      ssize_t n = pread(fd, tail.data() + got, want - got, static_cast<off_t>(size - want + got));
      if (n < 0 && errno == EINTR)
        continue;
      if (n <= 0)
        ok = false;
      else
        got += static_cast<size_t>(n);
    }
    if (!ok)
      tail.clear();
  }
  close(fd);
  return ok;
}

std::vector<FoundFile> FindFiles(const std::string &dir, const std::string &pattern, uint32_t mask) {
  std::vector<FoundFile> found;
  DIR *listing = opendir(dir.empty() ? "." : dir.c_str());
  if (!listing)
    return found;
  std::string glob = LiteralPattern(pattern);
  while (dirent *entry = readdir(listing)) {
    std::string name = entry->d_name;
    if (name == "." || name == ".." || fnmatch(glob.c_str(), name.c_str(), 0) != 0)
      continue;
    struct stat own{};
    std::string full = (dir.empty() ? std::string() : dir + "/") + name;
    if (lstat(full.c_str(), &own) != 0)
      continue;
    const uint32_t hidden = name[0] == '.' ? kAttrHidden : 0;
    if (S_ISLNK(own.st_mode)) {
      // A link is reported as a link; only a directory search looks where
      // it points, to tell a link to a directory.
      struct stat target{};
      const bool toDirectory = stat(full.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
      found.push_back(FoundFile{name, kAttrLink | hidden | (toDirectory && (mask & kAttrDirectory) ? kAttrDirectory : 0), 0});
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
  return found;
}

FileLock::Try FileLock::TryLock(const std::string &path, bool shared) {
  Release();
  int fd = shared ? open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC) : open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
  // A folder this user may not write holds a lock file made by another
  // (root's service): it is locked through a read-only descriptor.
  if (!shared && fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
    fd = open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0)
    return Try::kFailed;
  struct stat info{};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    return Try::kFailed;
  }
  while (flock(fd, (shared ? LOCK_SH : LOCK_EX) | LOCK_NB) != 0) {
    if (errno == EINTR)
      continue;
    const bool held = errno == EWOULDBLOCK;
    close(fd);
    return held ? Try::kHeld : Try::kFailed;
  }
  handle = fd;
  return Try::kTaken;
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

std::string DiscoveryErrorFile() { return "error.txt"; }
std::string DefaultReportFile() { return "test.txt"; }

} // namespace plat
