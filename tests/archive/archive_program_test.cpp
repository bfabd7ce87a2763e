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
};

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
