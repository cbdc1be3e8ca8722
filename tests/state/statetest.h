// Shared pieces of the save-state tests: a busy test program built here (timer, STAT,
// serial and VBlank interrupts, mid-line register writes, cartridge banks and RAM, GBC
// speed, banks, palettes and DMA, SGB packets) and a machine wired to a renderer that
// draws into a memory picture.
#pragma once
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "cart/loadrom.h"
#include "cart/mbc3.h"
#include "cart/mbcbase.h"
#include "core/gb.h"
#include "frontend/session.h"
#include "frontend/settings.h"
#include "state/machinestate.h"
#include "support/emitter.h"
#include "video/gbdrawtovsgb.h"
#include "video/screenshot.h"

namespace tov::statetest {

using testing::temitter;

// Cartridge types of the program: MBC1 (8 KiB RAM), MBC3 with clock and MBC5 (32 KiB RAM).
enum : uint8_t { cartmbc1 = 0x03, cartmbc3 = 0x10, cartmbc5 = 0x1A };

// A 64 KiB program whose work varies with every frame. `colour` sets the GBC flag,
// `sgb` the SGB header bytes.
inline std::vector<uint8_t> busyrom(uint8_t carttype, bool colour, bool sgb) {
    std::vector<uint8_t> rom(0x10000, 0x00);
    static const uint8_t logo[48] = {
        0xCE, 0xED, 0x66, 0x66, 0xCC, 0x0D, 0x00, 0x0B, 0x03, 0x73, 0x00, 0x83, 0x00, 0x0C, 0x00, 0x0D,
        0x00, 0x08, 0x11, 0x1F, 0x88, 0x89, 0x00, 0x0E, 0xDC, 0xCC, 0x6E, 0xE6, 0xDD, 0xDD, 0xD9, 0x99,
        0xBB, 0xBB, 0x67, 0x63, 0x6E, 0x0E, 0xEC, 0xCC, 0xDD, 0xDC, 0x99, 0x9F, 0xBB, 0xB9, 0x33, 0x3E};
    std::memcpy(&rom[0x104], logo, sizeof logo);
    std::memcpy(&rom[0x134], "STATECOPY", 9);
    if (colour) rom[0x143] = 0x80;
    if (sgb) {
        rom[0x146] = 0x03;
        rom[0x14B] = 0x33;
    }
    rom[0x147] = carttype;
    rom[0x148] = 0x01;                             // 64 KiB, four banks
    rom[0x149] = carttype == cartmbc1 ? 2 : 3;     // 8 KiB or 32 KiB of RAM
    for (int bank = 1; bank < 4; bank++)
        for (int i = 0; i < 0x4000; i++) rom[size_t(bank * 0x4000 + i)] = uint8_t(bank * 0x35 + i * 7);

    temitter e{rom, 0};
    // Interrupt vectors.
    e.pc = 0x40; e.jp(0x200);
    e.pc = 0x48; e.jp(0x240);
    e.pc = 0x50; e.jp(0x280);
    e.pc = 0x58; e.jp(0x2C0);
    // VBlank: frame counter at C000, SCY follows it.
    e.pc = 0x200;
    e.b({0xF5, 0xFA, 0x00, 0xC0, 0x3C, 0xEA, 0x00, 0xC0, 0xE0, 0x42, 0xF1, 0xD9});
    // STAT (LYC): next LYC 8 lines on, then SCX from DIV and BGP rotated, late in the line.
    e.pc = 0x240;
    // After line 136 LYC goes back to 8, so lines 0-7 show the last frame's values.
    e.b({0xF5, 0xF0, 0x45, 0xC6, 0x08, 0xFE, 0x90, 0x38, 0x02, 0x3E, 0x08, 0xE0, 0x45, 0x00, 0x00,
         0x00, 0x00, 0xF0, 0x04, 0xE0, 0x43, 0xF0, 0x47, 0x07, 0xE0, 0x47, 0xF1, 0xD9});
    // Timer: counter at C001.
    e.pc = 0x280;
    e.b({0xF5, 0xFA, 0x01, 0xC0, 0x3C, 0xEA, 0x01, 0xC0, 0xF1, 0xD9});
    // Serial: counter at C003 goes out as the next byte, internally clocked.
    e.pc = 0x2C0;
    e.b({0xF5, 0xFA, 0x03, 0xC0, 0x3C, 0xEA, 0x03, 0xC0, 0xE0, 0x01, 0x3E, 0x81, 0xE0, 0x02, 0xF1, 0xD9});
    const int sendpacket = 0x300;
    e.pc = sendpacket;
    e.sgbpacketsender();

    e.pc = 0x100;
    e.b({0x00});
    e.jp(0x150);
    e.pc = 0x150;
    e.b({0xF3, 0x4F, 0x31, 0xF0, 0xDF});              // di; ld c,a (boot A: 0x11 on GBC); ld sp,DFF0
    e.b({0xAF, 0x21, 0x00, 0xC0, 0x06, 0x40});        // clear C000-C03F
    const int clear = e.pc;
    e.b({0x22, 0x05});
    e.jr(0x20, clear);
    e.b({0x79, 0xEA, 0x10, 0xC0});                    // boot A kept at C010
    e.b({0x3E, 0x0A, 0xEA, 0x00, 0x00});              // cartridge RAM on
    e.b({0x3E, 0xC0, 0xE0, 0x06, 0x3E, 0x05, 0xE0, 0x07});  // TMA C0, TAC 05
    e.b({0x3E, 0x08, 0xE0, 0x45, 0x3E, 0x40, 0xE0, 0x41});  // LYC 8, LYC interrupt
    e.b({0x3E, 0x81, 0xE0, 0x02});                    // serial transfer, internal clock
    e.b({0x79, 0xFE, 0x11});                          // GBC set-up only on GBC
    const int skipgbcinit = 0x400;
    e.jpnz(skipgbcinit);
    e.b({0x3E, 0x01, 0xE0, 0x4D, 0x10, 0x00});        // double speed
    e.b({0x3E, 0x80, 0xE0, 0x68});                    // background palette 0, auto increment
    for (int v : {0x1F, 0x00, 0xE0, 0x03, 0x00, 0x7C, 0xFF, 0x7F}) e.b({0x3E, v, 0xE0, 0x69});
    e.jp(skipgbcinit);
    e.pc = skipgbcinit;
    e.b({0x3E, 0x0F, 0xE0, 0xFF, 0xAF, 0xE0, 0x0F, 0xFB});  // IE 0F, IF 0, ei
    const int mainloop = e.pc;
    e.b({0x76, 0x00});                                // halt
    e.b({0xFA, 0x00, 0xC0, 0x47});                    // b = frame
    e.b({0x26, 0xA0, 0xE6, 0x1F, 0x6F, 0xF0, 0x04, 0x77});  // (A000 + frame & 1F) = DIV
    e.b({0x78, 0xE6, 0x03, 0xEA, 0x00, 0x20});        // ROM bank = frame & 3 (0 included)
    e.b({0x78, 0xE6, 0x09, 0xEA, 0x00, 0x40});        // RAM bank or clock register
    e.b({0x78, 0xE6, 0x01, 0xEA, 0x00, 0x60});        // clock latch / banking mode
    e.b({0xFA, 0x00, 0x40, 0xEA, 0x04, 0xC0});        // banked ROM byte to C004
    e.b({0xFA, 0x00, 0xA0, 0xEA, 0x05, 0xC0});        // cartridge RAM or clock byte to C005
    e.b({0x26, 0x98, 0x68, 0xF0, 0x44, 0x77});        // map entry (frame) = LY
    e.b({0x26, 0x80, 0xFA, 0x01, 0xC0, 0x77});        // tile byte (frame) = timer count
    e.b({0xFA, 0x10, 0xC0, 0xFE, 0x11});
    const int skipgbc = 0x500;
    e.jpnz(skipgbc);
    e.b({0x78, 0xE6, 0x07, 0xE0, 0x70, 0xEA, 0x00, 0xD0});  // WRAM bank = frame & 7, written
    e.b({0x78, 0xE6, 0x01, 0xE0, 0x4F});              // VRAM bank = frame & 1
    e.b({0x3E, 0xC0, 0xE0, 0x51, 0xAF, 0xE0, 0x52});  // DMA source C000
    e.b({0x3E, 0x08, 0xE0, 0x53, 0xAF, 0xE0, 0x54});  // destination 8800
    e.b({0x3E, 0x83, 0xE0, 0x55});                    // four blocks, one per HBlank
    e.b({0x78, 0xE6, 0x3F, 0xF6, 0x80, 0xE0, 0x6A, 0xE0, 0x6B});  // object palette byte
    e.jp(skipgbc);
    e.pc = skipgbc;
    // Every eighth frame a PAL01 packet whose first colour is the frame number.
    e.b({0x78, 0xE6, 0x07, 0x20, 0x0D});
    e.b({0x21, 0x20, 0xC0, 0x3E, 0x01, 0x22, 0x70, 0x21, 0x20, 0xC0});
    e.call(sendpacket);
    e.jp(mainloop);
    if (e.pc > 0x520) ADD_FAILURE() << "program overlaps";
    uint8_t sum = 0;
    for (int i = 0x134; i <= 0x14C; i++) sum = uint8_t(sum - rom[size_t(i)] - 1);
    rom[0x14D] = sum;
    return rom;
}

// A machine with its renderer (SGB-capable) drawing into a memory picture, built through
// the session.
struct trig {
    tsettings settings;
    std::unique_ptr<tsession> session;
    tgb* gb = nullptr;
    tgbdrawtovsgb& renderer;
    tmemorypicture& picture;
    tbitmap screen;

