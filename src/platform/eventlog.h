// The system's event log, where the system's own monitoring reads.
#pragma once

#include <cstdint>
#include <string>

namespace plat {

enum class EventType { kInformation, kWarning, kError };

// Writes one event of the source "Zarvik" to the Application log with the
// text (Windows-1250 bytes; lines end in CR LF) as its one insertion string.
// The source is registered by the installer with the program as its message
// file (every event ID's message is the text alone); without that Windows
// still takes the event under the source's name. POSIX: nothing is written.
void WriteSystemEvent(EventType type, uint32_t id, const std::string &text);

} // namespace plat
