// CreateDirectoryPath: makes sure a directory path exists, creating each
// missing level from the outermost, after the path's fixed start (the
// platform's rule: plat::PathStartOf). The walk ends at the first empty
// component. True when the whole path is a directory at
// the end; otherwise the system error is the reason the last level that
// failed could not be made. With protect, every level it creates is a
// protected one (plat::CreateProtectedDirectory): an archive root and the
// levels made on the way to it.
#pragma once

#include <string>

bool CreateDirectoryPath(const std::string &path, bool protect = false);
