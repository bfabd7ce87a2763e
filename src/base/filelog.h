// FileLog: appends one time-stamped line to a log file.
//
// The line reads "<time stamp>> <message>" and ends in CR LF. The file is
// <directory><separator><name>_log.txt; the directory defaults to the
// platform's default log directory and the name to "error". When the file
// cannot be opened, the directory is created (one level) and the open tried
// again, then the platform's fallback directory is used. A log file that is
// a link is never written through: the line goes to the fallback directory
// and the console says so, once per file. A line that cannot be written
// anywhere is dropped silently. Each line is one append of its own, so lines
// of concurrent writers never tear or mix.
#pragma once

namespace plat {
class Dir;
}

class FileLog {
public:
  explicit FileLog(const char *message);
  FileLog(const char *message, const char *name);
  FileLog(const char *message, const char *name, const char *directory);
  // Into a folder held open (no link followed at any step).
  FileLog(const char *message, const char *name, const plat::Dir &folder);
  // Whether a log file of this process was a link and not written.
  static bool LinkRefused();
};
