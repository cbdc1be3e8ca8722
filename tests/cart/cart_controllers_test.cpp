// The controllers as the hardware wires them (Pan Docs, "MBC1", "MBC2", "MBC3"; the MBC3
// clock as rtc3test's documentation describes it): what each register reaches, at every
// ROM size the controller serves.
#include <gtest/gtest.h>

#include <cstring>

#include "cart/huc.h"
#include "cart/mbc125.h"
#include "cart/mbc3.h"
#include "carttesthelpers.h"
#include "state/statevisitors.h"

namespace tov {
namespace {

using carttest::tbus;
constexpr size_t KiB = 1024;

// The bank marker at the start of the bank mapped at `window` (0x0000 or 0x4000).
int bankat(const tbus& bus, uint16_t window) { return bus.read(window) | bus.read(uint16_t(window + 1)) << 8; }

template <class T>
struct tcontroller {
    tcartoptions options = carttest::accuratesettings();
    tbus bus;
    std::unique_ptr<T> cart;
    tcontroller(std::vector<uint8_t> image, int32_t ramsize = 0) {
        cart = std::make_unique<T>(std::move(image), ramsize, false, &options);
        bus.attach(*cart);
        cart->cartreset();
    }
    tcontroller(size_t romsize, int32_t ramsize = 0) : tcontroller(carttest::makerom(romsize), ramsize) {}
    T* operator->() { return cart.get(); }
    int low() const { return bankat(bus, 0x0000); }
    int high() const { return bankat(bus, 0x4000); }
};

std::vector<uint8_t> multicartimage() {
    std::vector<uint8_t> rom = carttest::makerom(1024 * KiB, 0x01);
    std::memcpy(&rom[0x40104], &rom[0x104], 0x30);  // the first game's header in bank 0x10
    return rom;
}

// Carries a cartridge's chunks into a fresh one of the same image, as a state load does.
template <class T>
void copystate(tcontroller<T>& from, tcontroller<T>& to) {
    tstatewriter writer;
    from->statefields(writer);
    for (const tsavedchunk& c : writer.chunks) {
        tstatereader reader(c.name, c.data.data(), int32_t(c.data.size()));
        to->statefields(reader);
    }
    to->afterstateload();
}

// ---- MBC1

TEST(Mbc1Wiring, ModeOneMapsTheUpperBitsAtZeroToo) {
    struct tcase {
        size_t romsize;
        uint8_t bank2, mode;
        int low, high;  // banks at 0x0000 and 0x4000 with 1 in the low register
    };
    for (tcase c : {tcase{1024 * KiB, 1, 1, 0x20, 0x21}, tcase{2048 * KiB, 2, 1, 0x40, 0x41},
                    tcase{2048 * KiB, 3, 1, 0x60, 0x61}, tcase{2048 * KiB, 3, 0, 0x00, 0x61},
                    tcase{512 * KiB, 3, 1, 0x00, 0x01}, tcase{1024 * KiB, 3, 1, 0x20, 0x21}}) {
        tcontroller<tcartmbc1> f(c.romsize);
        f->romwrite(0x2000, 1);
        f->romwrite(0x4000, c.bank2);
        f->romwrite(0x6000, c.mode);
        EXPECT_EQ(f.low(), c.low) << c.romsize / KiB << " " << int(c.bank2) << " " << int(c.mode);
        EXPECT_EQ(f.high(), c.high) << c.romsize / KiB << " " << int(c.bank2) << " " << int(c.mode);
        EXPECT_EQ(f->romread(0x0000), f.bus.read(0x0000));  // the routine agrees with the pointer
        EXPECT_TRUE(f.bus.direct(0x3FFF));
    }
}

TEST(Mbc1Wiring, ZeroCheckLooksAtAllFiveBits) {
    // On 256 KiB and less, 0x10 passes the zero check and is masked to bank 0.
    for (size_t size : {256 * KiB, 64 * KiB}) {
        tcontroller<tcartmbc1> f(size);
        f->romwrite(0x2000, 0x10);
        EXPECT_EQ(f.high(), 0) << size / KiB;
        f->romwrite(0x2000, 0x20);
        EXPECT_EQ(f.high(), 1) << size / KiB;
    }
}

TEST(Mbc1Wiring, EveryBankOfEverySizeCanBeReached) {
    for (size_t size : {512 * KiB, 1024 * KiB, 2048 * KiB}) {
        tcontroller<tcartmbc1> f(size);
        const int banks = int(size / (16 * KiB));
        for (int b = 1; b < banks; b++) {
            f->romwrite(0x2000, uint8_t(b & 0x1F));
            f->romwrite(0x4000, uint8_t(b >> 5));
            if (b & 0x1F) {
                f->romwrite(0x6000, 0);
                ASSERT_EQ(f.high(), b) << size / KiB;
            } else {
                // 0x20, 0x40 and 0x60 only appear at 0x0000, in mode 1.
                f->romwrite(0x6000, 1);
                ASSERT_EQ(f.low(), b) << size / KiB;
                ASSERT_EQ(f.high(), b + 1) << size / KiB;
            }
        }
    }
}

TEST(Mbc1Wiring, TheUpperRegisterIsKeptForTheRamWhateverTheRomSize) {
    // 512 KiB with 32 KiB of RAM: the value written in mode 0 selects the RAM bank in mode 1.
    tcontroller<tcartmbc1> f(512 * KiB, 32768);
    f->romwrite(0x0000, 0x0A);
    f->ramwrite(0xA000, 0x11);  // bank 0 (its power-on content is random)
    f->romwrite(0x4000, 2);
    EXPECT_EQ(f->rambank, 0);
    f->romwrite(0x6000, 1);
    EXPECT_EQ(f->rambank, 2);
    f->ramwrite(0xA000, 0x77);
    f->romwrite(0x6000, 0);  // mode 0: RAM bank 0 again
    EXPECT_EQ(f->rambank, 0);
    EXPECT_EQ(f.bus.read(0xA000), 0x11);
    f->romwrite(0x6000, 1);
    EXPECT_EQ(f.bus.read(0xA000), 0x77);
}

TEST(Mbc1Wiring, MulticartWithASecondLogoUsesFourLowBits) {
    ASSERT_TRUE(tcartmbc1::ismulticart(multicartimage().data(), int32_t(1024 * KiB)));
    tcontroller<tcartmbc1> m(multicartimage());
    EXPECT_TRUE(m->multicart);
    struct tcase {
        uint8_t bank1, bank2, mode;
        int low, high;
    };
    for (tcase c : {tcase{0x02, 1, 0, 0x00, 0x12}, tcase{0x0F, 3, 0, 0x00, 0x3F}, tcase{0x12, 1, 0, 0x00, 0x12},
                    tcase{0x10, 3, 0, 0x00, 0x30},  // passes the five-bit zero check: bank 0 of game 3
                    tcase{0x00, 2, 0, 0x00, 0x21}, tcase{0x05, 2, 1, 0x20, 0x25}}) {
        m->romwrite(0x2000, c.bank1);
        m->romwrite(0x4000, c.bank2);
        m->romwrite(0x6000, c.mode);
        EXPECT_EQ(m.low(), c.low) << int(c.bank1) << " " << int(c.bank2);
        EXPECT_EQ(m.high(), c.high) << int(c.bank1) << " " << int(c.bank2);
    }
    // The same size without the second logo is an ordinary MBC1.
    tcontroller<tcartmbc1> plain(carttest::makerom(1024 * KiB, 0x01));
    EXPECT_FALSE(plain->multicart);
    plain->romwrite(0x2000, 0x02);
    plain->romwrite(0x4000, 1);
    EXPECT_EQ(plain.high(), 0x22);
}

TEST(Mbc1Wiring, StatesBringTheRegistersBack) {
    {  // bank 0 at 0x4000 through a masked 0x10
        tcontroller<tcartmbc1> a(256 * KiB), b(256 * KiB);
        a->romwrite(0x2000, 0x10);
        copystate(a, b);
        EXPECT_EQ(b.high(), 0);
        b->romwrite(0x4000, 1);  // no upper ROM bits at this size: still bank 0
        EXPECT_EQ(b.high(), 0);
    }
    {  // mode 1 with the upper bits on both ROM windows and the RAM
        tcontroller<tcartmbc1> a(2048 * KiB, 32768), b(2048 * KiB, 32768);
        a->romwrite(0x0000, 0x0A);
        a->romwrite(0x2000, 7);
        a->romwrite(0x4000, 3);
        a->romwrite(0x6000, 1);
        copystate(a, b);
        EXPECT_EQ(b.low(), 0x60);
        EXPECT_EQ(b.high(), 0x67);
        EXPECT_EQ(b->rambank, 3);
        b->romwrite(0x2000, 1);
        EXPECT_EQ(b.high(), 0x61);
    }
    {  // 2 MiB with one RAM bank: the upper bits come back from the ROM bank alone
        tcontroller<tcartmbc1> a(2048 * KiB, 8192), b(2048 * KiB, 8192);
        a->romwrite(0x4000, 2);
        a->romwrite(0x6000, 1);
        copystate(a, b);
        EXPECT_EQ(b.low(), 0x40);
        EXPECT_EQ(b.high(), 0x41);
    }
    {  // HuC1 keeps its plain banks through a state
        tcontroller<tcarthuc1> a(1024 * KiB, 32768), b(1024 * KiB, 32768);
        a->romwrite(0x2000, 0x45);
        copystate(a, b);
        EXPECT_EQ(b.high(), 0x05);  // 0x45 within the 64-bank mask
        EXPECT_EQ(b.low(), 0);
    }
}

// ---- MBC2

TEST(Mbc2Wiring, RegistersAnywhereBelow0x4000AndNibblesThroughTheWindow) {
    tcontroller<tcartmbc2> f(256 * KiB);
    struct tcase {
        uint16_t address;
        uint8_t value;
        bool enabled;
        int bank;
    };
    for (tcase c : {tcase{0x0100, 0x05, false, 5}, tcase{0x3E00, 0x0A, true, 5}, tcase{0x3DFF, 0x13, true, 3},
                    tcase{0x2000, 0x00, false, 3}, tcase{0x1100, 0x00, false, 1}, tcase{0x4100, 0x02, false, 1}}) {
        f->romwrite(c.address, c.value);
        EXPECT_EQ(f->sramenable, c.enabled) << std::hex << c.address;
        EXPECT_EQ(f.high(), c.bank) << std::hex << c.address;
    }
    f->romwrite(0x0000, 0x0A);
    for (uint16_t a = 0xA000; a < 0xA200; a++) f->ramwrite(a, uint8_t(a));
    for (uint16_t a : {0xA000, 0xA1FF, 0xA200, 0xA3C5, 0xB000, 0xBFFF}) {
        EXPECT_EQ(f.bus.read(a), uint8_t(0xF0 | (a & 0x0F))) << std::hex << a;
        EXPECT_EQ(f->peekram(a), f.bus.read(a));
    }
}

// ---- MBC3

TEST(Mbc3Wiring, FourMegabyteImagesUseAllEightBankBits) {
    tcontroller<tcartmbc3> big(4096 * KiB, 32768);
    for (int b = 1; b < 256; b++) {
        big->romwrite(0x2000, uint8_t(b));
        ASSERT_EQ(big.high(), b);
    }
    big->romwrite(0x2000, 0);
    EXPECT_EQ(big.high(), 1);
    EXPECT_TRUE(big->isstandardwrite(0x2000, 0xFF));
    tcontroller<tcartmbc3> two(2048 * KiB);
    two->romwrite(0x2000, 0x85);  // the 2 MiB controller has seven bits
    EXPECT_EQ(two.high(), 5);
    EXPECT_FALSE(two->isstandardwrite(0x2000, 0x85));
}

TEST(Mbc3Clock, RegistersHoldOnlyTheirBits) {
    tcontroller<tcartmbc3> f(64 * KiB, 8192);
    f->romwrite(0x0000, 0x0A);
    const uint8_t expected[5] = {0x3F, 0x3F, 0x1F, 0xFF, 0xC1};
    for (int r = 0; r < 5; r++) {
        f->romwrite(0x4000, uint8_t(8 + r));
        f->ramwrite(0xA000, 0xFF);
    }
    f->romwrite(0x6000, 0);
    f->romwrite(0x6000, 1);
    for (int r = 0; r < 5; r++) {
        f->romwrite(0x4000, uint8_t(8 + r));
        EXPECT_EQ(f.bus.read(0xA000), expected[r]) << r;
        EXPECT_EQ(f->rtc[size_t(r)], expected[r]) << r;
    }
    // A value written is read only after the next latch.
    f->romwrite(0x4000, 0x08);
    f->ramwrite(0xA000, 0x12);
    EXPECT_EQ(f.bus.read(0xA000), 0x3F);
    f->romwrite(0x6000, 0);
    f->romwrite(0x6000, 1);
    EXPECT_EQ(f.bus.read(0xA000), 0x12);
}

TEST(Mbc3Clock, CountersCarryOnlyFromTheirLastValidValue) {
    using tregs = std::array<uint16_t, 5>;
    struct tcase {
        tregs before, after;
    };
    for (const tcase& c : {
             tcase{{59, 59, 23, 0, 0}, {0, 0, 0, 1, 0}},          // a day
             tcase{{60, 63, 28, 5, 0}, {61, 63, 28, 5, 0}},       // invalid time plus one second
             tcase{{63, 10, 1, 5, 0}, {0, 10, 1, 5, 0}},          // past 63: 0 without a carry
             tcase{{59, 63, 1, 5, 0}, {0, 0, 1, 5, 0}},           // minutes past 63: no hour carry
             tcase{{59, 61, 2, 5, 0}, {0, 62, 2, 5, 0}},          // high minutes count on
             tcase{{59, 59, 31, 5, 0}, {0, 0, 0, 5, 0}},          // hours past 31: no day carry
             tcase{{59, 59, 26, 5, 0}, {0, 0, 27, 5, 0}},         // high hours count on
             tcase{{59, 59, 23, 255, 1}, {0, 0, 0, 0, 0x80}},     // day 511 overflows
             tcase{{59, 59, 23, 3, 0x80}, {0, 0, 0, 4, 0x80}},    // the overflow flag stays
             tcase{{7, 0, 0, 0, 0x40}, {7, 0, 0, 0, 0x40}}}) {    // halted
        tcontroller<tcartmbc3timer> f(64 * KiB);
        f->rtc = c.before;
        f->secondtick();
        EXPECT_EQ(f->rtc, c.after) << c.before[0] << ":" << c.before[1] << ":" << c.before[2];
    }
}

TEST(Mbc3Clock, TheLatchedCopyStaysUntilTheNextLatch) {
    tcontroller<tcartmbc3timer> f(64 * KiB, 8192);
    f->romwrite(0x0000, 0x0A);
    f->romwrite(0x4000, 0x08);
    for (int i = 0; i < 4; i++) f->secondtick();
    EXPECT_EQ(f.bus.read(0xA000), 0);  // never latched: the copy does not follow the clock
    f->romwrite(0x6000, 0);
    f->romwrite(0x6000, 1);
    EXPECT_EQ(f.bus.read(0xA000), 4);
    f->romwrite(0x6000, 0);
    f->secondtick();
    EXPECT_EQ(f.bus.read(0xA000), 4);  // unlatching alone changes nothing
    f->romwrite(0x6000, 1);
    EXPECT_EQ(f.bus.read(0xA000), 5);
}

}  // namespace
}  // namespace tov
