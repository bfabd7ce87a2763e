// The serial line on Windows: \\.\com<n> opened without sharing, synchronous
// I/O, the fixed DCB and COMMTIMEOUTS set-up.
#include "platform/serial.h"

#include <windows.h>

#include <cstdio>

namespace plat {
namespace {

HANDLE H(SerialHandle handle) { return reinterpret_cast<HANDLE>(handle); }

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
  DWORD errors = 0;
  COMSTAT status{};
  ::ClearCommError(h, &errors, &status);
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

bool SerialWrite(SerialHandle handle, const uint8_t *bytes, uint32_t count, uint32_t *written, int writeLimitMs) {
  (void)writeLimitMs; // set once in COMMTIMEOUTS by SerialSetup
  DWORD n = 0;
  BOOL ok = ::WriteFile(H(handle), bytes, count, &n, nullptr);
  *written = n;
  return ok != FALSE;
}

bool SerialDrain(SerialHandle handle, int timeoutMs) {
  // A synchronous WaitCommEvent for EV_TXEMPTY has no time-out: a line held
  // by flow control or an adapter pulled out mid-write would block it for
  // ever. Watch the driver's output queue instead, a millisecond at a time
  // (Wine fills the count from the tty's output queue too).
  HANDLE h = H(handle);
  const ULONGLONG deadline = ::GetTickCount64() + static_cast<ULONGLONG>(timeoutMs > 0 ? timeoutMs : 0);
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(h, &errors, &status) || status.cbOutQue == 0)
      return true;
    if (::GetTickCount64() >= deadline) {
      ::PurgeComm(h, PURGE_TXABORT | PURGE_TXCLEAR);
      return false;
    }
    ::Sleep(1);
  }
}

bool SerialRead(SerialHandle handle, uint8_t *bytes, uint32_t count, uint32_t *got, int readTimeoutMs) {
  DWORD n = 0;
  BOOL ok = ::ReadFile(H(handle), bytes, count, &n, nullptr);
  *got = n;
  if (!ok) {
    // A failed read (line error, vanished device) is silence; it still takes
    // the time a silent read takes.
    ::Sleep(static_cast<DWORD>(readTimeoutMs > 0 ? readTimeoutMs : 1));
    return false;
  }
  return true;
}

void SerialClearErrors(SerialHandle handle) {
  DWORD errors = 0;
  COMSTAT status{};
  ::ClearCommError(H(handle), &errors, &status);
}

bool SerialClose(SerialHandle handle) { return ::CloseHandle(H(handle)) != FALSE; }

} // namespace plat
