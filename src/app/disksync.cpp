// Brings the KE's directory on disk in line with the KE: damaged and foreign
// files go to the quarantine folder, files missing on disk or of the wrong
// size are fetched, and a fetched file is saved only when its end marker
// stands exactly at its end. A file is never changed in place and never
// deleted: it is kept, moved aside, or replaced whole. SHA256SUMS follows
// every file that comes or goes.
#include <algorithm>
#include <climits>
#include <string>
#include <vector>

#include "app/archmessages.h"
#include "app/archrun.h"
#include "app/checksums.h"
#include "app/modes.h"
#include "base/createdirectory.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/sha256.h"

namespace {

constexpr int kAttempts = 3;
// File requests in a row that bring no byte at all before the transfer gives
// up: the KE (or the line to it) is gone, and every further request would
// only wait out its whole budget.
constexpr int kSilentFilesInARow = 3;
// The exit code of a run that left a KE file missing or unsaved on disk, or
// its checksum unwritten.
constexpr int32_t kFilesMissingCode = 7;
// The pause between the Directory read and the first file request. The port
// was closed right after the Directory; the pause lets the KE finish what it
// still sends of it and the line go quiet before the port is reopened in
// byte-by-byte mode, so the first file request never meets the Directory's
// tail.
constexpr int kPauseBeforeTransferMs = 1000;

std::string Join(const std::string &dir, const std::string &name) {
  return dir + plat::PathSeparator() + name;
}

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// Entries that are never archive files and are never touched: directories,
// hidden and system entries.
bool IsLeftAlone(const plat::FoundFile &found) {
  return (found.attributes & (plat::kAttrDirectory | plat::kAttrHidden | plat::kAttrSystem)) != 0;
}

// An archive file as the disk check accepts it: a plain file named Z and
// four digits whose last byte is the end marker of a KE file (an empty file
// is damaged), whatever its archive, read-only, compressed, encrypted,
// not-indexed or offline bits say. Only the tail of the file is read.
bool IsValidArchiveFile(const std::string &dir, const plat::FoundFile &found) {
  const std::string &name = found.name;
  if (name.size() < 5 || !IsDigit(name[1]) || !IsDigit(name[2]) || !IsDigit(name[3]) || !IsDigit(name[4]))
    return false;
  std::vector<uint8_t> tail;
  uint64_t size = 0;
  if (!plat::ReadTail(Join(dir, name), 1, tail, size) || size == 0 || tail.empty())
    return false;
  return tail.back() == 0xFF || tail.back() == 0x1A;
}

// Moves a damaged disk file to the quarantine folder and logs where it went,
// after S2 when s2 is set (T1 is logged before the move). A file that cannot
// be moved stays, is logged, and is not fetched over in this run.
void MoveAside(JobRun &run, const std::string &name, bool s2) {
  const std::string movedTo = Quarantine(run.copyDir, name);
  if (movedTo.empty()) {
    run.copyLog.Log(msg::kNotMoved + name);
    run.errorLog.Log(msg::kNotMoved + Join(run.copyDir, name));
    run.keptDamaged.insert(name);
    return;
  }
  if (s2)
    run.copyLog.Log(msg::kS2 + name);
  run.copyLog.Log(msg::kMovedTo + movedTo);
  run.sums.Erase(name);
}

// Writes SHA256SUMS when it changed; a failure is logged and reported by the
// exit code.
void SaveSums(JobRun &run) {
  if (!run.sums.changed || run.sums.Save(run.copyDir))
    return;
  run.copyLog.Log(msg::kSumsFailed + run.copyDir);
  run.errorLog.Log(msg::kSumsFailed + run.copyDir);
  SetExitCode(run, kFilesMissingCode);
}

} // namespace

