#include "video/border.h"

#include <algorithm>

#include "video/videooptions.h"

namespace tov {

tborderkind borderkind(const tvideooptions& s, bool gbcmode, bool sgbmode) {
    if (s.DebugScreen) return tborderkind::none;
    if (sgbmode && s.Border != 3) return (s.Border == 1 || s.Border == 2) ? tborderkind::sgb : tborderkind::none;
    if (s.Border == 2 || s.Border == 3) return tborderkind::bitmap;
    return tborderkind::none;
}

std::string borderbitmapname(const tvideooptions& s, bool gbcmode, bool sgbmode) {
    const bool colour = gbcmode || (sgbmode && !s.SGBnocolors);
    if (colour && !s.BackgroundGBC.empty()) return s.BackgroundGBC;
    return s.Background;
}

std::string programpath(const std::string& name, const std::string& programdir) {
    if (name.empty() || name[0] == '/' || programdir.empty()) return name;
    if (programdir.back() == '/') return programdir + name;
    return programdir + "/" + name;
}

namespace {
bool isscreenhole(const tbitmap& b, int32_t x, int32_t y) {
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
}  // namespace

void findscreenhole(const tbitmap& b, int32_t& x, int32_t& y) {
    x = std::max((b.width - 160) / 2, 0);
    y = std::max((b.height - 144) / 2, 0);
    if (b.width < 160 || b.height < 144 || b.height >= 1024) return;
    for (int32_t n = x; n >= 0; --n) {
        for (int32_t top = b.height - 144; top >= 0; --top) {
            if (isscreenhole(b, n, top)) {
                x = n;
                y = top;
                return;
            }
        }
        const int32_t mirrored = b.width - 160 - n;
        for (int32_t top = b.height - 144; top >= 0; --top) {
            if (isscreenhole(b, mirrored, top)) {
                x = mirrored;
                y = top;
                return;
            }
        }
    }
}

tborder sgbborder(const uint32_t* pixels, int32_t width, int32_t height) {
    tborder border;
    if (!pixels || !border.picture.create(width, height, 32)) return border;
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) border.picture.setpixel(x, y, pixels[size_t(y) * size_t(width) + size_t(x)]);
    border.present = true;
    border.screenx = 48;
    border.screeny = 40;
    return border;
}

tborder bitmapborder(const std::string& filename) {
    tborder border;
    if (filename.empty() || !loadbmpfile(filename, border.picture)) {
        border.picture = tbitmap();
        return border;
    }
    // Smaller than the screen: no room for the picture, so no border.
    if (border.picture.width < 160 || border.picture.height < 144) {
        border.picture = tbitmap();
        return border;
    }
    findscreenhole(border.picture, border.screenx, border.screeny);
    border.present = true;
    return border;
}

tborder chooseborder(const tvideooptions& s, bool gbcmode, bool sgbmode, const uint32_t* sgbpixels,
                     const std::string& programdir) {
    switch (borderkind(s, gbcmode, sgbmode)) {
        case tborderkind::sgb: return sgbborder(sgbpixels);
        case tborderkind::bitmap: return bitmapborder(programpath(borderbitmapname(s, gbcmode, sgbmode), programdir));
        default: return tborder();
    }
}

}  // namespace tov
