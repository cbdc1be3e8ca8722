// The disassembler: tables, the cut into lines, banked reading and labels, line texts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>

#include "core/gbinspect.h"
#include "core/gbtestutil.h"
#include "debugger/disasm.h"
#include "debugger/views.h"

namespace tov::testing {
namespace {

struct tasmfixture {
    tmachine m;
    tviewbanks banks;
    tscrollerasm view;
    explicit tasmfixture(const tromimage& rom = tromimage(), bool lowercase = false, int systemmode = 0)
        : m(rom, systemmode), view(*m, banks) {
        view.lowercase = lowercase;
        view.refresh();
    }
    std::string line(uint16_t address) { return view.plainline(view.lineof(address)); }
    tasmtext parts(uint16_t address) {
        return disassembleline(view.mem(), view.lines().line(view.lineof(address)), view.lowercase, -1);
    }
    uint8_t* image() { return m->cartridge().romimagedata(); }
};

std::string padded(std::string s, size_t width) {
    s.resize(std::max(s.size(), width), ' ');
    return s;
}

TEST(DisasmTables, MnemonicsFollowTheOpcodePatterns) {
    const struct { int index; const char* text; } cases[] = {
        {0x40, "LD B,B"}, {0x76, "HALT"}, {0x7E, "LD A,(HL)"}, {0x70, "LD (HL),B"},
        {0x86, "ADD (HL)"}, {0x9F, "SBC A"}, {0xBF, "CP A"}, {0xC2, "JP NZ nnnn"},
        {0xD4, "CALL NC nnnn"}, {0xCA, "JP Z,nnnn"}, {0xE8, "ADD SP,nn"}, {0xD3, "-"},
        {256 + 0x00, "RLC B"}, {256 + 0x37, "SWAP A"}, {256 + 0x3F, "SLR A"},
        {256 + 0x7E, "BIT 7,(HL)"}, {256 + 0x86, "RES 0,(HL)"}, {256 + 0xC0, "SET 0,B"},
        {256 + 0xFF, "SET 7,A"}};
    for (const auto& c : cases) EXPECT_STREQ(mnemonic(c.index), c.text) << std::hex << c.index;
}

TEST(DisasmTables, LengthsComeFromTheOperandPlaceholders) {
    const struct { uint8_t op; int length; } cases[] = {
        {0x00, 1}, {0x01, 3}, {0x06, 2}, {0x08, 3}, {0x18, 2}, {0x36, 2}, {0xCB, 2},
        {0xC3, 3}, {0xE0, 2}, {0xE2, 1}, {0xF8, 2}, {0xFA, 3}, {0xD3, 1}, {0xFF, 1}};
    for (const auto& c : cases) EXPECT_EQ(instructionlength(c.op), c.length) << std::hex << int(c.op);
}

TEST(DisasmTables, CyclesOfPlainAndPrefixedInstructions) {
    const struct { uint8_t op, second; int cycles; } cases[] = {
        {0x00, 0, 1}, {0x08, 0, 5}, {0x20, 0, 2}, {0x34, 0, 3}, {0x46, 0, 2}, {0x70, 0, 2},
        {0x76, 0, 1}, {0xC4, 0, 3}, {0xCD, 0, 6}, {0xE0, 0, 3}, {0xE8, 0, 4}, {0xD3, 0, 0},
        {0xCB, 0x11, 2}, {0xCB, 0x06, 4}, {0xCB, 0x46, 3}, {0xCB, 0x86, 4}, {0xCB, 0xFE, 4}};
    for (const auto& c : cases)
        EXPECT_EQ(instructioncycles(c.op, c.second), c.cycles) << std::hex << int(c.op) << " " << int(c.second);
}

TEST(DisasmLines, VectorsAndHeaderFieldsStartLinesOfTheirOwn) {
    tromimage rom;
    rom.code(0x47, {0xC3, 0x00, 0x02});  // would swallow the vector at 0x48
    rom.code(0x3FFF, {0xCB});             // a prefix at the end of bank 0
    tasmfixture f(rom);
    const tlinetable& t = f.view.lines();
    for (uint16_t a : {0x08, 0x10, 0x38, 0x40, 0x48, 0x100, 0x104, 0x134, 0x144, 0x146,
                       0x147, 0x14D, 0x14E, 0x150, 0x4000, 0x8000, 0xA000, 0xFE00, 0xFF80, 0xFFFF})
        EXPECT_EQ(t.line(t.lineof(a)).address, a) << std::hex << a;
    const tasmline& l47 = t.line(t.lineof(0x47));
    EXPECT_TRUE(l47.data);
    EXPECT_EQ(l47.length, 1);
    EXPECT_EQ(f.line(0x47).substr(27), "db C3");
    EXPECT_TRUE(t.line(t.lineof(0x3FFF)).data);
    EXPECT_EQ(t.line(t.lineof(0x3FFF)).length, 1);
    EXPECT_EQ(t.line(t.lineof(0x8010)).length, 16);
    EXPECT_TRUE(t.line(t.lineof(0xFFFF)).data);
    EXPECT_EQ(t.line(t.lineof(0x144)).length, 2);
    // Every address lies in the line the index gives, and lines tile the address space.
    uint32_t next = 0;
    for (int n = 0; n < t.count(); n++) {
        ASSERT_EQ(t.line(n).address, next);
        next += t.line(n).length;
    }
    EXPECT_EQ(next, 0x10000u);
    for (uint32_t a = 0; a < 0x10000; a += 7) {
        const tasmline& l = t.line(t.lineof(uint16_t(a)));
        ASSERT_TRUE(a >= l.address && a < uint32_t(l.address) + l.length) << std::hex << a;
    }
}

TEST(DisasmText, InstructionLines) {
    tromimage rom;
    rom.code(0x200, {0x20, 0xFE});               // jr nz,-2: back to itself
    rom.code(0x202, {0xD3});                     // undefined
    rom.code(0x203, {0xF0, 0x44});               // ldh a,(LY)
    rom.code(0x205, {0xE0, 0xFF});               // ldh (IE),a
    rom.code(0x207, {0xE0, 0x03});               // no name, no comment
    rom.code(0x209, {0xE0, 0x08});               // unnamed register: "?"
    rom.code(0x20B, {0xCB, 0x7E});               // bit 7,(hl)
    rom.code(0x20D, {0x08, 0x34, 0x12});         // ld (1234),sp
    rom.code(0x210, {0x18, 0x02});               // jr forward
    tasmfixture f(rom);
    EXPECT_EQ(f.line(0x100), padded("ROM0:0100 00", 27) + "NOP");
    EXPECT_EQ(f.line(0x101), padded("ROM0:0101 C3 50 01", 27) + "JP 0150");
    EXPECT_EQ(f.line(0x200), padded("ROM0:0200 20 FE", 27) + "JR NZ,0200");
    EXPECT_EQ(f.line(0x202), padded("ROM0:0202 D3", 27) + "undefined opcode");
    EXPECT_EQ(f.line(0x20B), padded("ROM0:020B CB 7E", 27) + "BIT 7,(HL)");
    EXPECT_EQ(f.line(0x20D), padded("ROM0:020D 08 34 12", 27) + "LD (1234),SP");
    EXPECT_EQ(f.line(0x210), padded("ROM0:0210 18 02", 27) + "JR 0214");
    const struct { uint16_t at; const char* comment; } comments[] = {
        {0x203, "LY"}, {0x205, "int enable"}, {0x207, ""}, {0x209, "?"}, {0x200, ""}};
    for (const auto& c : comments) EXPECT_EQ(f.parts(c.at).comment, c.comment) << std::hex << c.at;
}

TEST(DisasmText, LowercaseInstructionsKeepTheirComment) {
    tromimage rom;
    rom.code(0x200, {0xF0, 0x44});
    tasmfixture f(rom, true);
    const tasmtext p = f.parts(0x200);
    EXPECT_EQ(p.text, padded("ROM0:0200 F0 44", 27) + "ld a,(ff00+44)");
    EXPECT_EQ(p.comment, "LY");
    EXPECT_EQ(p.cycles, 3);
    // Register comment at column 40, cycles at 56.
    const std::string full = composeline(p, 7);
    EXPECT_EQ(full.substr(p.text.size()), " ;LY" + std::string(56 - p.text.size() - 4, ' ') + " ;3  7");
    EXPECT_EQ(composeline({"x", "", 2}, 2), padded("x", 56) + " ;2  2");
    EXPECT_EQ(composeline({"x", "c", -1}, 0), padded("x", 40) + " ;c");
}

TEST(DisasmText, DataLinesAndHeaderChecks) {
    tasmfixture f(tromimage().entry().logo());
    // The logo: 16-byte lines, four bytes shown and "+".
    const std::string logo = f.line(0x104);
    EXPECT_EQ(logo, padded("ROM0:0104 CE ED 66 66+", 27) +
                        "db CE,ED,66,66,CC,0D,00,0B,03,73,00,83,00,0C,00,0D");
    const struct { uint16_t at; const char* comment; } fields[] = {
        {0x147, "cart type"}, {0x148, "rom size"}, {0x149, "ram size"}, {0x14A, ""},
        {0x14D, "header check (OK)"}};
    for (const auto& c : fields) EXPECT_EQ(f.parts(c.at).comment, c.comment) << std::hex << c.at;
    EXPECT_EQ(disassembleline(f.view.mem(), f.view.lines().line(f.view.lineof(0x14E)), false,
                              globalchecksum(f.image(), f.m->cartridge().romimagesize()))
                  .comment,
              "global check (OK)");
    EXPECT_EQ(f.parts(0x14D).cycles, -1);

    // Edited ROM: the comments give the bytes that would be right.
    f.image()[0x134] ^= 0x01;
    const uint8_t header = headerchecksum(f.image());
    const uint16_t global = globalchecksum(f.image(), f.m->cartridge().romimagesize());
    char want[64];
    std::snprintf(want, sizeof want, "header check (%02X)", header);
    EXPECT_EQ(f.parts(0x14D).comment, want);
    f.view.refresh();
    std::snprintf(want, sizeof want, "global check (%04X)", global);
    EXPECT_NE(f.view.getstring(f.view.lineof(0x14E)).find(want), std::string::npos);

    // The fix writes both and the comments read OK again.
    ASSERT_TRUE(fixheaderchecksums(f.m->cartridge()));
    f.view.refresh();
    EXPECT_NE(f.view.getstring(f.view.lineof(0x14D)).find("header check (OK)"), std::string::npos);
    EXPECT_NE(f.view.getstring(f.view.lineof(0x14E)).find("global check (OK)"), std::string::npos);
    EXPECT_EQ(f.image()[0x14D], header);
}

TEST(DisasmText, ChecksumFixRefusesImagesWithoutAHeader) {
    tcart empty;
    EXPECT_FALSE(fixheaderchecksums(empty));
}

TEST(DisasmMemory, LabelsNameRegionAndViewBank) {
    tasmfixture f;
    const struct { uint16_t at; int rom, ram, wram, vram; const char* label; } cases[] = {
        {0x0000, 5, 0, 1, 0, "ROM0:0000"}, {0x4000, 0x1F, 0, 1, 0, "RO1F:4000"},
        {0x7FFF, 0x100, 0, 1, 0, "R100:7FFF"}, {0x8000, 1, 0, 1, 1, "VRA1:8000"},
        {0xA000, 1, 2, 1, 0, "SRA2:A000"}, {0xC000, 1, 0, 3, 0, "WRA0:C000"},
        {0xD000, 1, 0, 3, 0, "WRA3:D000"}, {0xE000, 1, 0, 3, 0, "ECH0:E000"},
        {0xF000, 1, 0, 3, 0, "ECH3:F000"}, {0xFE00, 1, 0, 1, 0, "OAM :FE00"},
        {0xFE9A, 1, 0, 1, 0, "OAM :FE9A"}, {0xFE9B, 1, 0, 1, 0, "----:FE9B"},
        {0xFF40, 1, 0, 1, 0, "I/O :FF40"}, {0xFF80, 1, 0, 1, 0, "HRAM:FF80"},
        {0xFFFE, 1, 0, 1, 0, "HRAM:FFFE"}, {0xFFFF, 1, 0, 1, 0, "I/O :FFFF"}};
    for (const auto& c : cases) {
        f.banks = {c.rom, c.ram, c.wram, c.vram, true};
        EXPECT_EQ(f.view.mem().label(c.at), c.label);
    }
}

TEST(DisasmMemory, BankedRegionsReadThroughTheViewBanks) {
    tromimage rom(0x10000);
    rom.bankmarkers().entry().type(0x01).code(0x150, {0x18, 0xFE});  // MBC1, four banks
    tasmfixture f(rom, false, 1);  // GBC: eight work RAM banks
    f.m->wram[3 * 0x1000 + 5] = 0x33;
    f.m->vram[0x2000 + 7] = 0x77;
    f.banks.rom = 2;
    EXPECT_EQ(f.view.mem().read(0x4000), 2);
    f.banks.rom = 3;
    EXPECT_EQ(f.view.mem().read(0x4000), 3);
    f.banks.rom = 9;  // beyond the image
    EXPECT_EQ(f.view.mem().read(0x4000), 0xFF);
    f.banks.wram = 3;
    EXPECT_EQ(f.view.mem().read(0xD005), 0x33);
    f.banks.vram = 0;
    f.m->vram[7] = 0x12;
    EXPECT_EQ(f.view.mem().read(0x8007), 0x12);
    f.banks.vram = 1;
    EXPECT_EQ(f.view.mem().read(0x8007), 0x77);
    // Without the cartridge-RAM view, 0xA000 reads as the machine maps it.
    f.banks.cartram = false;
    EXPECT_EQ(f.view.mem().read(0xA000), tgbinspect(*f.m).peek(0xA000));
    // The view bank also labels the line and so the code view follows it.
    f.banks.rom = 2;
    f.view.refresh();
    EXPECT_EQ(f.view.getstring(f.view.lineof(0x4000)).substr(0, 9), "ROM2:4000");
}

}  // namespace
}  // namespace tov::testing
