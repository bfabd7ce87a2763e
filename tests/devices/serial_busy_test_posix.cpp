// A Linux port that another program holds, in each of the ways the system
// lets this program see: a flock, TIOCEXCL, a UUCP lock file of a live
// process; a port without a node is missing. The port is a pseudo-terminal
// behind a device root of its own.
#include <gtest/gtest.h>
#include <pty.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "base/testdir.h"
#include "platform/serial.h"

namespace fs = std::filesystem;

namespace {

std::string Pid(long pid) {
  char text[16];
  std::snprintf(text, sizeof text, "%10ld\n", pid);
  return text;
}

TEST(SerialBusy, HeldPortsAreBusyAndTheProgramHoldsItsOwnLikewise) {
  TestDir scratch;
  int master = -1, slave = -1;
  char slaveName[128];
  ASSERT_EQ(::openpty(&master, &slave, slaveName, nullptr, nullptr), 0);
  fs::create_directories(scratch.root + "/dev");
  fs::create_directories(scratch.root + "/lock");
  fs::create_symlink(slaveName, scratch.root + "/dev/ttyUSB9");
  ScopedEnv devRoot("ZARVIK_DEV_ROOT", scratch.root + "/dev"), lockDir("ZARVIK_LOCK_DIR", scratch.root + "/lock");
  const std::string lock = scratch.root + "/lock/LCK..ttyUSB9";
  plat::OpenFailure why = plat::OpenFailure::kNone;

  // Free: the run holds the lock file (its pid in the HDB format) until the
  // port is closed, and a second open meanwhile is busy.
  plat::SerialHandle port = plat::SerialOpen("com42", &why);
  ASSERT_NE(port, plat::kNoHandle);
  EXPECT_EQ(ReadAll(lock), Pid(::getpid()));
  EXPECT_EQ(plat::SerialOpen("com42", &why), plat::kNoHandle);
  EXPECT_EQ(why, plat::OpenFailure::kBusy);
  EXPECT_TRUE(plat::SerialClose(port));
  EXPECT_FALSE(fs::exists(lock));
  EXPECT_EQ(plat::SerialOpen("com60", &why), plat::kNoHandle);  // no node
  EXPECT_EQ(why, plat::OpenFailure::kMissing);

  // A lock of a process that is gone is replaced; one of a live process
  // (here the test's parent) makes the port busy and stays as it was.
  pid_t child = ::fork();
  if (child == 0)
    ::_exit(0);
  ::waitpid(child, nullptr, 0);
  WriteAll(lock, Pid(child));
  port = plat::SerialOpen("com42", &why);
  ASSERT_NE(port, plat::kNoHandle);
  EXPECT_EQ(ReadAll(lock), Pid(::getpid()));
  EXPECT_TRUE(plat::SerialClose(port));
  WriteAll(lock, Pid(::getppid()));
  EXPECT_EQ(plat::SerialOpen("com42", &why), plat::kNoHandle);
  EXPECT_EQ(why, plat::OpenFailure::kBusy);
  EXPECT_EQ(ReadAll(lock), Pid(::getppid()));
  fs::remove(lock);

  // flock and TIOCEXCL of another holder: busy at once, and the lock file
  // taken for the attempt is gone again.
  ASSERT_EQ(::flock(slave, LOCK_EX | LOCK_NB), 0);
  EXPECT_EQ(plat::SerialOpen("com42", &why), plat::kNoHandle);
  EXPECT_EQ(why, plat::OpenFailure::kBusy);
  ::flock(slave, LOCK_UN);
  ASSERT_EQ(::ioctl(slave, TIOCEXCL), 0);
  EXPECT_EQ(plat::SerialOpen("com42", &why), plat::kNoHandle);
  EXPECT_EQ(why, plat::OpenFailure::kBusy);
  EXPECT_FALSE(fs::exists(lock));
  ::ioctl(slave, TIOCNXCL);

  ::close(slave);
  ::close(master);
}

} // namespace
