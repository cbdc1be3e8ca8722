#include "demorom.h"

namespace tov::demo {

void tassembler::label(const std::string& name) { labels[name] = pc; }

void tassembler::byte(uint8_t b) {
    if (pc < rom.size()) rom[pc] = b;
    pc++;
}

void tassembler::jr(tcond c, const std::string& target) {
    static const uint8_t op[] = {0x20, 0x28, 0x30, 0x38, 0x18};
    byte(op[c]);
    fixups.push_back({pc, target, true});
    byte(0);
}

void tassembler::jp(const std::string& target) {
    byte(0xC3);
    fixups.push_back({pc, target, false});
    word(0);
}

void tassembler::call(const std::string& target) {
    byte(0xCD);
    fixups.push_back({pc, target, false});
    word(0);
}

bool tassembler::finish(std::string& error) {
    for (const auto& f : fixups) {
        auto it = labels.find(f.target);
        if (it == labels.end()) {
            error = "unknown label " + f.target;
            return false;
        }
        if (f.relative) {
            int distance = int(it->second) - int(f.at + 1);
            if (distance < -128 || distance > 127) {
                error = "jr out of range to " + f.target;
                return false;
            }
            rom[f.at] = uint8_t(int8_t(distance));
        } else {
            rom[f.at] = uint8_t(it->second);
            rom[f.at + 1u] = uint8_t(it->second >> 8);
        }
    }
    return true;
}

const uint8_t headerlogo[48] = {
    0xCE, 0xED, 0x66, 0x66, 0xCC, 0x0D, 0x00, 0x0B, 0x03, 0x73, 0x00, 0x83, 0x00, 0x0C, 0x00, 0x0D,
    0x00, 0x08, 0x11, 0x1F, 0x88, 0x89, 0x00, 0x0E, 0xDC, 0xCC, 0x6E, 0xE6, 0xDD, 0xDD, 0xD9, 0x99,
    0xBB, 0xBB, 0x67, 0x63, 0x6E, 0x0E, 0xEC, 0xCC, 0xDD, 0xDC, 0x99, 0x9F, 0xBB, 0xB9, 0x33, 0x3E};

uint8_t headerchecksum(const std::vector<uint8_t>& rom) {
    uint8_t x = 0;
    for (int i = 0x134; i <= 0x14C; i++) x = uint8_t(x - rom[size_t(i)] - 1);
    return x;
}

uint16_t globalchecksum(const std::vector<uint8_t>& rom) {
    uint16_t sum = 0;
    for (size_t i = 0; i < rom.size(); i++)
        if (i != 0x14E && i != 0x14F) sum = uint16_t(sum + rom[i]);
    return sum;
}

namespace {

// I/O registers (offsets from 0xFF00 for ldh).
constexpr uint8_t P1 = 0x00, NR10 = 0x10, NR11 = 0x11, NR12 = 0x12, NR13 = 0x13, NR14 = 0x14, NR50 = 0x24,
                  NR51 = 0x25, NR52 = 0x26, LCDC = 0x40, SCX = 0x43, LY = 0x44, BGP = 0x47, OBP0 = 0x48,
                  WY = 0x4A, WX = 0x4B, PREVPAD = 0x80;  // 0xFF80: high RAM, last joypad state

constexpr uint8_t tilefloor = 2, tilewindow = 3, tileball = 4, tilehex = 0x10, tiletitle = 0x20;
constexpr uint16_t bgmap = 0x9800, windowmap = 0x9C00;
constexpr uint16_t countscreen = windowmap + 32 + 9;  // second window row, columns 9 and 10

// 5 x 7 glyphs, one string per row, "#" set.
const char* const hexglyphs[16][7] = {
    {".###.", "#...#", "#..##", "#.#.#", "##..#", "#...#", ".###."},
    {"..#..", ".##..", "..#..", "..#..", "..#..", "..#..", ".###."},
    {".###.", "#...#", "....#", "...#.", "..#..", ".#...", "#####"},
    {"#####", "...#.", "..#..", "...#.", "....#", "#...#", ".###."},
    {"...#.", "..##.", ".#.#.", "#..#.", "#####", "...#.", "...#."},
    {"#####", "#....", "####.", "....#", "....#", "#...#", ".###."},
    {"..##.", ".#...", "#....", "####.", "#...#", "#...#", ".###."},
    {"#####", "....#", "...#.", "..#..", ".#...", ".#...", ".#..."},
    {".###.", "#...#", "#...#", ".###.", "#...#", "#...#", ".###."},
    {".###.", "#...#", "#...#", ".####", "....#", "...#.", ".##.."},
    {".###.", "#...#", "#...#", "#####", "#...#", "#...#", "#...#"},
    {"####.", "#...#", "#...#", "####.", "#...#", "#...#", "####."},
    {".###.", "#...#", "#....", "#....", "#....", "#...#", ".###."},
    {"####.", "#...#", "#...#", "#...#", "#...#", "#...#", "####."},
    {"#####", "#....", "#....", "####.", "#....", "#....", "#####"},
    {"#####", "#....", "#....", "####.", "#....", "#....", "#...."},
};
const char* const titleglyphs[3][7] = {
    {"#####", "..#..", "..#..", "..#..", "..#..", "..#..", "..#.."},
    {".###.", "#...#", "#...#", "#...#", "#...#", "#...#", ".###."},
    {"#...#", "#...#", "#...#", "#...#", "#...#", ".#.#.", "..#.."},
};

uint8_t glyphrow(const char* row) {
    uint8_t bits = 0;
    for (int i = 0; i < 5; i++)
        if (row[i] == '#') bits |= uint8_t(0x40 >> i);
    return bits;
}

// Tile data, 16 bytes per tile (two bit planes per row), placed after the program.
std::vector<uint8_t> tiledata() {
    std::vector<uint8_t> t(0x23 * 16, 0);
    auto row = [&](int tile, int y, uint8_t low, uint8_t high) {
        t[size_t(tile * 16 + y * 2)] = low;
        t[size_t(tile * 16 + y * 2 + 1)] = high;
    };
    for (int y = 0; y < 8; y++) {
        row(1, y, 0xFF, 0xFF);
        row(tilefloor, y, (y & 4) ? 0x0F : 0xF0, 0x00);  // 4 x 4 checks of shades 0 and 1
        row(tilewindow, y, 0x00, 0xFF);                   // shade 2
    }
    static const uint8_t ball[8] = {0x3C, 0x7E, 0xFF, 0xFF, 0xFF, 0xFF, 0x7E, 0x3C};
    static const uint8_t shine[8] = {0x00, 0x30, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (int y = 0; y < 8; y++) row(tileball, y, uint8_t(ball[y] & ~shine[y]), ball[y]);
    for (int d = 0; d < 16; d++)
        for (int y = 0; y < 8; y++) {
            uint8_t g = y < 7 ? glyphrow(hexglyphs[d][y]) : 0;
            row(tilehex + d, y, g, 0xFF);  // shade 3 glyph on shade 2
        }
    for (int c = 0; c < 3; c++)
        for (int y = 0; y < 8; y++) {
            uint8_t g = y < 7 ? glyphrow(titleglyphs[c][y]) : 0;
            row(tiletitle + c, y, g, g);
        }
    return t;
}

}  // namespace

std::vector<uint8_t> buildrom(std::string& error) {
    std::vector<uint8_t> rom(32768, 0xFF);
    const std::vector<uint8_t> tiles = tiledata();
    const uint16_t tilesource = 0x1000;
    std::copy(tiles.begin(), tiles.end(), rom.begin() + tilesource);

    using R = tassembler;
    tassembler a(rom, 0x100);
    // Entry point: the boot program jumps to 0x100.
    a.byte(0x00);
    a.jp("start");

    // Header.
    std::copy(std::begin(headerlogo), std::end(headerlogo), rom.begin() + 0x104);
    const char title[] = "TOV DEMO";
    for (size_t i = 0; i < 15; i++) rom[0x134 + i] = i < sizeof title - 1 ? uint8_t(title[i]) : 0;
    rom[0x143] = 0x00;  // a DMG game
    rom[0x144] = rom[0x145] = '0';
    rom[0x146] = 0x00;  // no SGB functions
    rom[0x147] = 0x03;  // MBC1 + RAM + battery
    rom[0x148] = 0x00;  // 32 KiB
    rom[0x149] = 0x02;  // 8 KiB RAM
    rom[0x14A] = 0x01;
    rom[0x14B] = 0x00;
    rom[0x14C] = 0x00;

    a.org(0x150);
    a.label("start");
    a.di();
    a.ldsp(0xFFFE);
    a.call("waitvblank");
    a.xora();
    a.ldhn_a(LCDC);  // LCD off: VRAM and OAM are free to fill

    // Tiles to 0x8000.
    a.ldhl(0x8000);
    a.ldde(tilesource);
    a.ldbc(uint16_t(tiles.size()));
    a.label("copytiles");
    a.lda_de();
    a.ldi_hl_a();
    a.incde();
    a.decbc();
    a.ld(R::A, R::B);
    a.orr(R::C);
    a.jr(R::NZ, "copytiles");

    // Background map: the floor pattern everywhere; window map: shade 2.
    a.ldhl(bgmap);
    a.ldbc(0x400);
    a.label("fillbg");
    a.ldn(R::A, tilefloor);
    a.ldi_hl_a();
    a.decbc();
    a.ld(R::A, R::B);
    a.orr(R::C);
    a.jr(R::NZ, "fillbg");
    a.ldhl(windowmap);
    a.ldbc(0x400);
    a.label("fillwin");
    a.ldn(R::A, tilewindow);
    a.ldi_hl_a();
    a.decbc();
    a.ld(R::A, R::B);
    a.orr(R::C);
    a.jr(R::NZ, "fillwin");
    // "TOV" in the background.
    for (int c = 0; c < 3; c++) {
        a.ldn(R::A, uint8_t(tiletitle + c));
        a.ldnn_a(uint16_t(bgmap + 5 * 32 + 8 + c));
    }

    // Sprite 0 in the middle; the other 39 off screen.
    a.ldhl(0xFE00);
    a.ldn(R::B, 160);
    a.xora();
    a.label("clearoam");
    a.ldi_hl_a();
    a.dec(R::B);
    a.jr(R::NZ, "clearoam");
    a.ldn(R::A, 16 + 68);
    a.ldnn_a(spriteyaddress);
    a.ldn(R::A, 8 + 76);
    a.ldnn_a(spritexaddress);
    a.ldn(R::A, tileball);
    a.ldnn_a(0xFE02);

    // Battery RAM: enable, and start the counter when the signature "TV" is missing.
    a.ldn(R::A, 0x0A);
    a.ldnn_a(0x0000);
    a.lda_nn(countaddress + 1);
    a.cpn('T');
    a.jr(R::NZ, "newram");
    a.lda_nn(countaddress + 2);
    a.cpn('V');
    a.jr(R::Z, "ramok");
    a.label("newram");
    a.xora();
    a.ldnn_a(countaddress);
    a.ldn(R::A, 'T');
    a.ldnn_a(countaddress + 1);
    a.ldn(R::A, 'V');
    a.ldnn_a(countaddress + 2);
    a.label("ramok");
    a.call("showcount");

    // Palettes, window position, sound on, LCD on with background, window (map 0x9C00),
    // sprites and tiles at 0x8000.
    a.ldn(R::A, 0xE4);
    a.ldhn_a(BGP);
    a.ldn(R::A, 0xD0);
    a.ldhn_a(OBP0);
    a.ldn(R::A, 120);
    a.ldhn_a(WY);
    a.ldn(R::A, 7);
    a.ldhn_a(WX);
    a.ldn(R::A, 0x80);
    a.ldhn_a(NR52);
    a.ldn(R::A, 0x77);
    a.ldhn_a(NR50);
    a.ldn(R::A, 0xFF);
    a.ldhn_a(NR51);
    a.xora();
    a.ldhn_a(PREVPAD);
    a.ldn(R::A, 0xF3);
    a.ldhn_a(LCDC);

    // Main loop, once per frame.
    a.label("main");
    a.call("waitvblank");
    a.ldha_n(SCX);  // the background drifts; the window stays
    a.inc(R::A);
    a.ldhn_a(SCX);
    a.call("readpad");
    a.ld(R::C, R::A);  // c: held now
    a.ldha_n(PREVPAD);
    a.cpl();
    a.andr(R::C);      // d: newly pressed = held and not held before
    a.ld(R::D, R::A);
    a.ld(R::A, R::C);
    a.ldhn_a(PREVPAD);
    const char* names[4] = {"right", "left", "up", "down"};
    for (int b = 0; b < 4; b++) {
        std::string skip = std::string("no") + names[b];
        a.bit(b, R::C);
        a.jr(R::Z, skip);
        a.ldhl(b < 2 ? spritexaddress : spriteyaddress);
        if (b == 0 || b == 3)
            a.inc(R::HLI);
        else
            a.dec(R::HLI);
        a.label(skip);
    }
    a.bit(4, R::D);  // A newly pressed
    a.jr(R::Z, "noa");
    a.call("note");
    a.ldhl(countaddress);
    a.inc(R::HLI);
    a.call("showcount");
    a.label("noa");
    a.jp("main");

    // Waits for the start of the vertical blank (LY reaching 144).
    a.label("waitvblank");
    a.ldha_n(LY);
    a.cpn(144);
    a.jr(R::Z, "waitvblank");
    a.label("waitvblank2");
    a.ldha_n(LY);
    a.cpn(144);
    a.jr(R::NZ, "waitvblank2");
    a.ret();

    // A = held buttons: bits 0-3 right, left, up, down; bits 4-7 A, B, select, start.
    a.label("readpad");
    a.ldn(R::A, 0x20);  // select the directions
    a.ldhn_a(P1);
    a.ldha_n(P1);
    a.ldha_n(P1);
    a.cpl();
    a.andn(0x0F);
    a.ld(R::B, R::A);
    a.ldn(R::A, 0x10);  // select the buttons
    a.ldhn_a(P1);
    a.ldha_n(P1);
    a.ldha_n(P1);
    a.ldha_n(P1);
    a.ldha_n(P1);
    a.cpl();
    a.andn(0x0F);
    a.swapa();
    a.orr(R::B);
    a.ld(R::B, R::A);
    a.ldn(R::A, 0x30);
    a.ldhn_a(P1);
    a.ld(R::A, R::B);
    a.ret();

    // A short square-wave note on channel 1 (about 1 kHz, fading).
    a.label("note");
    a.xora();
    a.ldhn_a(NR10);
    a.ldn(R::A, 0x80);
    a.ldhn_a(NR11);
    a.ldn(R::A, 0xF3);
    a.ldhn_a(NR12);
    a.ldn(R::A, 0x83);
    a.ldhn_a(NR13);
    a.ldn(R::A, 0x87);
    a.ldhn_a(NR14);
    a.ret();

    // The counter as two hex digits in the window.
    a.label("showcount");
    a.lda_nn(countaddress);
    a.ld(R::B, R::A);
    a.swapa();
    a.andn(0x0F);
    a.addn(tilehex);
    a.ldnn_a(countscreen);
    a.ld(R::A, R::B);
    a.andn(0x0F);
    a.addn(tilehex);
    a.ldnn_a(countscreen + 1);
    a.ret();

    if (!a.finish(error)) return {};
    if (a.here() > tilesource) {
        error = "program overlaps the tile data";
        return {};
    }
    rom[0x14D] = headerchecksum(rom);
    uint16_t sum = globalchecksum(rom);
    rom[0x14E] = uint8_t(sum >> 8);
    rom[0x14F] = uint8_t(sum);
    return rom;
}

}  // namespace tov::demo
