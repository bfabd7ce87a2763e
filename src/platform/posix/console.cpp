#include "platform/console.h"

#include "platform/cp1250.h"

#include <atomic>
#include <clocale>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <sys/ioctl.h>
#include <unistd.h>

extern char **environ;

namespace plat {

namespace {

std::atomic<bool> utf8Console{false};

} // namespace

void ConsoleStart() {
  std::setlocale(LC_CTYPE, "");
  const char *codeset = nl_langinfo(CODESET);
  utf8Console = codeset && (std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "utf8") == 0);
}

void ConsoleWrite(const char *bytes, size_t count) {
  if (!bytes || count == 0)
    return;
  // One fwrite per call, so lines of different threads do not mix.
  if (utf8Console) {
    std::string text = Cp1250ToUtf8(bytes, count);
    std::fwrite(text.data(), 1, text.size(), stdout);
  } else {
    std::fwrite(bytes, 1, count, stdout);
  }
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
