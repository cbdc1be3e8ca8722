// The processor: register record, page table entry and the interpreter entry points.
#pragma once
#include <cstdint>

namespace tov {

using treadroutine = uint8_t (*)(void* context, uint16_t address);
using twriteroutine = void (*)(void* context, uint16_t address, uint8_t value);
using tnotifyroutine = void (*)(void* context);

// One 4 KiB page of the 64 KiB address space. When `data` is set it is biased by
// the page base, so the byte for address X is data[X]. Otherwise `read` is called.
struct tpageentry {
    uint8_t* data = nullptr;
    treadroutine read = nullptr;
    void* context = nullptr;
};

struct tcpustate {
    int32_t cycles = 0;  // run budget in clocks; a NOP costs 4
    // Register pairs are little-endian: F/A, C/B, E/D, L/H.
    union { struct { uint8_t F, A; }; uint16_t AF; };
    union { struct { uint8_t C, B; }; uint16_t BC; };
    union { struct { uint8_t E, D; }; uint16_t DE; };
    union { struct { uint8_t L, H; }; uint16_t HL; };
    uint16_t SP = 0;
    uint16_t PC = 0;
    uint8_t ime = 0;
    uint8_t eipending = 0;
    uint8_t halted = 0;
    // Flags as separate 0/1 bytes; F is only valid after packflags.
    uint8_t flagZ = 0, flagN = 0, flagH = 0, flagC = 0;
    tpageentry* pagetable = nullptr;  // 16 entries, index = address >> 12
    uint8_t haltbugskip = 0;
    uint8_t emulatehaltbug = 1;
    uint8_t exitflag = 0;
    // Data reads of pages without a direct pointer; pages with one are read through the
    // pointer without a call. To see every read of a region, clear its page pointer.
    treadroutine read = nullptr;
    void* readcontext = nullptr;
    twriteroutine write = nullptr;
    void* writecontext = nullptr;
    tnotifyroutine onstop = nullptr;
    void* onstopcontext = nullptr;
    tnotifyroutine onillegal = nullptr;
    void* onillegalcontext = nullptr;

    tcpustate() : AF(0), BC(0), DE(0), HL(0) {}
};

void packflags(tcpustate& s);
void unpackflags(tcpustate& s);

// Runs instructions until the budget is spent or the run is ended early.
// PC and `cycles` are current in the record whenever a memory routine or event
// runs; routines may change any other field and end the run through `exitflag`
// (looked at after instructions that write memory), but must not change PC or
// `cycles` themselves.
void cpuexecute(tcpustate& s);

// Opcode length in bytes (1-3) and whether an opcode is one of the eleven illegal
// ones. 0xCB counts 2, STOP 2 (the byte after it is skipped), illegal opcodes 1.
int opcodelength(uint8_t opcode);
bool isillegalopcode(uint8_t opcode);

}  // namespace tov
