#include "platform/clock.h"

#include <cerrno>
#include <ctime>

namespace plat {

LocalTime Now() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  tm local{};
  localtime_r(&now.tv_sec, &local);
  return LocalTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday, local.tm_hour,
                   local.tm_min,         local.tm_sec,     static_cast<int>(now.tv_nsec / 1000000)};
}

int UtcOffsetMinutes() {
  const time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  return static_cast<int>(local.tm_gmtoff / 60);
}

void SleepMs(int ms) {
  if (ms <= 0)
    return;
  timespec left{ms / 1000, static_cast<long>(ms % 1000) * 1000000L};
  // A signal cuts the sleep short; sleep on for the rest.
  while (nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

void RequestFineTimer() {}

} // namespace plat
