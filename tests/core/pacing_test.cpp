// Frame pacing against a fake clock: target time, re-synchronisation, frame dropping,
// waiting, fast forward, vertical-blank modes, battery-save tick, and the
// vertical-blank predictor's calibration and re-estimation.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "core/pacing.h"

namespace tov {
namespace {

constexpr int frameunits = 35112;
constexpr double frametime = 35112.0 / 2097152.0;

// A clock that only moves when asked: each reading costs `readcost`, a sleep its
// milliseconds, a blocking vertical-blank wait up to the next blank of the display.
class tfakehost : public tpacinghost {
public:
    double now = 1000.25;
    double readcost = 0.00001;
    double refresh = 1.0 / 60;  // display period
    double offset = 0.003;      // display phase, seconds
    double jitter = 0;          // added to the next blocking wait only
    bool vblank = false;
    bool presentwaits = false;  // its present takes a swap interval
    int sleeps = 0, waits = 0, messages = 0, raises = 0, restores = 0;

    double clockseconds() override {
        double t = now;
        now += readcost;
        return t;
    }
    void sleepms(int ms) override {
        sleeps++;
        now += ms * 0.001;
    }
    void processmessages() override { messages++; }
    bool canwaitvblank() override { return vblank; }
    bool presentwaitsvblank() override { return presentwaits; }
    void waitvblank() override {
        waits++;
        double k = std::floor((now - offset) / refresh) + 1;
        now = offset + k * refresh + jitter;
        jitter = 0;
    }
    void raisepriority() override { raises++; }
    void restorepriority() override { restores++; }
};

class Pacing : public ::testing::Test {
protected:
    tfakehost host;
    tframepacer pacer{host};
    void SetUp() override { pacer.start(); }
    // One loop pass with a frame that took `cost` seconds to emulate.
    tpacedecision frame(double cost = 0.002, bool ff = false, bool sgb = false) {
        host.now += cost;
        bool poll;
        pacer.afterframe(true, ff, poll);
        return pacer.pace(frameunits, ff, sgb, false);
    }
};

TEST_F(Pacing, FirstFrameResynchronisesAndTargetAdvancesByFrameTime) {
    auto d = frame();
    EXPECT_TRUE(d.resynced);
    double t0 = pacer.target;
    EXPECT_NEAR(t0, host.now, 0.001);
    frame();
    EXPECT_NEAR(pacer.target - t0, frametime, 1e-12);

    pacer.options.Speed = 2.0;
    double t1 = pacer.target;
    frame();
    EXPECT_NEAR(pacer.target - t1, frametime / 2, 1e-12);
}

TEST_F(Pacing, FastHostSettlesAtTheFrameRate) {
    for (int i = 0; i < 10 * 60; i++) {
        auto d = frame();
        EXPECT_TRUE(d.renderflag);
    }
    // In step with the clock: 50 ms ahead at most, and the waits were 1 ms sleeps.
    EXPECT_LE(pacer.target - host.now, 0.05 + frametime);
    EXPECT_GE(pacer.target - host.now, 0.0);
    EXPECT_GT(host.sleeps, 100);
    // About 59.73 frames in each wall-clock second.
    EXPECT_NEAR(pacer.lastemulated, 60, 1);
    std::string text = pacer.frameratetext();
    EXPECT_EQ(text.size(), 8u);
    EXPECT_EQ(text.substr(2), "/" + std::to_string(pacer.lastemulated) + "   ");
}

TEST_F(Pacing, DoublesTheFrameRateAtSpeedTwo) {
    pacer.options.Speed = 2.0;
    for (int i = 0; i < 10 * 120; i++) frame();
    EXPECT_NEAR(pacer.lastemulated, 119, 1.5);
}

TEST_F(Pacing, WaitingStartsOnlyAfterFourOnTimeFrames) {
    frame();
    for (int i = 0; i < 3; i++) frame();
    EXPECT_EQ(host.sleeps, 0);
    EXPECT_EQ(pacer.ontime, 4);
    // The fifth on-time frame waits, processing messages on each pass.
    for (int i = 0; i < 4; i++) frame(0);
    EXPECT_GT(host.sleeps, 0);
    EXPECT_EQ(host.messages, host.sleeps);
}

TEST_F(Pacing, SlowHostDrawsEveryTenthFrame) {
    int drawn = 0, frames = 0;
    for (int i = 0; i < 600; i++) {
        // Each frame costs 30 ms: behind all the time.
        auto d = frame(0.030);
        if (i >= 60) {
            frames++;
            drawn += d.renderflag;
        }
    }
    EXPECT_EQ(host.sleeps, 0);
    EXPECT_NEAR(double(drawn) / frames, 0.1, 0.03);
    // The target never lags the clock by more than 0.2 s.
    EXPECT_GE(pacer.target, host.now - 0.2 - 0.031);
}

TEST_F(Pacing, NegativeMaxSkipDrawsEveryFrame) {
    pacer.options.MaxSkip = -5;
    for (int i = 0; i < 100; i++) EXPECT_TRUE(frame(0.030).renderflag);
}

TEST_F(Pacing, LargestMaxSkipDoesNotOverflow) {
    // 2147483647 + 1 used to overflow (the sanitizer build reports it); now, behind all the
    // time, only the first frame of each second is drawn.
    pacer.options.MaxSkip = 2147483647;
    int drawn = 0;
    for (int i = 0; i < 100; i++) drawn += frame(0.030).renderflag;
    EXPECT_LT(drawn, 10);
}

TEST_F(Pacing, HoldUpResynchronisesInsteadOfCatchingUp) {
    for (int i = 0; i < 30; i++) frame();
    host.now += 1.0;  // a modal dialog
    auto d = frame();
    EXPECT_TRUE(d.resynced);
    EXPECT_TRUE(d.renderflag);
    EXPECT_NEAR(pacer.target, host.now, 0.001);
    // Not behind afterwards: no frames dropped.
    for (int i = 0; i < 10; i++) EXPECT_TRUE(frame().renderflag);
}

TEST_F(Pacing, FastForwardDoesNotWaitAndDrawsOneInTen) {
    frame();
    int drawn = 0;
    for (int i = 0; i < 300; i++) drawn += frame(0.001, true).renderflag;
    EXPECT_EQ(host.sleeps, 0);
    EXPECT_NEAR(drawn, 30, 4);

    // The SGB start-up screen counts as fast with `fastSGB`, not without.
    host.sleeps = 0;
    for (int i = 0; i < 100; i++) frame(0.001, false, true);
    EXPECT_EQ(host.sleeps, 0);
    pacer.options.fastSGB = false;
    for (int i = 0; i < 100; i++) frame(0.001, false, true);
    EXPECT_GT(host.sleeps, 0);
}

TEST_F(Pacing, VSyncTwoWaitsTwoBlanksPerDrawnFrame) {
    host.vblank = true;
    pacer.options.VSync = 2;
    pacer.options.MMTimer = false;  // the display's own blocking wait
    frame();
    int before = host.waits;
    double start = host.now;
    for (int i = 0; i < 30; i++) EXPECT_TRUE(frame(0.001).renderflag);
    EXPECT_EQ(host.waits - before, 60);
    EXPECT_EQ(host.sleeps, 0);  // no clock pacing
    EXPECT_NEAR(host.now - start, 30 * 2 / 60.0, 0.02);  // about 30 frames per second
}

TEST_F(Pacing, VSyncFourPresentsAfterWaitingInBlankSteps) {
    host.vblank = true;
    pacer.options.VSync = 4;
    pacer.options.MMTimer = false;
    bool poll;
    host.now += 0.001;
    EXPECT_FALSE(pacer.afterframe(true, false, poll));  // not before the wait
    EXPECT_TRUE(pacer.pace(frameunits, false, false, false).present);
    for (int i = 0; i < 20; i++) frame(0);
    EXPECT_GT(host.waits, 0);
    EXPECT_EQ(host.sleeps, 0);
    // Fast forward presents at once.
    host.now += 0.001;
    EXPECT_TRUE(pacer.afterframe(true, true, poll));
}

// A display whose present waits for the blank (a swap interval) does the `VSync` waits in the
// present, so that the frame goes out at the blank; predicted waits sleep to the blank and
// present at once.
TEST_F(Pacing, SwapIntervalCarriesTheVSyncWaits) {
    struct tcase {
        int vsync;
        bool mmtimer, vblank, presentwaits, fastforward;
        int interval;
    };
    const tcase cases[] = {
        {0, false, true, true, false, 0}, {1, false, true, true, false, 1}, {2, false, true, true, false, 2},
        {3, false, true, true, false, 3}, {4, false, true, true, false, 1}, {5, false, true, true, false, 0},
        {2, false, true, true, true, 0},  // fast forward never waits
        {2, true, true, true, false, 0},  // predicted: the predictor waited already
        {2, false, false, true, false, 0},  // the driver takes no swap interval
        {2, false, true, false, false, 0},  // a present that cannot wait
    };
    for (const tcase& c : cases) {
        pacer.options.VSync = c.vsync;
        pacer.options.MMTimer = c.mmtimer;
        host.vblank = c.vblank;
        host.presentwaits = c.presentwaits;
        EXPECT_EQ(pacer.swapinterval(c.fastforward), c.interval) << "VSync " << c.vsync << " MMTimer " << c.mmtimer;
    }
}

TEST_F(Pacing, VSyncTwoWithAWaitingPresentLeavesTheWaitsToIt) {
    host.vblank = true;
    host.presentwaits = true;
    pacer.options.VSync = 2;
    pacer.options.MMTimer = false;
    frame();
    for (int i = 0; i < 30; i++) {
        bool poll;
        host.now += 0.001;
        EXPECT_TRUE(pacer.afterframe(true, false, poll)) << "presented at once, by a swap that waits";
        EXPECT_TRUE(pacer.pace(frameunits, false, false, false).renderflag);
    }
    EXPECT_EQ(host.waits, 0) << "no blocking wait besides the present's own";
    EXPECT_EQ(host.sleeps, 0) << "no clock pacing";
    EXPECT_EQ(pacer.swapinterval(false), 2);
}

TEST_F(Pacing, PredictedVSyncCalibratesOnTheDisplaysWaitsAndPresentsAtOnce) {
    host.vblank = true;
    host.presentwaits = true;
    pacer.options.VSync = 1;  // `Sleep` and `MMTimer` on: predicted
    bool poll;
    EXPECT_TRUE(pacer.afterframe(true, false, poll));
    EXPECT_EQ(host.waits, 5) << "calibration: five of the display's own waits";
    EXPECT_TRUE(pacer.predictor.calibrated);
    EXPECT_NEAR(pacer.predictor.period, host.refresh, 1e-4);
    EXPECT_EQ(pacer.swapinterval(false), 0);
}

TEST_F(Pacing, SkippedFramesStillPollInputEverySixteenth) {
    bool poll;
    int polls = 0;
    for (int i = 0; i < 64; i++) {
        pacer.afterframe(false, false, poll);
        polls += poll;
    }
    EXPECT_EQ(polls, 4);
    pacer.afterframe(true, false, poll);
    EXPECT_TRUE(poll);
    EXPECT_EQ(pacer.skipped, 0);
}

TEST_F(Pacing, BatteryRamSavedEvery256Seconds) {
    host.now = 255.9;
    int saves = 0, seconds = 0;
    for (int i = 0; i < 60 * 200; i++) {
        auto d = frame();
        saves += d.savesram;
        seconds += d.newsecond;
    }
    EXPECT_EQ(saves, 1);  // at 256 s; the next is due at 512 s
    EXPECT_NEAR(seconds, 201, 2);
}

// ---- predictor ----

class Predictor : public ::testing::Test {
protected:
    tfakehost host;
    tvblankpredictor p{host};
};

TEST_F(Predictor, CalibrationFindsPeriodAndPhase) {
    host.now = 100.0;
    p.wait();
    EXPECT_TRUE(p.calibrated);
    EXPECT_EQ(host.waits, 5);
    EXPECT_EQ(host.raises, 1);
    EXPECT_EQ(host.restores, 1);
    EXPECT_NEAR(p.period, 1.0 / 60, 1e-6);
    EXPECT_EQ(p.ringcount, 5);
    // The phase places the blanks: t / period - phase is a whole number at a blank.
    double blank = host.offset + 6001 * host.refresh;
    double pos = blank / p.period - p.phase;
    EXPECT_NEAR(pos - std::round(pos), 0, 0.01);
}

TEST(PredictorCalibration, IgnoresOneLateWakeUp) {
    // The third blocking wait returns 4 ms late.
    class tlatehost : public tfakehost {
    public:
        int count = 0;
        void waitvblank() override {
            if (++count == 3) jitter = 0.004;
            tfakehost::waitvblank();
        }
    } late;
    late.now = 100.0;
    tvblankpredictor r{late};
    r.calibrate();
    EXPECT_NEAR(r.period, 1.0 / 60, 0.0005);
}

TEST_F(Predictor, PredictedWaitEndsJustAfterTheBlankAndSleepsMostOfIt) {
    host.now = 100.0;
    p.wait();  // calibrates
    int waits = host.waits;
    double before = host.now + 0.001;
    host.now = before;
    p.resynctime = 1e9;  // no re-synchronisation in this test
    p.wait();
    EXPECT_EQ(host.waits, waits);  // no blocking wait
    double k = std::ceil((before - host.offset) / host.refresh);
    double blank = host.offset + k * host.refresh;
    EXPECT_GE(host.now, blank - 1e-4);
    EXPECT_LT(host.now, blank + 0.0005);
    EXPECT_GT(host.sleeps, 5);
}

TEST_F(Predictor, ResynchronisationDoesOneBlockingWaitAndStoresIt) {
    host.now = 100.0;
    p.wait();
    host.now += 0.25;
    int waits = host.waits;
    p.wait();
    EXPECT_EQ(host.waits, waits + 1);
    EXPECT_EQ(p.ringcount, 6);
    EXPECT_NEAR(p.resynctime, host.now + 0.2, 0.001);
    EXPECT_NEAR(p.period, 1.0 / 60, 1e-6);
    EXPECT_TRUE(p.calibrated);
}

TEST_F(Predictor, PairsContributeDistanceOverTheirRefreshCount) {
    p.calibrated = true;
    p.period = 0.0166;
    p.phase = 0;
    // Blanks at a true 1/60 s, 3 refreshes apart, and a gap too long to count.
    double per = 1.0 / 60;
    p.store(10 * per);
    p.store(13 * per);
    p.store(13 * per + 45 * per);  // best divisor would be 40: not counted
    p.reestimate();
    EXPECT_NEAR(p.period, per, 1e-9);
    EXPECT_EQ(p.reestimates, 1);
}

TEST_F(Predictor, LateReestimatesWeighOneFortieth) {
    p.calibrated = true;
    p.period = 0.01667;
    p.phase = std::fmod(100.0 / 0.01667, 1.0);
    p.reestimates = 49;
    double per = 1.0 / 60;
    for (int i = 0; i < 10; i++) p.store(100 + i * per);
    p.reestimate();
    EXPECT_EQ(p.reestimates, 50);
    EXPECT_NEAR(p.period, (39 * 0.01667 + per) * 0.025, 1e-12);
    p.reestimate();
    EXPECT_EQ(p.reestimates, 50);
}

TEST_F(Predictor, PhaseUnwrapsAroundZero) {
    p.period = 0.01;
    // Blanks slightly before and after the period boundary.
    for (double t : {0.0099, 0.0201, 0.0299, 0.0401, 0.0499}) p.store(t);
    p.reestimate();
    EXPECT_NEAR(p.period, 0.01, 1e-4);
    double ph = p.phase > 0.5 ? p.phase - 1 : p.phase;
    EXPECT_NEAR(ph, 0.0, 0.05);
}

TEST_F(Predictor, FourOutliersResetAndRecalibrate) {
    host.now = 100.0;
    p.wait();
    double per = p.period;
    // Four stored blanks far off the predicted grid.
    for (int i = 0; i < 4; i++) p.store(200 + i * 10 * per + 0.4 * per);
    p.reestimate();
    EXPECT_FALSE(p.calibrated);
    EXPECT_EQ(p.ringcount, 0);
    EXPECT_EQ(p.reestimates, 0);
    int waits = host.waits;
    p.wait();
    EXPECT_EQ(host.waits, waits + 5);
}

TEST_F(Predictor, FrozenClockDoesNotCalibrate) {
    class tfrozen : public tfakehost {
    public:
        double clockseconds() override { return 5.0; }
        void waitvblank() override { waits++; }
    } frozen;
    tvblankpredictor q{frozen};
    q.wait();
    EXPECT_FALSE(q.calibrated);
    q.wait();  // tries again; never divides by a zero period
    EXPECT_EQ(frozen.waits, 10);
}

}  // namespace
}  // namespace tov
