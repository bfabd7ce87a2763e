// The part of the file layer that is alike on every platform: the names
// Windows opens as a device, reading a whole file through the one reader,
// and where a lock's file is. Each platform's own part is in posix/ and
// win32/.
#include "platform/files.h"

#include <cctype>

namespace plat {

bool IsReservedDeviceName(const std::string &name) {
  // The stem: up to the first dot, without trailing blanks, in upper case.
  std::string stem = name.substr(0, name.find('.'));
  while (!stem.empty() && stem.back() == ' ')
    stem.pop_back();
  for (char &ch : stem)
    ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
  if (stem == "CON" || stem == "PRN" || stem == "AUX" || stem == "NUL" || stem == "CONIN$" || stem == "CONOUT$")
    return true;
  return stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) && stem[3] >= '0' &&
         stem[3] <= '9';
}

namespace {

// A whole file through read (one of the two ReadFileBlocks), into out; out
// is empty and the system's reason kept when the read fails.
bool ReadWhole(const std::function<bool(const BlockSink &)> &read, std::string &out) {
  out.clear();
  const bool ok = read([&](const uint8_t *bytes, size_t count) {
    out.append(reinterpret_cast<const char *>(bytes), count);
    return true;
  });
  if (!ok) {
    const KeptSystemError failure;
    out.clear();
  }
  return ok;
}

} // namespace

bool ReadWholeFile(const std::string &path, uint64_t maxBytes, std::string &out) {
  return ReadWhole([&](const BlockSink &take) { return ReadFileBlocks(path, maxBytes, take); }, out);
}

bool ReadWholeFile(const Dir &dir, const std::string &name, uint64_t maxBytes, std::string &out) {
  return ReadWhole([&](const BlockSink &take) { return ReadFileBlocks(dir, name, maxBytes, take); }, out);
}

FileLock::Try FileLock::TryLock(const std::string &path, bool sharedLock) {
  Release();
  folder = nullptr;
  name = path;
  shared = sharedLock;
  return Take(-1);
}

FileLock::Try FileLock::TryLock(const Dir &dir, const std::string &file, bool sharedLock) {
  Release();
  folder = &dir;
  name = file;
  shared = sharedLock;
  return Take(-1);
}

} // namespace plat
