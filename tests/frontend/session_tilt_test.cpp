// A tilt-sensor cartridge in a running session: the host's input reaches the program's
// reads, and a refill of the options keeps the host and takes `MBC7Joystick`.
#include <gtest/gtest.h>

#include <cstring>

#include "cart/carttesthelpers.h"
#include "cart/tilt.h"
#include "frontend/session.h"
#include "frontend/settings.h"

namespace tov {
namespace {

// An MBC7 program that copies the four sensor bytes (X low, X high, Y low, Y high) to
// 0xC000-0xC003 in a loop.
std::vector<uint8_t> tiltprogram() {
    std::vector<uint8_t> rom = carttest::makerom(64 * 1024, 0x22);
    const uint8_t code[] = {
        0xF3, 0x31, 0xFE, 0xFF,                          // di; ld sp,$FFFE
        0x3E, 0x0A, 0xEA, 0x00, 0x00,                    // RAM enable, both registers
        0x3E, 0x40, 0xEA, 0x00, 0x40,
        0xFA, 0x20, 0xA0, 0xEA, 0x00, 0xC0,              // loop: copy $A020..$A050
        0xFA, 0x30, 0xA0, 0xEA, 0x01, 0xC0,
        0xFA, 0x40, 0xA0, 0xEA, 0x02, 0xC0,
        0xFA, 0x50, 0xA0, 0xEA, 0x03, 0xC0,
        0xC3, 0x5E, 0x01};                               // jp loop ($015E)
    std::memcpy(&rom[0x150], code, sizeof code);
    rom[0x100] = 0x00;
    rom[0x101] = 0xC3;
    rom[0x102] = 0x50;
    rom[0x103] = 0x01;
    testing::fixchecksums(rom);
    return rom;
}

TEST(SessionTilt, TheHostPositionReachesTheProgram) {
    tsettings s;
    setdefaults(s);
    tsessionparts parts;
    parts.renderer = false;
    parts.synthesiser = false;
    tsession session(s, "", parts);
    tfixedtilt host(0, 511);  // fully left and down
    session.settiltsource(&host);
    std::string message;
    ASSERT_TRUE(session.loadimage(tiltprogram(), "", true, message)) << message;
    ASSERT_EQ(session.cartridge().mappername(), "MBC7");
    auto value = [&](uint16_t at) {
        tgbinspect inspect = session.inspector();
        return inspect.peek(at) | inspect.peek(uint16_t(at + 1)) << 8;
    };
    for (int i = 0; i < 3; i++) session.runframe(false);
    EXPECT_EQ(value(0xC000), 2303);
    EXPECT_EQ(value(0xC002), 1792);

    // Apply refills the views: the host stays, the joystick choice comes from the settings.
    s.MBC7Joystick = 2;
    host.rawx = 255;
    session.applysettings();
    EXPECT_EQ(session.cartoptions().MBC7Joystick, 2);
    for (int i = 0; i < 3; i++) session.runframe(false);
    EXPECT_EQ(value(0xC000), 2048);
    session.settiltsource(nullptr);  // no host: level
    host.rawy = 0;
    for (int i = 0; i < 3; i++) session.runframe(false);
    EXPECT_EQ(value(0xC002), 2048);
}

}  // namespace
}  // namespace tov
