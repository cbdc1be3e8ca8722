// Joysticks through SDL: joystick number n (1-based, as in "tov.ini") is the n-th device SDL
// lists; 0 means none.
#pragma once
#include <SDL.h>

#include <vector>

#include "frontend/input.h"

namespace tov {

class tsdljoysticks {
public:
    tsdljoysticks();
    ~tsdljoysticks();
    tsdljoysticks(const tsdljoysticks&) = delete;
    tsdljoysticks& operator=(const tsdljoysticks&) = delete;

    // A device was added or removed (SDL_JOYDEVICEADDED / SDL_JOYDEVICEREMOVED).
    void rescan();
    // Axes, buttons and hat of joystick `number`; false when there is no such device.
    bool read(int number, tjoyreading& out);
    int count() const { return int(devices.size()); }

private:
    bool subsystem = false;
    std::vector<SDL_Joystick*> devices;
};

}  // namespace tov
