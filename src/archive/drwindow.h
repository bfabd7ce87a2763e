// The hours at which a scheduled run may talk to printers: ZARVIK_DR_WINDOW,
// or OKNO= on the command line, as HH:MM-HH:MM of local time, which may wrap
// midnight (20:00-06:00). A run started in the window (its first minute in,
// its last minute out) passes DR jobs on; KE modules are archived at any hour.
#pragma once

#include <string>

struct DrWindow {
  int startMinute = 0;  // minutes after midnight
  int endMinute = 0;
};

// Reads HH:MM-HH:MM (two digits each, hours 00-23, minutes 00-59, start and
// end different); false for any other text.
bool ParseDrWindow(const std::string &text, DrWindow &window);
// Whether minuteOfDay (0-1439) lies in the window.
bool DrWindowOpen(const DrWindow &window, int minuteOfDay);
// The minute as HH:MM.
std::string MinuteText(int minuteOfDay);
