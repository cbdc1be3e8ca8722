// Placeholder register file; replaced by the full sound unit.
#include "sound/gbsound.h"

namespace tov {

void tgbsound::soundwrite(uint8_t, uint8_t) { renderpending(); }
uint8_t tgbsound::soundread(uint8_t) { return 0xFF; }
void tgbsound::wavewrite(int, uint8_t) {}
uint8_t tgbsound::waveread(int) { return 0xFF; }
void tgbsound::framestep() {}
void tgbsound::soundreset(bool, bool) {}
void tgbsound::setpower(bool) {}
void tgbsound::trigger(int) {}

}  // namespace tov
