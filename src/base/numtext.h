// Reading numbers out of texts, and upper-casing ASCII letters: one rule for
// every device text and reply the program takes apart.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The letters a-z upper-cased; every other byte stays as it is.
std::string UpperAscii(std::string text);

// The value of one hex digit of either case, or -1 for any other byte.
int HexDigit(char c);

// A decimal number at the start of text: blanks, one sign, then digits up to
// the first other character. No digits give 0. used (when given) gets the
// count of characters read. Digits past 64 bits keep the low 64 bits.
int64_t DecimalAt(std::string_view text, size_t *used = nullptr);
// A hexadecimal number at the start of text: white space, one sign, an
// optional 0x, then hex digits of either case; otherwise as DecimalAt.
uint64_t HexAt(std::string_view text, size_t *used = nullptr);
