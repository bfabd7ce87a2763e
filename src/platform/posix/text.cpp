#include "platform/text.h"

#include <array>
#include <cstdint>

namespace plat {

namespace {

// Windows-1250 lower-case letter -> upper-case letter; 0 where a byte has no
// upper-case form.
constexpr std::array<uint8_t, 256> MakeUpperTable() {
  std::array<uint8_t, 256> table{};
  for (int c = 'a'; c <= 'z'; ++c) table[c] = static_cast<uint8_t>(c - 'a' + 'A');
  // š ś ť ž ź
  table[0x9A] = 0x8A;
  table[0x9C] = 0x8C;
  table[0x9D] = 0x8D;
  table[0x9E] = 0x8E;
  table[0x9F] = 0x8F;
  // ł ą ş ľ ż
  table[0xB3] = 0xA3;
  table[0xB9] = 0xA5;
  table[0xBA] = 0xAA;
  table[0xBE] = 0xBC;
  table[0xBF] = 0xAF;
  // ŕ á â ă ä ĺ ć ç č é ę ë ě í î ď đ ń ň ó ô ő ö, ř ů ú ű ü ý ţ: 0xE0..0xFE
  // map to 0xC0..0xDE, except the division sign 0xF7.
  for (int c = 0xE0; c <= 0xFE; ++c) {
    if (c != 0xF7) table[c] = static_cast<uint8_t>(c - 0x20);
  }
  return table;
}

constexpr std::array<uint8_t, 256> kUpper = MakeUpperTable();

} // namespace

std::string AnsiUpper(std::string text) {
  for (char &ch : text) {
    const uint8_t up = kUpper[static_cast<uint8_t>(ch)];
    if (up != 0) ch = static_cast<char>(up);
  }
  return text;
}

} // namespace plat
