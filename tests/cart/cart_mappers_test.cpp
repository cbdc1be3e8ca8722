// Bank switching and page mapping of every mapper, as the CPU sees it through the page table.
#include <gtest/gtest.h>

#include "cart/generic.h"
#include "cart/huc.h"
#include "cart/mbc125.h"
#include "cart/mbc3.h"
#include "carttesthelpers.h"

namespace tov {
namespace {

using carttest::tbus;
constexpr size_t KiB = 1024;

// Bank number tagged at the start of the bank mapped at 0x4000.
int bank4000(const tbus& bus) { return bus.read(0x4000) | bus.read(0x4001) << 8; }

template <class T>
struct tfixture {
    tcartoptions settings = carttest::accuratesettings();
    tbus bus;
    std::unique_ptr<T> cart;
    tfixture(size_t romsize, int32_t ramsize = 0, bool emulatesramd = true) {
        settings.EmulateSramD = emulatesramd;
        cart = std::make_unique<T>(carttest::makerom(romsize), ramsize, false, &settings);
        bus.attach(*cart);
        cart->cartreset();
    }
    T* operator->() { return cart.get(); }
    int bank() const { return bank4000(bus); }
};

// ---- Mapping shared by all mappers

TEST(CartMapping, RomIsReadThroughDirectPointersThatAgreeWithTheRoutine) {
    tfixture<tcartmbc1> f(128 * KiB);
    f->romwrite(0x2000, 5);
    EXPECT_EQ(f.bank(), 5);
    EXPECT_EQ(f.bus.read(0x7FFF), 5);
    for (uint16_t a : {0x0000, 0x0150, 0x3FFF, 0x4000, 0x5ABC, 0x7FFF}) {
        EXPECT_TRUE(f.bus.direct(a)) << std::hex << a;
        EXPECT_EQ(f.bus.read(a), f->romread(a)) << std::hex << a;
    }
}

// Viewers and the debugger see banks, RAM and the ROM image through tcart alone.
template <class T>
void checkaccessors(int rombankregister, int rambankregister) {
    tfixture<T> f(512 * KiB, 32768);
    tcart& cart = *f.cart;
    EXPECT_TRUE(cart.isbanked());
    f->romwrite(0x0000, 0x0A);
    f->romwrite(0x2000, uint8_t(rombankregister));
    f->romwrite(0x4000, uint8_t(rambankregister));
    EXPECT_EQ(cart.currentrombank(), f.bank());
    EXPECT_EQ(cart.currentrambank(), f->rambank);
    EXPECT_TRUE(cart.ramenabled());
    f->ramwrite(0xA123, 0x5C);
    ASSERT_NE(cart.ramdata(), nullptr);
    EXPECT_EQ(cart.ramdata()[f->rambank * 0x2000 + 0x123], 0x5C);
    EXPECT_EQ(cart.ramimagesize(), 32768);
    ASSERT_EQ(cart.romimagesize(), int32_t(512 * KiB));
    EXPECT_EQ(cart.romimagedata()[cart.currentrombank() * 0x4000], uint8_t(f.bank()));
    for (uint16_t a : {0x0000, 0x4000, 0x7FFF}) EXPECT_EQ(cart.peekrom(a), f.bus.read(a));
    EXPECT_EQ(cart.peekram(0xA123), 0x5C);
    f->romwrite(0x0000, 0x00);
    EXPECT_FALSE(cart.ramenabled());
    EXPECT_EQ(cart.peekram(0xA123), 0xFF);
}

TEST(CartMapping, AccessorsShowBanksRamAndImageWithoutKnowingTheController) {
    checkaccessors<tcartmbc1>(6, 0);  // MBC1 mode 0: the 0x4000 register extends the ROM bank
    checkaccessors<tcartmbc3>(9, 2);
    checkaccessors<tcartmbc5>(17, 3);
    tcart empty;
    EXPECT_FALSE(empty.isbanked());
    EXPECT_EQ(empty.romimagedata(), nullptr);
    EXPECT_EQ(empty.ramdata(), nullptr);
    EXPECT_EQ(empty.romimagesize(), 0);
    EXPECT_EQ(empty.peekrom(0x4000), 0xFF);
}

TEST(CartMapping, BankZeroSelectsBankOneExceptOnMbc5AfterItsFirstWrite) {
    tfixture<tcartmbc3> mbc3(64 * KiB);
    mbc3->romwrite(0x2000, 0);
    EXPECT_EQ(mbc3.bank(), 1);
    tfixture<tcartmbc5> mbc5(64 * KiB);
    mbc5->setrombank(0);
    EXPECT_EQ(mbc5.bank(), 1);
    mbc5->romwrite(0x2000, 0);
    EXPECT_EQ(mbc5.bank(), 0);
    mbc5->cartreset();  // the permission outlives a reset
    mbc5->romwrite(0x2000, 0);
    EXPECT_EQ(mbc5.bank(), 0);
}

TEST(CartMapping, OddImageSizes) {
    tfixture<tcartmbc1> f48(48 * KiB);  // bank 3 has no bytes: no pointer, reads 0xFF
    EXPECT_EQ(f48->rombankmask, 3);
    EXPECT_EQ(f48->romalloc, 48 * 1024);
    f48->romwrite(0x2000, 3);
    EXPECT_EQ(f48->rombank, 3);
    EXPECT_FALSE(f48.bus.direct(0x4000));
    EXPECT_EQ(f48.bus.read(0x4000), 0xFF);

    tfixture<tcartmbc1> f40(40 * KiB);  // padded to 48 KiB, the last 8 KiB never mapped
    EXPECT_EQ(f40->romalloc, 48 * 1024);
    EXPECT_EQ(f40->rombankmask, 1);
    EXPECT_EQ(f40->rom[48 * KiB - 1], 0xFF);
    f40->romwrite(0x2000, 2);  // masked to 0 after the zero test
    EXPECT_EQ(f40.bank(), 0);

    tfixture<tcartmbcbase> tiny(0x150);  // under one bank: mask all ones, padding reads 0xFF
    EXPECT_EQ(tiny->rombankmask, -1);
    EXPECT_EQ(tiny.bus.read(0x0147), tiny->rom[0x147]);
    EXPECT_EQ(tiny.bus.read(0x0150), 0xFF);
    EXPECT_EQ(tiny.bus.read(0x4000), 0xFF);
}

TEST(CartMapping, RamWindowIsDirectOnlyWhileEnabledAndWithinTheRam) {
    tfixture<tcartmbc5> f(64 * KiB, 2048);
    EXPECT_EQ(f->ramalloc, 8192);
    f->ramwrite(0xA000, 0x12);  // ignored while disabled
    EXPECT_FALSE(f.bus.direct(0xA000));
    EXPECT_EQ(f.bus.read(0xA000), 0xFF);
    f->romwrite(0x0000, 0x1A);  // only the low nibble counts
    EXPECT_TRUE(f.bus.direct(0xBFFF));
    f->ramwrite(0xA000, 0x34);
    f->ramwrite(0xA7FF, 0x56);
    f->ramwrite(0xA800, 0x78);  // beyond 2 KiB
    EXPECT_EQ(f.bus.read(0xA000), 0x34);
    EXPECT_EQ(f.bus.read(0xA7FF), 0x56);
    EXPECT_EQ(f.bus.read(0xA800), 0xFF);
    f->romwrite(0x0000, 0x0B);
    EXPECT_FALSE(f.bus.direct(0xA000));
    EXPECT_EQ(f.bus.read(0xA000), 0xFF);
}

TEST(CartMapping, CompatibilityOverrideKeepsRamEnabled) {
    tfixture<tcartmbc1> f(64 * KiB, 8192, /*emulatesramd=*/false);
    f->romwrite(0x0000, 0x00);
    EXPECT_TRUE(f->sramenable);
    EXPECT_TRUE(f.bus.direct(0xA000));
}

TEST(CartMapping, DestroyedCartridgeLeavesNoPagesBehind) {
    tbus bus;
    {
        tcartmbcbase cart(carttest::makerom(32 * KiB), 8192, false);
        bus.attach(cart);
        cart.cartreset();
        EXPECT_TRUE(bus.direct(0x0000));
    }
    for (int i : {0, 3, 4, 7, 10, 11}) EXPECT_EQ(bus.pages[size_t(i)].read, nullptr);
}

// ---- MBC1

TEST(Mbc1, UpperBitsExtendTheRomBankAndTheLowBitsNeverSelectZero) {
    tfixture<tcartmbc1> f(2048 * KiB);
    EXPECT_TRUE(f->mbc1mode);
    f->romwrite(0x4000, 1);
    f->romwrite(0x2000, 0x00);
    EXPECT_EQ(f.bank(), 0x21);
    f->romwrite(0x2000, 0x20);
    EXPECT_EQ(f.bank(), 0x21);
    f->romwrite(0x4000, 3);
    f->romwrite(0x2000, 0x1F);
    EXPECT_EQ(f.bank(), 0x7F);
    tfixture<tcartmbc1> small(256 * KiB);
    small->romwrite(0x2000, 0x1F);
    EXPECT_EQ(small.bank(), 15);
}

TEST(Mbc1, ModeOneAppliesTheUpperBitsToRamAndBankZeroAreaToo) {
    // The two upper bits always reach the 0x4000 window; mode 1 also gives them to the
    // RAM bank and to 0x0000-0x3FFF.
    tfixture<tcartmbc1> f(2048 * KiB, 32768);
    f->romwrite(0x0000, 0x0A);
    f->romwrite(0x2000, 5);
    f->romwrite(0x4000, 2);
    EXPECT_EQ(f->rombank, 0x45);
    EXPECT_EQ(f->rambank, 0);
    f->romwrite(0x6000, 1);
    EXPECT_FALSE(f->mbc1mode);
    EXPECT_EQ(f->rombank, 0x45);
    EXPECT_EQ(f->rambank, 2);
    f->ramwrite(0xA000, 0x22);
    f->romwrite(0x4000, 3);
    EXPECT_EQ(f->rombank, 0x65);
    f->ramwrite(0xA000, 0x33);
    EXPECT_EQ(f->ramused, 3);
    f->romwrite(0x4000, 2);
    EXPECT_EQ(f.bus.read(0xA000), 0x22);
    f->romwrite(0x6000, 0);
    EXPECT_EQ(f->rombank, 0x45);
    EXPECT_EQ(f->rambank, 0);
}

TEST(Mbc1, StandardWrites) {
    tfixture<tcartmbc1> f(512 * KiB, 8192);  // mask 31, no upper ROM bits, one RAM bank
    EXPECT_TRUE(f->isstandardwrite(0x1FFF, 0x0A));
    EXPECT_FALSE(f->isstandardwrite(0x0000, 0x1A));
    EXPECT_TRUE(f->isstandardwrite(0x2000, 31));
    EXPECT_FALSE(f->isstandardwrite(0x2000, 0));
    EXPECT_TRUE(f->isstandardwrite(0x4000, 0));
    EXPECT_FALSE(f->isstandardwrite(0x4000, 1));
    EXPECT_FALSE(f->isstandardwrite(0x6000, 2));
}

// ---- MBC2

TEST(Mbc2, AddressBitEightSelectsTheRegister) {
    tfixture<tcartmbc2> f(256 * KiB);
    f->romwrite(0x0100, 0x0A);  // bit 8 set: the ROM bank, not the RAM enable
    EXPECT_FALSE(f->sramenable);
    EXPECT_EQ(f.bank(), 10);
    f->romwrite(0x0000, 0x0A);
    EXPECT_TRUE(f->sramenable);
    f->romwrite(0x2000, 7);  // bit 8 clear: the RAM enable, also above 0x2000
    EXPECT_FALSE(f->sramenable);
    EXPECT_EQ(f.bank(), 10);
    f->romwrite(0x2100, 0x17);
    EXPECT_EQ(f.bank(), 7);
    EXPECT_TRUE(f->isstandardwrite(0x2100, 15));
    EXPECT_TRUE(f->isstandardwrite(0x0100, 3));
    EXPECT_FALSE(f->isstandardwrite(0x2000, 3));
    EXPECT_TRUE(f->isstandardwrite(0x3E00, 0x0A));
    EXPECT_FALSE(f->isstandardwrite(0x4000, 0));
}

TEST(Mbc2, RamHoldsNibblesRepeatedThroughTheWindowAndIsNeverDirect) {
    tfixture<tcartmbc2> f(64 * KiB, 0);
    EXPECT_EQ(f->ramsize, 512);
    f->romwrite(0x0000, 0x0A);
    EXPECT_FALSE(f.bus.direct(0xA000));
    f->ramwrite(0xA000, 0x05);
    EXPECT_EQ(f.bus.read(0xA000), 0xF5);
    EXPECT_EQ(f.bus.read(0xA200), 0xF5);
    EXPECT_EQ(f.bus.read(0xBE00), 0xF5);
    f->ramwrite(0xBFFF, 0x3C);  // the last half-byte, through its last mirror
    EXPECT_EQ(f.bus.read(0xA1FF), 0xFC);
}

// ---- MBC5

TEST(Mbc5, NineBitBankNumber) {
    tfixture<tcartmbc5> f(8192 * KiB, 131072);
    f->romwrite(0x3000, 1);
    EXPECT_EQ(f.bank(), 0x101);
    f->romwrite(0x2000, 0xFF);
    EXPECT_EQ(f.bank(), 0x1FF);
    f->romwrite(0x3000, 0xFE);  // only bit 0 counts
    EXPECT_EQ(f.bank(), 0xFF);
    f->romwrite(0x4000, 0x1F);
    EXPECT_EQ(f->rambank, 15);
    EXPECT_TRUE(f->isstandardwrite(0x3000, 1));
    EXPECT_FALSE(f->isstandardwrite(0x3000, 2));
    EXPECT_FALSE(f->isstandardwrite(0x4000, 16));
}

TEST(Mbc5, RumbleBitIsTakenOutOfTheRamBank) {
    tfixture<tcartmbc5rumble> f(256 * KiB, 32768);
    EXPECT_EQ(f->mappername(), "MBC5-rumble");
    f->romwrite(0x4000, 0x0B);
    EXPECT_TRUE(f->rumble);
    EXPECT_EQ(f->rambank, 3);
    f->romwrite(0x4000, 0x01);
    EXPECT_FALSE(f->rumble);
}

// ---- MBC3 and its clock

TEST(Mbc3, SevenBitRomBankAndAbsentRamBanks) {
    tfixture<tcartmbc3> f(2048 * KiB, 8192);
    f->romwrite(0x2000, 0xFF);
    EXPECT_EQ(f.bank(), 0x7F);
    f->romwrite(0x2000, 0x80);
    EXPECT_EQ(f.bank(), 1);
    f->romwrite(0x0000, 0x0A);
    f->romwrite(0x4000, 3);  // beyond 8 KiB: routine, 0xFF
    EXPECT_FALSE(f.bus.direct(0xA000));
    EXPECT_EQ(f.bus.read(0xA000), 0xFF);
    EXPECT_FALSE(f->isstandardwrite(0x4000, 1));
    EXPECT_TRUE(f->isstandardwrite(0x2000, 127));
}

TEST(Mbc3, ClockRegistersAreReadThroughTheRoutine) {
    tfixture<tcartmbc3> f(64 * KiB, 8192);
    f->romwrite(0x0000, 0x0A);
    f->romwrite(0x4000, 0x08);
    EXPECT_TRUE(f->clockmapped);
    EXPECT_FALSE(f.bus.direct(0xA000));
    f->ramwrite(0xA000, 42);
    f->romwrite(0x6000, 0);  // a written value is read after the next latch
    f->romwrite(0x6000, 1);
    EXPECT_EQ(f.bus.read(0xB123), 42);
    f->romwrite(0x4000, 0x0C);
    f->ramwrite(0xA000, 0xC1);
    EXPECT_EQ(f->rtc[4], 0xC1);
    f->romwrite(0x4000, 0x0D);
    EXPECT_FALSE(f->clockmapped);
    f->romwrite(0x4000, 0x08);
    f->romwrite(0x0000, 0x00);
    EXPECT_FALSE(f->clockmapped);
    EXPECT_EQ(f.bus.read(0xA000), 0xFF);
    f->secondtick();  // a plain MBC3 clock never runs
    EXPECT_EQ(f->rtc[0], 42);
}

TEST(Mbc3, LatchFreezesTheReadableCopy) {
    tfixture<tcartmbc3timer> f(64 * KiB, 8192);
    f->romwrite(0x0000, 0x0A);
    f->romwrite(0x4000, 0x08);
    for (int i = 0; i < 5; i++) f->secondtick();
    f->romwrite(0x6000, 0);
    f->romwrite(0x6000, 1);
    for (int i = 0; i < 3; i++) f->secondtick();
    f->ramwrite(0xA000, 30);
    EXPECT_EQ(f.bus.read(0xA000), 5);
    f->romwrite(0x6000, 0);
    EXPECT_EQ(f.bus.read(0xA000), 5);  // 0 alone latches nothing
    f->secondtick();
    f->romwrite(0x6000, 1);
    EXPECT_EQ(f.bus.read(0xA000), 31);
    f->secondtick();
    f->romwrite(0x6000, 1);  // 1 again without a 0 in between: no new latch
    EXPECT_EQ(f.bus.read(0xA000), 31);
}

TEST(Mbc3, TickCarriesIntoDaysAndTheOverflowFlag) {
    tfixture<tcartmbc3timer> f(64 * KiB);
    using tregs = std::array<uint16_t, 5>;
    f->rtc = {59, 0, 0, 0, 0};
    f->secondtick();
    EXPECT_EQ(f->rtc, (tregs{0, 1, 0, 0, 0}));
    f->rtc = {59, 59, 23, 255, 0};
    f->secondtick();
    EXPECT_EQ(f->rtc, (tregs{0, 0, 0, 0, 1}));
    f->rtc = {59, 59, 23, 255, 1};
    f->secondtick();
    EXPECT_EQ(f->rtc, (tregs{0, 0, 0, 0, 0x80}));
    f->rtc = {10, 0, 0, 0, 0x40};
    f->secondtick();
    EXPECT_EQ(f->rtc[0], 10);
}

// ---- HuC1, HuC3, generic

TEST(Huc, DisabledRamReadsOneDespiteTheCompatibilityOverride) {
    tfixture<tcarthuc1> huc1(2048 * KiB, 32768, /*emulatesramd=*/false);
    EXPECT_EQ(huc1.bus.read(0xA000), 1);
    huc1->romwrite(0x0000, 0x0A);
    huc1->ramwrite(0xA000, 0x77);
    EXPECT_EQ(huc1.bus.read(0xA000), 0x77);
    huc1->romwrite(0x2000, 0x45);
    huc1->romwrite(0x4000, 0x02);
    huc1->romwrite(0x6000, 1);  // no mode register
    EXPECT_EQ(huc1.bank(), 0x45);
    EXPECT_EQ(huc1->rambank, 2);
    tfixture<tcarthuc3> huc3(256 * KiB, 8192, /*emulatesramd=*/false);
    EXPECT_EQ(huc3.bus.read(0xA000), 1);
}

TEST(Generic, EightBitBanksUntilMbc1StyleIsRequested) {
    tfixture<tcartgeneric> f(4096 * KiB, 131072, false);
    f->romwrite(0x2000, 0x85);
    EXPECT_EQ(f.bank(), 0x85);
    f->romwrite(0x4000, 0x05);
    EXPECT_EQ(f->rambank, 5);
    f->romwrite(0x0000, 0x00);
    EXPECT_TRUE(f->sramenable);
    f->romwrite(0x6000, 0);
    f->romwrite(0x2000, 0x85);
    EXPECT_EQ(f.bank(), 0x85);  // 5 or the upper bits of the old bank
    f->romwrite(0x4000, 0x01);
    EXPECT_EQ(f.bank(), 0x25);
    f->cartreset();
    EXPECT_TRUE(f->mbc1mode);
    tfixture<tcartgeneric> small(512 * KiB, 131072, false);
    small->romwrite(0x2000, 0x85);
    EXPECT_EQ(small.bank(), 5);
}

}  // namespace
}  // namespace tov
