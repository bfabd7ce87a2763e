// The KE's Directory lines: file lines and the closing memory figures.
#include "devices/dirinterpreter.h"

#include <cstddef>
#include <cstdint>

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// The whole text must be an optional sign followed by at least one decimal
// digit, and the value must fit 32 bits; anything else throws.
int32_t StrictDecimal(const std::string &text) {
  size_t pos = 0;
  bool negative = false;
  if (pos < text.size() && (text[pos] == '+' || text[pos] == '-')) {
    negative = text[pos] == '-';
    ++pos;
  }
  if (pos == text.size())
    throw DirConversionError(text);
  int64_t value = 0;
  for (; pos < text.size(); ++pos) {
    if (!IsDigit(text[pos]))
      throw DirConversionError(text);
    value = value * 10 + (text[pos] - '0');
    if (value > int64_t{INT32_MAX} + 1)
      throw DirConversionError(text);
  }
  if (negative)
    value = -value;
  if (value > INT32_MAX || value < INT32_MIN)
    throw DirConversionError(text);
  return static_cast<int32_t>(value);
}

void TrimLeadingSpaces(std::string &line) {
  size_t n = line.find_first_not_of(' ');
  line.erase(0, n == std::string::npos ? line.size() : n);
}

// Removes every single space standing between two digits, scanning forward
// one character at a time, so "1 2 3" becomes "123" while "1  2" stays.
void JoinDigitGroups(std::string &line) {
  for (size_t i = 0; i + 2 < line.size(); ++i) {
    if (IsDigit(line[i]) && line[i + 1] == ' ' && IsDigit(line[i + 2]))
      line.erase(i + 1, 1);
  }
}

// The decimal field at the front of text into value, then that field and the
// blanks after it off the text. False when no blank ends the field.
bool TakeNumber(std::string &text, int32_t &value) {
  size_t space = text.find(' ');
  if (space == std::string::npos)
    return false;
  value = StrictDecimal(text.substr(0, space));
  text.erase(0, space + 1);
  TrimLeadingSpaces(text);
  return true;
}

} // namespace

DirInterpreterClass::DirInterpreterClass() = default;

// A file line: name, type, date, value, size and the OK mark, each field
// taken off the front of the line in turn.
void DirInterpreterClass::ParseEntry(std::string &line) {
  // Every way out before the end, a failed conversion included, leaves the
  // line marked invalid.
  entryValid = false;
  if (line.size() < 50)
    return;
  JoinDigitGroups(line);
  TrimLeadingSpaces(line);
  if (!ReadName(line))
    return;
  ReadTypeAndDate(line);
  if (!TakeNumber(line, entryValue) || !TakeNumber(line, fileSize))
    return;
  entryValid = line.compare(0, 2, "OK") == 0;
}

// The name field, whose characters 2 to 5 are the file number, then the
// field and the blanks after it off the text. False when no blank ends it.
bool DirInterpreterClass::ReadName(std::string &text) {
  size_t space = text.find(' ');
  if (space == std::string::npos)
    return false;
  entryName = text.substr(0, space);
  fileNumber = StrictDecimal(entryName.substr(entryName.empty() ? 0 : 1, 4));
  text.erase(0, space + 1);
  TrimLeadingSpaces(text);
  return true;
}

// The one-character type and the ten-character date, each with the blanks
// after it, off the front of the text (either may be cut short by its end).
void DirInterpreterClass::ReadTypeAndDate(std::string &text) {
  if (!text.empty()) {
    entryType = text[0];
    text.erase(0, 1);
  } else {
    entryType = 0;
  }
  TrimLeadingSpaces(text);
  entryDate = text.substr(0, 10);
  text.erase(0, entryDate.size());
  TrimLeadingSpaces(text);
}
