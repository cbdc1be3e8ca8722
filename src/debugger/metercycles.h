// Machine cycles (4 clocks each) of an instruction as the processor-load meter counts them:
// conditional jumps, calls and returns by whether the condition holds now.
#pragma once
#include <cstdint>

namespace tov {

// Plain opcodes, conditional ones at their not-taken count; 0 for 0xCB and invalid opcodes.
inline constexpr uint8_t metercycletable[256] = {
    1, 3, 2, 2, 1, 1, 2, 1, 5, 2, 2, 2, 1, 1, 2, 1,  // 0x
    1, 3, 2, 2, 1, 1, 2, 1, 3, 2, 2, 2, 1, 1, 2, 1,  // 1x
    2, 3, 2, 2, 1, 1, 2, 1, 2, 2, 2, 2, 1, 1, 2, 1,  // 2x
    2, 3, 2, 2, 3, 3, 3, 1, 2, 2, 2, 2, 1, 1, 2, 1,  // 3x
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,  // 4x
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,  // 5x
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,  // 6x
    2, 2, 2, 2, 2, 2, 1, 2, 1, 1, 1, 1, 1, 1, 2, 1,  // 7x
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,  // 8x
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,  // 9x
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,  // Ax
    1, 1, 1, 1, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1, 2, 1,  // Bx
    2, 3, 3, 4, 3, 4, 2, 4, 2, 4, 3, 0, 3, 6, 2, 4,  // Cx
    2, 3, 3, 0, 3, 4, 2, 4, 2, 4, 3, 0, 3, 0, 2, 4,  // Dx
    3, 3, 2, 0, 0, 4, 2, 4, 4, 1, 4, 0, 0, 0, 2, 4,  // Ex
    3, 3, 2, 1, 0, 4, 2, 4, 3, 2, 4, 1, 0, 0, 2, 4,  // Fx
};

// A CB-prefixed instruction by its second byte: 2, or for (HL) 4 (rotates, shifts), 3 (BIT), 4 (RES, SET).
inline constexpr uint32_t cbcycles(uint8_t second) {
    constexpr uint8_t hl[4] = {4, 3, 4, 4};
    return (second & 7) == 6 ? hl[second >> 6] : 2;
}

// A plain opcode with the flags now: the taken count for a condition that holds.
inline constexpr uint32_t opcodecycles(uint8_t op, bool zero, bool carry) {
    if ((op & 0xE7) == 0xC0 || (op & 0xE7) == 0x20 || (op & 0xE7) == 0xC2 || (op & 0xE7) == 0xC4) {
        // Conditions by bits 4-3: NZ, Z, NC, C.
        unsigned cc = (op >> 3) & 3;
        bool taken = cc == 0 ? !zero : cc == 1 ? zero : cc == 2 ? !carry : carry;
        if ((op & 0xE7) == 0x20) return taken ? 3 : 2;  // JR cc
        if ((op & 0xE7) == 0xC2) return taken ? 4 : 3;  // JP cc
        if ((op & 0xE7) == 0xC4) return taken ? 6 : 3;  // CALL cc
        if ((op & 0xE7) == 0xC0) return taken ? 5 : 2;  // RET cc
    }
    return metercycletable[op];
}

}  // namespace tov
