#include "platform/files.h"
#include "platform/win32/reparse.h"

#include <windows.h>
// windows.h first: bcrypt.h and sddl.h need its types.
#include <bcrypt.h>
#include <sddl.h>

#include <cctype>
#include <chrono>
#include <memory>

namespace plat {

namespace {

// Writes count bytes; done gets how many went. A write that takes no byte
// fails (with the reason of a full disk when the system gives none).
bool WriteAll(HANDLE file, const void *bytes, size_t count, size_t *done = nullptr) {
  const auto *p = static_cast<const char *>(bytes);
  size_t went = 0;
  bool ok = true;
  while (ok && went < count) {
    const size_t left = count - went;
    DWORD chunk = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
    DWORD written = 0;
    ok = WriteFile(file, p + went, chunk, &written, nullptr) != 0;
    if (ok && written == 0) {
      SetLastError(ERROR_DISK_FULL);
      ok = false;
    }
    went += written;
  }
  if (done != nullptr)
    *done = went;
  return ok;
}

// Only a reparse point that stands for another name (a symbolic link, a
// junction) is a link. Others (deduplication, cloud files, compression)
// hold the file's own data and are ordinary entries.
bool IsNameSurrogate(DWORD attributes, DWORD tag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 && IsReparseTagNameSurrogate(tag);
}

// The reparse tag of the entry at path, the entry not followed; one whose
// tag cannot be read counts as a link's (it is never followed).
DWORD ReparseTagAt(const std::string &path, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return 0;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(path.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE)
    return IO_REPARSE_TAG_SYMLINK;
  FindClose(search);
  return entry.dwReserved0;
}

// Whether the handle's own entry is a link (a name-surrogate reparse point).
bool HandleIsLink(HANDLE file, DWORD attributes) {
  if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  FILE_ATTRIBUTE_TAG_INFO tag = {};
  if (!GetFileInformationByHandleEx(file, FileAttributeTagInfo, &tag, sizeof tag))
    return true;
  return IsNameSurrogate(tag.FileAttributes, tag.ReparseTag);
}

// Names Windows opens as a device whatever folder they are in (with or
// without an extension), and the device namespace.
bool IsDeviceName(const std::string &path) {
  if (path.rfind("\\\\.\\", 0) == 0)
    return true;
  const size_t start = path.find_last_of("\\/:");
  return IsReservedDeviceName(path.substr(start == std::string::npos ? 0 : start + 1));
}

// Opens path without following a link; a link, a directory or no disk file
// (a device) is closed again and refused. A reparse point that is no link
// (a deduplicated or cloud file) is opened again through its filter, which
// gives the file's data. links gets the entry's number of names.
HANDLE OpenNoFollow(const std::string &path, DWORD access, DWORD disposition,
                    DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    SECURITY_ATTRIBUTES *security = nullptr, DWORD *links = nullptr, DWORD flags = 0) {
  if (IsDeviceName(path)) {
    SetLastError(ERROR_INVALID_FUNCTION);
    return INVALID_HANDLE_VALUE;
  }
  HANDLE file = CreateFileA(path.c_str(), access, share, security, disposition,
                            FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT | flags, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return file;
  BY_HANDLE_FILE_INFORMATION info;
  DWORD failure = ERROR_SUCCESS;
  if (GetFileType(file) != FILE_TYPE_DISK)
    failure = ERROR_INVALID_FUNCTION;
  else if (!GetFileInformationByHandle(file, &info))
    failure = GetLastError();
  else if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
    failure = ERROR_ACCESS_DENIED;
  else if (HandleIsLink(file, info.dwFileAttributes))
    failure = ERROR_CANT_RESOLVE_FILENAME;
  if (failure != ERROR_SUCCESS) {
    CloseHandle(file);
    SetLastError(failure);
    return INVALID_HANDLE_VALUE;
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    CloseHandle(file);
    file = CreateFileA(path.c_str(), access, share, security, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | flags, nullptr);
    if (file == INVALID_HANDLE_VALUE)
      return file;
  }
  if (links != nullptr)
    *links = info.nNumberOfLinks;
  return file;
}

// The one way a file is read: no link followed, a disk file only; other
// readers and the rename of a list over it are never kept out.
bool ReadBlocksOf(const std::string &path, uint64_t maxBytes, const BlockSink &take) {
  HANDLE file = OpenNoFollow(path, GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, nullptr, FILE_FLAG_SEQUENTIAL_SCAN);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  // One block per thread, left uninitialised: only the pages a read fills
  // become resident.
  constexpr size_t kBlock = 1 << 20;
  static thread_local std::unique_ptr<uint8_t[]> block(new uint8_t[kBlock]);
  LARGE_INTEGER size;
  DWORD failure = !GetFileSizeEx(file, &size) ? GetLastError()
                  : static_cast<uint64_t>(size.QuadPart) > maxBytes ? ERROR_FILE_TOO_LARGE
                                                                   : ERROR_SUCCESS;
  for (uint64_t total = 0; failure == ERROR_SUCCESS;) {
    DWORD n = 0;
    if (!ReadFile(file, block.get(), static_cast<DWORD>(kBlock), &n, nullptr)) {
      failure = GetLastError();
      break;
    }
    if (n == 0)
      break;
    total += n;
    if (total > maxBytes)
      failure = ERROR_FILE_TOO_LARGE;
    else if (!take(block.get(), n))
      failure = GetLastError() != ERROR_SUCCESS ? GetLastError() : ERROR_READ_FAULT;
  }
  CloseHandle(file);
  SetLastError(failure);
  return failure == ERROR_SUCCESS;
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

EntryType EntryTypeOfAttributes(DWORD attributes, DWORD reparseTag) {
  if (IsNameSurrogate(attributes, reparseTag))
    return EntryType::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY)
    return EntryType::kDirectory;
  if (attributes & FILE_ATTRIBUTE_DEVICE)
    return EntryType::kOther;
  return EntryType::kFile;
}

DWORD SearchAttributes(DWORD attributes, DWORD reparseTag) {
  return IsNameSurrogate(attributes, reparseTag) ? attributes
                                                 : attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_REPARSE_POINT);
}

EntryType TypeOf(const std::string &path) {
  if (path.empty())
    return EntryType::kNone;
  if (IsDeviceName(path))
    return EntryType::kOther;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES)
    return EntryType::kNone;
  return EntryTypeOfAttributes(attributes, ReparseTagAt(path, attributes));
}

bool AppendAtomically(const std::string &path, const void *bytes, size_t count, bool sync) {
  // With FILE_APPEND_DATA (and no FILE_WRITE_DATA) every WriteFile lands at
  // the current end of the file. Windows makes that one indivisible append;
  // Wine computes the end and writes there in two steps, so concurrent writers
  // can overwrite each other's lines. A lock on a byte far past any real end
  // of file serialises this program's writers on both; it is only tried,
  // for a bounded time, so a reader holding it never stops a writer. The
  // read right is there because locking needs read or write data access.
  HANDLE file = OpenNoFollow(path, FILE_APPEND_DATA | FILE_READ_DATA | SYNCHRONIZE, OPEN_ALWAYS);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  OVERLAPPED lockAt = {};
  lockAt.Offset = 0xFFFFFFFE;
  lockAt.OffsetHigh = 0x7FFFFFFF;
  const auto giveUp = std::chrono::steady_clock::now() + std::chrono::milliseconds(2000);
  bool locked = false;
  while (!(locked = LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &lockAt) != 0) &&
         std::chrono::steady_clock::now() < giveUp)
    Sleep(5);
  LARGE_INTEGER before = {};
  const bool sized = GetFileSizeEx(file, &before) != 0;
  size_t written = 0;
  DWORD failure = WriteAll(file, bytes, count, &written) ? ERROR_SUCCESS : GetLastError();
  if (failure != ERROR_SUCCESS && written > 0 && sized) {
    // A write cut short (a full disk) is taken back: the file ends where it
    // ended before, so no torn line stays on disk; cut only while nobody
    // appended after the bytes that went.
    LARGE_INTEGER now = {};
    HANDLE cut = OpenNoFollow(path, GENERIC_WRITE, OPEN_EXISTING);
    if (cut != INVALID_HANDLE_VALUE) {
      if (GetFileSizeEx(cut, &now) && now.QuadPart == before.QuadPart + static_cast<LONGLONG>(written) &&
          SetFilePointerEx(cut, before, nullptr, FILE_BEGIN))
        SetEndOfFile(cut);
      CloseHandle(cut);
    }
  }
  if (failure == ERROR_SUCCESS && sync && !FlushFileBuffers(file))
    failure = GetLastError();
  if (locked)
    UnlockFileEx(file, 0, 1, 0, &lockAt);
  if (!CloseHandle(file) && failure == ERROR_SUCCESS)
    failure = GetLastError();
  SetLastError(failure);
  return failure == ERROR_SUCCESS;
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
  DWORD failure = WriteAll(file, bytes, count) && FlushFileBuffers(file) ? ERROR_SUCCESS : GetLastError();
  if (!CloseHandle(file) && failure == ERROR_SUCCESS)
    failure = GetLastError();
  const EntryType now = failure == ERROR_SUCCESS ? TypeOf(path) : EntryType::kNone;
  if (now == EntryType::kDirectory || now == EntryType::kOther)
    failure = now == EntryType::kOther ? ERROR_INVALID_FUNCTION : ERROR_ACCESS_DENIED;
  const DWORD attributes = GetFileAttributesA(path.c_str());
  // A link to a directory (a junction) cannot be renamed over: it goes
  // first, its target untouched. A read-only file is replaced all the same
  // (the bit is the old file's; the new one is written by this program).
  if (failure == ERROR_SUCCESS && now == EntryType::kLink && (attributes & FILE_ATTRIBUTE_DIRECTORY) &&
      !RemoveDirectoryA(path.c_str()))
    failure = GetLastError();
  if (failure == ERROR_SUCCESS && now == EntryType::kFile && (attributes & FILE_ATTRIBUTE_READONLY) &&
      !SetFileAttributesA(path.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY))
    failure = GetLastError();
  if (failure == ERROR_SUCCESS &&
      !MoveFileExA(temporary.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
    failure = GetLastError();
  if (failure != ERROR_SUCCESS) {
    DeleteFileA(temporary.c_str());
    SetLastError(failure);
  }
  return failure == ERROR_SUCCESS;
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
  HANDLE file = OpenNoFollow(path, GENERIC_READ, OPEN_EXISTING);
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
      if (!ReadFile(file, tail.data() + got, static_cast<DWORD>(want - got), &n, nullptr) || n == 0) {
        if (n == 0 && GetLastError() == ERROR_SUCCESS)
          SetLastError(ERROR_HANDLE_EOF);
        ok = false;
      }
      got += n;
    }
    if (!ok)
      tail.clear();
  }
  const KeptSystemError failure;
  CloseHandle(file);
  return ok;
}

