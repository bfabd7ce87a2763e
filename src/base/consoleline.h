// All console output of the program passes here, under one lock, so that
// lines of parallel jobs never tear or mix and a status line can stay at the
// bottom of an interactive console: it is cleared before a line is printed
// and drawn again after it.
#pragma once

#include <string>

#include "platform/console.h"

namespace consoleline {

// Prints Windows-1250 text (whole lines) through the platform console, at
// the priority a journal gives them.
void Write(const std::string &text, plat::LinePriority priority = plat::LinePriority::kInfo);
// Shows status as the bottom line, cut to the console's width; an empty text
// removes it. Only for an interactive console: the caller checks.
void SetStatus(const std::string &status);

} // namespace consoleline
