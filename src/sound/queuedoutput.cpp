#include "sound/queuedoutput.h"

#include <algorithm>
#include <cmath>

namespace tov {

// ---- rate conversion ----

void tpageresampler::reset(int channels, int bytespersample) {
    chans = std::clamp(channels, 1, 8);
    bytes = bytespersample == 1 ? 1 : 2;
    pos = 0;
    std::fill(std::begin(last), std::end(last), 0);
    primed = false;
}

int32_t tpageresampler::sample(const uint8_t* in, int frame, int channel) const {
    if (frame < 0) return last[channel];
    const uint8_t* p = in + (size_t(frame) * chans + channel) * bytes;
    if (bytes == 1) return int32_t(p[0]) - 128;
    return int16_t(uint16_t(p[0] | p[1] << 8));
}

void tpageresampler::put(uint8_t* out, int32_t v) const {
    if (bytes == 1) {
        out[0] = uint8_t(std::clamp(v, -128, 127) + 128);
    } else {
        v = std::clamp(v, -32768, 32767);
        out[0] = uint8_t(v);
        out[1] = uint8_t(v >> 8);
    }
}

int tpageresampler::convert(const uint8_t* in, int frames, double step, uint8_t* out, int capacity) {
    if (!in || frames <= 0 || !(step > 0) || step > 1e6) return 0;
    if (!primed) {
        // The stream begins at its first frame.
        for (int c = 0; c < chans; c++) last[c] = sample(in, 0, c);
        pos = 0;
        primed = true;
    }
    // Positions in 32.32 fixed point from the carried frame (-1), so the loop is integer only.
    constexpr double one = 4294967296.0;
    int64_t p = int64_t((pos + 1) * one);
    const int64_t inc = std::max<int64_t>(1, int64_t(step * one));
    const int64_t end = int64_t(frames) << 32;  // input frame frames - 1, from -1
    const size_t framebytes = size_t(chans) * bytes;
    int n = 0;
    // Output frames lie between input frames -1 (the carried one) and frames - 1.
    for (; p < end && n < capacity; n++, p += inc) {
        const int i = int(p >> 32) - 1;
        const int64_t f = p & 0xFFFFFFFF;
        uint8_t* o = out + size_t(n) * framebytes;
        for (int c = 0; c < chans; c++) {
            const int64_t a = sample(in, i, c), b = sample(in, i + 1, c);
            put(o + size_t(c) * bytes, int32_t(a + (((b - a) * f + (int64_t(1) << 31)) >> 32)));
        }
    }
    pos = std::max(double(p) / one - 1 - frames, -1.0);
    for (int c = 0; c < chans; c++) last[c] = sample(in, frames - 1, c);
    return n;
}

// ---- queued device ----

double tsoundoutputqueued::nominalstep() const {
    const double rate = samplerate > 0 ? samplerate : 1;
    const double source = sourcerate > 0 ? sourcerate : rate;
    return source / rate;
}

void tsoundoutputqueued::startqueue() {
    resampler.reset(channels, bytespersample);
    const double minstep = nominalstep() * (1 - maxtrim);
    convertedframes = tpageresampler::maxoutput(std::max(1, pageframes), minstep);
    converted.assign(size_t(convertedframes) * size_t(std::max(1, framebytes())), 0);
    smoothed = double(targetframes());
    trimnow = 0;
    integral = 0;
    fed = false;
    starvedpasses = 0;
}

void tsoundoutputqueued::writepage(const uint8_t* frames) {
    if (!initialised || !frames || converted.empty()) return;
    // More queued than aimed at plays the source slightly faster, less plays it slower.
    const double q = double(queuedframes());
    smoothed += (q - smoothed) / 16;
    const double e = (smoothed - double(targetframes())) / std::max(1, pageframes);
    const double seconds = double(pageframes) / std::max(1, samplerate);
    integral = std::clamp(integral + intgain * e * seconds, -maxtrim, maxtrim);
    const double wide = std::max(0.0, std::abs(e) - widepages) * widegain;
    trimnow = std::clamp(propgain * e + (e < 0 ? -wide : wide) + integral, -maxtrim, maxtrim);
    const int n = resampler.convert(frames, pageframes, nominalstep() * (1 + trimnow), converted.data(),
                                    convertedframes);
    if (n > 0) queueframes(converted.data(), n);
    fed = true;
    pageswritten++;
}

void tsoundoutputqueued::service() {
    if (!initialised || !pagecallback) return;
    if (fed && queuedframes() == 0) starvedpasses++;
    // Bounded: each page taken grows the queue, but a device that refuses data must not
    // hold the loop here.
    for (int guard = 0; guard < 2 * pagecount + 4; guard++) {
        const int64_t q = queuedframes();
        const bool ready = backlog ? backlog() >= pageframes : true;
        if (!((ready && q < highframes()) || q < lowframes())) break;
        pagecallback();
    }
}

}  // namespace tov
