// Battery and clock files survive a save that never finishes: a process killed in the
// middle of writing, or a disk that refuses the rest of the file. The old file stays whole
// and the failure reaches whoever listens on the cartridge.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>

#include "cart/mbc125.h"
#include "cart/mbc3.h"
#include "carttesthelpers.h"

namespace tov {
namespace {

using carttest::makerom;
using carttest::tscratch;

constexpr int32_t ramsize = 32 * 1024;

// An MBC1 cartridge with all four RAM banks in use, so that every save writes 32 KiB.
std::unique_ptr<tcartmbc1> fullcart(const tscratch& dir, carttest::tbus& bus, const tcartoptions& o) {
    auto c = std::make_unique<tcartmbc1>(makerom(64 * 1024, 0x03), ramsize, true, &o);
    bus.attach(*c);
    c->setfilename(dir.file("game"));
    c->loadsram();
    c->noteramused(3);
    return c;
}

// A complete save of fullcart holds one byte value throughout (the saves below fill the
// RAM with one value each, and consecutive saves differ).
bool completesave(const std::vector<uint8_t>& bytes) {
    if (bytes.size() != size_t(ramsize)) return false;
    for (uint8_t b : bytes)
        if (b != bytes[0]) return false;
    return true;
}

TEST(BatterySafety, KilledMidSaveLeavesACompleteSave) {
    tscratch dir;
    carttest::tbus bus;
    tcartoptions o = carttest::accuratesettings();
    // The kills are spread over 8 ms or a few saves' time, whichever is longer: where a save
    // is slow (a disk that syncs slowly, the sanitizer) kills within 8 ms alone would all fall
    // inside the first save and none between completed ones.
    double savetime = 1;  // the quickest of three saves, in seconds
    {
        auto c = fullcart(dir, bus, o);
        for (int i = 0; i < 3; i++) {
            std::memset(c->sram, 0, size_t(ramsize));
            const auto start = std::chrono::steady_clock::now();
            c->savesram();
            savetime = std::min(savetime, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        }
    }
    const auto spread = std::max<useconds_t>(8000, useconds_t(savetime * 3e6));
    std::printf("quickest save %.0f us, kills within %u us of the start\n", savetime * 1e6, unsigned(spread));
    std::mt19937 random(1234);
    int changed = 0, inside = 0;
    uint8_t last = 0;
    for (int round = 0; round < 200; round++) {
        int ready[2];
        ASSERT_EQ(pipe(ready), 0);
        pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // Saves for ever, each time with the next value, until killed. The kill moment
            // counts from the first save, so that a slow start-up cannot swallow it.
            auto c = fullcart(dir, bus, o);
            char go = 1;
            if (write(ready[1], &go, 1) != 1) _exit(2);
            for (uint8_t v = uint8_t(dir.read("game.sav").at(0) + 1);; v++) {
                std::memset(c->sram, v, size_t(ramsize));
                c->savesram();
            }
        }
        close(ready[1]);
        char go = 0;
        ASSERT_EQ(read(ready[0], &go, 1), 1);
        close(ready[0]);
        usleep(useconds_t(random() % spread));
        kill(child, SIGKILL);
        int status = 0;
        waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status));
        std::vector<uint8_t> bytes = dir.read("game.sav");
        ASSERT_TRUE(completesave(bytes)) << "round " << round << ": " << bytes.size() << " bytes";
        if (bytes[0] != last) changed++;
        // A new file left beside the old one: the kill fell inside a save.
        if (dir.exists("game.sav.tmp")) inside++;
        std::remove(dir.file("game.sav.tmp").c_str());
        last = bytes[0];
    }
    // The kills must have fallen inside saves, and saves must have completed, to prove anything.
    EXPECT_GT(changed, 0);
    EXPECT_GT(inside, 0);
    std::printf("saves completed between kills: %d, kills inside a save: %d\n", changed, inside);
}

struct tfailcase {
    const char* name;
    rlim_t limit;           // largest file the child may write
    bool savfails, rtcfails;
};

class FailedWrite : public ::testing::TestWithParam<tfailcase> {};

// The child saves under a file size limit; the write stops with EFBIG where the limit is.
TEST_P(FailedWrite, KeepsTheOldFileAndReportsIt) {
    const tfailcase& t = GetParam();
    tscratch dir;
    const std::vector<uint8_t> oldsav(8192, 0x5A), oldrtc(12, 0xA5);
    dir.write("clock.sav", oldsav);
    dir.write("clock.rtc", oldrtc);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        signal(SIGXFSZ, SIG_IGN);
        rlimit r{t.limit, t.limit};
        setrlimit(RLIMIT_FSIZE, &r);
        tcartoptions o = carttest::accuratesettings();
        carttest::tbus bus;
        tcartmbc3timer c(makerom(64 * 1024, 0x10), 8192, true, &o);
        bus.attach(c);
        c.setfilename(dir.file("clock"));
        c.loadsram();
        std::memset(c.sram, 0x11, 8192);
        int reported = 0;  // bit 0: ".sav", bit 1: ".rtc"
        c.onsavefailed = [&](const std::string& path) {
            if (path == dir.file("clock.sav")) reported |= 1;
            if (path == dir.file("clock.rtc")) reported |= 2;
        };
        c.savesram();
        _exit(reported);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), (t.savfails ? 1 : 0) | (t.rtcfails ? 2 : 0));
    EXPECT_EQ(dir.read("clock.sav") == oldsav, t.savfails);
    EXPECT_EQ(dir.read("clock.rtc") == oldrtc, t.rtcfails);
    EXPECT_EQ(dir.read("clock.rtc").size(), 12u);
    EXPECT_FALSE(dir.exists("clock.sav.tmp"));
    EXPECT_FALSE(dir.exists("clock.rtc.tmp"));
}

INSTANTIATE_TEST_SUITE_P(Limits, FailedWrite,
                         ::testing::Values(tfailcase{"nothing", 0, true, true},
                                           tfailcase{"clockonly", 12, true, false},
                                           tfailcase{"midram", 4096, true, false},
                                           tfailcase{"room", 8192, false, false}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace tov
