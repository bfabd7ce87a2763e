// The invariants every fault run is held to, as gtest assertions.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "faults/rig.h"

namespace rig {

// A whole run ends within this time when its devices misbehave at most once
// per module: the main thread's 10 s waits, the longest device wait (a file
// request that gets no answer: a budget of 12,000 charged 3 units per empty
// poll of 20 + 3 ms, about 92 s) and the transfer of the files.
constexpr double kBoundSeconds = 130;

inline std::string Describe(const RunResult &run) {
  return "exit " + std::to_string(run.exitCode) + " after " + std::to_string(run.seconds) + " s\n" +
         run.output.substr(0, 4000);
}

// The faulty run: ended in bounded time, left a sound archive, and reported
// whatever it did not archive.
inline void ExpectFaultyRunSound(Rig &rig, const RunResult &run, double bound = kBoundSeconds) {
  EXPECT_FALSE(run.timedOut) << Describe(run);
  EXPECT_LT(run.seconds, bound) << Describe(run);
  EXPECT_GE(run.exitCode, 0) << Describe(run);
  EXPECT_EQ(CheckArchiveSound(rig), "");
  if (!CheckArchiveComplete(rig).empty()) {
    EXPECT_TRUE(run.exitCode != 0 || !rig.ErrorLog().empty())
        << "files are missing but neither the exit code nor the error log says so\n"
        << Describe(run);
  }
}

// The clean run after it completes the archive.
inline void ExpectCleanRunCompletes(Rig &rig, const RunOptions &options = {}) {
  std::string why;
  ASSERT_TRUE(rig.Restart(&why)) << why;
  RunResult clean = rig.Run(options);
  EXPECT_EQ(clean.exitCode, 0) << Describe(clean);
  EXPECT_EQ(CheckArchiveSound(rig), "");
  EXPECT_EQ(CheckArchiveComplete(rig), "") << Describe(clean);
}

inline bool Contains(const std::string &text, const std::string &part) {
  return text.find(part) != std::string::npos;
}

// A KE with files 1..count of size bytes each, after Z0000 (which every KE
// lists).
inline devsim::KeConfig Ke(const std::string &serial, int count, int size, bool tagged = true) {
  devsim::KeConfig cfg;
  cfg.serial = serial;
  cfg.version = tagged ? devsim::VersionKind::kTagged : devsim::VersionKind::kUntagged;
  cfg.files = {devsim::MakeFile(0, 300)};
  for (int n = 1; n <= count; ++n)
    cfg.files.push_back(devsim::MakeFile(n, size));
  return cfg;
}

inline std::string TestDir(const std::string &name) {
  const char *base = std::getenv("TMPDIR");
  return std::string(base && *base ? base : "/tmp") + "/zarvik-faults-" + name + "-" + std::to_string(::getpid());
}

} // namespace rig
