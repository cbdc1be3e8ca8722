#include "core/hostclock.h"

#include <chrono>
#include <ctime>

namespace tov {

namespace {
class trealclock : public thostclock {
public:
    int64_t unixtime() override {
        return std::chrono::duration_cast<std::chrono::seconds>(
                   std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
    int32_t utcoffset(int64_t t) override {
        std::time_t tt = static_cast<std::time_t>(t);
        std::tm local{};
        localtime_r(&tt, &local);
        return static_cast<int32_t>(local.tm_gmtoff);
    }
    double monotonic() override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
};
}  // namespace

thostclock& realclock() {
    static trealclock clock;
    return clock;
}

double localdays(thostclock& clock) {
    // 25569 days lie between 1899-12-30 and 1970-01-01.
    int64_t t = clock.unixtime();
    return 25569.0 + double(t + clock.utcoffset(t)) / 86400.0;
}

}  // namespace tov
