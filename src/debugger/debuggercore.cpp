#include "debugger/debuggercore.h"

#include <array>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "core/gb.h"
#include "debugger/metercycles.h"

namespace tov {

const char* stopmessage(int32_t reason) {
    switch (reason) {
    case stopnone: return "";
    case stopbreakpoint: return "breakpoint";
    case stopinvalidopcode: return "invalid opcode";
    case stoptracing: return "tracing";
    case stopstep: return "";
    case stopaccess: return "access";
    case stophaltbug: return "halt with interrupts disabled bug";
    case stopvram: return "accessing inaccessible VRAM";
    case stopoam: return "accessing inaccessible OAM";
    case stopecho: return "accessing echo ram";
    case stopuninitwram: return "reading unitialized WRAM";
    case stopsram: return "reading disabled SRAM";
    case stopmbcwrite: return "MBC write exception";
    case stoplcdoff: return "disabling LCD outside vblank";
    case stopinc16oam: return "16 bits inc/dec in OAM range";
    case stopstepout: return "step out";
    case stopsgbstart: return "SGB transfer start";
    default: return "unknown error";
    }
}



// Opcodes that read and write nothing but their own bytes: register loads and arithmetic,
// immediate loads, jumps that do not use the stack, DI/EI, STOP. HALT reads IE and IF, the
// (HL) forms, the indirect loads and everything that pushes or pops do access memory, and
// 0xCB and the invalid opcodes are left to the probe as well.
constexpr auto registeronly = [] {
    std::array<bool, 256> t{};
    for (int op = 0x40; op < 0xC0; op++) {
        bool hlsource = (op & 7) == 6;
        bool hltarget = op < 0x80 && ((op >> 3) & 7) == 6;
        t[size_t(op)] = !hlsource && !hltarget;
    }
    for (int op : {0x00, 0x01, 0x03, 0x04, 0x05, 0x06, 0x07, 0x09, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
                   0x10, 0x11, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
                   0x20, 0x21, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
                   0x30, 0x31, 0x33, 0x37, 0x38, 0x39, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
                   0xC2, 0xC3, 0xC6, 0xCA, 0xCE, 0xD2, 0xD6, 0xDA, 0xDE, 0xE6, 0xE8, 0xE9, 0xEE,
                   0xF3, 0xF6, 0xF8, 0xF9, 0xFB, 0xFE})
        t[size_t(op)] = true;
    return t;
}();

bool touchesonlyitsbytes(uint8_t opcode) { return registeronly[opcode]; }

// ---------------------------------------------------------------- nodes

namespace {
int livenodes = 0;
}

tlinklist::tlinklist() { livenodes++; }
tlinklist::~tlinklist() { livenodes--; }
int tlinklist::livecount() { return livenodes; }

tbreakpoint::~tbreakpoint() {
    if (owner) owner->unlinked(this);
}

// ---------------------------------------------------------------- conditions

namespace {

// Both accepted forms of each operator, by index.
constexpr const char* comparisonforms[comparisoncount][2] = {
    {"=", "=="}, {">", ">"}, {"<", "<"}, {"!=", "<>"}, {"<=", "!>"}, {">=", "!<"}};

std::string trimupper(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(uint8_t(s[a]))) a++;
    while (b > a && std::isspace(uint8_t(s[b - 1]))) b--;
    std::string r = s.substr(a, b - a);
    for (char& c : r) c = char(std::toupper(uint8_t(c)));
    return r;
}

std::string trim(const std::string& s) {
    size_t a = 0, b = s.size();
    while (a < b && std::isspace(uint8_t(s[a]))) a++;
    while (b > a && std::isspace(uint8_t(s[b - 1]))) b--;
    return s.substr(a, b - a);
}

// The text inside the outer brackets of "(name)".
std::string inner(const std::string& s) {
    const std::string t = trim(s);
    return t.size() >= 2 ? t.substr(1, t.size() - 2) : t;
}

// Hex digits only, at most 8 of them.
bool parsehex(const std::string& s, uint32_t& out) {
    if (s.empty() || s.size() > 8) return false;
    uint32_t v = 0;
    for (char c : s) {
        if (!std::isxdigit(uint8_t(c))) return false;
        v = v * 16 + uint32_t(std::isdigit(uint8_t(c)) ? c - '0' : std::toupper(uint8_t(c)) - 'A' + 10);
    }
    out = v;
    return true;
}

constexpr const char* reg8names[] = {"B", "C", "D", "E", "H", "L", "A", "ZERO", "CARRY"};
constexpr const char* reg16names[] = {"BC", "DE", "HL", "PC", "SP", "AF"};

int findname(const std::string& s, const char* const* names, int count) {
    for (int i = 0; i < count; i++)
        if (s == names[i]) return i;
    return -1;
}

bool parseoperand(const std::string& text, toperand& o, const tsymboltable* symbols) {
    std::string s = trimupper(text);
    bool memory = false;
    if (s.size() >= 2 && s.front() == '(' && s.back() == ')') {
        memory = true;
        s = trimupper(s.substr(1, s.size() - 2));
    }
    if (s.empty()) return false;
    uint32_t v = 0;
    int r;
    if (s[0] == '$') {
        if (!parsehex(s.substr(1), v) || v > 0xFFFF) return false;
        o = {memory ? operandmemory : operandconstant, int32_t(v)};
    } else if ((r = findname(s, reg16names, 6)) >= 0) {
        o = {memory ? operandmemoryat : operandregister16, r};
    } else if ((r = findname(s, reg8names, 9)) >= 0) {
        if (memory) return false;
        o = {operandregister8, r};
    } else if (s.size() == 4 && parsehex(s, v)) {
        o = {memory ? operandmemory : operandconstant, int32_t(v)};
    } else if (const tsymbol* name = symbols ? symbols->find(trim(memory ? inner(text) : text)) : nullptr) {
        o = {memory ? operandmemory : operandconstant, int32_t(name->address)};
    } else {
        return false;
    }
    return true;
}

std::string formatoperand(const toperand& o) {
    char b[16];
    const char* r8 = o.value >= 0 && o.value < 9 ? reg8names[o.value] : "?";
    const char* r16 = o.value >= 0 && o.value < 6 ? reg16names[o.value] : "?";
    switch (o.type) {
    case operandconstant: std::snprintf(b, sizeof b, "$%04X", unsigned(o.value) & 0xFFFF); break;
    case operandmemory: std::snprintf(b, sizeof b, "($%04X)", unsigned(o.value) & 0xFFFF); break;
    case operandregister8: std::snprintf(b, sizeof b, "%s", r8); break;
    case operandregister16: std::snprintf(b, sizeof b, "%s", r16); break;
    case operandmemoryat: std::snprintf(b, sizeof b, "(%s)", r16); break;
    default: b[0] = 0; break;
    }
    return b;
}

}  // namespace

