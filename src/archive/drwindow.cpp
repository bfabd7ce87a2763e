#include "archive/drwindow.h"

#include <cstdio>

namespace {

// Two digits at text[at] as a number below limit; -1 otherwise.
int TwoDigits(const std::string &text, size_t at, int limit) {
  const char high = text[at], low = text[at + 1];
  if (high < '0' || high > '9' || low < '0' || low > '9')
    return -1;
  const int value = (high - '0') * 10 + (low - '0');
  return value < limit ? value : -1;
}

// HH:MM at text[at] in minutes after midnight; -1 when it is none.
int Minute(const std::string &text, size_t at) {
  const int hour = TwoDigits(text, at, 24), minute = TwoDigits(text, at + 3, 60);
  return hour < 0 || minute < 0 || text[at + 2] != ':' ? -1 : hour * 60 + minute;
}

} // namespace

bool ParseDrWindow(const std::string &text, DrWindow &window) {
  if (text.size() != 11 || text[5] != '-')
    return false;
  window.startMinute = Minute(text, 0);
  window.endMinute = Minute(text, 6);
  return window.startMinute >= 0 && window.endMinute >= 0 && window.startMinute != window.endMinute;
}

bool DrWindowOpen(const DrWindow &window, int minuteOfDay) {
  if (window.startMinute < window.endMinute)
    return minuteOfDay >= window.startMinute && minuteOfDay < window.endMinute;
  return minuteOfDay >= window.startMinute || minuteOfDay < window.endMinute;
}

std::string MinuteText(int minuteOfDay) {
  char text[32];
  std::snprintf(text, sizeof text, "%02d:%02d", minuteOfDay / 60 % 24, minuteOfDay % 60);
  return text;
}
