// The option table of "tov.ini" and the routines that reset, read and write the settings record.
#include "frontend/settings.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "core/safefile.h"

namespace tov {

namespace {

constexpr toptionentry boolopt(bool tsettings::*f, const char* key, int def) {
    toptionentry e{};
    e.boolfield = f;
    e.type = toptiontype::boolean;
    e.key = key;
    e.defaultint = def;
    return e;
}
constexpr toptionentry intopt(int32_t tsettings::*f, const char* key, int32_t def,
                              int32_t lo = INT32_MIN, int32_t hi = INT32_MAX) {
    toptionentry e{};
    e.intfield = f;
    e.type = toptiontype::integer;
    e.key = key;
    e.defaultint = def;
    e.minint = lo;
    e.maxint = hi;
    return e;
}
constexpr toptionentry floatopt(double tsettings::*f, const char* key, double def) {
    toptionentry e{};
    e.floatfield = f;
    e.type = toptiontype::floating;
    e.key = key;
    e.defaultfloat = def;
    return e;
}
constexpr toptionentry stringopt(std::string tsettings::*f, const char* key, const char* def) {
    toptionentry e{};
    e.stringfield = f;
    e.type = toptiontype::string;
    e.key = key;
    e.defaultstring = def;
    return e;
}

// The file is written in this order.
const std::array<toptionentry, optioncount> table = {
    boolopt(&tsettings::WaveOut, "WaveOut", 1),
    boolopt(&tsettings::WavFileOut, "WavFileOut", 0),
    intopt(&tsettings::Samplerate, "Samplerate", 44100, 1000, 384000),
    boolopt(&tsettings::Bits8, "8Bits", 0),
    stringopt(&tsettings::WavFilename, "WavFilename", "gbsound.wav"),
    boolopt(&tsettings::RecordMovie, "RecordMovie", 0),
    boolopt(&tsettings::RecordHalfSpeed, "RecordHalfSpeed", 1),
    stringopt(&tsettings::LastRomDir, "LastRomDir", ""),
    stringopt(&tsettings::RomDir, "RomDir", ""),
    stringopt(&tsettings::SaveRamDir, "SaveRamDir", ""),
    intopt(&tsettings::Width, "Width", 320, -16384, 16384),
    intopt(&tsettings::Height, "Height", 288, -16384, 16384),
    intopt(&tsettings::WinX, "WinX", 0, -65536, 65536),
    intopt(&tsettings::WinY, "WinY", 0, -65536, 65536),
    boolopt(&tsettings::PauseOnDefocus, "PauseOnDefocus", 0),
    boolopt(&tsettings::NoWindow, "NoWindow", 0),
    intopt(&tsettings::Windowmode, "Windowmode", 0),
    intopt(&tsettings::FullscreenMode, "FullscreenMode", 1),
    floatopt(&tsettings::Gamma, "Gamma", 2.2),
    floatopt(&tsettings::ColorSaturation, "ColorSaturation", 0.85),
    intopt(&tsettings::ColorWhitepoint, "ColorWhitepoint", 16777215),
    stringopt(&tsettings::ReflectorColor, "ReflectorColor", ""),
    boolopt(&tsettings::DetectGBP, "DetectGBP", 0),
    boolopt(&tsettings::DetectGBA, "DetectGBA", 0),
    boolopt(&tsettings::StayOnTop, "StayOnTop", 0),
    boolopt(&tsettings::FrameRate, "FrameRate", 0),
    intopt(&tsettings::MaxSkip, "MaxSkip", 9, 0, 1000),
    boolopt(&tsettings::CheatAutoSave, "CheatAutoSave", 0),
    boolopt(&tsettings::StateAutoConvert, "StateAutoConvert", 1),
    intopt(&tsettings::Volume, "Volume", 90, 0, 100),
    boolopt(&tsettings::LCDcolors, "LCDcolors", 1),
    intopt(&tsettings::Interpolation, "Interpolation", 0),
    boolopt(&tsettings::Pitch, "Pitch", 0),
    boolopt(&tsettings::Sleep, "Sleep", 1),
    boolopt(&tsettings::MMTimer, "MMTimer", 1),
    floatopt(&tsettings::Speed, "Speed", 1.0),
    boolopt(&tsettings::BootImage, "BootImage", 1),
    stringopt(&tsettings::Background, "Background", "backgrnd.bmp"),
    stringopt(&tsettings::BackgroundGBC, "BackgroundGBC", ""),
    intopt(&tsettings::SoundBufSize, "SoundBufSize", 42, 1, 1000),
    intopt(&tsettings::Border, "Border", 1),
    intopt(&tsettings::Blend, "Blend", 0),
    boolopt(&tsettings::StartOpen, "StartOpen", 0),
    boolopt(&tsettings::SQWave, "SQWave", 0),
    boolopt(&tsettings::SGBnocolors, "SGBnocolors", 0),
    boolopt(&tsettings::nullgfx, "nullgfx", 0),
    intopt(&tsettings::bpp, "bpp", 0),
    boolopt(&tsettings::DSound, "DSound", 1),
    boolopt(&tsettings::DSoundWarning, "DSoundWarning", 0),
    boolopt(&tsettings::DDraw, "DDraw", 1),
    boolopt(&tsettings::DDrawBB, "DDrawBB", 1),
    boolopt(&tsettings::DDrawFS, "DDrawFS", 0),
    intopt(&tsettings::DDrawFSWidth, "DDrawFSWidth", 320, 160, 16384),
    intopt(&tsettings::DDrawFSHeight, "DDrawFSHeight", 240, 144, 16384),
    intopt(&tsettings::DDrawFSHz, "DDrawFSHz", 0),
    boolopt(&tsettings::DDrawWarning, "DDrawWarning", 0),
    intopt(&tsettings::VSync, "VSync", 0),
    boolopt(&tsettings::fastSGB, "fastSGB", 1),
    boolopt(&tsettings::SpriteLimit, "SpriteLimit", 1),
    boolopt(&tsettings::DebugEcho, "DebugEcho", 0),
    boolopt(&tsettings::EmulateHaltBug, "EmulateHaltBug", 1),
    boolopt(&tsettings::DebugHaltBugBreak, "DebugHaltBugBreak", 0),
    boolopt(&tsettings::DebugSgbStartBreak, "DebugSgbStartBreak", 0),
    boolopt(&tsettings::EmulateInaccVRAM, "EmulateInaccVRAM", 1),
    boolopt(&tsettings::DebugVRAMbreak, "DebugVRAMbreak", 0),
    boolopt(&tsettings::DebugDisableLCD, "DebugDisableLCD", 0),
    boolopt(&tsettings::EmulateSramD, "EmulateSramD", 1),
    boolopt(&tsettings::DebugSramBreak, "DebugSramBreak", 0),
    boolopt(&tsettings::DebugMBCaddr, "DebugMBCaddr", 0),
    boolopt(&tsettings::DebugSrcBrk, "DebugSrcBrk", 0),
    intopt(&tsettings::UninitedWRAM, "UninitedWRAM", 0),
    stringopt(&tsettings::WRAMinitvalue, "WRAMinitvalue", "00"),
    boolopt(&tsettings::DebugWRAMbreak, "DebugWRAMbreak", 0),
    boolopt(&tsettings::DebugInc16OAMBreak, "DebugInc16OAMBreak", 0),
    boolopt(&tsettings::DebugScreen, "DebugScreen", 0),
    boolopt(&tsettings::DebugLowercase, "DebugLowercase", 1),
    boolopt(&tsettings::CpuMeter, "CpuMeter", 0),
    intopt(&tsettings::SystemMode, "SystemMode", 3),
    boolopt(&tsettings::RegClick, "RegClick", 0),
    boolopt(&tsettings::StartDebug, "StartDebug", 0),
    boolopt(&tsettings::DebugEsc, "DebugEsc", 1),
    intopt(&tsettings::DebugBgColor, "DebugBgColor", 16777215),
    intopt(&tsettings::DebugTextColor, "DebugTextColor", 0),
    intopt(&tsettings::DebugHLTextColor, "DebugHLTextColor", 16777215),
    intopt(&tsettings::DebugBrkColor, "DebugBrkColor", 255),
    intopt(&tsettings::DebugCurrentColor, "DebugCurrentColor", 16711680),
    intopt(&tsettings::DebugHilightColor, "DebugHilightColor", 8421504),
    intopt(&tsettings::DebugFontSize, "DebugFontSize", 9, 4, 72),
    stringopt(&tsettings::DebugFont, "DebugFont", "courier new"),
    intopt(&tsettings::DebugFontDense, "DebugFontDense", 2, 0, 20),
    intopt(&tsettings::DataFollow, "DataFollow", 0),
    intopt(&tsettings::CartMode, "CartMode", 1),
    boolopt(&tsettings::GBCpalPD, "GBCpalPD", 0),
    boolopt(&tsettings::LoadRomWarnings, "LoadRomWarnings", 1),
    boolopt(&tsettings::BOpendialog, "BOpendialog", 0),
    boolopt(&tsettings::JoyFocus, "JoyFocus", 1),
    boolopt(&tsettings::JoyOpposite, "JoyOpposite", 0),
    boolopt(&tsettings::RemoteJoy, "RemoteJoy", 1),
    stringopt(&tsettings::LinkListenAddr, "LinkListenAddr", "8765"),
    stringopt(&tsettings::LinkConnectAddr, "LinkConnectAddr", "127.0.0.1"),
    stringopt(&tsettings::DmgBootRom, "DmgBootRom", ""),
    intopt(&tsettings::MBC7Joystick, "MBC7Joystick", 0),
};

char upper(char c) { return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c; }

bool equalsnocase(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); i++)
        if (upper(a[i]) != upper(b[i])) return false;
    return true;
}

