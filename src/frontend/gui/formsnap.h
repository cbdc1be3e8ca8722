// The slot dialog `TFormsnap` and the other windows of the save states: the "find rom for
// savestate" file dialog (asked when a state's ROM is missing) and the load-state-file
// dialog. The commands themselves are in frontend/savestates.h; these only draw.
#pragma once
#include <functional>
#include <string>

#include "platform/filedialog.h"

namespace tov {

// Ten radio buttons "&1".."&9", "&0" (button k stands for slot k mod 10) and `buttonok`;
// Enter or Escape anywhere in the dialog closes it as `buttonokClick` does.
class TFormsnap {
public:
    // Opens the dialog with the button of `slot` checked.
    void show(int slot);
    bool isopen() const { return open_; }
    // Draws the dialog; true once, when it closes with OK (`slot` gives the choice).
    bool draw();
    int slot() const;
    // A key pressed while the dialog is open (Windows virtual-key code): digits choose a
    // button, Enter (13) and Escape (27) close it as OK. True when the dialog used it.
    bool key(int vk);

private:
    bool open_ = false;
    bool closing_ = false;
    bool justopened_ = false;
    int checked_ = 1;  // 1-10
};

// The file filters of the state dialogs.
inline constexpr const char* statefilter =
    "save states|*.sna;*.sn0;*.sn1;*.sn2;*.sn3;*.sn4;*.sn5;*.sn6;*.sn7;*.sn8;*.sn9|All files|*";
inline constexpr const char* findromfilter = "GB roms and zip files|*.GB;*.GBC;*.ZIP;*.GZ|All files|*";

struct tstatewindows {
    TFormsnap formsnap;
    tfiledialog findrom;        // "find rom for savestate"
    std::string findstate;      // the state waiting for its ROM
    std::string findfailed;     // the ROM path that failed
    tfiledialog loadfile;       // `mnuloadsnapfile`
    std::function<void()> loadfilenotloaded;  // its caller's, until the chosen state's load ends
    bool modalopen() const { return formsnap.isopen() || findrom.isopen() || loadfile.isopen(); }
};

}  // namespace tov
