#include "cart/mbc125.h"

namespace tov {

// ---- MBC1

void tcartmbc1::cartreset() {
    tcartmbcbase::cartreset();
    mbc1mode = true;
}

void tcartmbc1::romwrite(uint16_t address, uint8_t v) {
    switch (address & 0xE000) {
    case 0x0000:
        setsramenable((v & 0x0F) == 0x0A);
        break;
    case 0x2000: {
        // The low five bits never select bank 0; the two upper bits stay.
        int32_t low = v & 0x1F;
        if (low == 0) low = 1;
        setrombank((rombank & 0x60) | low);
        break;
    }
    case 0x4000:
        if (!mbc1mode)
            setrambank(v & 3);
        else
            setrombank(((v << 5) & 0x60) | (rombank & 0x1F));
        break;
    case 0x6000: {
        // The two extra bits move between the ROM and the RAM bank number.
        int32_t extra = mbc1mode ? (rombank >> 5) & 3 : rambank;
        mbc1mode = (v & 1) == 0;
        if (v & 1) {
            setrombank(rombank & 0x1F);
            setrambank(extra);
        } else {
            setrombank((rombank & 0x1F) | (extra << 5));
            setrambank(0);
        }
        break;
    }
    }
}

bool tcartmbc1::isstandardwrite(uint16_t address, uint8_t v) {
    switch (address & 0xE000) {
    case 0x0000: return v == 0 || v == 0x0A;
    case 0x2000: return v >= 1 && v <= 31 && bankallowed(v);
    case 0x4000:
        if (v > 3) return false;
        if (mbc1mode) return v <= ((uint32_t(rombankmask) - 1u) >> 5);
        return v <= maxrambank();
    case 0x6000: return v == 0 || v == 1;
    }
    return false;
}

// ---- MBC2

void tcartmbc2::cartreset() {
    ramsize = 512;
    tcartmbcbase::cartreset();
}

void tcartmbc2::romwrite(uint16_t address, uint8_t v) {
    // Address bit 8 tells the two registers apart.
    bool bit8 = (address & 0x100) != 0;
    switch (address & 0xE000) {
    case 0x0000:
        if (!bit8) setsramenable((v & 0x0F) == 0x0A);
        break;
    case 0x2000:
        if (bit8) setrombank(v & 0x0F);
        break;
    }
}

bool tcartmbc2::isstandardwrite(uint16_t address, uint8_t v) {
    bool bit8 = (address & 0x100) != 0;
    switch (address & 0xE000) {
    case 0x0000: return !bit8 && (v == 0 || v == 0x0A);
    case 0x2000: return bit8 && v >= 1 && v <= 15 && bankallowed(v);
    }
    return false;
}

void tcartmbc2::mapram() {
    // Never a direct pointer: the stored nibbles read back with the upper bits set.
    setpage(10, ramreadroutine, nullptr);
    setpage(11, ramreadroutine, nullptr);
}

uint8_t tcartmbc2::ramread(uint16_t address) {
    if (!sramenable) return 0xFF;
    uint32_t offset = uint32_t(address) - 0xA000u;
    if (offset < 512 && sram && offset < uint32_t(ramalloc)) return sram[offset] | 0xF0;
    return 0xFF;
}

void tcartmbc2::ramwrite(uint16_t address, uint8_t v) {
    if (!sramenable) return;
    uint32_t offset = uint32_t(address) - 0xA000u;
    if (offset < 512 && sram && offset < uint32_t(ramalloc)) sram[offset] = v | 0xF0;
}

// ---- MBC5

void tcartmbc5::romwrite(uint16_t address, uint8_t v) {
    // From the first register write on, bank 0 may appear at 0x4000.
    rombank0ok = true;
    switch (address & 0xF000) {
    case 0x0000:
    case 0x1000:
        setsramenable((v & 0x0F) == 0x0A);
        break;
    case 0x2000:
        setrombank(v | (rombank & 0x100));
        break;
    case 0x3000:
        setrombank((rombank & 0xFF) | ((v << 8) & 0x100));
        break;
    case 0x4000:
    case 0x5000:
        setrambank(v & 0x0F);
        break;
    }
}

bool tcartmbc5::isstandardwrite(uint16_t address, uint8_t v) {
    switch (address & 0xF000) {
    case 0x0000:
    case 0x1000: return v == 0 || v == 0x0A;
    case 0x2000: return bankallowed(v | (rombank & 0x100));
    case 0x3000: return bankallowed((v << 8) | (rombank & 0xFF));
    case 0x4000:
    case 0x5000: return v <= 15 && v <= maxrambank();
    }
    return false;
}

void tcartmbc5rumble::romwrite(uint16_t address, uint8_t v) {
    if ((address & 0xE000) == 0x4000) {
        rumble = (v & 0x08) != 0;
        v &= 7;
    }
    tcartmbc5::romwrite(address, v);
}

}  // namespace tov
