// DirInterpreterClass: reads the lines of the KE's Directory file.
//
// ParseEntry reads a file line into name, type, date, the two numbers and the
// OK mark. Number fields are converted strictly (decimal digits with an optional sign,
// nothing else, and within 32 bits). A failed conversion is reported by
// throwing DirConversionError: the parse ends at that point with the fields
// reached so far changed and entryValid false, and the caller decides whether
// to skip the line.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

class DirConversionError : public std::runtime_error {
public:
  explicit DirConversionError(const std::string &text)
      : std::runtime_error("not a decimal number: '" + text + "'"), text(text) {}
  std::string text;
};

class DirInterpreterClass {
public:
  DirInterpreterClass();

  void ParseEntry(std::string &line);

  std::string entryName;
  char entryType = 0;
  std::string entryDate;
  int32_t entryValue = 0;
  int32_t fileNumber = 0;
  int32_t fileSize = 0;
  bool entryValid = false;

private:
  bool ReadName(std::string &text);
  void ReadTypeAndDate(std::string &text);
};

