// Synthesiser and mixer: level tables per batch, then a per-sample loop of table
// lookups and adds.
#include "sound/gbsoundtov.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "sound/sqwave.h"
#include "state/statevisitor.h"

namespace tov {

namespace {

constexpr uint32_t phasemask = (1u << 26) - 1;

// Pulse shapes, 4 duties x 8 steps; 2 = high.
constexpr int32_t dutytable[4][8] = {
    {0, 0, 0, 0, 2, 0, 0, 0},
    {0, 0, 0, 0, 2, 2, 0, 0},
    {0, 0, 2, 2, 2, 2, 0, 0},
    {2, 2, 2, 2, 0, 0, 2, 2},
};

// The noise LFSR, unrolled: K leading 1 entries (heard only right after a trigger),
// then one full period of the 7-bit or 15-bit register.
struct tlfsrtables {
    uint8_t short7[8 + 127];
    uint8_t long15[16 + 32767];
};

void buildlfsr(uint8_t* t, int bits, int prefix) {
    for (int i = 0; i < prefix; i++) t[i] = 1;
    uint32_t reg = (1u << bits) - 1;
    int count = (1 << bits) - 1;
    for (int i = 0; i < count; i++) {
        uint32_t bit = (reg ^ (reg >> 1)) & 1;
        t[prefix + i] = uint8_t(bit);
        reg = (reg >> 1) | (bit << (bits - 1));
    }
}

const tlfsrtables& lfsrtables() {
    static const tlfsrtables t = [] {
        tlfsrtables r{};
        buildlfsr(r.short7, 7, 8);
        buildlfsr(r.long15, 15, 16);
        return r;
    }();
    return t;
}

}  // namespace

tgbsoundtov::tgbsoundtov() {
    lfsrtables();  // built once, before the first batch needs them
    setvolume(90);
}

tgbsoundtov::~tgbsoundtov() {
    // Destroying the output shuts it down.
    out.reset();
}

void tgbsoundtov::setvolume(int v) {
    v = std::clamp(v, 0, 100);
    volumem = v == 0 ? 0 : int(std::trunc(41.0 / std::pow(2.0, (100 - v) * 0.04)));
}

void tgbsoundtov::setoutput(std::unique_ptr<Tsoundoutput> o) { out = std::move(o); }

void tgbsoundtov::setrate(long double rate) {
    // A rate of zero or below would divide by zero; such a rate comes only from a
    // broken setting, and 1 Hz keeps every step finite.
    if (!(rate >= 1)) rate = 1;
    effrate = rate;
    for (int x = 0; x < 2048; x++) {
        long double v = std::nearbyint((131072.0L / (2048 - x)) * 67108864.0L / rate);
        // More than 3/8 of a period per sample would alias: hold the phase instead.
        increments[x] = v >= 0x1800000 ? 0x3FFFFFFu : uint32_t(v);
    }
    tps = std::max(1, int(2097152.0L / rate));
}

void tgbsoundtov::restartoutput() {
    if (!out) {
        effrate = 0;
        std::vector<uint8_t>().swap(staging);
        cap = 0;
        bufcount = 0;
        return;
    }
    bits8 = out->bytespersample == 1;
    setrate((long double)out->samplerate / speedfactor);
    refreshlevels();
    cap = std::max(0, out->pagesize());
    staging.assign(size_t(cap) * 8, 0);
    out->pagecallback = tpagecallback{&tgbsoundtov::pagethunk, this};
    out->backlog = tbacklogcallback{&tgbsoundtov::backlogthunk, this};
    // Whole ticks per sample: the frames come at 2^21 / ticks per sample per emulated
    // second, and emulated seconds pass `speed factor` times as fast as real ones.
    out->sourcerate = double(2097152.0L / tps * speedfactor);
    out->init();
    // A group reports its pacing member's page size, which its init has only now set to
    // the group's: the pages handed over must be as long as the ones the outputs write.
    if (out->pagesize() != cap) {
        cap = std::max(0, out->pagesize());
        staging.assign(size_t(cap) * 8, 0);
    }
    bufcount = 0;
    // Prime a device's ring. A push output (WAV file alone) is not primed: its
    // pages are emulated time only.
    if (out->pull())
        for (int i = 0; i < out->pagecount; i++) fillpage();
}

void tgbsoundtov::stopoutput() {
    out.reset();
    restartoutput();
}

void tgbsoundtov::statefields(tstatevisitor& v) {
    tgbsound::statefields(v);
    // Four 32-bit phases, then the noise position and the two filter states as 64-bit
    // values, little-endian. The levels and tables follow from the registers.
    constexpr int32_t mixsize = 4 * 4 + 3 * 8;
    auto put = [](uint8_t*& out, uint64_t value, int bytes) {
        for (int i = 0; i < bytes; i++) *out++ = uint8_t(value >> (8 * i));
    };
    auto get = [](const uint8_t*& in, int bytes) {
        uint64_t value = 0;
        for (int i = 0; i < bytes; i++) value |= uint64_t(*in++) << (8 * i);
        return value;
    };
    // A filter state never leaves the mixer's range; a damaged one is brought back into it.
    constexpr int64_t filterlimit = int64_t(1) << 24;
    v.blockvalue(
        "s_mix", mixsize,
        [&](uint8_t* out) {
            for (auto& m : mix) put(out, m.phase, 4);
            put(out, uint64_t(lfsrpos), 8);
            put(out, uint64_t(hpright), 8);
            put(out, uint64_t(hpleft), 8);
        },
        [&](const uint8_t* in) {
            for (auto& m : mix) m.phase = uint32_t(get(in, 4)) & phasemask;
            lfsrpos = std::clamp(int64_t(get(in, 8)), int64_t(0), int64_t(32767 + 16) << 15);
            hpright = std::clamp(int64_t(get(in, 8)), -filterlimit, filterlimit);
            hpleft = std::clamp(int64_t(get(in, 8)), -filterlimit, filterlimit);
        });
}

void tgbsoundtov::renderpending() {
    if (pending < 80) return;
    underruncount = 0;
    if (!out) return;  // the time only accumulates
    int n = pending / tps;
    rendersamples(n);
    pending %= tps;
}

void tgbsoundtov::trigger(int channel) {
    tgbsound::trigger(channel);
    switch (channel) {
    case 3: lfsrpos = 0; break;
    case 2: mix[2].phase = 0; break;
    default:
        // Start about 1/24 period back, so the first step is not cut short.
        mix[channel].phase = (mix[channel].phase - 2796202u) & phasemask;
        break;
    }
}

void tgbsoundtov::refreshlevels() {
    if (!power) {
        for (auto& m : mix) {
            std::memset(m.level, 0, sizeof m.level);
            m.increment = 0;
        }
        lfsrperiod = 127;
        return;
    }
    const tlfsrtables& lt = lfsrtables();
    for (auto& m : mix) std::memset(m.level, 0, sizeof m.level);

    // Pulse channels.
    for (int c = 0; c < 2; c++) {
        if (!channels[c].on) continue;
        const int32_t* row = dutytable[channels[c].nrx1 >> 6];
        for (int i = 0; i < 8; i++) mix[c].level[i] = row[i];
        mix[c].increment = increments[channels[c].frequency & 2047];
    }
    // Noise channel.
    if (channels[3].on) {
        mix[3].level[0] = 2;  // LFSR output 0 is the high level
        mix[3].level[1] = 0;
        if (effrate != 0) {
            int s = nr43 >> 4;
            int64_t r = (nr43 & 7) ? 524288 / (nr43 & 7) : 1048576;
            lfsrstep = int64_t(std::trunc((long double)(r >> (s + 1)) * 32768.0L / effrate));
        }
    }
    if (nr43 & 8) {
        lfsr = lt.short7;
        lfsrperiod = 127;
        lfsrprefix = 8;
    } else {
        lfsr = lt.long15;
        lfsrperiod = 32767;
        lfsrprefix = 16;
    }
    for (int c : {0, 1, 3})
        for (int i = 0; i < 8; i++) mix[c].level[i] *= channels[c].volume;

    // Wave channel: 32 four-bit steps, shifted by the NR32 output level, centred.
    if (channels[2].on) {
        int32_t* lv = mix[2].level;
        for (int i = 0; i < 16; i++) {
            lv[2 * i] = ch3wave[i] >> 4;
            lv[2 * i + 1] = ch3wave[i] & 15;
        }
        int shift = channels[2].nrx2 & 0x60;
        for (int i = 0; i < 32; i++) {
            int32_t v = lv[i];
            switch (shift) {
            case 0x00: v = 8; break;
            case 0x20: break;
            case 0x40: v = v / 2 + 4; break;
            default: v = v / 4 + 6; break;
            }
            lv[i] = 2 * v - 15;
        }
        mix[2].increment = increments[channels[2].frequency & 2047] / 2;
    }

    for (int c = 0; c < 4; c++)
        if (!channels[c].on) {
            std::memset(mix[c].level, 0, sizeof mix[c].level);
            mix[c].increment = 0;
        }

    const int used[4] = {8, 8, 32, 2};
    const int32_t m = volumem;
    const int32_t rightmul = (nr50 & 7) + 1, leftmul = ((nr50 >> 4) & 7) + 1;
    for (int c = 0; c < 4; c++) {
        int32_t* lv = mix[c].level;
        int n = used[c];
        for (int i = 0; i < n; i++) lv[i] *= m;
        // Panning: NR51 bit c+4 sends the channel left, bit c right.
        for (int i = 0; i < n; i++) lv[32 + i] = (nr51 & (0x10 << c)) ? lv[i] : 0;
        if (!(nr51 & (1 << c)))
            for (int i = 0; i < n; i++) lv[i] = 0;
        for (int i = 0; i < n; i++) {
            lv[i] *= rightmul;
            lv[32 + i] *= leftmul;
        }
    }
    // The master volume and the Vin bits shift the DC level; the high-pass filter lets
    // the resulting step decay. Carried on the noise channel's levels.
    {
        int32_t right = m * (nr50 & 7) * 35 + ((nr50 & 0x08) ? m * 325 : 0);
        int32_t left = m * ((nr50 >> 4) & 7) * 35 + ((nr50 & 0x80) ? m * 325 : 0);
        for (int i = 0; i < 2; i++) {
            mix[3].level[i] += right;
            mix[3].level[32 + i] += left;
        }
    }
    for (int c = 0; c < 4; c++)
        if (channelmask & (1 << c)) std::memset(mix[c].level, 0, sizeof mix[c].level);

    for (int c = 0; c < 2; c++) {
        int32_t r = 0, l = 0;
        for (int i = 0; i < 8; i++) {
            r = std::max(r, mix[c].level[i]);
            l = std::max(l, mix[c].level[32 + i]);
        }
        blamp[c][0] = r / 2;
        blamp[c][1] = l / 2;
    }
}

namespace {

// One side of the output: 16-bit samples are saturated, not wrapped, so a loud mix
// clips instead of cracking.
inline int32_t saturate16(int64_t v) { return int32_t(std::clamp<int64_t>(v, -32768, 32767)); }

}  // namespace

void tgbsoundtov::rendersamples(int n) {
    if (!out || n < 0 || staging.empty()) return;
    if (int64_t(bufcount) + n > 2 * int64_t(cap)) {
        dropcount++;
        return;
    }
    refreshlevels();
    if (!lfsr) {
        lfsr = lfsrtables().long15;
        lfsrperiod = 32767;
        lfsrprefix = 16;
    }
    // The position survives a switch to the short table; bring it into range.
    if (lfsrpos >= ((lfsrperiod + lfsrprefix) << 15)) {
        int64_t k = lfsrprefix << 15;
        lfsrpos = k + (lfsrpos - k) % (lfsrperiod << 15);
    }
    const int64_t a = std::max<int64_t>(1, int64_t(5512500.0L / effrate));
    const sqwaveunit::ttables* bl = sqwave ? &sqwaveunit::tables() : nullptr;

    const int framebytes = bits8 ? 2 : 4;
    uint8_t* dst = staging.data() + size_t(bufcount) * framebytes;

    tmixblock& c1 = mix[0];
    tmixblock& c2 = mix[1];
    tmixblock& c3 = mix[2];
    tmixblock& c4 = mix[3];
    // Duty index of the band-limited tables: 50 %, 25 %, 12.5 %, 75 % by NRx1 duty 2, 1, 0, 3.
    static constexpr int blduty[4] = {2, 1, 0, 3};
    const int d1 = blduty[channels[0].nrx1 >> 6];
    const int d2 = blduty[channels[1].nrx1 >> 6];
    const int64_t P = lfsrperiod, K = lfsrprefix, wrap = P + K;
    const uint8_t* T = lfsr;
    int64_t p = lfsrpos;
    const int64_t q = lfsrstep;

    for (int s = 0; s < n; s++) {
        int32_t right = 0, left = 0;
        if (!bl) {
            uint32_t i1 = c1.phase >> 23, i2 = c2.phase >> 23;
            right += c1.level[i1] + c2.level[i2];
            left += c1.level[32 + i1] + c2.level[32 + i2];
        } else {
            float b1 = sqwaveunit::bandlimited(c1.phase, c1.increment, d1, *bl);
            float b2 = sqwaveunit::bandlimited(c2.phase, c2.increment, d2, *bl);
            // In double the product of a single and a level is exact, so Trunc sees the
            // true value rather than one rounded to 24 bits.
            const double e1 = b1, e2 = b2;
            right += int32_t(e1 * blamp[0][0] + blamp[0][0]) + int32_t(e2 * blamp[1][0] + blamp[1][0]);
            left += int32_t(e1 * blamp[0][1] + blamp[0][1]) + int32_t(e2 * blamp[1][1] + blamp[1][1]);
        }
        c1.phase = (c1.phase + c1.increment) & phasemask;
        c2.phase = (c2.phase + c2.increment) & phasemask;

        uint32_t i3 = c3.phase >> 21;
        right += c3.level[i3];
        left += c3.level[32 + i3];
        c3.phase = (c3.phase + c3.increment) & phasemask;

        // Noise: average every LFSR step passed within this sample.
        int64_t end = (p + q) >> 15;
        while (end >= wrap) end -= P;
        int64_t f = p >> 15;
        // 64-bit sums: at very low rates thousands of steps fall into one sample.
        int64_t sumr = 0, suml = 0, count = 0;
        while (f != end) {
            f++;
            while (f >= wrap) f -= P;
            sumr += c4.level[T[f]];
            suml += c4.level[32 + T[f]];
            count++;
        }
        if (count < 2) {
            right += c4.level[T[f]];
            left += c4.level[32 + T[f]];
        } else {
            right += int32_t(sumr / count);
            left += int32_t(suml / count);
        }
        p += q;
        while (p >= wrap << 15) p -= P << 15;

        // High-pass filter: remove the DC level.
        hpright = (right + (a - 1) * hpright) / a;
        hpleft = (left + (a - 1) * hpleft) / a;
        int32_t outr = saturate16(right - hpright);
        int32_t outl = saturate16(left - hpleft);
        if (bits8) {
            dst[0] = uint8_t(((outl ^ 0x8000) >> 8) & 0xFF);
            dst[1] = uint8_t(((outr ^ 0x8000) >> 8) & 0xFF);
            dst += 2;
        } else {
            dst[0] = uint8_t(outl);
            dst[1] = uint8_t(outl >> 8);
            dst[2] = uint8_t(outr);
            dst[3] = uint8_t(outr >> 8);
            dst += 4;
        }
    }
    lfsrpos = p;
    bufcount += n;
    if (!out->pull() && bufcount >= cap) fillpage();
}

void tgbsoundtov::fillpage() {
    if (!out) return;
    const int framebytes = bits8 ? 2 : 4;
    if (bufcount < cap) {
        underruncount++;
        underruntotal++;
        if (silencemode) {
            std::memset(staging.data() + size_t(bufcount) * framebytes, bits8 ? 128 : 0,
                        size_t(cap - bufcount) * framebytes);
            bufcount = cap;
        } else {
            // A push output receives the page from inside rendersamples; hand it over once.
            pagedelivered = false;
            rendersamples(cap - bufcount);
            if (pagedelivered) return;
        }
    } else {
        underruncount = 0;
    }
    silencemode = underruncount > 7;
    if (staging.empty()) return;
    out->writepage(staging.data());
    pagedelivered = true;
    if (bufcount > cap) {
        std::memmove(staging.data(), staging.data() + size_t(cap) * framebytes,
                     size_t(bufcount - cap) * framebytes);
        bufcount -= cap;
    } else {
        bufcount = 0;
    }
}

std::string soundchannelstext(int mask) {
    std::string s = "sound channels: ";
    for (int i = 0; i < 4; i++) {
        if (i) s += ' ';
        s += (mask & (1 << i)) ? '0' : '1';
    }
    return s;
}

std::string volumelabeltext(int volume) {
    if (volume <= 0) return "-inf";
    char buf[32];
    double db = (volume - 100) * 0.04 * 6;
    std::snprintf(buf, sizeof buf, "%.1f", db);
    std::string t = buf;
    return t == "-0.0" ? "0.0" : t;
}

}  // namespace tov
