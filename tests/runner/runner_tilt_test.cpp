// The headless runner's --tilt holds an MBC7 cartridge's sensor where it is told.
#include <gtest/gtest.h>

#include "cart/carttesthelpers.h"
#include "support/runner.h"
#include "support/testrom.h"

namespace tov {
namespace {

TEST(RunnerTilt, TheProgramReadsTheGivenPosition) {
    carttest::tscratch dir;
    // Passes (the `ld b,b` signature) when X reads 0x08FF and Y 0x0700, fully left and
    // down; otherwise stops in a jump to itself, which --until-done counts as failed.
    testing::tromimage rom;
    rom.logo().type(0x22).code(0x150, {0xFA, 0x20, 0xA0, 0xFE, 0xFF, 0x20, 0x24,   // X low
                                       0xFA, 0x30, 0xA0, 0xFE, 0x08, 0x20, 0x1D,   // X high
                                       0xFA, 0x40, 0xA0, 0xFE, 0x00, 0x20, 0x16,   // Y low
                                       0xFA, 0x50, 0xA0, 0xFE, 0x07, 0x20, 0x0F,   // Y high
                                       0x06, 0x03, 0x0E, 0x05, 0x16, 0x08, 0x1E, 0x0D, 0x26, 0x15,
                                       0x2E, 0x22, 0x40, 0xF3, 0x76,
                                       0xF3, 0x18, 0xFE});  // fail: di; jr -2
    const std::string path = dir.write("tilt.gb", rom.finished());
    struct tcase {
        const char* options;
        int status;
    };
    for (tcase c : {tcase{"--until-done --frames 60 --tilt 0,511", 0},
                    tcase{"--until-done --frames 60", 1},              // level: 0x0800
                    tcase{"--until-done --frames 60 --tilt 511,0", 1},
                    tcase{"--frames 1 --tilt 512,0", 2}, tcase{"--frames 1 --tilt 5", 2},
                    tcase{"--frames 1 --tilt 5,5x", 2}}) {
        testing::trunresult r = testing::runtovrun(c.options, path);
        EXPECT_EQ(r.status, c.status) << c.options << ": " << r.out;
    }
}

}  // namespace
}  // namespace tov
