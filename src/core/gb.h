// The machine: memories, page table and bus, I/O registers, the event scheduler with LCD
// timing, timers and interrupts, GBC DMA, the joypad, and reset with model selection.
#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "cart/cart.h"
#include "core/cpu.h"
#include "core/hostclock.h"
#include "core/ioregs.h"
#include "sound/gbsound.h"
#include "state/statefwd.h"
#include "video/gbdraw.h"
#include "video/sgb.h"

namespace tov {

// What the machine needs from the debugger's run control. The machine asks before every
// instruction while `debugstepping` is on.
class tdebugport {
public:
    virtual ~tdebugport() = default;
    // Reason code to stop for before the next instruction, or 0.
    virtual int checkbreak() = 0;
    // Stop in the debugger; returns when the user resumes.
    virtual void enterdebugger(int reason) = 0;
    // An interrupt is about to be dispatched (the return address will be pushed).
    virtual void interruptnotice() = 0;
    // The machine was reset: re-install access watches.
    virtual void machinereset() {}
};

// What the machine needs from the link cable. Without one, the serial port behaves as
// with nothing plugged in.
class tlinkport {
public:
    virtual ~tlinkport() = default;
    // Called every 2048 units; clocks one byte over the cable (see tgb::serialnopeer).
    virtual void linktick() = 0;
    // A change of controller 1: returns true when it was sent to the peer instead of
    // being applied locally.
    virtual bool sendjoypad(int bit, bool pressed) = 0;
};

// What the machine reads of the settings, named by the option keys. The front end fills it
// from the working settings on start-up and after every Apply; the machine reads it at reset
// (the hardware model, the start registers and memory) and while running (the last two).
struct tmachineoptions {
    int32_t SystemMode = 3;        // 0 DMG, 1 GBC, 2 SGB, 3/4 automatic, 5 SGB + GBC, 6 GBC with SGB border
    bool DetectGBP = false;        // identify as Game Boy Pocket / SGB2
    bool DetectGBA = false;        // identify a GBC as running on a GBA
    bool EmulateHaltBug = true;
    int32_t UninitedWRAM = 0;      // 0 close to reality, 1 fill with WRAMinitvalue, 2 random
    std::string WRAMinitvalue = "00";
    bool DebugWRAMbreak = false;   // track never-written work and high RAM
    bool GBCpalPD = false;         // GBC start palettes
    std::string DmgBootRom;        // boot image file, relative to the program folder
    bool EmulateInaccVRAM = true;  // VRAM/OAM inaccessible while the LCD uses them
    bool JoyOpposite = false;      // opposite directions may be held together
    bool operator==(const tmachineoptions&) const = default;
};

class tgb {
public:
    // programfolder is where relative file names (the boot image) are resolved.
    explicit tgb(const tmachineoptions& options = {}, std::string programfolder = {});
    ~tgb();
    tgb(const tgb&) = delete;
    tgb& operator=(const tgb&) = delete;

    // ---- Bus ----
    uint8_t readbyte(uint16_t address) {
        const tpageentry& e = pagetable[address >> 12];
        if (e.data) return e.data[address];
        return e.read(e.context, address);
    }
    void writebyte(uint16_t address, uint8_t value);
    uint8_t vramread(uint16_t address) const {
        return vraminaccessible ? 0xFF : vrambank[address & 0x1FFF];
    }
    uint8_t ioread(uint16_t address) { return iopeek(address); }
    // What a CPU read of 0xF000-0xFFFF gives, without any effect of the read: for the
    // inspection interface; the bus's reads of this page go through it.
    uint8_t iopeek(uint16_t address) const;
    void iowrite(uint16_t address, uint8_t value);
    void refreshvrampages();
    void setwrambank(uint8_t value);
    void setvrambank(uint8_t value);
    void oamdma(uint8_t value);

    // Cartridge slot: the machine owns the cartridge; never empty (a plain tcart at least).
    void attachcart(std::unique_ptr<tcart> newcart);
    // Given to every cartridge attached from now on (tcart::onsavefailed).
    std::function<void(const std::string& path)> onsavefailed;
    void detachcart();
    tcart& cartridge() { return *cart; }
    const tcart& cartridge() const { return *cart; }
    // Renderer: owned by the caller; null re-attaches the built-in one that draws nothing.
    void attachrenderer(tgbdraw* renderer);
    tgbdraw& renderer() { return *draw; }
    // Sound and SGB units: owned by the machine, replaceable by subclasses.
    void setsound(std::unique_ptr<tgbsound> unit);
    tgbsound& soundunit() { return *sound; }
    void setsgb(std::unique_ptr<tsgb> unit);
    tsgb& sgbunit() { return *sgb; }

