// The job's record as the run goes, the run context's times, and the count
// of archive files a KE's directory holds at the end.
#include <chrono>
#include <cstdio>

#include "archive/archrun.h"
#include "archive/kedirectory.h"
#include "archive/runcontext.h"
#include "platform/clock.h"
#include "platform/files.h"

int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string LocalTimeIso8601() {
  const plat::LocalTime now = plat::Now();
  const int offset = plat::UtcOffsetMinutes();
  const int magnitude = offset < 0 ? -offset : offset;
  char text[40];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d%c%02d:%02d", now.year, now.month, now.day,
                now.hour, now.minute, now.second, offset < 0 ? '-' : '+', magnitude / 60, magnitude % 60);
  return text;
}

double EpochSeconds() {
  const auto since = std::chrono::system_clock::now().time_since_epoch();
  return static_cast<double>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count()) / 1000.0;
}

void RunContext::MarkStarted() {
  startedText = LocalTimeIso8601();
  startedEpoch = EpochSeconds();
  startedMs = SteadyMs();
}

void RecordChecks(JobRun &run) {
  JobRecord &record = run.job.record;
  // The identity counts as read when the checks accepted it.
  if (run.serialNumber.size() >= 6 && IsSafeComponent(run.serialNumber))
    record.serial = run.serialNumber;
  if (run.fiscalNumberCopy.size() >= 6)
    record.fiscalNumber = Printable(run.fiscalNumberCopy);
  record.checksPassed = !run.failed;
}

void RecordPlan(JobRun &run) {
  JobRecord &record = run.job.record;
  DirInterpreterClass reader;
  int32_t listed = 0;
  int32_t onDisk = 0;
  int32_t toFetch = 0;
  int64_t bytes = 0;
  // The transfer's own keep rule decides which listed files are fetched.
  for (const std::string &line : run.directoryLines) {
    KeFile file;
    if (ParseKeFile(reader, line, file) != KeLine::kFile)
      continue;
    ++listed;
    if (KeepsDiskCopy(run, file)) {
      ++onDisk;
    } else {
      ++toFetch;
      bytes += (file.size > 0 ? file.size : 0) + 1;
    }
  }
  record.filesListed.store(listed);
  record.filesOnDisk.store(onDisk);
  record.filesToFetch.store(toFetch);
  record.bytesToFetch.store(bytes);
  record.transferStartReceived.store(record.bytesReceived.load());
  record.transferStartMs.store(SteadyMs());
  record.transferring.store(true);
}

void RecordFileStart(JobRun &run, const std::string &diskName, int32_t size) {
  JobRecord &record = run.job.record;
  record.SetCurrentFile(diskName);
  record.fileSize.store((size > 0 ? size : 0) + 1);
  record.fileStartReceived.store(record.bytesReceived.load(std::memory_order_relaxed));
}

void RecordFileSaved(JobRun &run, int64_t bytes) {
  JobRecord &record = run.job.record;
  record.filesFetched.fetch_add(1);
  record.bytesFetched.fetch_add(bytes);
  record.bytesSettled.fetch_add(record.fileSize.load());
}

void RecordFileFailed(JobRun &run) {
  JobRecord &record = run.job.record;
  record.filesFailed.fetch_add(1);
  record.bytesSettled.fetch_add(record.fileSize.load());
}

void RecordEnd(JobRun &run) {
  JobRecord &record = run.job.record;
  record.transferring.store(false);
  // Files the transfer never reached (it stopped when the KE fell silent)
  // are missing as much as those it gave up on.
  const int32_t notReached =
      record.filesToFetch.load() - record.filesFetched.load() - record.filesFailed.load();
  if (notReached > 0)
    record.filesFailed.fetch_add(notReached);
  if (record.checksPassed && !run.copyDir.empty() && plat::TypeOf(run.copyDir) == plat::EntryType::kDirectory) {
    record.directory = run.copyDir;
    record.archiveFiles = CountArchiveFiles(run.copyDir);
  }
}
