#include "sound/sqwave.h"

#include <cmath>

namespace tov::sqwaveunit {

namespace {
ttables build() {
    ttables t{};
    const double pi = 3.14159265358979323846;
    for (int i = 0; i < costablesize; i++)
        t.cosine[i] = int32_t(std::trunc(std::cos(2 * pi * i / costablesize) * 24576.0));
    // Fourier coefficients of a pulse of duty D, scaled so that the sum of k terms
    // divided by 805306368 spans about -1..+1.
    const double duty[3] = {0.5, 0.25, 0.125};
    for (int d = 0; d < 3; d++) {
        double D = duty[d];
        t.coeff[d][0] = int32_t(65536.0 * (1 - 2 * D));
        for (int k = 1; k < harmonics; k++)
            t.coeff[d][k] = int32_t(std::trunc(512.0 * std::sin(k * pi * D) / std::sin(k * pi / 256)));
    }
    // 75 % is the inverted 25 % pulse.
    for (int k = 0; k < harmonics; k++) t.coeff[3][k] = -t.coeff[1][k];
    for (int d = 0; d < 4; d++) t.dc[d] = float(-t.coeff[d][0] / 65536.0);
    return t;
}
}  // namespace

const ttables& tables() {
    static const ttables t = build();
    return t;
}

float bandlimited(uint32_t phase, uint32_t increment, int d, const ttables& t) {
    constexpr uint32_t period = 1u << 26, mask = period - 1;
    if (increment < 0x40000) {
        // Low notes: the plain pulse has no audible aliasing.
        if (d < 3) {
            uint32_t c = (phase + (0x1000000u >> d)) & mask;
            return c < (0x2000000u >> d) ? 1.0f : -1.0f;
        }
        uint32_t c = (phase + 0x200000u) & mask;
        return c < 0x1000000u ? -1.0f : 1.0f;
    }
    if (increment == 0x3FFFFFF) return 1.0f;  // muted by the increment table
    int64_t sum = 0;  // 32 bits suffice; 64 keep an extreme edge from overflowing
    const int32_t* coeff = t.coeff[d];
    for (uint32_t k = 1; k < uint32_t(harmonics) && uint64_t(k) * increment < 0x2000000u; k++) {
        int32_t c = coeff[k];
        if (c == 0) continue;
        uint32_t p = uint32_t((uint64_t(k) * phase) & mask) >> 12;
        sum += int64_t(t.cosine[p]) * c;
    }
    // The quotient and the sum with DC in extended precision, rounded to single once.
    return float((long double)t.dc[d] + (long double)sum / 805306368.0L);
}

}  // namespace tov::sqwaveunit
