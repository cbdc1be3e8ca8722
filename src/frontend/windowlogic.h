// The main window's rules that need no window: the recent-files list, the caption and the
// status messages, window sizes and picture placement, full-screen mode changes, file kinds
// and the ROM title.
#pragma once
#include <array>
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
// Menu text of item n (0-9): "&" + n + " " + path.
std::string recentitemtext(int n, const std::string& path);

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

// Alt+Enter: from a full-screen mode (3, 4) back to 0; from a window, exclusive full screen
// when available (mode 4), else mode 4 when `FullscreenMode` is 1 and mode 3 otherwise.
struct tmodechange {
    int32_t windowmode = 0;
    bool exclusive = false;
};
tmodechange altentermode(int32_t windowmode, int32_t fullscreenmode, bool exclusiveavailable);
// Exclusive full screen needs `DDraw` and `DDrawFS`, `DebugScreen` off and a loaded ROM.
bool exclusiveavailable(const tsettings& s, bool romloaded);

// A file name whose last-but-one to last-but-three characters read ".SN" (any case) is a
// save-state slot file (".sn0" .. ".sn9").
bool isstatefilename(std::string_view name);
// A dropped ".bmp" becomes the border bitmap.
bool isbitmapname(std::string_view name);

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
