// Brings the KE's directory on disk in line with the KE: damaged and foreign
// files go to the quarantine folder, files missing on disk or of the wrong
// size are fetched, and a fetched file is saved only when its end marker
// stands exactly at its end. A file is never changed in place and never
// deleted: it is kept, moved aside, or replaced whole. SHA256SUMS gains a
// line for each file the KE sent; a line is never changed or removed.
#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "archive/archmessages.h"
#include "archive/archrun.h"
#include "archive/checksums.h"
#include "archive/kedirectory.h"
#include "archive/kerecord.h"
#include "base/createdirectory.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/sha256.h"
#include "platform/stop.h"
#include "platform/syserror.h"

namespace {

constexpr int kAttempts = 3;
// File requests in a row that bring no byte at all before the transfer gives
// up: the KE (or the line to it) is gone, and every further request would
// only wait out its whole budget.
constexpr int kSilentFilesInARow = 3;
// The pause between the Directory read and the first file request. The port
// was closed right after the Directory; the pause lets the KE finish what it
// still sends of it and the line go quiet before the port is reopened in
// byte-by-byte mode, so the first file request never meets the Directory's
// tail.
constexpr int kPauseBeforeTransferMs = 1000;

// How long a job waits for its KE directory while another writer (a
// VERIFY with FIX, another run reaching the same KE) holds it.
constexpr int kLockWaitMs = 30000;

// Moves a damaged disk file to the quarantine folder and logs where it went,
// after the "deleted bad file" line when logDeleted is set (the "size of file
// ... differs" line is logged before the move). A file that cannot be moved
// stays, is logged, and is not fetched over in this run.
void MoveAside(JobRun &run, const std::string &name, bool logDeleted) {
  if (!StillWriter(run))
    return;
  const std::string movedTo = Quarantine(run.keDir, name);
  if (movedTo.empty()) {
    run.copyLog.Log(msg::kNotMoved + name);
    run.errorLog.Log(msg::kNotMoved + plat::JoinPath(run.copyDir, name));
    run.keptDamaged.insert(name);
    return;
  }
  if (logDeleted)
    run.copyLog.Log(msg::kDeletedBadFile + name);
  run.copyLog.Log(msg::kMovedTo + movedTo);
}

// Writes SHA256SUMS when it changed and may be written; a failure is logged
// and reported by the exit code.
void SaveSums(JobRun &run) {
  if (!run.sums.Writable() || !run.sums.Changed() || !StillWriter(run) || run.sums.Save(run.keDir))
    return;
  const std::string reason = plat::LastErrorSuffix();
  run.copyLog.Log(msg::kSumsFailed + run.copyDir);
  run.errorLog.Log(msg::kSumsFailed + run.copyDir + reason);
  SetExitCode(run, ExitCode::kFilesNotArchived);
}

// Reads the list. One that cannot be read whole, or holds a line the run
// does not understand, takes no line in this run: a line written beside it
// could bury evidence. The files are still fetched.
void LoadSums(JobRun &run) {
  const std::string path = run.keDir.PathOf(kSumsName);
  std::string line;
  if (!run.sums.Load(run.keDir)) {
    run.copyLog.Log(msg::kSumsUnreadable + path);
    line = msg::kSumsUnreadable + path + ": " + run.sums.error;
  } else if (!run.sums.badLines.empty()) {
    line = msg::kSumsBadLine + path + msg::kLineNumber + std::to_string(run.sums.badLines.front());
    run.copyLog.Log(line);
  } else {
    return;
  }
  run.errorLog.Log(line);
  SetExitCode(run, ExitCode::kFilesNotArchived);
}

} // namespace

bool StillWriter(JobRun &run) {
  if (run.failed)
    return false;
  if (run.directoryLock.StillHeld())
    return true;
  run.errorLog.Log(msg::kLockLost + run.copyDir + plat::LastErrorSuffix());
  run.copyLog.Log(msg::kLockLost + run.copyDir);
  SetExitCode(run, ExitCode::kKeUnavailable);
  run.failed = true;
  return false;
}

