// The internal divider behind DIV and the timer: its phase after the built-in boot, the
// restart on a DIV write, the falling-edge steps of TIMA, and the interrupt dispatch time
// at both speeds. The expected values are the hardware's as documented by the public
// test programs (boot_div, the timer glitch descriptions, interrupt_time).
#include <gtest/gtest.h>

#include <vector>

#include "core/gbtestutil.h"
#include "state/machinestate.h"

namespace tov::testing {
namespace {

void nops(std::vector<uint8_t>& code, int n) { code.insert(code.end(), size_t(n), 0x00); }

// Six DIV reads, each pushed: `lead` NOPs, then reads 57, 56, 57, 57 and 58 NOPs apart
// (57 NOPs plus the read and the push are exactly one DIV period of 256 clocks). The
// first read comes right after an increment, so the phase shows in which reads see one.
std::vector<uint8_t> divphaseprogram(int lead) {
    std::vector<uint8_t> code;
    nops(code, lead);
    for (int gap : {0, 57, 56, 57, 57, 58}) {
        nops(code, gap);
        code.insert(code.end(), {0xF0, 0x04, 0xF5});  // ldh a,(DIV) ; push af
    }
    code.insert(code.end(), {0x18, 0xFE});
    return code;
}

TEST(GbDivider, BootLeavesTheHardwareValueAndPhase) {
    struct tcase {
        int systemmode;
        int lead;
        uint8_t expect[6];
    };
    // Monochrome: DIV 0xAB, 52 clocks before an increment at 0x100; a GBC running a
    // monochrome cartridge: DIV 0x26, 136 clocks before one.
    for (const tcase& c : {tcase{0, 6, {0xAC, 0xAD, 0xAD, 0xAE, 0xAF, 0xB1}},
                           tcase{1, 27, {0x27, 0x28, 0x28, 0x29, 0x2A, 0x2C}}}) {
        tromimage rom;
        rom.code(0x150, divphaseprogram(c.lead));
        tmachine m(rom, c.systemmode);
        m->runframe();
        for (int i = 0; i < 6; i++)
            EXPECT_EQ(m->readbyte(uint16_t(0xFFFD - 2 * i)), c.expect[i]) << "mode " << c.systemmode << " read " << i;
    }
}

TEST(GbDivider, CountsAtSixteenKilohertzInEitherSpeed) {
    // DIV steps every 256 CPU clocks at either speed: a read 64 NOPs after a DIV write
    // sees 1 (at double speed the CPU's clocks are twice as fast, so the same count).
    for (int doublespeed : {0, 1}) {
        std::vector<uint8_t> code;
        if (doublespeed) code = {0x3E, 0x01, 0xE0, 0x4D, 0x10, 0x00};  // KEY1 = 1 ; stop
        code.insert(code.end(), {0xAF, 0xE0, 0x04});                     // xor a ; ldh (DIV),a
        nops(code, 58);
        code.insert(code.end(), {0xF0, 0x04, 0xE0, 0x80});  // ldh a,(DIV) ; ldh (0x80),a  (starts 244 clocks after the write)
        nops(code, 1);
        code.insert(code.end(), {0xF0, 0x04, 0xE0, 0x81});  // starts at 272 clocks
        code.insert(code.end(), {0x18, 0xFE});
        tromimage rom;
        rom.colour(0x80);
        rom.code(0x150, code);
        tmachine m(rom, 1);
        m->runframe();
        EXPECT_EQ(m->readbyte(0xFF80), 0x00) << "double speed " << doublespeed;
        EXPECT_EQ(m->readbyte(0xFF81), 0x01) << "double speed " << doublespeed;
    }
}

// TAC = 5 (TIMA on the falling edge of divider bit 3, every 16 clocks), then after `lead`
// NOPs: DIV is written (the divider restarts), TIMA is set to 0, `wait` NOPs pass, and
// `reg` (DIV or TAC, written with 0) is written; TIMA is read 12 clocks later into 0xFF80.
std::vector<uint8_t> edgeprogram(int lead, int wait, uint8_t reg) {
    std::vector<uint8_t> code = {0x3E, 0x05, 0xE0, 0x07, 0xAF};  // ld a,5 ; ldh (TAC),a ; xor a
    nops(code, lead);
    code.insert(code.end(), {0xE0, 0x04, 0xE0, 0x05});  // ldh (DIV),a ; ldh (TIMA),a (divider at 12)
    nops(code, wait);
    code.insert(code.end(), {0xE0, reg});                // divider at 24 + 4 * wait
    code.insert(code.end(), {0xF0, 0x05, 0xE0, 0x80, 0x18, 0xFE});
    return code;
}

TEST(GbDivider, WritingDivOrTacStepsTimaOnAFallingBit) {
    struct tcase {
        uint8_t reg;
        int wait;
        uint8_t tima;  // one step per passed multiple of 16, one more when bit 3 is set at the write
    };
    const tcase cases[] = {
        {0x04, 0, 2}, {0x04, 1, 2}, {0x04, 3, 2}, {0x04, 5, 3},  // divider at 24, 28, 36, 44
        {0x07, 0, 2}, {0x07, 1, 2}, {0x07, 3, 2}, {0x07, 5, 3},
    };
    for (const tcase& c : cases)
        for (int lead = 0; lead < 4; lead++) {  // every phase of the divider before the write
            tromimage rom;
            rom.code(0x150, edgeprogram(lead, c.wait, c.reg));
            tmachine m(rom);
            m->runframe();
            EXPECT_EQ(m->readbyte(0xFF80), c.tima)
                << "register FF" << std::hex << int(c.reg) << std::dec << " wait " << c.wait << " lead " << lead;
        }
}

TEST(GbDivider, StopResetsTheDivider) {
    // KEY1 = 1 ; stop (the speed switch): DIV reads 0 right after.
    tromimage rom;
    rom.colour(0x80);
    std::vector<uint8_t> code = {0x3E, 0x01, 0xE0, 0x4D};
    nops(code, 200);  // DIV well past 0 before the switch
    code.insert(code.end(), {0x10, 0x00, 0xF0, 0x04, 0xE0, 0x80, 0x18, 0xFE});
    rom.code(0x150, code);
    tmachine m(rom, 1);
    m->runframe();
    EXPECT_EQ(m->readbyte(0xFF80), 0x00);
    EXPECT_EQ(m->speed, 1);
}

TEST(GbDivider, PokingDivKeepsTheTimeAndTheRate) {
    tmachine m;
    m->runframe();
    uint32_t before = m->currenttime();
    m->setdividervalue(0x5A);
    EXPECT_EQ(m->dividervalue(), 0x5A);
    EXPECT_EQ(m->currenttime(), before);
    m->runframe();
    // A frame of 35112 units later: 274 steps of 128 units.
    EXPECT_NEAR(uint8_t(m->dividervalue() - 0x5A), 274 % 256, 1);
}

TEST(GbDivider, StatesKeepTheDividerPhaseAndOldStatesTheirDiv) {
    // A timer at 16 clocks and a DIV write at an odd place: a state taken later and loaded
    // into a second machine runs on with the same DIV and TIMA.
    std::vector<uint8_t> code = {0x3E, 0x05, 0xE0, 0x07, 0x00, 0x00, 0xE0, 0x04, 0x18, 0xFE};
    tromimage rom;
    rom.code(0x150, code);
    tmachine a(rom), b(rom);
    a->runframe();
    std::vector<tsavedchunk> state = savemachinestate(*a);
    loadmachinestate(*b, state);
    for (int f = 0; f < 3; f++) {
        a->runframe();
        b->runframe();
        EXPECT_EQ(b->dividervalue(), a->dividervalue()) << f;
        EXPECT_EQ(b->tima, a->tima) << f;
    }
    // A state whose DIV disagrees with its divider position keeps its DIV.
    for (tsavedchunk& c : state)
        if (c.name == "DIV") c.data[0] = 0x42;
    loadmachinestate(*b, state);
    EXPECT_EQ(b->dividervalue(), 0x42);
}

TEST(GbInterrupts, DispatchTakesFiveMachineCyclesAtEitherSpeed) {
    // ei ; ld a,8 ; ld (IF),a with IE = serial: the handler's first instruction starts
    // 16 clocks (the LD) plus 20 (the dispatch) after the LD, in CPU clocks at either speed.
    for (int doublespeed : {0, 1}) {
        std::vector<uint8_t> code;
        if (doublespeed) code = {0x3E, 0x01, 0xE0, 0x4D, 0x10, 0x00};
        code.insert(code.end(), {0x3E, 0x08, 0xE0, 0xFF, 0xAF, 0xE0, 0x0F, 0x3E, 0x08, 0xFB, 0xEA, 0x0F, 0xFF,
                                 0x18, 0xFE});
        tromimage rom;
        rom.colour(0x80);
        rom.code(0x150, code);
        rom.code(0x58, {0x18, 0xFE});
        tmachine m(rom, 1);
        tsampler s(*m);
        m->runframe();
        uint32_t ld = 0, handler = 0;
        for (const auto& x : s.samples) {
            if (x.pc == 0x0150 + code.size() - 5 && !ld) ld = x.time;
            if (x.pc == 0x0058 && !handler) handler = x.time;
        }
        ASSERT_NE(handler, 0u) << "double speed " << doublespeed;
        int units = int(handler - ld);
        EXPECT_EQ(units << (1 + doublespeed), 16 + 20) << "double speed " << doublespeed;
    }
}

}  // namespace
}  // namespace tov::testing
