// The SGB packet log's lines and the processor-load meter's counts.
#include <gtest/gtest.h>

#include "core/gbtestutil.h"
#include "debugger/debuggertov.h"
#include "video/sgb.h"
#include "viewers/cpumeter.h"
#include "viewers/sgbpacketlog.h"

namespace tov::testing {
namespace {

TEST(SgbPacketLog, FormatsEveryCommand) {
    uint8_t pal[16] = {0x51, 0x01};
    EXPECT_EQ(sgbpacketlines(pal, 1),
              std::vector<std::string>{"1 0A PAL_SET  51.01.00.00 00.00.00.00 00.00.00.00 00.00.00.00"});
    uint8_t blk[32] = {0x22, 0x01};
    for (int i = 0; i < 16; i++) blk[16 + i] = uint8_t(0xF0 + i);
    const auto two = sgbpacketlines(blk, 2);
    ASSERT_EQ(two.size(), 2u);
    EXPECT_EQ(two[0], "2 04 ATTR_BLK 22.01.00.00 00.00.00.00 00.00.00.00 00.00.00.00");
    EXPECT_EQ(two[1], std::string(14, ' ') + "F0.F1.F2.F3 F4.F5.F6.F7 F8.F9.FA.FB FC.FD.FE.FF");
    const char* names[25] = {"PAL01", "PAL23", "PAL03", "PAL12", "ATTR_BLK", "ATTR_LIN", "ATTR_DIV",
                             "ATTR_CHR", "SOUND", "SOU_TRN", "PAL_SET", "PAL_TRN", "ATRC_EN", "TEST_EN",
                             "ICON_EN", "DATA_SND", "DATA_TRN", "MLT_REQ", "JUMP", "CHR_TRN", "PCT_TRN",
                             "ATTR_TRN", "ATTR_SET", "MASK_EN", "OBJ_TRN"};
    for (int code = 0; code < 32; code++) {
        uint8_t p[16] = {uint8_t(code << 3 | 1)};
        const std::string line = sgbpacketlines(p, 1)[0];
        const std::string name = code < 25 ? names[code] : "unknown";
        char head[32];
        std::snprintf(head, sizeof head, "1 %02X %s", code, name.c_str());
        EXPECT_EQ(line.substr(0, line.size() - 47).substr(0, std::string(head).size()), head);
        EXPECT_GE(line.size() - 47, 14u);  // the bytes start at column 14 or later
        EXPECT_EQ(line[line.size() - 48], ' ');
    }
    // Counts beyond the command buffer are not read past it.
    uint8_t seven[112] = {};
    EXPECT_EQ(sgbpacketlines(seven, 9).size(), 7u);
}

TEST(SgbPacketLog, TakesTheUnitsCommandsUntilCleared) {
    tsgb unit;
    tsgbpacketlog log;
    log.attach(unit);
    unit.packetdata[0] = 0xF9;  // code 0x1F: logged although the unit ignores it
    unit.onpacket(unit.onpacketcontext, 1);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].substr(0, 14), "1 1F unknown  ");
    EXPECT_EQ(log.text(), log.lines[0] + "\n");
    log.clear();
    EXPECT_TRUE(log.lines.empty());
    log.detach();
    EXPECT_EQ(unit.onpacket, nullptr);
}

// A machine with the debugger's counting node (CpuMeter on) running `code` from 0x150.
struct tmetermachine : tmachine {
    std::unique_ptr<tdebuggertov> debugger;
    explicit tmetermachine(std::initializer_list<uint8_t> code, int systemmode = 0, uint8_t colour = 0)
        : tmachine(tromimage().colour(colour).code(0x150, code), systemmode) {
        settings.CpuMeter = true;
        session->applysettings();
        debugger = std::make_unique<tdebuggertov>(*gb);
        debugger->setoptions(session->debuggeroptions());
        reset();
    }
};

TEST(CpuMeter, CountsABusyLoopAsAFullFrameInEitherSpeed) {
    // 0x150: nop ; jr -3 (1 + 3 machine cycles), never halting.
    struct tcase {
        int mode;
        uint8_t colour;
        bool doublespeed;
    } cases[] = {{0, 0x00, false}, {1, 0x80, true}};
    for (const auto& c : cases) {
        tmetermachine m({0x00, 0x18, 0xFD}, c.mode, c.colour);
        if (c.doublespeed) m->setspeed(1);
        tcpumeter meter;
        for (int frame = 0; frame < 3; frame++) {
            const int32_t units = m->runframe();
            ASSERT_TRUE(meter.update(units, *m, m.debugger->core, true));
        }
        // Within a few instructions of the frame (the loop's 4 cycles, and the frame's edges).
        EXPECT_NEAR(meter.value, 1.0, 0.002) << c.mode;
        EXPECT_EQ(meter.doublespeed, c.doublespeed);
        const tmeterpaint p = meter.paint(100, true);
        EXPECT_EQ(p.barheight, 100);
        EXPECT_EQ(p.bar, c.doublespeed ? metercolour::doublebar : metercolour::normalbar);
    }
}

