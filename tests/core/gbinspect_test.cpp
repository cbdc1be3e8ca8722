// The inspection interface: peeks that change nothing, pokes that skip the bus's rules,
// banked reads and the region and register views.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/gbinspect.h"
#include "state/statevisitors.h"
#include "core/gbtestutil.h"

namespace tov {
namespace {

using testing::tmachine;
using testing::tromimage;

struct tcountingdraw : tgbdrawnull {
    int oamwrites = 0, palwrites = 0, vramwrites = 0, lastbank = -1, lastaddress = -1;
    void oamwrite(int) override { oamwrites++; }
    void palwrite(int) override { palwrites++; }
    void vramwrite(int bank, int address) override {
        vramwrites++;
        lastbank = bank;
        lastaddress = address;
    }
    int total() const { return oamwrites + palwrites + vramwrites; }
};

// MBC1 with 128 KiB ROM (8 banks, byte 0x3FF0 of bank n holds n) and 32 KiB RAM (4 banks).
tromimage mbcrom(uint8_t colourflag = 0x80) {
    tromimage rom = tromimage().colour(colourflag);
    rom.bytes.resize(0x20000, 0x00);
    rom.bytes[0x147] = 0x02;
    rom.bytes[0x148] = 0x02;
    rom.bytes[0x149] = 0x03;
    for (int bank = 0; bank < 8; bank++) rom.bytes[size_t(bank * 0x4000 + 0x3FF0)] = uint8_t(bank);
    return rom;
}

// A machine running `rom` with the cartridge its header names.
void loadexact(tmachine& m, const tromimage& rom) {
    m.settings.CartMode = 0;
    m.load(rom);
}

// Everything a peek could disturb: the machine record itself, its memories, the sound,
// SGB and cartridge RAM contents.
std::vector<uint8_t> snapshot(tgb& gb) {
    std::vector<uint8_t> s;
    auto add = [&s](const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        s.insert(s.end(), b, b + n);
    };
    add(&gb, sizeof gb);
    add(gb.wram, tgb::wramsize);
    add(gb.vram, tgb::vramsize);
    tgbsound& snd = gb.soundunit();
    tstatewriter units;
    snd.statefields(units);
    gb.sgbunit().statefields(units);
    for (const tsavedchunk& c : units.chunks) add(c.data.data(), c.data.size());
    add(&snd.pending, sizeof snd.pending);
    tcart& cart = gb.cartridge();
    if (cart.ramdata()) add(cart.ramdata(), size_t(cart.ramimagesize()));
    int32_t banks[2] = {cart.currentrombank(), cart.currentrambank()};
    add(banks, sizeof banks);
    return s;
}

void peekeverything(tgbinspect& in) {
    volatile uint8_t sink = 0;
    for (int a = 0; a <= 0xFFFF; a++) sink = sink + in.peek(uint16_t(a));
    for (const tregioninfo& r : in.regions()) {
        for (int bank = 0; bank <= r.banks; bank++)
            for (uint32_t offset : {0u, 0x7Fu, uint32_t(r.last - r.first)}) sink = sink + in.peekbanked(r.region, bank, offset);
        sink = sink + uint8_t(in.bankof(r.first));
    }
    sink = sink + uint8_t(in.cpuregisters().af);
}

TEST(GbInspect, PeeksChangeNothingInTheMachineOrItsUnits) {
    struct tcase {
        const char* name;
        tromimage rom;
        int systemmode;
    };
    const tcase cases[] = {
        {"GBC", mbcrom(0x80), 1},
        {"SGB", mbcrom(0x00), 2},
        {"DMG", mbcrom(0x00), 0},
    };
    for (const tcase& c : cases) {
        SCOPED_TRACE(c.name);
        tromimage rom = c.rom;
        rom.bytes[0x146] = 0x03;  // SGB functions, so that P1 traffic would reach the SGB unit
        rom.bytes[0x14B] = 0x33;
        tmachine m(tromimage(), c.systemmode);
        loadexact(m, rom);
        tcountingdraw draw;
        m->attachrenderer(&draw);
        // Sound on with the wave channel playing, RAM enabled, a mid-line write logged.
        m->writebyte(0xFF26, 0x80);
        m->writebyte(0xFF1A, 0x80);
        m->writebyte(0xFF1E, 0x80);
        m->writebyte(0x0000, 0x0A);
        m->writebyte(0xFF00, 0x20);
        m->runframe();
        tgbinspect in(*m);
        const auto before = snapshot(*m);
        const uint32_t writes = m->writecounter;
        peekeverything(in);
        EXPECT_TRUE(snapshot(*m) == before);
        EXPECT_EQ(draw.total(), 0);
        EXPECT_EQ(m->writecounter, writes);
    }
}

TEST(GbInspect, PokeThenPeekInEveryRegion) {
    tmachine m(tromimage(), 1);
    loadexact(m, mbcrom());
    m->writebyte(0x0000, 0x0A);  // cartridge RAM on
    m->writebyte(0x6000, 0x01);  // MBC1: 0x4000 selects the RAM bank
    m->writebyte(0x2000, 0x05);  // ROM bank 5
    m->writebyte(0x4000, 0x02);  // RAM bank 2
    m->writebyte(0xFF70, 0x03);  // WRAM bank 3
    m->writebyte(0xFF4F, 0x01);  // VRAM bank 1
    tgbinspect in(*m);
    const struct {
        uint16_t address;
        uint8_t value;
        bool stored;
        uint8_t peeked;  // what a peek gives afterwards, when stored
    } cases[] = {
        {0x0123, 0x11, true, 0x11},   {0x4123, 0x22, true, 0x22},   {0x8123, 0x33, true, 0x33},
        {0xA123, 0x44, true, 0x44},   {0xC123, 0x55, true, 0x55},   {0xD123, 0x66, true, 0x66},
        {0xE124, 0x77, true, 0x77},   {0xF125, 0x88, true, 0x88},   {0xFE10, 0x99, true, 0x99},
        {0xFEA5, 0x12, false, 0},     {0xFF80, 0xAB, true, 0xAB},   {0xFFFF, 0xF5, true, 0x15},
        {0xFF0F, 0x04, true, 0xE4},   {0xFF42, 0x21, true, 0x21},   {0xFF47, 0x1B, true, 0x1B},
        {0xFF4B, 0x07, true, 0x07},   {0xFF33, 0x5A, true, 0x5A},   {0xFF68, 0x85, true, 0xC5},
        {0xFF26, 0x00, false, 0},     {0xFF40, 0x00, false, 0},     {0xFF03, 0x00, false, 0},
        {0xFF02, 0x81, false, 0},     {0xFF44, 0x10, false, 0},     {0xFF10, 0x00, false, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << std::hex << c.address);
        const uint8_t old = in.peek(c.address);
        EXPECT_EQ(in.poke(c.address, c.value), c.stored);
        EXPECT_EQ(in.peek(c.address), c.stored ? c.peeked : old);
        EXPECT_EQ(m->readbyte(c.address), in.peek(c.address)) << "the CPU sees the same byte";
    }
    // Where the stored bytes went.
    EXPECT_EQ(m->cartridge().romimagedata()[5 * 0x4000 + 0x123], 0x22);
    EXPECT_EQ(m->cartridge().ramdata()[2 * 0x2000 + 0x123], 0x44);
    EXPECT_EQ(m->vram[0x2000 + 0x123], 0x33);
    EXPECT_EQ(m->wram[0x124], 0x77);
    EXPECT_EQ(m->wram[3 * 0x1000 + 0x125], 0x88);
    EXPECT_EQ(m->lcdregs.scy, 0x21);
    EXPECT_EQ(m->soundunit().ch3wave[3], 0x5A);
}

TEST(GbInspect, PokesSkipTheBusRulesButKeepTheRendererCachesTrue) {
    tmachine m(tromimage().colour(0x80), 1);
    tcountingdraw draw;
    m->attachrenderer(&draw);
    tgbinspect in(*m);
    m->vraminaccessible = true;  // as in mode 3: the CPU's writes are dropped
    m->refreshvrampages();
    m->writebyte(0x8010, 0x42);
    EXPECT_EQ(in.peek(0x8010), 0x00);
    EXPECT_EQ(m->readbyte(0x8010), 0xFF);
    const uint32_t writes = m->writecounter;
    ASSERT_TRUE(in.poke(0x8010, 0x42));
    EXPECT_EQ(in.peek(0x8010), 0x42);
    EXPECT_EQ(draw.vramwrites, 1);
    EXPECT_EQ(draw.lastaddress, 0x0010);
    EXPECT_EQ(draw.lastbank, 0);
    // OAM: a changed byte tells the renderer once, an equal one not at all.
    in.poke(0xFE04, 0x30);
    in.poke(0xFE04, 0x30);
    EXPECT_EQ(draw.oamwrites, 1);
    // Palette data lands at the index without auto-increment, even with VRAM inaccessible.
    m->writebyte(0xFF68, 0x80 | 0x05);
    const uint32_t afterindex = m->writecounter;
    ASSERT_TRUE(in.poke(0xFF69, 0x3C));
    EXPECT_EQ(m->gbcpal[2] >> 8, 0x3C);
    EXPECT_EQ(m->bcps, 0x85);
    EXPECT_EQ(draw.palwrites, 1);
    EXPECT_EQ(writes + 1, afterindex);
    EXPECT_EQ(m->writecounter, afterindex) << "pokes are not CPU writes";
    // OAM DMA register: the value is kept, nothing is copied.
    m->wram[0] = 0x77;
    ASSERT_TRUE(in.poke(0xFF46, 0xC0));
    EXPECT_EQ(m->readbyte(0xFF46), 0xC0);
    EXPECT_NE(m->oam[0], 0x77);
}

TEST(GbInspect, BankedPeeksRegionsAndBankOf) {
    tmachine m(tromimage(), 1);
    loadexact(m, mbcrom());
    m->writebyte(0x0000, 0x0A);
    m->writebyte(0x6000, 0x01);
    for (int bank = 0; bank < 4; bank++) {
        m->writebyte(0x4000, uint8_t(bank));
        m->writebyte(0xA010, uint8_t(0xB0 + bank));
    }
    for (int bank = 1; bank < 8; bank++) {
        m->writebyte(0xFF70, uint8_t(bank));
        m->writebyte(0xD020, uint8_t(0xC0 + bank));
    }
    m->writebyte(0xFF4F, 1);
    m->writebyte(0x9000, 0xD1);
    m->writebyte(0x2000, 5);
    m->writebyte(0x4000, 2);
    m->writebyte(0xFF70, 3);
    tgbinspect in(*m);

    const struct {
        tmemregion region;
        int bank;
        uint32_t offset;
        uint8_t value;
    } peeks[] = {
        {tmemregion::romx, 6, 0x3FF0, 6},     {tmemregion::romx, 0, 0x3FF0, 0},
        {tmemregion::rom0, 7, 0x3FF0, 7},     {tmemregion::romx, 8, 0x3FF0, 0xFF},
        {tmemregion::romx, 1, 0x4000, 0xFF},  {tmemregion::romx, -1, 0, 0xFF},
        {tmemregion::sram, 0, 0x10, 0xB0},    {tmemregion::sram, 3, 0x10, 0xB3},
        {tmemregion::sram, 4, 0x10, 0xFF},    {tmemregion::wramx, 7, 0x20, 0xC7},
        {tmemregion::wram0, 1, 0x20, 0xC1},   {tmemregion::wramx, 8, 0x20, 0xFF},
        {tmemregion::vram, 1, 0x1000, 0xD1},  {tmemregion::vram, 2, 0x1000, 0xFF},
        {tmemregion::hram, 0, 0x7E, m->hram[0x7E]},                  {tmemregion::hram, 1, 0, 0xFF},
        {tmemregion::hram, 0, 0x7F, 0xFF},
    };
    for (const auto& p : peeks)
        EXPECT_EQ(in.peekbanked(p.region, p.bank, p.offset), p.value)
            << "region " << int(p.region) << " bank " << p.bank << " offset " << std::hex << p.offset;

    const struct {
        tmemregion region;
        uint16_t first, last;
        int banks, current;
    } regions[] = {
        {tmemregion::rom0, 0x0000, 0x3FFF, 8, 0}, {tmemregion::romx, 0x4000, 0x7FFF, 8, 5},
        {tmemregion::vram, 0x8000, 0x9FFF, 2, 1}, {tmemregion::sram, 0xA000, 0xBFFF, 4, 2},
        {tmemregion::wram0, 0xC000, 0xCFFF, 8, 0}, {tmemregion::wramx, 0xD000, 0xDFFF, 8, 3},
        {tmemregion::echo, 0xE000, 0xFDFF, 1, 0}, {tmemregion::oam, 0xFE00, 0xFE9F, 1, 0},
        {tmemregion::unusable, 0xFEA0, 0xFEFF, 1, 0}, {tmemregion::io, 0xFF00, 0xFF7F, 1, 0},
        {tmemregion::hram, 0xFF80, 0xFFFE, 1, 0}, {tmemregion::ie, 0xFFFF, 0xFFFF, 1, 0},
    };
    const auto all = in.regions();
    for (size_t i = 0; i < all.size(); i++) {
        const auto& want = regions[i];
        const tregioninfo& got = all[i];
        SCOPED_TRACE(got.name);
        EXPECT_EQ(got.region, want.region);
        EXPECT_EQ(got.first, want.first);
        EXPECT_EQ(got.last, want.last);
        EXPECT_EQ(got.banks, want.banks);
        EXPECT_EQ(got.current, want.current);
        EXPECT_EQ(tgbinspect::regionof(want.first), want.region);
        EXPECT_EQ(tgbinspect::regionof(want.last), want.region);
    }

    const struct { uint16_t address; int bank; } banks[] = {
        {0x0000, 0}, {0x4000, 5}, {0x7FFF, 5}, {0x8000, 1}, {0xA000, 2}, {0xC000, 0},
        {0xD000, 3}, {0xE000, 0}, {0xF000, 3}, {0xFF00, 0},
    };
    for (const auto& b : banks) EXPECT_EQ(in.bankof(b.address), b.bank) << std::hex << b.address;
}

TEST(GbInspect, DmgAndEmptySlotHaveFewerBanks) {
    tmachine m;
    loadexact(m, tromimage());
    tgbinspect in(*m);
    EXPECT_EQ(in.region(tmemregion::vram).banks, 1);
    EXPECT_EQ(in.region(tmemregion::wramx).banks, 2);
    EXPECT_EQ(in.region(tmemregion::sram).banks, 0);
    EXPECT_EQ(in.peekbanked(tmemregion::vram, 1, 0), 0xFF);
    EXPECT_FALSE(in.poke(0xA000, 1)) << "no cartridge RAM";
    m->detachcart();
    EXPECT_EQ(in.region(tmemregion::romx).banks, 0);
    EXPECT_EQ(in.peek(0x4000), 0xFF);
    EXPECT_FALSE(in.poke(0x0100, 1));
}

TEST(GbInspect, BootImageWhileMapped) {
    tmachine m;
    for (int i = 0; i < 256; i++) m->bootimage[i] = uint8_t(i ^ 0x5A);
    m->mapbootrom(true);
    tgbinspect in(*m);
    EXPECT_EQ(in.peek(0x0010), 0x10 ^ 0x5A);
    EXPECT_EQ(in.peek(0x0150), m->cartridge().romimagedata()[0x150]);
    ASSERT_TRUE(in.poke(0x0010, 0xEE));
    EXPECT_EQ(m->readbyte(0x0010), 0xEE);
    m->mapbootrom(false);
    EXPECT_EQ(in.peek(0x0010), m->cartridge().romimagedata()[0x10]);
}

TEST(GbInspect, CpuRegistersGoThroughTheFlagBytes) {
    tmachine m;
    tgbinspect in(*m);
    tcpuregisters r = in.cpuregisters();
    r.af = 0x12A7;  // Z and H set; the low nibble does not exist
    r.bc = 0x3456;
    r.pc = 0x0200;
    r.ime = true;
    in.setcpuregisters(r);
    EXPECT_EQ(m->cpu.A, 0x12);
    EXPECT_EQ(m->cpu.flagZ, 1);
    EXPECT_EQ(m->cpu.flagN, 0);
    EXPECT_EQ(m->cpu.flagH, 1);
    EXPECT_EQ(m->cpu.flagC, 0);
    EXPECT_EQ(m->cpu.B, 0x34);
    EXPECT_EQ(m->cpu.PC, 0x0200);
    EXPECT_EQ(m->cpu.ime, 1);
    m->cpu.flagC = 1;  // the interpreter keeps only the flag bytes current
    EXPECT_EQ(in.cpuregisters().af, 0x12B0);
}

}  // namespace
}  // namespace tov
