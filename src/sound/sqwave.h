// Band-limited pulse generator for the two square channels: a pulse is summed from
// its harmonics below half the sample rate, so high notes do not alias.
#pragma once
#include <cstdint>

namespace tov::sqwaveunit {

constexpr int costablesize = 16384;
constexpr int harmonics = 128;

struct ttables {
    int32_t cosine[costablesize];      // Trunc(cos(2 pi i / 16384) x 24576)
    int32_t coeff[4][harmonics];       // C[d][k]
    float dc[4];                       // -C[d][0] / 65536
};

// The tables, built on first use and shared by every sound unit (read-only).
const ttables& tables();

// A value between about -1 and +1 for a 26-bit phase and increment; +1 is the high
// part of the pulse, centred on phase 0. d: 0 = 50 %, 1 = 25 %, 2 = 12.5 %, 3 = 75 %.
float bandlimited(uint32_t phase, uint32_t increment, int d, const ttables& t);

}  // namespace tov::sqwaveunit
