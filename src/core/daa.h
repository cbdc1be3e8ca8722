// Decimal adjust (DAA) as one table look-up: 4096 entries indexed by
// ((F & 0xF0) << 4) | A, each holding the adjusted A and the resulting F.
#pragma once
#include <array>
#include <cstdint>

namespace tov {

struct tdaaentry {
    uint8_t a;
    uint8_t f;
};

// The decimal-adjust rule itself, for one packed flag byte and accumulator.
// After an addition (N = 0) the high and low digit are corrected by 0x60 / 0x06
// when they overflowed (carry / half carry) or left the range 0-9; after a
// subtraction (N = 1) only the borrows recorded in C and H are undone.
// H is always cleared, Z follows the result, N is kept and C is never cleared.
constexpr tdaaentry daarule(uint8_t a, uint8_t f) {
    bool n = f & 0x40, h = f & 0x20, c = f & 0x10;
    if (!n) {
        if (c || a > 0x99) {
            a = uint8_t(a + 0x60);
            c = true;
        }
        if (h || (a & 0x0F) > 9) a = uint8_t(a + 0x06);
    } else {
        if (c) a = uint8_t(a - 0x60);
        if (h) a = uint8_t(a - 0x06);
    }
    uint8_t nf = uint8_t((a == 0 ? 0x80 : 0) | (n ? 0x40 : 0) | (c ? 0x10 : 0));
    return {a, nf};
}

constexpr std::array<tdaaentry, 4096> makedaatable() {
    std::array<tdaaentry, 4096> t{};
    for (unsigned i = 0; i < 4096; ++i) t[i] = daarule(uint8_t(i & 0xFF), uint8_t((i >> 4) & 0xF0));
    return t;
}

inline constexpr std::array<tdaaentry, 4096> daatable = makedaatable();

}  // namespace tov
