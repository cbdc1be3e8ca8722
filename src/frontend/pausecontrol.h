// The frame loop's pause, set and cleared in one place. Pausing stops the sound output;
// every way of leaving the pause (the pause command or input, regaining the focus, a ROM
// load, the demo cartridge, a full reset made while paused) goes through resume(), which
// starts the sound again, so that no path leaves the game running silent.
#pragma once
#include <functional>

namespace tov {

class tpausecontrol {
public:
    // The main window's run flags, read (and `paused` written) here.
    tpausecontrol(bool& paused, const bool& running, const bool& quitting)
        : paused(paused), running(running), quitting(quitting) {}

    std::function<void()> startsound, stopsound, updatecaption;

    // `mnupause`: resumes when paused; else, while the loop runs, stops the sound and pauses.
    void toggle();
    void pause();
    // Clears the pause; unless the program is quitting, updates the caption and restarts
    // the sound when the loop runs.
    void resume();
    // After a full reset (and a ROM load with reset): a running loop leaves the pause.
    // Returns true when the loop does not run yet, so the start timer must enter it.
    bool afterreset();

private:
    bool& paused;
    const bool& running;
    const bool& quitting;
};

}  // namespace tov
