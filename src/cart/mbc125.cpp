#include "cart/mbc125.h"

namespace tov {

// ---- MBC1

namespace {

constexpr int32_t rombanksize = 16384;

// The rotating hash of the boot ROM's logo check over the 48 bytes at `offset` + 0x104.
bool nintendologoat(const uint8_t* rom, int32_t size, int32_t offset) {
    if (!rom || int64_t(offset) + 0x134 > size) return false;
    uint32_t h = 0;
    for (int i = 0x104; i <= 0x133; i++) {
        h ^= rom[offset + i];
        h = (h << 3) | (h >> 29);
    }
    return h == 0xEB65AF85u;
}

}  // namespace

bool tcartmbc1::ismulticart(const uint8_t* rom, int32_t size) {
    // Multicarts put a complete game with its own header in every 256 KiB quarter; the
    // menu's header in bank 0 and the first game's in bank 0x10 are the telling pair.
    return size == 1024 * 1024 && nintendologoat(rom, size, 0) && nintendologoat(rom, size, 0x40000);
}

void tcartmbc1::cartreset() {
    tcartmbcbase::cartreset();
    mbc1mode = true;
    bank1 = 1;
    bank2 = 0;
    multicart = ismulticart(rom, romsize);
    mappages();
}

void tcartmbc1::maprom(int firstpage, int32_t bank, uint32_t base) {
    uint8_t* pointer = nullptr;
    if (rom && int64_t(romalloc) >= (int64_t(bank) + 1) * rombanksize)
        pointer = biased(rom, int64_t(bank) * rombanksize, base);
    for (int i = firstpage; i < firstpage + 4; i++) setpage(i, romreadroutine, pointer);
}

void tcartmbc1::mapbanks() {
    const int shift = multicart ? 4 : 5;
    const int32_t low = multicart ? (bank1 & 0x0F) : bank1;
    const int32_t upper = int32_t(bank2) << shift;
    // BANK2 always reaches the ROM at 0x4000; in mode 1 also at 0x0000 and the RAM. The
    // zero test looked at all five bits of BANK1, so a ROM of 256 KiB or less can still
    // map bank 0 here (BANK1 = 0x10), and so can a multicart.
    rombank = (upper | low) & rombankmask;
    zerobank = mbc1mode ? 0 : upper & rombankmask;
    maprom(0, zerobank, 0x0000);
    maprom(4, rombank, 0x4000);
    setrambank(mbc1mode ? 0 : bank2);
}

void tcartmbc1::mappages() { mapbanks(); }

uint8_t tcartmbc1::romread(uint16_t address) {
    int32_t bank = address < 0x4000 ? zerobank : rombank;
    int64_t offset = int64_t(address & 0x3FFF) + int64_t(bank) * rombanksize;
    if (rom && offset < romsize) return rom[offset];
    return 0xFF;
}

void tcartmbc1::romwrite(uint16_t address, uint8_t v) {
    switch (address & 0xE000) {
    case 0x0000:
        setsramenable((v & 0x0F) == 0x0A);
        return;
    case 0x2000:
        bank1 = uint8_t(v & 0x1F);
        if (bank1 == 0) bank1 = 1;
        break;
    case 0x4000:
        bank2 = uint8_t(v & 3);
        break;
    case 0x6000:
        mbc1mode = (v & 1) == 0;
        break;
    }
    mapbanks();
}

void tcartmbc1::afterstateload() {
    // The registers behind the saved banks: BANK1 from the low bits of the upper ROM bank
    // (a low part of 0 means bits above the ROM size were set), BANK2 from the upper ROM
    // bank and, in mode 1, the RAM bank: each holds the bits its size lets through (a state
    // written before the registers were kept has them in the RAM bank only, in mode 1).
    const int shift = multicart ? 4 : 5;
    int32_t low = rombank & (multicart ? 0x0F : 0x1F);
    if (low == 0) low = multicart ? 0x10 : (rombankmask + 1) & 0x1F;
    bank1 = uint8_t(low == 0 ? 1 : low);
    bank2 = uint8_t(((rombank >> shift) | (mbc1mode ? 0 : rambank)) & 3);
    tcartmbcbase::afterstateload();
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
    // One register pair over all of 0x0000-0x3FFF: address bit 8 clear is the RAM enable,
    // set the ROM bank (four bits, 0 reads as 1).
    if (address >= 0x4000) return;
    if (address & 0x100)
        setrombank(v & 0x0F);
    else
        setsramenable((v & 0x0F) == 0x0A);
}

bool tcartmbc2::isstandardwrite(uint16_t address, uint8_t v) {
    if (address >= 0x4000) return false;
    if (address & 0x100) return v >= 1 && v <= 15 && bankallowed(v);
    return v == 0 || v == 0x0A;
}

void tcartmbc2::mapram() {
    // Never a direct pointer: the stored nibbles read back with the upper bits set.
    setpage(10, ramreadroutine, nullptr);
    setpage(11, ramreadroutine, nullptr);
}

uint8_t tcartmbc2::ramread(uint16_t address) {
    if (!sramenable) return 0xFF;
    // Nine address lines reach the RAM: the 512 half-bytes repeat through the window.
    uint32_t offset = (uint32_t(address) - 0xA000u) & 0x1FFu;
    if (sram && offset < uint32_t(ramalloc)) return sram[offset] | 0xF0;
    return 0xFF;
}

void tcartmbc2::ramwrite(uint16_t address, uint8_t v) {
    if (!sramenable) return;
    uint32_t offset = (uint32_t(address) - 0xA000u) & 0x1FFu;
    if (sram && offset < uint32_t(ramalloc)) sram[offset] = v | 0xF0;
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
