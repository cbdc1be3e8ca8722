// Whatever a program does, the machine neither crashes, overruns nor stops advancing time.
#include <gtest/gtest.h>

#include <random>

#include "core/gbtestutil.h"

namespace tov {
namespace {

using testing::tmachine;
using testing::tromimage;

TEST(GbRobust, RandomProgramsKeepRunning) {
    std::mt19937 rng(12345);
    for (int trial = 0; trial < 12; trial++) {
        tromimage rom;
        for (int i = 0x150; i < 0x8000; i++) rom.bytes[i] = uint8_t(rng());
        rom.bytes[0x143] = uint8_t(rng());
        rom.sgbcapable(trial & 1);
        tmachine m(rom, trial % 7);
        uint32_t start = m->currenttime();
        int64_t total = 0;
        for (int f = 0; f < 8; f++) total += m->runframe();
        EXPECT_GE(total, 8 * 30000) << "trial " << trial;
        EXPECT_EQ(uint32_t(m->currenttime() - start) & 0x7FFFFFFF, uint32_t(total) & 0x7FFFFFFF);
    }
}

TEST(GbRobust, AnyIoWriteIsSafe) {
    std::mt19937 rng(777);
    for (int mode : {0, 1, 2}) {
        tmachine m(tromimage().colour(0x80).sgbcapable(), mode);
        for (int round = 0; round < 4; round++) {
            for (int a = 0xFF00; a <= 0xFFFF; a++) {
                if (a == 0xFF46 && round == 0) continue;
                m->writebyte(uint16_t(a), uint8_t(rng()));
                (void)m->readbyte(uint16_t(a));
            }
            for (int a = 0xFE00; a < 0xFF00; a++) m->writebyte(uint16_t(a), uint8_t(rng()));
            m->runframe();
        }
    }
}

TEST(GbRobust, InvalidOpcodeWithoutDebuggerStillAdvancesTime) {
    tromimage rom;
    rom.code(0x150, {0xD3});
    tmachine m(rom);
    int32_t units = m->runframe();
    EXPECT_GT(units, 30000);
    EXPECT_EQ(m->cpu.PC, 0x0150);
    EXPECT_GT(m->illegalcount, 0u);
    EXPECT_TRUE(m->debugstepping);
}

TEST(GbRobust, InterruptPushOverwritingIeEndsAtZero) {
    // SP = 0x0000: the dispatch pushes PC's high byte into IE (0xFFFF).
    // ld sp,0x0000 ; ld a,0x04 ; ldh (0xFF),a ; ldh (0x0F),a ; ei ; nop ; jr -2
    tromimage rom;
    rom.code(0x150, {0x31, 0x00, 0x00, 0x3E, 0x04, 0xE0, 0xFF, 0xE0, 0x0F, 0xFB, 0x00, 0x18, 0xFE});
    rom.code(0x0000, {0x18, 0xFE});  // jr -2 at 0x0000
    tmachine m(rom);
    m->runframe();
    // High byte 0x01 of the return address lands in IE: the timer bit is gone.
    EXPECT_EQ(m->readbyte(0xFFFF), 0x01);
    EXPECT_EQ(m->cpu.PC, 0x0000);
    EXPECT_EQ(m->ifreg & 0x04, 0x04);
}

}  // namespace
}  // namespace tov
