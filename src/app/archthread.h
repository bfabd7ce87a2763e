// Archiving jobs and the worker thread that runs one job.
//
// A job is one KE to be copied to disk, reached directly on its own port,
// through the KE channel of a two-port device (checked against the device's
// printer channel), or through a printer that relays the KE protocol. The
// archive mode builds the jobs and starts one worker per job; the worker sets
// the job's flags, which are all the main thread waits for, and its record.
#pragma once

#include <atomic>
#include <memory>
#include <string>

#include "app/jobrecord.h"
#include "discovery/usbclass.h"

class ArchThreadClass;
struct RunContext;

struct archType {
  // The run the job belongs to: its archive root and its exit code.
  RunContext *context = nullptr;
  // The printer interface; none for a direct job.
  VemoraPortsType *printerPort = nullptr;
  // The KE interface; none for a pass-through job.
  VemoraPortsType *copyPort = nullptr;
  // Set when the run begins and cleared when it ends, on every way out.
  std::atomic<bool> running{false};
  // Set when the run ends; never cleared.
  std::atomic<bool> finished{false};
  // The worker started for this job (owned by the job, so it stays valid).
  std::unique_ptr<ArchThreadClass> thread;
  // The KE is reached through the printer.
  bool viaPrinter = false;
  // What the job did.
  JobRecord record;
};

// The archive root for the target path as typed: the current directory when
// it is empty; one trailing separator of the platform removed.
std::string ArchiveRoot(const std::string &typed);

// The worker of one job. Start runs the job on a detached thread at once; the
// thread frees its own resources when the run ends and nobody joins it.
class ArchThreadClass {
public:
  // Creates the worker, stores it in job.thread and starts it.
  static ArchThreadClass *Start(archType &job);
  virtual ~ArchThreadClass() = default;
  ArchThreadClass(const ArchThreadClass &) = delete;
  ArchThreadClass &operator=(const ArchThreadClass &) = delete;

  archType &job;

protected:
  explicit ArchThreadClass(archType &job) : job(job) {}
  // The thread body: the run of job.
  virtual void Execute();
};

// The run of one job on the calling thread: checks, disk synchronisation,
// release of everything it made; running cleared and finished set on every
// way out, exceptions included.
void RunJob(archType &job);
