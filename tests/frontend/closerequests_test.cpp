// Requests to end the program met in one pass of window messages.
#include <gtest/gtest.h>

#include "frontend/windowlogic.h"

namespace tov {
namespace {

TEST(closerequests, thewindowsclosealwaysasksandcountsonceapass) {
    struct tcase {
        bool window, signal;
        tclosing want;
    };
    const tcase cases[] = {
        {false, false, tclosing::none},
        {true, false, tclosing::ask},
        {false, true, tclosing::now},  // SIGTERM, Ctrl+C: no question can hold it up
        {true, true, tclosing::ask},   // SDL's quit after the last window's close
    };
    for (const tcase& c : cases) {
        tcloserequests r;
        if (c.window) r.windowclose();
        if (c.signal) r.quitsignal();
        EXPECT_EQ(r.take(), c.want);
        EXPECT_EQ(r.take(), tclosing::none);  // taken once
    }
}

}  // namespace
}  // namespace tov
