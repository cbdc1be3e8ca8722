// Colour conversion, DMG user colours, presets, schemes and the reflector colour.
#include <gtest/gtest.h>

#include "videotest.h"
#include "frontend/settings.h"
#include "video/gbcolors.h"

namespace tov::test {
namespace {

uint32_t red(uint32_t c) { return c & 0xFF; }
uint32_t green(uint32_t c) { return (c >> 8) & 0xFF; }
uint32_t blue(uint32_t c) { return (c >> 16) & 0xFF; }

TEST(GbcColours, PlainConversionWidensFiveBitChannels) {
    tgbcolors colors;
    colors.lcdcorrect = false;
    colors.rebuild(0.85, 0xFFFFFF);
    EXPECT_EQ(colors.convert(0x7FFF), 0xFFFFFFu);
    EXPECT_EQ(colors.convert(0x0000), 0u);
    EXPECT_EQ(colors.convert(16), 132u);
    EXPECT_EQ(colors.convert(16 << 5), 132u << 8);
    EXPECT_EQ(colors.convert(16 << 10), 132u << 16);
    EXPECT_EQ(colors.convert(0x801F), 0xFFu);  // bit 15 plays no part
    // Gamma, saturation and white point do not touch the plain conversion.
    colors.gamma = 1.0;
    colors.rebuild(0.2, 0x000080);
    EXPECT_EQ(colors.convert(16), 132u);
}

TEST(GbcColours, LcdLookKeepsBlackAndWhiteAndShapesTheRest) {
    tgbcolors colors;
    colors.gamma = 2.2;
    colors.lcdcorrect = true;
    colors.rebuild(0.85, 0xFFFFFF);
    EXPECT_EQ(colors.convert(0x7FFF), 0xFFFFFFu);
    EXPECT_EQ(colors.convert(0x0000), 0u);
    const uint32_t grey = colors.convert(16 | 16 << 5 | 16 << 10);
    EXPECT_GT(red(grey), 150u);
    EXPECT_GT(green(grey), 150u);
    EXPECT_GT(blue(grey), 150u);
    const uint32_t pureblue = colors.convert(0x7C00);
    EXPECT_GT(green(pureblue), 100u);
    const uint32_t puregreen = colors.convert(0x03E0);
    EXPECT_EQ(red(puregreen), blue(puregreen));
    EXPECT_GT(red(puregreen), 0u);
    EXPECT_LT(red(puregreen), green(puregreen) / 2);
}

TEST(GbcColours, WhitePointTintsWhiteAndGammaZeroCountsAsOne) {
    tgbcolors colors;
    colors.lcdcorrect = true;
    colors.rebuild(0.85, 0x80FFFF);  // blue target at half
    const uint32_t white = colors.convert(0x7FFF);
    EXPECT_EQ(red(white), 0xFFu);
    EXPECT_EQ(green(white), 0xFFu);
    EXPECT_LT(blue(white), 0xFFu);
    EXPECT_GT(blue(white), 0x80u);  // gamma lifts the half level

    colors.gamma = 0;
    colors.rebuild(0.85, 0xFFFFFF);
    EXPECT_EQ(colors.gamma, 1.0);
    tgbcolors linear;
    linear.gamma = 1.0;
    linear.lcdcorrect = true;
    linear.rebuild(0.85, 0xFFFFFF);
    for (uint16_t c : {0x1234, 0x7C00, 0x03E0, 0x2108}) EXPECT_EQ(colors.convert(c), linear.convert(c));
}

TEST(GbcColours, ExtremeSettingsStayInsideTheTables) {
    tgbcolors colors;
    colors.lcdcorrect = true;
    for (double s : {-5.0, 0.0, 1.0, 3.0, 1e12}) {
        colors.gamma = -3;
        colors.rebuild(s, 0xFFFFFFFF);
        for (uint32_t c = 0; c < 0x8000; c += 97) EXPECT_LE(colors.convert(uint16_t(c)), 0xFFFFFFu);
    }
}

TEST(GbcColours, RendererUsesTheLcdLookOnlyInGbcMode) {
    tvideooptions settings;
    defaultsettings(settings);
    tcaptureout out;
    tgbdrawtov r(settings);
    r.gfxout = &out;
    r.lcdcolors = true;
    r.gbcmode = false;
    r.init();
    EXPECT_FALSE(r.colors->lcdcorrect);
    EXPECT_EQ(r.gbccolor(16), 132u);
    r.gbcmode = true;
    r.init();
    EXPECT_TRUE(r.colors->lcdcorrect);
    EXPECT_NE(r.gbccolor(16), 132u);
}

TEST(DmgColours, AppliedToTheirPaletteEntries) {
    tcaptureout out;
    tusercolors colors;
    for (int i = 0; i < 16; ++i) colors[i] = 0x010000u * uint32_t(i);
    applydmgcolors(out, colors);
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(out.palette[0x20 + i], colors[i]);
        EXPECT_EQ(out.palette[0x08 + i], colors[8 + i]);
    }
    EXPECT_EQ(out.palettecalls.back(), std::make_pair(0, 40));
}

TEST(DmgColours, ColorKeysOfTheSettingsFileReachThePalette) {
    // Only Color0 to Color3: every group gets the same four shades.
    tsettings s;
    readsettingstext(s, "Color0=FFFFFF\nColor1=AAAAAA\nColor2=555555\nColor3=000000\n");
    tcaptureout out;
    applydmgcolors(out, s.colors);
    for (int g = 0; g < 4; ++g) {
        EXPECT_EQ(out.palette[g < 2 ? 0x20 + 4 * g : 0x08 + 4 * (g - 2)], 0xFFFFFFu) << g;
        EXPECT_EQ(out.palette[(g < 2 ? 0x20 + 4 * g : 0x08 + 4 * (g - 2)) + 2], 0x555555u) << g;
    }
    // A later key for one group changes that group only.
    readsettingstext(s, "Color0=FFFFFF\nColor6=0000FF\n");
    applydmgcolors(out, s.colors);
    EXPECT_EQ(out.palette[0x24 + 2], 0x0000FFu);
    EXPECT_NE(out.palette[0x20 + 2], 0x0000FFu);
    // No scheme in the file: the presets; schemes read from it stay as they are.
    EXPECT_TRUE(fillpresetschemes(s.colorschemes));
    EXPECT_EQ(s.colorschemes.size(), 6u);
    readsettingstext(s, "ColorScheme=" + colorschemetext(colorpresets()[3]) + "\n");
    EXPECT_FALSE(fillpresetschemes(s.colorschemes));
    ASSERT_EQ(s.colorschemes.size(), 1u);
    EXPECT_EQ(parsecolorscheme(s.colorschemes[0]).name, "KiGB (green)");
}

TEST(DmgColours, ReflectorColourFallsBackToUserColour0) {
    tvideooptions s;
    s.colors[0] = 0xABCDEF;
    s.ReflectorColor = "";
    EXPECT_EQ(reflectorcolor(s), 0xABCDEFu);
    s.ReflectorColor = "xyz";
    EXPECT_EQ(reflectorcolor(s), 0xABCDEFu);
    s.ReflectorColor = "00ff80";
    EXPECT_EQ(reflectorcolor(s), 0x00FF80u);
    s.ReflectorColor = "$12";  // the prefix is the program's, not the user's
    EXPECT_EQ(reflectorcolor(s), 0xABCDEFu);
}

TEST(DmgColours, InterpolationBlendsShadeZeroAndThree) {
    tusercolors colors{};
    colors[4] = 0x000000;
    colors[7] = 0x3030FF;
    interpolateshades(colors, 1, 2);  // edit WIN, selection WIN
    EXPECT_EQ(colors[5], 0x101055u);
    EXPECT_EQ(colors[6], 0x2020AAu);
    EXPECT_EQ(colors[1], 0u);
    interpolateshades(colors, 1, 0);  // copied into every group
    EXPECT_EQ(colors[13], 0x101055u);
    EXPECT_EQ(colors[2], 0x2020AAu);
}

TEST(ColourSchemes, PresetsFillAnEmptyListOnly) {
    std::vector<std::string> schemes;
    EXPECT_TRUE(fillpresetschemes(schemes));
    ASSERT_EQ(schemes.size(), 6u);
    const tcolorscheme first = parsecolorscheme(schemes[0]);
    EXPECT_TRUE(first.valid);
    EXPECT_EQ(first.name, "TOV (lcd green)");
    EXPECT_EQ(first.colors[0], 0xD0F8E0u);
    EXPECT_EQ(first.colors[15], 0x201808u);
    EXPECT_EQ(first.colors[12], first.colors[0]);
    EXPECT_EQ(parsecolorscheme(schemes[5]).name, "DMG close to reality");
    EXPECT_EQ(parsecolorscheme(schemes[5]).colors[0], 0x46CBAFu);
    EXPECT_EQ(schemes[0].substr(0, 14), "D0F8E0.70C088.");
    EXPECT_FALSE(fillpresetschemes(schemes));
    EXPECT_EQ(schemes.size(), 6u);
}

TEST(ColourSchemes, InvalidTextsAreNamedDash) {
    const std::string good = colorschemetext(colorpresets()[1]);
    EXPECT_TRUE(parsecolorscheme(good).valid);
    EXPECT_EQ(parsecolorscheme(good.substr(0, 112)).name, "-");  // no name: too short
    std::string bad = good;
    bad[6] = ',';
    EXPECT_FALSE(parsecolorscheme(bad).valid);
    bad = good;
    bad[20] = 'G';
    EXPECT_FALSE(parsecolorscheme(bad).valid);
    EXPECT_EQ(parsecolorscheme(bad).name, "-");
    EXPECT_FALSE(parsecolorscheme("").valid);
}

TEST(ColourSchemes, AddReplacesSameNameIgnoringCase) {
    std::vector<std::string> schemes;
    fillpresetschemes(schemes);
    tusercolors mine{};
    mine[0] = 0x123456;
    addcolorscheme(schemes, mine, "Grey");
    ASSERT_EQ(schemes.size(), 6u);
    EXPECT_EQ(parsecolorscheme(schemes[1]).colors[0], 0x123456u);
    addcolorscheme(schemes, mine, "mine");
    EXPECT_EQ(schemes.size(), 7u);
    EXPECT_EQ(parsecolorscheme(schemes[6]).name, "mine");
}

TEST(ColourSchemes, ChoosingReplacesOnlyTheSelectedGroups) {
    tusercolors colors{};
    tusercolors scheme;
    for (int i = 0; i < 16; ++i) scheme[i] = 0x100u + uint32_t(i);
    choosecolorscheme(colors, scheme, 3);  // OBP0
    for (int i = 0; i < 16; ++i) EXPECT_EQ(colors[i], (i >= 8 && i < 12) ? scheme[i] : 0u) << i;
    choosecolorscheme(colors, scheme, 0);
    EXPECT_EQ(colors, scheme);
}

}  // namespace
}  // namespace tov::test
