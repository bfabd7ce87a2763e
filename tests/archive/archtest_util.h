// Small helpers shared by the archive tests: files as bytes, and log files
// read back without their time stamps (scratch directories: TestDir).
#pragma once

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "archive/archrun.h"
#include "archive/archthread.h"
#include "archive/runcontext.h"
#include "base/testdir.h"
#include "platform/cp1250.h"
#include "platform/files.h"

// Exit codes in failure messages as their numbers.
inline void PrintTo(ExitCode code, std::ostream *out) { *out << ExitNumber(code); }

namespace archtest {

inline std::string Sep() { return std::string(1, plat::PathSeparator()); }

// A Windows-1250 text as the console gets it: as it stands on Windows, in
// UTF-8 on Linux.
inline std::string OnConsole(const std::string &text) {
#ifdef _WIN32
  return text;
#else
  return Cp1250ToUtf8(text);
#endif
}

// The run the tests' jobs belong to; each test sets its archive root and
// clears its exit code.
inline RunContext &TestRun() {
  static RunContext run;
  return run;
}
inline RunContext &FreshRun(const std::string &archive) {
  TestRun().archivePath = archive;
  TestRun().exitCode.store(ExitCode::kDone);
  return TestRun();
}

// How often part occurs in text.
inline int Count(const std::string &text, const std::string &part) {
  int n = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++n;
  return n;
}

inline void WriteBytes(const std::string &path, const std::string &bytes) { WriteAll(path, bytes); }
inline std::string ReadBytes(const std::string &path) { return ReadAll(path); }

// The archive file name of KE file number listed with date.
inline std::string DiskName(int number, const std::string &date = "2010-03-30") {
  char name[16];
  std::snprintf(name, sizeof name, "Z%04d_", number % 10000);
  return name + date + ".ej";
}

inline bool Exists(const std::string &path) {
  std::error_code ignored;
  return std::filesystem::exists(path, ignored);
}

// The lines of a log file with the time stamp and "> " cut off; every line
// must end in CR LF and carry a well-formed stamp, or the line reads "BAD:".
inline std::vector<std::string> LogLines(const std::string &path) {
  std::string text = ReadBytes(path);
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      lines.push_back("BAD:" + text.substr(start));
      break;
    }
    std::string line = text.substr(start, end - start);
    start = end + 2;
    // 2010.03.30 12:04:19.057> message
    bool stamped = line.size() >= 25 && line[4] == '.' && line[7] == '.' && line[10] == ' ' &&
                   line[13] == ':' && line[16] == ':' && line[19] == '.' && line[23] == '>' && line[24] == ' ';
    lines.push_back(stamped ? line.substr(25) : "BAD:" + line);
  }
  return lines;
}

inline int CountLines(const std::vector<std::string> &lines, const std::string &line) {
  return static_cast<int>(std::count(lines.begin(), lines.end(), line));
}

inline int CountContaining(const std::vector<std::string> &lines, const std::string &part) {
  return static_cast<int>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string &l) { return l.find(part) != std::string::npos; }));
}

// The archive root a test's jobs write to, what lands there, and the run of
// one job into it (to its end on this thread, its flags checked).
struct JobArchive {
  std::string archive;

  void Run(VemoraPortsType *printerPort, VemoraPortsType *copyPort, bool viaPrinter = false) {
    ArchiveJob job;
    TestRun().archivePath = archive;
    job.context = &TestRun();
    job.printerPort = printerPort;
    job.copyPort = copyPort;
    job.viaPrinter = viaPrinter;
    RunJob(job);
    EXPECT_FALSE(job.running.load());
    EXPECT_TRUE(job.finished.load());
  }
  std::string KeDir(const std::string &serial) const { return archive + Sep() + serial; }
  std::string File(const std::string &serial, const std::string &name) const { return KeDir(serial) + Sep() + name; }
  std::vector<std::string> CopyLog(const std::string &serial) const {
    return LogLines(File(serial, "log") + Sep() + "log_log.txt");
  }
  std::vector<std::string> ErrorLog() const { return LogLines(archive + Sep() + "ERROR_log.txt"); }
};

} // namespace archtest
