// Reset: model selection by SystemMode and header, boot-program register values, memory
// contents, LCD phase and the monochrome boot image.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "core/gbtestutil.h"

namespace tov {
namespace {

using testing::tmachine;
using testing::tromimage;
using testing::tsampler;

struct tmodel {
    bool gbc, sgb, hw;
};

tmodel modelof(const tromimage& rom, int systemmode) {
    tmachine m(rom, systemmode);
    return {m->gbcmode, m->sgbmode, m->gbchardware};
}

TEST(GbReset, SystemModeChoosesTheModel) {
    tromimage both = tromimage().colour(0x80).sgbcapable();
    tromimage mono = tromimage();
    tromimage sgbonly = tromimage().sgbcapable();
    tromimage colouronly = tromimage().colour(0xC0);
    struct tcase {
        const tromimage* rom;
        int mode;
        tmodel want;
    } cases[] = {
        {&both, 0, {false, false, false}},      {&both, 1, {true, false, true}},
        {&both, 2, {false, true, false}},       {&both, 3, {true, false, true}},
        {&both, 4, {false, true, false}},       {&both, 5, {true, true, true}},
        {&mono, 1, {false, false, true}},       {&mono, 3, {false, false, false}},
        {&sgbonly, 3, {false, true, false}},    {&sgbonly, 5, {false, true, false}},
        {&colouronly, 6, {true, false, true}},  {&sgbonly, 6, {false, true, false}},
        {&both, 9, {false, false, false}},      {&both, -1, {false, false, false}},
    };
    for (const auto& c : cases) {
        tmodel got = modelof(*c.rom, c.mode);
        EXPECT_EQ(got.gbc, c.want.gbc) << "mode " << c.mode << " colour " << int(c.rom->bytes[0x143]);
        EXPECT_EQ(got.sgb, c.want.sgb) << "mode " << c.mode << " colour " << int(c.rom->bytes[0x143]);
        EXPECT_EQ(got.hw, c.want.hw) << "mode " << c.mode << " colour " << int(c.rom->bytes[0x143]);
    }
}

TEST(GbReset, SgbNeedsTheLicenseeCode) {
    tromimage rom;
    rom.bytes[0x146] = 0x03;
    rom.bytes[0x14B] = 0x01;
    tmodel got = modelof(rom, 2);
    EXPECT_FALSE(got.sgb);
    EXPECT_FALSE(got.gbc);
}

TEST(GbReset, RegistersAsTheBootProgramLeavesThem) {
    {
        tmachine m(tromimage().colour(0x80), 1);
        EXPECT_EQ(m->cpu.A, 0x11);
        EXPECT_EQ(m->cpu.DE, 0xFF56);
        EXPECT_EQ(m->cpu.HL, 0x000D);
        EXPECT_EQ(m->cpu.B, 0x00);
        EXPECT_EQ(m->cpu.flagZ, 1);
    }
    {
        tmachine m(tromimage(), 1);  // monochrome cartridge on GBC hardware
        EXPECT_EQ(m->cpu.A, 0x11);
        EXPECT_EQ(m->cpu.DE, 0x0008);
        EXPECT_EQ(m->cpu.HL, 0x007C);
        EXPECT_EQ(m->readbyte(0xFF4F), 0xFE);
        EXPECT_EQ(m->readbyte(0xFF70), 0xFF);
    }
    {
        tmachine m(tromimage(), 0);
        EXPECT_EQ(m->cpu.AF & 0xFFF0, 0x01B0);
        EXPECT_EQ(m->cpu.BC, 0x0013);
        EXPECT_EQ(m->cpu.DE, 0x00D8);
        EXPECT_EQ(m->cpu.HL, 0x014D);
        EXPECT_EQ(m->cpu.SP, 0xFFFE);
        EXPECT_EQ(m->cpu.PC, 0x0100);
        EXPECT_EQ(m->cpu.flagC, 1);
        EXPECT_EQ(m->cpu.flagH, 1);
    }
    {
        tmachine m;
        m.settings.DetectGBP = true;
        m.reset();
        EXPECT_EQ(m->cpu.A, 0xFF);
    }
    {
        tmachine m(tromimage().colour(0x80), 1);
        m.settings.DetectGBA = true;
        m.reset();
        EXPECT_EQ(m->cpu.B, 0x01);
    }
}

TEST(GbReset, LcdPhaseDependsOnTheModel) {
    {
        tmachine m(tromimage().colour(0x80), 1);
        EXPECT_EQ(m->ly, 144);
        EXPECT_EQ(m->readbyte(0xFF41) & 3, 1);
        EXPECT_EQ(m->readbyte(0xFF0F) & 1, 1);
        EXPECT_EQ(m->readbyte(0xFF46), 0x00);
        EXPECT_EQ(m->readbyte(0xFF68), 0xC0);
        EXPECT_EQ(m->readbyte(0xFF6A), 0xC1);
        EXPECT_EQ(m->readbyte(0xFF55), 0xFF);
        EXPECT_EQ(m->readbyte(0xFF48), 0x00);
    }
    {
        tmachine m;
        EXPECT_EQ(m->ly, 0);
        EXPECT_EQ(m->readbyte(0xFF40), 0x91);
        EXPECT_EQ(m->readbyte(0xFF47), 0xFC);
        EXPECT_EQ(m->readbyte(0xFF48), 0xFF);
        EXPECT_EQ(m->readbyte(0xFF46), 0xFF);
        EXPECT_EQ(m->lcdcountdown + m->linerest, 24);  // units left in line 0
        uint32_t start = m->currenttime();
        tsampler s(*m);
        m->runframe();
        uint32_t line1 = 0;
        for (const auto& x : s.samples)
            if (x.ly == 1) {
                line1 = x.time;
                break;
            }
        EXPECT_NEAR(int(line1 - start), 24, 4);
    }
}

TEST(GbReset, InterruptStateDoesNotCarryOverFromTheLastRun) {
    // A program that left STAT sources enabled must not find a STAT request after reset.
    for (int mode : {0, 1}) {
        tmachine m(tromimage().colour(0x80), mode);
        m->writebyte(0xFF41, 0x78);
        m->writebyte(0xFF45, 0x00);
        m->runframe();
        m.reset();
        EXPECT_EQ(m->readbyte(0xFF0F), 0xE1) << "mode " << mode;
        EXPECT_EQ(m->readbyte(0xFFFF), 0x00) << "mode " << mode;
    }
}

TEST(GbReset, ColourHandOverRaisesOnlyTheVBlankLine) {
    // The boot program hands over in line 144 with the VBlank line high and IF bit 0 set;
    // this frame's VBlank-raised flag stays clear, so the STAT VBlank source is not active.
    tmachine m(tromimage().colour(0x80), 1);
    EXPECT_EQ(m->ilines & 1, 1);
    EXPECT_FALSE(m->vblankraised);
    m->writebyte(0xFF41, 0x10);
    EXPECT_EQ(m->readbyte(0xFF0F) & 2, 0);
}

TEST(GbReset, WorkRamFillOptions) {
    tmachine m;
    m.settings.UninitedWRAM = 1;
    m.settings.WRAMinitvalue = "A5";
    m.reset();
    for (int i = 0; i < tgb::wramsize; i++) ASSERT_EQ(m->wram[i], 0xA5) << i;
    for (int i = 0; i < 127; i++) ASSERT_EQ(m->hram[i], 0xA5) << i;
    m.settings.WRAMinitvalue = "zz";
    m.reset();
    EXPECT_EQ(m->wram[100], 0x00);

    // GBC power-on pattern: stripes of 8 bytes, a few bits flipped.
    tmachine c(tromimage().colour(0x80), 1);
    c.settings.UninitedWRAM = 0;
    c.reset();
    int match = 0;
    for (int i = 0; i < 0x800; i++) match += c->wram[i] == ((i & 8) ? 0x00 : 0xFF);
    for (int i = 0x800; i < 0x1000; i++) match += c->wram[i] == ((i & 8) ? 0xFF : 0x00);
    EXPECT_GT(match, 3000);
    EXPECT_LT(match, 4096);  // some bits are flipped
}

TEST(GbReset, PowerOnRandomnessComesFromTheHostClock) {
    // Random work RAM (option 2), the colour pattern with random flips (option 0), random
    // high RAM and the flipped object palette bits: all follow the clock reading alone.
    for (int uninited : {0, 2}) {
        tfakeclock clock;
        clock.mono = 12.5;
        tmachine a(tromimage().colour(0x80), 1), b(tromimage().colour(0x80), 1);
        auto same = [&] {
            return std::memcmp(a->wram, b->wram, tgb::wramsize) == 0 &&
                   std::memcmp(a->hram, b->hram, sizeof a->hram) == 0 &&
                   std::memcmp(a->gbcpal, b->gbcpal, sizeof a->gbcpal) == 0;
        };
        for (tmachine* m : {&a, &b}) {
            m->settings.UninitedWRAM = uninited;
            (*m)->hostclock = &clock;
            (*m)->resetmachine();
        }
        EXPECT_TRUE(same()) << "UninitedWRAM " << uninited;
        clock.mono = 12.75;
        b->resetmachine();
        EXPECT_FALSE(same()) << "UninitedWRAM " << uninited;
        a->resetmachine();  // a second reset does not carry state over from the first
        EXPECT_TRUE(same()) << "UninitedWRAM " << uninited;
    }
}

TEST(GbReset, LogoAndMarkInVideoRam) {
    tromimage rom;
    rom.bytes[0x104] = 0xCE;  // nibbles 0xC then 0xE
    {
        tmachine m(rom);
        EXPECT_EQ(m->vram[0x1904], 1);
        EXPECT_EQ(m->vram[0x190F], 12);
        EXPECT_EQ(m->vram[0x1924], 13);
        EXPECT_EQ(m->vram[0x1910], 25);
        EXPECT_EQ(m->vram[0x190], 0x3C);
        EXPECT_EQ(m->vram[0x192], 0x42);
        EXPECT_EQ(m->vram[16], 0xF0);  // 0xC: bits 2 and 3 doubled
        EXPECT_EQ(m->vram[18], 0xF0);
        EXPECT_EQ(m->vram[20], 0xFC);  // 0xE
    }
    {
        tmachine m(rom.colour(0x80), 1);
        EXPECT_EQ(m->vram[0x1904], 0);  // no map on colour hardware
        EXPECT_EQ(m->vram[16], 0xF0);
    }
}

TEST(GbReset, GreyPaletteOption) {
    tmachine m(tromimage().colour(0x80), 1);
    m.settings.GBCpalPD = true;
    m.reset();
    EXPECT_EQ(m->gbcpal[0], 0x7FFF);
    EXPECT_EQ(m->gbcpal[1], 0x5294);
    EXPECT_EQ(m->gbcpal[2], 0x294A);
    EXPECT_EQ(m->gbcpal[3], 0x0000);
    EXPECT_EQ(m->gbcpal[32 + 5], 0x5294);
}

class GbBootImage : public ::testing::Test {
protected:
    std::filesystem::path folder;
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("tov-boot-" + std::to_string(::getpid()) + "-" +
                  std::to_string(reinterpret_cast<uintptr_t>(this)));
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    void writefile(const std::string& name, size_t size) {
        std::ofstream f(folder / name, std::ios::binary);
        for (size_t i = 0; i < size; i++) f.put(char(0xA0 ^ i));
    }
};

TEST_F(GbBootImage, MapsUntilFF50) {
    writefile("boot.bin", 256);
    tmachine m;
    m.settings.DmgBootRom = (folder / "boot.bin").string();
    m.reset();
    EXPECT_EQ(m->cpu.PC, 0x0000);
    EXPECT_EQ(m->readbyte(0xFF40) & 0x80, 0);
    EXPECT_EQ(m->readbyte(0x0000), 0xA0);
    EXPECT_EQ(m->readbyte(0x00FF), 0xA0 ^ 0xFF);
    EXPECT_EQ(m->readbyte(0x0150), 0x18);  // the cartridge beyond 0xFF
    // Resetting again keeps it working (page 0 is not saved twice).
    m.reset();
    EXPECT_EQ(m->readbyte(0x0150), 0x18);
    EXPECT_EQ(m->readbyte(0x0001), 0xA1);
    m->writebyte(0xFF50, 0x01);
    EXPECT_EQ(m->readbyte(0x0001), 0x00);  // the cartridge again
    m->writebyte(0xFF50, 0x01);
    EXPECT_EQ(m->readbyte(0x0001), 0x00);
}

TEST_F(GbBootImage, RelativeNameUsesTheProgramFolder) {
    writefile("boot.bin", 300);
    tmachine m(tromimage(), 0, folder.string());
    m.settings.DmgBootRom = "boot.bin";
    m.reset();
    EXPECT_EQ(m->cpu.PC, 0x0000);
    EXPECT_EQ(m->readbyte(0x0010), 0xB0);
}

TEST_F(GbBootImage, IgnoredWhenShortOrInColourMode) {
    writefile("short.bin", 255);
    writefile("boot.bin", 256);
    tmachine m;
    m.settings.DmgBootRom = (folder / "short.bin").string();
    m.reset();
    EXPECT_EQ(m->cpu.PC, 0x0100);
    EXPECT_EQ(m->readbyte(0x0001), 0x00);
    m.settings.DmgBootRom = (folder / "missing.bin").string();
    m.reset();
    EXPECT_EQ(m->cpu.PC, 0x0100);

    tmachine c(tromimage().colour(0x80), 1);
    c.settings.DmgBootRom = (folder / "boot.bin").string();
    c.reset();
    EXPECT_EQ(c->cpu.PC, 0x0100);
    EXPECT_FALSE(c->bootrommapped);
}

TEST(GbReset, Mode6RunsTwoPhases) {
    tmachine m(tromimage().colour(0x80).sgbcapable(), 6);
    tsgb& sgb = m->sgbunit();
    EXPECT_TRUE(m->sgbmode);
    EXPECT_FALSE(m->gbcmode);
    ASSERT_NE(sgb.onrestart, nullptr);
    EXPECT_FALSE(sgb.keepborder);
    // The SGB unit fires the restart once the border is shown; the machine restarts
    // before its next slice.
    sgb.joypadcurrent = 2;
    sgb.onrestart(sgb.onrestartcontext);
    EXPECT_FALSE(m->gbcmode);
    m->cpu.PC = 0x1234;
    m->runframe();
    EXPECT_TRUE(m->sgbmode);
    EXPECT_TRUE(m->gbcmode);
    EXPECT_TRUE(m->gbchardware);
    EXPECT_TRUE(sgb.keepborder);
    EXPECT_TRUE(sgb.hidden);
    EXPECT_EQ(sgb.onrestart, nullptr);
    EXPECT_EQ(sgb.currentjoypad(), 0);
    EXPECT_EQ(m->cpu.PC, 0x0150);  // restarted: in the idle loop at 0x150
    // A later reset starts over with the first phase.
    m.reset();
    EXPECT_FALSE(m->gbcmode);
    EXPECT_FALSE(sgb.keepborder);
    EXPECT_NE(sgb.onrestart, nullptr);
    // Another mode clears the pending restart.
    m.settings.SystemMode = 5;
    m.reset();
    EXPECT_EQ(sgb.onrestart, nullptr);
}

TEST(GbReset, Mode6PendingRestartFollowsAReplacedSgbUnitAndOnlyItsOwnerCancelsIt) {
    tmachine m(tromimage().colour(0x80).sgbcapable(), 6);
    ASSERT_TRUE(m->sgbunit().restartarmed());
    auto unit = std::make_unique<tsgb>(m.session->videooptions());
    tsgb* replacement = unit.get();
    m->setsgb(std::move(unit));
    ASSERT_EQ(&m->sgbunit(), replacement);
    ASSERT_TRUE(replacement->restartarmed());
    replacement->cancelrestart(replacement);  // not the context it was armed with
    EXPECT_TRUE(replacement->restartarmed());
    replacement->onrestart(replacement->onrestartcontext);
    m->runframe();
    EXPECT_TRUE(m->gbcmode) << "the second phase ran through the new unit's event";
    EXPECT_TRUE(replacement->hidden);
}

TEST(GbReset, Mode6RestartFromInsideAWriteStartsTheProgramAgain) {
    // The SGB unit fires the restart while the program writes; here an OAM write stands
    // in for the P1 write that carries the packet.
    struct trestartdraw : tgbdrawnull {
        tsgb* sgb = nullptr;
        int writes = 0;
        void oamwrite(int) override {
            writes++;
            if (sgb->onrestart) sgb->onrestart(sgb->onrestartcontext);
        }
    } draw;
    // ld a,1 ; ld (0xFE00),a ; ld b,0x55 ; jr -2
    tromimage rom = tromimage().colour(0x80).sgbcapable();
    rom.code(0x150, {0x3E, 0x01, 0xEA, 0x00, 0xFE, 0x06, 0x55, 0x18, 0xFE});
    tmachine m(rom, 6);
    draw.sgb = &m->sgbunit();
    m->attachrenderer(&draw);
    m->runframe();
    m->runframe();
    EXPECT_TRUE(m->gbcmode);
    EXPECT_EQ(m->cpu.B, 0x55);
    // Once before the restart and once more when the program ran again from 0x0100.
    EXPECT_EQ(draw.writes, 2);
    m->attachrenderer(nullptr);
}

TEST(GbReset, ResetFromADebuggerBreakKeepsTheFrameTimeSane) {
    struct tresetter : tdebugport {
        tgb& gb;
        int steps = 0;
        explicit tresetter(tgb& g) : gb(g) {}
        int checkbreak() override { return ++steps == 5000 ? 1 : 0; }
        void enterdebugger(int) override { gb.resetmachine(); }
        void interruptnotice() override {}
    };
    tmachine m;
    m->runframe();
    tresetter dbg(*m);
    m->debugger = &dbg;
    m->debugstepping = true;
    int32_t units = m->runframe();
    EXPECT_GT(units, 35000);
    EXPECT_LT(units, 3 * 35112);
    EXPECT_NEAR(m->runframe(), 35112, 12);
    m->debugger = nullptr;
}

}  // namespace
}  // namespace tov
