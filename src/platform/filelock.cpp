// What the lock does alike on every platform: where its file is. Taking it
// (Take) is each platform's own.
#include "platform/files.h"

namespace plat {

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
