// Editing from the debugger: banked writing into every region through the view banks,
// insert and delete across bank borders, copy, dump and save ROM compared byte for byte, the
// edit dialogs with their messages, the ROM-modified flag and its question, the state and
// ROM commands, and the ten bookmarks.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cart/carttesthelpers.h"
#include "core/gbtestutil.h"
#include "debugger/debugform.h"
#include "debugger/editing.h"

namespace tov::testing {
namespace {

using tbytes = std::vector<uint8_t>;

// A GBC game with MBC1, 4 ROM banks and banked cartridge RAM.
tromimage gbcgame() {
    tromimage rom(0x10000);
    rom.bankmarkers().entry().type(0x03).ramsizecode(0x03).colour(0x80).code(0x150, {0x18, 0xFE});
    return rom;
}

struct teditfixture {
    tmachine m;
    tviewbanks banks;
    tdebugeditor edit;
    explicit teditfixture(const tromimage& rom = gbcgame(), int mode = 1) : m(rom, mode), edit(*m, banks) {
        banks.rom = 2;
        banks.ram = 1;
        banks.wram = 3;
        banks.vram = 1;
    }
    uint8_t* rom() { return m->cartridge().romimagedata(); }
    uint8_t* ram() { return m->cartridge().ramdata(); }
};

TEST(DebugEdit, PokeWritesEveryRegionThroughTheViewBanks) {
    teditfixture f;
    ASSERT_TRUE(f.m->gbcmode);
    ASSERT_GE(f.m->cartridge().ramimagesize(), 0x4000);
    const struct { uint16_t address; uint8_t* where; bool rom; } cases[] = {
        {0x0123, f.rom() + 0x0123, true},
        {0x4005, f.rom() + 2 * 0x4000 + 5, true},
        {0x8010, f.m->vram + 0x2000 + 0x10, false},
        {0xA010, f.ram() + 0x2000 + 0x10, false},
        {0xC010, f.m->wram + 0x10, false},
        {0xE020, f.m->wram + 0x20, false},  // echo of bank 0
        {0xD010, f.m->wram + 3 * 0x1000 + 0x10, false},
        {0xF030, f.m->wram + 3 * 0x1000 + 0x30, false},  // echo of the view bank
        {0xFE00, f.m->oam, false},
        {0xFF80, f.m->hram, false},
    };
    uint8_t value = 0x51;
    for (const auto& c : cases) {
        f.edit.rommodified = false;
        f.edit.poke(c.address, ++value);
        EXPECT_EQ(*c.where, value) << std::hex << c.address;
        EXPECT_EQ(f.edit.rommodified, c.rom) << std::hex << c.address;
        // The views read the echo as the machine maps it; everything else through the view banks.
        if (c.address < 0xF000) EXPECT_EQ(f.edit.read(c.address), value) << std::hex << c.address;
    }
    // From 0xFE00 up the machine's own write: IE and a register with its effect.
    f.edit.poke(0xFFFF, 0x1F);
    EXPECT_EQ(f.m->iereg, 0x1F);
    f.edit.poke(0xFF4F, 0x01);  // VBK
    EXPECT_EQ(f.m->vrambank, f.m->vram + 0x2000);
    // Beyond the ROM and the RAM nothing is written, and the ROM is not marked.
    f.edit.rommodified = false;
    f.banks.rom = 7;
    const int32_t ramsize = f.m->cartridge().ramimagesize();
    f.banks.ram = ramsize / 0x2000;
    const tbytes before(f.rom(), f.rom() + 0x10000), ram(f.ram(), f.ram() + ramsize);
    f.edit.poke(0x4000, 0xAA);
    f.edit.poke(0xA000, 0xAA);
    EXPECT_EQ(tbytes(f.rom(), f.rom() + 0x10000), before);
    EXPECT_EQ(tbytes(f.ram(), f.ram() + ramsize), ram);
    EXPECT_EQ(f.edit.read(0xA000), 0xFF);
    EXPECT_FALSE(f.edit.rommodified);
}

TEST(DebugEdit, WithoutAControllerOnlyMemoryIsWritten) {
    tmachine m;
    m->attachcart(std::make_unique<tcart>());
    tviewbanks banks;
    tdebugeditor edit(*m, banks);
    edit.poke(0x0100, 0x12);
    edit.poke(0xA000, 0x12);
    edit.poke(0xC000, 0x34);
    EXPECT_FALSE(edit.rommodified);
    EXPECT_EQ(m->wram[0], 0x34);
    EXPECT_TRUE(edit.romimage().empty());
}

TEST(DebugEdit, InsertAndDeleteMoveTheInsertSize) {
    const struct {
        uint16_t at;
        bool insert;
        uint32_t size;
        tbytes before, after;  // the bytes from `at` on, as the views read them
    } cases[] = {
        {0x0200, true, 4, {0x11, 0x22, 0x33, 0x44, 0x55}, {0x00, 0x11, 0x22, 0x33, 0x55}},
        {0x0200, false, 4, {0x11, 0x22, 0x33, 0x44, 0x55}, {0x22, 0x33, 0x44, 0x00, 0x55}},
        {0x0200, true, 1, {0x11, 0x22}, {0x00, 0x22}},
        {0x0200, true, 0, {0x11, 0x22}, {0x11, 0x22}},  // nothing to move
        {0x0200, false, 0, {0x11, 0x22}, {0x11, 0x22}},
        // Across the border of ROM bank 0 and the view bank, and of work RAM 0 and its view bank.
        {0x3FFE, true, 4, {0xA1, 0xA2, 0xB1, 0xB2, 0xB3}, {0x00, 0xA1, 0xA2, 0xB1, 0xB3}},
        {0x3FFE, false, 4, {0xA1, 0xA2, 0xB1, 0xB2, 0xB3}, {0xA2, 0xB1, 0xB2, 0x00, 0xB3}},
        {0xCFFF, false, 3, {0x01, 0x02, 0x03, 0x04}, {0x02, 0x03, 0x00, 0x04}},
        // The address space wraps.
        {0xFFFE, true, 3, {0x10, 0x1F, 0x05}, {0x00, 0x10, 0x1F}},
    };
    for (const auto& c : cases) {
        teditfixture f;
        for (size_t i = 0; i < c.before.size(); i++) f.edit.poke(uint16_t(c.at + i), c.before[i]);
        f.edit.insertsize = c.size;
        c.insert ? f.edit.insertbyte(c.at) : f.edit.deletebyte(c.at);
        tbytes after;
        for (size_t i = 0; i < c.after.size(); i++) after.push_back(f.edit.read(uint16_t(c.at + i)));
        EXPECT_EQ(after, c.after) << std::hex << c.at << (c.insert ? " insert " : " delete ") << c.size;
    }
    // A size beyond the address space (the field takes up to 2^31 - 1) moves the whole space
    // once, as 0x10000 does, instead of going round it for billions of pokes.
    for (const bool insert : {true, false}) {
        teditfixture whole, huge;
        for (teditfixture* g : {&whole, &huge}) {
            for (uint32_t i = 0; i < 0x100; i++) g->edit.poke(uint16_t(0xC000 + i), uint8_t(i));
            g->edit.insertsize = g == &whole ? 0x10000 : 0x7FFFFFFF;
            insert ? g->edit.insertbyte(0xC010) : g->edit.deletebyte(0xC010);
        }
        // The bytes that came from the ones written above (the rest of the space starts random).
        for (uint32_t i = 0x11; i < 0xFF; i++)
            ASSERT_EQ(huge.edit.read(uint16_t(0xC000 + i)), whole.edit.read(uint16_t(0xC000 + i))) << insert << " " << i;
    }
    // The bank-2 bytes really are in bank 2 of the image.
    teditfixture f;
    f.edit.poke(0x3FFF, 0x77);
    f.edit.insertsize = 2;
    f.edit.insertbyte(0x3FFF);
    EXPECT_EQ(f.rom()[2 * 0x4000], 0x77);
    EXPECT_EQ(f.rom()[0x3FFF], 0x00);
}

TEST(DebugEdit, CopyDumpAndSaveRomByteForByte) {
    teditfixture f;
    carttest::tscratch dir;
    f.edit.pokebytes(0xC100, {0x3E, 0x0a, 0xFF});
    EXPECT_EQ(f.edit.copytext(0xC100, 3), "3E0AFF");
    EXPECT_EQ(f.edit.copytext(0xC100, 0), "");
    // Dump: through the view banks, wrapping at 16 bits.
    const tbytes dump = f.edit.dumpbytes(0xFFF0, 0x20);
    ASSERT_EQ(dump.size(), 0x20u);
    EXPECT_TRUE(writeuserfile(dir.file("dump.bin"), dump));
    const tbytes back = dir.read("dump.bin");
    ASSERT_EQ(back.size(), 0x20u);
    for (int i = 0; i < 0x20; i++) EXPECT_EQ(back[size_t(i)], f.edit.read(uint16_t(0xFFF0 + i))) << i;
    EXPECT_EQ(f.edit.dumpbytes(0x4000, 0x10)[0], 2);  // the bank marker of view bank 2
    EXPECT_EQ(f.edit.dumpbytes(0, 0x20000).size(), 0x10000u);
    // Save ROM: the whole image as loaded, with the edit; the flag goes.
    f.edit.poke(0x4010, 0xE7);
    ASSERT_TRUE(f.edit.rommodified);
    ASSERT_TRUE(f.edit.saverom(dir.file("edited.gb")));
    EXPECT_FALSE(f.edit.rommodified);
    const tbytes saved = dir.read("edited.gb");
    EXPECT_EQ(saved, tbytes(f.rom(), f.rom() + f.m->cartridge().romimagesize()));
    EXPECT_EQ(saved[2 * 0x4000 + 0x10], 0xE7);
    // A file that cannot be written keeps the flag, and the old file stays whole.
    f.edit.poke(0x4010, 0x00);
    EXPECT_FALSE(f.edit.saverom(dir.file("missing/edited.gb")));
    EXPECT_TRUE(f.edit.rommodified);
}

TEST(DebugEdit, LossOfChangesIsAskedOnlyWhenTheRomWasEdited) {
    teditfixture f;
    int asked = 0;
    std::string question;
    auto answer = [&](bool ok) {
        return [&, ok](const std::string& q) {
            asked++;
            question = q;
            return ok;
        };
    };
    EXPECT_TRUE(f.edit.mayloseromchanges(answer(false)));
    EXPECT_EQ(asked, 0);
    f.edit.poke(0x0150, 0x00);
    EXPECT_FALSE(f.edit.mayloseromchanges(answer(false)));
    EXPECT_TRUE(f.edit.rommodified);  // Cancel keeps the changes
    EXPECT_EQ(question, "changes made to the currently loaded rom will be lost. continue?");
    EXPECT_TRUE(f.edit.mayloseromchanges(answer(true)));
    EXPECT_FALSE(f.edit.rommodified);
    EXPECT_TRUE(f.edit.mayloseromchanges(answer(false)));
    EXPECT_EQ(asked, 2);
}

// ---- The window's commands ----

struct tstoppedcontrol : tdebugcontrol {
    bool isstopped = true;
    std::vector<std::string> calls;
    bool stopped() const override { return isstopped; }
    void trace() override {}
    void stepover() override {}
    void stepout() override {}
    void runtocursor(uint16_t a, int b) override { calls.push_back("runto " + std::to_string(a) + " " + std::to_string(b)); }
    void togglebreakpoint(uint16_t, int) override {}
    void run() override {}
    void animate() override {}
    void jumpreturn() override {}
    void reset() override {}
    void stop() override {}
    bool evaluate(const std::string&, std::string&) override { return false; }
};

struct tformfixture {
    tmachine m;
    tstoppedcontrol control;
    tdebugform form;
    explicit tformfixture(const tromimage& rom = gbcgame()) : m(rom, 1), form(*m, &control) {
        m->cpu.PC = 0x150;
        form.options.DebugLowercase = false;
        form.stopped("breakpoint");
    }
    // The waiting request, answered; its copy for the checks.
    tdebugrequest answer(const std::string& text) {
        tdebugrequest r = form.takerequest();
        if (r.answer) r.answer(text);
        return r;
    }
};

TEST(DebugEditForm, EditDataAsksAgainUntilItGetsBytes) {
    tformfixture f;
    f.form.gotoaddress("C100");
    f.form.menueditdata();
    EXPECT_EQ(f.form.request().title, "edit data at C100");
    EXPECT_EQ(f.form.request().prompt, "enter hexadecimal byte values");
    f.answer("3e zz");
    EXPECT_EQ(f.form.request().kind, tdebugrequest::message);
    EXPECT_EQ(f.form.request().title, "invalid data");
    EXPECT_EQ(f.form.request().prompt, "error");
    f.answer("");
    EXPECT_EQ(f.form.request().title, "edit data at C100");  // again, with the text to mend
    EXPECT_EQ(f.form.request().value, "3e zz");
    f.answer("   ");  // no bytes: asked again without a message
    EXPECT_EQ(f.form.request().kind, tdebugrequest::text);
    f.answer("3e 0");
    EXPECT_EQ(f.m->wram[0x100], 0x3E);
    EXPECT_EQ(f.m->wram[0x101], 0x00);
    EXPECT_EQ(f.form.request().kind, tdebugrequest::none);
    f.form.menueditdata();
    f.answer("3e 01");
    EXPECT_EQ(f.m->wram[0x101], 0x01);
    EXPECT_FALSE(f.form.edit.rommodified);
    // Cancel (no answer) ends it.
    f.form.menueditdata();
    f.form.takerequest();
    EXPECT_EQ(f.form.request().kind, tdebugrequest::none);
}

TEST(DebugEditForm, EditCodeAssemblesAtTheCursorLine) {
    tformfixture f;
    int edited = 0;
    f.form.host.romedited = [&] { edited++; };
    f.form.gotoaddress("0200");
    const int line = f.form.code.cursorline(), top = f.form.code.topline();
    f.form.menueditcode();
    EXPECT_EQ(f.form.request().title, "edit code at 0200");
    EXPECT_EQ(f.form.request().prompt, "enter instructions, separated by semicolons");
    f.answer("LD A,5");
    EXPECT_EQ(f.form.request().title, "error");
    EXPECT_EQ(f.form.request().prompt, "unable to assemble opcode: LD A,5");
    f.answer("");
    f.answer("LD A,05;LD (FF00+40),A");
    const uint8_t* rom = f.m->cartridge().romimagedata();
    EXPECT_EQ(tbytes(rom + 0x200, rom + 0x204), (tbytes{0x3E, 0x05, 0xE0, 0x40}));
    EXPECT_TRUE(f.form.edit.rommodified);
    EXPECT_EQ(edited, 1);
    // The code view is rebuilt and stays on its line.
    EXPECT_EQ(f.form.code.cursorline(), line);
    EXPECT_EQ(f.form.code.topline(), top);
    EXPECT_NE(f.form.code.getstring(line).find("LD A,05"), std::string::npos) << f.form.code.getstring(line);
    // Fixing the header checks edits ROM bytes too.
    f.form.edit.rommodified = false;
    f.form.checksumfix();
    EXPECT_TRUE(f.form.edit.rommodified);
    EXPECT_EQ(edited, 2);
}

TEST(DebugEditForm, InsertSizeCopyAndTheKeys) {
    tformfixture f;
    f.form.gotoaddress("0200");
    f.form.writebytes(0x200, {0x11, 0x22, 0x33, 0x44});
    f.form.menuinsertsize();
    EXPECT_EQ(f.form.request().title, f.form.caption());
    EXPECT_EQ(f.form.request().prompt, "how many bytes to move");
    f.answer("-3");  // kept
    EXPECT_EQ(f.form.edit.insertsize, 256u);
    f.form.menuinsertsize();
    f.answer("4");
    EXPECT_EQ(f.form.edit.insertsize, 4u);
    EXPECT_TRUE(f.form.key(vk::insert, 0));
    const uint8_t* rom = f.m->cartridge().romimagedata();
    EXPECT_EQ(tbytes(rom + 0x200, rom + 0x204), (tbytes{0x00, 0x11, 0x22, 0x33}));
    EXPECT_TRUE(f.form.key(vk::del, 0));
    EXPECT_EQ(tbytes(rom + 0x200, rom + 0x204), (tbytes{0x11, 0x22, 0x33, 0x00}));
    // Only while stopped, and only in the code view.
    f.control.isstopped = false;
    EXPECT_FALSE(f.form.key(vk::insert, 0));
    f.control.isstopped = true;
    f.form.focus = tdebugview::memory;
    EXPECT_FALSE(f.form.key(vk::insert, 0));
    f.form.focus = tdebugview::code;
    // Copy: the caption names the address, the clipboard gets upper-case pairs.
    std::string clipboard;
    f.form.host.setclipboard = [&](const std::string& t) { clipboard = t; };
    f.form.menueditcopy();
    EXPECT_EQ(f.form.caption(), "copy data from 0200");
    EXPECT_EQ(f.form.request().title, "copy data from 0200");
    EXPECT_EQ(f.form.request().prompt, "how many bytes to copy");
    f.answer("3");
    EXPECT_EQ(clipboard, "112233");
}

TEST(DebugEditForm, SaveRomDumpAndStateFiles) {
    tformfixture f;
    carttest::tscratch dir;
    f.form.host.statefolder = dir.path;
    f.form.writebytes(0x0150, {0x00});
    ASSERT_TRUE(f.form.edit.rommodified);
    f.form.menusaverom();
    EXPECT_EQ(f.form.request().kind, tdebugrequest::savefile);
    EXPECT_EQ(f.form.request().prompt, "GB roms|*.GB;*.GBC|All files|*");
    f.answer(dir.file("fixed"));
    EXPECT_FALSE(f.form.edit.rommodified);
    const uint8_t* rom = f.m->cartridge().romimagedata();
    EXPECT_EQ(dir.read("fixed.gb"), tbytes(rom, rom + f.m->cartridge().romimagesize()));
    // The next save dialog offers the last name.
    f.form.menudump();
    EXPECT_EQ(f.form.request().value, dir.file("fixed.gb"));
    EXPECT_EQ(f.form.request().prompt, "All files|*");
    EXPECT_EQ(f.form.request().folder, dir.path);
    f.answer(dir.file("mem.bin"));
    EXPECT_EQ(f.form.request().prompt, "enter start offset (hex)");
    EXPECT_EQ(f.form.request().value, "0000");
    f.answer("C0F0");
    EXPECT_EQ(f.form.request().prompt, "enter size (hex)");
    EXPECT_EQ(f.form.request().value, "10000");
    f.answer("20");
    EXPECT_EQ(dir.read("mem.bin"), f.form.edit.dumpbytes(0xC0F0, 0x20));
    // States: ".sna" for a name without one; a failure is shown.
    std::string saved;
    f.form.host.savestate = [&](const std::string& path) {
        saved = path;
        return std::string(path.find("bad") != std::string::npos ? "disk full" : "");
    };
    f.form.menusavestate();
    EXPECT_EQ(f.form.request().prompt,
              "save states|*.sna;*.sn0;*.sn1;*.sn2;*.sn3;*.sn4;*.sn5;*.sn6;*.sn7;*.sn8;*.sn9|All files|*");
    f.answer(dir.file("here"));
    EXPECT_EQ(saved, dir.file("here.sna"));
    EXPECT_EQ(f.form.request().kind, tdebugrequest::none);
    f.form.menusavestate();
    f.answer(dir.file("bad.sn3"));
    EXPECT_EQ(saved, dir.file("bad.sn3"));
    EXPECT_EQ(f.form.request().title, "error while saving");
    EXPECT_EQ(f.form.request().prompt, "disk full");
    f.form.takerequest();
    // Loading: the window's commands.
    std::vector<std::string> calls;
    f.form.host.loadstate = [&] { calls.push_back("state"); };
    f.form.host.loadrom = [&] { calls.push_back("rom"); };
    f.form.host.loadromnoreset = [&](const std::string& p) { calls.push_back("noreset " + p); };
    f.form.menuloadstate();
    f.form.key(vk::f12, 0);
    f.form.menuloadromnoreset();
    EXPECT_EQ(f.form.request().kind, tdebugrequest::openfile);
    EXPECT_EQ(f.form.request().prompt, "GB roms and zip files|*.GB;*.GBC;*.ZIP;*.GZ|All files|*");
    f.answer("/x/game.gb");
    EXPECT_EQ(calls, (std::vector<std::string>{"state", "rom", "noreset /x/game.gb"}));
}

TEST(DebugEditForm, TenBookmarksKeepAddressAndBank) {
    tformfixture f;
    for (int k = 0; k < 10; k++) {
        f.form.gotoaddress((k % 2 ? "3:" : "1:") + std::to_string(4000 + k * 10));
        f.form.key('0' + k, keyctrl | keyshift);
    }
    for (int k = 9; k >= 0; k--) {
        f.form.gotoaddress("2:4000");
        f.form.key('0' + k, keyctrl);
        EXPECT_EQ(f.form.banks.rom, k % 2 ? 3 : 1) << k;
        EXPECT_EQ(f.form.code.cursoraddress(), 0x4000 + k * 0x10) << k;
        EXPECT_EQ(f.form.code.marks(f.form.code.cursorline()).bookmark, k);
    }
    // The same address in another bank is another place: no mark there.
    f.form.gotoaddress("2:4010");
    EXPECT_EQ(f.form.code.marks(f.form.code.cursorline()).bookmark, -1);
    // Emptied by storing the same place again; going to an empty one does nothing.
    f.form.gotoaddress("3:4010");
    f.form.key('1', keyctrl | keyshift);
    EXPECT_EQ(f.form.code.marks(f.form.code.cursorline()).bookmark, -1);
    f.form.gotoaddress("0200");
    f.form.key('1', keyctrl);
    EXPECT_EQ(f.form.code.cursoraddress(), 0x200);
    // Alt+digit stores as Ctrl+Shift+digit does.
    EXPECT_TRUE(f.form.key('1', keyalt));
    f.form.gotoaddress("0300");
    f.form.key('1', keyctrl);
    EXPECT_EQ(f.form.code.cursoraddress(), 0x200);
}

}  // namespace
}  // namespace tov::testing
