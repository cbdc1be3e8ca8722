// The GBC video-memory DMA tests' set-up: a colour cartridge holding a byte pattern for the
// transfers to copy, and the four address registers written as a game writes them.
#pragma once
#include <cstdint>

#include "core/gb.h"
#include "support/testrom.h"

namespace tov::testing {

// A GBC cartridge with the byte 0x40 + i at 0x200 + i (i < 0x100): every copied byte tells
// where it came from.
inline tromimage patternrom() {
    tromimage rom;
    rom.colour(0x80);
    for (int i = 0; i < 0x100; i++) rom.bytes[0x200 + i] = uint8_t(0x40 + i);
    return rom;
}

// HDMA1-HDMA4: source and destination, high byte first.
inline void setdma(tgb& gb, uint16_t source, uint16_t dest) {
    gb.writebyte(0xFF51, uint8_t(source >> 8));
    gb.writebyte(0xFF52, uint8_t(source));
    gb.writebyte(0xFF53, uint8_t(dest >> 8));
    gb.writebyte(0xFF54, uint8_t(dest));
}

}  // namespace tov::testing
