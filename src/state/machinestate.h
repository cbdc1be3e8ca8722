// A whole machine's state through its components' field lists, in the order of a state
// file: the machine, the sound unit, the SGB unit (only in SGB mode, as an earlier
// "sgbmode" chunk leaves it) and the cartridge.
#pragma once
#include <cstdint>
#include <string_view>
#include <vector>

#include "state/statevisitors.h"

namespace tov {

class tgb;

// Walks every component's list in file order.
void machinestatefields(tgb& gb, tstatevisitor& v);

// Offers one chunk to the components in that order; true when one of them took it.
// Raises tstateerror for a known name with the wrong size.
bool applystatechunk(tgb& gb, std::string_view name, const uint8_t* data, int32_t size);

// All chunks of the machine as they would be written now.
std::vector<tsavedchunk> savemachinestate(tgb& gb);

// Applies chunks in order between the machine's begin and finish steps. The finishing
// steps run after an error too; the error is passed on.
void loadmachinestate(tgb& gb, const std::vector<tsavedchunk>& chunks);

}  // namespace tov