bool parsecondition(const std::string& text, tcondition& out, const tsymboltable* symbols) {
    // Each operator (and each second form) found overrides the split found before it, so the
    // two-character operators win over the "=", ">" or "<" inside them.
    int op = -1;
    size_t at = 0, length = 0;
    for (int i = 0; i < comparisoncount; i++) {
        for (const char* form : comparisonforms[i]) {
            size_t p = text.find(form);
            if (p != std::string::npos) {
                op = i;
                at = p;
                length = std::strlen(form);
            }
        }
    }
    tcondition c;
    if (op < 0) {
        if (!parseoperand(text, c.left, symbols)) return false;
        c.right = {operandchanged, 0};
    } else {
        if (!parseoperand(text.substr(0, at), c.left, symbols)) return false;
        if (!parseoperand(text.substr(at + length), c.right, symbols)) return false;
        c.comparison = op;
    }
    out = c;
    return true;
}

std::string formatcondition(const tcondition& c) {
    std::string s = formatoperand(c.left);
    if (c.right.type == operandchanged) return s;
    int op = c.comparison >= 0 && c.comparison < comparisoncount ? c.comparison : 0;
    return s + comparisonforms[op][0] + formatoperand(c.right);
}

tbreakaddress parsebreakaddress(const std::string& text, const tsymboltable* symbols) {
    tbreakaddress r;
    if (symbols && !symbols->empty()) {
        // A name counts only where the text is no address: "BEEF" stays the hex address.
        const tbreakaddress plain = parsebreakaddress(text, nullptr);
        if (plain.valid && !plain.anyaddress) return plain;
        if (const tsymbol* name = symbols->find(trim(text))) {
            r.valid = true;
            r.address = name->address;
            r.bank = tsymboltable::breakbank(*name);
            return r;
        }
        return plain;
    }
    std::string s = trimupper(text);
    size_t colon = s.find(':');
    std::string addresspart = s;
    if (colon != std::string::npos) {
        uint32_t bank = 0;
        if (!parsehex(trimupper(s.substr(0, colon)), bank) || bank > 0xFFFF) return r;
        r.bank = int32_t(bank);
        // The field takes at most 10 characters after the colon.
        addresspart = trimupper(s.substr(colon + 1, 10));
    }
    uint32_t address = 0;
    if (!parsehex(addresspart, address)) {
        // Hex digits beyond eight are too large, not "every address".
        bool digits = !addresspart.empty();
        for (char c : addresspart) digits = digits && std::isxdigit(uint8_t(c));
        if (digits) return r;
        r.anyaddress = true;
    } else if (address > 0xFFFF) {
        return r;
    }
    r.address = uint16_t(address);
    r.valid = true;
    return r;
}

