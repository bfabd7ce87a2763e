// One job's run against simulated devices, written once for both builds:
// natively the simulator runs in this process, under Wine it runs beside it
// (archive.scenario describes the devices).
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/modes.h"
#include "archive/archrun.h"
#include "archive/archthread.h"
#include "archive/checksums.h"
#include "archtest_util.h"
#include "devsim.h"
#include "support/simdevices.h"

using namespace archtest;
namespace fs = std::filesystem;

namespace {

// What the KE sends for file number of size bytes: content and end marker.
std::string Reply(int number, int size) {
  return devsim::FileContent(number, size) + (number > 0 ? "\xff" : "\x1a");
}

// The SHA-256 of bytes in lower-case hex, as the checksum list holds it.
std::string Sha(const std::string &bytes) {
  plat::Sha256 hash;
  plat::Sha256Digest digest{};
  hash.Update(bytes.data(), bytes.size());
  hash.Finish(digest);
  return HexDigest(digest);
}

const std::string kDeletedBadFile = "Skasowano b\xB3\xEA" "dny plik: ";

class SimJobTest : public ::testing::Test, public JobArchive {
protected:
  SimDevices &sim = SimDevices::Get();
  TestDir root;
  std::vector<std::unique_ptr<VemoraPortsType>> ports;
  using JobArchive::Run;  // not the test's own Run

  void SetUp() override {
    ASSERT_TRUE(sim.Ok()) << sim.Error();
    archive = root / "archiwum";
    FreshRun(archive);
  }
  VemoraPortsType *Port(const std::string &line, int deviceCode) {
    ports.push_back(std::make_unique<VemoraPortsType>());
    ports.back()->comNumber = sim.Com(line);
    ports.back()->portName = sim.Port(line);
    ports.back()->deviceCode = static_cast<DeviceModel>(deviceCode);
    return ports.back().get();
  }
};

} // namespace

TEST_F(SimJobTest, FirstKindModuleAndKeWithoutZ0000) {
  // A damaged file 1 that cannot be moved aside (every name it could take
  // in the quarantine folder is taken): it stays, is logged, and is not
  // fetched over.
  fs::create_directories(File("FIRSTK0001", "uszkodzone"));
  for (int copy = 0; copy < 1000; ++copy) {
    // Appended piece by piece: GCC 12 warns falsely about one + chain.
    std::string taken = File("FIRSTK0001", "uszkodzone") + Sep() + DiskName(1);
    if (copy > 0) {
      taken += '.';
      taken += std::to_string(copy);
    }
    WriteBytes(taken, "");
  }
  WriteBytes(File("FIRSTK0001", DiskName(1)), "damaged");
  VemoraPortsType *port = Port("firstkind", 3);
  Run(nullptr, port);
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kFilesNotArchived);
  EXPECT_EQ(ReadBytes(File("FIRSTK0001", DiskName(0))), Reply(0, 100));
  EXPECT_EQ(ReadBytes(File("FIRSTK0001", DiskName(1))), "damaged");
  EXPECT_EQ(Count(sim.Received("firstkind"), "\x1b" "3;0;1F"), 0);
  const std::string notMoved = "Nie uda\xB3o si\xEA przenie\x9C\xE6 b\xB3\xEA" "dnego pliku do katalogu uszkodzone; "
                               "plik pozostaje na miejscu: ";
  EXPECT_EQ(CountLines(CopyLog("FIRSTK0001"), "<" + port->portName + "> " + notMoved + DiskName(1)), 1);
  EXPECT_EQ(CountContaining(ErrorLog(), notMoved + File("FIRSTK0001", DiskName(1))), 1);
  EXPECT_EQ(CountContaining(ErrorLog(), DiskName(1) + " nie zosta\xB3 pobrany"), 1);

  // Every KE lists Z0000: a Directory without it was not read right, and
  // nothing is fetched.
  TestRun().exitCode.store(ExitCode::kDone);
  VemoraPortsType *empty = Port("empty", 3);
  Run(nullptr, empty);
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kCheckFailed);
  const std::string tag = "<" + empty->portName + "> ";
  EXPECT_EQ(CopyLog("EMPTY00001"),
            (std::vector<std::string>{tag + "Podkatalog jest pusty.", tag + "Kopia elektroniczna jest pusta."}));
  EXPECT_EQ(CountContaining(ErrorLog(), tag), 1);
  EXPECT_EQ(sim.Received("empty").find("F"), std::string::npos);
}

