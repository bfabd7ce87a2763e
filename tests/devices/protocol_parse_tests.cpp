// The parsers of the printer's information reply and the KE's identity reply,
// without a port.
#include <gtest/gtest.h>

#include <string>

#include "devices/drukarka.h"
#include "devices/vemoracopyclass.h"
#include "testbytes.h"

namespace {

iBuffer Bytes(const std::string &s) {
  iBuffer b;
  b.AppendBytes(s.data(), static_cast<int>(s.size()));
  return b;
}

// Counters, a date, seven rates (23, 8, 5, 0, exempt 100, unused 101, 7),
// a count, the four totals of the rates in use, two more totals, then the tail.
const std::string kFields = "1#X1;2;3;4;5;6;10;3;30;23.00;8.00;5.00;0.00;100.00;101.00;7.00;9;"
                            "1.00;2.00;3.00;4.00;5,00;6.00;";

} // namespace

TEST(InformationReply, ElevenCharacterNumberBeforeTerminator) {
  iBuffer reply = Bytes(kFields + "ABC12345678\x1b\\");
  EXPECT_EQ(ExtractUniqueNumber(reply), "ABC12345678");

  // Without the closing ESC '\' the same number comes out.
  iBuffer bare = Bytes(kFields + "ABC12345678");
  EXPECT_EQ(ExtractUniqueNumber(bare), "ABC12345678");

  // More left over: only the last eleven characters count.
  iBuffer longer = Bytes(kFields + "xyzABC12345678\x1b\\");
  EXPECT_EQ(ExtractUniqueNumber(longer), "ABC12345678");
}

TEST(InformationReply, ShortOrMissingRemainder) {
  iBuffer shortTail = Bytes(kFields + "AB123\x1b\\");
  EXPECT_EQ(ExtractUniqueNumber(shortTail), "AB123");

  iBuffer onlyFields = Bytes(kFields + "\x1b\\");
  EXPECT_EQ(ExtractUniqueNumber(onlyFields), "");

  iBuffer empty;
  EXPECT_EQ(ExtractUniqueNumber(empty), "");

  iBuffer terminatorOnly = Bytes("\x1b\\");
  EXPECT_EQ(ExtractUniqueNumber(terminatorOnly), "");
}

TEST(InformationReply, GarbageStaysWithinTheReply) {
  // NUL bytes, no separators, a lone backslash, long runs of digits: the
  // result is always a piece of the reply, at most 11 bytes.
  const std::string inputs[] = {
      std::string(300, '\0'),
      std::string("#X") + std::string(200, '9'),
      std::string(150, '.') + "\\",
      "<>;;;,,,...///   " + std::string(40, '1') + ".5",
      std::string("\x1b\x1b\\\\", 4),
  };
  for (const std::string &input : inputs) {
    iBuffer reply = Bytes(input);
    std::string out = ExtractUniqueNumber(reply);
    EXPECT_LE(out.size(), 11u);
  }
}

TEST(Identity, LinesAfterTheLineBreaks) {
  const std::string text = "KE\r\nL2\r\nABC12345678\r\nL4\r\nAB12345678\r\nL6\r\nL7\r\nL8\r\nL9\r\n\x1a";
  iBuffer reply = Bytes(text);
  std::string out[5];
  SplitIdentity(reply, out);
  EXPECT_EQ(out[0], text);
  EXPECT_EQ(out[1], "AB12345678");
  EXPECT_EQ(out[2], "ABC12345678");
  EXPECT_EQ(out[3], "L7");
  EXPECT_EQ(out[4], "L9");

  // Bare LF line ends count one break a line.
  iBuffer lf = Bytes("a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\nl\nm\nn\no\np\nq\x1a");
  SplitIdentity(lf, out);
  EXPECT_EQ(out[1], "i");
  EXPECT_EQ(out[2], "e");
  EXPECT_EQ(out[3], "m");
  EXPECT_EQ(out[4], "q\x1a");
}

TEST(Identity, TooFewBreaksAndOddBytes) {
  std::string out[5] = {"old", "old", "old", "old", "old"};
  iBuffer few = Bytes("KE\r\nL2\r\nL3\x1a");
  SplitIdentity(few, out);
  EXPECT_EQ(out[0], "KE\r\nL2\r\nL3\x1a");
  EXPECT_EQ(out[1], "");
  EXPECT_EQ(out[2], "L3\x1a");
  EXPECT_EQ(out[3], "");
  EXPECT_EQ(out[4], "");

  iBuffer busy = Bytes("\x1a");
  SplitIdentity(busy, out);
  EXPECT_EQ(out[0], "\x1a");
  EXPECT_EQ(out[2], "");

  // A NUL ends entry 0 and counts as a break; breaks at the very end leave
  // empty entries, never reading past the data.
  iBuffer nul = Bytes(std::string("AB\0CD\r\n\r", 8));
  SplitIdentity(nul, out);
  EXPECT_EQ(out[0], "AB");
  EXPECT_EQ(out[2], "");
  iBuffer breaks = Bytes(std::string(16, '\n'));
  SplitIdentity(breaks, out);
  EXPECT_EQ(out[0], std::string(16, '\n'));
  EXPECT_EQ(out[4], "");
}

TEST(PrinterFrames, ExactBytes) {
  EXPECT_EQ(Hex(ChecksumFrame(iBuffer("&d"))), "1B 50 26 64 42 44 1B 5C");
  EXPECT_EQ(Hex(PlainFrame(iBuffer("0#s"))), "1B 50 30 23 73 1B 5C");
  EXPECT_EQ(Hex(ChecksumFrame(iBuffer())), "1B 50 46 46 1B 5C");
}

TEST(PrinterFrames, PolishLettersAreConvertedBeforeTheChecksum) {
  // Windows-1250 A-ogonek 0xA5 and l-stroke 0xB3 go out as Mazovia 0x8F and
  // 0x92; the checksum is 0xFF ^ 0x8F ^ 0x92 = 0xE2, not that of the
  // Windows-1250 bytes.
  EXPECT_EQ(Hex(ChecksumFrame(iBuffer("\xA5\xB3"))), "1B 50 8F 92 45 32 1B 5C");
  EXPECT_EQ(Hex(PlainFrame(iBuffer("\xA5x"))), "1B 50 8F 78 1B 5C");
}

TEST(Relay, StatusesThatMeanRelaying) {
  for (int b = 0; b < 256; ++b)
    EXPECT_EQ(RelayActive(static_cast<uint8_t>(b)), b >= 0x78 && b <= 0x7F) << b;
}