// ---------------------------------------------------------------- the core

tdebuggercore::tdebuggercore(tgb& machine) : gb(machine) {
    // Every page of the probe reads through the hook, so opcode fetches and data reads
    // are all seen; writes reach only the write hook.
    for (auto& p : probepages) p = {nullptr, readhook, this};
    probe.pagetable = probepages;
    probe.read = readhook;
    probe.readcontext = this;
    probe.write = writehook;
    probe.writecontext = this;
    probe.onillegal = illegalhook;
    probe.onillegalcontext = this;
}

tdebuggercore::~tdebuggercore() { deleteall(); }

void tdebuggercore::deleteall() {
    clearing = true;
    while (breakpoints.head) delete breakpoints.head;
    while (accessbreakpoints.head) {
        taccessbreakpoint* a = accessbreakpoints.head;
        accessbreakpoints.unlink(a);
        delete a;
    }
}

void tdebuggercore::unlinked(tbreakpoint* b) {
    breakpoints.unlink(b);
    b->owner = nullptr;
    if (!clearing) rebuildmaps();
}

uint8_t tdebuggercore::readhook(void* context, uint16_t address) {
    auto* d = static_cast<tdebuggercore*>(context);
    uint8_t value = d->gb.readbyte(address);
    if (d->readmap[address >> 4]) {
        for (taccessbreakpoint* a = d->accessbreakpoints.head; a; a = decltype(d->accessbreakpoints)::after(a)) {
            if (a->disabled || address < a->first || address > a->last) continue;
            if (a->onread && (a->value < 0 || a->value == value) &&
                (!a->hascheck || (a->readcheck && a->readcheck(a->checkcontext, address))))
                d->pending = a->reason;
            break;
        }
    }
    return value;
}

void tdebuggercore::writehook(void* context, uint16_t address, uint8_t value) {
    auto* d = static_cast<tdebuggercore*>(context);
    if (d->pending || !d->writemap[address >> 4]) return;
    for (taccessbreakpoint* a = d->accessbreakpoints.head; a; a = decltype(d->accessbreakpoints)::after(a)) {
        if (a->disabled || address < a->first || address > a->last) continue;
        if (a->onwrite && (a->value < 0 || a->value == value) &&
            (!a->hascheck || (a->writecheck && a->writecheck(a->checkcontext, address, value))))
            d->pending = a->reason;
        break;
    }
}

void tdebuggercore::illegalhook(void* context) {
    static_cast<tdebuggercore*>(context)->pending = stopinvalidopcode;
}

