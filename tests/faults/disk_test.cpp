// The disk fails the program: full (a file size limit on the process), a
// read-only archive directory, an archive file made read-only; and two
// processes archiving into one archive root at once.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

#include "faults/faultcheck.h"

using namespace rig;

namespace {

bool Chattr(const std::string &flag, const std::string &path) {
  const std::string command = "chattr " + flag + " '" + path + "' >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

// An immutable directory refuses new entries even to root, which ignores
// permission bits.
bool CanMakeImmutable(const std::string &probe) {
  std::filesystem::create_directories(probe);
  const bool ok = Chattr("+i", probe);
  if (ok)
    Chattr("-i", probe);
  return ok;
}

} // namespace

TEST(Faults, DiskFullKeepsNoPartialFile) {
  Rig rig(TestDir("diskfull"));
  devsim::KeConfig cfg = Ke("DSKFUL0001", 3, 4096);
  cfg.files.push_back(devsim::MakeFile(4, 40000));
  cfg.files.push_back(devsim::MakeFile(5, 40000));
  Module &module = rig.AddModule("full", cfg);
  std::string why;
  ASSERT_TRUE(rig.Start(&why)) << why;

  // No file of the process may grow past 16 KiB: the small files and the
  // logs fit, the two large files do not.
  RunOptions limited;
  limited.fileSizeLimit = 16384;
  RunResult run = rig.Run(limited);
  ExpectFaultyRunSound(rig, run);
  EXPECT_EQ(MissingFiles(rig, module), " Z0004_2010-03-30.ej Z0005_2010-03-30.ej");
  const std::string errors = rig.ErrorLog();
  EXPECT_TRUE(Contains(errors, "DSKFUL0001/Z0004_2010-03-30.ej nie uda")) << errors;
  EXPECT_TRUE(Contains(errors, "DSKFUL0001/Z0005_2010-03-30.ej nie uda")) << errors;

  ExpectCleanRunCompletes(rig);
}

TEST(Faults, ReadOnlyArchiveDirectoriesAndFiles) {
  Rig rig(TestDir("readonly"));
  if (!CanMakeImmutable(rig.Dir() + "/probe"))
    GTEST_SKIP() << "chattr +i is not available on this file system: a read-only directory cannot be made "
                    "for root, which ignores permission bits";

  Module &plain = rig.AddModule("plain", Ke("ROFILE0001", 3, 2000));
  Module &locked = rig.AddModule("locked", Ke("RODIRS0002", 3, 2000));
  std::string why;
  ASSERT_TRUE(rig.Start(&why)) << why;

  // 1. The archive root itself cannot be written: no KE directory, exit code
  // 5, and the error log goes to the user's own fall-back log directory.
  std::filesystem::create_directories(rig.ArchiveRoot());
  ASSERT_TRUE(Chattr("+i", rig.ArchiveRoot()));
  RunResult run = rig.Run();
  Chattr("-i", rig.ArchiveRoot());
  ExpectFaultyRunSound(rig, run);
  EXPECT_EQ(run.exitCode, 5) << Describe(run);
  EXPECT_TRUE(ReadTree(rig.ArchiveRoot()).empty());
  EXPECT_TRUE(Contains(ReadWhole(rig.Home() + "/tmp/vemora_log-" + std::to_string(::geteuid()) + "/ERROR_log.txt"), "ROFILE0001"));

  // 2. A valid archive file made read-only (to protect it) stays an archive
  // file: kept as it is, not fetched again. A KE directory that cannot be
  // written keeps its old content and each file is reported.
  const std::string plainDir = rig.ArchiveRoot() + "/" + plain.cfg.serial;
  const std::string lockedDir = rig.ArchiveRoot() + "/" + locked.cfg.serial;
  std::filesystem::create_directories(plainDir);
  std::filesystem::create_directories(lockedDir + "/log");
  const std::string readOnly = plainDir + "/" + DiskName(plain.cfg.files[1]);
  ASSERT_TRUE(WriteWhole(readOnly, ArchiveBytes(plain.cfg.files[1])));
  ASSERT_EQ(::chmod(readOnly.c_str(), 0444), 0);
  const std::string kept = lockedDir + "/" + DiskName(locked.cfg.files[2]);
  ASSERT_TRUE(WriteWhole(kept, ArchiveBytes(locked.cfg.files[2])));
  ASSERT_TRUE(WriteWhole(lockedDir + "/zarvik.lock", ""));  // as every earlier run leaves it
  ASSERT_TRUE(Chattr("+i", lockedDir));
  run = rig.Run();
  Chattr("-i", lockedDir);
  ExpectFaultyRunSound(rig, run);
  EXPECT_EQ(MissingFiles(rig, plain), "");
  struct stat info {};
  ASSERT_EQ(::stat(readOnly.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0444u) << "the read-only copy was replaced";
  EXPECT_EQ(MissingFiles(rig, locked), " Z0000_2010-03-30.ej Z0001_2010-03-30.ej Z0003_2010-03-30.ej");
  const std::string errors = rig.ErrorLog();
  EXPECT_TRUE(Contains(errors, "RODIRS0002/Z0001_2010-03-30.ej nie uda")) << errors;
  EXPECT_TRUE(Contains(errors, "SHA256SUMS w katalogu: " + lockedDir)) << errors;

  ExpectCleanRunCompletes(rig);
}

TEST(Faults, TwoProcessesShareOneArchiveRoot) {
  Rig first(TestDir("twoproc-a"));
  Rig second(TestDir("twoproc-b"));
  second.ShareArchiveWith(first);
  first.AddModule("a1", Ke("TWOPRA0001", 6, 3000));
  first.AddModule("a2", Ke("TWOPRA0002", 6, 3000));
  second.AddModule("b1", Ke("TWOPRB0003", 6, 3000));
  second.AddModule("b2", Ke("TWOPRB0004", 6, 3000));
  // One module on each side whose file 2 never comes whole: both processes
  // write to the one error log at the same time.
  devsim::KeConfig broken = Ke("TWOPRA0005", 3, 3000);
  broken.files[2].fault = devsim::FileFault::kNoEndByte;
  first.AddModule("a3", broken);
  broken.serial = "TWOPRB0006";
  second.AddModule("b3", broken);
  std::string why;
  ASSERT_TRUE(first.Start(&why)) << why;
  ASSERT_TRUE(second.Start(&why)) << why;

  RunResult a, b;
  std::thread other([&] { b = second.Run(); });
  a = first.Run();
  other.join();
  ExpectFaultyRunSound(first, a);
  ExpectFaultyRunSound(second, b);
  for (Rig *rig : {&first, &second})
    for (const Module &m : rig->Modules())
      EXPECT_EQ(MissingFiles(*rig, m), m.name.back() == '3' ? " Z0002_2010-03-30.ej" : "") << m.name;
  EXPECT_TRUE(Contains(first.ErrorLog(), "TWOPRA0005/Z0002")) << first.ErrorLog();
  EXPECT_TRUE(Contains(first.ErrorLog(), "TWOPRB0006/Z0002")) << first.ErrorLog();
  // Both processes appended to the one error log without tearing lines:
  // every line there is whole (ends in CR LF and starts with a time stamp).
  std::istringstream log(first.ErrorLog());
  for (std::string line; std::getline(log, line);)
    EXPECT_TRUE(line.rfind("20", 0) == 0 && line.back() == '\r') << line;
}
