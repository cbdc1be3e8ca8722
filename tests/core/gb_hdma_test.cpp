// GBC video-memory DMA as the hardware reference describes it: the address masks, the
// write-only address registers, a start with the LCD off or inside an HBlank, and the end
// of video RAM ending a transfer.
#include <gtest/gtest.h>

#include "core/gbtestutil.h"
#include "core/hdmatestutil.h"

namespace tov {
namespace {

using testing::tmachine;
using testing::patternrom;
using testing::setdma;

TEST(GbHdmaHardware, AddressesIgnoreTheLowNibbleAndStayInVideoRam) {
    struct tcase {
        uint8_t hdma5;
        uint16_t source, dest;
        int offset;  // where in video RAM the block lands
    };
    const tcase cases[] = {
        {0x00, 0x0207, 0x8805, 0x0800},  // general DMA
        {0x00, 0x020F, 0xE80F, 0x0800},  // upper three destination bits ignored
        {0x00, 0x0200, 0x3000, 0x1000},
        {0x80, 0x0209, 0x6103, 0x0100},  // HBlank DMA, one block at once (LCD off)
    };
    for (const tcase& c : cases) {
        tmachine m(patternrom(), 1);
        m->lcdcwrite(0x00);
        setdma(*m, c.source, c.dest);
        m->writebyte(0xFF55, c.hdma5);
        for (int i = 0; i < 16; i++)
            ASSERT_EQ(m->vram[c.offset + i], uint8_t(0x40 + i)) << std::hex << c.source << " -> " << c.dest;
        EXPECT_EQ(m->vram[c.offset + 16], 0x00);
    }
}

TEST(GbHdmaHardware, AddressRegistersAreWriteOnly) {
    tmachine m(patternrom(), 1);
    setdma(*m, 0x1234, 0x8560);
    for (uint16_t a = 0xFF51; a <= 0xFF54; a++) EXPECT_EQ(m->readbyte(a), 0xFF) << std::hex << a;
    EXPECT_EQ(m->hdmasource, 0x1234);
}

TEST(GbHdmaHardware, HBlankDmaStartedWithTheLcdOffOrInHBlankCopiesABlockAtOnce) {
    for (bool lcdoff : {true, false}) {
        tmachine m(patternrom(), 1);
        if (lcdoff)
            m->lcdcwrite(0x00);
        else
            m->setlcdmode(0);
        setdma(*m, 0x0200, 0x8000);
        m->writebyte(0xFF55, 0x82);  // three blocks
        for (int i = 0; i < 16; i++) ASSERT_EQ(m->vram[i], uint8_t(0x40 + i)) << "LCD off " << lcdoff;
        EXPECT_EQ(m->vram[16], 0x00) << "LCD off " << lcdoff;
        EXPECT_EQ(m->readbyte(0xFF55), 0x01) << "LCD off " << lcdoff;  // two left, still running
    }
    // Outside HBlank with the LCD on the first block waits for the coming HBlank.
    tmachine m(patternrom(), 1);
    m->setlcdmode(2);
    setdma(*m, 0x0200, 0x8000);
    m->writebyte(0xFF55, 0x82);
    EXPECT_EQ(m->vram[0], 0x00);
    EXPECT_EQ(m->readbyte(0xFF55), 0x02);
}

TEST(GbHdmaHardware, HBlankDmaEndsAtTheEndOfVideoRam) {
    tmachine m(patternrom(), 1);
    m->setlcdmode(2);
    setdma(*m, 0x0200, 0x9FE0);
    m->writebyte(0xFF55, 0x83);
    m->hdmablock();
    m->hdmablock();
    EXPECT_EQ(m->vram[0x1FF0], 0x50);
    EXPECT_EQ(m->readbyte(0xFF55), 0xFF);  // ended with two blocks left
    m->hdmablock();
    EXPECT_EQ(m->vram[0x0000], 0x00);
}

}  // namespace
}  // namespace tov
