// The names Windows opens as a device in any folder, kept in one place for
// the archive's name rule and the Windows file calls.
#include "platform/files.h"

#include <cctype>

namespace plat {

bool IsReservedDeviceName(const std::string &name) {
  // The stem: up to the first dot, without trailing blanks, in upper case.
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ')
    stem.pop_back();
  for (char &ch : stem)
    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
    return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
         stem[3] <= '9';
}

} // namespace plat
