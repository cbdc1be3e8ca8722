// The Super Game Boy adapter: packets over the joypad register, palettes, attributes,
// border and multiplayer joypads.
#pragma once
#include <cstdint>

namespace tov {

class tsgb {
public:
    using tevent = void (*)(void* context);

    // Restart event used by the two-phase colour start (machine reset); fired once the
    // border has been shown and the screen is unmasked.
    tevent onrestart = nullptr;
    void* onrestartcontext = nullptr;
    bool keepborder = false;  // the border survives the next reset
    bool hidden = false;      // packets are ignored

    virtual ~tsgb() = default;

    void joypadwrite(uint8_t newvalue, uint8_t oldvalue);
    int currentjoypad() const;
    void endofline(int ly);
    void reset();
    void setmask(int mode);
};

}  // namespace tov
