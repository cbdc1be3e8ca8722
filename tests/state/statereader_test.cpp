// The reader's rules: exact names, typed sizes with their messages, conditions at load
// time, later chunks winning, the cartridge's bank and RAM operations, and damaged values.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cart/mbcbase.h"
#include "state/machinestate.h"
#include "statetest.h"

namespace tov {
namespace {

using statetest::trig;

bool apply(tgb& gb, const char* name, const std::vector<uint8_t>& data) {
    return applystatechunk(gb, name, data.data(), int32_t(data.size()));
}

std::string errorof(tgb& gb, const char* name, const std::vector<uint8_t>& data) {
    try {
        apply(gb, name, data);
    } catch (const tstateerror& e) {
        return e.what();
    }
    return "(taken)";
}

std::vector<std::string> names(const std::vector<tsavedchunk>& chunks) {
    std::vector<std::string> n;
    for (const auto& c : chunks) n.push_back(c.name);
    return n;
}

const tsavedchunk* find(const std::vector<tsavedchunk>& chunks, const std::string& name) {
    for (const auto& c : chunks)
        if (c.name == name) return &c;
    return nullptr;
}

struct tdmg : ::testing::Test {
    trig m{0};
    void SetUp() override { ASSERT_TRUE(m.load(statetest::busyrom(statetest::cartmbc3, false, false))); }
    tgb& gb() { return *m.gb; }
};

TEST_F(tdmg, WrongSizesGiveTheTypedReadersMessages) {
    struct tcase {
        const char* name;
        size_t size;
        const char* message;
    };
    const tcase cases[] = {
        {"AF", 3, "excepted data type word, wrong size"},
        {"IME", 0, "excepted data type boolean, wrong size"},
        {"sramenable", 4, "excepted data type boolean, wrong size"},
        {"SB", 2, "excepted data type byte, wrong size"},
        {"divider", 2, "excepted data type longint, wrong size"},
        {"ROMB", 1, "excepted data type longint, wrong size"},
        {"OAM", 159, "excepted data size 160, wrong size"},
        {"s_st1", 28, "excepted data size 29, wrong size"},
        {"mbc3t", 11, "excepted data size 10, wrong size"},
        {"WRAM", 32768, "excepted data size 8192, wrong size"},  // DMG mode: one bank pair
    };
    for (const tcase& c : cases)
        EXPECT_EQ(errorof(gb(), c.name, std::vector<uint8_t>(c.size, 0)), c.message) << c.name;
}

TEST_F(tdmg, UnknownAndEmptyNamesAreSkipped) {
    auto before = statetest::snapshot(gb());
    for (const char* n : {"", "TOV1.0", "nosuchchunk", "af", "SCX "})
        EXPECT_FALSE(apply(gb(), n, {1, 2, 3})) << n;
    EXPECT_EQ(statetest::snapshot(gb()), before);
}

TEST_F(tdmg, ALaterChunkOfTheSameNameWins) {
    EXPECT_TRUE(apply(gb(), "SCX", {0x12}));
    EXPECT_TRUE(apply(gb(), "SCX", {0x34}));
    EXPECT_EQ(gb().ioread(0xFF43), 0x34);
    EXPECT_EQ(gb().lcdregs.scx, 0x34);
}

TEST_F(tdmg, GbcChunksAreTakenOnlyInGbcModeWithTheirSizes) {
    for (const char* n : {"KEY1", "VBK", "SVBK", "HDMA1", "HDMA5", "IR", "BCPS"})
        EXPECT_FALSE(apply(gb(), n, {0x81})) << n;
    EXPECT_FALSE(apply(gb(), "CPAL", std::vector<uint8_t>(128)));
    EXPECT_TRUE(apply(gb(), "WRAM", std::vector<uint8_t>(8192, 0x5A)));
    EXPECT_EQ(gb().readbyte(0xD000), 0x5A);
    // "gbcmode" comes first in a state and decides for the chunks after it.
    EXPECT_TRUE(apply(gb(), "gbcmode", {1}));
    EXPECT_TRUE(gb().gbchardware) << "GBC mode implies GBC hardware";
    EXPECT_TRUE(apply(gb(), "KEY1", {0x81}));
    EXPECT_EQ(gb().speed, 1);
    EXPECT_EQ(gb().key1prepare, 1);
    EXPECT_TRUE(apply(gb(), "HDMA1", {0xC1}));
    EXPECT_TRUE(apply(gb(), "HDMA2", {0x20}));
    EXPECT_EQ(gb().hdmasource, 0xC120);
    EXPECT_TRUE(apply(gb(), "SVBK", {0x03}));
    EXPECT_EQ(gb().wrambank, gb().wram + 3 * 4096);
    EXPECT_EQ(errorof(gb(), "WRAM", std::vector<uint8_t>(8192)), "excepted data size 32768, wrong size");
    EXPECT_TRUE(apply(gb(), "VRAM", std::vector<uint8_t>(16384)));
}

TEST_F(tdmg, SgbChunksBelongToSgbModeAndTheTransferBufferIsWrittenOnlyWhileCapturing) {
    std::vector<uint8_t> pal(256, 0x11);
    EXPECT_FALSE(apply(gb(), "sgb_pal", pal)) << "not in SGB mode";
    EXPECT_EQ(find(savemachinestate(gb()), "sgb_pal"), nullptr);
    EXPECT_TRUE(apply(gb(), "sgbmode", {1}));
    EXPECT_TRUE(apply(gb(), "sgb_pal", pal));
    EXPECT_EQ(gb().sgbunit().pal[5], 0x1111);
    gb().sgbunit().trnstatus = 0;
    EXPECT_EQ(find(savemachinestate(gb()), "sgb_vram_data"), nullptr);
    EXPECT_TRUE(apply(gb(), "sgb_vram_data", std::vector<uint8_t>(4096, 7))) << "taken always";
    EXPECT_EQ(gb().sgbunit().vramdata[100], 7);
    gb().sgbunit().trnstatus = 2;
    ASSERT_NE(find(savemachinestate(gb()), "sgb_vram_data"), nullptr);
    EXPECT_EQ(find(savemachinestate(gb()), "sgb_vram_data")->data.size(), 4096u);
}

TEST_F(tdmg, BootImageIsTakenInDmgModeAndMapped) {
    std::vector<uint8_t> image(256);
    for (int i = 0; i < 256; i++) image[size_t(i)] = uint8_t(i ^ 0xA5);
    EXPECT_TRUE(apply(gb(), "bootrom", image));
    gb().afterstateload();
    EXPECT_TRUE(gb().bootrommapped);
    EXPECT_EQ(gb().readbyte(0x0010), 0x10 ^ 0xA5) << "the image covers the cartridge after the re-mapping";
    ASSERT_NE(find(savemachinestate(gb()), "bootrom"), nullptr);
    EXPECT_TRUE(apply(gb(), "gbcmode", {1}));
    EXPECT_FALSE(apply(gb(), "bootrom", image));
}

TEST_F(tdmg, RamTrackingMapsFollowTheOption) {
    std::vector<uint8_t> map(4096, 0xFF), hmap(127, 1);
    gb().beginstateload();
    EXPECT_FALSE(apply(gb(), "wraminited", map)) << "DebugWRAMbreak is off";
    EXPECT_FALSE(apply(gb(), "hraminited", hmap));
    EXPECT_FALSE(gb().trackwraminit);
    m.settings.DebugWRAMbreak = true;
    m.session->applysettings();
    gb().beginstateload();
    EXPECT_FALSE(apply(gb(), "hraminited", hmap)) << "only once tracking is on";
    EXPECT_TRUE(apply(gb(), "wraminited", map));
    EXPECT_TRUE(gb().trackwraminit);
    EXPECT_TRUE(apply(gb(), "hraminited", hmap));
    EXPECT_EQ(gb().hraminited[126], 1);
}

TEST_F(tdmg, TypedValuesAreLittleEndianAndFlagsComeFromF) {
    gb().cpu.A = 0x12;
    gb().cpu.flagZ = 1;
    gb().cpu.flagN = 0;
    gb().cpu.flagH = 0;
    gb().cpu.flagC = 1;
    auto chunks = savemachinestate(gb());
    EXPECT_EQ(find(chunks, "AF")->data, (std::vector<uint8_t>{0x90, 0x12}));
    EXPECT_TRUE(apply(gb(), "AF", {0x60, 0x34}));
    EXPECT_EQ(gb().cpu.A, 0x34);
    EXPECT_EQ(gb().cpu.flagZ, 0);
    EXPECT_EQ(gb().cpu.flagN, 1);
    EXPECT_EQ(gb().cpu.flagH, 1);
    EXPECT_EQ(gb().cpu.flagC, 0);
    EXPECT_TRUE(apply(gb(), "IME", {0x40})) << "any non-zero byte is true";
    EXPECT_EQ(gb().cpu.ime, 1);
    EXPECT_TRUE(apply(gb(), "vidtime", {0x34, 0x12, 0x00, 0x00}));
    EXPECT_EQ(gb().lcdcountdown, 0x1234);
}

TEST_F(tdmg, ChunksAreWrittenInFileOrder) {
    const std::vector<std::string> expected = {
        "gbcmode", "gbchw", "sgbmode", "AF", "BC", "DE", "HL", "PC", "SP", "IME", "IMA", "HALT",
        "RJOY", "SB", "SC", "DIV", "TIMA", "TMA", "TAC", "IF", "IE", "LCDC", "STAT", "SCY", "SCX",
        "LY", "LYC", "WINY", "WINX", "DMA", "divider", "vidtime", "ilines", "vidstatus",
        "aftervblankint", "delayedlcdint", "vidinacc", "cpuquirk", "OAM", "HRAM", "BGP", "OBP",
        "WRAM", "VRAM", "linerest", "vblanklateness", "hdmadeferred", "eventstep",
        "eventcountdown", "stepfinal", "lasteventcounter", "s_st1", "s_ch1", "ch3regs", "ch3wave",
        "s_rng", "s_st2", "mbc3l", "mbc3t", "mbc3tl", "ROMB", "SRMB", "sramenable", "SRAM", "mbc1mode"};
    auto chunks = savemachinestate(gb());
    EXPECT_EQ(names(chunks), expected);
    tstatesizer sizer;
    machinestatefields(gb(), sizer);
    int64_t file = 0, data = 0;
    for (const auto& c : chunks) {
        file += int64_t(c.name.size()) + 5 + int64_t(c.data.size());
        data += int64_t(c.data.size());
    }
    EXPECT_EQ(sizer.count, int32_t(chunks.size()));
    EXPECT_EQ(sizer.databytes, data);
    EXPECT_EQ(sizer.filebytes, file);
}

TEST_F(tdmg, AFailedChunkLeavesTheEarlierOnesAppliedAndTheMachineFinished) {
    std::vector<tsavedchunk> chunks = {{"SB", {0x12}}, {"AF", {1, 2, 3}}, {"SC", {0x81}}};
    const uint8_t sc = gb().sc;
    gb().cpu.exitflag = 0;
    try {
        loadmachinestate(gb(), chunks);
        ADD_FAILURE() << "no error";
    } catch (const tstateerror& e) {
        EXPECT_STREQ(e.what(), "excepted data type word, wrong size");
    }
    EXPECT_EQ(gb().sb, 0x12);
    EXPECT_EQ(gb().sc, sc);
    EXPECT_EQ(gb().cpu.exitflag, 1) << "the finishing steps ran";
}

TEST_F(tdmg, SoundBlocksAreBroughtIntoRange) {
    EXPECT_TRUE(apply(gb(), "s_st1", std::vector<uint8_t>(29, 0xFF)));
    EXPECT_EQ(gb().soundunit().pending, 0) << "negative accumulated time becomes 0";
    EXPECT_EQ(gb().soundunit().sweepcountdown, 0);
    EXPECT_TRUE(apply(gb(), "s_ch1", std::vector<uint8_t>(88, 0x7F)));
    for (const auto& c : gb().soundunit().channels) {
        EXPECT_LE(c.frequency, 2047);
        EXPECT_LE(c.length, 256);
        EXPECT_LE(c.on, 1);
    }
}

TEST_F(tdmg, DamagedTimingValuesCannotHangOrOverrun) {
    const std::vector<uint8_t> most_negative = {0x00, 0x00, 0x00, 0x80};
    std::vector<tsavedchunk> chunks = {{"LY", {200}},
                                       {"vidtime", most_negative},
                                       {"eventstep", {0x01, 0x00, 0x00, 0x00}},
                                       {"eventcountdown", most_negative},
                                       {"vidstatus", {9, 9, 9, 9}}};
    loadmachinestate(gb(), chunks);
    EXPECT_LE(gb().ly, 153);
    for (int i = 0; i < 3; i++) gb().runframe();  // returns: the loops are bounded
    EXPECT_LE(gb().ly, 153);
    // A step the scheduler never uses falls back to aligning the counter.
    loadmachinestate(gb(), {{"eventstep", {0xFF, 0xFF, 0xFF, 0x7F}}});
    EXPECT_LE(gb().eventstep, 0x800);
    gb().runframe();
}

TEST(StateModes, ADmgStateLoadedIntoAGbcMachineLeavesTheGbcBanksAndSpeed) {
    trig dmg(0), gbc(1);
    ASSERT_TRUE(dmg.load(statetest::busyrom(statetest::cartmbc5, true, false)));
    ASSERT_TRUE(gbc.load(statetest::busyrom(statetest::cartmbc5, true, false)));
    for (int i = 0; i < 20; i++) gbc.frame();  // double speed, banks switched
    ASSERT_EQ(gbc.gb->speed, 1);
    ASSERT_FALSE(dmg.gb->gbcmode);
    for (int i = 0; i < 5; i++) dmg.frame();
    loadmachinestate(*gbc.gb, savemachinestate(*dmg.gb));
    EXPECT_FALSE(gbc.gb->gbcmode);
    EXPECT_EQ(gbc.gb->speed, 0);
    EXPECT_EQ(gbc.gb->vrambank, gbc.gb->vram);
    EXPECT_EQ(gbc.gb->wrambank, gbc.gb->wram + 4096);
    EXPECT_FALSE(gbc.renderer.gbcmode);
    // From here on it runs as the DMG machine does.
    for (int i = 0; i < 10; i++) {
        dmg.frame();
        gbc.frame();
        auto a = statetest::snapshot(*dmg.gb), b = statetest::snapshot(*gbc.gb);
        ASSERT_EQ(a.size(), b.size());
        for (size_t j = 0; j < a.size(); j++) ASSERT_EQ(a[j], b[j]) << "frame " << i << " byte " << j;
    }
}

// ---- Cartridge chunks ----

struct tcartcase {
    const char* name;
    uint8_t carttype;
    std::vector<std::string> chunks;
};

class CartChunks : public ::testing::TestWithParam<tcartcase> {};

TEST_P(CartChunks, EveryClassListsItsChunks) {
    trig m(0);
    auto rom = statetest::busyrom(GetParam().carttype, false, false);
    rom[0x149] = 0;  // no cartridge RAM
    uint8_t sum = 0;
    for (int i = 0x134; i <= 0x14C; i++) sum = uint8_t(sum - rom[size_t(i)] - 1);
    rom[0x14D] = sum;
    ASSERT_TRUE(m.load(rom));
    tstatewriter w;
    m.gb->cartridge().statefields(w);
    EXPECT_EQ(names(w.chunks), GetParam().chunks);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, CartChunks,
    ::testing::Values(tcartcase{"Plain", 0x00, {"ROMB", "mbc1mode"}},
                      tcartcase{"Mbc1", 0x01, {"ROMB", "mbc1mode"}},
                      tcartcase{"Mbc2", 0x05, {"ROMB", "SRMB", "sramenable", "SRAM", "mbc1mode"}},
                      tcartcase{"Mbc3", 0x11, {"mbc3l", "mbc3t", "mbc3tl", "ROMB", "mbc1mode"}},
                      tcartcase{"Mbc3Clock", 0x0F, {"mbc3l", "mbc3t", "mbc3tl", "ROMB", "mbc1mode"}},
                      tcartcase{"Mbc5", 0x19, {"ROMB", "mbc1mode"}},
                      tcartcase{"HuC1", 0xFF, {"ROMB", "mbc1mode"}},
                      tcartcase{"HuC3", 0xFE, {"mbc3l", "mbc3t", "mbc3tl", "ROMB", "mbc1mode"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CartChunks, EmptySlotHasNone) {
    tcart empty;
    tstatewriter w;
    empty.statefields(w);
    EXPECT_TRUE(w.chunks.empty());
}

// A 32 KiB RAM cartridge of the given type, reset.
struct tramcart : trig {
    tcartmbcbase* cart = nullptr;
    explicit tramcart(uint8_t type) : trig(0) {
        EXPECT_TRUE(load(statetest::busyrom(type, false, false)));
        cart = dynamic_cast<tcartmbcbase*>(&gb->cartridge());
    }
};

TEST(CartChunks, SramOfAnySizeFillsFromTheStart) {
    for (int32_t n : {0, 100, 8192, 8193, 32768, 40000}) {
        SCOPED_TRACE("SRAM of " + std::to_string(n) + " bytes");
        tramcart c(statetest::cartmbc5);
        ASSERT_NE(c.cart, nullptr);
        ASSERT_EQ(c.cart->ramsize, 32768);
        std::vector<uint8_t> data(static_cast<size_t>(n), 0);
        for (int32_t i = 0; i < n; i++) data[size_t(i)] = uint8_t(i * 31 + 7);
        EXPECT_TRUE(apply(*c.gb, "SRAM", data));
        const int32_t kept = std::min(n, 32768);
        if (kept > 0) EXPECT_EQ(std::memcmp(c.cart->sram, data.data(), size_t(kept)), 0);
        EXPECT_EQ(c.cart->ramused, kept > 0 ? (kept - 1) / 8192 : 0);
    }
}

TEST(CartChunks, BankChunksGoThroughTheBankOperations) {
    struct tcase {
        uint8_t type;
        int32_t romb, srmb;
        int32_t rombank, rambank;
    };
    const tcase cases[] = {
        {statetest::cartmbc1, 0, 1, 0, 0},     // MBC1: four banks, so a low register of 4 maps bank 0; 8 KiB RAM has one bank
        {statetest::cartmbc1, 0x21, 1, 1, 0},  // the upper bits lie beyond four banks
        {statetest::cartmbc1, 0x7F, 3, 3, 0},  // four ROM banks: the mask applies
        {statetest::cartmbc5, 0, 7, 0, 3},     // a saved bank 0 is selectable on MBC5
        {statetest::cartmbc3, 2, 2, 2, 2},
    };
    for (const tcase& t : cases) {
        SCOPED_TRACE("type " + std::to_string(t.type) + " ROMB " + std::to_string(t.romb));
        tramcart c(t.type);
        ASSERT_NE(c.cart, nullptr);
        auto le = [](int32_t v) {
            return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        };
        EXPECT_TRUE(apply(*c.gb, "ROMB", le(t.romb)));
        EXPECT_TRUE(apply(*c.gb, "SRMB", le(t.srmb)));
        c.gb->afterstateload();
        EXPECT_EQ(c.cart->rombank, t.rombank);
        EXPECT_EQ(c.cart->rambank, t.rambank);
        EXPECT_EQ(c.gb->readbyte(0x4001), t.rombank ? uint8_t(t.rombank * 0x35 + 7) : c.gb->readbyte(0x0001));
    }
}

}  // namespace
}  // namespace tov
