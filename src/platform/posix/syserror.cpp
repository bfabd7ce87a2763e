#include "platform/syserror.h"

#include <cerrno>
#include <cstring>

namespace plat {
namespace {

// strerror_r comes in two forms: the GNU one returns the text, the XSI one
// fills the buffer.
[[maybe_unused]] const char *Chosen(const char *text, const char *) { return text; }
[[maybe_unused]] const char *Chosen(int result, const char *buffer) { return result == 0 ? buffer : ""; }

} // namespace

uint32_t SystemError() { return static_cast<uint32_t>(errno); }

void RestoreSystemError(uint32_t code) { errno = static_cast<int>(code); }

std::string SystemErrorText(uint32_t code) {
  if (code == 0)
    return std::string();
  char buffer[256] = {};
  // strerror is not thread-safe; the workers may fail at the same time.
  const std::string text = Chosen(strerror_r(static_cast<int>(code), buffer, sizeof buffer), buffer);
  return text.empty() ? "errno " + std::to_string(code) : text;
}

} // namespace plat
