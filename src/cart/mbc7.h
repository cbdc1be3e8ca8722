// MBC7: the controller with a two-axis tilt sensor and a 256-word serial EEPROM (93LC56
// style, 16-bit words), driven bit by bit through the control register at 0xA080. The
// EEPROM lives in the first 512 bytes of the cartridge RAM buffer, word w big-endian at
// bytes 2w and 2w + 1, so the ".sav" file and the "SRAM" state chunk carry it.
#pragma once
#include "cart/mbcbase.h"

namespace tov {

class ttiltsource;

// Raw sensor position (0-511 on each axis, 255 level) from the host: the cursor scaled to
// the screen when `MBC7Joystick` is 0, else joystick `MBC7Joystick` scaled from its axes;
// 255 on both axes when that input cannot be read or there is no host.
void tiltraw(int32_t joystick, ttiltsource* source, int32_t& rawx, int32_t& rawy);

class tcartmbc7 : public tcartmbcbase {
public:
    using tcartmbcbase::tcartmbcbase;

    // EEPROM protocol states.
    enum { eenone, eeopcode, eeaddress, eedata, eeshiftout, eewaitcs };
    static constexpr int eewords = 256;

    // Fields, in the order of the cartridge record; none is saved in states or files.
    int16_t accelx = 0;          // last sampled X offset
    int16_t accely = 0;          // last sampled Y offset
    int32_t eecs = 0;            // chip select: bit 7 of the last control write
    int32_t eeclk = 0;           // clock: bit 6 of the last control write
    int32_t eestate = eenone;
    uint32_t eeshift = 0;        // shift register; the low 16 bits are data
    int32_t eeidle = 0;          // waiting for a start bit
    int32_t eecount = 0;         // bits counted in the current state
    int32_t eeop = 0;            // 2-bit opcode
    uint32_t eeaddr = 0;         // 8-bit word address
    int32_t eewriteenable = 0;   // EWEN seen
    int32_t eedo = 0;            // data-out bit

    void cartreset() override;
    void romwrite(uint16_t address, uint8_t value) override;
    uint8_t ramread(uint16_t address) override;
    void ramwrite(uint16_t address, uint8_t value) override;
    uint8_t peekram(uint16_t address) override;
    void mapram() override;
    int maxrambank() override { return 15; }
    bool isstandardwrite(uint16_t address, uint8_t value) override;
    std::string mappername() const override { return "MBC7"; }
    void afterstateload() override;

    // The sensor values as the registers give them: 2047 + the offset (1792-2303, 2048 level).
    uint16_t tiltx() const { return uint16_t(accelx + 2047); }
    uint16_t tilty() const { return uint16_t(accely + 2047); }
    // Takes a new sample from the host (what a read of the X or Y registers does).
    void sampletilt();
    // One EEPROM word as stored in the cartridge RAM.
    uint16_t eeword(int index) const;
    void seteeword(int index, uint16_t value);
    // A write of `value` to the control register 0xA080 (chip select, clock, data in).
    void eecontrol(uint8_t value);

private:
    uint8_t registerread(uint16_t address) const;
};

}  // namespace tov
