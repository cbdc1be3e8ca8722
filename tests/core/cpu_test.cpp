// Processor interpreter against a flat 64 KiB memory: costs and the budget
// rule, results and flags by instruction group, the memory access paths, the
// stack byte order, HALT, EI/DI/RETI, STOP, illegal opcodes and ending a run
// early; then the public CPU test ROMs on a minimal bus.
#include <gtest/gtest.h>

#include <array>
#include <fstream>
#include <initializer_list>
#include <string>
#include <vector>

#include "core/cpu.h"

namespace tov {
namespace {

using tflags = std::array<int, 4>;  // Z, N, H, C

struct taccess {
    bool write;
    uint16_t address;
    uint8_t value;
    bool operator==(const taccess&) const = default;
};

// A flat 64 KiB machine: no page has a direct pointer, so opcodes come through
// the page routine and every data access through the state's read and write
// routines, which go to the same buffer and log it.
struct tflatmachine {
    std::array<uint8_t, 0x10000> mem{};
    std::array<tpageentry, 16> pages{};
    tcpustate cpu;
    std::vector<taccess> log;
    int exitaddress = -1;  // a write here sets exitflag, like a timing register
    int stops = 0;
    int illegals = 0;

    tflatmachine() {
        for (auto& p : pages) p = {nullptr, fetchroutine, this};
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
        cpu.SP = 0xD000;
        cpu.HL = 0xC000;
    }

    static uint8_t fetchroutine(void* c, uint16_t a) { return static_cast<tflatmachine*>(c)->mem[a]; }
    // Every page points straight at the buffer (biased by the page base: data[X] = mem[X]).
    void directpages() {
        for (auto& p : pages) p.data = mem.data();
    }

    void load(uint16_t address, std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes) mem[address++] = b;
    }
    void code(std::initializer_list<uint8_t> bytes) { load(cpu.PC, bytes); }

    // Runs one slice; returns the clocks used.
    int run(int budget) {
        cpu.cycles = budget;
        cpuexecute(cpu);
        return budget - cpu.cycles;
    }
    int step() { return run(1); }

