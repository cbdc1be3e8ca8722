// The Super Game Boy adapter: packets over the joypad register, palettes, attributes,
// border and multiplayer joypads.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "state/statefwd.h"

namespace tov {

struct tvideooptions;
class tsgb;

// What the adapter needs from the renderer. tgbdrawtovsgb implements it; tests use fakes.
class tsgbscreen {
public:
    virtual ~tsgbscreen() = default;
    // Draws line ly once more with the monochrome line routine (BGP taken as 0xE4 in GBC
    // mode) into 160 bytes; the low 2 bits of each byte are the pixel's shade.
    virtual void sgbcaptureline(int ly, uint8_t* line) = 0;
    // The four screen palettes as output colours (16 entries, palette-major) for output
    // palette entries 4-19.
    virtual void sgbsetcolors(const uint32_t* colors) = 0;
    virtual void sgbblank() = 0;    // the renderer's blank
    virtual void sgbrefresh() = 0;  // the renderer's refresh
    virtual bool sgbgbcmode() const = 0;  // the machine runs in GBC mode
    // The unit is going away: forget it.
    virtual void sgbunlinked(const tsgb* unit) {}
};

class tsgb {
public:
    using tevent = void (*)(void* context);
    using tpacketlog = void (*)(void* context, int packetcount);

    static constexpr int borderwidth = 256, borderheight = 224;
    static constexpr int screenx = 48, screeny = 40;  // game screen inside the border
    static constexpr int attrfilecount = 45, attrsize = 90;

    // Restart event used by the two-phase colour start (machine reset); fired once the
    // border has been shown and the screen is unmasked.
    tevent onrestart = nullptr;
    void* onrestartcontext = nullptr;
    bool keepborder = false;  // the border survives the next reset

    // --- Saved state (one member per save-state chunk, in chunk order) ---
    bool xferstartbit = false;    // a reset pulse was seen, no idle state yet
    bool xferbusy = false;        // a packet is being received
    int32_t xferoffset = 0;       // packet bits received, 0-128
    uint8_t xferdata[16] = {};    // packet being received, bit n = bit n%8 of byte n/8
    int32_t joypadmax = 0;        // joypad number mask: 0, 1 or 3
    int32_t joypadcurrent = 0;    // joypad answering reads, 0-3
    int32_t joypaddone = 0;       // bit 0: P15 was driven low, the next release of both lines advances
    int32_t screenfrozen = 0;     // MASK_EN: 0 none, 1 freeze, 2 black, 3 colour 0
    uint8_t chardata[8192] = {};  // border tiles, 256 x 32 bytes, 4 bit planes
    uint16_t pctmap[1024] = {};   // border map 32 x 32: tile, palette, mirrors
    uint16_t pal[128] = {};       // working palettes 8 x 16 (0-3 screen, 4-7 border)
    uint16_t rampal[2048] = {};   // system palettes 512 x 4
    int32_t trnstatus = 0;        // 0 none, 1 requested, 2 capturing
    int32_t trnselect = 0;        // 1 tiles, 2 map+palettes, 3 system palettes, 4 attribute files
    int32_t chrtrnselect = 0;     // tile offset of a tile transfer: 0 or 128
    bool hasborder = false;
    uint8_t atf[attrfilecount * attrsize] = {};  // attribute files
    uint8_t attr[attrsize] = {};  // attribute map in force: 18 rows x 5 bytes, 2 bits a cell
    bool mltreqdone = false;
    int32_t packetmax = 0;        // packets of the command being received
    int32_t packetcurrent = 0;    // packets of it received so far
    uint8_t packetdata[112] = {}; // the command's packets, up to 7 x 16 bytes
    uint8_t vramdata[4096] = {};  // video transfer buffer
    bool hidden = false;          // packets are ignored
    bool initialflag = false;

    // --- Not saved ---
    uint32_t colors[128] = {};        // working palettes as 0x00BBGGRR
    std::vector<uint32_t> border;     // 256 x 224 border picture, 0x00BBGGRR
    tsgbscreen* screen = nullptr;     // the renderer, set by the front end
    const tvideooptions* options = nullptr;  // `SGBnocolors`; none: colours on
    tevent onborder = nullptr;        // front end: the border picture changed
    void* onbordercontext = nullptr;
    tpacketlog onpacket = nullptr;    // debugger's packet log
    void* onpacketcontext = nullptr;

    tsgb();
    explicit tsgb(const tvideooptions& o);
    tsgb(const tsgb&) = delete;
    tsgb& operator=(const tsgb&) = delete;
    virtual ~tsgb();

    // The two-phase colour start of a colour game that also speaks SGB: the first run is
    // an SGB game, so that it sends its border, and fires `routine` once the border is up;
    // the second run is the colour game inside that border, with packets ignored.
    void beginborderphase(tevent routine, void* context);
    void beginhiddenphase();
    // Any other start: packets are heard and the border is rebuilt at reset.
    void endhiddenphase();
    bool restartarmed() const { return onrestart != nullptr; }
    // Forgets a pending restart event armed with this context (nothing otherwise).
    void cancelrestart(const void* context);
    // Takes over a restart event that `other` holds for this context (a replaced unit).
    void adoptrestart(const tsgb& other, const void* context);

    void joypadwrite(uint8_t newvalue, uint8_t oldvalue);
    int currentjoypad() const;
    void endofline(int ly);
    void reset();
    void setmask(int mode);
    void rebuild();

    // A packet transfer is starting: busy, start bit set and both select lines idle in
    // the last joypad register value.
    bool transferstarting(uint8_t lastjoypad) const;
    // Palette 0-3 of the 8x8 screen cell at column cx (0-19), row cy (0-17).
    int cellpalette(int cx, int cy) const {
        return (attr[cy * 5 + (cx >> 2)] >> (6 - 2 * (cx & 3))) & 3;
    }
    // Whether the output palette carries SGB colours (SGBnocolors off, not in GBC mode).
    bool colorsactive() const;
    // Brings values read from a save state back into their ranges, then rebuilds.
    void afterstateload();

    // Every saved field in chunk order, for saving and loading alike. "sgb_vram_data" is
    // written only while a transfer is being captured and taken always.
    void statefields(tstatevisitor& v);

private:
    void pulse(int kind);
    void packetcomplete();
    void execute();
    void setpalentry(int p, int c, uint16_t v);
    void palpair(int pa, int pb);
    void requesttransfer(int kind);
    void applytransfer();
    void setcells(int x1, int y1, int x2, int y2, int p);
    void setcell(int x, int y, int p);
    void attrblk();
    void attrlin();
    void attrdiv();
    void attrchr();
    void setattrfile(int file);
    void drawborder();
    bool nocolors() const;
};

}  // namespace tov
