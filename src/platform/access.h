// Who may change an archive root. The program often runs as the system
// account (a nightly task) over files that sit in the root, so a root that
// ordinary users may write is one they could turn against it: replace a
// file, plant a link, delete the archive.
#pragma once

#include <string>

namespace plat {

// Creates one directory level that only the system and administrators may
// change. Windows: a protected access list (nothing inherited from above),
// inherited by everything below it: SYSTEM and Administrators full control,
// Users read and execute. POSIX: mode 0775 less the umask, so that others
// never write it. True when the directory exists afterwards; a directory
// that already existed is left as it is.
bool CreateProtectedDirectory(const std::string &path);

// Whether ordinary users may write in a directory. Windows: its access list
// grants Users, Authenticated Users, Everyone or Interactive a right to
// write data, add files or folders, delete, or change the access list or the
// owner (on the folder itself or on what it holds; a deny entry before an
// allow entry takes that right back); no access list at all grants
// everything. POSIX: others may write it (mode o+w, sticky or not). False
// when the directory cannot be read.
bool WritableByUsers(const std::string &path);

} // namespace plat
