// The session: option views, ROM loading with its battery files, the compatibility mode's
// override, warnings and resets with re-detection.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "cart/carttesthelpers.h"
#include "frontend/session.h"
#include "frontend/windowlogic.h"
#include "frontend/settings.h"

namespace tov {
namespace {

namespace fs = std::filesystem;
constexpr size_t KiB = 1024;

tsettings defaults() {
    tsettings s;
    setdefaults(s);
    return s;
}

tsessionparts bare() {
    tsessionparts p;
    p.renderer = false;
    p.synthesiser = false;
    return p;
}

// A folder of this process: another run of the suite (a second build, ctest -j) may be at
// the same test, and the folder is emptied first.
fs::path scratch(const char* name) {
    fs::path d = fs::temp_directory_path() / ("tov_session_" + std::string(name) + "_" + std::to_string(::getpid()));
    fs::remove_all(d);
    fs::create_directories(d);
    return d;
}

// The views' own defaults are what the blocks use without a front end (tests, tools); they
// must match the option table's.
TEST(SessionOptions, ViewsOfTheDefaultSettingsAreTheViewsDefaults) {
    const tsettings s = defaults();
    EXPECT_TRUE(machineoptionsof(s) == tmachineoptions{});
    EXPECT_TRUE(cartoptionsof(s) == tcartoptions{});
    EXPECT_TRUE(videooptionsof(s) == tvideooptions{});
    EXPECT_TRUE(soundoptionsof(s) == tsoundoptions{});
}

TEST(SessionOptions, ApplyCarriesTheWorkingSettingsDown) {
    tsettings s = defaults();
    tsession session(s, "", bare());
    s.JoyOpposite = true;
    s.SpriteLimit = false;
    s.Volume = 10;
    EXPECT_FALSE(session.machine().options.JoyOpposite) << "nothing changes before Apply";
    session.applysettings();
    EXPECT_TRUE(session.machine().options.JoyOpposite);
    EXPECT_FALSE(session.videooptions().SpriteLimit);
    EXPECT_EQ(session.soundoptions().Volume, 10);
}

// RAM enable (0x0A at 0x0000), write, disable, read back.
uint8_t readafterdisable(tsession& session) {
    tgb& gb = session.machine();
    gb.writebyte(0x0000, 0x0A);
    gb.writebyte(0xA000, 0x5A);
    gb.writebyte(0x0000, 0x00);
    return gb.readbyte(0xA000);
}

TEST(SessionCompatibility, OverrideStaysOutOfTheSettings) {
    tsettings s = defaults();
    ASSERT_EQ(s.CartMode, 1);
    ASSERT_TRUE(s.EmulateSramD);
    tsession session(s, "", bare());
    std::string message;
    ASSERT_TRUE(session.loadimage(carttest::makerom(64 * KiB, 0x03, 2), "", true, message)) << message;
    EXPECT_EQ(readafterdisable(session), 0x5A) << "compatibility: cartridge RAM stays enabled";
    EXPECT_TRUE(session.sramdisableoverridden());
    EXPECT_TRUE(s.EmulateSramD) << "the user's value is kept";
    EXPECT_NE(settingstext(s).find("EmulateSramD=1"), std::string::npos);
    // The override lasts for the run, also across an Apply.
    session.applysettings();
    EXPECT_FALSE(session.cartoptions().EmulateSramD);

    tsettings a = defaults();
    a.CartMode = 0;
    tsession accurate(a, "", bare());
    ASSERT_TRUE(accurate.loadimage(carttest::makerom(64 * KiB, 0x03, 2), "", true, message)) << message;
    EXPECT_EQ(readafterdisable(accurate), 0xFF) << "accuracy: disabled RAM reads 0xFF";
    EXPECT_FALSE(accurate.sramdisableoverridden());
}

TEST(SessionLoading, RefusedWarningsKeepTheLoadedGame) {
    tsettings s = defaults();
    tsession session(s, "", bare());
    std::string message;
    ASSERT_TRUE(session.loadimage(carttest::makerom(32 * KiB), "/x/first.gb", true, message));
    std::vector<uint8_t> bad = carttest::makerom(32 * KiB);
    bad[0x14D] ^= 1;  // header checksum
    int asked = 0;
    EXPECT_FALSE(session.loadimage(bad, "/x/second.gb", true, message, [&](const std::string& w) {
        ++asked;
        return w.find("Header checksum fails.") == std::string::npos;
    }));
    EXPECT_EQ(asked, 1);
    EXPECT_TRUE(session.lastloadrefused());
    EXPECT_EQ(session.romfile(), "/x/first.gb");
    EXPECT_TRUE(session.loadimage(bad, "/x/second.gb", true, message, [](const std::string&) { return true; }));
    EXPECT_EQ(session.romfile(), "/x/second.gb");

    EXPECT_FALSE(session.loadrom("/nonexistent/rom.gb", true, message));
    EXPECT_FALSE(session.lastloadrefused());
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(session.romfile(), "/x/second.gb");
}

TEST(SessionLoading, BatteryRamSurvivesTheSession) {
    const fs::path dir = scratch("battery");
    const std::string rom = (dir / "game.gb").string();
    tsettings s = defaults();
    s.CartMode = 0;
    int resets = 0, loads = 0;
    {
        tsession session(s, dir.string(), bare());
        session.hooks.afterreset = [&] { ++resets; };
        session.hooks.romloaded = [&] { ++loads; };
        std::string message;
        ASSERT_TRUE(session.loadimage(carttest::makerom(64 * KiB, 0x03, 2), rom, true, message)) << message;
        session.machine().writebyte(0x0000, 0x0A);
        session.machine().writebyte(0xA123, 0xC3);
        session.machine().writebyte(0x0000, 0x00);
    }
    EXPECT_EQ(resets, 1);
    EXPECT_EQ(loads, 1);
    ASSERT_TRUE(fs::exists(dir / "game.sav"));
    tsession again(s, dir.string(), bare());
    std::string message;
    ASSERT_TRUE(again.loadimage(carttest::makerom(64 * KiB, 0x03, 2), rom, true, message));
    again.machine().writebyte(0x0000, 0x0A);
    EXPECT_EQ(again.machine().readbyte(0xA123), 0xC3);
}

// A battery file that cannot be replaced (here a folder sits where the new file would go) is
// reported to the window once, however often the save is tried, and the old file stays.
TEST(SessionLoading, FailedBatterySaveIsReportedOnce) {
    const fs::path dir = scratch("failedsave");
    const std::string rom = (dir / "game.gb").string();
    const std::string sav = (dir / "game.sav").string();
    { std::ofstream(sav, std::ios::binary) << "old"; }
    fs::create_directories(dir / "game.sav.tmp");
    tsettings s = defaults();
    s.CartMode = 0;
    tsession session(s, dir.string(), bare());
    std::string message;
    ASSERT_TRUE(session.loadimage(carttest::makerom(64 * KiB, 0x03, 2), rom, true, message)) << message;
    EXPECT_TRUE(session.takesavefailures().empty());
    session.savebattery();
    session.savebattery();
    EXPECT_EQ(session.takesavefailures(), std::vector<std::string>{sav});
    session.unloadrom();  // the save on the way out fails again: already told
    EXPECT_TRUE(session.takesavefailures().empty());
    std::ifstream f(sav, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), "old");
}

TEST(SessionReset, RedetectionRebuildsTheCartridgeFromMemory) {
    tsettings s = defaults();
    s.CartMode = 0;
    tsession session(s, "", bare());
    std::string message;
    ASSERT_TRUE(session.loadimage(carttest::makerom(64 * KiB, 0x01), "", true, message));
    EXPECT_EQ(session.cartridge().mappername(), "MBC1");
    s.CartMode = 1;
    session.applysettings();
    session.fullreset(false);
    EXPECT_EQ(session.cartridge().mappername(), "MBC1") << "a plain reset keeps the cartridge";
    session.fullreset(true);
    EXPECT_EQ(session.cartridge().mappername(), "generic");
    EXPECT_TRUE(session.hasgame());
    session.unloadrom();
    EXPECT_FALSE(session.hasgame());
    EXPECT_FALSE(session.romloaded());
}

// However a file was named (relative on the command line, absolute from the dialog), the
// session knows it by one absolute name: one recent-files entry, battery files beside it.
TEST(SessionLoading, RomFileIsAbsoluteWhicheverWayItWasNamed) {
    const fs::path dir = scratch("paths");
    fs::create_directories(dir / "sub");
    {
        std::ofstream f(dir / "game.gb", std::ios::binary);
        auto rom = carttest::makerom(64 * KiB, 0x03, 2);
        f.write(reinterpret_cast<const char*>(rom.data()), std::streamsize(rom.size()));
    }
    // The working folder is given back however the test ends: the tests after it in this
    // process must not run inside the scratch folder.
    struct tworkingfolder {
        const fs::path before = fs::current_path();
        ~tworkingfolder() { fs::current_path(before); }
    } restore;
    fs::current_path(dir / "sub");
    tsettings s = defaults();
    tsession session(s, "/nonexistent-program-folder/", bare());
    std::string message;
    for (const std::string& name : {std::string("../game.gb"), (dir / "game.gb").string(), std::string("./../sub/../game.gb")}) {
        ASSERT_TRUE(session.loadrom(name, true, message)) << name << ": " << message;
        EXPECT_EQ(session.romfile(), (dir / "game.gb").string()) << name;
        addrecent(s, session.romfile());
    }
    session.unloadrom();
    fs::current_path(restore.before);
    EXPECT_EQ(s.recent[0], (dir / "game.gb").string());
    EXPECT_EQ(s.recent[1], "") << "one entry per file";
    EXPECT_TRUE(fs::exists(dir / "game.sav")) << "the battery file lies beside the ROM";
}

}  // namespace
}  // namespace tov
