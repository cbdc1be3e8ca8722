// The VRAM viewer `TFormvram`'s logic: the four pages (tiles of both banks, a background
// map, the 40 sprites, the GBC palettes) drawn into pictures that the window shows, the
// texts of its info panels, and the change tracking that redraws only what changed. Reads
// the machine through the inspection interface; VRAM writes reach it through the machine's
// VRAM-write watch, installed while the viewer exists.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "core/gbinspect.h"

namespace tov {

class tgb;

// A picture of 0x00BBGGRR pixels, rows top-down.
struct tviewimage {
    int width = 0, height = 0;
    std::vector<uint32_t> pixels;
    void create(int w, int h, uint32_t fill = 0) {
        width = w;
        height = h;
        pixels.assign(size_t(w) * size_t(h), fill);
    }
    uint32_t at(int x, int y) const { return pixels[size_t(y) * size_t(width) + size_t(x)]; }
};

// "no palette": white, 0xAAAAAA, 0x555555, black.
constexpr std::array<uint32_t, 4> greyramp = {0xFFFFFF, 0xAAAAAA, 0x555555, 0x000000};

// Palette number n (0-15) by its name: GBC "BG n" / "OBJ n" (n > 7); DMG "BGP" (4),
// "OBP0" (6), "OBP1" (7), empty for the others and for -1.
std::string vrampalettename(int n, bool gbcmode);

// Cell sizes of the tiles and map pages for a page of the given size (see the labels).
struct tcellsize {
    int width = 1, height = 1;
};
tcellsize tilecellsize(int pagewidth, int pageheight, int panelwidth);
tcellsize mapcellsize(int pagewidth, int pageheight, int panelwidth);
// `Labeltilestretch` ("stretch w,h") and `Labelmapstretch` ("w,h", each + 1 without the grid).
std::string tilestretchtext(tcellsize c);
std::string mapstretchtext(tcellsize c, bool grid);

struct tviewrect {
    int x = 0, y = 0, width = 0, height = 0;
    bool operator==(const tviewrect&) const = default;
};
// The 160 x 144 screen at (SCX, SCY) on the 256 x 256 map, wrapped: one to four rectangles.
std::vector<tviewrect> screenrectangles(int scx, int scy);

// A sprite off the screen vertically (drawn with a red line across it).
bool spriteoffscreen(int y, bool tall);

enum class tmapsource { automatic, fixed9800, fixed9c00 };  // Radiomapmapauto / 9800 / 9c00
enum class ttiledata { automatic, fixed8000, fixed8800 };   // Radiomaptileauto / 8000 / 8800

// The tiles page's info panel.
struct ttileinfo {
    int tile = 0;                // 0-767: bank x 384 + index
    std::string Edittilenum;     // index within its 256-tile window, 2 hex digits
    std::string Edittileaddr;    // "b:8xxx"
    std::string Edittilepal;
};

struct tmapentryinfo {
    int offset = 0;              // within 0x9800-0x9FFF
    int tile = 0;                // 0-767
    int palette = 4;
    uint8_t tilenumber = 0, attribute = 0;
    std::string editmapx, Editmapy, Editmaptile, Editmapattr, Editmapmapaddr, Editmappal, Editmaptileaddr;
    bool Checkhflip = false, checkvflip = false, Checkmappriority = false;
};

struct tspriteinfo {
    int index = 0;
    uint8_t y = 0, x = 0, tilenumber = 0, attribute = 0;
    int tile = 0;                // first tile 0-767 (8 x 16: the pair's even one)
    bool tall = false;
    int palette = 6;
    bool offscreen = false;
    std::string Editoamy, Editoamx, Editoamtileno, Editoamattr, Editoamaddr, Editoamtileaddr, Editoampal;
    bool Checkoamxflip = false, Checkoamyflip = false, Checkoampriority = false;
    tviewrect box;               // on the 160 x 144 picture: (X - 8, Y - 16), 8 x 8 or 8 x 16
};

struct tpaletteentryinfo {
    int index = 0;               // 0-63: background 0-31, objects 32-63
    uint16_t word = 0;
    uint32_t colour = 0;         // output colour
    std::string text;            // the word as 4 hex digits
    std::string Editpalred, Editpalgreen, Editpalblue;
};

// What one refresh redrew.
struct tvramredraw {
    int tiles = 0, mapentries = 0, sprites = 0;
    bool palettes = false;
};

class tvramview {
public:
    explicit tvramview(tgb& machine);
    // Takes the viewer out of the machine's VRAM-write watch (the previous handler returns).
    ~tvramview();
    tvramview(const tvramview&) = delete;
    tvramview& operator=(const tvramview&) = delete;

