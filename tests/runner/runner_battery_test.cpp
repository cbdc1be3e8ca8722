// The headless runner keeps a cartridge's battery RAM and clock between runs: a program
// reads its RAM and the clock, sends them over the serial port and bumps the RAM byte;
// a second run must see the bumped byte and a clock that moved on with the wall clock.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "cart/carttesthelpers.h"
#include "support/testrom.h"

namespace tov {
namespace {

using carttest::tscratch;

std::vector<uint8_t> batteryclockrom() {
    // MBC3 + timer + RAM + battery, 32 KiB ROM, 8 KiB RAM.
    testing::tromimage rom(32768);
    rom.noise().bankmarkers().blankheader().logo().title("BATTERY").type(0x10).ramsizecode(0x02);
    rom.entry();  // nop ; jp 0x150
    rom.code(0x150, {
        0x3E, 0x0A, 0xEA, 0x00, 0x00,  // enable RAM and clock
        0x3E, 0x00, 0xEA, 0x00, 0x40,  // RAM bank 0
        0xFA, 0x00, 0xA0, 0xCD, 0x00, 0x02,  // send (0xA000)
        0x21, 0x00, 0xA0, 0x34,              // inc (0xA000)
        0x3E, 0x00, 0xEA, 0x00, 0x60, 0x3E, 0x01, 0xEA, 0x00, 0x60,  // latch the clock
        0x3E, 0x08, 0xEA, 0x00, 0x40, 0xFA, 0x00, 0xA0, 0xCD, 0x00, 0x02,  // send seconds
        0x3E, 0x09, 0xEA, 0x00, 0x40, 0xFA, 0x00, 0xA0, 0xCD, 0x00, 0x02,  // send minutes
        0x18, 0xFE,                                                          // stay here
    });
    rom.code(0x200, {
        0xE0, 0x01, 0x3E, 0x81, 0xE0, 0x02,  // SB = a, start an internally clocked transfer
        0xF0, 0x02, 0xCB, 0x7F, 0x20, 0xFA,  // wait until it is done
        0xC9,
    });
    return rom.finished();
}

// Runs the runner on the ROM and returns the bytes the program sent.
std::string runonce(const std::string& rom) {
    std::string command = std::string("\"") + TOV_RUN + "\" --serial --frames 30 \"" + rom + "\" 2>/dev/null";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return {};
    std::string out;
    char buffer[256];
    size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

TEST(RunnerBattery, RamAndClockSurviveBetweenRuns) {
    tscratch dir;
    std::string rom = dir.write("battery.gb", batteryclockrom());

    const auto start = std::chrono::steady_clock::now();
    std::string first = runonce(rom);
    ASSERT_GE(first.size(), 3u) << "the program sent too little: " << first;
    ASSERT_TRUE(dir.exists("battery.sav")) << "no battery file beside the ROM";
    ASSERT_TRUE(dir.exists("battery.rtc")) << "no clock file beside the ROM";

    std::this_thread::sleep_for(std::chrono::milliseconds(3100));
    std::string second = runonce(rom);
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_GE(second.size(), 3u) << "the program sent too little: " << second;

    // The RAM byte was bumped by the first run and read back by the second.
    EXPECT_EQ(uint8_t(second[0]), uint8_t(uint8_t(first[0]) + 1));

    // The clock moved on by the wall-clock time between the runs: at least the 3 seconds
    // slept, at most the time both runs took as measured here (how long depends on the
    // machine's load), plus the first run's half second of emulated time after its reading
    // and a second for each of the two whole-second roundings.
    int t1 = uint8_t(first[2]) * 60 + uint8_t(first[1]);
    int t2 = uint8_t(second[2]) * 60 + uint8_t(second[1]);
    int moved = (t2 - t1 + 3600) % 3600;
    EXPECT_GE(moved, 3);
    EXPECT_LE(moved, int(std::ceil(elapsed + 0.5)) + 2) << "runs took " << elapsed << " s";
}

}  // namespace
}  // namespace tov
