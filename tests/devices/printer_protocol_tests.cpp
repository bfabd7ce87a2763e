// The fiscal printer protocol against simulated printers and scripted lines
// (printer.scenario), natively and under Wine.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/testdir.h"
#include "devices/drukarka.h"
#include "platform/files.h"
#include "testbytes.h"
#include "support/simdevices.h"

namespace {

// The printer's log lines written during one test: error_log.txt in the
// default log directory (or its fallback), read from where it ended when the
// test began.
class LogTail {
public:
  LogTail() {
    for (int i = 0; i < 2; ++i)
      start[i] = ReadAll(Path(i)).size();
  }
  std::string Text() const {
    std::string out;
    for (int i = 0; i < 2; ++i) {
      const std::string all = ReadAll(Path(i));
      if (all.size() > start[i])
        out += all.substr(start[i]);
    }
    return out;
  }

private:
  static std::string Path(int which) {
    const std::string dir = plat::DefaultLogDirectory();
    return (which == 0 ? dir : plat::FallbackLogDirectory(dir)) + plat::PathSeparator() + "error_log.txt";
  }
  size_t start[2];
};

class PrinterTest : public ::testing::Test {
protected:
  void SetUp() override { ASSERT_TRUE(sim.Ok()) << sim.Error(); }
  // Opens the printer object on line name at 9600 baud.
  void Open(DrukarkaClass &printer, const std::string &name) {
    printer.SetPort(sim.Com(name), 9600);
    ASSERT_TRUE(printer.Open());
  }
  // What line name has received, once count bytes are there.
  std::string Received(const std::string &name, size_t count) {
    sim.WaitReceived(name, count, 2000);
    return sim.Received(name);
  }
  std::string Prefix(const std::string &name) { return "<com" + std::to_string(sim.Com(name)) + "><,>"; }

  SimDevices &sim = SimDevices::Get();
  // Natively the log lines land in a HOME of the test's own, not the user's.
  TestDir home;
  ScopedEnv homeEnv{"HOME", home.root};
  LogTail log;
};

} // namespace

TEST_F(PrinterTest, InformationRequestFrameAndElevenCharacterNumber) {
  DrukarkaClass printer;
  Open(printer, "info");
  EXPECT_EQ(printer.ReadUniqueNumber(), "ABC12345678");
  EXPECT_EQ(Text(printer.answer), "ABC12345678");
  EXPECT_EQ(Hex(Received("info", 7)), "1B 50 30 23 73 1B 5C");

  std::string lines = log.Text();
  EXPECT_NE(lines.find(Prefix("info") + " Zapytanie: [x1B]P0#s[x1B]\\\r\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find(Prefix("info") + " Odpowied\x9F: 1#X1;2;"), std::string::npos) << lines;
  EXPECT_NE(lines.find("ABC12345678[x1B]\\\r\n"), std::string::npos) << lines;
}

// A reply that never ends is cut at the cap (about 0.3 s of a reply lasting
// 100 s); a closed port gives nothing. No port, no opening and no relay.
TEST_F(PrinterTest, InformationReplyEndlessOrClosedAndNoPort) {
  DrukarkaClass endless;
  Open(endless, "infoendless");
  endless.infoLimit = 300;
  EXPECT_LT(TimedMs([&] { EXPECT_EQ(endless.ReadUniqueNumber(), "xxxxxxxxxxx"); }), 5000);

  endless.Close();
  EXPECT_EQ(endless.ReadUniqueNumber(), "");
  EXPECT_EQ(endless.answer.Length(), 0);

  DrukarkaClass none;
  EXPECT_FALSE(none.Open()); // -1 after construction
  none.SetPort(0, 9600);
  EXPECT_FALSE(none.Open());
  EXPECT_FALSE(none.port.IsOpen());
  none.SetPort(60, 9600);
  EXPECT_FALSE(none.EnterRelay());
}

// No answer: 40 polls of at least 15 ms each. A late answer (after 500 ms)
// is still within them; of "11 88" the last byte counts.
TEST_F(PrinterTest, StatusPolls) {
  DrukarkaClass none;
  Open(none, "nostatus");
  EXPECT_GE(TimedMs([&] { EXPECT_EQ(none.QueryStatus(), -1); }), 40 * 15);
  EXPECT_EQ(Hex(Received("nostatus", 1)), "05");

  DrukarkaClass late;
  Open(late, "latestatus");
  EXPECT_EQ(late.QueryStatus(), 0x60);

  DrukarkaClass high;
  Open(high, "highstatus");
  EXPECT_EQ(static_cast<uint8_t>(high.QueryStatus()), 0x88);
  std::string lines = log.Text();
  EXPECT_NE(lines.find(Prefix("nostatus") + " Zapytanie: [x05]\r\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find(Prefix("nostatus") + " Brak odpowiedzi.\r\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find(Prefix("highstatus") + " Odpowied\x9F: 0x88\r\n"), std::string::npos) << lines;
}

// Statuses 0x78 and 0x7F show the relay taken at once; to 0x68 and 0xF8 (the
// first two polls) the printer has not taken it yet, the third poll gets the
// relay status.
TEST_F(PrinterTest, RelayEnteredFrameStatusAndLeaving) {
  for (const auto &[line, polls] : std::vector<std::pair<std::string, std::string>>{
           {"prn78", "10"}, {"prn7f", "10"}, {"prn68", "10 10 10"}, {"prnf8", "10 10 10"}}) {
    SCOPED_TRACE(line);
    DrukarkaClass printer;
    Open(printer, line);
    EXPECT_TRUE(printer.EnterRelay());
    const size_t entered = 8 + (polls.size() + 1) / 3;  // the frame, then a DLE a poll
    EXPECT_EQ(Hex(Received(line, entered)), "1B 50 26 64 42 44 1B 5C " + polls);
    std::string lines = log.Text();
    EXPECT_NE(lines.find(Prefix(line) + " Zapytanie: &d\r\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find(Prefix(line) + " Zapytanie: [x1B]P&dBD[x1B]\\\r\n"), std::string::npos) << lines;
    EXPECT_NE(lines.find(Prefix(line) + " Zapytanie: [x10]\r\n"), std::string::npos) << lines;
    if (polls != "10")
      continue;  // the delayed ones answer a later DLE with their idle status

    // Leaving: DLE shows the relay, SUB, DLE shows it gone.
    EXPECT_TRUE(printer.LeaveRelay());
    EXPECT_EQ(Hex(Received(line, entered + 3).substr(entered)), "10 1A 10");
    // And it is gone: a second leave finds no relay and sends no SUB.
    EXPECT_FALSE(printer.LeaveRelay());
    EXPECT_EQ(Hex(Received(line, entered + 4).substr(entered + 3)), "10");
  }
}
