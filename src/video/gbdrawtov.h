// The LCD renderer: draws each visible line of 160 pixels at the end of its mode 3 from
// VRAM, OAM and the LCD registers, as palette indices into the picture output's lines.
// Tiles are decoded into a pixel cache only when VRAM changes, sprite coverage per line is
// kept in tables rebuilt only when OAM or the sprite size changes.
#pragma once
#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "video/gbcolors.h"
#include "video/gbdraw.h"
#include "video/gfxout.h"
#include "video/videooptions.h"

namespace tov {

struct tvideooptions;

class tgbdrawtov : public tgbdraw {
public:
    static constexpr int tilecount = 768;       // 384 per bank
    static constexpr int tilerowcount = 6144;   // 8 per tile
    static constexpr int rowblockcount = 48;    // 128 rows per block
    static constexpr int spritecount = 40;
    static constexpr int visiblelines = 144;

    // `SpriteLimit`, `SGBnocolors`, `ReflectorColor`, the colour conversion options and the
    // user colours are read from the options when needed; they must outlive the renderer.
    explicit tgbdrawtov(const tvideooptions& options);
    ~tgbdrawtov() override;
    tgbdrawtov(const tgbdrawtov&) = delete;
    tgbdrawtov& operator=(const tgbdrawtov&) = delete;

    tgfxoutpal* gfxout = nullptr;  // not owned; attach before `init`
    tgbcolors* colors;             // the renderer's own converter unless another is attached
    bool lcdcolors = false;        // copy of `LCDcolors`, given before `init`

    void startline(int ly) override;
    void refresh() override;
    void blank() override;
    void invalidate() override;
    void init() override;
    void framebegin() override;
    void frameend() override;
    void drawline(int ly) override;
    void vramwrite(int bank, int address) override;
    void oamwrite(int address) override;
    void palwrite(int index) override;
    virtual void selectlineproc();

    // Brings the tile cache, DMG palette maps, sprite tables and GBC palette entries up to
    // date with VRAM, OAM and the registers (drawing does this itself).
    void updatecaches();
    // The 64 colour numbers (0-3, row by row, leftmost first) of tile n (0-383) of a bank,
    // as of the last cache update.
    const uint8_t* tilepixels(int bank, int tile) const { return tilecache.get() + ((384 * (bank & 1) + tile % 384) * 64); }
    // The output colour of a 15-bit GBC colour under the current conversion.
    uint32_t gbccolor(uint16_t color) const { return colortable[color & 0x7FFF]; }
    int windowlinecounter() const { return windowline; }
    bool frameisopen() const { return frameopen; }
    const tvideooptions& options() const { return settings; }

protected:
    // The line routine in force. A subclass routine is installed from its own
    // `selectlineproc` override as static_cast<tlineproc>(&tsubclass::routine).
    using tlineproc = void (tgbdrawtov::*)(int ly, uint8_t* line);

    // Line routines: draw line ly (0-143) into 160 bytes.
    void dmgline(int ly, uint8_t* line);
    void gbcline(int ly, uint8_t* line);
    // Draws a line with logged SCY/SCX/BGP writes in 8-pixel chunks.
    void drawmidline(int ly, uint8_t* line);
    void renderline(int ly, uint8_t* line) { (this->*lineproc)(ly, line); }

    // The cache update on the line's register copy `lcd`.
    void refreshcaches();
    void updatetiles();
    void updatedmgpalettes();
    void updatesprites();
    void updategbcpalettes();
    bool dmgderivedentries() const;  // entries 16-31 follow BGP/OBP in this mode
    int windowstart() const;          // first window column of the line, 160 without window

    // One layer of a line, columns start to end - 1, from map column x / 8 and tile row row;
    // the window adds 4 to every value; storeraw keeps the raw colour numbers in `rawline`.
    template <bool window, bool storeraw>
    void dmglayer(uint8_t* line, int start, int end, int mapbase, int x, int row, const uint16_t* tiles);
    void gbclayer(uint8_t* line, int start, int end, int mapbase, int x, int row, int mode);
    // Marks the pixels of a layer that belong to tiles with the priority attribute.
    void gbcmarkpriority(int start, int end, int mapbase, int x);

    const tvideooptions& settings;
    // What the colour table was last built from: `init` (every reset and state load) builds
    // it again only when one of these changed.
    struct tcolourkey {
        const tgbcolors* colors = nullptr;
        double gamma = 0;
        bool lcdcorrect = false;
        tvideooptions settings;
        bool operator==(const tcolourkey&) const = default;
    };
    std::optional<tcolourkey> colourbuilt;
    tgbcolors owncolors;
    // The LCD registers of the line being drawn: copied from `registers()` when the line
    // is drawn, then changed only by the replay of mid-line writes.
    tlcdregisters lcd;
    tlineproc lineproc;

    // Tile pixel cache: tile 384b + n, 8 rows of 8 colour numbers.
    std::unique_ptr<uint8_t[]> tilecache;
    // Packed rows (bank 0): per row two byte offsets into `bgptable`, one per 4-pixel group.
    std::unique_ptr<uint16_t[]> packedcache;
    // Tile number -> tile index, per bank and LCDC.4 mode (0 unsigned 0x8000, 1 signed 0x8800).
    uint16_t tileindex[2][2][256];
    // Nibble expansion, highest bit first: low plane 0/1, high plane 0/2.
    uint8_t lowplane[16][4];
    uint8_t highplane[16][4];

    bool rowdirty[tilerowcount];
    bool blockdirty[rowblockcount];
    bool anytiledirty = true;
    bool spritedirty[spritecount];
    bool anyspritedirty = true;
    bool paldirty[64];
    int paldirtylow = 64, paldirtyhigh = -1;
    bool anypaldirty = true;

    uint8_t bgpmap[4];
    alignas(4) uint8_t bgptable[256 * 4];
    int lastbgp = -1;
    uint8_t obpmap[2][4];
    int lastobp[2] = {-1, -1};

    uint8_t spritelines[spritecount][176];  // this sprite is drawn on line y (0-143 used)
    bool linehassprite[visiblelines];
    bool linehasbehind[visiblelines];
    uint8_t draworder[spritecount];
    int spriteheight = 8;
    int lastlcdc = -1;

    int windowline = -1;
    int windowx = 0;  // effective WX of the line
    bool windowthisline = false;
    bool windowtriggered = false;
    bool frameopen = false;

    std::unique_ptr<uint32_t[]> colortable;  // 32768 converted GBC colours
    bool dmgtables = true;
    bool loadbank1 = true;
    uint32_t gbcpalbase[8];
    // Per GBC map attribute byte: its palette base word and (attr >> 3) & 9, which picks the
    // bank and vertical mirror row offset in `gbclayer`.
    struct tattrinfo {
        uint32_t base;
        uint32_t select;
    };
    tattrinfo attrinfo[256];

    // Scratch lines.
    uint8_t rawline[160];      // raw colour numbers (DMG, for behind-background sprites)
    uint8_t priorityline[160]; // GBC: pixel belongs to a tile with the priority attribute
    uint8_t layerline[160];    // GBC: background and window before the sprites
    bool prioritytiles = false;
    alignas(4) uint8_t privateline[160];  // scratch line for derived line routines
    alignas(4) uint8_t chunkline[160];    // whole-line renders of the mid-line chunks
};

}  // namespace tov
