#include "debugger/breakpointlists.h"

#include <cstdio>

#include "debugger/views.h"

namespace tov {

namespace {

std::string hexdigits(uint32_t v, int width) {
    char b[16];
    std::snprintf(b, sizeof b, "%0*X", width, v);
    return b;
}

}  // namespace

std::vector<tbreakpoint*> listedbreakpoints(const tdebuggercore& core) {
    std::vector<tbreakpoint*> r;
    for (tbreakpoint* b = core.firstbreakpoint(); b; b = tnodelist<tbreakpoint>::after(b))
        if (!b->temporary && b->kind != kindsource && b->kind != kindoampointer && b->kind != kindcpumeter)
            r.push_back(b);
    return r;
}

std::string breakpointtext(const tbreakpoint& b) {
    std::string s = "PC=";
    if (b.anyaddress) s += "any";
    else if (b.bank < 0) s += hexdigits(b.address, 4);
    else s += hexdigits(uint32_t(b.bank), 1) + ":" + hexdigits(b.address, 4);
    if (b.kind == kindconditional) s += "  " + formatcondition(b.condition);
    else if (b.kind == kindstepout) s += "  (internal step out breakpoint)";
    else if (b.kind != kindplain) s += "  condtype=" + std::to_string(b.kind);
    if (b.disabled) s += "  (disabled)";
    return s;
}

tbreakpoint* addbreakpointfromfields(tdebuggercore& core, const std::string& editpc,
                                     const std::string& editcondition) {
    tbreakaddress where = parsebreakaddress(editpc);
    if (!where.valid) return nullptr;
    tcondition condition;
    bool conditional = editcondition.find_first_not_of(" \t") != std::string::npos;
    if (conditional && !parsecondition(editcondition, condition)) return nullptr;
    tbreakpoint* b = where.anyaddress ? core.addanyaddress(kindplain) : core.addbreakpoint(where.address, where.bank);
    if (where.anyaddress) b->bank = where.bank;
    if (conditional) {
        b->kind = kindconditional;
        b->condition = condition;
    }
    return b;
}

tbreakpointfields fieldsof(const tbreakpoint& b) {
    tbreakpointfields f;
    if (!b.anyaddress)
        f.editpc = (b.bank >= 0 ? hexdigits(uint32_t(b.bank), 1) + ":" : std::string()) + hexdigits(b.address, 4);
    if (b.kind == kindconditional) f.editcondition = formatcondition(b.condition);
    return f;
}

std::vector<taccessbreakpoint*> listedaccessbreakpoints(const tdebuggercore& core) {
    std::vector<taccessbreakpoint*> r;
    for (taccessbreakpoint* a = core.firstaccessbreakpoint(); a; a = tnodelist<taccessbreakpoint>::after(a))
        if (!a->hascheck) r.push_back(a);
    return r;
}

std::string accessbreakpointtext(const taccessbreakpoint& a) {
    std::string s = hexdigits(a.first, 4);
    if (a.last != a.first) s += "-" + hexdigits(a.last, 4);
    s += "  ";
    if (a.value >= 0) s += hexdigits(uint32_t(a.value), 2) + "  ";
    if (a.onread) s += "r";
    if (a.onread && a.onwrite) s += ",";
    if (a.onwrite) s += "w";
    if (a.disabled) s += "  (disabled)";
    return s;
}

taccessbreakpoint* addaccessfromfields(tdebuggercore& core, const taccessfields& f) {
    const std::string& text = f.editaddr;
    size_t dash = text.find('-');
    std::optional<uint32_t> first = parsehex(dash == std::string::npos ? text : text.substr(0, dash));
    std::optional<uint32_t> last = dash == std::string::npos ? first : parsehex(text.substr(dash + 1));
    if (!first || !last || *first > *last || *last > 0xFFFF) return nullptr;
    int32_t value = -1;
    if (std::optional<uint32_t> v = parsehex(f.editvalue)) {
        if (*v > 0xFF) return nullptr;
        value = int32_t(*v);
    }
    return core.addaccessbreakpoint(uint16_t(*first), uint16_t(*last), f.onread, f.onwrite, value);
}

taccessfields fieldsof(const taccessbreakpoint& a) {
    taccessfields f;
    f.editaddr = hexdigits(a.first, 4);
    if (a.last != a.first) f.editaddr += "-" + hexdigits(a.last, 4);
    if (a.value >= 0) f.editvalue = hexdigits(uint32_t(a.value), 2);
    f.onread = a.onread;
    f.onwrite = a.onwrite;
    return f;
}

}  // namespace tov
