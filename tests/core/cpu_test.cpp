// Processor interpreter against a flat 64 KiB memory: results and flags by
// instruction group, costs, the budget rule, HALT, EI/DI/RETI, STOP, illegal
// opcodes and the memory access paths.
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <initializer_list>
#include <vector>

#include "core/cpu.h"

namespace tov {
namespace {

struct taccess {
    bool write;
    uint16_t address;
    uint8_t value;
    bool operator==(const taccess&) const = default;
};

// A flat 64 KiB machine: every page points straight at one buffer, the read
// and write routines go to the same buffer and log every access.
struct tflatmachine {
    std::array<uint8_t, 0x10000> mem{};
    std::array<tpageentry, 16> pages{};
    tcpustate cpu;
    std::vector<taccess> log;
    int exitaddress = -1;  // a write here sets exitflag, like a timing register
    int stops = 0;
    int illegals = 0;

    tflatmachine() {
        for (auto& p : pages) p.data = mem.data();  // biased by the page base: data[X] = mem[X]
        cpu.pagetable = pages.data();
        cpu.read = [](void* c, uint16_t a) -> uint8_t {
            auto* m = static_cast<tflatmachine*>(c);
            m->log.push_back({false, a, m->mem[a]});
            return m->mem[a];
        };
        cpu.readcontext = this;
        cpu.write = [](void* c, uint16_t a, uint8_t v) {
            auto* m = static_cast<tflatmachine*>(c);
            m->log.push_back({true, a, v});
            m->mem[a] = v;
            if (a == m->exitaddress) m->cpu.exitflag = 1;
        };
        cpu.writecontext = this;
        cpu.PC = 0x0100;
        cpu.SP = 0xFFFE;
    }

    void load(uint16_t address, std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes) mem[address++] = b;
    }
    // Places code at PC.
    void code(std::initializer_list<uint8_t> bytes) { load(cpu.PC, bytes); }

    // Runs one slice; returns the clocks used.
    int run(int budget) {
        cpu.cycles = budget;
        cpuexecute(cpu);
        return budget - cpu.cycles;
    }
    int step() { return run(1); }

