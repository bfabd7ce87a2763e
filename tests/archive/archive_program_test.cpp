// The real zarvik program in archive mode against simulated devices that a
// fake sysfs tree presents: the two-port device (com33 printer channel, com34
// KE channel), a stand-alone KE module (com35), and a printer relaying to a
// KE behind another vendor's adapter (com36). Every run lasts at least the
// 10 s of the program's first wait.
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>

#include "fakesysfs.h"
#include "jobfixture.h"

using namespace archtest;

class ProgramTest : public JobTest {
protected:
  devsim::KeConfig module, twoPortKe, relayKe;
  std::vector<std::string> targets;

  void StartDevices(bool withKeChannel = true) {
    module = KeWithFiles(3);
    module.serial = "MOD0000001";
    twoPortKe = KeWithFiles(2, devsim::VersionKind::kUntagged);
    twoPortKe.serial = "QX70000002";
    devsim::PrinterConfig printer;
    printer.hasRelayKe = true;
    printer.relayKe = KeWithFiles(2);
    printer.relayKe.serial = "DR00000003";
    relayKe = printer.relayKe;
    auto lines = sim->AddTwoPort("qx", "ttyUSB0", "ttyUSB1", devsim::PrinterConfig(), twoPortKe);
    devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", module);
    devsim::Line &prn = sim->AddPrinter("prn", "ttyUSB3", printer);
    ASSERT_TRUE(sim->Start());
    targets = {lines.first->SlavePath(), withKeChannel ? lines.second->SlavePath() : "", ke.SlavePath(),
               prn.SlavePath()};
    std::vector<devsim::FakeTtyDevice> devices = devsim::StandardFakeDevices(targets);
    if (!withKeChannel)
      devices.erase(devices.begin() + 1);
    std::string error;
    ASSERT_TRUE(devsim::BuildFakeSysfs(root / "sys", root / "dev", devices, &error)) << error;
  }

