// Super Game Boy unit: packets sent bit by bit over the joypad register, the commands,
// video transfers captured from the screen, multiplayer joypads, mask and border.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "video/videooptions.h"
#include "video/sgb.h"

namespace tov {
namespace {

// Stands in for the renderer: serves captured lines and records what the unit asks of it.
struct fakescreen : tsgbscreen {
    uint8_t lines[144][160] = {};
    uint32_t colors[16] = {};
    int setcolorcalls = 0, blanks = 0, refreshes = 0;
    uint32_t blankcolor = 0;  // output entry 4 (SGB colour 0) when the screen was blanked
    bool gbc = false;
    void sgbcaptureline(int ly, uint8_t* line) override { std::memcpy(line, lines[ly], 160); }
    void sgbsetcolors(const uint32_t* c) override {
        setcolorcalls++;
        std::memcpy(colors, c, sizeof colors);
    }
    void sgbblank() override {
        blanks++;
        blankcolor = colors[0];
    }
    void sgbrefresh() override { refreshes++; }
    bool sgbgbcmode() const override { return gbc; }

    // Shows a 4096-byte tile buffer as a game does for a transfer: tile t at tile row
    // t / 20, column t % 20, pixels as shades after BGP.
    void showbuffer(const uint8_t* buf) {
        for (int t = 0; t < 256; t++)
            for (int r = 0; r < 8; r++)
                for (int x = 0; x < 8; x++) {
                    int p0 = (buf[t * 16 + 2 * r] >> (7 - x)) & 1;
                    int p1 = (buf[t * 16 + 2 * r + 1] >> (7 - x)) & 1;
                    lines[(t / 20) * 8 + r][(t % 20) * 8 + x] = uint8_t(0x20 | p0 | p1 << 1);
                }
    }
};

uint8_t cmd(int code, int packets) { return uint8_t(code << 3 | packets); }

class SgbTest : public ::testing::Test {
public:
    tvideooptions settings{};
    fakescreen screen;  // outlives the unit, which tells it when it goes away
    std::unique_ptr<tsgb> sgb;
    uint8_t p1 = 0x30;
    int bordercalls = 0, restarts = 0;
    std::vector<int> logged;