void CheckDisk(JobRun &run) {
  LoadSums(run);
  std::vector<plat::FoundFile> found;
  if (!ArchiveEntries(run.keDir, found)) {
    // Taken for empty, every file would be fetched again over what is there.
    run.errorLog.Log(msg::kFolderUnreadable + run.copyDir + plat::LastErrorSuffix());
    SetExitCode(run, ExitCode::kArchiveUnusable);
    run.failed = true;
    return;
  }
  if (!found.empty())
    run.copyLog.Log(msg::kCheckingFolder + run.copyDir);
  for (const plat::FoundFile &entry : found) {
    // A link is never read: it goes aside as the link, like a damaged file
    // or a foreign name, and the KE file is fetched again.
    if (KindOf(entry) != EntryKind::kArchive || !HasEndMarker(run.keDir, entry.name)) {
      MoveAside(run, entry.name, true);
      continue;
    }
    // Only its tail is read: a file with a line keeps it, one without is
    // compared with the KE's bytes (or, once the KE no longer lists it,
    // hashed) by the transfer.
    run.diskFiles.push_back(DiskFile{entry.name, entry.size});
  }
  if (run.diskFiles.empty())
    run.copyLog.Log(msg::kFolderEmpty);
}

// Drops the header before the line holding Z0000 and the memory figures
// after the last file line.
void TrimDirectory(JobRun &run) {
  std::vector<std::string> &lines = run.directoryLines;
  auto first = std::find_if(lines.begin(), lines.end(),
                            [](const std::string &line) { return line.find("Z0000") != std::string::npos; });
  lines.erase(lines.begin(), first);
  while (lines.size() > 1 && lines.back().find(" Z") == std::string::npos)
    lines.pop_back();
}

// Reads one file line. False when its name, date, number or size could not
// be read; the reader's fields then say nothing about this line. A line read
// whole but not marked OK is still used.
bool ReadEntry(DirInterpreterClass &reader, const std::string &line) {
  std::string work = line;
  reader.entryName.clear();
  reader.entryDate.clear();
  reader.fileSize = INT32_MIN;
  bool sizeRead = false;
  try {
    reader.ParseEntry(work);
    sizeRead = reader.fileSize != INT32_MIN || reader.entryValid;
  } catch (const DirConversionError &) {
    return false;
  }
  return sizeRead && !reader.entryName.empty() && reader.entryDate.size() == 10;
}

bool SaveFetchedFile(const plat::Dir &dir, const std::string &diskName, const ByteBuffer &data) {
  return dir.PutInPlace(diskName, data.Data(), static_cast<size_t>(data.Length()));
}

