// The built-in demo cartridge: a small Game Boy program assembled by our own code. It shows a
// scrolling background, a window with a counter and a sprite; the joypad moves the sprite,
// A plays a note and counts up in battery RAM (MBC1 + RAM + battery, 32 KiB ROM, 8 KiB RAM).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace tov::demo {

// A minimal assembler: one method per instruction form, labels with fix-ups for relative
// jumps (jr) and absolute addresses (jp, call).
class tassembler {
public:
    explicit tassembler(std::vector<uint8_t>& rom, uint16_t origin) : rom(rom), pc(origin) {}

    uint16_t here() const { return pc; }
    void org(uint16_t address) { pc = address; }
    void label(const std::string& name);
    void byte(uint8_t b);
    void bytes(std::initializer_list<uint8_t> list) {
        for (uint8_t b : list) byte(b);
    }
    void word(uint16_t w) {
        byte(uint8_t(w));
        byte(uint8_t(w >> 8));
    }

    // Register codes of the 8-bit operand field: b c d e h l (hl) a.
    enum treg8 { B, C, D, E, H, L, HLI, A };
    void ld(treg8 dst, treg8 src) { byte(uint8_t(0x40 | (dst << 3) | src)); }
    void ldn(treg8 dst, uint8_t n) { bytes({uint8_t(0x06 | (dst << 3)), n}); }
    void ldbc(uint16_t nn) { byte(0x01); word(nn); }
    void ldde(uint16_t nn) { byte(0x11); word(nn); }
    void ldhl(uint16_t nn) { byte(0x21); word(nn); }
    void ldsp(uint16_t nn) { byte(0x31); word(nn); }
    void ldhn_a(uint8_t n) { bytes({0xE0, n}); }      // ldh (n),a
    void ldha_n(uint8_t n) { bytes({0xF0, n}); }      // ldh a,(n)
    void ldnn_a(uint16_t nn) { byte(0xEA); word(nn); } // ld (nn),a
    void lda_nn(uint16_t nn) { byte(0xFA); word(nn); } // ld a,(nn)
    void ldi_hl_a() { byte(0x22); }                   // ld (hl+),a
    void lda_de() { byte(0x1A); }                     // ld a,(de)
    void inc(treg8 r) { byte(uint8_t(0x04 | (r << 3))); }
    void dec(treg8 r) { byte(uint8_t(0x05 | (r << 3))); }
    void incde() { byte(0x13); }
    void dechl() { byte(0x2B); }
    void decbc() { byte(0x0B); }
    void orr(treg8 r) { byte(uint8_t(0xB0 | r)); }
    void andr(treg8 r) { byte(uint8_t(0xA0 | r)); }
    void andn(uint8_t n) { bytes({0xE6, n}); }
    void orn(uint8_t n) { bytes({0xF6, n}); }
    void cpn(uint8_t n) { bytes({0xFE, n}); }
    void addn(uint8_t n) { bytes({0xC6, n}); }
    void xora() { byte(0xAF); }
    void cpl() { byte(0x2F); }
    void swapa() { bytes({0xCB, 0x37}); }
    void bit(int n, treg8 r) { bytes({0xCB, uint8_t(0x40 | (n << 3) | r)}); }
    void di() { byte(0xF3); }
    void ret() { byte(0xC9); }

    enum tcond { NZ, Z, NC, CY, always };
    void jr(tcond c, const std::string& target);
    void jp(const std::string& target);
    void call(const std::string& target);

    // Resolves every fix-up; returns false (with `error`) for an unknown label or a jr out of range.
    bool finish(std::string& error);

private:
    struct tfixup {
        uint16_t at;
        std::string target;
        bool relative;
    };
    std::vector<uint8_t>& rom;
    uint16_t pc;
    std::map<std::string, uint16_t> labels;
    std::vector<tfixup> fixups;
};

// The header's 48 logo bytes that the boot program compares.
extern const uint8_t headerlogo[48];

// Header checksum (0x14D) and global checksum (0x14E-0x14F) of an image.
uint8_t headerchecksum(const std::vector<uint8_t>& rom);
uint16_t globalchecksum(const std::vector<uint8_t>& rom);

// Where the demo keeps things, for tests.
constexpr uint16_t countaddress = 0xA000;   // battery RAM: the counter
constexpr uint16_t spriteyaddress = 0xFE00; // OAM entry 0
constexpr uint16_t spritexaddress = 0xFE01;

// The whole 32 KiB image with valid header, logo and checksums; empty (with `error`) when the
// program does not assemble.
std::vector<uint8_t> buildrom(std::string& error);

}  // namespace tov::demo
