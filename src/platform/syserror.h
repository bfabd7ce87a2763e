// The system's own reason for a failed call (errno on POSIX, GetLastError on
// Windows), for the error lines that say what failed. The code is the calling
// thread's and the next system call may change it, so it is read right after
// the call that failed, or kept across clean-up calls with KeptSystemError.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

// The calling thread's last system error code, and a way to put one back.
uint32_t SystemError();
void RestoreSystemError(uint32_t code);
// The system's text for a code (strerror; FormatMessage in the system's
// language and code page), without a trailing line end; empty for code 0.
std::string SystemErrorText(uint32_t code);
inline std::string LastErrorText() { return SystemErrorText(SystemError()); }
// ": " and LastErrorText(), to end an error line; empty when there is no
// reason to give.
inline std::string LastErrorSuffix() {
  const std::string text = LastErrorText();
  return text.empty() ? text : ": " + text;
}

// Keeps the calling thread's last system error across the clean-up calls in
// its scope (taken when made, put back when it goes).
class KeptSystemError {
public:
  KeptSystemError() : code(SystemError()) {}
  ~KeptSystemError() { RestoreSystemError(code); }
  KeptSystemError(const KeptSystemError &) = delete;
  KeptSystemError &operator=(const KeptSystemError &) = delete;

private:
  uint32_t code;
};

} // namespace plat
