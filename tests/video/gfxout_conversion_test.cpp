// Line conversion into surfaces: every depth and width through the step-wise loops, and
// lines left alone when nothing changed only while that is really the same picture.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "video/gfxout.h"

namespace tov::test {
namespace {

// Palette entry i: a colour whose three channels all differ from entry to entry.
uint32_t entrycolour(int i) { return uint32_t(i * 7 + 3) | uint32_t(255 - i) << 8 | uint32_t((i * 29) & 255) << 16; }

// What a 5-6-5 surface gives back for a colour: the top bits, widened again.
uint32_t as565(uint32_t c) {
    const uint32_t r = (c & 0xFF) >> 3, g = ((c >> 8) & 0xFF) >> 2, b = ((c >> 16) & 0xFF) >> 3;
    return ((r << 3) | (r >> 2)) | ((g << 2) | (g >> 4)) << 8 | ((b << 3) | (b >> 2)) << 16;
}

uint8_t indexat(int x, int y, int seed) { return uint8_t(x * 37 + y * 11 + seed); }

struct toutput {
    tgfxwrapmemory* memory;
    std::unique_ptr<tgfxoutpalwrapped> out;
    toutput(int bits, int width, int height) {
        auto surface = std::make_unique<tgfxwrapmemory>(bits);
        memory = surface.get();
        out = std::make_unique<tgfxoutpalwrapped>(std::move(surface));
        out->setsize(width, height);
        memory->setscreensize(width, height);
        out->attach();
        for (int i = 0; i < 256; ++i) out->palette[i] = entrycolour(i);
        out->setpalette(0, 256);
    }
    void drawframe(int seed) {
        out->beginframe();
        for (int y = 0; y < out->height; ++y) {
            uint8_t* line = out->getline(y);
            ASSERT_NE(line, nullptr);
            for (int x = 0; x < 160; ++x) line[x] = indexat(x, y, seed);
            out->lineready();
        }
        out->endframe();
    }
    // Every pixel shows the current palette colour of its index.
    void expectframe(int seed, const char* what) {
        tbitmap picture;
        ASSERT_TRUE(out->getpicture(picture)) << what;
        for (int y = 0; y < out->height; ++y)
            for (int x = 0; x < out->width; ++x) {
                uint32_t want = out->palette[indexat(x, y, seed)];
                if (memory->bitsperpixel == 16) want = as565(want);
                ASSERT_EQ(picture.pixel(x, y), want) << what << " at " << x << "," << y;
            }
    }
};

TEST(LineConversion, EveryWidthAndDepthConvertsEachPixelAndNoMore) {
    for (int bits : {16, 24, 32}) {
        for (int width : {1, 2, 3, 4, 5, 7, 8, 9, 13, 157, 160}) {
            SCOPED_TRACE("bits " + std::to_string(bits) + " width " + std::to_string(width));
            toutput s(bits, width, 3);
            // Row padding of the surface must survive the step-wise loops.
            std::memset(s.memory->memory.data(), 0xAB, s.memory->memory.size());
            s.drawframe(5);
            s.expectframe(5, "first frame");
            const int used = width * s.memory->bytesperpixel;
            for (int y = 0; y < 3; ++y)
                for (int b = used; b < s.memory->pitch; ++b)
                    ASSERT_EQ(s.memory->memory[size_t(y * s.memory->pitch + b)], 0xAB) << "row " << y << " byte " << b;
        }
    }
}

TEST(LineConversion, UnchangedLinesShowPaletteChangesMadeSinceTheLastFrame) {
    toutput s(32, 160, 144);
    s.drawframe(0);
    s.out->palette[indexat(0, 0, 0)] = 0x123456;
    s.out->setpalette(indexat(0, 0, 0), 1);
    s.drawframe(0);
    s.expectframe(0, "palette changed between frames");

    // A change in the middle of a frame reaches the later lines of that frame, and the
    // earlier lines in the next frame even though their indices stay the same.
    s.out->beginframe();
    for (int y = 0; y < 144; ++y) {
        if (y == 72) {
            for (int i = 0; i < 256; ++i) s.out->palette[i] = entrycolour(255 - i);
            s.out->setpalette(0, 256);
        }
        uint8_t* line = s.out->getline(y);
        for (int x = 0; x < 160; ++x) line[x] = indexat(x, y, 0);
        s.out->lineready();
    }
    s.out->endframe();
    tbitmap picture;
    ASSERT_TRUE(s.out->getpicture(picture));
    EXPECT_EQ(picture.pixel(3, 71), entrycolour(indexat(3, 71, 0)));
    EXPECT_EQ(picture.pixel(3, 72), entrycolour(255 - indexat(3, 72, 0)));
    s.drawframe(0);
    s.expectframe(0, "frame after a mid-frame palette change");
}

TEST(LineConversion, ChangedLinesAmongUnchangedOnesAreConverted) {
    toutput s(32, 160, 144);
    s.drawframe(1);
    s.out->beginframe();
    for (int y = 0; y < 144; ++y) {
        uint8_t* line = s.out->getline(y);
        for (int x = 0; x < 160; ++x) line[x] = indexat(x, y, 1);
        if (y % 10 == 3) line[159 - y] ^= 0x40;  // one pixel differs on some lines
        s.out->lineready();
    }
    s.out->endframe();
    tbitmap picture;
    ASSERT_TRUE(s.out->getpicture(picture));
    for (int y = 0; y < 144; ++y) {
        const uint8_t v = uint8_t(indexat(159 - y, y, 1) ^ (y % 10 == 3 ? 0x40 : 0));
        ASSERT_EQ(picture.pixel(159 - y, y), entrycolour(v)) << y;
    }
}

TEST(LineConversion, AMovedPictureOrANewSurfaceIsDrawnInFull) {
    toutput s(32, 160, 144);
    s.memory->setscreensize(256, 224);
    s.drawframe(2);
    // Same lines, new place in the surface.
    s.out->xoffset = 48;
    s.out->yoffset = 40;
    s.drawframe(2);
    s.expectframe(2, "moved picture");
    // The surface is made again (cleared): the same lines must be written again.
    s.memory->setscreensize(300, 240);
    s.drawframe(2);
    s.expectframe(2, "new surface");
    // Another depth: the format change rebuilds the colour table and the lines.
    s.memory->requestedbpp = 16;
    s.memory->init();
    s.drawframe(2);
    s.expectframe(2, "new depth");
}

// A surface whose memory is garbage after every present, like the back buffer of a flip.
class tflippingsurface : public tgfxwrapmemory {
public:
    tflippingsurface() : tgfxwrapmemory(32) {}
    void present() override {
        tgfxwrapmemory::present();
        std::memset(memory.data(), 0x5A, memory.size());
    }
    bool keepscontent() const override { return false; }
};

TEST(LineConversion, SurfacesThatDoNotKeepTheirContentGetEveryLine) {
    EXPECT_TRUE(tgfxwrapmemory(32).keepscontent());
    auto surface = std::make_unique<tflippingsurface>();
    tflippingsurface* flipping = surface.get();
    tgfxoutpalwrapped out(std::move(surface));
    out.setsize(160, 144);
    out.attach();
    for (int i = 0; i < 256; ++i) out.palette[i] = entrycolour(i);
    out.setpalette(0, 256);
    for (int frame = 0; frame < 2; ++frame) {
        out.beginframe();
        for (int y = 0; y < 144; ++y) {
            uint8_t* line = out.getline(y);
            for (int x = 0; x < 160; ++x) line[x] = indexat(x, y, 9);
            out.lineready();
        }
        out.endframe();
        if (frame == 0) out.present();
    }
    EXPECT_EQ(flipping->presentcount, 1);
    tbitmap picture;
    ASSERT_TRUE(out.getpicture(picture));
    for (int y = 0; y < 144; ++y)
        for (int x = 0; x < 160; ++x) ASSERT_EQ(picture.pixel(x, y), entrycolour(indexat(x, y, 9))) << x << "," << y;
}

TEST(MemorySurface, PresentKeepsACopyUnlessReadersUseTheSurfaceInPlace) {
    tgfxwrapmemory copying(32);
    copying.init();
    copying.memory[0] = 7;
    copying.present();
    ASSERT_EQ(copying.presented.size(), copying.memory.size());
    EXPECT_EQ(copying.presented[0], 7);
    EXPECT_EQ(copying.presentcount, 1);

    tgfxwrapmemory inplace(32);
    inplace.keeppresented = false;
    inplace.init();
    inplace.memory[0] = 7;
    inplace.present();
    EXPECT_EQ(inplace.presented[0], 0);
    EXPECT_EQ(inplace.presentcount, 1);
}

}  // namespace
}  // namespace tov::test
