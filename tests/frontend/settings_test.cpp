#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "frontend/settings.h"

namespace tov {
namespace {

tsettings defaults() {
    tsettings s;
    setdefaults(s);
    return s;
}

tsettings fromtext(const std::string& text) {
    tsettings s;
    readsettingstext(s, text);
    return s;
}

// The value of `key` in the written file, or "<missing>".
std::string writtenvalue(const tsettings& s, const std::string& key) {
    std::string text = settingstext(s);
    std::string needle = "\n" + key + "=";
    size_t p = ("\n" + text).find(needle);
    if (p == std::string::npos) return "<missing>";
    size_t start = p + needle.size() - 1;
    return text.substr(start, text.find('\n', start) - start);
}

TEST(OptionTable, HasEveryKeyOnceInFileOrder) {
    auto t = optiontable();
    ASSERT_EQ(t.size(), 102u);
    EXPECT_STREQ(t[0].key, "WaveOut");
    EXPECT_STREQ(t[3].key, "8Bits");
    EXPECT_STREQ(t[35].key, "Speed");
    EXPECT_STREQ(t[101].key, "MBC7Joystick");
    std::set<std::string> upperkeys;
    for (const auto& e : t) {
        std::string k = e.key;
        for (char& c : k) c = char(toupper(c));
        EXPECT_TRUE(upperkeys.insert(k).second) << e.key;
        // Exactly the field of its type is bound.
        int bound = (e.intfield != nullptr) + (e.boolfield != nullptr) + (e.stringfield != nullptr) +
                    (e.floatfield != nullptr);
        EXPECT_EQ(bound, 1) << e.key;
    }
    EXPECT_EQ(findoption("8bits"), &t[3]);
    EXPECT_EQ(findoption("GAMMA"), &t[18]);
    EXPECT_EQ(findoption("Gamm"), nullptr);
}

TEST(Defaults, OptionsInputMapAndColours) {
    tsettings s = defaults();
    EXPECT_TRUE(s.WaveOut);
    EXPECT_EQ(s.Samplerate, 44100);
    EXPECT_EQ(s.WavFilename, "gbsound.wav");
    EXPECT_EQ(s.Width, 320);
    EXPECT_EQ(s.Height, 288);
    EXPECT_DOUBLE_EQ(s.Gamma, 2.2);
    EXPECT_DOUBLE_EQ(s.ColorSaturation, 0.85);
    EXPECT_EQ(s.ColorWhitepoint, 0xFFFFFF);
    EXPECT_DOUBLE_EQ(s.Speed, 1.0);
    EXPECT_EQ(s.SystemMode, 3);
    EXPECT_EQ(s.DebugFont, "courier new");
    EXPECT_EQ(s.LinkListenAddr, "8765");
    EXPECT_EQ(s.LinkConnectAddr, "127.0.0.1");
    EXPECT_EQ(s.WRAMinitvalue, "00");
    EXPECT_EQ(s.DebugCurrentColor, 16711680);
    EXPECT_TRUE(s.JoyFocus);
    EXPECT_FALSE(s.JoyOpposite);

    const std::array<uint8_t, inputfunctioncount> p0 = {39, 37, 38, 40, 83, 65, 16, 13, 255,
                                                        255, 107, 115, 113, 106, 109, 27, 255};
    EXPECT_EQ(s.keys[0], p0);
    for (int f = 0; f < 8; f++) EXPECT_EQ(s.keys[1][f], 49 + f);
    for (int f = 8; f < inputfunctioncount; f++) EXPECT_EQ(s.keys[1][f], unassigned);
    for (int p = 2; p < 4; p++)
        for (int f = 0; f < inputfunctioncount; f++) {
            EXPECT_EQ(s.keys[p][f], unassigned);
            EXPECT_EQ(s.joybuttons[p][f], unassigned);
        }
    const std::array<uint8_t, 8> joy = {1, 0, 2, 3, 9, 8, 10, 11};
    for (int p = 0; p < 2; p++)
        for (int f = 0; f < 8; f++) EXPECT_EQ(s.joybuttons[p][f], joy[f]);
    EXPECT_EQ(s.joybuttons[0][inRapidA], unassigned);
    EXPECT_EQ(s.joysticknum, (std::array<int32_t, 4>{1, 2, 0, 0}));
    for (int i = 0; i < 16; i += 4) {
        EXPECT_EQ(s.colors[i], 0xD0F8E0u);
        EXPECT_EQ(s.colors[i + 3], 0x201808u);
    }
}

TEST(Defaults, ForgetRecentFilesButKeepColourSchemes) {
    tsettings s;
    s.recent[0] = "/x.gb";
    s.colorschemes = {"a"};
    s.Volume = 3;
    setdefaults(s);
    EXPECT_EQ(s.recent[0], "");
    EXPECT_EQ(s.colorschemes.size(), 1u);
    EXPECT_EQ(s.Volume, 90);
}

TEST(ReadingLines, KeysAreCaseInsensitiveAndWrittenInTableSpelling) {
    tsettings s = fromtext("gamma=1.8\nSAMPLERATE=22050\n8bits=1\n");
    EXPECT_DOUBLE_EQ(s.Gamma, 1.8);
    EXPECT_EQ(s.Samplerate, 22050);
    EXPECT_TRUE(s.Bits8);
    EXPECT_EQ(writtenvalue(s, "Gamma"), "1.8");
    EXPECT_EQ(writtenvalue(s, "8Bits"), "1");
}

TEST(ReadingLines, BooleansAreTrueOnlyForOne) {
    EXPECT_FALSE(fromtext("WaveOut=true").WaveOut);
    EXPECT_FALSE(fromtext("WaveOut=").WaveOut);
    EXPECT_FALSE(fromtext("WaveOut= 1").WaveOut);
    EXPECT_TRUE(fromtext("WaveOut=0\nWaveOut=1").WaveOut);
    EXPECT_FALSE(fromtext("LoadRomWarnings=yes").LoadRomWarnings);
}

TEST(ReadingLines, BadNumbersKeepTheDefault) {
    tsettings s = fromtext(
        "Samplerate=fast\nWidth=12abc\nHeight=99999999999\nGamma=1,8\nColorSaturation=nan\n"
        "Speed=inf\nMaxSkip=\n");
    EXPECT_EQ(s.Samplerate, 44100);
    EXPECT_EQ(s.Width, 320);
    EXPECT_EQ(s.Height, 288);
    EXPECT_DOUBLE_EQ(s.Gamma, 2.2);
    EXPECT_DOUBLE_EQ(s.ColorSaturation, 0.85);
    EXPECT_DOUBLE_EQ(s.Speed, 1.0);
    EXPECT_EQ(s.MaxSkip, 9);
    EXPECT_EQ(fromtext("Width=-40").Width, -40);
    EXPECT_EQ(fromtext("Width=+640").Width, 640);
}

TEST(ReadingLines, SpeedAndVolumeAreBounded) {
    EXPECT_DOUBLE_EQ(fromtext("Speed=0").Speed, 1.0);
    EXPECT_DOUBLE_EQ(fromtext("Speed=-1").Speed, 1.0);
    EXPECT_DOUBLE_EQ(fromtext("Speed=2.5").Speed, 2.5);
    EXPECT_EQ(fromtext("Volume=150").Volume, 100);
    EXPECT_EQ(fromtext("Volume=-3").Volume, 0);
    tsettings s = defaults();
    readsettingsline(s, "Speed=0");
    EXPECT_DOUBLE_EQ(s.Speed, 1.0);
}

TEST(ReadingLines, IntegersAreClampedToTheirTableRange) {
    struct tcase { const char* line; int32_t tsettings::*field; int32_t want; };
    const tcase cases[] = {
        {"Samplerate=2147483647", &tsettings::Samplerate, 384000},
        {"Samplerate=0", &tsettings::Samplerate, 1000},
        {"SoundBufSize=0", &tsettings::SoundBufSize, 1},
        {"SoundBufSize=-2147483648", &tsettings::SoundBufSize, 1},
        {"MaxSkip=2147483647", &tsettings::MaxSkip, 1000},
        {"MaxSkip=-1", &tsettings::MaxSkip, 0},
        {"Width=2147483647", &tsettings::Width, 16384},
        {"WinY=-2147483648", &tsettings::WinY, -65536},
        {"DebugFontSize=0", &tsettings::DebugFontSize, 4},
        {"Volume=1000", &tsettings::Volume, 100},
        {"DebugBgColor=-5", &tsettings::DebugBgColor, -5},  // no range: kept as read
    };
    for (const auto& c : cases) EXPECT_EQ(fromtext(c.line).*c.field, c.want) << c.line;
    // Every default lies inside its own range, so clamping never changes a fresh record.
    for (const auto& e : optiontable())
        if (e.type == toptiontype::integer) {
            EXPECT_LE(e.minint, e.defaultint) << e.key;
            EXPECT_GE(e.maxint, e.defaultint) << e.key;
        }
}

TEST(ReadingLines, LargestSampleRateWithSmallestBufferStaysSmall) {
    tsettings s = fromtext("Samplerate=2147483647\nSoundBufSize=1\n");
    // Four pages of Samplerate / SoundBufSize stereo 16-bit frames.
    EXPECT_LE(int64_t(s.Samplerate / s.SoundBufSize) * 4 * 4, int64_t(8) << 20);
}

TEST(ReadingLines, CarriageReturnAtTheCutReadsBackAsWritten) {
    const std::string line = "WavFilename=" + std::string(254, 'w') + "\r" + "tail";
    tsettings first = fromtext(line + "\n");
    tsettings second = fromtext(settingstext(first));
    EXPECT_EQ(second.WavFilename, first.WavFilename);
    EXPECT_EQ(first.WavFilename, std::string(254, 'w'));
    // A CR inside the value is kept.
    EXPECT_EQ(fromtext("WavFilename=a\rb\n").WavFilename, "a\rb");
    tsettings r = fromtext("Recent3=" + std::string(254, 'r') + "\r\r\n");
    EXPECT_EQ(fromtext(settingstext(r)).recent[3], r.recent[3]);
}

TEST(ReadingLines, StringsKeepCaseAndAreCutTo255) {
    tsettings s = fromtext("wavfilename=My Song.WAV\nDebugFont=" + std::string(300, 'x') + "\n");
    EXPECT_EQ(s.WavFilename, "My Song.WAV");
    EXPECT_EQ(s.DebugFont.size(), 255u);
    // Only the first "=" splits key and value.
    EXPECT_EQ(fromtext("LinkConnectAddr=a=b").LinkConnectAddr, "a=b");
}

TEST(ReadingLines, MalformedLinesAreIgnored) {
    std::string junk = "no equals sign\n=\n=value\n\n\r\n===\nUnknownKey=5\n\xff\xfe=\x01\nJoypad\n";
    junk += std::string("\0Volume=1\n", 10);
    tsettings s = fromtext(junk);
    tsettings d = defaults();
    EXPECT_EQ(settingstext(s), settingstext(d));
}

TEST(ReadingLines, SingleLinesTellWhetherTheKeyWasKnown) {
    // The headless runner's --set Key=Value goes through here and warns about unknown keys.
    tsettings s = defaults();
    EXPECT_TRUE(readsettingsline(s, "maxskip=3"));
    EXPECT_EQ(s.MaxSkip, 3);
    EXPECT_TRUE(readsettingsline(s, "Joypad2=41"));
    EXPECT_TRUE(readsettingsline(s, "Recent12=x"));
    EXPECT_FALSE(readsettingsline(s, "MaxSkipp=3"));
    EXPECT_FALSE(readsettingsline(s, "MaxSkip"));
    EXPECT_FALSE(readsettingsline(s, ""));
}

TEST(ReadingLines, WindowsLineEndsAreAccepted) {
    tsettings s = fromtext("WavFilename=a.wav\r\nWaveOut=0\r\nVolume=50\r\n");
    EXPECT_EQ(s.WavFilename, "a.wav");
    EXPECT_FALSE(s.WaveOut);
    EXPECT_EQ(s.Volume, 50);
}

TEST(InputMapLines, JoypadSetsOnlyTheGivenPairs) {
    tsettings s = fromtext("Joypad1=2725");
    EXPECT_EQ(s.keys[1][inRight], 0x27);
    EXPECT_EQ(s.keys[1][inLeft], 0x25);
    tsettings d = defaults();
    for (int f = 2; f < inputfunctioncount; f++) EXPECT_EQ(s.keys[1][f], d.keys[1][f]);
    EXPECT_EQ(s.keys[0], d.keys[0]);
}

TEST(InputMapLines, BadPairsStayAndPlayerNumbersWrap) {
    tsettings d = defaults();
    tsettings s = fromtext("Joypad0=ZZ41");
    EXPECT_EQ(s.keys[0][0], d.keys[0][0]);
    EXPECT_EQ(s.keys[0][1], 0x41);
    EXPECT_EQ(fromtext("Joypad5=41").keys[1][0], 0x41);
    EXPECT_EQ(fromtext("Joypad=41").keys[0][0], 0x41);
    EXPECT_EQ(fromtext("Joypadxx=41").keys[0][0], 0x41);
    // A negative player number must not reach outside the four players.
    EXPECT_EQ(fromtext("Joypad-1=41").keys[3][0], 0x41);
    // Longer values than 17 pairs are cut; nothing overruns.
    tsettings l = fromtext("Joypad2=" + std::string(200, '1'));
    for (int f = 0; f < inputfunctioncount; f++) EXPECT_EQ(l.keys[2][f], 0x11);
}

TEST(InputMapLines, JoystickButtonsAndNumbers) {
    tsettings s = fromtext("JoystickBtn3=0809\nJoystickNum3=4\nJoystickNum2=x\n");
    EXPECT_EQ(s.joybuttons[3][0], 8);
    EXPECT_EQ(s.joybuttons[3][1], 9);
    EXPECT_EQ(s.joybuttons[3][2], unassigned);
    EXPECT_EQ(s.joysticknum[3], 4);
    EXPECT_EQ(s.joysticknum[2], 0);
    EXPECT_EQ(s.keys[3][0], unassigned);
}

TEST(ColourLines, LowIndexesSetAllFourPalettes) {
    tsettings s = fromtext("Color2=FF0000");
    for (int i : {2, 6, 10, 14}) EXPECT_EQ(s.colors[i], 0xFF0000u);
    EXPECT_EQ(s.colors[1], 0x70C088u);
    tsettings t = fromtext("Color6=FF0000");
    EXPECT_EQ(t.colors[6], 0xFF0000u);
    EXPECT_EQ(t.colors[2], 0x506830u);
    EXPECT_EQ(t.colors[10], 0x506830u);
    EXPECT_EQ(fromtext("Color17=123456").colors[1], 0x123456u);  // index modulo 16
    EXPECT_EQ(fromtext("Color1=nothex").colors[1], 0x70C088u);
    EXPECT_EQ(fromtext("Color1x=123456").colors[1], 0x70C088u);
    EXPECT_EQ(fromtext("Color99999999=123456").colors[15], 0x123456u);  // "99999" % 16
}

TEST(ColourLines, SchemesAreKeptAsReadAndReplacedOnReread) {
    tsettings s = fromtext("ColorScheme=green,1,2,3\ncolorscheme=Grey\nColorSchemes=no\n");
    ASSERT_EQ(s.colorschemes.size(), 2u);
    EXPECT_EQ(s.colorschemes[1], "Grey");
    readsettingstext(s, "ColorScheme=other");
    ASSERT_EQ(s.colorschemes.size(), 1u);
    EXPECT_EQ(s.colorschemes[0], "other");
}

TEST(RecentLines, OnlySlotsZeroToNine) {
    tsettings s = fromtext("Recent3=C:\\roms\\a.gb\nRecent12=x\nRecent=y\nRecent-1=z\nRecent9=/n.gb");
    EXPECT_EQ(s.recent[3], "C:\\roms\\a.gb");
    EXPECT_EQ(s.recent[9], "/n.gb");
    for (int i : {0, 1, 2, 4, 5, 6, 7, 8}) EXPECT_EQ(s.recent[i], "") << i;
}

TEST(WritingFile, FloatsUseAtLeastOneAndAtMostEightDecimals) {
    EXPECT_EQ(formatfloat(0.85, 1, 8), "0.85");
    EXPECT_EQ(formatfloat(2.0, 1, 8), "2.0");
    EXPECT_EQ(formatfloat(1.0 / 3.0, 1, 8), "0.33333333");
    EXPECT_EQ(formatfloat(-0.000000001, 1, 8), "0.0");
    EXPECT_EQ(formatfloat(-1.5, 1, 8), "-1.5");
    EXPECT_EQ(formatfloat(59.7275005696, 1, 4), "59.7275");
    tsettings s = defaults();
    s.Speed = 2.0;
    EXPECT_EQ(writtenvalue(s, "Speed"), "2.0");
    EXPECT_EQ(writtenvalue(s, "ColorSaturation"), "0.85");
}

TEST(WritingFile, LayoutOfTheExtraLines) {
    tsettings s = defaults();
    s.recent[0] = "/roms/a.gb";
    s.colorschemes = {"one", "two"};
    std::string text = settingstext(s);
    EXPECT_EQ(text.rfind("WaveOut=1\nWavFileOut=0\nSamplerate=44100\n8Bits=0\n", 0), 0u);
    EXPECT_NE(text.find("\nMBC7Joystick=0\nJoypad0=272526285341100DFFFF6B73716A6D1BFF\n"
                        "JoystickBtn0=0100020309080A0BFFFFFFFFFFFFFFFFFF\nJoystickNum0=1\nJoypad1="),
              std::string::npos);
    EXPECT_NE(text.find("\nColor0=D0F8E0\n"), std::string::npos);
    EXPECT_NE(text.find("\nColor15=201808\nRecent0=/roms/a.gb\nRecent1=\n"), std::string::npos);
    EXPECT_NE(text.find("\nRecent9=\nColorScheme=one\nColorScheme=two\n"), std::string::npos);
}

TEST(WritingFile, WhatIsWrittenReadsBackTheSame) {
    tsettings s = defaults();
    s.Gamma = 1.234;
    s.Speed = 0.5;
    s.WavFilename = "rec.wav";
    s.keys[2][inPause] = 0x7A;
    s.joybuttons[3][inStart] = 42;
    s.joysticknum[2] = 3;
    s.colors[5] = 0x102030;
    s.recent[4] = "/a b/c.gbc";
    s.colorschemes = {"x,y"};
    s.DDrawFSHz = -7;
    tsettings r = fromtext(settingstext(s));
    EXPECT_EQ(settingstext(r), settingstext(s));
    EXPECT_DOUBLE_EQ(r.Gamma, 1.234);
    EXPECT_EQ(r.colors[5], 0x102030u);
    EXPECT_EQ(r.colors[1], s.colors[1]);
}

class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("tov_settings_" + std::to_string(::getpid()) +
               "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
        path = (dir / "tov.ini").string();
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::filesystem::path dir;
    std::string path;
};

TEST_F(SettingsFile, MissingFileGivesDefaults) {
    tsettings s;
    s.Volume = 7;
    s.colorschemes = {"old"};
    EXPECT_FALSE(readsettingsfile(s, path));
    EXPECT_EQ(s.Volume, 90);
    EXPECT_TRUE(s.colorschemes.empty());
}

TEST_F(SettingsFile, UnwritablePlaceFailsQuietly) {
    tsettings s = defaults();
    EXPECT_FALSE(writesettingsfile(s, (dir / "no" / "such" / "tov.ini").string()));
}

// When no new file can be made beside it, the old "tov.ini" is kept rather than rewritten in
// place, where a cut-off write would lose it.
TEST_F(SettingsFile, FileThatCannotBeReplacedStaysAsItWas) {
    { std::ofstream(path, std::ios::binary) << "Volume=40\n"; }
    std::filesystem::create_directories(path + ".tmp");
    EXPECT_FALSE(writesettingsfile(defaults(), path));
    std::ifstream f(path, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(f), {}), "Volume=40\n");
    std::filesystem::remove_all(path + ".tmp");
    EXPECT_TRUE(writesettingsfile(defaults(), path));
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(SettingsFile, StoreKeepsStoredAndWorkingCopies) {
    {
        std::ofstream f(path);
        f << "Volume=40\nFrameRate=1\n";
    }
    tsettingsstore store(path);
    EXPECT_TRUE(store.load());
    EXPECT_EQ(store.stored.Volume, 40);
    EXPECT_EQ(store.working.Volume, 40);

    // The running program changes its working copy; saving writes it.
    store.working.Volume = 10;
    EXPECT_TRUE(store.save());
    EXPECT_EQ(store.stored.Volume, 10);
    tsettings back;
    EXPECT_TRUE(readsettingsfile(back, path));
    EXPECT_EQ(back.Volume, 10);
    EXPECT_TRUE(back.FrameRate);

    // Apply: the dialog filled the stored copy; it reaches the working copy and the file.
    store.stored.Volume = 70;
    EXPECT_TRUE(store.apply());
    EXPECT_EQ(store.working.Volume, 70);
    readsettingsfile(back, path);
    EXPECT_EQ(back.Volume, 70);

    // Re-reading for the dialog leaves the working copy alone.
    store.working.Volume = 5;
    store.reloadstored();
    EXPECT_EQ(store.stored.Volume, 70);
    EXPECT_EQ(store.working.Volume, 5);
    EXPECT_FALSE(std::filesystem::exists(path + ".tmp"));
}

TEST_F(SettingsFile, BinaryGarbageNeverCrashes) {
    std::string bytes;
    uint32_t x = 12345;
    for (int i = 0; i < 20000; i++) {
        x = x * 1103515245 + 12345;
        char c = char(x >> 16);
        if (i % 37 == 0) c = '=';
        if (i % 53 == 0) c = '\n';
        bytes += c;
    }
    bytes += "\nJoypad1=2725\nColor3=00FF00\nRecent0=/ok.gb";
    {
        std::ofstream f(path, std::ios::binary);
        f << bytes;
    }
    tsettings s;
    EXPECT_TRUE(readsettingsfile(s, path));
    EXPECT_EQ(s.keys[1][0], 0x27);
    EXPECT_EQ(s.colors[15], 0x00FF00u);
    EXPECT_EQ(s.recent[0], "/ok.gb");
    EXPECT_GE(s.Volume, 0);
    EXPECT_LE(s.Volume, 100);
    EXPECT_GT(s.Speed, 0);
}

TEST(ResolvingPaths, RelativeNamesAreTakenFromTheProgramFolder) {
    EXPECT_EQ(resolvepath("tov.ini", "/opt/tov/"), "/opt/tov/tov.ini");
    EXPECT_EQ(resolvepath("tov.ini", "/opt/tov"), "/opt/tov/tov.ini");
    EXPECT_EQ(resolvepath("/home/u/x.wav", "/opt/tov/"), "/home/u/x.wav");
    EXPECT_EQ(resolvepath("saves\\a.sav", "/opt/tov/"), "/opt/tov/saves/a.sav");
    EXPECT_EQ(resolvepath("\\tmp\\b", "/opt/tov/"), "/tmp/b");
}

}  // namespace
}  // namespace tov
