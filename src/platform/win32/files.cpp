#include "platform/files.h"

#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

#include <cctype>

namespace plat {

namespace {

bool WriteAll(HANDLE file, const void *bytes, size_t count) {
  const auto *p = static_cast<const char *>(bytes);
  while (count > 0) {
    DWORD chunk = count > 0x40000000 ? 0x40000000 : static_cast<DWORD>(count);
    DWORD written = 0;
    if (!WriteFile(file, p, chunk, &written, nullptr) || written == 0)
      return false;
    p += written;
    count -= written;
  }
  return true;
}

// Names Windows opens as a device whatever folder they are in (with or
// without an extension), and the device namespace.
bool IsDeviceName(const std::string &path) {
  if (path.rfind("\\\\.\\", 0) == 0)
    return true;
  const size_t start = path.find_last_of("\\/:");
  std::string stem = path.substr(start == std::string::npos ? 0 : start + 1);
  stem = stem.substr(0, stem.find('.'));
  while (!stem.empty() && stem.back() == ' ')
    stem.pop_back();
  for (char &ch : stem)
    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
    return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
         stem[3] <= '9';
}

// Opens path without following a reparse point; one that is a reparse point,
// a directory or no disk file (a device) is closed again and refused.
HANDLE OpenNoFollow(const std::string &path, DWORD access, DWORD disposition) {
  if (IsDeviceName(path))
    return INVALID_HANDLE_VALUE;
  HANDLE file = CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            disposition, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return file;
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    CloseHandle(file);
    return INVALID_HANDLE_VALUE;
  }
  return file;
}

} // namespace

char PathSeparator() { return '\\'; }

bool DirectoryExists(const std::string &path) {
  if (path.empty())
    return false;
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryListable(const std::string &path) {
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE)
    return false;
  FindClose(search);
  return true;
}

PathStart PathStartOf(const std::vector<std::string> &parts) {
  const std::string &first = parts.empty() ? std::string() : parts[0];
  if (first.size() >= 2 && first[0] != 0 && static_cast<unsigned char>(first[0]) < 0x80 && first[1] == ':')
    return {1, first, false};
  if (parts.size() > 2 && first.empty() && parts[1].empty() && !parts[2].empty())
    return {3, "\\\\" + parts[2], true};
  if (parts.size() > 1 && first.empty() && !parts[1].empty())
    return {2, "\\" + parts[1], true};
  return {};
}

bool CreateOneDirectory(const std::string &path) {
  return CreateDirectoryA(path.c_str(), nullptr) != 0 ||
         (GetLastError() == ERROR_ALREADY_EXISTS && DirectoryExists(path));
}

EntryType TypeOf(const std::string &path) {
  if (path.empty())
    return EntryType::kNone;
  if (IsDeviceName(path))
    return EntryType::kOther;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return EntryType::kNone;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
    return EntryType::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return EntryType::kDirectory;
  if (attributes & FILE_ATTRIBUTE_DEVICE)
    return EntryType::kOther;
  return EntryType::kFile;
}

bool AppendAtomically(const std::string &path, const void *bytes, size_t count, bool sync) {
  // With FILE_APPEND_DATA (and no FILE_WRITE_DATA) every WriteFile lands at
  // the current end of the file. Windows makes that one indivisible append;
  // Wine computes the end and writes there in two steps, so concurrent writers
  // can overwrite each other's lines. An exclusive lock on a byte far past any
  // real end of file serialises the writers on both; the read right is only
  // there because locking needs read or write data access.
  HANDLE file = OpenNoFollow(path, FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE, OPEN_ALWAYS);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  OVERLAPPED lockAt = {};
  lockAt.Offset = 0xFFFFFFFE;
  lockAt.OffsetHigh = 0x7FFFFFFF;
  bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) != 0;
  bool ok = WriteAll(file, bytes, count) && (!sync || FlushFileBuffers(file));
  if (locked)
    UnlockFileEx(file, 0, 1, 0, &lockAt);
  return CloseHandle(file) && ok;
}

