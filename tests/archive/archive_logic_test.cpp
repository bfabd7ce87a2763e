// The pieces of the disk synchronisation that need no device: the Directory
// splitting and trimming, the reading of file lines, the safe writing of a fetched file, and the names the archive accepts.
#include <gtest/gtest.h>

#include <filesystem>

#include <nlohmann/json.hpp>

#include "app/archrun.h"
#include "app/archthread.h"
#include "app/runcontext.h"
#include "archtest_util.h"

using archtest::CountLines;
using archtest::Exists;
using archtest::LogLines;
using archtest::ReadBytes;
using archtest::ScratchDir;
using archtest::WriteBytes;

namespace {

std::vector<std::string> Split(const std::string &text) {
  iBuffer buffer;
  buffer.AppendBytes(text.data(), static_cast<int>(text.size()));
  std::vector<std::string> lines;
  SplitDirectory(buffer, lines);
  return lines;
}

// A file line as the KE writes it: fields at fixed columns, 50+ characters.
std::string FileLine(const std::string &name, const std::string &date, const std::string &value,
                     const std::string &size, const std::string &mark = "OK") {
  std::string line = " " + name + " D " + date + "  " + value + "  " + size + " " + mark;
  line.resize(60, ' ');
  return line;
}

} // namespace

TEST(DirectorySplit, CutsAtLineFeedsAndDropsTheByteBefore) {
  EXPECT_EQ(Split("ab\r\ncd\r\n"), (std::vector<std::string>{"ab", "cd"}));
  // The last line without LF loses its last byte too (normally the SUB).
  EXPECT_EQ(Split("ab\r\nxy\x1a"), (std::vector<std::string>{"ab", "xy"}));
  // A one-byte line keeps it; the scan for LF starts at a line's second byte.
  EXPECT_EQ(Split("\n\nq"), (std::vector<std::string>{"\n", "q"}));
  EXPECT_EQ(Split("a\nb"), (std::vector<std::string>{"a", "b"}));
  EXPECT_TRUE(Split("").empty());
}

class TrimTest : public ::testing::Test {
protected:
  ScratchDir dir{"trim"};
  archType job;
  JobRun run{job};
};

TEST_F(TrimTest, DropsHeaderAndMemoryFigures) {
  std::string z0 = FileLine("Z0000", "2010-03-30", "1", "10");
  std::string z1 = FileLine("Z0001", "2010-03-30", "2", "20");
  run.directoryLines = {"DIRECTORY", "header Z0001 mention", z0, z1, "FLASH CAPACITY: 1 048 576", "FREE SPACE: 100",
                        "USABLE CAPACITY: lots"};
  TrimDirectory(run);
  EXPECT_EQ(run.directoryLines, (std::vector<std::string>{z0, z1}));
}

TEST(ReadEntry, ReadsWholeLinesAndRefusesBrokenOnes) {
  DirInterpreterClass reader;
  ASSERT_TRUE(ReadEntry(reader, FileLine("Z0012", "2010-03-30", "12", "3 456")));
  EXPECT_EQ(reader.entryName, "Z0012");
  EXPECT_EQ(reader.entryDate, "2010-03-30");
  EXPECT_EQ(reader.fileNumber, 12);
  EXPECT_EQ(reader.fileSize, 3456);

  // Read whole but without OK: still a usable file line.
  ASSERT_TRUE(ReadEntry(reader, FileLine("Z0013", "2010-04-01", "13", "77", "--")));
  EXPECT_EQ(reader.entryName, "Z0013");
  EXPECT_EQ(reader.fileSize, 77);

  // Short, a non-number size, a non-number in the name, fields missing: all
  // refused, and none leaves the previous line's values looking valid.
  EXPECT_FALSE(ReadEntry(reader, " Z0014 D 2010-04-02  14  5 OK"));
  EXPECT_FALSE(ReadEntry(reader, FileLine("Z0015", "2010-04-02", "15", "5x")));
  EXPECT_FALSE(ReadEntry(reader, FileLine("Z00A6", "2010-04-02", "16", "5")));
  std::string noSize = " Z0017 D 2010-04-02  17";
  noSize.resize(60, 'x');
  EXPECT_FALSE(ReadEntry(reader, noSize));
}

