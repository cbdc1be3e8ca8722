// The demo cartridge built by tools/: a valid image that the machine runs, with a sprite that
// follows the joypad and a counter in battery RAM.
#include <gtest/gtest.h>

#include "demorom.h"
#include "cart/loadrom.h"
#include "core/gb.h"
#include "cart/cartoptions.h"
#include "frontend/session.h"
#include "frontend/settings.h"

namespace tov {
namespace {

std::vector<uint8_t> demoimage() {
    std::string error;
    std::vector<uint8_t> rom = demo::buildrom(error);
    EXPECT_EQ(error, "");
    return rom;
}

TEST(DemoCartridge, HeaderLogoAndChecksumsAreValid) {
    std::vector<uint8_t> rom = demoimage();
    ASSERT_EQ(rom.size(), 32768u);
    // The boot program's logo hash.
    uint32_t h = 0;
    for (int i = 0x104; i <= 0x133; i++) {
        h ^= rom[size_t(i)];
        h = (h << 3) | (h >> 29);
    }
    EXPECT_EQ(h, 0xEB65AF85u);
    int sum = 25;
    for (int i = 0x134; i <= 0x14D; i++) sum += rom[size_t(i)];
    EXPECT_EQ(sum % 256, 0);
    EXPECT_EQ(rom[0x147], 0x03);
    std::string message;
    auto cart = makecart(rom, tcartoptions{}, message);
    ASSERT_NE(cart, nullptr);
    EXPECT_EQ(message, "") << "no warnings for a correct header";
}

TEST(DemoCartridge, AssemblerCatchesBadLabelsAndJumps) {
    std::vector<uint8_t> rom(0x8000, 0);
    demo::tassembler a(rom, 0x150);
    a.jr(demo::tassembler::NZ, "nowhere");
    std::string error;
    EXPECT_FALSE(a.finish(error));
    EXPECT_NE(error.find("nowhere"), std::string::npos);
    demo::tassembler b(rom, 0x150);
    b.jr(demo::tassembler::always, "far");
    b.org(0x400);
    b.label("far");
    EXPECT_FALSE(b.finish(error));
}

class DemoRun : public ::testing::Test {
protected:
    void SetUp() override {
        setdefaults(settings);
        settings.SystemMode = 0;
        tsessionparts parts;
        parts.renderer = false;
        session = std::make_unique<tsession>(settings, "", parts);
        machine = &session->machine();
        std::string message;
        ASSERT_TRUE(session->loadimage(demoimage(), "", true, message)) << message;
        frames(30);
    }
    void frames(int n) {
        for (int i = 0; i < n; i++) machine->runframe();
    }
    tsettings settings;
    std::unique_ptr<tsession> session;
    tgb* machine = nullptr;
};

TEST_F(DemoRun, SpriteFollowsTheJoypad) {
    uint8_t x0 = machine->readbyte(demo::spritexaddress);
    uint8_t y0 = machine->readbyte(demo::spriteyaddress);
    EXPECT_EQ(x0, 8 + 76);
    machine->joypadset(0, 0, true);  // right
    frames(10);
    machine->joypadset(0, 0, false);
    machine->joypadset(0, 2, true);  // up
    frames(5);
    machine->joypadset(0, 2, false);
    frames(2);
    EXPECT_GE(machine->readbyte(demo::spritexaddress), x0 + 8);
    EXPECT_LE(machine->readbyte(demo::spriteyaddress), y0 - 3);
}

TEST_F(DemoRun, APressCountsInBatteryRam) {
    uint8_t before = machine->readbyte(demo::countaddress);
    EXPECT_EQ(machine->readbyte(demo::countaddress + 1), 'T');
    for (int i = 0; i < 3; i++) {
        machine->joypadset(0, 4, true);
        frames(3);
        machine->joypadset(0, 4, false);
        frames(3);
    }
    EXPECT_EQ(machine->readbyte(demo::countaddress), uint8_t(before + 3));
    EXPECT_EQ(machine->readbyte(0xFF26) & 0x01, 0x01) << "channel 1 plays the note";
}

}  // namespace
}  // namespace tov
