// The pieces of the archive run that need no device: the Directory, the
// checksum list, names, the printer window, the results, VERIFY, the status line.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include <nlohmann/json.hpp>

#include "app/modes.h"
#include "archive/archrun.h"
#include "archive/archthread.h"
#include "archive/checksums.h"
#include "archive/drwindow.h"
#include "archive/runcontext.h"
#include "archtest_util.h"
#include "platform/console.h"
#include "platform/cp1250.h"
#include "platform/files.h"
#ifdef ZARVIK_EXE
#include <windows.h>
#endif

using namespace archtest;

namespace {

std::vector<std::string> Split(const std::string &text) {
  ByteBuffer buffer;
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

TEST(DirectoryTrim, DropsHeaderAndMemoryFigures) {
  ArchiveJob job;
  JobRun run{job};
  std::string z0 = FileLine("Z0000", "2010-03-30", "1", "10");
  std::string z1 = FileLine("Z0001", "2010-03-30", "2", "20");
  run.directoryLines = {"DIRECTORY", "header Z0001 mention", z0, z1, "FLASH CAPACITY: 1 048 576", "FREE SPACE: 100",
                        "USABLE CAPACITY: lots"};
  TrimDirectory(run);
  EXPECT_EQ(run.directoryLines, (std::vector<std::string>{z0, z1}));
}

TEST(ReadEntry, ReadsWholeLinesAndRefusesBrokenOnes) {
  DirInterpreterClass reader;
  // Read whole but without OK: still a usable file line (the field values:
  // the Directory reader's own test).
  ASSERT_TRUE(ReadEntry(reader, FileLine("Z0013", "2010-04-01", "13", "77", "--")));
  EXPECT_EQ(reader.fileSize, 77);

  // Short, a non-number size, fields missing: all refused, and none leaves
  // the previous line's values looking valid.
  EXPECT_FALSE(ReadEntry(reader, " Z0014 D 2010-04-02  14  5 OK"));
  EXPECT_FALSE(ReadEntry(reader, FileLine("Z0015", "2010-04-02", "15", "5x")));
  std::string noSize = " Z0017 D 2010-04-02  17";
  noSize.resize(60, 'x');
  EXPECT_FALSE(ReadEntry(reader, noSize));
}

// The list grows by appends while every new name sorts after the highest
// one (an old CRLF line stays as it was), and is otherwise written whole,
// sorted, merged with what another writer added; a line is never changed.
TEST(ChecksumList, AppendsOnlyAfterTheHighestNameElseRewritesMerged) {
  TestDir dir;
  const std::string path = dir / "SHA256SUMS";
  plat::Sha256Digest a{}, b{};
  b[0] = 0xbb;
  const std::string la = std::string(64, '0') + "  ", lb = "bb" + std::string(62, '0') + "  ";
  WriteBytes(path, la + "Z0001.ej\r\n" + la + "Z0003.ej\r\n");
  ChecksumList list, other;
  ASSERT_TRUE(list.Load(dir.root));
  list.Add("Z0003.ej", b);  // has a line: kept
  EXPECT_FALSE(list.Changed());
  list.Add("Z0004.ej", a);
  ASSERT_TRUE(list.Save(dir.root));
  EXPECT_EQ(ReadBytes(path), la + "Z0001.ej\r\n" + la + "Z0003.ej\r\n" + la + "Z0004.ej\n");
  ASSERT_TRUE(other.Load(dir.root));
  other.Add("Z0006.ej", b);
  ASSERT_TRUE(other.Save(dir.root));
  // Below the highest name, alone or with one above it: whole.
  list.Add("Z0002.ej", b);
  list.Add("Z0005.ej", b);
  ASSERT_TRUE(list.Save(dir.root));
  const std::string whole =
      la + "Z0001.ej\n" + lb + "Z0002.ej\n" + la + "Z0003.ej\n" + la + "Z0004.ej\n" + lb + "Z0005.ej\n" + lb + "Z0006.ej\n";
  EXPECT_EQ(ReadBytes(path), whole);
  list.Add("Z0006.ej", a);  // another writer's line stays
  EXPECT_FALSE(list.Changed());
}

// What is no line of a bare archive file name is a bad line, and a list
// holding one takes no line; the first of two lines rules; a torn last line
// is no line. A list that cannot be read whole is never written.
TEST(ChecksumList, BadLinesRepeatsAndUnreadableLists) {
  TestDir dir;
  const std::string path = dir / "SHA256SUMS";
  const std::string ha = std::string(64, 'a'), hb = std::string(64, 'b');
  WriteBytes(path, ha + "  Z0001.ej\n" + ha + " *Z0002.ej\n" + hb + "  Z0001.ej\n" + ha + "  ../../etc/passwd\n" + ha +
                       "  /dev/zero\n" + ha + "  notes.txt\n" + "\\" + ha + "  Z0003.ej\n" + ha + "  Z0004.e");
  ChecksumList list;
  ASSERT_TRUE(list.Load(dir.root));
  EXPECT_EQ(list.badLines, (std::vector<int>{2, 4, 5, 6, 7}));
  EXPECT_EQ(list.foreignLines.size(), 3u);
  EXPECT_EQ(list.repeatLines, (std::vector<int>{3}));
  EXPECT_EQ(list.LineOf("Z0001.ej"), ha);
  EXPECT_FALSE(list.Has("Z0002.ej") || list.Has("Z0004.e") || list.Writable());
  list.RewriteWhole(true);
  ASSERT_TRUE(list.Save(dir.root));
  EXPECT_EQ(ReadBytes(path), ha + "  Z0001.ej\n");

  std::filesystem::remove(path);
  std::filesystem::create_directories(path);
  EXPECT_FALSE(list.Load(dir.root));
  EXPECT_FALSE(list.error.empty());
  list.Add("Z0001.ej", plat::Sha256Digest{});
  EXPECT_FALSE(list.Save(dir.root));
  EXPECT_TRUE(std::filesystem::is_directory(path));
  std::filesystem::remove(path);
  WriteBytes(path, ha + "  Z0001.ej\n");
  std::filesystem::resize_file(path, kMaxSumsBytes + 1);
  EXPECT_FALSE(list.Load(dir.root));
  EXPECT_EQ(std::filesystem::file_size(path), kMaxSumsBytes + 1);
}

// One rule of what an archive file is, for the disk check, VERIFY and the
// run record: a read-only file counts in zarvik_ke_archive_files; a link, a
// foreign name and a folder do not.
TEST(ArchiveFiles, AReadOnlyFileCountsInTheMetrics) {
  TestDir dir;
  WriteBytes(dir / "Z0001_2010-03-30.ej", "a\xff");
  WriteBytes(dir / "Z0002_2010-03-30.ej", "b\xff");
  WriteBytes(dir / "Zxyz.ej", "foreign\xff");
  std::filesystem::create_directories(dir / "Z0003_2010-03-30.ej");
  if (Sep() == "/")
    std::filesystem::create_symlink(dir / "Z0001_2010-03-30.ej", dir / "Z0004_2010-03-30.ej");
  const auto write = std::filesystem::perms::owner_write | std::filesystem::perms::group_write |
                     std::filesystem::perms::others_write;
  std::filesystem::permissions(dir / "Z0002_2010-03-30.ej", write, std::filesystem::perm_options::remove);
  RunContext context;
  context.MarkStarted();
  ArchiveJob *job = context.jobs.emplace_back(std::make_unique<ArchiveJob>()).get();
  job->record.kePort = "com5";
  job->record.serial = "X1";
  job->record.checksPassed = true;
  {
    JobRun run(*job);
    run.copyDir = dir.root;
    RecordEnd(run);
  }
  ReportRun(context, ExitCode::kDone, "", dir / "zarvik.prom");
  EXPECT_NE(ReadBytes(dir / "zarvik.prom").find("\nzarvik_ke_archive_files{port=\"com5\",ke_serial=\"X1\"} 2\n"),
            std::string::npos);
  std::filesystem::permissions(dir / "Z0002_2010-03-30.ej", write, std::filesystem::perm_options::add);
}

TEST(SafeNames, RefusesNamesThatEscapeOrMisbehave) {
  for (const char *good : {"AB12345678", "Z0001_2010-03-30.ej", "ke-01 x", "COM10", "CONSOLE", "a.b"})
    EXPECT_TRUE(IsSafeComponent(good)) << good;
  for (const char *bad : {"", ".", "..", "../x", "a/b", "a\\b", "c:x", "AB123.", "AB123 ", "CON", "con.txt",
                          "Nul", "COM1", "lpt9.ej", "a*b", "a?b", "a|b", "a<b", "a\"b", "ab\x01" "cd", "ab\x7f"})
    EXPECT_FALSE(IsSafeComponent(bad)) << bad;
}

// The printer window at its edges: its first minute is in, its last minute
// out, over midnight too; any other text is refused.
TEST(DrWindow, EdgesAndMidnightAndMalformedTexts) {
  DrWindow night, day;
  ASSERT_TRUE(ParseDrWindow("20:00-06:00", night));
  ASSERT_TRUE(ParseDrWindow("06:30-19:59", day));
  const auto at = [](int hour, int minute) { return hour * 60 + minute; };
  for (const auto &[minute, open] : std::vector<std::pair<int, bool>>{
           {at(19, 59), false}, {at(20, 0), true}, {at(23, 59), true}, {at(0, 0), true}, {at(5, 59), true},
           {at(6, 0), false}, {at(12, 0), false}})
    EXPECT_EQ(DrWindowOpen(night, minute), open) << MinuteText(minute);
  for (const auto &[minute, open] : std::vector<std::pair<int, bool>>{
           {at(6, 29), false}, {at(6, 30), true}, {at(19, 58), true}, {at(19, 59), false}, {at(0, 0), false}})
    EXPECT_EQ(DrWindowOpen(day, minute), open) << MinuteText(minute);
  for (const char *bad : {"", "20:00", "20:00-6:00", "24:00-06:00", "20:60-06:00", "20:00-06:00 ", "20.00-06.00",
                          "20:00-20:00", "2O:00-06:00", "20:00+06:00"})
    EXPECT_FALSE(ParseDrWindow(bad, day)) << bad;
}

TEST(ArchiveRoot, OneTrailingSeparatorGoes) {
  const std::string s = Sep();
  EXPECT_EQ(ArchiveRoot("arch" + s), "arch");
  EXPECT_EQ(ArchiveRoot("arch" + s + s), "arch" + s);
  EXPECT_EQ(ArchiveRoot("arch"), "arch");
  EXPECT_EQ(ArchiveRoot(""), plat::CurrentDirectory());
}

// The results of a run that ended before any job (exit code 8 after a failed
// discovery looks like this), and of a job whose texts need converting: the
// JSON is UTF-8, label values are escaped, both files are whole.
TEST(RunResults, WrittenForAnyEndWithTextsConverted) {
  TestDir dir;
  const std::string json = dir / "summary.json";
  const std::string prom = dir / "zarvik.prom";
  {
    RunContext run;
    run.archivePath = "archiwum\xB3";
    run.MarkStarted();
    ReportRun(run, ExitCode::kDiscoveryFailed, json, prom);
  }
  nlohmann::json summary = nlohmann::json::parse(ReadBytes(json));
  EXPECT_EQ(summary["exit_code"], 8);
  // A relative target is given from the current directory.
  EXPECT_EQ(summary["target"], AnyTextToUtf8(plat::CurrentDirectory()) + Sep() + "archiwum\u0142");
  const std::string metrics = ReadBytes(prom);
  EXPECT_NE(metrics.find("\nzarvik_run_exit_code 8\n"), std::string::npos) << metrics;
  EXPECT_EQ(metrics.find("zarvik_last_success_timestamp_seconds"), std::string::npos) << metrics;

  RunContext run;
  run.archivePath = "/srv/\xC5\x82";  // typed on a UTF-8 system: kept
  run.MarkStarted();
  ArchiveJob *job = run.jobs.emplace_back(std::make_unique<ArchiveJob>()).get();
  job->record.kind = "direct";
  job->record.kePort = "com5";
  job->record.serial = "AB\"1\\2";
  job->record.errors.push_back("<com5> Nie mo\xBFna");
  job->record.filesFailed.store(2);
  // A good run's time stays in the file through the failed runs after it.
  ReportRun(run, ExitCode::kDone, json, prom);
  const std::string good = ReadBytes(prom);
  const size_t at = good.find("\nzarvik_last_success_timestamp_seconds ");
  ASSERT_NE(at, std::string::npos) << good;
  const std::string successLine = good.substr(at, good.find('\n', at + 1) - at + 1);
  EXPECT_NE(good.find("\nzarvik_run_timestamp_seconds " + successLine.substr(39)), std::string::npos) << good;
  ArchiveJob *unread = run.jobs.emplace_back(std::make_unique<ArchiveJob>()).get();
  unread->record.kePort = "com6";
  unread->record.exitCode.store(ExitCode::kKeUnavailable);
  job->record.exitCode.store(ExitCode::kFilesNotArchived);
  EXPECT_EQ(RunExitCode(run), ExitCode::kFilesNotArchived);  // the first job in the summary's order
  ReportRun(run, ExitCode::kFilesNotArchived, json, prom);
  summary = nlohmann::json::parse(ReadBytes(json));
  EXPECT_TRUE(summary["target"].get<std::string>().find("srv" + Sep() + "\u0142") != std::string::npos);
  const std::string failed = ReadBytes(prom);
  EXPECT_NE(failed.find(successLine), std::string::npos) << failed;
  EXPECT_NE(failed.find("\nzarvik_ke_exit_code{port=\"com6\",ke_serial=\"unread\"} 3\n"), std::string::npos)
      << failed;
  EXPECT_EQ(summary["jobs"][0]["errors"], nlohmann::json::array({"<com5> Nie mo\u017Cna"}));
  EXPECT_NE(ReadBytes(prom).find("\nzarvik_ke_files_failed{port=\"com5\",ke_serial=\"AB\\\"1\\\\2\"} 2\n"),
            std::string::npos);
}

// The run's events as the system's event log would get them: type and ID by
// the exit code, the console summary as the text; the root that cannot be
// created once however many jobs fail on it (and, on Windows, in the
// system's log folder). A root users may write: the Wine archive test.
TEST(RunResults, EventsByExitCodeAndTheUncreatableRootOnce) {
  TestDir dir;
  struct Event {
    plat::EventType type;
    uint32_t id;
    std::string text;
  };
  std::vector<Event> events;
  RunContext run;
  run.archivePath = dir.root;
  run.reportEvent = [&](plat::EventType type, uint32_t id, const std::string &text) {
    events.push_back({type, id, text});
  };
  run.MarkStarted();
  const struct {
    ExitCode code;
    plat::EventType type;
  } ends[] = {{ExitCode::kDone, plat::EventType::kInformation},
              {ExitCode::kFilesNotArchived, plat::EventType::kWarning},
              {ExitCode::kArchiveUnusable, plat::EventType::kError}};
  for (const auto &end : ends) {
    events.clear();
    ReportRun(run, end.code, "", "");
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].type, end.type);
    EXPECT_EQ(events[0].id, 1000 + static_cast<uint32_t>(ExitNumber(end.code)));
    EXPECT_EQ(events[0].text.rfind("Razem: zada\xF1 0, pobrano plik\xF3w 0", 0), 0u) << events[0].text;
    EXPECT_NE(events[0].text.find(". Kod zako\xF1" "czenia " + std::to_string(ExitNumber(end.code)) + ": "),
              std::string::npos);
    EXPECT_NE(events[0].text.back(), '\n');
  }

