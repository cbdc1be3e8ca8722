// The options dialog `TFormcontrol`: six pages of options, the colour editor with schemes,
// the input map with the joypad configuration sequence, Apply / OK / Cancel / defaults.
#pragma once
#include <string>

#include "frontend/controldialog.h"
#include "frontend/input.h"
#include "platform/inputbox.h"

namespace tov {

class Tfgb;

class TFormcontrol {
public:
    explicit TFormcontrol(Tfgb& owner) : owner(owner) {}

    // Reads the settings file again into the stored copy and fills the dialog from it.
    void show();
    bool visible() const { return shown; }
    void draw();

private:
    void tabsound();
    void Tabcolors();
    void Tabjoypad();
    void Tabmisc();
    void Tabgfx();
    void Tabsystem();
    void apply();
    void joyconfigpopup();

    // Controls bound to options by key.
    void check(const char* key, const char* label);
    void intedit(const char* key, const char* label, int lo, int hi);
    void textedit(const char* key, const char* label);
    void radio(const char* key, const char* label, std::initializer_list<std::pair<int, const char*>> choices);

    Tfgb& owner;
    tcontroldialog dialog;
    bool shown = false;
    bool focus = false;
    int scheme = 0;
    int editgroup = 0;
    tinputbox namebox;
    tjoyconfigsequence sequence;
    bool sequencerunning = false;
    bool openjoyconfig = false;  // the button asks; the pop-up opens at the window's level
};

}  // namespace tov