namespace {

// What the transfer keeps from one file to the next.
struct TransferState {
  int retryBudget = kAttempts;
  int silentInARow = 0;
  bool filesMissing = false;
  bool portLost = false;
};

// "Plik: <name><text>" to the KE's log, "Plik: <dir>\<name><text><reason>"
// to the error log.
void LogFileFailure(JobRun &run, const std::string &diskName, const char *text, const std::string &reason = "") {
  run.copyLog.Warn(msg::kFile + diskName + text);
  run.errorLog.Log(msg::kFile + plat::JoinPath(run.copyDir, diskName) + text + reason);
}

// A line as a KE file; false (and logged) for a line that names none or
// names no safe file.
bool ReadKeFile(JobRun &run, DirInterpreterClass &reader, const std::string &line, KeFile &file) {
  switch (ParseKeFile(reader, line, file)) {
  case KeLine::kFile:
    return true;
  case KeLine::kUnreadable:
    run.copyLog.Warn(msg::kBadLine + Printable(line));
    return false;
  case KeLine::kUnsafeName:
    run.copyLog.Warn(msg::kBadName + Printable(file.diskName));
    return false;
  }
  return false;
}

// Whether the KE file has to be fetched. A disk copy of the wrong size goes
// to the quarantine folder first (the "size of file ... differs" line); file 0
// has no size to compare.
bool NeedsFetch(JobRun &run, const KeFile &file) {
  if (run.keptDamaged.count(file.diskName) != 0)
    return true;
  const DiskFile *onDisk = FindOnDisk(run, file.diskName);
  if (onDisk == nullptr)
    return true;
  if (KeepsDiskCopy(run, file))
    return false;
  if (HoldsListedSize(static_cast<int64_t>(onDisk->size), file.number, file.size)) {
    run.toCompare.insert(file.diskName);
    return true;
  }
  const std::string sizeDiffers = msg::kSizeOfFile + plat::JoinPath(run.copyDir, onDisk->name) + msg::kSizeDiffersFrom +
                                  file.diskName + msg::kDiskFileDeleted;
  run.copyLog.Warn(sizeDiffers);
  run.errorLog.Log(sizeDiffers);
  MoveAside(run, onDisk->name, false);
  return true;
}

// The check of fetched data: the failure text, or nullptr when the end
// marker stands at the end, nowhere before it, and the length is the listed
// size plus the marker.
const char *CheckFetched(const ByteBuffer &data, uint8_t endByte, const KeFile &file) {
  const int length = data.Length();
  const uint8_t *bytes = data.Data();
  if (length == 0 || bytes[length - 1] != endByte)
    return msg::kEndMarkerMissing;
  for (int k = 0; k + 1 < length; ++k)
    if (bytes[k] == endByte)
      return msg::kEndMarkerInside;
  // Bytes lost or added on the line leave the end marker in place; the
  // size the Directory lists tells (as it does for the disk copy later).
  if (!HoldsListedSize(length, file.number, file.size))
    return msg::kSizeWrong;
  return nullptr;
}

// Whether the disk copy without a line holds exactly the KE's bytes.
bool SameAsDisk(JobRun &run, const std::string &diskName) {
  std::string disk;
  const auto length = static_cast<uint64_t>(run.response.Length());
  return plat::ReadWholeFile(run.keDir, diskName, length, disk) && disk.size() == length &&
         std::equal(disk.begin(), disk.end(), reinterpret_cast<const char *>(run.response.Data()));
}

// Saves checked data, gives it its checksum line, and only then logs the
// "file saved" line. A disk copy without a line is compared first: the same
// bytes get their line and stay; other bytes go to the quarantine folder
// (with the damaged-file lines) and the KE's are saved. A line is never
// changed: KE bytes that differ from theirs are saved and logged.
void SaveFile(JobRun &run, const KeFile &file, TransferState &state) {
  if (!StillWriter(run))
    return;
  plat::Sha256 hash;
  plat::Sha256Digest digest{};
  const bool hashed =
      hash.Update(run.response.Data(), static_cast<size_t>(run.response.Length())) && hash.Finish(digest);
  if (run.toCompare.count(file.diskName) != 0) {
    if (SameAsDisk(run, file.diskName)) {
      if (hashed)
        run.sums.Add(file.diskName, digest);
      SaveSums(run);
      run.copyLog.Log(msg::kSameAsKe + file.diskName);
      RecordFileSaved(run, run.response.Length());
      return;
    }
    const std::string differs = msg::kDiffersFromKe + plat::JoinPath(run.copyDir, file.diskName);
    run.copyLog.Log(differs);
    run.errorLog.Log(differs);
    MoveAside(run, file.diskName, true);
    if (run.keptDamaged.count(file.diskName) != 0) {
      LogFileFailure(run, file.diskName, msg::kNotFetchedOver);
      RecordFileFailed(run);
      state.filesMissing = true;
      return;
    }
  }
  if (!SaveFetchedFile(run.keDir, file.diskName, run.response)) {
    LogFileFailure(run, file.diskName, msg::kWriteFailed, plat::LastErrorSuffix());
    RecordFileFailed(run);
    state.filesMissing = true;
    return;
  }
  if (!hashed) {
    state.filesMissing = true;
  } else if (!run.sums.Has(file.diskName)) {
    run.sums.Add(file.diskName, digest);
    SaveSums(run);
  } else if (run.sums.LineOf(file.diskName) != HexDigest(digest)) {
    const std::string differs = msg::kFetchedDiffers + plat::JoinPath(run.copyDir, file.diskName);
    run.copyLog.Log(differs);
    run.errorLog.Log(differs);
    state.filesMissing = true;
  }
  run.copyLog.Log(msg::kFileSaved + file.diskName);
  RecordFileSaved(run, run.response.Length());
}

// Fetches one KE file; the same file again while a missing or misplaced end
// marker leaves attempts in the budget shared by the whole transfer.
void FetchFile(JobRun &run, const KeFile &file, TransferState &state) {
  VemoraCopyClass &copy = *run.copy;
  for (;;) {
    run.response.Clear();
    RecordFileStart(run, file.diskName, file.size);
    const bool answered = copy.ReadFile(run.response, file.number);
    // Stopped from outside: what came so far is dropped, unsaved and not
    // counted as a failure; the next run fetches the file.
    if (plat::StopRequested())
      return;
    // The port went away under the file: what came is not saved, and the
    // transfer stops (no later request can be answered).
    if (copy.port.Lost()) {
      RecordFileFailed(run);
      state.filesMissing = true;
      state.portLost = true;
      return;
    }
    if (!answered) {
      LogFileFailure(run, file.diskName, msg::kCommunicationError);
      RecordFileFailed(run);
      state.filesMissing = true;
      ++state.silentInARow;
      return;
    }
    state.silentInARow = 0;
    if (const char *failure = CheckFetched(run.response, copy.endByte, file)) {
      LogFileFailure(run, file.diskName, failure);
      if (--state.retryBudget > 0)
        continue;
      state.retryBudget = kAttempts;
      RecordFileFailed(run);
      state.filesMissing = true;
      return;
    }
    SaveFile(run, file, state);
    state.retryBudget = kAttempts;
    return;
  }
}

// A disk file without a line that the KE no longer lists gets its line from
// the disk, logged as such. Only when every Directory line was read: a line
// that could not be read may be that file's.
void LinesForUnlisted(JobRun &run, DirInterpreterClass &reader) {
  if (!run.sums.Writable())
    return;
  std::set<std::string> listed;
  for (const std::string &line : run.directoryLines) {
    KeFile file;
    const KeLine kind = ParseKeFile(reader, line, file);
    if (kind == KeLine::kUnreadable)
      return;
    listed.insert(file.diskName);
  }
  for (const DiskFile &onDisk : run.diskFiles) {
    plat::FileDigest digest;
    if (run.sums.Has(onDisk.name) || listed.count(onDisk.name) != 0 ||
        !plat::Sha256File(run.keDir, onDisk.name, digest))
      continue;
    run.sums.Add(onDisk.name, digest.digest);
    run.copyLog.Log(msg::kLineFromDisk + onDisk.name);
  }
  SaveSums(run);
}

void Transfer(JobRun &run, DirInterpreterClass &reader) {
  VemoraCopyClass &copy = *run.copy;
  RecordPlan(run);
  copy.Close();
  plat::WaitForStop(kPauseBeforeTransferMs);
  copy.SetRequestDigits(0, 3);
  copy.port.byteWise = true;
  copy.EnsureOpen();
  run.copyLog.Log(msg::kCheckingKeContents);
  TransferState state;
  LinesForUnlisted(run, reader);

  for (const std::string &line : run.directoryLines) {
    if (run.failed || plat::StopRequested())
      break;
    KeFile file;
    // A line that names no file it can fetch leaves a file missing.
    if (!ReadKeFile(run, reader, line, file)) {
      state.filesMissing = true;
      continue;
    }
    if (!NeedsFetch(run, file))
      continue;
    if (run.keptDamaged.count(file.diskName) != 0) {
      LogFileFailure(run, file.diskName, msg::kNotFetchedOver);
      RecordFileFailed(run);
      state.filesMissing = true;
      continue;
    }
    FetchFile(run, file, state);
    if (state.portLost) {
      const std::string lost = msg::kPortLost + copy.portName + ": " + copy.port.LostReason() + msg::kPortLostEnd;
      run.copyLog.Warn(lost);
      run.errorLog.Log(run.copyDir + ": " + lost);
      break;
    }
    if (state.silentInARow >= kSilentFilesInARow) {
      run.copyLog.Warn(msg::kTransferStopped);
      run.errorLog.Log(run.copyDir + ": " + msg::kTransferStopped);
      break;
    }
  }
  copy.Close();
  // The logs tell which files are missing; the exit code must not say that
  // everything went well. A later run fetches them again.
  if (state.filesMissing)
    SetExitCode(run, ExitCode::kFilesNotArchived);
  // Stopped from outside: the files not reached are the next run's.
  if (plat::StopRequested())
    SetExitCode(run, ExitCode::kStopped);
}

} // namespace

