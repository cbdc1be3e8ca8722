// Fuzz target: border bitmaps. The input is a ".bmp" file read as the window reads the
// `Background` setting's file: the BMP reader, the size limits and the search for the
// picture's hole, then the picture composed into the border as a screenshot does. Whatever
// the bytes, nothing may be read outside the file, and a border's hole must lie inside it.
// On bitmaps small enough the hole found is checked against a plain search by the rule (the
// first single-coloured 160 x 144 rectangle, edges and 8-pixel grid, from the centre column
// outwards and the bottom row up).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzzutil.h"
#include "video/border.h"
#include "video/gfxout.h"

namespace {

using namespace tov;

bool isholeplain(const tbitmap& b, int32_t x, int32_t y) {
    const uint32_t c = b.pixel(x, y);
    for (int32_t i = 0; i < 160; ++i)
        if (b.pixel(x + i, y) != c || b.pixel(x + i, y + 143) != c) return false;
    for (int32_t j = 0; j < 144; ++j)
        if (b.pixel(x, y + j) != c || b.pixel(x + 159, y + j) != c) return false;
    for (int32_t j = 8; j <= 136; j += 8)
        for (int32_t i = 8; i <= 152; i += 8)
            if (b.pixel(x + i, y + j) != c) return false;
    return true;
}

void findholeplain(const tbitmap& b, int32_t& x, int32_t& y) {
    x = (b.width - 160) / 2;
    y = (b.height - 144) / 2;
    if (b.height >= 1024) return;
    for (int32_t n = x; n >= 0; --n)
        for (int32_t column : {n, b.width - 160 - n})
            for (int32_t top = b.height - 144; top >= 0; --top)
                if (isholeplain(b, column, top)) {
                    x = column;
                    y = top;
                    return;
                }
}

[[noreturn]] void fail(const char* what, const tborder& border, int32_t x, int32_t y) {
    std::fprintf(stderr, "fuzz_border: %s: %dx%d, hole at %d,%d (expected %d,%d)\n", what, border.picture.width,
                 border.picture.height, border.screenx, border.screeny, x, y);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = fuzz::scratchpath("border.bmp");
    fuzz::writewhole(path, data, size);
    const tborder border = bitmapborder(path);
    if (!border.present) return 0;
    const tbitmap& b = border.picture;
    if (b.width < 160 || b.height < 144 || b.width > maxborderside || b.height > maxborderside)
        fail("a border of a size that is refused", border, 0, 0);
    if (border.screenx < 0 || border.screeny < 0 || border.screenx > b.width - 160 || border.screeny > b.height - 144)
        fail("the hole lies outside the border", border, 0, 0);
    // The plain search costs about a thousand reads per candidate place, so it checks the
    // bitmaps up to the Super Game Boy border's 256 x 224 (7857 places), the size that matters
    // most, and not the larger ones.
    if (int64_t(b.width - 159) * (b.height - 143) <= 7857) {
        int32_t x, y;
        findholeplain(b, x, y);
        if (x != border.screenx || y != border.screeny) fail("another hole than the rule's", border, x, y);
    }
    tbitmap picture;
    if (!picture.create(160, 144, 24)) std::abort();
    for (int32_t y = 0; y < 144; ++y)
        for (int32_t x = 0; x < 160; ++x) picture.setpixel(x, y, uint32_t(x * 0x010203 + y));
    const tbitmap shot = composeborder(picture, b, border.screenx, border.screeny);
    if (shot.width != b.width || shot.height != b.height) fail("the screenshot's size differs", border, 0, 0);
    return 0;
}
