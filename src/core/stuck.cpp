// Dead-machine detection. Hardware facts it rests on: HALT ends as soon as IE & IF has a
// bit set, whatever IME says; an interrupt is taken only with IME on; a one-instruction
// loop changes no register, flag or memory, so it repeats until an interrupt takes the
// CPU away. STOP is not a sleep in this machine (the CPU goes on after it, and on hardware
// it would end on a joypad line going low), so it never leaves the program stuck by itself.
#include "core/stuck.h"

#include "core/gb.h"

namespace tov {

namespace {

// Interrupt sources that can still raise a request while the program does nothing: the
// LCD's VBlank and STAT only while the LCD is on; the timer only while TAC runs it; the
// serial port only with a transfer this side clocks, or on a cable whose peer may clock
// one; the joypad always, since a key can be pressed.
uint8_t livesources(const tgb& gb) {
    uint8_t s = 0x10;
    if (gb.lcdregs.lcdc & lcdcenable) s |= 0x03;
    if (gb.tac & 4) s |= 0x04;
    if (gb.link || (gb.sc & 0x81) == 0x81) s |= 0x08;
    return s;
}

// The byte the CPU would fetch at an address, where looking has no side effects; -1 where
// it might have (I/O registers, cartridge RAM and controller routines).
int peek(const tgb& gb, uint16_t a) {
    const tpageentry& e = gb.pagetable[a >> 12];
    if (e.data) return e.data[a];
    int page = a >> 12;
    if (page == 0xF) {
        if (a >= 0xFF80 && a <= 0xFFFE) return gb.hram[a - 0xFF80];
        if (a < 0xFE00) return gb.wrambank[a & 0xFFF];  // echo of 0xD000-0xDDFF
        return -1;
    }
    // ROM banks, the boot image and VRAM read without side effects.
    if (page <= 9 && e.read) return e.read(e.context, a);
    return -1;
}

// The instruction at PC jumps to PC itself (taken, with the current flags).
bool jumpstoitself(const tgb& gb) {
    const tcpustate& c = gb.cpu;
    uint16_t pc = c.PC;
    int op = peek(gb, pc);
    if (op < 0) return false;
    auto condition = [&](int opcode) {
        switch ((opcode >> 3) & 3) {
        case 0: return !c.flagZ;
        case 1: return bool(c.flagZ);
        case 2: return !c.flagC;
        default: return bool(c.flagC);
        }
    };
    auto absolute = [&] {
        int lo = peek(gb, uint16_t(pc + 1)), hi = peek(gb, uint16_t(pc + 2));
        return lo >= 0 && hi >= 0 && uint16_t(hi << 8 | lo) == pc;
    };
    switch (op) {
    case 0x18: return peek(gb, uint16_t(pc + 1)) == 0xFE;  // jr -2
    case 0x20: case 0x28: case 0x30: case 0x38:             // jr cc,-2
        return condition(op) && peek(gb, uint16_t(pc + 1)) == 0xFE;
    case 0xC3: return absolute();                           // jp pc
    case 0xC2: case 0xCA: case 0xD2: case 0xDA:             // jp cc,pc
        return condition(op) && absolute();
    case 0xE9: return c.HL == pc;                           // jp (hl)
    default: return false;
    }
}

}  // namespace

tstuck stuckreason(const tgb& gb) {
    const tcpustate& c = gb.cpu;
    uint8_t enabled = gb.iereg & 0x1F;
    bool requested = (enabled & gb.ifreg) != 0;
    bool canrequest = (enabled & livesources(gb)) != 0;
    // Halted and no enabled request: only a new request can end the HALT.
    if (c.halted && !requested) {
        if (!enabled) return stuckhalt;
        return canrequest ? stucknone : stuckhaltidle;
    }
    // The doubled byte after a HALT is fetched without advancing PC: not a plain loop.
    if (c.haltbugskip || !jumpstoitself(gb)) return stucknone;
    if (!c.ime && !c.eipending) return stuckloop;
    return requested || canrequest ? stucknone : stuckloopidle;
}

const char* stucktext(tstuck reason) {
    switch (reason) {
    case stuckhalt: return "HALT with no interrupt enabled";
    case stuckhaltidle: return "HALT waiting for interrupts whose sources are off";
    case stuckloop: return "jump to itself with interrupts off";
    case stuckloopidle: return "jump to itself with no interrupt that can come";
    default: return "running";
    }
}

}  // namespace tov