namespace {

// The directory search; false (the reason kept) when dir cannot be listed.
bool ListOf(const std::string &dir, const std::string &pattern, uint32_t mask, std::vector<FoundFile> &found) {
  found.clear();
  std::string query = dir.empty() ? pattern : dir + "\\" + pattern;
  WIN32_FIND_DATAA entry;
  HANDLE search = FindFirstFileA(query.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_FILE_NOT_FOUND || GetLastError() == ERROR_NO_MORE_FILES;
  do {
    std::string name = entry.cFileName;
    if (name == "." || name == "..")
      continue;
    // Only a name surrogate is a link (kAttrLink); another reparse point is
    // the file it holds.
    const DWORD attributes = SearchAttributes(entry.dwFileAttributes, entry.dwReserved0);
    // Directories only when asked for (a link always); files come with
    // their real attributes (with or without the archive bit), the caller
    // tests them.
    if ((attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_DIRECTORY &&
        !(mask & kAttrDirectory))
      continue;
    uint64_t size = (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    found.push_back(FoundFile{name, static_cast<uint32_t>(attributes), size});
  } while (FindNextFileA(search, &entry));
  const DWORD failure = GetLastError();
  FindClose(search);
  SetLastError(failure == ERROR_NO_MORE_FILES ? ERROR_SUCCESS : failure);
  return failure == ERROR_NO_MORE_FILES;
}

} // namespace

std::vector<FoundFile> FindFiles(const std::string &dir, const std::string &pattern, uint32_t mask) {
  std::vector<FoundFile> found;
  ListOf(dir, pattern, mask, found);
  return found;
}

bool ReadFileBlocks(const std::string &path, uint64_t maxBytes, const BlockSink &take) {
  return ReadBlocksOf(path, maxBytes, take);
}
bool ReadFileBlocks(const Dir &dir, const std::string &name, uint64_t maxBytes, const BlockSink &take) {
  return ReadBlocksOf(dir.PathOf(name), maxBytes, take);
}

// The folder is held without FILE_SHARE_DELETE: while this handle is open
// nobody renames, removes or replaces it, so its path keeps naming it and
// the calls below may use the path.
bool Dir::Open(const std::string &folder, bool followLink) {
  Close();
  HANDLE dir = CreateFileA(folder.empty() ? "." : folder.c_str(), FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS | (followLink ? 0 : FILE_FLAG_OPEN_REPARSE_POINT), nullptr);
  if (dir == INVALID_HANDLE_VALUE)
    return false;
  BY_HANDLE_FILE_INFORMATION info;
  DWORD failure = ERROR_SUCCESS;
  if (!GetFileInformationByHandle(dir, &info))
    failure = GetLastError();
  else if (!(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
    failure = ERROR_DIRECTORY;
  else if (HandleIsLink(dir, info.dwFileAttributes))
    failure = ERROR_CANT_RESOLVE_FILENAME;
  if (failure != ERROR_SUCCESS) {
    CloseHandle(dir);
    SetLastError(failure);
    return false;
  }
  handle = reinterpret_cast<intptr_t>(dir);
  path = folder;
  return true;
}

bool Dir::Open(const Dir &parent, const std::string &name, bool create) {
  Close();
  const std::string folder = parent.PathOf(name);
  if (create && !CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
    return false;
  return Open(folder);
}

void Dir::Close() {
  if (handle != -1)
    CloseHandle(reinterpret_cast<HANDLE>(handle));
  handle = -1;
}

EntryType Dir::TypeOf(const std::string &name) const { return plat::TypeOf(PathOf(name)); }
bool Dir::List(const std::string &pattern, uint32_t mask, std::vector<FoundFile> &found) const {
  return ListOf(path, pattern, mask, found);
}
bool Dir::Remove(const std::string &name) const { return DeleteFileA(PathOf(name).c_str()) != 0; }
bool Dir::RenameNoReplace(const std::string &name, const Dir &into, const std::string &to) const {
  return MoveFileExA(PathOf(name).c_str(), into.PathOf(to).c_str(), MOVEFILE_WRITE_THROUGH) != 0;
}
bool Dir::PutInPlace(const std::string &name, const void *bytes, size_t count) const {
  return plat::PutInPlace(PathOf(name), bytes, count);
}
bool Dir::AppendAtomically(const std::string &name, const void *bytes, size_t count, bool sync) const {
  return plat::AppendAtomically(PathOf(name), bytes, count, sync);
}
bool Dir::ReadTail(const std::string &name, size_t count, std::vector<uint8_t> &tail, uint64_t &size) const {
  return plat::ReadTail(PathOf(name), count, tail, size);
}
void Dir::Sync() const {}

FileLock::Try FileLock::Take(intptr_t) {
  // Made for SYSTEM and the Administrators only, opened for writing and
  // without FILE_SHARE_DELETE: a user who may only read cannot hold it, and
  // nobody removes or replaces it while it is held.
  SECURITY_ATTRIBUTES security = {sizeof security, nullptr, FALSE};
  ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;FA;;;SY)(A;;FA;;;BA)", SDDL_REVISION_1,
                                                       &security.lpSecurityDescriptor, nullptr);
  DWORD links = 0;
  // A reader's shared lock only opens one that is there, for reading.
  HANDLE file = OpenNoFollow(folder != nullptr ? folder->PathOf(name) : name,
                             shared ? GENERIC_READ : GENERIC_READ | GENERIC_WRITE, shared ? OPEN_EXISTING : OPEN_ALWAYS,
                             FILE_SHARE_READ | FILE_SHARE_WRITE, &security, &links);
  const DWORD opened = GetLastError();
  LocalFree(security.lpSecurityDescriptor);
  SetLastError(opened);
  if (file != INVALID_HANDLE_VALUE && links > 1) {
    CloseHandle(file);
    SetLastError(ERROR_TOO_MANY_LINKS);
    return Try::kFailed;
  }
  if (file == INVALID_HANDLE_VALUE)
    return GetLastError() == ERROR_SHARING_VIOLATION ? Try::kHeld : Try::kFailed;
  OVERLAPPED at = {};
  if (!LockFileEx(file, (shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK) | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD failure = GetLastError();
    CloseHandle(file);
    SetLastError(failure);
    return failure == ERROR_LOCK_VIOLATION || failure == ERROR_IO_PENDING ? Try::kHeld : Try::kFailed;
  }
  handle = reinterpret_cast<intptr_t>(file);
  return Try::kTaken;
}

// Held without FILE_SHARE_DELETE, the lock file cannot go while it is held.
bool FileLock::StillHeld() const { return handle != -1; }

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

std::string SystemLogDirectory() {
  char data[MAX_PATH + 1];
  const DWORD n = GetEnvironmentVariableA("ProgramData", data, sizeof data);
  return (n == 0 || n > MAX_PATH ? std::string("C:\\ProgramData") : std::string(data, n)) + "\\Zarvik";
}

std::string DiscoveryErrorFile() { return "c:error.txt"; }
std::string DefaultReportFile() { return "c:\\test.txt"; }

} // namespace plat