  events.clear();
  TestDir programData;
  ScopedEnv data("ProgramData", programData.root);
  const std::string notCreated = "Nie mo\xBFna utworzy\xE6 katalogu: q:\\archiwum: brak dysku";
  ReportRootNotCreated(run, notCreated);
  ReportRootNotCreated(run, notCreated);
  ASSERT_EQ(events.size(), 1u);
  EXPECT_EQ(events[0].type, plat::EventType::kError);
  EXPECT_EQ(events[0].id, 1100u);
  EXPECT_EQ(events[0].text, notCreated);
  if (!plat::SystemLogDirectory().empty()) {
    EXPECT_EQ(CountLines(LogLines(programData / "Zarvik" + Sep() + "ERROR_log.txt"), notCreated), 1);
  }
}

#ifdef ZARVIK_EXE
// Every event the program can report has its message in the exe's message
// table, the event's text alone, as the event viewer shows it.
TEST(RunResults, EveryEventIdHasItsMessageInTheExe) {
  HMODULE exe = LoadLibraryExA(ZARVIK_EXE, nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(exe, nullptr) << ZARVIK_EXE;
  std::vector<uint32_t> ids = {kEventRootNotCreated};
  for (int32_t code = 0; code <= ExitNumber(ExitCode::kStopped); ++code)
    ids.push_back(kEventRunEnded + static_cast<uint32_t>(code));
  const char *text = "Razem: zada\xF1 0";
  DWORD_PTR arguments[] = {reinterpret_cast<DWORD_PTR>(text)};
  for (uint32_t id : ids) {
    char shown[256] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_HMODULE | FORMAT_MESSAGE_ARGUMENT_ARRAY, exe, id, 0, shown,
                                        sizeof shown, reinterpret_cast<va_list *>(arguments));
    EXPECT_EQ(std::string(shown, length).substr(0, std::string(shown, length).find_last_not_of("\r\n") + 1), text)
        << id;
  }
  FreeLibrary(exe);
}
#endif

