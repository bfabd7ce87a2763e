// One job's run against simulated devices, written once for both builds:
// natively the simulator runs in this process, under Wine it runs beside it
// (archive.scenario describes the devices).
#include <gtest/gtest.h>

#include <filesystem>

#include "app/archthread.h"
#include "app/modes.h"
#include "archtest_util.h"
#include "devsim.h"
#include "support/simdevices.h"

using namespace archtest;

namespace {

std::string Name(int number, const std::string &date = "2010-03-30") {
  char name[16];
  std::snprintf(name, sizeof name, "Z%04d_", number);
  return name + date + ".ej";
}

// What the KE sends for file number of size bytes: content and end marker.
std::string Reply(int number, int size) {
  return devsim::FileContent(number, size) + (number > 0 ? "\xff" : "\x1a");
}

class SimJobTest : public ::testing::Test {
protected:
  SimDevices &sim = SimDevices::Get();
  ScratchDir root{"simjob"};
  std::string archive = root / "archiwum";
  std::vector<std::unique_ptr<VemoraPortsType>> ports;

  void SetUp() override {
    ASSERT_TRUE(sim.Ok()) << sim.Error();
    exitCode.store(0);
  }
  VemoraPortsType *Port(const std::string &line, int deviceCode) {
    auto port = std::make_unique<VemoraPortsType>();
    port->comNumber = sim.Com(line);
    port->portName = sim.Port(line);
    port->deviceCode = deviceCode;
    ports.push_back(std::move(port));
    return ports.back().get();
  }
  void Run(VemoraPortsType *printerPort, VemoraPortsType *copyPort, bool viaPrinter = false) {
    archType job;
    job.targetPath = &archive;
    job.printerPort = printerPort;
    job.copyPort = copyPort;
    job.viaPrinter = viaPrinter;
    RunJob(job);
    EXPECT_TRUE(job.finished.load());
    EXPECT_FALSE(job.running.load());
  }
  std::string File(const std::string &serial, const std::string &name) {
    return archive + Sep() + serial + Sep() + name;
  }
  std::vector<std::string> CopyLog(const std::string &serial) {
    return LogLines(archive + Sep() + serial + Sep() + "log" + Sep() + "log_log.txt");
  }
  std::vector<std::string> ErrorLog() { return LogLines(archive + Sep() + "ERROR_log.txt"); }
};

const std::string kT0 = "Sprawdzanie zawarto\x9C" "ci Kopii Elektronicznej.";

} // namespace

TEST_F(SimJobTest, DirectModuleArchivedThenNothingFetched) {
  VemoraPortsType *port = Port("direct", 3);
  Run(nullptr, port);
  EXPECT_EQ(exitCode.load(), 0);
  EXPECT_EQ(ReadBytes(File("DIRECT0001", Name(0))), Reply(0, 120));
  EXPECT_EQ(ReadBytes(File("DIRECT0001", Name(1))), Reply(1, 300));
  EXPECT_EQ(ReadBytes(File("DIRECT0001", Name(2, "2026-12-01"))), Reply(2, 450));
  const std::string tag = "<" + port->portName + "> ";
  EXPECT_EQ(CopyLog("DIRECT0001"),
            (std::vector<std::string>{tag + "Podkatalog jest pusty.", tag + kT0, tag + "Zapisano plik: " + Name(0),
                                      tag + "Zapisano plik: " + Name(1),
                                      tag + "Zapisano plik: " + Name(2, "2026-12-01")}));
  const std::string frames = "\x1bS\x1bY\x1bS\x1b" "D\r\x1b" "0;3;0000F\x1b" "3;0;1F\x1b" "3;0;2F";
  EXPECT_EQ(sim.Received("direct"), frames);

  Run(nullptr, port);
  EXPECT_EQ(exitCode.load(), 0);
  EXPECT_EQ(sim.Received("direct"), frames + frames.substr(0, 9));
  auto log = CopyLog("DIRECT0001");
  ASSERT_EQ(log.size(), 7u);
  EXPECT_EQ(log[5], tag + "Sprawdzanie katalogu na dysku: " + archive + Sep() + "DIRECT0001");
  EXPECT_EQ(log[6], tag + kT0);
}

TEST_F(SimJobTest, FirstKindModule) {
  Run(nullptr, Port("firstkind", 3));
  EXPECT_EQ(exitCode.load(), 0);
  EXPECT_EQ(ReadBytes(File("FIRSTK0001", Name(0))), Reply(0, 100));
  EXPECT_EQ(ReadBytes(File("FIRSTK0001", Name(1))), Reply(1, 250));
}

TEST_F(SimJobTest, CombinedAndPassThroughJobs) {
  Run(Port("qx_prn", 4), Port("qx_ke", 5));
  EXPECT_EQ(exitCode.load(), 0);
  EXPECT_EQ(ReadBytes(File("QX70000009", Name(1))), Reply(1, 333));
  EXPECT_NE(sim.Received("qx_prn").find("\x1bP0#s\x1b\\"), std::string::npos);

  VemoraPortsType *printer = Port("drk", 0);
  Run(printer, nullptr, true);
  EXPECT_EQ(exitCode.load(), 0);
  EXPECT_EQ(ReadBytes(File("DR00000009", Name(0))), Reply(0, 90));
  EXPECT_EQ(ReadBytes(File("DR00000009", Name(1))), Reply(1, 444));
  EXPECT_EQ(CountLines(CopyLog("DR00000009"), "<" + printer->portName + "> Zapisano plik: " + Name(1)), 1);
  std::string sent = sim.Received("drk");
  EXPECT_NE(sent.find("\x1bP&dBD\x1b\\"), std::string::npos);
  // The relay is left (SUB) after the last file request.
  size_t lastFile = sent.find("\x1b" "3;0;1F");
  ASSERT_NE(lastFile, std::string::npos);
  EXPECT_NE(sent.find('\x1a', lastFile), std::string::npos);
}

