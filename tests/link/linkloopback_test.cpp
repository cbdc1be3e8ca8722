// Two machines in one process linked over loopback TCP, each run by its own thread as two
// programs would run (a machine, its link and its sockets never leave their thread): the
// test program exchanges its bytes as master and slave, with a slave that has no transfer
// enabled and with a paused slave; two masters starting in the same tick.
#include <gtest/gtest.h>

#include <thread>

#include "link/linknet.h"
#include "link/linkrom.h"

namespace tov::testing {
namespace {

using bytes = std::vector<uint8_t>;

enum class tbside { runs, idles, paused };

// Runs both until each program is done (an idle or paused `b` never is) or the time is up.
void runpair(tendpoint& a, tendpoint& b, tbside side, double seconds = 30) {
    std::atomic<bool> adone{false}, bdone{side != tbside::runs};
    auto run = [seconds](tendpoint& e, std::atomic<bool>& mine, std::atomic<bool>& other, bool paused) {
        auto start = std::chrono::steady_clock::now();
        while (!(mine && other) && secondssince(start) < seconds) {
            if (paused) {
                e.link.poll();
                std::this_thread::sleep_for(std::chrono::microseconds(100));
                continue;
            }
            e.m.session->runframe(false);
            e.link.poll();
            if (!mine && e.peek(linkdone) == 1) mine = true;
        }
    };
    b.ispaused = side == tbside::paused;
    std::thread tb([&] { run(b, bdone, adone, side == tbside::paused); });
    run(a, adone, bdone, false);
    // An idle or paused side runs until the other is done; then it is let go.
    tb.join();
}

bytes received(tendpoint& e, size_t n) {
    bytes b;
    for (size_t i = 0; i < n; i++) b.push_back(e.peek(uint16_t(linkreceived + i)));
    return b;
}

TEST(LinkLoopback, MasterAndSlaveExchangeTheirSequences) {
    const bytes m = {0x00, 0x11, 0x22, 0x81, 0x7F, 0xFF, 0x68, 0x69, 0x01, 0x65, 0xC3, 0x3C};
    const bytes s = {0xFF, 0xEE, 0x00, 0x5A, 0xA5, 0x80, 0x01, 0x02, 0x6B, 0x10, 0x20, 0x30};
    tendpoint a(linkrom(tlinkrole::master, m, s));
    tendpoint b(linkrom(tlinkrole::slave, s, m));
    linkpair(a, b);
    runpair(a, b, tbside::runs);
    EXPECT_EQ(received(a, m.size()), s);
    EXPECT_EQ(received(b, s.size()), m);
    EXPECT_EQ(a.peek(linkverdict), 1);
    EXPECT_EQ(b.peek(linkverdict), 1);
    EXPECT_TRUE(a.boxes.empty());
    EXPECT_TRUE(b.boxes.empty());
}

TEST(LinkLoopback, SlaveWithoutTransferEnabledAnswersItsSBAndKeepsIt) {
    const bytes m = {0x01, 0x02, 0x03, 0x04};
    tendpoint a(linkrom(tlinkrole::master, m, bytes(4, 0x5A)));
    tendpoint b(linkrom(tlinkrole::idle, {0x5A}, {}));
    linkpair(a, b);
    runpair(a, b, tbside::idles);
    EXPECT_EQ(received(a, 4), bytes(4, 0x5A));
    EXPECT_EQ(b.gb().sb, 0x5A);
    EXPECT_EQ(b.gb().ifreg & 0x08, 0);  // no transfer ever completed there
}

TEST(LinkLoopback, PausedSlaveAnswersZero) {
    const bytes m = {0x10, 0x20, 0x30};
    tendpoint a(linkrom(tlinkrole::master, m, bytes(3, 0x00)));
    tendpoint b(linkrom(tlinkrole::slave, {0x77, 0x77, 0x77}, m));
    linkpair(a, b);
    runpair(a, b, tbside::paused);
    EXPECT_EQ(received(a, 3), bytes(3, 0x00));
    EXPECT_EQ(a.peek(linkverdict), 1);
}

TEST(LinkLoopback, TwoMastersInTheSameTickCompleteWithEachOthersByte) {
    tendpoint a, b;
    linkpair(a, b);
    a.gb().sb = 0x12;
    a.gb().sc = 0x81;
    b.gb().sb = 0x34;
    b.gb().sc = 0x81;
    // b's tick runs inside a's wait, after a's transfer left and before b has read it: both
    // send before either receives, as two programs ticking together do.
    bool ran = false;
    a.onpump = [&] {
        if (!ran) {
            ran = true;
            b.link.linktick();
        }
    };
    a.link.linktick();
    EXPECT_EQ(a.gb().sb, 0x34);
    EXPECT_EQ(b.gb().sb, 0x12);
    EXPECT_EQ(a.gb().sc, 0x01);
    EXPECT_EQ(b.gb().sc, 0x01);
    EXPECT_LT(a.pumps, tgblink::waitlimit);
    EXPECT_LT(b.pumps, tgblink::waitlimit);
}

}  // namespace
}  // namespace tov::testing
