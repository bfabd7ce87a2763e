// Windows-1250 text as UTF-8, for consoles and files that expect UTF-8.
#pragma once

#include <cstddef>
#include <string>

// Every byte of 0x80 and up becomes its Unicode letter in UTF-8; the five
// unused codes become the replacement character.
std::string Cp1250ToUtf8(const char *bytes, size_t count);
std::string Cp1250ToUtf8(const std::string &text);
// Text of either kind as UTF-8: text that is valid UTF-8 already (a path
// typed on a UTF-8 system) stays as it is, anything else is taken for
// Windows-1250 and converted.
std::string AnyTextToUtf8(const std::string &text);
