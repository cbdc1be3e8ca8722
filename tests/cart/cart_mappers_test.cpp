// Bank switching and page mapping of every mapper, as the CPU sees it through the page table.
#include <gtest/gtest.h>

#include "cart/generic.h"
#include "cart/huc.h"
#include "cart/mbc125.h"
#include "cart/mbc3.h"
#include "carttesthelpers.h"

namespace tov {
namespace {

using carttest::makerom;
using carttest::tbus;

constexpr size_t KiB = 1024;

// Bank number tagged at the start of the bank mapped at 0x4000.
int bankat4000(const tbus& bus) { return bus.read(0x4000) | bus.read(0x4001) << 8; }

template <class T>
struct tfixture {
    tsettings settings = carttest::accuratesettings();
    tbus bus;
    std::unique_ptr<T> cart;
    tfixture(size_t romsize, int32_t ramsize = 0, bool battery = false, bool emulatesramd = true) {
        settings.EmulateSramD = emulatesramd;
        cart = std::make_unique<T>(makerom(romsize), ramsize, battery, &settings);
        bus.attach(*cart);
        cart->cartreset();
    }
    T& operator*() { return *cart; }
    T* operator->() { return cart.get(); }
};

// ---- Base mapping

TEST(CartMapping, RomIsMappedByDirectPointersAndAgreesWithTheReadRoutine) {
    tfixture<tcartmbc1> f(128 * KiB);
    for (uint16_t a : {0x0000, 0x0150, 0x3FFF, 0x4000, 0x5ABC, 0x7FFF}) {
        EXPECT_TRUE(f.bus.direct(a)) << std::hex << a;
        EXPECT_EQ(f.bus.read(a), f->romread(a)) << std::hex << a;
    }
    f->romwrite(0x2000, 5);
    EXPECT_EQ(bankat4000(f.bus), 5);
    EXPECT_EQ(f.bus.read(0x7FFF), 5);
    EXPECT_EQ(f.bus.read(0x6123), f->romread(0x6123));
}

TEST(CartMapping, CartridgeWithoutMapperIgnoresWritesAndShowsBankOne) {
    tfixture<tcartmbcbase> f(32 * KiB);
    EXPECT_EQ(f->mappername(), "(no_MBC)");
    f->romwrite(0x2000, 0);
    f->romwrite(0x2000, 3);
    EXPECT_EQ(bankat4000(f.bus), 1);
    EXPECT_FALSE(f->isstandardwrite(0x2000, 1));
}

TEST(CartMapping, BankZeroSelectsBankOneExceptOnMbc5) {
    tfixture<tcartmbc3> mbc3(64 * KiB);
    mbc3->romwrite(0x2000, 0);
    EXPECT_EQ(bankat4000(mbc3.bus), 1);
    tfixture<tcartmbc5> mbc5(64 * KiB);
    mbc5->setrombank(0);  // before the first register write bank 0 is still refused
    EXPECT_EQ(bankat4000(mbc5.bus), 1);
    mbc5->romwrite(0x2000, 0);
    EXPECT_EQ(bankat4000(mbc5.bus), 0);
    mbc5->cartreset();  // the permission outlives a reset
    mbc5->romwrite(0x2000, 0);
    EXPECT_EQ(bankat4000(mbc5.bus), 0);
}

TEST(CartMapping, Image48KiBHasNoBackingForBankThree) {
    tfixture<tcartmbc1> f(48 * KiB);
    EXPECT_EQ(f->rombankmask, 3);
    EXPECT_EQ(f->romalloc, 48 * 1024);
    f->romwrite(0x2000, 2);
    EXPECT_EQ(bankat4000(f.bus), 2);
    f->romwrite(0x2000, 3);
    EXPECT_EQ(f->rombank, 3);
    EXPECT_FALSE(f.bus.direct(0x4000));
    EXPECT_EQ(f.bus.read(0x4000), 0xFF);
    EXPECT_EQ(f.bus.read(0x7FFF), 0xFF);
}

TEST(CartMapping, Image40KiBIsPaddedAndItsLastPartNeverMapped) {
    tfixture<tcartmbc1> f(40 * KiB);
    EXPECT_EQ(f->romalloc, 48 * 1024);
    EXPECT_EQ(f->rombankmask, 1);
    EXPECT_EQ(f->rom[40 * KiB], 0xFF);
    EXPECT_EQ(f->rom[48 * KiB - 1], 0xFF);
    // Bank 2 is masked to 0 after the zero test, so bank 0 shows at 0x4000.
    f->romwrite(0x2000, 2);
    EXPECT_EQ(f->rombank, 0);
    EXPECT_EQ(bankat4000(f.bus), 0);
}

TEST(CartMapping, RomSmallerThanOneBankReadsPaddingBeyondItsEnd) {
    tfixture<tcartmbcbase> f(0x150);
    EXPECT_EQ(f->rombankmask, -1);
    EXPECT_EQ(f.bus.read(0x0100), f->rom[0x100]);
    EXPECT_EQ(f.bus.read(0x0150), 0xFF);
    EXPECT_EQ(f.bus.read(0x3FFF), 0xFF);
    EXPECT_EQ(f.bus.read(0x4000), 0xFF);
    EXPECT_EQ(f->romread(0x4000), 0xFF);
}

TEST(CartMapping, RamIsDirectOnlyWhileEnabled) {
    tfixture<tcartmbc1> f(64 * KiB, 32 * 1024);
    EXPECT_FALSE(f.bus.direct(0xA000));
    EXPECT_EQ(f.bus.read(0xA000), 0xFF);
    f->ramwrite(0xA000, 0x12);  // ignored while disabled
    f->romwrite(0x0000, 0x0A);
    EXPECT_TRUE(f.bus.direct(0xA000));
    EXPECT_TRUE(f.bus.direct(0xBFFF));
    f->ramwrite(0xA000, 0x34);
    f->ramwrite(0xBFFF, 0x56);
    EXPECT_EQ(f.bus.read(0xA000), 0x34);
    EXPECT_EQ(f.bus.read(0xBFFF), 0x56);
    f->romwrite(0x0000, 0x00);
    EXPECT_FALSE(f.bus.direct(0xA000));
    EXPECT_EQ(f.bus.read(0xA000), 0xFF);
}

TEST(CartMapping, RamEnableNeedsLowNibbleA) {
    tfixture<tcartmbc5> f(64 * KiB, 8192);
    f->romwrite(0x0000, 0x1A);
    EXPECT_TRUE(f->sramenable);
    f->romwrite(0x0000, 0x0B);
    EXPECT_FALSE(f->sramenable);
}

TEST(CartMapping, CompatibilityOverrideKeepsRamEnabled) {
    tfixture<tcartmbc1> f(64 * KiB, 8192, false, /*emulatesramd=*/false);
    EXPECT_TRUE(f->sramenable);
    f->romwrite(0x0000, 0x00);
    EXPECT_TRUE(f->sramenable);
    EXPECT_TRUE(f.bus.direct(0xA000));
}

TEST(CartMapping, SmallRamIgnoresWritesBeyondItsSize) {
    tfixture<tcartmbc1> f(64 * KiB, 2048);
    EXPECT_EQ(f->ramalloc, 8192);
    f->romwrite(0x0000, 0x0A);
    f->ramwrite(0xA7FF, 1);
    f->ramwrite(0xA800, 2);
    EXPECT_EQ(f.bus.read(0xA7FF), 1);
    EXPECT_EQ(f.bus.read(0xA800), 0xFF);
    EXPECT_EQ(f->ramread(0xA800), 0xFF);
}

TEST(CartMapping, DestroyedCartridgeLeavesNoPagesBehind) {
    tbus bus;
    {
        tcartmbcbase cart(makerom(32 * KiB), 8192, false);
        bus.attach(cart);
        cart.cartreset();
        EXPECT_TRUE(bus.direct(0x0000));
    }
    for (int i : {0, 3, 4, 7, 10, 11}) {
        EXPECT_EQ(bus.pages[size_t(i)].data, nullptr);
        EXPECT_EQ(bus.pages[size_t(i)].read, nullptr);
    }
}

TEST(CartMapping, EmptySlotReadsFF) {
    tbus bus;
    tcart cart;
    bus.attach(cart);
    cart.cartreset();
    EXPECT_EQ(bus.read(0x0100), 0xFF);
    EXPECT_EQ(bus.read(0xA000), 0xFF);
    EXPECT_EQ(cart.mappername(), "(no_cart)");
}

// ---- MBC1

TEST(Mbc1, UpperBitsExtendTheRomBankInRomMode) {
    tfixture<tcartmbc1> f(2048 * KiB);
    EXPECT_TRUE(f->mbc1mode);
    f->romwrite(0x4000, 1);
    f->romwrite(0x2000, 0x00);
    EXPECT_EQ(bankat4000(f.bus), 0x21);
    f->romwrite(0x2000, 0x20);
    EXPECT_EQ(bankat4000(f.bus), 0x21);
    f->romwrite(0x2000, 0x1F);
    EXPECT_EQ(bankat4000(f.bus), 0x3F);
    f->romwrite(0x4000, 3);
    EXPECT_EQ(bankat4000(f.bus), 0x7F);
}

TEST(Mbc1, ModeSwitchMovesTheUpperBitsBetweenRomAndRam) {
    tfixture<tcartmbc1> f(2048 * KiB, 32768);
    f->romwrite(0x2000, 5);
    f->romwrite(0x4000, 2);
    EXPECT_EQ(f->rombank, 0x45);
    f->romwrite(0x6000, 1);
    EXPECT_FALSE(f->mbc1mode);
    EXPECT_EQ(f->rombank, 5);
    EXPECT_EQ(f->rambank, 2);
    f->romwrite(0x4000, 3);  // RAM banking mode: selects RAM
    EXPECT_EQ(f->rambank, 3);
    EXPECT_EQ(f->rombank, 5);
    f->romwrite(0x6000, 0);
    EXPECT_EQ(f->rombank, 0x65);
    EXPECT_EQ(f->rambank, 0);
}

TEST(Mbc1, BankNumbersAreMaskedByRomSize) {
    tfixture<tcartmbc1> f(256 * KiB);
    EXPECT_EQ(f->rombankmask, 15);
    f->romwrite(0x2000, 0x1F);
    EXPECT_EQ(bankat4000(f.bus), 15);
    f->romwrite(0x2000, 0x10);  // masks to 0: shows bank 0, the zero test came first
    EXPECT_EQ(bankat4000(f.bus), 0);
}

TEST(Mbc1, RamBanksSwitchTheDirectWindow) {
    tfixture<tcartmbc1> f(64 * KiB, 32768);
    f->romwrite(0x0000, 0x0A);
    f->romwrite(0x6000, 1);
    for (uint8_t bank = 0; bank < 4; bank++) {
        f->romwrite(0x4000, bank);
        f->ramwrite(0xA000, uint8_t(0x40 + bank));
    }
    for (uint8_t bank = 0; bank < 4; bank++) {
        f->romwrite(0x4000, bank);
        EXPECT_TRUE(f.bus.direct(0xA000));
        EXPECT_EQ(f.bus.read(0xA000), 0x40 + bank);
    }
    EXPECT_EQ(f->ramused, 3);
}

TEST(Mbc1, StandardWrites) {
    tfixture<tcartmbc1> f(512 * KiB, 8192);  // mask 31
    EXPECT_TRUE(f->isstandardwrite(0x0000, 0x0A));
    EXPECT_TRUE(f->isstandardwrite(0x1FFF, 0x00));
    EXPECT_FALSE(f->isstandardwrite(0x0000, 0x1A));
    EXPECT_TRUE(f->isstandardwrite(0x2000, 31));
    EXPECT_FALSE(f->isstandardwrite(0x2000, 0));
    EXPECT_FALSE(f->isstandardwrite(0x2000, 32));
    EXPECT_TRUE(f->isstandardwrite(0x4000, 0));   // ROM mode: no upper ROM bits on 512 KiB
    EXPECT_FALSE(f->isstandardwrite(0x4000, 1));
    f->romwrite(0x6000, 1);
    EXPECT_TRUE(f->isstandardwrite(0x4000, 0));   // RAM mode: one 8 KiB bank
    EXPECT_FALSE(f->isstandardwrite(0x4000, 1));
    EXPECT_TRUE(f->isstandardwrite(0x6000, 1));
    EXPECT_FALSE(f->isstandardwrite(0x6000, 2));
    tfixture<tcartmbc1> small(64 * KiB);  // mask 3
    EXPECT_FALSE(small->isstandardwrite(0x2000, 4));
}

// ---- MBC2

TEST(Mbc2, AddressBitEightSelectsTheRegister) {
    tfixture<tcartmbc2> f(256 * KiB);
    f->romwrite(0x0100, 0x0A);  // bit 8 set: not the RAM enable
    EXPECT_FALSE(f->sramenable);
    f->romwrite(0x0000, 0x0A);
    EXPECT_TRUE(f->sramenable);
    f->romwrite(0x2000, 7);  // bit 8 clear: ignored
    EXPECT_EQ(bankat4000(f.bus), 1);
    f->romwrite(0x2100, 0x17);
    EXPECT_EQ(bankat4000(f.bus), 7);
    f->romwrite(0x2100, 0);
    EXPECT_EQ(bankat4000(f.bus), 1);
    EXPECT_TRUE(f->isstandardwrite(0x2100, 15));
    EXPECT_FALSE(f->isstandardwrite(0x2000, 3));
    EXPECT_FALSE(f->isstandardwrite(0x0100, 0));
    EXPECT_FALSE(f->isstandardwrite(0x4000, 0));
}

TEST(Mbc2, RamHoldsNibblesAndIsNeverDirect) {
    tfixture<tcartmbc2> f(64 * KiB, 0);
    EXPECT_EQ(f->ramsize, 512);
    f->romwrite(0x0000, 0x0A);
    EXPECT_FALSE(f.bus.direct(0xA000));
    f->ramwrite(0xA000, 0x05);
    f->ramwrite(0xA1FF, 0xA3);
    EXPECT_EQ(f.bus.read(0xA000), 0xF5);
    EXPECT_EQ(f.bus.read(0xA1FF), 0xF3);
    EXPECT_EQ(f.bus.read(0xA200), 0xFF);
    f->ramwrite(0xA200, 0x01);
    EXPECT_EQ(f.bus.read(0xA200), 0xFF);
    f->romwrite(0x0000, 0);
    EXPECT_EQ(f.bus.read(0xA000), 0xFF);
}

// ---- MBC5

TEST(Mbc5, NineBitBankNumber) {
    tfixture<tcartmbc5> f(8192 * KiB);
    EXPECT_EQ(f->rombankmask, 511);
    f->romwrite(0x3000, 1);
    EXPECT_EQ(bankat4000(f.bus), 0x101);  // 256 added to the current bank
    f->romwrite(0x2000, 0x00);
    EXPECT_EQ(bankat4000(f.bus), 0x100);
    f->romwrite(0x2FFF, 0xFF);
    EXPECT_EQ(bankat4000(f.bus), 0x1FF);
    EXPECT_EQ(f.bus.read(0x7FFF), 0xFF);
    f->romwrite(0x3000, 0xFE);  // only bit 0 counts
    EXPECT_EQ(bankat4000(f.bus), 0xFF);
}

TEST(Mbc5, RamBankAndStandardWrites) {
    tfixture<tcartmbc5> f(1024 * KiB, 131072);
    f->romwrite(0x4000, 0x1F);
    EXPECT_EQ(f->rambank, 15);
    EXPECT_TRUE(f->isstandardwrite(0x4000, 15));
    EXPECT_FALSE(f->isstandardwrite(0x4000, 16));
    EXPECT_TRUE(f->isstandardwrite(0x2000, 63));
    EXPECT_FALSE(f->isstandardwrite(0x2000, 64));
    EXPECT_TRUE(f->isstandardwrite(0x3000, 0));
    EXPECT_FALSE(f->isstandardwrite(0x3000, 1));
    EXPECT_FALSE(f->isstandardwrite(0x6000, 0));
}

TEST(Mbc5, RumbleBitIsTakenOutOfTheRamBank) {
    tfixture<tcartmbc5rumble> f(256 * KiB, 32768);
    EXPECT_EQ(f->mappername(), "MBC5-rumble");
    f->romwrite(0x4000, 0x0B);
    EXPECT_TRUE(f->rumble);
    EXPECT_EQ(f->rambank, 3);
    f->romwrite(0x4000, 0x01);
    EXPECT_FALSE(f->rumble);
    EXPECT_EQ(f->rambank, 1);
    f->romwrite(0x2000, 9);
    EXPECT_EQ(bankat4000(f.bus), 9);
}

// ---- MBC3

TEST(Mbc3, SevenBitRomBankAndAbsentRamBanks) {
    tfixture<tcartmbc3> f(2048 * KiB, 8192);
    f->romwrite(0x2000, 0xFF);
    EXPECT_EQ(bankat4000(f.bus), 0x7F);
    f->romwrite(0x2000, 0x80);
    EXPECT_EQ(bankat4000(f.bus), 1);
    f->romwrite(0x0000, 0x0A);
    f->romwrite(0x4000, 3);
    EXPECT_EQ(f->rambank, 3);
    EXPECT_FALSE(f.bus.direct(0xA000));
    EXPECT_EQ(f.bus.read(0xA000), 0xFF);
    f->romwrite(0x4000, 0);
    EXPECT_TRUE(f.bus.direct(0xA000));
}

TEST(Mbc3, StandardWrites) {
    tfixture<tcartmbc3> f(2048 * KiB, 32768);
    EXPECT_TRUE(f->isstandardwrite(0x2000, 127));
    EXPECT_FALSE(f->isstandardwrite(0x2000, 0));
    EXPECT_TRUE(f->isstandardwrite(0x4000, 3));
    EXPECT_FALSE(f->isstandardwrite(0x4000, 8));  // clock registers need more than 64 KiB of RAM here
    EXPECT_TRUE(f->isstandardwrite(0x6000, 1));
    EXPECT_FALSE(f->isstandardwrite(0x6000, 2));
}

TEST(Mbc3, ClockRegistersAreMappedThroughTheRoutine) {
    tfixture<tcartmbc3> f(64 * KiB, 8192);
    f->romwrite(0x0000, 0x0A);
    f->romwrite(0x4000, 0x08);
    EXPECT_TRUE(f->clockmapped);
    EXPECT_FALSE(f.bus.direct(0xA000));
    f->ramwrite(0xA000, 42);
    EXPECT_EQ(f->rtc[0], 42);
    EXPECT_EQ(f.bus.read(0xB123), 42);
    f->romwrite(0x4000, 0x0C);
    f->ramwrite(0xA000, 0xC1);
    EXPECT_EQ(f->rtc[4], 0xC1);
    f->romwrite(0x4000, 0x0D);
    EXPECT_FALSE(f->clockmapped);
    f->romwrite(0x4000, 0x08);
    f->romwrite(0x0000, 0x00);  // disabling unmaps the clock too
    EXPECT_FALSE(f->clockmapped);
    EXPECT_EQ(f.bus.read(0xA000), 0xFF);
}

TEST(Mbc3, LatchFreezesTheReadableCopy) {
    tfixture<tcartmbc3timer> f(64 * KiB, 8192);
    f->romwrite(0x0000, 0x0A);
    f->romwrite(0x4000, 0x08);
    for (int i = 0; i < 5; i++) f->secondtick();
    f->romwrite(0x6000, 0);
    f->romwrite(0x6000, 1);
    EXPECT_TRUE(f->latchheld);
    EXPECT_EQ(f.bus.read(0xA000), 5);
    for (int i = 0; i < 3; i++) f->secondtick();
    EXPECT_EQ(f.bus.read(0xA000), 5);
    f->ramwrite(0xA000, 30);  // live register changes, the frozen copy does not
    EXPECT_EQ(f.bus.read(0xA000), 5);
    f->romwrite(0x6000, 0);
    EXPECT_EQ(f.bus.read(0xA000), 30);
    f->secondtick();
    EXPECT_EQ(f.bus.read(0xA000), 31);  // copy follows again while not held
}

TEST(Mbc3, TickCarriesAndKeepsUnmaskedValues) {
    tfixture<tcartmbc3timer> f(64 * KiB);
    f->rtc = {75, 0, 0, 0, 0};
    f->secondtick();
    EXPECT_EQ(f->rtc[0], 0);
    EXPECT_EQ(f->rtc[1], 1);
    f->rtc = {59, 59, 23, 255, 0};
    f->secondtick();
    EXPECT_EQ(f->rtc, (std::array<uint16_t, 5>{0, 0, 0, 0, 1}));
    f->rtc = {59, 59, 23, 255, 1};
    f->secondtick();
    EXPECT_EQ(f->rtc, (std::array<uint16_t, 5>{0, 0, 0, 0, 0x80}));
    f->rtc = {10, 0, 0, 0, 0x40};  // halted
    f->secondtick();
    EXPECT_EQ(f->rtc[0], 10);
}

TEST(Mbc3, PlainMbc3ClockNeverTicks) {
    tfixture<tcartmbc3> f(64 * KiB);
    f->secondtick();
    EXPECT_EQ(f->rtc[0], 0);
    EXPECT_EQ(f->mappername(), "MBC3");
}

// ---- HuC1, HuC3

TEST(Huc, DisabledRamReadsOneAndIgnoresTheCompatibilityOverride) {
    tfixture<tcarthuc1> huc1(256 * KiB, 8192, true, /*emulatesramd=*/false);
    EXPECT_FALSE(huc1->sramenable);
    EXPECT_EQ(huc1.bus.read(0xA000), 1);
    huc1->romwrite(0x0000, 0x0A);
    huc1->ramwrite(0xA000, 0x77);
    EXPECT_EQ(huc1.bus.read(0xA000), 0x77);
    tfixture<tcarthuc3> huc3(256 * KiB, 8192, true, /*emulatesramd=*/false);
    EXPECT_EQ(huc3.bus.read(0xA000), 1);
    EXPECT_EQ(huc3->mappername(), "HuC3");
}

TEST(Huc, Huc1BankRegisters) {
    tfixture<tcarthuc1> f(2048 * KiB, 32768);
    f->romwrite(0x2000, 0x45);
    EXPECT_EQ(bankat4000(f.bus), 0x45);
    f->romwrite(0x4000, 0x02);
    EXPECT_EQ(f->rambank, 2);
    EXPECT_EQ(bankat4000(f.bus), 0x45);
    f->romwrite(0x6000, 1);  // no mode register
    EXPECT_EQ(bankat4000(f.bus), 0x45);
    EXPECT_EQ(f->mappername(), "HuC1");
}

// ---- Generic

TEST(Generic, EightBitBanksUntilMbc1StyleIsRequested) {
    tfixture<tcartgeneric> f(4096 * KiB, 131072, false, false);
    EXPECT_TRUE(f->sramenable);
    f->romwrite(0x2000, 0x85);
    EXPECT_EQ(bankat4000(f.bus), 0x85);
    f->romwrite(0x4000, 0x05);
    EXPECT_EQ(f->rambank, 5);
    f->romwrite(0x0000, 0x00);  // ignored: the RAM stays enabled
    EXPECT_TRUE(f->sramenable);
    f->romwrite(0x6000, 0);
    EXPECT_TRUE(f->mbc1mode);
    f->romwrite(0x2000, 0x85);
    EXPECT_EQ(bankat4000(f.bus), 0x85);  // 5 or the upper bits 0x80 of the old bank
    f->romwrite(0x4000, 0x01);
    EXPECT_EQ(bankat4000(f.bus), 0x25);
    f->cartreset();  // the mode survives a reset
    EXPECT_TRUE(f->mbc1mode);
}

TEST(Generic, BankIsMaskedByRomSize) {
    tfixture<tcartgeneric> f(512 * KiB, 131072, false, false);
    f->romwrite(0x2000, 0x85);
    EXPECT_EQ(bankat4000(f.bus), 5);
    EXPECT_TRUE(f->isstandardwrite(0x2000, 31));
    EXPECT_FALSE(f->isstandardwrite(0x2000, 32));
    EXPECT_TRUE(f->isstandardwrite(0x4000, 15));
    EXPECT_FALSE(f->isstandardwrite(0x4000, 16));
}

}  // namespace
}  // namespace tov
