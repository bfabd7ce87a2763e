// FastCom: one serial-port handle and the moving of bytes over it.
//
// Both device protocols sit on it. A FastCom may borrow the open handle of
// another (ShareHandle): the KE object then talks over the printer's line and
// its Close leaves the handle alone. All I/O is synchronous and bounded:
// a read waits at most readTimeout ms, a write at most 20 s plus 1 ms a byte.
#pragma once

#include <atomic>
#include <climits>
#include <cstdint>

#include "base/ibuffer.h"
#include "platform/serial.h"

class FastCom {
public:
  FastCom();
  ~FastCom();
  FastCom(const FastCom &) = delete;
  FastCom &operator=(const FastCom &) = delete;

  // Opens port name (such as com3) with the fixed line set-up and the total
  // read time-out readTimeoutMs (0 or less becomes 1). False when a handle is
  // already held, the name is longer than 15 characters, or the port cannot
  // be opened.
  bool Open(const char *name, int readTimeoutMs);
  bool Close();
  bool IsOpen() const;

  // The whole frame with one write and a wait until sent, or byte by byte
  // (byteWise) with a wait until sent and 2 ms after each byte.
  bool Send(const iBuffer &frame);
  // 16-byte blocks; an XOFF from the peer pauses until XON or until a silent
  // read more than 20 ms after the XOFF, and never longer than 20 s.
  bool SendPaced(const iBuffer &frame);
  // Clears target and collects until the data ends with terminator (when
  // given) or the budget (in units of readTimeout, refilled by data) runs out.
  // The default budget is readTimeout; an explicit budget of 0 or less is 1.
  static constexpr int kDefaultBudget = -0x7fffffff - 1;
  bool Receive(iBuffer &target, int budget = kDefaultBudget, const char *terminator = nullptr);
  // One read into target's free space, appended.
  bool ReadAvailable(iBuffer &target);
  // Borrows other's open handle.
  bool ShareHandle(FastCom &other);

  bool Borrowed() const { return borrowed; }
  int ReadTimeout() const { return readTimeout; }

  uint32_t eventMask = 0;
  char portPath[20] = {};
  bool isOpen = false;
  bool borrowed = false;
  plat::SerialHandle handle = 0;
  bool byteWise = false;
  uint32_t bytesRead = 0;
  uint32_t bytesWritten = 0;
  int32_t readTimeout = 1;
  uint32_t baudRate = 115200;
  // When set, every byte read from the line is counted here as it arrives.
  std::atomic<int64_t> *receivedCount = nullptr;
};
