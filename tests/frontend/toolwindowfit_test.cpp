// Tool windows (viewers, cheat windows) in a main window that shrinks and grows, and beside the
// debugger window's menu bar.
#include <gtest/gtest.h>

#include "frontend/windowlogic.h"

namespace tov {
namespace {

TEST(toolwindowfit, keepsoffthedebuggersmenubar) {
    const twinrect bar{0, 0, 1280, 38};  // the debugger's title and menu bar, full screen
    struct tcase {
        twinrect r;
        twinsize area;
        twinrect keepout;
        twinrect want;
    };
    const tcase cases[] = {
        {{60, 10, 640, 460}, {1280, 960}, bar, {60, 38, 640, 460}},      // over the menus: below them
        {{60, 100, 640, 460}, {1280, 960}, bar, {60, 100, 640, 460}},    // clear of them: untouched
        {{60, 0, 640, 960}, {1280, 960}, bar, {60, 38, 640, 922}},       // full height: shorter
        {{60, 10, 640, 460}, {1280, 960}, {}, {60, 10, 640, 460}},       // no debugger: nothing kept off
        {{900, 10, 300, 200}, {1280, 960}, {0, 0, 800, 38}, {900, 10, 300, 200}},  // beside a narrower bar
        // The debugger moved low: a window over its bar goes above it where that has the room.
        {{60, 700, 640, 200}, {1280, 960}, {0, 800, 1280, 38}, {60, 600, 640, 200}},
        {{60, 10, 100, 100}, {160, 30}, bar, {60, 0, 100, 30}},  // no room beside the bar: inside only
    };
    for (const tcase& c : cases) EXPECT_EQ(fitwindow(c.r, c.area, c.keepout), c.want);
}

TEST(toolwindowfit, comesbacktoitsownsizewhentheroomcomesback) {
    ttoolwindowfit f;
    const twinrect natural{30, 30, 470, 330};
    EXPECT_EQ(f.fit(natural, {1280, 960}, {}, false), natural);
    // 1x: the whole small window; the library's own moves of the shrunk window change nothing.
    EXPECT_EQ(f.fit(natural, {160, 144}, {}, false), (twinrect{0, 0, 160, 144}));
    EXPECT_EQ(f.fit({5, 3, 160, 144}, {160, 144}, {}, false), (twinrect{0, 0, 160, 144}));
    // 2x, then full screen with the debugger's bar: the natural size back, below the bar.
    EXPECT_EQ(f.fit({0, 0, 160, 144}, {320, 288}, {}, false), (twinrect{0, 0, 320, 288}));
    EXPECT_EQ(f.fit({0, 0, 320, 288}, {1280, 960}, {0, 0, 1280, 38}, false), (twinrect{30, 38, 470, 330}));
    EXPECT_EQ(f.fit({30, 38, 470, 330}, {1280, 960}, {}, false), natural);
    // The user's size and place are the ones kept from then on, also through a shrink.
    const twinrect chosen{200, 150, 600, 500};
    EXPECT_EQ(f.fit(chosen, {1280, 960}, {}, true), chosen);
    EXPECT_EQ(f.fit(chosen, {320, 288}, {}, false), (twinrect{0, 0, 320, 288}));
    // Moved while shrunk: the new place counts, the size of before stays.
    EXPECT_EQ(f.fit({0, 0, 320, 288}, {320, 288}, {}, false), (twinrect{0, 0, 320, 288}));
    EXPECT_EQ(f.fit({10, 0, 320, 288}, {320, 288}, {}, true), (twinrect{0, 0, 320, 288}));
    EXPECT_EQ(f.fit({0, 0, 320, 288}, {1280, 960}, {}, false), (twinrect{10, 0, 600, 500}));
    EXPECT_EQ(f.wanted(), (twinrect{10, 0, 600, 500}));
}

TEST(debuggerwindowcover, followsthemainwindowuntiltheuserplacesit) {
    tcoveringwindow c;
    EXPECT_EQ(c.cover({320, 288}, {640, 480}), (twinrect{0, 0, 640, 480}));  // never below its minimum
    c.drawn({0, 0, 640, 480}, true);                                          // a click inside: not a move
    EXPECT_EQ(c.cover({1280, 960}, {640, 480}), (twinrect{0, 0, 1280, 960}));  // full screen
    c.drawn({0, 0, 1280, 960}, false);
    c.drawn({0, 140, 1280, 960}, false);  // moved, but not by the user
    EXPECT_FALSE(c.userplaced());
    c.drawn({0, 140, 1280, 960}, true);   // dragged down
    EXPECT_EQ(c.cover({800, 720}, {640, 480}), std::nullopt);
    c.reset();  // opened again on a grown window
    EXPECT_EQ(c.cover({800, 720}, {640, 480}), (twinrect{0, 0, 800, 720}));
}

}  // namespace
}  // namespace tov
