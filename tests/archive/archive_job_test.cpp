// One job's run against simulated devices: what lands in the archive, the
// KE's log and the error log, the exit code, and the bytes sent to the KE.
#include "jobfixture.h"

using namespace archtest;

namespace {

std::string Esc(const std::string &text) { return "\x1b" + text; }

} // namespace

TEST_F(JobTest, DirectTaggedModuleArchivesEveryFileThenFetchesNothing) {
  devsim::KeConfig cfg = KeWithFiles(3);
  devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());
  auto port = Port(ke, 3);

  Run(nullptr, port.get());

  EXPECT_EQ(exitCode.load(), 0);
  ExpectArchived(cfg);
  const std::string tag = "<" + ke.PortName() + "> ";
  EXPECT_EQ(CopyLog(cfg.serial),
            (std::vector<std::string>{tag + kS3, tag + kT0, tag + T3(DiskName(0)), tag + T3(DiskName(1)),
                                      tag + T3(DiskName(2)), tag + T3(DiskName(3))}));
  EXPECT_FALSE(Exists(archive + Sep() + "ERROR_log.txt"));
  // Identity, version, identity, Directory, then the files with the digits
  // 3 and 0: file 0 by its fixed request.
  EXPECT_EQ(ke.Received(), Esc("S") + Esc("Y") + Esc("S") + Esc("D\r") + Esc("0;3;0000F") + Esc("3;0;1F") +
                               Esc("3;0;2F") + Esc("3;0;3F"));

  // A second run finds everything in place and fetches nothing.
  Run(nullptr, port.get());
  EXPECT_EQ(exitCode.load(), 0);
  for (int n = 0; n <= 3; ++n)
    EXPECT_EQ(sim->FileRequests("ke", n), 1) << n;
  auto log = CopyLog(cfg.serial);
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(log[6], tag + S1(KeDir(cfg.serial)));
  EXPECT_EQ(log[7], tag + kT0);
  ExpectArchived(cfg);
}

TEST_F(JobTest, DirectFirstKindModule) {
  devsim::KeConfig cfg = KeWithFiles(2, devsim::VersionKind::kUntagged);
  cfg.serial = "FK00012345";
  devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());
  auto port = Port(ke, 3);
  Run(nullptr, port.get());
  EXPECT_EQ(exitCode.load(), 0);
  ExpectArchived(cfg);
  EXPECT_EQ(CountContaining(CopyLog(cfg.serial), "Zapisano plik: "), 3);
}

TEST_F(JobTest, CombinedJobChecksThePrinterChannel) {
  devsim::KeConfig cfg = KeWithFiles(2);
  devsim::PrinterConfig printer;
  auto lines = sim->AddTwoPort("qx", "ttyUSB0", "ttyUSB1", printer, cfg);
  ASSERT_TRUE(sim->Start());
  auto printerPort = Port(*lines.first, 4);
  auto copyPort = Port(*lines.second, 5);
  Run(printerPort.get(), copyPort.get());
  EXPECT_EQ(exitCode.load(), 0);
  ExpectArchived(cfg);
  // The KE log carries the KE channel's name.
  auto log = CopyLog(cfg.serial);
  EXPECT_EQ(CountLines(log, "<" + lines.second->PortName() + "> " + T3(DiskName(2))), 1);
  // The printer channel saw the status query and the information request.
  std::string toPrinter = lines.first->Received();
  EXPECT_NE(toPrinter.find('\x05'), std::string::npos);
  EXPECT_NE(toPrinter.find("\x1bP0#s\x1b\\"), std::string::npos);
}

TEST_F(JobTest, PassThroughJobTalksToTheKeThroughThePrinter) {
  devsim::PrinterConfig printer;
  printer.hasRelayKe = true;
  printer.relayKe = KeWithFiles(3);
  printer.relayKe.serial = "DR00098765";
  devsim::Line &line = sim->AddPrinter("prn", "ttyUSB3", printer);
  ASSERT_TRUE(sim->Start());
  auto printerPort = Port(line, 1);
  Run(printerPort.get(), nullptr, true);
  EXPECT_EQ(exitCode.load(), 0);
  ExpectArchived(printer.relayKe);
  auto log = CopyLog(printer.relayKe.serial);
  const std::string tag = "<" + line.PortName() + "> ";
  EXPECT_EQ(CountLines(log, tag + T3(DiskName(0))), 1);
  EXPECT_EQ(CountLines(log, tag + T3(DiskName(3))), 1);
  // Relay on ("&d" with its checksum), the KE requests on the printer's
  // line, relay off (SUB) at the end.
  std::string sent = line.Received();
  size_t relayOn = sent.find("\x1bP&dBD\x1b\\");
  size_t identity = sent.find("\x1bS");
  size_t lastFile = sent.find("\x1b" "3;0;3F");
  ASSERT_NE(relayOn, std::string::npos);
  ASSERT_NE(lastFile, std::string::npos);
  EXPECT_LT(relayOn, identity);
  EXPECT_NE(sent.find('\x1a', lastFile), std::string::npos);
  EXPECT_FALSE(sim->Relaying("prn"));
}

