// Super Game Boy unit: packets sent bit by bit over the joypad register, the commands,
// video transfers captured from the screen, multiplayer joypads, mask and border.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <vector>

#include "frontend/settings.h"
#include "video/sgb.h"

namespace tov {
namespace {

// Stands in for the renderer: serves captured lines and records what the unit asks of it.
struct fakescreen : tsgbscreen {
    uint8_t lines[144][160] = {};
    uint32_t colors[16] = {};
    int setcolorcalls = 0, blanks = 0, refreshes = 0, captures = 0;
    bool gbc = false;
    void sgbcaptureline(int ly, uint8_t* line) override {
        captures++;
        std::memcpy(line, lines[ly], 160);
    }
    void sgbsetcolors(const uint32_t* c) override {
        setcolorcalls++;
        std::memcpy(colors, c, sizeof colors);
    }
    void sgbblank() override { blanks++; }
    void sgbrefresh() override { refreshes++; }
    bool sgbgbcmode() const override { return gbc; }

    // Puts a 4096-byte 2-bit-plane tile buffer on screen the way a game does for a
    // transfer: tile t at tile row t / 20, column t % 20.
    void showbuffer(const uint8_t* buf) {
        for (int t = 0; t < 256; t++)
            for (int r = 0; r < 8; r++) {
                uint8_t p0 = buf[t * 16 + 2 * r], p1 = buf[t * 16 + 2 * r + 1];
                for (int x = 0; x < 8; x++) {
                    int bit = 7 - x;
                    lines[(t / 20) * 8 + r][(t % 20) * 8 + x] =
                        uint8_t(0x20 | ((p0 >> bit) & 1) | (((p1 >> bit) & 1) << 1));
                }
            }
    }
};

class SgbTest : public ::testing::Test {
public:
    tsettings settings{};
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
    // A whole command: the bytes are split into 16-byte packets (zero padded).
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

uint8_t cmd(int code, int packets) { return uint8_t(code << 3 | packets); }

// ---------------------------------------------------------------- packet receiver

TEST_F(SgbTest, PacketIsTakenOnlyWithAZeroStopBit) {
    uint8_t pal01[16] = {cmd(0x00, 1), 0x1F, 0x00, 0xE0, 0x03};
    packet(pal01, 1);
    EXPECT_EQ(sgb->pal[1], 0x56B5) << "one stop bit drops the packet";
    EXPECT_FALSE(sgb->xferbusy);
    packet(pal01, 0);
    EXPECT_EQ(sgb->pal[0], 0x001F);
    EXPECT_EQ(sgb->pal[1], 0x03E0);
    EXPECT_EQ(logged, std::vector<int>{1});
}

TEST_F(SgbTest, DataPulseRightAfterResetPulseCancelsReception) {
    write(0x00);
    write(0x10);  // one-bit pulse without the idle state between
    EXPECT_TRUE(sgb->xferbusy);
    write(0x30);
    EXPECT_FALSE(sgb->xferbusy);
    // The remaining bits of a packet are then ignored.
    for (int i = 0; i < 129; i++) bit(0);
    EXPECT_TRUE(logged.empty());
}

TEST_F(SgbTest, TransferStartingNeedsBusyStartBitAndIdleLines) {
    EXPECT_FALSE(sgb->transferstarting(0x30));
    resetpulse();
    EXPECT_TRUE(sgb->transferstarting(0x30));
    EXPECT_FALSE(sgb->transferstarting(0x20));
    bit(1);
    EXPECT_FALSE(sgb->transferstarting(0x30));
}

TEST_F(SgbTest, HiddenUnitIgnoresPacketsAndSelectCycles) {
    sgb->hidden = true;
    sgb->joypadmax = 3;
    command({cmd(0x00, 1), 0x1F, 0x00});
    selectcycle();
    EXPECT_EQ(sgb->pal[0], 0x7FFF);
    EXPECT_EQ(sgb->currentjoypad(), 0);
    EXPECT_TRUE(logged.empty());
}

TEST_F(SgbTest, MultiPacketCommandRunsAfterItsLastPacket) {
    // ATTR_BLK declared as two packets; the data sets fit the first.
    std::vector<uint8_t> d(32, 0);
    d[0] = cmd(0x04, 2);
    d[1] = 2;
    d[2] = 1; d[3] = 0x01; d[4] = 0; d[5] = 0; d[6] = 19; d[7] = 17;      // whole screen 1
    d[8] = 1; d[9] = 0x02; d[10] = 2; d[11] = 2; d[12] = 4; d[13] = 4;    // inside 3,3 = 2
    packet(d.data());
    EXPECT_EQ(cell(5, 5), 0) << "nothing happens before the second packet";
    EXPECT_TRUE(logged.empty());
    packet(d.data() + 16);
    EXPECT_EQ(logged, std::vector<int>{2});
    EXPECT_EQ(cell(5, 5), 1);
    EXPECT_EQ(cell(3, 3), 2);
}

TEST_F(SgbTest, ExtraResetPulseBetweenPacketsRestartsTheCommand) {
    std::vector<uint8_t> two(32, 0);
    two[0] = cmd(0x04, 2);
    two[1] = 1;
    two[2] = 1; two[3] = 0x03; two[4] = 0; two[5] = 0; two[6] = 19; two[7] = 17;
    packet(two.data());
    resetpulse();  // receiving again, then a second reset pulse restarts the count
    // The next packet is now the first of a command: a one-packet PAL01.
    uint8_t pal01[16] = {cmd(0x00, 1), 0x1F, 0x00};
    packet(pal01);
    EXPECT_EQ(sgb->pal[0], 0x001F);
    EXPECT_EQ(cell(0, 0), 0) << "the unfinished ATTR_BLK never ran";
}

TEST_F(SgbTest, ZeroPacketCountAndUnknownCommandsAreDropped) {
    uint8_t zero[16] = {cmd(0x00, 0), 0x1F, 0x00};
    for (int i = 0; i < 10; i++) packet(zero);  // must never run past the command buffer
    EXPECT_EQ(sgb->pal[0], 0x7FFF);
    EXPECT_TRUE(logged.empty());
    uint8_t unknown[16] = {cmd(0x1F, 1), 0xFF, 0xFF};
    packet(unknown);
    EXPECT_EQ(logged, std::vector<int>{1}) << "logged, then ignored";
    EXPECT_EQ(sgb->pal[0], 0x7FFF);
}

// ---------------------------------------------------------------- palettes

TEST_F(SgbTest, PaletteCommandsFillTheirPairsAndShareColourZero) {
    struct { int code, a, b; } cases[] = {{0, 0, 1}, {1, 2, 3}, {2, 0, 3}, {3, 1, 2}};
    for (auto k : cases) {
        sgb->reset();
        command({cmd(k.code, 1), 0x11, 0x00, 0x22, 0x00, 0x33, 0x00, 0x44, 0x00,
                 0x55, 0x00, 0x66, 0x00, 0x77, 0x00});
        for (int p = 0; p < 8; p++) EXPECT_EQ(sgb->pal[p * 16], 0x11) << "palette " << p;
        EXPECT_EQ(sgb->pal[k.a * 16 + 1], 0x22);
        EXPECT_EQ(sgb->pal[k.a * 16 + 3], 0x44);
        EXPECT_EQ(sgb->pal[k.b * 16 + 1], 0x55);
        EXPECT_EQ(sgb->pal[k.b * 16 + 3], 0x77);
    }
}

TEST_F(SgbTest, ScreenColoursGoToTheOutputConverted) {
    command({cmd(0x00, 1), 0xFF, 0x7F, 0x10, 0x42, 0x00, 0x00, 0x1F, 0x00,
             0xE0, 0x03, 0x00, 0x7C});
    EXPECT_EQ(screen.colors[0], 0xFFFFFFu);
    // 0x4210 = 16,16,16: 16*8 + 16/4 = 132 per channel.
    EXPECT_EQ(screen.colors[1], 0x848484u);
    EXPECT_EQ(screen.colors[3], 0x0000FFu);
    EXPECT_EQ(screen.colors[4], 0xFFFFFFu) << "palette 1 shares colour 0";
    EXPECT_EQ(screen.colors[5], 0x00FF00u);
    EXPECT_EQ(screen.colors[6], 0xFF0000u);
}

TEST_F(SgbTest, NoColoursInGbcModeOrWithSgbNoColors) {
    int before = screen.setcolorcalls;
    screen.gbc = true;
    command({cmd(0x00, 1), 0x1F, 0x00});
    EXPECT_EQ(screen.setcolorcalls, before);
    screen.gbc = false;
    settings.SGBnocolors = true;
    command({cmd(0x00, 1), 0x1F, 0x00});
    EXPECT_EQ(screen.setcolorcalls, before);
    EXPECT_EQ(sgb->pal[0], 0x1F) << "the command is still carried out";
}

TEST_F(SgbTest, PalSetTakesSystemPalettesAttributeFileAndUnmask) {
    for (int i = 0; i < 2048; i++) sgb->rampal[i] = uint16_t(i);
    sgb->atf[7 * 90] = 0xC0;  // file 7: cell (0,0) palette 3
    sgb->setmask(1);
    // Palettes 0..3 from system palettes 5, 6, 0x200|7 (low 9 bits: 7), 8.
    command({cmd(0x0A, 1), 5, 0, 6, 0, 7, 2, 8, 0, 0x80 | 0x40 | 7});
    EXPECT_EQ(sgb->pal[0 * 16 + 1], 5 * 4 + 1);
    EXPECT_EQ(sgb->pal[1 * 16 + 2], 6 * 4 + 2);
    EXPECT_EQ(sgb->pal[2 * 16 + 3], 7 * 4 + 3);
    EXPECT_EQ(sgb->pal[3 * 16 + 1], 8 * 4 + 1);
    EXPECT_EQ(sgb->pal[5 * 16], 5 * 4) << "colour 0 ends as palette 0's system colour 0";
    EXPECT_EQ(cell(0, 0), 3);
    EXPECT_EQ(sgb->screenfrozen, 0);
}

TEST_F(SgbTest, PalSetAttributeFileOutOfRangeIsIgnored) {
    std::memset(sgb->atf, 0xFF, sizeof sgb->atf);
    command({cmd(0x0A, 1), 0, 0, 0, 0, 0, 0, 0, 0, 0x80 | 45});
    EXPECT_EQ(cell(0, 0), 0);
    command({cmd(0x16, 1), 45});
    EXPECT_EQ(cell(0, 0), 0);
    command({cmd(0x16, 1), 44});
    EXPECT_EQ(cell(19, 17), 3);
}

// ---------------------------------------------------------------- attributes

TEST_F(SgbTest, AttrBlkInsideLineAndOutside) {
    // Block 5..10 x 4..8: inside 1, line 2, outside 3.
    command({cmd(0x04, 1), 1, 0x07, 0x01 | 0x08 | 0x30, 5, 4, 10, 8});
    EXPECT_EQ(cell(7, 6), 1);
    EXPECT_EQ(cell(5, 6), 2);
    EXPECT_EQ(cell(10, 8), 2);
    EXPECT_EQ(cell(7, 4), 2);
    EXPECT_EQ(cell(4, 6), 3);
    EXPECT_EQ(cell(11, 6), 3);
    EXPECT_EQ(cell(7, 3), 3);
    EXPECT_EQ(cell(7, 9), 3);
    EXPECT_EQ(cell(0, 0), 3);
    EXPECT_EQ(cell(19, 17), 3);
}

TEST_F(SgbTest, AttrBlkLineTakesInsideOrOutsidePaletteWhenAlone) {
    command({cmd(0x04, 1), 1, 0x01, 0x01 | 0x08, 2, 2, 6, 6});
    EXPECT_EQ(cell(2, 2), 1) << "inside only: the border cells take the inside palette";
    EXPECT_EQ(cell(4, 4), 1);
    EXPECT_EQ(cell(1, 1), 0);
    command({cmd(0x04, 1), 1, 0x04, 0x20, 2, 2, 6, 6});
    EXPECT_EQ(cell(2, 2), 2) << "outside only: the border cells take the outside palette";
    EXPECT_EQ(cell(1, 1), 2);
    EXPECT_EQ(cell(4, 4), 1) << "inside untouched";
}

TEST_F(SgbTest, AttrBlkOutsideTouchingAnEdgeColoursThatEdge) {
    // Block at the top-left corner with outside 2 and line 1.
    command({cmd(0x04, 1), 1, 0x06, 0x04 | 0x20, 0, 0, 5, 5});
    EXPECT_EQ(cell(0, 0), 1) << "line drawn over the edge";
    EXPECT_EQ(cell(3, 3), 0) << "inside untouched";
    EXPECT_EQ(cell(10, 10), 2);
    // Inside and outside without a line: the block's edge row and column take the
    // outside palette.
    sgb->reset();
    command({cmd(0x04, 1), 1, 0x05, 0x31, 0, 0, 5, 5});
    EXPECT_EQ(cell(3, 0), 3);
    EXPECT_EQ(cell(0, 3), 3);
    EXPECT_EQ(cell(3, 3), 1);
    EXPECT_EQ(cell(5, 3), 0) << "no line drawn";
    sgb->reset();
    command({cmd(0x04, 1), 1, 0x05, 0x31, 14, 12, 19, 17});
    EXPECT_EQ(cell(19, 14), 3);
    EXPECT_EQ(cell(16, 17), 3);
    EXPECT_EQ(cell(16, 14), 1);
}

TEST_F(SgbTest, AttrBlkCoordinatesAreClippedAndCountsChecked) {
    // Inside 3 with a line of palette 0.
    command({cmd(0x04, 1), 1, 0x03, 0x03, 15, 15, 40, 40});  // 40 mod 32 = 8 < start
    EXPECT_EQ(cell(16, 16), 0) << "end before start sets nothing";
    command({cmd(0x04, 1), 1, 0x03, 0x03, 15, 15, 30, 30});  // clipped to 19,17
    EXPECT_EQ(cell(18, 16), 3);
    EXPECT_EQ(cell(19, 17), 0) << "the clipped end is on the (undrawn) line";
    command({cmd(0x04, 1), 19, 0x01, 0x02, 0, 0, 19, 17});
    EXPECT_EQ(cell(5, 5), 0) << "19 data sets is out of range";
}

TEST_F(SgbTest, AttrLinRowsAndColumns) {
    command({cmd(0x05, 1), 3, 0x80 | 0x20 | 3, 0x40 | 7, 0x80 | 0x60 | 18});
    EXPECT_EQ(cell(0, 3), 1);
    EXPECT_EQ(cell(19, 3), 1);
    EXPECT_EQ(cell(7, 0), 2);
    EXPECT_EQ(cell(7, 17), 2);
    EXPECT_EQ(cell(7, 3), 2) << "later line wins";
    EXPECT_EQ(cell(0, 17), 0) << "row 18 is off screen";
    command({cmd(0x05, 1), 0, 0x80 | 0x60 | 0});
    EXPECT_EQ(cell(0, 0), 0) << "a count of 0 is ignored";
}

TEST_F(SgbTest, AttrDivSplitsByRowsOrColumns) {
    // Horizontal at row 6: above 1, on 2, below 3.
    command({cmd(0x06, 1), 0x40 | 0x20 | 0x04 | 0x03, 6});
    EXPECT_EQ(cell(4, 5), 1);
    EXPECT_EQ(cell(4, 6), 2);
    EXPECT_EQ(cell(4, 7), 3);
    // Vertical at column 10: left 3, on 1, right 2.
    command({cmd(0x06, 1), 0x10 | 0x0C | 0x02, 10});
    EXPECT_EQ(cell(9, 0), 3);
    EXPECT_EQ(cell(10, 17), 1);
    EXPECT_EQ(cell(11, 8), 2);
    // Beyond the screen: all upper.
    command({cmd(0x06, 1), 0x40 | 0x04 | 0x03, 20});
    EXPECT_EQ(cell(0, 17), 1);
    EXPECT_EQ(cell(19, 0), 1);
}

TEST_F(SgbTest, AttrChrWalksRowsOrColumnsAndStopsAtTheScreenEnd) {
    // Along rows from (18,0): 4 cells 1,2,3,1 -> (18,0),(19,0),(0,1),(1,1).
    command({cmd(0x07, 1), 18, 0, 4, 0, 0, 0x6D});
    EXPECT_EQ(cell(18, 0), 1);
    EXPECT_EQ(cell(19, 0), 2);
    EXPECT_EQ(cell(0, 1), 3);
    EXPECT_EQ(cell(1, 1), 1);
    // Down columns from (5,16): (5,16),(5,17),(6,0).
    command({cmd(0x07, 1), 5, 16, 3, 0, 1, 0xFC});
    EXPECT_EQ(cell(5, 16), 3);
    EXPECT_EQ(cell(5, 17), 3);
    EXPECT_EQ(cell(6, 0), 3);
    EXPECT_EQ(cell(6, 1), 0);
    // A huge count from the last cell ends after that cell.
    command({cmd(0x07, 1), 19, 17, 0xFF, 0xFF, 0, 0x80});
    EXPECT_EQ(cell(19, 17), 2);
    EXPECT_EQ(cell(0, 0), 0);
    // Start outside the screen: ignored.
    command({cmd(0x07, 1), 20, 0, 1, 0, 0, 0xC0});
    EXPECT_EQ(cell(0, 0), 0);
}

// ---------------------------------------------------------------- video transfers

TEST_F(SgbTest, PalTrnCapturesTheFrameAfterTheRequest) {
    uint8_t buf[4096];
    for (int i = 0; i < 4096; i++) buf[i] = uint8_t(i * 7 + (i >> 8));
    screen.showbuffer(buf);
    command({cmd(0x0B, 1)});
    EXPECT_EQ(sgb->trnstatus, 1);
    frame();
    EXPECT_EQ(sgb->trnstatus, 2);
    EXPECT_EQ(screen.captures, 144);
    EXPECT_EQ(sgb->rampal[100], 0) << "applied only at the next line 0";
    frame();
    EXPECT_EQ(sgb->trnstatus, 0);
    EXPECT_EQ(std::memcmp(sgb->rampal, buf, 4096), 0);
    EXPECT_EQ(screen.captures, 144);
}

TEST_F(SgbTest, AttrTrnLoadsTheFilesAndAttrSetPicksOne) {
    uint8_t buf[4096] = {};
    for (int f = 0; f < 45; f++) std::memset(buf + f * 90, (f & 3) * 0x55, 90);
    screen.showbuffer(buf);
    command({cmd(0x15, 1)});
    frame();
    frame();
    sgb->setmask(2);
    command({cmd(0x16, 1), 0x40 | 6});
    EXPECT_EQ(cell(3, 9), 2);
    EXPECT_EQ(sgb->screenfrozen, 0);
}

TEST_F(SgbTest, ChrTrnLoadsHalfTheTilesAndIsRefusedWhilePending) {
    uint8_t buf[4096];
    std::memset(buf, 0xA5, sizeof buf);
    screen.showbuffer(buf);
    command({cmd(0x14, 1)});     // PCT_TRN pending
    command({cmd(0x13, 1), 1});  // refused
    EXPECT_EQ(sgb->trnselect, 2);
    EXPECT_EQ(sgb->chrtrnselect, 0);
    frame();
    frame();
    EXPECT_TRUE(sgb->hasborder);
    command({cmd(0x13, 1), 1});
    frame();
    frame();
    EXPECT_EQ(sgb->chardata[0], 0) << "tiles 0-127 untouched";
    EXPECT_EQ(sgb->chardata[128 * 32], 0xA5);
    EXPECT_EQ(sgb->chardata[8191], 0xA5);
}

TEST_F(SgbTest, PctTrnSetsMapAndBorderPalettesButNotColourZero) {
    uint8_t buf[4096] = {};
    for (int i = 0; i < 1024; i++) { buf[2 * i] = uint8_t(i); buf[2 * i + 1] = 0x14; }
    for (int j = 0; j < 64; j++) { buf[0x800 + 2 * j] = uint8_t(j); buf[0x801 + 2 * j] = 0x40; }
    screen.showbuffer(buf);
    command({cmd(0x14, 1)});
    frame();
    int borders = bordercalls;
    frame();
    EXPECT_GT(bordercalls, borders) << "rebuilt after the transfer";
    EXPECT_EQ(sgb->pctmap[3], 0x1403);
    EXPECT_EQ(sgb->pal[4 * 16 + 1], 0x4001);
    EXPECT_EQ(sgb->pal[7 * 16 + 15], 0x403F);
    EXPECT_EQ(sgb->pal[4 * 16], 0x7FFF) << "colour 0 stays";
    EXPECT_EQ(sgb->pal[0 * 16 + 1], 0x56B5) << "screen palettes untouched";
}

TEST_F(SgbTest, TransferBufferDropsTilesBeyond255) {
    std::memset(screen.lines, 0x23, sizeof screen.lines);  // every pixel shade 3
    command({cmd(0x0B, 1)});
    frame();
    // Lines 96-103 hold tiles 240-259: the row is written only up to tile 255.
    EXPECT_EQ(sgb->vramdata[255 * 16 + 14], 0xFF);
    EXPECT_FALSE(sgb->hidden) << "nothing written past the buffer";
    frame();
    EXPECT_EQ(sgb->rampal[2047], 0xFFFF);
}

// ---------------------------------------------------------------- multiplayer

TEST_F(SgbTest, MltReqCyclesJoypads) {
    command({cmd(0x11, 1), 1});
    EXPECT_EQ(sgb->currentjoypad(), 1) << "first request starts at the new maximum";
    selectcycle();
    EXPECT_EQ(sgb->currentjoypad(), 0);
    selectcycle();
    EXPECT_EQ(sgb->currentjoypad(), 1);

    command({cmd(0x11, 1), 3});
    EXPECT_EQ(sgb->currentjoypad(), 0) << "later requests start at joypad 0";
    std::vector<int> seen;
    for (int i = 0; i < 5; i++) { selectcycle(); seen.push_back(sgb->currentjoypad()); }
    EXPECT_EQ(seen, (std::vector<int>{1, 2, 3, 0, 1}));

    command({cmd(0x11, 1), 2});  // 2 means one joypad
    selectcycle();
    EXPECT_EQ(sgb->currentjoypad(), 0);
}

TEST_F(SgbTest, JoypadAdvancesOnlyAfterBothSelectLinesAndRelease) {
    command({cmd(0x11, 1), 3});
    selectcycle();  // leaves no half-finished cycle from the packet's own pulses
    int start = sgb->currentjoypad();
    write(0x20); write(0x30);
    write(0x20); write(0x30);
    EXPECT_EQ(sgb->currentjoypad(), start);
    write(0x10);
    EXPECT_EQ(sgb->currentjoypad(), start);
    write(0x30);
    EXPECT_EQ(sgb->currentjoypad(), (start + 1) & 3);
}

// ---------------------------------------------------------------- mask and border

TEST_F(SgbTest, MaskDefersColoursAndBorderUntilUnmasked) {
    command({cmd(0x17, 1), 1});
    EXPECT_EQ(sgb->screenfrozen, 1);
    int calls = screen.setcolorcalls;
    uint32_t corner = sgb->border[0];
    sgb->pctmap[0] = 0;  // tile 0 (all colour 0) in the corner
    command({cmd(0x00, 1), 0x1F, 0x00});
    EXPECT_EQ(screen.setcolorcalls, calls);
    EXPECT_EQ(sgb->border[0], corner);
    command({cmd(0x17, 1), 0});
    EXPECT_EQ(screen.setcolorcalls, calls + 1);
    EXPECT_EQ(screen.colors[0], 0x0000FFu);
    EXPECT_EQ(sgb->border[0], 0x0000FFu);
}

TEST_F(SgbTest, BlackAndColourZeroMasksBlankAtOnce) {
    command({cmd(0x17, 1), 1});
    EXPECT_EQ(screen.blanks, 0);
    command({cmd(0x17, 1), 2});
    EXPECT_EQ(screen.blanks, 1);
    EXPECT_EQ(screen.refreshes, 1);
    EXPECT_EQ(sgb->screenfrozen, 2);
    command({cmd(0x17, 1), 3});
    EXPECT_EQ(screen.blanks, 2);
    EXPECT_EQ(sgb->screenfrozen, 3);
}

TEST_F(SgbTest, UnmaskWithBorderFiresTheRestartEvent) {
    sgb->onrestart = [](void* c) { static_cast<SgbTest*>(c)->restarts++; };
    sgb->onrestartcontext = this;
    command({cmd(0x17, 1), 0});
    EXPECT_EQ(restarts, 0) << "no border yet";
    sgb->hasborder = true;
    command({cmd(0x17, 1), 3});
    EXPECT_EQ(restarts, 0) << "masking with colour 0 does not count as showing the border";
    command({cmd(0x16, 1), 0x40});
    EXPECT_EQ(restarts, 1);
}

TEST_F(SgbTest, ResetBorderIsTile255InPalette7AroundAnEmptyScreen) {
    EXPECT_EQ(sgb->pctmap[0], 0xFFFF);
    EXPECT_EQ(sgb->pctmap[5 * 32 + 6], 0);
    EXPECT_EQ(sgb->pctmap[22 * 32 + 25], 0);
    EXPECT_EQ(sgb->pctmap[22 * 32 + 26], 0xFFFF);
    // Palette 7 colour 15 is black; the screen window is colour 0, white.
    EXPECT_EQ(sgb->border[0], 0u);
    EXPECT_EQ(sgb->border[tsgb::screeny * 256 + tsgb::screenx], 0xFFFFFFu);
    EXPECT_EQ(sgb->border[(tsgb::screeny + 143) * 256 + tsgb::screenx + 159], 0xFFFFFFu);
    EXPECT_EQ(sgb->border[(tsgb::screeny + 144) * 256 + tsgb::screenx], 0u);
    for (int c = 0; c < 4; c++) EXPECT_EQ(sgb->rampal[c], sgb->pal[c]);
    EXPECT_EQ(sgb->pal[7 * 16 + 2], 0x294A);
}

TEST_F(SgbTest, BorderPictureUsesPlanesPalettesAndMirrors) {
    // Tile 1: row 0 = colours 1,2,4,8,0,0,0,15; other rows colour 0.
    std::memset(sgb->chardata + 32, 0, 32);
    sgb->chardata[32 + 0] = 0x81;  // plane 0: pixels 0 and 7
    sgb->chardata[32 + 1] = 0x41;  // plane 1: pixels 1 and 7
    sgb->chardata[32 + 16] = 0x21; // plane 2
    sgb->chardata[32 + 17] = 0x11; // plane 3
    for (int c = 1; c < 16; c++) sgb->pal[5 * 16 + c] = uint16_t(c);  // red = c
    sgb->pctmap[0] = 1 | (5 << 10);
    sgb->pctmap[1] = 1 | (5 << 10) | 0x4000;  // horizontal mirror
    sgb->pctmap[2] = 1 | (5 << 10) | 0x8000;  // vertical mirror
    sgb->rebuild();
    auto red = [](int c) { return uint32_t(c * 8 + c / 4); };
    const uint32_t* b = sgb->border.data();
    EXPECT_EQ(b[0], red(1));
    EXPECT_EQ(b[1], red(2));
    EXPECT_EQ(b[2], red(4));
    EXPECT_EQ(b[3], red(8));
    EXPECT_EQ(b[4], 0xFFFFFFu) << "colour 0 is the shared colour";
    EXPECT_EQ(b[7], red(15));
    EXPECT_EQ(b[8 + 7], red(1));
    EXPECT_EQ(b[8 + 6], red(2));
    EXPECT_EQ(b[16 + 7 * 256 + 1], red(2));
    EXPECT_EQ(b[16 + 1], 0xFFFFFFu);
}

TEST_F(SgbTest, CorruptStateValuesAreBroughtBackInRange) {
    sgb->packetcurrent = 1000;
    sgb->packetmax = -5;
    sgb->xferoffset = 100000;
    sgb->chrtrnselect = 77;
    sgb->trnstatus = 9;
    sgb->joypadcurrent = 12;
    sgb->afterstateload();
    EXPECT_EQ(sgb->packetcurrent, 0);
    EXPECT_EQ(sgb->xferoffset, 128);
    EXPECT_EQ(sgb->chrtrnselect, 128);
    EXPECT_EQ(sgb->trnstatus, 0);
    EXPECT_LE(sgb->currentjoypad(), 3);
    // Reception still works afterwards.
    command({cmd(0x00, 1), 0x1F, 0x00});
    EXPECT_EQ(sgb->pal[0], 0x1F);
}

TEST_F(SgbTest, StateFieldsCoverEveryChunk) {
    int count = 0;
    size_t total = 0;
    bool vramwritten = true;
    sgb->statefields([&](const char* name, void*, size_t size, bool written) {
        count++;
        total += size;
        if (std::strcmp(name, "sgb_vram_data") == 0) vramwritten = written;
    });
    EXPECT_EQ(count, 25);
    EXPECT_EQ(total, 23002u);
    EXPECT_FALSE(vramwritten) << "the transfer buffer is saved only while capturing";
}

}  // namespace
}  // namespace tov
