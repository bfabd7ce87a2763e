// The status line of an interactive console: for each KE being transferred
// its port, the file being fetched and how much of it has come, the rate,
// files done out of those to fetch and the time left (from the sizes the
// Directory lists). A thread of its own draws it at most four times a second
// from the jobs' counters; the transfer never waits for it.
#include <condition_variable>
#include <cstdio>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "archive/archmessages.h"
#include "archive/runcontext.h"
#include "base/consoleline.h"
#include "platform/console.h"

namespace {

constexpr int kRedrawMs = 250;

std::string Clock(int64_t seconds) {
  char text[32];
  if (seconds >= 3600)
    std::snprintf(text, sizeof text, "%d:%02d:%02d", static_cast<int>(seconds / 3600),
                  static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
  else
    std::snprintf(text, sizeof text, "%d:%02d", static_cast<int>(seconds / 60), static_cast<int>(seconds % 60));
  return text;
}

// One KE's part of the status line.
std::string JobStatus(const ArchiveJob &job, int64_t nowMs) {
  const JobRecord &record = job.record;
  if (!record.transferring.load())
    return record.kePort + ": sprawdzanie";
  const int64_t received = record.bytesReceived.load(std::memory_order_relaxed);
  const int64_t fileSize = record.fileSize.load();
  int64_t fileDone = received - record.fileStartReceived.load();
  if (fileDone > fileSize)
    fileDone = fileSize;
  const int percent = fileSize > 0 ? static_cast<int>(fileDone * 100 / fileSize) : 0;
  const int64_t elapsedMs = nowMs - record.transferStartMs.load();
  const int64_t moved = received - record.transferStartReceived.load();
  const double rate = elapsedMs > 0 ? static_cast<double>(moved) * 1000.0 / static_cast<double>(elapsedMs) : 0;
  const int32_t done = record.filesFetched.load() + record.filesFailed.load();
  int64_t left = record.bytesToFetch.load() - record.bytesSettled.load() - fileDone;
  if (left < 0)
    left = 0;
  const std::string file = record.CurrentFile();
  char text[160];
  std::snprintf(text, sizeof text, "%s: %s%s%d%% %.1f KB/s %d/%d plik" ZV_o "w, zosta" ZV_l "o %s",
                record.kePort.c_str(), file.c_str(), file.empty() ? "" : " ", percent, rate / 1024.0,
                static_cast<int>(done), static_cast<int>(record.filesToFetch.load()),
                rate > 1.0 ? Clock(static_cast<int64_t>(static_cast<double>(left) / rate)).c_str() : "--:--");
  return text;
}

} // namespace

std::string StatusLine(RunContext &run, int64_t nowMs) {
  std::string line;
  for (const auto &job : run.jobs) {
    if (!job->running.load())
      continue;
    if (!line.empty())
      line += " | ";
    line += JobStatus(*job, nowMs);
  }
  return line;
}

namespace {

struct Progress {
  std::mutex lock;
  std::condition_variable wake;
  bool stop = false;
  std::thread drawer;
};

std::unique_ptr<Progress> &Current() {
  static std::unique_ptr<Progress> current;
  return current;
}

} // namespace

void StartProgress(RunContext &run) {
  if (!plat::ConsoleIsTerminal() || Current())
    return;
  auto progress = std::make_unique<Progress>();
  Progress *state = progress.get();
  try {
    state->drawer = std::thread([state, &run] {
      std::unique_lock<std::mutex> hold(state->lock);
      while (!state->stop) {
        consoleline::SetStatus(StatusLine(run, SteadyMs()));
        state->wake.wait_for(hold, std::chrono::milliseconds(kRedrawMs), [state] { return state->stop; });
      }
    });
  } catch (const std::system_error &) {
    return;  // no thread to be had: the run goes on without the line
  }
  Current() = std::move(progress);
}

void StopProgress() {
  std::unique_ptr<Progress> &progress = Current();
  if (!progress)
    return;
  {
    std::lock_guard<std::mutex> hold(progress->lock);
    progress->stop = true;
  }
  progress->wake.notify_all();
  progress->drawer.join();
  progress.reset();
  consoleline::SetStatus("");
}
