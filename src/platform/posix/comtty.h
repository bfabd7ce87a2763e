// COM numbers on POSIX: the tty names the kernel gives serial ports, and the
// COM numbers they stand for.
//
// ttyS<k> is com k+1, ttyUSB<k> com k+33, ttyACM<k> com k+65, for k 0 to 31
// written as the kernel writes it (no leading zero: ttyS01 is no port).
#pragma once

#include <string>
#include <string_view>

namespace plat {

// The COM number of a tty name; 0 for any other name.
int ComNumberOfTty(std::string_view tty);
// The tty name of a COM number; empty for numbers without one.
std::string TtyOfCom(long com);

} // namespace plat