void SynchroniseDisk(JobRun &run) {
  const ArchiveJob &job = run.job;
  run.copyDir = plat::JoinPath(TargetPath(job), run.serialNumber);
  run.copyLog = LoggingClass(plat::JoinPath(run.copyDir, kLogFolderName).c_str(), "log");
  run.copyLog.toConsole = true;
  run.copyLog.toFile = true;
  run.copyLog.tag = CopyLabel(job);
  if (run.failed)
    return;

  // Nothing is written through a link or into what is no folder: not the
  // KE's directory, its quarantine or its logs.
  // A link has its own line; anything else where a folder should be is a
  // folder that cannot be made, with the system's reason.
  if (const auto unusable = UnusableFolder(run.copyDir)) {
    if (plat::TypeOf(*unusable) == plat::EntryType::kLink || plat::CreateOneDirectory(*unusable))
      run.errorLog.Log(msg::kNotAFolder + *unusable);
    else
      run.errorLog.Log(msg::kCannotCreateFolder + *unusable + plat::LastErrorSuffix());
    SetExitCode(run, ExitCode::kArchiveUnusable);
    run.failed = true;
    return;
  }
  if (!CreateDirectoryPath(run.copyDir)) {
    run.errorLog.Log(msg::kCannotCreateFolder + run.copyDir + plat::LastErrorSuffix());
    SetExitCode(run, ExitCode::kArchiveUnusable);
    run.failed = true;
    return;
  }
  // From here on the directory is the one held, whatever is put at its
  // path meanwhile (a link among them); so is its log folder.
  plat::Dir target;
  if (!target.Open(TargetPath(job), true) || !run.keDir.Open(target, run.serialNumber, false)) {
    run.errorLog.Log(msg::kNotAFolder + run.copyDir + plat::LastErrorSuffix());
    SetExitCode(run, ExitCode::kArchiveUnusable);
    run.failed = true;
    return;
  }
  // One writer at a time: a directory another writer keeps for the whole
  // wait is left to a later run.
  const DirectoryLock lock = LockKeDirectory(run.directoryLock, run.keDir, kLockWaitMs, nullptr);
  // A run stopped from outside leaves the directory as it is; the run says
  // why once.
  if (plat::StopRequested()) {
    SetExitCode(run, ExitCode::kStopped);
    run.failed = true;
    return;
  }
  if (lock != DirectoryLock::kTaken) {
    const bool busy = lock == DirectoryLock::kBusy;
    const std::string reason = busy ? std::string() : plat::LastErrorSuffix();
    run.errorLog.Log((busy ? msg::kDirectoryBusy : msg::kNotLockable) + run.copyDir + reason);
    SetExitCode(run, busy ? ExitCode::kKeUnavailable : ExitCode::kArchiveUnusable);
    run.failed = true;
    return;
  }
  if (!run.logDir.Open(run.keDir, kLogFolderName, true)) {
    run.errorLog.Log(msg::kNotAFolder + run.keDir.PathOf(kLogFolderName) + plat::LastErrorSuffix());
    SetExitCode(run, ExitCode::kArchiveUnusable);
    run.failed = true;
    return;
  }
  run.copyLog.folder = &run.logDir;
  CheckDisk(run);
  if (run.failed)
    return;

  DirInterpreterClass reader;
  TrimDirectory(run);
  // Every KE lists Z0000: a Directory without it was not read right, and
  // nothing it names is fetched.
  if (run.directoryLines.empty()) {
    run.copyLog.Log(msg::kKeEmpty);
    // Built piece by piece: GCC 12 warns falsely about one + chain here.
    std::string line = "<";
    line += CopyLabel(job);
    line += "> ";
    line += Printable(run.fiscalNumberCopy);
    line += msg::kDirectoryUnread;
    run.errorLog.Log(line);
    SetExitCode(run, ExitCode::kCheckFailed);
  } else {
    Transfer(run, reader);
  }
  // The KE's record, with this job's code, while the lock is still held.
  WriteKeRecord(run);
}

