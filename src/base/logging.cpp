#include "base/logging.h"

#include <algorithm>

#include "base/filelog.h"
#include "base/consoleline.h"

LoggingClass::LoggingClass(const char *directory, const char *name)
    : logDir(directory ? directory : ""), logName(name ? name : "") {}

void LoggingClass::Log(const char *message) {
  const std::string text = message ? message : "";
  // Texts of fewer than two characters count as absent.
  const bool hasName = logName.size() >= 2;
  const bool hasDir = logDir.size() >= 2;

  if (toConsole) {
    std::string out;
    if (!tag.empty() && hasName)
      out = "<" + tag + "," + logName + "> " + text;
    else if (!tag.empty())
      out = "<" + tag + "> " + text;
    else if (hasName)
      out = "<" + logName + "> " + text;
    else
      out = text;
    out += "\r\n";
    consoleline::Write(out, priority);
  }

  if (!toFile)
    return;
  const std::string line = tag.size() >= 2 ? "<" + tag + "> " + text : text;
  if (copyTo != nullptr)
    copyTo->push_back(line);
  if (folder != nullptr && hasName)
    FileLog(line.c_str(), logName.c_str(), *folder);
  else if (!hasName)
    FileLog{line.c_str()};
  else if (!hasDir)
    FileLog(line.c_str(), logName.c_str());
  else
    FileLog(line.c_str(), logName.c_str(), logDir.c_str());
}

void LoggingClass::Log(const std::string &message) { Log(message.c_str()); }

void LoggingClass::Warn(const std::string &message) {
  const plat::LinePriority usual = priority;
  priority = std::min(priority, plat::LinePriority::kWarning);
  Log(message.c_str());
  priority = usual;
}
