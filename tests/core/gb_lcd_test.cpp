// LCD timing, STAT and VBlank interrupts, timer and divider, HALT, EI and the speed switch.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/gbtestutil.h"

namespace tov {
namespace {

using testing::tmachine;
using testing::tromimage;
using testing::tsampler;

constexpr int32_t frameunits = 35112;

// 0x150 onwards: NOPs, then a jump back to 0x160, so the state can be sampled every 2
// units. 0x150-0x15F is free for set-up code.
tromimage nopsled() {
    tromimage rom;
    for (int a = 0x150; a < 0x1000; a++) rom.bytes[a] = 0x00;
    rom.code(0x1000, {0xC3, 0x60, 0x01});
    return rom;
}

struct tmodechange {
    uint32_t time;
    int mode;
    int ly;
};

std::vector<tmodechange> modechanges(const tsampler& s) {
    std::vector<tmodechange> out;
    for (size_t i = 0; i < s.samples.size(); i++) {
        int mode = s.samples[i].stat & 3;
        if (i == 0 || mode != (s.samples[i - 1].stat & 3))
            out.push_back({s.samples[i].time, mode, s.samples[i].ly});
    }
    return out;
}

TEST(GbLcd, FramesLast35112UnitsAtEitherSpeed) {
    for (bool doublespeed : {false, true}) {
        tromimage rom = nopsled();
        rom.colour(0x80);
        // ld a,1 ; ldh (0x4D),a ; stop ; nop ; then the NOP sled
        if (doublespeed) rom.code(0x150, {0x3E, 0x01, 0xE0, 0x4D, 0x10, 0x00});
        tmachine m(rom, 1);
        m->runframe();
        EXPECT_EQ(m->speed, doublespeed ? 1 : 0);
        int64_t total = 0;
        for (int i = 0; i < 20; i++) {
            int32_t units = m->runframe();
            EXPECT_NEAR(units, frameunits, 12) << "frame " << i;
            total += units;
        }
        // Lateness of one call is made up by the next.
        EXPECT_NEAR(total, 20 * frameunits, 12);
    }
}

TEST(GbLcd, LineHasModes2Then3Then0) {
    tmachine m(nopsled());
    m->runframe();
    tsampler s(*m);
    m->runframe();
    auto changes = modechanges(s);
    int checked = 0;
    for (size_t i = 1; i + 3 < changes.size(); i++) {
        if (changes[i].mode != 2 || changes[i].ly < 1 || changes[i].ly > 142) continue;
        ASSERT_EQ(changes[i + 1].mode, 3);
        ASSERT_EQ(changes[i + 2].mode, 0);
        ASSERT_EQ(changes[i + 3].mode, 2);
        EXPECT_NEAR(int(changes[i + 1].time - changes[i].time), 42, 2);
        EXPECT_NEAR(int(changes[i + 2].time - changes[i + 1].time), 84, 2);
        EXPECT_NEAR(int(changes[i + 3].time - changes[i].time), 228, 2);
        EXPECT_EQ(changes[i + 3].ly, changes[i].ly + 1);
        checked++;
    }
    EXPECT_GT(checked, 100);
}

TEST(GbLcd, Line153ReadsAs153OnlyBriefly) {
    tmachine m(nopsled());
    m->runframe();
    tsampler s(*m);
    m->runframe();
    m->runframe();
    uint32_t first153 = 0, firstzero = 0;
    bool seen153 = false;
    for (const auto& x : s.samples) {
        if (!seen153 && x.ly == 153) {
            seen153 = true;
            first153 = x.time;
        } else if (seen153 && x.ly == 0) {
            firstzero = x.time;
            break;
        }
    }
    ASSERT_TRUE(seen153);
    EXPECT_NEAR(int(firstzero - first153), 4, 2);
    // Line 0 of VBlank is still mode 1; mode 2 follows 224 units later.
    for (const auto& x : s.samples)
        if (x.time > firstzero && x.time < firstzero + 220) {
            EXPECT_EQ(x.stat & 3, 1);
            EXPECT_EQ(x.ly, 0);
        }
}

TEST(GbLcd, LycZeroMatchesDuringLine153) {
    tmachine m(nopsled());
    m->writebyte(0xFF45, 0);
    m->runframe();
    tsampler s(*m);
    m->runframe();
    bool sawcoincidence = false;
    for (size_t i = 1; i < s.samples.size(); i++)
        if (s.samples[i - 1].ly == 153 && s.samples[i].ly == 0 && (s.samples[i].stat & 3) == 1)
            sawcoincidence = (s.samples[i].stat & 4) != 0;
    EXPECT_TRUE(sawcoincidence);
}

TEST(GbLcd, VBlankWakesHaltAtLine144AndEndsTheFrame) {
    // ei ; ld a,1 ; ldh (0xFF),a ; loop: halt ; jr loop.  Handler: reti.
    tromimage rom;
    rom.code(0x150, {0xFB, 0x3E, 0x01, 0xE0, 0xFF, 0x76, 0x18, 0xFD});
    rom.code(0x40, {0xD9});
    tmachine m(rom);
    m->runframe();
    for (int i = 0; i < 3; i++) {
        m->runframe();
        EXPECT_EQ(m->cpu.PC, 0x0040);
        EXPECT_EQ(m->ly, 144);
        EXPECT_EQ(m->readbyte(0xFF41) & 3, 1);
    }
}

TEST(GbLcd, EiTakesEffectAfterOneInstruction) {
    // IF and IE hold a timer request; ei ; nop ; jr -2.  Handler at 0x50: jr -2.
    tromimage rom;
    rom.code(0x150, {0xFB, 0x00, 0x18, 0xFE});
    rom.code(0x50, {0x18, 0xFE});
    tmachine m(rom);
    m->writebyte(0xFFFF, 0x04);
    m->writebyte(0xFF0F, 0x04);
    m->runframe();
    EXPECT_EQ(m->cpu.PC, 0x0050);
    // The return address is the instruction after the NOP.
    uint16_t ret = uint16_t(m->readbyte(m->cpu.SP) | (m->readbyte(uint16_t(m->cpu.SP + 1)) << 8));
    EXPECT_EQ(ret, 0x0152);
    EXPECT_EQ(m->ifreg & 0x04, 0);
}

TEST(GbLcd, StatInterruptOnLycAfterHBlank) {
    // Handler at 0x48 stores LY at (HL+): push af ; ldh a,(0x44) ; ld (hl+),a ; pop af ; reti
    tromimage rom;
    rom.code(0x48, {0xF5, 0xF0, 0x44, 0x22, 0xF1, 0xD9});
    // ld hl,0xC000 ; ld a,0x48 ; ldh (0x41),a ; ld a,10 ; ldh (0x45),a ; ld a,2 ; ldh (0xFF),a ;
    // xor a ; ldh (0x0F),a ; ei ; jr -2
    rom.code(0x150, {0x21, 0x00, 0xC0, 0x3E, 0x48, 0xE0, 0x41, 0x3E, 0x0A, 0xE0, 0x45, 0x3E, 0x02,
                     0xE0, 0xFF, 0xAF, 0xE0, 0x0F, 0xFB, 0x18, 0xFE});
    tmachine m(rom);
    m->runframe();
    m->runframe();
    int line10 = 0, line20 = 0;
    for (int i = 0; i < 0x1000; i++) {
        if (m->wram[i] == 10) line10++;
        if (m->wram[i] == 20) line20++;
    }
    // The LYC source of line 10 makes a fresh edge although the HBlank source of line 9
    // held the line high until then; it stays high through line 10's HBlank.
    EXPECT_EQ(line10, line20);
    EXPECT_GE(line20, 1);
}

TEST(GbLcd, StatWriteInHBlankRequestsInterruptOnMonochromeOnly) {
    for (int mode : {0, 1}) {
        tmachine m(tromimage(), mode);
        m->setlcdmode(0);
        m->ifreg = 0;
        m->writebyte(0xFF41, 0x00);
        EXPECT_EQ(m->ifreg & 2, mode == 0 ? 2 : 0) << "SystemMode " << mode;
    }
}

TEST(GbLcd, StatLineRequestsOnlyOnRisingEdge) {
    tmachine m;
    m->setlcdmode(0);
    m->writebyte(0xFF41, 0x08);  // HBlank source; the write itself raises the line
    m->ifreg = 0;
    m->writebyte(0xFF45, m->ly);  // LYC source becomes active too, line already high
    m->writebyte(0xFF41, 0x48);
    // On monochrome hardware the STAT write pulls the line up, but it is already up.
    EXPECT_EQ(m->ifreg & 2, 0);
}

TEST(GbLcd, LcdOffFramesEndAfterAbout40000Units) {
    tmachine m(nopsled());
    m->runframe();
    m->writebyte(0xFF40, 0x11);
    EXPECT_EQ(m->ly, 0);
    EXPECT_EQ(m->readbyte(0xFF41) & 3, 0);
    int32_t units = m->runframe();
    EXPECT_GT(units, 40000);
    EXPECT_LT(units, 81000);
    EXPECT_EQ(m->ly, 0);
    // Switched on again: line 0 starts in mode 2.
    m->writebyte(0xFF40, 0x91);
    EXPECT_EQ(m->readbyte(0xFF41) & 3, 2);
    EXPECT_EQ(m->ly, 0);
}

TEST(GbLcd, MidLineScrollWritesAreLogged) {
    struct tlogdraw : tgbdrawnull {
        int lines = 0, logged = 0, badposition = 0;
        void drawline(int) override {
            lines++;
            logged += linewritecount;
            for (int i = 0; i < linewritecount; i++)
                // The position is taken when the writing instruction's slice ends, so the
                // last instruction of mode 3 may leave it slightly negative.
                if (linewrites[i].reg != 0xFF43 || linewrites[i].position < -12 ||
                    linewrites[i].position > 84)
                    badposition++;
        }
    } draw;
    // loop: ldh (0x43),a ; inc a ; jr loop
    tromimage rom;
    rom.code(0x150, {0xE0, 0x43, 0x3C, 0x18, 0xFB});
    tmachine m(rom);
    m->attachrenderer(&draw);
    m->runframe();
    m->runframe();
    EXPECT_GE(draw.lines, 144);
    EXPECT_GT(draw.logged, 144 * 3);
    EXPECT_EQ(draw.badposition, 0);
}

TEST(GbTimer, OverflowReloadsAndRequestsWithinOneStep) {
    tmachine m(nopsled());
    m->writebyte(0xFF06, 0xAB);
    m->writebyte(0xFF05, 0xFF);
    m->writebyte(0xFF07, 0x05);
    m->writebyte(0xFF0F, 0x00);
    uint32_t start = m->currenttime();
    tsampler s(*m);
    m->runframe();
    uint32_t when = 0;
    for (const auto& x : s.samples)
        if (x.ifreg & 4) {
            when = x.time;
            break;
        }
    ASSERT_NE(when, 0u);
    EXPECT_LE(int(when - start), 8 + 2);
}

// Counts of DIV or TIMA over the sampled run, from the per-instruction samples.
int countticks(const tsampler& s, bool timer) {
    int ticks = 0;
    for (size_t i = 1; i < s.samples.size(); i++) {
        uint8_t prev = timer ? s.samples[i - 1].tima : s.samples[i - 1].div;
        uint8_t now = timer ? s.samples[i].tima : s.samples[i].div;
        ticks += uint8_t(now - prev);  // TMA is 0, so an overflow also counts as one
    }
    return ticks;
}

TEST(GbTimer, CountsAtTheSelectedRate) {
    struct trate {
        uint8_t tac;
        int units;
    };
    for (trate r : {trate{4, 512}, trate{5, 8}, trate{6, 32}, trate{7, 128}}) {
        tmachine m(nopsled());
        m->writebyte(0xFF06, 0x00);
        m->writebyte(0xFF07, r.tac);
        m->runframe();
        tsampler s(*m);
        m->runframe();
        int units = int(s.samples.back().time - s.samples.front().time);
        EXPECT_NEAR(countticks(s, true), units / r.units, 2) << "TAC " << int(r.tac);
    }
}

TEST(GbTimer, DividerCountsEvery128UnitsAt16384Hz) {
    for (int doublespeed : {0, 1}) {
        tromimage rom = nopsled();
        rom.colour(0x80);
        if (doublespeed) rom.code(0x150, {0x3E, 0x01, 0xE0, 0x4D, 0x10, 0x00});
        tmachine m(rom, 1);
        m->runframe();
        tsampler s(*m);
        m->runframe();
        int units = int(s.samples.back().time - s.samples.front().time);
        // 16384 Hz: 128 units per count at normal speed, 64 in double speed.
        int per = doublespeed ? 64 : 128;
        EXPECT_NEAR(countticks(s, false), units / per, 2) << "double speed " << doublespeed;
    }
}

TEST(GbTimer, RewritingTacOrScLosesNoTime) {
    // loop: ld a,5 ; ldh (0x07),a ; ld a,0x01 ; ldh (0x02),a ; jr loop
    tromimage rom;
    rom.code(0x150, {0x3E, 0x05, 0xE0, 0x07, 0x3E, 0x01, 0xE0, 0x02, 0x18, 0xF6});
    tmachine m(rom);
    m->runframe();
    for (int f = 0; f < 5; f++) EXPECT_NEAR(m->runframe(), frameunits, 12);
    tsampler s(*m);
    m->runframe();
    int units = int(s.samples.back().time - s.samples.front().time);
    EXPECT_NEAR(countticks(s, false), units / 128, 2);
    EXPECT_NEAR(countticks(s, true), units / 8, 2);
}

TEST(GbInterrupts, HaltWithInterruptsOffResumesOnRequest) {
    // di ; ld a,4 ; ldh (0xFF),a ; ld a,5 ; ldh (0x07),a ; halt ; ld b,0x77 ; jr -2
    tromimage rom;
    rom.code(0x150, {0xF3, 0x3E, 0x04, 0xE0, 0xFF, 0x3E, 0x05, 0xE0, 0x07, 0x76, 0x06, 0x77, 0x18, 0xFE});
    tmachine m(rom);
    m->writebyte(0xFF0F, 0);
    m->runframe();
    EXPECT_EQ(m->cpu.B, 0x77);
    EXPECT_EQ(m->cpu.halted, 0);
    EXPECT_EQ(m->cpu.PC, 0x015C);
}

TEST(GbInterrupts, DispatchPushesPcAndClearsTheFlag) {
    tromimage rom;
    rom.code(0x150, {0xFB, 0x18, 0xFE});
    rom.code(0x60, {0x18, 0xFE});
    tmachine m(rom);
    m->writebyte(0xFFFF, 0x10);
    m->runframe();
    EXPECT_EQ(m->cpu.PC, 0x0151);  // ei done, the loop runs
    m->joypadset(0, 4, true);
    EXPECT_EQ(m->ifreg & 0x10, 0x10);
    m->runframe();
    EXPECT_EQ(m->cpu.PC, 0x0060);
    EXPECT_EQ(m->ifreg & 0x10, 0);
    EXPECT_EQ(m->cpu.ime, 0);
    EXPECT_EQ(m->cpu.SP, 0xFFFC);
}

TEST(GbSpeed, SwitchNeedsPrepareAndColourMode) {
    // ld a,1 ; ldh (0x4D),a ; stop ; inc b ; inc c ; jr -2
    tromimage rom;
    rom.colour(0x80);
    rom.code(0x150, {0x3E, 0x01, 0xE0, 0x4D, 0x10, 0x04, 0x0C, 0x18, 0xFE});
    {
        tmachine m(rom, 1);
        uint8_t b = m->cpu.B, c = m->cpu.C;
        m->runframe();
        EXPECT_EQ(m->speed, 1);
        EXPECT_EQ(m->readbyte(0xFF4D), 0xFE);
        EXPECT_EQ(m->cpu.B, b);  // the byte after STOP is skipped
        EXPECT_EQ(m->cpu.C, uint8_t(c + 1));
    }
    {
        tmachine m(rom, 0);  // monochrome: KEY1 is not there
        m->runframe();
        EXPECT_EQ(m->speed, 0);
        EXPECT_EQ(m->readbyte(0xFF4D), 0xFF);
    }
}

TEST(GbSpeed, StopIsTimedAtTheSpeedItStartedIn) {
    // ld a,1 ; ldh (0x4D),a ; stop ; nop ; then NOPs
    tromimage rom = nopsled();
    rom.colour(0x80);
    rom.code(0x150, {0x3E, 0x01, 0xE0, 0x4D, 0x10, 0x00});
    tmachine m(rom, 1);
    tsampler s(*m);
    m->runframe();
    ASSERT_EQ(m->speed, 1);
    for (size_t i = 0; i + 2 < s.samples.size(); i++) {
        if (s.samples[i].pc != 0x0154) continue;
        EXPECT_EQ(s.samples[i + 1].pc, 0x0156);
        EXPECT_EQ(int(s.samples[i + 1].time - s.samples[i].time), 4);  // 8 clocks at normal speed
        EXPECT_EQ(int(s.samples[i + 2].time - s.samples[i + 1].time), 1);  // NOP, double speed
        return;
    }
    FAIL() << "STOP not reached";
}

}  // namespace
}  // namespace tov
