// Battery RAM and clock files: what is written, what is read back, and how the running
// clock moves on between a save and a load.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "cart/mbc125.h"
#include "cart/mbc3.h"
#include "carttesthelpers.h"

namespace tov {
namespace {

using carttest::makerom;
using carttest::tscratch;

constexpr size_t KiB = 1024;

class BatteryRam : public ::testing::Test {
protected:
    tscratch dir;
    tcartoptions settings = carttest::accuratesettings();
    carttest::tbus bus;

    std::unique_ptr<tcartmbc1> cart(int32_t ramsize, bool battery = true) {
        auto c = std::make_unique<tcartmbc1>(makerom(64 * KiB, 0x03), ramsize, battery, &settings);
        bus.attach(*c);
        c->setfilename(dir.file("game"));
        return c;
    }
    static void fill(tcartmbc1& c, int bank, uint8_t seed) {
        c.romwrite(0x0000, 0x0A);
        c.romwrite(0x6000, 1);
        c.romwrite(0x4000, uint8_t(bank));
        for (uint16_t a = 0xA000; a < 0xC000; a++) c.ramwrite(a, uint8_t(seed + a));
    }
};

TEST_F(BatteryRam, WrittenRamComesBack) {
    auto first = cart(32768);
    first->loadsram();  // no file yet: random content, nothing fails
    fill(*first, 0, 1);
    first->savesram();
    EXPECT_EQ(dir.read("game.sav").size(), 8192u);  // only bank 0 was ever selected
    auto second = cart(32768);
    second->loadsram();
    second->cartreset();  // content survives a reset
    second->romwrite(0x0000, 0x0A);
    for (uint16_t a = 0xA000; a < 0xC000; a += 123) EXPECT_EQ(bus.read(a), uint8_t(1 + a));
}

TEST_F(BatteryRam, FileHoldsTheBanksThatWereSelected) {
    auto c = cart(32768);
    c->loadsram();
    fill(*c, 2, 7);
    EXPECT_EQ(c->ramused, 2);
    EXPECT_EQ(c->sramsavesize(), 3 * 8192);
    c->savesram();
    auto bytes = dir.read("game.sav");
    ASSERT_EQ(bytes.size(), 3u * 8192);
    EXPECT_EQ(bytes[2 * 8192 + 5], uint8_t(7 + 0xA005));
}

TEST_F(BatteryRam, ShortFileSetsRamUsedFromItsLength) {
    std::vector<uint8_t> data(8192 + 100);
    for (size_t i = 0; i < data.size(); i++) data[i] = uint8_t(i * 7);
    dir.write("game.sav", data);
    auto c = cart(32768);
    c->loadsram();
    EXPECT_EQ(c->ramused, 1);
    EXPECT_EQ(std::memcmp(c->sram, data.data(), data.size()), 0);
    c->savesram();
    auto back = dir.read("game.sav");
    ASSERT_EQ(back.size(), 2u * 8192);  // whole banks written back
    EXPECT_TRUE(std::equal(data.begin(), data.end(), back.begin()));
}

TEST_F(BatteryRam, LongFileIsCutToTheRamSize) {
    dir.write("game.sav", std::vector<uint8_t>(100000, 0x5C));
    auto c = cart(8192);
    c->loadsram();
    EXPECT_EQ(c->ramused, 0);
    c->romwrite(0x0000, 0x0A);
    EXPECT_EQ(bus.read(0xBFFF), 0x5C);
}

TEST_F(BatteryRam, NoFileWithoutBatteryRamOrName) {
    cart(8192, false)->loadsram();
    auto c = cart(8192, false);
    c->loadsram();
    c->savesram();
    EXPECT_FALSE(dir.exists("game.sav"));
    auto noram = cart(0);
    noram->loadsram();
    noram->savesram();
    EXPECT_FALSE(dir.exists("game.sav"));
    auto noname = cart(8192);
    noname->setfilename("");
    noname->loadsram();
    noname->savesram();
    EXPECT_TRUE(std::filesystem::is_empty(dir.path));
}

TEST_F(BatteryRam, CartridgeNeverResetDoesNotOverwriteTheFile) {
    dir.write("game.sav", std::vector<uint8_t>(8192, 0x11));
    auto c = cart(8192);
    c->savesram();  // released before loadsram: the player's file must survive
    EXPECT_EQ(dir.read("game.sav"), std::vector<uint8_t>(8192, 0x11));
}

TEST_F(BatteryRam, SetContentClampsItsInput) {
    auto c = cart(8192);
    c->loadsram();
    std::vector<uint8_t> big(20000, 0x33);
    c->setsramcontent(big.data(), int32_t(big.size()));
    EXPECT_EQ(c->ramused, 0);
    EXPECT_EQ(c->sram[8191], 0x33);
    c->setsramcontent(big.data(), -5);
    c->setsramcontent(nullptr, 100);
    EXPECT_EQ(c->ramused, 0);
}

TEST_F(BatteryRam, Mbc2KeepsItsFiveHundredTwelveBytes) {
    auto c = std::make_unique<tcartmbc2>(makerom(64 * KiB, 0x06), 0, true, &settings);
    bus.attach(*c);
    c->setfilename(dir.file("m2"));
    c->loadsram();
    c->romwrite(0x0000, 0x0A);
    c->ramwrite(0xA010, 0x09);
    c->savesram();
    auto bytes = dir.read("m2.sav");
    ASSERT_EQ(bytes.size(), 512u);
    EXPECT_EQ(bytes[0x10], 0xF9);
}

// ---- The clock file

class ClockFile : public ::testing::Test {
protected:
    tscratch dir;
    tcartoptions settings = carttest::accuratesettings();
    tfakeclock clock;

