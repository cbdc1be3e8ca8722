#include "cart/mbc7.h"

#include <algorithm>

#include "cart/cartoptions.h"
#include "cart/tilt.h"

namespace tov {

void tiltraw(int32_t joystick, ttiltsource* source, int32_t& rawx, int32_t& rawy) {
    rawx = rawy = 255;
    if (!source) return;
    if (joystick <= 0) {
        int32_t x, y, w, h;
        if (!source->cursor(x, y, w, h) || w <= 0 || h <= 0) return;
        // A cursor on another monitor lies outside this screen: hold it at the edge.
        rawx = int32_t(int64_t(std::clamp(x, 0, w)) * 511 / w);
        rawy = int32_t(int64_t(std::clamp(y, 0, h)) * 511 / h);
    } else {
        int32_t x, y;
        if (!source->joystick(joystick, x, y)) return;
        rawx = std::clamp(x, 0, 65535) * 511 / 65535;
        rawy = std::clamp(y, 0, 65535) * 511 / 65535;
    }
}

void tcartmbc7::cartreset() {
    // The EEPROM's 512 bytes sit in a 32 KiB RAM buffer, whatever the header says.
    ramsize = 32768;
    tcartmbcbase::cartreset();
}

void tcartmbc7::romwrite(uint16_t address, uint8_t v) {
    switch (address & 0xE000) {
    case 0x2000:
        setrombank(v & 0x7F);
        break;
    case 0x4000:
        if (v >= 8) {
            setsramenable(false);
        } else {
            setsramenable(true);
            setrambank(v & 3);
        }
        break;
    }
}

void tcartmbc7::mapram() {
    // Sensor and EEPROM registers only: every access goes through the routines.
    setpage(10, ramreadroutine, nullptr);
    setpage(11, ramreadroutine, nullptr);
}

bool tcartmbc7::isstandardwrite(uint16_t address, uint8_t v) {
    switch (address & 0xE000) {
    case 0x2000: return v >= 1 && v <= 127 && bankallowed(v);
    case 0x4000: return v < 16;
    }
    return false;
}

void tcartmbc7::sampletilt() {
    int32_t rawx, rawy;
    tiltraw(options ? options->MBC7Joystick : 0, options ? options->tilt : nullptr, rawx, rawy);
    // Right and down lower the value.
    accelx = int16_t(511 - rawx - 255);
    accely = int16_t(511 - rawy - 255);
}

uint8_t tcartmbc7::registerread(uint16_t address) const {
    // Only address bits 4-7 select the register; the RAM enable does not matter.
    switch (address & 0xF0) {
    case 0x00:
    case 0x10:
    case 0x60:
    case 0x70: return 0;
    case 0x20: return uint8_t(tiltx());
    case 0x30: return uint8_t(tiltx() >> 8);
    case 0x40: return uint8_t(tilty());
    case 0x50: return uint8_t(tilty() >> 8);
    case 0x80: return uint8_t(eedo);
    }
    return 0xFF;
}

uint8_t tcartmbc7::ramread(uint16_t address) {
    if ((address & 0xE0) == 0x20 || (address & 0xE0) == 0x40) sampletilt();
    return registerread(address);
}

uint8_t tcartmbc7::peekram(uint16_t address) { return registerread(address); }

void tcartmbc7::ramwrite(uint16_t address, uint8_t v) {
    if (address == 0xA080) eecontrol(v);
}

uint16_t tcartmbc7::eeword(int index) const {
    if (!sram || index < 0 || index >= eewords || ramalloc < 2 * eewords) return 0xFFFF;
    return uint16_t(sram[2 * index] << 8 | sram[2 * index + 1]);
}

void tcartmbc7::seteeword(int index, uint16_t value) {
    if (!sram || index < 0 || index >= eewords || ramalloc < 2 * eewords) return;
    sram[2 * index] = uint8_t(value >> 8);
    sram[2 * index + 1] = uint8_t(value);
}

void tcartmbc7::eecontrol(uint8_t v) {
    const int32_t oldcs = eecs, oldclk = eeclk;
    eecs = (v >> 7) & 1;
    eeclk = (v >> 6) & 1;
    const uint32_t di = (v >> 1) & 1;

    // Chip select is looked at before the clock, so one write may select and clock a bit.
    if (!oldcs && eecs) {
        if (eestate == eewaitcs) {
            // The rise of chip select ends a write or erase: the EEPROM is ready again.
            if (eewriteenable) seteeword(int(eeaddr), uint16_t(eeshift));
            eestate = eenone;
            eedo = 1;
        } else {
            eeidle = 1;
            eestate = eenone;
        }
    }

    if (!oldclk && eeclk) {
        if (eeidle) {
            if (di) {  // the start bit
                eeidle = 0;
                eecount = 0;
                eestate = eeopcode;
            }
        } else {
            switch (eestate) {
            case eeopcode:
                eeshift = eeshift * 2 + di;
                if (++eecount == 2) {
                    eestate = eeaddress;
                    eecount = 0;
                    eeop = int32_t(eeshift & 3);
                }
                break;
            case eeaddress:
                eeshift = eeshift * 2 + di;
                if (++eecount == 8) {
                    eestate = eedata;
                    eecount = 0;
                    eeaddr = eeshift & 0xFF;
                    if (eeop == 0) {
                        // Extended commands are told apart by address bits 7-6; EWDS and
                        // EWEN take effect at once, WRAL and ERAL wait for their data.
                        if ((eeaddr >> 6) == 0) {
                            eewriteenable = 0;
                            eestate = eenone;
                        } else if ((eeaddr >> 6) == 3) {
                            eewriteenable = 1;
                            eestate = eenone;
                        }
                    }
                }
                break;
            case eedata:
                eeshift = eeshift * 2 + di;
                eecount++;
                switch (eeop) {
                case 0:
                    if (eecount == 16) {
                        switch (eeaddr >> 6) {
                        case 0:
                            eewriteenable = 0;
                            eestate = eenone;
                            break;
                        case 1:  // WRAL
                            if (eewriteenable)
                                for (int w = 0; w < eewords; w++) seteeword(w, uint16_t(eeshift));
                            eestate = eewaitcs;
                            break;
                        case 2:  // ERAL
                            if (eewriteenable)
                                for (int w = 0; w < eewords; w++) seteeword(w, 0xFFFF);
                            // The chip-select rise stores the shift register at the
                            // command's address: make that the erased value too, not the
                            // 16 bits clocked after the command.
                            eeshift = 0xFFFF;
                            eestate = eewaitcs;
                            break;
                        case 3:
                            eewriteenable = 1;
                            eestate = eenone;
                            break;
                        }
                        eecount = 0;
                    }
                    break;
                case 1:  // WRITE: busy until chip select rises again
                    if (eecount == 16) {
                        eecount = 0;
                        eestate = eewaitcs;
                        eedo = 0;
                    }
                    break;
                case 2:  // READ: the dummy bit after the address starts the word
                    if (eecount == 1) {
                        eestate = eeshiftout;
                        eecount = 0;
                        eeshift = eeword(int(eeaddr));
                    }
                    break;
                case 3:  // ERASE
                    if (eecount == 16) {
                        eecount = 0;
                        eestate = eewaitcs;
                        eedo = 0;
                        eeshift = 0xFFFF;
                    }
                    break;
                }
                break;
            default:
                break;
            }
        }
    }

    if (oldclk && !eeclk && eestate == eeshiftout) {
        // Data out changes on the falling clock, most significant bit first.
        eedo = int32_t((eeshift >> 15) & 1);
        eeshift <<= 1;
        if (++eecount == 16) {
            eecount = 0;
            eestate = eenone;
        }
    }
}

void tcartmbc7::afterstateload() {
    tcartmbcbase::afterstateload();
    // The state holds the EEPROM but not a transfer in progress: whatever this object was
    // doing belongs to another moment, and finishing it (a pending write at the next chip
    // select) would put a stale word into the loaded EEPROM. The chip is left deselected
    // and ready; the game's next command starts with a chip-select rise as always.
    eestate = eenone;
    eeidle = 0;
    eecount = 0;
    eedo = 1;
}

}  // namespace tov
