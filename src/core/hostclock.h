// Host time as the emulation sees it. Everything that needs the real date or a
// monotonic clock (the cartridge clock, battery-save timing) goes through this, so tests
// can replace it.
#pragma once
#include <cstdint>

namespace tov {

class thostclock {
public:
    virtual ~thostclock() = default;
    // Seconds since 1970-01-01 00:00 UTC.
    virtual int64_t unixtime() = 0;
    // Offset of local time from UTC in seconds (local = UTC + offset) at the given time.
    virtual int32_t utcoffset(int64_t unixtime) = 0;
    // Monotonic seconds with sub-second resolution, arbitrary origin.
    virtual double monotonic() = 0;
};

// The process-wide real clock (the default for every component).
thostclock& realclock();

// Local date and time as days since 1899-12-30 00:00 (fractions are the time of day), the
// time base of the cartridge clock file.
double localdays(thostclock& clock);

// A clock for tests: set the values directly.
class tfakeclock : public thostclock {
public:
    int64_t now = 1700000000;
    int32_t offset = 0;
    double mono = 0.0;
    int64_t unixtime() override { return now; }
    int32_t utcoffset(int64_t) override { return offset; }
    double monotonic() override { return mono; }
};

}  // namespace tov
