#include "platform/joystick.h"

namespace tov {

tsdljoysticks::tsdljoysticks() {
    subsystem = SDL_InitSubSystem(SDL_INIT_JOYSTICK) == 0;
    rescan();
}

tsdljoysticks::~tsdljoysticks() {
    for (SDL_Joystick* j : devices)
        if (j) SDL_JoystickClose(j);
    if (subsystem) SDL_QuitSubSystem(SDL_INIT_JOYSTICK);
}

void tsdljoysticks::rescan() {
    for (SDL_Joystick* j : devices)
        if (j) SDL_JoystickClose(j);
    devices.clear();
    if (!subsystem) return;
    int n = SDL_NumJoysticks();
    for (int i = 0; i < n; i++) devices.push_back(SDL_JoystickOpen(i));
}

bool tsdljoysticks::read(int number, tjoyreading& out) {
    if (number < 1 || number > int(devices.size())) return false;
    SDL_Joystick* j = devices[number - 1];
    if (!j || !SDL_JoystickGetAttached(j)) return false;
    SDL_JoystickUpdate();
    auto axis = [&](int a) -> uint32_t {
        if (a >= SDL_JoystickNumAxes(j)) return 32767;
        return uint32_t(int32_t(SDL_JoystickGetAxis(j, a)) + 32768);  // 0..65535
    };
    out.x = axis(0);
    out.y = axis(1);
    out.z = axis(2);
    out.r = axis(3);
    out.buttons = 0;
    int buttons = SDL_JoystickNumButtons(j);
    for (int b = 0; b < buttons && b < 32; b++)
        if (SDL_JoystickGetButton(j, b)) out.buttons |= 1u << b;
    out.hat = -1;
    if (SDL_JoystickNumHats(j) > 0) {
        switch (SDL_JoystickGetHat(j, 0)) {
            case SDL_HAT_UP: out.hat = 0; break;
            case SDL_HAT_RIGHTUP: out.hat = 4500; break;
            case SDL_HAT_RIGHT: out.hat = 9000; break;
            case SDL_HAT_RIGHTDOWN: out.hat = 13500; break;
            case SDL_HAT_DOWN: out.hat = 18000; break;
            case SDL_HAT_LEFTDOWN: out.hat = 22500; break;
            case SDL_HAT_LEFT: out.hat = 27000; break;
            case SDL_HAT_LEFTUP: out.hat = 31500; break;
            default: break;
        }
    }
    return true;
}

}  // namespace tov
