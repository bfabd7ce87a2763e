#include "platform/numtext.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

int HexDigit(char c) {
  if (c >= '0' && c <= '9')
    return c - '0';
  if (c >= 'A' && c <= 'F')
    return c - 'A' + 10;
  if (c >= 'a' && c <= 'f')
    return c - 'a' + 10;
  return -1;
}

namespace {

// Skips the sign at i; true when it is a minus.
bool TakeSign(std::string_view text, size_t &i) {
  if (i < text.size() && (text[i] == '+' || text[i] == '-'))
    return text[i++] == '-';
  return false;
}

} // namespace

std::string UpperAscii(std::string text) {
  for (char &c : text)
    if (c >= 'a' && c <= 'z')
      c = static_cast<char>(c - 'a' + 'A');
  return text;
}

int64_t DecimalAt(std::string_view text, size_t *used) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ')
    ++i;
  bool negative = TakeSign(text, i);
  uint64_t value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i)
    value = value * 10 + static_cast<uint64_t>(text[i] - '0');
  if (used)
    *used = i;
  return static_cast<int64_t>(negative ? ~value + 1 : value);
}

uint64_t HexAt(std::string_view text, size_t *used) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
    ++i;
  bool negative = TakeSign(text, i);
  if (i + 2 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X') && HexDigit(text[i + 2]) >= 0)
    i += 2;
  uint64_t value = 0;
  for (; i < text.size() && HexDigit(text[i]) >= 0; ++i)
    value = (value << 4) | static_cast<uint64_t>(HexDigit(text[i]));
  if (used)
    *used = i;
  return negative ? ~value + 1 : value;
}

int64_t DecimalAfter(std::string_view text, std::string_view marker) {
  const size_t at = text.find(marker);
  return at == std::string_view::npos ? 0 : DecimalAt(text.substr(at + marker.size()));
}

std::string UpperHex(uint64_t value, int width) {
  char text[64];
  const int size = std::snprintf(text, sizeof text, "%0*" PRIX64, width, value);
  return size < 0 ? std::string() : std::string(text, std::min(static_cast<size_t>(size), sizeof text - 1));
}

std::string FixedText(double value, int decimals) {
  // Enough for every double with the decimals any caller asks for.
  char text[512];
  const int size = std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return size < 0 ? std::string() : std::string(text, std::min(static_cast<size_t>(size), sizeof text - 1));
}
