// The common memory bank controllers MBC1, MBC2 and MBC5 (with the rumble variant).
#pragma once
#include "cart/mbcbase.h"

namespace tov {

// MBC1 as wired on the cartridge: a 5-bit register (BANK1, 0x2000) whose value 0 reads as 1,
// a 2-bit register (BANK2, 0x4000) that always gives ROM address bits 19-20 at 0x4000-0x7FFF,
// and the mode register (0x6000) that also applies BANK2 to 0x0000-0x3FFF and to the RAM
// bank in mode 1. `mbc1mode` is 1 in mode 0 (BANK2 only for the upper ROM bank).
class tcartmbc1 : public tcartmbcbase {
public:
    using tcartmbcbase::tcartmbcbase;

    uint8_t bank1 = 1;       // 0x2000 register, 1-31
    uint8_t bank2 = 0;       // 0x4000 register, 0-3
    int32_t zerobank = 0;    // ROM bank at 0x0000-0x3FFF
    // The 8 Mbit multicart wiring: BANK1 has only four bits on the ROM, BANK2 gives address
    // bits 18-19. Detected from a second Nintendo logo at the start of bank 0x10.
    bool multicart = false;

    void cartreset() override;
    void mappages() override;
    void romwrite(uint16_t address, uint8_t value) override;
    uint8_t romread(uint16_t address) override;
    bool isstandardwrite(uint16_t address, uint8_t value) override;
    std::string mappername() const override { return "MBC1"; }
    void afterstateload() override;

    // True for a 1 MiB image with the logo at 0x40104 as well as at 0x104.
    static bool ismulticart(const uint8_t* rom, int32_t size);

protected:
    // The state keeps the mapped banks ("ROMB", "SRMB", "mbc1mode"); the registers are
    // worked out from them after the load (see afterstateload).
    void staterombank(int32_t bank) override { rombank = bank & rombankmask; }
    // Maps both ROM windows and the RAM bank from the three registers.
    void mapbanks();
    void maprom(int firstpage, int32_t bank, uint32_t base);
};

// MBC2: 512 half-bytes of RAM inside the controller, repeated through 0xA000-0xBFFF; the
// upper nibble reads as 1s. Address bit 8 tells its two registers apart anywhere in
// 0x0000-0x3FFF.
class tcartmbc2 : public tcartmbcbase {
public:
    using tcartmbcbase::tcartmbcbase;
    void cartreset() override;
    void romwrite(uint16_t address, uint8_t value) override;
    bool isstandardwrite(uint16_t address, uint8_t value) override;
    std::string mappername() const override { return "MBC2"; }
    uint8_t ramread(uint16_t address) override;
    void ramwrite(uint16_t address, uint8_t value) override;
    void mapram() override;
};

class tcartmbc5 : public tcartmbcbase {
public:
    using tcartmbcbase::tcartmbcbase;
    void romwrite(uint16_t address, uint8_t value) override;
    bool isstandardwrite(uint16_t address, uint8_t value) override;
    std::string mappername() const override { return "MBC5"; }

protected:
    // Bank 0 at 0x4000 is only possible after a register write, which also allows it from
    // then on; a state holding bank 0 was saved after one.
    void staterombank(int32_t bank) override {
        if (bank == 0) rombank0ok = true;
        setrombank(bank);
    }
};

// MBC5 whose RAM bank register bit 3 drives the rumble motor.
class tcartmbc5rumble : public tcartmbc5 {
public:
    using tcartmbc5::tcartmbc5;
    bool rumble = false;  // motor state as last written
    void romwrite(uint16_t address, uint8_t value) override;
    std::string mappername() const override { return tcartmbc5::mappername() + "-rumble"; }
};

}  // namespace tov
