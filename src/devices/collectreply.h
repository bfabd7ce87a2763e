// CollectReply: gathers a device reply from a FastCom, with a cap on its size.
//
// The budget counts in units of the port's read time-out: an empty read costs
// one unit and 2 ms, data refills it. Collection stops once limit bytes are
// held, so a device that never stops talking cannot keep a protocol operation
// waiting or growing memory for ever.
#pragma once

#include "base/bytebuffer.h"
#include "devices/fastcom.h"

// Clears target and collects into it until the data ends with terminator
// (when given and not empty), the budget runs out, or limit bytes are held
// (the rest of a longer reply stays on the line). False, with target left as
// it was, when the port is not open.
bool CollectReply(FastCom &port, ByteBuffer &target, int budget, const char *terminator, int limit);
