// Brings the KE's directory on disk in line with the KE: damaged and foreign
// files go, files missing on disk or of the wrong size are fetched, and a
// fetched file is saved only when its end marker stands exactly at its end.
// A file is never changed in place: it is kept, deleted, or replaced whole.
#include <climits>
#include <string>
#include <vector>

#include "app/archmessages.h"
#include "app/archrun.h"
#include "app/modes.h"
#include "base/createdirectory.h"
#include "platform/clock.h"
#include "platform/files.h"

namespace {

constexpr int kAttempts = 3;
// File requests in a row that bring no byte at all before the transfer gives
// up: the KE (or the line to it) is gone, and every further request would
// only wait out its whole budget.
constexpr int kSilentFilesInARow = 3;
// The exit code of a run that left a KE file missing or unsaved on disk.
constexpr int32_t kFilesMissingCode = 7;

std::string Join(const std::string &dir, const std::string &name) {
  return dir + plat::PathSeparator() + name;
}

bool IsDigit(char ch) { return ch >= '0' && ch <= '9'; }

// An archive file as the disk check accepts it: exactly the archive
// attribute, Z and four digits, and the end marker of a KE file as its last
// byte (an empty file is damaged). Only the tail of the file is read.
bool IsValidArchiveFile(const std::string &dir, const plat::FoundFile &found) {
  if (found.attributes != plat::kAttrArchive)
    return false;
  const std::string &name = found.name;
  if (name.size() < 5 || !IsDigit(name[1]) || !IsDigit(name[2]) || !IsDigit(name[3]) || !IsDigit(name[4]))
    return false;
  std::vector<uint8_t> tail;
  uint64_t size = 0;
  if (!plat::ReadTail(Join(dir, name), 1, tail, size) || size == 0 || tail.empty())
    return false;
  return tail.back() == 0xFF || tail.back() == 0x1A;
}

} // namespace

void CheckDisk(JobRun &run) {
  std::vector<plat::FoundFile> found = plat::FindFiles(run.copyDir, "Z*.ej", plat::kAttrArchive);
  if (!found.empty()) {
    run.copyLog.Log(msg::kS1 + run.copyDir);
    for (const plat::FoundFile &entry : found) {
      if (IsValidArchiveFile(run.copyDir, entry)) {
        auto *file = new FileDirType;
        file->number = std::stoi(entry.name.substr(1, 4));
        file->name = entry.name;
        file->size = static_cast<int32_t>(static_cast<uint32_t>(entry.size));
        run.diskFiles.Add(file);
      } else if (plat::RemoveFile(Join(run.copyDir, entry.name))) {
        run.copyLog.Log(msg::kS2 + entry.name);
      } else {
        run.copyLog.Log(msg::kS2Failed + entry.name);
      }
    }
  }
  if (run.diskFiles.Count() == 0)
    run.copyLog.Log(msg::kS3);
}

