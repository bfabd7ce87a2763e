#include "platform/text.h"

#include <windows.h>

// <windows.h> defines AnsiUpper as a macro for its old name of CharUpperA.
#undef AnsiUpper

namespace plat {

std::string AnsiUpper(std::string text) {
  // CharUpperBuffA takes a DWORD length; convert in chunks so that a text of
  // any length is handled.
  size_t done = 0;
  while (done < text.size()) {
    const size_t left = text.size() - done;
    const DWORD chunk = left > 0x40000000u ? 0x40000000u : static_cast<DWORD>(left);
    CharUpperBuffA(&text[done], chunk);
    done += chunk;
  }
  return text;
}

} // namespace plat
