// The Directory reader on file lines and closing lines.
#include <gtest/gtest.h>

#include <string>

#include "devices/dirinterpreter.h"

namespace {

std::string PadTo(std::string line, size_t width) {
  if (line.size() < width)
    line.append(width - line.size(), ' ');
  return line;
}

// The worked example: a space, Z0001, D, the date, 12 and "3 456" (one space
// inside), OK, padded with spaces to 50 characters.
std::string ExampleLine() { return PadTo(" Z0001 D 2010-03-30  12  3 456 OK", 50); }

} // namespace

TEST(DirEntry, WorkedExampleLine) {
  DirInterpreterClass dir;
  std::string line = ExampleLine();
  ASSERT_EQ(line.size(), 50u);
  dir.ParseEntry(line);
  EXPECT_TRUE(dir.entryValid);
  EXPECT_EQ(dir.entryName, "Z0001");
  EXPECT_EQ(dir.fileNumber, 1);
  EXPECT_EQ(dir.entryType, 'D');
  EXPECT_EQ(dir.entryDate, "2010-03-30");
  EXPECT_EQ(dir.entryValue, 12);
  EXPECT_EQ(dir.entryValueCopy, 12);
  EXPECT_EQ(dir.fileSize, 3456);
  EXPECT_EQ(dir.okFlag, 1);
  EXPECT_EQ(dir.entryName + "_" + dir.entryDate + ".ej", "Z0001_2010-03-30.ej");
  EXPECT_EQ(dir.currentLine, &line);
}

TEST(DirEntry, OneSpaceJoinsValueAndSizeThenFailsOnOk) {
  DirInterpreterClass dir;
  std::string good = ExampleLine();
  dir.ParseEntry(good);
  ASSERT_TRUE(dir.entryValid);

  std::string line = PadTo(" Z0002 D 2010-03-31  12 3 456 OK", 50);
  EXPECT_THROW(dir.ParseEntry(line), DirConversionError);
  EXPECT_EQ(dir.entryName, "Z0002");
  EXPECT_EQ(dir.entryValue, 123456);
  // The size was never reached: it keeps the previous line's value, but the
  // line itself is not reported as valid.
  EXPECT_EQ(dir.fileSize, 3456);
  EXPECT_FALSE(dir.entryValid);
}

TEST(DirEntry, LengthLimitAndMissingFields) {
  DirInterpreterClass dir;
  std::string ok = ExampleLine();
  dir.ParseEntry(ok);
  ASSERT_TRUE(dir.entryValid);

  std::string short49 = ExampleLine().substr(0, 49);
  dir.ParseEntry(short49);
  EXPECT_FALSE(dir.entryValid);
  EXPECT_EQ(short49, ExampleLine().substr(0, 49)); // not touched

  std::string allSpaces(60, ' ');
  dir.ParseEntry(allSpaces);
  EXPECT_FALSE(dir.entryValid);

  // No OK at the end: parsed, but not valid; okFlag keeps its 1.
  std::string noOk = PadTo(" Z0003 D 2010-04-01  7  88 XX", 50);
  dir.ParseEntry(noOk);
  EXPECT_FALSE(dir.entryValid);
  EXPECT_EQ(dir.fileSize, 88);
  EXPECT_EQ(dir.okFlag, 1);

  // Name without any following space.
  std::string oneWord(55, 'Z');
  dir.ParseEntry(oneWord);
  EXPECT_FALSE(dir.entryValid);
}

TEST(DirEntry, OkFlagStartsAt255) {
  DirInterpreterClass dir;
  EXPECT_EQ(dir.okFlag, 255);
  EXPECT_FALSE(dir.entryValid);
  std::string noOk = PadTo(" Z0003 D 2010-04-01  7  88 NO", 50);
  dir.ParseEntry(noOk);
  EXPECT_EQ(dir.okFlag, 255);
}

