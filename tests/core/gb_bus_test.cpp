// The machine's bus: memory map, I/O register read-back, write effects and hooks.
#include <gtest/gtest.h>

#include "core/gbtestutil.h"

namespace tov {
namespace {

using testing::tmachine;
using testing::tromimage;

struct tcountingdraw : tgbdrawnull {
    int oamwrites = 0, palwrites = 0, vramwrites = 0, lastpal = -1;
    void oamwrite(int) override { oamwrites++; }
    void palwrite(int index) override {
        palwrites++;
        lastpal = index;
    }
    void vramwrite(int, int) override { vramwrites++; }
};

TEST(GbBus, UnmappedIoReadsFFAndIgnoresWrites) {
    tmachine m;
    const int unused[] = {0xFF03, 0xFF08, 0xFF0E, 0xFF27, 0xFF2F, 0xFF4C, 0xFF4E,
                          0xFF57, 0xFF67, 0xFF6C, 0xFF6F, 0xFF71, 0xFF7F};
    for (int a : unused) {
        m->writebyte(uint16_t(a), 0x12);
        EXPECT_EQ(m->readbyte(uint16_t(a)), 0xFF) << std::hex << a;
    }
    // The gap after OAM reads 0x00.
    EXPECT_EQ(m->readbyte(0xFEA0), 0x00);
    EXPECT_EQ(m->readbyte(0xFEFF), 0x00);
}

TEST(GbBus, RegistersReadBackWithFixedBits) {
    tmachine m;
    m->writebyte(0xFFFF, 0xFF);
    EXPECT_EQ(m->readbyte(0xFFFF), 0x1F);
    m->writebyte(0xFF0F, 0x00);
    EXPECT_EQ(m->readbyte(0xFF0F), 0xE0);
    m->writebyte(0xFF07, 0xFF);
    EXPECT_EQ(m->readbyte(0xFF07), 0xFF);
    m->writebyte(0xFF07, 0x00);
    EXPECT_EQ(m->readbyte(0xFF07), 0xF8);
    // SC on a monochrome model: bits 1-6 read as 1.
    m->writebyte(0xFF02, 0x00);
    EXPECT_EQ(m->readbyte(0xFF02), 0x7E);
    // STAT bit 7 is always set; the mode bits cannot be written.
    m->writebyte(0xFF41, 0x07);
    EXPECT_EQ(m->readbyte(0xFF41) & 0x80, 0x80);
    EXPECT_EQ(m->readbyte(0xFF41) & 0x78, 0x00);
    // LY ignores writes.
    uint8_t ly = m->readbyte(0xFF44);
    m->writebyte(0xFF44, 0x55);
    EXPECT_EQ(m->readbyte(0xFF44), ly);
    // DIV is zeroed by any write.
    m->setdividervalue(0x33);
    m->writebyte(0xFF04, 0x99);
    EXPECT_EQ(m->readbyte(0xFF04), 0x00);
}

TEST(GbBus, LcdRegistersLiveInTheMachineAndReachTheRenderer) {
    tmachine m;
    tcountingdraw draw;
    m->writebyte(0xFF43, 0x21);  // written before any renderer is attached
    m->attachrenderer(&draw);
    m->writebyte(0xFF4B, 0x07);
    m->writebyte(0xFF48, 0xE4);
    m->writebyte(0xFF40, 0x93);
    EXPECT_EQ(&draw.registers(), &m->lcdregs);
    EXPECT_EQ(draw.registers().scx, 0x21);
    EXPECT_EQ(draw.registers().wx, 0x07);
    EXPECT_EQ(draw.registers().obp0, 0xE4);
    EXPECT_EQ(draw.registers().lcdc, 0x93);
    EXPECT_EQ(m->readbyte(0xFF43), 0x21);
    // Registers survive replacing the renderer; the detached one draws from its own record.
    m->attachrenderer(nullptr);
    EXPECT_EQ(&draw.registers(), &draw.ownregisters());
    EXPECT_EQ(m->readbyte(0xFF43), 0x21);
    EXPECT_EQ(m->readbyte(0xFF40), 0x93);
    EXPECT_EQ(m->readbyte(0xFF48), 0xE4);
}

TEST(GbBus, WorkRamBanksAndEcho) {
    tmachine m(tromimage().colour(0x80), 1);
    ASSERT_TRUE(m->gbcmode);
    m->writebyte(0xE123, 0x5A);
    EXPECT_EQ(m->wram[0x123], 0x5A);
    EXPECT_EQ(m->readbyte(0xC123), 0x5A);
    m->writebyte(0xFF70, 3);
    m->writebyte(0xD123, 0x77);
    EXPECT_EQ(m->wram[3 * 4096 + 0x123], 0x77);
    EXPECT_EQ(m->readbyte(0xF123), 0x77);  // echo of the selected bank
    m->writebyte(0xF124, 0x66);
    EXPECT_EQ(m->wram[3 * 4096 + 0x124], 0x66);
    // Bank 0 selects bank 1 but reads back as written.
    m->writebyte(0xFF70, 0);
    EXPECT_EQ(m->readbyte(0xFF70), 0xF8);
    m->writebyte(0xD000, 0x11);
    EXPECT_EQ(m->wram[4096], 0x11);
}

TEST(GbBus, VramBanksInColourMode) {
    tmachine m(tromimage().colour(0x80), 1);
    m->lcdcwrite(0x00);  // LCD off: VRAM always accessible
    m->writebyte(0xFF4F, 1);
    EXPECT_EQ(m->readbyte(0xFF4F), 0xFF);
    m->writebyte(0x8000, 0xAB);
    EXPECT_EQ(m->vram[0x2000], 0xAB);
    m->writebyte(0xFF4F, 0);
    EXPECT_EQ(m->readbyte(0xFF4F), 0xFE);
    EXPECT_EQ(m->readbyte(0x8000), 0x00);
}

TEST(GbBus, MonochromeCartridgeOnColourHardware) {
    tmachine m(tromimage(), 1);
    ASSERT_TRUE(m->gbchardware);
    ASSERT_FALSE(m->gbcmode);
    m->lcdcwrite(0x00);
    EXPECT_EQ(m->readbyte(0xFF4F), 0xFE);
    m->writebyte(0xFF4F, 1);
    EXPECT_EQ(m->readbyte(0xFF4F), 0xFE);
    m->writebyte(0xFF68, 0x05);
    EXPECT_EQ(m->readbyte(0xFF68), 0x45);
    m->writebyte(0xFF6A, 0x83);
    EXPECT_EQ(m->readbyte(0xFF6A), 0xC3);
    for (int a : {0xFF4D, 0xFF70, 0xFF51, 0xFF52, 0xFF53, 0xFF54, 0xFF55, 0xFF56, 0xFF69, 0xFF6B}) {
        m->writebyte(uint16_t(a), 0x01);
        EXPECT_EQ(m->readbyte(uint16_t(a)), 0xFF) << std::hex << a;
    }
    m->writebyte(0xD000, 0x42);
    EXPECT_EQ(m->wram[4096], 0x42);  // still bank 1
}

TEST(GbBus, OamWritesCallTheHookOnlyOnChange) {
    tmachine m;
    tcountingdraw draw;
    m->attachrenderer(&draw);
    m->writebyte(0xFE10, 0x44);
    m->writebyte(0xFE10, 0x44);
    EXPECT_EQ(draw.oamwrites, 1);
    EXPECT_EQ(m->readbyte(0xFE10), 0x44);
}

TEST(GbBus, OamDmaCopiesAtOnceWithoutTime) {
    tmachine m;
    for (int i = 0; i < 160; i++) m->writebyte(uint16_t(0xC100 + i), uint8_t(i + 1));
    uint32_t before = m->currenttime();
    uint8_t ly = m->ly, div = m->dividervalue();
    m->writebyte(0xFF46, 0xC1);
    EXPECT_EQ(m->currenttime(), before);
    EXPECT_EQ(m->ly, ly);
    EXPECT_EQ(m->dividervalue(), div);
    for (int i = 0; i < 160; i++) EXPECT_EQ(m->oam[i], uint8_t(i + 1));
    EXPECT_EQ(m->readbyte(0xFF46), 0xC1);
    // The source is read as the CPU would: a ROM page.
    m->writebyte(0xFF46, 0x01);
    EXPECT_EQ(m->oam[0x50], 0x18);  // the "jr" at 0x150
}

TEST(GbBus, InaccessibleVramInMode3) {
    tmachine m(tromimage().colour(0x80), 1);
    m->options.EmulateInaccVRAM = true;
    m->lcdcwrite(0x00);
    m->writebyte(0x8000, 0x12);
    m->writebyte(0xFF68, 0x80);  // BCPS index 0, auto-increment
    m->writebyte(0xFF69, 0x34);
    m->lcdcwrite(0x91);
    m->setlcdmode(3);
    EXPECT_EQ(m->readbyte(0x8000), 0xFF);
    m->writebyte(0x8000, 0x99);
    EXPECT_EQ(m->vram[0], 0x12);
    m->writebyte(0xFF68, 0x80);
    EXPECT_EQ(m->readbyte(0xFF69), 0xFF);
    m->writebyte(0xFF69, 0x56);
    EXPECT_EQ(m->readbyte(0xFF68) & 0x3F, 1);  // auto-increment still advances
    m->setlcdmode(0);
    EXPECT_EQ(m->readbyte(0x8000), 0x12);
    m->writebyte(0xFF68, 0x00);
    EXPECT_EQ(m->readbyte(0xFF69), 0x34);  // the write in mode 3 was dropped

    // With the option off VRAM stays accessible in mode 3.
    m->options.EmulateInaccVRAM = false;
    m->setlcdmode(3);
    EXPECT_EQ(m->readbyte(0x8000), 0x12);
}

TEST(GbBus, PaletteWritesCallTheHookOnChange) {
    tmachine m(tromimage().colour(0x80), 1);
    tcountingdraw draw;
    m->attachrenderer(&draw);
    m->lcdcwrite(0x00);
    m->writebyte(0xFF6A, 0x83);  // OCPS index 3, auto-increment
    m->writebyte(0xFF6B, 0x7C);
    EXPECT_EQ(draw.lastpal, 64 + 3);
    EXPECT_EQ(m->gbcpal[32 + 1] >> 8, 0x7C);
    int calls = draw.palwrites;
    m->writebyte(0xFF6A, 0x03);
    m->writebyte(0xFF6B, 0x7C);  // same value: no hook, no increment
    EXPECT_EQ(draw.palwrites, calls);
    EXPECT_EQ(m->readbyte(0xFF6A), 0x43);
    EXPECT_EQ(m->readbyte(0xFF6B), 0x7C);
}

TEST(GbBus, WriteCounterCountsEveryWrite) {
    tmachine m;
    m->writecounter = 0;
    m->writebyte(0xC000, 1);
    m->writebyte(0xFF80, 2);
    m->writebyte(0x2000, 3);
    EXPECT_EQ(m->writecounter, 3u);
}

TEST(GbBus, SerialControlWrites) {
    tmachine m;
    std::vector<uint8_t> sent;
    m->onserialstart = [](void* ctx, uint8_t v) { static_cast<std::vector<uint8_t>*>(ctx)->push_back(v); };
    m->onserialcontext = &sent;
    m->writebyte(0xFF01, 0x41);
    m->writebyte(0xFF02, 0x81);
    EXPECT_EQ(m->sc & 0x81, 0x81);
    EXPECT_EQ(m->serialbits, 8);
    // Starting again while running does nothing and sends nothing new.
    m->writebyte(0xFF02, 0x81);
    ASSERT_EQ(sent.size(), 1u);
    EXPECT_EQ(sent[0], 0x41);
    // With nothing plugged in, the link tick ends it: SB 0xFF, IF bit 3.
    m->writebyte(0xFF0F, 0);
    m->serialnopeer();
    EXPECT_EQ(m->readbyte(0xFF01), 0xFF);
    EXPECT_EQ(m->sc & 0x80, 0);
    EXPECT_EQ(m->ifreg & 0x08, 0x08);
    // External clock: bit 7 set, bit 0 cleared; no transfer ends without a peer.
    m->writebyte(0xFF02, 0x80);
    EXPECT_EQ(m->sc & 0x81, 0x80);
    m->serialnopeer();
    EXPECT_EQ(m->sc & 0x80, 0x80);
    m->writebyte(0xFF02, 0x00);
    EXPECT_EQ(m->sc & 0x81, 0x00);
}

TEST(GbBus, SerialTransferCompletesDuringAFrame) {
    // ld a,0x81 ; ldh (0x02),a ; jr -2
    tromimage rom;
    rom.code(0x150, {0x3E, 0x81, 0xE0, 0x02, 0x18, 0xFE});
    tmachine m(rom);
    m->runframe();
    EXPECT_EQ(m->sc & 0x80, 0);
    EXPECT_EQ(m->sb, 0xFF);
    EXPECT_EQ(m->ifreg & 0x08, 0x08);
}

TEST(GbBus, CartridgeSwapKeepsPagesSafe) {
    tmachine m;
    m->detachcart();
    // The empty slot reads 0xFF everywhere it maps.
    EXPECT_EQ(m->readbyte(0x0150), 0xFF);
    EXPECT_EQ(m->readbyte(0xA000), 0xFF);
    m->resetmachine();
    EXPECT_EQ(m->readbyte(0x4000), 0xFF);
    m.load(tromimage());
    EXPECT_EQ(m->readbyte(0x0150), 0x18);
}

TEST(GbBus, TwoMachinesAreIndependent) {
    tmachine a, b;
    a->writebyte(0xC000, 0x11);
    b->writebyte(0xC000, 0x22);
    a->writebyte(0xFF80, 0x33);
    EXPECT_EQ(a->readbyte(0xC000), 0x11);
    EXPECT_EQ(b->readbyte(0xC000), 0x22);
    EXPECT_NE(b->readbyte(0xFF80), 0x33);
    a->runframe();
    b->runframe();
    EXPECT_EQ(a->cpu.PC, b->cpu.PC);
}

}  // namespace
}  // namespace tov
