// The start-up picture shown before a game runs (`BootImage`).
#pragma once
#include "video/gfxout.h"

namespace tov {

// 160 x 144, 32 bits: the program's name in large pixel letters on the lightest DMG shade.
tbitmap makebootimage();

}  // namespace tov
