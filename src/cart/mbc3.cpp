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
        setrombank(v & 0x7F);
        break;
    case 0x4000:
        // 0-3 select RAM, 8-12 a clock register (see mapram).
        setrambank(v & 0x0F);
        break;
    case 0x6000:
        // Writing 0 then 1 copies the live clock into the readable copy; the copy stays
        // frozen while the last write was 1.
        if (v & 1) {
            latchheld = true;
        } else if (latchheld) {
            latchheld = false;
            rtclatched = rtc;
        }
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

uint8_t tcartmbc3::ramread(uint16_t address) {
    if (clockmapped && rambank >= 8 && rambank <= 12)
        return static_cast<uint8_t>(rtclatched[size_t(rambank - 8)] & 0xFF);
    return tcartmbcbase::ramread(address);
}

void tcartmbc3::ramwrite(uint16_t address, uint8_t v) {
    if (clockmapped && rambank >= 8 && rambank <= 12) {
        size_t r = size_t(rambank - 8);
        rtc[r] = v;
        if (!latchheld) rtclatched[r] = v;
        return;
    }
    tcartmbcbase::ramwrite(address, v);
}

bool tcartmbc3::isstandardwrite(uint16_t address, uint8_t v) {
    switch (address & 0xE000) {
    case 0x0000: return v == 0 || v == 0x0A;
    case 0x2000: return v >= 1 && v <= 127 && bankallowed(v);
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
    if (!(rtc[rtcdayhigh] & 0x40)) {
        if (++rtc[rtcseconds] >= 60) {
            rtc[rtcseconds] = 0;
            if (++rtc[rtcminutes] >= 60) {
                rtc[rtcminutes] = 0;
                if (++rtc[rtchours] > 23) {
                    rtc[rtchours] = 0;
                    if (++rtc[rtcdaylow] >= 256) {
                        rtc[rtcdaylow] = 0;
                        // Day bit 8 carries into the overflow flag.
                        if (rtc[rtcdayhigh] & 1)
                            rtc[rtcdayhigh] = uint16_t((rtc[rtcdayhigh] & ~1) | 0x80);
                        else
                            rtc[rtcdayhigh] |= 1;
                    }
                }
            }
        }
    }
    if (!latchheld) rtclatched = rtc;
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
