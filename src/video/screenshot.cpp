#include "video/screenshot.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "video/videooptions.h"
#include "video/gbdrawtov.h"

namespace tov {

std::string screenshotname(int32_t number) {
    char text[32];
    std::snprintf(text, sizeof text, "tov%05d.bmp", int(number));
    return text;
}

int32_t nextscreenshotnumber(const std::vector<std::string>& names) {
    int64_t highest = 0;
    for (const std::string& original : names) {
        std::string name = original;
        for (char& c : name) c = char(std::tolower((unsigned char)c));
        if (name.size() < 8 || name.compare(0, 3, "tov") != 0 || name.compare(name.size() - 4, 4, ".bmp") != 0) continue;
        const size_t dot = name.find('.');
        if (dot <= 3) continue;
        int64_t v = 0;
        bool digits = true;
        for (size_t i = 3; i < dot; ++i) {
            if (!std::isdigit((unsigned char)name[i]) || v > 100000000) {
                digits = false;
                break;
            }
            v = v * 10 + (name[i] - '0');
        }
        if (digits) highest = std::max(highest, v);
    }
    return int32_t(std::min<int64_t>(highest + 1, INT32_MAX));
}

std::string tscreenshots::folder() const { return programpath("scrnshot", programdir); }

bool tscreenshots::save(tgfxoutpal& out, std::string* message, std::string* savedfile) {
    tbitmap picture;
    if (!out.getpicture(picture)) return false;
    namespace fs = std::filesystem;
    const fs::path dir(folder());
    std::error_code ec;
    fs::create_directories(dir, ec);
    if (number <= 0) {
        std::vector<std::string> names;
        for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec))
            names.push_back(it->path().filename().string());
        number = nextscreenshotnumber(names);
    }
    const std::string file = (dir / screenshotname(number)).string();
    if (!writebmp(picture, file)) {
        if (message) *message = "error while saving screenshot";
        return false;
    }
    if (message) *message = "screenshot saved: " + std::to_string(number);
    if (savedfile) *savedfile = file;
    ++number;
    return true;
}

void setuppicture(tgbdrawtov& renderer, tgfxoutpal& out, const tvideooptions& settings) {
    out.setsize(160, 144);
    out.attach();
    renderer.gfxout = &out;
    renderer.colors->gamma = settings.Gamma;
    renderer.lcdcolors = settings.LCDcolors;
    renderer.init();
    if (!renderer.gbcmode && !(renderer.sgbmode && !settings.SGBnocolors)) applydmgcolors(out, settings.colors);
}

void drawpicture(tgfxoutpal& out, const tbitmap& picture, const tusercolors& colors) {
    if (picture.width <= 0 || picture.height <= 0) return;
    const std::array<uint32_t, 256> saved = out.palette;
    if (out.inframe) out.endframe();
    if (picture.bitsperpixel == 8) {
        // Indices 0-15 map onto the four background shades, darkest first.
        for (int i = 0; i < 16; ++i) {
            const int shade = i <= 6 ? 3 : i <= 10 ? 2 : i <= 14 ? 1 : 0;
            out.palette[i] = colors[shade];
        }
        out.setpalette(0, 16);
        out.beginframe();
        for (int y = 0; y < std::min(out.height, picture.height); ++y) {
            uint8_t* line = out.getline(y);
            if (!line) continue;
            std::memcpy(line, picture.row(y), size_t(std::min(out.width, picture.width)));
            out.lineready();
        }
        out.endframe();
        // Entries 0-15 also hold the game's sprite and GBC colours: give them back.
        out.palette = saved;
        out.setpalette(0, 256);
        return;
    }
    // Full colour through 8-bit lines: each line gets its own 160 palette entries.
    out.beginframe();
    const int w = std::min(out.width, 160);
    for (int y = 0; y < out.height; ++y) {
        for (int x = 0; x < w; ++x) {
            const int sx = int(int64_t(x) * picture.width / out.width);
            const int sy = int(int64_t(y) * picture.height / out.height);
            out.palette[x] = picture.pixel(sx, sy);
        }
        out.setpalette(0, w);
        uint8_t* line = out.getline(y);
        if (!line) continue;
        for (int x = 0; x < w; ++x) line[x] = uint8_t(x);
        out.lineready();
    }
    out.endframe();
    out.palette = saved;
    out.setpalette(0, 256);
}

bool capturepicture(tgfxoutpal& out, const tborder* border, tbitmap& result) {
    tbitmap picture;
    if (!out.getpicture(picture)) return false;
    if (border && border->present)
        result = composeborder(picture, border->picture, border->screenx, border->screeny);
    else
        result = std::move(picture);
    return result.width > 0;
}

bool savepicture(tgfxoutpal& out, const std::string& filename, const tborder* border) {
    tbitmap picture;
    return capturepicture(out, border, picture) && writepicture(picture, filename);
}

tmemorypicture::tmemorypicture() {
    auto surface = std::make_unique<tgfxwrapmemory>(32);
    // Headless runs read the picture in place (`getpicture`); no copy per presented frame.
    surface->keeppresented = false;
    memory = surface.get();
    out = std::make_unique<tgfxoutpalwrapped>(std::move(surface));
}

bool tmemorypicture::savewithborder(const std::string& filename, const tvideooptions& settings, const tgbdraw& renderer,
                                    const uint32_t* sgbpixels, const std::string& programdir) {
    const tborder border = chooseborder(settings, renderer.gbcmode, renderer.sgbmode, sgbpixels, programdir);
    return savepicture(*out, filename, &border);
}

void tmemorypicture::attach(tgbdrawtov& renderer, const tvideooptions& settings) { setuppicture(renderer, *out, settings); }

}  // namespace tov