    void setflags(int z, int n, int h, int c) {
        cpu.flagZ = uint8_t(z);
        cpu.flagN = uint8_t(n);
        cpu.flagH = uint8_t(h);
        cpu.flagC = uint8_t(c);
    }
    std::array<int, 4> flags() const { return {cpu.flagZ, cpu.flagN, cpu.flagH, cpu.flagC}; }
    std::vector<taccess> writes() const {
        std::vector<taccess> w;
        for (auto& a : log)
            if (a.write) w.push_back(a);
        return w;
    }
};

constexpr uint8_t illegalops[] = {0xD3, 0xDB, 0xDD, 0xE3, 0xE4, 0xEB, 0xEC, 0xED, 0xF4, 0xFC, 0xFD};

// Clocks per main opcode when a conditional branch is taken, from the
// processor's documented timings; 0 for 0xCB (costed by sub-opcode) and the
// illegal opcodes. STOP costs 8 here.
constexpr int takencost[256] = {
    4,  12, 8,  8,  4,  4,  8,  4,  20, 8,  8,  8,  4,  4,  8,  4,   // 0x
    8,  12, 8,  8,  4,  4,  8,  4,  12, 8,  8,  8,  4,  4,  8,  4,   // 1x
    12, 12, 8,  8,  4,  4,  8,  4,  12, 8,  8,  8,  4,  4,  8,  4,   // 2x
    12, 12, 8,  8,  12, 12, 12, 4,  12, 8,  8,  8,  4,  4,  8,  4,   // 3x
    4,  4,  4,  4,  4,  4,  8,  4,  4,  4,  4,  4,  4,  4,  8,  4,   // 4x
    4,  4,  4,  4,  4,  4,  8,  4,  4,  4,  4,  4,  4,  4,  8,  4,   // 5x
    4,  4,  4,  4,  4,  4,  8,  4,  4,  4,  4,  4,  4,  4,  8,  4,   // 6x
    8,  8,  8,  8,  8,  8,  4,  8,  4,  4,  4,  4,  4,  4,  8,  4,   // 7x
    4,  4,  4,  4,  4,  4,  8,  4,  4,  4,  4,  4,  4,  4,  8,  4,   // 8x
    4,  4,  4,  4,  4,  4,  8,  4,  4,  4,  4,  4,  4,  4,  8,  4,   // 9x
    4,  4,  4,  4,  4,  4,  8,  4,  4,  4,  4,  4,  4,  4,  8,  4,   // Ax
    4,  4,  4,  4,  4,  4,  8,  4,  4,  4,  4,  4,  4,  4,  8,  4,   // Bx
    20, 12, 16, 16, 24, 16, 8,  16, 20, 16, 16, 0,  24, 24, 8,  16,  // Cx
    20, 12, 16, 0,  24, 16, 8,  16, 20, 16, 16, 0,  24, 0,  8,  16,  // Dx
    12, 12, 8,  0,  0,  16, 8,  16, 16, 4,  16, 0,  0,  0,  8,  16,  // Ex
    12, 12, 8,  4,  0,  16, 8,  16, 12, 8,  16, 4,  0,  0,  8,  16,  // Fx
};

// Conditional opcodes: which flag (Z or C) and the value that takes the branch.
struct tcond {
    bool conditional;
    bool onC;
    int takenwhen;
    int nottakencost;
};
tcond condition(uint8_t op) {
    switch (op) {
    case 0x20: return {true, false, 0, 8};
    case 0x28: return {true, false, 1, 8};
    case 0x30: return {true, true, 0, 8};
    case 0x38: return {true, true, 1, 8};
    case 0xC0: return {true, false, 0, 8};
    case 0xC8: return {true, false, 1, 8};
    case 0xD0: return {true, true, 0, 8};
    case 0xD8: return {true, true, 1, 8};
    case 0xC2: return {true, false, 0, 12};
    case 0xCA: return {true, false, 1, 12};
    case 0xD2: return {true, true, 0, 12};
    case 0xDA: return {true, true, 1, 12};
    case 0xC4: return {true, false, 0, 12};
    case 0xCC: return {true, false, 1, 12};
    case 0xD4: return {true, true, 0, 12};
    case 0xDC: return {true, true, 1, 12};
    default: return {false, false, 0, 0};
    }
}

bool isillegal(uint8_t op) {
    for (uint8_t i : illegalops)
        if (i == op) return true;
    return false;
}

// ---------------------------------------------------------------------------
// Costs and the budget rule

TEST(CpuCost, EveryMainOpcodeCostsItsDocumentedClocksTakenAndNotTaken) {
    for (int op = 0; op < 256; ++op) {
        if (op == 0xCB || isillegal(uint8_t(op))) continue;
        for (int flagvalue = 0; flagvalue <= 1; ++flagvalue) {
            tflatmachine m;
            m.cpu.HL = 0xC000;
            m.cpu.BC = 0xC100;
            m.cpu.DE = 0xC200;
            m.code({uint8_t(op), 0x00, 0xC0});
            m.setflags(flagvalue, flagvalue, flagvalue, flagvalue);
            tcond c = condition(uint8_t(op));
            int expected = takencost[op];
            if (c.conditional && flagvalue != c.takenwhen) expected = c.nottakencost;
            EXPECT_EQ(m.run(4), expected) << "opcode " << std::hex << op << " flags " << flagvalue;
        }
    }
}

TEST(CpuCost, CbOperationsCostEightOnRegistersAndMoreOnMemory) {
    for (int sub = 0; sub < 256; ++sub) {
        tflatmachine m;
        m.cpu.HL = 0xC000;
        m.code({0xCB, uint8_t(sub)});
        int expected = 8;
        if ((sub & 7) == 6) expected = (sub >> 6) == 1 ? 12 : 16;  // BIT b,(HL) reads only
        EXPECT_EQ(m.run(4), expected) << "CB " << std::hex << sub;
        EXPECT_EQ(m.cpu.PC, 0x0102);
    }
}

TEST(CpuBudget, ABudgetOfFourRunsExactlyOneInstructionOfAnyCost) {
    tflatmachine m;
    m.code({0xCD, 0x00, 0x20, 0x00});  // CALL 0x2000
    m.run(4);
    EXPECT_EQ(m.cpu.cycles, -20);
    EXPECT_EQ(m.cpu.PC, 0x2000);

    tflatmachine n;
    n.code({0x00, 0x00, 0x00});
    n.run(4);
    EXPECT_EQ(n.cpu.cycles, 0);
    EXPECT_EQ(n.cpu.PC, 0x0101);
}

TEST(CpuBudget, RunGoesOnWhileBudgetIsPositive) {
    tflatmachine m;
    m.code({0x00, 0x00, 0x00, 0x00});
    m.run(5);  // 5 -> 1 -> -3: two NOPs
    EXPECT_EQ(m.cpu.PC, 0x0102);
    EXPECT_EQ(m.cpu.cycles, -3);

    tflatmachine n;
    n.code({0x3C, 0x3C, 0x3C, 0x3C, 0x3C});  // INC A x5
    EXPECT_EQ(n.run(12), 12);
    EXPECT_EQ(n.cpu.A, 3);
    EXPECT_EQ(n.cpu.PC, 0x0103);
}

// ---------------------------------------------------------------------------
// Loads, stores and the memory access paths

TEST(CpuLoad, EveryRegisterToRegisterLoadCopiesItsSource) {
    for (int op = 0x40; op < 0x80; ++op) {
        if (op == 0x76) continue;
        tflatmachine m;
        m.cpu.B = 0x11; m.cpu.C = 0x22; m.cpu.D = 0x33; m.cpu.E = 0x44;
        m.cpu.H = 0xC1; m.cpu.L = 0x55; m.cpu.A = 0x77;
        m.mem[0xC155] = 0x66;
        uint8_t before[8] = {m.cpu.B, m.cpu.C, m.cpu.D, m.cpu.E, m.cpu.H, m.cpu.L, m.mem[0xC155], m.cpu.A};
        m.code({uint8_t(op)});
        m.step();
        uint16_t hl = 0xC155;
        uint8_t after[8] = {m.cpu.B, m.cpu.C, m.cpu.D, m.cpu.E, m.cpu.H, m.cpu.L, m.mem[hl], m.cpu.A};
        int dst = (op >> 3) & 7, src = op & 7;
        for (int r = 0; r < 8; ++r) {
            uint8_t expected = r == dst ? before[src] : before[r];
            EXPECT_EQ(after[r], expected) << "opcode " << std::hex << op << " operand " << r;
        }
    }
}

TEST(CpuLoad, ImmediatesAndIndirectForms) {
    tflatmachine m;
    m.cpu.BC = 0xC010;
    m.cpu.DE = 0xC020;
    m.mem[0xC020] = 0x5A;
    m.mem[0xFF80] = 0x3C;
    m.mem[0xFF81] = 0x4D;
    m.code({0x3E, 0x99,         // LD A,99
            0x02,               // LD (BC),A
            0x1A,               // LD A,(DE)
            0xEA, 0x34, 0xC2,   // LD (C234),A
            0x21, 0x00, 0xD0,   // LD HL,D000
            0x36, 0xAB,         // LD (HL),AB
            0xF0, 0x80,         // LDH A,(80)
            0xE0, 0x90,         // LDH (90),A
            0x0E, 0x91,         // LD C,91
            0xE2,               // LD (C),A
            0x0E, 0x81,         // LD C,81
            0xF2,               // LD A,(C)
            0xFA, 0x00, 0xD0}); // LD A,(D000)
    for (int i = 0; i < 7; ++i) m.step();
    EXPECT_EQ(m.cpu.A, 0x3C);
    for (int i = 0; i < 3; ++i) m.step();
    EXPECT_EQ(m.mem[0xFF91], 0x3C);
    m.step();
    m.step();
    EXPECT_EQ(m.cpu.A, 0x4D);
    m.step();
    EXPECT_EQ(m.mem[0xC010], 0x99);
    EXPECT_EQ(m.mem[0xC234], 0x5A);
    EXPECT_EQ(m.mem[0xD000], 0xAB);
    EXPECT_EQ(m.mem[0xFF90], 0x3C);
    EXPECT_EQ(m.cpu.A, 0xAB);
    EXPECT_EQ(m.cpu.HL, 0xD000);
    EXPECT_EQ(m.cpu.PC, 0x0100 + 25);
}

TEST(CpuLoad, HlIncrementAndDecrementFormsAccessBeforeStepping) {
    tflatmachine m;
    m.cpu.HL = 0xFFFF;
    m.cpu.A = 0x42;
    m.code({0x22, 0x32, 0x2A, 0x3A});  // LD (HL+),A; LD (HL-),A; LD A,(HL+); LD A,(HL-)
    m.step();
    EXPECT_EQ(m.mem[0xFFFF], 0x42);
    EXPECT_EQ(m.cpu.HL, 0x0000);  // wraps
    m.mem[0x0000] = 0x17;  // the code is elsewhere
    m.step();
    EXPECT_EQ(m.mem[0x0000], 0x42);
    EXPECT_EQ(m.cpu.HL, 0xFFFF);
    m.mem[0xFFFF] = 0x99;
    m.step();
    EXPECT_EQ(m.cpu.A, 0x99);
    EXPECT_EQ(m.cpu.HL, 0x0000);
    m.step();
    EXPECT_EQ(m.cpu.A, 0x42);
    EXPECT_EQ(m.cpu.HL, 0xFFFF);
}

TEST(CpuMemory, OpcodesComeFromThePagePointerOperandsFromTheReadRoutine) {
    tflatmachine m;
    m.code({0x00, 0x06, 0x12, 0x01, 0x34, 0x12});  // NOP; LD B,12; LD BC,1234
    m.run(28);
    ASSERT_EQ(m.log.size(), 3u);  // no opcode fetch went through the routine
    EXPECT_EQ(m.log[0], (taccess{false, 0x0102, 0x12}));
    EXPECT_EQ(m.log[1], (taccess{false, 0x0104, 0x34}));  // low byte first
    EXPECT_EQ(m.log[2], (taccess{false, 0x0105, 0x12}));
    EXPECT_EQ(m.cpu.BC, 0x1234);
}

TEST(CpuMemory, PagesWithoutPointerAreFetchedThroughThePageRoutine) {
    tflatmachine m;
    static int calls;
    calls = 0;
    m.pages[0x4].data = nullptr;
    m.pages[0x4].context = &m;
    m.pages[0x4].read = [](void* c, uint16_t a) -> uint8_t {
        ++calls;
        return static_cast<tflatmachine*>(c)->mem[a];
    };
    m.cpu.PC = 0x4000;
    m.code({0x3C, 0x3C});
    m.run(8);
    EXPECT_EQ(m.cpu.A, 2);
    EXPECT_EQ(calls, 2);
}

TEST(CpuMemory, APageWithNeitherPointerNorRoutineReadsAsFF) {
    tflatmachine m;
    m.pages[0x4] = tpageentry{};
    m.cpu.PC = 0x4000;
    m.step();  // 0xFF is RST 38
    EXPECT_EQ(m.cpu.PC, 0x0038);
}

TEST(CpuMemory, AnUnwiredStateRunsNothing) {
    tcpustate s;
    s.PC = 0x1234;
    s.cycles = 100;
    cpuexecute(s);
    EXPECT_EQ(s.PC, 0x1234);
    EXPECT_EQ(s.cycles, 0);
}

TEST(CpuMemory, ReadModifyWriteOnHlReadsOnceAndWritesOnce) {
    for (uint8_t sub : {0x06, 0x0E, 0x16, 0x1E, 0x26, 0x2E, 0x36, 0x3E, 0x86, 0xC6}) {
        tflatmachine m;
        m.cpu.HL = 0xC000;
        m.mem[0xC000] = 0x81;
        m.code({0xCB, sub});
        m.step();
        ASSERT_EQ(m.log.size(), 3u) << std::hex << int(sub);  // sub-opcode, operand, result
        EXPECT_FALSE(m.log[1].write);
        EXPECT_EQ(m.log[1].address, 0xC000);
        EXPECT_TRUE(m.log[2].write);
        EXPECT_EQ(m.log[2].address, 0xC000);
    }
    tflatmachine m;
    m.cpu.HL = 0xC000;
    m.code({0x34, 0x35});
    m.run(24);
    EXPECT_EQ(m.writes().size(), 2u);
    EXPECT_EQ(m.log.size(), 4u);
}

// ---------------------------------------------------------------------------
// 8-bit arithmetic: exhaustive against the bit-level definition of the carries

struct taluresult {
    uint8_t a;
    int z, n, h, c;
};

taluresult runalu(uint8_t op, uint8_t a, uint8_t v, int carry) {
    tflatmachine m;
    m.cpu.A = a;
    m.cpu.B = v;
    m.setflags(0, 0, 0, carry);
    m.code({op});
    m.step();
    return {m.cpu.A, m.cpu.flagZ, m.cpu.flagN, m.cpu.flagH, m.cpu.flagC};
}

TEST(CpuAlu, AddAndAdcSetHalfCarryAndCarryFromBits4And8) {
    for (int a = 0; a < 256; a += 3)
        for (int v = 0; v < 256; ++v)
            for (int c = 0; c <= 1; ++c) {
                unsigned full = unsigned(a + v + c);
                unsigned carries = full ^ unsigned(a) ^ unsigned(v);
                taluresult r = runalu(c ? 0x88 : 0x80, uint8_t(a), uint8_t(v), c);  // ADC / ADD
                if (!c) {
                    full = unsigned(a + v);
                    carries = full ^ unsigned(a) ^ unsigned(v);
                }
                ASSERT_EQ(r.a, uint8_t(full)) << a << "+" << v << "+" << c;
                ASSERT_EQ(r.z, uint8_t(full) == 0);
                ASSERT_EQ(r.n, 0);
                ASSERT_EQ(r.h, int((carries >> 4) & 1)) << a << "+" << v << "+" << c;
                ASSERT_EQ(r.c, int((full >> 8) & 1));
            }
}

TEST(CpuAlu, SubSbcAndCpSetBorrowsFromBits4And8) {
    for (int a = 0; a < 256; a += 3)
        for (int v = 0; v < 256; ++v)
            for (int c = 0; c <= 1; ++c) {
                unsigned full = unsigned(a - v - c);
                unsigned borrows = full ^ unsigned(a) ^ unsigned(v);
                taluresult r = runalu(c ? 0x98 : 0x90, uint8_t(a), uint8_t(v), c);  // SBC / SUB
                if (!c) {
                    full = unsigned(a - v);
                    borrows = full ^ unsigned(a) ^ unsigned(v);
                }
                ASSERT_EQ(r.a, uint8_t(full)) << a << "-" << v << "-" << c;
                ASSERT_EQ(r.z, uint8_t(full) == 0);
                ASSERT_EQ(r.n, 1);
                ASSERT_EQ(r.h, int((borrows >> 4) & 1)) << a << "-" << v << "-" << c;
                ASSERT_EQ(r.c, int((full >> 8) & 1));
            }
    // CP computes SUB's flags and keeps A; the carry in is ignored.
    taluresult r = runalu(0xB8, 0x10, 0x01, 1);
    EXPECT_EQ(r.a, 0x10);
    EXPECT_EQ((std::array<int, 4>{r.z, r.n, r.h, r.c}), (std::array<int, 4>{0, 1, 1, 0}));
    r = runalu(0xB8, 0x42, 0x42, 1);
    EXPECT_EQ((std::array<int, 4>{r.z, r.n, r.h, r.c}), (std::array<int, 4>{1, 1, 0, 0}));
    r = runalu(0xB8, 0x00, 0x01, 0);
    EXPECT_EQ(r.c, 1);
}

TEST(CpuAlu, LogicOpsSetFixedFlags) {
    taluresult r = runalu(0xA0, 0xF0, 0x0F, 1);  // AND B
    EXPECT_EQ(r.a, 0);
    EXPECT_EQ((std::array<int, 4>{r.z, r.n, r.h, r.c}), (std::array<int, 4>{1, 0, 1, 0}));
    r = runalu(0xA8, 0xFF, 0x0F, 1);  // XOR B
    EXPECT_EQ(r.a, 0xF0);
    EXPECT_EQ((std::array<int, 4>{r.z, r.n, r.h, r.c}), (std::array<int, 4>{0, 0, 0, 0}));
    r = runalu(0xB0, 0x00, 0x00, 1);  // OR B
    EXPECT_EQ((std::array<int, 4>{r.z, r.n, r.h, r.c}), (std::array<int, 4>{1, 0, 0, 0}));
    r = runalu(0xAF, 0x5A, 0x00, 1);  // XOR A
    EXPECT_EQ(r.a, 0);
    EXPECT_EQ(r.z, 1);
}

TEST(CpuAlu, OperandFormsReadTheirOperand) {
    // ADD A,n / ADD A,(HL) / ADC A,n / SUB n / SBC n / AND n / XOR n / OR n / CP n
    tflatmachine m;
    m.cpu.HL = 0xC000;
    m.mem[0xC000] = 0x05;
    m.code({0xC6, 0x10, 0x86, 0xCE, 0xF0, 0xD6, 0x01, 0xDE, 0x01, 0xE6, 0x0F, 0xEE, 0xFF, 0xF6, 0x01, 0xFE, 0xF1});
    m.step();
    EXPECT_EQ(m.cpu.A, 0x10);
    m.step();
    EXPECT_EQ(m.cpu.A, 0x15);
    m.step();  // 0x15 + 0xF0 = 0x105
    EXPECT_EQ(m.cpu.A, 0x05);
    EXPECT_EQ(m.cpu.flagC, 1);
    m.step();  // SUB 1
    EXPECT_EQ(m.cpu.A, 0x04);
    m.cpu.flagC = 1;
    m.step();  // SBC 1 with carry
    EXPECT_EQ(m.cpu.A, 0x02);
    m.step();
    EXPECT_EQ(m.cpu.A, 0x02);
    m.step();
    EXPECT_EQ(m.cpu.A, 0xFD);
    m.step();
    EXPECT_EQ(m.cpu.A, 0xFD);
    m.step();  // CP F1: A > F1
    EXPECT_EQ(m.cpu.A, 0xFD);
    EXPECT_EQ(m.flags(), (std::array<int, 4>{0, 1, 0, 0}));
}

TEST(CpuAlu, IncAndDecKeepCarryAndSetHalfCarryOnNibbleWrap) {
    tflatmachine m;
    m.cpu.B = 0x0F;
    m.cpu.C = 0x10;
    m.cpu.D = 0xFF;
    m.cpu.E = 0x01;
    m.setflags(0, 1, 0, 1);
    m.code({0x04, 0x0D, 0x14, 0x1D});  // INC B; DEC C; INC D; DEC E
    m.step();
    EXPECT_EQ(m.cpu.B, 0x10);
    EXPECT_EQ(m.flags(), (std::array<int, 4>{0, 0, 1, 1}));
    m.step();
    EXPECT_EQ(m.cpu.C, 0x0F);
    EXPECT_EQ(m.flags(), (std::array<int, 4>{0, 1, 1, 1}));
    m.cpu.flagC = 0;
    m.step();
    EXPECT_EQ(m.cpu.D, 0x00);
    EXPECT_EQ(m.flags(), (std::array<int, 4>{1, 0, 1, 0}));
    m.step();
    EXPECT_EQ(m.cpu.E, 0x00);
    EXPECT_EQ(m.flags(), (std::array<int, 4>{1, 1, 0, 0}));

    tflatmachine n;
    n.cpu.HL = 0xC000;
    n.mem[0xC000] = 0xFF;
    n.code({0x34, 0x35, 0x35});
    n.step();
    EXPECT_EQ(n.mem[0xC000], 0x00);
    EXPECT_EQ(n.flags(), (std::array<int, 4>{1, 0, 1, 0}));
    n.step();
    EXPECT_EQ(n.mem[0xC000], 0xFF);
    EXPECT_EQ(n.flags(), (std::array<int, 4>{0, 1, 1, 0}));
    n.step();
    EXPECT_EQ(n.mem[0xC000], 0xFE);
    EXPECT_EQ(n.flags(), (std::array<int, 4>{0, 1, 0, 0}));
}

TEST(CpuAlu, AccumulatorRotatesClearZeroEvenForZeroResult) {
    struct tcase { uint8_t op, a; int cin; uint8_t result; int cout; };
    const tcase cases[] = {
        {0x07, 0x80, 0, 0x01, 1}, {0x07, 0x00, 1, 0x00, 0},  // RLCA
        {0x0F, 0x01, 0, 0x80, 1}, {0x0F, 0x02, 1, 0x01, 0},  // RRCA
        {0x17, 0x80, 0, 0x00, 1}, {0x17, 0x40, 1, 0x81, 0},  // RLA
        {0x1F, 0x01, 0, 0x00, 1}, {0x1F, 0x02, 1, 0x81, 0},  // RRA
    };
    for (const tcase& t : cases) {
        tflatmachine m;
        m.cpu.A = t.a;
        m.setflags(1, 1, 1, t.cin);
        m.code({t.op});
        m.step();
        EXPECT_EQ(m.cpu.A, t.result) << std::hex << int(t.op) << " " << int(t.a);
        EXPECT_EQ(m.flags(), (std::array<int, 4>{0, 0, 0, t.cout})) << std::hex << int(t.op);
    }
}

TEST(CpuAlu, CplScfCcf) {
    tflatmachine m;
    m.cpu.A = 0x35;
    m.setflags(1, 0, 0, 0);
    m.code({0x2F, 0x37, 0x3F, 0x3F});
    m.step();
    EXPECT_EQ(m.cpu.A, 0xCA);
    EXPECT_EQ(m.flags(), (std::array<int, 4>{1, 1, 1, 0}));
    m.step();
    EXPECT_EQ(m.flags(), (std::array<int, 4>{1, 0, 0, 1}));
    m.cpu.flagH = 1;
    m.cpu.flagN = 1;
    m.step();
    EXPECT_EQ(m.flags(), (std::array<int, 4>{1, 0, 0, 0}));
    m.step();
    EXPECT_EQ(m.flags(), (std::array<int, 4>{1, 0, 0, 1}));
}

// ---------------------------------------------------------------------------
// DAA: all 4096 combinations of A and the flags

// The decimal correction computed from the value before adjusting.
std::pair<uint8_t, std::array<int, 4>> decimaladjust(uint8_t a, int n, int h, int c) {
    int correction = 0;
    int carry = c;
    if (h || (!n && (a & 0xF) > 9)) correction |= 0x06;
    if (c || (!n && a > 0x99)) {
        correction |= 0x60;
        carry = 1;
    }
    uint8_t r = uint8_t(n ? a - correction : a + correction);
    return {r, {r == 0, n, 0, carry}};
}

TEST(CpuDaa, MatchesTheDecimalCorrectionForAllInputs) {
    for (int flagbits = 0; flagbits < 16; ++flagbits)
        for (int a = 0; a < 256; ++a) {
            int z = (flagbits >> 3) & 1, n = (flagbits >> 2) & 1, h = (flagbits >> 1) & 1, c = flagbits & 1;
            tflatmachine m;
            m.cpu.A = uint8_t(a);
            m.setflags(z, n, h, c);
            m.code({0x27});
            m.step();
            auto [ea, ef] = decimaladjust(uint8_t(a), n, h, c);
            ASSERT_EQ(m.cpu.A, ea) << "A=" << a << " flags=" << flagbits;
            ASSERT_EQ(m.flags(), ef) << "A=" << a << " flags=" << flagbits;
            ASSERT_EQ(m.cpu.F, uint8_t(ef[0] << 7 | ef[1] << 6 | ef[3] << 4));
        }
}

TEST(CpuDaa, AdjustsBcdSumsAndDifferences) {
    tflatmachine m;
    m.cpu.A = 0x05;
    m.cpu.B = 0x05;
    m.code({0x80, 0x27});  // ADD B; DAA: 05 + 05 = 10 in decimal
    m.run(8);
    EXPECT_EQ(m.cpu.A, 0x10);
    EXPECT_EQ(m.cpu.flagC, 0);

    tflatmachine n;
    n.cpu.A = 0x10;
    n.cpu.B = 0x01;
    n.code({0x90, 0x27});  // SUB B; DAA: 10 - 01 = 09; H set, C clear: A - 6
    n.run(8);
    EXPECT_EQ(n.cpu.A, 0x09);

    tflatmachine k;
    k.cpu.A = 0x99;
    k.cpu.B = 0x01;
    k.code({0x80, 0x27});  // 99 + 01 = 100: A 00, carry
    k.run(8);
    EXPECT_EQ(k.cpu.A, 0x00);
    EXPECT_EQ(k.flags(), (std::array<int, 4>{1, 0, 0, 1}));
}

// ---------------------------------------------------------------------------
// 16-bit arithmetic

TEST(CpuAlu16, AddHlSetsCarriesFromBits11And15AndKeepsZero) {
    struct tcase { uint16_t hl, v; uint16_t result; int h, c; };
    const tcase cases[] = {
        {0x0FFF, 0x0001, 0x1000, 1, 0},
        {0xFFFF, 0x0001, 0x0000, 1, 1},
        {0x8000, 0x8000, 0x0000, 0, 1},
        {0x00FF, 0x0001, 0x0100, 0, 0},  // no carry from bit 7 counts
        {0x1234, 0x1111, 0x2345, 0, 0},
    };
    for (const tcase& t : cases) {
        tflatmachine m;
        m.cpu.HL = t.hl;
        m.cpu.DE = t.v;
        m.setflags(1, 1, 0, 0);
        m.code({0x19});  // ADD HL,DE
        m.step();
        EXPECT_EQ(m.cpu.HL, t.result);
        EXPECT_EQ(m.flags(), (std::array<int, 4>{1, 0, t.h, t.c})) << std::hex << t.hl << "+" << t.v;
    }
    tflatmachine m;
    m.cpu.HL = 0x8800;
    m.code({0x29});  // ADD HL,HL
    m.step();
    EXPECT_EQ(m.cpu.HL, 0x1000);
    EXPECT_EQ(m.flags(), (std::array<int, 4>{0, 0, 1, 1}));
}

TEST(CpuAlu16, IncDecOfPairsWrapAndTouchNoFlags) {
    tflatmachine m;
    m.cpu.BC = 0xFFFF;
    m.cpu.DE = 0x0000;
    m.cpu.HL = 0x00FF;
    m.cpu.SP = 0x0000;
    m.setflags(1, 0, 1, 0);
    m.code({0x03, 0x1B, 0x23, 0x3B});
    m.run(32);
    EXPECT_EQ(m.cpu.BC, 0x0000);
    EXPECT_EQ(m.cpu.DE, 0xFFFF);
    EXPECT_EQ(m.cpu.HL, 0x0100);
    EXPECT_EQ(m.cpu.SP, 0xFFFF);
    EXPECT_EQ(m.flags(), (std::array<int, 4>{1, 0, 1, 0}));
}

// ADD SP,e and LD HL,SP+e set H and C like an 8-bit addition of the offset
// byte to SP's low byte; Z and N are cleared.
TEST(CpuAlu16, StackOffsetFlagsComeFromTheLowByteAddition) {
    for (int sp : {0x0000, 0x0001, 0x000F, 0x0010, 0x00FF, 0x0F0F, 0x7FFF, 0xFFF8, 0xFFFF})
        for (int e = 0; e < 256; ++e) {
            for (uint8_t op : {0xE8, 0xF8}) {
                tflatmachine m;
                m.cpu.SP = uint16_t(sp);
                m.setflags(1, 1, 0, 0);
                m.code({op, uint8_t(e)});
                m.step();
                uint16_t expected = uint16_t(sp + int8_t(e));
                uint16_t got = op == 0xE8 ? m.cpu.SP : m.cpu.HL;
                ASSERT_EQ(got, expected) << std::hex << sp << " " << e;
                int h = ((sp & 0xF) + (e & 0xF)) > 0xF;
                int c = ((sp & 0xFF) + e) > 0xFF;
                ASSERT_EQ(m.flags(), (std::array<int, 4>{0, 0, h, c})) << std::hex << sp << " " << e;
                if (op == 0xF8) {
                    ASSERT_EQ(m.cpu.SP, sp);
                }
            }
        }
}

TEST(CpuAlu16, StackOffsetEdgeCases) {
    tflatmachine m;
    m.cpu.SP = 0x0010;
    m.code({0xF8, 0xFF});  // LD HL,SP-1
    m.step();
    EXPECT_EQ(m.cpu.HL, 0x000F);
    EXPECT_EQ(m.flags(), (std::array<int, 4>{0, 0, 0, 1}));

    tflatmachine n;
    n.cpu.SP = 0xFFFF;
    n.code({0xF8, 0x01});  // LD HL,SP+1
    n.step();
    EXPECT_EQ(n.cpu.HL, 0x0000);
    EXPECT_EQ(n.flags(), (std::array<int, 4>{0, 0, 1, 1}));

    tflatmachine k;
    k.cpu.SP = 0xD000;
    k.cpu.HL = 0xC123;
    k.code({0xE8, 0x80, 0xF9});  // ADD SP,-128; LD SP,HL
    k.step();
    EXPECT_EQ(k.cpu.SP, 0xCF80);
    EXPECT_EQ(k.flags(), (std::array<int, 4>{0, 0, 0, 0}));
    k.step();
    EXPECT_EQ(k.cpu.SP, 0xC123);
}

// ---------------------------------------------------------------------------
// CB operations

TEST(CpuCb, RotatesAndShiftsOnRegisters) {
    struct tcase { uint8_t sub, v; int cin; uint8_t result; int cout; };
    const tcase cases[] = {
        {0x00, 0x85, 0, 0x0B, 1},  // RLC B
        {0x08, 0x01, 0, 0x80, 1},  // RRC B
        {0x10, 0x80, 0, 0x00, 1},  // RL B -> zero
        {0x10, 0x01, 1, 0x03, 0},
        {0x18, 0x01, 1, 0x80, 1},  // RR B
        {0x20, 0xC0, 0, 0x80, 1},  // SLA B
        {0x28, 0x81, 0, 0xC0, 1},  // SRA B keeps bit 7
        {0x30, 0xF1, 1, 0x1F, 0},  // SWAP B clears carry
        {0x30, 0x00, 1, 0x00, 0},
        {0x38, 0x81, 0, 0x40, 1},  // SRL B
    };
    for (const tcase& t : cases) {
        tflatmachine m;
        m.cpu.B = t.v;
        m.setflags(0, 1, 1, t.cin);
        m.code({0xCB, t.sub});
        m.step();
        EXPECT_EQ(m.cpu.B, t.result) << std::hex << int(t.sub) << " " << int(t.v);
        EXPECT_EQ(m.flags(), (std::array<int, 4>{t.result == 0, 0, 0, t.cout})) << std::hex << int(t.sub);
    }
}

TEST(CpuCb, EachOperandColumnAddressesItsRegister) {
    // RES 0 on every operand: only the addressed one changes.
    for (int r = 0; r < 8; ++r) {
        tflatmachine m;
        m.cpu.B = m.cpu.C = m.cpu.D = m.cpu.E = 0xFF;
        m.cpu.HL = 0xC0FF;
        m.cpu.A = 0xFF;
        m.mem[0xC0FF] = 0xFF;
        m.code({0xCB, uint8_t(0x80 | r)});
        m.step();
        uint8_t vals[8] = {m.cpu.B, m.cpu.C, m.cpu.D, m.cpu.E, m.cpu.H, m.cpu.L, m.mem[0xC0FF], m.cpu.A};
        for (int i = 0; i < 8; ++i) {
            uint8_t original = i == 4 ? 0xC0 : 0xFF;
            EXPECT_EQ(vals[i], i == r ? uint8_t(original & 0xFE) : original) << r << " " << i;
        }
    }
}

TEST(CpuCb, BitResSetOnEveryBit) {
    for (int b = 0; b < 8; ++b) {
        tflatmachine m;
        m.cpu.A = uint8_t(1 << b);
        m.cpu.HL = 0xC000;
        m.mem[0xC000] = uint8_t(~(1 << b));
        m.setflags(0, 1, 0, 1);
        m.code({0xCB, uint8_t(0x47 | b << 3),    // BIT b,A
                0xCB, uint8_t(0x46 | b << 3),    // BIT b,(HL)
                0xCB, uint8_t(0x87 | b << 3),    // RES b,A
                0xCB, uint8_t(0xC6 | b << 3)});  // SET b,(HL)
        m.step();
        EXPECT_EQ(m.flags(), (std::array<int, 4>{0, 0, 1, 1}));
        m.step();
        EXPECT_EQ(m.flags(), (std::array<int, 4>{1, 0, 1, 1}));
        m.setflags(0, 0, 0, 0);
        m.step();
        EXPECT_EQ(m.cpu.A, 0);
        m.step();
        EXPECT_EQ(m.mem[0xC000], 0xFF);
        EXPECT_EQ(m.flags(), (std::array<int, 4>{0, 0, 0, 0}));  // RES and SET touch no flags
    }
}

TEST(CpuCb, MemoryOperandResultsAreWrittenBack) {
    tflatmachine m;
    m.cpu.HL = 0xC000;
    m.mem[0xC000] = 0x12;
    m.code({0xCB, 0x36, 0xCB, 0x3E, 0xCB, 0x06});  // SWAP (HL); SRL (HL); RLC (HL)
    m.step();
    EXPECT_EQ(m.mem[0xC000], 0x21);
    m.step();
    EXPECT_EQ(m.mem[0xC000], 0x10);
    EXPECT_EQ(m.cpu.flagC, 1);
    m.step();
    EXPECT_EQ(m.mem[0xC000], 0x20);
    EXPECT_EQ(m.cpu.flagC, 0);
}

// ---------------------------------------------------------------------------
// Stack

TEST(CpuStack, PushWritesLowByteFirstAtTheLowerAddress) {
    tflatmachine m;
    m.cpu.BC = 0x1234;
    m.cpu.SP = 0xD000;
    m.code({0xC5});
    m.step();
    EXPECT_EQ(m.cpu.SP, 0xCFFE);
    ASSERT_EQ(m.writes().size(), 2u);
    EXPECT_EQ(m.writes()[0], (taccess{true, 0xCFFE, 0x34}));
    EXPECT_EQ(m.writes()[1], (taccess{true, 0xCFFF, 0x12}));
}

TEST(CpuStack, PopReadsLowByteFirstAndEveryPairRoundTrips) {
    tflatmachine m;
    m.cpu.SP = 0xD000;
    m.load(0xD000, {0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    m.code({0xC1, 0xD1, 0xE1});
    m.run(36);
    EXPECT_EQ(m.cpu.BC, 0x0201);
    EXPECT_EQ(m.cpu.DE, 0x0403);
    EXPECT_EQ(m.cpu.HL, 0x0605);
    EXPECT_EQ(m.cpu.SP, 0xD006);
    EXPECT_EQ(m.log[0], (taccess{false, 0xD000, 0x01}));
    EXPECT_EQ(m.log[1], (taccess{false, 0xD001, 0x02}));

    tflatmachine n;
    n.cpu.SP = 0xD000;
    n.cpu.BC = 0xBEEF;
    n.cpu.DE = 0xCAFE;
    n.cpu.HL = 0xF00D;
    n.code({0xC5, 0xD5, 0xE5, 0xC1, 0xD1, 0xE1});  // reversed order swaps BC and HL
    n.run(16 * 3 + 12 * 3);
    EXPECT_EQ(n.cpu.BC, 0xF00D);
    EXPECT_EQ(n.cpu.DE, 0xCAFE);
    EXPECT_EQ(n.cpu.HL, 0xBEEF);
    EXPECT_EQ(n.cpu.SP, 0xD000);
}

TEST(CpuStack, PopAfKeepsFlagsAndDropsTheLowNibble) {
    tflatmachine m;
    m.cpu.SP = 0xD000;
    m.load(0xD000, {0x1F, 0x77});
    m.code({0xF1, 0xF5});  // POP AF; PUSH AF
    m.step();
    EXPECT_EQ(m.cpu.A, 0x77);
    EXPECT_EQ(m.flags(), (std::array<int, 4>{0, 0, 0, 1}));
    m.step();
    EXPECT_EQ(m.mem[0xD000], 0x10);
    EXPECT_EQ(m.mem[0xD001], 0x77);

    tflatmachine n;
    n.cpu.SP = 0xD000;
    n.load(0xD000, {0xE0, 0x00});
    n.code({0xF1});
    n.step();
    EXPECT_EQ(n.flags(), (std::array<int, 4>{1, 1, 1, 0}));
}

TEST(CpuStack, LdNnSpStoresLowThenHigh) {
    tflatmachine m;
    m.cpu.SP = 0xABCD;
    m.code({0x08, 0x00, 0xC0});
    m.step();
    ASSERT_EQ(m.writes().size(), 2u);
    EXPECT_EQ(m.writes()[0], (taccess{true, 0xC000, 0xCD}));
    EXPECT_EQ(m.writes()[1], (taccess{true, 0xC001, 0xAB}));
}

// ---------------------------------------------------------------------------
// Flow control

TEST(CpuFlow, RelativeJumps) {
    tflatmachine m;
    m.code({0x18, 0xFE});  // JR -2: loops on itself
    m.run(12 * 5);
    EXPECT_EQ(m.cpu.PC, 0x0100);

    tflatmachine n;
    n.code({0x18, 0x00, 0x3C});  // JR 0 steps to the next instruction
    n.run(16);
    EXPECT_EQ(n.cpu.PC, 0x0103);
    EXPECT_EQ(n.cpu.A, 1);

    tflatmachine k;
    k.setflags(1, 0, 0, 0);
    k.code({0x20, 0x05, 0x28, 0x7F});  // JR NZ not taken; JR Z,+127
    k.run(20);
    EXPECT_EQ(k.cpu.PC, 0x0104 + 0x7F);
    EXPECT_EQ(k.log.size(), 1u);  // a branch not taken does not read its offset

    tflatmachine w;
    w.cpu.PC = 0xFFFE;
    w.load(0xFFFE, {0x18, 0x03});  // PC wraps past 0xFFFF
    w.step();
    EXPECT_EQ(w.cpu.PC, 0x0003);
}

TEST(CpuFlow, AbsoluteJumpsCallsAndReturns) {
    tflatmachine m;
    m.cpu.SP = 0xD000;
    m.setflags(0, 0, 0, 1);
    m.code({0xD2, 0x00, 0x40,   // JP NC not taken
            0xDC, 0x00, 0x20}); // CALL C,2000
    m.load(0x2000, {0xC0,       // RET NZ (taken)
                    0x00});
    m.step();
    EXPECT_EQ(m.cpu.PC, 0x0103);
    m.step();
    EXPECT_EQ(m.cpu.PC, 0x2000);
    EXPECT_EQ(m.cpu.SP, 0xCFFE);
    EXPECT_EQ(m.mem[0xCFFE], 0x06);
    EXPECT_EQ(m.mem[0xCFFF], 0x01);
    m.step();
    EXPECT_EQ(m.cpu.PC, 0x0106);
    EXPECT_EQ(m.cpu.SP, 0xD000);

    tflatmachine j;
    j.cpu.HL = 0x4567;
    j.code({0xE9});
    j.step();
    EXPECT_EQ(j.cpu.PC, 0x4567);

    tflatmachine c;
    c.setflags(1, 0, 0, 0);
    c.code({0xC4, 0x00, 0x20, 0xC8});  // CALL NZ not taken; RET Z taken
    c.cpu.SP = 0xD000;
    c.load(0xD000, {0x34, 0x12});
    c.step();
    EXPECT_EQ(c.cpu.PC, 0x0103);
    EXPECT_EQ(c.cpu.SP, 0xD000);
    EXPECT_TRUE(c.writes().empty());
    c.step();
    EXPECT_EQ(c.cpu.PC, 0x1234);
}

TEST(CpuFlow, RestartsPushTheNextAddressAndJumpToTheirVector) {
    for (int n = 0; n < 8; ++n) {
        tflatmachine m;
        m.cpu.SP = 0xD000;
        m.code({uint8_t(0xC7 | n << 3)});
        m.step();
        EXPECT_EQ(m.cpu.PC, n * 8);
        EXPECT_EQ(m.mem[0xCFFE], 0x01);
        EXPECT_EQ(m.mem[0xCFFF], 0x01);
    }
}

TEST(CpuFlow, InstructionLengthsMatchHowFarPcAdvances) {
    for (int op = 0; op < 256; ++op) {
        if (isillegal(uint8_t(op))) {
            EXPECT_EQ(opcodelength(uint8_t(op)), 1);
            continue;
        }
        switch (op) {  // these move PC elsewhere or end the run
        case 0x18: case 0x20: case 0x28: case 0x30: case 0x38: case 0xC0: case 0xC2: case 0xC3:
        case 0xC4: case 0xC7: case 0xC8: case 0xC9: case 0xCA: case 0xCC: case 0xCD: case 0xCF:
        case 0xD0: case 0xD2: case 0xD4: case 0xD7: case 0xD8: case 0xD9: case 0xDA: case 0xDC:
        case 0xDF: case 0xE7: case 0xE9: case 0xEF: case 0xF7: case 0xFF:
            continue;
        }
        tflatmachine m;
        m.cpu.HL = 0xC000;
        m.code({uint8_t(op), 0x00, 0xC0});
        m.step();
        EXPECT_EQ(m.cpu.PC - 0x0100, opcodelength(uint8_t(op))) << "opcode " << std::hex << op;
    }
    EXPECT_EQ(opcodelength(0xCB), 2);
    EXPECT_EQ(opcodelength(0xC3), 3);
    EXPECT_EQ(opcodelength(0x18), 2);
    EXPECT_EQ(opcodelength(0xCD), 3);
    EXPECT_EQ(opcodelength(0xC9), 1);
}

// ---------------------------------------------------------------------------
// HALT

TEST(CpuHalt, HaltEndsTheRunAndLaterRunsIdleUntilAnInterruptIsRequested) {
    tflatmachine m;
    m.cpu.ime = 1;
    m.code({0x76, 0x3C});
    EXPECT_EQ(m.run(100), 4);
    EXPECT_EQ(m.cpu.halted, 1);
    EXPECT_EQ(m.cpu.PC, 0x0101);
    EXPECT_EQ(m.cpu.haltbugskip, 0);

    // Nothing requested: the whole slice passes in HALT.
    EXPECT_EQ(m.run(100), 100);
    EXPECT_EQ(m.cpu.PC, 0x0101);

    // Requested but not enabled still idles.
    m.mem[0xFF0F] = 0x04;
    EXPECT_EQ(m.run(100), 100);
    EXPECT_EQ(m.cpu.PC, 0x0101);

    // Requested and enabled: the CPU runs (the machine dispatches and clears halted).
    m.mem[0xFFFF] = 0x04;
    m.run(4);
    EXPECT_EQ(m.cpu.A, 1);
    EXPECT_EQ(m.cpu.halted, 1);  // left for the machine to clear
}

TEST(CpuHalt, HaltBugRunsTheNextByteTwice) {
    tflatmachine m;
    m.mem[0xFFFF] = 0x01;
    m.mem[0xFF0F] = 0x01;
    m.code({0x76, 0x3C, 0x00});  // HALT; INC A
    m.run(100);
    EXPECT_EQ(m.cpu.haltbugskip, 1);
    EXPECT_EQ(m.cpu.PC, 0x0101);
    m.run(8);  // INC A twice: the first fetch does not advance PC
    EXPECT_EQ(m.cpu.A, 2);
    EXPECT_EQ(m.cpu.PC, 0x0102);
    EXPECT_EQ(m.cpu.haltbugskip, 0);
}

TEST(CpuHalt, NoHaltBugWhenInterruptsAreOnPendingOrTheOptionIsOff) {
    struct tcase { uint8_t ime, eipending, option, ie, iflags; };
    const tcase cases[] = {
        {1, 0, 1, 0x01, 0x01},
        {0, 1, 1, 0x01, 0x01},
        {0, 0, 0, 0x01, 0x01},
        {0, 0, 1, 0x01, 0x02},  // requested interrupt not enabled
        {0, 0, 1, 0x20, 0x20},  // bits above 4 do not count
    };
    for (const tcase& t : cases) {
        tflatmachine m;
        m.cpu.ime = t.ime;
        m.cpu.eipending = t.eipending;
        m.cpu.emulatehaltbug = t.option;
        m.mem[0xFFFF] = t.ie;
        m.mem[0xFF0F] = t.iflags;
        m.code({0x76, 0x3C});
        m.run(100);
        EXPECT_EQ(m.cpu.haltbugskip, 0);
        EXPECT_EQ(m.cpu.halted, 1);
    }
}

TEST(CpuHalt, HaltedWithInterruptPendingAndNoBugRunsNormally) {
    tflatmachine m;
    m.cpu.emulatehaltbug = 0;
    m.mem[0xFFFF] = 0x01;
    m.mem[0xFF0F] = 0x01;
    m.code({0x76, 0x3C, 0x3C, 0xF3});  // HALT; INC A; INC A; DI
    m.run(100);
    EXPECT_EQ(m.run(8), 8);
    EXPECT_EQ(m.cpu.A, 2);
    EXPECT_EQ(m.cpu.halted, 1);
    m.run(4);  // DI ends the halted state
    EXPECT_EQ(m.cpu.halted, 0);
}

// ---------------------------------------------------------------------------
// Interrupt enable and disable

TEST(CpuInterrupts, EiEndsTheRunAndOnlyMarksEnablePending) {
    tflatmachine m;
    m.code({0xFB, 0x3C});
    EXPECT_EQ(m.run(100), 4);
    EXPECT_EQ(m.cpu.eipending, 1);
    EXPECT_EQ(m.cpu.ime, 0);
    EXPECT_EQ(m.cpu.exitflag, 1);
    EXPECT_EQ(m.cpu.PC, 0x0101);
    EXPECT_EQ(m.cpu.A, 0);
}

TEST(CpuInterrupts, DiClearsEnableAndHaltAndTheRunGoesOn) {
    tflatmachine m;
    m.cpu.ime = 1;
    m.cpu.eipending = 1;
    m.cpu.halted = 1;
    m.mem[0xFFFF] = 0x01;
    m.mem[0xFF0F] = 0x01;
    m.code({0xF3, 0x3C});
    EXPECT_EQ(m.run(8), 8);
    EXPECT_EQ(m.cpu.ime, 0);
    EXPECT_EQ(m.cpu.eipending, 0);
    EXPECT_EQ(m.cpu.halted, 0);
    EXPECT_EQ(m.cpu.A, 1);
}

TEST(CpuInterrupts, RetiReturnsEnablesAndEndsTheRun) {
    tflatmachine m;
    m.cpu.SP = 0xD000;
    m.load(0xD000, {0x00, 0x30});
    m.code({0xD9});
    EXPECT_EQ(m.run(100), 16);
    EXPECT_EQ(m.cpu.PC, 0x3000);
    EXPECT_EQ(m.cpu.SP, 0xD002);
    EXPECT_EQ(m.cpu.ime, 1);
    EXPECT_EQ(m.cpu.eipending, 1);
    EXPECT_EQ(m.cpu.exitflag, 1);
}

// ---------------------------------------------------------------------------
// STOP and illegal opcodes

TEST(CpuStop, StopCallsTheEventSkipsOneByteAndCostsEight) {
    tflatmachine m;
    m.cpu.onstop = [](void* c) { ++static_cast<tflatmachine*>(c)->stops; };
    m.cpu.onstopcontext = &m;
    m.code({0x10, 0x3C, 0x3C});  // STOP; (skipped); INC A
    EXPECT_EQ(m.run(12), 12);
    EXPECT_EQ(m.stops, 1);
    EXPECT_EQ(m.cpu.A, 1);
    EXPECT_EQ(m.cpu.PC, 0x0103);

    tflatmachine n;  // no event installed
    n.code({0x10, 0xFF});
    EXPECT_EQ(n.run(4), 8);
    EXPECT_EQ(n.cpu.PC, 0x0102);
}

TEST(CpuIllegal, IllegalOpcodesRewindChargeNothingAndReport) {
    for (uint8_t op : illegalops) {
        EXPECT_TRUE(isillegalopcode(op));
        tflatmachine m;
        m.cpu.onillegal = [](void* c) {
            auto* mm = static_cast<tflatmachine*>(c);
            ++mm->illegals;
            EXPECT_EQ(mm->cpu.PC, 0x0101);  // the record is current when the event runs
        };
        m.cpu.onillegalcontext = &m;
        m.code({0x3C, op});
        EXPECT_EQ(m.run(100), 4);  // only the INC A before it
        EXPECT_EQ(m.cpu.PC, 0x0101);
        EXPECT_EQ(m.cpu.exitflag, 1);
        EXPECT_EQ(m.illegals, 1);
        EXPECT_EQ(m.run(100), 0);  // executes the same byte again
        EXPECT_EQ(m.illegals, 2);
        EXPECT_EQ(m.cpu.PC, 0x0101);
    }
    tflatmachine n;  // no event installed
    n.code({0xDD});
    EXPECT_EQ(n.run(100), 0);
    EXPECT_EQ(n.cpu.PC, 0x0100);

    int count = 0;
    for (int op = 0; op < 256; ++op) count += isillegalopcode(uint8_t(op));
    EXPECT_EQ(count, 11);
}

// ---------------------------------------------------------------------------
// Ending a run early through exitflag

TEST(CpuExitFlag, AWriteThatSetsTheFlagEndsTheRunAfterThatInstruction) {
    tflatmachine m;
    m.exitaddress = 0xFF40;
    m.cpu.A = 0x91;
    m.code({0xE0, 0x40, 0x3C, 0x3C});  // LDH (40),A; INC A; INC A
    EXPECT_EQ(m.run(1000), 12);
    EXPECT_EQ(m.cpu.PC, 0x0102);
    EXPECT_EQ(m.cpu.A, 0x91);
}

TEST(CpuExitFlag, EveryWritingInstructionChecksTheFlag) {
    struct tcase { std::initializer_list<uint8_t> code; int cost; };
    const tcase cases[] = {
        {{0x77}, 8},              // LD (HL),A
        {{0x34}, 12},             // INC (HL)
        {{0x36, 0x00}, 12},       // LD (HL),n
        {{0xCB, 0xC6}, 16},       // SET 0,(HL)
        {{0x22}, 8},              // LD (HL+),A
        {{0xE5}, 16},             // PUSH HL
        {{0xCD, 0x00, 0x02}, 24}, // CALL
        {{0xFF}, 16},             // RST 38
        {{0x08, 0x00, 0xC0}, 20}, // LD (nn),SP
    };
    for (const tcase& t : cases) {
        tflatmachine m;
        m.cpu.HL = 0xC000;
        m.cpu.SP = 0xC002;
        m.exitaddress = 0xC000;
        m.code(t.code);
        m.load(0x0200, {0x00, 0x00});
        m.load(0x0038, {0x00, 0x00});
        EXPECT_EQ(m.run(1000), t.cost) << "opcode " << std::hex << int(*t.code.begin());
    }
}

TEST(CpuExitFlag, NonWritingInstructionsDoNotLookAtTheFlag) {
    tflatmachine m;
    // The read routine sets the flag; the run goes on until the next write.
    m.cpu.read = [](void* c, uint16_t a) -> uint8_t {
        auto* mm = static_cast<tflatmachine*>(c);
        if (a == 0xFF44) mm->cpu.exitflag = 1;
        return mm->mem[a];
    };
    m.cpu.HL = 0xC000;
    m.code({0xF0, 0x44, 0x3C, 0x3C, 0x77, 0x3C});  // LDH A,(44); INC A; INC A; LD (HL),A; INC A
    EXPECT_EQ(m.run(1000), 12 + 4 + 4 + 8);
    EXPECT_EQ(m.cpu.A, 2);
    EXPECT_EQ(m.mem[0xC000], 2);
}

TEST(CpuExitFlag, TheFlagIsClearedAtTheStartOfEachRun) {
    tflatmachine m;
    m.cpu.exitflag = 1;
    m.cpu.HL = 0xC000;
    m.code({0x77, 0x77, 0x77});
    EXPECT_EQ(m.run(16), 16);  // a stale flag does not end the new run
    EXPECT_EQ(m.cpu.exitflag, 0);
}

// ---------------------------------------------------------------------------
// Flag packing

TEST(CpuFlags, PackAndUnpack) {
    tcpustate s;
    s.flagZ = 1; s.flagN = 0; s.flagH = 1; s.flagC = 0;
    s.F = 0x0F;
    packflags(s);
    EXPECT_EQ(s.F, 0xA0);
    s.F = 0x5F;
    unpackflags(s);
    EXPECT_EQ(s.flagZ, 0);
    EXPECT_EQ(s.flagN, 1);
    EXPECT_EQ(s.flagH, 0);
    EXPECT_EQ(s.flagC, 1);
    s.AF = 0x12F0;  // pairs: the second named register is the high byte
    EXPECT_EQ(s.A, 0x12);
    EXPECT_EQ(s.F, 0xF0);
    s.HL = 0xC0DE;
    EXPECT_EQ(s.H, 0xC0);
    EXPECT_EQ(s.L, 0xDE);
}

// ---------------------------------------------------------------------------
// Public test ROMs on a minimal bus: 32 KiB ROM banks on the page table,
// flat RAM, the timer, LY and the serial port, and one-instruction slices
// with the enable-after-one-instruction rule and interrupt dispatch.

struct tminimachine {
    std::vector<uint8_t> rom;
    std::array<uint8_t, 0x10000> mem{};
    std::array<tpageentry, 16> pages{};
    tcpustate cpu;
    std::string serial;
    uint64_t clock = 0;     // clocks since power-on
    uint16_t divider = 0;   // the 16-bit divider; DIV is its high byte

    bool load(const std::string& path) {
        std::ifstream f(path, std::ios::binary);
        if (!f) return false;
        rom.assign(std::istreambuf_iterator<char>(f), {});
        if (rom.size() < 0x8000) rom.resize(0x8000, 0xFF);
        for (int p = 0; p < 4; ++p) pages[p].data = rom.data();
        selectbank(1);
        for (int p = 8; p < 16; ++p) pages[p].data = mem.data();
        cpu.pagetable = pages.data();
        cpu.read = [](void* c, uint16_t a) { return static_cast<tminimachine*>(c)->readbyte(a); };
        cpu.readcontext = this;
        cpu.write = [](void* c, uint16_t a, uint8_t v) { static_cast<tminimachine*>(c)->writebyte(a, v); };
        cpu.writecontext = this;
        cpu.PC = 0x0100;
        cpu.SP = 0xFFFE;
        cpu.AF = 0x01B0;
        cpu.BC = 0x0013;
        cpu.DE = 0x00D8;
        cpu.HL = 0x014D;
        unpackflags(cpu);
        return true;
    }
    void selectbank(unsigned bank) {
        unsigned banks = unsigned(rom.size() / 0x4000);
        bank %= banks;
        if (bank == 0) bank = 1;
        for (int p = 4; p < 8; ++p) pages[p].data = rom.data() + (bank - 1) * 0x4000;
    }
    uint8_t readbyte(uint16_t a) {
        if (a < 0x4000) return rom[a];
        if (a < 0x8000) return pages[a >> 12].data[a];
        switch (a) {
        case 0xFF04: return uint8_t(divider >> 8);
        case 0xFF0F: return mem[a] | 0xE0;
        case 0xFF44: return uint8_t((clock / 456) % 154);
        default: return mem[a];
        }
    }
    void writebyte(uint16_t a, uint8_t v) {
        if (a < 0x8000) {
            if (a >= 0x2000 && a < 0x4000) selectbank(v & 0x1F);
            return;
        }
        if (a == 0xFF04) v = 0, divider = 0;
        mem[a] = v;
        if (a == 0xFF02 && (v & 0x81) == 0x81) serial += char(mem[0xFF01]);
    }
    void advance(int clocks) {
        static constexpr int periods[4] = {1024, 16, 64, 256};
        uint64_t frameposition = clock % 70224;
        clock += unsigned(clocks);
        if (frameposition < 144 * 456 && frameposition + unsigned(clocks) >= 144 * 456) {
            mem[0xFF0F] |= 0x01;  // VBlank at the start of line 144
            if (mem[0xFFFF] & 0x01) cpu.halted = 0;
        }
        for (int i = 0; i < clocks; i += 4) {
            int period = periods[mem[0xFF07] & 3];
            uint16_t old = divider;
            divider = uint16_t(divider + 4);
            if ((mem[0xFF07] & 4) && (old / period) != (divider / period)) {
                if (++mem[0xFF05] == 0) {
                    mem[0xFF05] = mem[0xFF06];
                    mem[0xFF0F] |= 0x04;
                    if (mem[0xFFFF] & 0x04) cpu.halted = 0;
                }
            }
        }
    }
    // Newer test programs also leave their text in cartridge RAM after the
    // signature DE B0 61 at 0xA001; 0xA000 holds 0x80 while they run.
    bool memoryreportdone() const {
        return mem[0xA001] == 0xDE && mem[0xA002] == 0xB0 && mem[0xA003] == 0x61 && mem[0xA000] != 0x80;
    }
    std::string report() const {
        std::string text = serial;
        if (memoryreportdone())
            for (unsigned a = 0xA004; a < 0xC000 && mem[a]; ++a) text += char(mem[a]);
        return text;
    }
    // Runs until the program reports a result or the clock limit passes.
    void run(uint64_t maxclocks) {
        while (clock < maxclocks) {
            cpu.ime = cpu.eipending;
            cpu.cycles = 4;
            cpuexecute(cpu);
            advance(4 - cpu.cycles);
            uint8_t pending = mem[0xFFFF] & mem[0xFF0F] & 0x1F;
            if (cpu.ime && pending) {
                cpu.ime = cpu.eipending = cpu.halted = 0;
                cpu.SP = uint16_t(cpu.SP - 2);
                writebyte(cpu.SP, cpu.PC & 0xFF);
                writebyte(uint16_t(cpu.SP + 1), cpu.PC >> 8);
                int bit = __builtin_ctz(pending);
                mem[0xFF0F] &= uint8_t(~(1 << bit));
                cpu.PC = uint16_t(0x40 + 8 * bit);
                advance(20);
            }
            if (serial.find("Passed") != std::string::npos || serial.find("Failed") != std::string::npos) {
                advance(70224 * 2);  // let the failure codes arrive
                return;
            }
            if ((clock & 0xFFFF) < 4 && memoryreportdone()) return;
        }
    }
};

class CpuTestRom : public ::testing::TestWithParam<const char*> {};

TEST_P(CpuTestRom, PassesOnAMinimalBus) {
    std::string dir = std::string(TOV_TESTROMS) + "/blargg/";
    std::ifstream probe(dir + "cpu_instrs/readme.txt");
    if (!probe) GTEST_SKIP() << "test ROM folder " << TOV_TESTROMS << " not found";
    tminimachine m;
    ASSERT_TRUE(m.load(dir + GetParam())) << "cannot read " << GetParam();
    m.run(70224ull * 4000);
    std::string text = m.report();
    EXPECT_NE(text.find("Passed"), std::string::npos) << text;
}

INSTANTIATE_TEST_SUITE_P(Blargg, CpuTestRom,
                         ::testing::Values("cpu_instrs/individual/01-special.gb",
                                           "cpu_instrs/individual/02-interrupts.gb",
                                           "cpu_instrs/individual/03-op sp,hl.gb",
                                           "cpu_instrs/individual/04-op r,imm.gb",
                                           "cpu_instrs/individual/05-op rp.gb",
                                           "cpu_instrs/individual/06-ld r,r.gb",
                                           "cpu_instrs/individual/07-jr,jp,call,ret,rst.gb",
                                           "cpu_instrs/individual/08-misc instrs.gb",
                                           "cpu_instrs/individual/09-op r,r.gb",
                                           "cpu_instrs/individual/10-bit ops.gb",
                                           "cpu_instrs/individual/11-op a,(hl).gb",
                                           "instr_timing/instr_timing.gb",
                                           "halt_bug.gb"));

}  // namespace
}  // namespace tov