TEST(DirEntry, StrictConversions) {
  DirInterpreterClass dir;
  // Characters 2 to 5 of the name must be a number.
  std::string badName = PadTo(" ZA001 D 2010-03-30  12  3456 OK", 50);
  EXPECT_THROW(dir.ParseEntry(badName), DirConversionError);
  EXPECT_FALSE(dir.entryValid);

  std::string shortName = PadTo(" Z D 2010-03-30  12  3456 OK", 50);
  EXPECT_THROW(dir.ParseEntry(shortName), DirConversionError);

  // A hexadecimal-looking or trailing-garbage size is not a number.
  std::string hexSize = PadTo(" Z0001 D 2010-03-30  12  0x10 OK", 50);
  EXPECT_THROW(dir.ParseEntry(hexSize), DirConversionError);
  std::string lone = PadTo(" Z0001 D 2010-03-30  12  - OK", 50);
  EXPECT_THROW(dir.ParseEntry(lone), DirConversionError);
  std::string tooBig = PadTo(" Z0001 D 2010-03-30  12  99999999999 OK", 50);
  EXPECT_THROW(dir.ParseEntry(tooBig), DirConversionError);

  // Signs are accepted.
  std::string signs = PadTo(" Z0012 D 2010-03-30  -12  +40 OK", 50);
  dir.ParseEntry(signs);
  EXPECT_TRUE(dir.entryValid);
  EXPECT_EQ(dir.fileNumber, 12);
  EXPECT_EQ(dir.entryValue, -12);
  EXPECT_EQ(dir.fileSize, 40);
}

TEST(DirEntry, DigitsAfterDateBelongToValue) {
  DirInterpreterClass dir;
  // "2010-03-30 5" joins to "2010-03-305": the date is cut by position and
  // the 5 becomes the start of the value.
  std::string line = PadTo(" Z0001 D 2010-03-30 5  100 OK", 50);
  dir.ParseEntry(line);
  EXPECT_TRUE(dir.entryValid);
  EXPECT_EQ(dir.entryDate, "2010-03-30");
  EXPECT_EQ(dir.entryValue, 5);
  EXPECT_EQ(dir.fileSize, 100);
}

TEST(DirCapacity, LabelsAndRemovedLengths) {
  DirInterpreterClass dir;
  std::string flash = "FLASH CAPACITY: 1 048 576";
  EXPECT_TRUE(dir.ParseCapacity(flash));
  EXPECT_EQ(dir.flashCapacity, 1048576);

  std::string invalid = "INVALID BLOCKS: 3";
  EXPECT_TRUE(dir.ParseCapacity(invalid));
  EXPECT_EQ(dir.invalidBlocks, 3);

  std::string usable = "  USABLE CAPACITY: 1 000 000  ";
  EXPECT_TRUE(dir.ParseCapacity(usable));
  EXPECT_EQ(dir.usableCapacity, 1000000);

  // The character after the label goes whatever it is.
  std::string free = "FREE SPACE 100";
  EXPECT_TRUE(dir.ParseCapacity(free));
  EXPECT_EQ(dir.freeSpace, 100);
  std::string freeColon = "FREE SPACE:7";
  dir.ParseCapacity(freeColon);
  EXPECT_EQ(dir.freeSpace, 7);

  std::string trailer = std::string(40, ' ') + "42";
  EXPECT_TRUE(dir.ParseCapacity(trailer));
  EXPECT_EQ(dir.trailerValue, 42);
  EXPECT_EQ(dir.freeSpace, 7);
}

TEST(DirCapacity, FirstLabelInOrderWins) {
  DirInterpreterClass dir;
  std::string both = "FREE SPACE:" + std::string(40, ' ') + "55";
  dir.ParseCapacity(both);
  EXPECT_EQ(dir.freeSpace, 55);
  EXPECT_EQ(dir.trailerValue, 0);

  std::string none = "END OF DIRECTORY";
  EXPECT_TRUE(dir.ParseCapacity(none));
  EXPECT_EQ(none, "END OF DIRECTORY");
  EXPECT_EQ(dir.flashCapacity, 0);
  EXPECT_EQ(dir.freeSpace, 55);
}

TEST(DirCapacity, NonNumericRestThrows) {
  DirInterpreterClass dir;
  std::string letters = "USABLE CAPACITY: abc";
  EXPECT_THROW(dir.ParseCapacity(letters), DirConversionError);
  EXPECT_EQ(dir.usableCapacity, 0);

  std::string empty = "FLASH CAPACITY:";
  EXPECT_THROW(dir.ParseCapacity(empty), DirConversionError);
  std::string textBefore = "X FLASH CAPACITY: 12";
  EXPECT_THROW(dir.ParseCapacity(textBefore), DirConversionError);
}
