// The connection and identity checks of a job's run: the messages in the
// error log, the exit code, and that a failed check keeps the run away from
// the KE's files.
#include "jobfixture.h"

using namespace archtest;

namespace {

const std::string kNoPrinterReply = "Brak komunikacji z drukark\xB9.";
const std::string kPrinterInTraining = "Drukarka jest w trybie szkoleniowym (lub tylko do odczytu).";
const std::string kPrinterInTransaction =
    "Drukarka jest w stanie transakcji. Nie mo\xBFna przeczyta\xE6 parametr\xF3w.";
const std::string kPrinterFiscalIdUnread =
    "Nie mo\xBFna odczyta\xE6 numeru unikatowego pami\xEA" "ci fiskalnej w drukarce.";
const std::string kKeAbsentOrBusy =
    " Kopia Elektroniczna nie jest pod\xB3\xB9" "czona do urz\xB9" "dzenia lub jest zaj\xEAta.";
const std::string kKeSerialUnread = " Nie mo\xBFna odczyta\xE6 numeru seryjnego Kopii Elektronicznej.";
const std::string kKeFiscalIdUnread =
    " Nie mo\xBFna odczyta\xE6 numeru unikatowego pami\xEA" "ci fiskalnej z Kopii Elektronicznej.";
const std::string kFiscalIdMismatch =
    "Nie zgadza si\xEA numer pami\xEA" "ci fiskalnej z drukarki i Kopii Elektronicznej. KE:";

} // namespace

class CheckTest : public JobTest {
protected:
  devsim::Line *printerLine = nullptr;
  devsim::Line *keLine = nullptr;
  std::unique_ptr<VemoraPortsType> printerPort, copyPort;

  // A two-port device whose printer channel is configured by the test.
  void RunCombined(const devsim::PrinterConfig &printer, const devsim::KeConfig &ke = KeWithFiles(1)) {
    auto lines = sim->AddTwoPort("qx", "ttyUSB0", "ttyUSB1", printer, ke);
    printerLine = lines.first;
    keLine = lines.second;
    ASSERT_TRUE(sim->Start());
    printerPort = Port(*printerLine, 4);
    copyPort = Port(*keLine, 5);
    Run(printerPort.get(), copyPort.get());
  }
  std::string PrinterTag() { return "<" + printerLine->PortName() + "> "; }
  std::string KeTag() { return "<" + keLine->PortName() + "> "; }
};

// The printer checks, and a KE whose identity comes late: which messages each
// state writes, the exit code, and whether the run still reaches the KE and
// archives its files.
struct PrinterCase {
  const char *name;
  void (*configure)(devsim::PrinterConfig &, devsim::KeConfig &);
  ExitCode exitCode;
  std::vector<std::string> messages;
  bool archived;
};

class PrinterCheckTest : public CheckTest, public ::testing::WithParamInterface<PrinterCase> {};

TEST_P(PrinterCheckTest, MessagesExitCodeAndKeAccess) {
  const PrinterCase &c = GetParam();
  devsim::PrinterConfig printer;
  devsim::KeConfig ke = KeWithFiles(1);
  c.configure(printer, ke);
  RunCombined(printer, ke);
  EXPECT_EQ(TestRun().exitCode.load(), c.exitCode);
  std::vector<std::string> expected;
  for (const std::string &m : c.messages)
    expected.push_back(PrinterTag() + m);
  EXPECT_EQ(ErrorLog(), expected);
  if (printer.silent) {
    const std::string sent = printerLine->Received();
    EXPECT_GE(std::count(sent.begin(), sent.end(), '\x05'), 3);  // a status query at each speed
  }
  if (c.archived) {
    EXPECT_EQ(printerLine->Speed(), printer.speed);
    ExpectArchived(ke);
  } else {
    EXPECT_EQ(sim->IdentityRequests("qx_ke"), 0);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Printer, PrinterCheckTest,
    ::testing::Values(
        PrinterCase{"Silent", [](auto &p, auto &) { p.silent = true; }, ExitCode::kCheckFailed, {kNoPrinterReply},
                    false},
        // Two closes, three opens, no message.
        PrinterCase{"Only38400", [](auto &p, auto &) { p.speed = 38400; }, ExitCode::kDone, {}, true},
        PrinterCase{"Training", [](auto &p, auto &) { p.training = true; }, ExitCode::kTrainingMode,
                    {kPrinterInTraining}, true},
        PrinterCase{"Transaction", [](auto &p, auto &) { p.inTransaction = true; }, ExitCode::kCheckFailed,
                    {kPrinterInTransaction}, false},
        PrinterCase{"Status0x62", [](auto &p, auto &) { p.status = 0x62; }, ExitCode::kCheckFailed,
                    {kPrinterInTraining, kPrinterInTransaction}, false},
        PrinterCase{"TenCharacterFiscalNumber", [](auto &p, auto &) { p.fiscal = "1234567890"; },
                    ExitCode::kCheckFailed, {kPrinterFiscalIdUnread}, false},
        // Two empty listens of 2 s before the KE's identity arrives.
        PrinterCase{"LateKeIdentity", [](auto &, auto &k) { k.identityDelayMs = 4500; }, ExitCode::kDone, {}, true}),
    [](const ::testing::TestParamInfo<PrinterCase> &info) { return std::string(info.param.name); });

TEST_F(CheckTest, BusyKeGivesTheAbsentOrBusyLineWithTwoBlanks) {
  devsim::KeConfig ke = KeWithFiles(1);
  ke.busy = true;
  RunCombined(devsim::PrinterConfig(), ke);
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kKeUnavailable);
  EXPECT_EQ(ErrorLog(), (std::vector<std::string>{KeTag() + kKeAbsentOrBusy}));  // two blanks after the tag
  EXPECT_EQ(sim->FileRequests("qx_ke", 1), 0);
}

TEST_F(CheckTest, ShortSerialAndFiscalNumbersAreReportedUnread) {
  devsim::KeConfig cfg = KeWithFiles(1);
  cfg.serial = "12345";
  cfg.fiscal = "54321";
  devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());
  auto port = Port(ke, 3);
  Run(nullptr, port.get());
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kCheckFailed);
  const std::string tag = "<" + ke.PortName() + "> ";
  EXPECT_EQ(ErrorLog(), (std::vector<std::string>{tag + "12345" + kKeSerialUnread, tag + "54321" + kKeFiscalIdUnread}));
  EXPECT_FALSE(Exists(KeDir("12345")));
  EXPECT_EQ(sim->FileRequests("ke", 1), 0);
}

TEST_F(CheckTest, FiscalNumbersDifferingInLetterCaseAreAMismatch) {
  devsim::PrinterConfig printer;
  printer.fiscal = "ABC12345678";
  printer.hasRelayKe = true;
  printer.relayKe = KeWithFiles(1);
  printer.relayKe.fiscal = "abc12345678";
  devsim::Line &line = sim->AddPrinter("prn", "ttyUSB3", printer);
  ASSERT_TRUE(sim->Start());
  auto port = Port(line, 0);
  Run(port.get(), nullptr, true);
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kFiscalMemoryMismatch);
  // A pass-through job shows the printer's port for the KE's checks too.
  EXPECT_EQ(ErrorLog(),
            (std::vector<std::string>{"<" + line.PortName() + "> " + kFiscalIdMismatch +
                                      "abc12345678 DR:ABC12345678"}));
  EXPECT_FALSE(Exists(KeDir(printer.relayKe.serial)));
  EXPECT_FALSE(sim->Relaying("prn"));
}