int32_t tdebuggercore::fullcheck() {
    pending = 0;
    const tcpustate& c = gb.cpu;
    if (interruptpending) {
        interruptpending = false;
        // The dispatch pushes the return address: checked as the two writes it makes.
        uint16_t sp = c.SP;
        writehook(this, sp, gb.readbyte(sp));
        writehook(this, uint16_t(sp + 1), gb.readbyte(uint16_t(sp + 1)));
        // A step out waiting for the current routine's return must not take the return
        // of the interrupt handler for it: it waits for the interrupted instruction, whose
        // address the dispatch has just pushed.
        for (tbreakpoint* b = breakpoints.head; b; b = decltype(breakpoints)::after(b))
            if (b->kind == kindstepout && !b->disabled && b->anyaddress) {
                b->anyaddress = false;
                b->address = uint16_t(gb.readbyte(sp) | gb.readbyte(uint16_t(sp + 1)) << 8);
                b->bank = -1;
                rebuildmaps();
                break;
            }
    }
    const uint8_t opcode = gb.readbyte(c.PC);
    // The probe can be spared for an instruction that touches no memory but its own bytes,
    // when those lie outside every read watch: it would find nothing.
    const bool probeneeded =
        (anyaccess || options.DebugHaltBugBreak) &&
        (c.halted || !registeronly[opcode] || readmap[c.PC >> 4] || readmap[uint16_t(c.PC + 2) >> 4]);
    if (probeneeded) {
        // Run the next instruction on the probe: its accesses reach the hooks only.
        probe.AF = c.AF;
        probe.BC = c.BC;
        probe.DE = c.DE;
        probe.HL = c.HL;
        probe.SP = c.SP;
        probe.PC = c.PC;
        probe.ime = c.ime;
        probe.eipending = c.eipending;
        probe.flagZ = c.flagZ;
        probe.flagN = c.flagN;
        probe.flagH = c.flagH;
        probe.flagC = c.flagC;
        probe.halted = c.halted;
        probe.haltbugskip = c.haltbugskip;
        probe.emulatehaltbug = c.emulatehaltbug;
        // Pages without a read watch read as the machine maps them, through its pointers.
        for (unsigned i = 0; i < 16; i++)
            probepages[i] = (watchedpages >> i) & 1 ? tpageentry{nullptr, readhook, this} : gb.pagetable[i];
        probe.cycles = 4;
        cpuexecute(probe);
        if (probe.haltbugskip && options.DebugHaltBugBreak) pending = stophaltbug;
    } else if (!c.halted && isinvalidopcode(opcode)) {
        // Without the probe the invalid opcode is seen here, before it would run.
        pending = stopinvalidopcode;
    }
    if (pending) return pending;
    // HALT with nothing to wake it: no instruction runs, none to stop before.
    if (c.halted && !(gb.iereg & gb.ifreg & 0x1F)) return 0;
    if (!execmap[c.PC >> 4]) return 0;
    return evaluatelist();
}

int32_t tdebuggercore::evaluatelist() {
    tcpustate& c = gb.cpu;
    const uint16_t pc = c.PC;
    int32_t pcbank = -2;  // computed on first need
    tbreakpoint* b = breakpoints.head;
    while (b) {
        tbreakpoint* next = decltype(breakpoints)::after(b);
        if (b->disabled) {
            b = next;
            continue;
        }
        if (!b->anyaddress) {
            if (b->address != pc) {
                b = next;
                continue;
            }
            if (b->bank >= 0) {
                if (pcbank == -2) pcbank = bankof(pc);
                if (b->bank != pcbank) {
                    b = next;
                    continue;
                }
            }
        }
        switch (b->kind) {
        case kindplain:
            return b->reason;
        case kindconditional:
            if (conditionhit(*b)) return stopbreakpoint;
            break;
        case kindsource:
            if (gb.readbyte(pc) == 0x40) return b->reason;
            break;
        case kindoampointer: {
            auto inoam = [](uint16_t v) { return v >= 0xFE00 && v <= 0xFE9F; };
            switch (gb.readbyte(pc)) {
            case 0x22: case 0x23: case 0x2A: case 0x2B: case 0x32: case 0x3A:
                if (inoam(c.HL)) return stopinc16oam;
                break;
            case 0x13: case 0x1B:
                if (inoam(c.DE)) return stopinc16oam;
                break;
            case 0x03: case 0x0B:
                if (inoam(c.BC)) return stopinc16oam;
                break;
            default: break;
            }
            break;
        }
        case kindstepout:
            stepoutvisit(b);
            break;
        case kindcpumeter: {
            uint8_t op = gb.readbyte(pc);
            metercycles += tov::metercycles(op, gb.readbyte(uint16_t(pc + 1)), c.flagZ, c.flagC);
            break;
        }
        default:
            break;
        }
        b = next;
    }
    return 0;
}

void tdebuggercore::stepoutvisit(tbreakpoint* b) {
    const tcpustate& c = gb.cpu;
    const uint16_t pc = c.PC;
    uint8_t op = gb.readbyte(pc);
    bool call = op == 0xCD || (op == 0xC4 && !c.flagZ) || (op == 0xCC && c.flagZ) ||
                (op == 0xD4 && !c.flagC) || (op == 0xDC && c.flagC);
    bool ret = op == 0xC9 || op == 0xD9 || (op == 0xC0 && !c.flagZ) || (op == 0xC8 && c.flagZ) ||
               (op == 0xD0 && !c.flagC) || (op == 0xD8 && c.flagC);
    const bool wasany = b->anyaddress;
    if (call) {
        // Wait for the return to the instruction after the call.
        b->anyaddress = false;
        b->address = uint16_t(pc + 3);
        b->bank = -1;
    } else {
        b->anyaddress = true;
    }
    if (ret) {
        // Stop at the instruction after the return: a new node at the head is not visited
        // again in this walk.
        delete b;  // rebuilds the maps
        tbreakpoint* s = addanyaddress(kindplain, stopstepout);
        s->temporary = true;
    } else if (wasany != b->anyaddress) {
        rebuildmaps();
    }
}

