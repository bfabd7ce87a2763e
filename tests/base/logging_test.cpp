#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "base/filelog.h"
#include "base/logging.h"
#include "platform/console.h"
#include "platform/files.h"
#include "testdir.h"

namespace {

namespace fs = std::filesystem;

const char *const kStamp = R"(\d{4}\.\d\d\.\d\d \d\d:\d\d:\d\d\.\d{3})";

std::vector<std::string> Lines(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  EXPECT_EQ(start, text.size()) << "text does not end in CR LF";
  return lines;
}

TEST(FileLog, WritesOneStampedCrLfLinePerCallCreatingOneMissingLevel) {
  TestDir dir;
  std::string sub = dir.Path("logs");
  FileLog("first line", "ERROR", sub.c_str());
  FileLog("", "ERROR", sub.c_str());
  FileLog("third", nullptr, sub.c_str());
  auto lines = Lines(ReadAll(sub + plat::PathSeparator() + "ERROR_log.txt"));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_TRUE(std::regex_match(lines[0], std::regex(std::string(kStamp) + "> first line"))) << lines[0];
  EXPECT_TRUE(std::regex_match(lines[1], std::regex(std::string(kStamp) + "> "))) << lines[1];
  EXPECT_EQ(Lines(ReadAll(sub + plat::PathSeparator() + "NN_log.txt")).size(), 1u);
}

// Eight threads at once: every line written whole, none lost or doubled.
TEST(FileLog, ConcurrentWritersNeverTearLines) {
  TestDir dir;
  const auto message = [](int t, int i) {
    return "thread " + std::to_string(t) + " line " + std::to_string(i) + " " +
           std::string(40 + t * 7, static_cast<char>('a' + t));
  };
  std::vector<std::thread> threads;
  std::multiset<std::string> sent, written;
  for (int t = 0; t < 8; ++t) {
    for (int i = 0; i < 500; ++i)
      sent.insert("> " + message(t, i));
    threads.emplace_back([t, &dir, &message] {
      for (int i = 0; i < 500; ++i)
        FileLog(message(t, i).c_str(), "mt", dir.root.c_str());
    });
  }
  for (auto &thread : threads)
    thread.join();
  for (const std::string &line : Lines(ReadAll(dir.Path("mt_log.txt"))))
    written.insert(line.substr(23));
  EXPECT_TRUE(written == sent) << written.size() << " lines written, torn, lost or doubled among them";
}

TEST(FileLog, UnopenableDirectoryFallsBackToThePlatformDirectory) {
  TestDir dir;
  if (plat::PathSeparator() == '/') {
    // Linux: $HOME/vemora_log cannot be made (parent missing), so the line
    // goes to the user's own folder in the temporary directory, made on demand.
    ScopedEnv home("HOME", dir.Path("no") + "/home");
    ScopedEnv tmp("TMPDIR", dir.root);
    const std::string own = plat::FallbackLogDirectory({});
    ASSERT_EQ(own.rfind(dir.Path("vemora_log-"), 0), 0u) << own;
    LoggingClass log;
    log.Log("to the fallback");
    EXPECT_NE(ReadAll(own + "/error_log.txt").find("> to the fallback\r\n"), std::string::npos);
    FileLog("named", "run", dir.Path("missing/deeper").c_str());
    EXPECT_NE(ReadAll(own + "/run_log.txt").find("> named\r\n"), std::string::npos);
    EXPECT_EQ(fs::status(own).permissions() & fs::perms::all, fs::perms::owner_all);

    // A log file that is a link (one planted in the archive) is not written
    // through: the lines go to the fallback folder (the console's one line
    // and the run's exit code: the guard test).
    WriteAll(dir.Path("victim"), "");
    fs::create_directory(dir.Path("arch"));
    fs::create_symlink(dir.Path("victim"), dir.Path("arch/ERROR_log.txt"));
    testing::internal::CaptureStdout();
    FileLog("one", "ERROR", dir.Path("arch").c_str());
    FileLog("two", "ERROR", dir.Path("arch").c_str());
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(Lines(ReadAll(own + "/ERROR_log.txt")).size(), 2u);

    // Another local user planted a link in place of a log file, or in place
    // of the folder, or made the folder first: nothing is written through it.
    fs::create_symlink(dir.Path("victim"), own + "/planted_log.txt");
    FileLog("attack", "planted", dir.Path("missing/deeper").c_str());
    fs::remove_all(own);
    fs::create_directory(dir.Path("elsewhere"));
    fs::create_directory_symlink(dir.Path("elsewhere"), own);
    FileLog("attack", "linked", dir.Path("missing/deeper").c_str());
    EXPECT_EQ(ReadAll(dir.Path("victim")), "");
    EXPECT_FALSE(fs::exists(dir.Path("elsewhere/linked_log.txt")));
    fs::remove(own);
    fs::create_directory(own);
    if (std::system(("chown 65534 '" + own + "' 2>/dev/null").c_str()) == 0) {
      FileLog("attack", "foreign", dir.Path("missing/deeper").c_str());
      EXPECT_FALSE(fs::exists(own + "/foreign_log.txt"));
    }
  } else {
    // Windows: without a drive d: the default directory d:\vemora_log falls
    // back to c:\vemora_log.
    if (plat::DirectoryExists("d:\\"))
      GTEST_SKIP() << "drive d: exists here";
    std::string marker = "fallback marker " + dir.root;
    LoggingClass log("x", "y"); // one-character texts count as absent
    log.Log(marker);
    EXPECT_NE(ReadAll("c:\\vemora_log\\error_log.txt").find("> " + marker + "\r\n"), std::string::npos);
  }
}

TEST(LoggingClass, ConsoleAndFileFormsFollowTagAndName) {
  TestDir dir;
  // A one-character tag shows on the console but stays off the file line. A
  // name of fewer than two characters is none (its lines go to the default
  // error log, as the printer's do in the printer tests): console forms only.
  const struct {
    const char *name, *tag, *message;
    bool toConsole;
    const char *shown, *fileLine;
  } cases[] = {
      {"log", "com3", "msg 100%s", true, "<com3,log> msg 100%s\r\n", "> <com3> msg 100%s"},
      {"ERROR", "", "bad", true, "<ERROR> bad\r\n", "> bad"},
      {"st", "x", "m", true, "<x,st> m\r\n", "> m"},
      {"quiet", "com9", "silent", false, "", "> <com9> silent"},
      {"n", "com1", "hello", true, "<com1> hello\r\n", nullptr},
      {"", "", "plain", true, "plain\r\n", nullptr},
  };
  for (const auto &c : cases) {
    LoggingClass log(dir.root.c_str(), c.name);
    log.tag = c.tag;
    log.toConsole = c.toConsole;
    log.toFile = c.fileLine != nullptr;
    testing::internal::CaptureStdout();
    log.Log(c.message);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), c.shown);
    if (!log.toFile)
      continue;
    log.toFile = false;
    log.Log("nowhere");
    auto lines = Lines(ReadAll(dir.Path(std::string(c.name) + "_log.txt")));
    ASSERT_EQ(lines.size(), 1u) << c.name;
    EXPECT_EQ(lines[0].substr(23), c.fileLine) << c.name;
  }
}

} // namespace
