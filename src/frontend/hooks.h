// The main window's extension points for the later blocks (save states, cheats, link cable,
// debugger): menu commands, input functions, keys and windows of their own.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace tov {

// A command another block adds to the pop-up menu (save states, cheats, link, debugger...).
struct tmenuextension {
    std::string submenu;   // "" for the top level, else the name of a sub-menu of its own
    std::string label;
    std::string shortcut;  // shown only; keys reach commands through the input map or `onkey`
    std::function<void()> action;
    std::function<bool()> checked;  // optional
    std::function<bool()> enabled;  // optional
};

// What the other blocks plug into the main window. Everything is optional; without a hook the
// window behaves as if the block were not there. The blocks' hooks on the emulation itself
// (ROM loaded, reset, every frame) are the session's (tsessionhooks).
struct tfrontendhooks {
    // Loads a save-state file (slot files ".sn0".."sn9" and free names); false when it failed
    // (the hook shows its own message).
    std::function<bool(const std::string& path)> loadstate;
    // Before a ROM replaces the loaded one: false stops the load (the debugger asks whether
    // the edits of the loaded image may be lost).
    std::function<bool()> beforeromload;
    std::function<void()> quickload;     // the "quick load" input
    std::function<void()> quicksave;     // the "quick save" input
    std::function<void()> togglecheats;  // the "toggle cheats" input
    std::function<void()> pauseinput;    // the "pause" input with `DebugEsc` on (the debugger)
    std::function<void()> drawwindows;   // inside the ImGui frame: the blocks' own windows
    // A block's modal dialog is open: the frame loop waits, as behind a system dialog.
    std::function<bool()> modal;
    // Before the window closes on the user's request: false keeps the program running (the
    // debugger asks whether the edits of the loaded ROM image may be lost).
    std::function<bool()> mayclose;
    // The program ends (before the cartridge leaves): the blocks save what they keep.
    std::function<void()> closing;
    // A key the window did not use (Windows virtual-key code, with SDL's modifier state);
    // true when the hook used it.
    std::function<bool(int vk, uint16_t modifiers)> onkey;
    std::vector<tmenuextension> menu;
};

}  // namespace tov
