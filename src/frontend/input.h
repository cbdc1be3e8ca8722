// Keyboard and joystick to joypad and front-end commands: the input map of "tov.ini" applied
// once per poll, rapid fire, and the joystick's 44 input codes. No window system here: the
// window feeds key events and joystick readings in, and receives the actions through
// `tinputtarget`.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "frontend/settings.h"

namespace tov {

// Joystick input codes: 0-7 axis low/high (X, Y, axis 3, axis 4), 8-39 buttons 1-32,
// 40-43 the hat pointing up, right, down, left.
constexpr int joyinputcount = 44;
constexpr int joyhatfirst = 40;
using tjoyinputs = uint64_t;  // bit n = input code n active

// Name of the function in the input map ("right" ... "save screenshot").
const char* inputfunctionname(int function);
// Name shown by the dialogs for a joystick input code; "" for codes 24 and above.
std::string joyinputname(int code);

// One answer of the joystick service: axes 0..65535 (centre 32767), buttons 1-32 as bits
// 0-31, hat angle in hundredths of a degree clockwise from up, or -1 when centred.
struct tjoyreading {
    uint32_t x = 32767, y = 32767, z = 32767, r = 32767;
    uint32_t buttons = 0;
    int32_t hat = -1;
};
// The 44 input states of a reading. Axis low is below 0x4400, high above 0xBBFF; a hat
// direction is active within 60 degrees of its angle.
tjoyinputs joystickinputs(const tjoyreading& reading);

// Reads one joystick and keeps its last states. Until the joystick reports its first change
// after the first successful read it is asked at most every 0.25 s (a slow or absent
// device then costs little); after that on every poll. A failed read makes all inputs inactive.
class tjoystickpoller {
public:
    // Returns false when the joystick cannot be read.
    using treader = std::function<bool(tjoyreading&)>;
    explicit tjoystickpoller(treader reader) : read_(std::move(reader)) {}

    tjoyinputs poll(double now);
    tjoyinputs last() const { return states_; }

private:
    treader read_;
    tjoyinputs states_ = 0;
    double lastask_ = -1e300;
    bool succeeded_ = false;  // a read has worked at least once
    bool changed_ = false;    // it reported a change since then: poll at full rate
};

// What the input poll asks of the machine and the window.
class tinputtarget {
public:
    virtual ~tinputtarget() = default;
    virtual void joypadset(int player, int bit, bool pressed) = 0;
    virtual void fastforward(bool held) = 0;
    // Quick load, quick save, reset GB, toggle cheats, pause, save screenshot: on press.
    virtual void inputcommand(tinputfunction function) = 0;
    // Any input changed (the window hides the mouse cursor).
    virtual void inputactivity() {}
};

class tinputpoller {
public:
    // Keyboard state fed by the window's key events (Windows virtual-key codes). A key
    // released before any poll saw it pressed stays down until the next poll, so a quick tap
    // between two polls still counts as one press.
    void keydown(int vk);
    void keyup(int vk);
    bool keyisdown(int vk) const { return vk >= 0 && vk < 256 && keys_[vk]; }
    void clearkeys() {
        keys_.fill(false);
        unpolled_.fill(false);
        releaselater_.fill(false);
    }

    // One poll: joystick[p] holds the inputs of player p's joystick (0 when none).
    void poll(const tsettings& s, const std::array<tjoyinputs, playercount>& joystick, bool windowactive,
              tinputtarget& target);
    // The window lost the focus: every joypad bit of the four controllers is released, keys
    // and fast forward are forgotten, so nothing stays held while another window has the keys.
    void releaseall(tinputtarget& target);

    uint32_t mask(int player) const { return previous_[player]; }
    uint32_t pollcount() const { return counter_; }

private:
    std::array<bool, 256> keys_{};
    std::array<bool, 256> unpolled_{};      // pressed since the last poll
    std::array<bool, 256> releaselater_{};  // released before a poll saw the press
    std::array<uint32_t, playercount> previous_{};
    uint32_t counter_ = 0;
};

// The joypad configuration sequence: asks for each of the 17 functions in turn, waiting for
// a key or joystick input to be pressed, then released.
class tjoyconfigsequence {
public:
    enum tphase { waitpress, waitrelease, finished };

    void start(int player);
    // Feed the current state; returns true when the sequence advanced. Key codes below 8 never
    // count as pressed (mouse buttons and unused codes).
    bool update(const std::array<bool, 256>& keys, tjoyinputs joystick);
    void skip();  // leave this function as it is and go to the next one
    void cancel() { phase_ = finished; cancelled_ = true; }

    tphase phase() const { return phase_; }
    int function() const { return function_; }
    bool cancelled() const { return cancelled_; }
    // "press and hold the button for <name>" or "release button".
    std::string prompt() const;
    // The codes caught so far; functions skipped keep their previous code.
    const std::array<uint8_t, inputfunctioncount>& keycodes() const { return keys_; }
    const std::array<uint8_t, inputfunctioncount>& joycodes() const { return joy_; }
    void setinitial(const std::array<uint8_t, inputfunctioncount>& keys,
                    const std::array<uint8_t, inputfunctioncount>& joy) {
        keys_ = keys;
        joy_ = joy;
    }
    int player() const { return player_; }

private:
    void next();
    tphase phase_ = finished;
    int function_ = 0;
    int player_ = 0;
    bool cancelled_ = false;
    std::array<uint8_t, inputfunctioncount> keys_{};
    std::array<uint8_t, inputfunctioncount> joy_{};
};

// Name of a Windows virtual-key code for the dialogs ("A", "F4", "Right", "Num +", ...).
std::string keyname(int vk);

}  // namespace tov