int32_t tdebuggercore::operandvalue(const toperand& o) {
    const tcpustate& c = gb.cpu;
    auto reg16 = [&](int32_t r) -> uint16_t {
        switch (r) {
        case reg16bc: return c.BC;
        case reg16de: return c.DE;
        case reg16hl: return c.HL;
        case reg16pc: return c.PC;
        case reg16sp: return c.SP;
        default:
            return uint16_t(c.A << 8 | c.flagZ << 7 | c.flagN << 6 | c.flagH << 5 | c.flagC << 4);
        }
    };
    switch (o.type) {
    case operandconstant: return o.value;
    case operandmemory: return gb.readbyte(uint16_t(o.value));
    case operandregister8:
        switch (o.value) {
        case reg8b: return c.B;
        case reg8c: return c.C;
        case reg8d: return c.D;
        case reg8e: return c.E;
        case reg8h: return c.H;
        case reg8l: return c.L;
        case reg8a: return c.A;
        case reg8zero: return c.flagZ ? 1 : 0;
        default: return c.flagC ? 1 : 0;
        }
    case operandregister16: return reg16(o.value);
    case operandmemoryat: return gb.readbyte(reg16(o.value));
    default: return 0;
    }
}

bool tdebuggercore::conditionhit(tbreakpoint& b) {
    int32_t left = operandvalue(b.condition.left);
    if (b.condition.right.type == operandchanged) {
        bool changed = left != b.lastvalue;
        b.lastvalue = left;
        return changed;
    }
    int32_t right = operandvalue(b.condition.right);
    bool r;
    switch (b.condition.comparison) {
    case 0: r = left == right; break;
    case 1: r = left > right; break;
    case 2: r = left < right; break;
    case 3: r = left != right; break;
    case 4: r = left <= right; break;
    default: r = left >= right; break;
    }
    // Only the rising edge stops: staying true on later visits does not.
    bool hit = r && !b.lastresult;
    b.lastresult = r;
    return hit;
}

// ---------------------------------------------------------------- lists

namespace {
tbreakpoint* newbreakpoint(tdebuggercore* owner, uint16_t address, int32_t bank, int32_t reason) {
    auto* b = new tbreakpoint;
    b->address = address;
    b->bank = bank;
    b->reason = reason;
    b->owner = owner;
    return b;
}
}  // namespace

tbreakpoint* tdebuggercore::addbreakpoint(uint16_t address, int32_t bank, int32_t reason) {
    tbreakpoint* b = newbreakpoint(this, address, bank, reason);
    breakpoints.pushfront(b);
    rebuildmaps();
    return b;
}

tbreakpoint* tdebuggercore::addanyaddress(int32_t kind, int32_t reason) {
    tbreakpoint* b = newbreakpoint(this, 0, -1, reason);
    b->anyaddress = true;
    b->kind = kind;
    breakpoints.pushfront(b);
    rebuildmaps();
    return b;
}

tbreakpoint* tdebuggercore::addtemporary(uint16_t address, int32_t bank, int32_t reason) {
    tbreakpoint* b = newbreakpoint(this, address, bank, reason);
    b->temporary = true;
    breakpoints.pushback(b);
    rebuildmaps();
    return b;
}

tbreakpoint* tdebuggercore::step(int32_t reason) {
    tbreakpoint* b = addtemporary(0, -1, reason);
    b->anyaddress = true;
    rebuildmaps();
    return b;
}

void tdebuggercore::removebreakpoint(tbreakpoint* b) { delete b; }

bool tdebuggercore::hasexecutionbreakpoint(uint16_t address, int bank) const {
    for (const tbreakpoint* b = breakpoints.head; b; b = decltype(breakpoints)::after(b))
        if (!b->temporary && !b->anyaddress && b->kind != kindstepout && b->address == address &&
            (b->bank == -1 || b->bank == bank))
            return true;
    return false;
}

void tdebuggercore::setdisabled(tbreakpoint* b, bool disabled) {
    b->disabled = disabled;
    rebuildmaps();
}

void tdebuggercore::deletetemporaries() {
    clearing = true;
    for (tbreakpoint* b = breakpoints.head; b;) {
        tbreakpoint* next = decltype(breakpoints)::after(b);
        if (b->temporary) delete b;
        b = next;
    }
    clearing = false;
    rebuildmaps();
}

