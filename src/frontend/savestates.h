// Save states of the session's game: the file's front-end chunks ("TOV1.0", "rommd5",
// "romfile"), switching to the state's ROM, the older fixed layout with its conversion,
// the finishing steps that need the renderer, and the ten slot files beside the battery
// file. The questions a load may ask are callbacks, so that no window is needed here.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "state/savestate.h"

namespace tov {

class tsession;

// The state's ROM could not be loaded and no `findrom` answer was available: the window
// asks "find rom for savestate" in its own time and loads the state again with the answer.
class tromnotfound : public tstateerror {
public:
    explicit tromnotfound(std::string failedpath)
        : tstateerror("failed to load the rom for savestate"), path(std::move(failedpath)) {}
    std::string path;  // the ROM path that failed (the dialog starts there)
};

// What a state load may ask. Every entry is optional.
struct tstatequestions {
    // The ROM named by the state did not load: the next path to try ("" gives up). Without
    // it the load raises tromnotfound.
    std::function<std::string(const std::string& failedpath)> findrom;
    // The loaded ROM has edits that a ROM switch would lose (the debugger): false cancels
    // the load with "cancelled by user". Without it there is nothing to lose.
    std::function<bool()> loseromchanges;
    // Loads the state's ROM with a reset; true when it was loaded. Without it the session's
    // `loadrom` runs without questions about warnings; the window passes its own flow (boxes,
    // recent files).
    std::function<bool(const std::string& path)> loadrom;
};

class tsavestates {
public:
    // The session must outlive this object. The slot goes back to 1 after every ROM load.
    explicit tsavestates(tsession& session);
    ~tsavestates();
    tsavestates(const tsavestates&) = delete;
    tsavestates& operator=(const tsavestates&) = delete;

    // The whole state as it would be written now.
    std::vector<uint8_t> statebytes();
    // Writes a complete state; the previous file stays whole when this fails.
    void savestate(const std::string& path);
    // Reads either format and applies it; `rompath` (when given) replaces the state's
    // "romfile" (the answer to "find rom for savestate"). On an error nothing of the file
    // stays applied: the game that ran before is put back (reloading its ROM when the state
    // had switched to another) and the error raised.
    void loadstate(const std::string& path, const std::string& rompath = {});
    // The same from the file's bytes already read (`path` as in loadlegacystate).
    void loadstatebytes(const std::vector<uint8_t>& bytes, const std::string& path, const std::string& rompath = {});
    // The current format from bytes already read.
    void loadstatechunks(const std::vector<uint8_t>& bytes, const std::string& rompath = {});
    // The older fixed layout; `path` is where `StateAutoConvert` writes it again.
    void loadlegacystate(const std::vector<uint8_t>& bytes, const std::string& path, const std::string& rompath = {});

    // ---- Slots ----
    int slot = 1;  // 0-9
    // The battery base path + ".sn" + the slot digit; empty while no game is loaded.
    std::string slotfile() const;
    std::string slotfile(int n) const;
    // A banked cartridge (a game) is loaded.
    bool hasgame() const;

    tstatequestions questions;
    // After every load, successful or not (the viewers refresh, the debugger).
    std::function<void()> afterload;

private:
    struct tsnapshot;
    void applychunk(const tloadstate& c, const std::string& rompath);
    // Runs `apply` between the machine's state-load brackets; whatever it throws, the game
    // that ran before is restored first.
    void guardedload(const std::function<void()>& apply);
    void switchrom(std::string path);
    tsnapshot takesnapshot();
    void restore(const tsnapshot& s);
    void finishdisplay();

    tsession& session;
    std::shared_ptr<bool> alive;
    // Marks of the load in progress.
    bool romdiffers = false;
    bool romswitched = false;
};

// What the window shows after a slot command: a status text, or a box.
struct tstatereport {
    bool done = false;
    std::string status;  // "State saved", "State loaded"
    std::string boxtext, boxtitle;
};
// `mnuSavesnap`: saves the current slot; a failure gives the error text in a box titled
// "error while saving " + the file name. Nothing happens while no game is loaded.
tstatereport savesnap(tsavestates& states);
// `mnuloadsnap`: with a game loaded, loads the current slot; a failure gives the error text
// in a box titled "error". A state whose ROM was not found raises tromnotfound for the
// window to ask "find rom for savestate".
tstatereport loadsnap(tsavestates& states);

// The slot dialog's logic: radio button k (1-10) stands for slot k mod 10; its caption is
// "&1".."&9", "&0".
int slotofbutton(int button);
int buttonofslot(int slot);
std::string slotcaption(int button);

}  // namespace tov
