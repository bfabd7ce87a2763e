#include "platform/sha256.h"

#include <memory>

#include <cerrno>
#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

namespace plat {

struct Sha256::State {
  EVP_MD_CTX *context = nullptr;
  bool ok = false;
};

Sha256::Sha256() : state(std::make_unique<State>()) {
  state->context = EVP_MD_CTX_new();
  state->ok = state->context != nullptr && EVP_DigestInit_ex(state->context, EVP_sha256(), nullptr) == 1;
}

Sha256::~Sha256() { EVP_MD_CTX_free(state->context); }

bool Sha256::Update(const void *bytes, size_t count) {
  state->ok = state->ok && (count == 0 || EVP_DigestUpdate(state->context, bytes, count) == 1);
  return state->ok;
}

bool Sha256::Finish(Sha256Digest &digest) {
  unsigned int length = 0;
  state->ok = state->ok && EVP_DigestFinal_ex(state->context, digest.data(), &length) == 1 &&
              length == digest.size();
  return state->ok;
}

bool Sha256File(const std::string &path, FileDigest &result) {
  result = FileDigest{};
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return false;
  // The kernel reads ahead of a file read from start to end.
  posix_fadvise(fd, 0, 0, POSIX_FADV_SEQUENTIAL);
  // One block per thread, left uninitialised: only the pages a read fills
  // become resident.
  constexpr size_t kBlock = 1 << 20;
  static thread_local std::unique_ptr<unsigned char[]> block(new unsigned char[kBlock]);
  Sha256 hash;
  bool ok = true;
  for (;;) {
    ssize_t n = read(fd, block.get(), kBlock);
    if (n < 0 && errno == EINTR)
      continue;
    if (n < 0) {
      ok = false;
      break;
    }
    if (n == 0)
      break;
    ok = hash.Update(block.get(), static_cast<size_t>(n));
    result.size += static_cast<uint64_t>(n);
    result.lastByte = block[static_cast<size_t>(n) - 1];
    if (!ok)
      break;
  }
  close(fd);
  return ok && hash.Finish(result.digest);
}

} // namespace plat
