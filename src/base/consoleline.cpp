#include "base/consoleline.h"

#include <mutex>

#include "platform/console.h"

namespace consoleline {

namespace {

std::mutex consoleLock;
std::string shownStatus;  // what stands on the bottom line now

// Returns the cursor to the start of the line and blanks what the status
// line had drawn (plain spaces work on every console).
std::string Blank() {
  std::string blank(1, '\r');
  blank.append(shownStatus.size(), ' ');
  blank += '\r';
  return blank;
}

} // namespace

void Write(const std::string &text, plat::LinePriority priority) {
  std::lock_guard<std::mutex> hold(consoleLock);
  if (shownStatus.empty()) {
    plat::ConsoleWrite(text, priority);
    return;
  }
  // One write: blank the status, the line, the status again.
  plat::ConsoleWrite(Blank() + text + shownStatus);
}

void SetStatus(const std::string &status) {
  std::lock_guard<std::mutex> hold(consoleLock);
  // One column stays free: a line filling the whole width makes some
  // consoles wrap, and the carriage return would then clear the wrong line.
  const size_t room = static_cast<size_t>(plat::ConsoleColumns() > 1 ? plat::ConsoleColumns() - 1 : 1);
  std::string cut = status.substr(0, room);
  if (cut == shownStatus)
    return;
  // A longer line covers the old one; a shorter one needs it blanked first.
  plat::ConsoleWrite((cut.size() >= shownStatus.size() ? std::string(1, '\r') : Blank()) + cut);
  shownStatus = cut;
}

} // namespace consoleline
