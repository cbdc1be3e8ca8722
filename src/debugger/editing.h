// Editing memory and the ROM image from the debugger: the banked writing (`poke`) through the
// debugger window's view banks, inserting and deleting bytes, the bytes for copying and
// dumping, saving the edited ROM image, and the ROM-modified flag with its question.
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "debugger/disasm.h"

namespace tov {

class tgb;

// The question asked before an edited ROM image would be thrown away (title "warning",
// OK/Cancel).
inline constexpr const char* romlossquestion = "changes made to the currently loaded rom will be lost. continue?";

class tdebugeditor {
public:
    tdebugeditor(tgb& machine, const tviewbanks& banks) : gb(machine), view(banks), memory(machine, banks) {}

    // Writes storage directly, not through the bus: the ROM image (bank 0, and the view ROM
    // bank at 0x4000-0x7FFF; bank-controller cartridges only, within the image; sets the
    // ROM-modified flag), VRAM of the view bank, cartridge RAM of the view bank (within the
    // RAM), work RAM bank 0 and the view work RAM bank (with their echo); from 0xFE00 up the
    // machine's own write with all its effects.
    void poke(uint16_t address, uint8_t value);
    // Bytes one after another from the address on (wrapping at 16 bits).
    void pokebytes(uint16_t address, const std::vector<uint8_t>& bytes);
    // The banked reading of the views.
    uint8_t read(uint16_t address) const { return memory.read(address); }

    // Insert: the `insertsize` bytes from the address move up by one (the last falls out)
    // and the address gets 0. Delete: the bytes after the address move down by one and the
    // last of them gets 0. Both read and write through the view banks, so a move crosses
    // bank and region borders as the code view shows them. An insert size of 0 moves nothing.
    void insertbyte(uint16_t address);
    void deletebyte(uint16_t address);
    uint32_t insertsize = 256;

    // `count` bytes from the address on as upper-case hex pairs without separators.
    std::string copytext(uint16_t address, uint32_t count) const;
    // `size` bytes (at most 0x10000) from `start` on; the address wraps at 16 bits.
    std::vector<uint8_t> dumpbytes(uint16_t start, uint32_t size) const;

    // The whole ROM image as loaded (edits included); empty without a bank-controller cartridge.
    std::vector<uint8_t> romimage() const;
    // Writes the image to `path` (the old file stays whole on a failure) and clears the flag;
    // false when there is no image or the file could not be written.
    bool saverom(const std::string& path);
    // Around the image's reading for `saverom`: the program takes out the bytes that are not
    // the user's (Game Genie patches) and puts them back, so that the file holds the edits
    // only. A dump stays as the machine reads the memory, patches included.
    std::function<void()> beforeromread;
    std::function<void()> afterromread;

    // Set by every edit of ROM bytes; cleared by saving the image or confirming its loss.
    bool rommodified = false;
    // Before the ROM is replaced: true when there is nothing to lose or `confirm` (asked
    // `romlossquestion`) says go on, which clears the flag.
    bool mayloseromchanges(const std::function<bool(const std::string& question)>& confirm);

private:
    tgb& gb;
    const tviewbanks& view;
    tdebugmemory memory;
};

// A save dialog's answer with the extension a name without "." gets (".gb", ".sna"); the dot
// is looked for in the file name, not in the folders.
std::string withdefaultextension(const std::string& path, const std::string& extension);

// Writes bytes to a user's file through `replacefile`; false on a failure.
bool writeuserfile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace tov
