// What one archiving job did, recorded as it goes. The progress line reads
// the counters while the job runs; the run summary, the JSON results and the
// metrics file are built from the whole record once the job has finished.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "archive/exitcode.h"

struct JobRecord {
  // Fixed when the job is made.
  std::string kind;         // "direct", "combined" or "printer"
  std::string printerPort;  // empty for a direct job
  std::string kePort;       // the port named in the KE's log lines

  // Written by the job's thread; read by others once the job has finished.
  std::string serial;        // empty when not read
  std::string fiscalNumber;  // empty when not read
  std::string directory;     // empty when the KE's directory was not reached
  bool checksPassed = false;
  std::vector<std::string> errors;  // the job's error-log lines
  double seconds = 0;
  int32_t archiveFiles = 0;  // archive files in the directory after the run
  // The job's exit code: 0, or the last failure code its run stored.
  std::atomic<ExitCode> exitCode{ExitCode::kDone};

  // Counters, read while the job runs.
  std::atomic<int32_t> filesListed{0};
  std::atomic<int32_t> filesOnDisk{0};   // listed files the disk already held
  std::atomic<int32_t> filesToFetch{0};
  std::atomic<int32_t> filesFetched{0};
  std::atomic<int32_t> filesFailed{0};
  std::atomic<int64_t> bytesFetched{0};  // bytes of the files saved
  std::atomic<int64_t> bytesToFetch{0};  // the Directory's sizes of the files to fetch
  std::atomic<int64_t> bytesSettled{0};  // of those, the files done with (saved or given up)
  // Every byte the KE's line delivered; the port counts them as they arrive,
  // so the share of the file being received is known at once.
  std::atomic<int64_t> bytesReceived{0};
  std::atomic<int64_t> fileStartReceived{0};  // bytesReceived when the current file was asked for
  std::atomic<int64_t> fileSize{0};           // the current file's size with its end marker
  std::atomic<int64_t> transferStartReceived{0};
  std::atomic<int64_t> transferStartMs{0};    // steady-clock milliseconds; 0: no transfer yet
  std::atomic<bool> transferring{false};

  // The name of the file being fetched.
  void SetCurrentFile(const std::string &name) {
    std::lock_guard<std::mutex> hold(nameLock);
    currentFile = name;
  }
  std::string CurrentFile() const {
    std::lock_guard<std::mutex> hold(nameLock);
    return currentFile;
  }

private:
  mutable std::mutex nameLock;
  std::string currentFile;
};

// Milliseconds on the steady clock, for rates and durations.
int64_t SteadyMs();
