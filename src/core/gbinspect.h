// Reading and changing the machine from outside the emulation (debugger, viewers, cheat
// search, I/O map) without the effects of the bus: no renderer or sound notifications from
// reads, no joypad or SGB packet effects, no access rules such as inaccessible VRAM.
#pragma once
#include <array>
#include <cstdint>

#include "video/gbdraw.h"

namespace tov {

class tgb;

// The regions of the address space, in address order.
enum class tmemregion : uint8_t {
    rom0, romx, vram, sram, wram0, wramx, echo, oam, unusable, io, hram, ie
};
inline constexpr int memregioncount = 12;

struct tregioninfo {
    tmemregion region;
    const char* name;    // "ROM0", "ROMX", "VRAM", "SRAM", "WRAM0", "WRAMX", "ECHO", "OAM", ...
    uint16_t first, last;
    // Banks `peekbanked` reaches for this region (numbered from 0) and the one mapped now.
    // ROM0/ROMX share the ROM image's 16 KiB banks, WRAM0/WRAMX the 4 KiB work RAM banks
    // (WRAMX maps 1-7), SRAM has the cartridge RAM's 8 KiB banks (0 without RAM); the other
    // regions have one bank. A controller may map a bank beyond its RAM (MBC3 clock
    // registers 8-12): `current` then says so and `peekbanked` has no bytes for it.
    int banks;
    int current;
};

// The CPU registers as the debugger shows them. AF is built from the CPU's separate flag
// bytes (the low nibble of F always reads 0) and stored back into them.
struct tcpuregisters {
    uint16_t af = 0, bc = 0, de = 0, hl = 0, sp = 0, pc = 0;
    bool ime = false;        // interrupts enabled
    bool eipending = false;  // EI executed, enable after the next instruction
    bool halted = false;
};

// Video memory and what it is drawn with, read-only (the VRAM viewer).
struct tvideoview {
    const uint8_t* vram = nullptr;     // 16 KiB: bank 0, then bank 1 (GBC hardware only)
    const uint8_t* oam = nullptr;      // 160 bytes
    const uint16_t* gbcpal = nullptr;  // background words 0-31, object words 32-63
    tlcdregisters lcd;
    bool gbcmode = false;
    bool sgbmode = false;
    int vrambanks = 1;
};

// Where the LCD, the timers and the GBC DMA stand (the I/O map).
struct ttimingview {
    uint32_t time = 0;        // emulated units (tgb::currenttime)
    int32_t lineleft = 0;     // units left in the current line: LCD countdown + line rest + debugger offset
    uint8_t ly = 0, lyc = 0, stat = 0, lcdc = 0, tac = 0, tima = 0;
    int speed = 0;            // 1 in double speed
    bool halted = false;
    uint16_t hdmasource = 0, hdmadest = 0;
    uint8_t hdma5 = 0xFF;
};

// The cartridge's bank registers (the I/O map); `banked` false for the empty slot.
struct tcartview {
    bool banked = false;
    int32_t rombank = 0, rambank = 0;
    bool ramenabled = false, mbc1mode = false;
};

class tgbinspect {
public:
    explicit tgbinspect(tgb& machine) : gb(machine) {}

    // The byte at an address as mapped now, with no effect on the machine: ROM and cartridge
    // RAM of the current banks (disabled cartridge RAM reads as the controller makes it
    // read), the boot image while mapped, VRAM even while the CPU cannot reach it, and the
    // I/O registers as the CPU would read them (palette data reads 0xFF while VRAM is
    // inaccessible, as for the CPU).
    uint8_t peek(uint16_t address) const;
    // Stores a byte without the bus's effects; true when stored. Memories: ROM image byte of
    // the current bank (the boot image while mapped), VRAM, cartridge RAM of the current
    // bank (enabled or not), work RAM, echo, OAM, high RAM. VRAM, OAM and palette stores
    // tell the renderer so that its caches show them; they do not count as CPU writes.
    // I/O registers that hold a plain value take it as is: P1 select, SB, DIV, TIMA, TMA,
    // IF, SCY, SCX, LYC (the LY=LYC flag follows at the next line), DMA (no copy), BGP, OBP0, OBP1, WY, WX, wave RAM, IE and, where the
    // machine has them, the KEY1 prepare bit, HDMA1-HDMA4, RP, BCPS, OCPS and BCPD/OCPD
    // (the palette byte at the index, without auto-increment). Registers whose value cannot
    // be separated from its effect (SC, TAC, sound NR10-NR52, LCDC, STAT, LY, VBK, SVBK,
    // HDMA5, 0xFF50) and addresses without memory are left alone: false.
    bool poke(uint16_t address, uint8_t value);

    // A byte of a bank of a region, whether mapped or not; offset from the region's start.
    // 0xFF outside the region's banks or beyond the memory behind it.
    uint8_t peekbanked(tmemregion region, int bank, uint32_t offset) const;

    static tmemregion regionof(uint16_t address);
    tregioninfo region(tmemregion r) const;
    std::array<tregioninfo, memregioncount> regions() const;
    // The bank mapped at an address (ROM bank, VRAM bank, RAM bank, work RAM bank; 0 for
    // unbanked regions); the echo follows the work RAM it mirrors.
    int bankof(uint16_t address) const;

    tvideoview video() const;
    ttimingview timing() const;
    tcartview cartbanks() const;

    tcpuregisters cpuregisters() const;
    void setcpuregisters(const tcpuregisters& r);

private:
    tgb& gb;
    bool pokeio(uint16_t address, uint8_t value);
    void pokepalette(bool objects, uint8_t value);
};

}  // namespace tov
