#include "platform/tilt.h"

namespace tov {

bool tsdltilt::cursor(int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
    int gx = 0, gy = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    // The screen is the display the window is on (the first one without a window).
    int display = window ? SDL_GetWindowDisplayIndex(window) : 0;
    SDL_Rect bounds;
    if (display < 0 || SDL_GetDisplayBounds(display, &bounds) != 0 || bounds.w <= 0 || bounds.h <= 0) return false;
    x = gx - bounds.x;
    y = gy - bounds.y;
    width = bounds.w;
    height = bounds.h;
    return true;
}

bool tsdltilt::joystick(int32_t number, int32_t& x, int32_t& y) {
    tjoyreading r;
    if (!joysticks || !joysticks->read(number, r)) return false;
    x = int32_t(r.x);
    y = int32_t(r.y);
    return true;
}

}  // namespace tov
