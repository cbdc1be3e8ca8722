// Border bitmaps cost what the picture can use: one larger than a border may be is refused
// from its header, before its pixels are read, and the window's border choice keeps a bitmap
// border between SGB border changes, so that a game sending several borders does not make
// the window read and search a large bitmap each time.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "video/border.h"
#include "video/gfxout.h"
#include "video/videooptions.h"

namespace fs = std::filesystem;
using namespace tov;

namespace {

// A bitmap of one colour with a 160 x 144 hole of another at (hx, hy).
void writeborder(const fs::path& file, int32_t w, int32_t h, int32_t hx, int32_t hy) {
    tbitmap b;
    ASSERT_TRUE(b.create(w, h, 24));
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++)
            b.setpixel(x, y, x >= hx && x < hx + 160 && y >= hy && y < hy + 144 ? 0 : 0x336699);
    ASSERT_TRUE(writebmp(b, file.string()));
}

}  // namespace

TEST(BorderLimits, BitmapIsReadOnceUntilForgotten) {
    const fs::path dir = fs::temp_directory_path() / ("tov-borderchooser-" + std::to_string(getpid()));
    fs::create_directories(dir);
    writeborder(dir / "frame.bmp", 200, 180, 4, 6);
    tvideooptions s;
    s.Border = 3;  // always the bitmap, also in SGB mode
    s.Background = "frame.bmp";
    std::vector<uint32_t> sgbpixels(256 * 224, 0x123456);
    tborderchooser chooser;

    tborder first = chooser.choose(s, false, true, sgbpixels.data(), dir.string());
    ASSERT_TRUE(first.present);
    EXPECT_EQ(first.screenx, 4);
    EXPECT_EQ(first.screeny, 6);
    // SGB border changes: the same border, the file not read again (even when it changed).
    writeborder(dir / "frame.bmp", 200, 180, 30, 20);
    for (int i = 0; i < 5; i++) {
        tborder again = chooser.choose(s, false, true, sgbpixels.data(), dir.string());
        EXPECT_EQ(again.screenx, 4);
        EXPECT_EQ(again.picture.pixels, first.picture.pixels);
    }
    EXPECT_EQ(chooser.bitmapreads(), 1);
    // A ROM load, reset or Apply forgets it: the new file is read.
    chooser.forget();
    EXPECT_EQ(chooser.choose(s, false, true, sgbpixels.data(), dir.string()).screenx, 30);
    EXPECT_EQ(chooser.bitmapreads(), 2);
    // Another file name (a GBC game with its own border) is read at once.
    writeborder(dir / "colour.bmp", 180, 160, 10, 8);
    s.BackgroundGBC = "colour.bmp";
    EXPECT_EQ(chooser.choose(s, true, false, nullptr, dir.string()).screenx, 10);
    EXPECT_EQ(chooser.bitmapreads(), 3);
    // SGB borders are never kept: each change gives the unit's new picture.
    s.Border = 2;
    tborder sgb = chooser.choose(s, false, true, sgbpixels.data(), dir.string());
    EXPECT_EQ(sgb.picture.pixel(0, 0), 0x123456u);
    sgbpixels.assign(sgbpixels.size(), 0x654321);
    EXPECT_EQ(chooser.choose(s, false, true, sgbpixels.data(), dir.string()).picture.pixel(0, 0), 0x654321u);
    EXPECT_EQ(chooser.bitmapreads(), 3);
    fs::remove_all(dir);
}

TEST(BorderLimits, OversizedBitmapsAreRefusedBeforeTheirPixels) {
    const fs::path dir = fs::temp_directory_path() / ("tov-borderlimits-" + std::to_string(getpid()));
    fs::create_directories(dir);
    struct tcase {
        int32_t w, h;
        size_t padding;      // bytes after the pixels
        int32_t maxside;
        const char* error;   // "" when it reads
    };
    const tcase cases[] = {
        {maxborderside, 150, 0, maxborderside, ""},
        {maxborderside + 1, 150, 0, maxborderside, "invalid bitmap size"},
        {160, maxborderside + 1, 0, maxborderside, "invalid bitmap size"},
        {maxborderside + 1, 150, 0, 0, ""},                 // any picture up to 16384
        {160, 150, 2 << 20, 200, "invalid file size"},      // larger than a 200 x 200 picture needs
        {160, 150, 2 << 20, 0, ""},
    };
    for (const tcase& c : cases) {
        tbitmap b;
        ASSERT_TRUE(b.create(c.w, c.h, 8));
        const fs::path file = dir / "big.bmp";
        ASSERT_TRUE(writebmp(b, file.string()));
        if (c.padding) fs::resize_file(file, fs::file_size(file) + c.padding);
        tbitmap read;
        std::string error;
        const bool ok = loadbmpfile(file.string(), read, &error, c.maxside);
        EXPECT_EQ(ok, *c.error == 0) << c.w << "x" << c.h << " max " << c.maxside;
        if (ok) {
            EXPECT_EQ(read.width, c.w);
        } else {
            EXPECT_EQ(error, c.error) << c.w << "x" << c.h;
        }
    }
    // The border reader takes at most maxborderside.
    tbitmap wide;
    ASSERT_TRUE(wide.create(maxborderside + 1, 150, 8));
    ASSERT_TRUE(writebmp(wide, (dir / "wide.bmp").string()));
    EXPECT_FALSE(bitmapborder((dir / "wide.bmp").string()).present);
    fs::remove_all(dir);
}
