// The renderer driven through its hooks, frames checked pixel by pixel.
#include <gtest/gtest.h>

#include <stdexcept>

#include "videotest.h"

namespace tov::test {
namespace {

class RendererDmg : public tvideotest {};
class RendererGbc : public tvideotest {
protected:
    void SetUp() override {
        defaultsettings(settings);
        make(true, true);
    }
};

// ---- Background

TEST_F(RendererDmg, BackgroundScrollsAndWrapsAt256) {
    solidtile(0, 1, 3);
    map(0, 0, 0, 1);  // only map cell (0, 0) is dark
    runframe();
    for (int x = 0; x < 160; ++x) EXPECT_EQ(line(0)[x], x < 8 ? 0x23 : 0x20) << x;
    EXPECT_EQ(line(8)[0], 0x20);

    r->ownregisters().scx = 3;
    runframe();
    for (int x = 0; x < 10; ++x) EXPECT_EQ(line(0)[x], x < 5 ? 0x23 : 0x20) << x;

    r->ownregisters().scx = 253;  // columns 0-2 show map column 31, then column 0 wraps in
    r->ownregisters().scy = 250;  // line 6 shows map row 0
    runframe();
    for (int x = 0; x < 14; ++x) EXPECT_EQ(line(6)[x], (x >= 3 && x < 11) ? 0x23 : 0x20) << x;
    EXPECT_EQ(line(5)[4], 0x20);
    EXPECT_EQ(line(13)[4], 0x23);
    EXPECT_EQ(line(14)[4], 0x20);
}

TEST_F(RendererDmg, BackgroundMapSelectAndLcdcBit0Off) {
    solidtile(0, 1, 1);
    solidtile(0, 2, 2);
    fillmap(0, 1);
    fillmap(1, 2);
    r->ownregisters().lcdc = 0x99;
    runframe();
    EXPECT_EQ(line(50)[50], 0x22);
    // Background off: BGP colour 0 everywhere, the window still shows.
    r->ownregisters().bgp = 0xE7;  // colour 0 -> shade 3
    r->ownregisters().lcdc = 0x80 | 0x20 | 0x10;
    r->ownregisters().wx = 87;
    r->ownregisters().wy = 0;
    runframe();
    EXPECT_EQ(line(50)[79], 0x23);
    EXPECT_EQ(line(50)[80], 0x25);  // window map 0, tile 1, BGP gives colour 1 shade 1
}

// ---- Window

TEST_F(RendererDmg, WindowStartsAtWxMinus7AndUsesItsOwnLineCounter) {
    solidtile(0, 1, 1);
    solidtile(0, 2, 2);
    solidtile(0, 3, 3);
    for (int x = 0; x < 32; ++x) {
        map(1, x, 0, 1);
        map(1, x, 1, 2);
        map(1, x, 2, 3);
    }
    r->ownregisters().lcdc = 0x80 | 0x40 | 0x20 | 0x10 | 0x01;
    r->ownregisters().wx = 107;
    r->ownregisters().wy = 0;
    r->framebegin();
    for (int ly = 0; ly < 144; ++ly) {
        // Window switched off on lines 10-19: those lines do not advance its counter.
        r->ownregisters().lcdc = (ly >= 10 && ly < 20) ? 0x80 | 0x40 | 0x10 | 0x01 : 0x80 | 0x40 | 0x20 | 0x10 | 0x01;
        drawline(ly);
    }
    r->frameend();
    EXPECT_EQ(line(0)[99], 0x20);
    EXPECT_EQ(line(0)[100], 0x25);
    EXPECT_EQ(line(9)[100], 0x26);  // window line 9: second map row
    EXPECT_EQ(line(15)[100], 0x20);
    EXPECT_EQ(line(20)[100], 0x26);  // window line 10, not 20
    EXPECT_EQ(line(26)[100], 0x27);  // window line 16
    EXPECT_EQ(r->windowlinecounter(), 133);
}

TEST_F(RendererDmg, WindowTriggersOnTheLineAfterWy) {
    solidtile(0, 1, 1);
    fillmap(1, 1);
    r->ownregisters().lcdc = 0x80 | 0x40 | 0x20 | 0x10 | 0x01;
    r->ownregisters().wx = 7;
    r->ownregisters().wy = 200;
    r->framebegin();
    for (int ly = 0; ly < 144; ++ly) {
        if (ly == 11) r->ownregisters().wy = 10;  // written after line 10 started
        drawline(ly);
    }
    r->frameend();
    EXPECT_EQ(line(10)[0], 0x20);
    EXPECT_EQ(line(11)[0], 0x25);
    EXPECT_EQ(r->windowlinecounter(), 132);

    r->ownregisters().wy = 255;  // 255 + 1 does not wrap to line 0
    runframe();
    EXPECT_EQ(line(0)[0], 0x20);
    EXPECT_EQ(r->windowlinecounter(), -1);
}

TEST_F(RendererDmg, WindowBeyondWx166IsOffForTheLineAndKeepsItsCounter) {
    solidtile(0, 1, 1);
    fillmap(1, 1);
    r->ownregisters().lcdc = 0x80 | 0x40 | 0x20 | 0x10 | 0x01;
    r->ownregisters().wy = 0;
    r->framebegin();
    for (int ly = 0; ly < 144; ++ly) {
        r->ownregisters().wx = (ly & 1) ? 167 : 7;
        drawline(ly);
    }
    r->frameend();
    EXPECT_EQ(line(0)[5], 0x25);
    EXPECT_EQ(line(1)[5], 0x20);
    EXPECT_EQ(r->windowlinecounter(), 71);
}

TEST_F(RendererDmg, WindowLeftEdgeIsCutBelowWx7) {
    tile(0, 1, "33330000");
    solidtile(0, 2, 1);
    map(1, 0, 0, 1);
    for (int x = 1; x < 32; ++x) map(1, x, 0, 2);
    r->ownregisters().lcdc = 0x80 | 0x40 | 0x20 | 0x10 | 0x01;
    r->ownregisters().wy = 0;
    r->ownregisters().wx = 7;
    runframe();
    EXPECT_EQ(row(0)[3], 0x27);
    EXPECT_EQ(row(0)[4], 0x24);
    EXPECT_EQ(row(0)[8], 0x25);
    r->ownregisters().wx = 3;  // 4 pixels cut off: column 0 shows window pixel 4
    runframe();
    EXPECT_EQ(row(0)[0], 0x24);
    EXPECT_EQ(row(0)[3], 0x24);
    EXPECT_EQ(row(0)[4], 0x25);
}

TEST_F(RendererDmg, Wx166IsWx7OnDmgButOnePixelOnGbcHardware) {
    solidtile(0, 1, 1);
    fillmap(1, 1);
    r->ownregisters().lcdc = 0x80 | 0x40 | 0x20 | 0x10 | 0x01;
    r->ownregisters().wy = 0;
    r->ownregisters().wx = 166;
    runframe();
    EXPECT_EQ(line(0)[0], 0x25);
    EXPECT_EQ(line(0)[159], 0x25);

    make(false, true);  // DMG game on GBC hardware
    r->ownregisters().lcdc = 0x80 | 0x40 | 0x20 | 0x10 | 0x01;
    r->ownregisters().wy = 0;
    r->ownregisters().wx = 166;
    runframe();
    EXPECT_EQ(line(0)[158], 0x20);
    EXPECT_EQ(line(0)[159], 0x25);
}

// ---- Sprites

TEST_F(RendererDmg, TallSpritesIgnoreTileBit0AndMirrorAllRows) {
    hidesprites();
    solidtile(0, 4, 1);
    solidtile(0, 5, 2);
    r->ownregisters().lcdc = 0x93 | 0x04;
    sprite(0, 16, 8, 5, 0x00);
    sprite(1, 16, 20, 5, 0x40);
    runframe();
    EXPECT_EQ(row(0)[0], 0x09);
    EXPECT_EQ(row(8)[0], 0x0A);
    EXPECT_EQ(row(15)[0], 0x0A);
    EXPECT_EQ(row(16)[0], 0x20);
    EXPECT_EQ(row(0)[12], 0x0A);
    EXPECT_EQ(row(15)[12], 0x09);
}

TEST_F(RendererDmg, SpriteAtY159IsNotShownOnLine143) {
    hidesprites();
    solidtile(0, 1, 3);
    r->ownregisters().lcdc = 0x93;
    sprite(0, 159, 8, 1, 0);
    sprite(1, 158, 20, 1, 0);
    runframe();
    EXPECT_EQ(row(143)[0], 0x20);
    EXPECT_EQ(row(143)[12], 0x0B);
    EXPECT_EQ(row(142)[12], 0x0B);
    // 8x16 with its top on line 142 shows on 142 and 143.
    r->ownregisters().lcdc = 0x97;
    solidtile(0, 0, 3);  // also the background: 0x23 there
    sprite(2, 158, 40, 0, 0);
    runframe();
    EXPECT_EQ(row(143)[32], 0x0B);
    EXPECT_EQ(row(142)[32], 0x0B);
    EXPECT_EQ(row(141)[32], 0x23);
}

TEST_F(RendererDmg, BehindBackgroundSpritesShowOnlyOverRawColour0) {
    hidesprites();
    tile(0, 1, "00001111");
    fillmap(0, 1);
    solidtile(0, 2, 3);
    r->ownregisters().bgp = 0x03;  // colour 0 shows dark: the rule is about the colour number, not the shade
    r->ownregisters().lcdc = 0x93;
    sprite(0, 16, 8, 2, 0x80);
    runframe();
    EXPECT_EQ(row(0)[0], 0x0B);
    EXPECT_EQ(row(0)[3], 0x0B);
    EXPECT_EQ(row(0)[4], 0x20);  // colour 1 -> shade 0 through BGP 0x03, covers the sprite

    // Background off: every column counts as colour 0.
    r->ownregisters().lcdc = 0x92;
    runframe();
    EXPECT_EQ(row(0)[4], 0x0B);
}

TEST_F(RendererDmg, SpriteLimitTakesTheFirstTenInOamOrder) {
    hidesprites();
    solidtile(0, 1, 3);
    r->ownregisters().lcdc = 0x93;
    // Sprites 0-9 are on line 0 but off-screen horizontally; 10 and 11 are visible.
    for (int s = 0; s < 10; ++s) sprite(s, 16, 0, 1, 0);
    sprite(10, 16, 20, 1, 0);
    sprite(11, 16, 40, 1, 0);
    runframe();
    EXPECT_EQ(row(0)[12], 0x20);
    EXPECT_EQ(row(0)[32], 0x20);

    settings.SpriteLimit = false;
    sprite(11, 16, 40, 1, 0);  // any OAM change rebuilds the tables
    runframe();
    EXPECT_EQ(row(0)[12], 0x0B);
    EXPECT_EQ(row(0)[32], 0x0B);

    // With the limit on, a line with exactly ten sprites draws all of them.
    settings.SpriteLimit = true;
    hidesprites();
    for (int s = 0; s < 10; ++s) sprite(s, 16, 8 + 16 * s, 1, 0);
    runframe();
    for (int s = 0; s < 10; ++s) EXPECT_EQ(row(0)[16 * s], 0x0B) << s;
}

TEST_F(RendererDmg, SmallerXIsOnTopAndEqualXGoesByOamIndex) {
    hidesprites();
    solidtile(0, 1, 1);
    solidtile(0, 2, 2);
    r->ownregisters().lcdc = 0x93;
    sprite(0, 16, 20, 1, 0);
    sprite(1, 16, 16, 2, 0);  // smaller X, higher index: on top
    sprite(2, 40, 16, 1, 0);
    sprite(3, 40, 16, 2, 0);  // equal X: sprite 2 on top
    runframe();
    EXPECT_EQ(row(0)[12], 0x09 + 1);
    EXPECT_EQ(row(0)[13], 0x0A);
    EXPECT_EQ(row(0)[16], 0x09);
    EXPECT_EQ(row(24)[10], 0x09);
}

// ---- GBC

TEST_F(RendererGbc, AttributesSelectPaletteBankAndMirrors) {
    tile(0, 1, "0123000000000000000000000000000000000000000000000000000000000001");
    tile(1, 1, "3333333333333333333333333333333333333333333333333333333333333333");
    map(0, 0, 0, 1);
    attr(0, 0, 0, 0x03);  // palette 3
    map(0, 1, 0, 1);
    attr(0, 1, 0, 0x08);  // bank 1
    map(0, 2, 0, 1);
    attr(0, 2, 0, 0x20);  // horizontal mirror
    map(0, 3, 0, 1);
    attr(0, 3, 0, 0x40);  // vertical mirror
    runframe();
    EXPECT_EQ(row(0)[1], 4 + 12 + 1);
    EXPECT_EQ(row(0)[3], 4 + 12 + 3);
    EXPECT_EQ(row(0)[7], 4 + 12);
    EXPECT_EQ(row(0)[8], 4 + 3);
    EXPECT_EQ(row(0)[23], 4 + 0);
    EXPECT_EQ(row(0)[20], 4 + 3);
    EXPECT_EQ(row(0)[16 + 7 - 1], 4 + 1);
    EXPECT_EQ(row(0)[31], 4 + 1);  // row 7 shown first
    EXPECT_EQ(row(7)[24], 4 + 0);
    EXPECT_EQ(row(7)[25], 4 + 1);
}

TEST_F(RendererGbc, PriorityTilesCoverSpritesExceptTheirColour0) {
    hidesprites();
    tile(0, 1, "00001111");
    solidtile(0, 2, 3);
    fillmap(0, 1);
    for (int x = 0; x < 32; ++x) attr(0, x, 0, 0x80);
    r->ownregisters().lcdc = 0x93;
    sprite(0, 16, 8, 2, 0);
    runframe();
    EXPECT_EQ(row(0)[3], 36 + 3);
    EXPECT_EQ(row(0)[4], 4 + 1);  // priority tile pixel over the sprite
    EXPECT_EQ(row(8)[4], 4 + 1);  // line 8 has no sprite
    // LCDC bit 0 clear: sprites always on top, background still drawn.
    r->ownregisters().lcdc = 0x92;
    runframe();
    EXPECT_EQ(row(0)[4], 36 + 3);
    EXPECT_EQ(row(0)[12], 4 + 1);
}

TEST_F(RendererGbc, ObjectPriorityBitHidesBehindNonZeroColours) {
    hidesprites();
    tile(0, 1, "00001111");
    solidtile(0, 2, 3);
    fillmap(0, 1);
    r->ownregisters().lcdc = 0x93;
    sprite(0, 16, 8, 2, 0x80);
    runframe();
    EXPECT_EQ(row(0)[0], 36 + 3);
    EXPECT_EQ(row(0)[4], 4 + 1);
    r->ownregisters().lcdc = 0x92;  // priorities off
    runframe();
    EXPECT_EQ(row(0)[4], 36 + 3);
}

TEST_F(RendererGbc, PaletteWritesReachTheOutputPalette) {
    runframe();
    palram[5] = 0x7FFF;
    r->palwrite(10);
    palram[40] = 0x001F;
    r->palwrite(64 + 16);
    out.palettecalls.clear();
    runframe();
    EXPECT_EQ(out.palette[4 + 5], 0xFFFFFFu);
    EXPECT_EQ(out.palette[4 + 40], r->gbccolor(0x001F));
    ASSERT_FALSE(out.palettecalls.empty());
    EXPECT_EQ(out.palettecalls.front(), std::make_pair(4 + 5, 36));
}

TEST_F(RendererGbc, InitConvertsTheWholePaletteMemory) {
    for (int i = 0; i < 64; ++i) palram[i] = uint16_t(i * 0x0421);
    palram[63] = 0xFFFF;  // bit 15 is ignored
    out.palettecalls.clear();
    r->init();
    EXPECT_EQ(out.palettecalls.back(), std::make_pair(4, 64));
    EXPECT_EQ(out.palette[4 + 63], r->gbccolor(0x7FFF));
    EXPECT_EQ(out.palette[4 + 1], r->gbccolor(0x0421));
}

// ---- Mid-line register writes

class MidLine : public tvideotest {
protected:
    void SetUp() override {
        tvideotest::SetUp();
        // Every pixel distinct enough: tiles of two colours in a varied map.
        tile(0, 0, "0123012301230123012301230123012301230123012301230123012301230123");
        tile(0, 1, "3210321032103210321032103210321032103210321032103210321032103210");
        tile(0, 2, "0011223300112233001122330011223300112233001122330011223300112233");
        for (int i = 0; i < 1024; ++i) poke(0, 0x1800 + i, uint8_t((i * 7 + i / 32) % 3));
    }
    // The line as drawn with fixed registers.
    std::vector<uint8_t> plain(uint8_t scy, uint8_t scx, uint8_t bgp) {
        r->ownregisters().scy = scy;
        r->ownregisters().scx = scx;
        r->ownregisters().bgp = bgp;
        r->linewritecount = 0;
        r->framebegin();
        drawline(0);
        r->frameend();
        return row(0);
    }
    std::vector<uint8_t> withwrites(uint8_t scy, uint8_t scx, uint8_t bgp, int count) {
        r->ownregisters().scy = scy;
        r->ownregisters().scx = scx;
        r->ownregisters().bgp = bgp;
        return linewithwrites(count);
    }
};

TEST_F(MidLine, ScxWriteMovesTheTileColumnFromItsChunkOn) {
    // Write of SCX 5 -> 21 in chunk 9; the fine scroll (5) stays for the line.
    writes[0] = {0xFF43, 5, positionforchunk(9), 21};
    const auto before = plain(0, 5, 0xE4);
    const auto after = plain(0, 21, 0xE4);
    const auto got = withwrites(0, 21, 0xE4, 1);
    for (int x = 0; x < 160; ++x) {
        const auto& want = x < 9 * 8 - 5 ? before : after;
        ASSERT_EQ(got[x], want[x]) << x;
    }
    // Low bits of a write do not move the chunk boundaries.
    writes[0] = {0xFF43, 5, positionforchunk(9), 23};
    const auto after23 = plain(0, 21, 0xE4);
    const auto got23 = withwrites(0, 23, 0xE4, 1);
    for (int x = 0; x < 153; ++x) {
        const auto& want = x < 9 * 8 - 5 ? before : after23;
        ASSERT_EQ(got23[x], want[x]) << x;
    }
    // The last partial tile is drawn with the final value: fine scroll 7 -> columns 153-159.
    const auto final23 = plain(0, 23, 0xE4);
    for (int x = 153; x < 160; ++x) EXPECT_EQ(got23[x], final23[x]) << x;
}

TEST_F(MidLine, BgpAndScyWritesApplyFromTheirChunk) {
    writes[0] = {0xFF47, 0xE4, positionforchunk(5), 0x1B};
    writes[1] = {0xFF42, 0, positionforchunk(12), 3};
    const auto a = plain(0, 0, 0xE4);
    const auto b = plain(0, 0, 0x1B);
    const auto c = plain(3, 0, 0x1B);
    const auto got = withwrites(3, 0, 0x1B, 2);
    for (int x = 0; x < 160; ++x) {
        const auto& want = x < 40 ? a : x < 96 ? b : c;
        ASSERT_EQ(got[x], want[x]) << x;
    }
}

TEST_F(MidLine, OnlyTheLastWriteOfAChunkIsApplied) {
    writes[0] = {0xFF42, 0, positionforchunk(4), 2};
    writes[1] = {0xFF47, 0xE4, positionforchunk(4), 0x1B};
    const auto a = plain(0, 0, 0xE4);
    const auto b = plain(0, 0, 0x1B);  // SCY 2 never applied within the chunks
    const auto got = withwrites(2, 0, 0x1B, 2);
    for (int x = 0; x < 160; ++x) ASSERT_EQ(got[x], (x < 32 ? a : b)[x]) << x;
}

TEST_F(MidLine, WritesOutsideTheChunkRangeOnlyRestoreTheStartValue) {
    writes[0] = {0xFF42, 0, 200, 5};  // chunk 19 - 50: never applied
    const auto a = plain(0, 0, 0xE4);
    const auto got = withwrites(5, 0, 0xE4, 1);
    EXPECT_EQ(got, a);
    EXPECT_EQ(r->ownregisters().scy, 5);  // registers hold the written values again afterwards
}

// ---- Frames, LCD off and caches

TEST_F(RendererDmg, FirstFrameAfterLcdOnIsNotDrawn) {
    solidtile(0, 0, 3);
    settings.ReflectorColor = "";
    runframe();
    EXPECT_EQ(line(70)[70], 0x23);
    // Switch-off mid-frame: the frame ends; the blank screen follows.
    r->framebegin();
    for (int ly = 0; ly < 50; ++ly) drawline(ly);
    r->frameend();
    r->blank();
    r->refresh();
    for (int y = 0; y < 144; ++y) ASSERT_EQ(line(y)[y], 1) << y;
    EXPECT_EQ(out.palette[1], settings.colors[0]);
    // Switched on again: the first frame starts without framebegin and draws nothing.
    for (int ly = 0; ly < 144; ++ly) drawline(ly);
    r->frameend();
    EXPECT_EQ(line(70)[70], 1);
    runframe();
    EXPECT_EQ(line(70)[70], 0x23);
}

TEST_F(RendererDmg, BlankColourByMode) {
    settings.ReflectorColor = "0000FF";
    r->blank();
    EXPECT_EQ(out.palette[1], 0x0000FFu);
    r->sgbmode = true;
    out.palette[4] = 0x123456;
    r->blank();
    EXPECT_EQ(out.palette[1], 0x123456u);
    settings.SGBnocolors = true;
    r->blank();
    EXPECT_EQ(out.palette[1], 0x0000FFu);
    r->gbcmode = true;
    r->blank();
    EXPECT_EQ(out.palette[1], 0xFFFFFFu);
    // Not while a frame is being drawn.
    r->framebegin();
    const int begins = out.begins;
    r->blank();
    EXPECT_EQ(out.begins, begins);
}

TEST_F(RendererDmg, SkippedFramesDrawNothingButCountWindowLines) {
    solidtile(0, 0, 3);
    r->ownregisters().lcdc = 0xB1;
    r->ownregisters().wx = 7;
    r->ownregisters().wy = 0;
    r->skipframe = true;
    const int begins = out.begins;
    runframe();
    r->refresh();
    EXPECT_EQ(out.begins, begins);
    EXPECT_EQ(out.presents, 0);
    EXPECT_EQ(line(0)[0], 0xEE);
    EXPECT_EQ(r->windowlinecounter(), 143);
}

TEST_F(RendererDmg, CachesFollowOnlyNotifiedWrites) {
    solidtile(0, 1, 3);
    fillmap(0, 1);
    runframe();
    vram[16] = 0;  // not notified: the cache keeps the old row
    vram[17] = 0;
    runframe();
    EXPECT_EQ(line(0)[0], 0x23);
    r->vramwrite(0, 16);  // either byte of a row re-reads the whole row
    runframe();
    EXPECT_EQ(line(0)[0], 0x20);
    EXPECT_EQ(line(1)[0], 0x23);
    vram[18] = 0;
    vram[19] = 0;
    r->invalidate();
    runframe();
    EXPECT_EQ(line(1)[0], 0x20);
}

TEST_F(RendererDmg, DerivedPaletteEntriesFollowBgpAndObp) {
    for (int i = 0; i < 8; ++i) out.palette[0x20 + i] = 0x100 + uint32_t(i);
    for (int i = 0; i < 8; ++i) out.palette[0x08 + i] = 0x200 + uint32_t(i);
    r->ownregisters().bgp = 0x1B;
    r->ownregisters().obp0 = 0xE4;
    r->ownregisters().obp1 = 0x1B;
    runframe();
    EXPECT_EQ(out.palette[16], 0x103u);
    EXPECT_EQ(out.palette[20], 0x107u);
    EXPECT_EQ(out.palette[24], 0x200u);
    EXPECT_EQ(out.palette[28], 0x207u);
    EXPECT_EQ(out.palette[31], 0x204u);
}

TEST_F(RendererDmg, MissingOutputFailsWithItsMessage) {
    tgbdrawtov bare(settings);
    try {
        bare.init();
        FAIL() << "init without output";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "gbdraw.init called w/o gfxout");
    }
    try {
        bare.framebegin();
        FAIL() << "framebegin without output";
    } catch (const std::runtime_error& e) {
        EXPECT_STREQ(e.what(), "gbdraw.framebegin called w/o gfxout");
    }
    bare.drawline(0);
    bare.blank();
    bare.refresh();
}

TEST_F(RendererDmg, LinesBeyondTheScreenAndOddHookArgumentsAreIgnored) {
    r->vramwrite(0, 0x1FFF);
    r->vramwrite(1, -5);
    r->oamwrite(200);
    r->palwrite(-1);
    r->palwrite(500);
    r->framebegin();
    r->startline(144);
    r->drawline(144);
    r->drawline(-1);
    r->frameend();
    SUCCEED();
}

}  // namespace
}  // namespace tov::test
