// The MBC7 tilt sensor's host input through SDL: the cursor on the display that shows the
// window, and the joysticks of tsdljoysticks.
#pragma once
#include <SDL.h>

#include "cart/tilt.h"
#include "platform/joystick.h"

namespace tov {

class tsdltilt : public ttiltsource {
public:
    // Both may be null (no window yet, no joystick subsystem); they must outlive the use.
    SDL_Window* window = nullptr;
    tsdljoysticks* joysticks = nullptr;

    bool cursor(int32_t& x, int32_t& y, int32_t& width, int32_t& height) override;
    bool joystick(int32_t number, int32_t& x, int32_t& y) override;
};

}  // namespace tov
