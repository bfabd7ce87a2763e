// Devices that misbehave as a whole, in the DR mode: a KE that is busy, a
// printer that leaves the relay in the middle of the transfer, a printer
// that answers at no speed. One run, a printer per fault.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "faults/faultcheck.h"

using namespace rig;

namespace {

devsim::PrinterConfig RelayingPrinter(devsim::KeConfig ke) {
  devsim::PrinterConfig printer;
  printer.hasRelayKe = true;
  printer.relayKe = std::move(ke);
  return printer;
}

} // namespace

TEST(Faults, DeviceBusyKeEarlyRelayEndAndMutePrinter) {
  Rig rig(TestDir("device"));

  devsim::PrinterConfig busy = RelayingPrinter(Ke("BUSYKE0001", 2, 800));
  busy.relayKe.busy = true;
  rig.AddPlainPrinter("busy", busy);

  // The relay carries the identity requests (4 bytes), the version query (2),
  // the Directory request (3), the request of Z0000 (10) and those of Z0001
  // to Z0005 (7 each): 54 bytes. Within the request of Z0006 the printer
  // goes back to plain printer mode and the KE hears no more.
  devsim::PrinterFaults early;
  early.leaveRelayAfter = 57;
  rig.AddPlainPrinter("leaving", RelayingPrinter(Ke("LEAVES0002", 6, 800)), &early);

  devsim::PrinterConfig mute = RelayingPrinter(Ke("MUTEPR0003", 1, 500));
  mute.silent = true;
  rig.AddPlainPrinter("mute", mute);

  std::string why;
  ASSERT_TRUE(rig.Start(&why)) << why;
  RunOptions dr;
  dr.args = {rig.ArchiveRoot(), "DR"};
  RunResult run = rig.Run(dr);
  ExpectFaultyRunSound(rig, run);

  // A KE absent or busy (exit code 3), no printer reply (exit code 1) and
  // files left missing (exit code 7): the last one written wins (their lines:
  // the archive check test and the Wine fault test).
  EXPECT_TRUE(run.exitCode == 1 || run.exitCode == 3 || run.exitCode == 7) << Describe(run);
  // The module behind the printer that left early: what came through is
  // archived, the rest is reported file by file.
  EXPECT_TRUE(Contains(rig.ErrorLog(), "LEAVES0002/Z0006_2010-03-30.ej")) << rig.ErrorLog();
  // Every printer was asked to leave the relay at the end.
  EXPECT_FALSE(rig.Sim().Relaying("busy"));

  ExpectCleanRunCompletes(rig, dr);
}

// A KE port held by another program, one whose device node is gone and one
// the user may not open: each is said at once with its port and why, nothing
// is sent, exit code 3.
TEST(Faults, DevicePortHeldMissingOrDeniedIsSaidAtOnce) {
  Rig rig(TestDir("portopen"));
  Module &held = rig.AddModule("held", Ke("HELDKE0001", 1, 100));
  Module &gone = rig.AddModule("gone", Ke("GONEKE0002", 1, 100));
  // Root opens a node of mode 000 anyway: the program then runs as root
  // without the capabilities that override file permissions.
  RunOptions options;
  const bool root = ::geteuid() == 0;
  const std::vector<std::string> withoutDac = {"/usr/bin/setpriv", "--bounding-set", "-dac_override,-dac_read_search",
                                               "--"};
  std::string probe;
  for (const std::string &word : withoutDac)
    probe += word + " ";
  const bool canDeny = !root || std::system((probe + "/bin/true").c_str()) == 0;
  if (root && canDeny)
    options.wrapper = withoutDac;
  if (canDeny)
    rig.AddModule("denied", Ke("DENIED0003", 1, 100));
  std::string why;
  ASSERT_TRUE(rig.Start(&why)) << why;
  const std::string heldPort = rig.Sim().Find("held")->PortName();
  const std::string gonePort = rig.Sim().Find("gone")->PortName();
  int holder = ::open((rig.Dir() + "/dev/" + held.tty).c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(holder, 0);
  ASSERT_EQ(::flock(holder, LOCK_EX | LOCK_NB), 0);
  ASSERT_EQ(::unlink((rig.Dir() + "/dev/" + gone.tty).c_str()), 0);
  if (canDeny) {
    ASSERT_EQ(::chmod(rig.Sim().Find("denied")->SlavePath().c_str(), 0), 0);
  }

  RunResult run = rig.Run(options);
  ::close(holder);
  EXPECT_EQ(run.exitCode, 3) << Describe(run);
  EXPECT_LT(run.seconds, 25) << Describe(run); // the main thread's 10 s looks, no device waits
  const std::string errors = rig.ErrorLog();
  EXPECT_TRUE(Contains(errors, "<" + heldPort + "> Nie mo\xBFna otworzy\xE6 portu " + heldPort +
                                   ": port jest zaj\xEAty przez inny program.\r\n")) << errors;
  EXPECT_TRUE(Contains(errors, "<" + gonePort + "> Nie mo\xBFna otworzy\xE6 portu " + gonePort +
                                   ": port nie istnieje.\r\n")) << errors;
  EXPECT_FALSE(Contains(errors, "numeru")) << errors;
  EXPECT_EQ(rig.Sim().Find("held")->ReceivedCount(), 0u);
  if (canDeny) {
    const std::string deniedPort = rig.Sim().Find("denied")->PortName();
    EXPECT_TRUE(Contains(errors, "<" + deniedPort + "> Nie mo\xBFna otworzy\xE6 portu " + deniedPort +
                                     ": brak uprawnie\xF1 do portu.\r\n")) << errors;
  } else {
    std::printf("no denied port: setpriv cannot drop the capabilities here\n");
  }
}
