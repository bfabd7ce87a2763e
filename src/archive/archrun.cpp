// The skeleton of one job's run, on its worker's thread: the checks, the
// disk synchronisation, the record; and the few facts of the job every stage
// asks for.
#include "archive/archrun.h"

#include <exception>
#include <memory>
#include <string>

#include "archive/archmessages.h"
#include "archive/runcontext.h"
#include "base/createdirectory.h"
#include "base/filelog.h"
#include "platform/access.h"
#include "platform/files.h"
#include "platform/syserror.h"

const std::string &TargetPath(const ArchiveJob &job) { return job.context->archivePath; }

void SetExitCode(JobRun &run, ExitCode code) {
  run.job.record.exitCode.store(code);
  run.job.context->exitCode.store(code);
}

std::string PrinterLabel(const ArchiveJob &job) {
  return job.printerPort != nullptr ? job.printerPort->portName : std::string();
}

std::string CopyLabel(const ArchiveJob &job) {
  if (job.copyPort != nullptr)
    return job.copyPort->portName;
  return PrinterLabel(job);
}

namespace {

void RunStages(ArchiveJob &job) {
  JobRun run(job);
  // The KE object opens its own port at once; a pass-through job has none and
  // borrows the printer's line later.
  if (job.viaPrinter || job.copyPort == nullptr) {
    run.copy = std::make_unique<VemoraCopyClass>(nullptr);
  } else {
    std::string name = job.copyPort->portName.substr(0, 99);
    run.copy = std::make_unique<VemoraCopyClass>(name.c_str());
  }
  run.copy->port.receivedCount = &job.record.bytesReceived;
  // Line errors go to the KE's log (until its directory is known, during the
  // checks, to the error log of the log folder, with the printer's exchanges).
  run.copy->port.lineLog = &run.copyLog;
  run.printer = std::make_unique<DrukarkaClass>();
  const std::string &root = TargetPath(job);
  run.errorLog = LoggingClass(root.c_str(), "ERROR");
  run.errorLog.toConsole = true;
  run.errorLog.priority = plat::LinePriority::kError;
  run.errorLog.toFile = true;
  run.errorLog.copyTo = &job.record.errors;

  // Nothing can be archived without the root: said on the console and in
  // the error log (which falls back to the log folder), once in the event
  // log and the system's log folder, and by the code. A root made here is
  // one that only the system and administrators may change.
  if (!CreateDirectoryPath(root, true)) {
    const std::string line = msg::kCannotCreateFolder + root + plat::LastErrorSuffix();
    run.errorLog.Log(line);
    ReportRootNotCreated(*job.context, line);
    SetExitCode(run, ExitCode::kArchiveUnusable);
    run.failed = true;
  }

  RunChecks(run);
  RecordChecks(run);
  SynchroniseDisk(run);
  RecordEnd(run);

  if (job.viaPrinter && job.printerPort != nullptr) {
    run.printer->LeaveRelay();
    run.printer->Close();
  }
}

// Nothing the run calls is meant to throw; should something still do, the
// job ends with one line naming its port in the error log instead of
// hanging the wait, and the exit code says the job failed.
void ReportEscaped(ArchiveJob &job, const char *what) {
  job.record.exitCode.store(ExitCode::kCheckFailed);
  job.context->exitCode.store(ExitCode::kCheckFailed);
  try {
    LoggingClass errorLog(TargetPath(job).c_str(), "ERROR");
    errorLog.toConsole = true;
    errorLog.priority = plat::LinePriority::kError;
    errorLog.copyTo = &job.record.errors;
    // Appended piece by piece: one long chain of + trips a false warning of
    // GCC 12 about overlapping copies.
    std::string line = "<";
    line += CopyLabel(job);
    line += "> ";
    line += msg::kJobAborted;
    line += what;
    errorLog.Log(line);
  } catch (...) {
  }
}

} // namespace

void CheckArchiveRoot(RunContext &run) {
  const std::string &root = run.archivePath;
  if (!plat::DirectoryExists(root) || !plat::WritableByUsers(root))
    return;
  run.rootWritableByUsers = true;
  LoggingClass errorLog(root.c_str(), "ERROR");
  errorLog.toConsole = true;
  errorLog.Log(msg::kRootWritableByUsers + root);
}

void ReportRootNotCreated(RunContext &run, const std::string &line) {
  if (run.rootFailureReported.exchange(true))
    return;
  run.reportEvent(plat::EventType::kError, kEventRootNotCreated, line);
  const std::string folder = plat::SystemLogDirectory();
  if (folder.empty())
    return;
  plat::CreateProtectedDirectory(folder);
  FileLog(line.c_str(), "ERROR", folder.c_str());
}

void RunJob(ArchiveJob &job) {
  job.running.store(true);
  const int64_t startedMs = SteadyMs();
  try {
    RunStages(job);
  } catch (const std::exception &error) {
    ReportEscaped(job, error.what());
  } catch (...) {
    ReportEscaped(job, "?");
  }
  job.record.transferring.store(false);
  job.record.seconds = static_cast<double>(SteadyMs() - startedMs) / 1000.0;
  job.running.store(false);
  job.finished.store(true);
}
