// The renderer with Super Game Boy colouring, and the adapter's video transfers taken from
// what this renderer draws.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "frontend/settings.h"
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
    tsettings settings{};
    std::vector<uint8_t> vram = std::vector<uint8_t>(0x4000, 0);
    uint8_t oam[160] = {};
    uint16_t gbcpal[64] = {};
    pictureout out;
    std::unique_ptr<tgbdrawtovsgb> draw;
    std::unique_ptr<tsgb> sgb;

    void SetUp() override {
        draw = std::make_unique<tgbdrawtovsgb>(settings);
        sgb = std::make_unique<tsgb>(settings);
        draw->vram = vram.data();
        draw->oam = oam;
        draw->gbcpalram = gbcpal;
        draw->gfxout = &out;
        draw->setsgb(sgb.get());
        draw->lcdc = 0x91;  // LCD, background on, tiles at 0x8000
        draw->bgp = 0xE4;
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
    void setmap(int x, int y, uint8_t tile) { vram[0x1800 + y * 32 + x] = tile; }
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

TEST_F(SgbDrawTest, EachCellTakesItsSgbPaletteAfterBgp) {
    filltile(0, 0x0F, 0x33);  // colours per pixel: 0,0,2,2,1,1,3,3
    sgb->attr[0] = 0x1B;      // cells 0-3 of row 0: palettes 0,1,2,3
    sgb->attr[5 * 2] = 0xC0;  // cell (0, 2): palette 3
    draw->bgp = 0x1B;         // inverted: colour c shows shade 3 - c
    frame();
    const uint8_t expect0[8] = {7, 7, 5, 5, 6, 6, 4, 4};
    for (int x = 0; x < 8; x++) EXPECT_EQ(out.lines[0][x], expect0[x]) << x;
    EXPECT_EQ(out.lines[7][8], 4 + 4 + 3) << "cell 1 uses palette 1";
    EXPECT_EQ(out.lines[0][24 + 2], 4 + 12 + 1);
    EXPECT_EQ(out.lines[16][0], 4 + 12 + 3);
    EXPECT_EQ(out.lines[15][0], 7) << "row 1 is still palette 0";
}

TEST_F(SgbDrawTest, SpritesAreColouredByTheirCell) {
    filltile(1, 0xFF, 0x00);  // sprite tile: colour 1 everywhere
    oam[0] = 16 + 8;          // line 8
    oam[1] = 8 + 40;          // column 40 = cell 5
    oam[2] = 1;
    draw->obp0 = 0xE4;
    draw->lcdc |= 0x02;
    draw->oamwrite(0);
    sgb->attr[5 * 1 + 1] = 0x20;  // cell (5, 1): palette 2 (byte 1 holds cells 4-7)
    frame();
    EXPECT_EQ(out.lines[8][40], 4 + 8 + 1);
    EXPECT_EQ(out.lines[8][39], 4 + 0);
}

TEST_F(SgbDrawTest, PlainDmgRoutineWithSgbNoColorsOrInGbcMode) {
    filltile(0, 0xFF, 0xFF);
    settings.SGBnocolors = true;
    draw->init();
    frame();
    EXPECT_EQ(out.lines[0][0], 0x23);
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
}

TEST_F(SgbDrawTest, BlankUsesSgbColourZero) {
    sgb->pal[0] = 0x03E0;
    for (int p = 1; p < 8; p++) sgb->pal[p * 16] = 0x03E0;
    sgb->rebuild();
    draw->blank();
    EXPECT_EQ(out.palette[1], 0x00FF00u);
    EXPECT_EQ(out.lines[0][0], 1);
}

TEST_F(SgbDrawTest, CaptureSeesShadesAfterBgpEvenInSkippedFrames) {
    filltile(0, 0xFF, 0x00);  // colour 1
    draw->bgp = 0x08;         // colour 1 -> shade 2
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
    EXPECT_EQ(draw->bgp, 0x08) << "BGP itself is left alone";
}

// A game's CHR_TRN/PCT_TRN as the adapter sees it: tile data shown on the screen through
// the background map, captured during the frame after the request.
TEST_F(SgbDrawTest, BorderTransfersFromTheScreenBuildTheBorderPicture) {
    // Show 4096 bytes that are also the VRAM tiles 0-255: map cell i shows tile i.
    for (int i = 0; i < 360; i++) setmap(i % 20, i / 20, uint8_t(i < 256 ? i : 0));
    // Tile data for the border tile transfer: border tile 1 row r = colour 1..15 patterns.
    // Border tiles are 32 bytes, so border tile 1 lies in screen tiles 2 and 3.
    for (int r = 0; r < 8; r++) {
        vram[2 * 16 + 2 * r] = 0x80;      // plane 0, leftmost pixel
        vram[2 * 16 + 2 * r + 1] = 0x80;  // plane 1
        vram[3 * 16 + 2 * r] = 0x80;      // plane 2
        vram[3 * 16 + 2 * r + 1] = 0x00;  // plane 3
    }
    for (int a = 0; a < 0x1000; a++) draw->vramwrite(0, a);
    // Send the commands through the joypad register like a game.
    auto send = [&](const uint8_t* bytes) {
        uint8_t p1 = 0x30;
        auto w = [&](uint8_t v) { sgb->joypadwrite(v, p1); p1 = v; };
        w(0x00); w(0x30);
        for (int i = 0; i < 128; i++) { w(((bytes[i / 8] >> (i % 8)) & 1) ? 0x10 : 0x20); w(0x30); }
        w(0x20); w(0x30);
    };
    uint8_t chrtrn[16] = {0x13 << 3 | 1, 0};
    send(chrtrn);
    frame();
    frame();
    EXPECT_EQ(sgb->chardata[32], 0x80);
    EXPECT_EQ(sgb->chardata[32 + 16], 0x80);

    // Now the map and palettes: the whole screen shows new data.
    std::fill(vram.begin(), vram.begin() + 0x1000, 0);
    for (int i = 0; i < 1024; i++) {   // border map: tile 1, palette 4
        vram[2 * i] = 1;
        vram[2 * i + 1] = 4 << 2;
    }
    vram[0x800 + 2 * 7] = 0x1F;        // palette 4 colour 7: red
    for (int a = 0; a < 0x1000; a++) draw->vramwrite(0, a);
    uint8_t pcttrn[16] = {0x14 << 3 | 1};
    send(pcttrn);
    frame();
    frame();
    EXPECT_TRUE(sgb->hasborder);
    EXPECT_EQ(sgb->pctmap[0], 0x1001);
    EXPECT_EQ(sgb->pal[4 * 16 + 7], 0x001F);
    // Leftmost pixel of every border tile row: colour 1 + 2 + 4 = 7 of palette 4.
    EXPECT_EQ(sgb->border[0], 0x0000FFu);
    EXPECT_EQ(sgb->border[8], 0x0000FFu);
    EXPECT_EQ(sgb->border[1], sgb->colors[0]) << "other pixels are colour 0";
}

}  // namespace
}  // namespace tov
