#include "viewers/iomap.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "core/gb.h"
#include "core/hextext.h"

namespace tov {

namespace {

// The smallest of the distances that apply (-1 = none).
int32_t nearest(int32_t a, int32_t b) {
    if (a < 0) return b;
    if (b < 0) return a;
    return std::min(a, b);
}

constexpr uint32_t serialmask = 2047;  // a serial bit clock every 2048 units

}  // namespace

const std::array<tiomapcolumn, 6>& iomapcolumns() {
    static const std::array<tiomapcolumn, 6> columns = {{
        {"LCD", {{"LCDC", 0xFF40}, {"STAT", 0xFF41}, {"SCY", 0xFF42}, {"SCX", 0xFF43}, {"LY", 0xFF44},
                 {"LYC", 0xFF45}, {"DMA", 0xFF46}, {"BGP", 0xFF47}, {"OBP0", 0xFF48}, {"OBP1", 0xFF49},
                 {"WY", 0xFF4A}, {"WX", 0xFF4B}}},
        {"various", {{"SVBK", 0xFF70}, {"VBK", 0xFF4F}, {"KEY1", 0xFF4D}, {"JOYP", 0xFF00}, {"SB", 0xFF01},
                     {"SC", 0xFF02}, {"DIV", 0xFF04}, {"TIMA", 0xFF05}, {"TMA", 0xFF06}, {"TAC", 0xFF07},
                     {"IF", 0xFF0F}, {"IE", 0xFFFF}}},
        {"Sound 1", {{"ENT1", 0xFF10}, {"LEN1", 0xFF11}, {"ENV1", 0xFF12}, {"FRQ1", 0xFF13}, {"KIK1", 0xFF14}}},
        {"Sound 2", {{"N/A", 0xFF15}, {"LEN2", 0xFF16}, {"ENV2", 0xFF17}, {"FRQ2", 0xFF18}, {"KIK2", 0xFF19}}},
        {"Sound 3", {{"ON_3", 0xFF1A}, {"LEN3", 0xFF1B}, {"ENV3", 0xFF1C}, {"FRQ3", 0xFF1D}, {"KIK3", 0xFF1E}}},
        {"Sound 4", {{"N/A", 0xFF1F}, {"LEN4", 0xFF20}, {"ENV4", 0xFF21}, {"FRQ4", 0xFF22}, {"KIK4", 0xFF23}}},
    }};
    return columns;
}

std::string iomaplabel(const tiomapregister& r) { return std::string(r.name) + " " + hex(r.address, 4); }

const std::array<tlcdcbitinfo, 8>& lcdcbitinfo() {
    static const std::array<tlcdcbitinfo, 8> bits = {{
        {"BG", "off", "on"},
        {"OBJ", "off", "on"},
        {"OBJ", "8x8", "8x16"},
        {"BG", "9800-9bff", "9c00-9fff"},
        {"CHR", "8800-97ff", "8000-8fff"},
        {"WIN", "off", "on"},
        {"WIN", "9800-9bff", "9c00-9fff"},
        {"LCD", "off", "on"},
    }};
    return bits;
}

const std::array<const char*, 5>& interruptcaptions() {
    static const std::array<const char*, 5> names = {"VBlank 40", "LCD 48", "Timer 50", "Serial 58", "Joypad 60"};
    return names;
}

int32_t frameposition(const ttimingview& t) {
    using namespace frametiming;
    // At the end of line 153 LY already reads 0 while the LCD is still in VBlank.
    int32_t pos = (t.ly == 0 && (t.stat & 3) == 1) ? frame - t.lineleft : t.ly * line + line - t.lineleft;
    pos %= frame;
    return pos < 0 ? pos + frame : pos;
}

int32_t untilline(int32_t pos, int n) {
    using namespace frametiming;
    if (n < 0 || n > 153) return -1;
    int32_t t = (n == 0 ? line0 : n * line) - pos;
    return t < 0 ? t + frame : t;
}

int32_t untilhblank(int32_t pos) {
    using namespace frametiming;
    // HBlank begins 126 units into a line; from VBlank the next one is in line 0.
    int32_t a = ((frame + 126 - pos) % frame + frame) % frame;
    return a >= 2509 ? a % line : a;
}

int32_t untilmode2(int32_t pos) {
    using namespace frametiming;
    int32_t a = ((frame - pos) % frame + frame) % frame;
    return a >= 2509 ? a % line : a;
}

int32_t tiomap::countdown(int row) const {
    const ttimingview t = tgbinspect(gb).timing();
    const int32_t pos = frameposition(t);
    const bool lcdon = t.lcdc & 0x80;
    switch (row) {
    case 0: return lcdon ? untilline(pos, 144) : -1;
    case 1: {
        if (!lcdon) return -1;
        int32_t d = -1;
        if (t.stat & 0x08) d = nearest(d, untilhblank(pos));
        if (t.stat & 0x10) d = nearest(d, untilline(pos, 144));
        if (t.stat & 0x20) d = nearest(d, untilmode2(pos));
        if (t.stat & 0x40) d = nearest(d, untilline(pos, t.lyc));
        return d;
    }
    case 2: {
        const uint32_t m = tgb::timermask(t.tac, t.speed);
        if (m == 0xFFFFFFFFu) return -1;
        // To the next increment, then one whole period per step left before the overflow.
        return int32_t((m & (m - t.time)) + uint32_t(255 - t.tima) * (m + 1));
    }
    case 3: return int32_t(serialmask & (serialmask - t.time));
    case 4: return int32_t(((int64_t(pos) - userreference + frametiming::frame) % frametiming::frame +
                            frametiming::frame) % frametiming::frame);
    default: return -1;
    }
}

void tiomap::refresh() {
    tgbinspect inspect(gb);
    const auto& columns = iomapcolumns();
    for (size_t c = 0; c < columns.size(); c++) {
        auto& texts = view.registers[c];
        texts.clear();
        for (const tiomapregister& r : columns[c].rows) texts.push_back(hex(inspect.peek(r.address), 2));
    }
    const ttimingview t = inspect.timing();
    for (int j = 0; j < 8; j++) {
        view.lcdc[size_t(j)] = (t.lcdc >> j) & 1;
        view.lcdctext[size_t(j)] = view.lcdc[size_t(j)] ? lcdcbitinfo()[size_t(j)].whenon : lcdcbitinfo()[size_t(j)].whenoff;
    }
    const tcartview cart = inspect.cartbanks();
    if (cart.banked) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%X", unsigned(cart.rombank));
        view.Editrombank = buf;
        std::snprintf(buf, sizeof buf, "%X", unsigned(cart.rambank));
        view.Editsrambank = buf;
        view.Checkramenabled = cart.ramenabled;
        view.Checkmbc1 = cart.mbc1mode;
    }
    view.Edithdmas = hex(t.hdmasource, 4);
    view.Edithdmad = hex(t.hdmadest, 4);
    view.Edithdma5 = hex(t.hdma5, 2);
    for (int b = 2; b <= 6; b++) view.stat[size_t(b)] = (t.stat >> b) & 1;
    view.Editstatmode = std::to_string(t.stat & 3);
    view.Editwave.clear();
    for (int i = 0; i < 16; i++) {
        view.Editwave += hex(inspect.peek(uint16_t(0xFF30 + i)), 2);
        if ((i & 3) == 3) view.Editwave += ' ';
    }
    const uint8_t iflags = inspect.peek(0xFF0F), ie = inspect.peek(0xFFFF);
    for (int j = 0; j < 5; j++) {
        view.ifbits[size_t(j)] = (iflags >> j) & 1;
        view.iebits[size_t(j)] = (ie >> j) & 1;
        const int32_t d = countdown(j);
        view.countdowns[size_t(j)] = d < 0 ? "-" : std::to_string(d);
    }
    view.Checkdoublespeed = t.speed != 0;
    view.Checkhalted = t.halted;
    view.Editbgps = hex(inspect.peek(0xFF68), 2);
    view.Editbgpd = hex(inspect.peek(0xFF69), 2);
    view.Editobps = hex(inspect.peek(0xFF6A), 2);
    view.Editobpd = hex(inspect.peek(0xFF6B), 2);
    view.Editdivider = hex(t.time & 0x7FFFFFFFu, 8);
    view.Editnr50 = hex(inspect.peek(0xFF24), 2);
    view.Editnr51 = hex(inspect.peek(0xFF25), 2);
    view.Editnr52 = hex(inspect.peek(0xFF26), 2);
}

