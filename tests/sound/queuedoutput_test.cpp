// How the sound unit's pages meet a device that drains its queue at its own clock:
// the rate conversion, and ten minutes of play at 1x through the real frame pacer, the
// real sound unit and a fake device on a fake clock, counting dropped batches and
// underruns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <type_traits>
#include <memory>
#include <vector>

#include "core/pacing.h"
#include "sound/gbsoundtov.h"
#include "sound/queuedoutput.h"
#include "sound/soundsetup.h"

namespace tov {
namespace {

// ---- rate conversion ----

std::vector<uint8_t> pcm16(const std::vector<int>& v) {
    std::vector<uint8_t> b;
    for (int x : v) {
        b.push_back(uint8_t(x));
        b.push_back(uint8_t(x >> 8));
    }
    return b;
}
std::vector<int> frommono16(const std::vector<uint8_t>& b, int n) {
    std::vector<int> v;
    for (int i = 0; i < n; i++) v.push_back(int16_t(b[2 * i] | b[2 * i + 1] << 8));
    return v;
}

// A ramp converted in pages of 10 frames at several steps is the ramp sampled at
// multiples of the step, without seams at the page boundaries.
TEST(PageResampler, RampStaysARampAcrossPages) {
    for (double step : {1.0, 1.0118, 0.99, 1.5, 0.5}) {
        tpageresampler r;
        r.reset(1, 2);
        std::vector<int> out;
        std::vector<uint8_t> buf(64);
        for (int page = 0; page < 20; page++) {
            std::vector<int> in;
            for (int i = 0; i < 10; i++) in.push_back((page * 10 + i) * 100);
            auto b = pcm16(in);
            int n = r.convert(b.data(), 10, step, buf.data(), 32);
            for (int x : frommono16(buf, n)) out.push_back(x);
        }
        ASSERT_GT(out.size(), size_t(180 / step)) << step;
        for (size_t k = 0; k < out.size(); k++) EXPECT_NEAR(out[k], k * step * 100, 1) << step << " at " << k;
        // Every input frame but the last is covered: 200 frames at `step`.
        EXPECT_NEAR(double(out.size()), 199 / step, 1.01) << step;
    }
}

TEST(PageResampler, EightBitStereoKeepsChannelsApart) {
    tpageresampler r;
    r.reset(2, 1);
    // Left rises from 0 to 255, right stays at 128 (silence).
    std::vector<uint8_t> in;
    for (int i = 0; i < 4; i++) {
        in.push_back(uint8_t(i * 85));
        in.push_back(128);
    }
    uint8_t out[16] = {};
    int n = r.convert(in.data(), 4, 0.5, out, 8);
    ASSERT_EQ(n, 6);
    const int left[6] = {0, 43, 85, 128, 170, 213};
    for (int k = 0; k < n; k++) {
        EXPECT_NEAR(out[2 * k], left[k], 1) << k;
        EXPECT_EQ(out[2 * k + 1], 128) << k;
    }
    // Room for fewer frames than the page gives: no overrun.
    r.reset(2, 1);
    EXPECT_EQ(r.convert(in.data(), 4, 0.5, out, 2), 2);
}

// ---- ten minutes of play ----

constexpr int frameunits = 35112;  // one LCD frame, 59.7275 per second

// The device's side of a queue on the fake clock: like SDL's, it takes its callback
// buffer of 1024 frames at a time, at its own rate; a buffer it cannot fill from the
// queue is an underrun that the listener hears.
struct tdeviceclock {
    double rate = 44100;
    int chunk = 1024;
    double start = -1;
    double stallevery = 0, stall = 0;  // the device's thread loses `stall` s every `stallevery` s
    double nextstall = 0;
    int64_t queued = 0, chunks = 0;
    int64_t gaps = 0;  // buffers played short
    bool fed = false;
    void advance(double now) {
        if (start < 0) return;
        if (stallevery > 0 && now - start >= nextstall) {
            start += stall;
            nextstall += stallevery;
        }
        const int64_t due = int64_t((now - start) * rate / chunk);
        for (; chunks < due; chunks++) {
            if (queued >= chunk) {
                queued -= chunk;
            } else {
                if (fed) gaps++;
                queued = 0;
            }
        }
    }
    void add(int64_t frames, double now) {
        if (start < 0) start = now;
        advance(now);
        queued += frames;
        fed = true;
    }
};

// The wall clock of the frame loop; its message processing lets the device ask for pages,
// as the main window's does.
class tsimhost : public tpacinghost {
public:
    double now = 100.0;
    tgbsoundtov* unit = nullptr;
    double clockseconds() override {
        now += 0.00001;
        return now;
    }
    void sleepms(int ms) override { now += ms * 0.001; }
    void processmessages() override {
        if (unit) unit->serviceoutput();
    }
};

// The device output being mended: pages converted into a queue.
class tfakequeued : public tsoundoutputqueued {
public:
    tfakequeued(tsimhost& h, double rate) : host(h) { dev.rate = rate; }
    tsimhost& host;
    tdeviceclock dev;
    int64_t minqueued = INT64_MAX, maxqueued = 0;
    void init() override {
        Tsoundoutput::init();
        startqueue();
    }

protected:
    int64_t queuedframes() override {
        dev.advance(host.now);
        return dev.queued;
    }
    void queueframes(const uint8_t*, int frames) override {
        dev.add(frames, host.now);
        minqueued = std::min(minqueued, dev.queued - frames);
        maxqueued = std::max(maxqueued, dev.queued);
    }
};

// How pages met the device before: a page handed over whole whenever the queue has
// room for one, at the sound unit's own rate.
class tfakeroom : public Tsoundoutput {
public:
    tfakeroom(tsimhost& h, double rate) : host(h) { dev.rate = rate; }
    tsimhost& host;
    tdeviceclock dev;
    bool pull() override { return true; }
    void writepage(const uint8_t*) override { dev.add(pageframes, host.now); }
    void service() override {
        dev.advance(host.now);
        int room = pagecount - int((dev.queued + pageframes - 1) / pageframes);
        for (int i = 0; i < room; i++) pagecallback();
    }
};

struct tcounts {
    int64_t dropped = 0, underruns = 0, gaps = 0;
};

struct tplay {
    tcounts atstart, atend;
    int64_t minqueued = 0, maxqueued = 0;
};

// Plays `seconds` of emulated time at 1x: each frame the machine's share of sound ticks in
// line-sized slices with the frame-sequencer steps and register writes that render the
// batches, then the real pacer waits for the clock. Counts are taken after the first
// two seconds (the start) and at the end.
struct tdevicekind {
    double ppm = 0;                  // the device's clock against the wall clock
    double stallevery = 0, stall = 0;
};

template <class Device>
tplay play(double seconds, tdevicekind kind) {
    tsimhost host;
    tgbsoundtov unit;
    host.unit = &unit;
    unit.soundreset(false, false);
    // A tone on channel 2, so the batches carry real samples.
    unit.soundwrite(0x25, 0xFF);
    unit.soundwrite(0x17, 0xF0);
    unit.soundwrite(0x19, 0x87);
    auto owned = std::make_unique<Device>(host, 44100 * (1 + kind.ppm * 1e-6));
    Device* dev = owned.get();
    dev->dev.stallevery = kind.stallevery;
    dev->dev.stall = kind.stall;
    dev->dev.nextstall = kind.stallevery;
    configureoutput(*owned, 44100, false, 42);
    unit.setoutput(std::move(owned));
    unit.restartoutput();

    tframepacer pacer(host);
    pacer.start();
    tplay r;
    int32_t step = 0;
    const int frames = int(seconds * 2097152 / frameunits);
    for (int f = 0; f < frames; f++) {
        unit.silencemode = false;
        host.processmessages();
        for (int line = 0; line < 154; line++) {
            unit.pending += frameunits / 154;
            step += frameunits / 154;
            if (step >= 8192) {
                step -= 8192;
                unit.framestep();
            }
            if (line % 16 == 0) unit.soundwrite(0x18, uint8_t(f + line));
        }
        host.now += 0.002;  // emulating the frame takes time
        bool poll;
        pacer.afterframe(true, false, poll);
        pacer.pace(frameunits, false, false, false);
        if (f == int(2 * 59.7275)) {
            r.atstart = {unit.droppedbatches(), unit.underrunpages(), dev->dev.gaps};
            if constexpr (std::is_same_v<Device, tfakequeued>) {
                dev->minqueued = INT64_MAX;
                dev->maxqueued = 0;
            }
        }
    }
    r.atend = {unit.droppedbatches(), unit.underrunpages(), dev->dev.gaps};
    if constexpr (std::is_same_v<Device, tfakequeued>) {
        r.minqueued = dev->minqueued;
        r.maxqueued = dev->maxqueued;
    }
    return r;
}

// At 1x the device plays everything the emulation makes: no batch is dropped and the
// device never runs dry after the start, also when its clock is off the wall clock's
// (500 ppm, or 0.5 % as SDL's timer-driven dummy device is) or its thread loses 50 ms
// every 20 s; the queue stays within a few pages.
TEST(DevicePace, TenMinutesAt1xWithoutDropsOrUnderruns) {
    const tdevicekind kinds[] = {{0}, {500}, {-500}, {5000}, {-5000}, {0, 20, 0.05}};
    for (const tdevicekind& k : kinds) {
        tplay p = play<tfakequeued>(600, k);
        std::printf("device %+.0f ppm, losing %.0f ms every %.0f s: start: %lld dropped, %lld underrun pages, "
                    "%lld device gaps; after 10 minutes: %lld, %lld, %lld; queue after the start %lld..%lld frames\n",
                    k.ppm, k.stall * 1000, k.stallevery, (long long)p.atstart.dropped,
                    (long long)p.atstart.underruns, (long long)p.atstart.gaps, (long long)p.atend.dropped,
                    (long long)p.atend.underruns, (long long)p.atend.gaps, (long long)p.minqueued,
                    (long long)p.maxqueued);
        EXPECT_EQ(p.atend.dropped, 0) << k.ppm;
        EXPECT_EQ(p.atend.underruns, p.atstart.underruns) << k.ppm;
        EXPECT_EQ(p.atend.gaps, 0) << k.ppm;
        // The start only primes the device's pages.
        EXPECT_LE(p.atstart.underruns, 4) << k.ppm;
        EXPECT_GT(p.minqueued, 525) << k.ppm;
        EXPECT_LT(p.maxqueued, 8 * 1050) << k.ppm;
    }
}

// The same play with each page handed to the device whole at the unit's rate drops
// batches within the first minute: the fault the conversion mends.
TEST(DevicePace, WholePagesAtTheUnitsRateDropBatches) {
    tplay p = play<tfakeroom>(60, {});
    std::printf("whole pages: %lld dropped batches in a minute\n", (long long)p.atend.dropped);
    EXPECT_GT(p.atend.dropped, 10);
}

}  // namespace
}  // namespace tov
