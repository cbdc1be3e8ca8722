// What the cartridges read of the settings, named by the option keys. The front end fills
// it from the working settings; the compatibility mode's override of `EmulateSramD` is
// applied there too (see tsession), never written back into the settings.
#pragma once
#include <cstdint>

namespace tov {

struct tcartoptions {
    int32_t CartMode = 1;       // 0 best accuracy, 1 best compatibility
    bool EmulateSramD = true;   // disabled cartridge RAM reads 0xFF and ignores writes
    bool operator==(const tcartoptions&) const = default;
};

}  // namespace tov