bool PutInPlace(const std::string &path, const void *bytes, size_t count) {
  const EntryType type = TypeOf(path);
  if (type == EntryType::kDirectory || type == EntryType::kOther || path.empty()) {
    SetLastError(type == EntryType::kOther ? ERROR_INVALID_FUNCTION : ERROR_ACCESS_DENIED);
    return false;
  }
  const size_t cut = path.find_last_of("\\/:");
  const std::string folder = cut == std::string::npos ? std::string() : path.substr(0, cut + 1);
  const std::string name = path.substr(folder.size());
  if (name.empty())
    return false;
  std::string temporary;
  HANDLE file = INVALID_HANDLE_VALUE;
  // CREATE_NEW never opens what is there, a link included: a taken name is
  // passed over for the next random one.
  for (int attempt = 0; file == INVALID_HANDLE_VALUE && attempt < 8; ++attempt) {
    uint64_t random = 0;
    if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&random), sizeof random, BCRYPT_USE_SYSTEM_PREFERRED_RNG) != 0)
      random = (static_cast<uint64_t>(GetTickCount64()) << 20) ^ GetCurrentProcessId() ^ static_cast<uint64_t>(attempt);
    temporary = folder + TemporaryName(name, random);
    file = CreateFileA(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS && GetLastError() != ERROR_ALREADY_EXISTS)
      return false;
  }
  if (file == INVALID_HANDLE_VALUE)
    return false;
  bool ok = WriteAll(file, bytes, count) && FlushFileBuffers(file);
  ok = CloseHandle(file) && ok;
  const EntryType now = TypeOf(path);
  ok = ok && now != EntryType::kDirectory && now != EntryType::kOther;
  // A link to a directory (a junction) cannot be renamed over: it goes
  // first, its target untouched.
  if (ok && now == EntryType::kLink && (GetFileAttributesA(path.c_str()) & FILE_ATTRIBUTE_DIRECTORY))
    ok = RemoveDirectoryA(path.c_str()) != 0;
  ok = ok && MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
  if (!ok) {
    const KeptSystemError failure;
    DeleteFileA(temporary.c_str());
  }
  return ok;
}

bool RemoveFile(const std::string &path) { return DeleteFileA(path.c_str()) != 0; }

bool RenameNoReplace(const std::string &from, const std::string &to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}

void SyncDirectory(const std::string &) {}

