// Scripted button presses for headless runs: "FRAME:BUTTONS[:N]" holds the named buttons
// of controller 1 from frame FRAME (counted from 0) for N frames (5 when left out).
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tov {

struct tpress {
    long frame = 0;
    uint8_t buttons = 0;  // one bit per button, in the joypad's order (right, left, up, down, a, b, select, start)
    long frames = 5;
};

// Reads one press; BUTTONS is one or more of a, b, start, select, up, down, left, right
// joined by '+' or ','. On a bad text: false, with the reason in `error`.
bool parsepress(const std::string& text, tpress& press, std::string& error);

// The buttons held during `frame`: every press whose frames cover it.
uint8_t pressedbuttons(const std::vector<tpress>& presses, long frame);

}  // namespace tov
