// Super Game Boy end to end: a small SGB cartridge built here sends CHR_TRN and PCT_TRN
// through P1 while the tile data is on screen, and the machine's SGB unit builds the border.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "cart/loadrom.h"
#include "core/gb.h"
#include "frontend/session.h"
#include "frontend/settings.h"
#include "support/emitter.h"
#include "support/testrom.h"
#include "video/gbdrawtovsgb.h"
#include "video/gfxout.h"
#include "video/sgb.h"

namespace tov {
namespace {

using testing::temitter;

constexpr int chrtable = 0x1000, maptable = 0x2000, pcttable = 0x3000;
constexpr int chrpacket = 0x0300, pctpacket = 0x0310, unmaskpacket = 0x0320;

// The border tile data the cartridge sends: a fixed pattern, with border tile 1 holding
// the colours 7, 3, 5, 1, 6, 2, 4, 0 in every row.
std::vector<uint8_t> chrdata() {
    std::vector<uint8_t> d(4096);
    for (size_t i = 0; i < d.size(); i++) d[i] = uint8_t(i * 13 + (i >> 7));
    for (int r = 0; r < 8; r++) {
        d[32 + 2 * r] = 0xF0;
        d[33 + 2 * r] = 0xCC;
        d[48 + 2 * r] = 0xAA;
        d[49 + 2 * r] = 0x00;
    }
    return d;
}

// Border map (tile 1, palette 4; entry 1 mirrored horizontally) and palette 4 as greys.
std::vector<uint8_t> pctdata() {
    std::vector<uint8_t> d(4096, 0);
    for (int i = 0; i < 1024; i++) {
        d[size_t(2 * i)] = 1;
        d[size_t(2 * i + 1)] = i == 1 ? 0x50 : 0x10;
    }
    for (int c = 0; c < 16; c++) {
        int v = 2 * c;
        uint16_t w = uint16_t(v | v << 5 | v << 10);
        d[size_t(0x800 + 2 * c)] = uint8_t(w);
        d[size_t(0x801 + 2 * c)] = uint8_t(w >> 8);
    }
    return d;
}

std::vector<uint8_t> buildrom(bool colour = false) {
    // Also a colour game when asked; SGB functions with the new licensee code in use.
    testing::tromimage image(32768);
    image.logo().title("SGBBORDER").sgbcapable();
    if (colour) image.colour(0x80);
    std::vector<uint8_t>& rom = image.bytes;

    temitter e{rom, 0x100};
    e.b({0x00});
    e.ld16(0xC3, 0x150);

    // copy: HL source, DE destination, BC length.
    const int copy = 0x200;
    e.pc = copy;
    e.b({0x2A, 0x12, 0x13, 0x0B, 0x78, 0xB1});
    e.jr(0x20, copy);
    e.b({0xC9});
    // waitvblank: until LY = 144.
    const int waitvblank = e.pc;
    e.b({0xF0, 0x44, 0xFE, 0x90});
    e.jr(0x20, waitvblank);
    e.b({0xC9});
    // waitframe: until LY = 144, then until it leaves 144.
    const int waitframe = e.pc;
    e.call(waitvblank);
    const int leave = e.pc;
    e.b({0xF0, 0x44, 0xFE, 0x90});
    e.jr(0x28, leave);
    e.b({0xC9});
    // lcdoff / lcdon.
    const int lcdoff = e.pc;
    e.call(waitvblank);
    e.b({0xAF, 0xE0, 0x40, 0xC9});
    const int lcdon = e.pc;
    e.b({0x3E, 0x91, 0xE0, 0x40, 0xC9});
    const int sendpacket = e.sgbpacketsender();

    // Main program.
    e.pc = 0x150;
    e.b({0xF3});
    e.ld16(0x31, 0xFFFE);
    auto transfer = [&](int table, int packet, bool lcdison) {
        if (lcdison) e.call(lcdoff);
        e.ld16(0x21, table);
        e.ld16(0x11, 0x8000);
        e.ld16(0x01, 0x1000);
        e.call(copy);
        e.call(lcdon);
        e.ld16(0x21, packet);
        e.call(sendpacket);
        for (int i = 0; i < 3; i++) e.call(waitframe);
    };
    // Background map: screen cell (c, r) shows tile 20r + c, so the screen shows the
    // first 256 tiles in order, as the adapter expects.
    e.call(lcdoff);
    e.ld16(0x21, maptable);
    e.ld16(0x11, 0x9800);
    e.ld16(0x01, 0x0400);
    e.call(copy);
    e.b({0x3E, 0xE4, 0xE0, 0x47});  // BGP
    transfer(chrtable, chrpacket, false);
    transfer(pcttable, pctpacket, true);
    e.ld16(0x21, unmaskpacket);
    e.call(sendpacket);
    const int forever = e.pc;
    e.jr(0x18, forever);

    for (int r = 0; r < 18; r++)
        for (int c = 0; c < 20; c++)
            if (r * 20 + c < 256) rom[size_t(maptable + r * 32 + c)] = uint8_t(r * 20 + c);
    auto chr = chrdata();
    std::memcpy(&rom[chrtable], chr.data(), chr.size());
    auto pct = pctdata();
    std::memcpy(&rom[pcttable], pct.data(), pct.size());
    rom[chrpacket] = 0x13 << 3 | 1;
    rom[pctpacket] = 0x14 << 3 | 1;
    rom[unmaskpacket] = 0x17 << 3 | 1;  // MASK_EN 0
    return image.finished();
}

struct nullpicture : tgfxoutpal {
    uint8_t line[160] = {};
    uint8_t* getline(int) override { return line; }
};

// Machine, renderer and SGB unit wired as the front end does.
struct sgbmachine {
    tsettings settings{};
    nullpicture out;
    std::unique_ptr<tsession> session;
    tgb* machine = nullptr;
    int bordercalls = 0;