TEST_F(JobTest, DiskFilesAreCheckedAgainstTheKe) {
  devsim::KeConfig cfg = KeWithFiles(4);
  devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());
  const std::string dir = KeDir(cfg.serial);
  std::filesystem::create_directories(dir);
  // File 1 is one byte longer than listed (its end marker): kept.
  WriteBytes(dir + Sep() + DiskName(1), devsim::FileReply(cfg.files[1], '3'));
  // File 2 has the listed size exactly: T1 twice, fetched again.
  WriteBytes(dir + Sep() + DiskName(2), cfg.files[2].content.substr(1) + "\xff");
  // File 3 lacks its end marker: damaged, S2, fetched.
  WriteBytes(dir + Sep() + DiskName(3), cfg.files[3].content);
  // File 0 of any size stays; a foreign name goes; a valid unlisted file stays.
  WriteBytes(dir + Sep() + DiskName(0), std::string("short\x1a"));
  WriteBytes(dir + Sep() + "Z12A4_2010-03-30.ej", std::string("x\xff"));
  WriteBytes(dir + Sep() + DiskName(9), std::string("old file\xff"));

  auto port = Port(ke, 3);
  Run(nullptr, port.get());
  EXPECT_EQ(exitCode.load(), 0);

  EXPECT_EQ(sim->FileRequests("ke", 0), 0);
  EXPECT_EQ(sim->FileRequests("ke", 1), 0);
  EXPECT_EQ(sim->FileRequests("ke", 2), 1);
  EXPECT_EQ(sim->FileRequests("ke", 3), 1);
  EXPECT_EQ(sim->FileRequests("ke", 4), 1);
  EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(0)), std::string("short\x1a"));
  for (int n = 1; n <= 4; ++n)
    EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(n)), devsim::FileReply(cfg.files[n], '3')) << n;
  EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(9)), std::string("old file\xff"));
  EXPECT_FALSE(Exists(dir + Sep() + "Z12A4_2010-03-30.ej"));

  const std::string tag = "<" + ke.PortName() + "> ";
  const std::string t1 = "Rozmiar pliku " + dir + Sep() + DiskName(2) + " jest r\xF3\xBFny od " + DiskName(2) +
                         ". Plik dyskowy ulega skasowaniu.";
  auto log = CopyLog(cfg.serial);
  EXPECT_EQ(CountLines(log, tag + S1(dir)), 1);
  EXPECT_EQ(CountLines(log, tag + "Skasowano b\xB3\xEA" "dny plik: " + DiskName(3)), 1);
  EXPECT_EQ(CountLines(log, tag + "Skasowano b\xB3\xEA" "dny plik: Z12A4_2010-03-30.ej"), 1);
  EXPECT_EQ(CountLines(log, tag + t1), 1);
  EXPECT_EQ(CountLines(log, tag + kS3), 0);
  EXPECT_EQ(ErrorLog(), (std::vector<std::string>{t1}));
}

TEST_F(JobTest, WithoutZ0000TheKeCountsAsEmpty) {
  devsim::KeConfig cfg = KeWithFiles(2);
  cfg.files.erase(cfg.files.begin());
  devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());
  auto port = Port(ke, 3);
  Run(nullptr, port.get());
  EXPECT_EQ(exitCode.load(), 0);
  const std::string tag = "<" + ke.PortName() + "> ";
  EXPECT_EQ(CopyLog(cfg.serial), (std::vector<std::string>{tag + kS3, tag + kE1}));
  EXPECT_EQ(sim->FileRequests("ke", 1), 0);
}

TEST_F(JobTest, EndMarkerFaultsAreRetriedThreeTimesAndNeverWritten) {
  devsim::KeConfig cfg = KeWithFiles(4);
  cfg.files[1].fault = devsim::FileFault::kNoEndByte;
  cfg.files[2].fault = devsim::FileFault::kEndInside;
  cfg.files[3].failFirst = 1;  // one damaged answer, then a good one
  devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());
  auto port = Port(ke, 3);
  Run(nullptr, port.get());
  EXPECT_EQ(exitCode.load(), 0);

  const std::string dir = KeDir(cfg.serial);
  EXPECT_EQ(sim->FileRequests("ke", 1), 3);
  EXPECT_EQ(sim->FileRequests("ke", 2), 3);
  EXPECT_FALSE(Exists(dir + Sep() + DiskName(1)));
  EXPECT_FALSE(Exists(dir + Sep() + DiskName(2)));
  // The budget was reset after file 2's last attempt: file 3 gets its retry.
  EXPECT_EQ(sim->FileRequests("ke", 3), 2);
  EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(3)), devsim::FileReply(cfg.files[3], '3'));
  EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(4)), devsim::FileReply(cfg.files[4], '3'));

  const std::string t4 = " brakuje znacznika ko\xF1" "ca. Plik nie zapisa\xB3 si\xEA.";
  const std::string t2 = " napotkano znacznik ko\xF1" "ca w \x9Crodku pliku. B\xB3\xB9" "d odczytu. Plik nie zapisa\xB3 si\xEA.";
  const std::string tag = "<" + ke.PortName() + "> ";
  auto log = CopyLog(cfg.serial);
  EXPECT_EQ(CountLines(log, tag + "Plik: " + DiskName(1) + t4), 3);
  EXPECT_EQ(CountLines(log, tag + "Plik: " + DiskName(2) + t2), 3);
  EXPECT_EQ(CountLines(log, tag + "Plik: " + DiskName(3) + t4), 1);
  auto errors = ErrorLog();
  EXPECT_EQ(CountLines(errors, "Plik: " + dir + Sep() + DiskName(1) + t4), 3);
  EXPECT_EQ(CountLines(errors, "Plik: " + dir + Sep() + DiskName(2) + t2), 3);
  EXPECT_EQ(errors.size(), 7u);
}