// A KE behind a printer at 19200 baud (the direct and combined jobs: the
// program tests, natively and under Wine).
TEST_F(SimJobTest, PassThroughJobAtThePrintersSpeed) {
  VemoraPortsType *printer = Port("drk", 0);
  Run(printer, nullptr, true);
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kDone);
  EXPECT_EQ(ReadBytes(File("DR00000009", DiskName(0))), Reply(0, 90));
  EXPECT_EQ(ReadBytes(File("DR00000009", DiskName(1))), Reply(1, 444));
  EXPECT_EQ(CountLines(CopyLog("DR00000009"), "<" + printer->portName + "> Zapisano plik: " + DiskName(1)), 1);
  std::string sent = sim.Received("drk");
  EXPECT_NE(sent.find("\x1bP&dBD\x1b\\"), std::string::npos);
  // The relay is left (SUB) after the last file request.
  size_t lastFile = sent.find("\x1b" "3;0;1F");
  ASSERT_NE(lastFile, std::string::npos);
  EXPECT_NE(sent.find('\x1a', lastFile), std::string::npos);
}

// Only the KE's bytes earn a line: a disk file without one is fetched again
// and compared (the same bytes get their line, other bytes go aside), a
// line is never changed (not for a file changed on disk, not for KE bytes
// that differ from it), and a file the KE no longer lists gets its line from
// the disk.
TEST_F(SimJobTest, DiskFilesCheckedAgainstTheKe) {
  const std::string dir = archive + Sep() + "DISK000001";
  const std::string quarantine = dir + Sep() + "uszkodzone" + Sep();
  const std::string z12a4 = "Z12A4_2010-03-30.ej";
  const std::string temporary = "~Z0006_2010-03-30.ej.tmp";
  std::string changed4 = Reply(4, 230);
  changed4[7] ^= 1;
  fs::create_directories(quarantine);
  WriteBytes(quarantine + DiskName(3), "earlier");                                  // never overwritten
  WriteBytes(quarantine + DiskName(6), "x\xff");                                   // never looked at
  WriteBytes(dir + Sep() + DiskName(0), std::string("short\x1a"));                  // no line, other bytes
  WriteBytes(dir + Sep() + DiskName(1), Reply(1, 200));                             // no line, the KE's bytes
  WriteBytes(dir + Sep() + DiskName(2), devsim::FileContent(2, 209) + "\xff");      // listed size: size differs
  WriteBytes(dir + Sep() + DiskName(3), devsim::FileContent(3, 220));               // no marker: moved
  WriteBytes(dir + Sep() + DiskName(4), changed4);                                  // changed since archived
  WriteBytes(dir + Sep() + DiskName(7), std::string("kept\xff"));                   // not listed: kept
  WriteBytes(dir + Sep() + z12a4, std::string("x\xff"));                            // no number: moved
  WriteBytes(dir + Sep() + DiskName(8), std::string("ro\xff"));                     // read-only: valid, kept
  WriteBytes(dir + Sep() + DiskName(5), "");                                        // empty: moved
  WriteBytes(dir + Sep() + "A0001_2010-03-30.ej", std::string("a\xff"));           // not Z*.ej: untouched
  WriteBytes(dir + Sep() + temporary, std::string("a\xff"));                        // a leftover: removed
  fs::create_directories(dir + Sep() + DiskName(9));                                // directories are not listed
  const std::string line3 = Sha(devsim::FileContent(3, 220)) + "  " + DiskName(3) + "\n";
  const std::string line4 = Sha(Reply(4, 230)) + "  " + DiskName(4) + "\n";
  WriteBytes(dir + Sep() + "SHA256SUMS", line3 + line4);
  fs::permissions(dir + Sep() + DiskName(8),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  VemoraPortsType *port = Port("disk", 3);
  Run(nullptr, port);
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kFilesNotArchived);  // file 3's KE bytes differ from its line
  for (int n = 0; n <= 3; ++n)
    EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(n)), Reply(n, 100 + (n > 0 ? 90 + 10 * n : 0))) << n;
  EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(4)), changed4);
  EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(7)), std::string("kept\xff"));
  for (const std::string &kept : {std::string("A0001_2010-03-30.ej"), DiskName(9)})
    EXPECT_TRUE(Exists(dir + Sep() + kept)) << kept;
  EXPECT_FALSE(Exists(dir + Sep() + temporary));
  const std::string sent = sim.Received("disk");
  for (const char *request : {"0000F", "\x1b" "3;0;1F", "\x1b" "3;0;2F", "\x1b" "3;0;3F"})
    EXPECT_EQ(Count(sent, request), 1) << request;
  EXPECT_EQ(Count(sent, "\x1b" "3;0;4F"), 0);

  // Nothing is deleted: damaged files and the copy of the wrong size are in
  // the quarantine folder, beside (never over) what was there before.
  EXPECT_EQ(ReadBytes(quarantine + DiskName(3)), "earlier");
  EXPECT_EQ(ReadBytes(quarantine + DiskName(3) + ".1"), devsim::FileContent(3, 220));
  EXPECT_EQ(ReadBytes(quarantine + DiskName(2)), devsim::FileContent(2, 209) + "\xff");
  EXPECT_EQ(ReadBytes(quarantine + DiskName(0)), "short\x1a");
  EXPECT_TRUE(Exists(quarantine + DiskName(5)));
  EXPECT_TRUE(Exists(quarantine + z12a4));
  EXPECT_FALSE(Exists(dir + Sep() + DiskName(6)));

  const std::string tag = "<" + port->portName + "> ";
  const std::string moved = "Plik przeniesiono do: " + quarantine;
  const std::string sizeDiffers = "Rozmiar pliku " + dir + Sep() + DiskName(2) + " jest r\xF3\xBFny od " +
                                  DiskName(2) + ". Plik dyskowy ulega skasowaniu.";
  const std::string differs0 = "Plik na dysku bez sumy kontrolnej r\xF3\xBFni si\xEA od pliku z KE: " + dir + Sep() + DiskName(0);
  const std::string differs3 = "Plik z KE nie zgadza si\xEA z sum\xB9 kontroln\xB9; wiersz pozostaje bez zmian: " + dir +
                               Sep() + DiskName(3);
  auto log = CopyLog("DISK000001");
  // Each line that gives a file up, and the next one where it went.
  for (const auto &[said, to] : std::vector<std::pair<std::string, std::string>>{
           {kDeletedBadFile + DiskName(0), DiskName(0)}, {kDeletedBadFile + DiskName(3), DiskName(3) + ".1"},
           {kDeletedBadFile + DiskName(5), DiskName(5)}, {kDeletedBadFile + z12a4, z12a4}, {sizeDiffers, DiskName(2)}}) {
    auto at = std::find(log.begin(), log.end(), tag + said);
    ASSERT_NE(at, log.end()) << said;
    EXPECT_EQ(*(at + 1), tag + moved + to);
  }
  EXPECT_EQ(CountLines(log, tag + "Plik na dysku jest zgodny z KE; dopisano sum\xEA kontroln\xB9: " + DiskName(1)), 1);
  for (int n : {7, 8})
    EXPECT_EQ(CountLines(log, tag + "Pliku nie ma ju\xBF w KE; suma kontrolna z pliku na dysku: " + DiskName(n)), 1);
  EXPECT_EQ(ErrorLog(), (std::vector<std::string>{differs0, sizeDiffers, differs3}));

  // One line per archive file, sorted; the lines there before unchanged.
  std::string sums;
  for (int n : {0, 1, 2})
    sums += Sha(Reply(n, 100 + (n > 0 ? 90 + 10 * n : 0))) + "  " + DiskName(n) + "\n";
  sums += line3 + line4;
  for (int n : {7, 8})
    sums += Sha(ReadBytes(dir + Sep() + DiskName(n))) + "  " + DiskName(n) + "\n";
  EXPECT_EQ(ReadBytes(dir + Sep() + "SHA256SUMS"), sums);
  std::error_code ignored;
  fs::permissions(dir + Sep() + DiskName(8), fs::perms::owner_write, fs::perm_options::add, ignored);
}

