// Colours of the picture: the GBC colour conversion (plain or with the LCD look), the DMG
// user colours with their presets and named schemes, and the reflector colour.
#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace tov {

struct tvideooptions;
class tgfxoutpal;

// Output palette entries (0x00BBGGRR colours), by the pixel values the renderer writes.
namespace palentry {
constexpr int blank = 1;         // blank-screen colour
constexpr int gbcbase = 4;       // GBC: 4 + palette RAM word (64 entries); SGB: 4 + 4p + c
constexpr int dmgobp0 = 0x08;    // user colours 8-11 (objects through OBP0)
constexpr int dmgobp1 = 0x0C;    // user colours 12-15 (objects through OBP1)
constexpr int derived = 16;      // 16-31: the colours as mapped through BGP, window, OBP0, OBP1
constexpr int dmgbg = 0x20;      // user colours 0-3 (background)
constexpr int dmgwin = 0x24;     // user colours 4-7 (window)
}  // namespace palentry

// Turns 15-bit GBC colours (red bits 0-4, green 5-9, blue 10-14) into 0x00BBGGRR.
class tgbcolors {
public:
    double gamma = 2.2;        // copy of `Gamma`; 0 counts as 1.0
    bool lcdcorrect = false;   // the LCD look (`LCDcolors` in GBC mode)

    tgbcolors();
    // Rebuilds every table; saturation and white point are read from the settings.
    void rebuild(const tvideooptions& settings);
    void rebuild(double saturation, uint32_t whitepoint);
    uint32_t convert(uint16_t gbccolor) const;

private:
    std::array<int32_t, 32> expand5{};
    std::array<int32_t, 1024> to8{};
    std::array<int32_t, 1024> gam{};
    std::array<int32_t, 1024> curve{};
    // mix[source channel][target channel][level]
    std::vector<int32_t> mix;
    int32_t& mixat(int source, int target, int level) { return mix[(source * 3 + target) * 1024 + level]; }
    int32_t mixat(int source, int target, int level) const { return mix[(source * 3 + target) * 1024 + level]; }
};

using tusercolors = std::array<uint32_t, 16>;

// A built-in scheme: four shades, lightest first, used for all four groups.
struct tcolorpreset {
    std::array<uint32_t, 4> shades;
    const char* name;
};
const std::array<tcolorpreset, 6>& colorpresets();

// Scheme text: 16 times six hex digits (0x00BBGGRR) and "."; then the name.
std::string colorschemetext(const tusercolors& colors, std::string_view name);
std::string colorschemetext(const tcolorpreset& preset);
struct tcolorscheme {
    bool valid = false;
    tusercolors colors{};
    std::string name;  // "-" for an invalid text
};
tcolorscheme parsecolorscheme(std::string_view text);
// Fills an empty scheme list with the six presets; true when it did.
bool fillpresetschemes(std::vector<std::string>& schemes);
// Adds a scheme or replaces the one of the same name (letter case ignored).
void addcolorscheme(std::vector<std::string>& schemes, const tusercolors& colors, std::string_view name);

// Group selection of the colour dialog: 0 all, 1 BG, 2 WIN, 3 OBP0, 4 OBP1.
// The chosen scheme's colours replace those of the selected groups only.
void choosecolorscheme(tusercolors& colors, const tusercolors& scheme, int group);
// Shades 1 and 2 of `editgroup` (0-3) become the blends of its shades 0 and 3, and are
// copied into every group of `selection` (as above).
void interpolateshades(tusercolors& colors, int editgroup, int selection);

// `ReflectorColor` as a colour; user colour 0 when it is not a hexadecimal value.
uint32_t reflectorcolor(const tvideooptions& settings);
// Writes user colours 8-15 to entries 8-15 and 0-7 to entries 32-39, then setpalette (0, 40).
void applydmgcolors(tgfxoutpal& out, const tusercolors& colors);

}  // namespace tov
