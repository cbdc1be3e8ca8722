// The two breakpoint windows without a window: which nodes they list, each item's text, what
// Add makes of the input fields and what clicking an item puts back into them.
#pragma once
#include <string>
#include <vector>

#include "debugger/debuggercore.h"

namespace tov {

// ---- Execution breakpoints (`TFormbreakpoints`) ----
// The user's nodes in list order: neither temporary nor `ld b,b`, OAM-pointer or meter nodes.
std::vector<tbreakpoint*> listedbreakpoints(const tdebuggercore& core);
// "PC=any", "PC=0150", "PC=2:4123", then "  A>=$0010" (conditional), "  (internal step out
// breakpoint)", "  condtype=N" (other kinds) and "  (disabled)".
std::string breakpointtext(const tbreakpoint& b);
// Add: `Editpc` as bank ":" address or the address alone (hex; empty or not hex = every
// address), `Editcondition` parsed when not empty. Null (and nothing added) for a bank or
// address above 0xFFFF or a condition that does not parse.
tbreakpoint* addbreakpointfromfields(tdebuggercore& core, const std::string& editpc,
                                     const std::string& editcondition);
// Clicking an item: the fields it fills.
struct tbreakpointfields {
    std::string editpc, editcondition;
};
tbreakpointfields fieldsof(const tbreakpoint& b);

// ---- Access breakpoints (`TFormaccessbreakpoints`) ----
// The user's own (no check function), in list order.
std::vector<taccessbreakpoint*> listedaccessbreakpoints(const tdebuggercore& core);
// "C000", "C000-C0FF", then "  3F" with a value, "  r", "  w" or "  r,w", "  (disabled)".
std::string accessbreakpointtext(const taccessbreakpoint& a);
struct taccessfields {
    std::string editaddr, editvalue;
    bool onread = false, onwrite = true;  // on write is preset
};
// Add: null (nothing added) unless `editaddr` is "FIRST-LAST" or one address in hex with
// FIRST <= LAST <= FFFF, or when the value is hex above FF (no byte could match it); an
// empty or non-hex value matches every value.
taccessbreakpoint* addaccessfromfields(tdebuggercore& core, const taccessfields& f);
taccessfields fieldsof(const taccessbreakpoint& a);

}  // namespace tov
