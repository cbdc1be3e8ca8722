#include "viewers/cpumeter.h"

#include <cmath>

#include "core/gb.h"
#include "debugger/debuggercore.h"

namespace tov {

bool tcpumeter::update(int32_t frameunits, tgb& machine, tdebuggercore& counter, bool windowexists) {
    const uint32_t cycles = counter.takemetercycles();
    if (!windowexists) return false;
    // One machine cycle is 2 units at normal speed and 1 in double speed.
    const uint64_t busy = uint64_t(machine.totalunits) + uint64_t(cycles) * (machine.speed ? 1 : 2);
    machine.totalunits = 0;
    value = frameunits > 0 ? double(busy) / double(frameunits) : 0.0;
    doublespeed = machine.speed != 0;
    hasvalue = true;
    return true;
}

tmeterpaint tcpumeter::paint(int height, bool meteron) {
    tmeterpaint p;
    if (!meteron) {
        hasvalue = false;
        p.buttonface = true;
        return p;
    }
    // Round to nearest, ties to even (the default rounding mode).
    p.barheight = int(std::nearbyint(double(height) * value));
    if (p.barheight < 0) p.barheight = 0;
    if (p.barheight > height) p.barheight = height;
    if (!hasvalue) p.back = p.bar = metercolour::none;
    else if (doublespeed) p.back = metercolour::doubleback, p.bar = metercolour::doublebar;
    else p.back = metercolour::normalback, p.bar = metercolour::normalbar;
    return p;
}

}  // namespace tov
