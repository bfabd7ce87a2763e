// The fiscal printer protocol against simulated printers and scripted peers.
#include <unistd.h>

#include <algorithm>

#include "devices/drukarka.h"
#include "simfixture.h"

namespace {

class PrinterTest : public SimTest {
protected:
  // A scripted line the printer object opens at 9600 baud.
  devsim::Line &Peer(DrukarkaClass &printer) {
    devsim::Line &line = sim->AddPeer("peer", "ttyUSB0");
    EXPECT_TRUE(sim->Start());
    printer.SetPort(line.ComNumber(), 9600);
    EXPECT_TRUE(printer.Open());
    return line;
  }
  devsim::Line &Printer(DrukarkaClass &printer, devsim::PrinterConfig cfg) {
    devsim::Line &line = sim->AddPrinter("prn", "ttyUSB1", cfg);
    EXPECT_TRUE(sim->Start());
    printer.SetPort(line.ComNumber(), 9600);
    EXPECT_TRUE(printer.Open());
    return line;
  }
  static std::string Prefix(int com) { return "<com" + std::to_string(com) + "><,>"; }
};

} // namespace

TEST_F(PrinterTest, OpenNeedsAPortNumber) {
  DrukarkaClass printer;
  EXPECT_FALSE(printer.Open()); // -1 after construction
  printer.SetPort(0, 9600);
  EXPECT_FALSE(printer.Open());
  EXPECT_FALSE(printer.port.IsOpen());
}