// A run's start rewrites the metrics with its in-progress mark, the earlier
// run's gauges kept; every KE the PC has shown stays, its time last seen
// carried and the runs that missed it counted.
TEST(RunResults, RunInProgressAndKesSeenEarlierStayInTheMetrics) {
  TestDir dir;
  const std::string prom = dir / "zarvik.prom";
  auto runWith = [](RunContext &run, std::vector<std::string> serials) {
    run.MarkStarted();
    for (const std::string &serial : serials)
      run.jobs.emplace_back(std::make_unique<ArchiveJob>())->record.serial = serial;
  };
  auto line = [](const std::string &text, const std::string &head) {
    const size_t at = text.find("\n" + head);
    return at == std::string::npos ? std::string() : text.substr(at + 1, text.find('\n', at + 1) - at - 1);
  };
  RunContext first;
  runWith(first, {"A\"1", "B", ""});
  ReportRun(first, ExitCode::kDone, "", prom);
  const std::string seenA = line(ReadBytes(prom), "zarvik_ke_last_seen_timestamp_seconds{ke_serial=\"A\\\"1\"} ");
  ASSERT_NE(seenA, "");
  RunContext second;
  runWith(second, {"B"});
  ReportRunStart(second, prom);
  std::string text = ReadBytes(prom);
  EXPECT_EQ(line(text, "zarvik_run_in_progress"), "zarvik_run_in_progress 1");
  EXPECT_EQ(text.find("zarvik_run_in_progress 0"), std::string::npos) << text;
  EXPECT_NE(line(text, "zarvik_last_success_timestamp_seconds "), "");
  EXPECT_EQ(line(text, "zarvik_ke_last_seen_timestamp_seconds{ke_serial=\"A"), seenA);
  for (int missed = 1; missed <= 2; ++missed) {
    ReportRun(second, ExitCode::kFilesNotArchived, "", prom);
    text = ReadBytes(prom);
    EXPECT_EQ(line(text, "zarvik_run_in_progress"), "zarvik_run_in_progress 0");
    EXPECT_EQ(line(text, "zarvik_ke_last_seen_timestamp_seconds{ke_serial=\"A"), seenA);
    EXPECT_EQ(line(text, "zarvik_ke_missed_runs{ke_serial=\"A"),
              "zarvik_ke_missed_runs{ke_serial=\"A\\\"1\"} " + std::to_string(missed));
    EXPECT_EQ(line(text, "zarvik_ke_missed_runs{ke_serial=\"B"), "zarvik_ke_missed_runs{ke_serial=\"B\"} 0");
    EXPECT_EQ(text.find("ke_serial=\"\"}"), std::string::npos) << text;
  }
}

