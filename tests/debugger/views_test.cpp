// The debugger's views: memory, stack and register lines, marks, register editing, search,
// saving as text and the cursor's status text.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "core/gbinspect.h"
#include "core/gbtestutil.h"
#include "debugger/views.h"

namespace tov::testing {
namespace {

struct tviewsfixture {
    tmachine m;
    tviewbanks banks;
    // Power-on contents of high RAM and cartridge RAM are random: cleared so that searches
    // find only what the test placed.
    explicit tviewsfixture(const tromimage& rom = tromimage()) : m(rom) {
        for (uint8_t& b : m->hram) b = 0;
        tcart& cart = m->cartridge();
        for (int32_t i = 0; cart.ramdata() && i < cart.ramimagesize(); i++) cart.ramdata()[i] = 0;
    }
};

TEST(DebugViews, MemoryLineShowsSixteenBytesAndTheirCharacters) {
    tviewsfixture f;
    tscrollermemmap view(*f.m, f.banks);
    const uint8_t bytes[16] = {'H', 'i', ' ', 0x00, 0x1F, 0x21, 0x7E, 0xFF,
                               'a', 'b', 'c', 'd', 'e', 'f', 'g', 0x80};
    for (int i = 0; i < 16; i++) f.m->wram[0x100 + i] = bytes[i];
    EXPECT_EQ(view.getstring(0xC10),
              "WRA0:C100  48 69 20 00 1F 21 7E FF|61 62 63 64 65 66 67 80| Hi...!~.abcdefg\x80");
    EXPECT_EQ(view.linecount(), 0x1000);
}

TEST(DebugViews, StackLinesFollowTheAlignmentOfSp) {
    tviewsfixture f;
    tscrollerstack view(*f.m, f.banks);
    f.m->hram[0x7E] = 0x12;  // 0xFFFE
    f.m->hram[0x7C] = 0x34;         // 0xFFFC
    f.m->hram[0x7D] = 0x56;         // 0xFFFD
    f.m->cpu.SP = 0xFFFC;
    EXPECT_EQ(view.getstring(0), "HRAM:FFFE 0012");
    EXPECT_EQ(view.getstring(1), "HRAM:FFFC 5634");
    EXPECT_EQ(view.lineofsp(), 1);
    EXPECT_TRUE(view.marks(1).pc);
    EXPECT_FALSE(view.marks(0).pc);
    f.m->cpu.SP = 0xFFFD;  // odd: the lines move with it
    EXPECT_EQ(view.getstring(1), "HRAM:FFFD 1256");
    EXPECT_EQ(view.lineofsp(), 1);
    EXPECT_TRUE(view.marks(1).pc);
}

TEST(DebugViews, RegisterLines) {
    tviewsfixture f;
    tgbinspect inspect(*f.m);
    tcpuregisters r = inspect.cpuregisters();
    r.af = 0x12B0; r.bc = 0x3456; r.de = 0x789A; r.hl = 0xBCDE; r.sp = 0xFFF0; r.pc = 0x0150;
    r.ime = true; r.eipending = false;
    inspect.setcpuregisters(r);
    f.m->lcdregs.lcdc = 0x91;
    f.m->ly = 0x44;
    f.m->iereg = 0x05;
    f.m->ifreg = 0x01;
    tscrollerregs view(*f.m);
    const std::string cnt = std::to_string(f.m->currenttime());
    EXPECT_EQ(view.getstring(0), "af= 12B0  lcdc=91");
    EXPECT_EQ(view.getstring(1).substr(0, 15), "bc= 3456  stat=");
    EXPECT_EQ(view.getstring(2), "de= 789A  ly=  44");
    EXPECT_EQ(view.getstring(3), "hl= BCDE  cnt= " + cnt);
    EXPECT_EQ(view.getstring(4), "sp= FFF0  ie=  05");
    EXPECT_EQ(view.getstring(5), "pc= 0150  if=  E1");
    EXPECT_EQ(view.getstring(6), "ime=1     spd= 0");
    EXPECT_EQ(view.getstring(7), "ima=0");
}

TEST(DebugViews, RegisterEditingKeepsTheOldValueOnABadEntry) {
    tviewsfixture f;
    tscrollerregs view(*f.m);
    EXPECT_EQ(tscrollerregs::editprompt(0), "enter new value for register AF");
    EXPECT_EQ(tscrollerregs::editprompt(5), "enter new value for register PC");
    EXPECT_EQ(tscrollerregs::editprompt(6), "enter new value for register IME");
    EXPECT_EQ(tscrollerregs::editprompt(7), "enter new value for register IMA");
    const struct { int line; const char* answer; bool changed; const char* text; } cases[] = {
        {2, "beef", true, "de= BEEF"}, {2, "xyz", false, "de= BEEF"}, {2, "12345", false, "de= BEEF"},
        {2, "", false, "de= BEEF"}, {5, " 0200 ", true, "pc= 0200"}, {0, "12FF", true, "af= 12F0"},
        {6, "1", true, "ime=1"}, {6, "yes", true, "ime=0"}, {7, "1", true, "ima=1"}, {7, "0", true, "ima=0"}};
    for (const auto& c : cases) {
        EXPECT_EQ(view.edit(c.line, c.answer), c.changed) << c.answer;
        EXPECT_EQ(view.getstring(c.line).substr(0, std::string(c.text).size()), c.text) << c.answer;
    }
    EXPECT_EQ(f.m->cpu.PC, 0x0200);
    EXPECT_EQ(view.editdefault(3).size(), 4u);
}

struct tmarksfake : tbreakpointmarks {
    uint16_t address = 0;
    int bank = 0;
    bool hasexecutionbreakpoint(uint16_t a, int b) const override { return a == address && b == bank; }
};

TEST(DebugViews, CodeLineMarksPcBreakpointsAndBookmarks) {
    tromimage rom(0x10000);
    rom.entry().type(0x01).code(0x150, {0x18, 0xFE}).code(0x4100, {0x00, 0x00});
    tviewsfixture f(rom);
    tscrollerasm view(*f.m, f.banks);
    view.refresh();
    tmarksfake bp;
    bp.address = 0x4100;
    bp.bank = 2;
    view.breakpoints = &bp;
    f.m->cpu.PC = 0x0151;  // inside the jr: its line holds PC
    EXPECT_TRUE(view.marks(view.lineof(0x150)).pc);
    EXPECT_FALSE(view.marks(view.lineof(0x152)).pc);
    f.banks.rom = 1;
    EXPECT_FALSE(view.marks(view.lineof(0x4100)).breakpoint);
    f.banks.rom = 2;
    EXPECT_TRUE(view.marks(view.lineof(0x4100)).breakpoint);

    view.setcursor(view.lineof(0x4100));
    view.setbookmark(3);
    EXPECT_EQ(view.marks(view.lineof(0x4100)).bookmark, 3);
    f.banks.rom = 1;  // the bookmark belongs to bank 2
    EXPECT_EQ(view.marks(view.lineof(0x4100)).bookmark, -1);
    view.setcursor(0);
    EXPECT_TRUE(view.gotobookmark(3));
    EXPECT_EQ(view.cursoraddress(), 0x4100);
    EXPECT_FALSE(view.gotobookmark(4));
}

TEST(DebugViews, CycleTotalsRunFromTheFirstVisibleLine) {
    tromimage rom;
    rom.code(0x200, {0x00, 0x3E, 0x01, 0xCD, 0x00, 0x03, 0xF0, 0x44});  // nop; ld a,1; call; ldh
    tviewsfixture f(rom);
    tscrollerasm view(*f.m, f.banks);
    view.lowercase = false;
    view.refresh();
    view.setvisiblelines(10);
    view.scrollto(view.lineof(0x200));
    const struct { uint16_t at; const char* cycles; } cases[] = {
        {0x200, " ;1  1"}, {0x201, " ;2  3"}, {0x203, " ;6  9"}, {0x206, " ;3  12"}};
    for (const auto& c : cases) {
        const std::string s = view.getstring(view.lineof(c.at));
        ASSERT_GE(s.size(), 56u);
        EXPECT_EQ(s.substr(56), c.cycles) << s;
    }
    // Lines out of sight carry no cycles.
    EXPECT_EQ(view.getstring(view.lineof(0x300)).find(';'), std::string::npos);
}

TEST(DebugViews, SearchWrapsAndIgnoresCase) {
    tromimage rom;
    rom.code(0x200, {0xF0, 0x44}).code(0x6000, {0xE0, 0x44});
    tviewsfixture f(rom);
    tscrollerasm view(*f.m, f.banks);
    view.refresh();
    const int first = view.lineof(0x200), second = view.lineof(0x6000);
    EXPECT_EQ(searchlines(view, first, "FF00+44"), second);
    EXPECT_EQ(searchlines(view, second, "ff00+44"), first);  // wraps
    EXPECT_EQ(searchlines(view, first, ";ly"), second);      // comments are searched too
    EXPECT_EQ(searchlines(view, 0, "no such text"), -1);
    // The start line itself is not found again.
    EXPECT_EQ(searchlines(view, view.lineof(0x150), "jr 0150"), -1);
}

TEST(DebugViews, SaveAsTextCoversTheLinesOfTheRange) {
    tviewsfixture f;
    tscrollerasm view(*f.m, f.banks);
    view.lowercase = false;
    view.refresh();
    uint32_t start = 0, size = 0;
    ASSERT_TRUE(parsesaverange("0101", "3", start, size));  // from inside the jp to its end
    EXPECT_EQ(disassemblytext(view, start, size), view.plainline(view.lineof(0x101)) + "\n");
    EXPECT_EQ(view.plainline(view.lineof(0x101)).find(';'), std::string::npos);
    ASSERT_TRUE(parsesaverange("0100", "5", start, size));
    EXPECT_EQ(disassemblytext(view, start, size),
              view.plainline(view.lineof(0x100)) + "\n" + view.plainline(view.lineof(0x101)) + "\n" +
                  view.plainline(view.lineof(0x104)) + "\n");
    // The whole space ends at 0xFFFF, however large the size.
    ASSERT_TRUE(parsesaverange("FFF0", "10000", start, size));
    const std::string tail = disassemblytext(view, start, size);
    EXPECT_NE(tail.find("I/O :FFFF"), std::string::npos);
    const struct { const char* start; const char* size; } bad[] = {
        {"", "10"}, {"zz", "10"}, {"10000", "1"}, {"0", "0"}, {"0", "g"}};
    for (const auto& b : bad) EXPECT_FALSE(parsesaverange(b.start, b.size, start, size)) << b.start;
    // The defaults save every line.
    ASSERT_TRUE(parsesaverange("0000", "10000", start, size));
    const std::string all = disassemblytext(view, start, size);
    EXPECT_EQ(size_t(std::count(all.begin(), all.end(), '\n')), size_t(view.linecount()));
    ASSERT_TRUE(parsesaverange("0", "20000", start, size));
    EXPECT_EQ(size, 0x10000u);
}

TEST(DebugViews, CursorStatusShowsTheByteAnOperandAddresses) {
    tromimage rom;
    rom.code(0x200, {0xFA, 0x00, 0xC0, 0x00});  // ld a,(C000); nop
    tviewsfixture f(rom);
    f.m->wram[0] = 0x5A;
    tscrollerasm view(*f.m, f.banks);
    view.refresh();
    std::string asked;
    auto evaluate = [&](const std::string& text) -> std::optional<uint32_t> {
        asked = text;
        return parsehex(text);
    };
    view.setcursor(view.lineof(0x200));
    EXPECT_EQ(view.cursorstatus(evaluate), "(C000)=5A");
    EXPECT_EQ(asked, "c000");
    view.setcursor(view.lineof(0x203));
    EXPECT_EQ(view.cursorstatus(evaluate), "");
}

TEST(DebugViews, CursorStaysInsideAndInView) {
    tviewsfixture f;
    tscrollermemmap view(*f.m, f.banks);
    view.setvisiblelines(10);
    const struct { int move, cursor, top; } steps[] = {
        {-5, 0, 0}, {9, 9, 0}, {1, 10, 1}, {100000, 0xFFF, 0xFFF - 9}, {-0xFFF, 0, 0}};
    for (const auto& s : steps) {
        view.movecursor(s.move);
        EXPECT_EQ(view.cursorline(), s.cursor);
        EXPECT_EQ(view.topline(), s.top);
    }
    view.gotoaddress(0xC123);
    EXPECT_EQ(view.cursoraddress(), 0xC120);
    EXPECT_LE(view.topline(), view.cursorline());
    EXPECT_GT(view.topline() + view.visiblelines(), view.cursorline());
}

}  // namespace
}  // namespace tov::testing
