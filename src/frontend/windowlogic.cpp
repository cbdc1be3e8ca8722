#include "frontend/windowlogic.h"

#include <algorithm>
#include <cstdio>

#include "video/sgb.h"

namespace tov {

namespace {

std::string lowered(std::string_view s) {
    std::string r(s);
    for (char& c : r)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return r;
}

}  // namespace

void addrecent(tsettings& s, const std::string& path) {
    if (path.empty()) return;
    std::string key = lowered(path);
    auto& r = s.recent;
    // Remove the equal entry (or the last one when there is none), then shift down.
    size_t hole = r.size() - 1;
    for (size_t i = 0; i < r.size(); i++)
        if (lowered(r[i]) == key) {
            hole = i;
            break;
        }
    for (size_t i = hole; i > 0; i--) r[i] = std::move(r[i - 1]);
    r[0] = path.substr(0, maxsettingstring);
}

void clearrecent(tsettings& s) {
    for (auto& r : s.recent) r.clear();
}

std::string recentitemtext(int n, const std::string& path) { return std::to_string(n) + " " + path; }

int menuentriesshown(int count, int rows) {
    rows = std::max(rows, 2);
    return count <= rows ? std::max(count, 0) : rows - 1;
}

int menurowsfitting(float height, float lineheight, float spacing) {
    if (!(lineheight > 0) || !(height > 0)) return 2;
    const float rows = (height + spacing) / (lineheight + spacing);
    return rows >= 2 ? int(std::min(rows, 1000.0f)) : 2;
}

std::string captiontext(const tcaptioninfo& c) {
    if (c.debugging) return "tov (debugging)";
    if (c.statusactive) return "tov - " + c.status;
    std::string base;
    if (!c.romloaded)
        base = "tov";
    else if (c.paused)
        base = "tov (paused)";
    else if (c.framerate)
        base = "tov - " + std::to_string(c.framesshown) + "/" + std::to_string(c.framesemulated);
    else
        base = "tov - " + c.romtitle;
    switch (c.link) {
        case tlinkstate::linked: return base + " (linked)";
        case tlinkstate::listening: return base + " (listening)";
        case tlinkstate::connecting: return base + " (connecting)";
        case tlinkstate::none: break;
    }
    return base;
}

twinsize bordersize(int32_t borderw, int32_t borderh) { return {std::max(borderw, 160), std::max(borderh, 144)}; }

twinsize snapclientsize(twinsize client, twinsize unit) {
    if (unit.w <= 0 || unit.h <= 0) return client;
    int32_t kx = std::max(1, (client.w + unit.w / 2) / unit.w);
    int32_t ky = std::max(1, (client.h + unit.h / 2) / unit.h);
    return {kx * unit.w, ky * unit.h};
}

twinsize picturesize(twinsize client, twinsize border) {
    if (client.w <= 0 || client.h <= 0 || border.w <= 0 || border.h <= 0) return {0, 0};
    return {int32_t(int64_t(client.w) * 160 / border.w), int32_t(int64_t(client.h) * 144 / border.h)};
}

twinrect pictureplace(twinsize client, twinsize border, twinsize screen, twinsize picture) {
    twinrect r;
    r.w = picture.w;
    r.h = picture.h;
    r.x = int32_t((client.w - int64_t(border.w) * picture.w / 160) / 2 + int64_t(screen.w) * picture.w / 160);
    r.y = int32_t((client.h - int64_t(border.h) * picture.h / 144) / 2 + int64_t(screen.h) * picture.h / 144);
    return r;
}

twinsize setupclientsize(const tsettings& s, twinsize border) {
    int32_t w = s.Width, h = s.Height;
    // A damaged or hand-edited file must not give an empty or absurd window.
    if (w < 1 || h < 1 || w > 16384 || h > 16384) {
        w = 160;
        h = 144;
    }
    return {int32_t(int64_t(w) * border.w / 160), int32_t(int64_t(h) * border.h / 144)};
}

bool sizeitemchecked(int k, twinsize picture) { return picture.w == k * 160 && picture.h == k * 144; }

twinrect fullscreenplace(int windowmode, twinsize display, twinsize border) {
    if (display.w <= 0 || display.h <= 0 || border.w <= 0 || border.h <= 0) return {};
    if (windowmode == 4) return {0, 0, display.w, display.h};
    // Largest size of the border's aspect that fits.
    int64_t w = display.w, h = int64_t(display.w) * border.h / border.w;
    if (h > display.h) {
        h = display.h;
        w = int64_t(display.h) * border.w / border.h;
    }
    return {int32_t((display.w - w) / 2), int32_t((display.h - h) / 2), int32_t(w), int32_t(h)};
}

tscreenlayout screenlayout(const tscreenview& v) {
    tscreenlayout l;
    const twinsize b = v.border;
    if (v.client.w <= 0 || v.client.h <= 0 || b.w <= 0 || b.h <= 0) return l;
    const twinsize screen = v.bordered ? v.screen : twinsize{0, 0};
    if (v.windowmode == 3 || v.windowmode == 4) {
        if (v.exclusive) {
            const bool asked = v.client == v.askedmode;
            const int32_t k = asked ? 1 : std::max(1, std::min(v.client.w / b.w, v.client.h / b.h));
            l.border = {(v.client.w - k * b.w) / 2, (v.client.h - k * b.h) / 2, k * b.w, k * b.h};
        } else {
            l.border = fullscreenplace(v.windowmode, v.client, b);
        }
        l.picture = {l.border.x + int32_t(int64_t(screen.w) * l.border.w / b.w),
                     l.border.y + int32_t(int64_t(screen.h) * l.border.h / b.h),
                     int32_t(int64_t(160) * l.border.w / b.w), int32_t(int64_t(144) * l.border.h / b.h)};
        return l;
    }
    const twinsize pic = picturesize(v.client, b);
    l.picture = pictureplace(v.client, b, screen, pic);
    l.border = {l.picture.x - int32_t(int64_t(screen.w) * pic.w / 160),
                l.picture.y - int32_t(int64_t(screen.h) * pic.h / 144), int32_t(int64_t(b.w) * pic.w / 160),
                int32_t(int64_t(b.h) * pic.h / 144)};
    l.frame = v.bordered;
    return l;
}

tmodechange altentermode(int32_t windowmode, int32_t fullscreenmode, bool exclusive) {
    if (windowmode == 3 || windowmode == 4) return {0, false};
    if (exclusive) return {4, true};
    return {fullscreenmode == 1 ? 4 : 3, false};
}

bool exclusiveavailable(const tsettings& s, bool romloaded) {
    return s.DDraw && s.DDrawFS && !s.DebugScreen && romloaded;
}

tkeyaction routekeydown(int vk, bool alt, bool repeat, bool uiwantskeyboard) {
    constexpr int vkreturn = 13, vkf5 = 0x74, vkf8 = 0x77, vkf11 = 0x7A;
    if (uiwantskeyboard || vk < 0) return {};
    if (vk == vkreturn && alt) return {repeat ? tkeyroute::ignore : tkeyroute::altenter};
    if (!repeat && vk == vkf11) return {tkeyroute::options};
    if (!repeat && vk >= vkf5 && vk <= vkf8) return {tkeyroute::soundchannel, vk - vkf5};
    return {tkeyroute::keyboard};
}

bool isstatefilename(std::string_view name) {
    if (name.size() < 4) return false;
    std::string_view tail = name.substr(name.size() - 4, 3);
    return tail[0] == '.' && (tail[1] == 's' || tail[1] == 'S') && (tail[2] == 'n' || tail[2] == 'N');
}

bool isbitmapname(std::string_view name) {
    return name.size() >= 4 && lowered(name.substr(name.size() - 4)) == ".bmp";
}

tdropkind dropkind(std::string_view path) {
    if (isbitmapname(path)) return tdropkind::border;
    return isstatefilename(path) ? tdropkind::state : tdropkind::rom;
}

void tdropqueue::file(std::string path) {
    if (path.empty()) return;
    if (indrop_) {
        if (takenfirst_) return;
        takenfirst_ = true;
    }
    pending_ = std::move(path);
}

std::string tdropqueue::take(bool ready) {
    std::string path;
    if (ready) path.swap(pending_);
    return path;
}

const uint32_t* sgbborderpixels(const tsgb& sgb) {
    const size_t size = size_t(tsgb::borderwidth) * size_t(tsgb::borderheight);
    return sgb.border.size() >= size ? sgb.border.data() : nullptr;
}

bool blankwithdmgcolors(const tsettings& s, bool gbcmode, bool sgbmode) {
    return !gbcmode && !(sgbmode && !s.SGBnocolors);
}

std::string romtitle(const uint8_t* header16) {
    std::string t;
    for (int i = 0; i < 16; i++)
        if (header16[i] != 0 && header16[i] < 0x80) t += char(header16[i]);
    return t;
}

twinrect growndebuggerrect(twinrect window, twinsize grown, twinrect usable) {
    const int32_t x = window.x - (grown.w - window.w) / 2, y = window.y - (grown.h - window.h) / 2;
    return {std::clamp(x, usable.x, std::max(usable.x, usable.x + usable.w - grown.w)),
            std::clamp(y, usable.y, std::max(usable.y, usable.y + usable.h - grown.h)), grown.w, grown.h};
}

twinrect restoredwindowrect(twinrect before, twinrect placed, int32_t nowx, int32_t nowy) {
    return {before.x + nowx - placed.x, before.y + nowy - placed.y, before.w, before.h};
}

std::string debuggercaption(bool stopped, bool gamerunning, const std::string& stopcaption) {
    if (stopped) return stopcaption;
    return gamerunning ? "running - debugger" : "debugger";
}

twinrect fitwindow(twinrect r, twinsize area) {
    const int32_t w = std::clamp(r.w, 0, std::max(0, area.w)), h = std::clamp(r.h, 0, std::max(0, area.h));
    return {std::clamp(r.x, 0, std::max(0, area.w - w)), std::clamp(r.y, 0, std::max(0, area.h - h)), w, h};
}

twinrect fitwindow(twinrect r, twinsize area, twinrect keepout) {
    twinrect f = fitwindow(r, area);
    const bool overlaps = keepout.w > 0 && keepout.h > 0 && f.x < keepout.x + keepout.w && keepout.x < f.x + f.w &&
                          f.y < keepout.y + keepout.h && keepout.y < f.y + f.h;
    if (!overlaps) return f;
    const int32_t below = area.h - (keepout.y + keepout.h), above = keepout.y;
    if (below >= f.h || (below > 0 && below >= above)) {
        f.h = std::min(f.h, below);
        f.y = keepout.y + keepout.h;
    } else if (above > 0) {
        f.h = std::min(f.h, above);
        f.y = std::min(f.y, above - f.h);
    }
    return f;
}

std::optional<twinrect> tcoveringwindow::cover(twinsize area, twinsize minimum) {
    if (userplaced_) return std::nullopt;
    given_ = twinrect{0, 0, std::max(area.w, minimum.w), std::max(area.h, minimum.h)};
    return given_;
}

void tcoveringwindow::drawn(twinrect now, bool byuser) {
    if (byuser && given_ && !(now == *given_)) userplaced_ = true;
}

twinrect ttoolwindowfit::fit(twinrect now, twinsize area, twinrect keepout, bool byuser) {
    if (!known_) {
        wanted_ = now;
        known_ = true;
    } else if (byuser) {
        if (now.x != given_.x || now.y != given_.y) wanted_.x = now.x, wanted_.y = now.y;
        if (now.w != given_.w || now.h != given_.h) wanted_.w = now.w, wanted_.h = now.h;
    }
    given_ = fitwindow(wanted_, area, keepout);
    return given_;
}

}  // namespace tov
