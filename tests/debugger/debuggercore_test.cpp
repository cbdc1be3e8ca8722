// The debugger core and run control, driven by small programs: where and why the machine
// stops, conditions and their edges, banked breakpoints, stepping, access breakpoints and
// the misuse checks built from the options, conditions and expressions as text.
#include <gtest/gtest.h>

#include "debugger/debuggercore.h"
#include "debugger/debuggertov.h"
#include "debugger/metercycles.h"
#include "debugtestutil.h"

namespace tov::testing {
namespace {

tromimage program(std::initializer_list<uint8_t> code) {
    tromimage r;
    r.code(0x150, code);
    return r;
}

TEST(DebuggerStops, MessagesAndCaptionsByReason) {
    struct tcase {
        int32_t reason;
        const char* message;
    } cases[] = {{0, ""}, {1, "breakpoint"}, {2, "invalid opcode"}, {3, "tracing"}, {4, ""},
                 {5, "access"}, {6, "halt with interrupts disabled bug"},
                 {7, "accessing inaccessible VRAM"}, {8, "accessing inaccessible OAM"},
                 {9, "accessing echo ram"}, {10, "reading unitialized WRAM"}, {11, "unknown error"},
                 {12, "reading disabled SRAM"}, {13, "MBC write exception"},
                 {14, "disabling LCD outside vblank"}, {15, "16 bits inc/dec in OAM range"},
                 {16, "step out"}, {17, "SGB transfer start"}, {18, "unknown error"}, {-1, "unknown error"}};
    for (const auto& c : cases) EXPECT_STREQ(stopmessage(c.reason), c.message) << c.reason;
}

TEST(DebuggerStops, BreakpointStopsBeforeTheInstruction) {
    // ld a,5 ; ld a,7 ; jr -2
    tdebugmachine d(program({0x3E, 0x05, 0x3E, 0x07, 0x18, 0xFE}));
    d.dbg.core.addbreakpoint(0x152);
    d.rununtil(1);
    ASSERT_GE(d.host.stops.size(), 1u);
    EXPECT_EQ(d.host.stops[0].reason, stopbreakpoint);
    EXPECT_EQ(d.host.stops[0].pc, 0x152);
    EXPECT_EQ(d.host.stops[0].a, 0x05);  // ld a,7 has not run
    EXPECT_EQ(d.host.stops[0].caption, "breakpoint - debugger");
    EXPECT_EQ(d.host.stops.size(), 1u);  // passed once only
    EXPECT_FALSE(d.dbg.stopped());
}

TEST(DebuggerStops, NothingEnabledLeavesTheFastLoop) {
    tdebugmachine d(program({0x18, 0xFE}));
    EXPECT_FALSE(d.gb().debugstepping);
    tbreakpoint* b = d.dbg.core.addbreakpoint(0x150);
    EXPECT_TRUE(d.gb().debugstepping);
    d.dbg.core.setdisabled(b, true);
    EXPECT_FALSE(d.gb().debugstepping);
    taccessbreakpoint* a = d.dbg.core.addaccessbreakpoint(0xC000, 0xC000, true, false);
    EXPECT_TRUE(d.gb().debugstepping);
    d.dbg.core.removeaccessbreakpoint(a);
    d.dbg.core.removebreakpoint(b);
    EXPECT_FALSE(d.gb().debugstepping);
}

TEST(DebuggerStops, InvalidOpcodeStopsInTheDebugger) {
    // Each invalid opcode, seen by the opcode look-up (breakpoints only) and by the probe
    // (with an access breakpoint).
    for (int op = 0; op < 256; op++) {
        for (bool probe : {false, true}) {
            // 0x150: nop ; op ; nop ; nop ; jr -2
            tdebugmachine d(program({0x00, uint8_t(op), 0x00, 0x00, 0x18, 0xFE}));
            if (probe) d.dbg.core.addaccessbreakpoint(0x8000, 0x8000, true, false);
            // Resuming on the invalid opcode would stop again at once: the user moves PC past it.
            d.host.command = [](tdebuggertov& dbg, const tstoprecord&) { dbg.core.machine().cpu.PC = 0x154; };
            d.host.maxstops = 2;
            d.session->runframe(false);
            bool stopped = !d.host.stops.empty() && d.host.stops[0].reason == stopinvalidopcode;
            EXPECT_EQ(stopped, isillegalopcode(uint8_t(op))) << std::hex << op << " probe " << probe;
            if (stopped) {
                EXPECT_EQ(d.host.stops[0].pc, 0x151);
                EXPECT_EQ(d.host.stops[0].caption, "invalid opcode - debugger");
            }
        }
    }
}

TEST(DebuggerStops, BankedBreakpointOnlyInItsBank) {
    // MBC1, four banks; 0x4123 holds `ret` in banks 2 and 3. The program calls it with bank
    // 3 mapped, then with bank 2.
    tromimage r(0x10000);
    r.entry().type(0x01);
    r.code(0x150, {0x3E, 0x03, 0xEA, 0x00, 0x20, 0xCD, 0x23, 0x41,    // bank 3; call 4123
                   0x3E, 0x02, 0xEA, 0x00, 0x20, 0xCD, 0x23, 0x41,    // bank 2; call 4123
                   0x18, 0xFE});
    r.code(0x8123, {0xC9});
    r.code(0xC123, {0xC9});
    tdebugmachine d(r);
    d.dbg.core.addbreakpoint(0x4123, 2);
    d.rununtil(2, 3);
    ASSERT_EQ(d.host.stops.size(), 1u);
    EXPECT_EQ(d.host.stops[0].pc, 0x4123);
    EXPECT_EQ(d.host.stops[0].a, 0x02);
    EXPECT_EQ(d.dbg.core.bankof(0x4123), 2);
}

TEST(DebuggerStops, BankOfAddress) {
    // MBC5 with 4 RAM banks on a GBC: ROM bank 3, RAM bank 2, work RAM bank 5, VRAM bank 1.
    tromimage r(0x20000);
    r.entry().type(0x1A).ramsizecode(0x03).colour(0x80);
    tdebugmachine d(r, 1);
    tgb& gb = d.gb();
    gb.writebyte(0x2000, 3);
    gb.writebyte(0x4000, 2);
    gb.writebyte(0xFF70, 5);
    gb.writebyte(0xFF4F, 1);
    struct tcase {
        uint16_t address;
        int32_t bank;
    } cases[] = {{0x0150, 0}, {0x4000, 3}, {0x7FFF, 3}, {0x8000, 0}, {0xA000, 2}, {0xBFFF, 2}, {0xC000, 0},
                 {0xD000, 5}, {0xDFFF, 5}, {0xE000, 0}, {0xF000, 5}, {0xFDFF, 5}, {0xFE00, 0}, {0xFF80, 0}};
    for (const auto& c : cases) EXPECT_EQ(d.dbg.core.bankof(c.address), c.bank) << std::hex << c.address;
}

// b counts the visits of 0x156; A is derived from it before the visit.
tromimage countingloop(std::initializer_list<uint8_t> derive) {
    tromimage r;
    std::vector<uint8_t> code = {0x06, 0x00, 0x04, 0x78};  // ld b,0 ; loop: inc b ; ld a,b
    code.insert(code.end(), derive);                         // 2 bytes
    code.push_back(0x00);                                    // 0x156: nop
    code.insert(code.end(), {0x18, 0xF9});                   // jr loop (0x152)
    r.code(0x150, code);
    return r;
}

TEST(DebuggerConditions, RisingEdgeAndChanged) {
    struct tcase {
        const char* name;
        std::initializer_list<uint8_t> derive;
        const char* condition;
        std::vector<uint8_t> visits;  // B at the first stops
    } cases[] = {
        // A = b & 3: A<2 holds at b=1 (stop), 4 (stop), 5 (still true: no stop), 8 ...
        {"rising edge", {0xE6, 0x03}, "A<$2", {1, 4, 8, 12}},
        // A = b >> 1 changes at b=2, 4, 6; the first visit differs from nothing seen.
        {"changed", {0xCB, 0x3F}, "a", {1, 2, 4, 6}},
        // A = b & 1 is 0 at even b: the condition is true on every second visit.
        {"not equal", {0xE6, 0x01}, "A<>$0", {1, 3, 5, 7}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tdebugmachine d(countingloop(c.derive));
        tbreakpoint* b = d.dbg.core.addbreakpoint(0x156);
        ASSERT_TRUE(parsecondition(c.condition, b->condition));
        b->kind = kindconditional;
        d.host.maxstops = c.visits.size();
        d.rununtil(c.visits.size(), 2);
        ASSERT_GE(d.host.stops.size(), c.visits.size());
        for (size_t i = 0; i < c.visits.size(); i++) EXPECT_EQ(d.host.stops[i].b, c.visits[i]) << i;
    }
}

TEST(DebuggerConditions, ConstantConditionStopsOnceWhileItHolds) {
    // ld a,10 ; loop: nop ; jr loop: A=$10 holds on every visit, one stop.
    tdebugmachine d(program({0x3E, 0x10, 0x00, 0x18, 0xFD}));
    tbreakpoint* b = d.dbg.core.addbreakpoint(0x152);
    ASSERT_TRUE(parsecondition("A=$10", b->condition));
    b->kind = kindconditional;
    d.rununtil(5, 2);
    EXPECT_EQ(d.host.stops.size(), 1u);
}

TEST(DebuggerConditions, ParseAndFormat) {
    struct tcase {
        const char* text;
        bool valid;
        const char* formatted;
    } cases[] = {
        {"A>=5", false, ""},                // 5 is neither "$" hex nor four digits
        {"A>=$5", true, "A>=$0005"},        // split at ">=", not "=" or ">"
        {"a<>$5", true, "A!=$0005"},        // "<>" is "!="
        {"A!=$5", true, "A!=$0005"},
        {"b!>$FF", true, "B<=$00FF"},
        {"sp!<FFF0", true, "SP>=$FFF0"},
        {" (hl) == $3F ", true, "(HL)=$003F"},
        {"(C000)>(DE)", true, "($C000)>(DE)"},
        {"($FF44)<$90", true, "($FF44)<$0090"},
        {"zero=$1", true, "ZERO=$0001"},
        {"carry", true, "CARRY"},           // no operator: "changed"
        {"(hl)", true, "(HL)"},
        {"(A)=$1", false, ""},              // 8-bit register as address
        {"A=$10000", false, ""},
        {"A=xyz", false, ""},
        {"", false, ""},
        {"=$1", false, ""},
        {"A=", false, ""},
    };
    for (const auto& c : cases) {
        tcondition cond;
        EXPECT_EQ(parsecondition(c.text, cond), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(formatcondition(cond), c.formatted) << c.text;
        }
    }
    tcondition ge;
    ASSERT_TRUE(parsecondition("A>=$5", ge));
    EXPECT_EQ(ge.comparison, 5);
    EXPECT_EQ(ge.left.type, operandregister8);
    EXPECT_EQ(ge.right.type, operandconstant);
    tcondition mem;
    ASSERT_TRUE(parsecondition("(HL)", mem));
    EXPECT_EQ(mem.left.type, operandmemoryat);
    EXPECT_EQ(mem.right.type, operandchanged);
}

TEST(DebuggerAddresses, BreakpointAddressInput) {
    struct tcase {
        const char* text;
        bool valid, any;
        uint16_t address;
        int32_t bank;
    } cases[] = {
        {"4123", true, false, 0x4123, -1}, {"2:4123", true, false, 0x4123, 2}, {" 1f : 40a0 ", true, false, 0x40A0, 0x1F},
        {"ffff", true, false, 0xFFFF, -1}, {"", true, true, 0, -1}, {"xyz", true, true, 0, -1}, {"3:", true, true, 0, 3},
        {"10000", false, false, 0, -1}, {"10000:100", false, false, 0, -1}, {"q:100", false, false, 0, -1},
        {"1:00000000100", false, false, 0, -1},  // ten characters after ":" count: too large
        {"123456789", false, false, 0, -1},
    };
    for (const auto& c : cases) {
        tbreakaddress b = parsebreakaddress(c.text);
        EXPECT_EQ(b.valid, c.valid) << c.text;
        if (!c.valid) continue;
        EXPECT_EQ(b.anyaddress, c.any) << c.text;
        EXPECT_EQ(b.address, c.address) << c.text;
        EXPECT_EQ(b.bank, c.bank) << c.text;
    }
    // The code view's marks: user breakpoints of the bank or of any bank.
    tdebugmachine d(program({0x18, 0xFE}));
    d.dbg.core.addbreakpoint(0x4123, 2);
    d.dbg.core.addbreakpoint(0x0150);
    d.dbg.core.addtemporary(0x0200, -1, stoptracing);
    EXPECT_TRUE(d.dbg.core.hasexecutionbreakpoint(0x4123, 2));
    EXPECT_FALSE(d.dbg.core.hasexecutionbreakpoint(0x4123, 3));
    EXPECT_TRUE(d.dbg.core.hasexecutionbreakpoint(0x0150, 0));
    EXPECT_FALSE(d.dbg.core.hasexecutionbreakpoint(0x0200, 0));
}

TEST(DebuggerExpressions, ValuesAndErrors) {
    tdebugmachine d(program({0x18, 0xFE}));
    tgb& gb = d.gb();
    gb.cpu.BC = 0x1234;
    gb.cpu.HL = 0xC010;
    gb.cpu.A = 0x05;
    gb.cpu.flagZ = 1;
    gb.cpu.flagC = 0;
    gb.writebyte(0xC010, 0x42);
    gb.writebyte(0xC042, 0x99);
    char ly[8], rom42[8];
    std::snprintf(ly, sizeof ly, "$%X", gb.ly);
    std::snprintf(rom42, sizeof rom42, "$%X", gb.readbyte(0x42));
    struct tcase {
        const char* text;
        bool ok;
        std::string result;
    } cases[] = {
        {"(FF44)", true, ly},
        {"FF00+BC", true, "$FFBC"},
        {"$FF00+DE", true, "$FFDE"},
        {"ff00+bc", true, "$FFBC"},
        {"1+2", true, "$3"},
        {"FFFF+1", true, "$10000"},  // no wrap
        {"$00ff", true, "$FF"},
        {"hl", true, "$C010"},
        {"BC", true, "$1234"},
        {"B", true, "$12"},
        {"A", true, "$5"},
        {"Z", true, "$1"},
        {"carry", true, "$0"},
        {"(HL)", true, "$42"},
        {"((HL))", true, rom42},  // the byte at (HL) = 0x42 is itself an address
        {"(HL)+1", true, "$43"},
        {"A=$05", true, "$1"},
        {"A=6", true, "$0"},
        {"", false, "empty"},
        {"   ", false, "empty"},
        {"(C000", false, "no closing bracket"},
        {"(10000)", false, "address out of range"},
        {"xyz", false, "invalid number"},
        {"1+", false, "empty"},
    };
    for (const auto& c : cases) {
        texpression e = d.dbg.core.evaluate(c.text);
        EXPECT_EQ(e.ok, c.ok) << c.text;
        EXPECT_EQ(e.text, c.result) << c.text;
    }
    // A hostile nesting depth is an error, not a crash.
    EXPECT_FALSE(d.dbg.core.evaluate(std::string(5000, '(') + "0" + std::string(5000, ')')).ok);
}

TEST(DebuggerRunControl, StepOverALoopAndACall) {
    // ld b,5 ; 0x152: dec b ; 0x153: jr nz,-3 ; 0x155: call 0x200 ; 0x158: jr -2
    // 0x200: ld a,9 ; ret
    tromimage r = program({0x06, 0x05, 0x05, 0x20, 0xFD, 0xCD, 0x00, 0x02, 0x18, 0xFE});
    r.code(0x200, {0x3E, 0x09, 0xC9});
    tdebugmachine d(r);
    d.dbg.core.addbreakpoint(0x153);
    d.host.command = [](tdebuggertov& dbg, const tstoprecord& s) {
        if (s.pc == 0x153 || s.pc == 0x155) {
            if (s.pc == 0x153) dbg.core.clearall();  // the user breakpoint goes
            dbg.stepover();
        }
    };
    d.rununtil(3, 3);
    ASSERT_EQ(d.host.stops.size(), 3u);
    EXPECT_EQ(d.host.stops[0].pc, 0x153);
    EXPECT_EQ(d.host.stops[0].b, 4);
    EXPECT_EQ(d.host.stops[1].pc, 0x155);  // the whole loop ran
    EXPECT_EQ(d.host.stops[1].b, 0);
    EXPECT_EQ(d.host.stops[1].reason, stoptracing);
    EXPECT_EQ(d.host.stops[2].pc, 0x158);  // the whole call ran
    EXPECT_EQ(d.host.stops[2].a, 0x09);
}

TEST(DebuggerRunControl, StepOutOfNestedCalls) {
    // 0x150: call 0x200 ; 0x153: jr -2
    // 0x200: call 0x300 ; 0x203: ld a,7 ; 0x205: ret
    // 0x300: ld a,1 ; 0x302: ret
    tromimage r = program({0xCD, 0x00, 0x02, 0x18, 0xFE});
    r.code(0x200, {0xCD, 0x00, 0x03, 0x3E, 0x07, 0xC9});
    r.code(0x300, {0x3E, 0x01, 0xC9});
    struct tcase {
        uint16_t breakat;
        uint16_t stopsat;
        uint8_t a;
    } cases[] = {{0x200, 0x153, 0x07}, {0x300, 0x203, 0x01}, {0x203, 0x153, 0x07}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.breakat);
        tdebugmachine d(r);
        tbreakpoint* b = d.dbg.core.addbreakpoint(c.breakat);
        d.host.command = [b](tdebuggertov& dbg, const tstoprecord& s) {
            if (s.reason == stopbreakpoint) {
                dbg.core.removebreakpoint(b);
                dbg.stepout();
            }
        };
        d.rununtil(2, 2);
        ASSERT_GE(d.host.stops.size(), 2u);
        EXPECT_EQ(d.host.stops[1].reason, stopstepout);
        EXPECT_EQ(d.host.stops[1].caption, "step out - debugger");
        EXPECT_EQ(d.host.stops[1].pc, c.stopsat);
        EXPECT_EQ(d.host.stops[1].a, c.a);
        EXPECT_EQ(d.host.stops.size(), 2u);
    }
}

TEST(DebuggerRunControl, StepOutIsNotFooledByAnInterruptHandlersReturn) {
    // 0x150: ld sp,DFF0 ; ld a,1 ; ldh (FF),a ; ei ; call 0x200 ; 0x15B: jr -2
    // 0x200: ld bc,2000 ; loop: dec bc ; ld a,b ; or c ; jr nz,loop ; ret  (spans VBlanks)
    // 0x40: reti
    tromimage r = program({0x31, 0xF0, 0xDF, 0x3E, 0x01, 0xE0, 0xFF, 0xFB, 0xCD, 0x00, 0x02, 0x18, 0xFE});
    r.code(0x200, {0x01, 0x00, 0x20, 0x0B, 0x78, 0xB1, 0x20, 0xFB, 0xC9});
    r.code(0x40, {0xD9});
    tdebugmachine d(r);
    tbreakpoint* b = d.dbg.core.addbreakpoint(0x203);
    d.host.command = [b](tdebuggertov& dbg, const tstoprecord& s) {
        if (s.reason == stopbreakpoint) {
            dbg.core.removebreakpoint(b);
            dbg.stepout();
        }
    };
    d.rununtil(2, 6);
    ASSERT_GE(d.host.stops.size(), 2u);
    EXPECT_EQ(d.host.stops[1].reason, stopstepout);
    EXPECT_EQ(d.host.stops[1].pc, 0x15B);
}

TEST(DebuggerRunControl, TraceRunToCursorAndToggle) {
    // 0x150: nop ; ld a,1 ; ld a,2 ; inc a ; jr -2 (0x156)
    tdebugmachine d(program({0x00, 0x3E, 0x01, 0x3E, 0x02, 0x3C, 0x18, 0xFE}));
    d.dbg.startup();  // StartDebug off: nothing
    EXPECT_FALSE(d.gb().debugstepping);
    EXPECT_TRUE(d.dbg.togglebreakpoint(0x151, -1));
    int step = 0;
    d.host.command = [&step](tdebuggertov& dbg, const tstoprecord&) {
        step++;
        if (step == 1) {
            EXPECT_FALSE(dbg.togglebreakpoint(0x151, 0));  // removed (bank any matches)
            dbg.trace();
        } else if (step == 2) {
            dbg.trace();
        } else if (step == 3) {
            dbg.runtocursor(0x156, 0);
        }
    };
    d.rununtil(4, 2);
    ASSERT_EQ(d.host.stops.size(), 4u);
    EXPECT_EQ(d.host.stops[0].pc, 0x151);
    EXPECT_EQ(d.host.stops[1].pc, 0x153);
    EXPECT_EQ(d.host.stops[1].caption, "tracing - debugger");
    EXPECT_EQ(d.host.stops[2].pc, 0x155);
    EXPECT_EQ(d.host.stops[3].pc, 0x156);
    EXPECT_EQ(d.host.stops[3].a, 0x03);
    EXPECT_EQ(d.host.stops[3].reason, stoptracing);
    EXPECT_FALSE(d.gb().debugstepping);  // nothing left after Run
}

TEST(DebuggerRunControl, StartDebugStopsAtTheFirstInstruction) {
    tdebugmachine d(program({0x18, 0xFE}), 0, [](tsettings& s) { s.StartDebug = true; });
    d.dbg.startup();
    d.rununtil(1);
    ASSERT_EQ(d.host.stops.size(), 1u);
    EXPECT_EQ(d.host.stops[0].reason, stopstep);
    EXPECT_EQ(d.host.stops[0].pc, 0x100);
    EXPECT_EQ(d.host.stops[0].caption, "debugger");
}

TEST(DebuggerRunControl, ReturnPopsTheStack) {
    tdebugmachine d(program({0x18, 0xFE}));
    tgb& gb = d.gb();
    gb.cpu.SP = 0xDFF0;
    gb.writebyte(0xDFF0, 0x34);
    gb.writebyte(0xDFF1, 0x12);
    d.dbg.returnfromcall();
    EXPECT_EQ(gb.cpu.PC, 0x1234);
    EXPECT_EQ(gb.cpu.SP, 0xDFF2);
}

TEST(DebuggerAccess, ReadAndWriteBreakpoints) {
    // ld a,5 ; ld (C000),a ; ld a,(C000) ; ld a,6 ; ld (C000),a ; jr -2
    tromimage r = program({0x3E, 0x05, 0xEA, 0x00, 0xC0, 0xFA, 0x00, 0xC0, 0x3E, 0x06, 0xEA, 0x00, 0xC0, 0x18, 0xFE});
    struct tcase {
        const char* name;
        bool onread, onwrite;
        int32_t value;
        std::vector<uint16_t> pcs;
    } cases[] = {
        {"write", false, true, -1, {0x152, 0x15A}},
        {"read", true, false, -1, {0x155}},
        {"both", true, true, -1, {0x152, 0x155, 0x15A}},
        {"write of 6", false, true, 6, {0x15A}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tdebugmachine d(r);
        d.dbg.core.addaccessbreakpoint(0xBFF0, 0xC003, c.onread, c.onwrite, c.value);
        std::vector<uint8_t> before;
        d.host.command = [&](tdebuggertov& dbg, const tstoprecord&) {
            before.push_back(dbg.core.machine().readbyte(0xC000));
        };
        d.rununtil(4, 2);
        ASSERT_EQ(d.host.stops.size(), c.pcs.size());
        for (size_t i = 0; i < c.pcs.size(); i++) {
            EXPECT_EQ(d.host.stops[i].pc, c.pcs[i]);
            EXPECT_EQ(d.host.stops[i].reason, stopaccess);
        }
        if (std::string(c.name) == "write of 6") {
            EXPECT_EQ(before[0], 0x05);  // before the write
        }
    }
}

// The probe is skipped for instructions said to touch nothing but their own bytes: every such
// opcode, run on a CPU whose memory only records, must make no other access.
TEST(DebuggerAccess, SparedInstructionsReallyTouchNothingElse) {
    struct trecorder {
        std::vector<uint16_t> reads, writes;
        uint8_t bytes[3] = {};
        static uint8_t read(void* c, uint16_t a) {
            auto* r = static_cast<trecorder*>(c);
            r->reads.push_back(a);
            return a >= 0xC000 && a < 0xC003 ? r->bytes[a - 0xC000] : 0x00;
        }
        static void write(void* c, uint16_t a, uint8_t) { static_cast<trecorder*>(c)->writes.push_back(a); }
    };
    int spared = 0;
    for (int op = 0; op < 256; op++) {
        if (!touchesonlyitsbytes(uint8_t(op))) continue;
        spared++;
        trecorder rec;
        rec.bytes[0] = uint8_t(op);
        tpageentry pages[16];
        for (auto& p : pages) p = {nullptr, trecorder::read, &rec};
        tcpustate cpu;
        cpu.pagetable = pages;
        cpu.read = trecorder::read;
        cpu.readcontext = &rec;
        cpu.write = trecorder::write;
        cpu.writecontext = &rec;
        cpu.PC = 0xC000;
        cpu.SP = 0xD000;
        cpu.HL = 0xD100;
        cpu.cycles = 4;
        cpuexecute(cpu);
        EXPECT_TRUE(rec.writes.empty()) << std::hex << op;
        for (uint16_t a : rec.reads) EXPECT_TRUE(a >= 0xC000 && a < 0xC003) << std::hex << op << " read " << a;
    }
    EXPECT_GT(spared, 150);
}

TEST(DebuggerAccess, FetchingWatchedBytesIsARead) {
    // nop ; nop ; ld a,6 (0x152, its operand at 0x153) ; jr -2
    tdebugmachine d(program({0x00, 0x00, 0x3E, 0x06, 0x18, 0xFE}));
    d.dbg.core.addaccessbreakpoint(0x153, 0x153, true, false);
    d.rununtil(2, 1);
    ASSERT_EQ(d.host.stops.size(), 1u);
    EXPECT_EQ(d.host.stops[0].pc, 0x152);
}

TEST(DebuggerAccess, InterruptPushIsAWrite) {
    // SP=DFF0, VBlank enabled, ei, idle; the handler at 0x40 is `reti`.
    tromimage r = program({0x31, 0xF0, 0xDF, 0x3E, 0x01, 0xE0, 0xFF, 0xFB, 0x18, 0xFE});
    r.code(0x40, {0xD9});
    tdebugmachine d(r);
    d.dbg.core.addaccessbreakpoint(0xDFEE, 0xDFEF, false, true);
    d.host.maxstops = 1;
    d.rununtil(1, 3);
    ASSERT_GE(d.host.stops.size(), 1u);
    EXPECT_EQ(d.host.stops[0].pc, 0x40);
    EXPECT_EQ(d.host.stops[0].reason, stopaccess);
}

struct tcheckcase {
    const char* name;
    std::function<void(tsettings&)> configure;
    std::function<tromimage()> rom;
    int32_t reason;
    uint16_t pc;  // 0: no stop expected
    int systemmode = 0;
};

// Waits for LY = `line` (ldh a,(44) ; cp line ; jr nz,-6), then `then`, then idles.
tromimage atline(uint8_t line, std::initializer_list<uint8_t> then) {
    tromimage r;
    std::vector<uint8_t> code = {0xF0, 0x44, 0xFE, line, 0x20, 0xFA};
    code.insert(code.end(), then);
    code.insert(code.end(), {0x18, 0xFE});
    r.code(0x150, code);
    return r;
}

TEST(DebuggerChecks, EachMisuseCheckStopsWhereItHappens) {
    const tcheckcase cases[] = {
        {"echo", [](tsettings& s) { s.DebugEcho = true; },
         [] { return program({0x00, 0xFA, 0x00, 0xE0, 0x18, 0xFE}); }, stopecho, 0x151},
        {"echo off", [](tsettings&) {},
         [] { return program({0x00, 0xFA, 0x00, 0xE0, 0x18, 0xFE}); }, 0, 0},
        {"written WRAM reads fine", [](tsettings& s) { s.DebugWRAMbreak = true; },
         [] { return program({0xEA, 0x00, 0xC0, 0xFA, 0x00, 0xC0, 0xF0, 0x80, 0x18, 0xFE}); }, stopuninitwram, 0x156},
        {"unwritten WRAM", [](tsettings& s) { s.DebugWRAMbreak = true; },
         [] { return program({0xEA, 0x00, 0xC0, 0xFA, 0x01, 0xC0, 0x18, 0xFE}); }, stopuninitwram, 0x153},
        {"disabled SRAM", [](tsettings& s) { s.DebugSramBreak = s.EmulateSramD = true;
             s.CartMode = 0;  // the compatibility mode keeps cartridge RAM enabled
         },
         [] {
             tromimage r = program({0xFA, 0x00, 0xA0, 0x18, 0xFE});
             r.type(0x03).ramsizecode(0x02);
             return r;
         }, stopsram, 0x150},
        {"enabled SRAM", [](tsettings& s) { s.DebugSramBreak = s.EmulateSramD = true;
             s.CartMode = 0;  // the compatibility mode keeps cartridge RAM enabled
         },
         [] {
             tromimage r = program({0x3E, 0x0A, 0xEA, 0x00, 0x00, 0xFA, 0x00, 0xA0, 0x18, 0xFE});
             r.type(0x03).ramsizecode(0x02);
             return r;
         }, 0, 0},
        {"controller write", [](tsettings& s) { s.DebugMBCaddr = true; },
         [] {
             tromimage r = program({0x3E, 0x01, 0xEA, 0x00, 0x20, 0x3E, 0x55, 0xEA, 0x00, 0x00, 0x18, 0xFE});
             r.type(0x01);
             return r;
         }, stopmbcwrite, 0x157},
        {"LCD off in a line", [](tsettings& s) { s.DebugDisableLCD = true; },
         [] { return atline(0x10, {0xAF, 0xE0, 0x40}); }, stoplcdoff, 0x157},
        {"LCD off in VBlank", [](tsettings& s) { s.DebugDisableLCD = true; },
         [] { return atline(0x91, {0xAF, 0xE0, 0x40}); }, 0, 0},
        {"VRAM while drawing", [](tsettings& s) { s.DebugVRAMbreak = true; },
         // wait for mode 3: ldh a,(41) ; and 3 ; cp 3 ; jr nz,-8 ; ld a,(8000)
         [] { return program({0xF0, 0x41, 0xE6, 0x03, 0xFE, 0x03, 0x20, 0xF8, 0xFA, 0x00, 0x80, 0x18, 0xFE}); },
         stopvram, 0x158},
        {"OAM while scanned", [](tsettings& s) { s.DebugVRAMbreak = true; },
         // wait for mode 2: ldh a,(41) ; and 3 ; cp 2 ; jr nz,-8 ; ld a,(FE00)
         [] { return program({0xF0, 0x41, 0xE6, 0x03, 0xFE, 0x02, 0x20, 0xF8, 0xFA, 0x00, 0xFE, 0x18, 0xFE}); },
         stopoam, 0x158},
        {"OAM in VBlank", [](tsettings& s) { s.DebugVRAMbreak = true; },
         [] { return atline(0x91, {0xFA, 0x00, 0xFE}); }, 0, 0},
        {"VRAM in VBlank", [](tsettings& s) { s.DebugVRAMbreak = true; },
         [] { return atline(0x91, {0xFA, 0x00, 0x80}); }, 0, 0},
        {"ld b,b", [](tsettings& s) { s.DebugSrcBrk = true; },
         [] { return program({0x00, 0x40, 0x18, 0xFE}); }, stopbreakpoint, 0x151},
        {"inc hl in OAM", [](tsettings& s) { s.DebugInc16OAMBreak = true; },
         [] { return program({0x21, 0x9F, 0xFE, 0x23, 0x18, 0xFE}); }, stopinc16oam, 0x153},
        {"inc de outside OAM", [](tsettings& s) { s.DebugInc16OAMBreak = true; },
         [] { return program({0x11, 0xA0, 0xFE, 0x13, 0x18, 0xFE}); }, 0, 0},
        {"halt bug", [](tsettings& s) { s.DebugHaltBugBreak = true; },
         // di ; ld a,1 ; ldh (FF),a ; ldh (0F),a ; halt
         [] { return program({0xF3, 0x3E, 0x01, 0xE0, 0xFF, 0xE0, 0x0F, 0x76, 0x00, 0x18, 0xFE}); },
         stophaltbug, 0x157},
        // A reset pulse (P14 and P15 low), the idle state, then the first bit of the packet.
        {"SGB transfer start", [](tsettings& s) { s.DebugSgbStartBreak = true; },
         [] {
             tromimage r = program({0x3E, 0x00, 0xE0, 0x00, 0x3E, 0x30, 0xE0, 0x00, 0x3E, 0x20, 0xE0, 0x00, 0x18, 0xFE});
             r.sgbcapable();
             return r;
         }, stopsgbstart, 0x15A, 2},
        {"SGB check outside SGB mode", [](tsettings& s) { s.DebugSgbStartBreak = true; },
         [] {
             tromimage r = program({0x3E, 0x00, 0xE0, 0x00, 0x3E, 0x30, 0xE0, 0x00, 0x3E, 0x20, 0xE0, 0x00, 0x18, 0xFE});
             r.sgbcapable();
             return r;
         }, 0, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        tdebugmachine d(c.rom(), c.systemmode, c.configure);
        d.host.maxstops = 1;
        d.rununtil(1, 3);
        if (c.pc == 0) {
            EXPECT_EQ(d.host.stops.size(), 0u);
            continue;
        }
        ASSERT_GE(d.host.stops.size(), 1u);
        EXPECT_EQ(d.host.stops[0].reason, c.reason);
        EXPECT_EQ(d.host.stops[0].pc, c.pc);
    }
}

TEST(DebuggerChecks, RebuildKeepsTheUsersOwnBreakpoints) {
    tdebugmachine d(program({0x18, 0xFE}), 0, [](tsettings& s) {
        s.DebugEcho = true;
        s.DebugSrcBrk = true;
    });
    d.dbg.core.addaccessbreakpoint(0xC000, 0xC0FF, true, true);
    d.dbg.core.addbreakpoint(0x150);
    auto count = [&] {
        int access = 0, exec = 0;
        for (auto* a = d.dbg.core.firstaccessbreakpoint(); a; a = tnodelist<taccessbreakpoint>::after(a)) access++;
        for (auto* b = d.dbg.core.firstbreakpoint(); b; b = tnodelist<tbreakpoint>::after(b)) exec++;
        return std::pair{access, exec};
    };
    EXPECT_EQ(count(), std::pair(2, 2));
    d.dbg.core.rebuildchecks();
    d.dbg.core.rebuildchecks();
    EXPECT_EQ(count(), std::pair(2, 2));
    d.dbg.setoptions({});
    EXPECT_EQ(count(), std::pair(1, 1));
    int live = tlinklist::livecount();
    d.dbg.core.clearall();
    EXPECT_EQ(count(), std::pair(0, 0));
    EXPECT_EQ(tlinklist::livecount(), live - 2);
}

TEST(DebuggerMeter, CountsMachineCyclesWithTakenBranches) {
    // 0x150: nop ; nop ; jr -4: 1 + 1 + 3 machine cycles a pass.
    tdebugmachine d(program({0x00, 0x00, 0x18, 0xFC}), 0, [](tsettings& s) { s.CpuMeter = true; });
    d.dbg.core.addbreakpoint(0x150);
    std::vector<uint32_t> taken;
    d.host.command = [&](tdebuggertov& dbg, const tstoprecord&) { taken.push_back(dbg.core.takemetercycles()); };
    d.host.maxstops = 5;
    d.rununtil(4, 1);
    ASSERT_EQ(taken.size(), 4u);
    EXPECT_EQ(taken[2], 5u);
    EXPECT_EQ(taken[3], 5u);
    struct tcase {
        uint8_t op, second;
        bool z, c;
        uint32_t cycles;
    } cases[] = {{0x20, 0, false, false, 3}, {0x20, 0, true, false, 2}, {0xC2, 0, false, false, 4},
                 {0xCA, 0, false, false, 3}, {0xC4, 0, false, false, 6}, {0xDC, 0, false, false, 3},
                 {0xC0, 0, true, false, 2}, {0xD8, 0, false, true, 5}, {0xE0, 0, false, false, 3},
                 {0xF8, 0, false, false, 3}, {0xCD, 0, false, false, 6}, {0x08, 0, false, false, 5},
                 {0xCB, 0x46, false, false, 3}, {0xCB, 0x06, false, false, 4}, {0xCB, 0xC7, false, false, 2}};
    for (const auto& c : cases) EXPECT_EQ(metercycles(c.op, c.second, c.z, c.c), c.cycles) << int(c.op);
}

}  // namespace
}  // namespace tov::testing
