// Numbers in texts and texts of numbers, and upper-casing ASCII letters: one
// rule for every device text and reply the program takes apart, the command
// line's COM numbers and the texts the platform layer reads (sysfs). The
// same on every system.
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
// The decimal number after the first marker in text, read as DecimalAt reads;
// 0 when text lacks the marker. COM numbers are read this way: after "COM" in
// an upper-cased command-line argument or port name, after "(COM" in a
// device's friendly name.
int64_t DecimalAfter(std::string_view text, std::string_view marker);
// A hexadecimal number at the start of text: white space, one sign, an
// optional 0x, then hex digits of either case; otherwise as DecimalAt.
uint64_t HexAt(std::string_view text, size_t *used = nullptr);

// value in upper-case hex digits, at least width of them (leading zeros).
std::string UpperHex(uint64_t value, int width = 0);
// value with decimals digits after the point ("%.<decimals>f").
std::string FixedText(double value, int decimals);
