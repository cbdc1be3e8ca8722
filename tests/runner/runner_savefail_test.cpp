// The headless runner writes the battery file at the end of a run, as the desktop program does
// on closing, and says so when it cannot: a lost save is never silent.
#include <gtest/gtest.h>

#include <string>

#include "cart/carttesthelpers.h"
#include "support/runner.h"
#include "support/testrom.h"

namespace tov {
namespace {

using carttest::tscratch;

TEST(RunnerBatteryFailure, WrittenAtTheEndOrTheFailureTold) {
    tscratch dir;
    testing::tromimage rom;
    // MBC1 with RAM and battery, 8 KiB; the program enables the RAM, stores 0x5A at 0xA000
    // and waits.
    rom.logo().type(0x03).ramsizecode(0x02).code(0x150, {0x3E, 0x0A, 0xEA, 0x00, 0x00,  // ld a,0a; ld (0000),a
                                                        0x3E, 0x5A, 0xEA, 0x00, 0xA0,  // ld a,5a; ld (a000),a
                                                        0x18, 0xFE});                  // jr -2
    const std::string path = dir.write("game.gb", rom.finished());

    testing::trunresult ok = testing::runtovrun("--frames 5", path, true);
    EXPECT_EQ(ok.status, 3) << ok.out;
    EXPECT_EQ(ok.out.find("error while saving"), std::string::npos) << ok.out;
    const std::vector<uint8_t> sav = dir.read("game.sav");
    ASSERT_FALSE(sav.empty());
    EXPECT_EQ(sav[0], 0x5A);

    const std::string missing = dir.file("no/such/folder");
    testing::trunresult lost = testing::runtovrun("--frames 5 --set SaveRamDir=" + missing, path, true);
    EXPECT_NE(lost.out.find("tov-run: error while saving " + missing), std::string::npos) << lost.out;
}

}  // namespace
}  // namespace tov