    explicit sgbmachine(int systemmode) {
        setdefaults(settings);
        settings.SystemMode = systemmode;
        tsessionparts parts;
        parts.synthesiser = false;
        session = std::make_unique<tsession>(settings, "", parts);
        machine = &session->machine();
        session->renderer()->gfxout = &out;
        tsgb& sgb = session->sgb();
        sgb.onborder = [](void* c) { ++static_cast<sgbmachine*>(c)->bordercalls; };
        sgb.onbordercontext = this;
    }
    bool load(bool colour) {
        std::string message;
        return session->loadimage(buildrom(colour), "", true, message);
    }
};

TEST(SgbMachineTest, CartridgeSendsItsBorderThroughTheJoypadRegister) {
    sgbmachine m(2);
    ASSERT_TRUE(m.load(false));
    ASSERT_TRUE(m.machine->sgbmode);
    tsgb& sgb = m.machine->sgbunit();
    int& bordercalls = m.bordercalls;

    for (int f = 0; f < 40; f++) m.machine->runframe();

    ASSERT_TRUE(sgb.hasborder);
    auto chr = chrdata();
    EXPECT_EQ(std::memcmp(sgb.chardata, chr.data(), 4096), 0) << "border tiles as sent";
    EXPECT_EQ(sgb.pctmap[0], 0x1001);
    EXPECT_EQ(sgb.pctmap[1], 0x5001);
    EXPECT_GT(bordercalls, 0);

    auto grey = [](int c) {
        uint32_t v = uint32_t(2 * c * 8 + 2 * c / 4);
        return v | v << 8 | v << 16;
    };
    const int row0[8] = {7, 3, 5, 1, 6, 2, 4, 0};
    for (int x = 0; x < 7; x++) {
        EXPECT_EQ(sgb.border[size_t(x)], grey(row0[x])) << "pixel " << x;
        EXPECT_EQ(sgb.border[size_t(8 + 7 - x)], grey(row0[x])) << "mirrored pixel " << x;
    }
    EXPECT_EQ(sgb.border[7], sgb.colors[0]) << "colour 0 is the shared colour";
}

TEST(SgbMachineTest, ColourGameRestartsInColourInsideItsBorder) {
    sgbmachine m(6);
    ASSERT_TRUE(m.load(true));
    ASSERT_TRUE(m.machine->sgbmode);
    ASSERT_FALSE(m.machine->gbcmode) << "first run as a Super Game Boy game";
    for (int f = 0; f < 40 && !m.machine->gbcmode; f++) m.machine->runframe();
    tsgb& sgb = m.machine->sgbunit();
    EXPECT_TRUE(m.machine->gbcmode) << "restarted once the border was shown";
    EXPECT_TRUE(sgb.hasborder) << "the border is kept";
    EXPECT_TRUE(sgb.hidden);
    EXPECT_EQ(sgb.pctmap[1], 0x5001);
    // Packets are ignored in the colour run.
    for (int f = 0; f < 40; f++) m.machine->runframe();
    EXPECT_TRUE(m.machine->gbcmode);
    EXPECT_EQ(sgb.trnstatus, 0);
}

}  // namespace
}  // namespace tov
