// A run stopped from outside: on POSIX the signals SIGTERM (a service
// manager's stop, a shutdown), SIGINT (Ctrl+C) and SIGHUP (the terminal
// gone); on Windows the console's Ctrl+C, Ctrl+Break, close, logoff and
// shutdown events and the end of the session. The handlers only note the
// stop; the transfer loops and the run's waits look at it and end, and the
// run writes its results before the process ends.
#pragma once

#include <string>

namespace plat {

// Installs the handlers; called once, by the archive run, before its jobs
// start. Modes that write nothing that could be left half done keep the
// system's default handling.
void ListenForStop();
// Whether a stop was asked for; one atomic load, cheap enough for every pass
// of a transfer loop. Never cleared.
bool StopRequested();
// What asked for it, by the system's name: "SIGTERM", "SIGINT", "SIGHUP";
// on Windows "CTRL_C_EVENT", "CTRL_BREAK_EVENT", "CTRL_CLOSE_EVENT",
// "CTRL_LOGOFF_EVENT", "CTRL_SHUTDOWN_EVENT" or "WM_ENDSESSION". Empty while
// nothing has; the first stop's name stays.
std::string StopName();
// Waits at most ms (steady clock) for a stop; true when one was asked for,
// at once when that happened before the call.
bool WaitForStop(int ms);
// On Windows the system ends the process as soon as the handler of a close,
// logoff or shutdown event (or of WM_ENDSESSION) returns; those handlers never
// return, so that the process lives until the run has written its results
// and ends it with its own exit code (or the system's time for the event
// runs out).

// The seam of the tests: delivers the stop as the system would, event being a
// signal number on POSIX, and on Windows a console control type
// (CTRL_CLOSE_EVENT, ...), whose handler is called on a thread of its own as
// the system calls it, or WM_ENDSESSION, sent to the program's hidden window.
// True when the handler returned within waitMs (on POSIX always).
bool DeliverStopForTest(unsigned long event, int waitMs);

} // namespace plat