    std::unique_ptr<tcartmbc3timer> cart(int32_t ramsize = 8192) {
        auto c = std::make_unique<tcartmbc3timer>(makerom(64 * KiB, 0x10), ramsize, true, &settings, clock);
        c->setfilename(dir.file("clock"));
        return c;
    }
    void writertc(double reference, int32_t halted = 0, size_t length = 12) {
        std::vector<uint8_t> record(12);
        std::memcpy(record.data(), &reference, 8);
        std::memcpy(record.data() + 8, &halted, 4);
        record.resize(length);
        dir.write("clock.rtc", record);
    }
    double readreference() {
        auto record = dir.read("clock.rtc");
        double t = 0;
        if (record.size() >= 8) std::memcpy(&t, record.data(), 8);
        return t;
    }
};

TEST_F(ClockFile, ReferenceIsNowMinusTheClock) {
    clock.now = 1700000000;
    clock.offset = 3600;
    auto c = cart();
    c->loadsram();
    c->rtc = {30, 15, 6, 10, 1};  // 266 days, 6:15:30
    c->savesram();
    ASSERT_EQ(dir.read("clock.rtc").size(), 12u);
    double now = 25569.0 + (1700000000.0 + 3600.0) / 86400.0;
    double value = 266 + 6 / 24.0 + 15 / 1440.0 + 30 / 86400.0;
    EXPECT_NEAR(readreference(), now - value, 1e-9);
    EXPECT_TRUE(dir.exists("clock.sav"));
}

TEST_F(ClockFile, ClockMovesOnByTheTimeBetweenSaveAndLoad) {
    auto c = cart();
    c->loadsram();
    c->rtc = {10, 20, 3, 4, 0};
    c->savesram();
    clock.now += 86400 + 3600 + 125;  // a day, an hour, two minutes and five seconds later
    auto later = cart();
    later->loadsram();
    EXPECT_EQ(later->rtc, (std::array<uint16_t, 5>{15, 22, 4, 5, 0}));
    EXPECT_EQ(later->rtclatched, later->rtc);
}

TEST_F(ClockFile, HaltedClockStillMovesOnWhileClosed) {
    auto c = cart();
    c->loadsram();
    c->rtc = {0, 0, 0, 7, 0x40};
    for (int i = 0; i < 10; i++) c->secondtick();
    EXPECT_EQ(c->rtc[0], 0);
    c->savesram();
    clock.now += 86400;
    auto later = cart();
    later->loadsram();
    EXPECT_EQ(later->rtc[3], 8);
    EXPECT_EQ(later->rtc[4], 0x40);
}

TEST_F(ClockFile, DayCounterHighBitsFollowTheElapsedDays) {
    struct tcase {
        double days;
        uint16_t daylow, dayhigh;
    };
    for (const tcase& c : {tcase{255.5, 255, 0}, tcase{256, 0, 1}, tcase{600, 88, 0x80}, tcase{800, 32, 0x81}}) {
        double now = localdays(clock);
        writertc(now - c.days);
        auto cart_ = cart();
        cart_->loadsram();
        EXPECT_EQ(cart_->rtc[3], c.daylow) << c.days;
        EXPECT_EQ(cart_->rtc[4], c.dayhigh) << c.days;
    }
}

TEST_F(ClockFile, OddFilesAreHandled) {
    // A zero reference resets the clock.
    auto c = cart();
    c->rtc = {1, 2, 3, 4, 5};
    writertc(0);
    c->loadsram();
    EXPECT_EQ(c->rtc, (std::array<uint16_t, 5>{}));
    // A reference in the future counts as no time passed.
    writertc(localdays(clock) + 3.0, 1);
    c->loadsram();
    EXPECT_EQ(c->rtc, (std::array<uint16_t, 5>{0, 0, 0, 0, 0x40}));
    // Too short or not a number: the clock is left as it is.
    c->rtc = {9, 9, 9, 9, 0};
    writertc(localdays(clock) - 1, 0, 5);
    c->loadsram();
    EXPECT_EQ(c->rtc[0], 9);
    writertc(std::nan(""));
    c->loadsram();
    EXPECT_EQ(c->rtc[0], 9);
    // Huge values stay in range.
    writertc(1e-300);
    c->loadsram();
    EXPECT_LT(c->rtc[0], 60);
    EXPECT_EQ(c->rtc[4], 0x81);
    // Without the halt word the halt bit stays clear.
    writertc(localdays(clock) - 2, 0, 8);
    c->loadsram();
    EXPECT_EQ(c->rtc[3], 2);
    EXPECT_EQ(c->rtc[4], 0);
}

TEST_F(ClockFile, ClockWithoutRamStillKeepsItsFile) {
    auto c = std::make_unique<tcartmbc3timer>(makerom(64 * KiB, 0x0F), 0, true, &settings, clock);
    c->setfilename(dir.file("clock"));
    c->loadsram();
    c->savesram();
    EXPECT_TRUE(dir.exists("clock.rtc"));
    EXPECT_FALSE(dir.exists("clock.sav"));
    auto plain = std::make_unique<tcartmbc3>(makerom(64 * KiB, 0x13), 8192, true, &settings, clock);
    plain->setfilename(dir.file("plain"));
    plain->loadsram();
    plain->savesram();
    EXPECT_FALSE(dir.exists("plain.rtc"));
}

}  // namespace
}  // namespace tov
