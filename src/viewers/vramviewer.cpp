#include "viewers/vramviewer.h"

#include <algorithm>
#include <cstdio>

#include "core/gb.h"
#include "core/hextext.h"
#include "video/gfxout.h"

namespace tov {

namespace {

std::string tileaddress(int tile) {
    return std::to_string(tile / 384) + ":" + hex(0x8000u + unsigned(tile % 384) * 16, 4);
}

// GBC attribute bits of map entries and sprites.
constexpr uint8_t attrbank = 0x08, attrhflip = 0x20, attrvflip = 0x40, attrpriority = 0x80;
// The output palette's GBC entries start at 4 (4 + palette word); DMG pages read from 0,
// where entries 16-19, 24-27 and 28-31 hold BGP, OBP0 and OBP1 as mapped (palettes 4, 6, 7).
constexpr int gbcentrybase = 4;

}  // namespace

std::string vrampalettename(int n, bool gbcmode) {
    if (n < 0 || n > 15) return "";
    if (gbcmode) return (n > 7 ? "OBJ " : "BG ") + std::to_string(n & 7);
    switch (n) {
    case 4: return "BGP";
    case 6: return "OBP0";
    case 7: return "OBP1";
    default: return "";
    }
}

tcellsize tilecellsize(int pagewidth, int pageheight, int panelwidth) {
    return {std::max(1, (pagewidth - panelwidth - 31) >> 5), std::max(1, (pageheight - 31) / 24)};
}

tcellsize mapcellsize(int pagewidth, int pageheight, int panelwidth) {
    return {std::max(2, (pagewidth - panelwidth - 31) >> 5), std::max(2, (pageheight - 39) >> 5)};
}

std::string tilestretchtext(tcellsize c) { return "stretch " + std::to_string(c.width) + "," + std::to_string(c.height); }

std::string mapstretchtext(tcellsize c, bool grid) {
    const int extra = grid ? 0 : 1;  // the grid line's pixel belongs to the cell without it
    return std::to_string(c.width + extra) + "," + std::to_string(c.height + extra);
}

std::vector<tviewrect> screenrectangles(int scx, int scy) {
    scx &= 255;
    scy &= 255;
    const int w1 = std::min(160, 256 - scx), h1 = std::min(144, 256 - scy);
    std::vector<tviewrect> out{{scx, scy, w1, h1}};
    if (w1 < 160) out.push_back({0, scy, 160 - w1, h1});
    if (h1 < 144) out.push_back({scx, 0, w1, 144 - h1});
    if (w1 < 160 && h1 < 144) out.push_back({0, 0, 160 - w1, 144 - h1});
    return out;
}

bool spriteoffscreen(int y, bool tall) { return y >= 160 || y <= (tall ? 0 : 8); }

// ---- The viewer ----

tvramview::tvramview(tgb& machine) : gb(machine) {
    tilepalette.fill(-1);
    tilepage.create(256, 192);
    mappage.create(256, 256);
    for (tviewimage& s : spritepictures) s.create(8, 16);
    previouswatch = gb.vramwatch;
    previouscontext = gb.vramwatchcontext;
    gb.vramwatch = onvramwrite;
    gb.vramwatchcontext = this;
    markall();
}

tvramview::~tvramview() {
    if (gb.vramwatch == onvramwrite && gb.vramwatchcontext == this) {
        gb.vramwatch = previouswatch;
        gb.vramwatchcontext = previouscontext;
    }
}

void tvramview::onvramwrite(void* context, int bank, int address) {
    auto* v = static_cast<tvramview*>(context);
    if (bank < 0) {
        v->markall();
    } else if (address < 0x1800) {
        v->tilechanged[size_t((bank & 1) * 384 + address / 16)] = true;
    } else {
        // The attribute bank's entry is the same map entry.
        v->mapchanged[size_t(address & 0x7FF)] = true;
    }
    if (v->previouswatch) v->previouswatch(v->previouscontext, bank, address);
}

void tvramview::markall() {
    everything = true;
    tilechanged.fill(true);
    mapchanged.fill(true);
    palettechanged.fill(true);
    spritechanged.fill(true);
}

bool tvramview::gbcmode() const { return video().gbcmode; }
bool tvramview::tallsprites() const { return video().lcd.lcdc & 0x04; }

int tvramview::mapbase() const {
    switch (mapsource) {
    case tmapsource::fixed9800: return 0x9800;
    case tmapsource::fixed9c00: return 0x9C00;
    default: return (video().lcd.lcdc & 0x08) ? 0x9C00 : 0x9800;
    }
}

bool tvramview::unsignedtiles() const {
    switch (tiledata) {
    case ttiledata::fixed8000: return true;
    case ttiledata::fixed8800: return false;
    default: return video().lcd.lcdc & 0x10;
    }
}

int tvramview::entrytile(uint8_t number, uint8_t attribute) const {
    // In 0x8800 addressing numbers below 128 reach the tiles from 0x9000.
    const int index = (!unsignedtiles() && number < 128) ? 256 + number : number;
    return (gbcmode() && (attribute & attrbank) ? 384 : 0) + index;
}

int tvramview::entrypalette(uint8_t attribute) const { return gbcmode() ? attribute & 7 : 4; }

int tvramview::spritepalette(uint8_t attribute) const {
    if (gbcmode()) return (attribute & 7) | 8;
    return (attribute & 0x10) ? 7 : 6;
}

std::array<uint32_t, 4> tvramview::palettecolours(int palette) const {
    if (palette < 0 || palette > 15 || !outputpalette) return greyramp;
    const int base = (gbcmode() ? gbcentrybase : 0) + palette * 4;
    return {(*outputpalette)[size_t(base)], (*outputpalette)[size_t(base + 1)], (*outputpalette)[size_t(base + 2)],
            (*outputpalette)[size_t(base + 3)]};
}

std::array<uint8_t, 64> tvramview::tilepixels(int tile) const {
    std::array<uint8_t, 64> out{};
    const tvideoview v = video();
    tile = std::clamp(tile, 0, 767);
    if (tile >= 384 && v.vrambanks < 2) return out;
    const uint8_t* data = v.vram + (tile / 384) * 0x2000 + (tile % 384) * 16;
    for (int row = 0; row < 8; row++) {
        const uint8_t low = data[row * 2], high = data[row * 2 + 1];
        for (int x = 0; x < 8; x++) {
            const int bit = 7 - x;
            out[size_t(row * 8 + x)] = uint8_t(((low >> bit) & 1) | (((high >> bit) & 1) << 1));
        }
    }
    return out;
}

void tvramview::drawtile(tviewimage& image, int x, int y, int tile, int palette, bool hflip, bool vflip,
                         int64_t transparent, int scale) const {
    const std::array<uint8_t, 64> px = tilepixels(tile);
    const std::array<uint32_t, 4> colours = palettecolours(palette);
    for (int row = 0; row < 8; row++) {
        for (int col = 0; col < 8; col++) {
            const uint8_t c = px[size_t((vflip ? 7 - row : row) * 8 + (hflip ? 7 - col : col))];
            const uint32_t colour = (c == 0 && transparent >= 0) ? uint32_t(transparent) : colours[c];
            for (int sy = 0; sy < scale; sy++) {
                const int py = y + row * scale + sy;
                if (py < 0 || py >= image.height) continue;
                for (int sx = 0; sx < scale; sx++) {
                    const int pxl = x + col * scale + sx;
                    if (pxl >= 0 && pxl < image.width) image.pixels[size_t(py) * size_t(image.width) + size_t(pxl)] = colour;
                }
            }
        }
    }
}

void tvramview::comparepalettes() {
    const tvideoview v = video();
    if (v.gbcmode) {
        for (int i = 0; i < 64; i++) {
            if (v.gbcpal[i] != lastwords[size_t(i)]) palettechanged[size_t(i / 4)] = true;
            lastwords[size_t(i)] = v.gbcpal[i];
        }
    } else {
        const uint8_t regs[3] = {v.lcd.bgp, v.lcd.obp0, v.lcd.obp1};
        const int numbers[3] = {4, 6, 7};
        for (int i = 0; i < 3; i++) {
            if (regs[i] != lastdmg[size_t(i)]) palettechanged[size_t(numbers[i])] = true;
            lastdmg[size_t(i)] = regs[i];
        }
    }
    // The output's colours change too with the colour options and, in DMG mode, whenever
    // the renderer maps the shades through BGP and OBP anew.
    for (int n = 0; n < 16; n++) {
        const std::array<uint32_t, 4> c = palettecolours(n);
        for (int k = 0; k < 4; k++) {
            if (c[size_t(k)] != lastcolours[size_t(n * 4 + k)]) palettechanged[size_t(n)] = true;
            lastcolours[size_t(n * 4 + k)] = c[size_t(k)];
        }
    }
}

void tvramview::scantilepalettes(std::array<int, 768>& seen) const {
    const tvideoview v = video();
    const int base = mapbase() - 0x8000;
    for (int i = 0; i < 1024; i++) {
        const uint8_t number = v.vram[base + i];
        const uint8_t attribute = v.gbcmode ? v.vram[0x2000 + base + i] : 0;
        seen[size_t(entrytile(number, attribute))] = entrypalette(attribute);
    }
    const bool tall = v.lcd.lcdc & 0x04;
    for (int s = 0; s < 40; s++) {
        const uint8_t y = v.oam[s * 4], x = v.oam[s * 4 + 1], number = v.oam[s * 4 + 2], attribute = v.oam[s * 4 + 3];
        if (!(y > 0 && y < 160 && x > 0 && x < 168)) continue;
        const int bank = v.gbcmode && (attribute & attrbank) ? 384 : 0;
        const int palette = spritepalette(attribute);
        if (tall) {
            seen[size_t(bank + (number & 0xFE))] = palette;
            seen[size_t(bank + (number | 1))] = palette;
        } else {
            seen[size_t(bank + number)] = palette;
        }
    }
}

tvramredraw tvramview::refresh() {
    tvramredraw done;
    const tvideoview v = video();
    comparepalettes();
    // Map base and tile data follow LCDC in automatic mode: a change marks every entry.
    if (lastlcdc >= 0 && ((lastlcdc ^ v.lcd.lcdc) & 0x18) &&
        (mapsource == tmapsource::automatic || tiledata == ttiledata::automatic))
        mapchanged.fill(true);
    const bool sizechanged = lastlcdc < 0 || ((lastlcdc ^ v.lcd.lcdc) & 0x04);
    for (int i = 0; i < 160; i++) {
        if (v.oam[i] != lastoam[size_t(i)]) spritechanged[size_t(i / 4)] = true;
        lastoam[size_t(i)] = v.oam[i];
    }
    if (sizechanged) spritechanged.fill(true);
    lastlcdc = v.lcd.lcdc;

    // Tiles page.
    std::array<int, 768> seen;
    if (Checktilecolor) {
        seen = tilepalette;
        scantilepalettes(seen);
    } else {
        seen.fill(-1);
    }
    for (int t = 0; t < 768; t++) {
        const int palette = seen[size_t(t)];
        const bool redraw = tilechanged[size_t(t)] || palette != tilepalette[size_t(t)] ||
                            (palette >= 0 && palettechanged[size_t(palette)]);
        tilepalette[size_t(t)] = palette;
        if (!redraw) continue;
        // Column j shows bank j / 16: tiles 0-383 left, 384-767 right.
        const int bank = t / 384, index = t % 384;
        drawtile(tilepage, (bank * 16 + index % 16) * 8, (index / 16) * 8, t, palette, false, false);
        done.tiles++;
    }

    // Map page.
    const int base = mapbase() - 0x8000;
    for (int i = 0; i < 1024; i++) {
        const int offset = base - 0x1800 + i;
        const uint8_t number = v.vram[base + i];
        const uint8_t attribute = v.gbcmode ? v.vram[0x2000 + base + i] : 0;
        const int tile = entrytile(number, attribute);
        const int palette = Checkmappal ? entrypalette(attribute) : -1;
        if (!(mapchanged[size_t(offset)] || tilechanged[size_t(tile)] || (palette >= 0 && palettechanged[size_t(palette)])))
            continue;
        drawtile(mappage, (i % 32) * 8, (i / 32) * 8, tile, palette, attribute & attrhflip, attribute & attrvflip);
        done.mapentries++;
    }

    // Sprites.
    const bool tall = v.lcd.lcdc & 0x04;
    for (int s = 0; s < 40; s++) {
        const tspriteinfo info = spriteinfo(s);
        bool redraw = spritechanged[size_t(s)] || tilechanged[size_t(info.tile)] || palettechanged[size_t(info.palette)];
        if (tall) redraw = redraw || tilechanged[size_t(info.tile + 1)];
        if (!redraw) continue;
        tviewimage& p = spritepictures[size_t(s)];
        std::fill(p.pixels.begin(), p.pixels.end(), background);
        const bool h = info.Checkoamxflip, vf = info.Checkoamyflip;
        if (tall) {
            // Flipped vertically the pair swaps places.
            drawtile(p, 0, vf ? 8 : 0, info.tile, info.palette, h, vf, background);
            drawtile(p, 0, vf ? 0 : 8, info.tile + 1, info.palette, h, vf, background);
        } else {
            drawtile(p, 0, 0, info.tile, info.palette, h, vf, background);
        }
        done.sprites++;
    }

    done.palettes = everything || std::any_of(palettechanged.begin(), palettechanged.end(), [](bool b) { return b; });
    tilechanged.fill(false);
    mapchanged.fill(false);
    palettechanged.fill(false);
    spritechanged.fill(false);
    everything = false;
    return done;
}

int tvramview::tileatcell(int column, int row) {
    column = std::clamp(column, 0, 31);
    row = std::clamp(row, 0, 23);
    return (column / 16) * 384 + row * 16 + (column & 15);
}

int tvramview::selectedtile() const { return tileatcell(tilecolumn, tilerow); }

ttileinfo tvramview::tileinfo(int tile) const {
    ttileinfo t;
    t.tile = std::clamp(tile, 0, 767);
    t.Edittilenum = hex(unsigned(t.tile % 384), 2);
    t.Edittileaddr = tileaddress(t.tile);
    t.Edittilepal = vrampalettename(tilepalette[size_t(t.tile)], gbcmode());
    return t;
}

tmapentryinfo tvramview::mapentry(int x, int y) const {
    tmapentryinfo e;
    const tvideoview v = video();
    x &= 31;
    y &= 31;
    e.offset = mapbase() - 0x9800 + y * 32 + x;
    e.tilenumber = v.vram[0x1800 + e.offset];
    e.attribute = v.gbcmode ? v.vram[0x2000 + 0x1800 + e.offset] : 0;
    e.tile = entrytile(e.tilenumber, e.attribute);
    e.palette = entrypalette(e.attribute);
    e.editmapx = hex(unsigned(x), 2);
    e.Editmapy = hex(unsigned(y), 2);
    e.Editmaptile = hex(e.tilenumber, 2);
    e.Editmapattr = hex(e.attribute, 2);
    e.Editmapmapaddr = hex(0x9800u + unsigned(e.offset), 4);
    e.Checkhflip = e.attribute & attrhflip;
    e.checkvflip = e.attribute & attrvflip;
    e.Checkmappriority = e.attribute & attrpriority;
    e.Editmappal = vrampalettename(e.palette, v.gbcmode);
    e.Editmaptileaddr = tileaddress(e.tile);
    return e;
}

tspriteinfo tvramview::spriteinfo(int index) const {
    tspriteinfo s;
    const tvideoview v = video();
    s.index = std::clamp(index, 0, 39);
    const uint8_t* o = v.oam + s.index * 4;
    s.y = o[0];
    s.x = o[1];
    s.tilenumber = o[2];
    s.attribute = v.gbcmode ? o[3] : uint8_t(o[3] & 0xF0);
    s.tall = v.lcd.lcdc & 0x04;
    const int bank = v.gbcmode && (s.attribute & attrbank) ? 384 : 0;
    s.tile = bank + (s.tall ? (s.tilenumber & 0xFE) : s.tilenumber);
    s.palette = spritepalette(o[3]);
    s.offscreen = spriteoffscreen(s.y, s.tall);
    s.Editoamy = hex(s.y, 2);
    s.Editoamx = hex(s.x, 2);
    s.Editoamtileno = hex(s.tilenumber, 2);
    s.Editoamattr = hex(o[3], 2);
    s.Checkoamxflip = o[3] & attrhflip;
    s.Checkoamyflip = o[3] & attrvflip;
    s.Checkoampriority = o[3] & attrpriority;
    s.Editoamaddr = hex(0xFE00u + unsigned(s.index) * 4, 4);
    s.Editoamtileaddr = tileaddress(s.tile);
    s.Editoampal = vrampalettename(s.palette, v.gbcmode);
    s.box = {int(s.x) - 8, int(s.y) - 16, 8, s.tall ? 16 : 8};
    return s;
}

tpaletteentryinfo tvramview::paletteinfo(int index) const {
    tpaletteentryinfo p;
    const tvideoview v = video();
    p.index = std::clamp(index, 0, 63);
    p.word = v.gbcpal[p.index];
    const int entry = (v.gbcmode ? gbcentrybase : 0) + p.index;
    p.colour = outputpalette ? (*outputpalette)[size_t(entry)] : greyramp[size_t(p.index & 3)];
    p.text = hex(p.word, 4);
    p.Editpalred = hex(p.word & 0x1F, 2);
    p.Editpalgreen = hex((p.word >> 5) & 0x1F, 2);
    p.Editpalblue = hex((p.word >> 10) & 0x1F, 2);
    return p;
}

bool tvramview::writepages(const std::string& filename) {
    refresh();
    // Tiles (256 x 192) and map (256 x 256) side by side with an 8-pixel gap.
    tbitmap b;
    if (!b.create(256 + 8 + 256, 256, 24)) return false;
    for (int y = 0; y < 256; y++) {
        for (int x = 0; x < 520; x++) {
            uint32_t c = 0x808080;
            if (x < 256 && y < 192) c = tilepage.at(x, y);
            else if (x >= 264) c = mappage.at(x - 264, y);
            b.setpixel(x, y, c);
        }
    }
    return writepicture(b, filename);
}

}  // namespace tov
