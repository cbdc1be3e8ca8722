// Screenshots ("scrnshot/tov00001.bmp" and on), setting up a picture output for a renderer,
// drawing a ready picture into an output, and a memory-surface capture for headless runs.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "video/border.h"
#include "video/gbcolors.h"
#include "video/gfxout.h"

namespace tov {

struct tvideooptions;
class tgbdraw;
class tgbdrawtov;

// "tov" + the number padded with "0" to at least 5 digits + ".bmp".
std::string screenshotname(int32_t number);
// The number after the highest "tov<digits>.bmp" among the names (letter case ignored), 1
// when there is none.
int32_t nextscreenshotnumber(const std::vector<std::string>& names);

// Numbered screenshots in the folder "scrnshot" beside the program.
class tscreenshots {
public:
    explicit tscreenshots(std::string programdir) : programdir(std::move(programdir)) {}
    // Saves the output's current picture as the next numbered file. On success `message`
    // is "screenshot saved: " and the saved number; false when the output has no picture
    // (`nullgfx`) or the file could not be written.
    bool save(tgfxoutpal& out, std::string* message = nullptr, std::string* savedfile = nullptr);
    int32_t counter() const { return number; }
    std::string folder() const;

private:
    std::string programdir;
    int32_t number = 0;  // 0 until the folder was scanned
};

// Sets up an output for the renderer as the front end does: size 160 x 144, `attach`,
// the renderer's output and colour options, `init`, and the DMG user colours when the
// machine is neither in GBC mode nor in SGB mode with SGB colours. May throw the output's
// set-up error.
void setuppicture(tgbdrawtov& renderer, tgfxoutpal& out, const tvideooptions& settings);

// Shows a finished picture in an output (the first picture of a new output): an 8-bit
// picture through the DMG background colours, anything else in full colour, one palette
// per line. The output's palette is left as it was.
void drawpicture(tgfxoutpal& out, const tbitmap& picture, const tusercolors& colors);

// The output's picture, inside `border` when one is present. False when there is none.
bool capturepicture(tgfxoutpal& out, const tborder* border, tbitmap& result);
// Writes it to a file: PNG when the name ends in ".png", BMP otherwise.
bool savepicture(tgfxoutpal& out, const std::string& filename, const tborder* border = nullptr);

// A picture output over a 32-bit memory surface, for headless runs: attach it to the
// renderer before the machine resets, let the machine run, then save the picture. The
// surface does not keep a presented copy: the picture is read in place.
class tmemorypicture {
public:
    tmemorypicture();
    tgfxoutpalwrapped& output() { return *out; }
    tgfxwrapmemory& surface() { return *memory; }
    // Same as setuppicture with this output.
    void attach(tgbdrawtov& renderer, const tvideooptions& settings);
    bool save(const std::string& filename, const tborder* border = nullptr) { return savepicture(*out, filename, border); }
    // Saves with the border the settings give for the renderer's mode (`Border`, the SGB
    // unit's border picture when there is one, the bitmap files from `programdir`).
    bool savewithborder(const std::string& filename, const tvideooptions& settings, const tgbdraw& renderer,
                        const uint32_t* sgbpixels, const std::string& programdir);

private:
    tgfxwrapmemory* memory;
    std::unique_ptr<tgfxoutpalwrapped> out;
};

}  // namespace tov
