#include "video/border.h"

#include <algorithm>
#include <unordered_map>

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

void picturesizeforclient(int32_t cw, int32_t ch, int32_t bw, int32_t bh, int32_t& pw, int32_t& ph) {
    bw = std::max(bw, 160);
    bh = std::max(bh, 144);
    pw = int32_t(int64_t(cw) * 160 / bw);
    ph = int32_t(int64_t(ch) * 144 / bh);
}

tpicturerect placepicture(int32_t cw, int32_t ch, int32_t bw, int32_t bh, int32_t sx, int32_t sy, int32_t pw,
                          int32_t ph) {
    bw = std::max(bw, 160);
    bh = std::max(bh, 144);
    tpicturerect r;
    r.x = int32_t((cw - int64_t(bw) * pw / 160) / 2 + int64_t(sx) * pw / 160);
    r.y = int32_t((ch - int64_t(bh) * ph / 144) / 2 + int64_t(sy) * ph / 144);
    r.width = pw;
    r.height = ph;
    return r;
}

void clientsizeforpicture(int32_t width, int32_t height, int32_t bw, int32_t bh, int32_t& cw, int32_t& ch) {
    bw = std::max(bw, 160);
    bh = std::max(bh, 144);
    cw = int32_t(int64_t(width) * bw / 160);
    ch = int32_t(int64_t(height) * bh / 144);
}

int windowsizeentry(int32_t pw, int32_t ph) {
    for (int n = 1; n <= 4; ++n)
        if (pw == n * 160 && ph == n * 144) return n;
    return 0;
}

void fullscreenplacement(int32_t dw, int32_t dh, const tborder& border, int32_t& bx, int32_t& by, int32_t& px,
                         int32_t& py) {
    bx = (dw - border.width()) / 2;
    by = (dh - border.height()) / 2;
    px = bx + (border.present ? border.screenx : 0);
    py = by + (border.present ? border.screeny : 0);
}

void borderpalette8(const tbitmap& border, std::array<uint32_t, 256>& palette) {
    std::vector<uint32_t> found;
    std::unordered_map<uint32_t, int> seen;
    bool fits = true;
    for (int32_t y = 0; y < border.height && fits; ++y) {
        for (int32_t x = 0; x < border.width; ++x) {
            const uint32_t c = border.pixel(x, y);
            if (seen.emplace(c, int(found.size())).second) {
                found.push_back(c);
                if (found.size() > 180) {
                    fits = false;
                    break;
                }
            }
        }
    }
    if (fits) {
        for (size_t i = 0; i < found.size(); ++i) palette[68 + i] = found[i];
    } else {
        for (int j = 0; j < 180; ++j) {
            const uint32_t r = uint32_t((j % 5) * 255 / 4);
            const uint32_t g = uint32_t(((j / 5) % 6) * 255 / 5);
            const uint32_t b = uint32_t((j / 30) * 255 / 5);
            palette[68 + j] = r | g << 8 | b << 16;
        }
    }
    palette[0] = 0;
    palette[255] = 0xFFFFFF;
}

}  // namespace tov
