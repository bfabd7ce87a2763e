#include "platform/syserror.h"

#include <windows.h>

namespace plat {

uint32_t SystemError() { return GetLastError(); }

void RestoreSystemError(uint32_t code) { SetLastError(code); }

std::string SystemErrorText(uint32_t code) {
  if (code == 0)
    return std::string();
  char buffer[512] = {};
  // The system's language; the ANSI code page is the one the logs are in.
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, buffer,
                                sizeof buffer, nullptr);
  std::string text(buffer, length);
  while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
    text.pop_back();
  return text.empty() ? "GetLastError " + std::to_string(code) : text;
}

} // namespace plat
