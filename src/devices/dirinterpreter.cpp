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

void RemoveAllSpaces(std::string &line) {
  std::string kept;
  kept.reserve(line.size());
  for (char c : line)
    if (c != ' ')
      kept.push_back(c);
  line.swap(kept);
}

// Removes every single space standing between two digits, scanning forward
// one character at a time, so "1 2 3" becomes "123" while "1  2" stays.
void JoinDigitGroups(std::string &line) {
  for (size_t i = 0; i + 2 < line.size(); ++i) {
    if (IsDigit(line[i]) && line[i + 1] == ' ' && IsDigit(line[i + 2]))
      line.erase(i + 1, 1);
  }
}

} // namespace

DirInterpreterClass::DirInterpreterClass() = default;

void DirInterpreterClass::ParseEntry(std::string &line) {
  std::string &text = line;
  if (text.size() < 50) {
    entryValid = false;
    return;
  }
  // A number field that fails its conversion leaves the line marked invalid
  // before the error travels to the caller.
  auto number = [this](const std::string &field) {
    try {
      return StrictDecimal(field);
    } catch (...) {
      entryValid = false;
      throw;
    }
  };

  JoinDigitGroups(text);
  TrimLeadingSpaces(text);

  size_t space = text.find(' ');
  if (space == std::string::npos) {
    entryValid = false;
    return;
  }
  entryName = text.substr(0, space);
  fileNumber = number(entryName.substr(entryName.empty() ? 0 : 1, 4));
  text.erase(0, space + 1);
  TrimLeadingSpaces(text);

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

  space = text.find(' ');
  if (space == std::string::npos) {
    entryValid = false;
    return;
  }
  entryValue = number(text.substr(0, space));
  text.erase(0, space + 1);
  TrimLeadingSpaces(text);

  space = text.find(' ');
  if (space == std::string::npos) {
    entryValid = false;
    return;
  }
  fileSize = number(text.substr(0, space));
  text.erase(0, space + 1);
  TrimLeadingSpaces(text);

  entryValid = text.compare(0, 2, "OK") == 0;
}

bool DirInterpreterClass::ParseCapacity(std::string &line) {
  struct Label {
    const char *text;
    size_t removed;
    int32_t DirInterpreterClass::*field;
  };
  static const Label labels[] = {
      {"FLASH CAPACITY", 15, &DirInterpreterClass::flashCapacity},
      {"INVALID BLOCKS", 15, &DirInterpreterClass::invalidBlocks},
      {"USABLE CAPACITY", 16, &DirInterpreterClass::usableCapacity},
      {"FREE SPACE", 11, &DirInterpreterClass::freeSpace},
      {"                                        ", 40, &DirInterpreterClass::trailerValue},
  };
  for (const Label &label : labels) {
    size_t at = line.find(label.text);
    if (at == std::string::npos)
      continue;
    // The label and the one character after it go, whatever that is.
    line.erase(at, label.removed);
    RemoveAllSpaces(line);
    this->*label.field = StrictDecimal(line);
    return true;
  }
  return true;
}
