// SHA-256 from the system's own library (libcrypto on Linux, BCrypt on
// Windows): archive files and their checksum lists.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace plat {

using Sha256Digest = std::array<uint8_t, 32>;

// One running hash. Update may be called any number of times, then Finish
// once. A hash whose system object could not be made reports false.
class Sha256 {
public:
  Sha256();
  ~Sha256();
  Sha256(const Sha256 &) = delete;
  Sha256 &operator=(const Sha256 &) = delete;

  bool Update(const void *bytes, size_t count);
  bool Finish(Sha256Digest &digest);

private:
  struct State;
  std::unique_ptr<State> state;
};

// What one read of a whole file gives: its hash, its size and its last byte
// (-1 for an empty file).
struct FileDigest {
  Sha256Digest digest{};
  uint64_t size = 0;
  int lastByte = -1;
};

// Hashes a whole file, read in large blocks through the one reader of files
// (plat::ReadFileBlocks: no link, no FIFO or device); false when it cannot
// be opened or read to its end.
class Dir;
bool Sha256File(const std::string &path, FileDigest &result);
bool Sha256File(const Dir &dir, const std::string &name, FileDigest &result);

} // namespace plat