// VERIFY of one KE directory (files Z0000 to Z0006, each with its line) with
// each fault alone: the exit code, the problem count and the one line that
// names the fault.
TEST(Verify, EachFaultAloneIsFoundAndNamed) {
  const auto name = [](int n) { return "Z000" + std::to_string(n) + "_2010-03-30.ej"; };
  const struct {
    const char *fault;
    std::vector<int> removed;  // files gone from the disk
    bool linesToo;             // and from SHA256SUMS
    int changed;               // the file with one byte changed, or -1
    std::string said;
  } cases[] = {
      {"none", {}, false, -1, ""},
      {"one changed byte", {}, false, 3, "Niezgodna suma kontrolna: @" + name(3)},
      {"one missing file", {6}, false, -1, "Brak pliku: @" + name(6)},
      // ending right below the highest number
      {"a gap of three", {3, 4, 5}, true, -1, "Brak plik\xF3w w numeracji: Z0003\x96Z0005 (#)"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.fault);
    TestDir root;
    const std::string dir = root / "KE1";
    std::filesystem::create_directories(dir);
    ChecksumList sums;
    for (int n = 0; n <= 6; ++n) {
      WriteBytes(dir + Sep() + name(n), "file " + std::to_string(n) + "\x1a");
      plat::FileDigest digest;
      ASSERT_TRUE(plat::Sha256File(dir + Sep() + name(n), digest));
      if (!c.linesToo || std::count(c.removed.begin(), c.removed.end(), n) == 0)
        sums.Add(name(n), digest.digest);
    }
    ASSERT_TRUE(sums.Save(dir));
    for (int n : c.removed)
      std::filesystem::remove(dir + Sep() + name(n));
    if (c.changed >= 0)
      WriteBytes(dir + Sep() + name(c.changed), "file X\x1a");
    VerifyOptions options;
    options.targetPath = dir;
    testing::internal::CaptureStdout();
    const ExitCode code = RunVerifyMode(options);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(code, c.said.empty() ? ExitCode::kDone : ExitCode::kArchiveProblem) << said;
    const std::string problems = OnConsole(std::string("problem\xF3w: ") + (c.said.empty() ? "0" : "1") + "\r\n");
    EXPECT_NE(said.find(problems), std::string::npos) << said;
    std::string line = c.said;
    if (line.find('@') != std::string::npos)
      line.replace(line.find('@'), 1, dir + Sep());
    if (line.find('#') != std::string::npos)
      line.replace(line.find('#'), 1, dir);
    EXPECT_NE(said.find(OnConsole(line + "\r\n")), std::string::npos) << said;
  }
}