    // ---- Scheduler ----
    int32_t runframe();
    void setirqlines(uint8_t levels, uint8_t mask);
    void chargetime(int32_t units);
    void updatestatline();
    void setlcdmode(int mode);
    void lcdcwrite(uint8_t value);
    void statwrite(uint8_t value);
    void setspeed(int s);
    void speedswitch();
    // Forces the event step to be re-aligned (after TAC, SC or speed changes).
    void resetevents();
    void recomputeevents();
    // The TIMA mask for TAC and the speed: TIMA counts when (time & mask) turns 0; all ones
    // while the timer is stopped (TAC bit 2 clear).
    static uint32_t timermask(uint8_t tac, int speed) {
        static constexpr int k[4] = {0, 6, 4, 2};
        return (tac & 4) ? ((512u >> speed) >> k[tac & 3]) - 1 : 0xFFFFFFFFu;
    }
    // After a save state is loaded: align the event step to the restored counter.
    void resyncevents();
    // Emulated time in units (includes the part of a slice used before a debugger break).
    // Divider resets move the event counter; the units they removed are added back here,
    // so that this time runs on evenly.
    uint32_t currenttime() const { return dividertime() + timeskew; }
    // The divider's position in the event counter at the start of the running slice (or
    // now, between slices): its low 15 bits are the internal divider in units.
    uint32_t dividertime() const {
        return eventcounter + uint32_t(eventstep) - uint32_t(eventcountdown) - uint32_t(debugoffset);
    }
    // The same, at the current instruction of a running slice.
    uint32_t dividernow() const {
        return dividertime() + uint32_t(inslice ? (slicebudget - cpu.cycles) >> sliceshift : 0);
    }
    // DIV: the internal divider's upper byte (every 128 units, 64 in double speed).
    uint8_t dividervalue() const { return uint8_t(dividernow() >> (7 - speed)); }
    // Writing DIV: the internal divider restarts from 0 (a falling timer bit steps TIMA).
    void dividerreset();
    // Sets DIV to a value without the effects of a write (the inspector's poke, power-on).
    void setdividervalue(uint8_t value);
    void tacwrite(uint8_t value);
    // Units since the sound unit's last 512 Hz frame-sequencer tick grid point, now: the
    // machine ticks it at every multiple of 4096 units of the event counter, which follows
    // the divider.
    int32_t sequencerphase() const { return int32_t(dividernow() & 0x1FFF); }
    // The link cable with nothing plugged in: an internally clocked transfer ends with 0xFF.
    void serialnopeer();

    // ---- Reset ----
    void resetmachine();
    // Reset from inside a running frame (callbacks of writes, the SGB restart): the CPU's
    // run ends and the reset happens before the next slice.
    void requestreset();
    bool loadbootrom(const std::string& path);
    void mapbootrom(bool on);

    // ---- Save state ----
    // The machine's chunks, "gbcmode" to "hraminited", then "linerest", "vblanklateness",
    // "hdmadeferred", "eventstep", "eventcountdown", "stepfinal" and "lasteventcounter"
    // (timing that a state needs to resume exactly; states without them still load). The
    // sound unit, SGB unit and cartridge list their own chunks (state/machinestate.h
    // walks them all in file order).
    void statefields(tstatevisitor& v);
    // Before the chunks of a state are applied: RAM tracking stays off unless the state's
    // "wraminited" switches it on.
    void beginstateload();
    // After the chunks (also after a failed load): makes the cartridge, the SGB unit
    // (in SGB mode) and the machine consistent with what was applied: flag bytes from F,
    // the event counter aligned, renderer told the mode and re-initialised, pages mapped.
    void afterstateload();
    // Puts the current time (the divider's position in the event counter) at `position`;
    // the event step is aligned to it by the next resyncevents.
    void setdivider(int32_t position);

    // ---- GBC DMA and joypad ----
    void hdma5write(uint8_t value);
    void hdmablock();
    void generaldma(uint8_t value);
    void joypadset(int controller, int bit, bool pressed);
    uint8_t joypadread() const;

    // ---- Components ----
    tmachineoptions options;
    std::string programfolder;
    tcpustate cpu;
    tpageentry pagetable[16];
    tdebugport* debugger = nullptr;  // run control of an attached debugger
    tlinkport* link = nullptr;       // link cable, when present
    thostclock* hostclock = &realclock();  // seeds the power-on randomness at reset
    // Called when the program starts an internally clocked serial transfer, with SB.
    void (*onserialstart)(void* context, uint8_t value) = nullptr;
    void* onserialcontext = nullptr;
    // VRAM-write watch (the VRAM viewer): called after the renderer's `vramwrite` for every
    // store into video memory (bank, offset 0-0x1FFF), and with bank -1 when all of it may
    // have changed (reset, state load). Null while nobody watches: one test per VRAM store.
    void (*vramwatch)(void* context, int bank, int address) = nullptr;
    void* vramwatchcontext = nullptr;
    void vramreplaced() {
        if (vramwatch) vramwatch(vramwatchcontext, -1, 0);
    }

