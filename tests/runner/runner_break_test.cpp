// The headless runner with the debugger watching: breakpoints given on the command line and
// misuse checks switched on by their option keys stop the run with the stop message, the
// register view and the code view around PC, and exit status 4; a clean run is unchanged.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <initializer_list>
#include <string>

#include "cart/carttesthelpers.h"
#include "support/runner.h"
#include "support/testrom.h"

namespace tov {
namespace {

using carttest::tscratch;

using trun = testing::trunresult;

trun runbreak(const std::string& options, const std::string& rom) { return testing::runtovrun(options, rom); }

TEST(RunnerBreak, StopsPrintTheViewsAndExitWithFour) {
    tscratch dir;
    // 0x150: ld a,(E000) (echo) ; 0x153: nop ; 0x154: D3 (invalid) ; idle
    testing::tromimage image;
    image.logo().code(0x150, {0xFA, 0x00, 0xE0, 0x00, 0xD3, 0x18, 0xFE});
    std::string rom = dir.write("break.gb", image.finished());
    struct tcase {
        const char* options;
        const char* message;
        const char* pcline;
        const char* codeline;
    } cases[] = {
        {"--frames 60 --break 153", "breakpoint\n", "pc= 0153", "ROM0:0153 00"},
        {"--frames 60 --break 0:0153", "breakpoint\n", "pc= 0153", "ROM0:0153 00"},
        {"--frames 60 --set DebugEcho=1 --set DebugLowercase=0", "accessing echo ram\n", "pc= 0150",
         "ROM0:0150 FA 00 E0         LD A,(E000)"},
        {"--frames 60 --set DebugEcho=0 --set DebugSrcBrk=1", "invalid opcode\n", "pc= 0154", "ROM0:0154 D3"},
        {"--frames 60 --set StartDebug=1", "\n", "pc= 0100", "ROM0:0100 00"},
    };
    for (const auto& c : cases) {
        trun r = runbreak(c.options, rom);
        EXPECT_EQ(r.status, 4) << c.options << "\n" << r.out;
        EXPECT_EQ(r.out.rfind(c.message, 0), 0u) << c.options << "\n" << r.out;
        EXPECT_NE(r.out.find(c.pcline), std::string::npos) << c.options << "\n" << r.out;
        EXPECT_NE(r.out.find(c.codeline), std::string::npos) << c.options << "\n" << r.out;
        // The message, eight register lines and ten code lines.
        size_t lines = 0;
        for (char ch : r.out) lines += ch == '\n';
        EXPECT_EQ(lines, 19u) << c.options << "\n" << r.out;
    }
    // A breakpoint that is never reached leaves the run as it was.
    testing::tromimage idle;
    idle.logo();
    trun clean = runbreak("--frames 10 --break 1:4000 --set DebugEcho=1", dir.write("idle.gb", idle.finished()));
    EXPECT_EQ(clean.status, 3) << clean.out;
    // Misuse of the option itself.
    for (const char* bad : {"--break", "--break xyz", "--break 10000", "--break 1:", "--break 10000:150"})
        EXPECT_EQ(runbreak(std::string("--frames 1 ") + bad, rom).status, 2) << bad;
}

}  // namespace
}  // namespace tov
