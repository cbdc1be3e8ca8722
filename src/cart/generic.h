// A tolerant mapper for the compatibility mode: eight-bit ROM bank numbers with a RAM
// bank register until the game asks for MBC1-style banking by writing 0 to 0x6000.
#pragma once
#include "cart/mbcbase.h"

namespace tov {

class tcartgeneric : public tcartmbcbase {
public:
    using tcartmbcbase::tcartmbcbase;
    void romwrite(uint16_t address, uint8_t value) override;
    bool isstandardwrite(uint16_t address, uint8_t value) override;
    std::string mappername() const override { return "generic"; }
};

}  // namespace tov
