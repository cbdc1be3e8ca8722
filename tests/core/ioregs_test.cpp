// The I/O register table: one entry per address, agreeing with what the bus does.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/gbtestutil.h"
#include "core/ioregs.h"

namespace tov {
namespace {

using testing::tmachine;
using testing::tromimage;

// Registers whose bus behaviour deliberately keeps readable bits the hardware does not
// have (see the note above the table).
bool readsmorethanhardware(uint16_t a) {
    switch (a) {
    case 0xFF13: case 0xFF14: case 0xFF18: case 0xFF19: case 0xFF1D: case 0xFF1E:
    case 0xFF51: case 0xFF52: case 0xFF53: case 0xFF54:
        return true;
    default:
        return false;
    }
}

TEST(IoRegisters, TableCoversEveryAddressOnceInOrder) {
    for (int i = 0; i < 128; i++) {
        EXPECT_EQ(ioregisters[i].address, 0xFF00 + i);
        EXPECT_EQ(ioregisterat(uint16_t(0xFF00 + i)), &ioregisters[i]);
    }
    EXPECT_EQ(ioregisterat(0xFFFF)->address, 0xFFFF);
    EXPECT_EQ(ioregisterat(0xFF80), nullptr);  // high RAM
    EXPECT_EQ(ioregisterat(0xFEFF), nullptr);
}

TEST(IoRegisters, NamesAreUniqueAndFoundWhateverTheCase) {
    std::set<std::string> seen;
    for (const tioregister& r : ioregisters) {
        if (!*r.name) {
            EXPECT_EQ(r.code, ioNone) << std::hex << r.address;
            continue;
        }
        EXPECT_TRUE(seen.insert(r.name).second) << r.name;
        EXPECT_EQ(findioregister(r.name), &r);
    }
    EXPECT_EQ(findioregister("lcdc")->address, 0xFF40);
    EXPECT_EQ(findioregister("Nr52")->address, 0xFF26);
    EXPECT_EQ(findioregister("ie")->address, 0xFFFF);
    EXPECT_EQ(findioregister(""), nullptr);
    EXPECT_EQ(findioregister("LCD"), nullptr);
}

TEST(IoRegisters, DisassemblerCommentsOfNamedAndUnnamedAddresses) {
    const struct { uint16_t address; const char* text; } cases[] = {
        {0xFF00, "joypad"}, {0xFF03, ""},       {0xFF08, "?"},         {0xFF15, ""},
        {0xFF1F, ""},       {0xFF26, "NR52"},   {0xFF3A, "wave pattern"}, {0xFF44, "LY"},
        {0xFF4D, "speed switch"}, {0xFF70, "wram bank"}, {0xFF7F, "?"}, {0xFFFF, "int enable"},
    };
    for (const auto& c : cases) EXPECT_STREQ(ioregisterat(c.address)->disasmname, c.text) << std::hex << c.address;
}

TEST(IoRegisters, BusDispatchCodesComeFromTheTable) {
    tmachine m;
    for (const tioregister& r : ioregisters) EXPECT_EQ(m->iocode[r.address & 0xFFF], r.code) << std::hex << r.address;
}

// Reads after reset and after writing 0 everywhere: the bits the table calls read-as-1 are
// set, and registers the hardware lacks read 0xFF.
void checkreadones(tmachine& m, bool gbc) {
    for (const tioregister& r : ioregisters) {
        if (readsmorethanhardware(r.address)) continue;
        const uint8_t ones = gbc ? r.readonesgbc : r.readonesdmg;
        const uint8_t v = m->readbyte(r.address);
        EXPECT_EQ(v & ones, ones) << std::hex << r.address << " " << r.name << " read " << int(v);
        if (!(gbc ? r.ongbc : r.ondmg)) EXPECT_EQ(v, 0xFF) << std::hex << r.address;
    }
}

TEST(IoRegisters, ReadAsOneBitsAgreeWithTheBusOnDmgAndGbc) {
    for (bool gbc : {false, true}) {
        SCOPED_TRACE(gbc ? "GBC" : "DMG");
        tmachine m(gbc ? tromimage().colour(0x80) : tromimage(), gbc ? 1 : 0);
        ASSERT_EQ(m->gbcmode, gbc);
        checkreadones(m, gbc);
        for (const tioregister& r : ioregisters)
            if (r.code != ioDMA && r.code != ioHDMA5) m->writebyte(r.address, 0x00);
        checkreadones(m, gbc);
    }
}

TEST(IoRegisters, InterruptVectorsFollowTheBits) {
    EXPECT_EQ(interruptvector(0), 0x40);
    EXPECT_EQ(interruptvector(4), 0x60);
    EXPECT_STREQ(interruptbits[2].name, "Timer");
    EXPECT_STREQ(lcdcbits[4].whenset, "8000-8fff");
}

}  // namespace
}  // namespace tov