// A KE that stops answering file requests: after three silent files in a
// row the transfer ends instead of waiting out the budget of every further
// file, and the exit code tells that files are missing.
TEST_F(SimJobTest, ThreeSilentFilesInARowEndTheTransfer) {
  VemoraPortsType *port = Port("silentke", 3);
  ArchiveJob job;
  job.context = &FreshRun(archive);
  job.copyPort = port;
  JobRun run(job);
  run.copy = std::make_unique<VemoraCopyClass>(port->portName.c_str());
  run.copy->fileBudget = 300;
  run.errorLog = LoggingClass(archive.c_str(), "ERROR");
  run.serialNumber = "SILENT0001";
  ASSERT_TRUE(run.copy->ReadDirectory(run.response));
  SplitDirectory(run.response, run.directoryLines);
  run.copy->Close();
  SynchroniseDisk(run);

  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kFilesNotArchived);
  EXPECT_EQ(ReadBytes(File("SILENT0001", DiskName(0))), Reply(0, 60));
  const std::string sent = sim.Received("silentke");
  for (const char *request : {"\x1b" "3;0;1F", "\x1b" "3;0;2F", "\x1b" "3;0;3F"})
    EXPECT_EQ(Count(sent, request), 1) << request;
  EXPECT_EQ(Count(sent, "\x1b" "3;0;4F"), 0);
  const std::string stop = "Przerwano odczyt plik\xF3w: Kopia Elektroniczna nie odpowiada.";
  EXPECT_EQ(CountContaining(CopyLog("SILENT0001"), stop), 1);
}

