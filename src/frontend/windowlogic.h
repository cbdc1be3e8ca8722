// The main window's rules that need no window: the recent-files list, the caption and the
// status messages, window sizes and picture placement, full-screen mode changes, the sound
// channel text and screenshot numbering.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "frontend/settings.h"

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

// "sound channels: 1 1 1 1"; bit n of `mutedmask` set = channel n+1 off.
std::string soundchannelstext(uint32_t mutedmask);

// ---- Window sizes and picture placement ----
struct tsize {
    int32_t w = 0, h = 0;
    bool operator==(const tsize&) const = default;
};
struct trect {
    int32_t x = 0, y = 0, w = 0, h = 0;
    bool operator==(const trect&) const = default;
};

// The border picture's size: at least 160 x 144 (160 x 144 without a border).
tsize bordersize(int32_t borderw, int32_t borderh);
// A client size being dragged snaps to whole multiples of `unit` (at least one).
tsize snapclientsize(tsize client, tsize unit);
// The picture's size for a client area: client x 160 / border width by client x 144 / border
// height. Empty clients give an empty picture.
tsize picturesize(tsize client, tsize border);
// Where the picture goes in the client area, with `screen` the picture's position inside the
// border picture (0,0 without a border).
trect pictureplace(tsize client, tsize border, tsize screen, tsize picture);
// The client size when the window is set up: `Width` x border width / 160 by `Height` x
// border height / 144 (sizes below 1 x 1 count as 160 x 144).
tsize setupclientsize(const tsettings& s, tsize border);
// The window-size item k (1-4) carries a check mark when the picture is exactly k times 160x144.
bool sizeitemchecked(int k, tsize picture);
// Full screen: mode 3 keeps the aspect (centred, largest fit), mode 4 stretches over `display`.
trect fullscreenplace(int windowmode, tsize display, tsize border);

// Alt+Enter: from a full-screen mode (3, 4) back to 0; from a window, exclusive full screen
// when available (mode 4), else mode 4 when `FullscreenMode` is 1 and mode 3 otherwise.
struct tmodechange {
    int32_t windowmode = 0;
    bool exclusive = false;
};
tmodechange altentermode(int32_t windowmode, int32_t fullscreenmode, bool exclusiveavailable);
// Exclusive full screen needs `DDraw` and `DDrawFS`, `DebugScreen` off and a loaded ROM.
bool exclusiveavailable(const tsettings& s, bool romloaded);

// ---- Screenshots ----
// Next number from the names in the screenshot folder: names starting with "tov" (any case)
// and ending in ".bmp" give the digits between "tov" and the first "." plus one; the last
// such name listed wins; 1 without any.
int32_t nextscreenshotnumber(const std::vector<std::string>& names);
// "tov" + counter padded to 5 digits + ".bmp".
std::string screenshotname(int32_t counter);

// A file name whose last-but-one to last-but-three characters read ".SN" (any case) is a
// save-state slot file (".sn0" .. ".sn9").
bool isstatefilename(std::string_view name);
// A dropped ".bmp" becomes the border bitmap.
bool isbitmapname(std::string_view name);

}  // namespace tov