void CheckDisk(JobRun &run) {
  run.sums.Load(run.copyDir);
  std::vector<plat::FoundFile> found = plat::FindFiles(run.copyDir, "Z*.ej", plat::kAttrArchive);
  if (!found.empty())
    run.copyLog.Log(msg::kS1 + run.copyDir);
  for (const plat::FoundFile &entry : found) {
    if (IsLeftAlone(entry))
      continue;
    if (!IsValidArchiveFile(run.copyDir, entry)) {
      MoveAside(run, entry.name, true);
      continue;
    }
    FileDirType &file = run.diskFiles.emplace_back();
    file.number = std::stoi(entry.name.substr(1, 4));
    file.name = entry.name;
    file.size = static_cast<int32_t>(static_cast<uint32_t>(entry.size));
    // A file archived before the list existed, or copied in by hand, gets
    // its line once; later runs read only its tail.
    plat::FileDigest digest;
    if (!run.sums.Has(entry.name) && IsSafeComponent(entry.name) &&
        plat::Sha256File(Join(run.copyDir, entry.name), digest))
      run.sums.Set(entry.name, digest.digest);
  }
  if (run.diskFiles.empty())
    run.copyLog.Log(msg::kS3);
  SaveSums(run);
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

// Saves a fetched file: written whole under a name the disk check never takes
// for an archive file, then renamed over the archive file, and the rename
// made durable. False leaves neither the temporary file nor a partial
// archive file behind.
bool SaveFetchedFile(const std::string &dir, const std::string &diskName, const iBuffer &data) {
  const std::string target = Join(dir, diskName);
  const std::string temporary = Join(dir, "~" + diskName + ".tmp");
  if (!plat::ReplaceWhole(target, temporary, data.Data(), static_cast<size_t>(data.Length())))
    return false;
  plat::SyncDirectory(dir);
  return true;
}

namespace {

// What the transfer keeps from one file to the next.
struct TransferState {
  int retryBudget = kAttempts;
  int silentInARow = 0;
  bool filesMissing = false;
};

// "Plik: <name><text>" to the KE's log, "Plik: <dir>\<name><text>" to the
// error log.
void LogFileFailure(JobRun &run, const std::string &diskName, const char *text) {
  run.copyLog.Log(msg::kFile + diskName + text);
  run.errorLog.Log(msg::kFile + Join(run.copyDir, diskName) + text);
}

// A line as a KE file; false (and logged) for a line that names none or
// names no safe file.
bool ReadKeFile(JobRun &run, DirInterpreterClass &reader, const std::string &line, KeFile &file) {
  switch (ParseKeFile(reader, line, file)) {
  case KeLine::kFile:
    return true;
  case KeLine::kUnreadable:
    run.copyLog.Log(msg::kBadLine + Printable(line));
    return false;
  case KeLine::kUnsafeName:
    run.copyLog.Log(msg::kBadName + Printable(file.diskName));
    return false;
  }
  return false;
}

// Whether the KE file has to be fetched. A disk copy of the wrong size goes
// to the quarantine folder first (T1); file 0 has no size to compare.
bool NeedsFetch(JobRun &run, const KeFile &file) {
  if (run.keptDamaged.count(file.diskName) != 0)
    return true;
  const FileDirType *onDisk = FindOnDisk(run, file.diskName);
  if (onDisk == nullptr)
    return true;
  if (HoldsListedSize(static_cast<int64_t>(onDisk->size), file.number, file.size))
    return false;
  const std::string t1 =
      msg::kT1Size + Join(run.copyDir, onDisk->name) + msg::kT1Differs + file.diskName + msg::kT1Deleted;
  run.copyLog.Log(t1);
  run.errorLog.Log(t1);
  MoveAside(run, onDisk->name, false);
  return true;
}

// The check of fetched data: the failure text, or nullptr when the end
// marker stands at the end, nowhere before it, and the length is the listed
// size plus the marker.
const char *CheckFetched(const iBuffer &data, uint8_t endByte, const KeFile &file) {
  const int length = data.Length();
  const uint8_t *bytes = data.Data();
  if (length == 0 || bytes[length - 1] != endByte)
    return msg::kT4;
  for (int k = 0; k + 1 < length; ++k)
    if (bytes[k] == endByte)
      return msg::kT2;
  // Bytes lost or added on the line leave the end marker in place; the
  // size the Directory lists tells (as it does for the disk copy later).
  if (!HoldsListedSize(length, file.number, file.size))
    return msg::kSizeWrong;
  return nullptr;
}

// Saves checked data, gives it its checksum line, and only then logs T3.
void SaveFile(JobRun &run, const KeFile &file, TransferState &state) {
  if (!SaveFetchedFile(run.copyDir, file.diskName, run.response)) {
    LogFileFailure(run, file.diskName, msg::kWriteFailed);
    RecordFileFailed(run);
    state.filesMissing = true;
    return;
  }
  plat::Sha256 hash;
  plat::Sha256Digest digest;
  if (hash.Update(run.response.Data(), static_cast<size_t>(run.response.Length())) && hash.Finish(digest))
    run.sums.Set(file.diskName, digest);
  else
    run.sums.Erase(file.diskName);
  SaveSums(run);
  run.copyLog.Log(msg::kT3 + file.diskName);
  RecordFileSaved(run, run.response.Length());
}

// Fetches one KE file; the same file again while a missing or misplaced end
// marker leaves attempts in the budget shared by the whole transfer.
void FetchFile(JobRun &run, const KeFile &file, TransferState &state) {
  VemoraCopyClass &copy = *run.copy;
  for (;;) {
    run.response.Clear();
    RecordFileStart(run, file.diskName, file.size);
    if (!copy.ReadFile(run.response, file.number)) {
      LogFileFailure(run, file.diskName, msg::kT5);
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

void Transfer(JobRun &run, DirInterpreterClass &reader) {
  VemoraCopyClass &copy = *run.copy;
  RecordPlan(run);
  copy.Close();
  plat::SleepMs(kPauseBeforeTransferMs);
  copy.SetRequestDigits(0, 3);
  copy.port.byteWise = true;
  copy.EnsureOpen();
  run.copyLog.Log(msg::kT0);
  TransferState state;

  for (const std::string &line : run.directoryLines) {
    KeFile file;
    if (!ReadKeFile(run, reader, line, file) || !NeedsFetch(run, file))
      continue;
    if (run.keptDamaged.count(file.diskName) != 0) {
      LogFileFailure(run, file.diskName, msg::kNotFetchedOver);
      RecordFileFailed(run);
      state.filesMissing = true;
      continue;
    }
    FetchFile(run, file, state);
    if (state.silentInARow >= kSilentFilesInARow) {
      run.copyLog.Log(msg::kTransferStopped);
      run.errorLog.Log(run.copyDir + ": " + msg::kTransferStopped);
      break;
    }
  }
  copy.Close();
  // The logs tell which files are missing; the exit code must not say that
  // everything went well. A later run fetches them again.
  if (state.filesMissing)
    SetExitCode(run, kFilesMissingCode);
}

} // namespace

void SynchroniseDisk(JobRun &run) {
  const archType &job = run.job;
  run.copyDir = Join(TargetPath(job), run.serialNumber);
  run.copyLog = LoggingClass(Join(run.copyDir, "log").c_str(), "log");
  run.copyLog.toConsole = true;
  run.copyLog.toFile = true;
  run.copyLog.tag = CopyLabel(job);
  if (run.failed)
    return;

  if (!CreateDirectoryPath(run.copyDir)) {
    run.errorLog.Log(msg::kC1 + run.copyDir);
    SetExitCode(run, 5);
    run.failed = true;
    return;
  }
  CheckDisk(run);

  DirInterpreterClass reader;
  TrimDirectory(run);
  if (run.directoryLines.empty()) {
    run.copyLog.Log(msg::kE1);
    return;
  }
  Transfer(run, reader);
}

void SplitDirectory(const iBuffer &text, std::vector<std::string> &lines) {
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

const FileDirType *FindOnDisk(JobRun &run, const std::string &diskName) {
  for (const FileDirType &file : run.diskFiles)
    if (file.name == diskName)
      return &file;
  return nullptr;
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
