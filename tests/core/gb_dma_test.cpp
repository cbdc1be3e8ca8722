// GBC video-memory DMA (HBlank and general) and the joypad register.
#include <gtest/gtest.h>

#include "core/gbtestutil.h"
#include "core/hdmatestutil.h"

namespace tov {
namespace {

using testing::tmachine;
using testing::tromimage;
using testing::tsampler;
using testing::patternrom;
using testing::setdma;

TEST(GbHdma, SingleBlockInHBlankCopiesAtOnce) {
    tmachine m(patternrom(), 1);
    m->setlcdmode(0);
    setdma(*m, 0x0200, 0x8800);
    m->writebyte(0xFF55, 0x80);
    for (int i = 0; i < 16; i++) EXPECT_EQ(m->vram[0x800 + i], uint8_t(0x40 + i));
    EXPECT_EQ(m->vram[0x810], 0x00);
    EXPECT_EQ(m->readbyte(0xFF55), 0xFF);
}

TEST(GbHdma, SingleBlockInMode3EndsTheLineEarly) {
    tromimage rom = patternrom();
    rom.code(0x150, {0x3E, 0x02, 0xE0, 0x51, 0x3E, 0x00, 0xE0, 0x52, 0x3E, 0x08, 0xE0, 0x53,
                     0x3E, 0x00, 0xE0, 0x54,
                     0xF0, 0x41, 0xE6, 0x03, 0xFE, 0x03, 0x20, 0xF8,  // wait for mode 3
                     0x3E, 0x80, 0xE0, 0x55, 0x18, 0xFE});
    tmachine m(rom, 1);
    tsampler s(*m);
    m->runframe();
    m->runframe();
    for (int i = 0; i < 16; i++) EXPECT_EQ(m->vram[0x800 + i], uint8_t(0x40 + i));
    EXPECT_EQ(m->readbyte(0xFF55), 0xFF);
    // Find the shortened mode 3 and check that its HBlank lasts a full 102 units.
    bool found = false;
    for (size_t i = 1; i < s.samples.size() && !found; i++) {
        if ((s.samples[i].stat & 3) != 3 || (s.samples[i - 1].stat & 3) == 3) continue;
        uint32_t start3 = s.samples[i].time;
        size_t j = i;
        while (j < s.samples.size() && (s.samples[j].stat & 3) == 3) j++;
        if (j == s.samples.size()) break;
        uint32_t start0 = s.samples[j].time;
        if (start0 - start3 >= 80) continue;
        size_t k = j;
        while (k < s.samples.size() && (s.samples[k].stat & 3) == 0) k++;
        if (k == s.samples.size()) break;
        found = true;
        // The HBlank lasts a full 102 units counted from after the block's copy.
        EXPECT_NEAR(int(s.samples[k].time - start0), 102, 4);
    }
    EXPECT_TRUE(found);
}

TEST(GbHdma, BlocksFollowHBlanksAndCanBeStopped) {
    {
        tmachine m(patternrom(), 1);
        m->runframe();
        setdma(*m, 0x0200, 0x8000);
        m->writebyte(0xFF55, 0x83);  // four blocks, one per HBlank
        EXPECT_EQ(m->readbyte(0xFF55), 0x03);
        EXPECT_EQ(m->vram[0], 0x00);
        m->runframe();
        EXPECT_EQ(m->readbyte(0xFF55), 0xFF);
        for (int i = 0; i < 64; i++) ASSERT_EQ(m->vram[i], uint8_t(0x40 + i)) << i;
        EXPECT_EQ(m->vram[64], 0x00);
    }
    {
        tmachine m(patternrom(), 1);
        m->setlcdmode(2);
        setdma(*m, 0x0200, 0x8000);
        m->writebyte(0xFF55, 0x83);
        m->hdmablock();  // two HBlanks
        m->hdmablock();
        m->writebyte(0xFF55, 0x00);
        EXPECT_EQ(m->readbyte(0xFF55), 0x81);
        m->hdmablock();  // stopped: nothing more
        EXPECT_EQ(m->vram[31], uint8_t(0x40 + 31));
        EXPECT_EQ(m->vram[32], 0x00);
    }
}

TEST(GbHdma, GeneralDmaCopiesAndChargesTime) {
    tmachine m(patternrom(), 1);
    for (int i = 0; i < 32; i++) m->writebyte(uint16_t(0xC000 + i), uint8_t(i + 1));
    m->lcdcwrite(0x00);
    setdma(*m, 0xC000, 0x8100);
    uint32_t before = m->currenttime();
    m->writebyte(0xFF55, 0x01);  // two blocks
    EXPECT_EQ(m->currenttime() - before, 32u);
    for (int i = 0; i < 32; i++) EXPECT_EQ(m->vram[0x100 + i], uint8_t(i + 1));
    EXPECT_EQ(m->readbyte(0xFF55), 0xFF);
    EXPECT_EQ(m->hdmadest & 0x1FF0, 0x120);  // destination advanced
    EXPECT_EQ(m->readbyte(0xFF54), 0xFF);    // HDMA1-4 are write-only
}

TEST(GbHdma, GeneralDmaFromVideoRamGivesFillers) {
    tmachine m(patternrom(), 1);
    m->lcdcwrite(0x00);
    for (int i = 0; i < 16; i++) m->writebyte(uint16_t(0x8000 + i), 0x11);
    setdma(*m, 0x8000, 0x8200);
    m->writebyte(0xFF55, 0x00);
    EXPECT_EQ(m->vram[0x200], 0x3E);
    EXPECT_EQ(m->vram[0x201], 0x3E);
    for (int i = 2; i < 16; i++) EXPECT_EQ(m->vram[0x200 + i], 0xFF);
}

TEST(GbHdma, GeneralDmaStopsAtTheEndOfVideoRam) {
    // A destination past 0x9FFF ends the transfer rather than wrapping to 0x8000.
    tmachine m(patternrom(), 1);
    m->lcdcwrite(0x00);
    setdma(*m, 0x0200, 0x9FF0);
    uint32_t before = m->currenttime();
    m->writebyte(0xFF55, 0x01);
    EXPECT_EQ(m->vram[0x1FF0], 0x40);
    EXPECT_EQ(m->vram[0x1FFF], 0x4F);
    EXPECT_EQ(m->vram[0x0000], 0x00);
    EXPECT_EQ(m->currenttime() - before, 16u);
    EXPECT_EQ(m->readbyte(0xFF55), 0xFF);
}

TEST(GbHdma, IgnoredOutsideColourMode) {
    tmachine m(tromimage(), 1);
    m->lcdcwrite(0x00);
    setdma(*m, 0x0100, 0x8000);
    m->writebyte(0xFF55, 0x00);
    EXPECT_EQ(m->vram[1], 0x00);
    EXPECT_EQ(m->readbyte(0xFF55), 0xFF);
}

struct tnolink : tlinkport {
    int sent = 0;
    void linktick() override {}
    bool sendjoypad(int, bool) override {
        sent++;
        return true;
    }
};

TEST(GbJoypad, PressAndReleaseRequestTheInterrupt) {
    tmachine m;
    m->ifreg = 0;
    m->joypadset(0, 4, true);
    EXPECT_EQ(m->ifreg & 0x10, 0x10);
    m->ifreg = 0;
    m->joypadset(0, 4, true);  // already pressed
    EXPECT_EQ(m->ifreg & 0x10, 0);
    m->joypadset(0, 4, false);
    EXPECT_EQ(m->ifreg & 0x10, 0x10);
    // Out-of-range arguments are ignored.
    m->ifreg = 0;
    m->joypadset(4, 0, true);
    m->joypadset(0, 8, true);
    m->joypadset(-1, -1, true);
    EXPECT_EQ(m->ifreg, 0);
}

TEST(GbJoypad, SelectBitsChooseTheNibble) {
    tmachine m;
    m->joypadset(0, 0, true);  // right
    m->joypadset(1, 7, true);  // start, on the second controller
    m->writebyte(0xFF00, 0x20);  // directions
    EXPECT_EQ(m->readbyte(0xFF00), 0xEE);
    m->writebyte(0xFF00, 0x10);  // buttons
    EXPECT_EQ(m->readbyte(0xFF00), 0xD7);
    m->writebyte(0xFF00, 0x00);  // both: merged
    EXPECT_EQ(m->readbyte(0xFF00), 0xC6);
    m->writebyte(0xFF00, 0x30);
    EXPECT_EQ(m->readbyte(0xFF00), 0xFF);
}

TEST(GbJoypad, OppositeDirectionsCancelUnlessAllowed) {
    tmachine m;
    m->joypadset(0, 0, true);
    m->joypadset(0, 1, true);
    m->joypadset(0, 2, true);
    m->writebyte(0xFF00, 0x20);
    EXPECT_EQ(m->readbyte(0xFF00) & 0x0F, 0x0B);  // only up
    m.settings.JoyOpposite = true;
    m.session->applysettings();
    EXPECT_EQ(m->readbyte(0xFF00) & 0x0F, 0x08);
}

TEST(GbJoypad, SuperGameBoyControllers) {
    tmachine m(tromimage().sgbcapable(), 2);
    ASSERT_TRUE(m->sgbmode);
    m->joypadset(2, 4, true);
    for (int index = 0; index < 4; index++) {
        m->sgbunit().joypadcurrent = index;
        m->p1select = 0x30;
        EXPECT_EQ(m->readbyte(0xFF00) & 0x0F, 0x0F - index);
        m->p1select = 0x10;
        EXPECT_EQ(m->readbyte(0xFF00) & 0x0F, index == 2 ? 0x0E : 0x0F);
    }
}

TEST(GbJoypad, SecondControllerGoesToTheLinkPeer) {
    tmachine m;
    tnolink link;
    m->link = &link;
    m->ifreg = 0;
    m->joypadset(1, 3, true);
    EXPECT_EQ(link.sent, 1);
    EXPECT_EQ(m->joypad[1], 0u);
    EXPECT_EQ(m->ifreg, 0);
    m->joypadset(0, 3, true);
    EXPECT_EQ(m->joypad[0], 8u);
    m->link = nullptr;
}

TEST(GbJoypad, KeyWakesHalt) {
    // ld a,0x10 ; ldh (0xFF),a ; halt ; inc b ; jr -2
    tromimage rom;
    rom.code(0x150, {0x3E, 0x10, 0xE0, 0xFF, 0x76, 0x04, 0x18, 0xFE});
    tmachine m(rom);
    m->writebyte(0xFF0F, 0);
    m->runframe();
    EXPECT_EQ(m->cpu.halted, 1);
    uint8_t b = m->cpu.B;
    m->joypadset(0, 5, true);
    EXPECT_EQ(m->cpu.halted, 0);
    m->runframe();
    EXPECT_EQ(m->cpu.B, uint8_t(b + 1));
}

}  // namespace
}  // namespace tov
