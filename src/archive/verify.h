// VERIFY: reads every archive file under a target against its KE
// directory's SHA256SUMS and reports what is missing, changed or damaged and
// the gaps in the numbering; with fix, moves damaged files aside and adds
// the missing checksum lines.
#pragma once

#include <string>

#include "archive/exitcode.h"

// Checks the archive under targetPath (as typed, may be empty: the current
// directory); returns kDone, or kVerifyProblem when a problem was found.
ExitCode VerifyArchive(const std::string &targetPath, bool fix);
