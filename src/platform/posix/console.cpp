#include "platform/console.h"

#include "platform/cp1250.h"

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

extern char **environ;

namespace plat {

namespace {

std::atomic<bool> journalConsole{false};
// Whether the journal's next byte starts a line; under journalLock.
std::mutex journalLock;
bool journalLineStart = true;

// Whether fd is the stream JOURNAL_STREAM ("<device>:<inode>", decimal) names.
bool IsJournal(int fd) {
  const char *stream = std::getenv("JOURNAL_STREAM");
  unsigned long long device = 0;
  unsigned long long inode = 0;
  char end = 0;
  if (stream == nullptr || std::sscanf(stream, "%llu:%llu%c", &device, &inode, &end) != 2)
    return false;
  struct stat status {};
  return ::fstat(fd, &status) == 0 && static_cast<unsigned long long>(status.st_dev) == device &&
         static_cast<unsigned long long>(status.st_ino) == inode;
}

} // namespace

void ConsoleStart() { journalConsole = IsJournal(STDOUT_FILENO); }

void ConsoleWrite(const std::string &text, LinePriority priority) {
  if (!journalConsole) {
    ConsoleWrite(text.data(), text.size());
    return;
  }
  std::string utf8 = Cp1250ToUtf8(text);
  std::string lines;
  std::lock_guard<std::mutex> hold(journalLock);
  for (char ch : utf8) {
    // The journal ends a line at LF; a CR would make the line binary data.
    if (ch == '\r')
      continue;
    if (journalLineStart) {
      lines += '<';
      lines += static_cast<char>('0' + static_cast<int>(priority));
      lines += '>';
    }
    lines += ch;
    journalLineStart = ch == '\n';
  }
  std::fwrite(lines.data(), 1, lines.size(), stdout);
  std::fflush(stdout);
}

void ConsoleWrite(const char *bytes, size_t count) {
  if (!bytes || count == 0)
    return;
  if (journalConsole) {
    ConsoleWrite(std::string(bytes, count), LinePriority::kInfo);
    return;
  }
  // UTF-8 whatever the locale (cron, a service and the C locale included);
  // one fwrite per call, so lines of different threads do not mix.
  std::string text = Cp1250ToUtf8(bytes, count);
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

void ConsoleWrite(const std::string &text) { ConsoleWrite(text.data(), text.size()); }

bool ConsoleIsTerminal() { return isatty(STDOUT_FILENO) == 1; }

int ConsoleColumns() {
  struct winsize size {};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
    return size.ws_col;
  return 80;
}

int ConsoleReadChar() {
  int c = std::getchar();
  return c == EOF ? -1 : c;
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  for (char **entry = environ; entry && *entry; ++entry)
    entries.emplace_back(*entry);
  return entries;
}

std::string GetEnv(const char *name) {
  const char *value = name ? std::getenv(name) : nullptr;
  return value ? value : "";
}

std::string HostName() {
  char name[256] = {};
  if (gethostname(name, sizeof name - 1) != 0)
    return "";
  return name;
}

} // namespace plat
