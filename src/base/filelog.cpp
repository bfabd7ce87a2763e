#include "base/filelog.h"

#include <string>

#include "base/ibuffer.h"
#include "platform/files.h"

namespace {

void WriteLogLine(const char *message, const char *name, const std::string &directory) {
  iBuffer line;
  line.AppendTimestamp();
  line.AppendText("> ");
  line.AppendText(message);
  line.AppendText("\r\n");
  const char *bytes = line.Text();
  size_t count = static_cast<size_t>(line.TextLength());

  std::string fileName = std::string(name && *name ? name : "NN") + "_log.txt";
  const std::string separator(1, plat::PathSeparator());
  std::string path = directory + separator + fileName;
  if (plat::AppendAtomically(path, bytes, count))
    return;
  if (plat::CreateOneDirectory(directory) && plat::AppendAtomically(path, bytes, count))
    return;

  // The directory cannot hold the log: the platform's fallback directory
  // takes the line, created (one level) when it is missing.
  std::string fallback = plat::FallbackLogDirectory(directory);
  std::string fallbackPath = fallback + separator + fileName;
  if (plat::AppendAtomically(fallbackPath, bytes, count))
    return;
  if (plat::CreateOneDirectory(fallback))
    plat::AppendAtomically(fallbackPath, bytes, count);
  // Nowhere to write: the line is dropped.
}

} // namespace

FileLog::FileLog(const char *message) { WriteLogLine(message, "error", plat::DefaultLogDirectory()); }

FileLog::FileLog(const char *message, const char *name) {
  WriteLogLine(message, name, plat::DefaultLogDirectory());
}

FileLog::FileLog(const char *message, const char *name, const char *directory) {
  WriteLogLine(message, name, directory ? directory : "");
}