bool FileExists(const std::string &path) {
  DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool ReadWholeFile(const std::string &path, uint64_t maxBytes, std::vector<uint8_t> &out, std::string &error) {
  out.clear();
  error.clear();
  // No reparse point followed; a pipe or device name is refused unopened.
  DWORD failure = IsDeviceName(path) ? ERROR_INVALID_PARAMETER : 0;
  HANDLE file = INVALID_HANDLE_VALUE;
  if (failure == 0) {
    file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      failure = GetLastError();
  }
  BY_HANDLE_FILE_INFORMATION info;
  if (failure == 0 && (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)))
    failure = ERROR_INVALID_PARAMETER;
  else if (failure == 0 && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    failure = ERROR_DIRECTORY;
  else if (failure == 0 && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    failure = ERROR_CANT_ACCESS_FILE;
  else if (failure == 0 && ((static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow) > maxBytes)
    failure = ERROR_FILE_TOO_LARGE;
  // Read to the end, not to the size seen: a file that grew past the bound
  // is refused all the same.
  std::vector<uint8_t> chunk(65536);
  while (failure == 0) {
    DWORD n = 0;
    if (!ReadFile(file, chunk.data(), static_cast<DWORD>(chunk.size()), &n, nullptr))
      failure = GetLastError();
    else if (n == 0)
      break;
    else if (out.size() + n > maxBytes)
      failure = ERROR_FILE_TOO_LARGE;
    else
      out.insert(out.end(), chunk.begin(), chunk.begin() + n);
  }
  if (file != INVALID_HANDLE_VALUE)
    CloseHandle(file);
  if (failure != 0) {
    out.clear();
    error = SystemErrorText(failure);
    SetLastError(failure);
  }
  return failure == 0;
}

bool ReadTail(const std::string &path, size_t count, std::vector<uint8_t> &tail, uint64_t &size) {
  tail.clear();
  size = 0;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  LARGE_INTEGER fileSize;
  bool ok = GetFileSizeEx(file, &fileSize) != 0;
  if (ok) {
    size = static_cast<uint64_t>(fileSize.QuadPart);
    size_t want = size < count ? static_cast<size_t>(size) : count;
    LARGE_INTEGER at;
    at.QuadPart = static_cast<LONGLONG>(size - want);
    tail.resize(want);
    ok = SetFilePointerEx(file, at, nullptr, FILE_BEGIN) != 0;
    size_t got = 0;
    while (ok && got < want) {
      DWORD n = 0;
      if (!ReadFile(file, tail.data() + got, static_cast<DWORD>(want - got), &n, nullptr) || n == 0)
        ok = false;
      got += n;
    }
    if (!ok)
      tail.clear();
  }
  CloseHandle(file);
  return ok;
}

std::vector<FoundFile> FindFiles(const std::string &dir, const std::string &pattern, uint32_t mask) {
  std::vector<FoundFile> found;
  std::string query = dir.empty() ? pattern : dir + "\\" + pattern;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(query.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE)
    return found;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..")
      continue;
    // Directories only when asked for (a reparse point always: it is a
    // link); files come with their real attributes (with or without the
    // archive bit), the caller tests them.
    if ((entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) ==
            FILE_ATTRIBUTE_DIRECTORY &&
        !(mask & kAttrDirectory))
      continue;
    uint64_t size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    found.push_back(FoundFile{name, static_cast<uint32_t>(entry.dwFileAttributes), size});
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return found;
}

FileLock::Try FileLock::TryLock(const std::string &path, bool shared) {
  Release();
  HANDLE file = shared ? OpenNoFollow(path, GENERIC_READ, OPEN_EXISTING)
                       : OpenNoFollow(path, GENERIC_READ | GENERIC_WRITE, OPEN_ALWAYS);
  if (!shared && file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_ACCESS_DENIED)
    file = OpenNoFollow(path, GENERIC_READ, OPEN_EXISTING);
  if (file == INVALID_HANDLE_VALUE)
    return Try::kFailed;
  OVERLAPPED at = {};
  if (!LockFileEx(file, (shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK) | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const bool held = GetLastError() == ERROR_LOCK_VIOLATION || GetLastError() == ERROR_IO_PENDING;
    CloseHandle(file);
    return held ? Try::kHeld : Try::kFailed;
  }
  handle = reinterpret_cast<intptr_t>(file);
  return Try::kTaken;
}

void FileLock::Release() {
  if (handle != -1)
    CloseHandle(reinterpret_cast<HANDLE>(handle));
  handle = -1;
}

std::string CurrentDirectory() {
  char path[MAX_PATH + 1];
  DWORD n = GetCurrentDirectoryA(sizeof path, path);
  if (n == 0 || n > MAX_PATH)
    return ".";
  return std::string(path, n);
}

std::string AbsolutePath(const std::string &path) {
  char full[MAX_PATH + 1];
  DWORD n = GetFullPathNameA(path.empty() ? "." : path.c_str(), sizeof full, full, nullptr);
  if (n == 0 || n > MAX_PATH)
    return path;
  return std::string(full, n);
}

std::string TempDirectory() {
  char path[MAX_PATH + 2];
  DWORD n = GetTempPathA(sizeof path, path);
  if (n == 0 || n > MAX_PATH + 1)
    return ".";
  std::string dir(path, n);
  while (dir.size() > 3 && dir.back() == '\\')
    dir.pop_back();
  return dir;
}

std::string DefaultLogDirectory() { return "d:\\vemora_log"; }

// The fallback lowers the first character of the path by one: the drive
// letter d becomes c (whatever the first character is).
std::string FallbackLogDirectory(const std::string &dir) {
  std::string lowered = dir;
  if (!lowered.empty())
    lowered[0] = static_cast<char>(lowered[0] - 1);
  return lowered;
}

bool PrepareFallbackLogDirectory(const std::string &path) { return CreateOneDirectory(path); }

std::string DiscoveryErrorFile() { return "c:error.txt"; }
std::string DefaultReportFile() { return "c:\\test.txt"; }

} // namespace plat
