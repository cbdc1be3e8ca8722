// MBC7: the serial EEPROM driven through 0xA080, the tilt sensor's scaling from the
// cursor and the joysticks, and the EEPROM in the battery file and in save states.
#include <gtest/gtest.h>

#include "cart/loadrom.h"
#include "cart/mbc7.h"
#include "cart/tilt.h"
#include "carttesthelpers.h"
#include "state/statevisitors.h"

namespace tov {
namespace {

using carttest::tbus;
constexpr size_t KiB = 1024;

// A host whose cursor and joystick can be placed, and a joystick that may be missing.
struct tfakehost : ttiltsource {
    int32_t x = 0, y = 0, width = 1920, height = 1080;
    int32_t axisx = 32768, axisy = 32768;
    bool joystickpresent = true;
    bool cursor(int32_t& cx, int32_t& cy, int32_t& w, int32_t& h) override {
        cx = x, cy = y, w = width, h = height;
        return true;
    }
    bool joystick(int32_t, int32_t& jx, int32_t& jy) override {
        jx = axisx, jy = axisy;
        return joystickpresent;
    }
};

struct tmbc7 {
    tcartoptions options = carttest::accuratesettings();
    tbus bus;
    std::unique_ptr<tcartmbc7> cart;
    explicit tmbc7(ttiltsource* host = nullptr) {
        options.tilt = host;
        cart = std::make_unique<tcartmbc7>(carttest::makerom(128 * KiB, 0x22), 0, true, &options);
        bus.attach(*cart);
        cart->cartreset();
    }
    tcartmbc7* operator->() { return cart.get(); }

