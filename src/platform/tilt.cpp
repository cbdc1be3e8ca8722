#include "platform/tilt.h"

namespace tov {

bool tsdltilt::readcursor(int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
    int gx = 0, gy = 0;
    SDL_GetGlobalMouseState(&gx, &gy);
    // SDL's global position on X11 is refreshed only by raw motion events, which a warped
    // or synthesised pointer does not send; over our own window the window's motion events
    // give the position at once.
    if (window && SDL_GetMouseFocus() == window) {
        int wx = 0, wy = 0, px = 0, py = 0;
        SDL_GetWindowPosition(window, &wx, &wy);
        SDL_GetMouseState(&px, &py);
        gx = wx + px;
        gy = wy + py;
    }
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

bool tsdltilt::cursor(int32_t& x, int32_t& y, int32_t& width, int32_t& height) {
    if (!cursorread) {
        cursorok = readcursor(cx, cy, cw, ch);
        cursorread = true;
    }
    x = cx, y = cy, width = cw, height = ch;
    return cursorok;
}

bool tsdltilt::joystick(int32_t number, int32_t& x, int32_t& y) {
    if (!joystickread || number != joynumber) {
        tjoyreading r;
        joystickok = joysticks && joysticks->read(number, r);
        jx = int32_t(r.x);
        jy = int32_t(r.y);
        joynumber = number;
        joystickread = true;
    }
    x = jx, y = jy;
    return joystickok;
}

}  // namespace tov
