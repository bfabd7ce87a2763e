// What the Windows attributes and reparse tag of an entry make of it, in one
// place for the entry tests and the directory search (and for a test, which
// cannot make reparse points under Wine).
#pragma once

#include <windows.h>

#include "platform/files.h"

namespace plat {

// Only a name-surrogate reparse point (a symbolic link, a junction) is a
// link; another reparse point (deduplication, cloud files, compression) is
// the file or directory it holds.
EntryType EntryTypeOfAttributes(DWORD attributes, DWORD reparseTag);
// The attributes the directory search reports: the reparse bit (kAttrLink)
// kept for a link only.
DWORD SearchAttributes(DWORD attributes, DWORD reparseTag);

} // namespace plat
