// The cheat searcher on running machines: the start's candidate set, every comparison
// against the previous values and a constant, 16-bit words, the display and finding a
// game's counter in a few steps.
#include <gtest/gtest.h>

#include <algorithm>

#include "cheats/cheatsearch.h"
#include "core/gbinspect.h"
#include "core/gbtestutil.h"

namespace tov {
namespace {

using testing::tmachine;
using testing::tromimage;

bool has(const tcheatsearch& s, uint16_t address) {
    const std::vector<uint16_t> c = s.candidates();
    return std::find(c.begin(), c.end(), address) != c.end();
}

TEST(CheatSearch, StartTakesEveryAddressButTheEchoArea) {
    tmachine m;
    tcheatsearch s(*m);
    s.search(tcheatsearch::equal, false, false, 0);  // before any start: nothing
    EXPECT_EQ(s.count(), 0);
    EXPECT_EQ(s.label(), "known: 0");
    EXPECT_EQ(s.memo(), "");
    s.start(false);
    EXPECT_EQ(s.label(), "known: 16896");
    EXPECT_FALSE(has(s, 0xE000));
    EXPECT_FALSE(has(s, 0xFDFF));
    EXPECT_TRUE(has(s, 0xDFFF));
    EXPECT_TRUE(has(s, 0xFE00));
    EXPECT_TRUE(has(s, 0xFFFF));
    s.start(true);
    EXPECT_EQ(s.label(), "known: 16895");
    EXPECT_FALSE(has(s, 0xFFFF));
}

// Every comparison kind, against the previous value and a constant, on a byte the test sets:
// 10 at the start, then 9, 10 or 11.
TEST(CheatSearch, EveryComparisonKeepsWhatItSays) {
    struct tcase {
        tcheatsearch::tcomparison k;
        bool negate;
        bool keep[3];  // new value 9, 10, 11
    } cases[] = {
        {tcheatsearch::equal, false, {false, true, false}}, {tcheatsearch::above, false, {false, false, true}},
        {tcheatsearch::below, false, {true, false, false}}, {tcheatsearch::equal, true, {true, false, true}},
        {tcheatsearch::above, true, {true, true, false}},   {tcheatsearch::below, true, {false, true, true}},
    };
    tmachine m;
    tgbinspect inspect(*m);
    for (const tcase& c : cases) {
        for (int n = 0; n < 3; n++) {
            for (bool constant : {false, true}) {
                tcheatsearch s(*m);
                inspect.poke(0xC010, 10);
                s.start(false);
                inspect.poke(0xC010, uint8_t(9 + n));
                s.search(c.k, c.negate, constant, 10);
                EXPECT_EQ(has(s, 0xC010), c.keep[n])
                    << "kind " << int(c.k) << (c.negate ? " not" : "") << " new " << 9 + n << (constant ? " const" : "");
            }
        }
    }
}

TEST(CheatSearch, NotEqualToPreviousKeepsExactlyTheChangedBytes) {
    tmachine m;
    tgbinspect inspect(*m);
    tcheatsearch s(*m);
    s.start(false);
    inspect.poke(0xC100, 1);
    inspect.poke(0xD234, 2);
    inspect.poke(0xFF90, 3);
    s.search(tcheatsearch::equal, true, false, 0);
    EXPECT_EQ(s.candidates(), (std::vector<uint16_t>{0xC100, 0xD234, 0xFF90}));
    EXPECT_EQ(s.memo(), "C100=01 D234=02 FF90=03 ");
    EXPECT_EQ(s.label(), "known: 3");
    // Nothing changes: "not equal" again leaves none.
    s.search(tcheatsearch::equal, true, false, 0);
    EXPECT_EQ(s.label(), "known: 0");
    EXPECT_EQ(s.memo(), "");
}

TEST(CheatSearch, SixteenBitModeComparesLittleEndianWordsAndShowsBytes) {
    tmachine m;
    tgbinspect inspect(*m);
    tcheatsearch s(*m);
    inspect.poke(0xC200, 0xFF);
    inspect.poke(0xC201, 0x00);
    s.start(true);
    inspect.poke(0xC200, 0x00);  // 0x00FF -> 0x0100: the word grew, its low byte fell
    inspect.poke(0xC201, 0x01);
    s.search(tcheatsearch::above, false, false, 0);
    EXPECT_TRUE(has(s, 0xC200));
    EXPECT_NE(s.memo().find("C200=00 "), std::string::npos);
    s.start(true);
    s.search(tcheatsearch::equal, false, true, tcheatsearch::parseconstant("100"));
    EXPECT_TRUE(has(s, 0xC200));
    for (uint16_t a : s.candidates())  // every word kept starts at its address
        EXPECT_EQ(inspect.peek(a) | inspect.peek(uint16_t(a + 1)) << 8, 0x100) << std::hex << a;
    // 8-bit: the same byte went down.
    inspect.poke(0xC200, 0xFF);
    inspect.poke(0xC201, 0x00);
    s.start(false);
    inspect.poke(0xC200, 0x00);
    s.search(tcheatsearch::above, false, false, 0);
    EXPECT_FALSE(has(s, 0xC200));
}

TEST(CheatSearch, ConstantIsHexAndMalformedCountsAsZero) {
    EXPECT_EQ(tcheatsearch::parseconstant("1f"), 0x1F);
    EXPECT_EQ(tcheatsearch::parseconstant(""), 0);
    EXPECT_EQ(tcheatsearch::parseconstant("12g"), 0);
    EXPECT_EQ(tcheatsearch::parseconstant("FFFFFFFFFFFF"), 0);
}

TEST(CheatSearch, FindsARunningGamesCounterInAFewSteps) {
    // The game counts a byte at 0xC123 up once per frame.
    tromimage r;
    r.code(0x150, {0x21, 0x23, 0xC1, 0xF0, 0x44, 0xFE, 0x90, 0x20, 0xFA, 0x34, 0xF0, 0x44, 0xFE, 0x90, 0x28,
                   0xFA, 0x18, 0xF1});
    tmachine m(r);
    m.session->runframe(false);
    tcheatsearch s(*m);
    s.start(false);
    for (int step = 0; step < 4; step++) {
        m.session->runframe(false);
        s.search(tcheatsearch::above, false, false, 0);
    }
    // A step without a frame: still equal.
    s.search(tcheatsearch::equal, false, false, 0);
    EXPECT_TRUE(has(s, 0xC123));
    EXPECT_LE(s.count(), 3) << s.memo();
}

}  // namespace
}  // namespace tov