taccessbreakpoint* tdebuggercore::addaccessbreakpoint(uint16_t first, uint16_t last, bool onread, bool onwrite,
                                                      int32_t value, int32_t reason) {
    auto* a = new taccessbreakpoint;
    a->first = first;
    a->last = last < first ? first : last;
    a->onread = onread;
    a->onwrite = onwrite;
    a->value = value;
    a->reason = reason;
    accessbreakpoints.pushfront(a);
    rebuildmaps();
    return a;
}

void tdebuggercore::removeaccessbreakpoint(taccessbreakpoint* a) {
    accessbreakpoints.unlink(a);
    delete a;
    rebuildmaps();
}

void tdebuggercore::setdisabled(taccessbreakpoint* a, bool disabled) {
    a->disabled = disabled;
    rebuildmaps();
}

void tdebuggercore::clearall() {
    deleteall();
    clearing = false;
    rebuildchecks();
}

void tdebuggercore::rebuildmaps() {
    std::memset(execmap, 0, sizeof execmap);
    std::memset(readmap, 0, sizeof readmap);
    std::memset(writemap, 0, sizeof writemap);
    bool anyexec = false;
    for (tbreakpoint* b = breakpoints.head; b; b = decltype(breakpoints)::after(b)) {
        if (b->disabled) continue;
        anyexec = true;
        if (b->anyaddress) {
            std::memset(execmap, 1, sizeof execmap);
            break;
        }
        execmap[b->address >> 4] = 1;
    }
    anyaccess = false;
    watchedpages = 0;
    for (taccessbreakpoint* a = accessbreakpoints.head; a; a = decltype(accessbreakpoints)::after(a)) {
        if (a->disabled) continue;
        anyaccess = true;
        for (unsigned block = a->first >> 4; block <= unsigned(a->last >> 4); block++) {
            if (a->onread) readmap[block] = 1;
            if (a->onwrite) writemap[block] = 1;
        }
        if (a->onread)
            for (unsigned page = a->first >> 12; page <= unsigned(a->last >> 12); page++) watchedpages |= 1u << page;
    }
    gb.debugstepping = anyexec || anyaccess || options.DebugHaltBugBreak || options.DebugSgbStartBreak;
}

int32_t tdebuggercore::bankof(uint16_t address) const {
    const tcart& cart = gb.cartridge();
    if (address >= 0x4000 && address <= 0x7FFF) return cart.isbanked() ? cart.currentrombank() : 0;
    if (address >= 0xA000 && address <= 0xBFFF) return cart.isbanked() ? cart.currentrambank() : 0;
    if ((address >= 0xD000 && address <= 0xDFFF) || (address >= 0xF000 && address <= 0xFDFF))
        return int32_t((gb.wrambank - gb.wram) / 0x1000);
    return 0;
}

// ---------------------------------------------------------------- checks from the options

namespace {

bool always(void*, uint16_t) { return true; }
bool alwayswrite(void*, uint16_t, uint8_t) { return true; }

bool sramdisabled(void* c, uint16_t) { return !static_cast<tgb*>(c)->cartridge().ramenabled(); }
bool sramdisabledwrite(void* c, uint16_t a, uint8_t) { return sramdisabled(c, a); }

bool vramblocked(void* c, uint16_t) { return static_cast<tgb*>(c)->vraminaccessible; }
bool vramblockedwrite(void* c, uint16_t a, uint8_t) { return vramblocked(c, a); }

// The CPU cannot reach OAM while the LCD scans it (mode 2) or draws (mode 3).
bool oamblocked(void* c, uint16_t) {
    const tgb& gb = *static_cast<tgb*>(c);
    return (gb.lcdregs.lcdc & 0x80) && (gb.stat & 3) >= 2;
}
bool oamblockedwrite(void* c, uint16_t a, uint8_t) { return oamblocked(c, a); }

bool badcontrollerwrite(void* c, uint16_t a, uint8_t v) {
    return !static_cast<tgb*>(c)->cartridge().isstandardwrite(a, v);
}

// Work RAM bit per byte (bank 0 at 0xC000, the mapped bank at 0xD000), high RAM a byte each.
bool writtenbefore(const tgb& gb, uint16_t a) {
    if (a >= 0xFF80) return a <= 0xFFFE && gb.hraminited[a - 0xFF80];
    unsigned offset = a < 0xD000 ? (a & 0xFFFu) : unsigned(gb.wrambank - gb.wram) + (a & 0xFFFu);
    return gb.wraminited[offset >> 3] & (1u << (offset & 7));
}
bool uninitread(void* c, uint16_t a) { return !writtenbefore(*static_cast<tgb*>(c), a); }
bool markwritten(void* c, uint16_t a, uint8_t) {
    tgb& gb = *static_cast<tgb*>(c);
    if (a >= 0xFF80) {
        if (a <= 0xFFFE) gb.hraminited[a - 0xFF80] = 1;
    } else {
        unsigned offset = a < 0xD000 ? (a & 0xFFFu) : unsigned(gb.wrambank - gb.wram) + (a & 0xFFFu);
        gb.wraminited[offset >> 3] |= uint8_t(1u << (offset & 7));
    }
    return false;
}

// Switching the LCD off is only safe in VBlank (mode 1).
bool lcdoffoutsidevblank(void* c, uint16_t, uint8_t v) {
    const tgb& gb = *static_cast<tgb*>(c);
    return !(v & 0x80) && (gb.lcdregs.lcdc & 0x80) && (gb.stat & 3) != 1;
}

bool sgbstart(void* c, uint16_t, uint8_t) {
    tgb& gb = *static_cast<tgb*>(c);
    // The hook runs before the write: p1select still holds the select bits before it.
    return gb.sgbunit().transferstarting(gb.p1select);
}
bool neverread(void*, uint16_t) { return false; }

}  // namespace

