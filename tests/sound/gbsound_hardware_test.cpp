// The sound unit's registers as the hardware shows them (Pan Docs "Audio details", gbdev
// wiki "Gameboy sound hardware"): read-back masks, power, the length counters' extra
// clocks, the sweep, and where a write falls between frame-sequencer ticks.
#include <gtest/gtest.h>

#include <vector>

#include "core/gbtestutil.h"
#include "sound/gbsound.h"

namespace tov {
namespace {

constexpr uint8_t NR10 = 0x10, NR11 = 0x11, NR12 = 0x12, NR13 = 0x13, NR14 = 0x14, NR21 = 0x16,
                  NR22 = 0x17, NR24 = 0x19, NR30 = 0x1A, NR31 = 0x1B, NR34 = 0x1E, NR41 = 0x20,
                  NR42 = 0x21, NR44 = 0x23, NR52 = 0x26;
// A write in the first half of a length period (the next step does not clock length), or
// in the second.
constexpr int32_t first = 100, second = 5000;
// Bits of 0x10-0x2F that read as 1 whatever was written; write-only registers read 0xFF.
constexpr uint8_t masks[0x20] = {
    0x80, 0x3F, 0x00, 0xFF, 0xBF, 0xFF, 0x3F, 0x00, 0xFF, 0xBF, 0x7F, 0xFF, 0x9F, 0xFF, 0xBF, 0xFF,
    0xFF, 0x00, 0x00, 0xBF, 0x00, 0x00, 0x70, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

struct tunit : tgbsound {
    explicit tunit(bool gbc = false) { soundreset(gbc, false); }
    void write(uint8_t reg, uint8_t value, int32_t phase = second) {
        stepphase = phase;
        soundwrite(reg, value);
    }
    bool ison(int channel) { return (soundread(NR52) >> channel) & 1; }
    void steps(int n) {
        for (int i = 0; i < n; i++) framestep();
    }
};

TEST(SoundHardware, EveryRegisterReadsBackUnderItsMask) {
    tunit s;
    for (int value : {0x00, 0x3C, 0x7F})  // no trigger bit
        for (int reg = 0x10; reg < 0x30; reg++) {
            if (reg == NR52) continue;
            s.write(uint8_t(reg), uint8_t(value));
            EXPECT_EQ(s.soundread(uint8_t(reg)), masks[reg - 0x10] | value) << std::hex << reg << " " << value;
        }
    s.write(NR52, 0x00);
    s.write(NR52, 0xFF);  // the channel flags cannot be written
    EXPECT_EQ(s.soundread(NR52), 0xF0);
}

TEST(SoundHardware, PowerOffClearsTheRegistersKeepsWaveRamAndDmgLengths) {
    for (bool gbc : {false, true}) {
        tunit s(gbc);
        for (int reg = 0x10; reg < 0x26; reg++) s.write(uint8_t(reg), 0xFF);
        for (int i = 0; i < 16; i++) s.wavewrite(i, uint8_t(i * 0x11));
        s.write(NR21, 0x36);  // length 10
        s.write(NR52, 0x00);
        s.write(NR41, 0x12);  // loads the counter while off on the DMG only
        s.write(NR11, 0xC0);  // never the duty
        s.write(NR52, 0x80);
        for (int reg = 0x10; reg < 0x26; reg++) EXPECT_EQ(s.soundread(uint8_t(reg)), masks[reg - 0x10]) << reg;
        EXPECT_EQ(s.channels[1].length, gbc ? 0 : 10);
        EXPECT_EQ(s.channels[3].length, gbc ? 0 : 64 - 0x12);
        for (int i = 0; i < 16; i++) EXPECT_EQ(s.waveread(i), i * 0x11) << i;
        // NR13 was cleared too: frequency 0 never sweeps out of 11 bits.
        s.write(NR10, 0x11);
        s.write(NR12, 0x08);
        s.write(NR14, 0x80);
        s.steps(40);
        EXPECT_TRUE(s.ison(0));
        // Wave RAM reads noise while channel 3 plays, the written bytes once it stops.
        s.write(NR30, 0x80);
        s.write(NR34, 0x80);
        s.write(NR30, 0x00);
        for (int i = 0; i < 16; i++) EXPECT_EQ(s.waveread(i), i * 0x11) << i;
    }
}

TEST(SoundHardware, LengthIsClockedByEnablingOrTriggeringInTheFirstHalf) {
    struct tcase {
        uint8_t dac;      // NR22 (0x07: DAC off)
        uint8_t before;   // NR24 written in the second half, then length 1 or 2 is loaded
        int32_t load;
        uint8_t nr24;     // written at `phase`
        int32_t phase;
        int32_t length;   // the counter after it
        bool on;
    };
    const tcase cases[] = {
        {0x08, 0x00, 2, 0x40, first, 1, true},    // enabling: clocked at once
        {0x08, 0x00, 2, 0x40, second, 2, true},   // the next step clocks it anyway
        {0x08, 0x40, 2, 0x40, first, 2, true},    // kept enabled
        {0x08, 0x40, 2, 0x00, first, 2, true},    // disabled
        {0x08, 0x00, 2, 0x00, first, 2, true},    // kept disabled
        {0x08, 0x00, 1, 0x40, first, 0, false},   // clocked to 0: the channel stops
        {0x08, 0x00, 1, 0xC0, first, 63, true},   // ... unless triggered: reload 64, clock again
        {0x08, 0x00, 1, 0xC0, second, 1, true},
        {0x08, 0x00, 1, 0x80, first, 1, true},    // a trigger keeps a non-empty counter
        {0x07, 0x00, 1, 0xC0, first, 63, false},  // DAC off: every effect but starting
    };
    for (const tcase& c : cases) {
        tunit s;
        s.write(NR22, 0x08);
        s.write(NR24, 0x80);
        s.write(NR22, c.dac);
        s.write(NR24, c.before);
        s.write(NR21, uint8_t(64 - c.load));
        s.write(NR24, c.nr24, c.phase);
        EXPECT_EQ(s.channels[1].length, c.length) << int(c.before) << " " << int(c.nr24) << " " << c.phase;
        EXPECT_EQ(s.ison(1), c.on) << int(c.before) << " " << int(c.nr24) << " " << c.phase;
    }
    // The wave channel's empty counter reloads 256, 255 when enabled in the first half.
    for (int32_t phase : {first, second}) {
        tunit s;
        s.write(NR30, 0x00);
        s.write(NR34, 0x40);
        s.write(NR34, 0xC0, phase);
        EXPECT_EQ(s.channels[2].length, phase == first ? 255 : 256);
    }
}

TEST(SoundHardware, SweepCalculations) {
    auto start = [](tunit& s, uint8_t nr10, int freq) {
        if ((s.stepcounter & 1) == 0) s.framestep();  // the next step clocks the sweep
        s.write(NR12, 0x08);
        s.write(NR10, nr10);
        s.write(NR13, uint8_t(freq));
        s.write(NR14, uint8_t(0x80 | (freq >> 8)));
    };
    // A shift calculates at the trigger: the highest frequency whose result fits in 11
    // bits, for shifts 1-7 (period 0); one more overflows at once.
    const int highest[7] = {0x555, 0x666, 0x71C, 0x787, 0x7C1, 0x7E0, 0x7F0};
    for (int shift = 1; shift <= 7; shift++)
        for (int f : {highest[shift - 1], highest[shift - 1] + 1}) {
            tunit s;
            start(s, uint8_t(shift), f);
            EXPECT_EQ(s.ison(0), f == highest[shift - 1]) << shift << " " << f;
        }
    // The timer counts period 0 as 8 and calculates only with a period when it reloads.
    tunit t;
    start(t, 0x11, 0x200);
    t.write(NR10, 0x01);
    t.steps(2);
    EXPECT_EQ(t.sweepcountdown, 8);
    t.write(NR10, 0x11);
    t.steps(14);
    EXPECT_EQ(t.channels[0].frequency, 0x200);
    t.steps(2);
    EXPECT_EQ(t.channels[0].frequency, 0x300);
    // Period and shift 0 at the trigger: the sweep stays off whatever NR10 becomes.
    start(t, 0x08, 0x7FF);
    t.write(NR10, 0x11);
    t.steps(32);
    EXPECT_TRUE(t.ison(0));

    // Leaving negate mode after a negated calculation since the trigger stops channel 1.
    struct tcase {
        uint8_t trigger, during;  // NR10 at the trigger and right after it
        int clocks;               // sweep clocks before NR10 = 0x10
        bool on;
    };
    for (tcase c : {tcase{0x09, 0x09, 0, false}, tcase{0x18, 0x18, 1, false}, tcase{0x18, 0x18, 0, true},
                    tcase{0x11, 0x0F, 2, true}, tcase{0x11, 0x11, 1, true}}) {
        tunit s;
        start(s, c.trigger, 0x100);
        s.write(NR10, c.during);
        s.steps(2 * c.clocks);
        ASSERT_TRUE(s.ison(0));
        s.write(NR10, 0x10);
        EXPECT_EQ(s.ison(0), c.on) << std::hex << int(c.trigger) << " " << int(c.during);
    }
}

TEST(SoundHardware, PowerOnRestartsTheStepsAtTheNextDividerTick) {
    for (int32_t phase : {first, second}) {
        tunit s;
        s.stepcounter = 6;
        s.write(NR52, 0x00);
        s.write(NR52, 0x80, phase);
        const uint8_t half = phase < 4096 ? 1 : 0;  // steps move half-way in the first half
        EXPECT_EQ(s.stephalf, half);
        s.sequencertick(half ^ 1);
        EXPECT_EQ(s.stepcounter, 4) << "a tick of the other half is no step";
        s.sequencertick(half);
        EXPECT_EQ(s.stepcounter, 5) << "step 0 next: length, no sweep";
    }
}

// The machine gives a write the time of its instruction inside the running slice.
TEST(SoundMachine, WritesSeeTheTimeOfTheirInstruction) {
    for (int nops : {0, 700, 3000}) {
        testing::tromimage rom;
        std::vector<uint8_t> code(size_t(nops), 0x00);
        for (uint8_t b : {0x3E, 0x80, 0xE0, 0x26, 0x18, 0xFE}) code.push_back(b);  // ld a,$80; ldh (NR52),a
        rom.code(0x150, code);
        testing::tmachine m(rom);
        const uint32_t start = m->currenttime();
        m->runframe();
        m->runframe();
        // nop and jp at 0x100 (20 clocks), the nops, ld a,n (8), in units of 2 clocks.
        const uint32_t at = start + (20 + 4 * uint32_t(nops) + 8) / 2;
        EXPECT_EQ(m->soundunit().stepphase, int32_t(at & 0x1FFF)) << nops;
    }
}

}  // namespace
}  // namespace tov
