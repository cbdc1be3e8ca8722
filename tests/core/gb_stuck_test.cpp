// Dead-machine detection: HALT with nothing that can wake it and jumps to themselves with
// no interrupt that can come are found; waits that an interrupt can still end are not.
#include <gtest/gtest.h>

#include <initializer_list>
#include <vector>

#include "core/gbtestutil.h"
#include "core/stuck.h"

namespace tov {
namespace {

using testing::tmachine;
using testing::tromimage;

// di; xor a; ldh (IF),a: interrupts off, no request left over from the reset, Z set.
std::vector<uint8_t> quiet(std::initializer_list<uint8_t> rest) {
    std::vector<uint8_t> code = {0xF3, 0xAF, 0xE0, 0x0F};
    code.insert(code.end(), rest);
    return code;
}

tstuck runprogram(const std::vector<uint8_t>& code, tmachine& m) {
    tromimage rom;
    rom.code(0x40, {0xD9});  // VBlank handler: reti
    rom.code(0x150, code);
    m.load(rom);
    for (int i = 0; i < 3; i++) m->runframe();
    return stuckreason(*m);
}

TEST(StuckDetection, ProgramsThatCanNeverContinueAndNearMisses) {
    struct tcase {
        const char* name;
        std::vector<uint8_t> code;
        tstuck want;
    };
    const tcase cases[] = {
        {"di; halt", quiet({0x76}), stuckhalt},
        {"di; jr -2", quiet({0x18, 0xFE}), stuckloop},
        {"jp to its own address", quiet({0xC3, 0x54, 0x01}), stuckloop},
        {"jr z,-2 taken", quiet({0x28, 0xFE}), stuckloop},
        {"jp (hl) to itself", quiet({0x21, 0x57, 0x01, 0xE9}), stuckloop},
        {"jr nz,-2 not taken, then a two-instruction loop", quiet({0x20, 0xFE, 0x18, 0xFC}), stucknone},
        // ld a,1; ldh (IE),a; then halt; xor a; ldh (IF),a; jr back to the halt.
        {"halt with VBlank enabled", quiet({0x3E, 0x01, 0xE0, 0xFF, 0x76, 0xAF, 0xE0, 0x0F, 0x18, 0xFA}),
         stucknone},
        {"halt with VBlank enabled and the LCD off", quiet({0x3E, 0x01, 0xE0, 0xFF, 0xAF, 0xE0, 0x40, 0x76}),
         stuckhaltidle},
        {"halt with only the stopped timer enabled", quiet({0x3E, 0x04, 0xE0, 0xFF, 0x76}), stuckhaltidle},
        {"halt with the running timer enabled",
         quiet({0x3E, 0x04, 0xE0, 0xFF, 0x3E, 0x04, 0xE0, 0x07, 0x76, 0xAF, 0xE0, 0x0F, 0x18, 0xFA}),
         stucknone},
        {"halt with the joypad enabled", quiet({0x3E, 0x10, 0xE0, 0xFF, 0x76}), stucknone},
        {"jr -2 with IME on and VBlank enabled", quiet({0x3E, 0x01, 0xE0, 0xFF, 0xFB, 0x18, 0xFE}), stucknone},
        {"jr -2 with IME on and nothing enabled", {0xFB, 0x18, 0xFE}, stuckloopidle},
    };
    for (const tcase& c : cases) {
        tmachine m;
        EXPECT_EQ(runprogram(c.code, m), c.want) << c.name;
    }
}

TEST(StuckDetection, PendingEnableAndSerialSourcesCount) {
    tmachine m;
    ASSERT_EQ(runprogram(quiet({0x18, 0xFE}), m), stuckloop);
    // jr -2 reached while an EI is pending: interrupts come on before the next slice.
    m->cpu.eipending = 1;
    m->iereg = 0x01;
    EXPECT_EQ(stuckreason(*m), stucknone);
    m->iereg = 0x00;
    EXPECT_EQ(stuckreason(*m), stuckloopidle);
    // An enabled request already waiting is taken at once.
    m->cpu.eipending = 0;
    m->cpu.ime = 1;
    m->iereg = 0x04;
    m->ifreg = 0x04;
    EXPECT_EQ(stuckreason(*m), stucknone);

    tmachine h;
    ASSERT_EQ(runprogram(quiet({0x76}), h), stuckhalt);
    h->iereg = 0x08;  // serial only
    h->sc = 0x81;     // a transfer clocked by this side ends and requests
    EXPECT_EQ(stuckreason(*h), stucknone);
    h->sc = 0x80;     // clocked by a peer that is not there
    EXPECT_EQ(stuckreason(*h), stuckhaltidle);
    h->ifreg = 0x08;  // already requested: HALT ends
    EXPECT_EQ(stuckreason(*h), stucknone);
}

}  // namespace
}  // namespace tov