void SplitDirectory(const ByteBuffer &text, std::vector<std::string> &lines) {
  const char *bytes = text.Text();
  const int length = text.Length();
  int start = 0;
  while (start < length) {
    // The scan for LF starts at the line's second byte.
    int end = start + 1;
    while (end < length && bytes[end] != '\n')
      ++end;
    int count = end - start;
    if (count >= 2)
      --count;
    lines.emplace_back(bytes + start, static_cast<size_t>(count));
    start = end + 1;
  }
}

const DiskFile *FindOnDisk(JobRun &run, const std::string &diskName) {
  for (const DiskFile &file : run.diskFiles)
    if (file.name == diskName)
      return &file;
  return nullptr;
}

bool KeepsDiskCopy(JobRun &run, const KeFile &file) {
  const DiskFile *onDisk = FindOnDisk(run, file.diskName);
  return onDisk != nullptr && onDisk->size <= static_cast<uint64_t>(INT64_MAX) &&
         HoldsListedSize(static_cast<int64_t>(onDisk->size), file.number, file.size) &&
         (run.sums.Has(file.diskName) || !run.sums.Writable());
}

KeLine ParseKeFile(DirInterpreterClass &reader, const std::string &line, KeFile &file) {
  if (!ReadEntry(reader, line))
    return KeLine::kUnreadable;
  file.diskName = reader.entryName + "_" + reader.entryDate + ".ej";
  if (!IsSafeComponent(file.diskName))
    return KeLine::kUnsafeName;
  file.number = reader.fileNumber;
  file.size = reader.fileSize;
  return KeLine::kFile;
}

bool HoldsListedSize(int64_t length, int32_t number, int32_t size) {
  return number == 0 || length == static_cast<int64_t>(size) + 1;
}
