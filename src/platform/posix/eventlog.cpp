#include "platform/eventlog.h"

namespace plat {

// Linux has no event log of this kind: the journal takes the console's
// summary when the program runs as a service.
void WriteSystemEvent(EventType, uint32_t, const std::string &) {}

} // namespace plat
