// The I/O map's distances, countdowns, user clock counter, texts and clicks.
#include <gtest/gtest.h>

#include "core/gbtestutil.h"
#include "viewers/iomap.h"

namespace tov::testing {
namespace {

TEST(IoMapDistances, HBlankModeTwoAndLines) {
    using namespace frametiming;
    struct tcase {
        int32_t pos, hblank, mode2;
    } cases[] = {
        {10 * line + 100, 26, 128},    // 100 units into line 10
        {10 * line + 200, 154, 28},    // past its HBlank: the one of line 11
        {10 * line + 126, 0, 102},
        {145 * line, 2052 + 126, 2052}, // VBlank: the HBlank and mode 2 of line 0
        {0, 126, 0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(untilhblank(c.pos), c.hblank) << c.pos;
        EXPECT_EQ(untilmode2(c.pos), c.mode2) << c.pos;
    }
    EXPECT_EQ(untilline(10 * line + 100, 144), 134 * line - 100);
    EXPECT_EQ(untilline(145 * line, 144), frame - line);
    EXPECT_EQ(untilline(100, 0), line0 - 100);  // line 0 counts from 4 units into line 153
    EXPECT_EQ(untilline(line0 + 10, 0), frame - 10);
    EXPECT_EQ(untilline(0, 154), -1);
    EXPECT_EQ(untilline(0, 200), -1);
}

TEST(IoMapDistances, FramePositionFromTheLine) {
    ttimingview t;
    t.ly = 10;
    t.stat = 0x80 | 3;
    t.lineleft = 128;
    EXPECT_EQ(frameposition(t), 10 * 228 + 100);
    // At the end of line 153 LY already reads 0 in mode 1.
    t.ly = 0;
    t.stat = 0x81;
    t.lineleft = 3;
    EXPECT_EQ(frameposition(t), 35112 - 3);
}

struct tiomachine : tmachine {
    tiomap map{*gb};
    tiomachine() : tmachine(tromimage(), 0) {}
    // The machine's LCD position forced to `units` into line `ly` (mode by position).
    void at(int ly, int units) {
        gb->ly = uint8_t(ly);
        gb->stat = uint8_t((gb->stat & ~3) | (ly >= 144 ? 1 : units < 40 ? 2 : units < 126 ? 3 : 0));
        gb->lcdcountdown = 228 - units;
        gb->linerest = 0;
        gb->debugoffset = 0;
    }
};

TEST(IoMapCountdowns, RowsFollowTheLcdAndStatSources) {
    tiomachine m;
    m->lcdregs.lcdc = 0x91;
    m->stat = 0x80;
    m.at(10, 100);
    EXPECT_EQ(m.map.countdown(0), 134 * 228 - 100);
    EXPECT_EQ(m.map.countdown(1), -1);  // STAT enables nothing
    m->stat |= 0x08;
    EXPECT_EQ(m.map.countdown(1), 26);
    m.at(10, 200);
    EXPECT_EQ(m.map.countdown(1), 154);
    m.at(150, 50);
    EXPECT_EQ(m.map.countdown(1), (154 - 150) * 228 - 50 + 126);
    // Only LY=LYC with LYC beyond the last line: nothing.
    m->stat = 0xC0;
    m->lyc = 200;
    EXPECT_EQ(m.map.countdown(1), -1);
    m->lyc = 12;
    m.at(10, 100);
    EXPECT_EQ(m.map.countdown(1), 2 * 228 - 100);
    // The LCD off: neither VBlank nor LCD.
    m->lcdregs.lcdc = 0x11;
    m.map.refresh();
    EXPECT_EQ(m.map.view.countdowns[0], "-");
    EXPECT_EQ(m.map.view.countdowns[1], "-");
}

TEST(IoMapCountdowns, TimerAndSerial) {
    tiomachine m;
    m->writebyte(0xFF07, 0x05);  // 16 clocks = 8 units at normal speed
    m->tima = 0xFE;
    const uint32_t t = m->currenttime();
    const uint32_t mask = 7;
    EXPECT_EQ(uint32_t(m.map.countdown(2)), (mask & (mask - t)) + 8u);
    EXPECT_EQ(uint32_t(m.map.countdown(3)), 2047u & (2047u - t));
    m->writebyte(0xFF07, 0x01);  // stopped
    EXPECT_EQ(m.map.countdown(2), -1);
    m.map.refresh();
    EXPECT_EQ(m.map.view.countdowns[2], "-");
}

TEST(IoMapUserCounter, EnteredValueCountsUpWithTimeAndWraps) {
    tiomachine m;
    m->lcdregs.lcdc = 0x91;
    m.at(10, 100);
    m.map.refresh();
    EXPECT_EQ(m.map.usercountershown(), 10 * 228 + 100);  // reference 0: the frame position
    m.map.answerusercounter(m.map.usercountershown(), "0");
    EXPECT_EQ(m.map.view.countdowns[4], "0");
    m.at(10, 150);
    EXPECT_EQ(m.map.countdown(4), 50);
    m.at(9, 100);  // 228 units earlier: a frame later less 178
    EXPECT_EQ(m.map.countdown(4), 35112 - 228);
    // Not a number keeps the counter.
    m.map.refresh();
    const int32_t shown = m.map.usercountershown();
    m.map.answerusercounter(shown, "abc");
    EXPECT_EQ(m.map.usercountershown(), shown);
    m.map.answerusercounter(shown, "35000");
    EXPECT_EQ(m.map.countdown(4), 35000);
}

TEST(IoMapView, RegisterTextsAndBits) {
    tiomachine m;
    m->writebyte(0xFF47, 0xE4);
    m->writebyte(0xFF45, 0x3C);
    for (int i = 0; i < 16; i++) tgbinspect(*m).poke(uint16_t(0xFF30 + i), uint8_t(i * 0x11));
    m.map.refresh();
    EXPECT_EQ(iomaplabel(iomapcolumns()[0].rows[0]), "LCDC FF40");
    EXPECT_EQ(iomaplabel(iomapcolumns()[3].rows[0]), "N/A FF15");
    EXPECT_EQ(m.map.view.registers[0][7], "E4");
    EXPECT_EQ(m.map.view.registers[0][5], "3C");
    EXPECT_EQ(m.map.view.registers[0][0], "91");
    EXPECT_TRUE(m.map.view.lcdc[7]);
    EXPECT_EQ(m.map.view.lcdctext[7], "on");
    EXPECT_EQ(m.map.view.lcdctext[4], "8000-8fff");
    EXPECT_EQ(m.map.view.lcdctext[3], "9800-9bff");
    EXPECT_EQ(m.map.view.Editwave, "00112233 44556677 8899AABB CCDDEEFF ");
    EXPECT_EQ(m.map.view.Editrombank, "1");
    EXPECT_EQ(m.map.view.Editdivider.size(), 8u);
    EXPECT_EQ(m.map.view.Editstatmode, std::to_string(m->stat & 3));
}

TEST(IoMapClicks, WriteOnlyWithRegClick) {
    tiomachine m;
    int redraws = 0;
    m.map.onlcdcchanged = [&] { redraws++; };
    // Without RegClick the LCD stays on and the box goes back.
    m.map.clicklcdc(7, false, false);
    EXPECT_TRUE(m->lcdregs.lcdc & 0x80);
    EXPECT_TRUE(m.map.view.lcdc[7]);
    m.map.clicklcdc(7, false, true);
    EXPECT_FALSE(m->lcdregs.lcdc & 0x80);
    EXPECT_FALSE(m.map.view.lcdc[7]);
    EXPECT_EQ(redraws, 1);
    // LY=LYC is never written.
    const uint8_t stat = m->stat;
    m.map.clickstat(2, !(stat & 4), true);
    EXPECT_EQ(m->stat, stat);
    m.map.clickstat(3, true, true);
    EXPECT_TRUE(m->stat & 0x08);
    m.map.clickie(2, true, true);
    EXPECT_EQ(m->iereg & 4, 4);
    m->ifreg = 0;
    m.map.clickif(0, true, false);
    EXPECT_EQ(m->ifreg & 1, 0);
    m.map.clickif(0, true, true);
    EXPECT_EQ(m->ifreg & 1, 1);
    m.map.clickdoublespeed(true, false);
    EXPECT_EQ(m->speed, 0);
    m.map.clickdoublespeed(true, true);
    EXPECT_EQ(m->speed, 1);
    EXPECT_TRUE(m.map.view.Checkdoublespeed);
}

}  // namespace
}  // namespace tov::testing
