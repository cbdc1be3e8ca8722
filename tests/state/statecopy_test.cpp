// A running machine copied into a freshly built one through the field lists (writer, then
// reader over every component) runs on identically: same pictures, same state every frame.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "state/machinestate.h"
#include "statetest.h"

namespace tov {
namespace {

using statetest::trig;

// The first chunk whose data differ, or empty when both lists are the same.
// The chunks whose data differ, or empty when both lists are the same.
std::string differences(const std::vector<tsavedchunk>& a, const std::vector<tsavedchunk>& b) {
    std::string names;
    for (size_t i = 0; i < a.size() && i < b.size(); i++)
        if (a[i].name != b[i].name || a[i].data != b[i].data) names += a[i].name + " ";
    if (a.size() != b.size()) names += "(chunk count)";
    return names;
}

// Offset of the first differing byte of two snapshots, -1 when they are equal.
long mismatch(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    if (a.size() != b.size()) return long(std::min(a.size(), b.size()));
    for (size_t i = 0; i < a.size(); i++)
        if (a[i] != b[i]) return long(i);
    return -1;
}

bool samepicture(const tbitmap& a, const tbitmap& b) {
    if (a.width != b.width || a.height != b.height) return false;
    for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++)
            if (a.pixel(x, y) != b.pixel(x, y)) return false;
    return true;
}

// Runs `before` frames, copies the machine into a fresh one, then runs both `after`
// frames, comparing picture and state every frame.
void copyandcompare(int systemmode, int cartmode, const std::vector<uint8_t>& rom, int before, int after,
                    int minchanges) {
    trig source(systemmode, cartmode);
    ASSERT_TRUE(source.load(rom));
    for (int i = 0; i < before; i++) source.frame();

    trig copy(systemmode, cartmode);
    ASSERT_TRUE(copy.load(rom));
    copy.frame();  // a different moment, so nothing matches by accident
    loadmachinestate(*copy.gb, savemachinestate(*source.gb));
    ASSERT_EQ(differences(savemachinestate(*source.gb), savemachinestate(*copy.gb)), "");
    ASSERT_EQ(mismatch(statetest::snapshot(*source.gb), statetest::snapshot(*copy.gb)), -1);

    int changes = 0;
    std::vector<uint8_t> last;
    for (int i = 0; i < after; i++) {
        source.frame();
        copy.frame();
        SCOPED_TRACE("frame " + std::to_string(i) + " after the copy");
        ASSERT_EQ(differences(savemachinestate(*source.gb), savemachinestate(*copy.gb)), "");
        ASSERT_EQ(mismatch(statetest::snapshot(*source.gb), statetest::snapshot(*copy.gb)), -1);
        ASSERT_TRUE(samepicture(source.screen, copy.screen));
        if (source.screen.pixels != last) changes++;
        last = source.screen.pixels;
    }
    // The comparison means something only while the program is busy drawing.
    EXPECT_GE(changes, minchanges);
}

struct tcopycase {
    const char* name;
    int systemmode;
    int cartmode;
    uint8_t carttype;
    bool colour, sgb;
};

class StateCopy : public ::testing::TestWithParam<tcopycase> {};

TEST_P(StateCopy, CopiedMachineRunsOnIdentically) {
    const tcopycase& c = GetParam();
    auto rom = statetest::busyrom(c.carttype, c.colour, c.sgb);
    {
        trig probe(c.systemmode, c.cartmode);
        ASSERT_TRUE(probe.load(rom));
        ASSERT_EQ(probe.gb->gbcmode, c.colour);
        ASSERT_EQ(probe.gb->sgbmode, c.sgb);
    }
    // Copy points at different frames catch state that is only visible at some of them.
    for (int before : {37, 100}) {
        SCOPED_TRACE("copied after " + std::to_string(before) + " frames");
        copyandcompare(c.systemmode, c.cartmode, rom, before, 130, 100);
    }
}

INSTANTIATE_TEST_SUITE_P(Modes, StateCopy,
                         ::testing::Values(tcopycase{"DmgMbc1", 0, 0, statetest::cartmbc1, false, false},
                                           tcopycase{"DmgGeneric", 0, 1, statetest::cartmbc1, false, false},
                                           tcopycase{"DmgMbc3Clock", 0, 0, statetest::cartmbc3, false, false},
                                           tcopycase{"GbcMbc5", 1, 0, statetest::cartmbc5, true, false},
                                           tcopycase{"GbcMbc3Clock", 1, 0, statetest::cartmbc3, true, false},
                                           tcopycase{"SgbMbc3Clock", 2, 0, statetest::cartmbc3, false, true},
                                           tcopycase{"SgbMbc1", 2, 0, statetest::cartmbc1, false, true}),
                         [](const auto& info) { return std::string(info.param.name); });

class StateCopyCpuInstrs : public ::testing::TestWithParam<int> {};

TEST_P(StateCopyCpuInstrs, CopiedMachineRunsOnIdentically) {
    const std::string path = std::string(TOV_TESTROMS) + "/blargg/cpu_instrs/cpu_instrs.gb";
    auto rom = statetest::readfile(path);
    if (rom.empty()) GTEST_SKIP() << "test ROM not found: " << path;
    copyandcompare(GetParam(), 0, rom, 300, 300, 3);
}

INSTANTIATE_TEST_SUITE_P(Modes, StateCopyCpuInstrs, ::testing::Values(0, 1),
                         [](const auto& info) { return info.param ? std::string("Gbc") : std::string("Dmg"); });

}  // namespace
}  // namespace tov
