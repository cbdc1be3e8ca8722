// MBC3 with its real-time-clock registers, and the variant whose clock runs and is kept
// in a ".rtc" file beside the ".sav".
#pragma once
#include <array>

#include "cart/mbcbase.h"

namespace tov {

class tcartmbc3 : public tcartmbcbase {
public:
    using tcartmbcbase::tcartmbcbase;

    // Clock registers: seconds, minutes, hours, day low, day high (bit 0 day bit 8,
    // bit 6 halted, bit 7 day overflow). They hold whatever was last written.
    enum { rtcseconds, rtcminutes, rtchours, rtcdaylow, rtcdayhigh, rtccount };
    std::array<uint16_t, rtccount> rtc{};         // live registers
    std::array<uint16_t, rtccount> rtclatched{};  // the copy the CPU reads
    bool latchheld = false;                       // the last latch write was 1
    bool clockmapped = false;                     // a clock register is at 0xA000-0xBFFF
    static const std::array<uint16_t, rtccount> rtcmask;  // the bits of each register

    // ROMs over 2 MiB come on the larger MBC3, whose bank register has all eight bits.
    bool eightbitbanks() const { return romsize > 2 * 1024 * 1024; }

    void romwrite(uint16_t address, uint8_t value) override;
    uint8_t ramread(uint16_t address) override;
    void ramwrite(uint16_t address, uint8_t value) override;
    void mapram() override;
    int maxrambank() override { return 15; }
    bool isstandardwrite(uint16_t address, uint8_t value) override;
    std::string mappername() const override { return "MBC3"; }
    // "mbc3l", "mbc3t", "mbc3tl", then the banked chunks.
    void statefields(tstatevisitor& v) override;
};

class tcartmbc3timer : public tcartmbc3 {
public:
    using tcartmbc3::tcartmbc3;

    void loadsram() override;
    void savesram() override;
    void secondtick() override;
    std::string mappername() const override { return "MBC3-timer"; }

    // The ".rtc" path, or empty when this cartridge keeps no clock file.
    std::string rtcfilename() const;
    // Sets the live registers to `elapsed` days of clock time (fractions count).
    void setclockdays(double elapsed);
    // The clock's value in days, as stored in the clock file.
    double clockdays() const;
};

}  // namespace tov