TEST_F(SimJobTest, DiskFilesCheckedAgainstTheKe) {
  const std::string dir = archive + Sep() + "DISK000001";
  std::filesystem::create_directories(dir);
  WriteBytes(dir + Sep() + Name(1), Reply(1, 200));                               // in place
  WriteBytes(dir + Sep() + Name(2), devsim::FileContent(2, 209) + "\xff");        // listed size: T1
  WriteBytes(dir + Sep() + Name(3), devsim::FileContent(3, 220));                 // no marker: S2
  WriteBytes(dir + Sep() + Name(7), std::string("kept\xff"));                     // not listed: kept
  WriteBytes(dir + Sep() + Name(8), std::string("ro\xff"));                       // read-only: invalid
  std::filesystem::permissions(dir + Sep() + Name(8), std::filesystem::perms::owner_write |
                                                          std::filesystem::perms::group_write |
                                                          std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  VemoraPortsType *port = Port("disk", 3);
  Run(nullptr, port);
  EXPECT_EQ(exitCode.load(), 0);
  for (int n = 0; n <= 3; ++n)
    EXPECT_EQ(ReadBytes(dir + Sep() + Name(n)), Reply(n, n == 0 ? 100 : 190 + 10 * n)) << n;
  EXPECT_EQ(ReadBytes(dir + Sep() + Name(7)), std::string("kept\xff"));
  std::string sent = sim.Received("disk");
  EXPECT_EQ(sent.find("\x1b" "3;0;1F"), std::string::npos);

  const std::string tag = "<" + port->portName + "> ";
  const std::string t1 = "Rozmiar pliku " + dir + Sep() + Name(2) + " jest r\xF3\xBFny od " + Name(2) +
                         ". Plik dyskowy ulega skasowaniu.";
  auto log = CopyLog("DISK000001");
  EXPECT_EQ(CountLines(log, tag + t1), 1);
  EXPECT_EQ(CountLines(log, tag + "Skasowano b\xB3\xEA" "dny plik: " + Name(3)), 1);
  // A read-only file is not valid; Windows refuses to delete it, and then
  // the log says so instead of claiming the deletion.
  const bool stillThere = Exists(dir + Sep() + Name(8));
  EXPECT_EQ(CountLines(log, tag + "Skasowano b\xB3\xEA" "dny plik: " + Name(8)), stillThere ? 0 : 1);
  EXPECT_EQ(CountLines(log, tag + "Nie uda\xB3o si\xEA skasowa\xE6 b\xB3\xEA" "dnego pliku: " + Name(8)),
            stillThere ? 1 : 0);
  EXPECT_EQ(ErrorLog(), (std::vector<std::string>{t1}));
  std::error_code ignored;
  std::filesystem::permissions(dir + Sep() + Name(8), std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add, ignored);
}

TEST_F(SimJobTest, MissingAndInnerEndMarkers) {
  VemoraPortsType *port = Port("faults", 3);
  Run(nullptr, port);
  EXPECT_EQ(exitCode.load(), 0);
  EXPECT_FALSE(Exists(File("FAULT00001", Name(1))));
  EXPECT_FALSE(Exists(File("FAULT00001", Name(2))));
  EXPECT_EQ(ReadBytes(File("FAULT00001", Name(3))), Reply(3, 150));
  std::string sent = sim.Received("faults");
  auto count = [&](const std::string &request) {
    int n = 0;
    for (size_t at = sent.find(request); at != std::string::npos; at = sent.find(request, at + 1))
      ++n;
    return n;
  };
  EXPECT_EQ(count("\x1b" "3;0;1F"), 3);
  EXPECT_EQ(count("\x1b" "3;0;2F"), 3);
  EXPECT_EQ(count("\x1b" "3;0;3F"), 1);
  const std::string t4 = " brakuje znacznika ko\xF1" "ca. Plik nie zapisa\xB3 si\xEA.";
  const std::string t2 =
      " napotkano znacznik ko\xF1" "ca w \x9Crodku pliku. B\xB3\xB9" "d odczytu. Plik nie zapisa\xB3 si\xEA.";
  auto errors = ErrorLog();
  const std::string dir = archive + Sep() + "FAULT00001" + Sep();
  EXPECT_EQ(CountLines(errors, "Plik: " + dir + Name(1) + t4), 3);
  EXPECT_EQ(CountLines(errors, "Plik: " + dir + Name(2) + t2), 3);
  EXPECT_EQ(CountLines(CopyLog("FAULT00001"), "<" + port->portName + "> Plik: " + Name(2) + t2), 3);
}

TEST_F(SimJobTest, SerialNumbersThatAreNoSafeNamesAreK2) {
  const std::string k2 = " Nie mo\xBFna odczyta\xE6 numeru seryjnego Kopii Elektronicznej.";
  VemoraPortsType *escape = Port("escape", 3);
  Run(nullptr, escape);
  EXPECT_EQ(exitCode.load(), 1);
  VemoraPortsType *device = Port("device", 3);
  Run(nullptr, device);
  EXPECT_EQ(exitCode.load(), 1);
  EXPECT_EQ(ErrorLog(), (std::vector<std::string>{"<" + escape->portName + "> ..\\escape9" + k2,
                                                  "<" + device->portName + "> CON" + k2}));
  std::vector<std::string> entries;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(root.path))
    entries.push_back(entry.path().filename().string());
  EXPECT_EQ(entries.size(), 2u);  // archiwum and its ERROR log
  EXPECT_EQ(sim.Received("escape").find("F"), std::string::npos);
}
