// The common memory bank controllers MBC1, MBC2 and MBC5 (with the rumble variant).
#pragma once
#include "cart/mbcbase.h"

namespace tov {

class tcartmbc1 : public tcartmbcbase {
public:
    using tcartmbcbase::tcartmbcbase;
    void cartreset() override;
    void romwrite(uint16_t address, uint8_t value) override;
    bool isstandardwrite(uint16_t address, uint8_t value) override;
    std::string mappername() const override { return "MBC1"; }
};

// MBC2: 512 half-bytes of RAM inside the controller; the upper nibble reads as 1s.
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
