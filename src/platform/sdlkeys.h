// SDL key codes to the Windows virtual-key codes that "tov.ini" stores in its "Joypad" lines.
#pragma once
#include <SDL.h>

namespace tov {

// The virtual-key code of a key event, or -1 for keys without one.
int sdlkeytovk(SDL_Keycode key, SDL_Scancode scancode);

}  // namespace tov
