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

} // namespace plat
