#include "video/gbdrawtov.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>

#include "core/ioregs.h"
#include "video/videooptions.h"

namespace tov {

namespace {
// OAM attribute bits.
constexpr uint8_t attrbehind = 0x80;
constexpr uint8_t attrvflip = 0x40;
constexpr uint8_t attrhflip = 0x20;
constexpr uint8_t attrobp1 = 0x10;
constexpr uint8_t attrbank = 0x08;

constexpr int mapsoffset = 0x1800;
constexpr int bank1offset = 0x2000;

inline uint32_t load32(const uint8_t* p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return v;
}
inline void store32(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }
inline void store64(uint8_t* p, uint64_t v) { std::memcpy(p, &v, 8); }

// A sprite's 8 colour numbers in screen order (mirrored when flip); false when all are 0.
inline bool spriterow(const uint8_t* pixels, bool flip, uint8_t* row8) {
    uint64_t v;
    std::memcpy(&v, pixels, 8);
    if (!v) return false;
    if (flip) v = __builtin_bswap64(v);
    std::memcpy(row8, &v, 8);
    return true;
}
}  // namespace

tgbdrawtov::tgbdrawtov(const tvideooptions& settings_)
    : colors(&owncolors),
      settings(settings_),
      lineproc(&tgbdrawtov::dmgline),
      tilecache(new uint8_t[tilecount * 64]()),
      packedcache(new uint16_t[tilecount * 8 * 2]()),
      colortable(new uint32_t[32768]()) {
    for (int bank = 0; bank < 2; ++bank) {
        for (int n = 0; n < 256; ++n) {
            tileindex[bank][0][n] = uint16_t(384 * bank + n);
            tileindex[bank][1][n] = uint16_t(384 * bank + (n < 128 ? 256 + n : n));
        }
    }
    for (int v = 0; v < 16; ++v) {
        for (int b = 0; b < 4; ++b) {
            const int bit = (v >> (3 - b)) & 1;
            lowplane[v][b] = uint8_t(bit);
            highplane[v][b] = uint8_t(bit * 2);
        }
    }
    std::memset(spritelines, 0, sizeof spritelines);
    std::memset(linehassprite, 0, sizeof linehassprite);
    std::memset(linehasbehind, 0, sizeof linehasbehind);
    std::memset(rawline, 0, sizeof rawline);
    std::memset(priorityline, 0, sizeof priorityline);
    std::memset(layerline, 0, sizeof layerline);
    std::memset(privateline, 0, sizeof privateline);
    std::memset(chunkline, 0, sizeof chunkline);
    for (int i = 0; i < spritecount; ++i) draworder[i] = uint8_t(i);
    for (int p = 0; p < 8; ++p) gbcpalbase[p] = 0x04040404u * uint32_t(p + 1);
    for (int a = 0; a < 256; ++a) attrinfo[a] = {gbcpalbase[a & 7], uint32_t((a >> 3) & 9)};
    for (int c = 0; c < 4; ++c) {
        bgpmap[c] = uint8_t(palentry::dmgbg + c);
        obpmap[0][c] = uint8_t(palentry::dmgobp0 + c);
        obpmap[1][c] = uint8_t(palentry::dmgobp1 + c);
    }
    std::memset(bgptable, palentry::dmgbg, sizeof bgptable);
    invalidate();
}

tgbdrawtov::~tgbdrawtov() = default;

// ---- Set-up

void tgbdrawtov::init() {
    if (!gfxout) throw std::runtime_error("gbdraw.init called w/o gfxout");
    dmgtables = !gbcmode;
    colors->lcdcorrect = lcdcolors && gbcmode;
    tcolourkey key{colors, colors->gamma, colors->lcdcorrect, settings};
    if (!colourbuilt || !(*colourbuilt == key)) {
        colors->rebuild(settings);
        for (int c = 0; c < 32768; ++c) colortable[c] = colors->convert(uint16_t(c));
        colourbuilt = std::move(key);
    }
    selectlineproc();
    loadbank1 = true;
    invalidate();
    if (gbcmode) {
        if (gbcpalram) {
            for (int i = 0; i < 64; ++i) gfxout->palette[palentry::gbcbase + i] = colortable[gbcpalram[i] & 0x7FFF];
        }
        gfxout->setpalette(palentry::gbcbase, 64);
    }
    for (int p = 0; p < 8; ++p) gbcpalbase[p] = 0x04040404u * uint32_t(p + 1);
}

void tgbdrawtov::selectlineproc() {
    lineproc = gbcmode ? &tgbdrawtov::gbcline : &tgbdrawtov::dmgline;
}

void tgbdrawtov::invalidate() {
    std::memset(rowdirty, 1, sizeof rowdirty);
    std::memset(blockdirty, 1, sizeof blockdirty);
    anytiledirty = true;
    std::memset(spritedirty, 1, sizeof spritedirty);
    anyspritedirty = true;
    std::memset(paldirty, 1, sizeof paldirty);
    paldirtylow = 0;
    paldirtyhigh = 63;
    anypaldirty = true;
    lastbgp = -1;
    lastobp[0] = lastobp[1] = -1;
    lastlcdc = -1;
}

// ---- Change notices from the machine

void tgbdrawtov::vramwrite(int bank, int address) {
    // The tile maps are read live; only tile data feeds the cache.
    if (unsigned(address) >= unsigned(mapsoffset)) return;
    const int offset = address + mapsoffset * (bank & 1);
    rowdirty[offset >> 1] = true;
    blockdirty[offset >> 8] = true;
    anytiledirty = true;
}

void tgbdrawtov::oamwrite(int address) {
    if (unsigned(address) >= 160u) return;
    spritedirty[address >> 2] = true;
    anyspritedirty = true;
}

void tgbdrawtov::palwrite(int index) {
    if (unsigned(index) >= 128u) return;
    const int entry = index >> 1;
    paldirty[entry] = true;
    paldirtylow = std::min(paldirtylow, entry);
    paldirtyhigh = std::max(paldirtyhigh, entry);
    anypaldirty = true;
}

// ---- Frame and line hooks

void tgbdrawtov::framebegin() {
    if (!gfxout) throw std::runtime_error("gbdraw.framebegin called w/o gfxout");
    windowline = -1;
    windowtriggered = false;
    windowthisline = false;
    if (!skipframe) gfxout->beginframe();
    frameopen = true;
}

void tgbdrawtov::frameend() {
    if (!skipframe && gfxout) gfxout->endframe();
    frameopen = false;
}

void tgbdrawtov::startline(int ly) {
    if (!frameopen) return;
    const tlcdregisters& r = registers();
    // DMG hardware treats WX 166 like 7; the GBC shows a single window pixel at column 159.
    windowx = r.wx;
    if (!gbchardware && windowx == 166) windowx = 7;
    windowthisline = false;
    // The window also starts on the line after WY (no 8-bit wrap: WY 255 never matches 0).
    if ((ly == r.wy || ly == int(r.wy) + 1) && (r.lcdc & lcdcwindowon) && windowline < 0) windowtriggered = true;
    if (windowx <= 166 && windowtriggered && (r.lcdc & lcdcwindowon)) {
        windowthisline = true;
        ++windowline;
    }
}

void tgbdrawtov::drawline(int ly) {
    if (!frameopen || skipframe || !gfxout) return;
    // One copy per line: mid-line writes are replayed on it, never on the machine's record.
    lcd = registers();
    refreshcaches();
    uint8_t* line = gfxout->getline(ly);
    if (!line) return;
    if (linewritecount <= 0 || !linewrites)
        renderline(ly, line);
    else
        drawmidline(ly, line);
    gfxout->lineready();
}

void tgbdrawtov::blank() {
    if (skipframe || frameopen || !gfxout) return;
    uint32_t color;
    if (gbcmode)
        color = 0xFFFFFF;
    else if (!sgbmode || settings.SGBnocolors)
        color = reflectorcolor(settings);
    else
        color = gfxout->palette[palentry::gbcbase];
    gfxout->palette[palentry::blank] = color;
    gfxout->setpalette(palentry::blank, 1);
    gfxout->beginframe();
    for (int y = 0; y < visiblelines; ++y) {
        uint8_t* line = gfxout->getline(y);
        if (!line) continue;
        std::memset(line, palentry::blank, 160);
        gfxout->lineready();
    }
    gfxout->endframe();
}

void tgbdrawtov::refresh() {
    if (!skipframe && gfxout) gfxout->present();
}

// ---- Caches

void tgbdrawtov::updatecaches() {
    lcd = registers();
    refreshcaches();
}

void tgbdrawtov::refreshcaches() {
    // Runs before every line: the common nothing-changed case costs a few compares.
    if (anytiledirty) updatetiles();
    if ((!gbcmode || dmgtables) && (lcd.bgp != lastbgp || lcd.obp0 != lastobp[0] || lcd.obp1 != lastobp[1])) updatedmgpalettes();
    if (anyspritedirty || lastlcdc < 0 || ((lastlcdc ^ lcd.lcdc) & lcdcobj16))
        updatesprites();
    else
        lastlcdc = lcd.lcdc;
    if (anypaldirty && gbcmode) updategbcpalettes();
}

void tgbdrawtov::updatetiles() {
    if (!anytiledirty || !vram) return;
    const int lastblock = (gbcmode || loadbank1) ? rowblockcount : rowblockcount / 2;
    for (int block = 0; block < lastblock; ++block) {
        if (!blockdirty[block]) continue;
        blockdirty[block] = false;
        const bool packed = dmgtables && block < rowblockcount / 2;
        for (int r = block * 128; r < block * 128 + 128; ++r) {
            if (!rowdirty[r]) continue;
            rowdirty[r] = false;
            // Rows 0-3071 are bank 0, 3072-6143 bank 1; a row is two bytes, low plane first.
            const int bank = r >= 3072;
            const uint8_t* src = vram + bank * bank1offset + (r - bank * 3072) * 2;
            const uint8_t lo = src[0], hi = src[1];
            uint8_t* dst = tilecache.get() + r * 8;
            store32(dst, load32(lowplane[lo >> 4]) + load32(highplane[hi >> 4]));
            store32(dst + 4, load32(lowplane[lo & 15]) + load32(highplane[hi & 15]));
            if (packed) {
                uint16_t* pk = packedcache.get() + r * 2;
                pk[0] = uint16_t(4 * (dst[0] | dst[1] << 2 | dst[2] << 4 | dst[3] << 6));
                pk[1] = uint16_t(4 * (dst[4] | dst[5] << 2 | dst[6] << 4 | dst[7] << 6));
            }
        }
    }
    anytiledirty = false;
    loadbank1 = false;
}

bool tgbdrawtov::dmgderivedentries() const {
    return !gbcmode && (!sgbmode || settings.SGBnocolors);
}

void tgbdrawtov::updatedmgpalettes() {
    if (gbcmode && !dmgtables) return;
    const bool derived = dmgderivedentries() && gfxout;
    if (lcd.bgp != lastbgp) {
        lastbgp = lcd.bgp;
        for (int c = 0; c < 4; ++c) bgpmap[c] = uint8_t(palentry::dmgbg | ((lcd.bgp >> (2 * c)) & 3));
        for (int v = 0; v < 256; ++v)
            for (int f = 0; f < 4; ++f) bgptable[v * 4 + f] = bgpmap[(v >> (2 * f)) & 3];
        if (derived) {
            for (int c = 0; c < 4; ++c) {
                gfxout->palette[palentry::derived + c] = gfxout->palette[bgpmap[c]];
                gfxout->palette[palentry::derived + 4 + c] = gfxout->palette[bgpmap[c] + 4];
            }
            gfxout->setpalette(palentry::derived, 8);
        }
    }
    const uint8_t obp[2] = {lcd.obp0, lcd.obp1};
    for (int i = 0; i < 2; ++i) {
        if (obp[i] == lastobp[i]) continue;
        lastobp[i] = obp[i];
        const int base = i ? palentry::dmgobp1 : palentry::dmgobp0;
        for (int c = 0; c < 4; ++c) obpmap[i][c] = uint8_t(base | ((obp[i] >> (2 * c)) & 3));
        if (derived) {
            for (int c = 0; c < 4; ++c)
                gfxout->palette[palentry::derived + 8 + 4 * i + c] = gfxout->palette[obpmap[i][c]];
            gfxout->setpalette(palentry::derived + 8, 8);
        }
    }
}

void tgbdrawtov::updatesprites() {
    if (lastlcdc < 0 || ((lastlcdc ^ lcd.lcdc) & lcdcobj16)) {
        spriteheight = (lcd.lcdc & lcdcobj16) ? 16 : 8;
        std::memset(spritedirty, 1, sizeof spritedirty);
        anyspritedirty = true;
    }
    lastlcdc = lcd.lcdc;
    if (!anyspritedirty || !oam) return;
    std::memset(linehassprite, 0, sizeof linehassprite);
    std::memset(linehasbehind, 0, sizeof linehasbehind);
    for (int s = 0; s < spritecount; ++s) {
        const bool dirty = spritedirty[s];
        spritedirty[s] = false;
        if (dirty) std::memset(spritelines[s], 0, sizeof spritelines[s]);
        const int top = int(oam[4 * s]) - 16;
        // A sprite whose top would be line 143 or below is never shown (bound 143, not 144).
        if (top == -16 || top >= 143) continue;
        const bool behind = oam[4 * s + 3] & attrbehind;
        const int first = std::max(top, 0);
        const int last = std::min(top + spriteheight - 1, visiblelines - 1);
        for (int y = first; y <= last; ++y) {
            linehassprite[y] = true;
            if (behind) linehasbehind[y] = true;
            if (dirty) spritelines[s][y] = 1;
        }
    }
    if (!gbcmode) {
        // DMG priority: smaller X on top, equal X by lower OAM index.
        // Insertion sort: stable like the hardware rule wants, and no allocation on this path.
        for (int i = 0; i < spritecount; ++i) {
            const uint8_t s = uint8_t(i);
            const uint8_t x = oam[4 * s + 1];
            int j = i;
            while (j > 0 && oam[4 * draworder[j - 1] + 1] > x) {
                draworder[j] = draworder[j - 1];
                --j;
            }
            draworder[j] = s;
        }
    }
    if (settings.SpriteLimit) {
        // The LCD fetches at most 10 sprites a line, the first ten in OAM order whatever their X.
        for (int y = visiblelines - 1; y >= 0; --y) {
            if (!linehassprite[y]) continue;
            int count = 0;
            for (int s = 0; s < spritecount; ++s) {
                if (!spritelines[s][y]) continue;
                if (++count > 10) {
                    spritelines[s][y] = 0;
                    spritedirty[s] = true;
                }
            }
        }
    }
    anyspritedirty = false;
}

void tgbdrawtov::updategbcpalettes() {
    if (!gbcmode || !anypaldirty || !gbcpalram || !gfxout) return;
    for (int i = paldirtylow; i <= paldirtyhigh; ++i) {
        if (!paldirty[i]) continue;
        paldirty[i] = false;
        gfxout->palette[palentry::gbcbase + i] = colortable[gbcpalram[i] & 0x7FFF];
    }
    if (paldirtyhigh >= paldirtylow)
        gfxout->setpalette(palentry::gbcbase + paldirtylow, paldirtyhigh - paldirtylow + 1);
    paldirtylow = 64;
    paldirtyhigh = -1;
    anypaldirty = false;
}

// ---- Line routines

int tgbdrawtov::windowstart() const {
    if (!windowthisline) return 160;
    return windowx > 6 ? windowx - 7 : 0;
}

template <bool window, bool storeraw>
void tgbdrawtov::dmglayer(uint8_t* line, int start, int end, int mapbase, int x, int row, const uint16_t* tiles) {
    const uint8_t* map = vram + mapbase;
    const uint8_t* cache = tilecache.get() + row * 8;
    const uint16_t* packed = packedcache.get() + row * 2;
    constexpr uint8_t add = window ? 4 : 0;
    int col = start;
    int m = (x >> 3) & 31;
    // A tile cut by the scroll or the layer's end: pixel by pixel through the BGP map.
    auto partial = [&](int fine, int n) {
        const uint8_t* pixels = cache + tiles[map[m]] * 64 + fine;
        for (int i = 0; i < n; ++i) line[col + i] = uint8_t(bgpmap[pixels[i]] + add);
        if (storeraw) std::memcpy(rawline + col, pixels, size_t(n));
        col += n;
        m = (m + 1) & 31;
    };
    const int fine = x & 7;
    if (col < end && (fine || end - col < 8)) partial(fine, std::min(8 - fine, end - col));
    // Whole tiles: two 4-pixel lookups in the BGP table through the packed row.
    const int whole = (end - col) >> 3;
    uint8_t* out = line + col;
    uint32_t column = uint32_t(m);
    int left = whole;
    while (left > 0) {
        // Up to the map row's end without wrapping, then on from column 0.
        const int run = std::min(left, int(32 - column));
        const uint8_t* mp = map + column;
        for (int k = 0; k < run; ++k) {
            const uint32_t tile = tiles[mp[k]];
            const uint16_t* pk = packed + tile * 16;
            uint32_t lo = load32(bgptable + pk[0]);
            uint32_t hi = load32(bgptable + pk[1]);
            if (window) {
                lo += 0x04040404u;
                hi += 0x04040404u;
            }
            store32(out, lo);
            store32(out + 4, hi);
            if (storeraw) std::memcpy(rawline + (out - line), cache + tile * 64, 8);
            out += 8;
        }
        left -= run;
        column = (column + uint32_t(run)) & 31;
    }
    col += whole * 8;
    m = int(column);
    if (col < end) partial(0, end - col);
}

void tgbdrawtov::dmgline(int ly, uint8_t* line) {
    if (unsigned(ly) >= unsigned(visiblelines) || !vram || !oam) return;
    if (!dmgtables) {
        // The game left GBC tables behind: build the packed rows and BGP tables now.
        dmgtables = true;
        invalidate();
        refreshcaches();
    }
    const uint16_t* tiles = tileindex[0][(lcd.lcdc & lcdctiledata) ? 0 : 1];
    const int wstart = windowstart();
    const bool storeraw = linehasbehind[ly];

    if (lcd.lcdc & lcdcbgon) {
        if (wstart > 0) {
            const int y = (lcd.scy + ly) & 255;
            const int map = mapsoffset + ((lcd.lcdc & lcdcbgmap) ? 0x400 : 0) + 32 * (y >> 3);
            if (storeraw)
                dmglayer<false, true>(line, 0, wstart, map, lcd.scx, y & 7, tiles);
            else
                dmglayer<false, false>(line, 0, wstart, map, lcd.scx, y & 7, tiles);
        }
    } else {
        // Background off: colour 0 through BGP, and it counts as colour 0 for sprites.
        std::memset(line, bgpmap[0], size_t(wstart));
        if (storeraw) std::memset(rawline, 0, size_t(wstart));
    }

    if (wstart < 160) {
        const int wl = windowline & 255;
        const int map = mapsoffset + ((lcd.lcdc & lcdcwindowmap) ? 0x400 : 0) + 32 * (wl >> 3);
        // Window pixel for column c is c - WX + 7; with WX below 7 its left part is cut off.
        const int x = wstart - windowx + 7;
        if (storeraw)
            dmglayer<true, true>(line, wstart, 160, map, x, wl & 7, tiles);
        else
            dmglayer<true, false>(line, wstart, 160, map, x, wl & 7, tiles);
    }

    if (!(lcd.lcdc & lcdcobjon) || !linehassprite[ly]) return;
    const int height = spriteheight;
    for (int i = spritecount - 1; i >= 0; --i) {
        const int s = draworder[i];
        if (!spritelines[s][ly]) continue;
        const uint8_t* o = oam + 4 * s;
        int row = ly + 16 - o[0];
        if (unsigned(row) >= unsigned(height)) continue;
        const uint8_t attr = o[3];
        if (attr & attrvflip) row = height - 1 - row;
        int tile = o[2];
        if (height == 16) tile &= 0xFE;
        const uint8_t* pixels = tilecache.get() + (tile + (row >> 3)) * 64 + (row & 7) * 8;
        const uint8_t* map = obpmap[(attr & attrobp1) ? 1 : 0];
        const int x = o[1] - 8;
        uint8_t row8[8];
        if (!spriterow(pixels, attr & attrhflip, row8)) continue;
        // Only the columns inside 0-159 are visited.
        const int k0 = std::max(0, -x), k1 = std::min(8, 160 - x);
        if (attr & attrbehind) {
            for (int k = k0; k < k1; ++k)
                if (row8[k] && !rawline[x + k]) line[x + k] = map[row8[k]];
        } else {
            for (int k = k0; k < k1; ++k)
                if (row8[k]) line[x + k] = map[row8[k]];
        }
    }
}

void tgbdrawtov::gbclayer(uint8_t* line, int start, int end, int mapbase, int x, int row, int mode) {
    const uint8_t* map = vram + mapbase;
    const uint8_t* attrs = vram + bank1offset + mapbase;
    const uint8_t* cache = tilecache.get();
    // Bank 1 tiles sit 384 tiles after their bank 0 twins in every pointer table.
    const uint16_t* tiles = tileindex[0][mode];
    // Byte offset of the row inside a tile's cache entry plus the bank, indexed by
    // attribute bits 3 (bank) and 6 (vertical mirror) as (attr >> 3) & 9.
    uint32_t rowoffset[10] = {};
    rowoffset[0] = row * 8;
    rowoffset[1] = 384 * 64 + row * 8;
    rowoffset[8] = (7 - row) * 8;
    rowoffset[9] = 384 * 64 + (7 - row) * 8;
    uint8_t attrseen = 0;
    int col = start;
    int m = (x >> 3) & 31;
    auto partial = [&](int fine, int n) {
        const uint8_t attr = attrs[m];
        const uint8_t* pixels = cache + tiles[map[m]] * 64 + rowoffset[(attr >> 3) & 9];
        const uint8_t add = uint8_t(gbcpalbase[attr & 7]);
        const bool flip = attr & attrhflip;
        for (int i = 0; i < n; ++i) {
            const int px = fine + i;
            line[col + i] = uint8_t(pixels[flip ? 7 - px : px] + add);
        }
        attrseen |= attr;
        col += n;
        m = (m + 1) & 31;
    };
    const int fine = x & 7;
    if (col < end && (fine || end - col < 8)) partial(fine, std::min(8 - fine, end - col));
    // Whole tiles, 4 pixels per step: the palette base added to 4 colour numbers at once.
    const int whole = (end - col) >> 3;
    uint8_t* out = line + col;
    uint32_t column = uint32_t(m);
    int left = whole;
    while (left > 0) {
        // Up to the map row's end without wrapping, then on from column 0.
        const int run = std::min(left, int(32 - column));
        const uint8_t* mp = map + column;
        const uint8_t* ap = attrs + column;
        for (int k = 0; k < run; ++k) {
            const uint32_t attr = ap[k];
            const tattrinfo info = attrinfo[attr];
            const uint8_t* pixels = cache + (uint32_t(tiles[mp[k]]) << 6) + rowoffset[info.select];
            uint32_t lo = load32(pixels), hi = load32(pixels + 4);
            if (attr & attrhflip) {
                const uint32_t t = __builtin_bswap32(lo);
                lo = __builtin_bswap32(hi);
                hi = t;
            }
            store32(out, lo + info.base);
            store32(out + 4, hi + info.base);
            attrseen |= uint8_t(attr);
            out += 8;
        }
        left -= run;
        column = (column + uint32_t(run)) & 31;
    }
    col += whole * 8;
    m = int(column);
    if (col < end) partial(0, end - col);
    if (attrseen & attrbehind) prioritytiles = true;
}

void tgbdrawtov::gbcmarkpriority(int start, int end, int mapbase, int x) {
    const uint8_t* attrs = vram + bank1offset + mapbase;
    int col = start;
    int m = (x >> 3) & 31;
    int n = 8 - (x & 7);
    while (col < end) {
        n = std::min(n, end - col);
        std::memset(priorityline + col, attrs[m] >> 7, size_t(n));
        col += n;
        m = (m + 1) & 31;
        n = 8;
    }
}

void tgbdrawtov::gbcline(int ly, uint8_t* line) {
    if (unsigned(ly) >= unsigned(visiblelines) || !vram || !oam) return;
    const int mode = (lcd.lcdc & lcdctiledata) ? 0 : 1;
    const int wstart = windowstart();
    prioritytiles = false;

    // LCDC.0 does not hide the background in GBC mode; it switches priorities off.
    const int y = (lcd.scy + ly) & 255;
    const int bgmap = mapsoffset + ((lcd.lcdc & lcdcbgmap) ? 0x400 : 0) + 32 * (y >> 3);
    if (wstart > 0) gbclayer(line, 0, wstart, bgmap, lcd.scx, y & 7, mode);
    const int wl = windowline & 255;
    const int windowmap = mapsoffset + ((lcd.lcdc & lcdcwindowmap) ? 0x400 : 0) + 32 * (wl >> 3);
    const int windowx0 = wstart - windowx + 7;
    if (wstart < 160) gbclayer(line, wstart, 160, windowmap, windowx0, wl & 7, mode);

    if (!(lcd.lcdc & lcdcobjon) || !linehassprite[ly]) return;
    const bool priorities = (lcd.lcdc & lcdcbgon) != 0;
    const bool redraw = prioritytiles && priorities;
    if (redraw) {
        std::memcpy(layerline, line, 160);
        // Which pixels belong to priority tiles, worked out only on lines that need it.
        if (wstart > 0) gbcmarkpriority(0, wstart, bgmap, lcd.scx);
        if (wstart < 160) gbcmarkpriority(wstart, 160, windowmap, windowx0);
    }
    const int height = spriteheight;
    // Lower OAM index on top: draw from sprite 39 down to 0.
    for (int s = spritecount - 1; s >= 0; --s) {
        if (!spritelines[s][ly]) continue;
        const uint8_t* o = oam + 4 * s;
        int row = ly + 16 - o[0];
        if (unsigned(row) >= unsigned(height)) continue;
        const uint8_t attr = o[3];
        if (attr & attrvflip) row = height - 1 - row;
        int tile = o[2];
        if (height == 16) tile &= 0xFE;
        const int index = ((attr & attrbank) ? 384 : 0) + tile + (row >> 3);
        const uint8_t* pixels = tilecache.get() + index * 64 + (row & 7) * 8;
        const uint8_t base = uint8_t(36 + 4 * (attr & 7));
        const int x = o[1] - 8;
        uint8_t row8[8];
        if (!spriterow(pixels, attr & attrhflip, row8)) continue;
        const int k0 = std::max(0, -x), k1 = std::min(8, 160 - x);
        if ((attr & attrbehind) && priorities) {
            for (int k = k0; k < k1; ++k)
                if (row8[k] && !(line[x + k] & 3)) line[x + k] = uint8_t(base + row8[k]);
        } else {
            for (int k = k0; k < k1; ++k)
                if (row8[k]) line[x + k] = uint8_t(base + row8[k]);
        }
    }
    if (redraw) {
        // Non-zero pixels of priority tiles cover every sprite.
        // Eight pixels per step: a byte is taken from the layer where its priority mark is 1
        // and its colour number is not 0.
        constexpr uint64_t ones = 0x0101010101010101ull;
        for (int x = 0; x < 160; x += 8) {
            uint64_t layer, marks, now;
            std::memcpy(&layer, layerline + x, 8);
            std::memcpy(&marks, priorityline + x, 8);
            std::memcpy(&now, line + x, 8);
            const uint64_t colour = layer & (3 * ones);
            const uint64_t take = ((colour | (colour >> 1)) & ones & marks) * 0xFF;
            now = (now & ~take) | (layer & take);
            std::memcpy(line + x, &now, 8);
        }
    }
}

// ---- Mid-line register writes (LCDC, SCY, SCX, BGP, OBP0, OBP1, WY, WX)

void tgbdrawtov::drawmidline(int ly, uint8_t* line) {
    const int count = std::min<int>(linewritecount, maxlinewrites);
    int chunk[maxlinewrites];
    for (int i = 0; i < count; ++i) {
        chunk[i] = 19 - linewrites[i].position / 4;
        // Mode 3 is 84 units: a write in its first units, before the first pixel is sent
        // out, applies to the whole line.
        if (chunk[i] == -1 || chunk[i] == -2) chunk[i] = 0;
    }

    const tlcdregisters final = lcd;
    const int finalwindowx = windowx;
    const bool finalwindowthisline = windowthisline;
    auto reg = [this](uint32_t address) -> uint8_t* {
        switch (address) {
            case 0xFF40: return &lcd.lcdc;
            case 0xFF42: return &lcd.scy;
            case 0xFF43: return &lcd.scx;
            case 0xFF47: return &lcd.bgp;
            case 0xFF48: return &lcd.obp0;
            case 0xFF49: return &lcd.obp1;
            case 0xFF4A: return &lcd.wy;
            case 0xFF4B: return &lcd.wx;
            default: return nullptr;
        }
    };
    // Start the line with each register's value before its first write in the line.
    for (int i = count - 1; i >= 0; --i)
        if (uint8_t* r = reg(linewrites[i].reg)) *r = linewrites[i].oldvalue;
    refreshcaches();
    if (finalwindowthisline) {
        // The line's window was decided from the final registers: take it back to the
        // start values, keeping its line counter.
        windowx = lcd.wx;
        if (!gbchardware && windowx == 166) windowx = 7;
        windowthisline = windowx <= 166 && windowtriggered && (lcd.lcdc & lcdcwindowon);
    }
    bool counted = finalwindowthisline;  // the line has advanced the window's line counter

    auto copychunk = [&](int k) {
        const int first = k * 8 - (lcd.scx & 7);
        const int from = std::max(first, 0), to = std::min(first + 8, 160);
        if (to > from) std::memcpy(line + from, chunkline + from, size_t(to - from));
    };

    bool rendered = false;
    for (int k = 0; k < 20; ++k) {
        bool changed = false, window = false;
        // Every write of the chunk, in the order written.
        for (int i = 0; i < count; ++i) {
            if (chunk[i] != k) continue;
            const tlinewrite& w = linewrites[i];
            uint8_t* r = reg(w.reg);
            if (!r) continue;
            if (w.reg == 0xFF43)
                // Only the tile column changes; the line keeps its fine scroll.
                lcd.scx = uint8_t((w.newvalue & 0xF8) | (lcd.scx & 7));
            else
                *r = w.newvalue;
            if (w.reg == 0xFF40 || w.reg == 0xFF4B) window = true;
            changed = true;
        }
        if (window) {
            const bool before = windowthisline;
            // Switched on inside the line: the start-of-line trigger is taken now.
            if ((ly == lcd.wy || ly == int(lcd.wy) + 1) && (lcd.lcdc & lcdcwindowon) && windowline < 0)
                windowtriggered = true;
            windowx = lcd.wx;
            if (!gbchardware && windowx == 166) windowx = 7;
            windowthisline = windowx <= 166 && windowtriggered && (lcd.lcdc & lcdcwindowon);
            // A window that first appears inside the line counts the line once.
            if (windowthisline && !before && !counted) {
                ++windowline;
                counted = true;
            }
        }
        if (changed) {
            refreshcaches();
            rendered = false;
        }
        if (!rendered) {
            renderline(ly, chunkline);
            rendered = true;
        }
        copychunk(k);
    }

    lcd = final;
    refreshcaches();
    if (lcd.scx & 7) {
        renderline(ly, chunkline);
        copychunk(20);
    }
    windowx = finalwindowx;
    windowthisline = finalwindowthisline || windowthisline;
}

}  // namespace tov
