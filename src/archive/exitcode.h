// The codes the program ends with. The process's exit status, the run's JSON
// summary and its metrics carry the number; the program's text calls each by
// its name. The comment with each value is its meaning as the README's
// table of exit codes gives it (a test holds the two together).
#pragma once

#include <cstdint>

enum class ExitCode : int32_t {
  kDone = 0,          // done without a recorded failure; help shown; report written
  // a connection, identity or Directory check of some job failed (a Directory
  // without Z0000 among them: nothing is fetched)
  kCheckFailed = 1,
  kTrainingMode = 2,  // a printer is in training (or read-only) mode
  // a KE is absent or busy, its port cannot be opened (missing, held by
  // another program, or, on Linux, not permitted to the user), a two-port
  // device has no matching KE interface, or another writer (a VERIFY ... FIX,
  // another run reaching the same KE) held the KE's directory for the whole
  // 30 s wait, or the KE directory's lock file was removed or replaced while
  // the job held it
  kKeUnavailable = 3,
  kFiscalMemoryMismatch = 4,  // the fiscal-memory numbers of printer and KE differ
  // the archive root or a KE directory cannot be created or used on disk:
  // it, its uszkodzone or its log folder is a link or no folder, it cannot be
  // listed, its lock file cannot be made, or a log file is a link (the console
  // and, where it can, the error log name it and give the system's reason)
  kArchiveUnusable = 5,
  kNoPort = 6,  // no port to archive was found
  // some KE files, or a SHA256SUMS list, could not be fetched or saved, or a
  // Directory line could not be read, or a SHA256SUMS list cannot be read
  // whole or holds a bad line (the run adds no line to it), or fetched bytes
  // differ from their line (listed in the logs); the next run fetches them
  // again. Also: archive mode ended by an error of the program itself
  kFilesNotArchived = 7,
  kDiscoveryFailed = 8,  // port discovery failed with a system error (see the error file)
  // VERIFY or AUDIT found a problem in the archive, or cannot read its
  // target (FIX: or left a KE directory another writer held); also: VERIFY
  // or AUDIT ended by an error of the program itself
  kArchiveProblem = 9,
  // LIST or AUDIT could not write its report file (the path is printed with
  // the system's reason); also: LIST ended by an error of the program itself
  kReportNotWritten = 10,
  // a usage error: VERIFY's third word is not FIX, AUDIT names no report
  // file, or ZARVIK_DR_WINDOW or OKNO= is not HH:MM-HH:MM (the usage line is
  // printed; nothing is done)
  kUsage = 11,
  // the run was stopped from outside (SIGTERM, SIGINT or SIGHUP; a console
  // event or the end of the session on Windows): the file being fetched is
  // not saved, the error log names the signal or event ("Przerwano: ..."),
  // the summary, JSON and metrics are written; the next run fetches the rest
  kStopped = 12,
};

// The number of a code, as the process, the JSON summary and the metrics
// give it.
constexpr int32_t ExitNumber(ExitCode code) { return static_cast<int32_t>(code); }
