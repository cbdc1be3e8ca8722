// The debugger window's logic: keys to run control, go to with banks, bookmarks, search,
// save as text, evaluate and register editing through the window's questions.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/gbtestutil.h"
#include "debugger/debugform.h"

namespace tov::testing {
namespace {

struct tfakecontrol : tdebugcontrol, tbreakpointmarks {
    bool isstopped = true;
    std::vector<std::string> calls;
    bool stopped() const override { return isstopped; }
    void trace() override { calls.push_back("trace"); }
    void stepover() override { calls.push_back("stepover"); }
    void stepout() override { calls.push_back("stepout"); }
    void runtocursor(uint16_t a, int b) override { calls.push_back("cursor " + hexbank(a, b)); }
    void togglebreakpoint(uint16_t a, int b) override { calls.push_back("toggle " + hexbank(a, b)); }
    void run() override { calls.push_back("run"); }
    void animate() override { calls.push_back("animate"); }
    void jumpreturn() override { calls.push_back("return"); }
    void reset() override { calls.push_back("reset"); }
    void stop() override { calls.push_back("stop"); }
    bool evaluate(const std::string& text, std::string& result) override {
        if (text == "bad") {
            result = "empty";
            return false;
        }
        result = "$" + text;
        return true;
    }
    const tbreakpointmarks* breakpointmarks() const override { return this; }
    bool hasexecutionbreakpoint(uint16_t a, int) const override { return a == 0x150; }
    static std::string hexbank(uint16_t a, int b) {
        char s[32];
        std::snprintf(s, sizeof s, "%X:%04X", unsigned(b), unsigned(a));
        return s;
    }
};

struct tformfixture {
    tmachine m;
    tfakecontrol control;
    tdebugform form;
    // Cartridge RAM comes up random: cleared so that searches find only what the test placed.
    explicit tformfixture(const tromimage& rom = tromimage()) : m(rom), form(*m, &control) {
        tcart& cart = m->cartridge();
        for (int32_t i = 0; cart.ramdata() && i < cart.ramimagesize(); i++) cart.ramdata()[i] = 0;
        m->cpu.PC = 0x150;
        form.options.DebugLowercase = false;
        form.stopped("breakpoint");
    }
    // Answers the waiting question; false when there was none.
    bool answer(const std::string& text) {
        tdebugrequest r = form.takerequest();
        if (r.kind == tdebugrequest::none || !r.answer) return false;
        r.answer(text);
        return true;
    }
};

TEST(DebugForm, StopShowsPcAndTheCaption) {
    tformfixture f;
    EXPECT_EQ(f.form.caption(), "breakpoint - debugger");
    EXPECT_EQ(f.form.code.cursoraddress(), 0x150);
    EXPECT_TRUE(f.form.code.marks(f.form.code.cursorline()).pc);
    EXPECT_TRUE(f.form.code.marks(f.form.code.cursorline()).breakpoint);
    f.form.stopped("");
    EXPECT_EQ(f.form.caption(), "debugger");
}

TEST(DebugForm, StepsKeepTheCodeViewStillWhilePcStaysInSight) {
    tformfixture f;
    f.form.code.setvisiblelines(20);
    f.form.stopped("tracing");
    const int top = f.form.code.topline();
    f.m->cpu.PC = 0x152;  // a few lines on
    f.form.stopped("tracing");
    EXPECT_EQ(f.form.code.topline(), top);
    EXPECT_EQ(f.form.code.cursoraddress(), 0x152);
    f.m->cpu.PC = 0x3000;  // out of sight: the view moves to it
    f.form.stopped("tracing");
    EXPECT_LE(f.form.code.topline(), f.form.code.lineof(0x3000));
    EXPECT_GT(f.form.code.topline() + 20, f.form.code.lineof(0x3000));
}

TEST(DebugForm, KeysDriveRunControlWhileStopped) {
    tformfixture f;
    const struct { int key, mods; const char* call; } cases[] = {
        {vk::f2, 0, "toggle 0:0150"}, {vk::f3, 0, "stepover"}, {vk::f4, 0, "cursor 0:0150"},
        {vk::f7, 0, "trace"}, {vk::f8, 0, "stepout"}, {vk::f9, 0, "run"}, {vk::escape, 0, "run"},
        {'A', keyalt, "animate"}, {vk::multiply, 0, "reset"}};
    for (const auto& c : cases) {
        f.control.calls.clear();
        EXPECT_TRUE(f.form.key(c.key, c.mods)) << c.call;
        ASSERT_EQ(f.control.calls.size(), 1u) << c.call;
        EXPECT_EQ(f.control.calls[0], c.call);
    }
    // While the machine runs, keys belong to the game.
    f.control.isstopped = false;
    f.control.calls.clear();
    EXPECT_FALSE(f.form.key(vk::f9, 0));
    EXPECT_TRUE(f.control.calls.empty());
}

TEST(DebugForm, CursorKeysMoveTheFocusedView) {
    tformfixture f;
    const int start = f.form.code.cursorline();
    f.form.key(vk::down, 0);
    EXPECT_EQ(f.form.code.cursorline(), start + 1);
    f.form.click(tdebugview::memory, 0xC00);
    f.form.key(vk::down, 0);
    EXPECT_EQ(f.form.memory.cursoraddress(), 0xC010);
    EXPECT_EQ(f.form.code.cursorline(), start + 1);
}

TEST(DebugForm, GotoSetsTheViewBankOfTheRegion) {
    tromimage rom(0x10000);
    rom.bankmarkers().entry().type(0x01).code(0x150, {0x18, 0xFE});
    tformfixture f(rom);
    const struct { const char* text; bool ok; int rom, wram, vram; uint16_t address; } cases[] = {
        {"2:4000", true, 2, -1, -1, 0x4000}, {"6:4001", true, 2, -1, -1, 0x4001},  // 4 banks
        {"0:D000", true, -1, 1, -1, 0xD000}, {"B:D123", true, -1, 3, -1, 0xD123},
        {"3:8000", true, -1, -1, 1, 0x8000}, {"C000", true, -1, -1, -1, 0xC000},
        {"", false, -1, -1, -1, 0}, {"1:zz", false, -1, -1, -1, 0}, {"10000", false, -1, -1, -1, 0}};
    for (const auto& c : cases) {
        EXPECT_EQ(f.form.gotoaddress(c.text), c.ok) << c.text;
        if (!c.ok) continue;
        if (c.rom >= 0) EXPECT_EQ(f.form.banks.rom, c.rom) << c.text;
        if (c.wram >= 0) EXPECT_EQ(f.form.banks.wram, c.wram) << c.text;
        if (c.vram >= 0) EXPECT_EQ(f.form.banks.vram, c.vram) << c.text;
        EXPECT_EQ(f.form.code.cursoraddress(), f.form.code.lines().line(f.form.code.lineof(c.address)).address);
        EXPECT_EQ(f.form.memory.cursoraddress(), c.address & 0xFFF0);
    }
    // Cartridge RAM banks count in 4 KiB units; without RAM there is no bank to choose.
    const int units = f.m->cartridge().ramimagesize() / 4096;
    EXPECT_TRUE(f.form.gotoaddress("5:A000"));
    EXPECT_EQ(f.form.banks.ram, units ? 5 % units : 0);
    f.m->attachcart(std::make_unique<tcart>());
    EXPECT_TRUE(f.form.gotoaddress("5:A000"));
    EXPECT_EQ(f.form.banks.ram, 0);
    f.form.gotoaddress("0150");
    // Ctrl+G asks, a bad answer says so.
    f.form.key('G', keyctrl);
    EXPECT_EQ(f.form.request().prompt, "enter address");
    ASSERT_TRUE(f.answer("xyz"));
    EXPECT_EQ(f.form.request().kind, tdebugrequest::message);
}

TEST(DebugForm, BookmarksToggleAndReturnWithTheirBank) {
    tromimage rom(0x10000);
    rom.bankmarkers().entry().type(0x01).code(0x150, {0x18, 0xFE});
    tformfixture f(rom);
    f.form.gotoaddress("2:4010");
    f.form.key('5', keyctrl | keyshift);
    EXPECT_EQ(f.form.code.marks(f.form.code.cursorline()).bookmark, 5);
    f.form.gotoaddress("1:4100");
    f.form.key('5', keyctrl);
    EXPECT_EQ(f.form.banks.rom, 2);
    EXPECT_EQ(f.form.code.cursoraddress(), 0x4010);
    f.form.key('5', keyctrl | keyshift);  // the same place again empties it
    EXPECT_EQ(f.form.code.marks(f.form.code.cursorline()).bookmark, -1);
}

TEST(DebugForm, SearchAndContinue) {
    tromimage rom;
    rom.code(0x300, {0x21, 0xEF, 0xBE}).code(0x400, {0x21, 0xEF, 0xBE});
    tformfixture f(rom);
    f.form.key('S', keyctrl);
    EXPECT_EQ(f.form.request().title, "search");
    EXPECT_EQ(f.form.request().prompt, "enter string");
    ASSERT_TRUE(f.answer("hl,beef"));
    EXPECT_EQ(f.form.code.cursoraddress(), 0x300);
    f.form.key('C', keyctrl);
    EXPECT_EQ(f.form.code.cursoraddress(), 0x400);
    f.form.key('C', keyctrl);
    EXPECT_EQ(f.form.code.cursoraddress(), 0x300);
}

TEST(DebugForm, SaveAsTextAsksFileStartAndSize) {
    tformfixture f;
    std::string written, path;
    f.form.writefile = [&](const std::string& p, const std::string& text) {
        path = p;
        written = text;
        return true;
    };
    f.form.asksaveasm();
    EXPECT_EQ(f.form.request().kind, tdebugrequest::savefile);
    ASSERT_TRUE(f.answer("/tmp/out.txt"));
    EXPECT_EQ(f.form.request().prompt, "enter start address (hex)");
    EXPECT_EQ(f.form.request().value, "0000");
    ASSERT_TRUE(f.answer("0150"));
    EXPECT_EQ(f.form.request().prompt, "enter size (hex)");
    EXPECT_EQ(f.form.request().value, "10000");
    ASSERT_TRUE(f.answer("2"));
    EXPECT_EQ(path, "/tmp/out.txt");
    EXPECT_EQ(written, f.form.code.plainline(f.form.code.lineof(0x150)) + "\n");
    // A failed write is reported.
    f.form.writefile = [](const std::string&, const std::string&) { return false; };
    f.form.asksaveasm();
    f.answer("/x");
    f.answer("0");
    f.answer("1");
    EXPECT_EQ(f.form.request().prompt, "error while saving");
}

TEST(DebugForm, EvaluateShowsResultOrError) {
    tformfixture f;
    f.form.key('E', keyctrl);
    EXPECT_EQ(f.form.request().title, "evaluate");
    EXPECT_EQ(f.form.request().prompt, "enter expression");
    ASSERT_TRUE(f.answer("FF44"));
    EXPECT_EQ(f.form.request().title, "result");
    EXPECT_EQ(f.form.request().prompt, "$FF44");
    f.form.askevaluate();
    ASSERT_TRUE(f.answer("bad"));
    EXPECT_EQ(f.form.request().title, "invalid expression");
    EXPECT_EQ(f.form.request().prompt, "empty");
}

TEST(DebugForm, RegisterClickAsksAndStores) {
    tformfixture f;
    f.form.click(tdebugview::registers, 2);
    EXPECT_EQ(f.form.request().prompt, "enter new value for register DE");
    ASSERT_TRUE(f.answer("1234"));
    EXPECT_EQ(f.m->cpu.DE, 0x1234);
    f.form.click(tdebugview::registers, 2);
    ASSERT_TRUE(f.answer("nonsense"));
    EXPECT_EQ(f.m->cpu.DE, 0x1234);
}

TEST(DebugForm, StatusShowsTheOperandByte) {
    tromimage rom;
    rom.code(0x150, {0xFA, 0x00, 0xC0});
    tformfixture f(rom);
    f.m->wram[0] = 0x42;
    f.form.click(tdebugview::code, f.form.code.lineof(0x150));
    EXPECT_EQ(f.form.status(), "(C000)=42");
}

TEST(DebugForm, AddressInputs) {
    const struct { const char* text; bool ok; int bank; uint16_t address; } cases[] = {
        {"0150", true, -1, 0x150}, {"2:4123", true, 2, 0x4123}, {" c000 ", true, -1, 0xC000},
        {"1F:4000", true, 0x1F, 0x4000}, {"10000:0", false, 0, 0}, {":0100", false, 0, 0},
        {"1:", false, 0, 0}, {"g", false, 0, 0}, {"1:00000000000", false, 0, 0}};
    for (const auto& c : cases) {
        int bank = 0;
        uint16_t address = 0;
        EXPECT_EQ(parsebankaddress(c.text, bank, address), c.ok) << c.text;
        if (!c.ok) continue;
        EXPECT_EQ(bank, c.bank) << c.text;
        EXPECT_EQ(address, c.address) << c.text;
    }
}

}  // namespace
}  // namespace tov::testing
