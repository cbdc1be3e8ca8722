// Cost of drawing one line with the DMG and GBC line routines (items = lines).
#include <benchmark/benchmark.h>

#include <memory>
#include <random>
#include <vector>

#include "video/videooptions.h"
#include "video/gbdrawtov.h"
#include "video/gfxout.h"

namespace {

using namespace tov;

struct tlinebench {
    tvideooptions settings;
    std::vector<uint8_t> vram = std::vector<uint8_t>(0x4000);
    uint8_t oam[160] = {};
    uint16_t palram[64] = {};
    tlinewrite writes[maxlinewrites];
    std::unique_ptr<tgfxoutpal> out;
    std::unique_ptr<tgbdrawtov> r;

    tlinebench(bool gbc, int sprites, bool wrapped) {
        settings.SpriteLimit = true;
        settings.Gamma = 2.2;
        settings.ColorSaturation = 0.85;
        settings.ColorWhitepoint = 0xFFFFFF;
        std::mt19937 rng(7);
        for (auto& b : vram) b = uint8_t(rng());
        for (int s = 0; s < 40; ++s) {
            oam[4 * s] = s < sprites ? uint8_t(16 + (s * 37) % 144) : 0;
            oam[4 * s + 1] = uint8_t(8 + (s * 53) % 160);
            oam[4 * s + 2] = uint8_t(rng());
            oam[4 * s + 3] = uint8_t(rng() & 0xF0);
        }
        if (wrapped) {
            auto o = std::make_unique<tgfxoutpalwrapped>(std::make_unique<tgfxwrapmemory>(32));
            o->setsize(160, 144);
            o->attach();
            out = std::move(o);
        } else {
            out = std::make_unique<tgfxoutpalnull>();
        }
        r = std::make_unique<tgbdrawtov>(settings);
        r->vram = vram.data();
        r->oam = oam;
        r->gbcpalram = palram;
        r->linewrites = writes;
        r->gbcmode = gbc;
        r->gbchardware = gbc;
        r->gfxout = out.get();
        r->init();
        r->ownregisters().lcdc = 0xF3;  // window, background, sprites
        r->ownregisters().scx = 3;
        r->ownregisters().wx = 87;
        r->ownregisters().wy = 40;
        r->ownregisters().bgp = 0xE4;
        r->ownregisters().obp0 = 0xD2;
        r->ownregisters().obp1 = 0x1B;
    }

    // scroll: SCX moves by one every frame, so no line repeats the previous frame's.
    void run(benchmark::State& state, int writecount, bool scroll = false) {
        int ly = 0;
        r->framebegin();
        for (auto _ : state) {
            r->startline(ly);
            if (writecount) {
                for (int i = 0; i < writecount; ++i) writes[i] = {0xFF43, uint8_t(3 + i), 60 - 12 * i, uint8_t(4 + i)};
                r->linewritecount = writecount;
            }
            r->drawline(ly);
            r->linewritecount = 0;
            if (++ly == 144) {
                r->frameend();
                ly = 0;
                if (scroll) ++r->ownregisters().scx;
                r->framebegin();
            }
        }
        r->frameend();
        state.SetItemsProcessed(state.iterations());
    }
};

void BM_DmgLine(benchmark::State& state) { tlinebench(false, int(state.range(0)), false).run(state, 0); }
void BM_GbcLine(benchmark::State& state) { tlinebench(true, int(state.range(0)), false).run(state, 0); }
void BM_DmgLineToSurface(benchmark::State& state) { tlinebench(false, 10, true).run(state, 0); }
void BM_GbcLineToSurface(benchmark::State& state) { tlinebench(true, 10, true).run(state, 0); }
void BM_DmgLineToSurfaceScrolling(benchmark::State& state) { tlinebench(false, 10, true).run(state, 0, true); }
void BM_GbcLineToSurfaceScrolling(benchmark::State& state) { tlinebench(true, 10, true).run(state, 0, true); }

// Converting one 160-pixel line into a 32-bit surface (items = lines); the lines change
// every frame unless `Arg` is 1.
void BM_ConvertLine32(benchmark::State& state) {
    tgfxoutpalwrapped out(std::make_unique<tgfxwrapmemory>(32));
    out.setsize(160, 144);
    out.attach();
    for (int i = 0; i < 256; ++i) out.palette[i] = uint32_t(i * 0x010305);
    out.setpalette(0, 256);
    const bool same = state.range(0) == 1;
    uint8_t seed = 0;
    int y = 0;
    out.beginframe();
    for (auto _ : state) {
        uint8_t* line = out.getline(y);
        for (int x = 0; x < 160; ++x) line[x] = uint8_t(x + y + seed);
        out.lineready();
        if (++y == 144) {
            out.endframe();
            y = 0;
            if (!same) ++seed;
            out.beginframe();
        }
    }
    out.endframe();
    state.SetItemsProcessed(state.iterations());
}

void BM_DmgLineMidLineWrites(benchmark::State& state) { tlinebench(false, 10, false).run(state, 3); }

BENCHMARK(BM_DmgLine)->Arg(0)->Arg(10)->Arg(40);
BENCHMARK(BM_GbcLine)->Arg(0)->Arg(10)->Arg(40);
BENCHMARK(BM_DmgLineToSurface);
BENCHMARK(BM_GbcLineToSurface);
BENCHMARK(BM_DmgLineToSurfaceScrolling);
BENCHMARK(BM_GbcLineToSurfaceScrolling);
BENCHMARK(BM_ConvertLine32)->Arg(0)->Arg(1);
BENCHMARK(BM_DmgLineMidLineWrites);

}  // namespace
