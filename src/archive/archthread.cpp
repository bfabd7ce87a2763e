// The worker thread of an archiving job.
#include "archive/archthread.h"

#include <system_error>
#include <thread>

#include "platform/files.h"

ArchThreadClass *ArchThreadClass::Start(ArchiveJob &job, void (*run)(ArchiveJob &)) {
  job.thread.reset(new ArchThreadClass(job));
  ArchThreadClass *worker = job.thread.get();
  try {
    worker->body = std::thread([&job, run] { run(job); });
  } catch (const std::system_error &) {
    // No thread to be had: the job still runs, on the caller's thread, so
    // that its flags are set and the wait for it ends.
    run(job);
  }
  return worker;
}

void ArchThreadClass::Join() {
  if (body.joinable())
    body.join();
}

ArchiveJob::~ArchiveJob() {
  if (thread)
    thread->Join();
}

std::string ArchiveRoot(const std::string &typed) {
  std::string root = typed.empty() ? plat::CurrentDirectory() : typed;
  if (!root.empty() && root.back() == plat::PathSeparator())
    root.pop_back();
  return root;
}
