// Writes to LCDC, OBP0, OBP1, WX and WY during mode 3 change the line from their position
// on, as SCY, SCX and BGP writes do; the machine logs them with their time in the line.
#include <gtest/gtest.h>

#include "core/gbtestutil.h"
#include "videotest.h"

namespace tov::test {
namespace {

class MidLineRegisters : public tvideotest {
protected:
    void SetUp() override {
        tvideotest::SetUp();
        solidtile(0, 1, 1);
        tile(0, 2, "01230123");
        solidtile(0, 3, 3);
        fillmap(0, 1);
        fillmap(1, 3);
        hidesprites();
        sprite(0, 16, 72 + 8, 2, 0x00);   // OBP0, columns 72-79
        sprite(1, 16, 80 + 8, 2, 0x10);   // OBP1, columns 80-87
        sprite(2, 16, 120 + 8, 2, 0x00);  // OBP0, columns 120-127
    }
    // Line 0 with `start` in force when it starts and `final` when it is drawn, with the
    // first `count` logged writes.
    std::vector<uint8_t> drawn(const tlcdregisters& start, const tlcdregisters& final, int count) {
        r->ownregisters() = start;
        return linewithwrites(count, [&] { r->ownregisters() = final; });
    }
};

TEST_F(MidLineRegisters, EachRegisterChangesThePixelsFromItsChunkOn) {
    tlcdregisters base;
    base.lcdc = 0x80 | 0x40 | 0x10 | 0x02 | 0x01;  // window map 0x9C00 (tile 3), tiles at 0x8000, sprites, background
    base.bgp = 0xE4;
    base.obp0 = 0xE4;
    base.obp1 = 0xE4;
    base.wx = 47;
    struct tcase {
        const char* name;
        uint16_t reg;
        uint8_t tlcdregisters::*field;
        uint8_t from, to;
        uint8_t lcdcbits;  // extra LCDC bits for the case
    };
    const tcase cases[] = {
        {"background off", 0xFF40, &tlcdregisters::lcdc, 0xD3, 0xD2, 0},
        {"sprites off", 0xFF40, &tlcdregisters::lcdc, 0xD3, 0xD1, 0},
        {"window on", 0xFF40, &tlcdregisters::lcdc, 0xD3, 0xF3, 0},
        {"OBP0", 0xFF48, &tlcdregisters::obp0, 0xE4, 0x1B, 0},
        {"OBP1", 0xFF49, &tlcdregisters::obp1, 0xE4, 0x1B, 0},
        {"WX", 0xFF4B, &tlcdregisters::wx, 167, 47, 0x20},
    };
    for (const tcase& c : cases) {
        tlcdregisters start = base, final = base;
        start.lcdc |= c.lcdcbits;
        final.lcdc |= c.lcdcbits;
        start.*c.field = c.from;
        final.*c.field = c.to;
        const auto before = drawn(start, start, 0);
        const auto after = drawn(final, final, 0);
        ASSERT_NE(before, after) << c.name;
        writes[0] = {c.reg, c.from, positionforchunk(10), c.to};
        const auto got = drawn(start, final, 1);
        for (int x = 0; x < 160; ++x) ASSERT_EQ(got[x], (x < 80 ? before : after)[x]) << c.name << " x " << x;
        EXPECT_EQ(r->ownregisters().*c.field, c.to) << c.name;
    }
}

TEST_F(MidLineRegisters, EveryWriteOfAChunkIsAppliedAndEarlyWritesCoverTheLine) {
    tlcdregisters start;
    start.lcdc = 0xD3;
    start.bgp = 0xE4;
    start.obp0 = 0xE4;
    start.obp1 = 0xE4;
    tlcdregisters final = start;
    final.obp0 = 0x1B;
    final.obp1 = 0x1B;
    final.bgp = 0x1B;
    const auto before = drawn(start, start, 0);
    const auto after = drawn(final, final, 0);
    // OBP0 and OBP1 written in the same chunk: both apply.
    writes[0] = {0xFF48, 0xE4, positionforchunk(5), 0x1B};
    writes[1] = {0xFF49, 0xE4, positionforchunk(5), 0x1B};
    // BGP written in the first units of mode 3, before the first pixel: the whole line.
    writes[2] = {0xFF47, 0xE4, 82, 0x1B};
    tlcdregisters mid = start;
    mid.bgp = 0x1B;
    const auto bgponly = drawn(mid, mid, 0);
    const auto got = drawn(start, final, 3);
    for (int x = 0; x < 160; ++x) ASSERT_EQ(got[x], (x < 40 ? bgponly : after)[x]) << x;
    EXPECT_NE(bgponly, before);
}

TEST_F(MidLineRegisters, WindowShownFromAWxWriteCountsItsLineOnce) {
    tlcdregisters start;
    start.lcdc = 0xF3;
    start.bgp = 0xE4;
    start.wx = 200;  // off for the line at its start
    tlcdregisters final = start;
    final.wx = 47;
    writes[0] = {0xFF4B, 200, positionforchunk(12), 47};
    writes[1] = {0xFF4B, 47, positionforchunk(14), 167};
    writes[2] = {0xFF4B, 167, positionforchunk(16), 47};
    r->ownregisters() = start;
    r->framebegin();
    r->startline(0);
    r->ownregisters() = final;
    r->linewritecount = 3;
    r->drawline(0);
    r->linewritecount = 0;
    EXPECT_EQ(r->windowlinecounter(), 0);
    r->frameend();
    EXPECT_EQ(row(0)[100], 0x27);  // window colour 3 from column 96 on (chunk 12)
    EXPECT_EQ(row(0)[116], 0x21);  // hidden again from chunk 14
    EXPECT_EQ(row(0)[130], 0x27);
    EXPECT_EQ(row(0)[90], 0x21);
}

TEST(MidLineLog, MachineLogsPaletteWindowAndLcdcWritesInMode3) {
    struct tlogdraw : tgbdrawnull {
        int counts[0x100] = {};
        int outside = 0;
        void drawline(int) override {
            for (int i = 0; i < linewritecount; i++) {
                counts[linewrites[i].reg & 0xFF]++;
                if (linewrites[i].position < -12 || linewrites[i].position > 84) outside++;
            }
        }
    } draw;
    // loop: ldh (OBP0),a ; ldh (OBP1),a ; ldh (WX),a ; ldh (WY),a ; ld a,0x91 ; ldh (LCDC),a ; jr loop
    testing::tromimage rom;
    rom.code(0x150, {0xE0, 0x48, 0xE0, 0x49, 0xE0, 0x4B, 0xE0, 0x4A, 0x3E, 0x91, 0xE0, 0x40, 0x18, 0xF2});
    testing::tmachine m(rom);
    m->attachrenderer(&draw);
    m->runframe();
    m->runframe();
    for (int reg : {0x40, 0x48, 0x49, 0x4A, 0x4B}) EXPECT_GT(draw.counts[reg], 100) << std::hex << reg;
    EXPECT_EQ(draw.outside, 0);
    m->attachrenderer(nullptr);
}

}  // namespace
}  // namespace tov::test