TEST_F(PrinterTest, InformationRequestFrameAndElevenCharacterNumber) {
  DrukarkaClass printer;
  devsim::Line &line = Peer(printer);
  sim->AddReaction("peer", "\x1b\\", devsim::InfoReply("ABC12345678"));
  EXPECT_EQ(printer.ReadUniqueNumber(), "ABC12345678");
  EXPECT_EQ(std::string(printer.answer.Text(), printer.answer.Length()), "ABC12345678");
  EXPECT_EQ(Hex(line.Received()), "1B 50 30 23 73 1B 5C");

  std::string log = PrinterLog();
  std::string com = Prefix(line.ComNumber());
  EXPECT_NE(log.find(com + " Zapytanie: [x1B]P0#s[x1B]\\\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(com + " Odpowied\x9F: "), std::string::npos) << log;
}

TEST_F(PrinterTest, InformationReplyShortRemainderAndSilence) {
  DrukarkaClass printer;
  Peer(printer);
  sim->AddReaction("peer", "\x1b\\", devsim::InfoReply("AB123"));
  EXPECT_EQ(printer.ReadUniqueNumber(), "AB123");

  // Closed port: empty, nothing sent.
  printer.Close();
  EXPECT_EQ(printer.ReadUniqueNumber(), "");
  EXPECT_EQ(printer.answer.Length(), 0);
}

TEST_F(PrinterTest, InformationReplyThatNeverEnds) {
  DrukarkaClass printer;
  devsim::Line &line = Peer(printer);
  sim->SetPacing(false);
  // A line that keeps sending for ten seconds: the reply is capped and the
  // call returns long before the line falls silent.
  std::string garbage(1024, 'x');
  for (int i = 0; i < 1000; ++i)
    line.Write(garbage, 10 * i);
  std::string number;
  long long ms = TimedMs([&] { number = printer.ReadUniqueNumber(); });
  EXPECT_EQ(number, "xxxxxxxxxxx");
  EXPECT_LT(ms, 5000);
}

TEST_F(PrinterTest, StatusWithoutPrinter) {
  DrukarkaClass printer;
  devsim::Line &line = Peer(printer);
  int8_t status = 0;
  long long ms = TimedMs([&] { status = printer.QueryStatus(); });
  EXPECT_EQ(status, -1);
  EXPECT_GE(ms, 40 * 15);
  EXPECT_EQ(Hex(line.Received()), "05");
  std::string log = PrinterLog();
  std::string com = Prefix(line.ComNumber());
  EXPECT_NE(log.find(com + " Zapytanie: [x05]\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(com + " Brak odpowiedzi.\r\n"), std::string::npos) << log;
}

TEST_F(PrinterTest, LateStatusStillCounts) {
  DrukarkaClass printer;
  Peer(printer);
  // 40 polls take at least 600 ms; an answer after 500 ms is still within them.
  sim->AddReaction("peer", "\x05", "\x60", 500);
  EXPECT_EQ(printer.QueryStatus(), 0x60);
}

TEST_F(PrinterTest, HighStatusByteIsNegativeAndLoggedInTwoDigits) {
  DrukarkaClass printer;
  devsim::Line &line = Peer(printer);
  sim->AddReaction("peer", "\x05", "\x11\x88");
  int8_t status = printer.QueryStatus();
  EXPECT_LT(status, 0);
  EXPECT_EQ(static_cast<uint8_t>(status), 0x88);
  EXPECT_NE(PrinterLog().find(Prefix(line.ComNumber()) + " Odpowied\x9F: 0x88\r\n"), std::string::npos);
}

TEST_F(PrinterTest, StatusOfASimulatedPrinter) {
  DrukarkaClass printer;
  devsim::PrinterConfig cfg;
  Printer(printer, cfg);
  EXPECT_EQ(printer.QueryStatus(), static_cast<int8_t>(cfg.status));
  EXPECT_EQ(printer.ReadUniqueNumber(), cfg.fiscal);
}

class RelayAccepted : public PrinterTest, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(RelayAccepted, FrameStatusAndLeaving) {
  DrukarkaClass printer;
  devsim::PrinterConfig cfg;
  cfg.relayStatus = GetParam();
  devsim::Line &line = Printer(printer, cfg);
  EXPECT_TRUE(printer.EnterRelay());
  EXPECT_EQ(Hex(line.Received()), "1B 50 26 64 42 44 1B 5C 10");
  EXPECT_TRUE(sim->Relaying("prn"));
  std::string log = PrinterLog();
  std::string com = Prefix(line.ComNumber());
  EXPECT_NE(log.find(com + " Zapytanie: &d\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(com + " Zapytanie: [x1B]P&dBD[x1B]\\\r\n"), std::string::npos) << log;
  EXPECT_NE(log.find(com + " Zapytanie: [x10]\r\n"), std::string::npos) << log;

  // Leaving: DLE shows the relay, SUB, DLE shows it gone.
  line.ClearReceived();
  EXPECT_TRUE(printer.LeaveRelay());
  EXPECT_EQ(Hex(line.Received()), "10 1A 10");
  EXPECT_FALSE(sim->Relaying("prn"));
}

INSTANTIATE_TEST_SUITE_P(Statuses, RelayAccepted, ::testing::Values(uint8_t{0x78}, uint8_t{0x7F}));

class RelayRejected : public PrinterTest, public ::testing::WithParamInterface<uint8_t> {};

TEST_P(RelayRejected, OnlyTheRelayStatusEndsThePolling) {
  DrukarkaClass printer;
  devsim::PrinterConfig cfg;
  cfg.idleStatus = GetParam();
  cfg.relayDelayPolls = 2; // two polls answered with the status under test
  devsim::Line &line = Printer(printer, cfg);
  EXPECT_TRUE(printer.EnterRelay());
  std::string received = line.Received();
  EXPECT_EQ(std::count(received.begin(), received.end(), '\x10'), 3) << Hex(received);
}

INSTANTIATE_TEST_SUITE_P(Statuses, RelayRejected, ::testing::Values(uint8_t{0x68}, uint8_t{0xF8}));

TEST_F(PrinterTest, RelayOnAClosedPort) {
  DrukarkaClass printer;
  printer.SetPort(5, 9600);
  EXPECT_FALSE(printer.EnterRelay());
}

TEST_F(PrinterTest, LeaveRelayWhenNotRelaying) {
  DrukarkaClass printer;
  devsim::Line &line = Peer(printer);
  sim->AddReaction("peer", "\x10", "\x70");
  EXPECT_FALSE(printer.LeaveRelay());
  EXPECT_EQ(Hex(line.Received()), "10"); // no SUB
}
