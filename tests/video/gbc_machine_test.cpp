// Game Boy Color end to end: a small colour cartridge built here sets up palettes, both VRAM
// banks, map attributes, sprites and a switched WRAM bank with the LCD off, then turns the
// LCD on; the picture the machine and renderer produce is checked pixel by pixel.
#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/gbtestutil.h"
#include "video/gbdrawtov.h"
#include "video/gfxout.h"
#include "video/screenshot.h"

namespace tov::testing {
namespace {

// Appends SM83 code to a ROM image from 0x150 on.
struct tprogram {
    tromimage& rom;
    int pc = 0x150;

    void b(std::initializer_list<int> bytes) {
        for (int v : bytes) rom.bytes[size_t(pc++)] = uint8_t(v);
    }
    int here() const { return pc; }
    void jrnz(int target) { b({0x20, (target - (pc + 2)) & 0xFF}); }
    // ld a,value; ldh (0xFF00 + port),a
    void out(int port, int value) { b({0x3E, value, 0xE0, port}); }
    // ld a,value; ld (address),a
    void poke(int address, int value) { b({0x3E, value, 0xEA, address & 0xFF, address >> 8}); }
    // count (1-255) bytes from `from` to `to`, both incrementing.
    void copy(int from, int to, int count) {
        b({0x11, from & 0xFF, from >> 8, 0x21, to & 0xFF, to >> 8, 0x06, count});
        const int loop = here();
        b({0x1A, 0x22, 0x13, 0x05});  // ld a,(de); ld (hl+),a; inc de; dec b
        jrnz(loop);
    }
    // count (1-255) bytes from `from` written one after the other to one I/O port.
    void toport(int from, int port, int count) {
        b({0x21, from & 0xFF, from >> 8, 0x06, count});
        const int loop = here();
        b({0x2A, 0xE0, port, 0x05});  // ld a,(hl+); ldh (port),a; dec b
        jrnz(loop);
    }
    // Zeroes from `start` up to (not including) endhigh * 0x100.
    void clear(int start, int endhigh) {
        b({0x21, start & 0xFF, start >> 8});
        const int loop = here();
        b({0xAF, 0x22, 0x7C, 0xFE, endhigh});  // xor a; ld (hl+),a; ld a,h; cp endhigh
        jrnz(loop);
    }
    void data(int at, const std::vector<uint8_t>& bytes) {
        for (size_t i = 0; i < bytes.size(); ++i) rom.bytes[size_t(at) + i] = bytes[i];
    }
};

constexpr uint16_t white = 0x7FFF, lightgrey = 0x5294, darkgrey = 0x294A, black = 0x0000;
constexpr uint16_t red = 0x001F, green = 0x03E0, blue = 0x7C00;
constexpr uint16_t bgpal[2][4] = {{white, lightgrey, darkgrey, black}, {red, green, blue, black}};
// Object palettes 0-2 (colour 0 of each is transparent).
constexpr uint16_t objpal[3][4] = {{0x0000, 0x03FF, 0x7C1F, 0x7FE0},
                                   {0x0000, 0x01EF, 0x3C0F, 0x7BDE},
                                   {0x0000, 0x0010, 0x0200, 0x4000}};

// Tile 1 of bank 0: every row has the colour numbers 0 1 1 2 2 3 3 3 from left to right.
constexpr int patternlo = 0x67, patternhi = 0x1F;
constexpr int pattern[8] = {0, 1, 1, 2, 2, 3, 3, 3};

// Map row 1 (lines 8-15), by map column.
constexpr int colplain = 1;      // tile 1, palette 0
constexpr int colflipped = 2;    // tile 1, palette 0, horizontal mirror
constexpr int colbank1 = 3;      // tile 1 from bank 1 (solid colour 2), palette 1
constexpr int colwram2 = 4;      // tile 2 (copied from WRAM bank 2: solid 1), palette 1
constexpr int colwram3 = 5;      // tile 3 (copied from WRAM bank 3: solid 2), palette 1
constexpr int colpriority = 6;   // tile 1, palette 1, priority over objects; sprite 0 on it
constexpr int colunder = 9;      // tile 1, palette 1; sprite 1 on it
constexpr int colbehind = 11;    // tile 1, palette 0; sprite 2 (behind background) on it
constexpr int colfree = 14;      // tile 0 (colour 0); sprite 3 on it

// The cartridge: header flag 0x80 or 0xC0, the LCD switched on with `lcdc` at the end.
tromimage gbcrom(uint8_t flag, int lcdc) {
    tromimage rom;
    rom.colour(flag);
    tprogram p{rom};
    constexpr int bgpaldata = 0x1000, objpaldata = 0x1020, solid1 = 0x1040, solid2 = 0x1050,
                  solid3 = 0x1060, tilepattern = 0x1070, oamdata = 0x1080;
    // The colours as BCPD and OCPD take them: low byte first.
    auto colourbytes = [](const auto& palettes) {
        std::vector<uint8_t> bytes;
        for (const auto& pal : palettes)
            for (uint16_t c : pal) bytes.insert(bytes.end(), {uint8_t(c), uint8_t(c >> 8)});
        return bytes;
    };
    p.data(bgpaldata, colourbytes(bgpal));
    p.data(objpaldata, colourbytes(objpal));
    std::vector<uint8_t> s1, s2, s3, pat;
    for (int r = 0; r < 8; ++r) {
        s1.insert(s1.end(), {0xFF, 0x00});
        s2.insert(s2.end(), {0x00, 0xFF});
        s3.insert(s3.end(), {0xFF, 0xFF});
        pat.insert(pat.end(), {uint8_t(patternlo), uint8_t(patternhi)});
    }
    p.data(solid1, s1);
    p.data(solid2, s2);
    p.data(solid3, s3);
    p.data(tilepattern, pat);
    // Sprites (Y, X, tile, attributes): 8x8, all on map row 1.
    p.data(oamdata, {24, uint8_t(colpriority * 8 + 8), 4, 0x0A,   // bank 1, palette 2
                     24, uint8_t(colunder * 8 + 8), 4, 0x01,      // bank 0, palette 1
                     24, uint8_t(colbehind * 8 + 8), 4, 0x88,     // bank 1, palette 0, behind
                     24, uint8_t(colfree * 8 + 8), 4, 0x00});     // bank 0, palette 0

    // Wait for V-blank, then switch the LCD off.
    const int wait = p.here();
    p.b({0xF0, 0x44, 0xFE, 0x90});  // ldh a,(LY); cp 144
    p.jrnz(wait);
    p.out(0x40, 0x00);
    // DMG palettes (ignored in GBC mode): shade = colour number.
    p.out(0x47, 0xE4);
    p.out(0x48, 0xE4);
    p.out(0x49, 0xE4);
    // Both VRAM banks and OAM cleared.
    p.out(0x4F, 1);
    p.clear(0x8000, 0xA0);
    p.out(0x4F, 0);
    p.clear(0x8000, 0xA0);
    p.b({0x21, 0x00, 0xFE, 0x06, 160, 0xAF});  // ld hl,OAM; ld b,160; xor a
    const int oamloop = p.here();
    p.b({0x22, 0x05});  // ld (hl+),a; dec b
    p.jrnz(oamloop);
    // Palettes through the index registers with auto-increment.
    p.out(0x68, 0x80);
    p.toport(bgpaldata, 0x69, 16);
    p.out(0x6A, 0x80);
    p.toport(objpaldata, 0x6B, 24);
    // Bank 1 first (a DMG ignores VBK, so there bank 0 ends up as written last).
    p.out(0x4F, 1);
    p.copy(solid2, 0x8010, 16);  // tile 1
    p.copy(solid3, 0x8040, 16);  // tile 4 (sprites)
    constexpr int row1 = 0x9820;
    p.poke(row1 + colplain, 0x00);
    p.poke(row1 + colflipped, 0x20);
    p.poke(row1 + colbank1, 0x09);
    p.poke(row1 + colwram2, 0x01);
    p.poke(row1 + colwram3, 0x01);
    p.poke(row1 + colpriority, 0x81);
    p.poke(row1 + colunder, 0x01);
    p.poke(row1 + colbehind, 0x00);
    p.out(0x4F, 0);
    p.copy(tilepattern, 0x8010, 16);  // tile 1
    p.copy(solid1, 0x8040, 16);       // tile 4 (sprites)
    for (int col : {colplain, colflipped, colbank1, colpriority, colunder, colbehind}) p.poke(row1 + col, 1);
    p.poke(row1 + colwram2, 2);
    p.poke(row1 + colwram3, 3);
    // WRAM banks 2 and 3 at 0xD000 hold different tiles; each is copied to VRAM from its bank.
    p.out(0x70, 2);
    p.copy(solid1, 0xD000, 16);
    p.out(0x70, 3);
    p.copy(solid2, 0xD000, 16);
    p.out(0x70, 2);
    p.copy(0xD000, 0x8020, 16);  // tile 2
    p.out(0x70, 3);
    p.copy(0xD000, 0x8030, 16);  // tile 3
    p.copy(oamdata, 0xFE00, 16);
    p.out(0x40, lcdc);
    const int idle = p.here();
    p.b({0x18, (idle - (p.here() + 2)) & 0xFF});
    return rom;
}

// A machine with the renderer and a memory picture attached, as the headless runner wires them.
struct tgbcrun {
    tmachine m;
    tgbdrawtovsgb& renderer;
    tmemorypicture& picture;
    tbitmap screen;

