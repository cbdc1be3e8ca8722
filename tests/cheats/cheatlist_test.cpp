// The cheat list on a machine: Game Genie patches in every bank and their limit, undoing
// byte for byte (the ROM digest), GameShark writes every frame, disable-all and suspension,
// the form's buttons, the ".cht" file both ways and the list following the loaded game.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "cart/md5.h"
#include "cheats/cheats.h"
#include "core/gbtestutil.h"
#include "debugger/debugtestutil.h"
#include "frontend/cheathooks.h"
#include "support/runner.h"

namespace tov {
namespace {

using testing::makerom;
using testing::tmachine;
using testing::tromimage;

// A 1 MiB MBC1 image (64 banks, each starting with its bank number).
tromimage bigrom() {
    tromimage r(1 << 20);
    r.noise().bankmarkers().blankheader().logo().title("CHEATS").type(0x01);
    r.entry().code(0x150, {0x18, 0xFE});
    return r;
}

// Counts up a byte at 0xC123 (from 5) and a little-endian word at 0xC200 (from 0x00FE)
// once per frame, at the start of line 144.
tromimage counterrom() {
    tromimage r;
    r.code(0x150, {0x21, 0x23, 0xC1, 0x36, 0x05, 0x11, 0xFE, 0x00,  // ld hl,C123; ld (hl),5; ld de,00FE
                   0xF0, 0x44, 0xFE, 0x90, 0x20, 0xFA,              // wait LY == 144
                   0x34, 0x13, 0x7B, 0xEA, 0x00, 0xC2, 0x7A, 0xEA, 0x01, 0xC2,  // inc (hl); inc de; store de
                   0xF0, 0x44, 0xFE, 0x90, 0x28, 0xFA,              // wait LY != 144
                   0x18, 0xE8});
    return r;
}

tcheat code(const std::string& text, bool enabled = true, const std::string& comment = "") {
    tcheat c;
    c.code = normalisecode(text);
    decodecode(c);
    c.enabled = enabled;
    c.comment = comment;
    return c;
}

std::vector<uint8_t> romof(tgb& gb) {
    const tcart& cart = gb.cartridge();
    return {cart.romimagedata(), cart.romimagedata() + cart.romimagesize()};
}

struct tempfolder {
    std::filesystem::path path;
    tempfolder() {
        path = std::filesystem::temp_directory_path() / ("tov-cheats-" + std::to_string(::getpid()) + "-" +
                                                          ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(path);
    }
    ~tempfolder() { std::filesystem::remove_all(path); }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

std::string readall(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
}

TEST(CheatPatch, SwitchableAddressIsPatchedInTheFirst32BanksThatQualify) {
    tmachine m(bigrom());
    tcheatlist list(*m);
    const std::vector<uint8_t> before = romof(*m);
    tcheat& c = list.insert(code(encodecode(0x4123, -1, 0xA5).code));
    list.applycheat(c);
    EXPECT_TRUE(c.patched);
    EXPECT_EQ(c.patchcount, 32);
    const uint8_t* rom = m->cartridge().romimagedata();
    EXPECT_EQ(rom[0x0123], before[0x0123]);  // bank 0 is not the switchable area
    for (uint32_t bank = 1; bank < 64; bank++) {
        const uint32_t offset = bank * 0x4000 + 0x0123;
        EXPECT_EQ(rom[offset], bank <= 32 ? 0xA5 : before[offset]) << "bank " << bank;
    }
    // The CPU sees the patch in the mapped bank.
    EXPECT_EQ(m->readbyte(0x4123), 0xA5);
}

TEST(CheatPatch, CompareSelectsBanksAndAMismatchLeavesTheCheatUnpatched) {
    tmachine m(bigrom());
    tcheatlist list(*m);
    // Every bank starts with its number: compare 5 at 0x4000 matches bank 5 only.
    tcheat& one = list.insert(code(encodecode(0x4000, 5, 0xEE).code));
    list.applycheat(one);
    ASSERT_EQ(one.patchcount, 1);
    EXPECT_EQ(one.patches[0].offset, 5u * 0x4000);
    EXPECT_EQ(m->cartridge().romimagedata()[5 * 0x4000], 0xEE);
    // Compare 200 matches no bank: enabled, not patched, "-" in the line.
    tcheat& none = list.insert(code(encodecode(0x4000, 200, 0xEE).code));
    list.applycheat(none);
    EXPECT_FALSE(none.patched);
    EXPECT_EQ(cheatlistline(none).substr(14, 3), "G-E");
    // A bank-0 address is patched once.
    tcheat& low = list.insert(code(encodecode(0x0150, -1, 0x00).code));
    list.applycheat(low);
    EXPECT_EQ(low.patchcount, 1);
}

TEST(CheatPatch, UndoingGivesBackTheImageByteForByteInAnyOrder) {
    tmachine m(bigrom());
    tcheatlist list(*m);
    const tmd5digest clean = md5buffer(m->cartridge().romimagedata(), size_t(m->cartridge().romimagesize()));
    // Three cheats on overlapping bytes, applied and removed in different orders.
    tcheat& a = list.insert(code(encodecode(0x4123, -1, 0x11).code));
    tcheat& b = list.insert(code(encodecode(0x4123, -1, 0x22).code));
    tcheat& c = list.insert(code(encodecode(0x0123, -1, 0x33).code));
    tcheat& d = list.insert(code(encodecode(0x0123, -1, 0x44).code));
    auto digest = [&] { return md5buffer(m->cartridge().romimagedata(), size_t(m->cartridge().romimagesize())); };
    list.applycheat(a);
    list.applycheat(b);
    list.applycheat(c);
    list.applycheat(d);
    EXPECT_NE(digest(), clean);
    EXPECT_EQ(m->cartridge().romimagedata()[0x4123], 0x22);
    list.removecheat(a);  // the earlier patch goes first: the byte keeps b's value
    EXPECT_EQ(m->cartridge().romimagedata()[0x4123], 0x22);
    list.removecheat(b);
    list.removecheat(c);
    list.removecheat(d);
    EXPECT_EQ(digest(), clean);
    list.applyall();
    list.removeall();
    EXPECT_EQ(digest(), clean);
    list.applyall();
    list.setdisableall(true);
    EXPECT_EQ(digest(), clean);
    list.setdisableall(false);
    list.setsuspended(true);
    EXPECT_EQ(digest(), clean);
    list.setsuspended(false);
    EXPECT_NE(digest(), clean);
    // Many cheats stacked on the same bytes, taken out from the first applied on.
    list.removeall();
    list.clear();
    std::vector<size_t> all;
    for (int v = 0; v < 300; v++) {
        list.insert(code(encodecode(0x4123, -1, uint8_t(v)).code, true));
        all.push_back(size_t(v));
    }
    list.applyall();
    list.remove({299, 0, 150});
    EXPECT_NE(digest(), clean);
    list.remove(all);
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(digest(), clean);
}

TEST(CheatPatch, SessionDigestAndRebuiltCartridgeNeverSeeThePatches) {
    tmachine m(bigrom());
    tcheatlist list(*m);
    attachcheats(*m.session, list);
    const tmd5digest clean = md5buffer(m->cartridge().romimagedata(), size_t(m->cartridge().romimagesize()));
    m.session->refreshromdigest();
    ASSERT_EQ(m.session->romdigest(), clean);
    tcheat& c = list.insert(code(encodecode(0x4123, -1, 0x5A).code));
    list.applycheat(c);
    m.session->refreshromdigest();
    EXPECT_EQ(m.session->romdigest(), clean);
    EXPECT_TRUE(c.patched);
    // The "reset GB" input rebuilds the cartridge from the image: clean, then patched again.
    m.session->fullreset(true);
    EXPECT_EQ(m.session->romdigest(), clean);
    EXPECT_TRUE(c.patched);
    EXPECT_EQ(m->cartridge().romimagedata()[0x8123], 0x5A);
    list.removeall();
    EXPECT_EQ(md5buffer(m->cartridge().romimagedata(), size_t(m->cartridge().romimagesize())), clean);
}

TEST(CheatPatch, SuspendedWhileTheDebuggerHoldsTheMachine) {
    testing::tdebugmachine m(bigrom());
    tcheatlist list(m.gb());
    attachcheats(*m.session, list);
    suspendwithdebugger(m.dbg, list);
    const uint8_t original = m.gb().cartridge().romimagedata()[0x4123];
    tcheat& c = list.insert(code(encodecode(0x4123, -1, 0x5A).code));
    list.applycheat(c);
    bool checked = false;
    m.host.command = [&](tdebuggertov&, const testing::tstoprecord&) {
        // The debugger's views see the game's own ROM, and nothing patches it meanwhile.
        EXPECT_TRUE(list.suspended());
        EXPECT_EQ(m.gb().cartridge().romimagedata()[0x4123], original);
        list.applyall();
        EXPECT_EQ(m.gb().cartridge().romimagedata()[0x4123], original);
        checked = true;
    };
    m.dbg.breaknow();
    m.rununtil(1);
    ASSERT_TRUE(checked);
    EXPECT_FALSE(list.suspended());
    EXPECT_EQ(m.gb().cartridge().romimagedata()[0x4123], 0x5A);
}

TEST(CheatGameShark, WrittenAfterEveryFrameOverTheGamesOwnWrites) {
    tmachine m(counterrom());
    tcheatlist list(*m);
    attachcheats(*m.session, list);
    list.insert(code("016323C1"));
    for (int frame = 0; frame < 3; frame++) {
        m.session->runframe(false);
        const uint8_t counted = m->readbyte(0xC123);
        if (frame > 0) EXPECT_EQ(counted, 0x64);  // the game counted on from the cheat's value
        m.session->frameended();
        EXPECT_EQ(m->readbyte(0xC123), 0x63);
    }
    // Disable-all stops the writes.
    list.setdisableall(true);
    m.session->runframe(false);
    m.session->frameended();
    EXPECT_EQ(m->readbyte(0xC123), 0x64);
}

TEST(CheatGameShark, AnAddressBelow8000ReachesTheControllerRegisters) {
    tmachine m(bigrom());
    tcheatlist list(*m);
    list.insert(code("01050021"));  // 5 -> 0x2100: MBC1 ROM bank
    list.applygameshark();
    EXPECT_EQ(m->cartridge().currentrombank(), 5);
    EXPECT_FALSE(list.at(0)->patched);
}

TEST(CheatList, ButtonsOnSelectedLines) {
    tmachine m(bigrom());
    tcheatlist list(*m);
    list.insert(code(encodecode(0x0200, -1, 0x77).code, false));  // line 2
    list.insert(code("01AA00C0", false));                          // line 1
    list.insert(code(encodecode(0x0300, -1, 0x66).code, false));  // line 0
    uint8_t* rom = m->cartridge().romimagedata();
    const uint8_t old200 = rom[0x200];
    // Poke: a GameShark value written once, a Game Genie patch put in and taken out at once.
    m->writebyte(0xC000, 0);
    list.poke({1, 2});
    EXPECT_EQ(m->readbyte(0xC000), 0xAA);
    EXPECT_EQ(rom[0x200], old200);
    EXPECT_FALSE(list.at(2)->enabled);
    list.enable({0, 2, 7}, true);
    EXPECT_EQ(rom[0x300], 0x66);
    EXPECT_EQ(rom[0x200], 0x77);
    list.enable({2}, false);
    EXPECT_EQ(rom[0x200], old200);
    EXPECT_TRUE(list.anyenabled());
    list.remove({0});  // unpatched before it goes
    EXPECT_EQ(list.size(), 2u);
    EXPECT_NE(rom[0x300], 0x66);
    EXPECT_EQ(list.caption(), "tov cheats");
    list.setdisableall(true);
    EXPECT_EQ(list.caption(), "tov cheats (disabled)");
}

TEST(CheatFile, SavedInListOrderAndLoadedInReverse) {
    tempfolder t;
    tmachine m(bigrom());
    tcheatlist list(*m);
    list.insert(code("010A23C1", false, "money"));
    list.insert(code(encodecode(0x0200, -1, 0x77).code, true, ""));
    ASSERT_TRUE(list.savefile(t.file("a.cht")));
    EXPECT_EQ(readall(t.file("a.cht")), "772-00F 1\r\n010A23C1 0money\r\n");
    ASSERT_TRUE(list.loadfile(t.file("a.cht")).opened);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.at(0)->code, "010A23C1");
    EXPECT_EQ(list.at(0)->comment, "money");
    EXPECT_TRUE(list.at(1)->patched);  // loading applies the list
    ASSERT_TRUE(list.savefile(t.file("b.cht")));
    EXPECT_EQ(readall(t.file("b.cht")), "010A23C1 0money\r\n772-00F 1\r\n");
}

TEST(CheatFile, LinesAreSplitAtTheFirstBlankAndInvalidCodesSkipped) {
    tmachine m;
    tcheatlist list(*m);
    std::istringstream in(std::string("abc-def 1first\n"
                                      "010a23c1\r\n"
                                      "0109 23C1 1x\r\n"  // the code ends at the first blank
                                      "ABC-DEF-012 lives 3\n"
                                      "\n"
                                      "zzz 1bad\n"
                                      "123456 0") +
                          std::string("\0\xff\x01", 3));
    tcheatfileload r = list.loadstream(in);
    EXPECT_EQ(r.loaded, 4);
    EXPECT_EQ(r.skipped, 3);
    ASSERT_EQ(list.size(), 4u);
    EXPECT_EQ(list.at(0)->code, "123-456");
    EXPECT_FALSE(list.at(0)->enabled);
    EXPECT_EQ(list.at(0)->comment, std::string("\0\xff\x01", 3));
    EXPECT_EQ(list.at(1)->code, "ABC-DEF-012");
    EXPECT_FALSE(list.at(1)->enabled);
    EXPECT_EQ(list.at(1)->comment, "lives 3");  // no flag: the whole rest is the comment
    EXPECT_EQ(list.at(2)->code, "010A23C1");
    EXPECT_EQ(list.at(2)->comment, "");
    EXPECT_EQ(list.at(3)->code, "ABC-DEF");
    EXPECT_TRUE(list.at(3)->enabled);
    EXPECT_EQ(list.at(3)->comment, "first");
}

TEST(CheatFile, MissingFileLeavesTheListAndAFailedWriteIsReportedKeepingTheOldFile) {
    tempfolder t;
    tmachine m;
    tcheatlist list(*m);
    list.insert(code("010A23C1"));
    EXPECT_FALSE(list.loadfile(t.file("none.cht")).opened);
    EXPECT_EQ(list.size(), 1u);
    // A folder by the name (the read of which throws in the file buffer) is no file either.
    std::filesystem::create_directories(t.file("folder.cht"));
    EXPECT_FALSE(list.loadfile(t.file("folder.cht")).opened);
    EXPECT_EQ(list.size(), 1u);
    // Lines without one valid code (another file chosen by mistake) leave the list; an empty
    // file (an emptied list saved) or one of blank lines empties it.
    std::istringstream junk("TV\x01\x02 not a cheat\r\nzz\n");
    tcheatfileload j = list.loadstream(junk);
    EXPECT_TRUE(j.opened && j.nocodes);
    EXPECT_EQ(j.skipped, 2);
    EXPECT_EQ(list.size(), 1u);
    std::istringstream blanklines("\r\n \n\n");  // emptied in a text editor
    EXPECT_FALSE(list.loadstream(blanklines).nocodes);
    EXPECT_TRUE(list.empty());
    list.insert(code("010A23C1"));
    std::istringstream empty("");
    EXPECT_FALSE(list.loadstream(empty).nocodes);
    EXPECT_TRUE(list.empty());
    // A byte order mark before the first line leaves its code.
    std::istringstream bom("\xEF\xBB\xBF" "010A23C1 1lives\r\n");
    EXPECT_EQ(list.loadstream(bom).loaded, 1);
    EXPECT_EQ(list.at(0)->code, "010A23C1");
    list.clear();
    list.insert(code("010A23C1"));
    std::vector<std::string> failed;
    list.onsavefailed = [&](const std::string& p) { failed.push_back(p); };
    EXPECT_FALSE(list.savefile(t.file("no/such/folder.cht")));
    ASSERT_EQ(failed.size(), 1u);
    // A file that cannot be replaced (read-only folder) keeps its contents.
    const std::string kept = t.file("ro/keep.cht");
    std::filesystem::create_directories(t.file("ro"));
    { std::ofstream(kept, std::ios::binary) << "old"; }
    std::filesystem::permissions(t.file("ro"), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
    if (!list.savefile(kept)) {  // root may write anyway
        EXPECT_EQ(readall(kept), "old");
        EXPECT_EQ(failed.size(), 2u);
    }
    std::filesystem::permissions(t.file("ro"), std::filesystem::perms::owner_all);
}

TEST(CheatFile, HostileFilesStayBounded) {
    tmachine m;
    tcheatlist list(*m);
    // No line ends, megabytes of one line: one cheat, its comment cut.
    std::string huge = "010A23C1 1" + std::string(8 << 20, 'x');
    std::istringstream a(huge);
    tcheatfileload r = list.loadstream(a);
    EXPECT_EQ(r.loaded, 1);
    EXPECT_EQ(list.at(0)->comment.size(), tcheatlist::maxcomment);
    // Far too many valid lines: the list stops at its limit.
    std::string many;
    for (int i = 0; i < tcheatlist::maxcheats + 50; i++) many += "010A23C1 1\n";
    std::istringstream b(many);
    r = list.loadstream(b);
    EXPECT_TRUE(r.toomany);
    EXPECT_EQ(int(list.size()), tcheatlist::maxcheats);
}

TEST(CheatFile, ListFollowsTheGameWithAutoSave) {
    tempfolder t;
    tmachine m;
    m.settings.CheatAutoSave = true;
    tcheatlist list(*m);
    attachcheats(*m.session, list);
    std::string message;
    const std::string first = t.file("first.gb"), second = t.file("second.gbc");
    { std::ofstream(second + ".cht") << "x"; }  // not its file: the base name drops ".gbc"
    { std::ofstream(t.file("second.cht"), std::ios::binary) << "010A23C1 1saved\r\n"; }
    ASSERT_TRUE(m.session->loadimage(counterrom().finished(), first, true, message));
    EXPECT_EQ(list.rombasename(), t.file("first"));
    EXPECT_TRUE(list.empty());
    list.insert(code("015523C1", true, "mine"));
    ASSERT_TRUE(m.session->loadimage(counterrom().finished(), second, true, message));
    EXPECT_EQ(readall(t.file("first.cht")), "015523C1 1mine\r\n");
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.at(0)->comment, "saved");
    EXPECT_TRUE(list.anyenabled());
    // Every cheat deleted: the file is emptied, so that they do not come back; a game
    // without a file does not get one.
    list.remove({0});
    ASSERT_TRUE(m.session->loadimage(counterrom().finished(), t.file("third.gb"), true, message));
    EXPECT_EQ(readall(t.file("second.cht")), "");
    ASSERT_TRUE(m.session->loadimage(counterrom().finished(), second, true, message));
    EXPECT_TRUE(list.empty());
    EXPECT_FALSE(std::filesystem::exists(t.file("third.cht")));
    { std::ofstream(t.file("second.cht"), std::ios::binary) << "010A23C1 1saved\r\n"; }
    // Without the option nothing is written or read, and a new game starts an empty list.
    m.settings.CheatAutoSave = false;
    ASSERT_TRUE(m.session->loadimage(counterrom().finished(), first, true, message));
    EXPECT_TRUE(list.empty());
    EXPECT_EQ(readall(t.file("second.cht")), "010A23C1 1saved\r\n");
}

TEST(CheatRunner, CheatAndCheatsOptionsApplyCodesHeadless) {
    tempfolder t;
    const std::string rom = t.file("counter.gb");
    {
        std::vector<uint8_t> b = counterrom().finished();
        std::ofstream(rom, std::ios::binary).write(reinterpret_cast<const char*>(b.data()), std::streamsize(b.size()));
    }
    { std::ofstream(t.file("list.cht"), std::ios::binary) << "017723C2 1word\r\n"; }
    testing::trunresult r =
        testing::runtovrun("--frames 5 --cheat 01-63-23-c1 --cheat 3e1-52b --cheats \"" + t.file("list.cht") + "\"", rom);
    EXPECT_EQ(r.status, 3) << r.out;
    EXPECT_NE(r.out.find("cheat:  016323C1     S-E (C123)=63"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cheat:  3E1-52B      GPE (4152)=3E"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("cheat:  017723C2     S-E (C223)=77"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("memory: C123=63"), std::string::npos) << r.out;
    r = testing::runtovrun("--cheat 12345", rom);
    EXPECT_EQ(r.status, 2);
}

}  // namespace
}  // namespace tov
