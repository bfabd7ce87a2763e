// The serial line under FastCom: one handle, synchronous I/O.
//
// Windows: \\.\com<n> through CreateFileA with the DCB and COMMTIMEOUTS set-up.
// POSIX: com<n> maps to a tty under the device root (ZARVIK_DEV_ROOT or /dev),
// taken exclusively with flock and TIOCEXCL, raw 8N1.
#pragma once

#include <cstdint>

namespace plat {

// 0 and -1 both mean "no handle"; valid handles are never either.
using SerialHandle = intptr_t;
constexpr SerialHandle kNoHandle = -1;

enum class OpenFailure { kNone, kMissing, kBusy, kDenied };

// Line errors the driver reported and cleared during a call. On Windows a
// line error fails the read or write under way and every later one until it
// is cleared; the calls below clear it at once and go on, as a POSIX tty
// does (where a damaged byte simply arrives as read and nothing is reported),
// and the protocols' own checks catch a damaged reply.
//
// lost says the device itself is gone (an adapter pulled out, a peer that
// hung up): the handle failed with a system error no later call recovers
// from, lostError holding the system's code (for SystemErrorText). It is no
// line error: Any() leaves it out.
struct LineErrors {
  bool framing = false;
  bool overrun = false;  // a character lost: the receiver or its queue was full
  bool parity = false;
  bool lineBreak = false;
  bool lost = false;
  uint32_t lostError = 0;
  bool Any() const { return framing || overrun || parity || lineBreak; }
};

// Opens the port named name (such as com3) for exclusive use. kNoHandle when
// the port is missing, held by another process or not accessible; failure
// (when given) then says which: busy for a port another program holds,
// denied for a device node the user may not open (Linux permissions; Windows
// answers a port held elsewhere with access denied, so it never says this),
// missing for everything else.
SerialHandle SerialOpen(const char *name, OpenFailure *failure = nullptr);
// The fixed line set-up: purge both directions, clear errors, 64 KiB queues,
// 8N1 at baud without flow control, the total read time-out readTimeoutMs,
// a write time-out of writeLimitMs plus 1 ms a byte, the transmit-empty
// event. Failures of the single steps are ignored.
void SerialSetup(SerialHandle handle, uint32_t baud, int readTimeoutMs, int writeLimitMs);
// One write that takes at most writeLimitMs plus 1 ms a byte (the limit given
// to SerialSetup); written gets the count transferred, short on a time-out.
// False when the call failed. A line error met on the way is cleared and the
// rest written once more; lineErrors (when given) then says which.
bool SerialWrite(SerialHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written, int writeLimitMs,
                 LineErrors *lineErrors = nullptr);
// Waits until the transmit queue is empty (drain), at most timeoutMs. A queue
// that does not empty in time (flow control holding the line, an adapter
// pulled out) is discarded and the call returns false. Line errors are
// cleared and reported as by SerialWrite.
bool SerialDrain(SerialHandle handle, int timeoutMs, LineErrors *lineErrors = nullptr);
// One read of at most count bytes that waits at most readTimeoutMs in total
// for the buffer to fill; got gets the count. A device that is gone ends the
// read at once with what came, lineErrors (when given) marking it lost with
// the system's code (Windows: ReadFile failing with access denied, bad
// command, device not connected, operation aborted, general failure or file
// not found, or ClearCommError failing; POSIX: EIO, ENXIO, ENODEV, EBADF, or
// a hang-up or error from poll); other failures count as silence. A line
// error met on the way is cleared and the read goes on for the rest of its
// time; lineErrors (when given) then says which.
bool SerialRead(SerialHandle handle, uint8_t *bytes, uint32_t count, uint32_t *got, int readTimeoutMs,
                LineErrors *lineErrors = nullptr);
// Clears a line error state.
void SerialClearErrors(SerialHandle handle);
bool SerialClose(SerialHandle handle);

} // namespace plat
