// Console and process facilities.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace plat {

// Prepares the console for Windows-1250 text (code page 1250 on Windows,
// binary standard output); minimises the window where that exists.
void ConsoleStart();
// Writes Windows-1250 bytes to standard output as they stand on Windows, and
// converted to UTF-8 on a terminal whose locale is UTF-8 elsewhere.
void ConsoleWrite(const char *bytes, size_t count);
void ConsoleWrite(const std::string &text);
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
