// Local time and sleeping. One implementation per platform.
#pragma once

namespace plat {

struct LocalTime {
  int year, month, day, hour, minute, second, millisecond;
};

// The local date and time with milliseconds.
LocalTime Now();
// The offset of local time from UTC now, in minutes (east positive).
int UtcOffsetMinutes();

// Blocks the calling thread for ms milliseconds (no busy wait).
void SleepMs(int ms);

// Asks for 1 ms timer resolution for the life of the process where the
// platform needs it (Windows); a no-op elsewhere.
void RequestFineTimer();

} // namespace plat
