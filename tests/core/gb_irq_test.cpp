// Interrupt lines and the halted flag.
#include "gbtestutil.h"

namespace tov::testing {
namespace {

TEST(GbIrqLines, OnlyANewlySetEnabledRequestClearsHalted) {
    tmachine m;
    m->iereg = 0x04;
    m->ifreg = 0x04;  // timer request already pending
    m->cpu.halted = 1;
    m->setirqlines(4, 4);  // a second rising edge of the same line
    m->setirqlines(0, 4);
    EXPECT_EQ(m->cpu.halted, 1) << "an already pending request must not wake the CPU";
    m->setirqlines(1, 1);  // VBlank: newly set but not enabled
    EXPECT_EQ(m->cpu.halted, 1);
    m->iereg = 0x05;
    m->ifreg = 0x04;
    m->setirqlines(0, 1);
    m->setirqlines(1, 1);  // newly set and enabled
    EXPECT_EQ(m->cpu.halted, 0);
    EXPECT_EQ(m->ifreg & 0x05, 0x05);
}

}  // namespace
}  // namespace tov::testing
