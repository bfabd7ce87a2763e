#include "platform/files.h"

#include <cerrno>
#include <cstdlib>
#include <string>
#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
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

bool AppendAtomically(const std::string &path, const void *bytes, size_t count, bool noFollow) {
  int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0), 0666);
  if (fd < 0)
    return false;
  // One write on an O_APPEND descriptor: concurrent lines never interleave.
  bool ok = WriteAll(fd, bytes, count);
  return close(fd) == 0 && ok;
}

bool WriteWholeFile(const std::string &path, const void *bytes, size_t count) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (fd < 0)
    return false;
  bool ok = WriteAll(fd, bytes, count) && fsync(fd) == 0;
  return close(fd) == 0 && ok;
}

bool RenameReplace(const std::string &from, const std::string &to) {
  return rename(from.c_str(), to.c_str()) == 0;
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
    struct stat info{};
    std::string full = (dir.empty() ? std::string() : dir + "/") + name;
    if (mask & kAttrDirectory) {
      struct stat own{};
      if (lstat(full.c_str(), &own) == 0 && (S_ISDIR(own.st_mode) || (S_ISLNK(own.st_mode) &&
                                                                       stat(full.c_str(), &info) == 0 &&
                                                                       S_ISDIR(info.st_mode)))) {
        uint32_t attributes = kAttrDirectory | (S_ISLNK(own.st_mode) ? kAttrLink : 0);
        found.push_back(FoundFile{name, attributes, 0});
        continue;
      }
    }
    if (stat(full.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
      continue;
    uint32_t attributes = kAttrArchive;
    if (!(info.st_mode & S_IWUSR))
      attributes |= kAttrReadOnly;
    if (name[0] == '.')
      attributes |= kAttrHidden;
    found.push_back(FoundFile{name, attributes, static_cast<uint64_t>(info.st_size)});
  }
  closedir(listing);
  return found;
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
