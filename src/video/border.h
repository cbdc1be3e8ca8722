// Borders around the picture: which border a game gets and the picture's place inside a
// bitmap border (a single-coloured 160 x 144 hole). The window's layout is in
// frontend/windowlogic.h.
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
// Bitmaps wider than `maxborderside` keep the centre.
void findscreenhole(const tbitmap& border, int32_t& x, int32_t& y);

// The largest width and height of a bitmap border; larger files are refused (no border).
constexpr int32_t maxborderside = 4096;

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

// The window's border choice with the last bitmap border kept: the file is read and its hole
// searched once, not again at every SGB border change (a game may send several borders, and
// a large bitmap takes long to search). `forget` makes the next choice read the file again:
// after a ROM load, a reset, Apply or a dropped bitmap.
class tborderchooser {
public:
    tborder choose(const tvideooptions& settings, bool gbcmode, bool sgbmode, const uint32_t* sgbpixels,
                   const std::string& programdir);
    void forget();
    // Bitmap files read so far.
    int bitmapreads() const { return reads; }

private:
    bool kept = false;
    std::string file;  // the file `bitmap` was read from
    tborder bitmap;
    int reads = 0;
};

}  // namespace tov
