// Placeholder; replaced by the full Super Game Boy unit.
#include "video/sgb.h"

namespace tov {

void tsgb::joypadwrite(uint8_t, uint8_t) {}
int tsgb::currentjoypad() const { return 0; }
void tsgb::endofline(int) {}
void tsgb::reset() {}
void tsgb::setmask(int) {}

}  // namespace tov
