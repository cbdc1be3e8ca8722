// --press holds controller 1's buttons for a number of frames, so that a program waiting
// for input runs headless; bad press texts are refused before the run.
#include <gtest/gtest.h>

#include <string>

#include "cart/carttesthelpers.h"
#include "frontend/presses.h"
#include "support/runner.h"
#include "support/testrom.h"

namespace tov {
namespace {

// Waits until A and Start are both held, then until both are released, then reports a
// pass through the `ld b,b` register signature.
std::string writewaitingrom(const carttest::tscratch& dir) {
    testing::tromimage rom;
    rom.logo().code(0x150, {0x3E, 0x10, 0xE0, 0x00,              // ld a,0x10 ; ldh (P1),a: the action buttons
                            0xF0, 0x00, 0xE6, 0x09, 0x20, 0xFA,  // wait: A and Start low
                            0xF0, 0x00, 0xE6, 0x09, 0xFE, 0x09, 0x20, 0xF8,  // wait: both high again
                            0x06, 0x03, 0x0E, 0x05, 0x16, 0x08, 0x1E, 0x0D, 0x26, 0x15, 0x2E, 0x22,
                            0x40, 0x18, 0xFE});
    return dir.write("press.gb", rom.finished());
}

TEST(RunnerPress, HeldButtonsReachTheProgramForTheirFrames) {
    carttest::tscratch dir;
    std::string rom = writewaitingrom(dir);
    struct tcase {
        const char* options;
        int status;
    };
    const tcase cases[] = {
        {"--press 2:a+start:3", 0},
        {"--press 2:A,Start", 0},                 // five frames by default, names in any case
        {"--press 2:a --press 4:start:4", 0},     // repeated presses overlap at frames 4-6
        {"--press 2:a", 3},                       // Start never comes
        {"--press 2:a+start:100000", 3},          // never released
        {"", 3},
        {"--press x:a", 2},
        {"--press 2:jump", 2},
        {"--press 2:a:0", 2},
        {"--press 2", 2},
    };
    for (const tcase& c : cases) {
        testing::trunresult r = testing::runtovrun(std::string("--until-done --frames 60 ") + c.options, rom);
        EXPECT_EQ(r.status, c.status) << c.options << ": " << r.out;
    }
}

TEST(RunnerPress, PressesCoverTheirFramesOnly) {
    tpress a, b;
    std::string error;
    ASSERT_TRUE(parsepress("10:up+b:2", a, error));
    ASSERT_TRUE(parsepress("11:right", b, error));
    std::vector<tpress> presses{a, b};
    const uint8_t expect[] = {0x00, 0x24, 0x25, 0x01, 0x01, 0x01, 0x01, 0x00};  // frames 9-16
    for (int i = 0; i < 8; i++) EXPECT_EQ(pressedbuttons(presses, 9 + i), expect[i]) << "frame " << 9 + i;
    EXPECT_FALSE(parsepress("5:a+", a, error));
    EXPECT_FALSE(parsepress("-1:a", a, error));
}

}  // namespace
}  // namespace tov
