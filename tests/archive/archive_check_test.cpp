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

// How far the run got towards the KE's files.
enum class Reached { kNoKeRequest, kNoFile, kArchived };

// One device (a scenario line: the two-port device qx, the KE module ke, or
// the printer prn relaying to its KE) whose KE holds the files of
// KeWithFiles(1); the lines its job writes to the error log after the
// printer's port and after the KE's (a pass-through job shows the printer's
// port for both), its exit code, and how far it got.
struct CheckCase {
  const char *name;
  const char *device;
  ExitCode exitCode;
  std::vector<std::string> printerLines, keLines;
  Reached reached;
};

} // namespace

class CheckTest : public JobTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(CheckTest, MessagesExitCodeAndKeAccess) {
  const CheckCase &c = GetParam();
  std::string error;
  ASSERT_TRUE(sim->LoadScenario(std::string(c.device) + "\nfile 0 size=120\nfile 1 size=237\n", &error)) << error;
  ASSERT_TRUE(sim->Start());
  const std::string kind = std::string(c.device).substr(0, std::string(c.device).find(' '));
  devsim::Line *printer = kind == "twoport" ? sim->Find("qx_prn") : kind == "printer" ? sim->Find("prn") : nullptr;
  const std::string keName = kind == "twoport" ? "qx_ke" : kind == "printer" ? "prn" : "ke";
  devsim::Line *ke = sim->Find(keName);
  auto printerPort = printer ? Port(*printer, kind == "twoport" ? 4 : 0) : nullptr;
  auto copyPort = kind == "printer" ? nullptr : Port(*ke, kind == "twoport" ? 5 : 3);
  Run(printerPort.get(), copyPort.get(), kind == "printer");

  EXPECT_EQ(TestRun().exitCode.load(), c.exitCode);
  std::vector<std::string> expected;
  for (const std::string &line : c.printerLines)
    expected.push_back("<" + printer->PortName() + "> " + line);
  for (const std::string &line : c.keLines)
    expected.push_back("<" + ke->PortName() + "> " + line);
  EXPECT_EQ(ErrorLog(), expected);
  if (std::string(c.device).find(" silent") != std::string::npos) {
    const std::string sent = printer->Received();
    EXPECT_GE(std::count(sent.begin(), sent.end(), '\x05'), 3);  // a status query at each speed
  }
  if (c.reached == Reached::kArchived) {
    ExpectArchived(KeWithFiles(1));
  } else {
    EXPECT_EQ(c.reached == Reached::kNoKeRequest ? sim->IdentityRequests(keName) : sim->FileRequests(keName, 1), 0);
    for (const auto &entry : std::filesystem::directory_iterator(archive))
      EXPECT_FALSE(entry.is_directory()) << entry.path();  // no KE directory
  }
  if (kind == "printer") {
    EXPECT_FALSE(sim->Relaying("prn"));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Check, CheckTest,
    ::testing::Values(
        CheckCase{"SilentPrinter", "twoport qx ttyUSB0 ttyUSB1 silent", ExitCode::kCheckFailed, {kNoPrinterReply}, {},
                  Reached::kNoKeRequest},
        // Two closes, three opens, no message.
        CheckCase{"PrinterOnlyAt38400", "twoport qx ttyUSB0 ttyUSB1 speed=38400", ExitCode::kDone, {}, {},
                  Reached::kArchived},
        CheckCase{"Training", "twoport qx ttyUSB0 ttyUSB1 training", ExitCode::kTrainingMode, {kPrinterInTraining}, {},
                  Reached::kArchived},
        CheckCase{"Transaction", "twoport qx ttyUSB0 ttyUSB1 transaction", ExitCode::kCheckFailed,
                  {kPrinterInTransaction}, {}, Reached::kNoKeRequest},
        CheckCase{"Status0x62", "twoport qx ttyUSB0 ttyUSB1 status=0x62", ExitCode::kCheckFailed,
                  {kPrinterInTraining, kPrinterInTransaction}, {}, Reached::kNoKeRequest},
        CheckCase{"TenCharacterFiscalNumber", "twoport qx ttyUSB0 ttyUSB1 fiscal=1234567890", ExitCode::kCheckFailed,
                  {kPrinterFiscalIdUnread}, {}, Reached::kNoKeRequest},
        // Two empty listens of 2 s before the KE's identity arrives.
        CheckCase{"LateKeIdentity", "twoport qx ttyUSB0 ttyUSB1 identdelay=4500", ExitCode::kDone, {}, {},
                  Reached::kArchived},
        // Two blanks after the port: the message begins with one.
        CheckCase{"BusyKe", "twoport qx ttyUSB0 ttyUSB1 busy", ExitCode::kKeUnavailable, {}, {kKeAbsentOrBusy},
                  Reached::kNoFile},
        CheckCase{"ShortSerialAndFiscalNumbers", "ke ke ttyUSB2 serial=12345 fiscal=54321", ExitCode::kCheckFailed,
                  {}, {"12345" + kKeSerialUnread, "54321" + kKeFiscalIdUnread}, Reached::kNoFile},
        CheckCase{"FiscalNumbersDifferingInLetterCase",
                  "printer prn ttyUSB3 fiscal=ABC12345678 relay fiscal=abc12345678", ExitCode::kFiscalMemoryMismatch, {kFiscalIdMismatch + "abc12345678 DR:ABC12345678"}, {},
                  Reached::kNoFile}),
    [](const ::testing::TestParamInfo<CheckCase> &info) { return std::string(info.param.name); });