void tdebuggercore::addcheck(uint16_t first, uint16_t last, bool onread, bool onwrite, int32_t reason,
                             taccessreadcheck r, taccesswritecheck w) {
    auto* a = new taccessbreakpoint;
    a->first = first;
    a->last = last;
    a->onread = onread;
    a->onwrite = onwrite;
    a->reason = reason;
    a->hascheck = true;
    a->readcheck = r;
    a->writecheck = w;
    a->checkcontext = &gb;
    accessbreakpoints.pushfront(a);
}

void tdebuggercore::rebuildchecks() {
    for (taccessbreakpoint* a = accessbreakpoints.head; a;) {
        taccessbreakpoint* next = decltype(accessbreakpoints)::after(a);
        if (a->hascheck) {
            accessbreakpoints.unlink(a);
            delete a;
        }
        a = next;
    }
    const tdebuggeroptions& o = options;
    if (o.DebugEcho) addcheck(0xE000, 0xFDFF, true, true, stopecho, always, alwayswrite);
    if (o.DebugSramBreak && gb.cartridge().isbanked())
        addcheck(0xA000, 0xBFFF, true, true, stopsram, sramdisabled, sramdisabledwrite);
    if (o.DebugVRAMbreak) {
        addcheck(0x8000, 0x9FFF, true, true, stopvram, vramblocked, vramblockedwrite);
        addcheck(0xFF69, 0xFF69, true, true, stopvram, vramblocked, vramblockedwrite);
        addcheck(0xFF6B, 0xFF6B, true, true, stopvram, vramblocked, vramblockedwrite);
        addcheck(0xFE00, 0xFE9F, true, true, stopoam, oamblocked, oamblockedwrite);
    }
    if (o.DebugMBCaddr) addcheck(0x0000, 0x7FFF, false, true, stopmbcwrite, nullptr, badcontrollerwrite);
    if (!o.DebugWRAMbreak) {
        gb.trackwraminit = false;
    } else if (gb.trackwraminit) {
        addcheck(0xC000, 0xCFFF, true, true, stopuninitwram, uninitread, markwritten);
        addcheck(0xD000, 0xDFFF, true, true, stopuninitwram, uninitread, markwritten);
        addcheck(0xFF80, 0xFFFE, true, true, stopuninitwram, uninitread, markwritten);
    }
    if (o.DebugDisableLCD) addcheck(0xFF40, 0xFF40, false, true, stoplcdoff, nullptr, lcdoffoutsidevblank);
    if (o.DebugSgbStartBreak && gb.sgbmode)
        addcheck(0xFF00, 0xFF00, false, true, stopsgbstart, neverread, sgbstart);

    clearing = true;
    for (tbreakpoint* b = breakpoints.head; b;) {
        tbreakpoint* next = decltype(breakpoints)::after(b);
        if (b->kind == kindsource || b->kind == kindoampointer || b->kind == kindcpumeter) delete b;
        b = next;
    }
    clearing = false;
    if (o.DebugSrcBrk) addanyaddress(kindsource, stopbreakpoint);
    if (o.DebugInc16OAMBreak) addanyaddress(kindoampointer, stopinc16oam);
    if (o.CpuMeter) addanyaddress(kindcpumeter, stopbreakpoint);
    rebuildmaps();
}

