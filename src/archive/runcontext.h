// The state of one archive-mode run, in one place and handed to its jobs:
// the archive root, the exit code, the job list (each job carries its
// record), and when the run began.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "archive/archthread.h"
#include "archive/exitcode.h"
#include "platform/eventlog.h"

// The run's events in the system's event log. One when it ends, whatever its
// exit code: ID kEventRunEnded plus the code, information for 0, a warning
// for 7, an error for every other code, the console summary as its text. And
// before it, once in a run, one when the archive root cannot be created: an
// error with the console line (the root and the system's reason) as its text.
constexpr uint32_t kEventRunEnded = 1000;
constexpr uint32_t kEventRootNotCreated = 1100;

struct RunContext {
  RunContext() = default;
  // The jobs go first: each joins its worker (ArchiveJob's destructor) while
  // the rest of the run, which the workers use, is still there.
  ~RunContext() { jobs.clear(); }
  RunContext(const RunContext &) = delete;
  RunContext &operator=(const RunContext &) = delete;

  // The archive root, without a trailing separator; read-only once the jobs
  // exist.
  std::string archivePath;
  // The last code stored: by the run itself (discovery, no job, a port pair
  // without its KE) or by a job, which also keeps its own (RunExitCode).
  std::atomic<ExitCode> exitCode{ExitCode::kDone};
  // The jobs; the run owns them. Jobs are only appended while the archive
  // mode builds them, before the progress line starts.
  std::vector<std::unique_ptr<ArchiveJob>> jobs;
  // Whether ordinary users may write the root the run found (CheckArchiveRoot).
  bool rootWritableByUsers = false;
  // Set by the first job that could not create the root, which reports it.
  std::atomic<bool> rootFailureReported{false};
  // Where the run's events go: the system's event log; tests read them here.
  std::function<void(plat::EventType, uint32_t, const std::string &)> reportEvent = plat::WriteSystemEvent;
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

// Looks once, before the jobs, whether ordinary users may write an archive
// root that exists already (plat::WritableByUsers) and says so on the console
// and in the error log; the JSON summary and the metrics carry it too. The
// exit code stays what the run makes it. A root the run creates itself is
// made protected.
void CheckArchiveRoot(RunContext &run);
// The first job that cannot create the root says so in the event log and in
// the system's log folder (plat::SystemLogDirectory), line being its error
// line; the others add nothing.
void ReportRootNotCreated(RunContext &run, const std::string &line);

// The status line on an interactive console while the jobs run: started with
// the job list complete, ended (and the line removed) before the summary.
void StartProgress(RunContext &run);
void StopProgress();
// The status line's text at nowMs (steady clock): one part for each running
// job, before it is cut to the console's width.
std::string StatusLine(RunContext &run, int64_t nowMs);

// The run's exit code once every job has finished: the code of the first job,
// in the order of the summary, that did not end with 0; when there is none,
// the run's own code. The same jobs ending the same way give the same code,
// whichever finished last.
ExitCode RunExitCode(RunContext &run);

// The start of an archive-mode run: the metrics file (ZARVIK_METRICS), when
// one is named, rewritten with the run's start time and its in-progress mark
// (the earlier run's samples stay), so that a run that hangs shows.
void ReportRunStart(RunContext &run);
void ReportRunStart(RunContext &run, const std::string &metricsPath);
// The end of an archive-mode run, whatever its exit code: the summary on the
// console and in the run's event, and the files named by ZARVIK_SUMMARY and
// ZARVIK_METRICS.
void ReportRun(RunContext &run, ExitCode exitCode);
// The same with the two files' paths given (empty: not written).
void ReportRun(RunContext &run, ExitCode exitCode, const std::string &summaryPath, const std::string &metricsPath);
