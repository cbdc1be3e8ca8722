// The machine's bus: construction, page table, write dispatch and the I/O registers.
#include <cstring>

#include "core/gb.h"

namespace tov {

namespace {
// Bits that read as 1, taken from the register table at compile time.
template <uint16_t address, bool gbcmode>
constexpr uint8_t ones = ioreadones(address, gbcmode);
}  // namespace

tgb::tgb(const tmachineoptions& o, std::string folder)
    : options(o), programfolder(std::move(folder)),
      wrambuf(new uint8_t[wramsize]()), vrambuf(new uint8_t[vramsize]()),
      cart(new tcart), sound(new tgbsound), sgb(new tsgb) {
    if (!programfolder.empty() && programfolder.back() != '/') programfolder += '/';
    wram = wrambuf.get();
    vram = vrambuf.get();
    wrambank = wram + 4096;
    vrambank = vram;
    buildiocodes();
    cart->pagetable = pagetable;
    cart->cartreset();
    wirepages();
    cpu.pagetable = pagetable;
    cpu.read = readroutine;
    cpu.readcontext = this;
    cpu.write = writeroutine;
    cpu.writecontext = this;
    cpu.onstop = stoproutine;
    cpu.onstopcontext = this;
    cpu.onillegal = illegalroutine;
    cpu.onillegalcontext = this;
    attachrenderer(nullptr);
    renderflag = true;
    rngstate = uint32_t(reinterpret_cast<uintptr_t>(this)) | 1;
}

tgb::~tgb() {
    // The cartridge writes its battery file and clears its page entries while the table
    // is still alive.
    if (cart) cart->savesram();
    cart.reset();
    if (sgb) sgb->cancelrestart(this);
}

void tgb::wirepages() {
    pagetable[0xC] = {wram - 0xC000, nullptr, nullptr};
    pagetable[0xE] = {wram - 0xE000, nullptr, nullptr};
    pagetable[0xF] = {nullptr, iroutine, this};
    refreshvrampages();
}

void tgb::buildiocodes() {
    std::memset(iocode, ioNone, sizeof iocode);
    auto range = [this](int first, int last, tiocode code) {
        for (int a = first; a <= last; a++) iocode[a & 0xFFF] = code;
    };
    range(0xF000, 0xFDFF, ioEcho);
    range(0xFE00, 0xFE9F, ioOAM);
    range(0xFEA0, 0xFEFF, ioUnusable);
    range(0xFF80, 0xFFFE, ioHRAM);
    // The registers, 0xFF00-0xFF7F and IE, from their table.
    for (const tioregister& r : ioregisters) iocode[r.address & 0xFFF] = r.code;
}

// ---- Page routines ----

uint8_t tgb::readroutine(void* context, uint16_t address) {
    return static_cast<tgb*>(context)->readbyte(address);
}

void tgb::writeroutine(void* context, uint16_t address, uint8_t value) {
    static_cast<tgb*>(context)->writebyte(address, value);
}

uint8_t tgb::vramroutine(void* context, uint16_t address) {
    return static_cast<tgb*>(context)->vramread(address);
}

uint8_t tgb::iroutine(void* context, uint16_t address) {
    return static_cast<tgb*>(context)->ioread(address);
}

uint8_t tgb::unmappedroutine(void*, uint16_t) { return 0xFF; }

void tgb::stoproutine(void* context) { static_cast<tgb*>(context)->speedswitch(); }

void tgb::illegalroutine(void* context) {
    auto* gb = static_cast<tgb*>(context);
    gb->debugstepping = true;
    gb->illegalcount++;
}

void tgb::refreshvrampages() {
    uint8_t* p = vraminaccessible ? nullptr : vrambank - 0x8000;
    pagetable[8] = {p, vramroutine, this};
    pagetable[9] = {p, vramroutine, this};
    pagetable[0xD] = {wrambank - 0xD000, nullptr, nullptr};
}

void tgb::setwrambank(uint8_t value) {
    svbk = value & 7;
    int bank = svbk ? svbk : 1;
    wrambank = wram + bank * 4096;
    refreshvrampages();
}

void tgb::setvrambank(uint8_t value) {
    vbk = value & 1;
    vrambank = vram + vbk * 8192;
    refreshvrampages();
}

// ---- Attachments ----

void tgb::attachcart(std::unique_ptr<tcart> newcart) {
    if (cart) {
        cart->savesram();
        cart.reset();
    }
    // Until the new cartridge installs its pages (at reset or loadsram), its pages read
    // as an empty slot rather than through entries of the destroyed one.
    for (int i : {0, 1, 2, 3, 4, 5, 6, 7, 10, 11}) pagetable[i] = {nullptr, unmappedroutine, this};
    bootrommapped = false;
    cart = newcart ? std::move(newcart) : std::make_unique<tcart>();
    cart->pagetable = pagetable;
    cart->onsavefailed = onsavefailed;
}

void tgb::detachcart() { attachcart(nullptr); }

void tgb::attachrenderer(tgbdraw* renderer) {
    tgbdraw* old = draw;
    tgbdraw* next = renderer ? renderer : &nulldraw;
    if (next != old) {
        // The detached renderer draws from its own record again.
        old->attachregisters(nullptr);
        next->gbcmode = old->gbcmode;
        next->sgbmode = old->sgbmode;
        next->gbchardware = old->gbchardware;
        next->skipframe = old->skipframe;
    }
    next->attachregisters(&lcdregs);
    next->vram = vram;
    next->oam = oam;
    next->gbcpalram = gbcpal;
    next->linewrites = linewrites;
    next->linewritecount = 0;
    draw = next;
}

void tgb::setsound(std::unique_ptr<tgbsound> unit) {
    if (unit) sound = std::move(unit);
}

void tgb::setsgb(std::unique_ptr<tsgb> unit) {
    if (!unit) return;
    // Carry a pending two-phase restart over to the new unit.
    unit->adoptrestart(*sgb, this);
    sgb = std::move(unit);
}

// ---- Writes ----

void tgb::writebyte(uint16_t address, uint8_t value) {
    writecounter++;
    switch (address >> 12) {
    case 0x0: case 0x1: case 0x2: case 0x3: case 0x4: case 0x5: case 0x6: case 0x7:
        cart->romwrite(address, value);
        break;
    case 0x8: case 0x9:
        if (!vraminaccessible) {
            vrambank[address & 0x1FFF] = value;
            draw->vramwrite(vbk, address - 0x8000);
            if (vramwatch) vramwatch(vramwatchcontext, vbk, address - 0x8000);
        }
        break;
    case 0xA: case 0xB:
        cart->ramwrite(address, value);
        break;
    case 0xC: case 0xE:
        wram[address & 0xFFF] = value;
        if (trackwraminit) wraminited[(address & 0xFFF) >> 3] |= uint8_t(1 << (address & 7));
        break;
    case 0xD:
        wrambank[address & 0xFFF] = value;
        if (trackwraminit) {
            unsigned offset = unsigned(wrambank - wram) + (address & 0xFFF);
            wraminited[offset >> 3] |= uint8_t(1 << (offset & 7));
        }
        break;
    default:
        iowrite(address, value);
        break;
    }
}

void tgb::palettewrite(bool objects, uint8_t value) {
    uint8_t& index = objects ? ocps : bcps;
    int idx = index & 0x3F;
    int word = (objects ? 32 : 0) + (idx >> 1);
    int bitpos = (idx & 1) * 8;
    uint8_t old = uint8_t(gbcpal[word] >> bitpos);
    if (old != value) draw->palwrite(idx + (objects ? 64 : 0));
    if (!vraminaccessible)
        gbcpal[word] = uint16_t((gbcpal[word] & ~(0xFF << bitpos)) | (value << bitpos));
    if (index & 0x80) index = uint8_t((index & 0x80) | ((index + 1) & 0x3F));
}

void tgb::serialcontrolwrite(uint8_t v) {
    resetevents();
    uint8_t s = sc;
    if ((v & 0x81) == 0x81 && (s & 0x81) != 0x81) {
        serialbits = 8;
        s |= 0x81;
        if (onserialstart) onserialstart(onserialcontext, sb);
    } else if ((v & 0x81) == 0x80) {
        s = uint8_t((s & ~1) | 0x80);
    } else if (!(v & 0x80)) {
        s = uint8_t((s & ~0x81) | v);
    }
    if (gbcmode) s = uint8_t((s & ~2) | (v & 2));
    sc = s;
}

void tgb::serialnopeer() {
    if ((sc & 0x81) == 0x81) {
        sc &= 0x7F;
        sb = 0xFF;
        ifreg |= 0x08;
    }
}

void tgb::oamdma(uint8_t value) {
    dmareg = value;
    uint16_t source = uint16_t(value << 8);
    for (int i = 0; i < 160; i++) writebyte(uint16_t(0xFE00 + i), readbyte(uint16_t(source + i)));
}

void tgb::logmidline(uint16_t address, uint8_t oldvalue, uint8_t value) {
    // The time is added after the slice, and only while the LCD is in mode 3 (the write
    // ends the slice, so each slice logs at most one).
    if (linewritelogcount >= maxlinewrites) return;
    tlinewrite& w = linewrites[linewritelogcount];
    w.reg = address;
    w.oldvalue = oldvalue;
    w.newvalue = value;
    linewritepending = true;
}

void tgb::iowrite(uint16_t address, uint8_t value) {
    switch (iocode[address & 0xFFF]) {
    case ioEcho:
        wrambank[address & 0xFFF] = value;
        if (trackwraminit) {
            unsigned offset = unsigned(wrambank - wram) + (address & 0xFFF);
            wraminited[offset >> 3] |= uint8_t(1 << (offset & 7));
        }
        break;
    case ioOAM: {
        int i = address & 0xFF;
        if (oam[i] != value) {
            oam[i] = value;
            draw->oamwrite(i);
        }
        break;
    }
    case ioP1:
        if (sgbmode) sgb->joypadwrite(value, p1select);
        p1select = value;
        break;
    case ioSB: sb = value; break;
    case ioSC: serialcontrolwrite(value); break;
    case ioDIV:
        dividerreset();
        cpu.exitflag = 1;
        break;
    case ioTIMA: tima = value; break;
    case ioTMA: tma = value; break;
    case ioTAC:
        tacwrite(value);
        cpu.exitflag = 1;
        break;
    case ioIF:
        ifreg = value & 0x1F;
        cpu.exitflag = 1;
        break;
    case ioSound:
        // Length and power writes act by where they fall between frame-sequencer ticks.
        sound->stepphase = sequencerphase();
        sound->soundwrite(uint8_t(address), value);
        break;
    case ioWave: sound->wavewrite(address & 0x0F, value); break;
    case ioLCDC:
        logmidline(address, lcdregs.lcdc, value);
        lcdcwrite(value);
        cpu.exitflag = 1;
        break;
    case ioSTAT:
        statwrite(value);
        cpu.exitflag = 1;
        break;
    case ioSCY: case ioSCX: case ioBGP: case ioOBP0: case ioOBP1: case ioWY: case ioWX: {
        uint8_t code = iocode[address & 0xFFF];
        uint8_t& reg = code == ioSCY ? lcdregs.scy : code == ioSCX ? lcdregs.scx : code == ioBGP ? lcdregs.bgp
                     : code == ioOBP0 ? lcdregs.obp0 : code == ioOBP1 ? lcdregs.obp1 : code == ioWY ? lcdregs.wy
                     : lcdregs.wx;
        logmidline(address, reg, value);
        reg = value;
        cpu.exitflag = 1;
        break;
    }
    case ioLYC:
        lyc = value;
        updatestatline();
        cpu.exitflag = 1;
        break;
    case ioDMA: oamdma(value); break;
    case ioKEY1:
        if (gbcmode) key1prepare = value & 1;
        break;
    case ioVBK:
        if (gbcmode) setvrambank(value);
        break;
    case ioBOOT:
        if (bootrommapped) mapbootrom(false);
        break;
    case ioHDMA1:
        if (gbcmode) hdmasource = uint16_t((hdmasource & 0x00FF) | (value << 8));
        break;
    case ioHDMA2:
        if (gbcmode) hdmasource = uint16_t((hdmasource & 0xFF00) | value);
        break;
    case ioHDMA3:
        if (gbcmode) hdmadest = uint16_t((hdmadest & 0x00FF) | (value << 8));
        break;
    case ioHDMA4:
        if (gbcmode) hdmadest = uint16_t((hdmadest & 0xFF00) | value);
        break;
    case ioHDMA5:
        if (gbcmode) hdma5write(value);
        break;
    case ioRP:
        if (gbcmode) rp = value;
        break;
    case ioBCPS:
        if (gbchardware) bcps = value;
        break;
    case ioBCPD:
        if (gbcmode) palettewrite(false, value);
        break;
    case ioOCPS:
        if (gbchardware) ocps = value;
        break;
    case ioOCPD:
        if (gbcmode) palettewrite(true, value);
        break;
    case ioSVBK:
        if (gbcmode) setwrambank(value);
        break;
    case ioHRAM:
        hram[address - 0xFF80] = value;
        if (trackwraminit) hraminited[address - 0xFF80] = 1;
        break;
    case ioIE:
        iereg = value & 0x1F;
        cpu.exitflag = 1;
        break;
    default:
        break;  // unmapped, LY, 0xFEA0-0xFEFF
    }
}

uint8_t tgb::iopeek(uint16_t address) const {
    switch (iocode[address & 0xFFF]) {
    case ioEcho: return wrambank[address & 0xFFF];
    case ioOAM: return oam[address & 0xFF];
    case ioUnusable: return 0x00;
    case ioP1: return joypadread();
    case ioSB: return sb;
    case ioSC: return sc | (gbcmode ? ones<0xFF02, true> : ones<0xFF02, false>);
    case ioDIV: return dividervalue();
    case ioTIMA: return tima;
    case ioTMA: return tma;
    case ioTAC: return tac | ones<0xFF07, false>;
    case ioIF: return ifreg | ones<0xFF0F, false>;
    case ioSound: return sound->soundread(uint8_t(address));
    case ioWave: return sound->waveread(address & 0x0F);
    case ioLCDC: return lcdregs.lcdc;
    case ioSTAT: return stat;
    case ioSCY: return lcdregs.scy;
    case ioSCX: return lcdregs.scx;
    case ioLY: return ly;
    case ioLYC: return lyc;
    case ioDMA: return dmareg;
    case ioBGP: return lcdregs.bgp;
    case ioOBP0: return lcdregs.obp0;
    case ioOBP1: return lcdregs.obp1;
    case ioWY: return lcdregs.wy;
    case ioWX: return lcdregs.wx;
    case ioKEY1: return gbcmode ? uint8_t(key1prepare | (speed << 7) | ones<0xFF4D, true>) : 0xFF;
    case ioVBK: return gbchardware ? uint8_t(vbk | ones<0xFF4F, true>) : 0xFF;
    // HDMA1-4 are write-only.
    case ioHDMA5: return gbcmode ? hdma5 : 0xFF;
    case ioRP: return gbcmode ? uint8_t(rp | ones<0xFF56, true>) : 0xFF;
    case ioBCPS: return gbchardware ? uint8_t(bcps | ones<0xFF68, true>) : 0xFF;
    case ioOCPS: return gbchardware ? uint8_t(ocps | ones<0xFF6A, true>) : 0xFF;
    case ioBCPD:
    case ioOCPD: {
        if (!gbcmode || vraminaccessible) return 0xFF;
        bool objects = iocode[address & 0xFFF] == ioOCPD;
        int idx = (objects ? ocps : bcps) & 0x3F;
        return uint8_t(gbcpal[(objects ? 32 : 0) + (idx >> 1)] >> ((idx & 1) * 8));
    }
    case ioSVBK: return gbcmode ? uint8_t(svbk | ones<0xFF70, true>) : 0xFF;
    case ioHRAM: return hram[address & 0x7F];
    case ioIE: return iereg & 0x1F;
    default: return 0xFF;
    }
}

}  // namespace tov
