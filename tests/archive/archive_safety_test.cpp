// A KE that lies must not make the run write outside the archive or reuse a
// broken Directory line, and a failed write must leave no partial file.
#include <filesystem>

#include "jobfixture.h"

using namespace archtest;

namespace {

// Every path below dir, relative to it.
std::vector<std::string> Tree(const std::string &dir) {
  std::vector<std::string> out;
  for (const auto &entry : std::filesystem::recursive_directory_iterator(dir))
    out.push_back(std::filesystem::relative(entry.path(), dir).string());
  std::sort(out.begin(), out.end());
  return out;
}

} // namespace

TEST_F(JobTest, DirectoryLinesThatCannotBeUsedAreSkippedAndEndTheRunWith7) {
  devsim::KeConfig cfg = KeWithFiles(4);
  cfg.files[1].date = "../../x/aa";          // a disk name leaving the directory
  cfg.files[2].date = "2010-03-30 7x";       // a number field that is no number
  cfg.files[3].date = "2010-03-3\x01";       // a control byte in the name
  devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());
  auto port = Port(ke, 3);
  Run(nullptr, port.get());
  EXPECT_EQ(TestRun().exitCode.load(), ExitCode::kFilesNotArchived);  // the others are still fetched

  for (int n = 1; n <= 3; ++n)
    EXPECT_EQ(sim->FileRequests("ke", n), 0) << n;
  EXPECT_EQ(sim->FileRequests("ke", 4), 1);
  EXPECT_EQ(Tree(KeDir(cfg.serial)),
            (std::vector<std::string>{"SHA256SUMS", "Z0000_2010-03-30.ej", "Z0004_2010-03-30.ej", "log",
                                      "log/log_log.txt", "zarvik.json", "zarvik.lock"}));
  EXPECT_FALSE(Exists(root / "x"));
  const std::string tag = "<" + ke.PortName() + "> ";
  auto log = CopyLog(cfg.serial);
  EXPECT_EQ(CountLines(log, tag + "Pomini\xEAto plik o niedozwolonej nazwie: Z0001_../../x/aa.ej"), 1);
  EXPECT_EQ(CountContaining(log, tag + "Pomini\xEAto nieczytelny wiersz zestawu plik\xF3w:  Z0002 D 2010-03-30"), 1);
  EXPECT_EQ(CountLines(log, tag + "Pomini\xEAto plik o niedozwolonej nazwie: Z0003_2010-03-3[x01].ej"), 1);
  EXPECT_EQ(CountContaining(log, "Zapisano plik: "), 2);
}

TEST_F(JobTest, FailedWriteLeavesNothingAndTheTransferGoesOn) {
  devsim::KeConfig cfg = KeWithFiles(3);
  devsim::Line &ke = sim->AddKe("ke", "ttyUSB2", cfg);
  ASSERT_TRUE(sim->Start());
  // A folder occupies the name of file 2, so its write fails.
  const std::string dir = KeDir(cfg.serial);
  std::filesystem::create_directories(dir + Sep() + DiskName(2));
  auto port = Port(ke, 3);
  Run(nullptr, port.get());

  EXPECT_TRUE(std::filesystem::is_directory(File(cfg.serial, DiskName(2))));
  EXPECT_EQ(ReadBytes(File(cfg.serial, DiskName(3))), devsim::FileReply(cfg.files[3], '3'));
  const std::string failed = " nie uda\xB3o si\xEA zapisa\xE6. B\xB3\xB9" "d zapisu na dysku.";
  const std::string tag = "<" + ke.PortName() + "> ";
  auto log = CopyLog(cfg.serial);
  EXPECT_EQ(CountLines(log, tag + "Plik: " + DiskName(2) + failed), 1);
  EXPECT_EQ(CountLines(log, tag + "Zapisano plik: " + DiskName(2)), 0);
  EXPECT_EQ(CountLines(log, tag + "Zapisano plik: " + DiskName(3)), 1);
  // The error log says why: the temporary name is a directory.
  EXPECT_EQ(ErrorLog(), (std::vector<std::string>{"Plik: " + dir + Sep() + DiskName(2) + failed + ": Is a directory"}));
}