// The status line partway through a transfer: the current file's share of
// its own bytes (30 %, while one of four files is done), the rate since the
// transfer began, and the time left from the bytes still to come, in hours
// past the first; a job still checking, and none for a job that ended.
TEST(StatusLine, PartwayThroughATransfer) {
  RunContext run;
  for (int i = 0; i < 3; ++i)
    run.jobs.push_back(std::make_unique<ArchiveJob>());
  run.jobs[0]->running.store(true);
  JobRecord &fetching = run.jobs[0]->record;
  fetching.kePort = "com5";
  fetching.transferring.store(true);
  fetching.SetCurrentFile("Z0002_2010-03-30.ej");
  fetching.transferStartMs.store(1000);
  fetching.bytesReceived.store(10240);  // 1024 bytes a second over 10 s
  fetching.fileStartReceived.store(9940);
  fetching.fileSize.store(1000);
  fetching.filesToFetch.store(4);
  fetching.filesFetched.store(1);
  fetching.bytesSettled.store(9000);
  fetching.bytesToFetch.store(9000 + 300 + 3725 * 1024);  // 3725 s at that rate
  run.jobs[1]->running.store(true);
  run.jobs[1]->record.kePort = "com6";
  run.jobs[2]->record.kePort = "com7";
  EXPECT_EQ(StatusLine(run, 11000),
            "com5: Z0002_2010-03-30.ej 30% 1.0 KB/s 1/4 plik\xF3w, zosta\xB3o 1:02:05 | com6: sprawdzanie");
  fetching.bytesToFetch.store(9000 + 300 + 125 * 1024);
  EXPECT_EQ(StatusLine(run, 11000),
            "com5: Z0002_2010-03-30.ej 30% 1.0 KB/s 1/4 plik\xF3w, zosta\xB3o 2:05 | com6: sprawdzanie");
}
