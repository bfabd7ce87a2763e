// CreateDirectoryPath: makes sure a directory path exists, creating each
// missing level from the outermost. Windows paths: a drive prefix ("D:" or the
// drive-relative "c:dane") is never created, a network path starts at its
// server name. POSIX paths: '/'-separated, absolute or relative. The walk ends
// at the first empty component. True when the whole path is a directory at
// the end.
#pragma once

#include <string>

bool CreateDirectoryPath(const std::string &path);