// ---------------------------------------------------------------- expressions

namespace {

std::string hexvalue(uint64_t v) {
    char b[24];
    std::snprintf(b, sizeof b, "$%llX", static_cast<unsigned long long>(v));
    return b;
}

// "$" and hex digits (at most 12) as a number.
bool valueof(const std::string& s, uint64_t& out) {
    if (s.size() < 2 || s[0] != '$' || s.size() > 13) return false;
    uint64_t v = 0;
    for (size_t i = 1; i < s.size(); i++) {
        char c = s[i];
        if (!std::isxdigit(uint8_t(c))) return false;
        v = v * 16 + uint64_t(std::isdigit(uint8_t(c)) ? c - '0' : std::toupper(uint8_t(c)) - 'A' + 10);
    }
    out = v;
    return true;
}

texpression failed(const char* message) { return {false, message}; }

}  // namespace

texpression tdebuggercore::evaluate(const std::string& text) { return evaluatedepth(text, 0); }

texpression tdebuggercore::evaluatedepth(const std::string& text, int depth) {
    // Bounded recursion: every level removes a bracket pair or an operator, but a hostile
    // text must not exhaust the stack.
    if (depth > 64) return failed("expression too complex");
    std::string s = trimupper(text);
    if (s.empty()) return failed("empty");
    if (s[0] == '(') {
        int nesting = 0;
        size_t close = std::string::npos;
        for (size_t i = 0; i < s.size(); i++) {
            if (s[i] == '(') nesting++;
            else if (s[i] == ')' && --nesting == 0) {
                close = i;
                break;
            }
        }
        if (close == std::string::npos) return failed("no closing bracket");
        texpression inner = evaluatedepth(s.substr(1, close - 1), depth + 1);
        if (!inner.ok) return inner;
        uint64_t address = 0;
        if (!valueof(inner.text, address) || address > 0xFFFF) return failed("address out of range");
        char b[8];
        std::snprintf(b, sizeof b, "$%02X", gb.readbyte(uint16_t(address)));
        return evaluatedepth(b + s.substr(close + 1), depth + 1);
    }
    size_t eq = s.find('=');
    if (eq != std::string::npos) {
        texpression l = evaluatedepth(s.substr(0, eq), depth + 1);
        if (!l.ok) return l;
        texpression r = evaluatedepth(s.substr(eq + 1), depth + 1);
        if (!r.ok) return r;
        return {true, l.text == r.text ? "$1" : "$0"};
    }
    size_t plus = s.find('+');
    if (plus != std::string::npos) {
        // The notation of the LD (FF00+C) family: BC and DE here are hex digits.
        if (s == "FF00+BC" || s == "$FF00+BC") return {true, "$FFBC"};
        if (s == "FF00+DE" || s == "$FF00+DE") return {true, "$FFDE"};
        texpression l = evaluatedepth(s.substr(0, plus), depth + 1);
        if (!l.ok) return l;
        texpression r = evaluatedepth(s.substr(plus + 1), depth + 1);
        if (!r.ok) return r;
        uint64_t a = 0, b = 0;
        valueof(l.text, a);
        valueof(r.text, b);
        return {true, hexvalue(a + b)};
    }
    uint64_t v = 0;
    if (s[0] == '$') {
        if (!valueof(s, v)) return failed("invalid number");
        return {true, hexvalue(v)};
    }
    const tcpustate& c = gb.cpu;
    struct tname {
        const char* name;
        uint32_t value;
    };
    const tname registers[] = {
        {"BC", c.BC}, {"DE", c.DE}, {"HL", c.HL}, {"SP", c.SP}, {"PC", c.PC}, {"B", c.B},
        {"C", c.C}, {"D", c.D}, {"E", c.E}, {"H", c.H}, {"L", c.L}, {"A", c.A},
        {"Z", c.flagZ}, {"ZERO", c.flagZ}, {"CARRY", c.flagC}};
    for (const tname& r : registers)
        if (s == r.name) return {true, hexvalue(r.value)};
    if (valueof("$" + s, v)) return {true, hexvalue(v)};
    // A name of the symbol file is its address (hex digits and registers come first).
    if (const tsymbol* name = symbols.find(s)) return {true, hexvalue(name->address)};
    return failed("invalid number");
}

}  // namespace tov