    // ---- Memories ----
    static constexpr int wramsize = 32768, vramsize = 16384;
    uint8_t* wram;           // eight 4 KiB banks
    uint8_t* vram;           // two 8 KiB banks
    uint8_t* wrambank;       // bank mapped at 0xD000
    uint8_t* vrambank;       // bank mapped at 0x8000
    uint8_t oam[160]{};
    uint8_t hram[127]{};
    uint16_t gbcpal[64]{};   // background colours 0-31, object colours 32-63, 15-bit
    uint8_t bootimage[256]{};
    bool bootrommapped = false;
    tpageentry bootsavedpage{};  // page 0 as it was before the boot image covered it
    uint8_t wraminited[4096]{};  // one bit per work RAM byte written since reset
    uint8_t hraminited[127]{};   // one byte per high RAM byte written since reset
    bool trackwraminit = false;  // copy of DebugWRAMbreak
    uint8_t iocode[4096];
    uint32_t writecounter = 0;

    // ---- Registers ----
    uint8_t p1select = 0;
    uint32_t joypad[4]{};
    uint8_t sb = 0, sc = 0, serialbits = 0;
    uint8_t tima = 0, tma = 0, tac = 0;  // DIV is read from the event counter (dividervalue)
    int32_t statediv = -1;               // DIV as a loaded state gave it, -1 for none
    uint8_t ifreg = 0, iereg = 0, ilines = 0;
    tlcdregisters lcdregs;  // LCDC, SCY, SCX, WY, WX, BGP, OBP0, OBP1; the renderer draws from it
    uint8_t stat = 0x80, statwritten = 0, ly = 0, lyc = 0, dmareg = 0;
    uint8_t key1prepare = 0;
    int speed = 0, shift = 1;
    uint8_t vbk = 0, svbk = 0;
    uint16_t hdmasource = 0, hdmadest = 0;
    uint8_t hdma5 = 0xFF, rp = 0, bcps = 0, ocps = 0;
    bool gbchardware = false, gbcmode = false, sgbmode = false;

    // ---- Scheduler state ----
    int32_t lcdcountdown = 0;
    int32_t linerest = 0;
    int mode3half = 0;
    bool vblankraised = false;
    bool mode2hold = false;
    int32_t vblanklateness = 0;
    bool hdmadeferred = false;
    bool vraminaccessible = false;
    uint32_t eventcounter = 0x80000000u;
    int32_t eventstep = 0;
    int32_t eventcountdown = 0;
    bool stepfinal = false;
    uint32_t lasteventcounter = 0;  // counter value whose ticks were last processed
    uint32_t divmask = 127, timamask = 0xFFFFFFFFu;
    uint32_t timeskew = 0;     // units taken out of the counter by divider resets
    uint32_t secondmark = 0;   // (event counter + skew) >> 21 at the last second tick
    // The running slice, so that a register access knows its time within it: budget in
    // clocks against the CPU's remaining `cycles`, and the slice's clock shift.
    int32_t slicebudget = 0;
    int sliceshift = 1;
    bool inslice = false;
    bool renderflag = true;
    tlinewrite linewrites[maxlinewrites];
    int32_t linewritelogcount = 0;
    bool linewritepending = false;
    bool debugstepping = false;
    int32_t debugoffset = 0;
    bool passedline149 = false;  // within the current runframe call
    bool restartpending = false; // a reset was requested during a CPU run
    uint32_t resetcount = 0;     // resets so far (a reset inside runframe restarts its timing)
    uint32_t totalunits = 0;     // read and cleared by the processor-load meter
    uint32_t illegalcount = 0;   // invalid opcodes met (stepping without a debugger)

    // Cheap RNG for power-on contents.
    uint32_t rngstate = 1;
    uint32_t random32();

private:
    std::unique_ptr<uint8_t[]> wrambuf, vrambuf;
    std::unique_ptr<tcart> cart;
    tgbdrawnull nulldraw;
    tgbdraw* draw = &nulldraw;
    std::unique_ptr<tgbsound> sound;
    std::unique_ptr<tsgb> sgb;

    bool lcdevent();  // one LCD event; true when the frame ends
    void processevent();
    uint32_t catchupevents();
    void realignevents(uint32_t position);
    void timastep();
    bool timerbit(uint8_t tacvalue, uint32_t position) const;
    void dispatchinterrupt();
    void serialcontrolwrite(uint8_t value);
    void palettewrite(bool objects, uint8_t value);
    void logmidline(uint16_t address, uint8_t oldvalue, uint8_t value);
    void buildiocodes();
    void installlogo();
    void wirepages();

    static uint8_t readroutine(void* context, uint16_t address);
    static void writeroutine(void* context, uint16_t address, uint8_t value);
    static uint8_t vramroutine(void* context, uint16_t address);
    static uint8_t iroutine(void* context, uint16_t address);
    static uint8_t bootromroutine(void* context, uint16_t address);
    static uint8_t unmappedroutine(void* context, uint16_t address);
    static void stoproutine(void* context);
    static void illegalroutine(void* context);
    static void restartroutine(void* context);
};

}  // namespace tov
