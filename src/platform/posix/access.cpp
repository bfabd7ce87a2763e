#include "platform/access.h"

#include <cerrno>
#include <sys/stat.h>

#include "platform/files.h"

namespace plat {

// Others never get to write, whatever the umask; the group keeps what the
// umask gives it (a shop's own group may share the archive).
bool CreateProtectedDirectory(const std::string &path) {
  return mkdir(path.c_str(), 0775) == 0 || (errno == EEXIST && DirectoryExists(path));
}

bool WritableByUsers(const std::string &path) {
  struct stat info{};
  return stat(path.c_str(), &info) == 0 && (info.st_mode & S_IWOTH) != 0;
}

} // namespace plat
