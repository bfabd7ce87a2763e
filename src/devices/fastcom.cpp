#include "devices/fastcom.h"

#include <cstdio>
#include <cstring>

#include "platform/clock.h"

namespace {

constexpr uint8_t kXon = 0x11;
constexpr uint8_t kXoff = 0x13;
constexpr int kPacedBlock = 16;
constexpr int kMaxNameLength = 15;
// A pause after XOFF ends at XON or at a silent read more than 20 ms after the
// XOFF. A peer that keeps talking without ever sending XON would hold the frame
// for ever; it holds it at most as long as a write may take.
constexpr int32_t kPauseSilenceMs = 20;
constexpr int32_t kPauseLimitMs = 20000;

bool ValidHandle(plat::SerialHandle handle) { return handle != 0 && handle != plat::kNoHandle; }

// Room a read may fill: the buffer's free space minus the two zero bytes the
// buffer keeps after its data.
uint32_t ReadRoom(const iBuffer &target) {
  int room = target.FreeSpace() - 2;
  return room > 0 ? static_cast<uint32_t>(room) : 0;
}

} // namespace

FastCom::FastCom() = default;

FastCom::~FastCom() { Close(); }

bool FastCom::IsOpen() const { return ValidHandle(handle); }

bool FastCom::Open(const char *name, int readTimeoutMs) {
  if (ValidHandle(handle))
    return false;
  // The path is built in a 20-byte field: "\\.\" and at most 15 characters.
  if (name == nullptr || std::strlen(name) > kMaxNameLength)
    return false;
  std::snprintf(portPath, sizeof portPath, "\\\\.\\%s", name);
  plat::SerialHandle opened = plat::SerialOpen(name);
  if (!ValidHandle(opened)) {
    handle = opened;
    return false;
  }
  handle = opened;
  isOpen = true;
  readTimeout = readTimeoutMs <= 0 ? 1 : readTimeoutMs;
  plat::SerialSetup(handle, baudRate, readTimeout);
  eventMask = 4; // transmit queue empty: the only event waited for
  return true;
}

bool FastCom::Close() {
  if (borrowed)
    return true;
  if (!ValidHandle(handle)) {
    isOpen = false;
    return false;
  }
  plat::SerialClearErrors(handle);
  plat::SerialClose(handle);
  handle = plat::kNoHandle;
  isOpen = false;
  return true;
}

bool FastCom::Send(const iBuffer &frame) {
  if (!isOpen)
    return false;
  const uint8_t *bytes = frame.Data();
  uint32_t length = static_cast<uint32_t>(frame.Length());
  if (!byteWise) {
    bytesWritten = 0;
    bool ok = plat::SerialWrite(handle, bytes, length, &bytesWritten);
    if (ok)
      plat::SerialDrain(handle);
    if (bytesWritten != length)
      return false;
    return ok;
  }
  for (uint32_t i = 0; i < length; ++i) {
    bytesWritten = 0;
    bool ok = plat::SerialWrite(handle, bytes + i, 1, &bytesWritten);
    if (bytesWritten == 0)
      return false;
    if (ok)
      plat::SerialDrain(handle);
    plat::SleepMs(2);
  }
  return true;
}

bool FastCom::SendPaced(const iBuffer &frame) {
  if (!isOpen)
    return false;
  const uint8_t *bytes = frame.Data();
  uint32_t length = static_cast<uint32_t>(frame.Length());
  bool sending = true;
  bool ok = true;
  uint32_t sent = 0;
  int32_t pauseStart = 0;
  while (sent < length) {
    uint8_t reply = 0;
    uint32_t got = 0;
    if (sending) {
      uint32_t block = length - sent < kPacedBlock ? length - sent : kPacedBlock;
      bytesWritten = 0;
      ok = plat::SerialWrite(handle, bytes + sent, block, &bytesWritten);
      if (bytesWritten == 0)
        return false;
      sent += bytesWritten;
      if (ok) {
        plat::SerialDrain(handle);
        plat::SleepMs(20);
        plat::SerialRead(handle, &reply, 1, &got, readTimeout);
        bytesRead = got;
        if (got == 1 && reply == kXoff) {
          sending = false;
          pauseStart = MsOfDay();
        }
      }
    } else {
      plat::SerialRead(handle, &reply, 1, &got, readTimeout);
      bytesRead = got;
      plat::SleepMs(5);
      int32_t paused = MsSince(pauseStart);
      if (got == 1) {
        if (reply == kXon || paused > kPauseLimitMs)
          sending = true;
      } else if (paused > kPauseSilenceMs) {
        sending = true;
      }
    }
    plat::SleepMs(2);
  }
  return ok;
}

bool FastCom::Receive(iBuffer &target, int budget, const char *terminator) {
  if (!isOpen)
    return false;
  target.Clear();
  if (budget == kDefaultBudget)
    budget = readTimeout;
  if (budget <= 0)
    budget = 1;
  size_t terminatorLength = terminator ? std::strlen(terminator) : 0;
  int remaining = budget;
  do {
    bytesRead = 0;
    uint32_t room = ReadRoom(target);
    if (room > 0)
      plat::SerialRead(handle, target.Data() + target.Length(), room, &bytesRead, readTimeout);
    else
      plat::SleepMs(readTimeout); // cannot happen with the growth rule below; never spin
    target.SetLength(target.Length() + static_cast<int>(bytesRead));
    if (bytesRead > 0) {
      remaining = budget;
    } else {
      remaining -= readTimeout;
      plat::SleepMs(2);
    }
    if (target.Length() > 63) {
      if (target.FreeSpace() < 63)
        target.Reserve(target.Length() / 2);
      plat::SleepMs(1);
    }
    if (terminatorLength > 0 && static_cast<size_t>(target.Length()) >= terminatorLength &&
        std::memcmp(target.Data() + target.Length() - terminatorLength, terminator, terminatorLength) == 0)
      break;
  } while (remaining > 0);
  return true;
}

bool FastCom::ReadAvailable(iBuffer &target) {
  if (!isOpen)
    return false;
  bytesRead = 0;
  uint32_t room = ReadRoom(target);
  if (room == 0) {
    // A full target: nothing can be read, but the call still takes its time.
    plat::SleepMs(readTimeout);
    return true;
  }
  plat::SerialRead(handle, target.Data() + target.Length(), room, &bytesRead, readTimeout);
  target.SetLength(target.Length() + static_cast<int>(bytesRead));
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
  isOpen = true;
  byteWise = other.byteWise;
  readTimeout = other.readTimeout;
  baudRate = other.baudRate;
  return true;
}