    // `cartmode` 0 gives every cartridge its own controller; 1 is the compatibility mode
    // (the tolerant mapper and 128 KiB of RAM for most types).
    explicit trig(int systemmode, int cartmode = 0)
        : settings(defaults(systemmode, cartmode)),
          session(std::make_unique<tsession>(settings, "", parts())),
          gb(&session->machine()),
          renderer(*session->renderer()),
          picture(*session->picture()) {}
    static tsessionparts parts() {
        tsessionparts p;
        p.memorypicture = true;
        p.synthesiser = false;
        return p;
    }
    static tsettings defaults(int systemmode, int cartmode) {
        tsettings s;
        setdefaults(s);
        s.SystemMode = systemmode;
        s.CartMode = cartmode;
        return s;
    }
    bool load(std::vector<uint8_t> rom) {
        std::string message;
        return session->loadimage(std::move(rom), "", true, message);
    }
    void frame() {
        gb->runframe();
        renderer.refresh();
        picture.output().getpicture(screen);
    }
};

// The machine's registers and memories read directly, apart from the field lists: CPU
// registers, the I/O page as the CPU reads it, every memory, the cartridge's banks, RAM
// and clock, and the SGB unit's palettes and attributes.
inline std::vector<uint8_t> snapshot(tgb& gb) {
    std::vector<uint8_t> s;
    auto put = [&s](const void* p, size_t n) {
        const auto* b = static_cast<const uint8_t*>(p);
        s.insert(s.end(), b, b + n);
    };
    packflags(gb.cpu);
    const uint16_t regs[] = {gb.cpu.AF, gb.cpu.BC, gb.cpu.DE, gb.cpu.HL, gb.cpu.SP, gb.cpu.PC};
    put(regs, sizeof regs);
    const uint8_t flags[] = {gb.cpu.ime, gb.cpu.eipending, gb.cpu.halted, gb.cpu.haltbugskip};
    put(flags, sizeof flags);
    for (int a = 0xFF00; a <= 0xFF7F; a++) s.push_back(gb.ioread(uint16_t(a)));
    s.push_back(gb.ioread(0xFFFF));
    // Outside GBC mode only the first WRAM and VRAM banks exist.
    put(gb.wram, gb.gbcmode ? tgb::wramsize : 8192);
    put(gb.vram, gb.gbcmode ? tgb::vramsize : 8192);
    put(gb.oam, sizeof gb.oam);
    put(gb.hram, sizeof gb.hram);
    if (gb.gbcmode) put(gb.gbcpal, sizeof gb.gbcpal);
    if (auto* c = dynamic_cast<tcartmbcbase*>(&gb.cartridge())) {
        const int32_t banks[] = {c->rombank, c->rambank, c->sramenable, c->mbc1mode};
        put(banks, sizeof banks);
        // Banks never selected cannot be read and are not kept.
        if (c->sram) put(c->sram, size_t(c->sramsavesize()));
    }
    if (auto* c = dynamic_cast<tcartmbc3*>(&gb.cartridge())) {
        put(c->rtc.data(), sizeof c->rtc);
        put(c->rtclatched.data(), sizeof c->rtclatched);
    }
    if (!gb.sgbmode) return s;
    const tsgb& sgb = gb.sgbunit();
    put(sgb.pal, sizeof sgb.pal);
    put(sgb.attr, sizeof sgb.attr);
    put(sgb.colors, sizeof sgb.colors);
    return s;
}

inline std::vector<uint8_t> readfile(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

}  // namespace tov::statetest
