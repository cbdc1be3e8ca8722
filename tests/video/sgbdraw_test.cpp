// The renderer with Super Game Boy colouring, and what it gives the adapter.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "video/videooptions.h"
#include "video/gbcolors.h"
#include "video/gbdrawtovsgb.h"
#include "video/sgb.h"

namespace tov {
namespace {

// An output that keeps the whole picture and counts presents.
struct pictureout : tgfxoutpal {
    uint8_t lines[144][160] = {};
    int presents = 0, lastfirst = -1, lastcount = 0;
    uint8_t* getline(int y) override { return (y >= 0 && y < 144) ? lines[y] : nullptr; }
    void present() override { presents++; }
    void setpalette(int first, int count) override {
        lastfirst = first;
        lastcount = count;
    }
};

class SgbDrawTest : public ::testing::Test {
public:
    tvideooptions settings{};
    std::vector<uint8_t> vram = std::vector<uint8_t>(0x4000, 0);
    uint8_t oam[160] = {};
    uint16_t gbcpal[64] = {};
    pictureout out;
    std::unique_ptr<tgbdrawtovsgb> draw;
    std::unique_ptr<tsgb> sgb;

    void SetUp() override {
        draw = std::make_unique<tgbdrawtovsgb>(settings);
        sgb = std::make_unique<tsgb>();  // takes the renderer's settings when linked
        draw->vram = vram.data();
        draw->oam = oam;
        draw->gbcpalram = gbcpal;
        draw->gfxout = &out;
        draw->setsgb(sgb.get());
        draw->ownregisters().lcdc = 0x91;  // LCD, background on, tiles at 0x8000
        draw->ownregisters().bgp = 0xE4;
        draw->sgbmode = true;
        draw->init();
        sgb->reset();
    }
    // Tile n, every row the same two plane bytes.
    void filltile(int n, uint8_t lo, uint8_t hi) {
        for (int r = 0; r < 8; r++) {
            vram[n * 16 + 2 * r] = lo;
            vram[n * 16 + 2 * r + 1] = hi;
            draw->vramwrite(0, n * 16 + 2 * r);
        }
    }
    void frame() {
        draw->framebegin();
        for (int ly = 0; ly < 144; ly++) {
            draw->startline(ly);
            draw->drawline(ly);
            sgb->endofline(ly);
        }
        draw->frameend();
    }
};

TEST_F(SgbDrawTest, EveryLayerTakesThePaletteOfItsCell) {
    filltile(0, 0x0F, 0x33);  // colours per pixel: 0,0,2,2,1,1,3,3
    filltile(1, 0xFF, 0x00);  // sprite tile: colour 1
    oam[0] = 16 + 8;          // sprite on lines 8-15, columns 40-47 (cell 5, row 1)
    oam[1] = 8 + 40;
    oam[2] = 1;
    draw->oamwrite(0);
    draw->ownregisters().obp0 = 0xE4;
    draw->ownregisters().lcdc |= 0x02;
    draw->ownregisters().bgp = 0x1B;         // inverted: colour c shows shade 3 - c
    sgb->attr[0] = 0x1B;      // row 0, cells 0-3: palettes 0,1,2,3
    sgb->attr[5 + 1] = 0x20;  // row 1, cell 5: palette 2
    frame();
    const uint8_t expect0[8] = {7, 7, 5, 5, 6, 6, 4, 4};
    for (int x = 0; x < 8; x++) EXPECT_EQ(out.lines[0][x], expect0[x]) << x;
    EXPECT_EQ(out.lines[7][8], 4 + 4 + 3);
    EXPECT_EQ(out.lines[0][26], 4 + 12 + 1);
    EXPECT_EQ(out.lines[8][0], 7) << "row 1 is palette 0";
    EXPECT_EQ(out.lines[8][40], 4 + 8 + 1) << "sprite shade 1 in palette 2";
    EXPECT_EQ(out.lines[8][39], 4);
}

TEST_F(SgbDrawTest, PlainDmgRoutineWithSgbNoColorsOrOutsideSgbMode) {
    filltile(0, 0xFF, 0xFF);
    settings.SGBnocolors = true;
    draw->init();
    frame();
    EXPECT_EQ(out.lines[0][0], 0x23);
    out.palette[16] = 0x123456;  // a DMG derived entry
    sgb->pal[3] = 0x1F;
    sgb->rebuild();
    EXPECT_EQ(out.palette[16], 0x123456u) << "the unit leaves the DMG entries alone";
    settings.SGBnocolors = false;
    draw->sgbmode = false;
    draw->init();
    frame();
    EXPECT_EQ(out.lines[0][0], 0x23);
}

TEST_F(SgbDrawTest, RefreshIsHeldWhileMasked) {
    draw->refresh();
    EXPECT_EQ(out.presents, 1);
    sgb->setmask(1);
    draw->refresh();
    EXPECT_EQ(out.presents, 1);
    sgb->setmask(0);
    draw->refresh();
    EXPECT_EQ(out.presents, 2);
}

TEST_F(SgbDrawTest, ScreenPalettesReachTheOutputEntries) {
    EXPECT_EQ(out.palette[4], 0xFFFFFFu);
    EXPECT_EQ(out.palette[7], 0u);
    sgb->pal[2 * 16 + 3] = 0x001F;
    sgb->rebuild();
    EXPECT_EQ(out.palette[4 + 8 + 3], 0x0000FFu);
    EXPECT_EQ(out.lastfirst, 4);
    EXPECT_EQ(out.lastcount, 16);
    // A re-initialised (or new) output gets them again.
    out.palette.fill(0);
    draw->init();
    EXPECT_EQ(out.palette[4 + 8 + 3], 0x0000FFu);
    EXPECT_EQ(out.palette[4], 0xFFFFFFu);
    // The blank screen takes SGB colour 0.
    draw->blank();
    EXPECT_EQ(out.palette[1], 0xFFFFFFu);
    EXPECT_EQ(out.lines[0][0], 1);
}

TEST_F(SgbDrawTest, CaptureSeesShadesAfterBgpEvenInSkippedFrames) {
    filltile(0, 0xFF, 0x00);  // colour 1
    draw->ownregisters().bgp = 0x08;         // colour 1 -> shade 2
    draw->skipframe = true;
    uint8_t line[160];
    draw->framebegin();
    draw->startline(0);
    draw->sgbcaptureline(0, line);
    EXPECT_EQ(line[0] & 3, 2);
    // In GBC mode BGP is taken as 0xE4: the shade is the colour number.
    draw->gbcmode = true;
    draw->init();
    draw->framebegin();
    draw->startline(0);
    draw->sgbcaptureline(0, line);
    EXPECT_EQ(line[0] & 3, 1);
    EXPECT_EQ(draw->ownregisters().bgp, 0x08) << "BGP itself is left alone";
}

}  // namespace
}  // namespace tov
