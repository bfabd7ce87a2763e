// Device replies of any bytes through the information-reply field consumption
// and the identity-reply splitting.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "devices/drukarka.h"
#include "devices/vemoracopyclass.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size > 1 << 20)
    return 0;
  ByteBuffer info;
  info.AppendBytes(data, static_cast<int>(size));
  std::string number = ExtractUniqueNumber(info);
  if (number.size() > 11 || number.size() > size)
    std::abort();

  ByteBuffer reply;
  reply.AppendBytes(data, static_cast<int>(size));
  std::string identity[5];
  SplitIdentity(reply, identity);
  for (const std::string &entry : identity)
    if (entry.size() > size)
      std::abort();
  return 0;
}
