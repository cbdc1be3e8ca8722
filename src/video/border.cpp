#include "video/border.h"

#include <algorithm>
#include <vector>

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
// Run lengths of equal colours, each saturated at what a hole needs: to the right (160 = the
// screen width), downwards (144 = the screen height) and to the right in steps of 8 pixels
// (19 = the grid points x + 8 .. x + 152). With them every candidate is tested in a fixed number
// of look-ups, so the search takes time linear in the pixels of the bitmap.
struct tholeruns {
    int32_t width = 0;
    std::vector<uint32_t> colour;
    std::vector<uint8_t> right, down, grid;
    size_t at(int32_t x, int32_t y) const { return size_t(y) * size_t(width) + size_t(x); }

    explicit tholeruns(const tbitmap& b) : width(b.width) {
        const size_t n = size_t(b.width) * size_t(b.height);
        colour.resize(n);
        right.resize(n);
        down.resize(n);
        grid.resize(n);
        for (int32_t y = 0; y < b.height; ++y)
            for (int32_t x = 0; x < b.width; ++x) colour[at(x, y)] = b.pixel(x, y);
        for (int32_t y = b.height - 1; y >= 0; --y)
            for (int32_t x = b.width - 1; x >= 0; --x) {
                const uint32_t c = colour[at(x, y)];
                right[at(x, y)] = (x + 1 < b.width && colour[at(x + 1, y)] == c)
                                      ? uint8_t(std::min(right[at(x + 1, y)] + 1, 160)) : 1;
                down[at(x, y)] = (y + 1 < b.height && colour[at(x, y + 1)] == c)
                                     ? uint8_t(std::min(down[at(x, y + 1)] + 1, 144)) : 1;
                grid[at(x, y)] = (x + 8 < b.width && colour[at(x + 8, y)] == c)
                                     ? uint8_t(std::min(grid[at(x + 8, y)] + 1, 19)) : 1;
            }
    }

    // The 160 x 144 rectangle at (x, y) has single-coloured edges, and the inner 8-pixel grid
    // (x + 8 .. x + 152, y + 8 .. y + 136) is of the same colour.
    bool ishole(int32_t x, int32_t y) const {
        const uint32_t c = colour[at(x, y)];
        if (right[at(x, y)] < 160 || down[at(x, y)] < 144) return false;
        if (colour[at(x, y + 143)] != c || right[at(x, y + 143)] < 160) return false;
        if (colour[at(x + 159, y)] != c || down[at(x + 159, y)] < 144) return false;
        for (int32_t j = 8; j <= 136; j += 8)
            if (colour[at(x + 8, y + j)] != c || grid[at(x + 8, y + j)] < 19) return false;
        return true;
    }
};
}  // namespace

void findscreenhole(const tbitmap& b, int32_t& x, int32_t& y) {
    x = std::max((b.width - 160) / 2, 0);
    y = std::max((b.height - 144) / 2, 0);
    if (b.width < 160 || b.height < 144 || b.height >= 1024 || b.width > maxborderside) return;
    const tholeruns runs(b);
    for (int32_t n = x; n >= 0; --n) {
        for (int32_t top = b.height - 144; top >= 0; --top) {
            if (runs.ishole(n, top)) {
                x = n;
                y = top;
                return;
            }
        }
        const int32_t mirrored = b.width - 160 - n;
        for (int32_t top = b.height - 144; top >= 0; --top) {
            if (runs.ishole(mirrored, top)) {
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
    // Wider or higher than `maxborderside`: refused from the header, before the file's pixels
    // are read (a 16384 x 16384 file would take 1 GiB).
    if (filename.empty() || !loadbmpfile(filename, border.picture, nullptr, maxborderside)) {
        border.picture = tbitmap();
        return border;
    }
    // Smaller than the screen: no room for the picture, so no border. Larger than any window
    // or display mode can show: refused before the hole search and the per-frame copies.
    if (border.picture.width < 160 || border.picture.height < 144 || border.picture.width > maxborderside ||
        border.picture.height > maxborderside) {
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

tborder tborderchooser::choose(const tvideooptions& s, bool gbcmode, bool sgbmode, const uint32_t* sgbpixels,
                               const std::string& programdir) {
    if (borderkind(s, gbcmode, sgbmode) != tborderkind::bitmap)
        return chooseborder(s, gbcmode, sgbmode, sgbpixels, programdir);
    const std::string name = programpath(borderbitmapname(s, gbcmode, sgbmode), programdir);
    if (!kept || name != file) {
        bitmap = bitmapborder(name);
        file = name;
        kept = true;
        reads++;
    }
    return bitmap;
}

void tborderchooser::forget() {
    kept = false;
    bitmap = tborder();
}

}  // namespace tov
