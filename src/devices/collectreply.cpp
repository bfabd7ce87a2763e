#include "devices/collectreply.h"

#include <cstring>

#include "platform/clock.h"
#include "platform/stop.h"

namespace {

bool EndsWith(const ByteBuffer &data, const char *tail, int tailLength) {
  if (tailLength == 0 || data.Length() < tailLength)
    return false;
  return std::memcmp(data.Data() + data.Length() - tailLength, tail, static_cast<size_t>(tailLength)) == 0;
}

} // namespace

bool CollectReply(FastCom &port, ByteBuffer &target, int budget, const char *terminator, int limit) {
  if (!port.IsOpen())
    return false;
  target.Clear();
  if (budget <= 0)
    budget = 1;
  const int tailLength = terminator ? static_cast<int>(std::strlen(terminator)) : 0;
  const int unit = port.ReadTimeout() > 0 ? port.ReadTimeout() : 1;
  int remaining = budget;
  ByteBuffer chunk;
  while (remaining > 0 && target.Length() < limit && !plat::StopRequested()) {
    chunk.Clear();
    if (!port.ReadAvailable(chunk))
      break;
    if (chunk.Length() > 0) {
      int room = limit - target.Length();
      target.AppendBytes(chunk.Data(), chunk.Length() < room ? chunk.Length() : room);
      remaining = budget;
    } else {
      remaining -= unit;
      plat::SleepMs(2);
    }
    // Inside a long reply (more than one 64-byte block so far) a 1 ms pause
    // lets about a dozen more bytes gather at 115200 baud, so each read takes
    // a larger piece: fewer reads and wake-ups, no loss of rate.
    if (target.Length() > 63)
      plat::SleepMs(1);
    if (EndsWith(target, terminator, tailLength))
      break;
  }
  return true;
}
