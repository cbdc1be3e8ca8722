// Shared set-up for the renderer tests: VRAM, OAM and palette memory owned by the test, an
// output that keeps the frame as palette indices, and helpers to build tiles and maps.
#pragma once
#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "video/videooptions.h"
#include "video/gbdrawtov.h"
#include "video/gfxout.h"

namespace tov::test {

// Keeps every line the renderer writes, as palette indices.
class tcaptureout : public tgfxoutpal {
public:
    uint8_t frame[144][160];
    int begins = 0, ends = 0, presents = 0, readies = 0;
    std::vector<std::pair<int, int>> palettecalls;

    tcaptureout() { std::memset(frame, 0xEE, sizeof frame); }
    void beginframe() override {
        ++begins;
        inframe = true;
    }
    void endframe() override {
        ++ends;
        inframe = false;
    }
    void present() override { ++presents; }
    void setpalette(int first, int count) override { palettecalls.push_back({first, count}); }
    uint8_t* getline(int y) override { return (inframe && y >= 0 && y < 144) ? frame[y] : nullptr; }
    void lineready() override { ++readies; }
};

inline void defaultsettings(tvideooptions& s) {
    s.SpriteLimit = true;
    s.Gamma = 2.2;
    s.ColorSaturation = 0.85;
    s.ColorWhitepoint = 0xFFFFFF;
    s.LCDcolors = true;
    const uint32_t shades[4] = {0xD0F8E0, 0x70C088, 0x506830, 0x201808};
    for (int i = 0; i < 16; ++i) s.colors[i] = shades[i & 3];
}

class tvideotest : public ::testing::Test {
protected:
    tvideooptions settings;
    std::vector<uint8_t> vram = std::vector<uint8_t>(0x4000, 0);
    uint8_t oam[160] = {};
    uint16_t palram[64] = {};
    tlinewrite writes[maxlinewrites];
    tcaptureout out;
    std::unique_ptr<tgbdrawtov> r;

    void SetUp() override {
        defaultsettings(settings);
        make(false, false);
    }

    // A fresh renderer in DMG mode (gbc false) or GBC mode, attached to the test memories.
    void make(bool gbc, bool gbchardware) {
        r = std::make_unique<tgbdrawtov>(settings);
        r->vram = vram.data();
        r->oam = oam;
        r->gbcpalram = palram;
        r->linewrites = writes;
        r->gbcmode = gbc;
        r->gbchardware = gbc || gbchardware;
        r->gfxout = &out;
        r->init();
        r->ownregisters().lcdc = 0x91;  // LCD on, tiles at 0x8000, background on
        r->ownregisters().bgp = 0xE4;
        r->ownregisters().obp0 = 0xE4;
        r->ownregisters().obp1 = 0x1B;
    }

    void poke(int bank, int address, uint8_t value) {
        vram[bank * 0x2000 + address] = value;
        r->vramwrite(bank, address);
    }
    // Tile n (0-383) of a bank from 64 characters '0'-'3' (or 8 for one row used on all rows).
    void tile(int bank, int n, const std::string& pattern) {
        for (int row = 0; row < 8; ++row) {
            uint8_t lo = 0, hi = 0;
            for (int x = 0; x < 8; ++x) {
                const int c = pattern[pattern.size() == 8 ? x : row * 8 + x] - '0';
                lo = uint8_t(lo | (c & 1) << (7 - x));
                hi = uint8_t(hi | ((c >> 1) & 1) << (7 - x));
            }
            poke(bank, n * 16 + row * 2, lo);
            poke(bank, n * 16 + row * 2 + 1, hi);
        }
    }
    void solidtile(int bank, int n, int colour) { tile(bank, n, std::string(8, char('0' + colour))); }
    // Map entry (map 0 at 0x9800, 1 at 0x9C00).
    void map(int which, int x, int y, uint8_t tileno) { poke(0, 0x1800 + 0x400 * which + 32 * y + x, tileno); }
    void attr(int which, int x, int y, uint8_t a) { poke(1, 0x1800 + 0x400 * which + 32 * y + x, a); }
    void fillmap(int which, uint8_t tileno) {
        for (int i = 0; i < 1024; ++i) poke(0, 0x1800 + 0x400 * which + i, tileno);
    }
    void sprite(int s, int y, int x, uint8_t tileno, uint8_t attributes) {
        const uint8_t v[4] = {uint8_t(y), uint8_t(x), tileno, attributes};
        for (int i = 0; i < 4; ++i) {
            oam[4 * s + i] = v[i];
            r->oamwrite(4 * s + i);
        }
    }
    void hidesprites() {
        for (int s = 0; s < 40; ++s) sprite(s, 0, 0, 0, 0);
    }
    void drawline(int ly) {
        r->startline(ly);
        r->drawline(ly);
    }
    void runframe() {
        r->framebegin();
        for (int ly = 0; ly < 144; ++ly) drawline(ly);
        r->frameend();
    }
    // Line 0 of a frame with the first `count` of the logged mid-line `writes`; `whenstarted`
    // runs after the line started, before it is drawn.
    std::vector<uint8_t> linewithwrites(int count, const std::function<void()>& whenstarted = {}) {
        r->framebegin();
        r->startline(0);
        if (whenstarted) whenstarted();
        r->linewritecount = count;
        r->drawline(0);
        r->linewritecount = 0;
        r->frameend();
        return row(0);
    }
    // The logged position (units left in mode 3) of a write that lands in chunk `k` (0-19).
    static int positionforchunk(int k) { return (19 - k) * 4; }
    const uint8_t* line(int ly) const { return out.frame[ly]; }
    std::vector<uint8_t> row(int ly) const { return std::vector<uint8_t>(out.frame[ly], out.frame[ly] + 160); }
};

}  // namespace tov::test
