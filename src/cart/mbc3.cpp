#include "cart/mbc3.h"

#include <cmath>
#include <cstring>
#include <fstream>

#include "state/statevisitor.h"

namespace tov {

// ---- MBC3 registers

void tcartmbc3::romwrite(uint16_t address, uint8_t v) {
    switch (address & 0xE000) {
    case 0x0000:
        setsramenable((v & 0x0F) == 0x0A);
        break;
    case 0x2000:
        // Over 2 MiB the larger MBC3 variant decodes all eight bits.
        setrombank(eightbitbanks() ? v : v & 0x7F);
        break;
    case 0x4000:
        // 0-3 select RAM, 8-12 a clock register (see mapram).
        setrambank(v & 0x0F);
        break;
    case 0x6000:
        // Writing 0 then 1 copies the live clock into the readable copy, which then stays
        // as it is (the clock runs on) until the next 0-then-1.
        if ((v & 1) && !latchheld) rtclatched = rtc;
        latchheld = (v & 1) != 0;
        break;
    }
}

void tcartmbc3::mapram() {
    if (rambank >= 8 && rambank <= 12 && sramenable) {
        clockmapped = true;
        setpage(10, ramreadroutine, nullptr);
        setpage(11, ramreadroutine, nullptr);
        return;
    }
    clockmapped = false;
    tcartmbcbase::mapram();
}

// The bits each clock register has: seconds and minutes 6, hours 5, day low 8, day high
// bits 0 (day bit 8), 6 (halt) and 7 (overflow). The others read 0.
const std::array<uint16_t, tcartmbc3::rtccount> tcartmbc3::rtcmask = {0x3F, 0x3F, 0x1F, 0xFF, 0xC1};

uint8_t tcartmbc3::ramread(uint16_t address) {
    if (clockmapped && rambank >= 8 && rambank <= 12) {
        size_t r = size_t(rambank - 8);
        return static_cast<uint8_t>(rtclatched[r] & rtcmask[r]);
    }
    return tcartmbcbase::ramread(address);
}

void tcartmbc3::ramwrite(uint16_t address, uint8_t v) {
    if (clockmapped && rambank >= 8 && rambank <= 12) {
        // A write sets the running clock; the CPU sees it after the next latch.
        size_t r = size_t(rambank - 8);
        rtc[r] = uint16_t(v & rtcmask[r]);
        return;
    }
    tcartmbcbase::ramwrite(address, v);
}

bool tcartmbc3::isstandardwrite(uint16_t address, uint8_t v) {
    switch (address & 0xE000) {
    case 0x0000: return v == 0 || v == 0x0A;
    case 0x2000: return v >= 1 && (eightbitbanks() || v <= 127) && bankallowed(v);
    case 0x4000: return v <= 15 && v < ramsize / 8192;
    case 0x6000: return v == 0 || v == 1;
    }
    return false;
}

void tcartmbc3::statefields(tstatevisitor& v) {
    static_assert(sizeof rtc == 10 && sizeof rtclatched == 10, "five 16-bit clock registers");
    v.field("mbc3l", latchheld);
    v.block("mbc3t", rtc.data(), sizeof rtc);
    v.block("mbc3tl", rtclatched.data(), sizeof rtclatched);
    tcartmbcbase::statefields(v);
}

// ---- The running clock

void tcartmbc3timer::secondtick() {
    if (rtc[rtcdayhigh] & 0x40) return;  // halted
    // Each counter counts within its bits; only the step from 59 (23 for the hours) to the
    // next value carries, so a value written out of range runs on to the top of its bits
    // and wraps to 0 without carrying.
    auto step = [this](int r, uint16_t carryat) {
        uint16_t next = uint16_t((rtc[size_t(r)] + 1) & rtcmask[size_t(r)]);
        bool carry = next == carryat;
        rtc[size_t(r)] = carry ? 0 : next;
        return carry;
    };
    if (!step(rtcseconds, 60) || !step(rtcminutes, 60) || !step(rtchours, 24)) return;
    // Nine-bit day counter; its overflow flag stays set until the game clears it.
    uint32_t day = (uint32_t(rtc[rtcdayhigh] & 1) << 8 | rtc[rtcdaylow]) + 1;
    uint16_t high = uint16_t(rtc[rtcdayhigh] & 0xC0);
    if (day >= 512) {
        day = 0;
        high |= 0x80;
    }
    rtc[rtcdaylow] = uint16_t(day & 0xFF);
    rtc[rtcdayhigh] = uint16_t(high | (day >> 8));
}

std::string tcartmbc3timer::rtcfilename() const {
    if (!battery || filename.empty()) return {};
    return filename + ".rtc";
}

double tcartmbc3timer::clockdays() const {
    double days = 0;
    if (rtc[rtcdayhigh] & 0x80) days += 512;
    if (rtc[rtcdayhigh] & 0x01) days += 256;
    days += rtc[rtcdaylow];
    days += rtc[rtchours] / 24.0;
    days += rtc[rtcminutes] / 1440.0;
    days += rtc[rtcseconds] / 86400.0;
    return days;
}

void tcartmbc3timer::setclockdays(double e) {
    // A reference time in the future (the wall clock was set back) counts as no time.
    if (!(e > 0)) e = 0;
    if (e > 1e7) e = 1e7;  // keeps the conversions below in range for absurd files
    // Whole seconds; the small allowance absorbs the rounding of the stored double, so a
    // clock saved at a whole second reads back at that second.
    int64_t total = static_cast<int64_t>(e * 86400.0 + 1e-3);
    int64_t days = total / 86400;
    rtc[rtcseconds] = uint16_t(total % 60);
    rtc[rtcminutes] = uint16_t(total / 60 % 60);
    rtc[rtchours] = uint16_t(total / 3600 % 24);
    rtc[rtcdaylow] = uint16_t(days % 256);
    rtc[rtcdayhigh] = days < 256 ? 0 : days < 512 ? 1 : days < 768 ? 0x80 : 0x81;
}

void tcartmbc3timer::savesram() {
    tcartmbc3::savesram();
    std::string name = rtcfilename();
    if (name.empty()) return;
    // Reference time = now minus the clock's value, so that the time spent while the
    // program is closed is added on the next load.
    double t = localdays(*clock) - clockdays();
    int32_t halted = (rtc[rtcdayhigh] & 0x40) ? 1 : 0;
    uint8_t record[12];
    uint64_t bits;
    std::memcpy(&bits, &t, 8);
    for (int i = 0; i < 8; i++) record[i] = uint8_t(bits >> (8 * i));
    for (int i = 0; i < 4; i++) record[8 + i] = uint8_t(uint32_t(halted) >> (8 * i));
    writebatteryfile(name, record, sizeof record);
}

void tcartmbc3timer::loadsram() {
    tcartmbc3::loadsram();
    std::string name = rtcfilename();
    if (name.empty()) return;
    std::ifstream file(name, std::ios::binary);
    if (!file) return;
    uint8_t record[12] = {};
    file.read(reinterpret_cast<char*>(record), sizeof record);
    std::streamsize got = file.gcount();
    if (got < 8) return;  // no complete reference time: keep the clock as it is
    uint64_t bits = 0;
    for (int i = 0; i < 8; i++) bits |= uint64_t(record[i]) << (8 * i);
    double t;
    std::memcpy(&t, &bits, 8);
    if (std::isnan(t)) return;
    if (t <= 0) {
        rtc.fill(0);
        return;
    }
    setclockdays(localdays(*clock) - t);
    if (got >= 12) {
        uint32_t halted = 0;
        for (int i = 0; i < 4; i++) halted |= uint32_t(record[8 + i]) << (8 * i);
        if (halted == 1) rtc[rtcdayhigh] |= 0x40;
    }
    rtclatched = rtc;
}

}  // namespace tov
