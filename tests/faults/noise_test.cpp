// Line noise: bytes corrupted or dropped in file transfers, in the Directory
// and in the identity reply, four modules with a fault each in one run.
#include <unistd.h>

#include "faults/faultcheck.h"

using namespace rig;

TEST(Faults, NoiseInFilesDirectoryAndIdentity) {
  Rig rig(TestDir("noise"));

  // Bytes dropped from files 2 and 3 on their first two transfers; the end
  // marker of file 4 damaged once.
  devsim::KeFaults files;
  files.noise.push_back({devsim::ReplyKind::kFile, 2, 1, 2, 0, 3, true, 0, 11});
  files.noise.push_back({devsim::ReplyKind::kFile, 3, 1, 1, 0, 1, true, 0, 12});
  files.noise.push_back({devsim::ReplyKind::kFile, 4, 1, 1, 0, 0, true, 1, 13});
  Module &fileNoise = rig.AddModule("files", Ke("NOISEF0001", 5, 2048), &files);

  // The same for a first-kind module (one that answers without ENQ).
  devsim::KeConfig first = Ke("NOISEK0002", 3, 1500, false);
  first.enqBeforeFile = 0;
  Module &firstKind = rig.AddModule("firstkind", first, &files);

  // The Directory garbled: bytes flipped and dropped anywhere in it.
  devsim::KeFaults directory;
  directory.noise.push_back({devsim::ReplyKind::kDirectory, -1, 1, 1, 6, 4, true, 0, 21});
  rig.AddModule("directory", Ke("NOISED0003", 6, 700), &directory);

  // Both identity replies garbled.
  devsim::KeFaults identity;
  identity.noise.push_back({devsim::ReplyKind::kIdentity, -1, 1, 2, 3, 2, true, 0, 31});
  rig.AddModule("identity", Ke("NOISEI0004", 3, 900), &identity);

  std::string why;
  ASSERT_TRUE(rig.Start(&why)) << why;
  RunResult run = rig.Run();
  ExpectFaultyRunSound(rig, run);

  // A file that came short or without its end marker is never saved; the
  // failures are in both logs.
  const std::string errors = rig.ErrorLog();
  for (const char *name : {"Z0002_2010-03-30.ej", "Z0003_2010-03-30.ej", "Z0004_2010-03-30.ej"})
    EXPECT_TRUE(Contains(errors, name)) << name << "\n" << errors;
  EXPECT_EQ(MissingFiles(rig, fileNoise).find("Z0001"), std::string::npos);
  EXPECT_EQ(MissingFiles(rig, firstKind).find("Z0001"), std::string::npos);

  ExpectCleanRunCompletes(rig);
}
