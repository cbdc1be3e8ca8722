// Where the MBC7's tilt sensor takes its position from. The host (the window) reports the
// cursor and the joysticks through this small interface; the cartridge scales them itself,
// so the scaling is the same everywhere and can be tested without a window.
#pragma once
#include <cstdint>

namespace tov {

class ttiltsource {
public:
    virtual ~ttiltsource() = default;
    // The cursor position on the screen and the screen's size, in pixels. False when the
    // host cannot tell.
    virtual bool cursor(int32_t& x, int32_t& y, int32_t& width, int32_t& height) = 0;
    // The X and Y axes (each 0-65535) of joystick `number` (1-based, as the joysticks are
    // numbered in "tov.ini"). False when that joystick cannot be read.
    virtual bool joystick(int32_t number, int32_t& x, int32_t& y) = 0;
};

// A sensor held still at one raw position (0-511 on each axis, 255 level): the headless
// runner's --tilt and the tests. It answers for the cursor and for every joystick alike.
class tfixedtilt : public ttiltsource {
public:
    int32_t rawx = 255, rawy = 255;
    tfixedtilt() = default;
    tfixedtilt(int32_t x, int32_t y) : rawx(x), rawy(y) {}
    bool cursor(int32_t& x, int32_t& y, int32_t& width, int32_t& height) override {
        x = rawx;
        y = rawy;
        width = height = 511;
        return true;
    }
    bool joystick(int32_t, int32_t& x, int32_t& y) override {
        // Rounded up, so that the cartridge's rounding down gives the raw position back.
        x = (rawx * 65535 + 510) / 511;
        y = (rawy * 65535 + 510) / 511;
        return true;
    }
};

}  // namespace tov
