// LoggingClass: the log sink held by the printer object and each archiving run.
//
// Log() prints the message on the console when toConsole is set ("<tag,name> msg",
// "<tag> msg", "<name> msg" or "msg") and, when toFile is set, writes it through
// FileLog into <logName>_log.txt in logDir (or in the default log directory,
// or error_log.txt there when logName is absent). A text of fewer than two
// characters counts as absent for logDir and logName, and for tag in the file
// line.
#pragma once

#include <string>
#include <vector>

#include "platform/console.h"
#include "platform/files.h"

class LoggingClass {
public:
  LoggingClass() = default;
  LoggingClass(const char *directory, const char *name);

  void Log(const char *message);
  void Log(const std::string &message);
  // The same at the warning priority (a file left unarchived, a line of the
  // Directory skipped).
  void Warn(const std::string &message);

  std::string logDir;
  std::string logName;
  std::string tag;
  bool toConsole = false;
  bool toFile = true;
  // The console lines' priority for a journal: kError for the error log.
  plat::LinePriority priority = plat::LinePriority::kInfo;
  // When set, every line written to the file is also appended here, as the
  // file gets it without its time stamp.
  std::vector<std::string> *copyTo = nullptr;
  // When set, the file lines go into this held folder (logDir's), never to
  // whatever its path names meanwhile.
  const plat::Dir *folder = nullptr;
};
