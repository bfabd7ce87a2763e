#include "platform/clock.h"

#include <atomic>
#include <cstdlib>
#include <windows.h>
#include <mmsystem.h>

namespace plat {

LocalTime Now() {
  SYSTEMTIME t;
  GetLocalTime(&t);
  return LocalTime{t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
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
