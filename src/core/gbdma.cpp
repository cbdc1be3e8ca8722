// GBC video-memory DMA (HBlank and general) and the joypad.
#include "core/gb.h"

namespace tov {

void tgb::hdma5write(uint8_t value) {
    cpu.exitflag = 1;
    if (!(value & 0x80) && !(hdma5 & 0x80)) {
        // Writing bit 7 clear stops an active HBlank DMA; the remaining count stays.
        hdma5 |= 0x80;
    } else if (value & 0x80) {
        hdma5 = value & 0x7F;
        const bool lcdon = lcdregs.lcdc & lcdcenable;
        if (value == 0x80) {
            if ((stat & statmode) != 3 || !lcdon) {
                hdmablock();
            } else {
                // End mode 3 now: the line is drawn, HBlank starts and the block runs.
                hdmadeferred = true;
                lcdcountdown = -1;
            }
        } else if (!lcdon || (stat & statmode) == 0) {
            // Started with the LCD off, or inside an HBlank, the first block is copied at
            // once; the others follow the coming HBlanks.
            hdmablock();
        }
    } else {
        generaldma(value);
    }
}

void tgb::hdmablock() {
    if (!gbcmode || (hdma5 & 0x80)) return;
    hdmasource &= 0xFFF0;
    hdmadest = uint16_t((hdmadest & 0x1FF0) | 0x8000);
    for (int i = 0; i < 16; i++)
        writebyte(uint16_t(hdmadest + i), readbyte(uint16_t(hdmasource + i)));
    hdmasource = uint16_t(hdmasource + 16);
    hdmadest = uint16_t((hdmadest + 16) & 0x1FF0);
    hdma5 = uint8_t(hdma5 - 1);
    // A destination that runs past the end of video RAM ends the transfer.
    if (hdmadest == 0) hdma5 = 0xFF;
    chargetime(16);
}

void tgb::generaldma(uint8_t value) {
    // The source's low four bits are ignored, and the destination is bits 4-12 inside
    // video RAM; a transfer that would run past 0x9FFF stops there.
    hdmasource &= 0xFFF0;
    hdmadest = uint16_t((hdmadest & 0x1FF0) | 0x8000);
    int n = (value & 0x7F) * 16 + 16;
    if (n > 0xA000 - hdmadest) n = 0xA000 - hdmadest;
    // Reading video memory through this DMA gives a filler, then open-bus 0xFF.
    uint8_t filler = (hdmasource >= 0x8000 && hdmasource <= 0x9FFF) ? 0x3E : 0x0F;
    int counter = 3;
    for (int i = 0; i < n; i++) {
        if (hdmasource >= 0x8000 && hdmasource <= 0x9FFF) counter--;
        uint8_t b;
        if (counter == 3) b = readbyte(hdmasource);
        else if (counter > 0) b = filler;
        else b = 0xFF;
        writebyte(hdmadest, b);
        hdmasource = uint16_t(hdmasource + 1);
        hdmadest = uint16_t(hdmadest + 1);
    }
    hdma5 = 0xFF;
    hdmadest &= 0x1FF0;
    chargetime(n);
}

void tgb::joypadset(int controller, int bit, bool pressed) {
    if (controller < 0 || controller > 3 || bit < 0 || bit > 7) return;
    if (controller == 1 && link && link->sendjoypad(bit, pressed)) return;
    uint32_t mask = 1u << bit;
    if (bool(joypad[controller] & mask) == pressed) return;
    if (pressed)
        joypad[controller] |= mask;
    else
        joypad[controller] &= ~mask;
    setirqlines(16, 16);
    setirqlines(0, 16);
}

uint8_t tgb::joypadread() const {
    uint8_t a = p1select | 0xCF;
    uint8_t b = 0;
    if (sgbmode) {
        int index = sgb->currentjoypad();
        if (index >= 0 && index <= 3) {
            b = uint8_t(joypad[index]);
            if ((p1select & 0x30) == 0x30) a &= uint8_t(~index);
        }
    } else {
        b = uint8_t(joypad[0] | joypad[1]);
    }
    if (!options.JoyOpposite) {
        if ((b & 0x03) == 0x03) b &= uint8_t(~0x03);
        if ((b & 0x0C) == 0x0C) b &= uint8_t(~0x0C);
    }
    if (!(p1select & 0x10)) a &= uint8_t(~(b & 0x0F));
    if (!(p1select & 0x20)) a &= uint8_t(~(b >> 4));
    return a;
}

}  // namespace tov
