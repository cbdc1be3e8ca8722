// Borders around the picture: which border a game gets, the picture's place inside a
// bitmap border (a single-coloured 160 x 144 hole), and the window and full-screen layout.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "video/gfxout.h"

namespace tov {

struct tvideooptions;

enum class tborderkind { none, sgb, bitmap };

// `Border` 0 none, 1 SGB border only, 2 SGB border or bitmap file, 3 always the bitmap file;
// `DebugScreen` (picture inside the debugger) never has a border.
tborderkind borderkind(const tvideooptions& settings, bool gbcmode, bool sgbmode);
// The setting naming the border bitmap: `BackgroundGBC` in GBC mode or SGB mode with SGB
// colours when it is set, else `Background`.
std::string borderbitmapname(const tvideooptions& settings, bool gbcmode, bool sgbmode);
// A configured file name: absolute when it starts with "/", else inside the program's folder.
std::string programpath(const std::string& name, const std::string& programdir);

// The screen position inside a bitmap border: the first single-coloured 160 x 144 hole
// (edges and an 8-pixel grid inside checked), searched from the centre column outwards,
// bottom row first; the centre when there is none.
void findscreenhole(const tbitmap& border, int32_t& x, int32_t& y);

struct tborder {
    bool present = false;
    tbitmap picture;          // 32-bit
    int32_t screenx = 0;      // the game screen's top-left pixel inside `picture`
    int32_t screeny = 0;
    int32_t width() const { return present ? picture.width : 160; }
    int32_t height() const { return present ? picture.height : 144; }
};

// The SGB border picture (256 x 224 pixels 0x00BBGGRR, screen at 48, 40).
tborder sgbborder(const uint32_t* pixels, int32_t width = 256, int32_t height = 224);
// A bitmap border from a BMP file; no border when the file cannot be read.
tborder bitmapborder(const std::string& filename);
// The border for the current mode and settings. `sgbpixels` is the SGB unit's border
// picture (may be null when there is no SGB unit).
tborder chooseborder(const tvideooptions& settings, bool gbcmode, bool sgbmode, const uint32_t* sgbpixels,
                     const std::string& programdir);

// Windowed layout: where the picture window goes inside the client area.
struct tpicturerect {
    int32_t x = 0, y = 0, width = 0, height = 0;
};
// Picture size after the client area was resized (client x 160 / border width, ...).
void picturesizeforclient(int32_t clientwidth, int32_t clientheight, int32_t borderwidth, int32_t borderheight,
                          int32_t& picturewidth, int32_t& pictureheight);
tpicturerect placepicture(int32_t clientwidth, int32_t clientheight, int32_t borderwidth, int32_t borderheight,
                          int32_t screenx, int32_t screeny, int32_t picturewidth, int32_t pictureheight);
// Client size of the window set up from `Width` and `Height`.
void clientsizeforpicture(int32_t width, int32_t height, int32_t borderwidth, int32_t borderheight,
                          int32_t& clientwidth, int32_t& clientheight);
// Window-size menu entry (1-4) shown checked for a picture size, 0 for none.
int windowsizeentry(int32_t picturewidth, int32_t pictureheight);

// Full screen: the border (or bare picture) centred in the display mode; the picture's
// offsets inside the surface are the centring offsets plus the screen position.
void fullscreenplacement(int32_t displaywidth, int32_t displayheight, const tborder& border, int32_t& borderx,
                         int32_t& bordery, int32_t& picturex, int32_t& picturey);
// 8-bit display: entries 68-247 take the border's colours when it has at most 180, else a
// 5 x 6 x 6 colour cube; entry 0 black, 255 white. Other entries are left alone.
void borderpalette8(const tbitmap& border, std::array<uint32_t, 256>& palette);

}  // namespace tov
