// Cartridge images built inside the tests: the header (logo, title, cartridge type, ROM and
// RAM size codes, colour and SGB flags, both checksums), code placed at addresses, and
// fillers (bank markers, pseudo-random bytes) for the loader's and controllers' tests.
#pragma once
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <string_view>
#include <vector>

namespace tov::testing {

// The logo bitmap the boot program checks at 0x104-0x133.
inline constexpr uint8_t headerlogo[48] = {
    0xCE, 0xED, 0x66, 0x66, 0xCC, 0x0D, 0x00, 0x0B, 0x03, 0x73, 0x00, 0x83, 0x00, 0x0C, 0x00, 0x0D,
    0x00, 0x08, 0x11, 0x1F, 0x88, 0x89, 0x00, 0x0E, 0xDC, 0xCC, 0x6E, 0xE6, 0xDD, 0xDD, 0xD9, 0x99,
    0xBB, 0xBB, 0x67, 0x63, 0x6E, 0x0E, 0xEC, 0xCC, 0xDD, 0xDC, 0x99, 0x9F, 0xBB, 0xB9, 0x33, 0x3E};

// Header checksum at 0x14D over 0x134-0x14C; global checksum at 0x14E-0x14F (high byte
// first) over every other byte of the image.
inline void fixchecksums(std::vector<uint8_t>& rom) {
    if (rom.size() < 0x150) return;
    uint8_t sum = 0;
    for (int i = 0x134; i <= 0x14C; i++) sum = uint8_t(sum - rom[size_t(i)] - 1);
    rom[0x14D] = sum;
    uint32_t global = 0;
    for (size_t i = 0; i < rom.size(); i++)
        if (i != 0x14E && i != 0x14F) global += rom[i];
    rom[0x14E] = uint8_t(global >> 8);
    rom[0x14F] = uint8_t(global);
}

// Size code at 0x148 for an image size: 32 KiB << code, the smallest that holds it.
inline uint8_t romsizecodefor(size_t size) {
    int code = 0;
    while ((size_t(2) << code) * 16384 < size && code < 8) code++;
    return uint8_t(code);
}

// A ROM image. The default one is 32 KiB without mapper whose entry at 0x100 jumps to
// 0x150, where the test's code goes (an idle `jr -2` until then). Header fields are only
// written to images of at least 0x150 bytes.
struct tromimage {
    std::vector<uint8_t> bytes;

    tromimage() : tromimage(0x8000) {
        entry();
        code(0x150, {0x18, 0xFE});  // jr -2 (idle)
    }
    // A blank image of `size` bytes of `fill`, with the ROM size code that fits it.
    explicit tromimage(size_t size, uint8_t fill = 0x00) : bytes(size, fill) {
        if (size >= 0x150) bytes[0x148] = romsizecodefor(size);
    }

    // nop; jp 0x0150 at the entry point.
    tromimage& entry() { return code(0x100, {0x00, 0xC3, 0x50, 0x01}); }
    tromimage& code(uint16_t at, std::initializer_list<uint8_t> b) {
        for (uint8_t v : b) bytes[at++] = v;
        return *this;
    }
    tromimage& code(uint16_t at, const std::vector<uint8_t>& b) {
        for (uint8_t v : b) bytes[at++] = v;
        return *this;
    }

    // Header fields.
    tromimage& logo() {
        if (bytes.size() >= 0x150)
            for (int i = 0; i < 48; i++) bytes[size_t(0x104 + i)] = headerlogo[i];
        return *this;
    }
    tromimage& title(std::string_view t) {
        if (bytes.size() >= 0x150)
            for (size_t i = 0; i < t.size() && i < 16; i++) bytes[0x134 + i] = uint8_t(t[i]);
        return *this;
    }
    tromimage& colour(uint8_t flag) { return header(0x143, flag); }
    tromimage& sgbcapable(bool on = true) {
        header(0x146, on ? 0x03 : 0x00);
        return header(0x14B, on ? 0x33 : 0x00);
    }
    tromimage& type(uint8_t cartridgetype) { return header(0x147, cartridgetype); }
    tromimage& romsizecode(uint8_t code) { return header(0x148, code); }
    tromimage& ramsizecode(uint8_t code) { return header(0x149, code); }
    // 0x134-0x14F back to zero, keeping the ROM size code that fits the image.
    tromimage& blankheader() {
        if (bytes.size() < 0x150) return *this;
        for (int i = 0x134; i < 0x150; i++) bytes[size_t(i)] = 0;
        bytes[0x148] = romsizecodefor(bytes.size());
        return *this;
    }

    // Fillers. Every 16 KiB bank starts with its bank number (low, high) and ends with its
    // low byte again; the noise keeps compressed archives of the image large.
    tromimage& bankmarkers() {
        size_t size = bytes.size();
        for (size_t bank = 0; bank * 16384 < size; bank++) {
            size_t base = bank * 16384;
            bytes[base] = uint8_t(bank);
            if (base + 1 < size) bytes[base + 1] = uint8_t(bank >> 8);
            if (base + 0x3FFF < size) bytes[base + 0x3FFF] = uint8_t(bank);
        }
        return *this;
    }
    tromimage& noise(uint32_t seed = 12345) {
        for (auto& b : bytes) {
            seed = seed * 1103515245u + 12345u;
            b = uint8_t(seed >> 16);
        }
        return *this;
    }

    // The image with both checksums filled in.
    std::vector<uint8_t> finished() const {
        std::vector<uint8_t> b = bytes;
        fixchecksums(b);
        return b;
    }

private:
    tromimage& header(size_t at, uint8_t value) {
        if (bytes.size() >= 0x150) bytes[at] = value;
        return *this;
    }
};

// The cartridge tests' image: pseudo-random bytes with bank markers under a valid header
// (logo, title, type, RAM size code; the ROM size code that fits unless one is given).
inline std::vector<uint8_t> makerom(size_t size, uint8_t type = 0x00, uint8_t ramcode = 0,
                                    int sizecode = -1, const char* title = "TESTROM") {
    tromimage rom(size);
    rom.noise().bankmarkers().blankheader().logo().title(title).type(type).ramsizecode(ramcode);
    if (sizecode >= 0) rom.romsizecode(uint8_t(sizecode));
    return rom.finished();
}

}  // namespace tov::testing
