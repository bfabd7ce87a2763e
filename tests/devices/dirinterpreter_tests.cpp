// The Directory reader on file lines.
#include <gtest/gtest.h>

#include <string>

#include "devices/dirinterpreter.h"

namespace {

std::string PadTo(std::string line, size_t width = 50) {
  if (line.size() < width)
    line.append(width - line.size(), ' ');
  return line;
}

// The worked example: a space, Z0001, D, the date, 12 and "3 456" (one space
// inside), OK, padded with spaces to 50 characters.
const std::string kExample = PadTo(" Z0001 D 2010-03-30  12  3 456 OK");

enum Outcome { kValid, kInvalid, kThrows };

struct EntryCase {
  std::string line;
  Outcome outcome;
  int32_t value, size; // checked when the parse gets that far (-1: not checked)
};

} // namespace

TEST(DirEntry, VariantsOfTheExample) {
  const EntryCase cases[] = {
      // One space between 12 and 3 456 joins them; the size is then "OK".
      {PadTo(" Z0002 D 2010-03-31  12 3 456 OK"), kThrows, 123456, -1},
      {kExample.substr(0, 49), kInvalid, -1, -1},
      {std::string(60, ' '), kInvalid, -1, -1},
      {std::string(55, 'Z'), kInvalid, -1, -1},                 // no space after the name
      {PadTo(" Z0003 D 2010-04-01  7  88 XX"), kInvalid, 7, 88}, // no OK
      {PadTo(" ZA001 D 2010-03-30  12  3456 OK"), kThrows, -1, -1},
      {PadTo(" Z D 2010-03-30  12  3456 OK"), kThrows, -1, -1},
      {PadTo(" Z0001 D 2010-03-30  12  0x10 OK"), kThrows, 12, -1},
      {PadTo(" Z0001 D 2010-03-30  12  - OK"), kThrows, 12, -1},
      {PadTo(" Z0001 D 2010-03-30  12  99999999999 OK"), kThrows, 12, -1},
      {PadTo(" Z0012 D 2010-03-30  -12  +40 OK"), kValid, -12, 40},
      // Digits joined to the date belong to the value: the date is cut by position.
      {PadTo(" Z0001 D 2010-03-30 5  100 OK"), kValid, 5, 100},
  };
  for (const EntryCase &c : cases) {
    DirInterpreterClass dir;
    std::string good = kExample;
    dir.ParseEntry(good);
    std::string line = c.line;
    if (c.outcome == kThrows)
      EXPECT_THROW(dir.ParseEntry(line), DirConversionError) << c.line;
    else
      dir.ParseEntry(line);
    EXPECT_EQ(dir.entryValid, c.outcome == kValid) << c.line;
    if (c.value != -1) {
      EXPECT_EQ(dir.entryValue, c.value) << c.line;
    }
    // A size not reached keeps the previous line's value.
    EXPECT_EQ(dir.fileSize, c.size != -1 ? c.size : 3456) << c.line;
    if (c.line.size() < 50) {
      EXPECT_EQ(line, c.line); // not touched
    }
  }
}
