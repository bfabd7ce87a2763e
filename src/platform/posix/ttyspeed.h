// The line speeds a tty is set to, both ways between bits per second and
// termios speed codes: one table for the serial port and the simulator.
#pragma once

#include <termios.h>

#include <cstdint>

namespace plat {

struct TtySpeed {
  uint32_t baud;
  speed_t code;
};

inline constexpr TtySpeed kTtySpeeds[] = {
    {300, B300},     {600, B600},     {1200, B1200},   {2400, B2400},     {4800, B4800},    {9600, B9600},
    {19200, B19200}, {38400, B38400}, {57600, B57600}, {115200, B115200}, {230400, B230400}};

// The code of a speed; an unknown speed is set as 115200.
inline speed_t TtySpeedCode(uint32_t baud) {
  for (const TtySpeed &speed : kTtySpeeds)
    if (speed.baud == baud)
      return speed.code;
  return B115200;
}

// The speed of a code; 0 for a code not in the table.
inline uint32_t TtyBaud(speed_t code) {
  for (const TtySpeed &speed : kTtySpeeds)
    if (speed.code == code)
      return speed.baud;
  return 0;
}

} // namespace plat
