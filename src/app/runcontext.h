// The state of one archive-mode run, in one place and handed to its jobs:
// the archive root, the exit code, the job list (each job carries its
// record), and when the run began.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "app/archthread.h"

struct RunContext {
  RunContext() = default;
  RunContext(const RunContext &) = delete;
  RunContext &operator=(const RunContext &) = delete;

  // The archive root, without a trailing separator; read-only once the jobs
  // exist.
  std::string archivePath;
  // The run's result code: 0 at start, every writer stores, the last store
  // wins, nothing resets it.
  std::atomic<int32_t> exitCode{0};
  // The jobs; the run owns them. Jobs are only appended while the archive
  // mode builds them, before the progress line starts.
  std::vector<std::unique_ptr<archType>> jobs;
  // When the run began: local time as ISO 8601 with its offset, the system
  // clock in seconds, and the steady clock.
  std::string startedText;
  double startedEpoch = 0;
  int64_t startedMs = 0;

  // Notes the start of the run (the times above).
  void MarkStarted();
};

// The local time now as ISO 8601 with the offset from UTC, and the system
// clock in seconds since 1970.
std::string LocalTimeIso8601();
double EpochSeconds();

// The status line on an interactive console while the jobs run: started with
// the job list complete, ended (and the line removed) before the summary.
void StartProgress(RunContext &run);
void StopProgress();

// The end of an archive-mode run, whatever its exit code: the summary on the
// console and the files named by ZARVIK_SUMMARY and ZARVIK_METRICS.
void ReportRun(RunContext &run, int32_t exitCode);
// The same with the two files' paths given (empty: not written).
void ReportRun(RunContext &run, int32_t exitCode, const std::string &summaryPath, const std::string &metricsPath);
