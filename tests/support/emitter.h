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
};

}  // namespace tov::testing
