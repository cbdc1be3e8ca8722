// Symbol files: the ".sym" file that the common Game Boy assemblers and linkers write beside
// a ROM, one "BB:AAAA name" line per label (bank and address in hex), ";" starting a comment.
// The debugger shows the names as label lines and takes them wherever it asks for an address.
#pragma once
#include <cstdint>
#include <string>
#include <unordered_map>
#include <vector>

namespace tov {

struct tsymbol {
    int32_t bank = 0;
    uint16_t address = 0;
    std::string name;
};

class tsymboltable {
public:
    // Reads the lines of a symbol file; lines that are not "BB:AAAA name" are skipped and
    // counted. Replaces what was read before.
    void read(const std::string& text);
    void clear();
    bool empty() const { return symbols.empty(); }
    size_t size() const { return symbols.size(); }
    int skippedlines() const { return skipped; }
    const std::vector<tsymbol>& all() const { return symbols; }

    // The symbol of this name: exact case first, then ignoring case; null when none.
    const tsymbol* find(const std::string& name) const;
    // The symbols at an address for the bank shown there, in file order. The bank counts in
    // the banked regions only (ROM 0x4000-0x7FFF, VRAM, cartridge RAM, work RAM
    // 0xD000-0xDFFF, where bank 0 is how linkers write the one bank of a DMG); elsewhere the
    // address alone decides.
    std::vector<const tsymbol*> at(uint16_t address, int bank) const;
    // The first name at an address and bank, or "".
    std::string nameat(uint16_t address, int bank) const;
    // The bank a breakpoint on the symbol compares with: the symbol's bank in the banked
    // ROM, RAM and work RAM regions, -1 (any bank) elsewhere.
    static int32_t breakbank(const tsymbol& s);

private:
    std::vector<tsymbol> symbols;
    std::unordered_multimap<uint16_t, size_t> byaddress;
    std::unordered_map<std::string, size_t> byname, bylowername;
    int skipped = 0;
};

// The symbol file of a ROM: its path with the extension replaced by ".sym" (added when the
// name has none).
std::string symbolfilefor(const std::string& rompath);
// Reads a symbol file into `table` (emptied first). False when the file is missing, cannot
// be read or is too large to be one (more than 16 MiB); the table is then empty. A file
// without one good line gives an empty table and true.
bool loadsymbolfile(const std::string& path, tsymboltable& table);

}  // namespace tov
