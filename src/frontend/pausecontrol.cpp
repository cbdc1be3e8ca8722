#include "frontend/pausecontrol.h"

namespace tov {

void tpausecontrol::toggle() {
    if (paused)
        resume();
    else
        pause();
}

void tpausecontrol::pause() {
    if (paused || !running) return;  // nothing runs that could pause
    if (stopsound) stopsound();
    paused = true;
    if (updatecaption) updatecaption();
}

void tpausecontrol::resume() {
    if (!paused) return;
    paused = false;
    if (quitting) return;
    if (updatecaption) updatecaption();
    if (running && startsound) startsound();
}

bool tpausecontrol::afterreset() {
    if (!running) return true;
    resume();
    return false;
}

}  // namespace tov
