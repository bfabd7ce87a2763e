// The serial line on Windows: \\.\com<n> opened without sharing, synchronous
// I/O, the fixed DCB and COMMTIMEOUTS set-up.
#include "platform/serial.h"

#include "platform/win32/serialcalls.h"

#include <windows.h>

#include <cstdio>

namespace plat {

SerialCalls serialCalls;

namespace {

HANDLE H(SerialHandle handle) { return reinterpret_cast<HANDLE>(handle); }

// Clears the line's error state (fAbortOnError makes a line error fail every
// read and write until it is cleared) and returns the line errors it held.
// status (when given) gets the queue counts; *called (when given) whether
// the call itself worked.
LineErrors ClearLine(HANDLE h, COMSTAT *status = nullptr, bool *called = nullptr) {
  DWORD errors = 0;
  COMSTAT ignored{};
  const bool ok = serialCalls.clearCommError(h, &errors, status != nullptr ? status : &ignored) != FALSE;
  if (called != nullptr)
    *called = ok;
  LineErrors found;
  if (ok) {
    found.framing = (errors & CE_FRAME) != 0;
    found.overrun = (errors & (CE_OVERRUN | CE_RXOVER)) != 0;
    found.parity = (errors & CE_RXPARITY) != 0;
    found.lineBreak = (errors & CE_BREAK) != 0;
  }
  return found;
}

// Adds found to noted (when given).
void Note(LineErrors *noted, const LineErrors &found) {
  if (noted == nullptr)
    return;
  noted->framing = noted->framing || found.framing;
  noted->overrun = noted->overrun || found.overrun;
  noted->parity = noted->parity || found.parity;
  noted->lineBreak = noted->lineBreak || found.lineBreak;
}

// Errors of a read that say the device is gone rather than the line damaged.
bool DeviceGone(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_COMMAND || error == ERROR_DEVICE_NOT_CONNECTED ||
         error == ERROR_OPERATION_ABORTED || error == ERROR_GEN_FAILURE || error == ERROR_FILE_NOT_FOUND;
}

DWORD Ms(int ms) { return static_cast<DWORD>(ms > 0 ? ms : 1); }

} // namespace

SerialHandle SerialOpen(const char *name, OpenFailure *failure) {
  OpenFailure ignored;
  OpenFailure &why = failure != nullptr ? *failure : ignored;
  char path[32];
  std::snprintf(path, sizeof path, "\\\\.\\%s", name);
  HANDLE h = ::CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (h == INVALID_HANDLE_VALUE || h == nullptr) {
    // A port opened by another program fails with access denied (or a
    // sharing violation); a port that does not exist with file not found.
    DWORD error = ::GetLastError();
    why = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_BUSY
              ? OpenFailure::kBusy
              : OpenFailure::kMissing;
    return kNoHandle;
  }
  why = OpenFailure::kNone;
  return reinterpret_cast<SerialHandle>(h);
}

void SerialSetup(SerialHandle handle, uint32_t baud, int readTimeoutMs, int writeLimitMs) {
  HANDLE h = H(handle);
  ::PurgeComm(h, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
  ClearLine(h);
  ::SetupComm(h, 65536, 65536);

  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ::GetCommState(h, &dcb);
  dcb.BaudRate = baud;
  dcb.fBinary = 1;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fRtsControl = RTS_CONTROL_DISABLE;
  dcb.fOutxCtsFlow = 0;
  dcb.fOutxDsrFlow = 0;
  dcb.fDsrSensitivity = 0;
  dcb.fTXContinueOnXoff = 1;
  dcb.fOutX = 0; // XON/XOFF on output is done by the caller, block by block
  dcb.fInX = 0;
  dcb.XonChar = 0x11;
  dcb.XoffChar = 0x13;
  dcb.XonLim = 0;
  dcb.XoffLim = 0;
  dcb.fErrorChar = 0;
  dcb.fNull = 0;
  dcb.fAbortOnError = 1;
  dcb.EofChar = 0;
  ::SetCommState(h, &dcb);

  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = 0;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(readTimeoutMs > 0 ? readTimeoutMs : 1);
  timeouts.WriteTotalTimeoutMultiplier = 1;
  timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(writeLimitMs > 0 ? writeLimitMs : 1);
  ::SetCommTimeouts(h, &timeouts);

  DWORD mask = 0;
  ::GetCommMask(h, &mask);
  ::SetCommMask(h, EV_TXEMPTY);
}

bool SerialWrite(SerialHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written, int writeLimitMs,
                 LineErrors *lineErrors) {
  (void)writeLimitMs; // set once in COMMTIMEOUTS by SerialSetup
  HANDLE h = H(handle);
  *written = 0;
  // A line error aborts the write under way: cleared, the rest is written
  // once more. A second failure, or any other, fails the call.
  for (int attempt = 0;; ++attempt) {
    DWORD n = 0;
    const BOOL ok = serialCalls.writeFile(h, bytes + *written, count - *written, &n, nullptr);
    *written += n;
    if (ok)
      return true;
    const LineErrors found = ClearLine(h);
    Note(lineErrors, found);
    if (!found.Any() || attempt > 0)
      return false;
  }
}

bool SerialDrain(SerialHandle handle, int timeoutMs, LineErrors *lineErrors) {
  // A synchronous WaitCommEvent for EV_TXEMPTY has no time-out: a line held
  // by flow control or an adapter pulled out mid-write would block it for
  // ever. Watch the driver's output queue instead, a millisecond at a time
  // (Wine fills the count from the tty's output queue too).
  HANDLE h = H(handle);
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs > 0 ? timeoutMs : 0);
  for (;;) {
    COMSTAT status{};
    bool called = false;
    Note(lineErrors, ClearLine(h, &status, &called));
    if (!called || status.cbOutQue == 0)
      return true;
    if (::GetTickCount64() >= deadline) {
      ::PurgeComm(h, PURGE_TXABORT | PURGE_TXCLEAR);
      return false;
    }
    ::Sleep(1);
  }
}

bool SerialRead(SerialHandle handle, uint8_t *bytes, uint32_t count, uint32_t *got, int readTimeoutMs,
                LineErrors *lineErrors) {
  HANDLE h = H(handle);
  const ULONGLONG deadline = ::GetTickCount64() + Ms(readTimeoutMs);
  *got = 0;
  for (int attempt = 0;; ++attempt) {
    DWORD n = 0;
    const BOOL ok = serialCalls.readFile(h, bytes + *got, count - *got, &n, nullptr);
    *got += n;
    if (ok)
      return true;
    const DWORD readError = ::GetLastError();
    bool cleared = false;
    const LineErrors found = ClearLine(h, nullptr, &cleared);
    const DWORD clearError = cleared ? 0 : ::GetLastError();
    if (DeviceGone(readError) || !cleared) {
      // The adapter is gone: no later call on the handle will work, so the
      // read ends now and says why.
      if (lineErrors != nullptr) {
        lineErrors->lost = true;
        lineErrors->lostError = DeviceGone(readError) || clearError == 0 ? readError : clearError;
      }
      return *got > 0;
    }
    if (!found.Any()) {
      // A failed read that is neither a line error nor a vanished device is
      // silence; it still takes the time a silent read takes.
      ::Sleep(Ms(readTimeoutMs));
      return false;
    }
    Note(lineErrors, found);
    // A line error aborted the read: cleared, it reads on once more (which
    // may take its whole time-out again, as the sleep of a failed read did).
    // A second one ends the read with what came, once its time is up, so
    // that a line that keeps failing is not read in a busy loop.
    const ULONGLONG now = ::GetTickCount64();
    if (*got == count || now >= deadline)
      return true;
    if (attempt > 0) {
      ::Sleep(static_cast<DWORD>(deadline - now));
      return true;
    }
  }
}

void SerialClearErrors(SerialHandle handle) { ClearLine(H(handle)); }

bool SerialClose(SerialHandle handle) { return ::CloseHandle(H(handle)) != FALSE; }

} // namespace plat
