#include "core/gbinspect.h"

#include "core/gb.h"

namespace tov {

namespace {
constexpr uint32_t rombanksize = 0x4000, rambanksize = 0x2000, wrambanksize = 0x1000,
                   vrambanksize = 0x2000;

struct tregionrange {
    const char* name;
    uint16_t first, last;
};
constexpr tregionrange ranges[memregioncount] = {
    {"ROM0", 0x0000, 0x3FFF}, {"ROMX", 0x4000, 0x7FFF}, {"VRAM", 0x8000, 0x9FFF},
    {"SRAM", 0xA000, 0xBFFF}, {"WRAM0", 0xC000, 0xCFFF}, {"WRAMX", 0xD000, 0xDFFF},
    {"ECHO", 0xE000, 0xFDFF}, {"OAM", 0xFE00, 0xFE9F}, {"UNUSABLE", 0xFEA0, 0xFEFF},
    {"I/O", 0xFF00, 0xFF7F}, {"HRAM", 0xFF80, 0xFFFE}, {"IE", 0xFFFF, 0xFFFF},
};

int rombanks(const tcart& cart) {
    return cart.romimagedata() ? int((int64_t(cart.romimagesize()) + rombanksize - 1) / rombanksize) : 0;
}
int rambanks(const tcart& cart) {
    return cart.ramdata() ? int((int64_t(cart.ramimagesize()) + rambanksize - 1) / rambanksize) : 0;
}
int wrambanks(const tgb& gb) { return gb.gbchardware ? 8 : 2; }
int vrambanks(const tgb& gb) { return gb.gbchardware ? 2 : 1; }
int currentwrambank(const tgb& gb) { return int((gb.wrambank - gb.wram) / wrambanksize); }
}  // namespace

tmemregion tgbinspect::regionof(uint16_t address) {
    for (int i = memregioncount - 1; i > 0; i--)
        if (address >= ranges[i].first) return tmemregion(i);
    return tmemregion::rom0;
}

uint8_t tgbinspect::peek(uint16_t address) const {
    tcart& cart = gb.cartridge();
    switch (address >> 12) {
    case 0x0: case 0x1: case 0x2: case 0x3: case 0x4: case 0x5: case 0x6: case 0x7: {
        if (gb.bootrommapped && address < 0x100) return gb.bootimage[address];
        // While the boot image covers page 0, the cartridge's own entry is kept aside.
        const tpageentry& e = gb.bootrommapped && address < 0x1000 ? gb.bootsavedpage : gb.pagetable[address >> 12];
        return e.data ? e.data[address] : cart.peekrom(address);
    }
    case 0x8: case 0x9: return gb.vrambank[address & 0x1FFF];
    case 0xA: case 0xB: {
        const tpageentry& e = gb.pagetable[address >> 12];
        return e.data ? e.data[address] : cart.peekram(address);
    }
    case 0xC: case 0xE: return gb.wram[address & 0xFFF];
    case 0xD: return gb.wrambank[address & 0xFFF];
    default: return gb.iopeek(address);
    }
}

bool tgbinspect::poke(uint16_t address, uint8_t value) {
    tcart& cart = gb.cartridge();
    switch (address >> 12) {
    case 0x0: case 0x1: case 0x2: case 0x3: case 0x4: case 0x5: case 0x6: case 0x7: {
        if (gb.bootrommapped && address < 0x100) {
            gb.bootimage[address] = value;
            return true;
        }
        uint8_t* rom = cart.romimagedata();
        int64_t offset = address < 0x4000 ? int64_t(address)
                                          : int64_t(cart.currentrombank()) * rombanksize + (address - 0x4000);
        if (!rom || offset < 0 || offset >= cart.romimagesize()) return false;
        rom[offset] = value;
        return true;
    }
    case 0x8: case 0x9:
        gb.vrambank[address & 0x1FFF] = value;
        gb.renderer().vramwrite(gb.vbk, address & 0x1FFF);
        if (gb.vramwatch) gb.vramwatch(gb.vramwatchcontext, gb.vbk, address & 0x1FFF);
        return true;
    case 0xA: case 0xB: {
        uint8_t* ram = cart.ramdata();
        int64_t offset = int64_t(cart.currentrambank()) * rambanksize + (address - 0xA000);
        if (!ram || offset < 0 || offset >= cart.ramimagesize()) return false;
        ram[offset] = value;
        return true;
    }
    case 0xC: case 0xE: gb.wram[address & 0xFFF] = value; return true;
    case 0xD: gb.wrambank[address & 0xFFF] = value; return true;
    default: return pokeio(address, value);
    }
}

void tgbinspect::pokepalette(bool objects, uint8_t value) {
    int idx = (objects ? gb.ocps : gb.bcps) & 0x3F;
    int word = (objects ? 32 : 0) + (idx >> 1);
    int bitpos = (idx & 1) * 8;
    if (uint8_t(gb.gbcpal[word] >> bitpos) == value) return;
    gb.gbcpal[word] = uint16_t((gb.gbcpal[word] & ~(0xFF << bitpos)) | (value << bitpos));
    gb.renderer().palwrite(idx + (objects ? 64 : 0));
}

bool tgbinspect::pokeio(uint16_t address, uint8_t value) {
    tlcdregisters& lcd = gb.lcdregs;
    switch (gb.iocode[address & 0xFFF]) {
    case ioEcho: gb.wrambank[address & 0xFFF] = value; return true;
    case ioOAM: {
        int i = address & 0xFF;
        if (gb.oam[i] != value) {
            gb.oam[i] = value;
            gb.renderer().oamwrite(i);
        }
        return true;
    }
    case ioP1: gb.p1select = value; return true;
    case ioSB: gb.sb = value; return true;
    case ioDIV: gb.setdividervalue(value); return true;
    case ioTIMA: gb.tima = value; return true;
    case ioTMA: gb.tma = value; return true;
    case ioIF: gb.ifreg = value & 0x1F; return true;
    case ioWave: gb.soundunit().wavewrite(address & 0x0F, value); return true;
    case ioSCY: lcd.scy = value; return true;
    case ioSCX: lcd.scx = value; return true;
    case ioLYC: gb.lyc = value; return true;
    case ioDMA: gb.dmareg = value; return true;
    case ioBGP: lcd.bgp = value; return true;
    case ioOBP0: lcd.obp0 = value; return true;
    case ioOBP1: lcd.obp1 = value; return true;
    case ioWY: lcd.wy = value; return true;
    case ioWX: lcd.wx = value; return true;
    case ioKEY1:
        if (!gb.gbcmode) return false;
        gb.key1prepare = value & 1;
        return true;
    case ioHDMA1: case ioHDMA2: case ioHDMA3: case ioHDMA4: {
        if (!gb.gbcmode) return false;
        const tiocode code = tiocode(gb.iocode[address & 0xFFF]);
        uint16_t& reg = code <= ioHDMA2 ? gb.hdmasource : gb.hdmadest;
        const bool high = code == ioHDMA1 || code == ioHDMA3;
        reg = high ? uint16_t((reg & 0x00FF) | (value << 8)) : uint16_t((reg & 0xFF00) | value);
        return true;
    }
    case ioRP:
        if (!gb.gbcmode) return false;
        gb.rp = value;
        return true;
    case ioBCPS: case ioOCPS:
        if (!gb.gbchardware) return false;
        (gb.iocode[address & 0xFFF] == ioOCPS ? gb.ocps : gb.bcps) = value;
        return true;
    case ioBCPD: case ioOCPD:
        if (!gb.gbcmode) return false;
        pokepalette(gb.iocode[address & 0xFFF] == ioOCPD, value);
        return true;
    case ioHRAM: gb.hram[address - 0xFF80] = value; return true;
    case ioIE: gb.iereg = value & 0x1F; return true;
    default: return false;
    }
}

uint8_t tgbinspect::peekbanked(tmemregion r, int bank, uint32_t offset) const {
    const tregionrange& range = ranges[int(r)];
    if (bank < 0 || offset > uint32_t(range.last - range.first)) return 0xFF;
    tcart& cart = gb.cartridge();
    switch (r) {
    case tmemregion::rom0:
    case tmemregion::romx: {
        int64_t at = int64_t(bank) * rombanksize + offset;
        return cart.romimagedata() && at < cart.romimagesize() ? cart.romimagedata()[at] : 0xFF;
    }
    case tmemregion::vram:
        return bank < vrambanks(gb) ? gb.vram[bank * vrambanksize + offset] : 0xFF;
    case tmemregion::sram: {
        int64_t at = int64_t(bank) * rambanksize + offset;
        return cart.ramdata() && at < cart.ramimagesize() ? cart.ramdata()[at] : 0xFF;
    }
    case tmemregion::wram0:
    case tmemregion::wramx:
        return bank < wrambanks(gb) ? gb.wram[bank * wrambanksize + offset] : 0xFF;
    default:
        return bank == 0 ? peek(uint16_t(range.first + offset)) : 0xFF;
    }
}

tregioninfo tgbinspect::region(tmemregion r) const {
    const tregionrange& range = ranges[int(r)];
    tregioninfo info{r, range.name, range.first, range.last, 1, 0};
    const tcart& cart = gb.cartridge();
    switch (r) {
    case tmemregion::rom0: info.banks = rombanks(cart); break;
    case tmemregion::romx: info.banks = rombanks(cart); info.current = cart.currentrombank(); break;
    case tmemregion::vram: info.banks = vrambanks(gb); info.current = gb.vbk; break;
    case tmemregion::sram: info.banks = rambanks(cart); info.current = cart.currentrambank(); break;
    case tmemregion::wram0: info.banks = wrambanks(gb); break;
    case tmemregion::wramx: info.banks = wrambanks(gb); info.current = currentwrambank(gb); break;
    default: break;
    }
    return info;
}

std::array<tregioninfo, memregioncount> tgbinspect::regions() const {
    std::array<tregioninfo, memregioncount> all{};
    for (int i = 0; i < memregioncount; i++) all[size_t(i)] = region(tmemregion(i));
    return all;
}

int tgbinspect::bankof(uint16_t address) const {
    switch (regionof(address)) {
    case tmemregion::romx: return gb.cartridge().currentrombank();
    case tmemregion::vram: return gb.vbk;
    case tmemregion::sram: return gb.cartridge().currentrambank();
    case tmemregion::wramx: return currentwrambank(gb);
    case tmemregion::echo: return address < 0xF000 ? 0 : currentwrambank(gb);
    default: return 0;
    }
}

tvideoview tgbinspect::video() const {
    tvideoview v;
    v.vram = gb.vram;
    v.oam = gb.oam;
    v.gbcpal = gb.gbcpal;
    v.lcd = gb.lcdregs;
    v.gbcmode = gb.gbcmode;
    v.sgbmode = gb.sgbmode;
    v.vrambanks = vrambanks(gb);
    return v;
}

ttimingview tgbinspect::timing() const {
    ttimingview t;
    t.time = gb.currenttime();
    t.lineleft = gb.lcdcountdown + gb.linerest + gb.debugoffset;
    t.ly = gb.ly;
    t.lyc = gb.lyc;
    t.stat = gb.stat;
    t.lcdc = gb.lcdregs.lcdc;
    t.tac = gb.tac;
    t.tima = gb.tima;
    t.speed = gb.speed;
    t.halted = gb.cpu.halted != 0;
    t.hdmasource = gb.hdmasource;
    t.hdmadest = gb.hdmadest;
    t.hdma5 = gb.hdma5;
    return t;
}

tcartview tgbinspect::cartbanks() const {
    const tcart& cart = gb.cartridge();
    tcartview c;
    c.banked = cart.isbanked();
    c.rombank = cart.currentrombank();
    c.rambank = cart.currentrambank();
    c.ramenabled = cart.ramenabled();
    c.mbc1mode = cart.mbc1modeflag();
    return c;
}

tcpuregisters tgbinspect::cpuregisters() const {
    const tcpustate& c = gb.cpu;
    tcpuregisters r;
    r.af = uint16_t(c.A << 8 | c.flagZ << 7 | c.flagN << 6 | c.flagH << 5 | c.flagC << 4);
    r.bc = c.BC;
    r.de = c.DE;
    r.hl = c.HL;
    r.sp = c.SP;
    r.pc = c.PC;
    r.ime = c.ime != 0;
    r.eipending = c.eipending != 0;
    r.halted = c.halted != 0;
    return r;
}

void tgbinspect::setcpuregisters(const tcpuregisters& r) {
    tcpustate& c = gb.cpu;
    c.A = uint8_t(r.af >> 8);
    c.F = uint8_t(r.af & 0xF0);
    unpackflags(c);
    c.BC = r.bc;
    c.DE = r.de;
    c.HL = r.hl;
    c.SP = r.sp;
    c.PC = r.pc;
    c.ime = r.ime;
    c.eipending = r.eipending;
    c.halted = r.halted;
}

}  // namespace tov
