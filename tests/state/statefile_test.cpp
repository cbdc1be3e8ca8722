// The save-state file: the container's checks and messages, typed sizes, a failed load
// that leaves the running game as it was, saves that never destroy the previous state,
// the older fixed layout and its conversion, switching to the state's ROM (the hash
// question, "find rom for savestate", "cancelled by user") and the slots.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <filesystem>
#include <string>
#include <vector>

#include "roundtriptest.h"

namespace tov {
namespace {

using namespace statetest;

std::vector<uint8_t> chunk(const std::string& name, const std::vector<uint8_t>& data) {
    std::vector<uint8_t> f;
    writechunk(f, name, int32_t(data.size()), data.data());
    return f;
}
std::vector<uint8_t> operator+(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
std::vector<uint8_t> text(const std::string& s) { return std::vector<uint8_t>(s.begin(), s.end()); }

// The message a load raises, or "" when it loads.
std::string loaderror(tsavestates& states, const std::string& path, const std::string& rompath = {}) {
    try {
        states.loadstate(path, rompath);
    } catch (const tstateerror& e) {
        return e.what();
    }
    return "";
}

// A player running the busy program from a file, a few frames in.
struct tgame {
    ttempfolder folder;
    std::string rom;
    tplayer player;
    explicit tgame(uint8_t carttype = cartmbc1, int systemmode = 0) : player(systemmode) {
        rom = folder.file("game.gb");
        writefile(rom, playrom(carttype, false, false));
        EXPECT_TRUE(player.load(rom));
        for (int i = 0; i < 20; i++) player.frame();
    }
    tgb& gb() { return player.session->machine(); }
    tsavestates& states() { return *player.states; }
    // Writes `bytes` as a state file and loads it.
    std::string load(const std::vector<uint8_t>& bytes, const std::string& name = "x.sna") {
        writefile(folder.file(name), bytes);
        return loaderror(states(), folder.file(name));
    }
};

TEST(StateFile, TypedReadersAcceptTheirSizeOnly) {
    const uint8_t bytes[8] = {0x34, 0x12, 0x78, 0x56, 9, 9, 9, 9};
    tloadstate c{"x", 1, bytes};
    EXPECT_TRUE(c.asboolean());
    EXPECT_EQ(c.asbyte(), 0x34);
    c.size = 2;
    EXPECT_EQ(c.asword(), 0x1234);
    c.size = 4;
    EXPECT_EQ(c.aslongint(), 0x56781234);
    uint8_t block[4] = {};
    c.asblock(block, 4);
    EXPECT_EQ(block[3], 0x56);
    EXPECT_EQ(c.asstring(), std::string("\x34\x12\x78\x56", 4));
    c.size = 3;
    struct {
        std::function<void()> read;
        const char* message;
    } cases[] = {
        {[&] { c.asboolean(); }, "excepted data type boolean, wrong size"},
        {[&] { c.asbyte(); }, "excepted data type byte, wrong size"},
        {[&] { c.asword(); }, "excepted data type word, wrong size"},
        {[&] { c.aslongint(); }, "excepted data type longint, wrong size"},
        {[&] { c.asblock(block, 4); }, "excepted data size 4, wrong size"},
    };
    for (auto& t : cases) {
        try {
            t.read();
            ADD_FAILURE() << "no error for " << t.message;
        } catch (const tstateerror& e) {
            EXPECT_STREQ(e.what(), t.message);
        }
    }
}

TEST(StateFile, WrittenContainerLayout) {
    std::vector<uint8_t> f;
    writechunk(f, "TOV1.0", 0, nullptr);
    writechunkint(f, "divider", -2);
    const std::vector<uint8_t> expected = {'T', 'O', 'V', '1', '.', '0', 0, 0, 0, 0, 0,
                                           'd', 'i', 'v', 'i', 'd', 'e', 'r', 0, 4, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(f, expected);
    tgame g;
    std::vector<uint8_t> state = g.states().statebytes();
    auto chunks = splitstatechunks(state);
    ASSERT_GE(chunks.size(), 4u);
    EXPECT_EQ(chunks[0].name, "TOV1.0");
    EXPECT_EQ(chunks[1].name, "rommd5");
    EXPECT_EQ(chunks[2].name, "romfile");
    EXPECT_EQ(chunks[2].asstring(), g.rom);
    EXPECT_EQ(chunks[3].name, "gbcmode");
    EXPECT_EQ(chunks.back().name, "mbc1mode");
}

// Every container and typed-size error leaves the game that ran before whole: the machine
// is as before and runs on exactly like a twin that never saw the file.
TEST(StateFile, DamagedFilesNeverTouchTheGameInProgress) {
    tgame g;
    const std::vector<uint8_t> mark = chunk("TOV1.0", {});
    const std::vector<uint8_t> romfile = chunk("romfile", text(g.rom));
    const std::vector<uint8_t> good = g.states().statebytes();
    std::vector<uint8_t> negative = mark + text("AF") + std::vector<uint8_t>{0, 0xFF, 0xFF, 0xFF, 0xFF};
    std::vector<uint8_t> exact(size_t(maxstatefilesize) - romfile.size(), 0);
    exact[0] = 'p';  // one chunk of padding up to the limit
    const uint32_t padsize = uint32_t(exact.size() - 6);  // 'p', 0, four size bytes
    std::memcpy(&exact[2], &padsize, 4);
    std::vector<uint8_t> oversized = romfile + exact;
    oversized.push_back(0);
    struct {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* message;
    } cases[] = {
        {"empty file", {}, "reached end of file reading chunk name"},
        {"name without end", text("TOV1.0"), "reached end of file reading chunk name"},
        {"size cut off", text("AF") + std::vector<uint8_t>{0, 2, 0}, "reached end of file while reading chunk size"},
        {"negative size", negative, "negative chunk size"},
        {"data cut off", romfile + text("AF") + std::vector<uint8_t>{0, 2, 0, 0, 0, 1},
         "reached end of file while reading chunk data"},
        {"trailing bytes", good + std::vector<uint8_t>{1}, "reached end of file reading chunk name"},
        {"mark alone", mark, "this state has no rom filename"},
        {"one byte over the limit", oversized, "insane file size"},
        {"AF of 3 bytes", mark + romfile + chunk("BC", {1, 2}) + chunk("AF", {1, 2, 3}),
         "excepted data type word, wrong size"},
        {"OAM of 159 bytes", mark + romfile + chunk("OAM", std::vector<uint8_t>(159, 7)),
         "excepted data size 160, wrong size"},
        {"boolean of 2", mark + romfile + chunk("HALT", {1, 1}), "excepted data type boolean, wrong size"},
        {"byte of 0", mark + romfile + chunk("SCX", {}), "excepted data type byte, wrong size"},
        {"longint of 2", mark + romfile + chunk("divider", {1, 2}), "excepted data type longint, wrong size"},
        {"digest of 15", mark + chunk("rommd5", std::vector<uint8_t>(15)) + romfile,
         "excepted data size 16, wrong size"},
        {"late error after the registers", good + chunk("WRAM", std::vector<uint8_t>(100)),
         "excepted data size 8192, wrong size"},
    };
    tplayer twin(0);
    ASSERT_TRUE(twin.load(g.rom));
    for (int i = 0; i < 20; i++) twin.frame();
    for (auto& t : cases) {
        const std::vector<uint8_t> before = snapshot(g.gb());
        EXPECT_EQ(g.load(t.bytes), t.message) << t.what;
        EXPECT_EQ(snapshot(g.gb()), before) << t.what << ": the running game is as before";
        EXPECT_EQ(g.player.session->romfile(), g.rom);
    }
    for (int i = 0; i < 60; i++)
        ASSERT_TRUE(samepixels(g.player.frame(), twin.frame())) << "frame " << i << " after the failed loads";
    // (The cartridge RAM never written holds each cartridge's own random fill, so the two
    // machines are compared by what they show.)

    // Exactly the limit is read (and the padding skipped).
    std::vector<uint8_t> atlimit = romfile + exact;
    ASSERT_EQ(atlimit.size(), size_t(maxstatefilesize));
    EXPECT_EQ(g.load(atlimit), "");
}

TEST(StateFile, FileMessages) {
    tgame g;
    EXPECT_EQ(loaderror(g.states(), ""), "loadstate called with empty filename");
    const std::string missing = g.folder.file("missing.sn1");
    EXPECT_EQ(loaderror(g.states(), missing), "could not open snapshot file: " + missing);
    const std::string folder = g.folder.file("");
    EXPECT_EQ(loaderror(g.states(), folder), "could not open snapshot file: " + folder) << "a folder";
    try {
        g.states().savestate(g.folder.file("no/such/folder/x.sn1"));
        ADD_FAILURE() << "saved into a missing folder";
    } catch (const tstateerror& e) {
        EXPECT_STREQ(e.what(), "unable to save file, check the path");
    }
}

TEST(StateFile, NamesAreMatchedExactlyAndLaterChunksWin) {
    tgame g;
    const std::vector<uint8_t> head = chunk("TOV1.0", {}) + chunk("romfile", text(g.rom));
    EXPECT_EQ(g.load(head + chunk("", {1, 2, 3}) + chunk("bc", {9}) + chunk("whatever", std::vector<uint8_t>(9)) +
                     chunk("BC", {0x34, 0x12}) + chunk("BC", {0x78, 0x56})),
              "");
    EXPECT_EQ(g.gb().cpu.BC, 0x5678);
}

TEST(StateFile, FailedSaveKeepsThePreviousState) {
    tgame g;
    const std::string file = g.folder.file("game.sn1");
    g.states().savestate(file);
    const std::vector<uint8_t> first = readfile(file);
    ASSERT_FALSE(first.empty());
    // The new state cannot be created beside the old one.
    std::filesystem::create_directory(file + ".tmp");
    for (int i = 0; i < 10; i++) g.player.frame();
    EXPECT_THROW(g.states().savestate(file), tstateerror);
    EXPECT_EQ(readfile(file), first) << "the previous state is whole";
    std::filesystem::remove(file + ".tmp");
    g.states().savestate(file);
    EXPECT_NE(readfile(file), first);
    EXPECT_FALSE(std::filesystem::exists(file + ".tmp"));
    EXPECT_EQ(loaderror(g.states(), file), "");

    // A write that fails midway (a full disk): the old file stays, the error is reported.
    const std::vector<uint8_t> second = readfile(file);
    if (std::filesystem::exists("/dev/full")) {
        std::filesystem::create_symlink("/dev/full", file + ".tmp");
        try {
            g.states().savestate(file);
            ADD_FAILURE() << "a full disk reported as saved";
        } catch (const tstateerror& e) {
            EXPECT_STREQ(e.what(), "disk write error");
        }
        EXPECT_EQ(readfile(file), second);
        EXPECT_FALSE(std::filesystem::is_symlink(file + ".tmp")) << "the part-written file is removed";
    }
}

// The older fixed layout of a DMG game with 8 KiB of cartridge RAM.
std::vector<uint8_t> legacystate(const std::string& romname, uint16_t pc, uint8_t fill) {
    std::vector<uint8_t> b(320, 0);
    const uint32_t n = uint32_t(romname.size());
    std::memcpy(&b[0], &n, 4);
    std::memcpy(&b[4], romname.data(), romname.size());
    const uint16_t regs[6] = {0x11B0, 0x2233, 0x4455, 0x6677, 0xDFF0, pc};
    std::memcpy(&b[256], regs, sizeof regs);
    b[268] = 1;     // IME
    b[270] = 3;     // ROM bank
    b[274] = 0;     // DMG
    std::vector<uint8_t> io(80, 0);
    io[0x05] = 0x42;  // TIMA
    io[0x26] = 0x80;  // sound on
    io[0x12] = 0xF3;  // NR12
    io[0x40] = 0x91;  // LCDC
    io[0x42] = 0x17;  // SCY
    io[0x47] = 0x1B;  // BGP
    b = b + io + std::vector<uint8_t>(160, 0x0A) + std::vector<uint8_t>(8192, fill) +
        std::vector<uint8_t>(127, 0x0C) + std::vector<uint8_t>{0x05} + std::vector<uint8_t>(8192, 0x0D) +
        std::vector<uint8_t>(8192, 0x0E);
    return b;
}

TEST(StateFile, LegacyLayoutLoadsAndIsConvertedToChunks) {
    tgame g;
    g.player.settings.StateAutoConvert = true;
    const std::string file = g.folder.file("old.sn2");
    writefile(file, legacystate(g.rom, 0x0408, 0x5A));
    ASSERT_EQ(loaderror(g.states(), file), "");
    tgb& gb = g.gb();
    EXPECT_EQ(gb.cpu.PC, 0x0408);
    EXPECT_EQ(gb.cpu.BC, 0x2233);
    EXPECT_EQ(gb.cpu.ime, 1);
    EXPECT_EQ(gb.cpu.eipending, 1);
    EXPECT_EQ(gb.tima, 0x42);
    EXPECT_EQ(gb.lcdregs.scy, 0x17);
    EXPECT_EQ(gb.lcdregs.bgp, 0x1B);
    EXPECT_EQ(gb.vram[100], 0x5A);
    EXPECT_EQ(gb.wram[100], 0x0D);
    EXPECT_EQ(gb.iereg, 0x05);
    auto* cart = dynamic_cast<tcartmbcbase*>(&gb.cartridge());
    ASSERT_NE(cart, nullptr);
    EXPECT_EQ(cart->rombank, 3);
    EXPECT_EQ(cart->sram[100], 0x0E);
    EXPECT_EQ(gb.soundunit().channels[0].nrx2, 0xF3) << "sound registers written through the bus";
    // Rewritten in the chunk format, which loads to the same machine.
    const std::vector<uint8_t> converted = readfile(file);
    ASSERT_GT(converted.size(), 7u);
    EXPECT_EQ(std::string(converted.begin(), converted.begin() + 6), "TOV1.0");
    const std::vector<uint8_t> after = snapshot(gb);
    for (int i = 0; i < 5; i++) g.player.frame();
    ASSERT_EQ(loaderror(g.states(), file), "");
    EXPECT_EQ(snapshot(gb), after);

    // Without the option the file stays as it was; a cut-off one changes nothing.
    g.player.settings.StateAutoConvert = false;
    const std::vector<uint8_t> old = legacystate(g.rom, 0x0410, 0x33);
    writefile(file, old);
    ASSERT_EQ(loaderror(g.states(), file), "");
    EXPECT_EQ(readfile(file), old);
    const std::vector<uint8_t> before = snapshot(gb);
    EXPECT_EQ(g.load(std::vector<uint8_t>(old.begin(), old.end() - 1)), "read beyond end of file");
    EXPECT_EQ(snapshot(gb), before);
    // In SGB mode the SGB unit's fields follow, back to back in their order.
    std::vector<uint8_t> sgbstate = legacystate(g.rom, 0x0410, 0x33);
    sgbstate[274] = 2;
    std::vector<uint8_t> sgbblock(legacysgbsize, 0);
    const size_t paloffset = 1 + 1 + 4 + 16 + 4 * 4 + 8192 + 2048;  // up to "sgb_pal"
    sgbblock[paloffset] = 0x1F;
    sgbblock[paloffset + 1] = 0x7C;
    writefile(file, sgbstate + sgbblock);
    ASSERT_EQ(loaderror(g.states(), file), "");
    EXPECT_TRUE(gb.sgbmode);
    EXPECT_EQ(g.player.session->sgb().pal[0], 0x7C1F);
    // A first value of 5 is the older layout with a five-character name.
    std::vector<uint8_t> five = {5, 0, 0, 0, 'a', 'b', 'c', 'd', 'e'};
    EXPECT_TRUE(islegacystate(five));
    five.resize(320);
    EXPECT_EQ(readlegacyheader(five).romname, "abcde");
}

TEST(StateFile, StateOfAnotherGameSwitchesTheRom) {
    tgame a(cartmbc1), b(cartmbc5);
    for (int i = 0; i < 7; i++) b.player.frame();
    const std::string file = a.folder.file("other.sn1");
    b.states().savestate(file);
    a.states().slot = 4;
    ASSERT_EQ(loaderror(a.states(), file), "");
    EXPECT_EQ(a.player.session->romfile(), b.rom);
    EXPECT_EQ(a.states().slot, 1) << "a ROM load starts again at slot 1";
    EXPECT_EQ(snapshot(a.gb()), snapshot(b.gb()));
    for (int i = 0; i < 30; i++) ASSERT_TRUE(samepixels(a.player.frame(), b.player.frame()));
}

TEST(StateFile, MissingRomIsAskedForAndAFailedSearchKeepsTheGame) {
    tgame a(cartmbc1), b(cartmbc5);
    const std::string file = a.folder.file("other.sn1");
    b.states().savestate(file);
    const std::string moved = b.folder.file("moved.gb");
    std::filesystem::rename(b.rom, moved);

    // Without an answer the window is told which path failed.
    const std::vector<uint8_t> before = snapshot(a.gb());
    try {
        a.states().loadstate(file);
        ADD_FAILURE() << "loaded without its ROM";
    } catch (const tromnotfound& e) {
        EXPECT_STREQ(e.what(), "failed to load the rom for savestate");
        EXPECT_EQ(e.path, b.rom);
    }
    EXPECT_EQ(a.player.session->romfile(), a.rom);
    EXPECT_EQ(snapshot(a.gb()), before);

    std::vector<std::string> asked;
    for (std::string answer : {std::string(), b.rom}) {
        a.states().questions.findrom = [&](const std::string& failed) {
            asked.push_back(failed);
            return answer;
        };
        EXPECT_EQ(loaderror(a.states(), file), "failed to load the rom for savestate");
        EXPECT_EQ(a.player.session->romfile(), a.rom);
        EXPECT_EQ(snapshot(a.gb()), before);
    }
    EXPECT_EQ(asked, (std::vector<std::string>{b.rom, b.rom}));
    // The answer of the window's own dialog.
    EXPECT_EQ(loaderror(a.states(), file, moved), "");
    EXPECT_EQ(a.player.session->romfile(), moved);
    EXPECT_EQ(snapshot(a.gb()), snapshot(b.gb()));

    // Edits the switch would lose: the question's No cancels.
    a.states().questions.loseromchanges = [] { return false; };
    a.states().questions.findrom = nullptr;
    std::filesystem::copy_file(a.rom, a.folder.file("a2.gb"));
    a.player.load(a.folder.file("a2.gb"));
    const std::vector<uint8_t> a2 = snapshot(a.gb());
    EXPECT_EQ(loaderror(a.states(), file, moved), "cancelled by user");
    EXPECT_EQ(snapshot(a.gb()), a2);
}

TEST(StateFile, SamePathDifferentContentsAsksTheHashQuestion) {
    tgame g;
    const std::string file = g.folder.file("game.sn1");
    g.states().savestate(file);
    // The ROM file is replaced by another version (one byte of code differs).
    std::vector<uint8_t> v2 = playrom(cartmbc1, false, false);
    v2[0x7FF0] ^= 0xFF;
    writefile(g.rom, v2);
    tplayer p(0);
    ASSERT_TRUE(p.load(g.rom));
    std::vector<std::string> questions;
    bool answer = false;
    p.session->confirmromhash = [&](const std::string& q) {
        questions.push_back(q);
        return answer;
    };
    const std::string expected = "hash of loaded rom (" + md5hex(p.session->romdigest()) +
                                 ") differs from expected hash (" + md5hex(g.player.session->romdigest()) +
                                 "), continue?";
    EXPECT_EQ(loaderror(*p.states, file), "failed to load the rom for savestate") << "Cancel refuses the ROM";
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0], expected);
    answer = true;
    EXPECT_EQ(loaderror(*p.states, file), "");
    EXPECT_EQ(questions.size(), 2u);
    EXPECT_FALSE(p.session->expectedromhash) << "the expected digest lasts one load";
    // A state without a digest loads onto the ROM its name gives.
    std::vector<uint8_t> nodigest;
    const std::vector<uint8_t> withdigest = readfile(file);
    for (const tloadstate& c : splitstatechunks(withdigest))
        if (c.name != "rommd5") writechunk(nodigest, c.name, c.size, c.data);
    writefile(file, nodigest);
    EXPECT_EQ(loaderror(*p.states, file), "");
    EXPECT_EQ(questions.size(), 2u);
}

TEST(StateFile, SlotsBesideTheBatteryFile) {
    tgame g;
    const std::string base = g.folder.file("game");
    EXPECT_EQ(g.states().slotfile(), base + ".sn1") << "slot 1 after a ROM load";
    EXPECT_EQ(g.states().slotfile(0), base + ".sn0");
    g.player.settings.SaveRamDir = g.folder.file("saves");
    std::filesystem::create_directory(g.player.settings.SaveRamDir);
    ASSERT_TRUE(g.player.load(g.rom));
    EXPECT_EQ(g.states().slotfile(7), g.folder.file("saves/game.sn7"));
    struct {
        int button, slot;
        const char* caption;
    } buttons[] = {{1, 1, "&1"}, {5, 5, "&5"}, {9, 9, "&9"}, {10, 0, "&0"}};
    for (auto& b : buttons) {
        EXPECT_EQ(slotofbutton(b.button), b.slot);
        EXPECT_EQ(buttonofslot(b.slot), b.button);
        EXPECT_EQ(slotcaption(b.button), b.caption);
    }
    tplayer empty(0);
    EXPECT_EQ(empty.states->slotfile(), "") << "no game, no slot file";
    EXPECT_FALSE(savesnap(*empty.states).done);
    EXPECT_FALSE(loadsnap(*empty.states).done);
}

TEST(StateFile, SlotCommandsReportAsTheWindowShowsThem) {
    tgame g;
    g.states().slot = 3;
    tstatereport r = loadsnap(g.states());
    EXPECT_FALSE(r.done);
    EXPECT_EQ(r.boxtitle, "error");
    EXPECT_EQ(r.boxtext, "could not open snapshot file: " + g.states().slotfile());
    r = savesnap(g.states());
    EXPECT_TRUE(r.done);
    EXPECT_EQ(r.status, "State saved");
    const std::vector<uint8_t> saved = snapshot(g.gb());
    for (int i = 0; i < 9; i++) g.player.frame();
    r = loadsnap(g.states());
    EXPECT_EQ(r.status, "State loaded");
    EXPECT_EQ(snapshot(g.gb()), saved);
    std::filesystem::create_directory(g.states().slotfile() + ".tmp");
    r = savesnap(g.states());
    EXPECT_FALSE(r.done);
    EXPECT_EQ(r.boxtitle, "error while saving " + g.states().slotfile());
    EXPECT_EQ(r.boxtext, "unable to save file, check the path");
}

}  // namespace
}  // namespace tov