TEST(SaveFetchedFile, ReplacesWholeOrLeavesEverythingAsItWas) {
  ScratchDir dir{"save"};
  iBuffer data;
  data.AppendBytes("new\xff", 4);
  const std::string target = dir / "Z0001_2010-03-30.ej";
  WriteBytes(target, std::string("old\xff", 4));
  ASSERT_TRUE(SaveFetchedFile(dir.path, "Z0001_2010-03-30.ej", data));
  EXPECT_EQ(ReadBytes(target), std::string("new\xff", 4));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path), std::filesystem::directory_iterator()), 1);

  // The temporary name is taken (here by a directory): the write fails, the
  // old archive file stays as it was and nothing else is left behind.
  std::filesystem::create_directories(dir / "~Z0002_2010-03-30.ej.tmp");
  WriteBytes(dir / "Z0002_2010-03-30.ej", std::string("old\xff", 4));
  EXPECT_FALSE(SaveFetchedFile(dir.path, "Z0002_2010-03-30.ej", data));
  EXPECT_EQ(ReadBytes(dir / "Z0002_2010-03-30.ej"), std::string("old\xff", 4));
  EXPECT_FALSE(SaveFetchedFile(dir.path + archtest::Sep() + "missing", "Z0003_2010-03-30.ej", data));
  EXPECT_FALSE(Exists(dir / "missing"));
}

TEST(SafeNames, RefusesNamesThatEscapeOrMisbehave) {
  for (const char *good : {"AB12345678", "Z0001_2010-03-30.ej", "ke-01 x", "COM10", "CONSOLE", "a.b"})
    EXPECT_TRUE(IsSafeComponent(good)) << good;
  for (const char *bad : {"", ".", "..", "../x", "a/b", "a\\b", "c:x", "AB123.", "AB123 ", "CON", "con.txt",
                          "Nul", "COM1", "lpt9.ej", "a*b", "a?b", "a|b", "a<b", "a\"b", "ab\x01" "cd", "ab\x7f"})
    EXPECT_FALSE(IsSafeComponent(bad)) << bad;
  // Such a name is shown in the log with its control bytes spelled out.
  EXPECT_EQ(Printable("AB\x01\x7f" "C"), "AB[x01][x7F]C");
}

TEST(ArchiveRoot, OneTrailingSeparatorGoes) {
  const std::string s = archtest::Sep();
  EXPECT_EQ(ArchiveRoot("arch" + s), "arch");
  EXPECT_EQ(ArchiveRoot("arch" + s + s), "arch" + s);
  EXPECT_EQ(ArchiveRoot("arch"), "arch");
  EXPECT_EQ(ArchiveRoot(""), plat::CurrentDirectory());
}

// The results of a run that ended before any job (exit code 8 after a failed
// discovery looks like this), and of a job whose texts need converting: the
// JSON is UTF-8, label values are escaped, both files are whole.
TEST(RunResults, WrittenForAnyEndWithTextsConverted) {
  ScratchDir dir{"results"};
  const std::string json = dir / "summary.json";
  const std::string prom = dir / "zarvik.prom";
  {
    RunContext run;
    run.archivePath = "archiwum\xB3";
    run.MarkStarted();
    ReportRun(run, 8, json, prom);
  }
  nlohmann::json summary = nlohmann::json::parse(ReadBytes(json));
  EXPECT_EQ(summary["exit_code"], 8);
  EXPECT_EQ(summary["target"], "archiwum\u0142");
  EXPECT_EQ(summary["jobs"], nlohmann::json::array());
  const std::string metrics = ReadBytes(prom);
  EXPECT_NE(metrics.find("\nzarvik_run_exit_code 8\n"), std::string::npos) << metrics;
  EXPECT_NE(metrics.find("\nzarvik_jobs 0\n"), std::string::npos) << metrics;

  RunContext run;
  run.archivePath = "/srv/\xC5\x82";  // typed on a UTF-8 system: kept
  run.MarkStarted();
  archType *job = run.jobs.emplace_back(std::make_unique<archType>()).get();
  job->record.kind = "direct";
  job->record.kePort = "com5";
  job->record.serial = "AB\"1\\2";
  job->record.errors.push_back("<com5> Nie mo\xBFna");
  job->record.filesFailed.store(2);
  ReportRun(run, 7, json, prom);
  summary = nlohmann::json::parse(ReadBytes(json));
  EXPECT_EQ(summary["target"], "/srv/\u0142");
  EXPECT_EQ(summary["jobs"][0]["errors"], nlohmann::json::array({"<com5> Nie mo\u017Cna"}));
  EXPECT_EQ(summary["jobs"][0]["ke_serial"], "AB\"1\\2");
  EXPECT_EQ(summary["jobs"][0]["printer_port"], nullptr);
  EXPECT_NE(ReadBytes(prom).find("\nzarvik_ke_files_failed{port=\"com5\",ke_serial=\"AB\\\"1\\\\2\"} 2\n"),
            std::string::npos);
  EXPECT_FALSE(Exists(json + ".tmp"));
}
