#include "platform/files.h"

#include <windows.h>

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

bool AppendAtomically(const std::string &path, const void *bytes, size_t count, bool noFollow) {
  (void)noFollow; // the fallback folder is no shared one on Windows
  // With FILE_APPEND_DATA (and no FILE_WRITE_DATA) every WriteFile lands at
  // the current end of the file. Windows makes that one indivisible append;
  // Wine computes the end and writes there in two steps, so concurrent writers
  // can overwrite each other's lines. An exclusive lock on a byte far past any
  // real end of file serialises the writers on both; the read right is only
  // there because locking needs read or write data access.
  HANDLE file = CreateFileA(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  OVERLAPPED lockAt = {};
  lockAt.Offset = 0xFFFFFFFE;
  lockAt.OffsetHigh = 0x7FFFFFFF;
  bool locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &lockAt) != 0;
  bool ok = WriteAll(file, bytes, count);
  if (locked)
    UnlockFileEx(file, 0, 1, 0, &lockAt);
  return CloseHandle(file) && ok;
}

bool WriteWholeFile(const std::string &path, const void *bytes, size_t count) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  bool ok = WriteAll(file, bytes, count) && FlushFileBuffers(file);
  return CloseHandle(file) && ok;
}

bool RenameReplace(const std::string &from, const std::string &to) {
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
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
    // Directories only when asked for; files come with their real attributes
    // (with or without the archive bit), the caller tests them.
    if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(mask & kAttrDirectory))
      continue;
    uint64_t size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    found.push_back(FoundFile{name, static_cast<uint32_t>(entry.dwFileAttributes), size});
  } while (FindNextFileA(search, &entry));
  FindClose(search);
  return found;
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
