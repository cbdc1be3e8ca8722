// Rendering one emulated second of a busy four-channel mix, with and without the
// band-limited pulses.
#include <benchmark/benchmark.h>

#include <memory>

#include "sound/gbsoundtov.h"
#include "sound/soundoutput.h"

namespace {

// Accepts pages and forgets them.
class tnulloutput : public tov::Tsoundoutput {
public:
    bool pull() override { return false; }
};

void setupmix(tov::tgbsoundtov& u, bool sqwave) {
    auto out = std::make_unique<tnulloutput>();
    out->setformat(44100, 2, 2);
    out->setpagesize(1050);
    out->setpagecount(4);
    u.setoutput(std::move(out));
    u.setsqwave(sqwave);
    u.soundreset(false, false);
    u.restartoutput();
    u.soundwrite(0x25, 0xFF);
    // Two pulses an octave apart, a wave and noise.
    u.soundwrite(0x11, 0x80); u.soundwrite(0x12, 0xF0); u.soundwrite(0x13, 0x00); u.soundwrite(0x14, 0x87);
    u.soundwrite(0x16, 0x40); u.soundwrite(0x17, 0xF0); u.soundwrite(0x18, 0x80); u.soundwrite(0x19, 0x87);
    for (int i = 0; i < 16; i++) u.wavewrite(i, uint8_t(i * 0x11));
    u.soundwrite(0x1A, 0x80); u.soundwrite(0x1C, 0x20); u.soundwrite(0x1D, 0x00); u.soundwrite(0x1E, 0x86);
    u.soundwrite(0x21, 0xF0); u.soundwrite(0x22, 0x21); u.soundwrite(0x23, 0x80);
}

void renderonesecond(benchmark::State& state, bool sqwave) {
    tov::tgbsoundtov u;
    setupmix(u, sqwave);
    for (auto _ : state) {
        // 256 frame-sequencer steps of 8192 ticks, as the machine drives it.
        for (int i = 0; i < 256; i++) {
            u.pending += 8192;
            u.framestep();
            if (i % 64 == 0) {
                // Keep the notes going: retrigger (a register write mid-second).
                u.soundwrite(0x14, 0x87);
                u.soundwrite(0x19, 0x87);
            }
        }
    }
    state.SetItemsProcessed(state.iterations() * 44620);
}

void BM_SoundOneSecond(benchmark::State& state) { renderonesecond(state, false); }
void BM_SoundOneSecondSQWave(benchmark::State& state) { renderonesecond(state, true); }

}  // namespace

BENCHMARK(BM_SoundOneSecond)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SoundOneSecondSQWave)->Unit(benchmark::kMillisecond);
