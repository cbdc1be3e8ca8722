// Machine cycles (4 clocks each) of an instruction as the processor-load meter counts them:
// the disassembler's cycle tables, with conditional jumps, calls and returns counted by
// whether their condition holds now.
#pragma once
#include <cstdint>

#include "debugger/disasm.h"

namespace tov {

inline uint32_t metercycles(uint8_t op, uint8_t second, bool zero, bool carry) {
    const bool jr = (op & 0xE7) == 0x20, jp = (op & 0xE7) == 0xC2, call = (op & 0xE7) == 0xC4,
               ret = (op & 0xE7) == 0xC0;
    if (jr || jp || call || ret) {
        // Conditions by bits 4-3: NZ, Z, NC, C.
        const unsigned cc = (op >> 3) & 3;
        const bool taken = cc == 0 ? !zero : cc == 1 ? zero : cc == 2 ? !carry : carry;
        if (taken) return jr ? 3 : jp ? 4 : call ? 6 : 5;
    }
    return uint32_t(instructioncycles(op, second));
}

}  // namespace tov
