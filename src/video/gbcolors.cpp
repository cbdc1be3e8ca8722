#include "video/gbcolors.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

#include "core/hextext.h"
#include "video/videooptions.h"
#include "video/gfxout.h"

namespace tov {

namespace {
// Round to nearest, ties to even (the default rounding mode of nearbyint).
int32_t roundeven(long double v) {
    if (!(v == v)) return 0;
    if (v > 2.0e9L) return 2000000000;
    if (v < -2.0e9L) return -2000000000;
    return int32_t(std::nearbyintl(v));
}

long double powzero(long double x, long double p) { return x == 0 ? 0.0L : std::pow(x, p); }

long double scurve(long double x) {
    if (x < 0.5L) return 0.5L * std::pow(2 * x, 1.5L);
    return 1 - 0.5L * std::pow(2 - 2 * x, 1.5L);
}

bool parsehexfield(std::string_view text, uint32_t& out) {
    if (text.empty() || text.size() > 8) return false;
    uint32_t v = 0;
    for (char c : text) {
        const int d = hexdigit(c);
        if (d < 0) return false;
        v = v * 16 + uint32_t(d);
    }
    out = v;
    return true;
}

uint32_t rgb(uint32_t r, uint32_t g, uint32_t b) { return r | g << 8 | b << 16; }

// Channel mix of a group's colours for one group selection (0 all, 1-4 one group).
bool groupselected(int selection, int group) { return selection == 0 || selection == group + 1; }
}  // namespace

// ---- GBC colour conversion

tgbcolors::tgbcolors() : mix(3 * 3 * 1024, 0) { rebuild(0.85, 0xFFFFFF); }

void tgbcolors::rebuild(const tvideooptions& settings) { rebuild(settings.ColorSaturation, uint32_t(settings.ColorWhitepoint)); }

void tgbcolors::rebuild(double saturation, uint32_t whitepoint) {
    if (gamma == 0 || !std::isfinite(gamma)) gamma = 1.0;
    if (!std::isfinite(saturation)) saturation = 0.85;
    const long double g = gamma;
    for (int i = 0; i < 1024; ++i) {
        const long double x = (long double)i / 1023;
        gam[i] = std::min(roundeven(powzero(x, 1 / g) * 1023), 1023);
        to8[i] = roundeven(x * 255);
        curve[i] = roundeven(scurve(x) * 1023);
    }
    for (int v = 0; v < 32; ++v) expand5[v] = roundeven((long double)v * 1023 / 31);

    const long double w[3] = {0.299L, 0.587L, 0.114L};
    const long double s = saturation;
    long double diag[3], off[3];
    for (int k = 0; k < 3; ++k) {
        diag[k] = w[k] + (1 - w[k]) * s;
        off[k] = (1 - s) * w[k];
    }
    // Rows: source red, green, blue; columns: target red, green, blue.
    const long double matrix[3][3] = {{1, 0.05L, 0}, {0, 0.65L, 0}, {0, 0.3L, 1}};
    long double wp[3];
    for (int j = 0; j < 3; ++j) wp[j] = (whitepoint >> (8 * j)) & 0xFF;
    for (int i = 0; i < 1024; ++i) {
        for (int r = 0; r < 3; ++r) {
            long double v[3];
            for (int k = 0; k < 3; ++k) v[k] = i * matrix[r][k];
            for (int j = 0; j < 3; ++j) {
                const int j1 = (j + 1) % 3, j2 = (j + 2) % 3;
                const long double t = wp[j] * (v[j] * diag[j] + v[j1] * off[j1] + v[j2] * off[j2]) / 255;
                // Bounded so that three of them always sum without overflow.
                mixat(r, j, i) = std::clamp(roundeven(t), -1000000, 1000000);
            }
        }
    }
}

uint32_t tgbcolors::convert(uint16_t c) const {
    const int r = expand5[c & 31], g = expand5[(c >> 5) & 31], b = expand5[(c >> 10) & 31];
    if (!lcdcorrect) return uint32_t(to8[r]) | uint32_t(to8[g]) << 8 | uint32_t(to8[b]) << 16;
    const int cr = curve[r], cg = curve[g], cb = curve[b];
    uint32_t out = 0;
    for (int j = 0; j < 3; ++j) {
        // Saturation above 1 gives negative mixes: keep the level inside the tables.
        const int t = std::clamp(mixat(0, j, cr) + mixat(1, j, cg) + mixat(2, j, cb), 0, 1023);
        out |= uint32_t(to8[gam[t]]) << (8 * j);
    }
    return out;
}

// ---- DMG user colours and schemes

const std::array<tcolorpreset, 6>& colorpresets() {
    static const std::array<tcolorpreset, 6> presets = {{
        {{rgb(0xE0, 0xF8, 0xD0), rgb(0x88, 0xC0, 0x70), rgb(0x30, 0x68, 0x50), rgb(0x08, 0x18, 0x20)}, "TOV (lcd green)"},
        {{rgb(0xE8, 0xE8, 0xE8), rgb(0xA0, 0xA0, 0xA0), rgb(0x58, 0x58, 0x58), rgb(0x10, 0x10, 0x10)}, "grey"},
        {{rgb(0xF8, 0xE0, 0x88), rgb(0xD8, 0xB0, 0x58), rgb(0x98, 0x78, 0x38), rgb(0x48, 0x38, 0x18)}, "no$gmb (brown)"},
        {{rgb(0x50, 0xD0, 0x50), rgb(0x40, 0xA0, 0x40), rgb(0x30, 0x70, 0x30), rgb(0x20, 0x40, 0x20)}, "KiGB (green)"},
        {{rgb(0xF8, 0xF0, 0x78), rgb(0xB0, 0xA8, 0x48), rgb(0x68, 0x68, 0x30), rgb(0x20, 0x20, 0x10)}, "yellow"},
        {{rgb(0xAF, 0xCB, 0x46), rgb(0x79, 0xB2, 0x6D), rgb(0x22, 0x6F, 0x5F), rgb(0x08, 0x29, 0x55)}, "DMG close to reality"},
    }};
    return presets;
}

std::string colorschemetext(const tusercolors& colors, std::string_view name) {
    std::string text;
    char field[16];
    for (uint32_t c : colors) {
        std::snprintf(field, sizeof field, "%06X.", unsigned(c & 0xFFFFFF));
        text += field;
    }
    text += name.substr(0, 500);
    return text;
}

std::string colorschemetext(const tcolorpreset& preset) {
    tusercolors colors;
    for (int i = 0; i < 16; ++i) colors[i] = preset.shades[i & 3];
    return colorschemetext(colors, preset.name);
}

tcolorscheme parsecolorscheme(std::string_view text) {
    tcolorscheme scheme;
    scheme.name.assign(1, '-');
    if (text.size() <= 112) return scheme;
    for (int i = 0; i < 16; ++i) {
        if (text[7 * i + 6] != '.') return scheme;
        uint32_t v = 0;
        for (int k = 0; k < 6; ++k) {
            const int digit = hexdigit(text[7 * i + k]);
            if (digit < 0) return scheme;
            v = v * 16 + uint32_t(digit);
        }
        scheme.colors[i] = v;
    }
    scheme.valid = true;
    scheme.name.assign(text.data() + 112, std::min<size_t>(text.size() - 112, 500));
    return scheme;
}

bool fillpresetschemes(std::vector<std::string>& schemes) {
    if (!schemes.empty()) return false;
    for (const tcolorpreset& p : colorpresets()) schemes.push_back(colorschemetext(p));
    return true;
}

void addcolorscheme(std::vector<std::string>& schemes, const tusercolors& colors, std::string_view name) {
    const std::string text = colorschemetext(colors, name);
    auto lower = [](std::string s) {
        for (char& c : s) c = char(std::tolower((unsigned char)c));
        return s;
    };
    const std::string key = lower(std::string(name.substr(0, 500)));
    for (std::string& s : schemes) {
        const tcolorscheme existing = parsecolorscheme(s);
        if (existing.valid && lower(existing.name) == key) {
            s = text;
            return;
        }
    }
    schemes.push_back(text);
}

void choosecolorscheme(tusercolors& colors, const tusercolors& scheme, int group) {
    for (int g = 0; g < 4; ++g)
        if (groupselected(group, g))
            for (int i = 0; i < 4; ++i) colors[4 * g + i] = scheme[4 * g + i];
}

void interpolateshades(tusercolors& colors, int editgroup, int selection) {
    editgroup &= 3;
    const uint32_t a = colors[4 * editgroup], b = colors[4 * editgroup + 3];
    uint32_t one = 0, two = 0;
    for (int ch = 0; ch < 3; ++ch) {
        const uint32_t ca = (a >> (8 * ch)) & 0xFF, cb = (b >> (8 * ch)) & 0xFF;
        one |= ((cb + 2 * ca) / 3) << (8 * ch);
        two |= ((ca + 2 * cb) / 3) << (8 * ch);
    }
    colors[4 * editgroup + 1] = one;
    colors[4 * editgroup + 2] = two;
    for (int g = 0; g < 4; ++g) {
        if (!groupselected(selection, g)) continue;
        colors[4 * g + 1] = one;
        colors[4 * g + 2] = two;
    }
}

uint32_t reflectorcolor(const tvideooptions& settings) {
    uint32_t v;
    if (parsehexfield(settings.ReflectorColor, v)) return v & 0xFFFFFF;
    return settings.colors[0] & 0xFFFFFF;
}

void applydmgcolors(tgfxoutpal& out, const tusercolors& colors) {
    for (int i = 0; i < 8; ++i) {
        out.palette[palentry::dmgobp0 + i] = colors[8 + i];
        out.palette[palentry::dmgbg + i] = colors[i];
    }
    out.setpalette(0, 40);
}

}  // namespace tov
