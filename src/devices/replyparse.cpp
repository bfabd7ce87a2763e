// The parsers of device replies that need no port: the printer's
// information reply, its relay status and the KE's identity reply. Kept apart
// so that they can be tested and fuzzed on their own.
#include <string>

#include "devices/controlbytes.h"
#include "devices/drukarka.h"
#include "devices/vemoracopyclass.h"

namespace {

bool IsUnusedRate(double v) { return v > 100.99 && v < 101.01; }
bool IsExemptRate(double v) { return v > 99.99 && v < 100.01; }

bool IsBreak(uint8_t b) { return b == 0 || b == kCr || b == kLf; }

} // namespace

bool RelayActive(uint8_t status) {
  return (status & static_cast<uint8_t>(RelayStatus::kMarkMask)) == static_cast<uint8_t>(RelayStatus::kMark) &&
         (status & static_cast<uint8_t>(RelayStatus::kRelayOn)) != 0;
}

std::string ExtractUniqueNumber(ByteBuffer &reply) {
  if (reply.Length() > 0 && reply.CharAt(reply.Length() - 1) == '\\')
    reply.SetLength(reply.Length() - 1);
  if (reply.Length() > 0 && reply.CharAt(reply.Length() - 1) == kEsc)
    reply.SetLength(reply.Length() - 1);

  reply.TakeIntAfter("#X");
  for (int i = 0; i < 4; ++i)
    reply.TakeInt();
  if (reply.Length() > 0 && (reply.CharAt(0) == '<' || reply.CharAt(0) == '>'))
    reply.Remove(0, 1);
  reply.TakeInt();
  for (int i = 0; i < 3; ++i) // year, month, day
    reply.TakeInt();

  // Seven tax rates, each present only when the next field is decimal; a
  // rate of 100.00 marks an exempt rate (-2), 101.00 and an absent one an
  // unused rate (-1).
  double rates[7];
  for (double &rate : rates) {
    if (reply.NextIsDecimal()) {
      rate = reply.TakeFloat();
      if (IsExemptRate(rate))
        rate = -2;
      else if (IsUnusedRate(rate))
        rate = -1;
    } else {
      rate = -1;
    }
  }
  reply.TakeInt();
  for (int i = 0; i < 6; ++i)
    if (rates[i] >= 0)
      reply.TakeFloat();
  reply.TakeFloat();
  reply.TakeFloat();

  int length = reply.Length();
  int from = length > 11 ? length - 11 : 0;
  return std::string(reinterpret_cast<const char *>(reply.Data()) + from, length - from);
}

void SplitIdentity(const ByteBuffer &reply, std::string out[5]) {
  const char *bytes = reinterpret_cast<const char *>(reply.Data());
  const int length = reply.Length();
  int firstNul = 0;
  while (firstNul < length && bytes[firstNul] != 0)
    ++firstNul;
  out[0].assign(bytes, static_cast<size_t>(firstNul));

  // Entry k of the reply's lines, CR, LF and NUL each counting as one break.
  auto afterBreak = [&](int breaks) {
    int pos = 0;
    for (int seen = 0; seen < breaks; ++pos) {
      if (pos >= length)
        return std::string();
      if (IsBreak(static_cast<uint8_t>(bytes[pos])))
        ++seen;
    }
    int end = pos;
    while (end < length && !IsBreak(static_cast<uint8_t>(bytes[end])))
      ++end;
    return std::string(bytes + pos, static_cast<size_t>(end - pos));
  };
  out[1] = afterBreak(8);
  out[2] = afterBreak(4);
  out[3] = afterBreak(12);
  out[4] = afterBreak(16);
}
