// The pause of the frame loop: every way out of it plays the sound again.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "frontend/pausecontrol.h"

namespace tov {
namespace {

class Pause : public ::testing::Test {
protected:
    bool paused = false, running = true, quitting = false;
    tpausecontrol control{paused, running, quitting};
    int starts = 0, stops = 0, captions = 0;
    void SetUp() override {
        control.startsound = [this] { starts++; };
        control.stopsound = [this] { stops++; };
        control.updatecaption = [this] { captions++; };
    }
};

TEST_F(Pause, PausingStopsTheSound) {
    control.toggle();
    EXPECT_TRUE(paused);
    EXPECT_EQ(stops, 1);
    EXPECT_EQ(captions, 1);
    control.pause();  // already paused: nothing more
    EXPECT_EQ(stops, 1);
}

// The pause command, regaining the focus (both `mnupause`), and a ROM load, the demo
// cartridge or a full reset made while paused (all afterreset) leave the pause with the
// sound playing again.
TEST_F(Pause, EveryWayOutRestartsTheSound) {
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"pause command", [this] { control.toggle(); }},
        {"ROM load, demo cartridge or reset", [this] { EXPECT_FALSE(control.afterreset()); }},
        {"resume", [this] { control.resume(); }},
    };
    for (auto& [name, way] : ways) {
        control.pause();
        ASSERT_TRUE(paused) << name;
        int before = starts, shown = captions;
        way();
        EXPECT_FALSE(paused) << name;
        EXPECT_EQ(starts, before + 1) << name;
        EXPECT_EQ(captions, shown + 1) << name;
    }
    // A reset while playing keeps playing: no second start of the sound.
    int before = starts;
    EXPECT_FALSE(control.afterreset());
    EXPECT_EQ(starts, before);
}

TEST_F(Pause, QuittingOrNotRunningStartsNoSound) {
    control.pause();
    quitting = true;
    control.resume();
    EXPECT_FALSE(paused);
    EXPECT_EQ(starts, 0);

    // Before the loop runs there is no pause; a reset asks the start timer for the loop.
    quitting = false;
    running = false;
    control.toggle();
    EXPECT_FALSE(paused);
    EXPECT_EQ(stops, 1);
    EXPECT_TRUE(control.afterreset());
    EXPECT_EQ(starts, 0);
}

}  // namespace
}  // namespace tov
