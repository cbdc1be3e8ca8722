#include <gtest/gtest.h>

#include <vector>

#include "frontend/input.h"

namespace tov {
namespace {

struct trecorder : tinputtarget {
    bool pad[4][8] = {};
    std::vector<std::tuple<int, int, bool>> sets;
    std::vector<tinputfunction> commands;
    bool ff = false;
    int activity = 0;
    void joypadset(int p, int bit, bool pressed) override {
        pad[p][bit] = pressed;
        sets.emplace_back(p, bit, pressed);
    }
    void fastforward(bool held) override { ff = held; }
    void inputcommand(tinputfunction f) override { commands.push_back(f); }
    void inputactivity() override { activity++; }
};

class InputPolling : public ::testing::Test {
protected:
    void SetUp() override { setdefaults(s); }
    void poll(bool active = true) { in.poll(s, joy, active, out); }
    tsettings s;
    tinputpoller in;
    trecorder out;
    std::array<tjoyinputs, playercount> joy{};
};

TEST_F(InputPolling, KeysPressAndReleaseJoypadBitsOfTheirPlayer) {
    in.keydown(39);  // player 0 right
    in.keydown('3');  // player 1 up
    poll();
    EXPECT_TRUE(out.pad[0][inRight]);
    EXPECT_TRUE(out.pad[1][inUp]);
    EXPECT_EQ(out.activity, 2);
    out.sets.clear();
    poll();
    EXPECT_TRUE(out.sets.empty()) << "unchanged inputs are not sent again";
    in.keyup(39);
    poll();
    EXPECT_FALSE(out.pad[0][inRight]);
    EXPECT_TRUE(out.pad[1][inUp]);
}

TEST_F(InputPolling, TapBetweenTwoPollsCountsAsOnePress) {
    // Pause (Esc) tapped while the loop waits: down and up arrive before the next poll.
    in.keydown(27);
    in.keyup(27);
    poll();
    ASSERT_EQ(out.commands.size(), 1u);
    EXPECT_EQ(out.commands[0], inPause);
    poll();
    EXPECT_EQ(out.commands.size(), 1u) << "the tap ends at the poll after it";
    EXPECT_EQ(out.pad[0][inA], false);
    // A joypad button tapped the same way is pressed for one poll, then released.
    in.keydown(83);
    in.keyup(83);
    poll();
    EXPECT_TRUE(out.pad[0][inA]);
    poll();
    EXPECT_FALSE(out.pad[0][inA]);
    // A key pressed again before the poll that ends a tap stays held.
    in.keydown(83);
    in.keyup(83);
    poll();
    in.keydown(83);
    poll();
    poll();
    EXPECT_TRUE(out.pad[0][inA]);
    in.keyup(83);
    poll();
    EXPECT_FALSE(out.pad[0][inA]) << "a key seen by a poll is released at once";
}

TEST_F(InputPolling, UnassignedCellsNeverPress) {
    in.keydown(255);
    in.keydown(0);
    joy[2] = ~tjoyinputs(0);
    poll();
    for (int p = 0; p < 4; p++)
        for (int b = 0; b < 8; b++) EXPECT_FALSE(out.pad[p][b]) << p << " " << b;
    EXPECT_TRUE(out.commands.empty());
}

TEST_F(InputPolling, CommandsFireOnPressOnlyAndFastForwardFollowsTheKey) {
    in.keydown(115);  // F4 quick load
    in.keydown(107);  // fast forward
    poll();
    poll();
    ASSERT_EQ(out.commands.size(), 1u);
    EXPECT_EQ(out.commands[0], inQuickLoad);
    EXPECT_TRUE(out.ff);
    in.keyup(115);
    in.keyup(107);
    poll();
    EXPECT_EQ(out.commands.size(), 1u);
    EXPECT_FALSE(out.ff);
    in.keydown(27);
    poll();
    ASSERT_EQ(out.commands.size(), 2u);
    EXPECT_EQ(out.commands[1], inPause);
}

TEST_F(InputPolling, RapidFireAlternatesEveryTwoPolls) {
    s.keys[0][inRapidA] = 'Q';
    in.keydown('Q');
    std::vector<bool> seen;
    for (int i = 0; i < 8; i++) {
        poll();
        seen.push_back(out.pad[0][inA]);
    }
    // Poll counter 1..8: bit 1 set for 2,3,6,7.
    EXPECT_EQ(seen, (std::vector<bool>{false, true, true, false, false, true, true, false}));
}

TEST_F(InputPolling, ReleasingRapidFireLeavesTheButtonAsItsOwnKeySays) {
    s.keys[0][inRapidA] = 'Q';
    in.keydown('Q');
    in.keydown('S');  // A itself
    for (int i = 0; i < 4; i++) poll();  // counter 4: rapid phase released
    EXPECT_FALSE(out.pad[0][inA]);
    in.keyup('Q');
    poll();
    EXPECT_TRUE(out.pad[0][inA]);
    in.keyup('S');
    s.keys[0][inRapidB] = 'W';
    in.keydown('W');
    poll();
    poll();  // counter 7: B pressed
    EXPECT_TRUE(out.pad[0][inB]);
    in.keyup('W');
    poll();
    EXPECT_FALSE(out.pad[0][inB]);
}

TEST_F(InputPolling, JoystickCountsOnlyWithFocusUnlessJoyFocusIsOff) {
    joy[0] = tjoyinputs(1) << 9;  // button 2 = A
    poll(false);
    EXPECT_FALSE(out.pad[0][inA]);
    poll(true);
    EXPECT_TRUE(out.pad[0][inA]);
    s.JoyFocus = false;
    joy[1] = tjoyinputs(1) << 1;  // axis X high = right for player 1
    poll(false);
    EXPECT_TRUE(out.pad[1][inRight]);
    EXPECT_TRUE(out.pad[0][inA]);
}

TEST_F(InputPolling, LosingTheFocusReleasesEverything) {
    in.keydown(39);
    in.keydown(107);
    poll();
    in.releaseall(out);
    for (int p = 0; p < 4; p++)
        for (int b = 0; b < 8; b++) EXPECT_FALSE(out.pad[p][b]);
    EXPECT_FALSE(out.ff);
    EXPECT_FALSE(in.keyisdown(39));
    out.sets.clear();
    poll();
    EXPECT_TRUE(out.sets.empty());
}

TEST_F(InputPolling, OutOfRangeKeyEventsAreIgnored) {
    in.keydown(-5);
    in.keydown(256);
    in.keyup(100000);
    EXPECT_FALSE(in.keyisdown(-5));
    poll();
    EXPECT_EQ(out.activity, 0);
}

TEST(JoystickInputs, AxesButtonsAndHat) {
    tjoyreading r;
    EXPECT_EQ(joystickinputs(r), 0u);
    r.x = 0x43FF;
    r.y = 0xBC00;
    r.z = 0x4400;  // not below the threshold
    r.r = 0xBBFF;  // not above
    EXPECT_EQ(joystickinputs(r), tjoyinputs(0b1001));
    r = {};
    r.buttons = 0x80000001u;
    EXPECT_EQ(joystickinputs(r), (tjoyinputs(1) << 8) | (tjoyinputs(1) << 39));
    r = {};
    r.hat = 0;
    EXPECT_EQ(joystickinputs(r), tjoyinputs(1) << 40);
    r.hat = 4500;  // up-right
    EXPECT_EQ(joystickinputs(r), (tjoyinputs(1) << 40) | (tjoyinputs(1) << 41));
    r.hat = 31500;  // up-left
    EXPECT_EQ(joystickinputs(r), (tjoyinputs(1) << 40) | (tjoyinputs(1) << 43));
    r.hat = 18000;
    EXPECT_EQ(joystickinputs(r), tjoyinputs(1) << 42);
}

TEST(JoystickInputs, Names) {
    EXPECT_EQ(joyinputname(0), "axis X low");
    EXPECT_EQ(joyinputname(7), "axis 4 high");
    EXPECT_EQ(joyinputname(8), "button 1");
    EXPECT_EQ(joyinputname(23), "button 16");
    EXPECT_EQ(joyinputname(24), "");
    EXPECT_EQ(joyinputname(255), "");
    EXPECT_STREQ(inputfunctionname(inScreenshot), "save screenshot");
    EXPECT_STREQ(inputfunctionname(99), "");
}

TEST(JoystickPolling, SlowUntilTheFirstChangeThenEveryPoll) {
    int asked = 0;
    tjoyreading answer;
    tjoystickpoller p([&](tjoyreading& r) {
        asked++;
        r = answer;
        return true;
    });
    p.poll(0.0);
    p.poll(0.1);
    p.poll(0.2);
    EXPECT_EQ(asked, 1);
    answer.buttons = 1;
    EXPECT_EQ(p.poll(0.24), 0u) << "between reads the last states are returned";
    EXPECT_EQ(p.poll(0.3), tjoyinputs(1) << 8);
    EXPECT_EQ(asked, 2);
    p.poll(0.31);
    p.poll(0.32);
    EXPECT_EQ(asked, 4);
}

TEST(JoystickPolling, FailedReadsMakeEverythingInactive) {
    bool ok = true;
    tjoystickpoller p([&](tjoyreading& r) {
        r.buttons = 2;
        return ok;
    });
    EXPECT_NE(p.poll(0), 0u);
    ok = false;
    EXPECT_EQ(p.poll(1), 0u);
    tjoystickpoller none(nullptr);
    EXPECT_EQ(none.poll(0), 0u);
}

TEST(JoypadConfiguration, WalksTheSeventeenFunctions) {
    tjoyconfigsequence seq;
    std::array<uint8_t, inputfunctioncount> k{}, j{};
    k.fill(unassigned);
    j.fill(unassigned);
    seq.setinitial(k, j);
    seq.start(2);
    std::array<bool, 256> keys{};
    EXPECT_EQ(seq.prompt(), "press and hold the button for right");
    keys[3] = true;  // codes below 8 never count
    EXPECT_FALSE(seq.update(keys, 0));
    keys['X'] = true;
    EXPECT_TRUE(seq.update(keys, 0));
    EXPECT_EQ(seq.prompt(), "release button");
    EXPECT_FALSE(seq.update(keys, 0));
    keys['X'] = false;
    EXPECT_TRUE(seq.update(keys, 0));
    EXPECT_EQ(seq.function(), 1);
    EXPECT_TRUE(seq.update(keys, tjoyinputs(1) << 12));  // button 5 for "left"
    EXPECT_TRUE(seq.update(keys, 0));
    seq.skip();
    EXPECT_EQ(seq.prompt(), "press and hold the button for down");
    for (int f = 3; f < inputfunctioncount; f++) seq.skip();
    EXPECT_EQ(seq.phase(), tjoyconfigsequence::finished);
    EXPECT_FALSE(seq.cancelled());
    EXPECT_EQ(seq.keycodes()[0], 'X');
    EXPECT_EQ(seq.joycodes()[0], unassigned);
    EXPECT_EQ(seq.joycodes()[1], 12);
    EXPECT_EQ(seq.keycodes()[1], unassigned);
    EXPECT_EQ(seq.keycodes()[2], unassigned);
    EXPECT_EQ(seq.player(), 2);
}

TEST(KeyNames, ReadableNames) {
    EXPECT_EQ(keyname('S'), "S");
    EXPECT_EQ(keyname(115), "F4");
    EXPECT_EQ(keyname(107), "Num +");
    EXPECT_EQ(keyname(39), "Right");
    EXPECT_EQ(keyname(255), "");
}

}  // namespace
}  // namespace tov
