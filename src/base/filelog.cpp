#include "base/filelog.h"

#include <atomic>
#include <mutex>
#include <set>
#include <string>

#include "base/consoleline.h"
#include "base/bytebuffer.h"
#include "platform/files.h"

namespace {

std::atomic<bool> linkRefused{false};

// A log file that is a link is never written through; the console hears of
// each such file once.
void RefuseLink(const std::string &path) {
  static std::mutex lock;
  static std::set<std::string> said;
  linkRefused.store(true);
  std::lock_guard<std::mutex> hold(lock);
  if (said.insert(path).second)
    consoleline::Write("Plik dziennika jest dowi\xB9zaniem; nic do niego nie zapisano: " + path + "\r\n");
}

void WriteLogLine(const char *message, const char *name, const std::string &directory,
                  const plat::Dir *held = nullptr) {
  ByteBuffer line;
  line.AppendTimestamp();
  line.AppendText("> ");
  line.AppendText(message);
  line.AppendText("\r\n");
  const char *bytes = line.Text();
  size_t count = static_cast<size_t>(line.TextLength());

  std::string fileName = std::string(name && *name ? name : "NN") + "_log.txt";
  const std::string path = plat::JoinPath(directory, fileName);
  const std::string fallback = plat::FallbackLogDirectory(directory);
  if (held != nullptr) {
    if (held->AppendAtomically(fileName, bytes, count))
      return;
    if (held->TypeOf(fileName) == plat::EntryType::kLink)
      RefuseLink(path);
  } else if (directory != fallback) {
    if (plat::AppendAtomically(path, bytes, count))
      return;
    if (plat::TypeOf(path) == plat::EntryType::kLink)
      RefuseLink(path);
    else if (plat::CreateOneDirectory(directory) && plat::AppendAtomically(path, bytes, count))
      return;
  }

  // The directory cannot hold the log: the platform's fallback directory
  // takes the line. It may lie in a folder other users share, so it is made
  // ready with care (a link in place of the file is never followed).
  if (plat::PrepareFallbackLogDirectory(fallback))
    plat::AppendAtomically(plat::JoinPath(fallback, fileName), bytes, count);
  // Nowhere to write: the line is dropped.
}

} // namespace

bool FileLog::LinkRefused() { return linkRefused.load(); }

FileLog::FileLog(const char *message) { WriteLogLine(message, "error", plat::DefaultLogDirectory()); }

FileLog::FileLog(const char *message, const char *name) {
  WriteLogLine(message, name, plat::DefaultLogDirectory());
}

FileLog::FileLog(const char *message, const char *name, const char *directory) {
  WriteLogLine(message, name, directory ? directory : "");
}

FileLog::FileLog(const char *message, const char *name, const plat::Dir &folder) {
  WriteLogLine(message, name, folder.Path(), &folder);
}