bool startswith(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() && s.substr(0, prefix.size()) == prefix;
}

std::string_view trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

// Cut to the string limit. A CR left at the end would be taken for the CR of a CR LF line end
// when the file is read again, so the value would not read back as stored: it is dropped.
std::string cut(std::string_view s) {
    s = s.substr(0, maxsettingstring);
    while (!s.empty() && s.back() == '\r') s.remove_suffix(1);
    return std::string(s);
}

// Player index of "Joypad"/"JoystickNum"/"JoystickBtn" keys: the two characters after the prefix,
// 0 when they are no number. The modulo is kept non-negative so "Joypad-1" cannot index
// outside the four players.
int playerfromkey(std::string_view key, size_t prefixlength) {
    int32_t n = 0;
    if (!parseint(key.substr(std::min(prefixlength, key.size()), 2), n)) n = 0;
    return ((n % playercount) + playercount) % playercount;
}

// 17 pairs of hex digits into the cells; a pair that is missing or does not parse stays.
void readcodes(std::array<uint8_t, inputfunctioncount>& cells, std::string_view value) {
    for (size_t i = 0; i < cells.size(); i++) {
        if (2 * i >= value.size()) break;
        uint32_t v = 0;
        if (parsehex(value.substr(2 * i, 2), v)) cells[i] = uint8_t(v);
    }
}

