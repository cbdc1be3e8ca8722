// The MBC7 tilt sensor's host input through SDL: the cursor on the display that shows the
// window, and the joysticks of tsdljoysticks.
#pragma once
#include <SDL.h>

#include "cart/tilt.h"
#include "platform/joystick.h"

namespace tov {

// The host is asked once per emulated frame: a game reads the low and the high byte of an
// axis as two samples, which must not tear between two positions, and every read would
// otherwise cost a round trip to the display server.
class tsdltilt : public ttiltsource {
public:
    // Both may be null (no window yet, no joystick subsystem); they must outlive the use.
    SDL_Window* window = nullptr;
    tsdljoysticks* joysticks = nullptr;

    // A new frame begins: the next question asks the host again.
    void newframe() { cursorread = joystickread = false; }

    bool cursor(int32_t& x, int32_t& y, int32_t& width, int32_t& height) override;
    bool joystick(int32_t number, int32_t& x, int32_t& y) override;

private:
    bool readcursor(int32_t& x, int32_t& y, int32_t& width, int32_t& height);

    bool cursorread = false, cursorok = false;
    int32_t cx = 0, cy = 0, cw = 0, ch = 0;
    bool joystickread = false, joystickok = false;
    int32_t joynumber = 0, jx = 0, jy = 0;
};

}  // namespace tov
