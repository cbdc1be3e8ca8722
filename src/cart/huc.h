// Hudson's HuC1 and HuC3 controllers, handled as MBC1- and MBC3-like mappers whose RAM
// area reads 1 while the RAM is disabled (the infrared port is not emulated).
#pragma once
#include "cart/mbc125.h"
#include "cart/mbc3.h"

namespace tov {

class tcarthuc1 : public tcartmbc1 {
public:
    tcarthuc1(std::vector<uint8_t> image, int32_t ramsize, bool battery,
              const tcartoptions* options = nullptr, thostclock& clock = realclock());
    void romwrite(uint16_t address, uint8_t value) override;
    uint8_t ramread(uint16_t address) override;
    std::string mappername() const override { return "HuC1"; }
    // Plain bank registers: the ROM and RAM banks as written, bank 0 always at 0x0000.
    void mappages() override { tcartmbcbase::mappages(); }
    uint8_t romread(uint16_t address) override { return tcartmbcbase::romread(address); }
    void afterstateload() override { tcartmbcbase::afterstateload(); }

protected:
    void staterombank(int32_t bank) override { setrombank(bank); }
};

class tcarthuc3 : public tcartmbc3 {
public:
    tcarthuc3(std::vector<uint8_t> image, int32_t ramsize, bool battery,
              const tcartoptions* options = nullptr, thostclock& clock = realclock());
    uint8_t ramread(uint16_t address) override;
    std::string mappername() const override { return "HuC3"; }
};

}  // namespace tov
