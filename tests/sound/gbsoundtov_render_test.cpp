// Rendered samples of the synthesiser: level tables, square-wave period and amplitude,
// panning, muting, volume, 8-bit output, band-limited pulses, underruns and batches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include "sound/gbsoundtov.h"
#include "sound/sqwave.h"
#include "soundtesthelpers.h"

namespace tov {
namespace {

using testing::tcaptureoutput;

// 32768 Hz makes the arithmetic exact: 64 ticks per sample, and frequency 1792
// (131072 / 256 = 512 Hz) is one period every 64 samples, increment 2^20.
constexpr int rate = 32768;

class SoundRender : public ::testing::Test {
protected:
    tgbsoundtov u;
    tcaptureoutput* out = nullptr;

    void start(bool pulls = false, int bytes = 2, int pageframes = 512, int pages = 4) {
        auto o = std::make_unique<tcaptureoutput>(pulls);
        o->setformat(rate, bytes, 2);
        o->setpagesize(pageframes);
        o->setpagecount(pages);
        out = o.get();
        u.setoutput(std::move(o));
        u.soundreset(false, false);
        u.restartoutput();
        out->pages.clear();
    }
    // Advances emulated time the way the machine does: ticks, then a sequencer step.
    void run(int ticks) {
        while (ticks > 0) {
            int n = std::min(ticks, 8192);
            u.pending += n;
            u.framestep();
            ticks -= n;
        }
    }
    void square2(uint8_t nr51 = 0xFF, uint8_t duty = 0x80) {
        u.soundwrite(0x25, nr51);
        u.soundwrite(0x16, duty);
        u.soundwrite(0x17, 0xF0);
        u.soundwrite(0x18, 0x00);
        u.soundwrite(0x19, 0x87);  // frequency 0x700 = 1792, trigger
    }
    std::vector<int> left, right;
    void collect() {
        left.clear();
        right.clear();
        out->samples16(left, right);
    }
};

std::vector<int> edges(const std::vector<int>& s, size_t from, int threshold) {
    std::vector<int> at;
    for (size_t i = from + 1; i < s.size(); i++)
        if (s[i] - s[i - 1] > threshold) at.push_back(int(i));
    return at;
}

int maxstep(const std::vector<int>& s, size_t from) {
    int m = 0;
    for (size_t i = from + 1; i < s.size(); i++) m = std::max(m, std::abs(s[i] - s[i - 1]));
    return m;
}

TEST(SoundTables, VolumeMultiplier) {
    tgbsoundtov u;
    EXPECT_EQ(u.volumemultiplier(), 31);  // default `Volume` 90
    u.setvolume(100);
    EXPECT_EQ(u.volumemultiplier(), 41);
    u.setvolume(50);
    EXPECT_EQ(u.volumemultiplier(), 10);
    u.setvolume(0);
    EXPECT_EQ(u.volumemultiplier(), 0);
    u.setvolume(150);
    EXPECT_EQ(u.volumemultiplier(), 41);
}

TEST(SoundTables, IncrementsAndTicksPerSample) {
    tgbsoundtov u;
    u.setrate(44100);
    EXPECT_EQ(u.tickspersample(), 47);
    // x = 0: 64 Hz, Round(64 x 2^26 / 44100) = 97392.
    EXPECT_EQ(u.incrementfor(0), 97392u);
    // Too high for the rate: held still.
    EXPECT_EQ(u.incrementfor(2047), 0x3FFFFFFu);
    u.setrate(rate);
    EXPECT_EQ(u.incrementfor(1792), 1u << 20);
    EXPECT_EQ(u.tickspersample(), 64);
    // A broken rate cannot make the unit divide by zero.
    u.setrate(0);
    EXPECT_GE(u.tickspersample(), 1);
    u.setrate(1e9);
    EXPECT_GE(u.tickspersample(), 1);
}

TEST(SoundTables, StatusAndLabelTexts) {
    EXPECT_EQ(soundchannelstext(0), "sound channels: 1 1 1 1");
    EXPECT_EQ(soundchannelstext(1), "sound channels: 0 1 1 1");
    EXPECT_EQ(soundchannelstext(0xA), "sound channels: 1 0 1 0");
    EXPECT_EQ(volumelabeltext(90), "-2.4");
    EXPECT_EQ(volumelabeltext(100), "0.0");
    EXPECT_EQ(volumelabeltext(1), "-23.8");
    EXPECT_EQ(volumelabeltext(0), "-inf");
}

TEST_F(SoundRender, LevelTablesForSquareWaveAndNoiseOffsets) {
    start();
    square2(0x22);  // channel 2 both sides
    u.refreshlevels();
    // 50 % duty: steps 2-5 high; 2 x volume 15 x M 31 x (NR50 7 + 1).
    const int high = 2 * 15 * 31 * 8;
    for (int i = 0; i < 8; i++) {
        int want = (i >= 2 && i <= 5) ? high : 0;
        EXPECT_EQ(u.mix[1].level[i], want) << i;
        EXPECT_EQ(u.mix[1].level[32 + i], want) << i;
    }
    EXPECT_EQ(u.mix[1].increment, 1u << 20);
    // Channel 1 is on after reset but silent (volume 0) and not panned.
    EXPECT_EQ(u.mix[0].level[4], 0);
    // Noise channel off: only the NR50 offset, M x 7 x 35.
    EXPECT_EQ(u.mix[3].level[0], 31 * 7 * 35);
    EXPECT_EQ(u.mix[3].level[33], 31 * 7 * 35);
    // Vin bits add M x 325 on their side.
    u.soundwrite(0x24, 0x7F);
    u.refreshlevels();
    EXPECT_EQ(u.mix[3].level[0], 31 * 7 * 35 + 31 * 325);
    EXPECT_EQ(u.mix[3].level[32], 31 * 7 * 35);
}

TEST_F(SoundRender, WaveChannelLevelsFollowOutputLevel) {
    start();
    u.soundwrite(0x25, 0x44);
    for (int i = 0; i < 16; i++) u.wavewrite(i, 0x0F);
    u.soundwrite(0x1A, 0x80);
    u.soundwrite(0x1D, 0x00);
    u.soundwrite(0x1E, 0x87);
    const int scale = 31 * 8;
    auto check = [&](uint8_t nr32, int lo, int hi) {
        u.soundwrite(0x1C, nr32);
        u.refreshlevels();
        EXPECT_EQ(u.mix[2].level[0], lo * scale) << int(nr32);
        EXPECT_EQ(u.mix[2].level[1], hi * scale) << int(nr32);
        EXPECT_EQ(u.mix[2].level[33], hi * scale) << int(nr32);
    };
    check(0x20, -15, 15);
    check(0x40, -7, 7);
    check(0x60, -3, 3);
    check(0x00, 1, 1);
    EXPECT_EQ(u.mix[2].increment, (1u << 20) / 2);
}

TEST_F(SoundRender, SquareWaveHasItsPeriodAndAmplitude) {
    start();
    square2();
    run(64 * 4096);
    collect();
    ASSERT_GE(left.size(), 4096u);
    auto rise = edges(left, 1024, 3000);
    ASSERT_GE(rise.size(), 10u);
    for (size_t i = 1; i < rise.size(); i++) EXPECT_EQ(rise[i] - rise[i - 1], 64);
    // The edge is the full level step, less what the high-pass filter takes.
    int step = maxstep(left, 1024);
    EXPECT_GT(step, 7300);
    EXPECT_LE(step, 7440);
    // 50 % duty: the falling edge comes half a period after the rising one.
    int r = rise[2];
    EXPECT_GT(left[r + 31] - left[r + 32], 3000);
    EXPECT_EQ(left, right);
}

TEST_F(SoundRender, PanningAndMutingSilenceASide) {
    start();
    square2(0x02);  // channel 2 right only
    run(64 * 4096);
    collect();
    EXPECT_GT(maxstep(right, 2048), 7000);
    EXPECT_LT(maxstep(left, 2048), 100);

    start();
    u.setchannelmask(2);
    square2();
    run(64 * 4096);
    collect();
    EXPECT_LT(maxstep(left, 2048), 100);
    EXPECT_LT(maxstep(right, 2048), 100);
}

TEST_F(SoundRender, VolumeZeroIsExactSilence) {
    start();
    u.setvolume(0);
    square2();
    u.soundwrite(0x21, 0xF0);
    u.soundwrite(0x23, 0x80);
    run(64 * 2048);
    collect();
    ASSERT_FALSE(left.empty());
    for (size_t i = 0; i < left.size(); i++) ASSERT_EQ(left[i] | right[i], 0) << i;
}

TEST_F(SoundRender, LoudMixClipsInsteadOfWrapping) {
    start();
    u.setvolume(100);
    u.soundwrite(0x24, 0x00);
    u.soundwrite(0x25, 0xFF);
    for (int i = 0; i < 16; i++) u.wavewrite(i, 0xFF);
    for (uint8_t base : {0x10, 0x15}) {  // channels 1 and 2: 75 % duty, lowest note
        u.soundwrite(base + 1, 0xC0);
        u.soundwrite(base + 2, 0xF0);
        u.soundwrite(base + 3, 0x00);
        u.soundwrite(base + 4, 0x80);
    }
    u.soundwrite(0x1A, 0x80);
    u.soundwrite(0x1C, 0x20);
    u.soundwrite(0x1E, 0x80);
    u.pending += 64 * 50;
    u.soundwrite(0x24, 0xFF);  // renders the 50 samples, then the big step
    u.pending += 64 * 10;
    u.renderpending();
    u.pending += 64 * (512 - 60);  // complete the page
    u.renderpending();
    collect();
    ASSERT_GT(left.size(), 60u);
    EXPECT_EQ(left[50], 32767);
    EXPECT_EQ(right[50], 32767);
}

TEST_F(SoundRender, EightBitIsTheHighByteOfSixteenBit) {
    start(false, 2);
    square2();
    run(64 * 2048);
    std::vector<int> l16, r16;
    out->samples16(l16, r16);

    tgbsoundtov v;
    auto o = std::make_unique<tcaptureoutput>(false);
    o->setformat(rate, 1, 2);
    o->setpagesize(512);
    tcaptureoutput* o8 = o.get();
    v.setoutput(std::move(o));
    v.soundreset(false, false);
    v.restartoutput();
    v.soundwrite(0x25, 0xFF);
    v.soundwrite(0x16, 0x80);
    v.soundwrite(0x17, 0xF0);
    v.soundwrite(0x18, 0x00);
    v.soundwrite(0x19, 0x87);
    for (int t = 64 * 2048; t > 0; t -= 8192) {
        v.pending += 8192;
        v.framestep();
    }
    ASSERT_TRUE(v.eightbit());
    ASSERT_EQ(o8->pages.size(), out->pages.size());
    size_t k = 0;
    for (auto& p : o8->pages)
        for (size_t i = 0; i + 1 < p.size(); i += 2, k++) {
            ASSERT_EQ(p[i], ((l16[k] ^ 0x8000) >> 8) & 0xFF) << k;
            ASSERT_EQ(p[i + 1], ((r16[k] ^ 0x8000) >> 8) & 0xFF) << k;
        }
}

TEST_F(SoundRender, BandLimitedPulseKeepsPeriodWithSofterEdges) {
    start();
    u.setsqwave(true);
    u.restartoutput();
    out->pages.clear();
    square2();
    run(64 * 4096);
    collect();
    ASSERT_GE(left.size(), 4096u);
    // Rising zero crossings, one per period.
    std::vector<int> cross;
    for (size_t i = 1025; i < left.size(); i++)
        if (left[i - 1] < 0 && left[i] >= 0) cross.push_back(int(i));
    ASSERT_GE(cross.size(), 10u);
    for (size_t i = 1; i < cross.size(); i++) EXPECT_NEAR(cross[i] - cross[i - 1], 64, 1);
    int lo = *std::min_element(left.begin() + 1024, left.end());
    int hi = *std::max_element(left.begin() + 1024, left.end());
    EXPECT_NEAR(hi - lo, 7440, 7440 / 5);
    // 32 harmonics at 512 Hz: the edge is spread over several samples.
    EXPECT_LT(maxstep(left, 1024), 7000);
}

// The band-limited value is DC + sum / 805306368 rounded to single once; the sample is
// Trunc(b x A + A) of that single, exact. Rounding either to 24 bits on the way moves
// some samples by one.
long double harmonicsum(uint32_t phase, uint32_t inc, int d) {
    const auto& t = sqwaveunit::tables();
    int64_t sum = 0;
    for (uint32_t k = 1; k < 128 && uint64_t(k) * inc < 0x2000000u; k++)
        sum += int64_t(t.cosine[((uint64_t(k) * phase) & 0x3FFFFFF) >> 12]) * t.coeff[d][k];
    return (long double)t.dc[d] + (long double)sum / 805306368.0L;
}

TEST(BandLimited, ValueIsRoundedOnceToSingle) {
    const auto& t = sqwaveunit::tables();
    // Phases where a single-precision quotient lands one unit off.
    const uint32_t known[] = {4049812, 22384639, 53696900, 55939053};
    for (uint32_t ph : known)
        EXPECT_EQ(sqwaveunit::bandlimited(ph, 0x40000, 0, t), float(harmonicsum(ph, 0x40000, 0))) << ph;
    for (int d = 0; d < 4; d++)
        for (uint32_t inc : {0x40000u, 0x123456u, 0x17FFFFFu})
            for (uint32_t ph = 0; ph < (1u << 26); ph += 65537)
                ASSERT_EQ(sqwaveunit::bandlimited(ph, inc, d, t), float(harmonicsum(ph, inc, d)))
                    << d << " " << inc << " " << ph;
}

TEST(BandLimited, SamplesAreExactTruncations) {
    const int a = 5512500 / rate;  // filter divisor 168
    int mismatches = 0;
    for (int freq : {1024, 1500, 1800, 1900, 1950, 2000}) {
        for (int vol : {15, 11}) {
            tgbsoundtov u;
            auto o = std::make_unique<tcaptureoutput>(false);
            o->setformat(rate, 2, 2);
            o->setpagesize(512);
            tcaptureoutput* out = o.get();
            u.setoutput(std::move(o));
            u.soundreset(false, false);
            u.setsqwave(true);
            u.restartoutput();
            // Channel 2 alone, both sides, duty 50 %.
            u.soundwrite(0x25, 0x22);
            u.soundwrite(0x16, 0x80);
            u.soundwrite(0x17, uint8_t(vol << 4));
            u.soundwrite(0x18, uint8_t(freq));
            u.soundwrite(0x19, uint8_t(0x80 | (freq >> 8)));
            for (int page = 0; page < 2; page++) {
                u.pending += 64 * 512;
                u.renderpending();
            }
            std::vector<int> left, right;
            out->samples16(left, right);
            ASSERT_EQ(left.size(), 1024u);
            const uint32_t inc = u.incrementfor(freq);
            const int A = vol * 31 * 8;      // half of 2 x volume x M x 8
            const int offset = 31 * 7 * 35;  // NR50 = 0x77 on the noise levels
            uint32_t phase = (0u - 2796202u) & 0x3FFFFFF;
            int64_t state = 0;
            for (size_t i = 0; i < left.size(); i++) {
                float b = inc < 0x40000 ? (((phase + 0x1000000) & 0x3FFFFFF) < 0x2000000 ? 1.0f : -1.0f)
                                        : float(harmonicsum(phase, inc, 0));
                int64_t sum = int32_t((long double)b * A + A) + offset;
                state = (sum + (a - 1) * state) / a;
                int expected = int(std::clamp<int64_t>(sum - state, -32768, 32767));
                if (left[i] != expected || right[i] != expected) mismatches++;
                phase = (phase + inc) & 0x3FFFFFF;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
}

// Noise at 32768 Hz: NR43 divisor code 1 gives R = 524288, so the LFSR moves
// (524288 >> (s + 1)) / 32768 entries per sample: 1 for shift s = 3, 2 for s = 2.
TEST_F(SoundRender, ShortNoiseRepeatsEvery127Steps) {
    start();
    u.soundwrite(0x25, 0x88);
    u.soundwrite(0x22, 0x39);  // 7-bit, s = 3, divisor code 1
    u.soundwrite(0x21, 0xF0);
    u.soundwrite(0x23, 0x80);
    run(64 * 4096);
    collect();
    const int high = 2 * 15 * 31 * 8;
    int steps = 0;
    for (size_t i = 2048; i + 127 < left.size(); i++) {
        int d = left[i] - left[i - 1], d2 = left[i + 127] - left[i + 126];
        ASSERT_NEAR(d, d2, 100) << i;
        if (std::abs(d) > high / 2) steps++;
        // Point sampling: every change is a whole level step.
        if (std::abs(d) > 300) {
            ASSERT_NEAR(std::abs(d), high, 200) << i;
        }
    }
    EXPECT_GT(steps, 100);
}

TEST_F(SoundRender, FastNoiseAveragesTheStepsWithinASample) {
    start();
    u.soundwrite(0x25, 0x88);
    u.soundwrite(0x22, 0x21);  // 15-bit, s = 2: two LFSR entries per sample
    u.soundwrite(0x21, 0xF0);
    u.soundwrite(0x23, 0x80);
    run(64 * 4096);
    collect();
    const int high = 2 * 15 * 31 * 8;
    int halfsteps = 0;
    for (size_t i = 2048; i < left.size(); i++)
        halfsteps += std::abs(std::abs(left[i] - left[i - 1]) - high / 2) < 200;
    EXPECT_GT(halfsteps, 100);
}

TEST_F(SoundRender, PushOutputGetsPagesAsTheyFill) {
    start(false, 2, 512);
    run(64 * 512 * 3 + 64 * 100);
    EXPECT_EQ(out->pages.size(), 3u);
    EXPECT_EQ(u.buffered(), 100);
}

TEST_F(SoundRender, OversizedBatchIsDroppedWhole) {
    start(false, 2, 512);
    u.pending = 64 * 1500;  // more than two pages
    u.renderpending();
    EXPECT_EQ(u.buffered(), 0);
    EXPECT_EQ(u.pending, 0);
    EXPECT_TRUE(out->pages.empty());
}

TEST(SoundNoOutput, PendingAccumulatesWithoutRendering) {
    tgbsoundtov u;
    u.soundreset(false, false);
    u.restartoutput();
    u.pending = 5000;
    u.framestep();
    EXPECT_EQ(u.pending, 5000);
    // Long runs without an output cannot overflow the counter.
    for (int i = 0; i < 300000; i++) {
        u.pending += 8192;
        u.framestep();
    }
    EXPECT_GT(u.pending, 0);
}

TEST_F(SoundRender, PullOutputIsPrimedAndUnderrunsTurnToSilence) {
    auto o = std::make_unique<tcaptureoutput>(true);
    o->setformat(rate, 2, 2);
    o->setpagesize(256);
    o->setpagecount(4);
    out = o.get();
    u.setoutput(std::move(o));
    u.soundreset(false, false);
    square2();
    u.restartoutput();
    EXPECT_EQ(out->pages.size(), 4u);  // primed, one page per ring slot
    EXPECT_EQ(u.underruns(), 4);
    // Underruns are filled from the current state until more than 7 in a row.
    for (int i = 0; i < 4; i++) u.fillpage();
    EXPECT_TRUE(u.silencemode);
    collect();
    EXPECT_GT(maxstep(left, 0), 3000);
    out->pages.clear();
    u.fillpage();
    collect();
    for (int v : left) ASSERT_EQ(v, 0);
    // Emulated time flowing again resets the underrun count.
    u.silencemode = false;
    u.pending += 64 * 300;
    u.renderpending();
    EXPECT_EQ(u.underruns(), 0);
    EXPECT_EQ(u.buffered(), 300);
    u.fillpage();
    EXPECT_EQ(u.buffered(), 44);
    EXPECT_EQ(u.underruns(), 0);
}

}  // namespace
}  // namespace tov
