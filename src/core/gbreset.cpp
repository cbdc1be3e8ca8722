// Power-on state: model selection, boot-program register values, memory contents and the
// optional monochrome boot image.
#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>

#include "core/gb.h"

namespace tov {

namespace {

// Object palette contents found at power-on, before random bit errors.
const uint16_t objectpalettepoweron[32] = {
    0x0000, 0x7B02, 0x5CF4, 0x584F, 0xD9A3, 0xEC16, 0x42C5, 0x0B08, 0x4D4A, 0x4999, 0x0708,
    0x8848, 0x1AB3, 0x0709, 0x12CB, 0x2B81, 0x8100, 0x08A6, 0x01F8, 0xD304, 0x1C20, 0xCB77,
    0x4C23, 0x2292, 0x270C, 0x3620, 0x4436, 0x0721, 0x4770, 0x002C, 0xC904, 0x0412,
};

// Registered mark drawn by the monochrome boot program as tile 25 (even bytes).
const uint8_t registeredmark[8] = {0x3C, 0x42, 0xB9, 0xA5, 0xB9, 0xA5, 0x42, 0x3C};

int hexvalue(const std::string& text) {
    // Whole string as hexadecimal; anything unparsable gives 0.
    size_t i = 0;
    while (i < text.size() && text[i] == ' ') i++;
    if (i == text.size()) return 0;
    int v = 0;
    for (; i < text.size(); i++) {
        char ch = text[i];
        int d;
        if (ch >= '0' && ch <= '9') d = ch - '0';
        else if (ch >= 'a' && ch <= 'f') d = ch - 'a' + 10;
        else if (ch >= 'A' && ch <= 'F') d = ch - 'A' + 10;
        else if (ch == ' ') break;
        else return 0;
        v = (v << 4) | d;
        if (v > 0xFFFFFF) return 0;
    }
    return v;
}

// Both clock readings folded into one non-zero 32-bit seed (splitmix64 finaliser), so
// that nearby readings give unrelated seeds.
uint32_t powerseed(double monotonic, int64_t unixtime) {
    uint64_t x = std::bit_cast<uint64_t>(monotonic) ^ (uint64_t(unixtime) << 32);
    x += 0x9E3779B97F4A7C15ull;
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    uint32_t seed = uint32_t(x ^ (x >> 32));
    return seed ? seed : 0x2545F491;
}

}  // namespace

uint32_t tgb::random32() {
    // xorshift32
    uint32_t x = rngstate;
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    rngstate = x;
    return x;
}

// The SGB unit asks for the second start while the program is writing P1, inside the
// CPU's run: resetting there would be undone when the interpreter stores its PC on
// return. The run is ended instead and the scheduler resets between slices.
void tgb::restartroutine(void* context) { static_cast<tgb*>(context)->requestreset(); }

void tgb::requestreset() {
    restartpending = true;
    cpu.exitflag = 1;
}

uint8_t tgb::bootromroutine(void* context, uint16_t address) {
    auto* gb = static_cast<tgb*>(context);
    if (address < 0x100) return gb->bootimage[address];
    const tpageentry& e = gb->bootsavedpage;
    if (e.data) return e.data[address];
    return e.read ? e.read(e.context, address) : 0xFF;
}

void tgb::mapbootrom(bool on) {
    if (on) {
        cart->mappages();
        // Saving the entry twice would save our own routine and make it call itself.
        if (!bootrommapped) bootsavedpage = pagetable[0];
        pagetable[0] = {nullptr, bootromroutine, this};
        bootrommapped = true;
    } else {
        if (!bootrommapped) return;
        bootrommapped = false;
        pagetable[0] = bootsavedpage;
        cart->mappages();
    }
}

bool tgb::loadbootrom(const std::string& path) {
    if (path.empty()) return false;
    // A relative name is taken from the program's folder; backslash separators of a settings
    // file written on Windows work too.
    std::string name = path;
    std::replace(name.begin(), name.end(), '\\', '/');
    if (name[0] != '/') name = programfolder + name;
    std::ifstream file(name, std::ios::binary);
    if (!file) return false;
    uint8_t image[256];
    file.read(reinterpret_cast<char*>(image), sizeof image);
    if (file.gcount() != 256) return false;
    mapbootrom(true);
    std::memcpy(bootimage, image, sizeof image);
    return true;
}

void tgb::installlogo() {
    if (!gbchardware) {
        for (int i = 0; i < 12; i++) {
            vram[0x1904 + i] = uint8_t(1 + i);
            vram[0x1924 + i] = uint8_t(13 + i);
        }
        vram[0x1910] = 25;
    }
    for (int i = 0; i < 8; i++) vram[0x190 + 2 * i] = registeredmark[i];
    for (int i = 0; i < 96; i++) {
        uint8_t byte = readbyte(uint16_t(0x104 + i / 2));
        int nibble = (i & 1) ? (byte & 0xF) : (byte >> 4);
        uint8_t b = 0;
        for (int bit = 0; bit < 4; bit++)
            if (nibble & (1 << bit)) b |= uint8_t(3 << (bit * 2));
        vram[16 + 4 * i] = b;
        vram[18 + 4 * i] = b;
    }
}

void tgb::resetmachine() {
    const tmachineoptions& o = options;
    // Memory comes up with random contents; the generator is seeded from the host clock
    // alone, so equal clock readings give equal power-on contents.
    rngstate = powerseed(hostclock->monotonic(), hostclock->unixtime());

    restartpending = false;
    resetcount++;

    // 1. Cartridge pages and banks.
    bootrommapped = false;
    cart->pagetable = pagetable;
    setwrambank(0);
    setvrambank(0);
    cart->cartreset();

    // 2. Model.
    gbcmode = false;
    sgbmode = false;
    uint8_t h143 = readbyte(0x143), h146 = readbyte(0x146), h14b = readbyte(0x14B);
    bool colour = h143 & 0x80;
    bool colouronly = (h143 & 0xC0) == 0xC0;
    bool sgbcapable = h146 == 0x03 && h14b == 0x33;
    bool secondphase = false, twophase = false;
    int mode = o.SystemMode;
    if (mode == 6) {
        if (colouronly) {
            gbcmode = true;
        } else if (colour && sgbcapable) {
            twophase = true;
            if (!sgb->restartarmed()) {
                // First run as a Super Game Boy game so that it sends its border.
                sgbmode = true;
                sgb->beginborderphase(restartroutine, this);
            } else {
                // The border is up: restart in colour inside it.
                secondphase = true;
                sgb->beginhiddenphase();
                sgbmode = true;
                gbcmode = true;
            }
        } else {
            mode = 5;
        }
    }
    switch (mode) {
    case 1: gbcmode = colour; break;
    case 2: sgbmode = sgbcapable; break;
    case 3: gbcmode = colour; sgbmode = sgbcapable && !colour; break;
    case 4: gbcmode = colour && !sgbcapable; sgbmode = sgbcapable; break;
    case 5: gbcmode = colour; sgbmode = sgbcapable; break;
    default: break;  // 0, 6 (handled above) and out-of-range values: Game Boy
    }
    if (!secondphase) sgb->endhiddenphase();
    if (!twophase && sgbmode) sgb->cancelrestart(this);
    gbchardware = gbcmode || o.SystemMode == 1;

    // 3. Renderer.
    draw->gbcmode = gbcmode;
    draw->sgbmode = sgbmode;
    draw->gbchardware = gbchardware;
    draw->init();

    // 4. CPU registers as each boot program leaves them.
    if (gbchardware) {
        cpu.A = 0x11; cpu.F = 0x80;
        cpu.B = o.DetectGBA ? 0x01 : 0x00; cpu.C = 0x00;
        if (gbcmode) { cpu.D = 0xFF; cpu.E = 0x56; cpu.H = 0x00; cpu.L = 0x0D; }
        else { cpu.D = 0x00; cpu.E = 0x08; cpu.H = 0x00; cpu.L = 0x7C; }
    } else {
        cpu.A = o.DetectGBP ? 0xFF : 0x01; cpu.F = 0xB0;
        cpu.B = 0x00; cpu.C = 0x13; cpu.D = 0x00; cpu.E = 0xD8; cpu.H = 0x01; cpu.L = 0x4D;
    }
    cpu.emulatehaltbug = o.EmulateHaltBug;
    cpu.PC = 0x0100;
    cpu.SP = 0xFFFE;
    cpu.halted = 0;
    cpu.ime = 0;
    cpu.eipending = 0;
    cpu.haltbugskip = 0;
    cpu.exitflag = 0;
    unpackflags(cpu);

    // 5. Speed and interrupt lines.
    eventstep = 0;  // nothing is due: the event fields start afresh below
    eventcountdown = 0;
    setspeed(0);
    key1prepare = 0;
    ilines = 0;

    // 6. High RAM and work RAM contents.
    for (auto& b : hram) b = uint8_t(random32());
    if (o.UninitedWRAM == 1) {
        uint8_t fill = uint8_t(hexvalue(o.WRAMinitvalue));
        std::memset(wram, fill, wramsize);
        std::memset(hram, fill, sizeof hram);
    } else if (o.UninitedWRAM == 2 || !gbchardware) {
        for (int i = 0; i < wramsize; i++) wram[i] = uint8_t(random32());
    } else {
        for (int bank = 0; bank < 8; bank++) {
            uint8_t* p = wram + bank * 4096;
            for (int i = 0; i < 0x800; i++) {
                uint8_t v = (i & 8) ? 0x00 : 0xFF;
                if (random32() % 80 == 0) v ^= uint8_t(1 << (random32() & 7));
                p[i] = v;
            }
            for (int i = 0x800; i < 0x1000; i++) {
                uint8_t v = (i & 8) ? 0xFF : 0x00;
                if (v)
                    for (int bit = 0; bit < 8; bit++)
                        if (random32() % 30 == 0) v ^= uint8_t(1 << bit);
                p[i] = v;
            }
        }
    }

    // 7. Uninitialised-RAM tracking for the debugger.
    trackwraminit = o.DebugWRAMbreak;
    if (trackwraminit) {
        std::memset(wraminited, 0, sizeof wraminited);
        std::memset(hraminited, 0, sizeof hraminited);
    }
    if (debugger) debugger->machinereset();

    // 8. Video memory, logo, OAM, joypad and serial.
    std::memset(vram, 0, vramsize);
    installlogo();
    std::memset(oam, 0, sizeof oam);
    for (auto& w : joypad) w = 0;
    p1select = 0;
    sb = 0;
    // The GBC's boot program leaves the internal clock selected (SC reads 0x7F).
    sc = gbchardware ? 0x01 : 0x00;
    serialbits = 0;

    // 9. Timer, interrupts, LCD on (the divider is placed with the event fields below).
    tima = tma = tac = 0;
    recomputeevents();
    iereg = 0;
    ifreg = 0x01;
    lcdregs.lcdc = 0;
    vblankraised = false;
    mode2hold = false;
    hdmadeferred = false;
    vblanklateness = 0;
    mode3half = 0;
    // The STAT sources of the previous run must not raise the line when the LCD starts.
    statwritten = 0;
    lcdcwrite(0x91);
    statwrite(0x00);
    debugoffset = 0;
    inslice = false;
    // The internal divider where the built-in boot program hands over (DIV 0xAB on the
    // monochrome models, 0x26 on the GBC), in units, read at the start of an instruction
    // (an LDH read or write comes 8 clocks later).
    uint32_t bootdivider = gbchardware ? (0x2678 + 8) >> 1 : (0xABCC + 8) >> 1;
    eventcounter = 0x80000000u | bootdivider;
    secondmark = ((eventcounter + timeskew) & 0x7FFFFFFFu) >> 21;
    lasteventcounter = 0;
    eventstep = 0;
    eventcountdown = 0;
    stepfinal = false;
    linewritelogcount = 0;
    linewritepending = false;

    // 10. LCD phase where the boot program hands over.
    if (gbcmode) {
        ly = 144;
        setlcdmode(1);
        lcdcountdown = 222;
        linerest = 0;
        setirqlines(1, 1);
    } else {
        setlcdmode(0);
        lcdcountdown = 24;
        linerest = 0;  // HBlank: the countdown is all that is left of line 0
    }
    dmareg = gbchardware ? 0x00 : 0xFF;

    // 11. Remaining LCD registers.
    lyc = 0;
    lcdregs.scx = lcdregs.scy = lcdregs.wx = lcdregs.wy = 0;
    lcdregs.bgp = 0xFC;
    updatestatline();

    // 12. Palettes and the GBC-only registers.
    if (gbcmode) {
        if (o.GBCpalPD) {
            for (int j = 0; j < 64; j++) gbcpal[j] = uint16_t(((3 - (j & 3)) * 31 / 3) * 1057);
        } else {
            for (int j = 0; j < 32; j++) gbcpal[j] = 0x7FFF;
            for (int j = 0; j < 32; j++) {
                uint16_t v = objectpalettepoweron[j];
                for (int bit = 0; bit < 16; bit++)
                    if (random32() % 30 == 0) v ^= uint16_t(1 << bit);
                gbcpal[32 + j] = v;
            }
        }
        lcdregs.obp0 = lcdregs.obp1 = 0;
        bcps = 0xC0;
        ocps = 0xC1;
        hdmasource = hdmadest = 0xFFFF;
        hdma5 = 0xFF;
        rp = 0;
    } else if (gbchardware) {
        bcps = 0xC8;
        ocps = 0xD0;
        lcdregs.obp0 = lcdregs.obp1 = 0;
        hdma5 = 0xFF;
    } else {
        lcdregs.obp0 = lcdregs.obp1 = 0xFF;
        hdma5 = 0xFF;
    }

    // 13. Sound and Super Game Boy units.
    sound->soundreset(gbchardware, sgbmode);
    if (sgbmode && !sgb->keepborder) sgb->reset();

    // 14. Monochrome boot image.
    if (!gbcmode && !o.DmgBootRom.empty() && loadbootrom(o.DmgBootRom)) {
        std::memset(vram, 0, 8192);
        cpu.PC = 0x0000;
        // The boot program itself starts with the divider at 0.
        eventcounter = 0x80000000u;
        writebyte(0xFF26, 0x00);
        writebyte(0xFF40, 0x00);
    }
    vramreplaced();
}

}  // namespace tov
