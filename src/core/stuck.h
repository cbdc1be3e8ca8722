// Whether the emulated program has stopped for good: nothing it waits for can ever happen.
// The headless runner uses it to end a run early instead of waiting out its frames.
#pragma once
#include <cstdint>

namespace tov {

class tgb;

enum tstuck : uint8_t {
    stucknone,      // the program may still go on
    stuckhalt,      // HALT with no interrupt enabled in IE
    stuckhaltidle,  // HALT waiting only for interrupts whose sources are switched off
    stuckloop,      // a jump to itself with interrupts off (IME 0, no EI pending)
    stuckloopidle,  // a jump to itself, interrupts on but none enabled that can be requested
};

// Why the program can never continue, judged from the machine's state between slices.
tstuck stuckreason(const tgb& gb);
inline bool cannotwake(const tgb& gb) { return stuckreason(gb) != stucknone; }
// A short text for messages, such as "HALT with no interrupt enabled".
const char* stucktext(tstuck reason);

}  // namespace tov