    // The control register as a game drives it: chip select held, one bit per clock.
    void control(uint8_t v) { cart->ramwrite(0xA080, v); }
    uint8_t dataout() { return bus.read(0xA080); }
    void select() {
        control(0x00);
        control(0x80);
    }
    void deselect() { control(0x00); }
    void bit(int b) {
        control(uint8_t(0x80 | (b << 1)));
        control(uint8_t(0xC0 | (b << 1)));
    }
    void bits(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; i--) bit(int((value >> i) & 1));
    }
    // Start bit, 2-bit opcode, 8-bit address.
    void command(int opcode, int address) {
        select();
        bit(1);
        bits(uint32_t(opcode), 2);
        bits(uint32_t(address), 8);
    }
    void ewen() { command(0, 0xC0); }
    // A write or erase ends with chip select falling and rising again.
    void finish() {
        deselect();
        control(0x80);
    }
    uint16_t read(int address) {
        command(2, address);
        bit(0);  // the dummy bit
        uint16_t word = 0;
        for (int i = 0; i < 16; i++) {
            control(0x80);  // falling clock: the next bit appears
            word = uint16_t(word << 1 | (dataout() & 1));
            control(0xC0);
        }
        deselect();
        return word;
    }
};

TEST(Mbc7Eeprom, ReadShiftsWordFiveOutMostSignificantBitFirst) {
    tmbc7 m;
    for (int w = 0; w < 256; w++) m->seteeword(w, uint16_t(w * 0x0101));
    m->seteeword(5, 0xA55A);
    EXPECT_EQ(m->sram[10], 0xA5);  // big-endian at bytes 2w, 2w + 1
    EXPECT_EQ(m->sram[11], 0x5A);
    EXPECT_EQ(m.read(5), 0xA55A);
    EXPECT_EQ(m->eestate, tcartmbc7::eenone);
    EXPECT_EQ(m.read(0xFF), 0xFFFF);
    EXPECT_EQ(m.read(6), 0x0606);
}

TEST(Mbc7Eeprom, WriteNeedsEwenAndReportsBusyUntilChipSelectRises) {
    tmbc7 m;
    m->seteeword(7, 0x1111);
    // Without EWEN: the word stays, but the busy/ready handshake still happens.
    m.command(1, 7);
    m.bits(0xBEEF, 16);
    EXPECT_EQ(m.dataout(), 0);  // busy
    m.finish();
    EXPECT_EQ(m.dataout(), 1);  // ready
    EXPECT_EQ(m->eeword(7), 0x1111);

    // EWEN takes effect right after its eight address bits (bits 7-6 = 11).
    m.ewen();
    EXPECT_EQ(m->eewriteenable, 1);
    EXPECT_EQ(m->eestate, tcartmbc7::eenone);
    m.command(1, 7);
    m.bits(0xBEEF, 16);
    EXPECT_EQ(m.dataout(), 0);
    EXPECT_EQ(m->eeword(7), 0x1111);  // stored only at the rise of chip select
    m.finish();
    EXPECT_EQ(m.dataout(), 1);
    EXPECT_EQ(m.read(7), 0xBEEF);

    // ERASE sets one word to all ones; EWDS forbids writing again.
    m.command(3, 7);
    m.bits(0, 16);
    m.finish();
    EXPECT_EQ(m->eeword(7), 0xFFFF);
    m.command(0, 0x00);  // EWDS
    EXPECT_EQ(m->eewriteenable, 0);
    m.command(1, 7);
    m.bits(0x1234, 16);
    m.finish();
    EXPECT_EQ(m->eeword(7), 0xFFFF);
}

TEST(Mbc7Eeprom, WralAndEralFillEveryWord) {
    tmbc7 m;
    m->seteeword(3, 0x0303);
    m.command(0, 0x40);  // WRAL without EWEN: nothing changes
    m.bits(0x5AA5, 16);
    m.finish();
    EXPECT_EQ(m->eeword(3), 0x0303);

    m.ewen();
    m.command(0, 0x40);
    m.bits(0x5AA5, 16);
    EXPECT_EQ(m->eestate, tcartmbc7::eewaitcs);
    m.finish();
    EXPECT_EQ(m.dataout(), 1);
    for (int w : {0, 3, 0x40, 0x80, 255}) EXPECT_EQ(m->eeword(w), 0x5AA5) << w;

    m.command(0, 0x80);  // ERAL, then 16 clocks of any data
    m.bits(0x1234, 16);
    m.finish();
    // Every word, the command's own address included, reads erased.
    for (int w = 0; w < 256; w++) ASSERT_EQ(m->eeword(w), 0xFFFF) << w;
}

TEST(Mbc7Registers, AddressBitsFourToSevenSelectAndOnly0xA080Writes) {
    tmbc7 m;
    EXPECT_FALSE(m.bus.direct(0xA000));
    struct tcase {
        uint16_t address;
        int expected;
    };
    // Level sensor: 2048 = 0x0800.
    for (tcase c : {tcase{0xA000, 0}, tcase{0xA010, 0}, tcase{0xA020, 0x00}, tcase{0xA030, 0x08},
                    tcase{0xA040, 0x00}, tcase{0xA050, 0x08}, tcase{0xA060, 0}, tcase{0xA070, 0},
                    tcase{0xA090, 0xFF}, tcase{0xA0F0, 0xFF}, tcase{0xB13F, 0x08}}) {
        EXPECT_EQ(m.bus.read(c.address), c.expected) << std::hex << c.address;
    }
    m->ramwrite(0xA081, 0x80);  // not the control register
    EXPECT_EQ(m->eecs, 0);
    m->ramwrite(0xA080, 0x80);
    EXPECT_EQ(m->eecs, 1);
    // The RAM enable (0x4000 values of 8 and up disable) does not change the reads.
    m->romwrite(0x4000, 0x40);
    EXPECT_FALSE(m->sramenable);
    EXPECT_EQ(m.bus.read(0xA030), 0x08);
    m->romwrite(0x2000, 0x85);
    EXPECT_EQ(m->rombank, 5);
    EXPECT_TRUE(m->isstandardwrite(0x2000, 7));
    EXPECT_FALSE(m->isstandardwrite(0x2000, 0));
    EXPECT_TRUE(m->isstandardwrite(0x4000, 15));
    EXPECT_FALSE(m->isstandardwrite(0x4000, 16));
    EXPECT_FALSE(m->isstandardwrite(0x6000, 0));
}

TEST(Mbc7Tilt, CursorAndJoystickAreScaledToTheSensorRange) {
    tfakehost host;
    tmbc7 m(&host);
    auto value = [&](uint16_t low) { return m.bus.read(low) | m.bus.read(uint16_t(low + 0x10)) << 8; };
    struct tcase {
        int32_t joystick, x, y;  // cursor pixels on 1920x1080, or joystick axes
        int expectedx, expectedy;
    };
    for (tcase c : {tcase{0, 0, 0, 2303, 2303},          // left and top edges
                    tcase{0, 960, 540, 2048, 2048},      // centre: raw 255
                    tcase{0, 1920, 1080, 1792, 1792},    // right and bottom: raw 511
                    tcase{0, 1919, 1, 1793, 2303},       // raw 510 and 0
                    tcase{0, -300, 5000, 2303, 1792},    // off this screen: held at the edge
                    tcase{1, 0, 65535, 2303, 1792},      // joystick axes
                    tcase{3, 32768, 16384, 2048, 2176}}) {
        m.options.MBC7Joystick = c.joystick;
        host.x = host.axisx = c.x;
        host.y = host.axisy = c.y;
        EXPECT_EQ(value(0xA020), c.expectedx) << c.joystick << " " << c.x;
        EXPECT_EQ(value(0xA040), c.expectedy) << c.joystick << " " << c.y;
    }
    // A joystick that cannot be read, or no host at all, holds the sensor level.
    m.options.MBC7Joystick = 2;
    host.joystickpresent = false;
    EXPECT_EQ(value(0xA020), 2048);
    m.options.tilt = nullptr;
    EXPECT_EQ(value(0xA040), 2048);
}

TEST(Mbc7Tilt, PeekingTakesNoSample) {
    tfakehost host;
    tmbc7 m(&host);
    EXPECT_EQ(m.bus.read(0xA020), uint8_t(2303));
    host.x = 1920;
    EXPECT_EQ(m->peekram(0xA020), uint8_t(2303));
    EXPECT_EQ(m.bus.read(0xA030), 1792 >> 8);  // the high byte samples too
}

TEST(Mbc7Files, EepromComesBackFromTheBatteryFileAndFromAState) {
    carttest::tscratch dir;
    tmbc7 m;
    m->setfilename(dir.file("tilt"));
    m->loadsram();
    EXPECT_EQ(m->ramsize, 32768);
    m.ewen();
    m.command(1, 0x21);
    m.bits(0xC0DE, 16);
    m.finish();
    m->savesram();
    ASSERT_TRUE(dir.exists("tilt.sav"));
    EXPECT_EQ(dir.read("tilt.sav").size(), 8192u);  // the first 8 KiB bank holds the EEPROM

    tmbc7 again;
    again->setfilename(dir.file("tilt"));
    again->loadsram();
    EXPECT_EQ(again.read(0x21), 0xC0DE);

    // A state carries the EEPROM in "SRAM"; a transfer in progress at the load is dropped,
    // so a pending write cannot land in the loaded contents.
    tstatewriter writer;
    m->statefields(writer);
    tmbc7 loaded;
    loaded.ewen();
    loaded.command(1, 0x21);
    loaded.bits(0x0BAD, 16);  // waits for chip select
    for (const tsavedchunk& c : writer.chunks) {
        tstatereader reader(c.name, c.data.data(), int32_t(c.data.size()));
        loaded->statefields(reader);
        EXPECT_TRUE(reader.taken()) << c.name;
    }
    loaded->afterstateload();
    loaded.finish();
    EXPECT_EQ(loaded->eeword(0x21), 0xC0DE);
    EXPECT_EQ(loaded.dataout(), 1);
}

TEST(Mbc7Files, LoaderNamesTheControllerAndTheInfoShowsItsRam) {
    tcartoptions options = carttest::accuratesettings();
    std::string message;
    for (int32_t mode : {0, 1}) {  // the compatibility mode keeps the controller
        options.CartMode = mode;
        std::unique_ptr<tcart> cart = makecart(carttest::makerom(256 * KiB, 0x22), options, message);
        ASSERT_NE(cart, nullptr);
        EXPECT_EQ(cart->mappername(), "MBC7");
        EXPECT_TRUE(cart->hasbattery());
        cart->cartreset();
        std::string info = rominfotext(*cart, "/games/tilt.gbc");
        EXPECT_NE(info.find("cart type: MBC7\n"), std::string::npos) << info;
        EXPECT_NE(info.find("RAM size: 32768 bytes\n"), std::string::npos) << info;
        EXPECT_NE(info.find("battery: Yes\n"), std::string::npos) << info;
    }
}

}  // namespace
}  // namespace tov
