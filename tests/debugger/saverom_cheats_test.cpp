// Save ROM with Game Genie cheats on: the file holds the user's edits and the original bytes
// under the patches; the patches are back in the image afterwards.
#include <gtest/gtest.h>

#include "cart/carttesthelpers.h"
#include "cheats/cheats.h"
#include "core/gbtestutil.h"
#include "debugger/editing.h"

namespace tov::testing {
namespace {

TEST(DebugEditSaveRom, LeavesCheatPatchesOutOfTheFile) {
    tromimage game(0x10000);
    game.bankmarkers().entry().type(0x01).code(0x150, {0x18, 0xFE, 0x11, 0x22});
    tmachine m(game, 0);
    tviewbanks banks;
    banks.rom = 1;
    tdebugeditor edit(*m, banks);
    tcheatlist cheats(*m);
    // As the session's hooks wire the list (frontend/cheathooks.cpp).
    edit.beforeromread = [&] { cheats.removeall(); };
    edit.afterromread = [&] { cheats.applyall(); };
    const struct { uint16_t address; uint8_t value; } patches[] = {{0x0152, 0x77}, {0x4010, 0x66}};
    for (const auto& p : patches) {
        tcheat c;
        c.code = encodecode(p.address, -1, p.value).code;
        c.enabled = true;
        decodecode(cheats.insert(c));
    }
    cheats.applyall();
    uint8_t* rom = m->cartridge().romimagedata();
    ASSERT_EQ(rom[0x0152], 0x77);
    ASSERT_EQ(rom[3 * 0x4000 + 0x10], 0x66);
    edit.poke(0x0153, 0x99);  // the user's edit

    carttest::tscratch dir;
    ASSERT_TRUE(edit.saverom(dir.file("saved.gb")));
    const std::vector<uint8_t> saved = dir.read("saved.gb");
    ASSERT_EQ(saved.size(), game.bytes.size());
    EXPECT_EQ(saved[0x0152], 0x11);
    EXPECT_EQ(saved[0x0153], 0x99);
    for (uint32_t bank = 1; bank < 4; bank++) EXPECT_EQ(saved[bank * 0x4000 + 0x10], game.bytes[bank * 0x4000 + 0x10]);
    EXPECT_EQ(rom[0x0152], 0x77);
    EXPECT_EQ(rom[2 * 0x4000 + 0x10], 0x66);
}

}  // namespace
}  // namespace tov::testing
