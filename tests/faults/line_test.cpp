// The line fails: noise (bytes corrupted or dropped in file transfers, in the
// Directory and in the identity reply), a hang-up in the middle of a file, a
// module that falls silent for longer than every budget, one that never
// stops sending, one that never answers its identity request. One run, a
// module per fault.
#include <unistd.h>

#include "faults/faultcheck.h"

using namespace rig;

TEST(Faults, LineNoiseHangUpStallsAndEndlessSender) {
  Rig rig(TestDir("line"));

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

  // The line goes during the last file (a lost port ends the transfer at once).
  devsim::KeConfig hang = Ke("HANGUP0001", 4, 4096);
  hang.files[4].fault = devsim::FileFault::kHangUp;   // file 4: 1000 bytes, then the line is gone
  hang.files[4].faultBytes = 1000;
  Module &hangUp = rig.AddModule("hangup", hang);

  devsim::KeConfig stall = Ke("STALLS0002", 4, 4096);
  stall.files[1].fault = devsim::FileFault::kCutShort; // file 1: half, then silence
  stall.files[1].faultBytes = 2048;
  stall.files[3].fault = devsim::FileFault::kSilent;   // file 3: nothing at all
  Module &stalls = rig.AddModule("stall", stall);

  devsim::KeFaults endless;
  endless.streamFile = 2;                               // file 2: 40 MiB and no end byte
  Module &stream = rig.AddModule("endless", Ke("STREAM0003", 4, 4096), &endless);

  devsim::KeConfig mute = Ke("MUTEID0004", 2, 1000);
  mute.silentIdentity = 1000;                           // never answers ESC 'S'
  Module &muteModule = rig.AddModule("mute", mute);

  std::string why;
  ASSERT_TRUE(rig.Start(&why)) << why;
  // The silent file waits out its whole budget here: about 92 s on an idle
  // machine, more under load.
  RunOptions options;
  options.timeoutSeconds = 240;
  RunResult run = rig.Run(options);
  ExpectFaultyRunSound(rig, run, 200);

  // The module without identity: no directory of its own, a failure code.
  EXPECT_NE(run.exitCode, 0) << Describe(run);
  EXPECT_EQ(ReadTree(rig.ArchiveRoot() + "/" + muteModule.cfg.serial).size(), 0u);
  // The presence loop asks once and listens 21 times; the identity step asks again.
  EXPECT_EQ(rig.Sim().IdentityRequests("mute"), 2);

  // What came before the fault is archived; the faulty files are reported. A
  // file that came short or without its end marker is never saved.
  const std::string errors = rig.ErrorLog();
  for (const char *name : {"Z0002_2010-03-30.ej", "Z0003_2010-03-30.ej", "Z0004_2010-03-30.ej"})
    EXPECT_TRUE(Contains(errors, std::string("NOISEF0001/") + name)) << name << "\n" << errors;
  EXPECT_EQ(MissingFiles(rig, fileNoise).find("Z0001"), std::string::npos);
  EXPECT_EQ(MissingFiles(rig, firstKind).find("Z0001"), std::string::npos);
  EXPECT_EQ(MissingFiles(rig, hangUp), " Z0004_2010-03-30.ej");
  // The hang-up loses the port: the run says so with the system's reason.
  EXPECT_TRUE(Contains(errors, "HANGUP0001: Utracono port ")) << errors;
  EXPECT_TRUE(Contains(errors, "Input/output error. Pozosta")) << errors;
  EXPECT_EQ(MissingFiles(rig, stalls).find("Z0002"), std::string::npos);
  EXPECT_TRUE(Contains(errors, "STALLS0002/Z0001_2010-03-30.ej")) << errors;
  EXPECT_TRUE(Contains(errors, "STALLS0002/Z0003_2010-03-30.ej")) << errors;
  EXPECT_EQ(MissingFiles(rig, stream).find("Z0001"), std::string::npos);
  EXPECT_TRUE(Contains(errors, "STREAM0003/Z0002_2010-03-30.ej")) << errors;

  ExpectCleanRunCompletes(rig);
}
