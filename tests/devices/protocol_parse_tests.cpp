// The parsers of the printer's information reply and the KE's identity reply,
// without a port.
#include <gtest/gtest.h>

#include <string>

#include "devices/drukarka.h"
#include "devices/vemoracopyclass.h"
#include "testbytes.h"

namespace {

// Counters, a date, seven rates (23, 8, 5, 0, exempt 100, unused 101, 7),
// a count, the four totals of the rates in use, two more totals, then the tail.
const std::string kFields = "1#X1;2;3;4;5;6;10;3;30;23.00;8.00;5.00;0.00;100.00;101.00;7.00;9;"
                            "1.00;2.00;3.00;4.00;5,00;6.00;";

} // namespace

TEST(InformationReply, LastElevenCharactersAfterTheFields) {
  const std::pair<std::string, std::string> cases[] = {
      {kFields + "ABC12345678\x1b\\", "ABC12345678"},
      {kFields + "ABC12345678", "ABC12345678"},         // without the closing ESC '\\'
      {kFields + "xyzABC12345678\x1b\\", "ABC12345678"}, // more left over
      {kFields + "AB123\x1b\\", "AB123"},               // a short remainder as it is
      {kFields + "\x1b\\", ""},
      {"\x1b\\", ""},
  };
  for (const auto &[reply, number] : cases) {
    ByteBuffer buffer = Frame(reply);
    EXPECT_EQ(ExtractUniqueNumber(buffer), number) << reply;
  }
}

TEST(Identity, EntriesAfterThe8th4th12thAnd16thBreak) {
  struct Case {
    std::string reply;
    std::string entries[5];
  };
  const std::string crlf = "KE\r\nL2\r\nABC12345678\r\nL4\r\nAB12345678\r\nL6\r\nL7\r\nL8\r\nL9\r\n\x1a";
  const std::string lf = "a\nb\nc\nd\ne\nf\ng\nh\ni\nj\nk\nl\nm\nn\no\np\nq\x1a";
  const Case cases[] = {
      {crlf, {crlf, "AB12345678", "ABC12345678", "L7", "L9"}},
      // Bare LF line ends count one break a line.
      {lf, {lf, "i", "e", "m", "q\x1a"}},
      {"KE\r\nL2\r\nL3\x1a", {"KE\r\nL2\r\nL3\x1a", "", "L3\x1a", "", ""}}, // too few breaks
      {"\x1a", {"\x1a", "", "", "", ""}},                                // busy module
      // A NUL ends entry 0 and counts as a break; breaks at the very end
      // leave empty entries, never reading past the data.
      {std::string("AB\0CD\r\n\r", 8), {"AB", "", "", "", ""}},
      {std::string(16, '\n'), {std::string(16, '\n'), "", "", "", ""}},
  };
  for (const Case &c : cases) {
    std::string out[5] = {"old", "old", "old", "old", "old"};
    SplitIdentity(Frame(c.reply), out);
    for (int i = 0; i < 5; ++i)
      EXPECT_EQ(out[i], c.entries[i]) << Hex(c.reply) << " entry " << i;
  }
}

TEST(PrinterFrames, ExactBytesWithPolishLettersConvertedBeforeTheChecksum) {
  EXPECT_EQ(Hex(ChecksumFrame(ByteBuffer())), "1B 50 46 46 1B 5C");
  // Windows-1250 A-ogonek 0xA5 and l-stroke 0xB3 go out as Mazovia 0x8F and
  // 0x92; the checksum is 0xFF ^ 0x8F ^ 0x92 = 0xE2, not that of the
  // Windows-1250 bytes.
  EXPECT_EQ(Hex(ChecksumFrame(ByteBuffer("\xA5\xB3"))), "1B 50 8F 92 45 32 1B 5C");
  EXPECT_EQ(Hex(PlainFrame(ByteBuffer("\xA5x"))), "1B 50 8F 78 1B 5C");
}
