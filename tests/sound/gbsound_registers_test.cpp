// Register semantics of the sound unit: power, read-back masks, triggers, length,
// envelope, sweep, wave RAM and the save-state blocks.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "sound/gbsound.h"
#include "state/blocklayout.h"
#include "state/statevisitors.h"

namespace tov {
namespace {

// The unit's chunks as written, by name.
std::map<std::string, std::vector<uint8_t>> savechunks(tgbsound& unit) {
    tstatewriter w;
    unit.statefields(w);
    std::map<std::string, std::vector<uint8_t>> m;
    for (auto& c : w.chunks) m[c.name] = c.data;
    return m;
}

// Offers one chunk to the unit; true when it was taken.
bool loadchunk(tgbsound& unit, const char* name, const uint8_t* data, size_t size) {
    tstatereader r(name, data, int32_t(size));
    unit.statefields(r);
    return r.taken();
}

class SoundRegisters : public ::testing::Test {
protected:
    tgbsound s;
    void SetUp() override { s.soundreset(false, false); }
    void steps(int n) {
        for (int i = 0; i < n; i++) s.framestep();
    }
    // Advances the frame sequencer until its step counter is a multiple of `m`.
    void alignto(int m) {
        while (s.stepcounter % m != m - 1) s.framestep();
    }
};

TEST_F(SoundRegisters, ResetLeavesBootValues) {
    EXPECT_EQ(s.soundread(0x26), 0xF1);
    EXPECT_EQ(s.soundread(0x10), 0x80);
    EXPECT_EQ(s.soundread(0x11), 0xBF);
    EXPECT_EQ(s.soundread(0x12), 0xF3);
    EXPECT_EQ(s.soundread(0x24), 0x77);
    EXPECT_EQ(s.soundread(0x25), 0xF3);
    EXPECT_EQ(s.waveread(0), 0x06);
    EXPECT_EQ(s.waveread(15), 0xF7);

    tgbsound sgb;
    sgb.soundreset(false, true);
    EXPECT_EQ(sgb.soundread(0x26), 0xF0);
    EXPECT_EQ(sgb.waveread(0), 0x00);
    EXPECT_EQ(sgb.waveread(1), 0xFF);

    tgbsound gbc;
    gbc.soundreset(true, false);
    EXPECT_EQ(gbc.soundread(0x26), 0xF1);
    EXPECT_EQ(gbc.waveread(2), 0x00);
    EXPECT_EQ(gbc.waveread(3), 0xFF);
}

TEST_F(SoundRegisters, ReadBackMasks) {
    s.soundwrite(0x13, 0x5A);
    s.soundwrite(0x14, 0x05);  // frequency high 5, no trigger
    // The frequency is write-only; NRx4 shows only the length enable.
    EXPECT_EQ(s.soundread(0x13), 0xFF);
    EXPECT_EQ(s.soundread(0x14), 0xBF);
    s.soundwrite(0x14, 0x45);
    EXPECT_EQ(s.soundread(0x14), 0xFF);
    s.soundwrite(0x1C, 0x40);
    EXPECT_EQ(s.soundread(0x1C), 0xDF);
    s.soundwrite(0x23, 0x40);
    EXPECT_EQ(s.soundread(0x23), 0xFF);
    for (uint8_t r : {0x15, 0x1B, 0x1F, 0x20, 0x27, 0x2F}) EXPECT_EQ(s.soundread(r), 0xFF) << int(r);
}

TEST_F(SoundRegisters, PowerOffClearsTheRegistersAndIgnoresWrites) {
    s.soundwrite(0x22, 0x55);
    s.soundwrite(0x26, 0x00);
    EXPECT_EQ(s.soundread(0x26), 0x70);
    EXPECT_EQ(s.soundread(0x24), 0x00);
    EXPECT_EQ(s.soundread(0x25), 0x00);
    EXPECT_EQ(s.soundread(0x12), 0x00);
    EXPECT_EQ(s.soundread(0x11), 0x3F);
    EXPECT_EQ(s.soundread(0x10), 0x80);  // NR10 cleared too
    EXPECT_EQ(s.soundread(0x22), 0x00);  // and NR43

    // Every register write is ignored while off.
    s.soundwrite(0x10, 0x7F);
    s.soundwrite(0x22, 0x12);
    s.soundwrite(0x1C, 0x60);
    s.soundwrite(0x24, 0x35);
    s.soundwrite(0x25, 0x5A);
    s.soundwrite(0x1A, 0x80);
    s.soundwrite(0x11, 0x80);
    s.soundwrite(0x12, 0xF0);
    s.soundwrite(0x13, 0x12);
    s.soundwrite(0x14, 0x87);
    EXPECT_EQ(s.soundread(0x10), 0x80);
    EXPECT_EQ(s.soundread(0x22), 0x00);
    EXPECT_EQ(s.soundread(0x1C), 0x9F);
    EXPECT_EQ(s.soundread(0x24), 0x00);
    EXPECT_EQ(s.soundread(0x25), 0x00);
    EXPECT_EQ(s.soundread(0x1A), 0x7F);
    EXPECT_EQ(s.soundread(0x11), 0x3F);
    EXPECT_EQ(s.soundread(0x12), 0x00);
    EXPECT_EQ(s.soundread(0x13), 0xFF);  // write-only
    EXPECT_EQ(s.soundread(0x26), 0x70);

    // Power back on: writes work again, NR52 shows the power bit.
    s.soundwrite(0x26, 0x80);
    EXPECT_EQ(s.soundread(0x26), 0xF0);
    s.soundwrite(0x12, 0xF0);
    s.soundwrite(0x14, 0x80);
    EXPECT_EQ(s.soundread(0x26), 0xF1);
}

TEST_F(SoundRegisters, DacOffKeepsChannelFromStarting) {
    s.soundwrite(0x12, 0x08);  // volume 0, increasing: the DAC stays on, so does channel 1
    EXPECT_EQ(s.soundread(0x26) & 1, 1);
    s.soundwrite(0x12, 0x07);  // volume 0, decreasing: DAC off, channel 1 goes off
    EXPECT_EQ(s.soundread(0x26) & 1, 0);
    s.soundwrite(0x12, 0x08);
    s.soundwrite(0x14, 0x80);  // trigger with NR12 = 0x08 starts at volume 0
    EXPECT_EQ(s.soundread(0x26) & 1, 1);
    EXPECT_EQ(s.channels[0].volume, 0);

    s.soundwrite(0x17, 0x07);  // 0x07: mask 0xF8 is 0, no start
    s.soundwrite(0x19, 0x80);
    EXPECT_EQ(s.soundread(0x26) & 2, 0);

    s.soundwrite(0x1A, 0x00);
    s.soundwrite(0x1E, 0x80);  // channel 3 with DAC off: nothing
    EXPECT_EQ(s.soundread(0x26) & 4, 0);
    s.soundwrite(0x1A, 0x80);
    s.soundwrite(0x1E, 0x80);
    EXPECT_EQ(s.soundread(0x26) & 4, 4);
    s.soundwrite(0x1A, 0x00);  // clearing the DAC stops it
    EXPECT_EQ(s.soundread(0x26) & 4, 0);
}

TEST_F(SoundRegisters, ZombieVolumeSteps) {
    // Period 0 at trigger: +1.
    s.soundwrite(0x17, 0x50);
    s.soundwrite(0x19, 0x80);
    EXPECT_EQ(s.channels[1].volume, 5);
    s.soundwrite(0x17, 0x50);
    EXPECT_EQ(s.channels[1].volume, 6);
    // A non-zero period clears the flag; same direction: +2.
    s.soundwrite(0x17, 0x51);
    EXPECT_EQ(s.channels[1].volume, 8);
    // Direction bit changed: +4.
    s.soundwrite(0x17, 0x59);
    EXPECT_EQ(s.channels[1].volume, 12);
    // Wraps modulo 16.
    s.soundwrite(0x17, 0x51);
    EXPECT_EQ(s.channels[1].volume, 0);
    // Not playing: the value is only stored.
    s.soundwrite(0x21, 0xF0);
    s.soundwrite(0x21, 0xF1);
    EXPECT_EQ(s.channels[3].volume, 0);
    EXPECT_EQ(s.soundread(0x21), 0xF1);
}

TEST_F(SoundRegisters, EnvelopeStepsEveryFourthStep) {
    alignto(4);
    s.soundwrite(0x12, 0xA1);  // volume 10, decrease, period 1
    s.soundwrite(0x14, 0x80);
    EXPECT_EQ(s.channels[0].volume, 10);
    s.framestep();
    EXPECT_EQ(s.channels[0].volume, 9);
    steps(3);
    EXPECT_EQ(s.channels[0].volume, 9);
    s.framestep();
    EXPECT_EQ(s.channels[0].volume, 8);
    steps(4 * 20);
    EXPECT_EQ(s.channels[0].volume, 0);
    EXPECT_TRUE(s.channels[0].envfinished);

    s.soundwrite(0x17, 0xE9);  // volume 14, increase, period 1
    s.soundwrite(0x19, 0x80);
    steps(4 * 5);
    EXPECT_EQ(s.channels[1].volume, 15);
    EXPECT_TRUE(s.channels[1].envfinished);

    s.soundwrite(0x21, 0x70);  // period 0 never steps
    s.soundwrite(0x23, 0x80);
    steps(64);
    EXPECT_EQ(s.channels[3].volume, 7);
}

TEST_F(SoundRegisters, LengthCountersStopChannels) {
    s.soundwrite(0x17, 0xF0);
    s.soundwrite(0x16, 0x3E);  // length 64 - 62 = 2
    s.soundwrite(0x19, 0xC0);  // trigger with length enabled
    s.framestep();
    EXPECT_EQ(s.soundread(0x26) & 2, 2);
    s.framestep();
    EXPECT_EQ(s.soundread(0x26) & 2, 0);

    // Channel 3 counts 256; a zero counter becomes the maximum at trigger.
    s.soundwrite(0x1A, 0x80);
    s.soundwrite(0x1E, 0xC0);
    EXPECT_EQ(s.channels[2].length, 256);
    steps(255);
    EXPECT_EQ(s.soundread(0x26) & 4, 4);
    s.framestep();
    EXPECT_EQ(s.soundread(0x26) & 4, 0);

    // Without length enable the channel keeps playing.
    s.soundwrite(0x21, 0xF0);
    s.soundwrite(0x20, 0x3F);
    s.soundwrite(0x23, 0x80);
    steps(100);
    EXPECT_EQ(s.soundread(0x26) & 8, 8);
}

TEST_F(SoundRegisters, SweepOverflowAndShiftZero) {
    auto start = [&](uint8_t nr10, int freq) {
        alignto(2);  // the next step clocks the sweep
        s.soundwrite(0x10, nr10);
        s.soundwrite(0x12, 0xF0);
        s.soundwrite(0x13, uint8_t(freq));
        s.soundwrite(0x14, uint8_t(0x80 | (freq >> 8)));
    };
    // Increase, shift 1: 1100 -> 1650, check 2200 overflows: off at the first step.
    start(0x11, 1100);
    s.framestep();
    EXPECT_EQ(s.soundread(0x26) & 1, 0);

    // Increase, shift 2: 1000 -> 1250 (check 1562 is fine).
    start(0x12, 1000);
    s.framestep();
    EXPECT_EQ(s.soundread(0x26) & 1, 1);
    EXPECT_EQ(s.channels[0].frequency, 1250);

    // Decrease, shift 1: 1000 -> 500.
    start(0x19, 1000);
    s.framestep();
    EXPECT_EQ(s.channels[0].frequency, 500);

    // Shift 0: increase turns the channel off when the sum overflows, decrease does nothing.
    start(0x10, 1100);
    s.framestep();
    EXPECT_EQ(s.soundread(0x26) & 1, 0);
    start(0x10, 1000);  // 2000 fits in 11 bits: no overflow, no update (shift 0)
    steps(16);
    EXPECT_EQ(s.soundread(0x26) & 1, 1);
    EXPECT_EQ(s.channels[0].frequency, 1000);
    start(0x18, 1000);
    steps(16);
    EXPECT_EQ(s.soundread(0x26) & 1, 1);
    EXPECT_EQ(s.channels[0].frequency, 1000);

    // Sweep period 0: no sweep at all.
    start(0x01, 1000);
    steps(16);
    EXPECT_EQ(s.channels[0].frequency, 1000);
}

TEST_F(SoundRegisters, WaveRamReadsNoiseAfterTrigger) {
    for (int i = 0; i < 16; i++) s.wavewrite(i, uint8_t(0x11 * i));
    for (int i = 0; i < 16; i++) EXPECT_EQ(s.waveread(i), 0x11 * i);
    s.soundwrite(0x1A, 0x80);
    s.soundwrite(0x1E, 0x80);
    int same = 0;
    for (int i = 0; i < 16; i++) {
        EXPECT_LE(s.waveread(i), 254);
        same += s.waveread(i) == 0x11 * i;
        EXPECT_EQ(s.ch3wave[i], 0x11 * i);  // playback keeps the written pattern
    }
    EXPECT_LT(same, 8);
    s.wavewrite(3, 0x42);
    EXPECT_EQ(s.waveread(3), 0x42);
    EXPECT_EQ(s.waveread(0x13), 0x42);  // index is taken modulo 16
}

TEST_F(SoundRegisters, SaveBlocksRoundTrip) {
    s.soundwrite(0x17, 0xB3);
    s.soundwrite(0x16, 0x85);
    s.soundwrite(0x18, 0x34);
    s.soundwrite(0x19, 0xC3);
    s.pending = 1234;
    steps(5);
    auto chunks = savechunks(s);
    ASSERT_EQ(chunks.size(), 6u);
    const auto& st1 = chunks["s_st1"];
    const auto& ch1 = chunks["s_ch1"];
    ASSERT_EQ(st1.size(), 29u);
    ASSERT_EQ(ch1.size(), 88u);
    EXPECT_EQ(st1[8] | st1[9] << 8, 1234);
    EXPECT_EQ(st1[22], 0x77);  // NR50 at offset 22
    EXPECT_EQ(ch1[22 + 19], 0xB3);  // channel 2 NRx2 at offset 19 of its record
    EXPECT_EQ(chunks["ch3regs"].size(), 16u);

    tgbsound t;
    for (auto& [name, data] : chunks) ASSERT_TRUE(loadchunk(t, name.c_str(), data.data(), data.size())) << name;
    for (uint8_t r = 0x10; r <= 0x26; r++) EXPECT_EQ(t.soundread(r), s.soundread(r)) << int(r);
    EXPECT_EQ(t.pending, 1234);
    EXPECT_EQ(t.stepcounter, s.stepcounter);
    EXPECT_EQ(savechunks(t), chunks);
    EXPECT_THROW(loadchunk(t, "s_st1", st1.data(), 28), tstateerror);
}

TEST_F(SoundRegisters, BlockLayoutsFillTheirBlocksExactly) {
    tlayoutsizer st1;
    s.st1layout(st1);
    EXPECT_EQ(st1.bytes, tgbsound::st1size);
    tlayoutsizer ch1;
    for (int i = 0; i < 4; i++) s.channellayout(ch1, i);
    EXPECT_EQ(ch1.bytes, tgbsound::ch1size);
}

TEST_F(SoundRegisters, WaveNoiseGeneratorIsRestored) {
    // A channel-3 trigger fills the read-back wave RAM from the generator.
    auto chunks = savechunks(s);
    tgbsound t;
    t.seedrandom(99);
    for (auto& [name, data] : chunks) loadchunk(t, name.c_str(), data.data(), data.size());
    tgbsound other;
    other.seedrandom(99);
    for (tgbsound* u : {&s, &t, &other}) {
        u->soundwrite(0x26, 0x80);
        u->soundwrite(0x1A, 0x80);
        u->soundwrite(0x1E, 0x80);
    }
    int differing = 0;
    for (int i = 0; i < 16; i++) {
        EXPECT_EQ(t.waveread(i), s.waveread(i)) << i;
        differing += other.waveread(i) != s.waveread(i);
    }
    EXPECT_GT(differing, 0) << "another generator state gives other noise";
}

TEST_F(SoundRegisters, LongRunsDoNotOverflowTheCounters) {
    // The silent base unit renders nothing; the machine keeps adding time.
    for (int i = 0; i < 300000; i++) {
        s.pending += 8192;
        s.framestep();
    }
    EXPECT_GT(s.pending, 0);
    EXPECT_EQ(s.stepcounter, 300000 + 0);
}

TEST_F(SoundRegisters, DamagedSaveBlocksAreBroughtIntoRange) {
    std::array<uint8_t, 29> st1{};
    st1.fill(0xFF);
    ASSERT_TRUE(loadchunk(s, "s_st1", st1.data(), st1.size()));
    EXPECT_EQ(s.pending, 0);  // negative pending becomes 0
    std::array<uint8_t, 88> ch1{};
    ch1.fill(0x7F);
    ASSERT_TRUE(loadchunk(s, "s_ch1", ch1.data(), ch1.size()));
    for (auto& c : s.channels) {
        EXPECT_LE(c.frequency, 2047);
        EXPECT_LE(c.volume, 15);
        EXPECT_LE(c.on, 1);
    }
    steps(64);  // runs without faults
}

}  // namespace
}  // namespace tov