std::string hexcodes(const std::array<uint8_t, inputfunctioncount>& cells) {
    std::string s;
    char buf[4];
    for (uint8_t c : cells) {
        std::snprintf(buf, sizeof buf, "%02X", c);
        s += buf;
    }
    return s;
}

}  // namespace

std::span<const toptionentry> optiontable() { return table; }

const toptionentry* findoption(std::string_view key) {
    for (const auto& e : table)
        if (equalsnocase(key, e.key)) return &e;
    return nullptr;
}

bool parseint(std::string_view text, int32_t& out) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    int32_t v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 10);
    if (ec != std::errc() || p != text.data() + text.size()) return false;
    out = v;
    return true;
}

bool parsefloat(std::string_view text, double& out) {
    text = trim(text);
    if (!text.empty() && text.front() == '+') text.remove_prefix(1);
    if (text.empty()) return false;
    double v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v,
                                   std::chars_format::fixed);
    if (ec != std::errc() || p != text.data() + text.size() || !std::isfinite(v)) return false;
    out = v;
    return true;
}

bool parsehex(std::string_view text, uint32_t& out) {
    text = trim(text);
    if (text.empty()) return false;
    uint32_t v = 0;
    auto [p, ec] = std::from_chars(text.data(), text.data() + text.size(), v, 16);
    if (ec != std::errc() || p != text.data() + text.size()) return false;
    out = v;
    return true;
}

