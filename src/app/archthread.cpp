// The worker thread of an archiving job and the skeleton of its run.
#include "app/archthread.h"

#include <system_error>
#include <thread>

#include "app/archmessages.h"
#include "app/archrun.h"
#include "app/modes.h"
#include "base/createdirectory.h"

DynamicPtrArrayClass<archType> jobs;
std::string archivePath;

ArchThreadClass *ArchThreadClass::Start(archType &job) {
  job.thread.reset(new ArchThreadClass(job));
  ArchThreadClass *worker = job.thread.get();
  // The body touches only the job and its worker; once RunJob has set
  // finished it returns without another access, so the main thread may
  // delete the job (and with it the worker) once it has seen the flag.
  try {
    std::thread body([worker] { worker->Execute(); });
    body.detach();
  } catch (const std::system_error &) {
    // No thread to be had: the job still runs, on the caller's thread, so
    // that its flags are set and the wait for it ends.
    worker->Execute();
  }
  return worker;
}

void ArchThreadClass::Execute() { RunJob(job); }

const std::string &TargetPath(const archType &job) {
  return job.targetPath != nullptr ? *job.targetPath : archivePath;
}

std::string PrinterLabel(const archType &job) {
  return job.printerPort != nullptr ? job.printerPort->portName : std::string();
}

std::string CopyLabel(const archType &job) {
  if (job.copyPort != nullptr)
    return job.copyPort->portName;
  return PrinterLabel(job);
}

namespace {

void RunStages(archType &job) {
  JobRun run(job);
  // The KE object opens its own port at once; a pass-through job has none and
  // borrows the printer's line later.
  if (job.viaPrinter || job.copyPort == nullptr) {
    run.copy = std::make_unique<VemoraCopyClass>(nullptr);
  } else {
    std::string name = job.copyPort->portName.substr(0, 99);
    run.copy = std::make_unique<VemoraCopyClass>(name.c_str());
  }
  run.printer = std::make_unique<DrukarkaClass>();
  const std::string &root = TargetPath(job);
  run.errorLog = LoggingClass(root.c_str(), "ERROR");
  run.errorLog.toConsole = true;
  run.errorLog.toFile = true;

  // Nothing can be archived without the root: said on the console and in
  // the error log (which falls back to the log folder), and by the code.
  if (!CreateDirectoryPath(root)) {
    run.errorLog.Log(msg::kC1 + root);
    exitCode.store(5);
    run.failed = true;
  }

  RunChecks(run);
  SynchroniseDisk(run);

  if (job.viaPrinter && job.printerPort != nullptr) {
    run.printer->LeaveRelay();
    run.printer->Close();
  }
}

} // namespace

namespace {

// Nothing the run calls is meant to throw; should something still do, the
// job ends with one line naming its port in the error log instead of
// hanging the wait, and the exit code says the job failed.
void ReportEscaped(const archType &job, const char *what) {
  exitCode.store(1);
  try {
    LoggingClass errorLog(TargetPath(job).c_str(), "ERROR");
    errorLog.toConsole = true;
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

void RunJob(archType &job) {
  job.running.store(true);
  try {
    RunStages(job);
  } catch (const std::exception &error) {
    ReportEscaped(job, error.what());
  } catch (...) {
    ReportEscaped(job, "?");
  }
  job.running.store(false);
  job.finished.store(true);
}
