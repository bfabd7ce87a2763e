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
#include <string>

#include "base/bytebuffer.h"
#include "base/logging.h"
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
  // be opened; OpenFailure() then says why.
  bool Open(const char *name, int readTimeoutMs);
  bool Close();
  // A lost port (see Lost) is no longer open for reads and writes; Close
  // still closes its handle.
  bool IsOpen() const;
  plat::OpenFailure OpenFailure() const { return openFailure; }
  // The device went away under a read (an adapter pulled out, a peer that
  // hung up): the read ended at once and every later call fails at once
  // until the port is opened again. LostReason is the system's reason.
  bool Lost() const { return lost; }
  uint32_t LostError() const { return lostError; }
  std::string LostReason() const;

  // The whole frame with one write and a wait until sent, or byte by byte
  // (byteWise) with a wait until sent and 2 ms after each byte. A write and
  // its wait until sent together take at most writeLimit ms plus 1 ms a byte;
  // a frame that has not left by then is dropped and the call fails.
  bool Send(const ByteBuffer &frame);
  // 16-byte blocks; an XOFF from the peer pauses until XON or until a silent
  // read more than 20 ms after the XOFF, and never longer than writeLimit.
  bool SendPaced(const ByteBuffer &frame);
  // One read of at most kReadBytes, appended to target.
  bool ReadAvailable(ByteBuffer &target);
  // Borrows other's open handle.
  bool ShareHandle(FastCom &other);

  bool Borrowed() const { return borrowed; }
  int ReadTimeout() const { return readTimeout; }

  // The longest a write may take, before the 1 ms a byte: 20 s.
  static constexpr int32_t kWriteLimitMs = 20000;
  // What one read asks for. A read ends when this many bytes are in or its
  // time-out has passed, so the size sets how a streaming reply is cut into
  // reads, and the protocols' budgets count reads: their timing was set with
  // reads into a fresh 100-byte buffer that kept two zero bytes after its
  // data, so at most 98 bytes (about 8.5 ms of the line at 115200 baud,
  // within the KE's 20 ms read time-out).
  static constexpr uint32_t kReadBytes = 98;

  bool borrowed = false;
  plat::SerialHandle handle = 0;
  bool byteWise = false;
  int32_t readTimeout = 1;
  int32_t writeLimit = kWriteLimitMs;
  uint32_t baudRate = 115200;
  // When set, every byte read from the line is counted here as it arrives.
  std::atomic<int64_t> *receivedCount = nullptr;
  // When set, a line error (framing, overrun, parity, break) that a read or
  // write met, and that the platform cleared, is logged here, one line per
  // call that met one; the exchange goes on.
  LoggingClass *lineLog = nullptr;

private:
  // Writes count bytes and waits until they are sent, within one budget.
  bool WriteDrained(const uint8_t *bytes, uint32_t count, uint32_t *written);
  // One read of the line with the port's time-out; line errors logged.
  void Read(uint8_t *bytes, uint32_t count, uint32_t *got);
  void LogLineErrors(const plat::LineErrors &errors);

  plat::OpenFailure openFailure = plat::OpenFailure::kNone;
  bool lost = false;
  uint32_t lostError = 0;
};
