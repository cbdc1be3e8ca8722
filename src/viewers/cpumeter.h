// The processor-load meter of the debugger window: once per emulated frame, the share of
// the frame's units the processor spent executing rather than halted or stopped.
#pragma once
#include <cstdint>

namespace tov {

class tgb;
class tdebuggercore;

// 0x00BBGGRR colours of the bar.
namespace metercolour {
constexpr uint32_t none = 0x808080;          // on, no value yet
constexpr uint32_t normalbar = 0x00FF00;
constexpr uint32_t normalback = 0x006600;
constexpr uint32_t doublebar = 0x00AAFF;
constexpr uint32_t doubleback = 0x004466;
}  // namespace metercolour

// How the control is painted: rows 0 to height - barheight in `back`, the rest in `bar`.
// `buttonface` says the meter is off (the whole control in the system's button colour).
struct tmeterpaint {
    bool buttonface = false;
    int barheight = 0;
    uint32_t back = 0, bar = 0;
};

class tcpumeter {
public:
    double value = 0;          // share of the last frame spent executing
    bool doublespeed = false;  // the machine ran in double speed when the value was taken
    bool hasvalue = false;     // a value came since the meter was last switched off

    // After every emulated frame while `CpuMeter` is on. With the debugger window there
    // (`core` given), busy = the machine's total-units counter (read and cleared) + the
    // counted machine cycles x 2 in normal speed (x 1 in double speed), and the value is
    // busy / frame units; in any case the counted cycles are cleared. True when repainted.
    bool update(int32_t frameunits, tgb& machine, tdebuggercore& counter, bool windowexists);
    // The paint of a control `height` rows high; with the meter off `hasvalue` is cleared.
    tmeterpaint paint(int height, bool meteron);
};

}  // namespace tov