    // The picture output's 256 colours (0x00BBGGRR); null draws palettes from the grey ramp.
    const std::array<uint32_t, 256>* outputpalette = nullptr;
    uint32_t background = 0xC0C0C0;  // the window's background: sprite colour 0

    // Options of the pages; changing one should be followed by markall().
    bool Checktilecolor = false;
    tmapsource mapsource = tmapsource::automatic;
    ttiledata tiledata = ttiledata::automatic;
    bool Checkmapgrid = true, Checkmappal = true, Checkmapscroll = true;

    // Selections.
    int tilecolumn = 0, tilerow = 0;  // 0-31, 0-23
    int mapx = 0, mapy = 0;           // 0-31
    int sprite = 0;                   // 0-39
    int paletteentry = 0;             // 0-63

    // Pages (8 pixels per tile, unscaled): 32 x 24 tiles, 32 x 32 map entries, one
    // 8 x 16 picture per sprite (rows 8-15 unused for 8 x 8 sprites).
    tviewimage tilepage, mappage;
    std::array<tviewimage, 40> spritepictures;

    // Change flags (set by VRAM writes and the comparisons of a refresh).
    std::array<bool, 768> tilechanged{};
    std::array<bool, 2048> mapchanged{};
    std::array<bool, 16> palettechanged{};
    std::array<bool, 40> spritechanged{};
    // The palette each tile was last seen with on the map or a sprite (-1 = none).
    std::array<int, 768> tilepalette{};

    // Switching pages, resizing or a changed option: everything is redrawn next time.
    void markall();
    // The 50 ms refresh: compares palettes, OAM and LCDC with the copies, redraws what
    // changed into the pages and clears the flags.
    tvramredraw refresh();

    // ---- What the panels show ----
    int selectedtile() const;                      // 0-767 of the tile cursor
    static int tileatcell(int column, int row);    // column j, row i: bank j / 16, tile i x 16 + j % 16
    ttileinfo tileinfo(int tile) const;
    int mapbase() const;                           // 0x9800 or 0x9C00
    bool unsignedtiles() const;                    // 0x8000 addressing
    tmapentryinfo mapentry(int x, int y) const;
    tspriteinfo spriteinfo(int index) const;
    tpaletteentryinfo paletteinfo(int index) const;
    std::array<uint32_t, 4> palettecolours(int palette) const;
    bool gbcmode() const;
    bool tallsprites() const;

    // The 64 colour numbers (0-3, rows top-down, leftmost first) of tile 0-767.
    std::array<uint8_t, 64> tilepixels(int tile) const;
    // Draws tile 0-767 at (x, y) of an image with a palette (-1 grey), flips, and colour 0
    // replaced by `transparent` when it is not -1. `scale` repeats every pixel.
    void drawtile(tviewimage& image, int x, int y, int tile, int palette, bool hflip, bool vflip,
                  int64_t transparent = -1, int scale = 1) const;

    // The tiles page beside the map page (as the viewer shows them now, grids excluded),
    // for `tov-run --vram`; false when the file could not be written.
    bool writepages(const std::string& filename);

private:
    tgb& gb;
    void (*previouswatch)(void*, int, int) = nullptr;
    void* previouscontext = nullptr;
    std::array<uint16_t, 64> lastwords{};
    std::array<uint8_t, 3> lastdmg{};
    std::array<uint32_t, 64> lastcolours{};
    std::array<uint8_t, 160> lastoam{};
    int lastlcdc = -1;
    bool everything = true;

    tvideoview video() const { return tgbinspect(gb).video(); }
    int entrytile(uint8_t number, uint8_t attribute) const;
    int entrypalette(uint8_t attribute) const;
    int spritepalette(uint8_t attribute) const;
    void comparepalettes();
    void scantilepalettes(std::array<int, 768>& seen) const;
    static void onvramwrite(void* context, int bank, int address);
};

}  // namespace tov
