#include "devices/fastcom.h"

#include <chrono>
#include <cstring>
#include <string>

#include "devices/controlbytes.h"
#include "platform/clock.h"
#include "platform/syserror.h"

namespace {

constexpr int kPacedBlock = 16;
constexpr int kMaxNameLength = 15;
// A pause after XOFF ends at XON or at a silent read more than 20 ms after the
// XOFF. A peer that keeps talking without ever sending XON would hold the frame
// for ever; it holds it at most as long as a write may take.
constexpr int32_t kPauseSilenceMs = 20;

// The log line of a line error, in Windows-1250: the text, then the names of
// the errors met, then the end.
constexpr const char *kLineError = "B\263\271d linii szeregowej: ";
constexpr const char *kLineErrorEnd = ". Transmisja trwa dalej.";

using SteadyClock = std::chrono::steady_clock;

int64_t MsSince(SteadyClock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

bool ValidHandle(plat::SerialHandle handle) { return handle != 0 && handle != plat::kNoHandle; }

} // namespace

FastCom::FastCom() = default;

FastCom::~FastCom() { Close(); }

bool FastCom::IsOpen() const { return ValidHandle(handle) && !lost; }

std::string FastCom::LostReason() const { return plat::SystemErrorText(lostError); }

bool FastCom::Open(const char *name, int readTimeoutMs) {
  if (ValidHandle(handle))
    return false;
  // Port names are at most 15 characters (the Windows path "\\.\" and the
  // name fill a 20-byte field).
  openFailure = plat::OpenFailure::kMissing;
  if (name == nullptr || std::strlen(name) > kMaxNameLength)
    return false;
  handle = plat::SerialOpen(name, &openFailure);
  if (!ValidHandle(handle))
    return false;
  openFailure = plat::OpenFailure::kNone;
  lost = false;
  lostError = 0;
  readTimeout = readTimeoutMs <= 0 ? 1 : readTimeoutMs;
  plat::SerialSetup(handle, baudRate, readTimeout, writeLimit);
  return true;
}

bool FastCom::Close() {
  if (borrowed)
    return true;
  if (!ValidHandle(handle))
    return false;
  plat::SerialClearErrors(handle);
  plat::SerialClose(handle);
  handle = plat::kNoHandle;
  return true;
}

void FastCom::LogLineErrors(const plat::LineErrors &errors) {
  if (lineLog == nullptr || !errors.Any())
    return;
  std::string names;
  auto add = [&names](bool met, const char *name) {
    if (met)
      names += (names.empty() ? "" : ", ") + std::string(name);
  };
  add(errors.framing, "b\263\271d ramki");
  add(errors.overrun, "przepe\263nienie odbiornika");
  add(errors.parity, "b\263\271d parzysto\234ci");
  add(errors.lineBreak, "przerwa (break)");
  lineLog->Log(kLineError + names + kLineErrorEnd);
}

void FastCom::Read(uint8_t *bytes, uint32_t count, uint32_t *got) {
  plat::LineErrors errors;
  *got = 0;
  if (lost)
    return;
  plat::SerialRead(handle, bytes, count, got, readTimeout, &errors);
  LogLineErrors(errors);
  if (errors.lost) {
    lost = true;
    lostError = errors.lostError;
  }
}

bool FastCom::WriteDrained(const uint8_t *bytes, uint32_t count, uint32_t *written) {
  const auto start = SteadyClock::now();
  const int32_t budget = writeLimit + static_cast<int32_t>(count);
  *written = 0;
  if (lost)
    return false;
  plat::LineErrors errors;
  bool ok = plat::SerialWrite(handle, bytes, count, written, writeLimit, &errors);
  if (ok && *written == count) {
    int64_t left = budget - MsSince(start);
    ok = plat::SerialDrain(handle, left > 0 ? static_cast<int>(left) : 0, &errors);
  } else {
    ok = false;
  }
  LogLineErrors(errors);
  return ok;
}

bool FastCom::Send(const ByteBuffer &frame) {
  if (!IsOpen())
    return false;
  const uint8_t *bytes = frame.Data();
  uint32_t length = static_cast<uint32_t>(frame.Length());
  uint32_t written = 0;
  if (!byteWise)
    return length == 0 || WriteDrained(bytes, length, &written);
  for (uint32_t i = 0; i < length; ++i) {
    if (!WriteDrained(bytes + i, 1, &written))
      return false;
    plat::SleepMs(2);
  }
  return true;
}

bool FastCom::SendPaced(const ByteBuffer &frame) {
  if (!IsOpen())
    return false;
  const uint8_t *bytes = frame.Data();
  uint32_t length = static_cast<uint32_t>(frame.Length());
  bool sending = true;
  uint32_t sent = 0;
  SteadyClock::time_point pauseStart;
  while (sent < length) {
    uint8_t reply = 0;
    uint32_t got = 0;
    if (sending) {
      uint32_t block = length - sent < kPacedBlock ? length - sent : kPacedBlock;
      uint32_t written = 0;
      if (!WriteDrained(bytes + sent, block, &written))
        return false;
      sent += block;
      plat::SleepMs(20);
      Read(&reply, 1, &got);
      if (got == 1 && reply == kXoff) {
        sending = false;
        pauseStart = SteadyClock::now();
      }
    } else {
      Read(&reply, 1, &got);
      plat::SleepMs(5);
      int64_t paused = MsSince(pauseStart);
      if (got == 1) {
        if (reply == kXon || paused > writeLimit)
          sending = true;
      } else if (paused > kPauseSilenceMs) {
        sending = true;
      }
    }
    plat::SleepMs(2);
  }
  return true;
}

bool FastCom::ReadAvailable(ByteBuffer &target) {
  if (!IsOpen())
    return false;
  uint8_t piece[kReadBytes];
  uint32_t bytesRead = 0;
  Read(piece, kReadBytes, &bytesRead);
  target.AppendBytes(piece, static_cast<int>(bytesRead));
  if (receivedCount != nullptr && bytesRead > 0)
    receivedCount->fetch_add(bytesRead, std::memory_order_relaxed);
  return true;
}

bool FastCom::ShareHandle(FastCom &other) {
  if (&other == this || !ValidHandle(other.handle))
    return false;
  if (ValidHandle(handle) && !borrowed)
    Close();
  handle = other.handle;
  borrowed = true;
  byteWise = other.byteWise;
  readTimeout = other.readTimeout;
  baudRate = other.baudRate;
  lost = other.lost;
  lostError = other.lostError;
  return true;
}
