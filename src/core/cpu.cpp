// The processor interpreter: one function, the whole instruction set inline,
// dispatched through two 256-entry label tables (main opcodes and CB-prefixed).
#include "core/cpu.h"

#include "core/daa.h"

namespace tov {

#define TOV_INLINE inline __attribute__((always_inline))

void packflags(tcpustate& s) {
    s.F = uint8_t(s.flagZ << 7 | s.flagN << 6 | s.flagH << 5 | s.flagC << 4);
}

void unpackflags(tcpustate& s) {
    s.flagZ = (s.F >> 7) & 1;
    s.flagN = (s.F >> 6) & 1;
    s.flagH = (s.F >> 5) & 1;
    s.flagC = (s.F >> 4) & 1;
}

namespace {

// ---- 8-bit arithmetic and logic on A -------------------------------------

TOV_INLINE void aluadd(tcpustate& s, uint8_t v) {
    unsigned a = s.A, r = a + v;
    s.flagH = ((a & 0xF) + (v & 0xF)) > 0xF;
    s.flagC = r > 0xFF;
    s.A = uint8_t(r);
    s.flagZ = s.A == 0;
    s.flagN = 0;
}

TOV_INLINE void aluadc(tcpustate& s, uint8_t v) {
    unsigned a = s.A, c = s.flagC, r = a + v + c;
    s.flagH = (c + (a & 0xF) + (v & 0xF)) > 0xF;
    s.flagC = r > 0xFF;
    s.A = uint8_t(r);
    s.flagZ = s.A == 0;
    s.flagN = 0;
}

TOV_INLINE void alusub(tcpustate& s, uint8_t v) {
    unsigned a = s.A;
    s.flagH = (a & 0xF) < (v & 0xF);
    s.flagC = a < v;
    s.flagZ = a == v;
    s.flagN = 1;
    s.A = uint8_t(a - v);
}

TOV_INLINE void alusbc(tcpustate& s, uint8_t v) {
    unsigned a = s.A, c = s.flagC;
    s.flagH = (a & 0xF) < (v & 0xF) + c;
    s.flagC = a < v + c;
    s.A = uint8_t(a - v - c);
    s.flagZ = s.A == 0;
    s.flagN = 1;
}

TOV_INLINE void aluand(tcpustate& s, uint8_t v) {
    s.A &= v;
    s.flagZ = s.A == 0;
    s.flagN = 0;
    s.flagH = 1;
    s.flagC = 0;
}

TOV_INLINE void aluxor(tcpustate& s, uint8_t v) {
    s.A ^= v;
    s.flagZ = s.A == 0;
    s.flagN = 0;
    s.flagH = 0;
    s.flagC = 0;
}

TOV_INLINE void aluor(tcpustate& s, uint8_t v) {
    s.A |= v;
    s.flagZ = s.A == 0;
    s.flagN = 0;
    s.flagH = 0;
    s.flagC = 0;
}

TOV_INLINE void alucp(tcpustate& s, uint8_t v) {
    unsigned a = s.A;
    s.flagH = (a & 0xF) < (v & 0xF);
    s.flagC = a < v;
    s.flagZ = a == v;
    s.flagN = 1;
}

TOV_INLINE uint8_t aluinc(tcpustate& s, uint8_t v) {
    uint8_t r = uint8_t(v + 1);
    s.flagZ = r == 0;
    s.flagN = 0;
    s.flagH = (r & 0xF) == 0;
    return r;
}

TOV_INLINE uint8_t aludec(tcpustate& s, uint8_t v) {
    uint8_t r = uint8_t(v - 1);
    s.flagZ = r == 0;
    s.flagN = 1;
    s.flagH = (v & 0xF) == 0;
    return r;
}

TOV_INLINE void addhl(tcpustate& s, uint16_t v) {
    unsigned hl = s.HL;
    s.flagN = 0;
    s.flagH = ((hl & 0xFFF) + (v & 0xFFF)) > 0xFFF;
    s.flagC = (hl + v) > 0xFFFF;
    s.HL = uint16_t(hl + v);
}

// SP plus a signed byte (ADD SP,e and LD HL,SP+e). The processor adds the
// offset byte to SP's low byte, so H is the carry out of bit 3 and C the carry
// out of bit 7 of that unsigned byte addition, for negative offsets too.
TOV_INLINE uint16_t spoffset(tcpustate& s, uint8_t e) {
    unsigned sp = s.SP;
    s.flagZ = 0;
    s.flagN = 0;
    s.flagH = ((sp & 0xF) + (e & 0xF)) > 0xF;
    s.flagC = ((sp & 0xFF) + e) > 0xFF;
    return uint16_t(sp + uint16_t(int16_t(int8_t(e))));
}

// ---- CB-prefixed rotates and shifts -------------------------------------

TOV_INLINE uint8_t shiftflags(tcpustate& s, uint8_t r, unsigned carry) {
    s.flagZ = r == 0;
    s.flagN = 0;
    s.flagH = 0;
    s.flagC = uint8_t(carry);
    return r;
}
TOV_INLINE uint8_t cbrlc(tcpustate& s, uint8_t v) { return shiftflags(s, uint8_t(v << 1 | v >> 7), v >> 7); }
TOV_INLINE uint8_t cbrrc(tcpustate& s, uint8_t v) { return shiftflags(s, uint8_t(v >> 1 | v << 7), v & 1); }
TOV_INLINE uint8_t cbrl(tcpustate& s, uint8_t v) { return shiftflags(s, uint8_t(v << 1 | s.flagC), v >> 7); }
TOV_INLINE uint8_t cbrr(tcpustate& s, uint8_t v) { return shiftflags(s, uint8_t(v >> 1 | s.flagC << 7), v & 1); }
TOV_INLINE uint8_t cbsla(tcpustate& s, uint8_t v) { return shiftflags(s, uint8_t(v << 1), v >> 7); }
TOV_INLINE uint8_t cbsra(tcpustate& s, uint8_t v) { return shiftflags(s, uint8_t((v >> 1) | (v & 0x80)), v & 1); }
TOV_INLINE uint8_t cbswap(tcpustate& s, uint8_t v) { return shiftflags(s, uint8_t(v << 4 | v >> 4), 0); }
TOV_INLINE uint8_t cbsrl(tcpustate& s, uint8_t v) { return shiftflags(s, uint8_t(v >> 1), v & 1); }

TOV_INLINE void cbbit(tcpustate& s, unsigned b, uint8_t v) {
    s.flagZ = ((v >> b) & 1) == 0;
    s.flagN = 0;
    s.flagH = 1;
}

// Opcode fetch from a page without a direct pointer. A page with neither a
// pointer nor a routine reads as unmapped (0xFF) instead of calling null.
__attribute__((noinline)) uint8_t slowfetch(const tpageentry& pe, uint16_t address) {
    return pe.read ? pe.read(pe.context, address) : 0xFF;
}

// Instruction lengths of the main opcodes (0xCB counts with its sub-opcode;
// STOP skips the byte after it; illegal opcodes are 1).
constexpr uint8_t lengths[256] = {
    1, 3, 1, 1, 1, 1, 2, 1, 3, 1, 1, 1, 1, 1, 2, 1,  // 0x
    2, 3, 1, 1, 1, 1, 2, 1, 2, 1, 1, 1, 1, 1, 2, 1,  // 1x
    2, 3, 1, 1, 1, 1, 2, 1, 2, 1, 1, 1, 1, 1, 2, 1,  // 2x
    2, 3, 1, 1, 1, 1, 2, 1, 2, 1, 1, 1, 1, 1, 2, 1,  // 3x
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 4x
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 5x
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 6x
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 7x
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 8x
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // 9x
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // Ax
    1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,  // Bx
    1, 1, 3, 3, 3, 1, 2, 1, 1, 1, 3, 2, 3, 3, 2, 1,  // Cx
    1, 1, 3, 1, 3, 1, 2, 1, 1, 1, 3, 1, 3, 1, 2, 1,  // Dx
    2, 1, 1, 1, 1, 1, 2, 1, 2, 1, 3, 1, 1, 1, 2, 1,  // Ex
    2, 1, 1, 1, 1, 1, 2, 1, 2, 1, 3, 1, 1, 1, 2, 1,  // Fx
};

}  // namespace

bool isillegalopcode(uint8_t opcode) {
    switch (opcode) {
    case 0xD3: case 0xDB: case 0xDD: case 0xE3: case 0xE4: case 0xEB:
    case 0xEC: case 0xED: case 0xF4: case 0xFC: case 0xFD:
        return true;
    default:
        return false;
    }
}

int opcodelength(uint8_t opcode) { return lengths[opcode]; }

// ---- the interpreter -----------------------------------------------------
//
// PC and the budget live in locals (registers) while the run goes on; they are
// stored back into the record before every call out (memory routines, events)
// so that those always see a consistent record. Routines may change any field
// except PC and `cycles`; they end the run through `exitflag`.

void cpuexecute(tcpustate& s) {
    static const void* const maintable[256] = {
        &&op_00, &&op_01, &&op_02, &&op_03, &&op_04, &&op_05, &&op_06, &&op_07,
        &&op_08, &&op_09, &&op_0A, &&op_0B, &&op_0C, &&op_0D, &&op_0E, &&op_0F,
        &&op_10, &&op_11, &&op_12, &&op_13, &&op_14, &&op_15, &&op_16, &&op_17,
        &&op_18, &&op_19, &&op_1A, &&op_1B, &&op_1C, &&op_1D, &&op_1E, &&op_1F,
        &&op_20, &&op_21, &&op_22, &&op_23, &&op_24, &&op_25, &&op_26, &&op_27,
        &&op_28, &&op_29, &&op_2A, &&op_2B, &&op_2C, &&op_2D, &&op_2E, &&op_2F,
        &&op_30, &&op_31, &&op_32, &&op_33, &&op_34, &&op_35, &&op_36, &&op_37,
        &&op_38, &&op_39, &&op_3A, &&op_3B, &&op_3C, &&op_3D, &&op_3E, &&op_3F,
        &&op_40, &&op_41, &&op_42, &&op_43, &&op_44, &&op_45, &&op_46, &&op_47,
        &&op_48, &&op_49, &&op_4A, &&op_4B, &&op_4C, &&op_4D, &&op_4E, &&op_4F,
        &&op_50, &&op_51, &&op_52, &&op_53, &&op_54, &&op_55, &&op_56, &&op_57,
        &&op_58, &&op_59, &&op_5A, &&op_5B, &&op_5C, &&op_5D, &&op_5E, &&op_5F,
        &&op_60, &&op_61, &&op_62, &&op_63, &&op_64, &&op_65, &&op_66, &&op_67,
        &&op_68, &&op_69, &&op_6A, &&op_6B, &&op_6C, &&op_6D, &&op_6E, &&op_6F,
        &&op_70, &&op_71, &&op_72, &&op_73, &&op_74, &&op_75, &&op_76, &&op_77,
        &&op_78, &&op_79, &&op_7A, &&op_7B, &&op_7C, &&op_7D, &&op_7E, &&op_7F,
        &&op_80, &&op_81, &&op_82, &&op_83, &&op_84, &&op_85, &&op_86, &&op_87,
        &&op_88, &&op_89, &&op_8A, &&op_8B, &&op_8C, &&op_8D, &&op_8E, &&op_8F,
        &&op_90, &&op_91, &&op_92, &&op_93, &&op_94, &&op_95, &&op_96, &&op_97,
        &&op_98, &&op_99, &&op_9A, &&op_9B, &&op_9C, &&op_9D, &&op_9E, &&op_9F,
        &&op_A0, &&op_A1, &&op_A2, &&op_A3, &&op_A4, &&op_A5, &&op_A6, &&op_A7,
        &&op_A8, &&op_A9, &&op_AA, &&op_AB, &&op_AC, &&op_AD, &&op_AE, &&op_AF,
        &&op_B0, &&op_B1, &&op_B2, &&op_B3, &&op_B4, &&op_B5, &&op_B6, &&op_B7,
        &&op_B8, &&op_B9, &&op_BA, &&op_BB, &&op_BC, &&op_BD, &&op_BE, &&op_BF,
        &&op_C0, &&op_C1, &&op_C2, &&op_C3, &&op_C4, &&op_C5, &&op_C6, &&op_C7,
        &&op_C8, &&op_C9, &&op_CA, &&op_CB, &&op_CC, &&op_CD, &&op_CE, &&op_CF,
        &&op_D0, &&op_D1, &&op_D2, &&op_ill, &&op_D4, &&op_D5, &&op_D6, &&op_D7,
        &&op_D8, &&op_D9, &&op_DA, &&op_ill, &&op_DC, &&op_ill, &&op_DE, &&op_DF,
        &&op_E0, &&op_E1, &&op_E2, &&op_ill, &&op_ill, &&op_E5, &&op_E6, &&op_E7,
        &&op_E8, &&op_E9, &&op_EA, &&op_ill, &&op_ill, &&op_ill, &&op_EE, &&op_EF,
        &&op_F0, &&op_F1, &&op_F2, &&op_F3, &&op_ill, &&op_F5, &&op_F6, &&op_F7,
        &&op_F8, &&op_F9, &&op_FA, &&op_FB, &&op_ill, &&op_ill, &&op_FE, &&op_FF,
    };

    // CB table: rows of eight operands B, C, D, E, H, L, (HL), A.
#define CBROW(g) &&cb_##g##_B, &&cb_##g##_C, &&cb_##g##_D, &&cb_##g##_E, \
                 &&cb_##g##_H, &&cb_##g##_L, &&cb_##g##_M, &&cb_##g##_A
    static const void* const cbtable[256] = {
        CBROW(rlc),  CBROW(rrc),  CBROW(rl),   CBROW(rr),
        CBROW(sla),  CBROW(sra),  CBROW(swap), CBROW(srl),
        CBROW(bit0), CBROW(bit1), CBROW(bit2), CBROW(bit3),
        CBROW(bit4), CBROW(bit5), CBROW(bit6), CBROW(bit7),
        CBROW(res0), CBROW(res1), CBROW(res2), CBROW(res3),
        CBROW(res4), CBROW(res5), CBROW(res6), CBROW(res7),
        CBROW(set0), CBROW(set1), CBROW(set2), CBROW(set3),
        CBROW(set4), CBROW(set5), CBROW(set6), CBROW(set7),
    };
#undef CBROW

    if (!s.pagetable || !s.read || !s.write) {
        // Not wired to a bus: nothing can run, the slice passes idle.
        s.cycles = 0;
        return;
    }

    if (s.halted) {
        uint8_t ie = s.read(s.readcontext, 0xFFFF);
        uint8_t iflags = s.read(s.readcontext, 0xFF0F);
        if ((ie & iflags & 0x1F) == 0) {
            s.cycles = 0;
            return;
        }
        // An enabled interrupt is requested: run on; the machine clears `halted`.
    }

    s.exitflag = 0;

    const tpageentry* const pt = s.pagetable;
    uint16_t pc = s.PC;
    int32_t cyc = s.cycles;

    // Calls out see the current PC and budget.
#define SYNC() (s.PC = pc, s.cycles = cyc)
    // Data reads take the page's direct pointer, as opcode fetches do: plain memory costs
    // no call. Pages without a pointer (I/O, VRAM while the LCD draws, unmapped or routed
    // banks, the boot image, watched pages) go through the read routine, which sees the
    // current PC and budget.
#define RD(addr)                                                          \
    ({                                                                    \
        uint16_t ra_ = uint16_t(addr);                                    \
        const tpageentry& rp_ = pt[ra_ >> 12];                            \
        rp_.data ? rp_.data[ra_] : (SYNC(), s.read(s.readcontext, ra_));  \
    })
#define WR(addr, v) (SYNC(), s.write(s.writecontext, uint16_t(addr), uint8_t(v)))
#define IMM8() (pc = uint16_t(pc + 1), RD(pc - 1))
#define FETCHOP(op)                                                 \
    do {                                                            \
        const tpageentry& pe_ = pt[pc >> 12];                       \
        op = pe_.data ? pe_.data[pc] : slowfetch(pe_, pc);          \
    } while (0)
#define DISPATCH()                      \
    do {                                \
        unsigned op_;                   \
        FETCHOP(op_);                   \
        pc = uint16_t(pc + 1);          \
        goto* maintable[op_];           \
    } while (0)
    // After an instruction: go on while budget is left.
#define NEXT(cost)                      \
    do {                                \
        cyc -= (cost);                  \
        if (cyc > 0) DISPATCH();        \
        goto done;                      \
    } while (0)
    // After an instruction that wrote memory: a write may have ended the run.
#define NEXTW(cost)                     \
    do {                                \
        cyc -= (cost);                  \
        if (s.exitflag) goto done;      \
        if (cyc > 0) DISPATCH();        \
        goto done;                      \
    } while (0)
#define PUSH16(v)                                   \
    do {                                            \
        uint16_t v_ = (v);                          \
        s.SP = uint16_t(s.SP - 2);                  \
        WR(s.SP, v_ & 0xFF);                        \
        WR(uint16_t(s.SP + 1), v_ >> 8);            \
    } while (0)

    // HALT bug: the byte after HALT is fetched without advancing PC. HALT ends
    // the run, so the flag can only be armed at the start of one.
    if (s.haltbugskip) {
        s.haltbugskip = 0;
        unsigned op;
        FETCHOP(op);
        goto* maintable[op];
    }
    DISPATCH();

    // ---- 0x00-0x3F ------------------------------------------------------
op_00: NEXT(4);                                                      // NOP
op_01: { uint8_t lo = IMM8(); uint8_t hi = IMM8(); s.BC = uint16_t(hi << 8 | lo); NEXT(12); }
op_02: WR(s.BC, s.A); NEXTW(8);                                      // LD (BC),A
op_03: s.BC++; NEXT(8);
op_04: s.B = aluinc(s, s.B); NEXT(4);
op_05: s.B = aludec(s, s.B); NEXT(4);
op_06: s.B = IMM8(); NEXT(8);
op_07: {                                                             // RLCA
    uint8_t a = s.A;
    s.A = uint8_t(a << 1 | a >> 7);
    s.flagZ = 0; s.flagN = 0; s.flagH = 0; s.flagC = a >> 7;
    NEXT(4);
}
op_08: {                                                             // LD (nn),SP
    uint8_t lo = IMM8(); uint8_t hi = IMM8();
    uint16_t a = uint16_t(hi << 8 | lo);
    WR(a, s.SP & 0xFF);
    WR(uint16_t(a + 1), s.SP >> 8);
    NEXTW(20);
}
op_09: addhl(s, s.BC); NEXT(8);
op_0A: s.A = RD(s.BC); NEXT(8);
op_0B: s.BC--; NEXT(8);
op_0C: s.C = aluinc(s, s.C); NEXT(4);
op_0D: s.C = aludec(s, s.C); NEXT(4);
op_0E: s.C = IMM8(); NEXT(8);
op_0F: {                                                             // RRCA
    uint8_t a = s.A;
    s.A = uint8_t(a >> 1 | a << 7);
    s.flagZ = 0; s.flagN = 0; s.flagH = 0; s.flagC = a & 1;
    NEXT(4);
}
op_10:                                                               // STOP
    // The event sees PC on the byte after STOP; that byte is skipped afterwards.
    if (s.onstop) {
        SYNC();
        s.onstop(s.onstopcontext);
    }
    pc = uint16_t(pc + 1);
    // A speed switch changes how the caller converts clocks to time, so the
    // event may end the run here through `exitflag`, as a write can.
    NEXTW(8);
op_11: { uint8_t lo = IMM8(); uint8_t hi = IMM8(); s.DE = uint16_t(hi << 8 | lo); NEXT(12); }
op_12: WR(s.DE, s.A); NEXTW(8);
op_13: s.DE++; NEXT(8);
op_14: s.D = aluinc(s, s.D); NEXT(4);
op_15: s.D = aludec(s, s.D); NEXT(4);
op_16: s.D = IMM8(); NEXT(8);
op_17: {                                                             // RLA
    uint8_t a = s.A;
    s.A = uint8_t(a << 1 | s.flagC);
    s.flagZ = 0; s.flagN = 0; s.flagH = 0; s.flagC = a >> 7;
    NEXT(4);
}
op_18: {                                                             // JR e
    int8_t e = int8_t(IMM8());
    pc = uint16_t(pc + e);
    NEXT(12);
}
op_19: addhl(s, s.DE); NEXT(8);
op_1A: s.A = RD(s.DE); NEXT(8);
op_1B: s.DE--; NEXT(8);
op_1C: s.E = aluinc(s, s.E); NEXT(4);
op_1D: s.E = aludec(s, s.E); NEXT(4);
op_1E: s.E = IMM8(); NEXT(8);
op_1F: {                                                             // RRA
    uint8_t a = s.A;
    s.A = uint8_t(a >> 1 | s.flagC << 7);
    s.flagZ = 0; s.flagN = 0; s.flagH = 0; s.flagC = a & 1;
    NEXT(4);
}
#define JRCC(cond)                                  \
    do {                                            \
        if (cond) {                                 \
            int8_t e = int8_t(IMM8());              \
            pc = uint16_t(pc + e);                  \
            NEXT(12);                               \
        }                                           \
        pc = uint16_t(pc + 1);                      \
        NEXT(8);                                    \
    } while (0)
op_20: JRCC(!s.flagZ);
op_21: { uint8_t lo = IMM8(); uint8_t hi = IMM8(); s.HL = uint16_t(hi << 8 | lo); NEXT(12); }
op_22: WR(s.HL, s.A); s.HL++; NEXTW(8);                             // LD (HL+),A
op_23: s.HL++; NEXT(8);
op_24: s.H = aluinc(s, s.H); NEXT(4);
op_25: s.H = aludec(s, s.H); NEXT(4);
op_26: s.H = IMM8(); NEXT(8);
op_27: {                                                             // DAA
    packflags(s);
    const tdaaentry& d = daatable[unsigned(s.F & 0xF0) << 4 | s.A];
    s.A = d.a;
    s.F = d.f;
    unpackflags(s);
    NEXT(4);
}
op_28: JRCC(s.flagZ);
op_29: addhl(s, s.HL); NEXT(8);
op_2A: s.A = RD(s.HL); s.HL++; NEXT(8);                             // LD A,(HL+)
op_2B: s.HL--; NEXT(8);
op_2C: s.L = aluinc(s, s.L); NEXT(4);
op_2D: s.L = aludec(s, s.L); NEXT(4);
op_2E: s.L = IMM8(); NEXT(8);
op_2F: s.A = uint8_t(~s.A); s.flagN = 1; s.flagH = 1; NEXT(4);      // CPL
op_30: JRCC(!s.flagC);
op_31: { uint8_t lo = IMM8(); uint8_t hi = IMM8(); s.SP = uint16_t(hi << 8 | lo); NEXT(12); }
op_32: WR(s.HL, s.A); s.HL--; NEXTW(8);                             // LD (HL-),A
op_33: s.SP++; NEXT(8);
op_34: { uint16_t a = s.HL; uint8_t v = RD(a); WR(a, aluinc(s, v)); NEXTW(12); }
op_35: { uint16_t a = s.HL; uint8_t v = RD(a); WR(a, aludec(s, v)); NEXTW(12); }
op_36: { uint8_t v = IMM8(); WR(s.HL, v); NEXTW(12); }
op_37: s.flagC = 1; s.flagN = 0; s.flagH = 0; NEXT(4);              // SCF
op_38: JRCC(s.flagC);
op_39: addhl(s, s.SP); NEXT(8);
op_3A: s.A = RD(s.HL); s.HL--; NEXT(8);                             // LD A,(HL-)
op_3B: s.SP--; NEXT(8);
op_3C: s.A = aluinc(s, s.A); NEXT(4);
op_3D: s.A = aludec(s, s.A); NEXT(4);
op_3E: s.A = IMM8(); NEXT(8);
op_3F: s.flagC ^= 1; s.flagN = 0; s.flagH = 0; NEXT(4);             // CCF

    // ---- 0x40-0x7F: LD r,r' ----------------------------------------------
#define LDRR(opc, d, r) op_##opc: s.d = s.r; NEXT(4);
#define LDRM(opc, d) op_##opc: s.d = RD(s.HL); NEXT(8);
#define LDMR(opc, r) op_##opc: WR(s.HL, s.r); NEXTW(8);
    LDRR(40, B, B) LDRR(41, B, C) LDRR(42, B, D) LDRR(43, B, E) LDRR(44, B, H) LDRR(45, B, L) LDRM(46, B) LDRR(47, B, A)
    LDRR(48, C, B) LDRR(49, C, C) LDRR(4A, C, D) LDRR(4B, C, E) LDRR(4C, C, H) LDRR(4D, C, L) LDRM(4E, C) LDRR(4F, C, A)
    LDRR(50, D, B) LDRR(51, D, C) LDRR(52, D, D) LDRR(53, D, E) LDRR(54, D, H) LDRR(55, D, L) LDRM(56, D) LDRR(57, D, A)
    LDRR(58, E, B) LDRR(59, E, C) LDRR(5A, E, D) LDRR(5B, E, E) LDRR(5C, E, H) LDRR(5D, E, L) LDRM(5E, E) LDRR(5F, E, A)
    LDRR(60, H, B) LDRR(61, H, C) LDRR(62, H, D) LDRR(63, H, E) LDRR(64, H, H) LDRR(65, H, L) LDRM(66, H) LDRR(67, H, A)
    LDRR(68, L, B) LDRR(69, L, C) LDRR(6A, L, D) LDRR(6B, L, E) LDRR(6C, L, H) LDRR(6D, L, L) LDRM(6E, L) LDRR(6F, L, A)
    LDMR(70, B)    LDMR(71, C)    LDMR(72, D)    LDMR(73, E)    LDMR(74, H)    LDMR(75, L)                LDMR(77, A)
    LDRR(78, A, B) LDRR(79, A, C) LDRR(7A, A, D) LDRR(7B, A, E) LDRR(7C, A, H) LDRR(7D, A, L) LDRM(7E, A) LDRR(7F, A, A)
#undef LDRR
#undef LDRM
#undef LDMR

op_76:                                                               // HALT
    s.halted = 1;
    s.exitflag = 1;
    cyc -= 4;
    if (!s.ime && !s.eipending && s.emulatehaltbug) {
        uint8_t iflags = RD(0xFF0F);
        uint8_t ie = RD(0xFFFF);
        // With interrupts disabled and one already requested the processor
        // does not halt, and fails to advance PC past the next opcode byte.
        if (ie & iflags & 0x1F) s.haltbugskip = 1;
    }
    goto done;

    // ---- 0x80-0xBF: ALU A,r ----------------------------------------------
#define ALUROW(o0, o1, o2, o3, o4, o5, o6, o7, fn)                       \
    op_##o0: fn(s, s.B); NEXT(4);                                        \
    op_##o1: fn(s, s.C); NEXT(4);                                        \
    op_##o2: fn(s, s.D); NEXT(4);                                        \
    op_##o3: fn(s, s.E); NEXT(4);                                        \
    op_##o4: fn(s, s.H); NEXT(4);                                        \
    op_##o5: fn(s, s.L); NEXT(4);                                        \
    op_##o6: fn(s, RD(s.HL)); NEXT(8);                                   \
    op_##o7: fn(s, s.A); NEXT(4);
    ALUROW(80, 81, 82, 83, 84, 85, 86, 87, aluadd)
    ALUROW(88, 89, 8A, 8B, 8C, 8D, 8E, 8F, aluadc)
    ALUROW(90, 91, 92, 93, 94, 95, 96, 97, alusub)
    ALUROW(98, 99, 9A, 9B, 9C, 9D, 9E, 9F, alusbc)
    ALUROW(A0, A1, A2, A3, A4, A5, A6, A7, aluand)
    ALUROW(A8, A9, AA, AB, AC, AD, AE, AF, aluxor)
    ALUROW(B0, B1, B2, B3, B4, B5, B6, B7, aluor)
    ALUROW(B8, B9, BA, BB, BC, BD, BE, BF, alucp)
#undef ALUROW

    // ---- 0xC0-0xFF --------------------------------------------------------
#define POP16(dst)                                  \
    do {                                            \
        uint8_t lo_ = RD(s.SP);                     \
        uint8_t hi_ = RD(uint16_t(s.SP + 1));       \
        s.SP = uint16_t(s.SP + 2);                  \
        dst = uint16_t(hi_ << 8 | lo_);             \
    } while (0)
#define RETCC(cond)                                 \
    do {                                            \
        if (cond) {                                 \
            POP16(pc);                              \
            NEXT(20);                               \
        }                                           \
        NEXT(8);                                    \
    } while (0)
#define JPCC(cond)                                  \
    do {                                            \
        if (cond) {                                 \
            uint8_t lo = IMM8();                    \
            uint8_t hi = IMM8();                    \
            pc = uint16_t(hi << 8 | lo);            \
            NEXT(16);                               \
        }                                           \
        pc = uint16_t(pc + 2);                      \
        NEXT(12);                                   \
    } while (0)
#define CALLCC(cond)                                \
    do {                                            \
        if (cond) {                                 \
            uint8_t lo = IMM8();                    \
            uint8_t hi = IMM8();                    \
            PUSH16(pc);                             \
            pc = uint16_t(hi << 8 | lo);            \
            NEXTW(24);                              \
        }                                           \
        pc = uint16_t(pc + 2);                      \
        NEXT(12);                                   \
    } while (0)
#define RST(n) do { PUSH16(pc); pc = (n); NEXTW(16); } while (0)

op_C0: RETCC(!s.flagZ);
op_C1: POP16(s.BC); NEXT(12);
op_C2: JPCC(!s.flagZ);
op_C3: JPCC(true);
op_C4: CALLCC(!s.flagZ);
op_C5: PUSH16(s.BC); NEXTW(16);
op_C6: aluadd(s, IMM8()); NEXT(8);
op_C7: RST(0x00);
op_C8: RETCC(s.flagZ);
op_C9: POP16(pc); NEXT(16);                                          // RET
op_CA: JPCC(s.flagZ);
op_CB: {
    uint8_t sub = IMM8();
    goto* cbtable[sub];
}
op_CC: CALLCC(s.flagZ);
op_CD: CALLCC(true);
op_CE: aluadc(s, IMM8()); NEXT(8);
op_CF: RST(0x08);
op_D0: RETCC(!s.flagC);
op_D1: POP16(s.DE); NEXT(12);
op_D2: JPCC(!s.flagC);
op_D4: CALLCC(!s.flagC);
op_D5: PUSH16(s.DE); NEXTW(16);
op_D6: alusub(s, IMM8()); NEXT(8);
op_D7: RST(0x10);
op_D8: RETCC(s.flagC);
op_D9:                                                               // RETI
    POP16(pc);
    s.ime = 1;
    s.eipending = 1;
    s.exitflag = 1;
    cyc -= 16;
    goto done;
op_DA: JPCC(s.flagC);
op_DC: CALLCC(s.flagC);
op_DE: alusbc(s, IMM8()); NEXT(8);
op_DF: RST(0x18);
op_E0: { uint8_t n = IMM8(); WR(0xFF00 | n, s.A); NEXTW(12); }        // LDH (n),A
op_E1: POP16(s.HL); NEXT(12);
op_E2: WR(0xFF00 | s.C, s.A); NEXTW(8);                              // LD (C),A
op_E5: PUSH16(s.HL); NEXTW(16);
op_E6: aluand(s, IMM8()); NEXT(8);
op_E7: RST(0x20);
op_E8: { uint8_t e = IMM8(); s.SP = spoffset(s, e); NEXT(16); }       // ADD SP,e
op_E9: pc = s.HL; NEXT(4);                                           // JP (HL)
op_EA: {                                                             // LD (nn),A
    uint8_t lo = IMM8(); uint8_t hi = IMM8();
    WR(uint16_t(hi << 8 | lo), s.A);
    NEXTW(16);
}
op_EE: aluxor(s, IMM8()); NEXT(8);
op_EF: RST(0x28);
op_F0: { uint8_t n = IMM8(); s.A = RD(0xFF00 | n); NEXT(12); }        // LDH A,(n)
op_F1:                                                               // POP AF
    POP16(s.AF);
    unpackflags(s);
    NEXT(12);
op_F2: s.A = RD(0xFF00 | s.C); NEXT(8);                              // LD A,(C)
op_F3: s.ime = 0; s.eipending = 0; s.halted = 0; NEXT(4);            // DI
op_F5: packflags(s); PUSH16(s.AF); NEXTW(16);                        // PUSH AF
op_F6: aluor(s, IMM8()); NEXT(8);
op_F7: RST(0x30);
op_F8: { uint8_t e = IMM8(); s.HL = spoffset(s, e); NEXT(12); }       // LD HL,SP+e
op_F9: s.SP = s.HL; NEXT(8);
op_FA: {                                                             // LD A,(nn)
    uint8_t lo = IMM8(); uint8_t hi = IMM8();
    s.A = RD(uint16_t(hi << 8 | lo));
    NEXT(16);
}
op_FB:                                                               // EI
    // Interrupts come on one instruction later: the scheduler copies
    // `eipending` into `ime` before the next slice.
    s.eipending = 1;
    s.exitflag = 1;
    cyc -= 4;
    goto done;
op_FE: alucp(s, IMM8()); NEXT(8);
op_FF: RST(0x38);

op_ill:
    // Back onto the illegal byte; nothing else changes and no time passes.
    pc = uint16_t(pc - 1);
    s.exitflag = 1;
    if (s.onillegal) {
        SYNC();
        s.onillegal(s.onillegalcontext);
    }
    goto done;

#undef POP16
#undef RETCC
#undef JPCC
#undef CALLCC
#undef RST

    // ---- CB-prefixed operations ------------------------------------------
#define CBREG(g, r, fn) cb_##g##_##r: s.r = fn(s, s.r); NEXT(8);
#define CBSHIFT(g, fn)                                                    \
    CBREG(g, B, fn) CBREG(g, C, fn) CBREG(g, D, fn) CBREG(g, E, fn)       \
    CBREG(g, H, fn) CBREG(g, L, fn) CBREG(g, A, fn)                       \
    cb_##g##_M: { uint16_t a = s.HL; uint8_t v = RD(a); WR(a, fn(s, v)); NEXTW(16); }
    CBSHIFT(rlc, cbrlc)
    CBSHIFT(rrc, cbrrc)
    CBSHIFT(rl, cbrl)
    CBSHIFT(rr, cbrr)
    CBSHIFT(sla, cbsla)
    CBSHIFT(sra, cbsra)
    CBSHIFT(swap, cbswap)
    CBSHIFT(srl, cbsrl)
#undef CBSHIFT
#undef CBREG

#define CBBITS(b)                                                            \
    cb_bit##b##_B: cbbit(s, b, s.B); NEXT(8);                                \
    cb_bit##b##_C: cbbit(s, b, s.C); NEXT(8);                                \
    cb_bit##b##_D: cbbit(s, b, s.D); NEXT(8);                                \
    cb_bit##b##_E: cbbit(s, b, s.E); NEXT(8);                                \
    cb_bit##b##_H: cbbit(s, b, s.H); NEXT(8);                                \
    cb_bit##b##_L: cbbit(s, b, s.L); NEXT(8);                                \
    cb_bit##b##_M: cbbit(s, b, RD(s.HL)); NEXT(12);                          \
    cb_bit##b##_A: cbbit(s, b, s.A); NEXT(8);                                \
    cb_res##b##_B: s.B &= uint8_t(~(1u << b)); NEXT(8);                      \
    cb_res##b##_C: s.C &= uint8_t(~(1u << b)); NEXT(8);                      \
    cb_res##b##_D: s.D &= uint8_t(~(1u << b)); NEXT(8);                      \
    cb_res##b##_E: s.E &= uint8_t(~(1u << b)); NEXT(8);                      \
    cb_res##b##_H: s.H &= uint8_t(~(1u << b)); NEXT(8);                      \
    cb_res##b##_L: s.L &= uint8_t(~(1u << b)); NEXT(8);                      \
    cb_res##b##_M: { uint16_t a = s.HL; uint8_t v = RD(a);                   \
                     WR(a, v & ~(1u << b)); NEXTW(16); }                      \
    cb_res##b##_A: s.A &= uint8_t(~(1u << b)); NEXT(8);                      \
    cb_set##b##_B: s.B |= uint8_t(1u << b); NEXT(8);                         \
    cb_set##b##_C: s.C |= uint8_t(1u << b); NEXT(8);                         \
    cb_set##b##_D: s.D |= uint8_t(1u << b); NEXT(8);                         \
    cb_set##b##_E: s.E |= uint8_t(1u << b); NEXT(8);                         \
    cb_set##b##_H: s.H |= uint8_t(1u << b); NEXT(8);                         \
    cb_set##b##_L: s.L |= uint8_t(1u << b); NEXT(8);                         \
    cb_set##b##_M: { uint16_t a = s.HL; uint8_t v = RD(a);                   \
                     WR(a, v | (1u << b)); NEXTW(16); }                       \
    cb_set##b##_A: s.A |= uint8_t(1u << b); NEXT(8);
    CBBITS(0) CBBITS(1) CBBITS(2) CBBITS(3) CBBITS(4) CBBITS(5) CBBITS(6) CBBITS(7)
#undef CBBITS

done:
    s.PC = pc;
    s.cycles = cyc;

#undef SYNC
#undef RD
#undef WR
#undef IMM8
#undef FETCHOP
#undef DISPATCH
#undef NEXT
#undef NEXTW
#undef PUSH16
#undef JRCC
}

}  // namespace tov
