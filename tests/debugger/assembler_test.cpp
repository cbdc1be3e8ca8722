// The debugger's assembler and hex byte parser: the examples and errors of the edit dialogs,
// one-character labels forward and backward, and the round trip over every opcode (the code
// view's text of an instruction assembles back to its bytes).
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "core/gbtestutil.h"
#include "debugger/assembler.h"
#include "debugger/disasm.h"

namespace tov::testing {
namespace {

using tbytes = std::vector<uint8_t>;

TEST(HexData, PairsAfterBlanksAreRemoved) {
    const struct { const char* text; bool ok; tbytes bytes; } cases[] = {
        {"3e 01", true, {0x3E, 0x01}},
        {"3e 0", true, {0x3E}},  // an odd last character is ignored
        {" 3 e0\t1 ", true, {0x3E, 0x01}},
        {"ffA0c3", true, {0xFF, 0xA0, 0xC3}},
        {"", true, {}},
        {"zz", false, {}},
        {"3e 0g 01", false, {}},  // one bad pair loses the whole text
    };
    for (const auto& c : cases) {
        const tassembly r = parsehexdata(c.text);
        EXPECT_EQ(r.ok, c.ok) << c.text;
        EXPECT_EQ(r.bytes, c.bytes) << c.text;
        if (!c.ok) {
            EXPECT_EQ(r.error, "error");
            EXPECT_EQ(r.errortitle, "invalid data");
        }
    }
}

TEST(Assembler, InstructionsAndLabels) {
    const struct { const char* text; uint16_t start; tbytes bytes; } cases[] = {
        {"LD A,05;LD (FF00+40),A", 0xC000, {0x3E, 0x05, 0xE0, 0x40}},
        {"JP 0150", 0x0100, {0xC3, 0x50, 0x01}},
        {"ld hl,c0de;ld (hl),a", 0, {0x21, 0xDE, 0xC0, 0x77}},
        {";;nop;;;halt;", 0, {0x00, 0x76}},  // runs of ";" are one separator
        {" nop; halt ;\tnop\t; ;@1 ; jr @1 ", 0, {0x00, 0x76, 0x00, 0x18, 0xFE}},  // blanks around
        {"swap a;bit 7,h;slr b;set 0,(hl)", 0, {0xCB, 0x37, 0xCB, 0x7C, 0xCB, 0x38, 0xCB, 0xC6}},
        {"JP NZ 1234;CALL NC 4321;jp z,0000", 0, {0xC2, 0x34, 0x12, 0xD4, 0x21, 0x43, 0xCA, 0x00, 0x00}},
        {"ld hl,sp+fe;add sp,02;ldi a,(hl);ldd (hl),a", 0, {0xF8, 0xFE, 0xE8, 0x02, 0x2A, 0x32}},
        // Labels: backward, forward, the last definition counts, at any start address.
        {"@1;dec b;jr nz,@1", 0x0200, {0x05, 0x20, 0xFD}},
        {"jr @2;nop;@2;nop", 0x0200, {0x18, 0x01, 0x00, 0x00}},
        {"nop;nop;@c;jr z,@c", 0x4000, {0x00, 0x00, 0x28, 0xFE}},
        {"@1;nop;@1;jr @1", 0xD000, {0x00, 0x18, 0xFE}},
        {"@a;jr c,@b;nop;nop;@b;jr nc,@a", 0, {0x38, 0x02, 0x00, 0x00, 0x30, 0xFA}},
        {"jr @9", 0, {0x18, 0x00}},  // an undefined label keeps the byte 0
    };
    for (const auto& c : cases) {
        const tassembly r = assemble(c.text, c.start);
        EXPECT_TRUE(r.ok) << c.text << ": " << r.error;
        EXPECT_EQ(r.bytes, c.bytes) << c.text;
    }
}

TEST(Assembler, ErrorsGiveNoBytes) {
    // Operands must have exactly as many digits as the placeholder; the segment is shown
    // upper-cased, as it was compared.
    const struct { const char* text; const char* segment; } cases[] = {
        {"LD A,5", "LD A,5"},
        {"nop;ld a,5;nop", "LD A,5"},
        {"jp 150", "JP 150"},
        {"jr @12", "JR @12"},      // labels have one character
        {"@x;jr @x", "JR @X"},     // ... that is a hex digit or "@" to be referred to
        {"mov a,b", "MOV A,B"},
        {" ld a, 05 ", "LD A, 05"},  // blanks inside are part of the text, around it not
        {"ld a,0g", "LD A,0G"},
    };
    for (const auto& c : cases) {
        const tassembly r = assemble(c.text, 0);
        EXPECT_FALSE(r.ok) << c.text;
        EXPECT_TRUE(r.bytes.empty()) << c.text;
        EXPECT_EQ(r.error, std::string("unable to assemble opcode: ") + c.segment) << c.text;
        EXPECT_EQ(r.errortitle, "error");
    }
}

// The instruction column of a code line (the label and byte columns are 27 characters).
std::string instructiontext(tgb& gb, uint16_t address, int length, bool lowercase) {
    tviewbanks banks;
    tdebugmemory memory(gb, banks);
    tasmline line{address, uint8_t(length), false, -1};
    return disassembleline(memory, line, lowercase, -1).text.substr(27);
}

TEST(Assembler, RoundTripOverEveryOpcode) {
    tmachine m;
    const uint16_t at = 0xC100;
    int checked = 0;
    for (int index = 0; index < 512; index++) {
        const bool cb = index >= 256;
        const uint8_t op = uint8_t(index & 0xFF);
        if (!cb && (op == 0xCB || std::string(mnemonic(op)) == "-")) continue;
        tbytes bytes = cb ? tbytes{0xCB, op} : tbytes{op};
        const int length = cb ? 2 : instructionlength(op);
        if (!cb && length >= 2) bytes.push_back(0x9A);
        if (!cb && length == 3) bytes.push_back(0x5B);
        for (size_t i = 0; i < bytes.size(); i++) m->wram[0x100 + i] = bytes[i];
        std::string text = instructiontext(*m, at, length, index % 2 == 1);
        // The code view shows a relative jump's target; the assembler takes the distance.
        if (!cb && std::string(mnemonic(op)).rfind("JR", 0) == 0) {
            const size_t target = text.size() - 4;
            std::string shown = text.substr(target);
            for (char& ch : shown) ch = char(std::tolower(static_cast<unsigned char>(ch)));
            ASSERT_EQ(shown, "c09c") << text;
            text = text.substr(0, target) + "9a";
        }
        const tassembly r = assemble(text, at);
        ASSERT_TRUE(r.ok) << text << ": " << r.error;
        EXPECT_EQ(r.bytes, bytes) << text;
        checked++;
    }
    EXPECT_EQ(checked, 256 - 12 + 256);  // 11 undefined opcodes and the prefix
}

}  // namespace
}  // namespace tov::testing
