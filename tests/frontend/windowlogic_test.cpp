#include <gtest/gtest.h>

#include "frontend/session.h"
#include "frontend/controldialog.h"
#include "frontend/windowlogic.h"
#include "video/border.h"
#include "video/sgb.h"

namespace tov {
namespace {

TEST(RecentList, NewestFirstWithoutCaseDuplicates) {
    tsettings s;
    setdefaults(s);
    for (int i = 0; i < 12; i++) addrecent(s, "/roms/game" + std::to_string(i) + ".gb");
    EXPECT_EQ(s.recent[0], "/roms/game11.gb");
    EXPECT_EQ(s.recent[9], "/roms/game2.gb");
    addrecent(s, "/ROMS/GAME5.GB");
    EXPECT_EQ(s.recent[0], "/ROMS/GAME5.GB");
    EXPECT_EQ(s.recent[1], "/roms/game11.gb");
    EXPECT_EQ(s.recent[9], "/roms/game2.gb") << "the duplicate went, nothing else dropped";
    for (int i = 1; i < 10; i++) EXPECT_NE(s.recent[i], "/roms/game5.gb");
    addrecent(s, "");
    EXPECT_EQ(s.recent[0], "/ROMS/GAME5.GB");
    clearrecent(s);
    for (auto& r : s.recent) EXPECT_EQ(r, "");
    EXPECT_EQ(recentitemtext(3, "/a.gb"), "3 /a.gb");
}

TEST(Caption, PrecedenceOfDebuggerStatusPauseAndFrameRate) {
    tcaptioninfo c;
    EXPECT_EQ(captiontext(c), "tov");
    c.romloaded = true;
    c.romtitle = "TETRIS";
    EXPECT_EQ(captiontext(c), "tov - TETRIS");
    c.framerate = true;
    c.framesshown = 30;
    c.framesemulated = 60;
    EXPECT_EQ(captiontext(c), "tov - 30/60");
    c.link = tlinkstate::listening;
    EXPECT_EQ(captiontext(c), "tov - 30/60 (listening)");
    c.paused = true;
    EXPECT_EQ(captiontext(c), "tov (paused) (listening)");
    c.statusactive = true;
    c.status = "cheats active";
    EXPECT_EQ(captiontext(c), "tov - cheats active");
    c.debugging = true;
    EXPECT_EQ(captiontext(c), "tov (debugging)");
    tcaptioninfo n;
    n.paused = true;
    n.link = tlinkstate::linked;
    EXPECT_EQ(captiontext(n), "tov (linked)");
}

TEST(StatusMessage, LastsOneAndAHalfSeconds) {
    tstatusmessage m;
    EXPECT_FALSE(m.active(0));
    m.set("screenshot saved: 2", 10.0);
    EXPECT_TRUE(m.active(10.0));
    EXPECT_TRUE(m.active(11.49));
    EXPECT_FALSE(m.active(11.5));
}

TEST(WindowSizes, SnappingAndPicturePlacement) {
    twinsize plain = bordersize(0, 0);
    EXPECT_EQ(plain, (twinsize{160, 144}));
    EXPECT_EQ(snapclientsize({330, 290}, plain), (twinsize{320, 288}));
    EXPECT_EQ(snapclientsize({10, 10}, plain), (twinsize{160, 144}));
    EXPECT_EQ(snapclientsize({400, 300}, plain), (twinsize{480, 288}));
    EXPECT_EQ(picturesize({320, 288}, plain), (twinsize{320, 288}));
    EXPECT_EQ(picturesize({0, 0}, plain), (twinsize{0, 0}));
    EXPECT_EQ(pictureplace({320, 288}, plain, {0, 0}, {320, 288}), (twinrect{0, 0, 320, 288}));
    // SGB border 256x224 with the screen at (48, 40), window twice the border.
    twinsize sgb = bordersize(256, 224);
    twinsize pic = picturesize({512, 448}, sgb);
    EXPECT_EQ(pic, (twinsize{320, 288}));
    EXPECT_EQ(pictureplace({512, 448}, sgb, {48, 40}, pic), (twinrect{96, 80, 320, 288}));
    EXPECT_TRUE(sizeitemchecked(2, pic));
    EXPECT_FALSE(sizeitemchecked(3, pic));
    EXPECT_TRUE(sizeitemchecked(3, {480, 432}));
    EXPECT_FALSE(sizeitemchecked(3, {481, 432}));
    // A client wider than the border at the same picture size: the border centred.
    EXPECT_EQ(pictureplace({600, 448}, sgb, {48, 40}, pic), (twinrect{(600 - 512) / 2 + 96, 80, 320, 288}));
}

TEST(WindowSizes, SetupSizeFromSettingsWithDamagedValues) {
    tsettings s;
    setdefaults(s);
    EXPECT_EQ(setupclientsize(s, {160, 144}), (twinsize{320, 288}));
    EXPECT_EQ(setupclientsize(s, {256, 224}), (twinsize{512, 448}));
    s.Width = -5;
    EXPECT_EQ(setupclientsize(s, {160, 144}), (twinsize{160, 144}));
    s.Width = 2000000000;
    s.Height = 2000000000;
    EXPECT_EQ(setupclientsize(s, {160, 144}), (twinsize{160, 144}));
}

TEST(FullScreen, AltEnterAndPlacement) {
    EXPECT_EQ(altentermode(3, 1, true).windowmode, 0);
    EXPECT_EQ(altentermode(4, 0, false).windowmode, 0);
    EXPECT_EQ(altentermode(0, 1, false).windowmode, 4);
    EXPECT_EQ(altentermode(0, 0, false).windowmode, 3);
    EXPECT_EQ(altentermode(1, 7, false).windowmode, 3);
    auto ex = altentermode(0, 0, true);
    EXPECT_EQ(ex.windowmode, 4);
    EXPECT_TRUE(ex.exclusive);
    tsettings s;
    setdefaults(s);
    EXPECT_FALSE(exclusiveavailable(s, true));
    s.DDrawFS = true;
    EXPECT_TRUE(exclusiveavailable(s, true));
    EXPECT_FALSE(exclusiveavailable(s, false));
    EXPECT_EQ(fullscreenplace(4, {1920, 1080}, {160, 144}), (twinrect{0, 0, 1920, 1080}));
    EXPECT_EQ(fullscreenplace(3, {1920, 1080}, {160, 144}), (twinrect{360, 0, 1200, 1080}));
    EXPECT_EQ(fullscreenplace(3, {0, 0}, {160, 144}), (twinrect{}));
}

// The layout the window draws: border picture and game picture, windowed and full screen.
TEST(ScreenLayout, WindowedPictureInsideTheBorderWithItsFrame) {
    tscreenview v;
    v.border = bordersize(256, 224);
    v.screen = {48, 40};
    v.bordered = true;
    v.client = {512, 448};
    tscreenlayout l = screenlayout(v);
    EXPECT_EQ(l.picture, (twinrect{96, 80, 320, 288}));
    EXPECT_EQ(l.border, (twinrect{0, 0, 512, 448}));
    EXPECT_TRUE(l.frame) << "a border picture has its one-pixel black frame";
    // A client of another shape (a window manager's size): both stretched alike.
    v.client = {600, 448};
    l = screenlayout(v);
    EXPECT_EQ(l.picture, (twinrect{112, 80, 375, 288}));
    EXPECT_EQ(l.border, (twinrect{0, 0, 600, 448}));
    // No border: the bare picture fills the client, no frame; a stale screen position of an
    // earlier border is ignored.
    v.bordered = false;
    v.border = bordersize(0, 0);
    v.client = {320, 288};
    l = screenlayout(v);
    EXPECT_EQ(l.picture, (twinrect{0, 0, 320, 288}));
    EXPECT_EQ(l.border, l.picture);
    EXPECT_FALSE(l.frame);
    v.client = {0, 0};
    EXPECT_EQ(screenlayout(v).picture, (twinrect{}));
}

TEST(ScreenLayout, FullScreenModes) {
    struct tcase {
        int32_t mode;
        bool exclusive;
        twinsize display;
        bool bordered;
        twinrect border, picture;
    };
    const tcase cases[] = {
        // Exclusive in the mode asked for (320 x 240): centred, unscaled.
        {4, true, {320, 240}, false, {80, 48, 160, 144}, {80, 48, 160, 144}},
        {4, true, {320, 240}, true, {32, 8, 256, 224}, {80, 48, 160, 144}},
        // A larger mode offered instead: the largest whole multiple that fits.
        {4, true, {640, 480}, false, {80, 24, 480, 432}, {80, 24, 480, 432}},
        {4, true, {800, 600}, true, {144, 76, 512, 448}, {240, 156, 320, 288}},
        // Smaller than the border: still once, centred (running off the edges).
        {4, true, {200, 200}, true, {-28, -12, 256, 224}, {20, 28, 160, 144}},
        // Mode 3 keeps the aspect, mode 4 stretches.
        {3, false, {1920, 1080}, false, {360, 0, 1200, 1080}, {360, 0, 1200, 1080}},
        {4, false, {1920, 1080}, true, {0, 0, 1920, 1080}, {360, 192, 1200, 694}},
    };
    for (const tcase& c : cases) {
        tscreenview v;
        v.windowmode = c.mode;
        v.exclusive = c.exclusive;
        v.client = c.display;
        v.askedmode = {320, 240};
        v.bordered = c.bordered;
        v.border = c.bordered ? bordersize(256, 224) : bordersize(0, 0);
        v.screen = {48, 40};
        const tscreenlayout l = screenlayout(v);
        EXPECT_EQ(l.border, c.border) << "mode " << c.mode << " on " << c.display.w << "x" << c.display.h;
        EXPECT_EQ(l.picture, c.picture) << "mode " << c.mode << " on " << c.display.w << "x" << c.display.h;
        EXPECT_FALSE(l.frame) << "full screen has no frame";
    }
}

// Keys while menus and dialogs have the keyboard reach neither the game nor the commands.
TEST(KeyRouting, UiKeepsEveryKeyWhileItWantsTheKeyboard) {
    constexpr int esc = 27, s = 'S', ret = 13, f5 = 0x74, f8 = 0x77, f11 = 0x7A;
    for (int vk : {esc, s, ret, f5, f11, 0x25})
        for (bool alt : {false, true}) EXPECT_EQ(routekeydown(vk, alt, false, true).route, tkeyroute::ignore) << vk;
    struct tcase {
        int vk;
        bool alt, repeat;
        tkeyroute route;
        int channel;
    };
    const tcase cases[] = {
        {ret, true, false, tkeyroute::altenter, 0}, {ret, true, true, tkeyroute::ignore, 0},
        {ret, false, false, tkeyroute::keyboard, 0}, {f11, false, false, tkeyroute::options, 0},
        {f11, false, true, tkeyroute::keyboard, 0}, {f5, false, false, tkeyroute::soundchannel, 0},
        {f8, false, false, tkeyroute::soundchannel, 3}, {esc, false, false, tkeyroute::keyboard, 0},
        {s, false, true, tkeyroute::keyboard, 0}, {-1, false, false, tkeyroute::ignore, 0},
    };
    for (const tcase& c : cases) {
        const tkeyaction a = routekeydown(c.vk, c.alt, c.repeat, false);
        EXPECT_EQ(a.route, c.route) << c.vk;
        if (c.route == tkeyroute::soundchannel) EXPECT_EQ(a.channel, c.channel);
    }
}

// Every pop-up menu entry can be reached: what does not fit goes into "more".
TEST(PopupMenu, LongMenusContinueInMore) {
    EXPECT_EQ(menuentriesshown(5, 7), 5);
    EXPECT_EQ(menuentriesshown(7, 7), 7);
    EXPECT_EQ(menuentriesshown(12, 7), 6);
    EXPECT_EQ(menuentriesshown(0, 7), 0);
    EXPECT_EQ(menuentriesshown(12, 0), 1) << "even a tiny window shows one entry and \"more\"";
    // Walking the "more" chain reaches every entry of a long menu in a small window.
    for (int count : {1, 8, 13, 40})
        for (int rows : {2, 3, 7}) {
            int reached = 0, left = count, levels = 0;
            while (left > 0 && levels < 100) {
                int shown = menuentriesshown(left, rows);
                ASSERT_GT(shown, 0);
                EXPECT_LE(shown + (shown < left ? 1 : 0), std::max(rows, 2));
                reached += shown;
                left -= shown;
                levels++;
            }
            EXPECT_EQ(reached, count);
        }
    // The 1x window (144 pixels, less ImGui's safe area and padding) has room for 7 rows of
    // 13-pixel text 4 pixels apart.
    EXPECT_EQ(menurowsfitting(144 - 6 - 16, 13, 4), 7);
    EXPECT_EQ(menurowsfitting(0, 13, 4), 2);
    EXPECT_EQ(menurowsfitting(100, 0, 4), 2);
}

TEST(FileNames, StateSlotsAndBitmaps) {
    EXPECT_TRUE(isstatefilename("/a/game.sn3"));
    EXPECT_TRUE(isstatefilename("GAME.SN0"));
    EXPECT_FALSE(isstatefilename("game.gb"));
    EXPECT_FALSE(isstatefilename("game.sna1"));
    EXPECT_FALSE(isstatefilename(".sn"));
    EXPECT_TRUE(isbitmapname("/x/Border.BMP"));
    EXPECT_FALSE(isbitmapname("bmp"));
    const uint8_t title[16] = {'T', 'E', 0x80, 'S', 0, 'T', 0xFF, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0};
    EXPECT_EQ(romtitle(title), "TEST");
}

TEST(OptionsDialog, SpeedIsShownAsFramesPerSecond) {
    EXPECT_EQ(speedtext(1.0), "0");
    EXPECT_EQ(speedtext(2.0), "119.455");
    EXPECT_EQ(speedtext(0.5), "29.8638");
    EXPECT_DOUBLE_EQ(speedfromtext("0"), 1.0);
    EXPECT_DOUBLE_EQ(speedfromtext("-30"), 1.0);
    EXPECT_DOUBLE_EQ(speedfromtext("abc"), 1.0);
    EXPECT_NEAR(speedfromtext("119.455"), 2.0, 1e-4);
    EXPECT_NEAR(speedfromtext("59.7275"), 1.0, 1e-6);
}

TEST(OptionsDialog, TrackBarsAndSampleRates) {
    EXPECT_EQ(gammatrack(2.2), 22);
    EXPECT_DOUBLE_EQ(gammafromtrack(18), 1.8);
    EXPECT_EQ(gammatrack(1e9), gammatrackmax);
    EXPECT_EQ(saturationtrack(0.85), 85);
    EXPECT_DOUBLE_EQ(saturationfromtrack(50), 0.5);
    EXPECT_EQ(samplerateindex(22050), 2);
    EXPECT_EQ(samplerateindex(12345), samplerateindex(44100));
}

TEST(OptionsDialog, ApplyWritesTheDialogIntoTheStoredCopy) {
    tsettings stored;
    setdefaults(stored);
    stored.recent[0] = "/keep.gb";
    stored.Samplerate = 12345;
    tcontroldialog d;
    d.fill(stored);
    EXPECT_EQ(d.speed, "0");
    EXPECT_EQ(samplerates[d.samplerate], 44100);
    d.speed = "29.86375";
    d.gamma = 10;
    d.saturation = 100;
    d.values.Volume = 33;
    d.values.keys[0][inA] = 'K';
    d.values.colors[3] = 0x123456;
    d.values.recent[0] = "/not-the-dialogs.gb";
    d.apply(stored);
    EXPECT_NEAR(stored.Speed, 0.5, 1e-6);
    EXPECT_DOUBLE_EQ(stored.Gamma, 1.0);
    EXPECT_DOUBLE_EQ(stored.ColorSaturation, 1.0);
    EXPECT_EQ(stored.Samplerate, 44100);
    EXPECT_EQ(stored.Volume, 33);
    EXPECT_EQ(stored.keys[0][inA], 'K');
    EXPECT_EQ(stored.colors[3], 0x123456u);
    EXPECT_EQ(stored.recent[0], "/keep.gb");
}

TEST(OptionsDialog, DefaultsRefillTheDialogButKeepSchemes) {
    tsettings stored;
    setdefaults(stored);
    stored.colorschemes = {"mine"};
    stored.Volume = 5;
    tcontroldialog d;
    d.fill(stored);
    d.defaults();
    EXPECT_EQ(d.values.Volume, 90);
    EXPECT_EQ(d.values.colorschemes.size(), 1u);
    EXPECT_EQ(stored.Volume, 5) << "nothing applied yet";
}

// The window's choice of border and first-picture colours for the three hardware kinds.

TEST(PictureSetup, SgbModeShowsTheStartingBorderBeforeTheGameSendsOne) {
    tsettings s;
    setdefaults(s);
    const tvideooptions v = videooptionsof(s);
    tsgb sgb(v);
    sgb.reset();
    ASSERT_FALSE(sgb.hasborder) << "a reset starts without a border from the game";
    const uint32_t* pixels = sgbborderpixels(sgb);
    ASSERT_NE(pixels, nullptr);
    for (int mode : {1, 2}) {
        s.Border = mode;
        tborder b = chooseborder(videooptionsof(s), false, true, pixels, "/nonexistent/");
        ASSERT_TRUE(b.present) << "Border " << mode;
        EXPECT_EQ(b.width(), 256);
        EXPECT_EQ(b.height(), 224);
        EXPECT_EQ(b.screenx, 48);
        EXPECT_EQ(b.screeny, 40);
        // The frame is tile 255 (colour 15 of palette 7), the screen window tile 0 (colour 0).
        EXPECT_NE(b.picture.pixel(0, 0), b.picture.pixel(48 + 80, 40 + 72));
        EXPECT_EQ(b.picture.pixel(0, 0), b.picture.pixel(255, 223));
    }
    s.Border = 0;
    EXPECT_FALSE(chooseborder(videooptionsof(s), false, true, pixels, "/nonexistent/").present);
}

TEST(PictureSetup, DmgColoursOnlyWhereTheMachineShowsThem) {
    tsettings s;
    setdefaults(s);
    EXPECT_TRUE(blankwithdmgcolors(s, false, false)) << "DMG";
    EXPECT_FALSE(blankwithdmgcolors(s, true, false)) << "GBC palettes live in those entries";
    EXPECT_FALSE(blankwithdmgcolors(s, false, true)) << "SGB palettes 1 and 2 live in entries 8-15";
    s.SGBnocolors = true;
    EXPECT_TRUE(blankwithdmgcolors(s, false, true)) << "SGB without its colours looks like a DMG";
}



TEST(debuggerwindowgeometry, growsaboutitscentrekeptonthescreenandreturnswherethegamewindowwas) {
    const twinrect usable{0, 0, 1280, 960};
    struct tcase {
        twinrect window;
        twinrect grown;
    };
    const tcase cases[] = {
        {{480, 336, 320, 288}, {240, 120, 800, 720}},   // room all round: same centre
        {{10, 20, 320, 288}, {0, 0, 800, 720}},         // near the top left: pushed onto the screen
        {{1100, 900, 320, 288}, {480, 240, 800, 720}},  // near the bottom right
    };
    for (const tcase& c : cases) {
        const twinrect g = growndebuggerrect(c.window, {800, 720}, usable);
        EXPECT_EQ(g, c.grown);
        // Shrunk unmoved, the game's window is back exactly; moved, it follows the move.
        EXPECT_EQ(restoredwindowrect(c.window, g, g.x, g.y), c.window);
        EXPECT_EQ(restoredwindowrect(c.window, g, g.x + 30, g.y - 5),
                  (twinrect{c.window.x + 30, c.window.y - 5, c.window.w, c.window.h}));
    }
    // A screen smaller than the grown window: its top left corner stays on the screen.
    EXPECT_EQ(growndebuggerrect({100, 100, 320, 288}, {800, 720}, {0, 0, 640, 480}), (twinrect{0, 0, 800, 720}));
}

TEST(debuggerwindowcaption, namesthestopwhilestoppedandsaysrunningonlywhileagameruns) {
    EXPECT_EQ(debuggercaption(true, true, "breakpoint - debugger"), "breakpoint - debugger");
    EXPECT_EQ(debuggercaption(true, false, "debugger"), "debugger");
    EXPECT_EQ(debuggercaption(false, true, "breakpoint - debugger"), "running - debugger");
    EXPECT_EQ(debuggercaption(false, false, "breakpoint - debugger"), "debugger");  // no ROM or paused
}

TEST(toolwindowfit, staysinsidethemainwindowsdrawablearea) {
    struct tcase {
        twinrect r;
        twinsize area;
        twinrect want;
    };
    const tcase cases[] = {
        {{30, 30, 470, 330}, {1280, 960}, {30, 30, 470, 330}},  // fits: untouched
        {{30, 30, 470, 330}, {160, 144}, {0, 0, 160, 144}},     // 1x: the whole window
        {{30, 30, 470, 330}, {640, 288}, {30, 0, 470, 288}},    // too high only
        {{900, 700, 470, 330}, {1280, 960}, {810, 630, 470, 330}},  // left outside after shrinking
        {{-50, -20, 200, 100}, {1280, 960}, {0, 0, 200, 100}},  // title bar above the top
        {{10, 10, 100, 100}, {0, 0}, {0, 0, 0, 0}},             // minimised: nothing to fit
    };
    for (const tcase& c : cases) EXPECT_EQ(fitwindow(c.r, c.area), c.want);
}

}  // namespace
}  // namespace tov
