// Forward declarations of the save-state chunk writer and reader, so that components can
// declare their state hooks before the save-state code exists.
#pragma once

namespace tov {
class tstatewriter;  // writes named chunks
class tloadstate;    // one named chunk read back, typed accessors
}  // namespace tov