  // Runs zarvik with args in the scratch directory; the exit code, and the
  // run's length in seconds in *seconds.
  int Zarvik(const std::string &args, double *seconds = nullptr) {
    std::string command = "cd '" + root.path + "' && env ZARVIK_SYSFS_ROOT='" + (root / "sys") +
                          "' ZARVIK_DEV_ROOT='" + (root / "dev") + "' HOME='" + home.path + "' '" ZARVIK_EXE "' " +
                          args + " >> '" + (root / "console.txt") + "' 2>&1 </dev/null";
    auto start = std::chrono::steady_clock::now();
    int status = std::system(command.c_str());
    if (seconds != nullptr)
      *seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // The console output since the last call, without its Polish letters
  // (a UTF-8 locale turns them into UTF-8).
  std::string NewConsole() {
    std::string all = ReadBytes(root / "console.txt");
    std::string fresh;
    for (size_t k = std::min(seen, all.size()); k < all.size(); ++k)
      if (static_cast<unsigned char>(all[k]) < 0x80)
        fresh += all[k];
    seen = all.size();
    return fresh;
  }
  size_t seen = 0;
};

namespace {
bool Has(const std::string &text, const std::string &part) { return text.find(part) != std::string::npos; }
int Occurrences(const std::string &text, const std::string &part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}
} // namespace

TEST_F(ProgramTest, DirectAndCombinedJobsThenASecondRunFetchesNothing) {
  StartDevices();
  double seconds = 0;
  EXPECT_EQ(Zarvik("archiwum", &seconds), 0);
  EXPECT_GE(seconds, 10.0);
  ExpectArchived(module);
  ExpectArchived(twoPortKe);
  EXPECT_FALSE(Exists(KeDir(relayKe.serial)));
  EXPECT_EQ(CountLines(CopyLog(module.serial), "<com35> " + T3(DiskName(3))), 1);
  EXPECT_EQ(CountLines(CopyLog(twoPortKe.serial), "<com34> " + T3(DiskName(2))), 1);
  EXPECT_FALSE(Exists(archive + Sep() + "ERROR_log.txt"));
  // The printer channel was checked, the printer behind the adapter not.
  EXPECT_NE(sim->Find("qx_prn")->Received().find("\x1bP0#s\x1b\\"), std::string::npos);
  EXPECT_EQ(sim->Find("prn")->Received(), "");

  EXPECT_EQ(Zarvik("archiwum" + Sep()), 0);
  for (int n = 0; n <= 3; ++n)
    EXPECT_EQ(sim->FileRequests("ke", n), 1) << n;
  for (int n = 0; n <= 2; ++n)
    EXPECT_EQ(sim->FileRequests("qx_ke", n), 1) << n;
  auto log = CopyLog(module.serial);
  EXPECT_EQ(log.back(), "<com35> " + kT0);
  EXPECT_EQ(CountContaining(log, "Zapisano plik: "), 4);

  // The checksum lists hold for the standard tool, and VERIFY agrees.
  const std::string dir = "archiwum" + Sep() + module.serial;  // as VERIFY names it
  EXPECT_EQ(std::system(("cd '" + KeDir(module.serial) + "' && sha256sum --quiet --strict -c SHA256SUMS").c_str()), 0);
  NewConsole();
  EXPECT_EQ(Zarvik("verify archiwum"), 0);
  std::string said = NewConsole();
  EXPECT_TRUE(Has(said, "Razem katalogw KE: 2, sprawdzono plikw: 7, problemw: 0")) << said;

  // One byte changed in place (the end marker stays), one file gone from
  // the middle: both named, code 9, nothing changed on disk.
  const std::string full = KeDir(module.serial);
  std::string one = ReadBytes(full + Sep() + DiskName(1));
  one[10] ^= 1;
  WriteBytes(full + Sep() + DiskName(1), one);
  std::filesystem::remove(full + Sep() + DiskName(2));
  EXPECT_EQ(Zarvik("VERIFY archiwum"), 9);
  said = NewConsole();
  EXPECT_TRUE(Has(said, "Niezgodna suma kontrolna: " + dir + Sep() + DiskName(1))) << said;
  EXPECT_TRUE(Has(said, "Brak pliku: " + dir + Sep() + DiskName(2))) << said;
  EXPECT_TRUE(Has(said, "Brak plikw w numeracji: Z0002 (" + dir + ")")) << said;
  EXPECT_EQ(ReadBytes(full + Sep() + DiskName(1)), one);

  // FIX moves the changed file aside; the next archive run fetches both
  // again, and then all is well.
  EXPECT_EQ(Zarvik("VERIFY archiwum FIX"), 9);
  EXPECT_EQ(ReadBytes(full + Sep() + "uszkodzone" + Sep() + DiskName(1)), one);
  EXPECT_TRUE(Has(NewConsole(), "przeniesiono do uszkodzone: 1"));
  EXPECT_EQ(Zarvik("archiwum com35"), 0);
  ExpectArchived(module);
  EXPECT_EQ(Zarvik("VERIFY archiwum"), 0);
}

// Bad input for VERIFY, and targets that cannot be used.
TEST_F(ProgramTest, UnusableTargetsAndBadInput) {
  StartDevices();
  WriteBytes(root / "plik", "not a directory");
  EXPECT_EQ(Zarvik("plik" + Sep() + "archiwum com35"), 5);
  EXPECT_TRUE(Has(NewConsole(), "Nie mona utworzy katalogu: plik" + Sep() + "archiwum"));
  EXPECT_EQ(sim->Find("ke")->Received(), "");
  EXPECT_EQ(Zarvik("VERIFY nowhere"), 9);
  EXPECT_TRUE(Has(NewConsole(), "Nie mona odczyta katalogu: nowhere"));

  // A KE directory with foreign and odd files and a list written by hand:
  // each problem said once, nothing valid moved, nothing written outside.
  const std::string full = root / "ke" + Sep() + "X1", dir = "ke" + Sep() + "X1";
  std::filesystem::create_directories(full);
  WriteBytes(full + Sep() + DiskName(0), "good\x1a");
  WriteBytes(full + Sep() + "Z0001 a;'\xBF.ej", "odd\xff");
  WriteBytes(full + Sep() + "Zxyz.ej", "foreign");
  WriteBytes(full + Sep() + "notes.txt", "user's");
  WriteBytes(full + Sep() + "SHA256SUMS", std::string(64, '0') + "  " + DiskName(0) + "\r\ngarbage\n" +
                                             std::string(64, 'a') + "  ../../etc/passwd\n" +
                                             std::string(64, 'b') + "  notes.txt\n");
  EXPECT_EQ(Zarvik("VERIFY ke FIX"), 9);
  std::string said = NewConsole();
  const std::string bad = "Bdny wiersz ";
  for (const std::string &line : {"Niezgodna suma kontrolna: " + dir + Sep() + DiskName(0),
                                  bad + "2 w pliku " + dir + Sep() + "SHA256SUMS", bad + "3 w pliku",
                                  "Obcy plik: " + dir + Sep() + "Zxyz.ej",
                                  "Wiersz dotyczy pliku spoza archiwum: " + dir + Sep() + "SHA256SUMS: notes.txt",
                                  "Brak sumy kontrolnej: " + dir + Sep() + "Z0001 a;'.ej"})
    EXPECT_EQ(Occurrences(said, line), 1) << line << "\n" << said;
  EXPECT_EQ(ReadBytes(full + Sep() + "notes.txt"), "user's");
  EXPECT_EQ(ReadBytes(full + Sep() + "Zxyz.ej"), "foreign");
  EXPECT_EQ(ReadBytes(full + Sep() + "uszkodzone" + Sep() + DiskName(0)), "good\x1a");
  EXPECT_EQ(Zarvik("VERIFY ke"), 9);  // the file moved aside leaves Z0000 missing
  EXPECT_EQ(std::system(("cd '" + full + "' && sha256sum --quiet -c SHA256SUMS").c_str()), 0);
}

TEST_F(ProgramTest, PassThroughJobWithDr) {
  StartDevices();
  EXPECT_EQ(Zarvik("archiwum DR com36"), 0);
  ExpectArchived(relayKe);
  EXPECT_EQ(CountLines(CopyLog(relayKe.serial), "<com36> " + T3(DiskName(2))), 1);
  EXPECT_FALSE(Exists(KeDir(module.serial)));
  EXPECT_FALSE(sim->Relaying("prn"));
}

TEST_F(ProgramTest, TwoPortDeviceWithoutItsKeChannelIsCode3) {
  StartDevices(false);
  EXPECT_EQ(Zarvik("archiwum"), 3);
  ExpectArchived(module);
  EXPECT_EQ(sim->Find("qx_prn")->Received(), "");
}

TEST_F(ProgramTest, NoPortInRangeEndsAtOnceWith6) {
  StartDevices();
  double seconds = 0;
  EXPECT_EQ(Zarvik("archiwum com10 com3", &seconds), 6);
  EXPECT_LT(seconds, 10.0);
  EXPECT_EQ(sim->Find("ke")->Received(), "");
}
