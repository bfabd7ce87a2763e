#include "platform/clock.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <windows.h>
#include <mmsystem.h>

namespace plat {

LocalTime Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

int UtcOffsetMinutes() {
  SYSTEMTIME utc, local;
  GetSystemTime(&utc);
  if (!SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local))
    return 0;
  FILETIME utcFile, localFile;
  SystemTimeToFileTime(&utc, &utcFile);
  SystemTimeToFileTime(&local, &localFile);
  auto ticks = [](const FILETIME &file) {
    return static_cast<int64_t>((static_cast<uint64_t>(file.dwHighDateTime) << 32) | file.dwLowDateTime);
  };
  // FILETIME counts 100 ns; round to whole minutes.
  const int64_t difference = ticks(localFile) - ticks(utcFile);
  return static_cast<int>((difference + (difference >= 0 ? 300000000 : -300000000)) / 600000000);
}

void SleepMs(int ms) {
  if (ms > 0)
    Sleep(static_cast<DWORD>(ms));
}

namespace {
void EndFineTimer() { timeEndPeriod(1); }
} // namespace

void RequestFineTimer() {
  // Sleep(1) lasts a whole scheduler tick (about 15.6 ms) unless the timer
  // resolution is raised; the serial pacing relies on millisecond sleeps.
  static std::atomic<bool> requested{false};
  if (requested.exchange(true))
    return;
  if (timeBeginPeriod(1) == TIMERR_NOERROR)
    std::atexit(EndFineTimer);
}

} // namespace plat
