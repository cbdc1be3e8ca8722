#include "debugger/debuggertov.h"

namespace tov {

tdebuggertov::tdebuggertov(tgb& machine, tdebuggerhost* h) : core(machine), gb(machine), host(h) {
    gb.debugger = this;
    core.rebuildchecks();
}

tdebuggertov::~tdebuggertov() {
    if (gb.debugger == this) gb.debugger = nullptr;
    gb.debugstepping = false;
}

void tdebuggertov::setoptions(const tdebuggeroptions& o) {
    core.options = o;
    core.rebuildchecks();
}

std::string tdebuggertov::caption() const {
    std::string m = stopmessage(reason);
    return m.empty() ? std::string(title) : m + " - " + title;
}

void tdebuggertov::enterdebugger(int r) {
    if (isstopped) return;
    core.deletetemporaries();
    reason = r;
    freerun = false;
    if (r != stoptracing) animateon = false;
    isstopped = true;
    resumerequested = false;
    if (onstop) onstop();
    core.rebuildchecks();
    if (!animateon)
        for (int c = 0; c < 4; c++)
            for (int bit = 0; bit < 8; bit++) gb.joypadset(c, bit, false);
    if (host) {
        host->debuggerstopped(caption(), r);
        if (gb.ly != lastly && gb.ly < 144) host->showpartialframe();
    }
    lastly = gb.ly;
    if (animateon) {
        // The machine goes on one instruction at a time while the views follow it.
        if (host) host->processmessages();
        if (animateon) {
            core.step(stoptracing);
            gb.debugstepping = true;
            isstopped = false;
            return;
        }
    }
    // Without a host nothing could resume: the machine goes on.
    while (host && !resumerequested) {
        host->processmessages();
        if (resumerequested) break;
        host->idle();
    }
    isstopped = false;
    resumerequested = false;
    if (host) host->debuggerresumed();
    if (onresume) onresume();
}

void tdebuggertov::trace() {
    traceon = true;
    gb.debugstepping = true;
    core.step(stoptracing);
    resume();
}

void tdebuggertov::stepover() {
    const uint16_t pc = gb.cpu.PC;
    const uint8_t op = gb.readbyte(pc);
    tbreakpoint* b;
    if (op == 0x20 || op == 0x28 || op == 0x30 || op == 0x38) {
        b = core.addtemporary(uint16_t(pc + 2), -1, stoptracing);  // JR cc: past the loop
    } else if (op == 0xC4 || op == 0xCC || op == 0xCD || op == 0xD4 || op == 0xDC) {
        b = core.addtemporary(uint16_t(pc + 3), -1, stoptracing);  // CALL: after the return
    } else if ((op & 0xC7) == 0xC7) {
        b = core.addtemporary(uint16_t(pc + 1), -1, stoptracing);  // RST
    } else {
        b = core.step(stoptracing);
    }
    (void)b;
    gb.debugstepping = true;
    resume();
}

void tdebuggertov::stepout() {
    for (tbreakpoint* b = core.firstbreakpoint(); b;) {
        tbreakpoint* next = tnodelist<tbreakpoint>::after(b);
        if (b->kind == kindstepout) core.removebreakpoint(b);
        b = next;
    }
    tbreakpoint* b = core.step(stopstepout);
    b->kind = kindstepout;
    b->temporary = false;  // it lives until the return (it deletes itself then)
    core.stepoutvisit(b);
    resume();
}

void tdebuggertov::runtocursor(uint16_t address, int32_t bank) {
    core.addtemporary(address, bank, stoptracing);
    resume();
}

bool tdebuggertov::togglebreakpoint(uint16_t address, int32_t bank) {
    for (tbreakpoint* b = core.firstbreakpoint(); b; b = tnodelist<tbreakpoint>::after(b)) {
        if (b->temporary || b->anyaddress || b->address != address) continue;
        if (b->bank != bank && b->bank != -1) continue;
        core.removebreakpoint(b);
        return false;
    }
    core.addbreakpoint(address, bank, stopbreakpoint);
    return true;
}

void tdebuggertov::run() {
    traceon = false;
    animateon = false;
    freerun = true;
    core.deletetemporaries();
    resume();
}

void tdebuggertov::animate() {
    traceon = true;
    animateon = true;
    gb.debugstepping = true;
    core.step(stoptracing);
    resume();
}

void tdebuggertov::returnfromcall() {
    tcpustate& c = gb.cpu;
    c.PC = uint16_t(gb.readbyte(c.SP) | gb.readbyte(uint16_t(c.SP + 1)) << 8);
    c.SP = uint16_t(c.SP + 2);
    if (host) host->refreshviews();
}

void tdebuggertov::reset() {
    gb.resetmachine();
    if (host) host->refreshviews();
}

void tdebuggertov::breaknow() {
    if (isstopped) return;
    core.step(stopstep);
}

void tdebuggertov::startup() {
    if (!core.options.StartDebug) return;
    core.rebuildchecks();
    core.step(stopstep);
}

}  // namespace tov
