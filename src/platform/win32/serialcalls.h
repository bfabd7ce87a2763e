// The Win32 calls behind the serial line's reads and writes, in one table so
// that a test can make them fail as a line error does (no pseudo-terminal
// under Wine produces one). The program never changes it.
#pragma once

#include <windows.h>

namespace plat {

struct SerialCalls {
  BOOL(WINAPI *readFile)(HANDLE, LPVOID, DWORD, LPDWORD, LPOVERLAPPED) = ::ReadFile;
  BOOL(WINAPI *writeFile)(HANDLE, LPCVOID, DWORD, LPDWORD, LPOVERLAPPED) = ::WriteFile;
  BOOL(WINAPI *clearCommError)(HANDLE, LPDWORD, LPCOMSTAT) = ::ClearCommError;
};

extern SerialCalls serialCalls;

} // namespace plat
