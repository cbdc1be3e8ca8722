// The headless runner ends a run as soon as the program can never continue, names why and
// where, and counts it as failed only when a verdict was wanted; a verdict still wins.
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

trun runrunner(const std::string& options, const std::string& rom) { return testing::runtovrun(options, rom); }

std::string writerom(const tscratch& dir, const std::string& name, std::initializer_list<uint8_t> code) {
    testing::tromimage rom;
    rom.logo().code(0x150, code);
    return dir.write(name, rom.finished());
}

TEST(RunnerStuck, EndsAtOnceAndReportsWhyAndWhere) {
    tscratch dir;
    struct tcase {
        const char* name;
        std::initializer_list<uint8_t> code;
        std::string line;
    };
    const tcase cases[] = {
        {"halt.gb", {0xF3, 0x76},  // di; halt
         "stopped: the program can never continue (HALT with no interrupt enabled) at PC 0152 after 1 frames\n"},
        {"loop.gb", {0xF3, 0x18, 0xFE},  // di; jr -2
         "stopped: the program can never continue (jump to itself with interrupts off) at PC 0151 after 1 frames\n"},
    };
    for (const tcase& c : cases) {
        std::string rom = writerom(dir, c.name, c.code);
        trun plain = runrunner("--frames 600", rom);
        EXPECT_NE(plain.out.find(c.line + "result: none\n"), std::string::npos) << c.name << ": " << plain.out;
        EXPECT_EQ(plain.status, 3) << c.name;  // no verdict asked for: as before
        trun untildone = runrunner("--until-done --frames 600", rom);
        EXPECT_NE(untildone.out.find(c.line + "result: failed\n"), std::string::npos) << c.name << ": " << untildone.out;
        EXPECT_EQ(untildone.status, 1) << c.name;
        // A benchmark runs all its frames.
        trun bench = runrunner("--benchmark --frames 30", rom);
        EXPECT_NE(bench.out.find("frames: 30 "), std::string::npos) << c.name << ": " << bench.out;
        EXPECT_EQ(bench.out.find("stopped:"), std::string::npos) << c.name;
    }
}

TEST(RunnerStuck, AVerdictInTheSameFrameWins) {
    tscratch dir;
    // The `ld b,b` pass signature (B..L = 3, 5, 8, 13, 21, 34), then di; halt.
    std::string rom = writerom(dir, "pass.gb", {0x06, 0x03, 0x0E, 0x05, 0x16, 0x08, 0x1E, 0x0D, 0x26, 0x15,
                                                0x2E, 0x22, 0x40, 0xF3, 0x76});
    trun r = runrunner("--until-done --frames 600", rom);
    EXPECT_EQ(r.out.find("stopped:"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("result: passed\n"), std::string::npos) << r.out;
    EXPECT_EQ(r.status, 0);
}

}  // namespace
}  // namespace tov