std::string formatfloat(double v, int mindecimals, int maxdecimals) {
    if (!std::isfinite(v)) v = 0;
    maxdecimals = std::clamp(maxdecimals, 0, 17);
    mindecimals = std::clamp(mindecimals, 0, maxdecimals);
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.*f", maxdecimals, v);
    std::string s = buf;
    size_t point = s.find('.');
    if (point != std::string::npos) {
        size_t keep = point + 1 + size_t(mindecimals);
        while (s.size() > keep && s.back() == '0') s.pop_back();
        if (s.back() == '.') s.pop_back();
    }
    // Rounding can leave "-0.0"; a zero carries no sign in the file.
    if (s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos) s.erase(0, 1);
    return s;
}

std::string optiontext(const tsettings& s, const toptionentry& e) {
    switch (e.type) {
        case toptiontype::integer: return std::to_string(s.*e.intfield);
        case toptiontype::boolean: return (s.*e.boolfield) ? "1" : "0";
        case toptiontype::string: return s.*e.stringfield;
        case toptiontype::floating: return formatfloat(s.*e.floatfield, 1, 8);
    }
    return {};
}

bool setoptiontext(tsettings& s, const toptionentry& e, std::string_view value) {
    switch (e.type) {
        case toptiontype::integer: return parseint(value, s.*e.intfield);
        case toptiontype::boolean: s.*e.boolfield = (value == "1"); return true;
        case toptiontype::string: s.*e.stringfield = cut(value); return true;
        case toptiontype::floating: return parsefloat(value, s.*e.floatfield);
    }
    return false;
}

void setdefaults(tsettings& s) {
    std::vector<std::string> schemes = std::move(s.colorschemes);
    s = tsettings{};
    s.colorschemes = std::move(schemes);
    for (const auto& e : table) {
        switch (e.type) {
            case toptiontype::integer: s.*e.intfield = e.defaultint; break;
            case toptiontype::boolean: s.*e.boolfield = (e.defaultint & 0xFF) != 0; break;
            case toptiontype::string: s.*e.stringfield = e.defaultstring; break;
            case toptiontype::floating: s.*e.floatfield = e.defaultfloat; break;
        }
    }
    for (auto& p : s.keys) p.fill(unassigned);
    for (auto& p : s.joybuttons) p.fill(unassigned);

    // Player 0 on the arrows, S/A, Shift/Enter and the function keys.
    auto& k0 = s.keys[0];
    k0[inRight] = 39;  // VK_RIGHT
    k0[inLeft] = 37;
    k0[inUp] = 38;
    k0[inDown] = 40;
    k0[inA] = 83;  // "S"
    k0[inB] = 65;  // "A"
    k0[inSelect] = 16;  // VK_SHIFT
    k0[inStart] = 13;  // VK_RETURN
    k0[inFastForward] = 107;  // numeric-pad +
    k0[inQuickLoad] = 115;  // F4
    k0[inQuickSave] = 113;  // F2
    k0[inResetGB] = 106;  // numeric-pad *
    k0[inToggleCheats] = 109;  // numeric-pad -
    k0[inPause] = 27;  // Esc
    // Player 1: right..start on the digit keys "1".."8".
    for (int f = inRight; f <= inStart; f++) s.keys[1][f] = uint8_t('1' + f);
    // Players 0 and 1 on a joystick: X/Y axes, A = button 2, B = button 1, select 3, start 4.
    for (int p = 0; p < 2; p++) {
        auto& j = s.joybuttons[p];
        j[inRight] = 1;
        j[inLeft] = 0;
        j[inUp] = 2;
        j[inDown] = 3;
        j[inA] = 9;
        j[inB] = 8;
        j[inSelect] = 10;
        j[inStart] = 11;
    }
    s.joysticknum = {1, 2, 0, 0};
    static constexpr uint32_t shades[4] = {0xD0F8E0, 0x70C088, 0x506830, 0x201808};
    for (int i = 0; i < 16; i++) s.colors[i] = shades[i & 3];
    s.Speed = 1.0;
    s.SystemMode = 3;
}

void clampsettings(tsettings& s) {
    if (!(s.Speed > 0)) s.Speed = 1.0;
    for (const auto& e : table)
        if (e.type == toptiontype::integer) s.*e.intfield = std::clamp(s.*e.intfield, e.minint, e.maxint);
}

