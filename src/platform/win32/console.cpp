#include "platform/console.h"

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace plat {

namespace {
UINT savedOutputCp = 0;
void RestoreOutputCp() {
  if (savedOutputCp != 0)
    SetConsoleOutputCP(savedOutputCp);
}
} // namespace

void ConsoleStart() {
  // The messages are Windows-1250 bytes: show them in that code page while
  // the program runs, and keep CR LF as the two bytes it is.
  UINT current = GetConsoleOutputCP();
  if (current != 0 && current != 1250 && SetConsoleOutputCP(1250)) {
    savedOutputCp = current;
    std::atexit(RestoreOutputCp);
  }
  _setmode(_fileno(stdout), _O_BINARY);
}

void ConsoleWrite(const char *bytes, size_t count) {
  if (!bytes || count == 0)
    return;
  std::fwrite(bytes, 1, count, stdout);
  std::fflush(stdout);
}

void ConsoleWrite(const std::string &text) { ConsoleWrite(text.data(), text.size()); }

// No journal on Windows: the priority is not written.
void ConsoleWrite(const std::string &text, LinePriority) { ConsoleWrite(text.data(), text.size()); }

bool ConsoleIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_OUTPUT_HANDLE), &mode) != 0;
}

int ConsoleColumns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info) && info.dwSize.X > 0)
    return info.dwSize.X;
  return 80;
}

int ConsoleReadChar() {
  int c = std::getchar();
  return c == EOF ? -1 : c;
}

std::vector<std::string> EnvironmentEntries() {
  std::vector<std::string> entries;
  char *block = GetEnvironmentStringsA();
  if (!block)
    return entries;
  for (const char *entry = block; *entry; entry += std::char_traits<char>::length(entry) + 1)
    entries.emplace_back(entry);
  FreeEnvironmentStringsA(block);
  return entries;
}

std::string GetEnv(const char *name) {
  if (!name)
    return "";
  DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size == 0)
    return "";
  std::string value(size, '\0');
  DWORD n = GetEnvironmentVariableA(name, value.data(), size);
  if (n == 0 || n >= size)
    return "";
  value.resize(n);
  return value;
}

std::string HostName() {
  char name[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD size = sizeof name;
  if (!GetComputerNameA(name, &size))
    return "";
  return std::string(name, size);
}

} // namespace plat