// Drops the header before the line holding Z0000 and the memory figures
// after the last file line.
void TrimDirectory(JobRun &run, DirInterpreterClass &reader) {
  DynamicPtrArrayClass<std::string> &lines = run.directoryLines;
  while (lines.Count() > 0 && lines.At(0)->find("Z0000") == std::string::npos)
    lines.Delete(0);
  while (lines.Count() > 1 && lines.At(lines.HighIndex())->find(" Z") == std::string::npos) {
    try {
      reader.ParseCapacity(*lines.At(lines.HighIndex()));
    } catch (const DirConversionError &) {
      // A memory figure that is no number is only lost; it decides nothing.
    }
    lines.Delete(lines.HighIndex());
  }
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
// for an archive file, then renamed over the archive file. False leaves
// neither the temporary file nor a partial archive file behind.
bool SaveFetchedFile(const std::string &dir, const std::string &diskName, const iBuffer &data) {
  const std::string target = Join(dir, diskName);
  const std::string temporary = Join(dir, "~" + diskName + ".tmp");
  if (!plat::WriteWholeFile(temporary, data.Data(), static_cast<size_t>(data.Length()))) {
    plat::RemoveFile(temporary);
    return false;
  }
  if (!plat::RenameReplace(temporary, target)) {
    plat::RemoveFile(temporary);
    return false;
  }
  return true;
}

namespace {

// "Plik: <name><text>" to the KE's log, "Plik: <dir>\<name><text>" to the
// error log.
void LogFileFailure(JobRun &run, const std::string &diskName, const char *text) {
  run.copyLog.Log(msg::kFile + diskName + text);
  run.errorLog.Log(msg::kFile + Join(run.copyDir, diskName) + text);
}

const FileDirType *FindOnDisk(JobRun &run, const std::string &diskName) {
  for (int k = 0; k < run.diskFiles.Count(); ++k)
    if (run.diskFiles.At(k)->name == diskName)
      return run.diskFiles.At(k);
  return nullptr;
}

void Transfer(JobRun &run, DirInterpreterClass &reader) {
  VemoraCopyClass &copy = *run.copy;
  RecordPlan(run);
  copy.Close();
  plat::SleepMs(1000);
  copy.SetRequestDigits(0, 3);
  copy.port.byteWise = true;
  copy.EnsureOpen();
  run.copyLog.Log(msg::kT0);
  int retryBudget = kAttempts;
  int silentInARow = 0;
  bool filesMissing = false;

  for (int i = 0; i < run.directoryLines.Count(); ++i) {
    const std::string &line = *run.directoryLines.At(i);
    if (!ReadEntry(reader, line)) {
      run.copyLog.Log(msg::kBadLine + Printable(line));
      continue;
    }
    const std::string diskName = reader.entryName + "_" + reader.entryDate + ".ej";
    if (!IsSafeComponent(diskName)) {
      run.copyLog.Log(msg::kBadName + Printable(diskName));
      continue;
    }
    const int32_t fileNumber = reader.fileNumber;
    const int32_t fileSize = reader.fileSize;

    if (const FileDirType *onDisk = FindOnDisk(run, diskName)) {
      if (fileNumber == 0)
        continue;
      if (static_cast<int64_t>(onDisk->size) == static_cast<int64_t>(fileSize) + 1)
        continue;
      const std::string t1 = msg::kT1Size + Join(run.copyDir, onDisk->name) + msg::kT1Differs + diskName +
                             msg::kT1Deleted;
      run.copyLog.Log(t1);
      run.errorLog.Log(t1);
      if (!plat::RemoveFile(Join(run.copyDir, onDisk->name)))
        run.copyLog.Log(msg::kT1DeleteFailed + onDisk->name);
    }

    // Fetch; the same line again while a missing or misplaced end marker
    // leaves attempts in the budget shared by the whole transfer.
    for (;;) {
      run.response.Clear();
      RecordFileStart(run, diskName, fileSize);
      if (!copy.ReadFile(run.response, fileNumber)) {
        LogFileFailure(run, diskName, msg::kT5);
        RecordFileFailed(run);
        filesMissing = true;
        ++silentInARow;
        break;
      }
      silentInARow = 0;
      const int length = run.response.Length();
      const uint8_t *data = run.response.Data();
      const uint8_t endByte = copy.endByte;
      bool inner = false;
      for (int k = 0; k + 1 < length && !inner; ++k)
        inner = data[k] == endByte;
      const bool ended = length > 0 && data[length - 1] == endByte;
      // Bytes lost or added on the line leave the end marker in place; the
      // size the Directory lists tells (as it does for the disk copy later).
      const bool sizeWrong =
          fileNumber != 0 && static_cast<int64_t>(length) != static_cast<int64_t>(fileSize) + 1;
      if (!ended || inner || sizeWrong) {
        LogFileFailure(run, diskName, !ended ? msg::kT4 : inner ? msg::kT2 : msg::kSizeWrong);
        if (--retryBudget > 0)
          continue;
        retryBudget = kAttempts;
        RecordFileFailed(run);
        filesMissing = true;
        break;
      }
      if (SaveFetchedFile(run.copyDir, diskName, run.response)) {
        run.copyLog.Log(msg::kT3 + diskName);
        RecordFileSaved(run, run.response.Length());
      } else {
        LogFileFailure(run, diskName, msg::kWriteFailed);
        RecordFileFailed(run);
        filesMissing = true;
      }
      retryBudget = kAttempts;
      break;
    }
    if (silentInARow >= kSilentFilesInARow) {
      run.copyLog.Log(msg::kTransferStopped);
      run.errorLog.Log(run.copyDir + ": " + msg::kTransferStopped);
      break;
    }
  }
  copy.Close();
  // The logs tell which files are missing; the exit code must not say that
  // everything went well. A later run fetches them again.
  if (filesMissing)
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
  TrimDirectory(run, reader);
  if (run.directoryLines.Count() == 0) {
    run.copyLog.Log(msg::kE1);
    return;
  }
  Transfer(run, reader);
}

void SplitDirectory(const iBuffer &text, DynamicPtrArrayClass<std::string> &lines) {
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
    lines.Add(new std::string(bytes + start, static_cast<size_t>(count)));
    start = end + 1;
  }
}
