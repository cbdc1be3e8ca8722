// What the cartridges read of the settings, named by the option keys. The front end fills
// it from the working settings; the compatibility mode's override of `EmulateSramD` is
// applied there too (see tsession), never written back into the settings.
#pragma once
#include <cstdint>

namespace tov {

class ttiltsource;

struct tcartoptions {
    int32_t CartMode = 1;       // 0 best accuracy, 1 best compatibility
    bool EmulateSramD = true;   // disabled cartridge RAM reads 0xFF and ignores writes
    int32_t MBC7Joystick = 0;   // MBC7 tilt: 0 the cursor, n joystick n
    // The host's cursor and joysticks for the MBC7 tilt sensor (not a setting: the session
    // keeps it across every refill of the options); null holds the sensor level.
    ttiltsource* tilt = nullptr;
    bool operator==(const tcartoptions&) const = default;
};

}  // namespace tov
