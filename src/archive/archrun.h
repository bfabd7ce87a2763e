// The state of one job's run, shared by its stages: the checks of the
// printer and the KE, and the synchronisation of the disk archive.
#pragma once

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "archive/archthread.h"
#include "archive/checksums.h"
#include "archive/exitcode.h"
#include "base/bytebuffer.h"
#include "base/logging.h"
#include "devices/dirinterpreter.h"
#include "devices/drukarka.h"
#include "devices/vemoracopyclass.h"

// An archive file the disk check found; the size as the file system gives it.
struct DiskFile {
  std::string name;
  uint64_t size = 0;
};

struct JobRun {
  explicit JobRun(ArchiveJob &job) : job(job) {}
  JobRun(const JobRun &) = delete;
  JobRun &operator=(const JobRun &) = delete;

  ArchiveJob &job;
  ByteBuffer response;  // every KE answer and file
  std::vector<std::string> directoryLines;
  std::vector<DiskFile> diskFiles;
  std::unique_ptr<VemoraCopyClass> copy;
  std::unique_ptr<DrukarkaClass> printer;
  // copyDir and its log folder, held for the job once it owns them: every
  // file there is reached through them, never by its path.
  plat::Dir keDir;
  plat::Dir logDir;
  LoggingClass errorLog;
  LoggingClass copyLog;
  std::string serialNumber;
  std::string fiscalNumberCopy;
  std::string fiscalNumberPrinter;
  std::string copyDir;
  ChecksumList sums;                  // copyDir's SHA256SUMS
  plat::FileLock directoryLock;       // held while the job may change copyDir
  std::set<std::string> keptDamaged;  // damaged files that could not be moved aside
  // Disk files of the right size without a line: fetched again and
  // compared, since only the KE's bytes earn a line.
  std::set<std::string> toCompare;
  bool failed = false;  // the run's failure mark
};

// The archive root of the job, and the store of an exit code into its run.
const std::string &TargetPath(const ArchiveJob &job);
void SetExitCode(JobRun &run, ExitCode code);
// The port name shown for printer checks, and for KE checks and the KE log.
std::string PrinterLabel(const ArchiveJob &job);
std::string CopyLabel(const ArchiveJob &job);

// The run of one job on the calling thread: checks, disk synchronisation,
// release of everything it made; running cleared and finished set on every
// way out, exceptions included.
void RunJob(ArchiveJob &job);

// Printer connection, KE access, identity, fiscal-memory match, Directory.
void RunChecks(JobRun &run);
// The KE's log, its directory, the disk check and the transfer.
void SynchroniseDisk(JobRun &run);

// The job's record: identity and verdict of the checks; the transfer's plan
// (what the Directory lists, what the disk holds, what is to be fetched);
// each file asked for, saved or given up; the KE's directory at the end.
void RecordChecks(JobRun &run);
void RecordPlan(JobRun &run);
void RecordFileStart(JobRun &run, const std::string &diskName, int32_t size);
void RecordFileSaved(JobRun &run, int64_t bytes);
void RecordFileFailed(JobRun &run);
void RecordEnd(JobRun &run);

// The stages of the synchronisation, in their order:
// the disk check of copyDir: SHA256SUMS read (one that cannot be read whole
// or holds a bad line gets no line from this run: the job ends 7), valid
// archive files into diskFiles, every other Z*.ej entry that is not left
// alone (a link among them) moved to the quarantine folder;
void CheckDisk(JobRun &run);
// the Directory's header and memory-figure lines dropped from directoryLines;
void TrimDirectory(JobRun &run);
// one file line read; false when its name, date, number or size could not
// be read (a line read whole but not marked OK is still used);
bool ReadEntry(DirInterpreterClass &reader, const std::string &line);
// a fetched file put in place (plat::PutInPlace); false leaves no temporary
// and no partial archive file.
bool SaveFetchedFile(const plat::Dir &dir, const std::string &diskName, const ByteBuffer &data);
// Whether the job still holds copyDir's lock before it changes anything
// there; when not, the line, the exit code 3 and the run's failure mark.
bool StillWriter(JobRun &run);

// One KE file as its Directory line names it.
struct KeFile {
  std::string diskName;
  int32_t number = 0;
  int32_t size = 0;
};
// What a Directory file line gives: a KE file, a line that could not be read,
// or a file whose disk name is not safe (file.diskName then holds that name).
enum class KeLine { kFile, kUnreadable, kUnsafeName };
KeLine ParseKeFile(DirInterpreterClass &reader, const std::string &line, KeFile &file);

// The disk check's record of an archive file, or nullptr.
const DiskFile *FindOnDisk(JobRun &run, const std::string &diskName);
// Whether the disk copy of a KE file stays as it is: it has the listed size
// and a line (or the list takes no lines in this run).
bool KeepsDiskCopy(JobRun &run, const KeFile &file);
// Whether length bytes are what the Directory lists for KE file number: its
// size plus the end marker. File 0 lists no size to compare, so any length
// is.
bool HoldsListedSize(int64_t length, int32_t number, int32_t size);

// Cuts a Directory text into lines (the byte before each LF, normally CR,
// dropped; so is the last byte of an unterminated last line).
void SplitDirectory(const ByteBuffer &text, std::vector<std::string> &lines);
