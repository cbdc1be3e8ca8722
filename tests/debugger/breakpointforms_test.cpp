// The breakpoint windows: item texts, adding from the fields with their errors, replace,
// enable, disable, delete; and the code view's marks from run control.
#include <gtest/gtest.h>

#include <string>

#include "debugger/breakpointforms.h"
#include "debugtestutil.h"

namespace tov::testing {
namespace {

TEST(BreakpointsForm, ItemTextsInListOrder) {
    tdebugmachine m{tromimage()};
    tdebuggercore& core = m.dbg.core;
    core.addbreakpoint(0x0150);
    core.addbreakpoint(0x4123, 2);
    tbreakpoint* c = core.addbreakpoint(0x0200);
    ASSERT_TRUE(parsecondition("A>=$10", c->condition));
    c->kind = kindconditional;
    core.setdisabled(core.addanyaddress(kindplain), true);
    core.addanyaddress(kindsource);                // a check: not listed
    core.addtemporary(0x0300, -1, stoptracing);    // temporary: not listed
    tbreakpointsform form(core);
    ASSERT_EQ(form.count(), 4);
    EXPECT_EQ(form.text(0), "PC=any  (disabled)");
    EXPECT_EQ(form.text(1), "PC=0200  A>=$0010");
    EXPECT_EQ(form.text(2), "PC=2:4123");
    EXPECT_EQ(form.text(3), "PC=0150");
    tbreakpoint other;
    other.kind = kindstepout;
    other.anyaddress = true;
    EXPECT_EQ(tbreakpointsform::itemtext(other), "PC=any  (internal step out breakpoint)");
    other.kind = 3;
    EXPECT_EQ(tbreakpointsform::itemtext(other), "PC=any  condtype=3");
}

TEST(BreakpointsForm, AddReadsBankAddressAndCondition) {
    tdebugmachine m{tromimage()};
    tbreakpointsform form(m.dbg.core);
    const struct { const char* pc; const char* condition; bool added; const char* text; } cases[] = {
        {"0150", "", true, "PC=0150"},
        {"3:4000", "", true, "PC=3:4000"},
        {"", "B=$05", true, "PC=any  B=$0005"},
        {"zz", "", true, "PC=any"},
        {"0200", "A<>$05", true, "PC=0200  A!=$0005"},
        {"0200", "A<>5", false, ""},  // a constant is "$" and hex, or four hex digits
        {"0200", "Q=1", false, ""},
        {"10000", "", false, ""},
        {"10000:0100", "", false, ""},
    };
    for (const auto& c : cases) {
        form.Editpc = c.pc;
        form.Editcondition = c.condition;
        EXPECT_EQ(form.add(), c.added) << c.pc << " " << c.condition;
        if (c.added) {
            EXPECT_EQ(form.text(0), c.text);
            EXPECT_TRUE(form.Editpc.empty());
        } else {
            EXPECT_EQ(form.Editpc, c.pc);  // kept for correcting
        }
    }
    EXPECT_EQ(form.count(), 5);
    // Clicking an item fills the fields back.
    form.clickitem(0);
    EXPECT_EQ(form.Editpc, "0200");
    EXPECT_EQ(form.Editcondition, "A!=$0005");
    form.clickitem(3);
    EXPECT_EQ(form.Editpc, "3:4000");
    EXPECT_EQ(form.Editcondition, "");
}

TEST(BreakpointsForm, SelectedItemsAreDisabledEnabledReplacedAndDeleted) {
    tdebugmachine m{tromimage()};
    tbreakpointsform form(m.dbg.core);
    for (const char* pc : {"0150", "0160", "0170"}) {
        form.Editpc = pc;
        ASSERT_TRUE(form.add());
    }
    form.selected[1] = true;  // 0160
    form.disableselected();
    EXPECT_EQ(form.text(1), "PC=0160  (disabled)");
    form.selected[1] = true;
    form.enableselected();
    EXPECT_EQ(form.text(1), "PC=0160");
    // A replace with a bad condition loses nothing.
    form.selected[1] = true;
    form.Editpc = "0180";
    form.Editcondition = "nonsense=";
    EXPECT_FALSE(form.replace());
    EXPECT_EQ(form.count(), 3);
    form.Editcondition = "";
    EXPECT_TRUE(form.replace());
    EXPECT_EQ(form.count(), 3);
    EXPECT_EQ(form.text(0), "PC=0180");
    form.selected[0] = form.selected[2] = true;  // newest first: 0180 and 0150
    form.deleteselected();
    ASSERT_EQ(form.count(), 1);
    EXPECT_EQ(form.text(0), "PC=0170");
}

TEST(AccessBreakpointsForm, AddAndTexts) {
    tdebugmachine m{tromimage()};
    m.dbg.core.options.DebugEcho = true;
    m.dbg.core.rebuildchecks();  // the echo check is not the user's: not listed
    taccessbreakpointsform form(m.dbg.core);
    EXPECT_EQ(form.count(), 0);
    EXPECT_TRUE(form.Checkonwrite);
    const struct { const char* addr; const char* value; bool read, write, added; const char* text; } cases[] = {
        {"C000", "", false, true, true, "C000  w"},
        {"c000-c0ff", "3f", true, true, true, "C000-C0FF  3F  r,w"},
        {"FF44", "zz", true, false, true, "FF44  r"},
        {"C100-C000", "", true, true, false, ""},
        {"10000", "", true, true, false, ""},
        {"", "", true, true, false, ""},
        {"C000", "100", true, true, false, ""},
    };
    for (const auto& c : cases) {
        form.Editaddr = c.addr;
        form.Editvalue = c.value;
        form.Checkonread = c.read;
        form.Checkonwrite = c.write;
        EXPECT_EQ(form.add(), c.added) << c.addr;
        if (c.added) EXPECT_EQ(form.text(0), c.text);
    }
    ASSERT_EQ(form.count(), 3);
    form.clickitem(1);
    EXPECT_EQ(form.Editaddr, "C000-C0FF");
    EXPECT_EQ(form.Editvalue, "3F");
    EXPECT_TRUE(form.Checkonread && form.Checkonwrite);
    form.selected[0] = true;
    form.disableselected();
    EXPECT_EQ(form.text(0), "FF44  r  (disabled)");
    form.selected[0] = true;
    form.deleteselected();
    EXPECT_EQ(form.count(), 2);
}

TEST(AccessBreakpointsForm, AWatchedByteStopsTheMachine) {
    tromimage rom;
    rom.code(0x150, {0x3E, 0x42, 0xEA, 0x00, 0xC0, 0x18, 0xFE});  // ld a,42; ld (C000),a; jr -2
    tdebugmachine m{rom};
    taccessbreakpointsform form(m.dbg.core);
    form.Editaddr = "C000";
    ASSERT_TRUE(form.add());
    m.rununtil(1);
    ASSERT_EQ(m.host.stops.size(), 1u);
    EXPECT_EQ(m.host.stops[0].reason, stopaccess);
    EXPECT_EQ(m.host.stops[0].pc, 0x152);
}

TEST(DebuggerControl, MarksAndRunToCursorUseTheLineBank) {
    tromimage rom(0x10000);
    rom.entry().type(0x01).code(0x150, {0x18, 0xFE});
    tdebugmachine m{rom};
    tdebuggercontrol control(m.dbg);
    m.dbg.core.addbreakpoint(0x4100, 2);
    m.dbg.core.addbreakpoint(0x0200);
    m.dbg.core.addtemporary(0x0300, -1, stoptracing);
    EXPECT_TRUE(control.hasexecutionbreakpoint(0x4100, 2));
    EXPECT_FALSE(control.hasexecutionbreakpoint(0x4100, 1));
    EXPECT_TRUE(control.hasexecutionbreakpoint(0x0200, 0));
    EXPECT_FALSE(control.hasexecutionbreakpoint(0x0300, 0));
    std::string result;
    EXPECT_TRUE(control.evaluate("FF00+BC", result));
    EXPECT_EQ(result, "$FFBC");
    EXPECT_FALSE(control.evaluate("", result));
    EXPECT_EQ(result, "empty");
    // F2 from the window toggles through run control.
    control.togglebreakpoint(0x0200, 0);
    EXPECT_FALSE(control.hasexecutionbreakpoint(0x0200, 0));
    // Opening the debugger while the game runs stops before the next instruction.
    m.dbg.core.clearall();
    control.stop();
    m.rununtil(1);
    ASSERT_EQ(m.host.stops.size(), 1u);
    EXPECT_EQ(m.host.stops[0].reason, stopstep);
}

}  // namespace
}  // namespace tov::testing
