// Whole frames from random VRAM, OAM and registers (changing from line to line) against a
// plain pixel-by-pixel model of the drawing rules, in DMG and GBC mode.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "videotest.h"

namespace tov::test {
namespace {

struct tmodel {
    const std::vector<uint8_t>& vram;
    const uint8_t* oam;
    bool gbc, gbchardware, spritelimit;
    int windowline = -1;
    bool triggered = false;

    int tilepixel(int bank, int address, int row, int x) const {
        const uint8_t lo = vram[bank * 0x2000 + address + 2 * row];
        const uint8_t hi = vram[bank * 0x2000 + address + 2 * row + 1];
        return ((lo >> (7 - x)) & 1) | (((hi >> (7 - x)) & 1) << 1);
    }
    int tileaddress(uint8_t lcdc, uint8_t n) const {
        return (lcdc & 0x10) ? 16 * n : 0x1000 + 16 * int8_t(n);
    }

    // One line with the registers given; `out` gets 160 palette indices.
    void line(int ly, uint8_t lcdc, uint8_t scx, uint8_t scy, uint8_t wx, uint8_t wy, uint8_t bgp, uint8_t obp0,
              uint8_t obp1, uint8_t* out) {
        int ewx = wx;
        if (!gbchardware && ewx == 166) ewx = 7;
        if ((ly == wy || ly == wy + 1) && (lcdc & 0x20) && windowline < 0) triggered = true;
        const bool won = ewx <= 166 && triggered && (lcdc & 0x20);
        if (won) ++windowline;
        const int wstart = won ? (ewx > 6 ? ewx - 7 : 0) : 160;
        int raw[160];
        bool prio[160];
        for (int x = 0; x < 160; ++x) {
            int mapbase, px, py;
            const bool inwindow = x >= wstart;
            if (inwindow) {
                mapbase = (lcdc & 0x40) ? 0x1C00 : 0x1800;
                px = x - ewx + 7;
                py = windowline & 255;
            } else {
                mapbase = (lcdc & 0x08) ? 0x1C00 : 0x1800;
                px = (scx + x) & 255;
                py = (scy + ly) & 255;
            }
            const int m = mapbase + 32 * (py / 8) + px / 8;
            const uint8_t n = vram[m];
            if (!gbc) {
                prio[x] = false;
                if (!inwindow && !(lcdc & 1)) {
                    raw[x] = 0;
                    out[x] = uint8_t(0x20 | (bgp & 3));
                    continue;
                }
                const int c = tilepixel(0, tileaddress(lcdc, n), py & 7, px & 7);
                raw[x] = c;
                out[x] = uint8_t((inwindow ? 0x24 : 0x20) | ((bgp >> (2 * c)) & 3));
            } else {
                const uint8_t a = vram[0x2000 + m];
                const int row = (a & 0x40) ? 7 - (py & 7) : (py & 7);
                const int col = (a & 0x20) ? 7 - (px & 7) : (px & 7);
                const int c = tilepixel((a >> 3) & 1, tileaddress(lcdc, n), row, col);
                raw[x] = c;
                prio[x] = (a & 0x80) != 0;
                out[x] = uint8_t(4 + 4 * (a & 7) + c);
            }
        }
        if (!(lcdc & 2)) return;
        const int h = (lcdc & 4) ? 16 : 8;
        std::vector<int> on;
        for (int s = 0; s < 40; ++s) {
            const int top = oam[4 * s] - 16;
            if (top == -16 || top >= 143) continue;
            if (ly < top || ly >= top + h) continue;
            on.push_back(s);
        }
        if (spritelimit && on.size() > 10) on.resize(10);
        if (!gbc) std::stable_sort(on.begin(), on.end(), [&](int a, int b) { return oam[4 * a + 1] < oam[4 * b + 1]; });
        uint8_t layer[160];
        std::copy(out, out + 160, layer);
        for (int i = int(on.size()) - 1; i >= 0; --i) {
            const uint8_t* o = oam + 4 * on[i];
            int row = ly + 16 - o[0];
            if (o[3] & 0x40) row = h - 1 - row;
            int t = o[2];
            if (h == 16) t &= 0xFE;
            t += row / 8;
            const int bank = gbc ? (o[3] >> 3) & 1 : 0;
            for (int k = 0; k < 8; ++k) {
                const int sx = o[1] - 8 + k;
                if (sx < 0 || sx >= 160) continue;
                const int c = tilepixel(bank, 16 * t, row & 7, (o[3] & 0x20) ? 7 - k : k);
                if (!c) continue;
                if (!gbc) {
                    if ((o[3] & 0x80) && raw[sx]) continue;
                    const uint8_t p = (o[3] & 0x10) ? obp1 : obp0;
                    out[sx] = uint8_t(((o[3] & 0x10) ? 0x0C : 0x08) | ((p >> (2 * c)) & 3));
                } else {
                    if ((o[3] & 0x80) && (lcdc & 1) && (out[sx] & 3)) continue;
                    out[sx] = uint8_t(36 + 4 * (o[3] & 7) + c);
                }
            }
        }
        if (gbc && (lcdc & 1))
            for (int x = 0; x < 160; ++x)
                if (prio[x] && raw[x]) out[x] = layer[x];
    }
};

class RendererModel : public tvideotest, public ::testing::WithParamInterface<int> {};

TEST_P(RendererModel, RandomFramesMatchThePixelRules) {
    const bool gbc = GetParam() == 1;
    const bool gbchardware = GetParam() != 0;
    std::mt19937 rng(1234 + GetParam());
    auto byte = [&] { return uint8_t(rng() & 0xFF); };
    for (int round = 0; round < 24; ++round) {
        settings.SpriteLimit = (round & 1) == 0;
        make(gbc, gbchardware);
        for (int a = 0; a < 0x4000; ++a) vram[a] = byte();
        for (auto& b : oam) b = byte();
        // Keep some sprites on screen and many on the same lines.
        for (int s = 0; s < 40; ++s) {
            if (rng() % 3 == 0) oam[4 * s] = uint8_t(16 + rng() % 20);
            if (rng() % 2 == 0) oam[4 * s + 1] = uint8_t(rng() % 168);
        }
        r->invalidate();
        tmodel model{vram, oam, gbc, gbchardware, settings.SpriteLimit};
        r->framebegin();
        uint8_t want[160];
        for (int ly = 0; ly < 144; ++ly) {
            if (ly == 0 || rng() % 8 == 0) {
                r->ownregisters().lcdc = uint8_t(0x80 | (byte() & 0x7F));
                r->ownregisters().scx = byte();
                r->ownregisters().scy = byte();
                r->ownregisters().wx = uint8_t(rng() % 4 == 0 ? 166 : rng() % 176);
                r->ownregisters().wy = uint8_t(rng() % 150);
                r->ownregisters().bgp = byte();
                r->ownregisters().obp0 = byte();
                r->ownregisters().obp1 = byte();
            }
            if (rng() % 16 == 0) {
                // Tile data and OAM change between lines: the caches must follow.
                const int a = int(rng() % 0x1800), bank = int(rng() % 2);
                vram[bank * 0x2000 + a] = byte();
                r->vramwrite(bank, a);
                const int o = int(rng() % 160);
                oam[o] = byte();
                r->oamwrite(o);
            }
            model.line(ly, r->ownregisters().lcdc, r->ownregisters().scx, r->ownregisters().scy, r->ownregisters().wx, r->ownregisters().wy, r->ownregisters().bgp, r->ownregisters().obp0, r->ownregisters().obp1, want);
            drawline(ly);
            for (int x = 0; x < 160; ++x)
                ASSERT_EQ(int(line(ly)[x]), int(want[x])) << "round " << round << " line " << ly << " x " << x;
        }
        r->frameend();
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, RendererModel, ::testing::Values(0, 1, 2),
                         [](const ::testing::TestParamInfo<int>& info) {
                             return info.param == 0 ? std::string("Dmg") : info.param == 1 ? std::string("Gbc") : std::string("DmgOnGbcHardware");
                         });

}  // namespace
}  // namespace tov::test
