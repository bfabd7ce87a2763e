// The fiscal printer protocol against simulated printers and scripted lines
// (printer.scenario), natively and under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "devices/drukarka.h"
#include "logtail.h"
#include "testbytes.h"
#include "support/simdevices.h"

namespace {

::testing::Environment *const home = ::testing::AddGlobalTestEnvironment(new PrivateHome);

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
  LogTail log;
};

} // namespace

TEST_F(PrinterTest, NoPortNoOpenNoRelay) {
  DrukarkaClass printer;
  EXPECT_FALSE(printer.Open()); // -1 after construction
  printer.SetPort(0, 9600);
  EXPECT_FALSE(printer.Open());
  EXPECT_FALSE(printer.port.IsOpen());
  printer.SetPort(60, 9600);
  EXPECT_FALSE(printer.EnterRelay());
}

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
// 100 s); a closed port gives nothing.
TEST_F(PrinterTest, InformationReplyEndlessOrClosed) {
  DrukarkaClass endless;
  Open(endless, "infoendless");
  endless.infoLimit = 300;
  EXPECT_LT(TimedMs([&] { EXPECT_EQ(endless.ReadUniqueNumber(), "xxxxxxxxxxx"); }), 5000);

  endless.Close();
  EXPECT_EQ(endless.ReadUniqueNumber(), "");
  EXPECT_EQ(endless.answer.Length(), 0);
}

TEST_F(PrinterTest, StatusWithoutPrinter) {
  DrukarkaClass printer;
  Open(printer, "nostatus");
  EXPECT_GE(TimedMs([&] { EXPECT_EQ(printer.QueryStatus(), -1); }), 40 * 15);
  EXPECT_EQ(Hex(Received("nostatus", 1)), "05");
  std::string lines = log.Text();
  EXPECT_NE(lines.find(Prefix("nostatus") + " Zapytanie: [x05]\r\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find(Prefix("nostatus") + " Brak odpowiedzi.\r\n"), std::string::npos) << lines;
}

TEST_F(PrinterTest, LateAndHighStatusBytes) {
  DrukarkaClass late;
  Open(late, "latestatus");
  // 40 polls take at least 600 ms; an answer after 500 ms is still within them.
  EXPECT_EQ(late.QueryStatus(), 0x60);

  DrukarkaClass printer;
  Open(printer, "highstatus");
  int8_t status = printer.QueryStatus();
  EXPECT_LT(status, 0);
  EXPECT_EQ(static_cast<uint8_t>(status), 0x88); // the last byte of "11 88"
  std::string lines = log.Text();
  EXPECT_NE(lines.find(Prefix("highstatus") + " Odpowied\x9F: 0x88\r\n"), std::string::npos) << lines;
}

class RelayAccepted : public PrinterTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(RelayAccepted, FrameStatusAndLeaving) {
  const std::string line = GetParam();
  DrukarkaClass printer;
  Open(printer, line);
  EXPECT_TRUE(printer.EnterRelay());
  EXPECT_EQ(Hex(Received(line, 9)), "1B 50 26 64 42 44 1B 5C 10");
  std::string lines = log.Text();
  EXPECT_NE(lines.find(Prefix(line) + " Zapytanie: &d\r\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find(Prefix(line) + " Zapytanie: [x1B]P&dBD[x1B]\\\r\n"), std::string::npos) << lines;
  EXPECT_NE(lines.find(Prefix(line) + " Zapytanie: [x10]\r\n"), std::string::npos) << lines;

  // Leaving: DLE shows the relay, SUB, DLE shows it gone.
  EXPECT_TRUE(printer.LeaveRelay());
  EXPECT_EQ(Hex(Received(line, 12).substr(9)), "10 1A 10");
  // And it is gone: a second leave finds no relay and sends no SUB.
  EXPECT_FALSE(printer.LeaveRelay());
  EXPECT_EQ(Hex(Received(line, 13).substr(12)), "10");
}

INSTANTIATE_TEST_SUITE_P(Statuses, RelayAccepted, ::testing::Values("prn78", "prn7f"));

class RelayRejected : public PrinterTest, public ::testing::WithParamInterface<const char *> {};

TEST_P(RelayRejected, OnlyTheRelayStatusEndsThePolling) {
  const std::string line = GetParam();
  DrukarkaClass printer;
  Open(printer, line);
  // The first two polls get the status under test (0x68 or 0xF8), the third
  // the relay status: two rejections, then acceptance.
  EXPECT_TRUE(printer.EnterRelay());
  std::string received = Received(line, 11);
  EXPECT_EQ(std::count(received.begin(), received.end(), '\x10'), 3) << Hex(received);
}

INSTANTIATE_TEST_SUITE_P(Statuses, RelayRejected, ::testing::Values("prn68", "prnf8"));
