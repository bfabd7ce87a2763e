// One job's run against simulated devices, for what needs the simulator's
// counters and per-test devices: the disk check against the KE, an empty KE,
// the retry budget of end-marker faults. The three kinds of job themselves
// are archive_sim_test.cpp's, which also runs under Wine.
#include "jobfixture.h"

using namespace archtest;

TEST_F(JobTest, DiskFilesAreCheckedAgainstTheKe) {
  devsim::KeConfig cfg = KeWithFiles(4);
  devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());
  const std::string dir = KeDir(cfg.serial);
  std::filesystem::create_directories(dir);
  // File 1 is one byte longer than listed (its end marker): kept.
  WriteBytes(dir + Sep() + DiskName(1), devsim::FileReply(cfg.files[1], '3'));
  // File 2 has the listed size exactly: T1 twice, fetched again.
  WriteBytes(dir + Sep() + DiskName(2), cfg.files[2].content.substr(1) + "\xff");
  // File 3 lacks its end marker: damaged, S2, fetched.
  WriteBytes(dir + Sep() + DiskName(3), cfg.files[3].content);
  // File 0 of any size stays; a foreign name goes; a valid unlisted file stays.
  WriteBytes(dir + Sep() + DiskName(0), std::string("short\x1a"));
  WriteBytes(dir + Sep() + "Z12A4_2010-03-30.ej", std::string("x\xff"));
  WriteBytes(dir + Sep() + DiskName(9), std::string("old file\xff"));

  auto port = Port(ke, 3);
  Run(nullptr, port.get());
  EXPECT_EQ(exitCode.load(), 0);

  EXPECT_EQ(sim->FileRequests("ke", 0), 0);
  EXPECT_EQ(sim->FileRequests("ke", 1), 0);
  EXPECT_EQ(sim->FileRequests("ke", 2), 1);
  EXPECT_EQ(sim->FileRequests("ke", 3), 1);
  EXPECT_EQ(sim->FileRequests("ke", 4), 1);
  EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(0)), std::string("short\x1a"));
  for (int n = 1; n <= 4; ++n)
    EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(n)), devsim::FileReply(cfg.files[n], '3')) << n;
  EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(9)), std::string("old file\xff"));
  EXPECT_FALSE(Exists(dir + Sep() + "Z12A4_2010-03-30.ej"));

  const std::string tag = "<" + ke.PortName() + "> ";
  const std::string t1 = "Rozmiar pliku " + dir + Sep() + DiskName(2) + " jest r\xF3\xBFny od " + DiskName(2) +
                         ". Plik dyskowy ulega skasowaniu.";
  auto log = CopyLog(cfg.serial);
  EXPECT_EQ(CountLines(log, tag + S1(dir)), 1);
  EXPECT_EQ(CountLines(log, tag + "Skasowano b\xB3\xEA" "dny plik: " + DiskName(3)), 1);
  EXPECT_EQ(CountLines(log, tag + "Skasowano b\xB3\xEA" "dny plik: Z12A4_2010-03-30.ej"), 1);
  EXPECT_EQ(CountLines(log, tag + t1), 1);
  EXPECT_EQ(CountLines(log, tag + kS3), 0);
  EXPECT_EQ(ErrorLog(), (std::vector<std::string>{t1}));
}

TEST_F(JobTest, WithoutZ0000TheKeCountsAsEmpty) {
  devsim::KeConfig cfg = KeWithFiles(2);
  cfg.files.erase(cfg.files.begin());
  devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());
  auto port = Port(ke, 3);
  Run(nullptr, port.get());
  EXPECT_EQ(exitCode.load(), 0);
  const std::string tag = "<" + ke.PortName() + "> ";
  EXPECT_EQ(CopyLog(cfg.serial), (std::vector<std::string>{tag + kS3, tag + kE1}));
  EXPECT_EQ(sim->FileRequests("ke", 1), 0);
}

TEST_F(JobTest, EndMarkerFaultsAreRetriedThreeTimesAndNeverWritten) {
  devsim::KeConfig cfg = KeWithFiles(4);
  cfg.files[1].fault = devsim::FileFault::kNoEndByte;
  cfg.files[2].fault = devsim::FileFault::kEndInside;
  cfg.files[3].failFirst = 1;  // one damaged answer, then a good one
  devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());
  auto port = Port(ke, 3);
  Run(nullptr, port.get());
  EXPECT_EQ(exitCode.load(), 0);

  const std::string dir = KeDir(cfg.serial);
  EXPECT_EQ(sim->FileRequests("ke", 1), 3);
  EXPECT_EQ(sim->FileRequests("ke", 2), 3);
  EXPECT_FALSE(Exists(dir + Sep() + DiskName(1)));
  EXPECT_FALSE(Exists(dir + Sep() + DiskName(2)));
  // The budget was reset after file 2's last attempt: file 3 gets its retry.
  EXPECT_EQ(sim->FileRequests("ke", 3), 2);
  EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(3)), devsim::FileReply(cfg.files[3], '3'));
  EXPECT_EQ(ReadBytes(dir + Sep() + DiskName(4)), devsim::FileReply(cfg.files[4], '3'));

  const std::string t4 = " brakuje znacznika ko\xF1" "ca. Plik nie zapisa\xB3 si\xEA.";
  const std::string t2 = " napotkano znacznik ko\xF1" "ca w \x9Crodku pliku. B\xB3\xB9" "d odczytu. Plik nie zapisa\xB3 si\xEA.";
  const std::string tag = "<" + ke.PortName() + "> ";
  auto log = CopyLog(cfg.serial);
  EXPECT_EQ(CountLines(log, tag + "Plik: " + DiskName(1) + t4), 3);
  EXPECT_EQ(CountLines(log, tag + "Plik: " + DiskName(2) + t2), 3);
  EXPECT_EQ(CountLines(log, tag + "Plik: " + DiskName(3) + t4), 1);
  auto errors = ErrorLog();
  EXPECT_EQ(CountLines(errors, "Plik: " + dir + Sep() + DiskName(1) + t4), 3);
  EXPECT_EQ(CountLines(errors, "Plik: " + dir + Sep() + DiskName(2) + t2), 3);
  EXPECT_EQ(errors.size(), 7u);
}
