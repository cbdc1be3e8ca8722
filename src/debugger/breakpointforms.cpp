#include "debugger/breakpointforms.h"

#include <cstdio>

#include "core/gb.h"
#include "core/hextext.h"

namespace tov {

namespace {

bool ischeckkind(const tbreakpoint& b) {
    return b.kind == kindsource || b.kind == kindoampointer || b.kind == kindcpumeter;
}

}  // namespace

// ---- Run control ----


bool tdebuggercontrol::evaluate(const std::string& text, std::string& result) {
    const texpression e = tov.core.evaluate(text);
    result = e.text;
    return e.ok;
}

bool tdebuggercontrol::hasexecutionbreakpoint(uint16_t address, int bank) const {
    for (const tbreakpoint* b = tov.core.firstbreakpoint(); b; b = tnodelist<tbreakpoint>::after(b))
        if (!b->temporary && !b->anyaddress && b->address == address && (b->bank == -1 || b->bank == bank))
            return true;
    return false;
}

// ---- Execution breakpoints ----

std::string tbreakpointsform::itemtext(const tbreakpoint& b) {
    std::string s = "PC=";
    if (b.anyaddress) s += "any";
    else if (b.bank == -1) s += hex(b.address, 4);
    else s += hex(uint32_t(b.bank), 1) + ":" + hex(b.address, 4);
    if (b.kind == kindconditional) s += "  " + formatcondition(b.condition);
    else if (b.kind == kindstepout) s += "  (internal step out breakpoint)";
    else if (b.kind != kindplain) s += "  condtype=" + std::to_string(b.kind);
    if (b.disabled) s += "  (disabled)";
    return s;
}

void tbreakpointsform::rebuild() {
    items.clear();
    texts.clear();
    for (tbreakpoint* b = core.firstbreakpoint(); b; b = tnodelist<tbreakpoint>::after(b)) {
        if (b->temporary || ischeckkind(*b)) continue;
        items.push_back(b);
        texts.push_back(itemtext(*b));
    }
    selected.assign(items.size(), false);
}

namespace {

// The fields of the breakpoint window: the address as the run control's parser reads it
// (tov-run --break reads it the same way) and a condition.
struct tbreakpointfields {
    tbreakaddress at;
    bool conditional = false;
    tcondition condition;
};

bool parsefields(const std::string& pc, const std::string& conditiontext, tbreakpointfields& f,
                 const tsymboltable& symbols) {
    f.at = parsebreakaddress(pc, &symbols);
    if (!f.at.valid) return false;
    f.conditional = !conditiontext.empty();
    return !f.conditional || parsecondition(conditiontext, f.condition, &symbols);
}

// One end of an access range: hex, or a name of the symbol file.
std::optional<uint32_t> rangeend(const std::string& text, const tsymboltable& symbols) {
    if (std::optional<uint32_t> v = parsehex(text)) return v;
    size_t a = text.find_first_not_of(" \t"), b = text.find_last_not_of(" \t");
    if (a == std::string::npos) return std::nullopt;
    const tsymbol* s = symbols.find(text.substr(a, b - a + 1));
    return s ? std::optional<uint32_t>(s->address) : std::nullopt;
}

// "FIRST-LAST" or one address.
bool parserange(const std::string& text, const tsymboltable& symbols, uint32_t& first, uint32_t& last) {
    const size_t dash = text.find('-');
    const std::optional<uint32_t> f = rangeend(text.substr(0, dash), symbols);
    const std::optional<uint32_t> l = dash == std::string::npos ? f : rangeend(text.substr(dash + 1), symbols);
    if (!f || !l || *f > *l || *l > 0xFFFF) return false;
    first = *f;
    last = *l;
    return true;
}

}  // namespace

bool tbreakpointsform::add() {
    tbreakpointfields f;
    if (!parsefields(Editpc, Editcondition, f, core.symbols)) return false;
    tbreakpoint* b = f.at.anyaddress ? core.addanyaddress(kindplain, stopbreakpoint)
                                     : core.addbreakpoint(f.at.address, f.at.bank, stopbreakpoint);
    if (f.at.anyaddress) b->bank = f.at.bank;
    if (f.conditional) {
        b->kind = kindconditional;
        b->condition = f.condition;
    }
    core.rebuildmaps();
    Editpc.clear();
    Editcondition.clear();
    rebuild();
    return true;
}

void tbreakpointsform::deleteselected() {
    for (size_t i = 0; i < items.size(); i++)
        if (selected[i]) core.removebreakpoint(items[i]);
    core.rebuildmaps();
    rebuild();
}

void tbreakpointsform::setselected(bool disabled) {
    for (size_t i = 0; i < items.size(); i++)
        if (selected[i]) core.setdisabled(items[i], disabled);
    rebuild();
}

bool tbreakpointsform::replace() {
    // The fields are checked before anything is deleted, so that a typing error loses nothing.
    tbreakpointfields f;
    if (!parsefields(Editpc, Editcondition, f, core.symbols)) return false;
    deleteselected();
    return add();
}

void tbreakpointsform::clickitem(int i) {
    if (i < 0 || i >= count()) return;
    const tbreakpoint& b = *items[size_t(i)];
    if (b.anyaddress) Editpc.clear();
    else Editpc = (b.bank == -1 ? std::string() : hex(uint32_t(b.bank), 1) + ":") + hex(b.address, 4);
    Editcondition = b.kind == kindconditional ? formatcondition(b.condition) : std::string();
}

// ---- Access breakpoints ----

std::string taccessbreakpointsform::itemtext(const taccessbreakpoint& a) {
    std::string s = hex(a.first, 4);
    if (a.last != a.first) {
        s += '-';
        s += hex(a.last, 4);
    }
    s += "  ";
    if (a.value >= 0) s += hex(uint32_t(a.value), 2) + "  ";
    if (a.onread) s += "r";
    if (a.onread && a.onwrite) s += ",";
    if (a.onwrite) s += "w";
    if (a.disabled) s += "  (disabled)";
    return s;
}

void taccessbreakpointsform::rebuild() {
    items.clear();
    texts.clear();
    for (taccessbreakpoint* a = core.firstaccessbreakpoint(); a; a = tnodelist<taccessbreakpoint>::after(a)) {
        if (a->hascheck) continue;
        items.push_back(a);
        texts.push_back(itemtext(*a));
    }
    selected.assign(items.size(), false);
}

bool taccessbreakpointsform::add() {
    uint32_t first = 0, last = 0;
    if (!parserange(Editaddr, core.symbols, first, last)) return false;
    const std::optional<uint32_t> value = parsehex(Editvalue);
    // A value no byte can have would never stop: refused rather than silently useless.
    if (value && *value > 0xFF) return false;
    core.addaccessbreakpoint(uint16_t(first), uint16_t(last), Checkonread, Checkonwrite,
                             value ? int32_t(*value) : -1, stopaccess);
    Editaddr.clear();
    Editvalue.clear();
    rebuild();
    return true;
}

void taccessbreakpointsform::deleteselected() {
    for (size_t i = 0; i < items.size(); i++)
        if (selected[i]) core.removeaccessbreakpoint(items[i]);
    rebuild();
}

void taccessbreakpointsform::setselected(bool disabled) {
    for (size_t i = 0; i < items.size(); i++)
        if (selected[i]) core.setdisabled(items[i], disabled);
    rebuild();
}

bool taccessbreakpointsform::replace() {
    uint32_t first = 0, last = 0;
    if (!parserange(Editaddr, core.symbols, first, last)) return false;
    const std::optional<uint32_t> value = parsehex(Editvalue);
    if (value && *value > 0xFF) return false;
    deleteselected();
    return add();
}

void taccessbreakpointsform::clickitem(int i) {
    if (i < 0 || i >= count()) return;
    const taccessbreakpoint& a = *items[size_t(i)];
    Editaddr = hex(a.first, 4) + (a.last != a.first ? std::string("-") + hex(a.last, 4) : std::string());
    Editvalue = a.value >= 0 ? hex(uint32_t(a.value), 2) : std::string();
    Checkonread = a.onread;
    Checkonwrite = a.onwrite;
}

}  // namespace tov
