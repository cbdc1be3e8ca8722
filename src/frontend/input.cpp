#include "frontend/input.h"

#include <cstdio>
#include <cstdlib>

namespace tov {

namespace {

constexpr const char* functionnames[inputfunctioncount] = {
    "right",   "left",         "up",         "down",       "A",       "B",
    "select",  "start",        "rapid A",    "rapid B",    "fast forward",
    "quick load", "quick save", "reset GB",  "toggle cheats", "pause", "save screenshot"};

constexpr const char* axisnames[8] = {"axis X low", "axis X high", "axis Y low",  "axis Y high",
                                      "axis 3 low", "axis 3 high", "axis 4 low", "axis 4 high"};

// Axis thresholds of the joystick service's 0..65535 range.
constexpr uint32_t axislow = 0x4400;
constexpr uint32_t axishigh = 0xBBFF;

}  // namespace

const char* inputfunctionname(int function) {
    if (function < 0 || function >= inputfunctioncount) return "";
    return functionnames[function];
}

std::string joyinputname(int code) {
    if (code >= 0 && code < 8) return axisnames[code];
    if (code >= 8 && code < 24) return "button " + std::to_string(code - 7);
    return "";
}

tjoyinputs joystickinputs(const tjoyreading& j) {
    tjoyinputs m = 0;
    const uint32_t axes[4] = {j.x, j.y, j.z, j.r};
    for (int a = 0; a < 4; a++) {
        if (axes[a] < axislow) m |= tjoyinputs(1) << (2 * a);
        if (axes[a] > axishigh) m |= tjoyinputs(1) << (2 * a + 1);
    }
    m |= tjoyinputs(j.buttons) << 8;
    if (j.hat >= 0) {
        int32_t angle = j.hat % 36000;
        for (int d = 0; d < 4; d++) {
            int32_t diff = std::abs(angle - d * 9000);
            if (diff > 18000) diff = 36000 - diff;
            if (diff < 6000) m |= tjoyinputs(1) << (joyhatfirst + d);
        }
    }
    return m;
}

tjoyinputs tjoystickpoller::poll(double now) {
    if (!changed_ && now - lastask_ < 0.25 && now >= lastask_) return states_;
    lastask_ = now;
    tjoyreading r;
    if (!read_ || !read_(r)) {
        states_ = 0;
        return states_;
    }
    tjoyinputs s = joystickinputs(r);
    if (succeeded_ && s != states_) changed_ = true;
    succeeded_ = true;
    states_ = s;
    return states_;
}

void tinputpoller::keydown(int vk) {
    if (vk < 0 || vk >= 256) return;
    if (!keys_[vk]) unpolled_[vk] = true;
    keys_[vk] = true;
    releaselater_[vk] = false;
}

void tinputpoller::keyup(int vk) {
    if (vk < 0 || vk >= 256) return;
    if (unpolled_[vk])
        releaselater_[vk] = true;
    else
        keys_[vk] = false;
}

void tinputpoller::poll(const tsettings& s, const std::array<tjoyinputs, playercount>& joystick,
                        bool windowactive, tinputtarget& target) {
    counter_++;
    const bool joyallowed = windowactive || !s.JoyFocus;
    for (int p = 0; p < playercount; p++) {
        uint32_t m = 0;
        for (int f = 0; f < inputfunctioncount; f++) {
            uint8_t key = s.keys[p][f];
            uint8_t joy = s.joybuttons[p][f];
            bool down = key != unassigned && keys_[key];
            if (!down && joyallowed && joy < joyinputcount) down = (joystick[p] >> joy) & 1;
            if (down) m |= 1u << f;
        }
        uint32_t changed = m ^ previous_[p];
        if (changed) target.inputactivity();
        for (int f = 0; f < inputfunctioncount; f++) {
            if (!((changed >> f) & 1)) continue;
            bool pressed = (m >> f) & 1;
            switch (f) {
                case inRight: case inLeft: case inUp: case inDown:
                case inA: case inB: case inSelect: case inStart:
                    target.joypadset(p, f, pressed);
                    break;
                case inFastForward:
                    target.fastforward(pressed);
                    break;
                case inRapidA:
                case inRapidB:
                    // Released: the button returns to the state of its own key.
                    if (!pressed) {
                        int button = f == inRapidA ? inA : inB;
                        target.joypadset(p, button, (m >> button) & 1);
                    }
                    break;
                default:
                    if (pressed) target.inputcommand(tinputfunction(f));
                    break;
            }
        }
        // Rapid fire: pressed for two polls, released for two.
        bool phase = (counter_ >> 1) & 1;
        if ((m >> inRapidA) & 1) target.joypadset(p, inA, phase);
        if ((m >> inRapidB) & 1) target.joypadset(p, inB, phase);
        previous_[p] = m;
    }
    // This poll has seen every press; taps released meanwhile end now.
    for (size_t k = 0; k < keys_.size(); k++) {
        if (releaselater_[k]) keys_[k] = false;
        releaselater_[k] = unpolled_[k] = false;
    }
}

void tinputpoller::releaseall(tinputtarget& target) {
    for (int p = 0; p < playercount; p++)
        for (int bit = 0; bit < 8; bit++) target.joypadset(p, bit, false);
    target.fastforward(false);
    clearkeys();
    previous_.fill(0);
}

void tjoyconfigsequence::start(int player) {
    player_ = player;
    function_ = 0;
    phase_ = waitpress;
    cancelled_ = false;
}

void tjoyconfigsequence::next() {
    function_++;
    phase_ = function_ >= inputfunctioncount ? finished : waitpress;
}

void tjoyconfigsequence::skip() {
    if (phase_ != finished) next();
}

bool tjoyconfigsequence::update(const std::array<bool, 256>& keys, tjoyinputs joystick) {
    joystick &= (tjoyinputs(1) << joyinputcount) - 1;
    int key = -1;
    for (int k = 8; k < 256; k++)
        if (keys[k]) {
            key = k;
            break;
        }
    if (phase_ == waitpress) {
        if (key >= 0) {
            keys_[function_] = uint8_t(key);
        } else if (joystick) {
            int code = 0;
            while (!((joystick >> code) & 1)) code++;
            joy_[function_] = uint8_t(code);
        } else {
            return false;
        }
        phase_ = waitrelease;
        return true;
    }
    if (phase_ == waitrelease && key < 0 && !joystick) {
        next();
        return true;
    }
    return false;
}

std::string tjoyconfigsequence::prompt() const {
    if (phase_ == waitpress) return std::string("press and hold the button for ") + inputfunctionname(function_);
    if (phase_ == waitrelease) return "release button";
    return "";
}

std::string keyname(int vk) {
    if ((vk >= '0' && vk <= '9') || (vk >= 'A' && vk <= 'Z')) return std::string(1, char(vk));
    if (vk >= 112 && vk <= 135) return "F" + std::to_string(vk - 111);
    if (vk >= 96 && vk <= 105) return "Num " + std::to_string(vk - 96);
    switch (vk) {
        case 8: return "Backspace";
        case 9: return "Tab";
        case 13: return "Enter";
        case 16: return "Shift";
        case 17: return "Ctrl";
        case 18: return "Alt";
        case 19: return "Pause";
        case 20: return "Caps Lock";
        case 27: return "Esc";
        case 32: return "Space";
        case 33: return "Page Up";
        case 34: return "Page Down";
        case 35: return "End";
        case 36: return "Home";
        case 37: return "Left";
        case 38: return "Up";
        case 39: return "Right";
        case 40: return "Down";
        case 45: return "Insert";
        case 46: return "Delete";
        case 106: return "Num *";
        case 107: return "Num +";
        case 109: return "Num -";
        case 110: return "Num .";
        case 111: return "Num /";
        case 186: return ";";
        case 187: return "=";
        case 188: return ",";
        case 189: return "-";
        case 190: return ".";
        case 191: return "/";
        case 192: return "`";
        case 219: return "[";
        case 220: return "\\";
        case 221: return "]";
        case 222: return "'";
        case 255: return "";
    }
    char buf[16];
    std::snprintf(buf, sizeof buf, "key %d", vk);
    return buf;
}

}  // namespace tov
