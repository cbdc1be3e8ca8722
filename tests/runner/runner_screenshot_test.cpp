// The headless runner's screenshot of an SGB game shows the border the desktop program shows:
// the starting border (before the game sent a border of its own) round the picture.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <sys/wait.h>
#include <string>
#include <vector>

#include "cart/carttesthelpers.h"
#include "video/gfxout.h"

namespace tov {
namespace {

using carttest::tscratch;

// An SGB game that never sends a packet: it only halts in a loop.
std::vector<uint8_t> quietsgbrom() {
    std::vector<uint8_t> rom = carttest::makerom(32768, 0x00, 0x00, -1, "SGBQUIET");
    const uint8_t entry[] = {0x00, 0xC3, 0x50, 0x01};  // nop ; jp 0x150
    std::copy(std::begin(entry), std::end(entry), rom.begin() + 0x100);
    const uint8_t main[] = {0xF3, 0x18, 0xFE};  // di ; jr -2
    std::copy(std::begin(main), std::end(main), rom.begin() + 0x150);
    rom[0x146] = 0x03;  // SGB functions
    rom[0x14B] = 0x33;  // new licensee code: the SGB flag counts
    testing::fixchecksums(rom);
    return rom;
}

// The exit status of the runner (3: the game gave no test verdict, which is all it can say).
int run(const std::string& args) {
    std::string command = std::string("\"") + TOV_RUN + "\" " + args + " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    return status >= 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(RunnerScreenshot, SgbGameGetsTheStartingBorder) {
    tscratch dir;
    const std::string rom = dir.write("quiet.gb", quietsgbrom());
    const std::string shot = dir.file("shot.bmp");
    ASSERT_EQ(run("--frames 20 --set Border=1 --screenshot \"" + shot + "\" \"" + rom + "\""), 3)
        << "the runner failed";
    tbitmap picture;
    ASSERT_TRUE(loadbmpfile(shot, picture)) << "no screenshot written";
    EXPECT_EQ(picture.width, 256);
    EXPECT_EQ(picture.height, 224);

    // Without a border setting the same game gives the bare picture.
    ASSERT_EQ(run("--frames 20 --set Border=0 --screenshot \"" + shot + "\" \"" + rom + "\""), 3);
    ASSERT_TRUE(loadbmpfile(shot, picture));
    EXPECT_EQ(picture.width, 160);
    EXPECT_EQ(picture.height, 144);
}

}  // namespace
}  // namespace tov
