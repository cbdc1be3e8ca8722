// The save-state file container: a flat run of named chunks (name, a 0 byte, a signed
// 32-bit little-endian size, the data), the typed view of one chunk read back, the
// older fixed-layout format, and the one place where state files touch the disk.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "state/statevisitors.h"

namespace tov {

class tgb;

// Largest state file the reader takes.
constexpr int32_t maxstatefilesize = 2000000;
// The first chunk of every file written: the format mark, size 0.
constexpr const char* stateformatmark = "TOV1.0";

// One chunk read back: its name, size and data inside the reader's copy of the file.
// The typed readers raise tstateerror when the size does not fit the type.
struct tloadstate {
    std::string_view name;
    int32_t size = 0;
    const uint8_t* data = nullptr;

    bool asboolean() const;
    uint8_t asbyte() const;
    uint16_t asword() const;
    int32_t aslongint() const;
    void asblock(void* destination, int32_t n) const;
    std::string asstring() const;
};

// Appends one chunk to a state being built; the data is written only when size >= 1.
void writechunk(std::vector<uint8_t>& file, std::string_view name, int32_t size, const void* data);
// A 4-byte chunk holding a longint.
void writechunkint(std::vector<uint8_t>& file, std::string_view name, int32_t value);
// Appends every chunk a field list writes straight to a file image.
class tfilechunkwriter : public tstatevisitor {
public:
    explicit tfilechunkwriter(std::vector<uint8_t>& file) : file(file) {}
    void chunk(const tchunk& c) override;

private:
    std::vector<uint8_t>& file;
};
// The machine's chunks (machine, sound unit, SGB unit in SGB mode, cartridge) in file order.
void writemachinechunks(std::vector<uint8_t>& file, tgb& gb);

// Splits a current-format file into its chunks, checking the whole container first:
// "reached end of file reading chunk name", "reached end of file while reading chunk size",
// "negative chunk size", "reached end of file while reading chunk data". The views point
// into `bytes`.
std::vector<tloadstate> splitstatechunks(const std::vector<uint8_t>& bytes);

// A file whose first 32-bit value is at most 256 is in the older fixed layout (a current
// file starts with the characters of the format mark, which read as a large number).
bool islegacystate(const std::vector<uint8_t>& bytes);

// The older fixed layout, read into plain fields; `legacybytes` checks the length.
struct tlegacystate {
    std::string romname;
    uint16_t af = 0, bc = 0, de = 0, hl = 0, sp = 0, pc = 0;
    bool ime = false, halted = false;
    uint16_t rombank = 0, rambank = 0;
    bool gbcmode = false, sgbmode = false, doublespeed = false;
    const uint8_t* io = nullptr;       // the I/O registers from 0xFF00 (128 or 80 bytes)
    const uint8_t* oam = nullptr;      // 160
    const uint8_t* palettes = nullptr; // 128, GBC only: 64 background bytes, 64 object bytes
    const uint8_t* vram = nullptr;     // 16384 or 8192
    const uint8_t* hram = nullptr;     // 127
    uint8_t ie = 0;
    const uint8_t* wram = nullptr;     // 32768 or 8192
    const uint8_t* sram = nullptr;     // `sramsize` bytes, or null
    int32_t sramsize = 0;
    const uint8_t* sgb = nullptr;      // legacysgbsize bytes, SGB only
};
constexpr int32_t legacysgbsize = 18788;
// Reads the name and the fixed header (registers, banks, mode byte). Raises "read beyond
// end of file" when the file is shorter than that.
tlegacystate readlegacyheader(const std::vector<uint8_t>& bytes);
// Reads the memory blocks after the header, with `sramsize` bytes of cartridge RAM (0 for
// none). Raises "read beyond end of file" when the file ends early.
void readlegacyblocks(const std::vector<uint8_t>& bytes, tlegacystate& s, int32_t sramsize);

// Reads a whole state file (at most maxstatefilesize + 1 bytes). Raises "could not open
// snapshot file: " + path.
std::vector<uint8_t> readstatefile(const std::string& path);
// Writes a state file without ever destroying the previous one: the bytes go to a new file
// beside it, which then replaces it. On failure the old file is left as it was, the new one
// removed, and "unable to save file, check the path" (cannot create or replace) or
// "disk write error" raised.
void writestatefile(const std::string& path, const std::vector<uint8_t>& bytes);

}  // namespace tov
