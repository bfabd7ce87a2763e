// Console and process facilities.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace plat {

// How much a console line matters, for a log that keeps each line's
// priority (the systemd journal): the syslog levels.
enum class LinePriority { kError = 3, kWarning = 4, kInfo = 6 };

// Prepares the console for Windows-1250 text (code page 1250 on Windows,
// binary standard output); minimises the window where that exists. On Linux
// it also tells whether standard output is the journal (JOURNAL_STREAM names
// its device and inode).
void ConsoleStart();
// Writes Windows-1250 bytes to standard output as they stand on Windows, and
// converted to UTF-8 on Linux whatever the locale. Into the journal every
// line goes with LF alone at its end and the "<N>" prefix of its priority in
// front.
void ConsoleWrite(const char *bytes, size_t count);
void ConsoleWrite(const std::string &text);
void ConsoleWrite(const std::string &text, LinePriority priority);
// True when standard output is an interactive console (a Windows console or
// a terminal), false when it goes to a file or a pipe.
bool ConsoleIsTerminal();
// The width of that console in characters; 80 when it cannot be told.
int ConsoleColumns();
// One character from standard input; -1 at end of input.
int ConsoleReadChar();

// The process environment, NAME=value, in the platform's order.
std::vector<std::string> EnvironmentEntries();

// The environment variable, or an empty text when unset.
std::string GetEnv(const char *name);

// The computer's name (Windows: its NetBIOS name); empty when unknown.
std::string HostName();

} // namespace plat
