// Directory lines of any bytes through ParseEntry. A failed
// number conversion is the reader's documented error; anything else (a crash,
// an out-of-bounds access, undefined behaviour) is a fault.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devices/dirinterpreter.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  DirInterpreterClass dir;
  std::string text(reinterpret_cast<const char *>(data), size);
  // Several lines per input, as one Directory gives them to one reader.
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos)
      end = text.size();
    std::string line = text.substr(start, end - start);
    try {
      dir.ParseEntry(line);
      // A line taken as valid has a name, a date of at most 10 characters
      // and was at least 50 characters long.
      if (dir.entryValid && (dir.entryName.empty() || dir.entryDate.size() > 10 || end - start < 50))
        std::abort();
    } catch (const DirConversionError &) {
      if (dir.entryValid)
        std::abort();
    }
    start = end + 1;
  }
  return 0;
}
