// The main window's rules that need no window: the recent-files list, the caption and the
// status messages, window sizes and picture placement, full-screen mode changes, file kinds
// and the ROM title.
#pragma once
#include <array>
#include <optional>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/settings.h"

namespace tov {
class tsgb;
}

namespace tov {

// ---- Recent files ----
// Puts `path` at the head; an equal entry (letter case ignored) is removed, the tenth dropped.
void addrecent(tsettings& s, const std::string& path);
void clearrecent(tsettings& s);
// Menu text of item n (0-9): n + " " + path (the menu has no accelerator marks).
std::string recentitemtext(int n, const std::string& path);

// ---- Pop-up menu ----
// A menu of `count` entries in a window with room for `rows` of them: all when they fit, else
// the first rows - 1 and a last entry "more" leading to the rest (which is split the same
// way), so that every entry can be reached at every window size.
int menuentriesshown(int count, int rows);
// Rows of `lineheight` pixels (items one `spacing` apart) in `height` pixels, at least 2.
int menurowsfitting(float height, float lineheight, float spacing);

// ---- Status messages and caption ----
constexpr double statusseconds = 1.5;

class tstatusmessage {
public:
    void set(std::string text, double now) {
        text_ = std::move(text);
        until_ = now + statusseconds;
    }
    bool active(double now) const { return !text_.empty() && now < until_; }
    const std::string& text() const { return text_; }
    double until() const { return until_; }
    void clear() { text_.clear(); }

private:
    std::string text_;
    double until_ = 0;
};

enum class tlinkstate { none, linked, listening, connecting };

struct tcaptioninfo {
    bool debugging = false;  // the debugger holds the machine
    bool statusactive = false;
    std::string status;
    bool romloaded = false;
    bool paused = false;
    bool framerate = false;  // `FrameRate`
    int framesshown = 0;     // in the last whole second
    int framesemulated = 0;
    std::string romtitle;
    tlinkstate link = tlinkstate::none;
};
std::string captiontext(const tcaptioninfo& c);

// ---- Window sizes and picture placement ----
struct twinsize {
    int32_t w = 0, h = 0;
    bool operator==(const twinsize&) const = default;
};
struct twinrect {
    int32_t x = 0, y = 0, w = 0, h = 0;
    bool operator==(const twinrect&) const = default;
};

// The border picture's size: at least 160 x 144 (160 x 144 without a border).
twinsize bordersize(int32_t borderw, int32_t borderh);
// A client size being dragged snaps to whole multiples of `unit` (at least one).
twinsize snapclientsize(twinsize client, twinsize unit);
// The picture's size for a client area: client x 160 / border width by client x 144 / border
// height. Empty clients give an empty picture.
twinsize picturesize(twinsize client, twinsize border);
// Where the picture goes in the client area, with `screen` the picture's position inside the
// border picture (0,0 without a border).
twinrect pictureplace(twinsize client, twinsize border, twinsize screen, twinsize picture);
// The client size when the window is set up: `Width` x border width / 160 by `Height` x
// border height / 144 (sizes below 1 x 1 count as 160 x 144).
twinsize setupclientsize(const tsettings& s, twinsize border);
// The window-size item k (1-4) carries a check mark when the picture is exactly k times 160x144.
bool sizeitemchecked(int k, twinsize picture);
// Full screen: mode 3 keeps the aspect (centred, largest fit), mode 4 stretches over `display`.
twinrect fullscreenplace(int windowmode, twinsize display, twinsize border);

// What the window shows where, in drawable pixels: the whole border picture (the bare
// picture when there is no border), the game picture inside it, and whether a one-pixel
// black frame runs along the border picture's edge (windowed, with a border).
struct tscreenlayout {
    twinrect border;
    twinrect picture;
    bool frame = false;
};
struct tscreenview {
    twinsize client;            // the drawable area
    twinsize border;            // bordersize() of the border picture
    twinsize screen;            // the game screen's place in the border picture (0,0 without one)
    bool bordered = false;      // a border picture is shown
    int32_t windowmode = 0;     // `Windowmode`
    bool exclusive = false;     // exclusive full screen in a display mode of its own
    twinsize askedmode;         // `DDrawFSWidth` x `DDrawFSHeight`
};
// Windowed: the picture from picturesize() at pictureplace(), the border round it at the same
// scale. Full screen (modes 3, 4): fullscreenplace(); exclusive full screen centres the border
// unscaled in the mode asked for, and at the largest whole multiple that fits in a larger mode
// the display offered instead.
tscreenlayout screenlayout(const tscreenview& v);

// The debugger's window: the main window grows to `grown` about its centre, kept inside the
// screen's usable area (`usable`) as far as it fits.
twinrect growndebuggerrect(twinrect window, twinsize grown, twinrect usable);
// Back from the grown size: the size and place of before, moved as far as the user moved the
// grown window since it was placed at `placed` (now at nowx, nowy). The settings file records
// this rectangle's centre while the window is grown, so the game's window starts where it was.
twinrect restoredwindowrect(twinrect before, twinrect placed, int32_t nowx, int32_t nowy);
// The debugger window's caption: the stop's caption while the debugger holds the machine;
// "running - debugger" while a game runs; else (no ROM, or paused) the title alone.
std::string debuggercaption(bool stopped, bool gamerunning, const std::string& stopcaption);

// A tool window (cheats, viewers, logs) inside the main window's drawable area: no larger than
// the area and moved back into it, so that its title bar and buttons stay reachable when the
// main window is small (1x) or has just shrunk (leaving full screen or the debugger).
twinrect fitwindow(twinrect r, twinsize area);
// The same, kept off `keepout` too (the debugger window's title and menu bar, whose menus
// must stay reachable): a window over it goes below it, or above it where there is more room
// there than below and the window does not fit below. An empty `keepout` keeps nothing off.
twinrect fitwindow(twinrect r, twinsize area, twinrect keepout);

// A tool window's own size and place, and the rectangle it gets in the area of the moment:
// shrunk or moved to fit a small main window (1x) or to clear the debugger's menu bar, it
// comes back to the size and place of before (its first size, or the last one the user gave
// it) when the room comes back. Only the user's moves and resizes (`byuser`: the mouse is
// at work) change the size and place kept; a change the window library made on its own
// (keeping a window on the screen) does not.
class ttoolwindowfit {
public:
    // `now`: the window's rectangle this frame; returns the rectangle it is to have.
    twinrect fit(twinrect now, twinsize area, twinrect keepout, bool byuser);
    const twinrect& wanted() const { return wanted_; }

private:
    bool known_ = false;
    twinrect wanted_, given_;
};

// The debugger's window covers the main window's whole drawable area (at least `minimum`) and
// follows it as it changes (2x, the debugger's grown window, full screen) until the user moves
// or resizes it; from then on the user's rectangle stays, until `reset` (the debugger opened
// on a window grown for it).
class tcoveringwindow {
public:
    // The rectangle the window is to have this frame; none once the user placed it.
    std::optional<twinrect> cover(twinsize area, twinsize minimum);
    // The window as drawn this frame; `byuser`: the mouse is at work.
    void drawn(twinrect now, bool byuser);
    void reset() { userplaced_ = false; }
    bool userplaced() const { return userplaced_; }

private:
    bool userplaced_ = false;
    std::optional<twinrect> given_;
};

// Requests to end the program met in one pass of window messages. Closing the window (its
// close button, Alt+F4, the menu's "exit") first asks the questions that stand before lost
// work (an edited ROM image); a quit signal from the system (SIGTERM, Ctrl+C) ends at once,
// saving what the closing saves. Requests of one pass count once: SDL follows the close of
// the last window with a quit of its own.
enum class tclosing { none, ask, now };
class tcloserequests {
public:
    void windowclose() { window_ = true; }
    void quitsignal() { signal_ = true; }
    // What the pass asked for; the requests are cleared.
    tclosing take() {
        const tclosing t = window_ ? tclosing::ask : signal_ ? tclosing::now : tclosing::none;
        window_ = signal_ = false;
        return t;
    }

private:
    bool window_ = false, signal_ = false;
};

// Alt+Enter: from a full-screen mode (3, 4) back to 0; from a window, exclusive full screen
// when available (mode 4), else mode 4 when `FullscreenMode` is 1 and mode 3 otherwise.
struct tmodechange {
    int32_t windowmode = 0;
    bool exclusive = false;
};
tmodechange altentermode(int32_t windowmode, int32_t fullscreenmode, bool exclusiveavailable);
// Exclusive full screen needs `DDraw` and `DDrawFS`, `DebugScreen` off and a loaded ROM.
bool exclusiveavailable(const tsettings& s, bool romloaded);

// Where a key press goes (Windows virtual-key codes). While the window's own user interface
// wants the keyboard (an open menu, dialog, message box or text field) no key reaches the
// joypads or the command keys: `ignore`. Otherwise Alt+Enter toggles full screen, F11 opens
// the options and F5-F8 switch the sound channels (first presses only), and every other key
// goes to the other blocks' key hook and then the keyboard state (`keyboard`).
enum class tkeyroute { ignore, altenter, options, soundchannel, keyboard };
struct tkeyaction {
    tkeyroute route = tkeyroute::ignore;
    int channel = 0;  // soundchannel: 0-3
};
tkeyaction routekeydown(int vk, bool alt, bool repeat, bool uiwantskeyboard);

// A file name whose last-but-one to last-but-three characters read ".SN" (any case) is a
// save-state slot file (".sn0" .. ".sn9").
bool isstatefilename(std::string_view name);
// A dropped ".bmp" becomes the border bitmap.
bool isbitmapname(std::string_view name);

// ---- Dropped files ----
// What a dropped file becomes: a ".bmp" the border bitmap, a save-state file (isstatefilename:
// the slot files and ".sna") a state load, anything else a ROM (plain, zip or gzip) opened
// with reset, as the command line and the open dialog take them.
enum class tdropkind { border, state, rom };
tdropkind dropkind(std::string_view path);

// Files dropped on the window, opened when the program can take them. Only the first file of
// a drop counts (SDL reports one drop's files between a begin and a complete; a file without
// them is a drop of its own); a drop made while an earlier one still waits replaces it.
class tdropqueue {
public:
    void begin() { indrop_ = true, takenfirst_ = false; }
    void file(std::string path);
    void complete() { indrop_ = false; }
    bool waiting() const { return !pending_.empty(); }
    // The file to open, when one waits and `ready` (no dialog is open): then it is taken.
    std::string take(bool ready);

private:
    bool indrop_ = false, takenfirst_ = false;
    std::string pending_;
};

// ---- Picture set-up ----
// The SGB unit's border picture, to be used whenever the border choice takes the SGB border:
// from the reset on it holds the starting border (tile 255 in palette 7 around the screen),
// later the game's own. Null only when the unit has no picture buffer.
const uint32_t* sgbborderpixels(const tsgb& sgb);
// Whether a new output that has no earlier picture to show gets the DMG colours before it is
// blanked: only when the machine shows DMG colours. In GBC mode and in SGB mode with SGB
// colours the entries those colours would take hold the game's palettes.
bool blankwithdmgcolors(const tsettings& s, bool gbcmode, bool sgbmode);

// The title of the header bytes 0x134-0x143: every byte that is 0 or has bit 7 set is left out.
std::string romtitle(const uint8_t* header16);

}  // namespace tov
