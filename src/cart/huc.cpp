#include "cart/huc.h"

namespace tov {

tcarthuc1::tcarthuc1(std::vector<uint8_t> image, int32_t ramsize_, bool battery_,
                     const tcartoptions* options_, thostclock& clock_)
    : tcartmbc1(std::move(image), ramsize_, battery_, options_, clock_) {
    keepsramenable = true;
}

void tcarthuc1::romwrite(uint16_t address, uint8_t v) {
    switch (address & 0xE000) {
    case 0x0000:
        setsramenable((v & 0x0F) == 0x0A);
        break;
    case 0x2000:
        setrombank(v & 0x7F);
        break;
    case 0x4000:
        setrambank(v & 0x0F);
        break;
    }
}

uint8_t tcarthuc1::ramread(uint16_t address) {
    if (!sramenable) return 1;
    return tcartmbc1::ramread(address);
}

tcarthuc3::tcarthuc3(std::vector<uint8_t> image, int32_t ramsize_, bool battery_,
                     const tcartoptions* options_, thostclock& clock_)
    : tcartmbc3(std::move(image), ramsize_, battery_, options_, clock_) {
    keepsramenable = true;
}

uint8_t tcarthuc3::ramread(uint16_t address) {
    if (!sramenable) return 1;
    return tcartmbc3::ramread(address);
}

}  // namespace tov
