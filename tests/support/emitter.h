// Places SM83 code in a ROM image byte by byte, for the tests that write longer programs
// with loops and subroutines; jumps and calls take absolute addresses.
#pragma once
#include <cstdint>
#include <initializer_list>
#include <vector>

namespace tov::testing {

struct temitter {
    std::vector<uint8_t>& rom;
    int pc;
    void b(std::initializer_list<int> bytes) {
        for (int v : bytes) rom[size_t(pc++)] = uint8_t(v);
    }
    // A relative jump (`opcode` 0x18, or 0x20/0x28/0x30/0x38 with a condition) to `target`.
    void jr(int opcode, int target) { b({opcode, (target - (pc + 2)) & 0xFF}); }
    void jp(int target) { b({0xC3, target & 0xFF, target >> 8}); }
    void jpnz(int target) { b({0xC2, target & 0xFF, target >> 8}); }
    void call(int target) { b({0xCD, target & 0xFF, target >> 8}); }
    // An instruction with a 16-bit operand (ld bc/de/hl/sp,nnnn and the like).
    void ld16(int opcode, int value) { b({opcode, value & 0xFF, value >> 8}); }

    // A subroutine sending the Super Game Boy packet at HL (16 bytes) through P1 as a game
    // sends it: the reset pulse (both lines low), 128 bits low bit first (a one: P15 low, a
    // zero: P14 low, each followed by both lines high), then a zero stop bit. Changes A, B,
    // C, D and HL. Returns its address.
    int sgbpacketsender() {
        const int start = pc;
        b({0xAF, 0xE0, 0x00, 0x3E, 0x30, 0xE0, 0x00, 0x06, 0x10});  // reset pulse; ld b,16
        const int byteloop = pc;
        b({0x2A, 0x57, 0x0E, 0x08});  // ld a,(hl+); ld d,a; ld c,8
        const int bitloop = pc;
        // ld a,$20 (P14 low); bit 0,d; jr z,+2; ld a,$10 (P15 low); ldh (P1),a; both high; srl d; dec c
        b({0x3E, 0x20, 0xCB, 0x42, 0x28, 0x02, 0x3E, 0x10, 0xE0, 0x00, 0x3E, 0x30, 0xE0, 0x00, 0xCB, 0x3A, 0x0D});
        jr(0x20, bitloop);
        b({0x05});  // dec b
        jr(0x20, byteloop);
        b({0x3E, 0x20, 0xE0, 0x00, 0x3E, 0x30, 0xE0, 0x00, 0xC9});  // the stop bit; ret
        return start;
    }
};

}  // namespace tov::testing
