// The disassembler: mnemonic, length and cycle tables, the cut of the address space into
// code and data lines, memory as the debugger's views read it (with their own bank numbers)
// and the text of one code line.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace tov {

class tgb;
class tcart;
class tsymboltable;

// Mnemonic of a plain opcode (index 0..255) or of a 0xCB-prefixed one (256 + second byte).
// "nn" stands for a byte operand, "nnnn" for a word; "-" for an undefined opcode.
const char* mnemonic(int index);
// Bytes of the instruction that starts with this opcode (0xCB: 2).
int instructionlength(uint8_t opcode);
// Machine cycles (4 clocks) of an instruction, conditional ones at their not-taken count;
// the second byte matters after 0xCB only. Undefined opcodes cost 0.
extern const uint8_t cycletable[256];
extern const uint8_t cbcycletable[32];
int instructioncycles(uint8_t opcode, uint8_t second);
// The comment name of an I/O register (0xFF00-0xFF7F, 0xFFFF): "joypad", "LY", "?" for an
// address without a register, "" where none is shown.
const char* ioname(uint16_t address);

// The header checks: 0xE7 minus the sum of 0x134-0x14C (the boot program's check), and the
// 16-bit sum of every byte of the image but the two bytes that hold it.
uint8_t headerchecksum(const uint8_t* image);  // image of at least 0x150 bytes
uint16_t globalchecksum(const uint8_t* image, int32_t size);
// Writes both checks into the loaded ROM image (0x14D, then 0x14E high and 0x14F low); false
// without an image that holds a header.
bool fixheaderchecksums(tcart& cart);

// The debugger window's own bank numbers, with which its views read and label memory.
struct tviewbanks {
    int rom = 1;           // 0x4000-0x7FFF
    int ram = 0;           // cartridge RAM
    int wram = 1;          // 0xD000-0xDFFF
    int vram = 0;
    bool cartram = true;   // 0xA000-0xBFFF shows the cartridge RAM of the view bank
};

// Memory as the views show it: banked regions through the view banks, everything else as
// the machine maps it now; nothing read has an effect on the machine.
class tdebugmemory {
public:
    tdebugmemory(tgb& machine, const tviewbanks& banks) : gb(machine), view(banks) {}
    uint8_t read(uint16_t address) const;
    uint16_t readword(uint16_t address) const {
        return uint16_t(read(address) | read(uint16_t(address + 1)) << 8);
    }
    // The bank the views show at an address (0 for unbanked regions).
    int bankat(uint16_t address) const;
    // The bank execution breakpoints compare with at an address: the view's ROM, RAM and
    // work RAM banks; VRAM and the unbanked regions count as bank 0.
    int breakpointbank(uint16_t address) const {
        return address >= 0x8000 && address < 0xA000 ? 0 : bankat(address);
    }
    // "ROM0:0150", "RO1F:4000", "VRA1:8000", "OAM :FE00", "I/O :FF40", "----:FEA0".
    std::string label(uint16_t address) const;
    bool bankcontroller() const;  // a cartridge with a bank controller is loaded
    tgb& machine() const { return gb; }
    const tviewbanks& banks() const { return view; }

private:
    tgb& gb;
    const tviewbanks& view;
};

// One line of the code view. A label line (a name of the symbol file, before the line at
// its address) has no bytes: `symbol` indexes the table's names, -1 on other lines.
struct tasmline {
    uint16_t address = 0;
    uint8_t length = 1;
    bool data = false;
    int32_t symbol = -1;
};

// The code view's lines over the whole address space: restart and interrupt vectors and
// the header fields start lines of their own; VRAM, OAM to I/O and the last byte are data.
class tlinetable {
public:
    // With symbols, every address that has names (for the bank shown there) starts a line,
    // after one label line per name (an instruction that would cross it is cut to data, as
    // at a vector); `lineof` still gives the line with the bytes.
    void build(const tdebugmemory& memory, const tsymboltable* symbols = nullptr);
    int count() const { return int(lines.size()); }
    const tasmline& line(int n) const { return lines[size_t(n)]; }
    int lineof(uint16_t address) const { return lineindex[address]; }

private:
    std::vector<tasmline> lines;
    std::vector<int32_t> lineindex = std::vector<int32_t>(0x10000, 0);
    const tsymboltable* names = nullptr;
    const tdebugmemory* shown = nullptr;
    void code(const tdebugmemory& memory, uint32_t& at, uint32_t limit);
    void data(uint32_t& at, uint32_t limit);
    // The first address after `at` and before `end` that has a name, else `end`.
    uint32_t named(uint32_t at, uint32_t end) const;
    void add(uint16_t address, int length, bool isdata);
};

// The parts of a code line: the text (label, bytes, instruction), a register-name or header
// comment, and the instruction's cycles (-1 for data lines).
struct tasmtext {
    std::string text;
    std::string comment;
    int cycles = -1;
};
// globalsum: the image's 16-bit sum for the global check comment, or -1 to leave it out.
tasmtext disassembleline(const tdebugmemory& memory, const tasmline& line, bool lowercase,
                         int globalsum);
// The full line with its comment columns; total is the running cycle count shown with the
// cycles (ignored without cycles).
std::string composeline(const tasmtext& parts, int total);

}  // namespace tov
