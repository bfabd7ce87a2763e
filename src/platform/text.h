// Text facilities that depend on the system's code page.
#pragma once

#include <string>

namespace plat {

// Upper-cases a Windows-1250 text the way the system's ANSI upper-casing
// does: on Windows the system routine of the active code page; elsewhere the
// letters a-z and the Windows-1250 lower-case letters with diacritics (ą, ś,
// ł, ż, ...) become their upper-case forms, every other byte stays as it is.
std::string AnsiUpper(std::string text);

} // namespace plat
