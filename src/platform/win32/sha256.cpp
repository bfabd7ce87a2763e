#include "platform/sha256.h"

#include <memory>
#include <vector>

#include <windows.h>
// windows.h first: bcrypt.h needs its types.
#include <bcrypt.h>

namespace plat {

// The Windows 7 form of the hash API: a provider, a hash object in memory of
// our own, data, finish (the one-call hash came with Windows 10).
struct Sha256::State {
  BCRYPT_ALG_HANDLE provider = nullptr;
  BCRYPT_HASH_HANDLE hash = nullptr;
  std::vector<UCHAR> object;
  bool ok = false;
};

Sha256::Sha256() : state(std::make_unique<State>()) {
  State &s = *state;
  if (BCryptOpenAlgorithmProvider(&s.provider, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
    s.provider = nullptr;
    return;
  }
  DWORD objectLength = 0;
  ULONG got = 0;
  if (BCryptGetProperty(s.provider, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&objectLength),
                        sizeof objectLength, &got, 0) < 0)
    return;
  s.object.resize(objectLength);
  s.ok = BCryptCreateHash(s.provider, &s.hash, s.object.data(), objectLength, nullptr, 0, 0) >= 0;
  if (!s.ok)
    s.hash = nullptr;
}

Sha256::~Sha256() {
  if (state->hash != nullptr)
    BCryptDestroyHash(state->hash);
  if (state->provider != nullptr)
    BCryptCloseAlgorithmProvider(state->provider, 0);
}

bool Sha256::Update(const void *bytes, size_t count) {
  const auto *p = static_cast<const UCHAR *>(bytes);
  while (state->ok && count > 0) {
    ULONG chunk = count > 0x40000000 ? 0x40000000 : static_cast<ULONG>(count);
    state->ok = BCryptHashData(state->hash, const_cast<PUCHAR>(p), chunk, 0) >= 0;
    p += chunk;
    count -= chunk;
  }
  return state->ok;
}

bool Sha256::Finish(Sha256Digest &digest) {
  state->ok = state->ok && BCryptFinishHash(state->hash, digest.data(), static_cast<ULONG>(digest.size()), 0) >= 0;
  return state->ok;
}

} // namespace plat
