// Code texts: normalisation, Game Genie and GameShark decoding, encoding and round trips,
// the list line, and the edit dialog's two entry modes with their messages.
#include <gtest/gtest.h>

#include "cheats/cheatedit.h"
#include "cheats/cheats.h"
#include "core/gbtestutil.h"

namespace tov {
namespace {

TEST(CheatCode, NormalisesCaseBlanksAndDashesAndRefusesOtherCounts) {
    struct tcase {
        const char* text;
        const char* normal;
    } cases[] = {
        {"abc def", "ABC-DEF"},      {"0a1-b2c", "0A1-B2C"},        {"ab-cde-f01-2", "ABC-DEF-012"},
        {"abcdef012", "ABC-DEF-012"}, {"010a23c1", "010A23C1"},     {" 01 0A 23 C1 ", "010A23C1"},
        {"abcde", ""},               {"abcdeg", ""},               {"1234567", ""},
        {"1234567890", ""},          {"", ""},                     {"ABC_DEF", ""},
        {"ABC\tDEF", ""},
    };
    for (const tcase& c : cases) EXPECT_EQ(normalisecode(c.text), c.normal) << c.text;
}

TEST(CheatCode, GameGenieDigitFChoosesAddressBits12To14) {
    struct tcase {
        const char* code;
        uint16_t address;
    } cases[] = {{"00A-BCF", 0x0ABC}, {"00A-BCE", 0x1ABC}, {"00A-BC8", 0x7ABC}, {"00A-BC0", 0x7ABC},
                 {"00A-BC7", 0x0ABC}, {"00A-BCB", 0x4ABC}, {"00A-BC9", 0x6ABC}};
    for (const tcase& c : cases) {
        tcheat t;
        t.code = c.code;
        decodecode(t);
        EXPECT_FALSE(t.gameshark);
        EXPECT_EQ(t.address, c.address) << c.code;
        EXPECT_EQ(t.compare, -1);
    }
}

TEST(CheatCode, DecodesValueCompareAndGameShark) {
    tcheat g;
    g.code = "3E1-52B-4C1";  // value 3E; compare from G=4, I=1: ror2(0x41) ^ 0xBA
    decodecode(g);
    EXPECT_EQ(g.value, 0x3E);
    EXPECT_EQ(g.address, 0x4152);
    EXPECT_EQ(g.compare, 0xEA);  // ror2(0x41) = 0x50
    tcheat s;
    s.code = "91FF23C1";  // type not interpreted
    s.compare = 7;
    decodecode(s);
    EXPECT_TRUE(s.gameshark);
    EXPECT_EQ(s.value, 0xFF);
    EXPECT_EQ(s.address, 0xC123);
    EXPECT_EQ(s.compare, -1);
    // A typed GameShark code below 0x8000 stays a GameShark code.
    s.code = "01050021";
    decodecode(s);
    EXPECT_TRUE(s.gameshark);
    EXPECT_EQ(s.address, 0x2100);
}

TEST(CheatCode, EncodesGameGenieAndGameSharkAsTheFormatSays) {
    tencodedcheat e = encodecode(0x4152, -1, 0x3E);
    EXPECT_EQ(e.code, "3E1-52B");
    EXPECT_FALSE(e.gameshark);
    e = encodecode(0xC123, 0x12, 0x63);
    EXPECT_EQ(e.code, "0163" "23C1");
    EXPECT_TRUE(e.gameshark);
    EXPECT_EQ(e.compare, -1);  // the old value is dropped
    // The compare digits: c = rol2(compare ^ 0xBA); "-", c>>4, (c>>4)^8, c&15.
    e = encodecode(0x0100, 0x00, 0xC9);
    const uint8_t c = uint8_t((0xBA << 2 | 0xBA >> 6) & 0xFF);
    char expect[16];
    std::snprintf(expect, sizeof expect, "C91-00F-%X%X%X", c >> 4, (c >> 4) ^ 8, c & 0xF);
    EXPECT_EQ(e.code, expect);
    EXPECT_EQ(e.compare, 0);
}

TEST(CheatCode, EncodeThenDecodeGivesBackEveryAddressValueAndCompare) {
    auto roundtrip = [](uint16_t address, int32_t compare, uint8_t value) {
        const tencodedcheat e = encodecode(address, compare, value);
        tcheat t;
        t.code = normalisecode(e.code);
        ASSERT_EQ(t.code, e.code);
        decodecode(t);
        ASSERT_EQ(t.address, address);
        ASSERT_EQ(t.value, value);
        ASSERT_EQ(t.compare, e.compare);
        ASSERT_EQ(t.gameshark, e.gameshark);
        if (address <= 0x7FFF) ASSERT_EQ(t.compare, compare);
    };
    for (uint32_t a = 0; a <= 0xFFFF; a++) {
        roundtrip(uint16_t(a), -1, uint8_t(a * 7));
        roundtrip(uint16_t(a), int32_t((a ^ (a >> 8)) & 0xFF), uint8_t(a >> 3));
    }
    for (int compare = -1; compare <= 255; compare++)
        for (uint16_t a : {0x0000, 0x0FFF, 0x3FFF, 0x4000, 0x7FFF})
            for (int v : {0x00, 0x5A, 0xFF}) roundtrip(a, compare, uint8_t(v));
}

TEST(CheatCode, ListLineColumns) {
    tcheat g;
    g.code = "3E1-52B-4C1";
    decodecode(g);
    g.enabled = true;
    g.comment = "lives";
    EXPECT_EQ(cheatlistline(g), " 3E1-52B-4C1  G-E (4152)=3E<-EA  lives");
    tcheat s;
    s.code = "010A23C1";
    decodecode(s);
    s.patched = false;
    EXPECT_EQ(cheatlistline(s), " 010A23C1     S-- (C123)=0A" + std::string(33 - 27, ' '));
    g.patched = true;
    g.comment.clear();
    EXPECT_EQ(cheatlistline(g).substr(14, 3), "GPE");
    EXPECT_EQ(cheatlistline(g).size(), 33u);
}

TEST(CheatEdit, CodeModeNormalisesAndRefusesInvalidOrDuplicateCodes) {
    testing::tmachine m;
    tcheatlist list(*m);
    tcheat existing;
    existing.code = "010A23C1";
    decodecode(existing);
    list.insert(existing);
    tcheatedit d;
    tcheat c;
    d.open(c);
    EXPECT_EQ(d.mode, tcheatedit::codemode);
    EXPECT_EQ(d.Editaddr, "0000");
    EXPECT_EQ(d.Editnewval, "00");
    EXPECT_EQ(d.Editoldval, "");
    d.Editcode = "3e1 52b";
    d.Editcomment = "note";
    EXPECT_EQ(d.ok(c, list), "");
    EXPECT_EQ(c.code, "3E1-52B");
    EXPECT_EQ(c.address, 0x4152);
    EXPECT_EQ(c.comment, "note");
    d.Editcode = "3e1 52";
    EXPECT_EQ(d.ok(c, list), "invalid code entered");
    d.Editcode = "01 0a 23 c1";
    EXPECT_EQ(d.ok(c, list), "cheat already exists");
    // Editing a cheat of the list keeps its own code.
    tcheat& own = *list.at(0);
    d.open(own);
    EXPECT_EQ(d.Editaddr, "C123");
    EXPECT_EQ(d.ok(own, list), "");
}

TEST(CheatEdit, ValuesModeChecksRangesAndBuildsTheCode) {
    testing::tmachine m;
    tcheatlist list(*m);
    struct tcase {
        const char* addr;
        const char* newval;
        const char* oldval;
        const char* message;
        const char* code;
    } cases[] = {
        {"4152", "3E", "", "", "3E1-52B"},
        {"c123", "63", "12", "", "016323C1"},  // GameShark: old value dropped
        {"", "3E", "", "invalid values entered", ""},
        {"10000", "3E", "", "invalid values entered", ""},
        {"4152", "100", "", "invalid values entered", ""},
        {"4152", "xx", "", "invalid values entered", ""},
        {"4152", "3E", "100", "invalid values entered", ""},
        {"4152", "3E", "zz", "", "3E1-52B"},  // a malformed old value counts as none
        {"FFFFFFFFFFFFFFFFFFFF", "3E", "", "invalid values entered", ""},
    };
    for (const tcase& t : cases) {
        tcheatedit d;
        tcheat c;
        d.open(c);
        d.mode = tcheatedit::valuesmode;
        d.Editaddr = t.addr;
        d.Editnewval = t.newval;
        d.Editoldval = t.oldval;
        EXPECT_EQ(d.ok(c, list), t.message) << t.addr << " " << t.newval << " " << t.oldval;
        if (!*t.message) EXPECT_EQ(c.code, t.code);
    }
    tcheatedit d;
    tcheat c;
    d.mode = tcheatedit::valuesmode;
    d.Editaddr = "0100";
    d.Editnewval = "C9";
    d.Editoldval = "00";
    ASSERT_EQ(d.ok(c, list), "");
    EXPECT_EQ(c.compare, 0);
    list.insert(c);
    tcheat other;
    EXPECT_EQ(d.ok(other, list), "cheat already exists");
}

}  // namespace
}  // namespace tov
