// The I/O registers of 0xFF00-0xFF7F and 0xFFFF, named once: address, the bus's dispatch
// code, names, meaning, the bits that read as 1 and on which hardware each exists; and the
// named bits of LCDC, STAT, IF and IE.
#pragma once
#include <cstdint>
#include <string_view>

namespace tov {

// I/O register codes of the 0xF000-0xFFFF page, one per address.
enum tiocode : uint8_t {
    ioNone, ioEcho, ioOAM, ioUnusable, ioP1, ioSB, ioSC, ioDIV, ioTIMA, ioTMA, ioTAC, ioIF,
    ioSound, ioWave, ioLCDC, ioSTAT, ioSCY, ioSCX, ioLY, ioLYC, ioDMA, ioBGP, ioOBP0, ioOBP1,
    ioWY, ioWX, ioKEY1, ioVBK, ioBOOT, ioHDMA1, ioHDMA2, ioHDMA3, ioHDMA4, ioHDMA5, ioRP,
    ioBCPS, ioBCPD, ioOCPS, ioOCPD, ioSVBK, ioHRAM, ioIE
};

struct tioregister {
    uint16_t address;
    tiocode code;            // ioNone: no register at this address (reads 0xFF)
    const char* name;        // short hardware name ("P1", "NR10", "LCDC"); "" without a register
    const char* disasmname;  // the disassembler's comment ("joypad", "LY"); "?" or "" when unnamed
    const char* meaning;
    // Bits that always read as 1: unused and write-only bits, and the whole byte of a
    // register the machine does not have. Monochrome hardware, then GBC mode.
    uint8_t readonesdmg;
    uint8_t readonesgbc;
    bool ondmg, ongbc;       // the register exists on this hardware
};

// Hardware facts where the bus deliberately differs: NR13/NR23/NR33 and the frequency bits
// of NR14/NR24/NR34 read back what was written, and IE reads 0 in bits 5-7.
inline constexpr int ioregistercount = 129;
inline constexpr tioregister ioregisters[ioregistercount] = {
    {0xFF00, ioP1, "P1", "joypad", "joypad select and buttons", 0xC0, 0xC0, true, true},
    {0xFF01, ioSB, "SB", "serial data", "serial transfer data", 0x00, 0x00, true, true},
    {0xFF02, ioSC, "SC", "serial control", "serial transfer control", 0x7E, 0x7C, true, true},
    {0xFF03, ioNone, "", "", "", 0xFF, 0xFF, false, false},
    {0xFF04, ioDIV, "DIV", "divider", "divider, counts up at 16384 Hz", 0x00, 0x00, true, true},
    {0xFF05, ioTIMA, "TIMA", "timer counter", "timer counter", 0x00, 0x00, true, true},
    {0xFF06, ioTMA, "TMA", "timer modulo", "timer reload value", 0x00, 0x00, true, true},
    {0xFF07, ioTAC, "TAC", "timer ctrl", "timer enable and clock select", 0xF8, 0xF8, true, true},
    {0xFF08, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF09, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF0A, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF0B, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF0C, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF0D, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF0E, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF0F, ioIF, "IF", "int flag", "interrupt requests", 0xE0, 0xE0, true, true},
    {0xFF10, ioSound, "NR10", "NR10", "channel 1 sweep", 0x80, 0x80, true, true},
    {0xFF11, ioSound, "NR11", "NR11", "channel 1 duty and length", 0x3F, 0x3F, true, true},
    {0xFF12, ioSound, "NR12", "NR12", "channel 1 envelope", 0x00, 0x00, true, true},
    {0xFF13, ioSound, "NR13", "NR13", "channel 1 frequency low", 0xFF, 0xFF, true, true},
    {0xFF14, ioSound, "NR14", "NR14", "channel 1 trigger, length enable, frequency high", 0xBF, 0xBF, true, true},
    {0xFF15, ioNone, "", "", "", 0xFF, 0xFF, false, false},
    {0xFF16, ioSound, "NR21", "NR21", "channel 2 duty and length", 0x3F, 0x3F, true, true},
    {0xFF17, ioSound, "NR22", "NR22", "channel 2 envelope", 0x00, 0x00, true, true},
    {0xFF18, ioSound, "NR23", "NR23", "channel 2 frequency low", 0xFF, 0xFF, true, true},
    {0xFF19, ioSound, "NR24", "NR24", "channel 2 trigger, length enable, frequency high", 0xBF, 0xBF, true, true},
    {0xFF1A, ioSound, "NR30", "NR30", "channel 3 on", 0x7F, 0x7F, true, true},
    {0xFF1B, ioSound, "NR31", "NR31", "channel 3 length", 0xFF, 0xFF, true, true},
    {0xFF1C, ioSound, "NR32", "NR32", "channel 3 output level", 0x9F, 0x9F, true, true},
    {0xFF1D, ioSound, "NR33", "NR33", "channel 3 frequency low", 0xFF, 0xFF, true, true},
    {0xFF1E, ioSound, "NR34", "NR34", "channel 3 trigger, length enable, frequency high", 0xBF, 0xBF, true, true},
    {0xFF1F, ioNone, "", "", "", 0xFF, 0xFF, false, false},
    {0xFF20, ioSound, "NR41", "NR41", "channel 4 length", 0xFF, 0xFF, true, true},
    {0xFF21, ioSound, "NR42", "NR42", "channel 4 envelope", 0x00, 0x00, true, true},
    {0xFF22, ioSound, "NR43", "NR43", "channel 4 polynomial counter", 0x00, 0x00, true, true},
    {0xFF23, ioSound, "NR44", "NR44", "channel 4 trigger and length enable", 0xBF, 0xBF, true, true},
    {0xFF24, ioSound, "NR50", "NR50", "master volume and VIN", 0x00, 0x00, true, true},
    {0xFF25, ioSound, "NR51", "NR51", "channel panning", 0x00, 0x00, true, true},
    {0xFF26, ioSound, "NR52", "NR52", "sound on and channel status", 0x70, 0x70, true, true},
    {0xFF27, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF28, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF29, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF2A, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF2B, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF2C, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF2D, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF2E, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF2F, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF30, ioWave, "WAVE0", "wave pattern", "wave pattern bytes 0-1", 0x00, 0x00, true, true},
    {0xFF31, ioWave, "WAVE1", "wave pattern", "wave pattern bytes 2-3", 0x00, 0x00, true, true},
    {0xFF32, ioWave, "WAVE2", "wave pattern", "wave pattern bytes 4-5", 0x00, 0x00, true, true},
    {0xFF33, ioWave, "WAVE3", "wave pattern", "wave pattern bytes 6-7", 0x00, 0x00, true, true},
    {0xFF34, ioWave, "WAVE4", "wave pattern", "wave pattern bytes 8-9", 0x00, 0x00, true, true},
    {0xFF35, ioWave, "WAVE5", "wave pattern", "wave pattern bytes 10-11", 0x00, 0x00, true, true},
    {0xFF36, ioWave, "WAVE6", "wave pattern", "wave pattern bytes 12-13", 0x00, 0x00, true, true},
    {0xFF37, ioWave, "WAVE7", "wave pattern", "wave pattern bytes 14-15", 0x00, 0x00, true, true},
    {0xFF38, ioWave, "WAVE8", "wave pattern", "wave pattern bytes 16-17", 0x00, 0x00, true, true},
    {0xFF39, ioWave, "WAVE9", "wave pattern", "wave pattern bytes 18-19", 0x00, 0x00, true, true},
    {0xFF3A, ioWave, "WAVEA", "wave pattern", "wave pattern bytes 20-21", 0x00, 0x00, true, true},
    {0xFF3B, ioWave, "WAVEB", "wave pattern", "wave pattern bytes 22-23", 0x00, 0x00, true, true},
    {0xFF3C, ioWave, "WAVEC", "wave pattern", "wave pattern bytes 24-25", 0x00, 0x00, true, true},
    {0xFF3D, ioWave, "WAVED", "wave pattern", "wave pattern bytes 26-27", 0x00, 0x00, true, true},
    {0xFF3E, ioWave, "WAVEE", "wave pattern", "wave pattern bytes 28-29", 0x00, 0x00, true, true},
    {0xFF3F, ioWave, "WAVEF", "wave pattern", "wave pattern bytes 30-31", 0x00, 0x00, true, true},
    {0xFF40, ioLCDC, "LCDC", "lcd ctrl", "LCD control", 0x00, 0x00, true, true},
    {0xFF41, ioSTAT, "STAT", "lcd stat", "LCD status and interrupt sources", 0x80, 0x80, true, true},
    {0xFF42, ioSCY, "SCY", "scroll Y", "background scroll Y", 0x00, 0x00, true, true},
    {0xFF43, ioSCX, "SCX", "scroll X", "background scroll X", 0x00, 0x00, true, true},
    {0xFF44, ioLY, "LY", "LY", "current line", 0x00, 0x00, true, true},
    {0xFF45, ioLYC, "LYC", "LYC", "line compare", 0x00, 0x00, true, true},
    {0xFF46, ioDMA, "DMA", "OAM DMA", "OAM DMA source page", 0x00, 0x00, true, true},
    {0xFF47, ioBGP, "BGP", "bg pal", "DMG background palette", 0x00, 0x00, true, true},
    {0xFF48, ioOBP0, "OBP0", "obj pal 0", "DMG object palette 0", 0x00, 0x00, true, true},
    {0xFF49, ioOBP1, "OBP1", "obj pal 1", "DMG object palette 1", 0x00, 0x00, true, true},
    {0xFF4A, ioWY, "WY", "win Y", "window Y position", 0x00, 0x00, true, true},
    {0xFF4B, ioWX, "WX", "win X", "window X position plus 7", 0x00, 0x00, true, true},
    {0xFF4C, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF4D, ioKEY1, "KEY1", "speed switch", "speed switch: current speed and prepare", 0xFF, 0x7E, false, true},
    {0xFF4E, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF4F, ioVBK, "VBK", "vram bank", "VRAM bank", 0xFF, 0xFE, false, true},
    {0xFF50, ioBOOT, "BOOT", "?", "boot image off (write)", 0xFF, 0xFF, true, true},
    {0xFF51, ioHDMA1, "HDMA1", "hdma src hi", "DMA source high", 0xFF, 0xFF, false, true},
    {0xFF52, ioHDMA2, "HDMA2", "hdma src low", "DMA source low", 0xFF, 0xFF, false, true},
    {0xFF53, ioHDMA3, "HDMA3", "hdma dest hi", "DMA destination high", 0xFF, 0xFF, false, true},
    {0xFF54, ioHDMA4, "HDMA4", "hdma dest low", "DMA destination low", 0xFF, 0xFF, false, true},
    {0xFF55, ioHDMA5, "HDMA5", "hdma count", "DMA length, mode and start", 0xFF, 0x00, false, true},
    {0xFF56, ioRP, "RP", "ir port", "infrared port", 0xFF, 0x3E, false, true},
    {0xFF57, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF58, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF59, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF5A, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF5B, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF5C, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF5D, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF5E, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF5F, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF60, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF61, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF62, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF63, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF64, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF65, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF66, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF67, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF68, ioBCPS, "BCPS", "bg pal sel", "background palette index", 0xFF, 0x40, false, true},
    {0xFF69, ioBCPD, "BCPD", "bg pal data", "background palette data", 0xFF, 0x00, false, true},
    {0xFF6A, ioOCPS, "OCPS", "obj pal sel", "object palette index", 0xFF, 0x40, false, true},
    {0xFF6B, ioOCPD, "OCPD", "obj pal data", "object palette data", 0xFF, 0x00, false, true},
    {0xFF6C, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF6D, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF6E, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF6F, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF70, ioSVBK, "SVBK", "wram bank", "work RAM bank", 0xFF, 0xF8, false, true},
    {0xFF71, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF72, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF73, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF74, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF75, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF76, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF77, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF78, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF79, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF7A, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF7B, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF7C, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF7D, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF7E, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFF7F, ioNone, "", "?", "", 0xFF, 0xFF, false, false},
    {0xFFFF, ioIE, "IE", "int enable", "interrupt enable", 0x00, 0x00, true, true},
};

// Index in `ioregisters` of an address of 0xFF00-0xFF7F or 0xFFFF, else -1.
constexpr int ioregisterindex(uint16_t address) {
    if (address == 0xFFFF) return ioregistercount - 1;
    return address >= 0xFF00 && address <= 0xFF7F ? address - 0xFF00 : -1;
}

// The entry of an address of 0xFF00-0xFF7F or 0xFFFF, else null.
constexpr const tioregister* ioregisterat(uint16_t address) {
    const int i = ioregisterindex(address);
    return i < 0 ? nullptr : &ioregisters[i];
}

// The register with this short name ("LCDC", "nr52": case is ignored), else null.
const tioregister* findioregister(std::string_view name);

// Bits of a register that read as 1 (0 for addresses outside the table).
constexpr uint8_t ioreadones(uint16_t address, bool gbcmode) {
    const int i = ioregisterindex(address);
    if (i < 0) return 0;
    return gbcmode ? ioregisters[i].readonesgbc : ioregisters[i].readonesdmg;
}

// A named bit: its caption and, for control bits, what each state means.
struct tiobit {
    uint8_t bit;
    const char* name;
    const char* whenclear;  // null for flags without two named states
    const char* whenset;
};

// LCDC (0xFF40).
inline constexpr uint8_t lcdcbgon = 0x01;      // DMG: background on; GBC: background/window priority
inline constexpr uint8_t lcdcobjon = 0x02;
inline constexpr uint8_t lcdcobj16 = 0x04;     // 8x16 sprites
inline constexpr uint8_t lcdcbgmap = 0x08;     // background map at 0x9C00
inline constexpr uint8_t lcdctiledata = 0x10;  // tiles at 0x8000 numbered 0-255
inline constexpr uint8_t lcdcwindowon = 0x20;
inline constexpr uint8_t lcdcwindowmap = 0x40; // window map at 0x9C00
inline constexpr uint8_t lcdcenable = 0x80;    // LCD on
inline constexpr tiobit lcdcbits[8] = {
    {0, "BG", "off", "on"},
    {1, "OBJ", "off", "on"},
    {2, "OBJ", "8x8", "8x16"},
    {3, "BG", "9800-9bff", "9c00-9fff"},
    {4, "CHR", "8800-97ff", "8000-8fff"},
    {5, "WIN", "off", "on"},
    {6, "WIN", "9800-9bff", "9c00-9fff"},
    {7, "LCD", "off", "on"},
};

// STAT (0xFF41): mode in bits 0-1, then the coincidence flag and the four interrupt sources.
inline constexpr uint8_t statmode = 0x03;
inline constexpr uint8_t statcoincidence = 0x04;  // LY = LYC
inline constexpr uint8_t stathblankint = 0x08;
inline constexpr uint8_t statvblankint = 0x10;
inline constexpr uint8_t statoamint = 0x20;
inline constexpr uint8_t statlycint = 0x40;
inline constexpr tiobit statbits[7] = {
    {0, "mode bit 0", nullptr, nullptr},
    {1, "mode bit 1", nullptr, nullptr},
    {2, "LY=LYC", nullptr, nullptr},
    {3, "HBlank (mode0) int", nullptr, nullptr},
    {4, "Vblank (mode1) int", nullptr, nullptr},
    {5, "OAM (mode2) int", nullptr, nullptr},
    {6, "LY=LYC int", nullptr, nullptr},
};

// IF (0xFF0F) and IE (0xFFFF): one bit per interrupt, lowest bit served first.
inline constexpr uint8_t intvblank = 0x01, intlcd = 0x02, inttimer = 0x04, intserial = 0x08,
                         intjoypad = 0x10;
inline constexpr tiobit interruptbits[5] = {
    {0, "VBlank", nullptr, nullptr},
    {1, "LCD", nullptr, nullptr},
    {2, "Timer", nullptr, nullptr},
    {3, "Serial", nullptr, nullptr},
    {4, "Joypad", nullptr, nullptr},
};
// Vector of interrupt bit n.
constexpr uint16_t interruptvector(int bit) { return uint16_t(0x40 + 8 * bit); }

}  // namespace tov