// The adapter goes away in the middle of a file: the transfer stops at once
// (no further request, no wait for three silent files), the file under way
// is not saved, one line in each log names the port and the system's
// reason, and the exit code tells that files are left for the next run.
TEST_F(SimJobTest, APortLostMidFileStopsTheTransferAtOnce) {
#ifdef _WIN32
  GTEST_SKIP() << "Wine reads a hung-up pseudo-terminal as silence; the Windows side has its seam test";
#endif
  VemoraPortsType *port = Port("lostke", 3);
  Run(nullptr, port);
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kFilesNotArchived);
  EXPECT_EQ(ReadBytes(File("LOSTPORT01", DiskName(0))), Reply(0, 100));
  EXPECT_FALSE(Exists(File("LOSTPORT01", DiskName(1))));
  EXPECT_EQ(Count(sim.Received("lostke"), "\x1b" "3;0;2F"), 0);
  const std::string lost = "Utracono port " + port->portName + ": " + std::strerror(EIO) +
                           ". Pozosta\xB3" "e pliki zostan\xB9 odczytane przy nast\xEApnym uruchomieniu.";
  EXPECT_EQ(ErrorLog(), std::vector<std::string>{archive + Sep() + "LOSTPORT01: " + lost});
  const std::vector<std::string> log = CopyLog("LOSTPORT01");
  EXPECT_EQ(CountContaining(log, lost), 1);
  EXPECT_EQ(CountContaining(log, "Przerwano odczyt"), 0);
}

TEST_F(SimJobTest, EndMarkerFaultsAreRetriedThreeTimesAndNeverWritten) {
  VemoraPortsType *port = Port("faults", 3);
  Run(nullptr, port);
  // Files left missing on disk are reported by the exit code too.
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kFilesNotArchived);
  EXPECT_FALSE(Exists(File("FAULT00001", DiskName(1))));
  EXPECT_FALSE(Exists(File("FAULT00001", DiskName(2))));
  EXPECT_EQ(ReadBytes(File("FAULT00001", DiskName(3))), Reply(3, 150));
  const std::string sent = sim.Received("faults");
  EXPECT_EQ(Count(sent, "\x1b" "3;0;1F"), 3);
  EXPECT_EQ(Count(sent, "\x1b" "3;0;2F"), 3);
  // The budget is full again after file 2's last attempt: file 3 answers
  // once without its end marker and is fetched a second time.
  EXPECT_EQ(Count(sent, "\x1b" "3;0;3F"), 2);

  const std::string markerMissing = " brakuje znacznika ko\xF1" "ca. Plik nie zapisa\xB3 si\xEA.";
  const std::string markerInside =
      " napotkano znacznik ko\xF1" "ca w \x9Crodku pliku. B\xB3\xB9" "d odczytu. Plik nie zapisa\xB3 si\xEA.";
  const std::string dir = archive + Sep() + "FAULT00001" + Sep();
  auto errors = ErrorLog();
  EXPECT_EQ(CountLines(errors, "Plik: " + dir + DiskName(1) + markerMissing), 3);
  EXPECT_EQ(CountLines(errors, "Plik: " + dir + DiskName(2) + markerInside), 3);
  EXPECT_EQ(CountLines(errors, "Plik: " + dir + DiskName(3) + markerMissing), 1);
  EXPECT_EQ(errors.size(), 7u);
  const std::string tag = "<" + port->portName + "> Plik: ";
  auto log = CopyLog("FAULT00001");
  EXPECT_EQ(CountLines(log, tag + DiskName(1) + markerMissing), 3);
  EXPECT_EQ(CountLines(log, tag + DiskName(2) + markerInside), 3);
}

// (Which names are unsafe, a device name among them: the logic test.)
TEST_F(SimJobTest, ASerialNumberThatIsNoSafeNameIsReportedUnread) {
  VemoraPortsType *escape = Port("escape", 3);
  Run(nullptr, escape);
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kCheckFailed);
  EXPECT_EQ(ErrorLog(), std::vector<std::string>{"<" + escape->portName + "> ..\\escape9 Nie mo\xBFna odczyta\xE6 "
                                                 "numeru seryjnego Kopii Elektronicznej."});
  std::vector<std::string> entries;
  for (const auto &entry : fs::recursive_directory_iterator(root.root))
    entries.push_back(entry.path().filename().string());
  EXPECT_EQ(entries.size(), 2u);  // archiwum and its ERROR log
  EXPECT_EQ(sim.Received("escape").find("F"), std::string::npos);
}
