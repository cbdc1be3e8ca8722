// Picture outputs, surfaces, picture files, borders and screenshots.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "videotest.h"
#include "video/border.h"
#include "video/screenshot.h"

namespace tov::test {
namespace {

namespace fs = std::filesystem;

fs::path tempdir(const std::string& name) {
    fs::path dir = fs::temp_directory_path() / ("tov_video_" + name + "_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

std::vector<uint8_t> readfile(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}

// An output over a memory surface of the given depth, with a few palette entries set.
struct tsurfaceoutput {
    tgfxwrapmemory* memory;
    std::unique_ptr<tgfxoutpalwrapped> out;
    explicit tsurfaceoutput(int bits) {
        auto surface = std::make_unique<tgfxwrapmemory>(bits);
        memory = surface.get();
        out = std::make_unique<tgfxoutpalwrapped>(std::move(surface));
        out->setsize(160, 144);
        out->attach();
        out->palette[1] = 0x0000FF;  // red
        out->palette[2] = 0x00FF00;  // green
        out->palette[3] = 0xFF0000;  // blue
        out->palette[4] = 0x808080;
        out->setpalette(0, 256);
    }
    // Draws a frame: line y holds value 1 + (x + y) % 4.
    void drawframe() {
        out->beginframe();
        for (int y = 0; y < 144; ++y) {
            uint8_t* line = out->getline(y);
            ASSERT_NE(line, nullptr);
            for (int x = 0; x < 160; ++x) line[x] = uint8_t(1 + (x + y) % 4);
            out->lineready();
        }
        out->endframe();
    }
};

uint32_t expectedcolour(int x, int y) {
    static const uint32_t colours[4] = {0x0000FF, 0x00FF00, 0xFF0000, 0x808080};
    return colours[(x + y) % 4];
}

class OutputDepths : public ::testing::TestWithParam<int> {};

TEST_P(OutputDepths, LinesAreConvertedAndReadBackAsPictures) {
    tsurfaceoutput s(GetParam());
    s.drawframe();
    tbitmap picture;
    ASSERT_TRUE(s.out->getpicture(picture));
    EXPECT_EQ(picture.width, 160);
    EXPECT_EQ(picture.height, 144);
    // The picture keeps 5-6-5, 24-bit and palettised formats; 32 bits become 24.
    EXPECT_EQ(picture.bitsperpixel, GetParam() == 32 ? 24 : GetParam());
    for (int y = 0; y < 144; y += 7) {
        for (int x = 0; x < 160; x += 3) {
            uint32_t want = expectedcolour(x, y);
            if (GetParam() == 16) want = want == 0x808080 ? 0x848284 : want;  // 5-6-5 keeps the top bits
            ASSERT_EQ(picture.pixel(x, y), want) << x << "," << y;
        }
    }
}

TEST_P(OutputDepths, SurfacePixelsFollowTheChannelLayout) {
    tsurfaceoutput s(GetParam());
    s.drawframe();
    const uint8_t* p = s.memory->memory.data();
    switch (GetParam()) {
        case 32: {
            uint32_t v;
            std::memcpy(&v, p, 4);
            EXPECT_EQ(v, 0xFF0000u);  // red at bit 16
            break;
        }
        case 24: EXPECT_EQ(p[2], 0xFF); EXPECT_EQ(p[0], 0); break;
        case 16: EXPECT_EQ(p[0] | p[1] << 8, 0xF800); break;
        case 8: EXPECT_EQ(p[0], 1); EXPECT_EQ(s.memory->hwpalette[3], 0xFF0000u); break;
    }
}

INSTANTIATE_TEST_SUITE_P(Bits, OutputDepths, ::testing::Values(8, 16, 24, 32));

TEST(Output, PaletteChangesReachOnlyLaterLines) {
    tsurfaceoutput s(32);
    s.out->beginframe();
    uint8_t* line = s.out->getline(0);
    std::memset(line, 1, 160);
    s.out->lineready();
    s.out->palette[1] = 0x00FF00;
    s.out->setpalette(1, 1);
    line = s.out->getline(1);
    std::memset(line, 1, 160);
    s.out->endframe();  // a pending line is converted at the frame's end
    tbitmap picture;
    ASSERT_TRUE(s.out->getpicture(picture));
    EXPECT_EQ(picture.pixel(5, 0), 0x0000FFu);
    EXPECT_EQ(picture.pixel(5, 1), 0x00FF00u);
}

TEST(Output, LinesOutsideAFrameOrThePictureAreRefused) {
    tsurfaceoutput s(32);
    EXPECT_EQ(s.out->getline(0), nullptr);
    s.out->beginframe();
    EXPECT_EQ(s.out->getline(-1), nullptr);
    EXPECT_EQ(s.out->getline(144), nullptr);
    EXPECT_NE(s.out->getline(143), nullptr);
    s.out->endframe();
    // A picture placed beyond the surface is not drawn at all.
    s.out->xoffset = 10;
    s.out->beginframe();
    EXPECT_EQ(s.out->getline(0), nullptr);
    s.out->endframe();
    tbitmap picture;
    EXPECT_FALSE(s.out->getpicture(picture));
}

TEST(Output, PictureSitsAtItsOffsetInALargerSurface) {
    tsurfaceoutput s(32);
    s.memory->setscreensize(256, 224);
    s.out->xoffset = 48;
    s.out->yoffset = 40;
    s.drawframe();
    uint32_t v;
    std::memcpy(&v, s.memory->memory.data() + 40 * s.memory->pitch + 48 * 4, 4);
    EXPECT_EQ(v, 0xFF0000u);
    std::memcpy(&v, s.memory->memory.data(), 4);
    EXPECT_EQ(v, 0u);
    tbitmap picture;
    ASSERT_TRUE(s.out->getpicture(picture));
    EXPECT_EQ(picture.pixel(0, 0), 0x0000FFu);
}

TEST(Output, NullOutputHandsOutOneScratchLineAndNoPicture) {
    tgfxoutpalnull out;
    EXPECT_EQ(out.linebits(), 8);
    out.beginframe();
    uint8_t* a = out.getline(0);
    uint8_t* b = out.getline(100);
    EXPECT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    out.endframe();
    tbitmap picture;
    EXPECT_FALSE(out.getpicture(picture));
    tscreenshots shots(tempdir("null").string());
    EXPECT_FALSE(shots.save(out));
}

TEST(Output, BppSettingChoosesTheSurfaceDepth) {
    EXPECT_EQ(requestedbits(1), 8);
    EXPECT_EQ(requestedbits(2), 16);
    EXPECT_EQ(requestedbits(3), 24);
    EXPECT_EQ(requestedbits(4), 32);
    EXPECT_EQ(requestedbits(16), 16);
    for (int automatic : {0, 5, 7, -1}) EXPECT_EQ(requestedbits(automatic), 0) << automatic;
    // A depth the surface cannot make fails setting up with a message.
    tgfxoutpalwrapped odd(std::make_unique<tgfxwrapmemory>(requestedbits(12)));
    try {
        odd.attach();
        ADD_FAILURE() << "12 bits accepted";
    } catch (const std::exception& e) {
        EXPECT_STREQ(e.what(), "invalid bits per pixel");
    }
}

TEST(PictureFiles, BmpRoundTripsInEveryDepth) {
    const fs::path dir = tempdir("bmp");
    for (int bits : {8, 16, 24, 32}) {
        tsurfaceoutput s(bits);
        s.drawframe();
        tbitmap picture;
        ASSERT_TRUE(s.out->getpicture(picture));
        const fs::path file = dir / ("p" + std::to_string(bits) + ".bmp");
        ASSERT_TRUE(writebmp(picture, file.string()));
        tbitmap back;
        std::string error;
        ASSERT_TRUE(loadbmpfile(file.string(), back, &error)) << error;
        ASSERT_EQ(back.width, 160);
        ASSERT_EQ(back.height, 144);
        for (int y = 0; y < 144; y += 5)
            for (int x = 0; x < 160; x += 3) ASSERT_EQ(back.pixel(x, y), picture.pixel(x, y)) << bits;
    }
}

TEST(PictureFiles, PngIsChosenByTheName) {
    const fs::path dir = tempdir("png");
    tsurfaceoutput s(32);
    s.drawframe();
    const fs::path file = dir / "shot.PNG";
#ifdef TOV_HAVE_PNG
    ASSERT_TRUE(savepicture(*s.out, file.string()));
    const auto data = readfile(file);
    ASSERT_GE(data.size(), 8u);
    EXPECT_EQ(data[1], 'P');
    EXPECT_EQ(data[2], 'N');
    EXPECT_EQ(data[3], 'G');
#else
    EXPECT_FALSE(savepicture(*s.out, file.string()));
#endif
    ASSERT_TRUE(savepicture(*s.out, (dir / "shot.bmp").string()));
    EXPECT_EQ(readfile(dir / "shot.bmp")[0], 'B');
}

TEST(PictureFiles, WritingToAMissingFolderFails) {
    tsurfaceoutput s(32);
    s.drawframe();
    EXPECT_FALSE(savepicture(*s.out, "/nonexistent-folder-tov/x.bmp"));
    EXPECT_FALSE(savepicture(*s.out, "/nonexistent-folder-tov/x.png"));
}

TEST(PictureFiles, DamagedBitmapsAreRefused) {
    tbitmap good;
    ASSERT_TRUE(good.create(170, 150, 24));
    const fs::path dir = tempdir("bad");
    ASSERT_TRUE(writebmp(good, (dir / "g.bmp").string()));
    const auto data = readfile(dir / "g.bmp");
    tbitmap out;
    EXPECT_TRUE(readbmp(data, out));
    for (size_t cut : {size_t(0), size_t(10), size_t(40), size_t(60), data.size() - 1}) {
        std::vector<uint8_t> truncated(data.begin(), data.begin() + long(cut));
        EXPECT_FALSE(readbmp(truncated, out)) << cut;
    }
    auto huge = data;
    huge[18] = 0xFF;
    huge[19] = 0xFF;
    huge[20] = 0xFF;
    huge[21] = 0x7F;  // width 2^31 - 1
    EXPECT_FALSE(readbmp(huge, out));
    auto rle = data;
    rle[30] = 1;  // RLE8 is not read
    EXPECT_FALSE(readbmp(rle, out));
    auto offset = data;
    offset[10] = 0xFF;
    offset[11] = 0xFF;
    offset[12] = 0xFF;
    EXPECT_FALSE(readbmp(offset, out));
}

// ---- Borders

tbitmap borderwithhole(int w, int h, int hx, int hy, uint32_t frame, uint32_t hole) {
    tbitmap b;
    b.create(w, h, 32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) b.setpixel(x, y, frame);
    for (int y = hy; y < hy + 144; ++y)
        for (int x = hx; x < hx + 160; ++x) b.setpixel(x, y, hole);
    return b;
}

TEST(Borders, HoleSearchFindsTheSingleColouredScreen) {
    int32_t x, y;
    findscreenhole(borderwithhole(320, 240, 20, 30, 0x112233, 0), x, y);
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, 30);
    findscreenhole(borderwithhole(320, 240, 150, 90, 0x112233, 0), x, y);  // right of centre
    EXPECT_EQ(x, 150);
    EXPECT_EQ(y, 90);
    // No hole: the centre.
    tbitmap noisy = borderwithhole(321, 241, 0, 0, 0, 0);
    for (int j = 0; j < 241; j += 3)
        for (int i = 0; i < 321; i += 5) noisy.setpixel(i, j, 0xFFFFFF);
    findscreenhole(noisy, x, y);
    EXPECT_EQ(x, 80);
    EXPECT_EQ(y, 48);
    // Bitmaps 1024 rows high or more are not searched.
    findscreenhole(borderwithhole(200, 1024, 0, 0, 0x112233, 0), x, y);
    EXPECT_EQ(x, 20);
    EXPECT_EQ(y, 440);
}

TEST(Borders, HoleSearchRejectsEachBrokenEdgeAndGridPoint) {
    // A hole at (30, 20) in a 400 x 300 frame with one pixel of a second, perfect hole at
    // (200, 100) changed: the search must skip the broken one and find the whole one.
    struct tcase { int dx, dy; };
    const tcase breaks[] = {{0, 0}, {159, 0}, {0, 143}, {159, 143}, {80, 0}, {80, 143},
                            {0, 70}, {159, 70}, {8, 8}, {152, 136}, {80, 64}};
    for (const auto& c : breaks) {
        tbitmap b = borderwithhole(400, 300, 30, 20, 0x445566, 0);
        for (int y = 100; y < 244; ++y)
            for (int x = 120; x < 280; ++x) b.setpixel(x, y, 0);  // nearer the centre column
        b.setpixel(120 + c.dx, 100 + c.dy, 0xFFFFFF);
        int32_t x, y;
        findscreenhole(b, x, y);
        EXPECT_EQ(x, 30) << c.dx << "," << c.dy;
        EXPECT_EQ(y, 20) << c.dx << "," << c.dy;
    }
    // Off-grid pixels inside are allowed.
    tbitmap b = borderwithhole(400, 300, 120, 100, 0x445566, 0);
    b.setpixel(120 + 9, 100 + 9, 0xFFFFFF);
    int32_t x, y;
    findscreenhole(b, x, y);
    EXPECT_EQ(x, 120);
    EXPECT_EQ(y, 100);
}

TEST(Borders, WideBitmapsAreSearchedOnceOrRefused) {
    // The widest bitmap searched, with no hole anywhere: every candidate is tried and the
    // search ends at the centre.
    tbitmap b;
    ASSERT_TRUE(b.create(maxborderside, 1023, 32));
    // Dots every 3 columns on every 5th row: many windows have clean edges, every grid hits a dot.
    for (int y = 0; y < 1023; y += 5)
        for (int x = 0; x < maxborderside; x += 3) b.setpixel(x, y, 0x010101);
    int32_t x, y;
    findscreenhole(b, x, y);
    EXPECT_EQ(x, (maxborderside - 160) / 2);
    EXPECT_EQ(y, (1023 - 144) / 2);
    // A 16384 x 1023 file is more than any display shows: no border, and no search.
    const fs::path dir = tempdir("wideborder");
    tbitmap wide;
    ASSERT_TRUE(wide.create(16384, 1023, 24));
    ASSERT_TRUE(writebmp(wide, (dir / "wide.bmp").string()));
    EXPECT_FALSE(bitmapborder((dir / "wide.bmp").string()).present);
    tbitmap edge = borderwithhole(maxborderside, 200, 10, 10, 0x111111, 0);
    ASSERT_TRUE(writebmp(edge, (dir / "edge.bmp").string()));
    EXPECT_TRUE(bitmapborder((dir / "edge.bmp").string()).present);
}

TEST(Borders, ChoiceFollowsBorderModeAndDebugScreen) {
    tvideooptions s;
    s.Border = 1;
    EXPECT_EQ(borderkind(s, false, true), tborderkind::sgb);
    EXPECT_EQ(borderkind(s, false, false), tborderkind::none);
    s.Border = 2;
    EXPECT_EQ(borderkind(s, false, true), tborderkind::sgb);
    EXPECT_EQ(borderkind(s, true, false), tborderkind::bitmap);
    s.Border = 3;
    EXPECT_EQ(borderkind(s, false, true), tborderkind::bitmap);
    s.Border = 0;
    EXPECT_EQ(borderkind(s, false, true), tborderkind::none);
    s.Border = 3;
    s.DebugScreen = true;
    EXPECT_EQ(borderkind(s, false, false), tborderkind::none);

    s.Background = "backgrnd.bmp";
    s.BackgroundGBC = "";
    EXPECT_EQ(borderbitmapname(s, true, false), "backgrnd.bmp");
    s.BackgroundGBC = "gbc.bmp";
    EXPECT_EQ(borderbitmapname(s, true, false), "gbc.bmp");
    EXPECT_EQ(borderbitmapname(s, false, false), "backgrnd.bmp");
    EXPECT_EQ(borderbitmapname(s, false, true), "gbc.bmp");
    s.SGBnocolors = true;
    EXPECT_EQ(borderbitmapname(s, false, true), "backgrnd.bmp");
    EXPECT_EQ(programpath("a.bmp", "/opt/tov"), "/opt/tov/a.bmp");
    EXPECT_EQ(programpath("/x/a.bmp", "/opt/tov"), "/x/a.bmp");
}

TEST(Borders, BitmapBorderLoadsFromTheProgramFolder) {
    const fs::path dir = tempdir("border");
    tbitmap b = borderwithhole(256, 224, 40, 50, 0x336699, 0x000001);
    ASSERT_TRUE(writebmp(b, (dir / "backgrnd.bmp").string()));
    tvideooptions s;
    s.Border = 2;
    s.Background = "backgrnd.bmp";
    tborder border = chooseborder(s, false, false, nullptr, dir.string());
    ASSERT_TRUE(border.present);
    EXPECT_EQ(border.screenx, 40);
    EXPECT_EQ(border.screeny, 50);
    s.Background = "missing.bmp";
    EXPECT_FALSE(chooseborder(s, false, false, nullptr, dir.string()).present);
    // SGB border from the unit's picture.
    std::vector<uint32_t> sgb(256 * 224, 0x0000FF);
    s.Border = 1;
    border = chooseborder(s, false, true, sgb.data(), dir.string());
    ASSERT_TRUE(border.present);
    EXPECT_EQ(border.screenx, 48);
    EXPECT_EQ(border.screeny, 40);
    EXPECT_EQ(border.picture.pixel(0, 0), 0x0000FFu);
    EXPECT_FALSE(chooseborder(s, false, true, nullptr, dir.string()).present);
}

TEST(Borders, ComposedPictureSitsInTheHole) {
    tsurfaceoutput s(32);
    s.drawframe();
    tborder border = sgbborder(std::vector<uint32_t>(256 * 224, 0x00FFFF).data());
    tbitmap result;
    ASSERT_TRUE(capturepicture(*s.out, &border, result));
    EXPECT_EQ(result.width, 256);
    EXPECT_EQ(result.pixel(47, 40), 0x00FFFFu);
    EXPECT_EQ(result.pixel(48, 40), expectedcolour(0, 0));
    EXPECT_EQ(result.pixel(48 + 159, 40 + 143), expectedcolour(159, 143));
    EXPECT_EQ(result.pixel(48 + 160, 40), 0x00FFFFu);
}

// ---- Screenshots

TEST(Screenshots, NumberingContinuesAfterTheHighestFile) {
    EXPECT_EQ(screenshotname(1), "tov00001.bmp");
    EXPECT_EQ(screenshotname(123456), "tov123456.bmp");
    EXPECT_EQ(nextscreenshotnumber({}), 1);
    EXPECT_EQ(nextscreenshotnumber({"tov00007.bmp"}), 8);
    EXPECT_EQ(nextscreenshotnumber({"TOV00009.BMP", "tov00003.bmp", "other.bmp", "tovx.bmp", "tov.bmp", "tov00020.png"}), 10);
    // A short number listed after longer ones must not make the next shot overwrite a file.
    EXPECT_EQ(nextscreenshotnumber({"tov00010.bmp", "tov9.bmp"}), 11);
}

TEST(Screenshots, SavedInTheScrnshotFolder) {
    const fs::path dir = tempdir("shots");
    fs::create_directories(dir / "scrnshot");
    std::ofstream(dir / "scrnshot" / "tov00007.bmp") << "x";
    tsurfaceoutput s(16);
    s.drawframe();
    tscreenshots shots(dir.string());
    std::string message, file;
    ASSERT_TRUE(shots.save(*s.out, &message, &file));
    EXPECT_EQ(fs::path(file).filename(), "tov00008.bmp");
    EXPECT_EQ(message, "screenshot saved: 8");
    ASSERT_TRUE(shots.save(*s.out, &message, &file));
    EXPECT_EQ(fs::path(file).filename(), "tov00009.bmp");
    tbitmap back;
    ASSERT_TRUE(loadbmpfile(file, back));
    EXPECT_EQ(back.pixel(0, 0), expectedcolour(0, 0));

    tscreenshots fresh(tempdir("shots2").string());
    ASSERT_TRUE(fresh.save(*s.out, &message, &file));
    EXPECT_EQ(fs::path(file).filename(), "tov00001.bmp");
}

// ---- The renderer through a real output

TEST(MemoryPicture, RendererFrameEndsUpInTheScreenshot) {
    tvideooptions settings;
    defaultsettings(settings);
    std::vector<uint8_t> vram(0x4000, 0);
    uint8_t oam[160] = {};
    uint16_t palram[64] = {};
    tgbdrawtov r(settings);
    r.vram = vram.data();
    r.oam = oam;
    r.gbcpalram = palram;
    tmemorypicture picture;
    picture.attach(r, settings);
    // Tile 0 row 0: colours 0, 1, 2, 3 repeated.
    vram[0] = 0x55;
    vram[1] = 0x33;
    r.vramwrite(0, 0);
    r.ownregisters().lcdc = 0x91;
    r.ownregisters().bgp = 0xE4;
    r.framebegin();
    for (int ly = 0; ly < 144; ++ly) {
        r.startline(ly);
        r.drawline(ly);
    }
    r.frameend();
    r.refresh();
    EXPECT_EQ(picture.surface().presentcount, 1);
    const fs::path dir = tempdir("mem");
    ASSERT_TRUE(picture.save((dir / "f.bmp").string()));
    tbitmap back;
    ASSERT_TRUE(loadbmpfile((dir / "f.bmp").string(), back));
    for (int x = 0; x < 8; ++x) EXPECT_EQ(back.pixel(x, 0), settings.colors[x & 3]) << x;
    EXPECT_EQ(back.pixel(0, 1), settings.colors[0]);

    // GBC mode: palette RAM colours through the conversion.
    r.gbcmode = true;
    r.gbchardware = true;
    palram[1] = 0x001F;
    r.init();
    r.framebegin();
    r.startline(0);
    r.drawline(0);
    r.frameend();
    tbitmap gbc;
    ASSERT_TRUE(picture.output().getpicture(gbc));
    EXPECT_EQ(gbc.pixel(1, 0), r.gbccolor(0x001F));
}

TEST(MemoryPicture, SavedWithTheBorderTheSettingsAskFor) {
    tvideooptions settings;
    defaultsettings(settings);
    tgbdrawtov r(settings);
    tmemorypicture picture;
    picture.attach(r, settings);
    r.blank();
    const fs::path dir = tempdir("withborder");
    std::vector<uint32_t> sgb(256 * 224, 0x0000FF);
    r.sgbmode = true;
    settings.Border = 1;
    ASSERT_TRUE(picture.savewithborder((dir / "sgb.bmp").string(), settings, r, sgb.data(), dir.string()));
    tbitmap back;
    ASSERT_TRUE(loadbmpfile((dir / "sgb.bmp").string(), back));
    EXPECT_EQ(back.width, 256);
    EXPECT_EQ(back.pixel(0, 0), 0x0000FFu);
    EXPECT_EQ(back.pixel(48, 40), settings.colors[0]);  // the blank screen in its hole
    settings.Border = 0;
    ASSERT_TRUE(picture.savewithborder((dir / "none.bmp").string(), settings, r, sgb.data(), dir.string()));
    ASSERT_TRUE(loadbmpfile((dir / "none.bmp").string(), back));
    EXPECT_EQ(back.width, 160);
}

TEST(MemoryPicture, DrawPictureShowsAFullColourImage) {
    tsurfaceoutput s(32);
    tbitmap image;
    image.create(160, 144, 24);
    for (int y = 0; y < 144; ++y)
        for (int x = 0; x < 160; ++x) image.setpixel(x, y, uint32_t(x) | uint32_t(y) << 8 | 0x400000);
    const auto saved = s.out->palette;
    const auto surfacebefore = s.out->surfacecolors();
    tusercolors colors{};
    drawpicture(*s.out, image, colors);
    EXPECT_EQ(s.out->palette, saved);
    tbitmap back;
    ASSERT_TRUE(s.out->getpicture(back));
    EXPECT_EQ(back.pixel(10, 20), 10u | 20u << 8 | 0x400000u);
    EXPECT_EQ(back.pixel(159, 143), 159u | 143u << 8 | 0x400000u);

    tbitmap indexed;
    indexed.create(160, 144, 8);
    indexed.row(0)[0] = 0;
    indexed.row(0)[1] = 15;
    for (int i = 0; i < 16; ++i) colors[i] = 0x10u * uint32_t(i);
    drawpicture(*s.out, indexed, colors);
    ASSERT_TRUE(s.out->getpicture(back));
    EXPECT_EQ(back.pixel(0, 0), colors[3]);
    EXPECT_EQ(back.pixel(1, 0), colors[0]);
    // Entries 0-15 hold sprite and GBC colours too: the game's palette must come back.
    EXPECT_EQ(s.out->palette, saved);
    EXPECT_EQ(s.out->surfacecolors(), surfacebefore);
}

}  // namespace
}  // namespace tov::test