int32_t tiomap::usercountershown() const {
    const std::string& s = view.countdowns[4];
    char* end = nullptr;
    const long n = std::strtol(s.c_str(), &end, 10);
    return s.empty() || *end ? 0 : int32_t(n);
}

void tiomap::answerusercounter(int32_t shown, const std::string& answer) {
    char* end = nullptr;
    const long long a = std::strtoll(answer.c_str(), &end, 10);
    const bool number = !answer.empty() && !*end;
    // Wrapped into one frame first, so that any entered number keeps the arithmetic in range.
    const int64_t wanted = number ? a % frametiming::frame : shown;
    // The remainder takes the sign of the dividend.
    userreference = int32_t((int64_t(userreference) + shown - wanted - frametiming::frame) % frametiming::frame);
    refresh();
}

void tiomap::togglebit(uint16_t address, int bit, bool newstate, bool regclick) {
    if (regclick) {
        const uint8_t value = tgbinspect(gb).peek(address);
        if (bool((value >> bit) & 1) != newstate) gb.writebyte(address, uint8_t(value ^ (1u << bit)));
    }
    refresh();
}

void tiomap::clicklcdc(int bit, bool newstate, bool regclick) {
    const uint8_t before = tgbinspect(gb).peek(0xFF40);
    togglebit(0xFF40, bit & 7, newstate, regclick);
    if (tgbinspect(gb).peek(0xFF40) != before && onlcdcchanged) onlcdcchanged();
}

void tiomap::clickstat(int bit, bool newstate, bool regclick) {
    // LY=LYC (bit 2) and the mode are the LCD's, not the program's to write.
    togglebit(0xFF41, bit, newstate, regclick && bit >= 3 && bit <= 6);
}

void tiomap::clickif(int bit, bool newstate, bool regclick) { togglebit(0xFF0F, bit, newstate, regclick && bit < 5); }

void tiomap::clickie(int bit, bool newstate, bool regclick) { togglebit(0xFFFF, bit, newstate, regclick && bit < 5); }

void tiomap::clickdoublespeed(bool newstate, bool regclick) {
    if (regclick && (tgbinspect(gb).timing().speed != 0) != newstate) gb.setspeed(newstate ? 1 : 0);
    refresh();
}

}  // namespace tov