bool readsettingsline(tsettings& s, std::string_view line) {
    while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
    size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    std::string key(line.substr(0, eq));
    for (char& c : key) c = upper(c);
    std::string_view value = line.substr(eq + 1);

    if (const toptionentry* e = findoption(key)) {
        setoptiontext(s, *e, value);
        clampsettings(s);
        return true;
    }
    if (startswith(key, "JOYPAD")) {
        readcodes(s.keys[playerfromkey(key, 6)], value);
        return true;
    }
    if (startswith(key, "JOYSTICKNUM")) {
        parseint(value, s.joysticknum[playerfromkey(key, 11)]);
        return true;
    }
    if (startswith(key, "JOYSTICKBTN")) {
        readcodes(s.joybuttons[playerfromkey(key, 11)], value);
        return true;
    }
    if (startswith(key, "COLOR") && key.size() > 5 && key[5] >= '0' && key[5] <= '9') {
        int32_t index = 0;
        uint32_t colour = 0;
        if (!parseint(std::string_view(key).substr(5, 5), index)) return false;
        if (!parsehex(value, colour)) return true;
        index %= 16;
        colour &= 0xFFFFFF;  // 0x00BBGGRR
        s.colors[index] = colour;
        // A file holding only colours 0..3 sets all four palettes.
        if (index < 4)
            for (int i = index + 4; i < 16; i += 4) s.colors[i] = colour;
        return true;
    }
    if (key == "COLORSCHEME") {
        s.colorschemes.emplace_back(value);
        return true;
    }
    if (startswith(key, "RECENT")) {
        int32_t slot = -1;
        if (!parseint(std::string_view(key).substr(6, 2), slot)) slot = -1;
        if (slot >= 0 && slot < int32_t(s.recent.size())) s.recent[slot] = cut(value);
        return true;
    }
    return false;
}

void readsettingstext(tsettings& s, std::string_view text) {
    s.colorschemes.clear();
    setdefaults(s);
    while (!text.empty()) {
        size_t nl = text.find('\n');
        std::string_view line = text.substr(0, nl);
        readsettingsline(s, line);
        if (nl == std::string_view::npos) break;
        text.remove_prefix(nl + 1);
    }
    clampsettings(s);
}

bool readsettingsfile(tsettings& s, const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    if (!f) {
        s.colorschemes.clear();
        setdefaults(s);
        return false;
    }
    std::ostringstream text;
    text << f.rdbuf();
    readsettingstext(s, text.str());
    return true;
}

std::string settingstext(const tsettings& s) {
    std::string out;
    auto line = [&](const std::string& key, const std::string& value) {
        out += key;
        out += '=';
        out += value;
        out += '\n';
    };
    for (const auto& e : table) line(e.key, optiontext(s, e));
    for (int n = 0; n < playercount; n++) {
        line("Joypad" + std::to_string(n), hexcodes(s.keys[n]));
        line("JoystickBtn" + std::to_string(n), hexcodes(s.joybuttons[n]));
        line("JoystickNum" + std::to_string(n), std::to_string(s.joysticknum[n]));
    }
    for (int n = 0; n < 16; n++) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%06X", unsigned(s.colors[n] & 0xFFFFFF));
        line("Color" + std::to_string(n), buf);
    }
    for (size_t n = 0; n < s.recent.size(); n++) line("Recent" + std::to_string(n), s.recent[n]);
    for (const auto& scheme : s.colorschemes) line("ColorScheme", scheme);
    return out;
}

bool writesettingsfile(const tsettings& s, const std::string& path) {
    std::string text = settingstext(s);
    // Beside the file, then renamed over it: a failed write never leaves a cut-off "tov.ini",
    // and when no new file can be made the old one stays as it was.
    return replacefile(path, text.data(), text.size());
}

std::string resolvepath(std::string_view name, std::string_view programdir) {
    std::string n(name);
    std::replace(n.begin(), n.end(), '\\', '/');
    if (!n.empty() && n[0] == '/') return n;
    std::string dir(programdir);
    if (!dir.empty() && dir.back() != '/') dir += '/';
    return dir + n;
}

bool tsettingsstore::load() {
    bool ok = readsettingsfile(stored, path_);
    working = stored;
    return ok;
}

bool tsettingsstore::reloadstored() { return readsettingsfile(stored, path_); }

bool tsettingsstore::save() {
    stored = working;
    return writesettingsfile(stored, path_);
}

bool tsettingsstore::apply() {
    working = stored;
    return writesettingsfile(stored, path_);
}

}  // namespace tov
