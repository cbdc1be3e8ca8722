#include "cart/generic.h"

namespace tov {

void tcartgeneric::romwrite(uint16_t address, uint8_t v) {
    // `mbc1mode` is the banking style: 0 after creation and never reset.
    switch (address & 0xE000) {
    case 0x0000:
        break;  // the RAM stays as the reset left it
    case 0x2000:
        if (mbc1mode)
            setrombank((v & 0x1F) | (rombank & 0xE0));
        else
            setrombank(v);
        break;
    case 0x4000:
        if (mbc1mode)
            setrombank(((v & 3) << 5) | (rombank & 0x1F));
        else
            setrambank(v);
        break;
    case 0x6000:
        mbc1mode = (v & 1) == 0;
        break;
    }
}

bool tcartgeneric::isstandardwrite(uint16_t address, uint8_t v) {
    switch (address & 0xE000) {
    case 0x0000: return v == 0 || v == 0x0A;
    case 0x2000: return v >= 1 && bankallowed(v);
    case 0x4000: return v < ramsize / 8192;
    case 0x6000: return v == 0 || v == 1;
    }
    return false;
}

}  // namespace tov
