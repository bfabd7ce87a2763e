// VERIFY: reads every archive file under a target against its KE
// directory's SHA256SUMS and reports what is missing, changed or damaged and
// the gaps in the numbering; with fix, moves damaged files aside and adds
// the missing checksum lines.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "archive/exitcode.h"

// Checks the archive under targetPath (as typed, may be empty: the current
// directory); returns kDone, or kArchiveProblem when a problem was found.
ExitCode VerifyArchive(const std::string &targetPath, bool fix);

// Whether the archive root exists and can be listed.
bool ReadableTarget(const std::string &root);
// The KE directories VERIFY reads under an archive root, in name order: the
// root itself when it is one, and the directories right below it. What
// there may hide one (a link, a directory that cannot be listed) is added
// to problems as VERIFY's console line.
std::vector<std::string> KeDirectoriesOf(const std::string &root, std::vector<std::string> &problems);

// What VERIFY finds in one KE directory, by archive file name.
struct KeFindings {
  int files = 0;                         // archive files on disk (links among them)
  // Their numbers, each with the date its name carries ("" when none).
  std::vector<std::pair<int, std::string>> numbered;
  int ok = 0;                            // files that match their line
  // Not as archived: the content differs from the line, no end marker, not
  // readable, or a link in the file's place.
  std::vector<std::string> changed;
  std::vector<std::string> missingFile;  // a line, no file
  std::vector<std::string> withoutLine;  // a file, no line
  std::vector<std::string> foreign;      // Z*.ej entries that are no archive file
  int badLines = 0;                      // lines that are no checksum line of an archive file
  int problems = 0;                      // what VERIFY counts as one (gaps among them)
};
// The date a KE file's name carries: Z<4 digits>_<YYYY-MM-DD>.ej; "" when
// it carries none (or no month 01..12 and day 01..31).
std::string DateOfName(const std::string &name);
// Examines dir exactly as VERIFY without FIX does, prints nothing, takes no
// lock and changes nothing; adds what it finds to found.
void ExamineKeDirectory(const std::string &dir, KeFindings &found);
