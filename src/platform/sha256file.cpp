#include "platform/files.h"
#include "platform/sha256.h"

namespace plat {

namespace {

bool Digest(const Dir *dir, const std::string &name, FileDigest &result) {
  result = FileDigest{};
  Sha256 hash;
  const BlockSink take = [&](const uint8_t *bytes, size_t count) {
    result.size += count;
    result.lastByte = bytes[count - 1];
    return hash.Update(bytes, count);
  };
  const bool read = dir != nullptr ? ReadFileBlocks(*dir, name, UINT64_MAX, take) : ReadFileBlocks(name, UINT64_MAX, take);
  return read && hash.Finish(result.digest);
}

} // namespace

bool Sha256File(const std::string &path, FileDigest &result) { return Digest(nullptr, path, result); }
bool Sha256File(const Dir &dir, const std::string &name, FileDigest &result) { return Digest(&dir, name, result); }

} // namespace plat
