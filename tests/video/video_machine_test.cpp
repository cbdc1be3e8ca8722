// The renderer attached to the machine: a test ROM's result screen, pixel for pixel.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <memory>
#include <string>

#include "cart/loadrom.h"
#include "core/gb.h"
#include "frontend/session.h"
#include "frontend/settings.h"
#include "video/gbdrawtov.h"
#include "video/screenshot.h"

namespace tov::test {
namespace {

namespace fs = std::filesystem;

struct tserialtext {
    std::string text;
    static void onbyte(void* context, uint8_t value) { static_cast<tserialtext*>(context)->text += char(value); }
};

// Shade of a picture pixel: 0 (lightest) to 3 by the DMG user colours, or white and black
// (the GBC palette the ROM sets up); -1 for anything else.
int shadeat(const tbitmap& b, int x, int y, const tsettings& s) {
    const uint32_t c = b.pixel(x, y);
    if (c == 0xFFFFFF) return 0;
    if (c == 0) return 3;
    for (int i = 0; i < 4; ++i)
        if (c == s.colors[i]) return i;
    return -1;
}

class VideoWithMachine : public ::testing::TestWithParam<int> {};

TEST_P(VideoWithMachine, CpuInstrsResultScreen) {
    const fs::path rom = fs::path(TOV_TESTROMS) / "blargg" / "cpu_instrs" / "cpu_instrs.gb";
    if (!fs::exists(rom)) GTEST_SKIP() << "test ROM not found: " << rom;
    tsettings settings;
    setdefaults(settings);
    settings.SystemMode = GetParam();
    tsessionparts parts;
    parts.memorypicture = true;
    parts.synthesiser = false;
    tsession session(settings, "", parts);
    std::string message;
    ASSERT_TRUE(session.loadrom(rom.string(), true, message)) << message;
    tgb* machine = &session.machine();
    tgbdrawtovsgb& renderer = *session.renderer();
    tmemorypicture& picture = *session.picture();
    tserialtext serial;
    session.setserialhook(tserialtext::onbyte, &serial);
    int frames = 0;
    for (; frames < 60 * 120 && serial.text.find("Passed all") == std::string::npos &&
           serial.text.find("Failed") == std::string::npos;
         ++frames) {
        machine->runframe();
        renderer.refresh();
    }
    ASSERT_NE(serial.text.find("Passed all"), std::string::npos) << serial.text;
    // A few more frames so the last text line is on screen.
    for (int i = 0; i < 30; ++i) {
        machine->runframe();
        renderer.refresh();
    }
    tbitmap screen;
    ASSERT_TRUE(picture.output().getpicture(screen));
    // Background lightest, text darkest, nothing else: a font on a blank map.
    int dark = 0, light = 0, other = 0;
    for (int y = 0; y < 144; ++y) {
        for (int x = 0; x < 160; ++x) {
            const int s = shadeat(screen, x, y, settings);
            if (s == 0) ++light;
            else if (s == 3) ++dark;
            else ++other;
        }
    }
    EXPECT_EQ(other, 0);
    EXPECT_GT(dark, 500);
    EXPECT_GT(light, 15000);
    // "Passed all tests" in the ROM's font (dark pixels '#'), found on some line at x 0.
    static const char* const passed[7] = {
        ".#####.......................................##...................###.....###...................................................",
        ".##..##......................................##....................##......##..............##......................##...........",
        ".##..##...####....#####...#####...####....#####...........####.....##......##............######...####....#####..######...#####.",
        ".#####.......##..##......##......##..##..##..##..............##....##......##..............##....##..##..##........##....##.....",
        ".##.......#####...####....####...######..##..##...........#####....##......##..............##....######...####.....##.....####..",
        ".##......##..##......##......##..##......##..##..........##..##....##......##..............##....##..........##....##........##.",
        ".##.......#####..#####...#####....####....#####...........#####...####....####..............###...####...#####......###..#####..",
    };
    int found = -1;
    for (int top = 0; top + 7 <= 144 && found < 0; ++top) {
        bool match = true;
        for (int y = 0; y < 7 && match; ++y)
            for (int x = 0; x < 128 && match; ++x) match = (shadeat(screen, x, top + y, settings) == 3) == (passed[y][x] == '#');
        if (match) found = top;
    }
    EXPECT_GE(found, 0) << "result line not on screen";
    // Kept for a look under one name; written under a name of this process first, since
    // another run of the suite may save the same picture at the same time (the save's
    // "name.tmp" would be shared), then renamed into place whole.
    const fs::path out = fs::temp_directory_path() / ("tov_cpu_instrs_screen" + std::to_string(GetParam()) + ".png");
    const fs::path mine = fs::temp_directory_path() /
                          ("tov_cpu_instrs_screen" + std::to_string(GetParam()) + "_" + std::to_string(::getpid()) + ".png");
    EXPECT_TRUE(picture.save(mine.string()) || !fs::exists(mine));
    std::error_code ec;
    fs::rename(mine, out, ec);
    if (ec) fs::remove(mine, ec);
}

// DMG, and GBC (the ROM is GBC-compatible: the GBC line routine and palette conversion).
INSTANTIATE_TEST_SUITE_P(Models, VideoWithMachine, ::testing::Values(0, 1),
                         [](const ::testing::TestParamInfo<int>& info) { return info.param ? std::string("Gbc") : std::string("Dmg"); });

}  // namespace
}  // namespace tov::test