TEST(CpuMeter, HaltedTimeIsNotCounted) {
    // 0x150: ld a,1 ; ldh (0xFF),a (VBlank only) ; ei ; halt ; jr -3. The VBlank vector's
    // zero bytes run as NOPs up to the entry, which jumps back: a few hundred cycles a frame.
    tmetermachine m({0x3E, 0x01, 0xE0, 0xFF, 0xFB, 0x76, 0x18, 0xFD});
    tcpumeter meter;
    for (int frame = 0; frame < 3; frame++) meter.update(m->runframe(), *m, m.debugger->core, true);
    EXPECT_LT(meter.value, 0.05);
    EXPECT_TRUE(meter.hasvalue);
}

TEST(CpuMeter, WithoutTheWindowOnlyTheCycleCounterIsCleared) {
    tmetermachine m({0x00, 0x18, 0xFD});
    tcpumeter meter;
    m->totalunits = 1000;
    EXPECT_FALSE(meter.update(m->runframe(), *m, m.debugger->core, false));
    EXPECT_EQ(m.debugger->core.takemetercycles(), 0u);
    EXPECT_GE(m->totalunits, 1000u);
    EXPECT_FALSE(meter.hasvalue);
}

TEST(CpuMeter, Paint) {
    tcpumeter meter;
    tmeterpaint p = meter.paint(10, true);
    EXPECT_EQ(p.back, metercolour::none);
    EXPECT_EQ(p.bar, metercolour::none);
    meter.hasvalue = true;
    struct tcase {
        double value;
        int height, bar;
    } cases[] = {{0.25, 10, 2}, {0.35, 10, 4}, {0.45, 10, 4}, {0.5, 3, 2}, {1.3, 10, 10}, {0, 10, 0}};
    for (const auto& c : cases) {
        meter.value = c.value;
        EXPECT_EQ(meter.paint(c.height, true).barheight, c.bar) << c.value;  // ties to even
    }
    EXPECT_EQ(meter.paint(10, true).back, metercolour::normalback);
    p = meter.paint(10, false);
    EXPECT_TRUE(p.buttonface);
    EXPECT_FALSE(meter.hasvalue);
}

}  // namespace
}  // namespace tov::testing

namespace tov::testing {
namespace {

// A program that sends one SGB packet over P1: the reset pulse, 128 bits low bit first
// (P14 low for a 0, P15 low for a 1, both high between) and the stop bit, then idles.
tromimage sgbpacketprogram(std::initializer_list<uint8_t> packet) {
    tromimage rom;
    rom.sgbcapable().code(0x150, {
        0x21, 0x00, 0x02,        // ld hl,0x0200
        0xAF, 0xE0, 0x00,        // xor a ; ldh (0x00),a    reset pulse
        0x3E, 0x30, 0xE0, 0x00,  // ld a,0x30 ; ldh (0x00),a
        0x06, 0x10,              // ld b,16
        0x2A, 0x57, 0x0E, 0x08,  // byte: ld a,(hl+) ; ld d,a ; ld c,8
        0xCB, 0x3A,              // bit: srl d
        0x3E, 0x20,              // ld a,0x20  (a 0: P14 low)
        0x30, 0x02,              // jr nc,send
        0x3E, 0x10,              // ld a,0x10  (a 1: P15 low)
        0xE0, 0x00,              // send: ldh (0x00),a
        0x3E, 0x30, 0xE0, 0x00,  // ld a,0x30 ; ldh (0x00),a
        0x0D, 0x20, 0xEF,        // dec c ; jr nz,bit
        0x05, 0x20, 0xE8,        // dec b ; jr nz,byte
        0x3E, 0x20, 0xE0, 0x00,  // stop bit
        0x3E, 0x30, 0xE0, 0x00,
        0x18, 0xFE,              // jr -2
    });
    rom.code(0x200, packet);
    return rom;
}

TEST(SgbPacketLog, LogsThePacketsAGameSends) {
    tmachine m(sgbpacketprogram({0x51, 0x01, 0x00, 0x02}), 2);
    ASSERT_TRUE(m->sgbmode);
    tsgbpacketlog log;
    log.attach(m->sgbunit());
    for (int frame = 0; frame < 10; frame++) m->runframe();
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0], "1 0A PAL_SET  51.01.00.02 00.00.00.00 00.00.00.00 00.00.00.00");
}

}  // namespace
}  // namespace tov::testing