    void SetUp() override {
        sgb = std::make_unique<tsgb>(settings);
        sgb->screen = &screen;
        sgb->onborder = [](void* c) { static_cast<SgbTest*>(c)->bordercalls++; };
        sgb->onbordercontext = this;
        sgb->onpacket = [](void* c, int n) { static_cast<SgbTest*>(c)->logged.push_back(n); };
        sgb->onpacketcontext = this;
        sgb->reset();
    }
    void write(uint8_t v) {
        sgb->joypadwrite(v, p1);
        p1 = v;
    }
    void resetpulse() { write(0x00); write(0x30); }
    void bit(int b) { write(b ? 0x10 : 0x20); write(0x30); }
    // One packet: reset pulse, 128 data bits (low bit of byte 0 first), stop bit.
    void packet(const uint8_t* bytes, int stopbit = 0) {
        resetpulse();
        for (int i = 0; i < 128; i++) bit((bytes[i / 8] >> (i % 8)) & 1);
        bit(stopbit);
    }
    // A whole command, split into 16-byte packets (zero padded).
    void command(std::vector<uint8_t> data) {
        int n = std::max<int>(1, data[0] & 7);
        data.resize(size_t(n) * 16, 0);
        for (int i = 0; i < n; i++) packet(data.data() + 16 * i);
    }
    void frame() {
        for (int ly = 0; ly < 144; ly++) sgb->endofline(ly);
    }
    int cell(int x, int y) { return sgb->cellpalette(x, y); }
    void selectcycle() { write(0x20); write(0x10); write(0x30); }
};

TEST_F(SgbTest, PacketNeedsIdleAfterResetAndAZeroStopBit) {
    uint8_t pal01[16] = {cmd(0x00, 1), 0x1F, 0x00, 0xE0, 0x03};
    packet(pal01, 1);
    EXPECT_EQ(sgb->pal[1], 0x56B5) << "a one stop bit drops the packet";
    EXPECT_FALSE(sgb->xferbusy);

    write(0x00);
    write(0x10);
    EXPECT_TRUE(sgb->transferstarting(0x30));
    write(0x30);  // data pulse straight after the reset pulse: cancelled
    EXPECT_FALSE(sgb->xferbusy);
    EXPECT_TRUE(sgb->xferstartbit) << "cancelling stops reception only";
    write(0x20);
    EXPECT_FALSE(sgb->xferstartbit) << "the next pulse clears it";
    write(0x30);
    EXPECT_FALSE(sgb->xferbusy);

    packet(pal01, 0);
    EXPECT_EQ(sgb->pal[0], 0x001F);
    EXPECT_EQ(sgb->pal[1], 0x03E0);
    EXPECT_EQ(logged, std::vector<int>{1});
}

TEST_F(SgbTest, MultiPacketCommandsRunAfterTheLastPacketOnly) {
    std::vector<uint8_t> blk(32, 0);  // ATTR_BLK, two packets, one whole-screen block
    blk[0] = cmd(0x04, 2);
    blk[1] = 1;
    blk[2] = 1; blk[3] = 0x01; blk[6] = 19; blk[7] = 17;
    packet(blk.data());
    EXPECT_EQ(cell(5, 5), 0);
    EXPECT_TRUE(logged.empty());
    packet(blk.data() + 16);
    EXPECT_EQ(cell(5, 5), 1);
    EXPECT_EQ(logged, std::vector<int>{2});

    // A second reset pulse while receiving restarts the command.
    packet(blk.data());
    resetpulse();
    command({cmd(0x00, 1), 0x1F, 0x00});
    EXPECT_EQ(sgb->pal[0], 0x001F);

    // A zero packet count is dropped without running past the command buffer; unknown
    // commands are logged and ignored; a hidden unit hears nothing.
    for (int i = 0; i < 10; i++) command({cmd(0x00, 0), 0xFF, 0x7F});
    command({cmd(0x1F, 1), 0xFF, 0xFF});
    sgb->hidden = true;
    command({cmd(0x00, 1), 0xFF, 0x7F});
    EXPECT_EQ(sgb->pal[0], 0x001F);
    EXPECT_EQ(logged, (std::vector<int>{2, 1, 1}));
}

TEST_F(SgbTest, PaletteCommandsShareColourZeroAndReachTheOutput) {
    struct { int code, a, b; } cases[] = {{0, 0, 1}, {1, 2, 3}, {2, 0, 3}, {3, 1, 2}};
    for (auto k : cases) {
        sgb->reset();
        command({cmd(k.code, 1), 0x11, 0, 0x22, 0, 0x33, 0, 0x44, 0, 0x55, 0, 0x66, 0, 0x77, 0});
        for (int p = 0; p < 8; p++) EXPECT_EQ(sgb->pal[p * 16], 0x11);
        EXPECT_EQ(sgb->pal[k.a * 16 + 3], 0x44);
        EXPECT_EQ(sgb->pal[k.b * 16 + 1], 0x55);
        EXPECT_EQ(sgb->pal[k.b * 16 + 3], 0x77);
    }
    // Colour 0 white, 0x4210 (16 per channel: 16 * 8 + 16 / 4 = 132), red; blue in palette 1.
    command({cmd(0x00, 1), 0xFF, 0x7F, 0x10, 0x42, 0, 0, 0x1F, 0, 0, 0, 0, 0x7C});
    EXPECT_EQ(screen.colors[1], 0x848484u);
    EXPECT_EQ(screen.colors[3], 0x0000FFu);
    EXPECT_EQ(screen.colors[4], 0xFFFFFFu);
    EXPECT_EQ(screen.colors[6], 0xFF0000u);

    int calls = screen.setcolorcalls;
    screen.gbc = true;
    command({cmd(0x00, 1), 0x1F, 0x00});
    screen.gbc = false;
    settings.SGBnocolors = true;
    command({cmd(0x00, 1), 0x1F, 0x00});
    EXPECT_EQ(screen.setcolorcalls, calls) << "no SGB colours in GBC mode or with SGBnocolors";
}

TEST_F(SgbTest, PalSetAndAttrSetPickStoredPalettesAndFiles) {
    for (int i = 0; i < 2048; i++) sgb->rampal[i] = uint16_t(i);
    std::memset(sgb->atf + 7 * 90, 0xFF, 90);
    sgb->setmask(1);
    // System palettes 5, 6, 0x207 (only the low 9 bits count: 7) and 8; file 7; unmask.
    command({cmd(0x0A, 1), 5, 0, 6, 0, 7, 2, 8, 0, 0xC0 | 7});
    EXPECT_EQ(sgb->pal[0 * 16 + 1], 5 * 4 + 1);
    EXPECT_EQ(sgb->pal[2 * 16 + 3], 7 * 4 + 3);
    EXPECT_EQ(sgb->pal[3 * 16 + 1], 8 * 4 + 1);
    EXPECT_EQ(sgb->pal[5 * 16], 5 * 4) << "colour 0 ends as palette 0's";
    EXPECT_EQ(cell(19, 17), 3);
    EXPECT_EQ(sgb->screenfrozen, 0);

    command({cmd(0x16, 1), 45});  // no file 45
    EXPECT_EQ(cell(19, 17), 3);
    command({cmd(0x16, 1), 0});
    EXPECT_EQ(cell(19, 17), 0);
}

TEST_F(SgbTest, AttrBlkInsideOutsideAndSurroundingLine) {
    // Block 5..10 x 4..8: inside 1, line 2, outside 3.
    command({cmd(0x04, 1), 1, 0x07, 0x39, 5, 4, 10, 8});
    EXPECT_EQ(cell(7, 6), 1);
    EXPECT_EQ(cell(5, 6), 2);
    EXPECT_EQ(cell(10, 8), 2);
    EXPECT_EQ(cell(4, 6), 3);
    EXPECT_EQ(cell(7, 9), 3);
    // Only "inside": the line takes the inside palette; only "outside": the outside one.
    command({cmd(0x04, 1), 1, 0x01, 0x09, 2, 2, 3, 3});
    EXPECT_EQ(cell(2, 2), 1);
    command({cmd(0x04, 1), 1, 0x04, 0x20, 12, 2, 13, 3});
    EXPECT_EQ(cell(12, 2), 2);
    // Touching the screen edge, the outside also covers the block's edge row and column.
    sgb->reset();
    command({cmd(0x04, 1), 1, 0x05, 0x31, 0, 0, 5, 5});
    EXPECT_EQ(cell(3, 0), 3);
    EXPECT_EQ(cell(0, 3), 3);
    EXPECT_EQ(cell(3, 3), 1);
    EXPECT_EQ(cell(5, 3), 0);
    // Ends wrap at 32 and clip to the grid; an end before its start sets nothing.
    sgb->reset();
    command({cmd(0x04, 1), 1, 0x03, 0x03, 15, 15, 40, 40});
    EXPECT_EQ(cell(16, 16), 0);
    command({cmd(0x04, 1), 1, 0x03, 0x03, 15, 15, 30, 30});
    EXPECT_EQ(cell(18, 16), 3);
    EXPECT_EQ(cell(19, 17), 0);
    command({cmd(0x04, 1), 19, 0x01, 0x02, 0, 0, 19, 17});  // 19 sets: ignored
    EXPECT_EQ(cell(5, 5), 0);
}

TEST_F(SgbTest, AttrLinDivAndChr) {
    command({cmd(0x05, 1), 3, 0x80 | 0x20 | 3, 0x40 | 7, 0x80 | 0x60 | 18});
    EXPECT_EQ(cell(19, 3), 1);
    EXPECT_EQ(cell(7, 17), 2);
    EXPECT_EQ(cell(7, 3), 2) << "later line wins";
    EXPECT_EQ(cell(0, 17), 0) << "row 18 is off screen";

    command({cmd(0x06, 1), 0x40 | 0x20 | 0x04 | 0x03, 6});  // rows: above 1, on 2, below 3
    EXPECT_EQ(cell(4, 5), 1);
    EXPECT_EQ(cell(4, 6), 2);
    EXPECT_EQ(cell(4, 7), 3);
    command({cmd(0x06, 1), 0x10 | 0x0C | 0x02, 10});  // columns: left 3, on 1, right 2
    EXPECT_EQ(cell(9, 0), 3);
    EXPECT_EQ(cell(10, 17), 1);
    EXPECT_EQ(cell(11, 8), 2);
    command({cmd(0x06, 1), 0x40 | 0x04 | 0x03, 20});  // beyond the screen: all upper
    EXPECT_EQ(cell(0, 17), 1);

    sgb->reset();
    command({cmd(0x07, 1), 18, 0, 4, 0, 0, 0x6D});  // along rows: 1,2,3,1 wrapping
    EXPECT_EQ(cell(19, 0), 2);
    EXPECT_EQ(cell(0, 1), 3);
    EXPECT_EQ(cell(1, 1), 1);
    command({cmd(0x07, 1), 5, 16, 3, 0, 1, 0xFC});  // down columns, wrapping to row 0
    EXPECT_EQ(cell(5, 17), 3);
    EXPECT_EQ(cell(6, 0), 3);
    EXPECT_EQ(cell(6, 1), 0);
    command({cmd(0x07, 1), 19, 17, 0xFF, 0xFF, 0, 0x80});  // ends after the last cell
    EXPECT_EQ(cell(19, 17), 2);
    EXPECT_EQ(cell(0, 0), 0);
}

TEST_F(SgbTest, TransfersCaptureTheFrameAfterTheRequest) {
    uint8_t buf[4096];
    for (int i = 0; i < 4096; i++) buf[i] = uint8_t(i * 7 + (i >> 8));
    screen.showbuffer(buf);
    command({cmd(0x0B, 1)});  // PAL_TRN
    frame();
    EXPECT_EQ(sgb->trnstatus, 2);
    EXPECT_EQ(sgb->rampal[100], 0) << "applied at the next line 0";
    frame();
    EXPECT_EQ(sgb->trnstatus, 0);
    EXPECT_EQ(std::memcmp(sgb->rampal, buf, 4096), 0);

    command({cmd(0x15, 1)});  // ATTR_TRN
    frame();
    frame();
    EXPECT_EQ(std::memcmp(sgb->atf, buf, sizeof sgb->atf), 0);

    // Map and border palettes: colour 0 of each stays the shared one.
    command({cmd(0x14, 1)});
    command({cmd(0x13, 1), 1});  // CHR_TRN while PCT_TRN is pending: ignored
    frame();
    int borders = bordercalls;
    frame();
    EXPECT_GT(bordercalls, borders);
    EXPECT_TRUE(sgb->hasborder);
    EXPECT_EQ(sgb->pctmap[3], buf[6] | buf[7] << 8);
    EXPECT_EQ(sgb->pal[4 * 16 + 1], buf[0x802] | buf[0x803] << 8);
    EXPECT_EQ(sgb->pal[4 * 16], 0x7FFF);
    EXPECT_EQ(sgb->chardata[128 * 32], 0xFF);

    command({cmd(0x13, 1), 1});  // upper half of the border tiles
    frame();
    frame();
    EXPECT_EQ(sgb->chardata[0], 0);
    EXPECT_EQ(std::memcmp(sgb->chardata + 128 * 32, buf, 4096), 0);

    // Tile rows past tile 255 are dropped, never written beyond the buffer.
    std::memset(screen.lines, 0x23, sizeof screen.lines);
    command({cmd(0x0B, 1)});
    frame();
    EXPECT_EQ(sgb->vramdata[4095], 0xFF);
    EXPECT_FALSE(sgb->hidden);
}

TEST_F(SgbTest, MltReqCyclesJoypadsOnSelectCycles) {
    command({cmd(0x11, 1), 1});
    EXPECT_EQ(sgb->currentjoypad(), 0) << "from one player, the first joypad answers first";
    selectcycle();
    EXPECT_EQ(sgb->currentjoypad(), 1);

    // Sent in two-player mode, the packet's own P15 pulses advance the number: its reset
    // pulse and five one bits take joypad 1 to 0 and back to 1; four players keep it.
    command({cmd(0x11, 1), 3});
    EXPECT_EQ(sgb->currentjoypad(), 1) << "the current joypad ANDed with the new count";
    std::vector<int> seen;
    for (int i = 0; i < 5; i++) {
        selectcycle();
        seen.push_back(sgb->currentjoypad());
    }
    EXPECT_EQ(seen, (std::vector<int>{2, 3, 0, 1, 2}));
    write(0x20); write(0x30); write(0x20); write(0x30);
    EXPECT_EQ(sgb->currentjoypad(), 2) << "P14 alone does not advance";

    command({cmd(0x11, 1), 2});  // 2 means one joypad
    selectcycle();
    EXPECT_EQ(sgb->currentjoypad(), 0);
}

TEST_F(SgbTest, P15LoweredTwiceBeforeReleaseCancelsTheAdvance) {
    command({cmd(0x11, 1), 1});
    ASSERT_EQ(sgb->currentjoypad(), 0);
    write(0x10); write(0x30);  // P15 low, then both high: advance
    EXPECT_EQ(sgb->currentjoypad(), 1);
    write(0x10); write(0x20); write(0x10); write(0x30);  // lowered twice: cancelled
    EXPECT_EQ(sgb->currentjoypad(), 1);
    write(0x10); write(0x20); write(0x10); write(0x20); write(0x10); write(0x30);  // three times: advance
    EXPECT_EQ(sgb->currentjoypad(), 0);
}

TEST_F(SgbTest, MaskHoldsColoursAndBorderAndUnmaskingRestarts) {
    sgb->onrestart = [](void* c) { static_cast<SgbTest*>(c)->restarts++; };
    sgb->onrestartcontext = this;
    command({cmd(0x17, 1), 1});
    int calls = screen.setcolorcalls;
    sgb->pctmap[0] = 0;  // corner shows colour 0
    command({cmd(0x00, 1), 0x1F, 0x00});
    EXPECT_EQ(screen.setcolorcalls, calls);
    EXPECT_EQ(sgb->border[0], 0u);
    EXPECT_EQ(screen.blanks, 0);
    command({cmd(0x17, 1), 0});
    EXPECT_EQ(screen.colors[0], 0x0000FFu);
    EXPECT_EQ(sgb->border[0], 0x0000FFu);
    EXPECT_EQ(restarts, 0) << "no border yet";

    // A black mask over a frozen screen blanks with the colour 0 sent while frozen.
    command({cmd(0x17, 1), 1});
    command({cmd(0x00, 1), 0x00, 0x7C});
    command({cmd(0x17, 1), 2});
    EXPECT_EQ(screen.blankcolor, 0xFF0000u);
    EXPECT_EQ(screen.blanks, 1);

    sgb->hasborder = true;
    command({cmd(0x17, 1), 2});
    command({cmd(0x17, 1), 3});
    EXPECT_EQ(screen.blanks, 3);
    EXPECT_EQ(screen.refreshes, 3);
    EXPECT_EQ(sgb->screenfrozen, 3);
    EXPECT_EQ(restarts, 0) << "masking does not count as showing the border";
    command({cmd(0x16, 1), 0x40});
    EXPECT_EQ(restarts, 1);
}

TEST_F(SgbTest, BorderPictureFromTilesMapAndPalettes) {
    // After reset: tile 255 in palette 7 (colour 15, black) around a white screen window.
    EXPECT_EQ(sgb->border[0], 0u);
    EXPECT_EQ(sgb->border[40 * 256 + 48], 0xFFFFFFu);
    EXPECT_EQ(sgb->border[183 * 256 + 207], 0xFFFFFFu);
    EXPECT_EQ(sgb->border[184 * 256 + 48], 0u);
    EXPECT_EQ(sgb->rampal[2], 0x294A) << "system palette 0 holds the greys";

    // Tile 1 row 0: colours 1, 2, 4, 8, 0, 0, 0, 15 from the four planes.
    std::memset(sgb->chardata + 32, 0, 32);
    sgb->chardata[32] = 0x81;
    sgb->chardata[33] = 0x41;
    sgb->chardata[48] = 0x21;
    sgb->chardata[49] = 0x11;
    for (int c = 1; c < 16; c++) sgb->pal[5 * 16 + c] = uint16_t(c);  // red level c
    sgb->pctmap[0] = 1 | 5 << 10;
    sgb->pctmap[1] = 1 | 5 << 10 | 0x4000;
    sgb->pctmap[2] = 1 | 5 << 10 | 0x8000;
    sgb->rebuild();
    auto red = [](int c) { return uint32_t(c * 8 + c / 4); };
    const uint32_t* b = sgb->border.data();
    EXPECT_EQ(b[0], red(1));
    EXPECT_EQ(b[3], red(8));
    EXPECT_EQ(b[4], 0xFFFFFFu) << "colour 0 is the shared colour";
    EXPECT_EQ(b[7], red(15));
    EXPECT_EQ(b[8 + 6], red(2)) << "horizontal mirror";
    EXPECT_EQ(b[16 + 7 * 256 + 1], red(2)) << "vertical mirror";
}

TEST_F(SgbTest, ValuesFromAStateAreBroughtBackInRange) {
    sgb->packetcurrent = 1000;
    sgb->packetmax = -5;
    sgb->xferoffset = 100000;
    sgb->chrtrnselect = 77;
    sgb->trnstatus = 9;
    sgb->afterstateload();
    EXPECT_EQ(sgb->chrtrnselect, 128);
    EXPECT_EQ(sgb->trnstatus, 0);
    command({cmd(0x00, 1), 0x1F, 0x00});
    EXPECT_EQ(sgb->pal[0], 0x1F);
}

}  // namespace
}  // namespace tov
