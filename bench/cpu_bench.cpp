// Interpreter speed on a loop of mixed instructions in plain memory.
// Reports emulated clocks per second, instructions per second (items)
// and nanoseconds per instruction.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <initializer_list>

#include "core/cpu.h"

namespace {

struct tbenchmachine {
    std::array<uint8_t, 0x10000> mem{};
    std::array<tov::tpageentry, 16> pages{};
    tov::tcpustate cpu;

    tbenchmachine() {
        for (auto& p : pages) p.data = mem.data();
        cpu.pagetable = pages.data();
        cpu.read = [](void* c, uint16_t a) -> uint8_t { return static_cast<tbenchmachine*>(c)->mem[a]; };
        cpu.readcontext = this;
        cpu.write = [](void* c, uint16_t a, uint8_t v) {
            auto* m = static_cast<tbenchmachine*>(c);
            if (a >= 0x8000) m->mem[a] = v;  // ROM area is read-only, as on the bus
        };
        cpu.writecontext = this;
        cpu.SP = 0xDFFE;
        cpu.PC = 0x0150;
        // Inner loop of about 15.5 instructions costing 124 clocks:
        const std::initializer_list<uint8_t> code = {
            0x21, 0x00, 0xC0,  // 0150 LD HL,C000
            0x11, 0x00, 0xD0,  // 0153 LD DE,D000
            0x06, 0x00,        // 0156 LD B,0
            0x2A,              // 0158 loop: LD A,(HL+)      8
            0x80,              //      ADD A,B               4
            0x12,              //      LD (DE),A             8
            0x13,              //      INC DE                8
            0xA9,              //      XOR C                 4
            0xCB, 0x37,        //      SWAP A                8
            0x4F,              //      LD C,A                4
            0xC5,              //      PUSH BC              16
            0xC1,              //      POP BC               12
            0xFE, 0x80,        //      CP 80                 8
            0x38, 0x01,        //      JR C,+1           12/8
            0x3C,              //      INC A                 4
            0xE6, 0x7F,        //      AND 7F                8
            0x77,              //      LD (HL),A             8
            0x05,              //      DEC B                 4
            0x20, 0xEB,        //      JR NZ,loop           12
            0xC3, 0x50, 0x01,  //      JP 0150
        };
        uint16_t a = 0x0150;
        for (uint8_t b : code) mem[a++] = b;
    }
};

// Budget per call: a whole frame, or a typical scheduler slice.
void BM_CpuMixedLoop(benchmark::State& state) {
    tbenchmachine m;
    const int32_t budget = int32_t(state.range(0));
    int64_t clocks = 0;
    for (auto _ : state) {
        m.cpu.cycles = budget;
        tov::cpuexecute(m.cpu);
        clocks += budget - m.cpu.cycles;
    }
    benchmark::DoNotOptimize(m.cpu.A);
    // The loop averages about 8 clocks per instruction.
    state.counters["clocks/s"] = benchmark::Counter(double(clocks), benchmark::Counter::kIsRate);
    state.counters["ns/instr"] = benchmark::Counter(double(clocks) / 8,
                                                    benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
    state.SetItemsProcessed(clocks / 8);
}
BENCHMARK(BM_CpuMixedLoop)->Arg(70224)->Arg(128);

}  // namespace
