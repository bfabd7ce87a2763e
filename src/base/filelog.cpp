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
  const std::string fallback = plat::FallbackLogDirectory(directory);
  if (directory != fallback) {
    if (plat::AppendAtomically(path, bytes, count))
      return;
    if (plat::CreateOneDirectory(directory) && plat::AppendAtomically(path, bytes, count))
      return;
  }

  // The directory cannot hold the log: the platform's fallback directory
  // takes the line. It may lie in a folder other users share, so it is made
  // ready with care, and a link in place of the file is not followed.
  if (plat::PrepareFallbackLogDirectory(fallback))
    plat::AppendAtomically(fallback + separator + fileName, bytes, count, true);
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
