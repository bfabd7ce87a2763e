// Replies of unusual size and content: a Directory of 10,000 file lines,
// lines longer than 64 KiB, NUL bytes in the Directory, in the identity
// reply and inside files. Nothing here may cost a file.
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "faults/faultcheck.h"

using namespace rig;

TEST(Faults, DirectoryOf10000LinesLongLinesAndNulBytes) {
  Rig rig(TestDir("directory"));

  // Z0000 and 9,999 more files; all but the last five are archived already.
  Module &big = rig.AddModule("big", Ke("BIGDIR0001", 9999, 40));
  const std::string bigDir = rig.ArchiveRoot() + "/" + big.cfg.serial;
  std::filesystem::create_directories(bigDir);
  for (size_t i = 0; i + 5 < big.cfg.files.size(); ++i)
    ASSERT_TRUE(WriteWhole(bigDir + "/" + DiskName(big.cfg.files[i]), ArchiveBytes(big.cfg.files[i])));
  // With their lines: a file without one would be fetched again.
  ASSERT_EQ(std::system(("cd '" + bigDir + "' && LC_ALL=C sha256sum Z*.ej > SHA256SUMS").c_str()), 0);

  // A 70 KiB header line, a header line with a NUL byte, and a 70 KiB line
  // among the file lines that looks like one (" Z...") but is none.
  devsim::KeFaults longLines;
  longLines.directoryPrefix = std::string(70000, 'H') + "\r\n" + std::string("NUL\0IN HEADER\r\n", 15);
  longLines.directoryInsert = " Z" + std::string(70000, '9') + std::string(1, '\0') + " D 2010-03-30  1  40 OK\r\n";
  Module &longModule = rig.AddModule("long", Ke("LONGLN0002", 3, 1000), &longLines);

  // Binary file contents: NUL bytes, SUB, CR and LF inside; a NUL byte in
  // the version line of the identity reply.
  devsim::KeConfig nulCfg = Ke("NULBYT0003", 2, 100);
  nulCfg.files[1].content = std::string("\0\0\x1a\r\n\0binary\x1a\0", 14) + std::string(3000, '\0') + "end";
  nulCfg.files[2].content = std::string(5000, '\0');
  nulCfg.versionText = std::string("EJ2 v1\0.07", 10);
  rig.AddModule("nul", nulCfg);

  std::string why;
  ASSERT_TRUE(rig.Start(&why)) << why;
  RunResult run = rig.Run();
  ExpectFaultyRunSound(rig, run);
  // The long line that is no file line could not be read: 7.
  EXPECT_EQ(run.exitCode, 7) << Describe(run);
  EXPECT_EQ(CheckArchiveComplete(rig), "") << Describe(run);

  // Only the five missing files were fetched.
  EXPECT_EQ(rig.Sim().FileRequests("big", 9994), 0);
  for (int n = 9995; n <= 9999; ++n)
    EXPECT_EQ(rig.Sim().FileRequests("big", n), 1) << n;
  // The long line that is no file line cost nothing but a line in the log
  // (every module's files are complete, above).
  EXPECT_TRUE(Contains(rig.CopyLog(longModule), "Pomini")) << rig.CopyLog(longModule).substr(0, 2000);
}
