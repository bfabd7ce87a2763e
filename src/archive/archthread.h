// Archiving jobs and the worker thread that runs one job.
//
// A job is one KE to be copied to disk, reached directly on its own port,
// through the KE channel of a two-port device (checked against the device's
// printer channel), or through a printer that relays the KE protocol. The
// archive mode builds the jobs and starts one worker per job; the worker sets
// the job's flags, which the main thread looks at, and its record. The run
// owns its jobs and each job its worker: a job is freed only after its
// worker's thread has been joined.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <thread>

#include "archive/jobrecord.h"
#include "discovery/usbclass.h"

class ArchThreadClass;
struct RunContext;

struct ArchiveJob {
  ArchiveJob() = default;
  // Joins the worker first: its thread never outlives the job it runs.
  ~ArchiveJob();
  ArchiveJob(const ArchiveJob &) = delete;
  ArchiveJob &operator=(const ArchiveJob &) = delete;

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
  // The worker started for this job, owned by it.
  std::unique_ptr<ArchThreadClass> thread;
  // The KE is reached through the printer.
  bool viaPrinter = false;
  // What the job did.
  JobRecord record;
};

// The archive root for the target path as typed: the current directory when
// it is empty; one trailing separator of the platform removed.
std::string ArchiveRoot(const std::string &typed);

// The worker of one job: a thread of its own that runs the job (RunJob) and
// is joined by the job's owner.
class ArchThreadClass {
public:
  // Creates the worker, stores it in job.thread and starts its thread, which
  // runs run(job) (RunJob); with no thread to be had, the job runs on the
  // calling thread before Start returns, so its flags are set all the same.
  static ArchThreadClass *Start(ArchiveJob &job, void (*run)(ArchiveJob &));
  ~ArchThreadClass() { Join(); }
  ArchThreadClass(const ArchThreadClass &) = delete;
  ArchThreadClass &operator=(const ArchThreadClass &) = delete;

  // Waits until the thread has left its body; returns at once when it has
  // been joined before or never ran.
  void Join();

  ArchiveJob &job;

private:
  explicit ArchThreadClass(ArchiveJob &job) : job(job) {}
  std::thread body;
};