    static tsessionparts withpicture() {
        tsessionparts parts;
        parts.memorypicture = true;
        parts.synthesiser = false;
        return parts;
    }
    tgbcrun(const tromimage& rom, int systemmode)
        : m(rom, systemmode, {}, withpicture()), renderer(*m.session->renderer()), picture(*m.session->picture()) {}
    bool run(int frames) {
        for (int i = 0; i < frames; ++i) {
            m->runframe();
            renderer.refresh();
        }
        return picture.output().getpicture(screen);
    }
    uint32_t at(int x, int y) const { return screen.pixel(x, y); }
    uint32_t gbc(uint16_t c) const { return renderer.gbccolor(c); }
};

constexpr int frames = 40;  // the set-up takes about 10 frames, the first frame after LCD on is blank

class GbcMachine : public ::testing::TestWithParam<uint8_t> {};

TEST_P(GbcMachine, PictureFollowsPalettesBanksAttributesAndSprites) {
    tgbcrun run(gbcrom(GetParam(), 0x93), 3);
    ASSERT_TRUE(run.m->gbcmode);
    ASSERT_TRUE(run.run(frames));
    ASSERT_EQ(run.screen.width, 160);
    ASSERT_EQ(run.screen.height, 144);
    // The conversion keeps these colours apart, so equal pixels mean the right source colour.
    for (uint16_t a : {white, lightgrey, darkgrey, black, red, green, blue})
        for (uint16_t b : {white, lightgrey, darkgrey, black, red, green, blue})
            if (a != b) {
                ASSERT_NE(run.gbc(a), run.gbc(b));
            }

    for (int y = 8; y < 16; ++y) {
        for (int x = 0; x < 8; ++x) {
            SCOPED_TRACE("line " + std::to_string(y) + " pixel " + std::to_string(x));
            EXPECT_EQ(run.at(colplain * 8 + x, y), run.gbc(bgpal[0][pattern[x]]));
            EXPECT_EQ(run.at(colflipped * 8 + x, y), run.gbc(bgpal[0][pattern[7 - x]]));
            EXPECT_EQ(run.at(colbank1 * 8 + x, y), run.gbc(blue));   // bank 1 tile, solid 2
            EXPECT_EQ(run.at(colwram2 * 8 + x, y), run.gbc(green));  // WRAM bank 2 data
            EXPECT_EQ(run.at(colwram3 * 8 + x, y), run.gbc(blue));   // WRAM bank 3 data
            // Priority tile: the sprite shows only through its colour-0 column.
            EXPECT_EQ(run.at(colpriority * 8 + x, y), x == 0 ? run.gbc(objpal[2][3]) : run.gbc(bgpal[1][pattern[x]]));
            // Plain tile: the sprite covers it.
            EXPECT_EQ(run.at(colunder * 8 + x, y), run.gbc(objpal[1][1]));
            // Behind-background sprite: only over colour 0.
            EXPECT_EQ(run.at(colbehind * 8 + x, y), x == 0 ? run.gbc(objpal[0][3]) : run.gbc(bgpal[0][pattern[x]]));
            EXPECT_EQ(run.at(colfree * 8 + x, y), run.gbc(objpal[0][1]));
        }
    }
    // Everything else is map tile 0 with palette 0 colour 0.
    int others = 0;
    for (int y = 0; y < 144; ++y)
        for (int x = 0; x < 160; ++x)
            if ((y < 8 || y >= 16) && run.at(x, y) != run.gbc(white)) ++others;
    EXPECT_EQ(others, 0);
}

TEST_P(GbcMachine, MasterPriorityOffPutsEverySpriteOnTop) {
    tgbcrun run(gbcrom(GetParam(), 0x92), 3);
    ASSERT_TRUE(run.m->gbcmode);
    ASSERT_TRUE(run.run(frames));
    for (int y = 8; y < 16; ++y) {
        for (int x = 0; x < 8; ++x) {
            SCOPED_TRACE("line " + std::to_string(y) + " pixel " + std::to_string(x));
            EXPECT_EQ(run.at(colpriority * 8 + x, y), run.gbc(objpal[2][3]));
            EXPECT_EQ(run.at(colbehind * 8 + x, y), run.gbc(objpal[0][3]));
            // The background itself is still drawn.
            EXPECT_EQ(run.at(colflipped * 8 + x, y), run.gbc(bgpal[0][pattern[7 - x]]));
        }
    }
}

// Colour-only and colour-compatible header flags.
INSTANTIATE_TEST_SUITE_P(Flags, GbcMachine, ::testing::Values(uint8_t(0xC0), uint8_t(0x80)),
                         [](const ::testing::TestParamInfo<uint8_t>& info) {
                             return info.param == 0xC0 ? std::string("ColourOnly") : std::string("Compatible");
                         });

// The same cartridge on a monochrome machine: the colour registers do nothing, VBK and SVBK
// do not switch, and the picture is in the user's DMG shades.
TEST(GbcMachineOnDmg, RunsWithDmgShades) {
    tgbcrun run(gbcrom(0xC0, 0x93), 0);
    ASSERT_FALSE(run.m->gbcmode);
    ASSERT_FALSE(run.m->gbchardware);
    ASSERT_TRUE(run.run(frames));
    const auto& colors = run.m.settings.colors;
    const uint32_t bgshade[4] = {colors[0], colors[1], colors[2], colors[3]};
    const uint32_t sprite = colors[8 + 1];  // OBP0, colour 1 (tile 4 of bank 0)
    for (int a = 0; a < 4; ++a)
        for (int b = a + 1; b < 4; ++b) ASSERT_NE(bgshade[a], bgshade[b]);
    ASSERT_NE(sprite, bgshade[0]);
    for (int y = 8; y < 16; ++y) {
        for (int x = 0; x < 8; ++x) {
            SCOPED_TRACE("line " + std::to_string(y) + " pixel " + std::to_string(x));
            EXPECT_EQ(run.at(colplain * 8 + x, y), bgshade[pattern[x]]);
            EXPECT_EQ(run.at(colflipped * 8 + x, y), bgshade[pattern[x]]);  // no attributes
            EXPECT_EQ(run.at(colbank1 * 8 + x, y), bgshade[pattern[x]]);
            EXPECT_EQ(run.at(colwram2 * 8 + x, y), bgshade[2]);  // one WRAM bank: last data written
            EXPECT_EQ(run.at(colwram3 * 8 + x, y), bgshade[2]);
            EXPECT_EQ(run.at(colpriority * 8 + x, y), sprite);  // no tile priority
            EXPECT_EQ(run.at(colunder * 8 + x, y), sprite);
            EXPECT_EQ(run.at(colbehind * 8 + x, y), x == 0 ? sprite : bgshade[pattern[x]]);
            EXPECT_EQ(run.at(colfree * 8 + x, y), sprite);
        }
    }
    int others = 0;
    for (int y = 0; y < 144; ++y)
        for (int x = 0; x < 160; ++x)
            if ((y < 8 || y >= 16) && run.at(x, y) != bgshade[0]) ++others;
    EXPECT_EQ(others, 0);
}

}  // namespace
}  // namespace tov::testing
