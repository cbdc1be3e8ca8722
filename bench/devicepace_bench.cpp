// Ten minutes of the demo cartridge at 1x through the whole machine, the real frame pacer
// and a device on a fake clock that drains its queue in 1024-frame buffers at 44100 Hz:
// counts the batches the sound unit dropped, the pages it had to fill short and the
// buffers the device played short, at the start (the first two seconds, which hold the
// primed pages and the demo's switching on of the LCD, a frame of 2.3 frames' time that the
// two-page staging buffer cannot hold whole) and after it. Also the cost of converting one
// page to the device's rate.
#include <benchmark/benchmark.h>

#include <memory>

#include "../tools/demorom.cpp"
#include "core/pacing.h"
#include "frontend/session.h"
#include "frontend/settings.h"
#include "sound/queuedoutput.h"
#include "sound/soundsetup.h"

namespace {

using namespace tov;

class tbenchhost : public tpacinghost {
public:
    double now = 50.0;
    tgbsoundtov* unit = nullptr;
    double clockseconds() override { return now += 0.00001; }
    void sleepms(int ms) override { now += ms * 0.001; }
    void processmessages() override {
        if (unit) unit->serviceoutput();
    }
};

class tbenchdevice : public tsoundoutputqueued {
public:
    explicit tbenchdevice(tbenchhost& h) : host(h) {}
    tbenchhost& host;
    double start = -1;
    int64_t queued = 0, buffers = 0, shortbuffers = 0;
    void init() override {
        Tsoundoutput::init();
        startqueue();
    }

protected:
    void advance() {
        if (start < 0) return;
        for (int64_t due = int64_t((host.now - start) * 44100 / 1024); buffers < due; buffers++) {
            if (queued < 1024) shortbuffers++;
            queued = queued < 1024 ? 0 : queued - 1024;
        }
    }
    int64_t queuedframes() override {
        advance();
        return queued;
    }
    void queueframes(const uint8_t*, int frames) override {
        if (start < 0) start = host.now;
        advance();
        queued += frames;
    }
};

void BM_DevicePaceTenMinutesDemo(benchmark::State& state) {
    for (auto _ : state) {
        tsettings settings;
        std::string error, message;
        tbenchhost host;
        tsessionparts parts;
        parts.memorypicture = true;
        tsession session(settings, "", parts);
        tgbsoundtov& unit = *session.synthesiser();
        host.unit = &unit;
        if (!session.loadimage(demo::buildrom(error), "", true, message)) {
            state.SkipWithError("demo cartridge");
            return;
        }
        auto dev = std::make_unique<tbenchdevice>(host);
        tbenchdevice* d = dev.get();
        configureoutput(*dev, 44100, false, 42);
        unit.setoutput(std::move(dev));
        unit.restartoutput();
        tframepacer pacer(host);
        pacer.start();
        int64_t startdrops = 0, startunderruns = 0, startshort = 0;
        const int frames = int(600 * 59.7275);
        for (int f = 0; f < frames; f++) {
            host.processmessages();
            // "A" held for a few frames every two seconds: the demo counts and beeps.
            session.machine().joypadset(0, 4, f % 120 < 4);
            session.runframe(f % 2 == 0);
            host.now += 0.002;
            bool poll;
            pacer.afterframe(true, false, poll);
            pacer.pace(35112, false, false, false);
            if (f == 120) {
                startdrops = unit.droppedbatches();
                startunderruns = unit.underrunpages();
                startshort = d->shortbuffers;
            }
        }
        state.counters["dropped_at_start"] = double(startdrops);
        state.counters["underruns_at_start"] = double(startunderruns);
        state.counters["dropped_after_start"] = double(unit.droppedbatches() - startdrops);
        state.counters["underruns_after_start"] = double(unit.underrunpages() - startunderruns);
        state.counters["device_short_after_start"] = double(d->shortbuffers - startshort);
        unit.stopoutput();
    }
}

void BM_DevicePageConversion(benchmark::State& state) {
    tpageresampler r;
    r.reset(2, 2);
    std::vector<uint8_t> in(1050 * 4), out(1100 * 4);
    for (size_t i = 0; i < in.size(); i++) in[i] = uint8_t(i * 7);
    for (auto _ : state) benchmark::DoNotOptimize(r.convert(in.data(), 1050, 44620.25 / 44100, out.data(), 1100));
    state.SetItemsProcessed(state.iterations());
}

}  // namespace

BENCHMARK(BM_DevicePaceTenMinutesDemo)->Unit(benchmark::kSecond)->Iterations(1);
BENCHMARK(BM_DevicePageConversion)->Unit(benchmark::kMicrosecond);