    void setflags(tflags f) {
        cpu.flagZ = uint8_t(f[0]);
        cpu.flagN = uint8_t(f[1]);
        cpu.flagH = uint8_t(f[2]);
        cpu.flagC = uint8_t(f[3]);
    }
    tflags flags() const { return {cpu.flagZ, cpu.flagN, cpu.flagH, cpu.flagC}; }
    std::vector<taccess> writes() const {
        std::vector<taccess> w;
        for (auto& a : log)
            if (a.write) w.push_back(a);
        return w;
    }
};

constexpr uint8_t illegalops[] = {0xD3, 0xDB, 0xDD, 0xE3, 0xE4, 0xEB, 0xEC, 0xED, 0xF4, 0xFC, 0xFD};

// ---------------------------------------------------------------------------
// Costs and the budget rule

// Clocks per main opcode, conditional branches taken, from the processor's
// documented timings; 0 for 0xCB (costed by sub-opcode) and illegal opcodes.
// STOP costs 8 here.
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

// Cost when a conditional branch is not taken, or 0 for other opcodes.
// Conditions: bit 3 of the opcode selects the flag value that takes the
// branch, bit 4 selects C instead of Z.
int nottakencost(uint8_t op) {
    switch (op & 0xE7) {
    case 0x20: return 8;   // JR cc
    case 0xC0: return 8;   // RET cc
    case 0xC2: return 12;  // JP cc
    case 0xC4: return 12;  // CALL cc
    default: return 0;
    }
}

TEST(CpuCost, EveryMainOpcodeCostsItsDocumentedClocksTakenAndNotTaken) {
    for (int op = 0; op < 256; ++op) {
        if (op == 0xCB || isillegalopcode(uint8_t(op))) continue;
        for (int flagvalue = 0; flagvalue <= 1; ++flagvalue) {
            tflatmachine m;
            m.cpu.BC = 0xC100;
            m.cpu.DE = 0xC200;
            m.code({uint8_t(op), 0x00, 0xC0});
            m.setflags({flagvalue, flagvalue, flagvalue, flagvalue});
            int expected = takencost[op];
            bool taken = flagvalue == ((op >> 3) & 1);
            if (nottakencost(uint8_t(op)) && !taken) expected = nottakencost(uint8_t(op));
            EXPECT_EQ(m.run(4), expected) << "opcode " << std::hex << op << " flags " << flagvalue;
        }
    }
}

TEST(CpuCost, CbOperationsCostEightOnRegistersAndMoreOnMemory) {
    for (int sub = 0; sub < 256; ++sub) {
        tflatmachine m;
        m.code({0xCB, uint8_t(sub)});
        int expected = 8;
        if ((sub & 7) == 6) expected = (sub >> 6) == 1 ? 12 : 16;  // BIT b,(HL) only reads
        EXPECT_EQ(m.run(4), expected) << "CB " << std::hex << sub;
        EXPECT_EQ(m.cpu.PC, 0x0102);
    }
}

TEST(CpuBudget, TheBudgetIsCheckedOnlyAfterEachInstruction) {
    tflatmachine m;
    m.code({0xCD, 0x00, 0x20});  // CALL 2000: a budget of 4 still runs it whole
    m.run(4);
    EXPECT_EQ(m.cpu.cycles, -20);
    EXPECT_EQ(m.cpu.PC, 0x2000);

    tflatmachine n;
    n.code({0x3C, 0x3C, 0x3C, 0x3C, 0x3C});  // INC A x5
    EXPECT_EQ(n.run(4), 4);  // ends at exactly 0
    EXPECT_EQ(n.cpu.A, 1);
    EXPECT_EQ(n.run(5), 8);  // 5 -> 1 -> -3
    EXPECT_EQ(n.cpu.A, 3);
    EXPECT_EQ(n.cpu.cycles, -3);
    EXPECT_EQ(n.cpu.PC, 0x0103);
}

// ---------------------------------------------------------------------------
// Results and flags by instruction group

struct tgroupcase {
    const char* name;
    std::initializer_list<uint8_t> code;
    uint8_t a, b;        // A and B before (B is the register operand)
    tflags in;           // flags before
    uint8_t resulta;     // A afterwards (B afterwards for CB operations on B)
    tflags out;          // flags afterwards
};

TEST(CpuGroups, ResultsAndFlagsFollowTheInstructionGroup) {
    const tgroupcase cases[] = {
        {"ADD half carry", {0x80}, 0x0F, 0x01, {1, 1, 0, 1}, 0x10, {0, 0, 1, 0}},
        {"ADD carry, zero", {0x80}, 0xF0, 0x10, {0, 1, 1, 0}, 0x00, {1, 0, 0, 1}},
        {"ADC carry in makes half carry", {0x88}, 0x0E, 0x01, {0, 0, 0, 1}, 0x10, {0, 0, 1, 0}},
        {"ADC carry in wraps", {0x88}, 0xFF, 0x00, {0, 0, 0, 1}, 0x00, {1, 0, 1, 1}},
        {"SUB borrow from bit 4", {0x90}, 0x10, 0x01, {0, 0, 0, 0}, 0x0F, {0, 1, 1, 0}},
        {"SUB equal", {0x90}, 0x42, 0x42, {0, 0, 1, 1}, 0x00, {1, 1, 0, 0}},
        {"SBC carry in borrows", {0x98}, 0x00, 0x00, {0, 0, 0, 1}, 0xFF, {0, 1, 1, 1}},
        {"SBC carry in, equal nibbles", {0x98}, 0x11, 0x01, {0, 0, 0, 1}, 0x0F, {0, 1, 1, 0}},
        {"CP keeps A", {0xB8}, 0x00, 0x01, {1, 0, 0, 0}, 0x00, {0, 1, 1, 1}},
        {"AND sets H", {0xA0}, 0xF0, 0x0F, {0, 1, 0, 1}, 0x00, {1, 0, 1, 0}},
        {"XOR clears", {0xA8}, 0xFF, 0x0F, {1, 1, 1, 1}, 0xF0, {0, 0, 0, 0}},
        {"OR zero", {0xB0}, 0x00, 0x00, {0, 1, 1, 1}, 0x00, {1, 0, 0, 0}},
        {"ADD A,n", {0xC6, 0xF1}, 0x0F, 0, {0, 0, 0, 0}, 0x00, {1, 0, 1, 1}},
        {"SBC A,n", {0xDE, 0x0F}, 0x10, 0, {0, 0, 0, 1}, 0x00, {1, 1, 1, 0}},
        {"INC keeps C", {0x3C}, 0xFF, 0, {0, 1, 0, 1}, 0x00, {1, 0, 1, 1}},
        {"DEC half borrow", {0x3D}, 0x10, 0, {0, 0, 0, 1}, 0x0F, {0, 1, 1, 1}},
        {"DEC to zero", {0x3D}, 0x01, 0, {0, 0, 1, 0}, 0x00, {1, 1, 0, 0}},
        {"RLCA clears Z", {0x07}, 0x80, 0, {1, 1, 1, 0}, 0x01, {0, 0, 0, 1}},
        {"RRCA", {0x0F}, 0x02, 0, {0, 0, 0, 1}, 0x01, {0, 0, 0, 0}},
        {"RLA through carry", {0x17}, 0x80, 0, {0, 0, 0, 0}, 0x00, {0, 0, 0, 1}},
        {"RRA through carry", {0x1F}, 0x02, 0, {0, 0, 0, 1}, 0x81, {0, 0, 0, 0}},
        {"CPL", {0x2F}, 0x35, 0, {1, 0, 0, 1}, 0xCA, {1, 1, 1, 1}},
        {"SCF", {0x37}, 0x00, 0, {1, 1, 1, 0}, 0x00, {1, 0, 0, 1}},
        {"CCF", {0x3F}, 0x00, 0, {0, 1, 1, 1}, 0x00, {0, 0, 0, 0}},
        {"CB RLC B", {0xCB, 0x00}, 0, 0x85, {0, 1, 1, 0}, 0x0B, {0, 0, 0, 1}},
        {"CB RRC B", {0xCB, 0x08}, 0, 0x01, {0, 0, 0, 0}, 0x80, {0, 0, 0, 1}},
        {"CB RL B to zero", {0xCB, 0x10}, 0, 0x80, {0, 0, 0, 0}, 0x00, {1, 0, 0, 1}},
        {"CB RR B", {0xCB, 0x18}, 0, 0x01, {0, 0, 0, 1}, 0x80, {0, 0, 0, 1}},
        {"CB SLA B", {0xCB, 0x20}, 0, 0xC0, {0, 0, 0, 0}, 0x80, {0, 0, 0, 1}},
        {"CB SRA B keeps bit 7", {0xCB, 0x28}, 0, 0x81, {0, 0, 0, 0}, 0xC0, {0, 0, 0, 1}},
        {"CB SWAP B clears C", {0xCB, 0x30}, 0, 0xF1, {0, 1, 1, 1}, 0x1F, {0, 0, 0, 0}},
        {"CB SRL B", {0xCB, 0x38}, 0, 0x81, {0, 0, 0, 0}, 0x40, {0, 0, 0, 1}},
        {"CB BIT 7,B clear", {0xCB, 0x78}, 0, 0x7F, {0, 1, 0, 1}, 0x7F, {1, 0, 1, 1}},
        {"CB BIT 0,B set", {0xCB, 0x40}, 0, 0x01, {1, 1, 0, 0}, 0x01, {0, 0, 1, 0}},
        {"CB RES 3,B no flags", {0xCB, 0x98}, 0, 0xFF, {1, 0, 1, 0}, 0xF7, {1, 0, 1, 0}},
        {"CB SET 6,B no flags", {0xCB, 0xF0}, 0, 0x00, {0, 1, 0, 1}, 0x40, {0, 1, 0, 1}},
    };
    for (const tgroupcase& t : cases) {
        tflatmachine m;
        m.cpu.A = t.a;
        m.cpu.B = t.b;
        m.setflags(t.in);
        m.load(0x0100, t.code);
        m.step();
        bool cb = *t.code.begin() == 0xCB;
        EXPECT_EQ(cb ? m.cpu.B : m.cpu.A, t.resulta) << t.name;
        EXPECT_EQ(m.flags(), t.out) << t.name;
    }
}

TEST(CpuGroups, EachOperandColumnAddressesItsRegister) {
    // CB RES 0 and LD r,(HL) on every operand: only the addressed one changes.
    for (int r = 0; r < 8; ++r) {
        tflatmachine m;
        m.cpu.B = m.cpu.C = m.cpu.D = m.cpu.E = m.cpu.A = 0xFF;
        m.cpu.HL = 0xC0FF;
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

TEST(CpuGroups, AddHlCarriesFromBits11And15AndKeepsZero) {
    tflatmachine m;
    m.cpu.HL = 0x0FFF;
    m.cpu.DE = 0x0001;
    m.setflags({1, 1, 0, 1});
    m.code({0x19, 0x29});  // ADD HL,DE; ADD HL,HL
    m.step();
    EXPECT_EQ(m.cpu.HL, 0x1000);
    EXPECT_EQ(m.flags(), (tflags{1, 0, 1, 0}));
    m.cpu.HL = 0x8800;
    m.step();
    EXPECT_EQ(m.cpu.HL, 0x1000);
    EXPECT_EQ(m.flags(), (tflags{1, 0, 1, 1}));
}

// The decimal correction computed from the value before adjusting.
std::pair<uint8_t, tflags> decimaladjust(uint8_t a, int n, int h, int c) {
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

TEST(CpuGroups, DaaMatchesTheDecimalCorrectionForAllInputs) {
    for (int flagbits = 0; flagbits < 16; ++flagbits)
        for (int a = 0; a < 256; ++a) {
            int z = (flagbits >> 3) & 1, n = (flagbits >> 2) & 1, h = (flagbits >> 1) & 1, c = flagbits & 1;
            tflatmachine m;
            m.cpu.A = uint8_t(a);
            m.setflags({z, n, h, c});
            m.code({0x27});
            m.step();
            auto [ea, ef] = decimaladjust(uint8_t(a), n, h, c);
            ASSERT_EQ(m.cpu.A, ea) << "A=" << a << " flags=" << flagbits;
            ASSERT_EQ(m.flags(), ef) << "A=" << a << " flags=" << flagbits;
            ASSERT_EQ(m.cpu.F, uint8_t(ef[0] << 7 | ef[1] << 6 | ef[3] << 4));  // F is packed
        }
}

// ADD SP,e and LD HL,SP+e set H and C like an 8-bit addition of the offset
// byte to SP's low byte; Z and N are cleared.
TEST(CpuGroups, StackOffsetFlagsComeFromTheLowByteAddition) {
    for (int sp : {0x0000, 0x000F, 0x0010, 0x00FF, 0x7FFF, 0xFFF8, 0xFFFF})
        for (int e = 0; e < 256; ++e)
            for (uint8_t op : {0xE8, 0xF8}) {
                tflatmachine m;
                m.cpu.SP = uint16_t(sp);
                m.setflags({1, 1, 0, 0});
                m.code({op, uint8_t(e)});
                m.step();
                ASSERT_EQ(op == 0xE8 ? m.cpu.SP : m.cpu.HL, uint16_t(sp + int8_t(e))) << std::hex << sp << " " << e;
                int h = ((sp & 0xF) + (e & 0xF)) > 0xF;
                int c = ((sp & 0xFF) + e) > 0xFF;
                ASSERT_EQ(m.flags(), (tflags{0, 0, h, c})) << std::hex << sp << " " << e;
            }

    tflatmachine m;
    m.cpu.SP = 0x0010;
    m.code({0xF8, 0xFF});  // LD HL,SP-1
    m.step();
    EXPECT_EQ(m.cpu.HL, 0x000F);
    EXPECT_EQ(m.cpu.SP, 0x0010);
    EXPECT_EQ(m.flags(), (tflags{0, 0, 0, 1}));

    tflatmachine n;
    n.cpu.SP = 0xFFFF;
    n.code({0xF8, 0x01});  // LD HL,SP+1
    n.step();
    EXPECT_EQ(n.cpu.HL, 0x0000);
    EXPECT_EQ(n.flags(), (tflags{0, 0, 1, 1}));
}

// ---------------------------------------------------------------------------
// Memory access paths

TEST(CpuMemory, OpcodesComeFromThePageOperandsFromTheReadRoutine) {
    tflatmachine m;
    m.code({0x00, 0x06, 0x12, 0x01, 0x34, 0x12});  // NOP; LD B,12; LD BC,1234
    m.run(28);
    ASSERT_EQ(m.log.size(), 3u);  // no opcode fetch went through the state's routine
    EXPECT_EQ(m.log[0], (taccess{false, 0x0102, 0x12}));
    EXPECT_EQ(m.log[1], (taccess{false, 0x0104, 0x34}));  // low byte first
    EXPECT_EQ(m.log[2], (taccess{false, 0x0105, 0x12}));
    EXPECT_EQ(m.cpu.BC, 0x1234);
}

TEST(CpuMemory, PagesWithoutPointerAreFetchedThroughThePageRoutine) {
    tflatmachine m;
    static int calls;
    calls = 0;
    m.pages[0x4] = {nullptr,
                    [](void* c, uint16_t a) -> uint8_t {
                        ++calls;
                        return static_cast<tflatmachine*>(c)->mem[a];
                    },
                    &m};
    m.cpu.PC = 0x4000;
    m.code({0x3C, 0x3C});
    m.run(8);
    EXPECT_EQ(m.cpu.A, 2);
    EXPECT_EQ(calls, 2);

    // A page with neither pointer nor routine reads as unmapped, 0xFF (RST 38).
    m.pages[0x4] = tpageentry{};
    m.cpu.PC = 0x4000;
    m.step();
    EXPECT_EQ(m.cpu.PC, 0x0038);
}

TEST(CpuMemory, DataReadsTakeTheDirectPointerAndCallTheRoutineOnlyWithoutOne) {
    // HL = C000, BC = C010 (C = 10 for LD A,(C)), SP = D000; every form reads one data byte.
    struct tcase {
        std::initializer_list<uint8_t> code;
        uint16_t address;  // the data byte's address
    };
    const tcase cases[] = {
        {{0x7E}, 0xC000},             // LD A,(HL)
        {{0x0A}, 0xC010},             // LD A,(BC)
        {{0x2A}, 0xC000},             // LD A,(HL+)
        {{0x86}, 0xC000},             // ADD A,(HL)
        {{0xFA, 0x30, 0xC0}, 0xC030}, // LD A,(nn)
        {{0xF0, 0x80}, 0xFF80},       // LDH A,(n)
        {{0xF2}, 0xFF10},             // LD A,(C)
        {{0xF1}, 0xD001},             // POP AF: A is the second byte
        {{0x3E, 0x5A}, 0x0101},       // LD A,n
    };
    for (bool direct : {true, false}) {
        for (const tcase& t : cases) {
            tflatmachine m;
            if (direct) m.directpages();
            m.cpu.BC = 0xC010;
            m.mem[t.address] = 0x5A;
            m.code(t.code);
            m.step();
            EXPECT_EQ(m.cpu.A, 0x5A) << std::hex << int(*t.code.begin());
            if (direct) {
                EXPECT_TRUE(m.log.empty()) << std::hex << int(*t.code.begin());
            } else {
                ASSERT_FALSE(m.log.empty());
                EXPECT_EQ(m.log.back(), (taccess{false, t.address, 0x5A})) << std::hex << int(*t.code.begin());
            }
        }
    }

    // A page without pointer among direct ones: only its reads call the routine, and the
    // routine finds PC past the instruction's bytes and the budget not yet charged.
    tflatmachine m;
    m.directpages();
    m.pages[0xF] = {nullptr, tflatmachine::fetchroutine, &m};
    static uint16_t seenpc;
    static int32_t seencycles;
    m.cpu.read = [](void* c, uint16_t a) -> uint8_t {
        auto* mm = static_cast<tflatmachine*>(c);
        seenpc = mm->cpu.PC;
        seencycles = mm->cpu.cycles;
        mm->log.push_back({false, a, mm->mem[a]});
        return mm->mem[a];
    };
    m.mem[0xFF44] = 0x90;
    m.code({0x7E, 0xF0, 0x44});  // LD A,(HL); LDH A,(44)
    m.run(20);
    EXPECT_EQ(m.log, (std::vector<taccess>{{false, 0xFF44, 0x90}}));
    EXPECT_EQ(seenpc, 0x0103);
    EXPECT_EQ(seencycles, 20 - 8);
    EXPECT_EQ(m.cpu.A, 0x90);
}

TEST(CpuMemory, AnUnwiredStateRunsNothing) {
    tcpustate s;
    s.PC = 0x1234;
    s.cycles = 100;
    cpuexecute(s);
    EXPECT_EQ(s.PC, 0x1234);
    EXPECT_EQ(s.cycles, 0);
}

TEST(CpuMemory, ReadModifyWriteOnHlReadsOnceThenWritesOnce) {
    for (std::initializer_list<uint8_t> code : {std::initializer_list<uint8_t>{0x34},
                                                {0x35}, {0xCB, 0x06}, {0xCB, 0x36}, {0xCB, 0xC6}}) {
        tflatmachine m;
        m.mem[0xC000] = 0x81;
        m.code(code);
        m.step();
        std::vector<taccess> data;
        for (auto& a : m.log)
            if (a.address == 0xC000) data.push_back(a);
        ASSERT_EQ(data.size(), 2u);
        EXPECT_FALSE(data[0].write);
        EXPECT_TRUE(data[1].write);
    }
    tflatmachine m;
    m.mem[0xC000] = 0x12;
    m.code({0xCB, 0x36});  // SWAP (HL)
    m.step();
    EXPECT_EQ(m.mem[0xC000], 0x21);
}

TEST(CpuMemory, HlStepFormsAccessAtHlThenStepAndWrap) {
    tflatmachine m;
    m.cpu.HL = 0xFFFF;
    m.cpu.A = 0x42;
    m.code({0x22, 0x3A});  // LD (HL+),A; LD A,(HL-)
    m.step();
    EXPECT_EQ(m.mem[0xFFFF], 0x42);
    EXPECT_EQ(m.cpu.HL, 0x0000);
    m.mem[0x0000] = 0x99;
    m.step();
    EXPECT_EQ(m.cpu.A, 0x99);
    EXPECT_EQ(m.cpu.HL, 0xFFFF);
}

// ---------------------------------------------------------------------------
// Stack and 16-bit stores: low byte first, at the lower address

TEST(CpuStack, PushPopAndLdNnSpStoreLowByteFirst) {
    tflatmachine m;
    m.cpu.BC = 0x1234;
    m.cpu.SP = 0xD000;
    m.code({0xC5, 0xE1, 0x08, 0x00, 0xC0});  // PUSH BC; POP HL; LD (C000),SP
    m.step();
    EXPECT_EQ(m.cpu.SP, 0xCFFE);
    EXPECT_EQ(m.writes(), (std::vector<taccess>{{true, 0xCFFE, 0x34}, {true, 0xCFFF, 0x12}}));
    m.log.clear();
    m.step();
    EXPECT_EQ(m.cpu.HL, 0x1234);
    EXPECT_EQ(m.cpu.SP, 0xD000);
    EXPECT_EQ(m.log, (std::vector<taccess>{{false, 0xCFFE, 0x34}, {false, 0xCFFF, 0x12}}));
    m.log.clear();
    m.step();
    EXPECT_EQ(m.writes(), (std::vector<taccess>{{true, 0xC000, 0x00}, {true, 0xC001, 0xD0}}));
}

TEST(CpuStack, PopAfKeepsFlagsAndDropsTheLowNibble) {
    tflatmachine m;
    m.load(0xD000, {0x1F, 0x77});
    m.code({0xF1, 0xF5});  // POP AF; PUSH AF
    m.step();
    EXPECT_EQ(m.cpu.A, 0x77);
    EXPECT_EQ(m.flags(), (tflags{0, 0, 0, 1}));
    m.step();
    EXPECT_EQ(m.mem[0xD000], 0x10);
    EXPECT_EQ(m.mem[0xD001], 0x77);
}

TEST(CpuStack, CallAndRestartPushTheNextInstruction) {
    tflatmachine m;
    m.code({0xCD, 0x00, 0x20});  // CALL 2000
    m.load(0x2000, {0xEF});      // RST 28
    m.run(24 + 16);
    EXPECT_EQ(m.cpu.PC, 0x0028);
    EXPECT_EQ(m.cpu.SP, 0xCFFC);
    EXPECT_EQ(m.mem[0xCFFE], 0x03);
    EXPECT_EQ(m.mem[0xCFFF], 0x01);
    EXPECT_EQ(m.mem[0xCFFC], 0x01);
    EXPECT_EQ(m.mem[0xCFFD], 0x20);
}

// ---------------------------------------------------------------------------
// Relative jumps and instruction lengths

TEST(CpuFlow, RelativeJumps) {
    tflatmachine m;
    m.code({0x18, 0xFE});  // JR -2 loops on itself
    m.run(60);
    EXPECT_EQ(m.cpu.PC, 0x0100);

    tflatmachine n;
    n.setflags({1, 0, 0, 0});
    n.code({0x18, 0x00, 0x20, 0x05, 0x28, 0x7F});  // JR 0; JR NZ not taken; JR Z,+127
    n.run(12 + 8 + 12);
    EXPECT_EQ(n.cpu.PC, 0x0106 + 0x7F);
    EXPECT_EQ(n.log.size(), 2u);  // a branch not taken does not read its offset

    tflatmachine w;
    w.cpu.PC = 0xFFFE;
    w.load(0xFFFE, {0x18, 0x03});  // PC wraps past 0xFFFF
    w.step();
    EXPECT_EQ(w.cpu.PC, 0x0003);
}

TEST(CpuFlow, InstructionLengthsMatchHowFarPcAdvances) {
    for (int op = 0; op < 256; ++op) {
        if (isillegalopcode(uint8_t(op))) {
            EXPECT_EQ(opcodelength(uint8_t(op)), 1);
            continue;
        }
        switch (op) {  // with all flags clear these move PC elsewhere
        case 0x18: case 0x20: case 0x30: case 0xC0: case 0xC2: case 0xC3: case 0xC4: case 0xC7:
        case 0xC9: case 0xCD: case 0xCF: case 0xD0: case 0xD2: case 0xD4: case 0xD7: case 0xD9:
        case 0xDF: case 0xE7: case 0xE9: case 0xEF: case 0xF7: case 0xFF:
            continue;
        }
        tflatmachine m;
        m.code({uint8_t(op), 0x00, 0xC0});
        m.step();
        EXPECT_EQ(m.cpu.PC - 0x0100, opcodelength(uint8_t(op))) << "opcode " << std::hex << op;
    }
    EXPECT_EQ(opcodelength(0xC3), 3);
    EXPECT_EQ(opcodelength(0x18), 2);
    EXPECT_EQ(opcodelength(0xCD), 3);
    int count = 0;
    for (int op = 0; op < 256; ++op) count += isillegalopcode(uint8_t(op));
    EXPECT_EQ(count, 11);
}

// ---------------------------------------------------------------------------
// HALT

TEST(CpuHalt, HaltEndsTheRunAndLaterRunsIdleUntilAnInterruptIsRequested) {
    tflatmachine m;
    m.cpu.ime = 1;
    m.code({0x76, 0x3C});
    EXPECT_EQ(m.run(100), 4);
    EXPECT_EQ(m.cpu.halted, 1);
    EXPECT_EQ(m.cpu.haltbugskip, 0);  // interrupts on: no halt bug
    EXPECT_EQ(m.cpu.PC, 0x0101);

    EXPECT_EQ(m.run(100), 100);  // nothing requested: the slice passes in HALT
    m.mem[0xFF0F] = 0x04;
    EXPECT_EQ(m.run(100), 100);  // requested but not enabled
    EXPECT_EQ(m.cpu.PC, 0x0101);

    m.mem[0xFFFF] = 0x04;  // requested and enabled: the CPU runs on
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
    m.run(8);  // the first fetch does not advance PC
    EXPECT_EQ(m.cpu.A, 2);
    EXPECT_EQ(m.cpu.PC, 0x0102);
    EXPECT_EQ(m.cpu.haltbugskip, 0);
}

TEST(CpuHalt, NoHaltBugWhenInterruptsAreOnOrPendingOrTheOptionIsOff) {
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

TEST(CpuHalt, HaltedWithAnInterruptPendingRunsNormallyUntilDi) {
    tflatmachine m;
    m.cpu.emulatehaltbug = 0;
    m.mem[0xFFFF] = 0x01;
    m.mem[0xFF0F] = 0x01;
    m.code({0x76, 0x3C, 0x3C, 0xF3});  // HALT; INC A; INC A; DI
    m.run(100);
    EXPECT_EQ(m.run(8), 8);
    EXPECT_EQ(m.cpu.A, 2);
    EXPECT_EQ(m.cpu.halted, 1);
    m.run(4);
    EXPECT_EQ(m.cpu.halted, 0);
}

// ---------------------------------------------------------------------------
// Interrupt enable and disable

TEST(CpuInterrupts, EiEndsTheRunAndOnlyMarksEnablePending) {
    tflatmachine m;
    m.code({0xFB, 0x3C});
    EXPECT_EQ(m.run(100), 4);
    EXPECT_EQ(m.cpu.eipending, 1);
    EXPECT_EQ(m.cpu.ime, 0);  // the scheduler turns it on before the next slice
    EXPECT_EQ(m.cpu.exitflag, 1);
    EXPECT_EQ(m.cpu.PC, 0x0101);
    EXPECT_EQ(m.cpu.A, 0);
}

TEST(CpuInterrupts, DiClearsEnableAndHaltAndTheRunGoesOn) {
    tflatmachine m;
    m.cpu.ime = m.cpu.eipending = m.cpu.halted = 1;
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
    static uint16_t pcatstop;
    m.cpu.onstop = [](void* c) {
        auto* t = static_cast<tflatmachine*>(c);
        ++t->stops;
        pcatstop = t->cpu.PC;
    };
    m.cpu.onstopcontext = &m;
    m.code({0x10, 0x3C, 0x3C});  // STOP; (skipped); INC A
    EXPECT_EQ(m.run(12), 12);
    EXPECT_EQ(m.stops, 1);
    EXPECT_EQ(pcatstop, 0x0101);  // the event runs before the byte is skipped
    EXPECT_EQ(m.cpu.A, 1);
    EXPECT_EQ(m.cpu.PC, 0x0103);

    tflatmachine n;  // no event installed
    n.code({0x10, 0xFF});
    EXPECT_EQ(n.run(4), 8);
    EXPECT_EQ(n.cpu.PC, 0x0102);

    // An event that switches speed can end the run right after STOP.
    tflatmachine k;
    k.cpu.onstop = [](void* c) { static_cast<tflatmachine*>(c)->cpu.exitflag = 1; };
    k.cpu.onstopcontext = &k;
    k.code({0x10, 0x00, 0x3C});
    EXPECT_EQ(k.run(100), 8);
    EXPECT_EQ(k.cpu.PC, 0x0102);
    EXPECT_EQ(k.cpu.A, 0);
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
        EXPECT_EQ(m.run(100), 0);  // the next run meets the same byte
        EXPECT_EQ(m.illegals, 2);
        EXPECT_EQ(m.cpu.PC, 0x0101);
    }
    tflatmachine n;  // no event installed
    n.code({0xDD});
    EXPECT_EQ(n.run(100), 0);
    EXPECT_EQ(n.cpu.PC, 0x0100);
}

// ---------------------------------------------------------------------------
// Ending a run early through exitflag

TEST(CpuExitFlag, EveryWritingInstructionEndsTheRunWhenAWriteSetsTheFlag) {
    struct tcase { std::initializer_list<uint8_t> code; int cost; };
    const tcase cases[] = {
        {{0xE0, 0x40}, 12},       // LDH (n),A
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
        m.cpu.SP = 0xC002;
        m.exitaddress = *t.code.begin() == 0xE0 ? 0xFF40 : 0xC000;
        m.code(t.code);  // followed by NOPs
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
    m.code({0xF0, 0x44, 0x3C, 0x3C, 0x77, 0x3C});  // LDH A,(44); INC A; INC A; LD (HL),A; INC A
    EXPECT_EQ(m.run(1000), 12 + 4 + 4 + 8);
    EXPECT_EQ(m.cpu.A, 2);
    EXPECT_EQ(m.mem[0xC000], 2);
}

TEST(CpuExitFlag, TheFlagIsClearedAtTheStartOfEachRun) {
    tflatmachine m;
    m.cpu.exitflag = 1;
    m.code({0x77, 0x77, 0x77});
    EXPECT_EQ(m.run(16), 16);  // a stale flag does not end the new run
    EXPECT_EQ(m.cpu.exitflag, 0);
}

TEST(CpuFlags, PackUnpackAndPairLayout) {
    tcpustate s;
    s.flagZ = 1; s.flagN = 0; s.flagH = 1; s.flagC = 0;
    s.F = 0x0F;
    packflags(s);
    EXPECT_EQ(s.F, 0xA0);
    s.F = 0x5F;
    unpackflags(s);
    EXPECT_EQ((tflags{s.flagZ, s.flagN, s.flagH, s.flagC}), (tflags{0, 1, 0, 1}));
    s.AF = 0x12F0;  // the second named register is the high byte
    EXPECT_EQ(s.A, 0x12);
    s.HL = 0xC0DE;
    EXPECT_EQ(s.H, 0xC0);
    EXPECT_EQ(s.L, 0xDE);
}

// ---------------------------------------------------------------------------
// Public test ROMs on a minimal bus: ROM banks on the page table, flat RAM,
// the timer, LY, VBlank and the serial port, and one-instruction slices with
// the enable-after-one-instruction rule and interrupt dispatch.

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
        for (int p = 8; p < 15; ++p) pages[p].data = mem.data();
        // The I/O page computes DIV, IF and LY, so it has no direct pointer.
        pages[15] = {nullptr, [](void* c, uint16_t a) { return static_cast<tminimachine*>(c)->readbyte(a); }, this};
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
