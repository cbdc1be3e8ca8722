// The breakpoint windows' logic: what Add makes of the fields, the items' texts, what a click
// puts back, and which nodes are listed.
#include <gtest/gtest.h>

#include "debugger/breakpointlists.h"
#include "debugtestutil.h"

namespace tov::testing {
namespace {

TEST(BreakpointLists, ExecutionAddTextAndFields) {
    struct tcase {
        const char* editpc;
        const char* condition;
        const char* text;  // nullptr: nothing added
        const char* refilledpc;
        const char* refilledcondition;
    } cases[] = {
        {"150", "", "PC=0150", "0150", ""},
        {"2:4123", "", "PC=2:4123", "2:4123", ""},
        {"1f:4000", "a>=$10", "PC=1F:4000  A>=$0010", "1F:4000", "A>=$0010"},
        {"", "", "PC=any", "", ""},
        {"zz", "(hl)", "PC=any  (HL)", "", "(HL)"},
        {"10000", "", nullptr, "", ""},
        {"10000:150", "", nullptr, "", ""},
        {"150", "A>=5", nullptr, "", ""},  // a condition that does not parse
    };
    for (const auto& c : cases) {
        tdebugmachine d(tromimage{});
        tbreakpoint* b = addbreakpointfromfields(d.dbg.core, c.editpc, c.condition);
        ASSERT_EQ(b != nullptr, c.text != nullptr) << c.editpc << " " << c.condition;
        EXPECT_EQ(listedbreakpoints(d.dbg.core).size(), b ? 1u : 0u);
        if (!b) continue;
        EXPECT_EQ(breakpointtext(*b), c.text);
        tbreakpointfields f = fieldsof(*b);
        EXPECT_EQ(f.editpc, c.refilledpc);
        EXPECT_EQ(f.editcondition, c.refilledcondition);
        d.dbg.core.setdisabled(b, true);
        EXPECT_EQ(breakpointtext(*b), std::string(c.text) + "  (disabled)");
    }
}

TEST(BreakpointLists, InternalNodesAreNotListed) {
    tdebugmachine d(tromimage{}, 0, [](tsettings& s) { s.DebugSrcBrk = s.DebugInc16OAMBreak = s.CpuMeter = true; });
    d.dbg.core.addtemporary(0x200, -1, stoptracing);
    d.dbg.stepout();  // the step-out node is listed, marked as internal
    tbreakpoint* odd = d.dbg.core.addbreakpoint(0x300);
    odd->kind = 3;
    std::vector<tbreakpoint*> listed = listedbreakpoints(d.dbg.core);
    ASSERT_EQ(listed.size(), 2u);
    EXPECT_EQ(breakpointtext(*listed[0]), "PC=0300  condtype=3");
    EXPECT_EQ(breakpointtext(*listed[1]), "PC=any  (internal step out breakpoint)");
}

TEST(BreakpointLists, AccessAddTextAndFields) {
    struct tcase {
        const char* addr;
        const char* value;
        bool r, w;
        const char* text;  // nullptr: nothing added
    } cases[] = {
        {"C000", "", false, true, "C000  w"},
        {"c000-c0ff", "3f", true, true, "C000-C0FF  3F  r,w"},
        {"FF44", "zz", true, false, "FF44  r"},
        {"0-FFFF", "", true, false, "0000-FFFF  r"},
        {"C100-C000", "", true, true, nullptr},  // first after last
        {"10000", "", true, true, nullptr},
        {"", "", true, true, nullptr},
        {"C000", "100", true, true, nullptr},  // no byte is 0x100
    };
    for (const auto& c : cases) {
        tdebugmachine d(tromimage{}, 0, [](tsettings& s) { s.DebugEcho = true; });
        taccessfields f;
        f.editaddr = c.addr;
        f.editvalue = c.value;
        f.onread = c.r;
        f.onwrite = c.w;
        taccessbreakpoint* a = addaccessfromfields(d.dbg.core, f);
        ASSERT_EQ(a != nullptr, c.text != nullptr) << c.addr;
        // The echo check is not the user's: it is never listed.
        EXPECT_EQ(listedaccessbreakpoints(d.dbg.core).size(), a ? 1u : 0u);
        if (!a) continue;
        EXPECT_EQ(accessbreakpointtext(*a), c.text);
        taccessfields back = fieldsof(*a);
        taccessbreakpoint* again = addaccessfromfields(d.dbg.core, back);
        ASSERT_NE(again, nullptr);
        EXPECT_EQ(accessbreakpointtext(*again), c.text);  // a click, then Add, gives the same
    }
}

}  // namespace
}  // namespace tov::testing
