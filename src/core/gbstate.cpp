// The machine's save-state chunks and the steps that make it consistent after a load.
#include <cstring>

#include "core/gb.h"
#include "state/statevisitor.h"

namespace tov {

namespace {
// Units of one LCD-off blank frame; bounds for timing values read from a state.
constexpr int32_t lcdframeunits = 80000;
}  // namespace

void tgb::statefields(tstatevisitor& v) {
    // The LCD registers live in one record that the renderer draws from.
    uint8_t& scy = lcdregs.scy;
    uint8_t& scx = lcdregs.scx;
    uint8_t& wy = lcdregs.wy;
    uint8_t& wx = lcdregs.wx;
    uint8_t& bgp = lcdregs.bgp;
    uint8_t& obp0 = lcdregs.obp0;
    uint8_t& obp1 = lcdregs.obp1;

    // GBC mode implies GBC hardware.
    v.value("gbcmode", [this] { return gbcmode; },
            [this](bool on) {
                gbcmode = on;
                if (on) gbchardware = true;
            });
    v.field("gbchw", gbchardware);
    v.field("sgbmode", sgbmode);

    // F is only current after the separate flag bytes are packed into it.
    v.value("AF",
            [this] {
                packflags(cpu);
                return cpu.AF;
            },
            [this](uint16_t af) {
                cpu.AF = af;
                unpackflags(cpu);
            });
    v.field("BC", cpu.BC);
    v.field("DE", cpu.DE);
    v.field("HL", cpu.HL);
    v.field("PC", cpu.PC);
    v.field("SP", cpu.SP);
    v.flag("IME", cpu.ime);
    v.flag("IMA", cpu.eipending);
    v.flag("HALT", cpu.halted);

    v.field("RJOY", p1select);
    v.field("SB", sb);
    v.field("SC", sc);
    // DIV is the divider's upper byte, which "divider" below also places; a state whose
    // two disagree (one written before DIV came from the divider) keeps its DIV.
    v.value("DIV", [this] { return dividervalue(); }, [this](uint8_t d) { statediv = d; });
    v.field("TIMA", tima);
    v.field("TMA", tma);
    v.field("TAC", tac);
    v.field("IF", ifreg);
    v.field("IE", iereg);
    v.field("LCDC", lcdregs.lcdc);
    // The interrupt sources follow the last written copy; both take the saved value.
    v.value("STAT", [this] { return stat; },
            [this](uint8_t value) {
                stat = value;
                statwritten = value;
            });
    v.field("SCY", scy);
    v.field("SCX", scx);
    // Lines past 153 do not exist; the renderer is never asked to draw one.
    v.value("LY", [this] { return ly; }, [this](uint8_t l) { ly = l > 153 ? 0 : l; });
    v.field("LYC", lyc);
    v.field("WINY", wy);
    v.field("WINX", wx);
    v.field("DMA", dmareg);

    v.value("divider", [this] { return int32_t(dividertime()); }, [this](int32_t t) { setdivider(t); });
    // While the debugger breaks inside a slice, the units already used are not yet
    // charged to the countdown.
    // A damaged value is kept within one blank frame's length either way, so that the LCD
    // loop cannot be sent through billions of events.
    v.value("vidtime", [this] { return lcdcountdown + debugoffset; },
            [this](int32_t t) { lcdcountdown = t < -lcdframeunits ? -lcdframeunits : t > 2 * lcdframeunits ? 2 * lcdframeunits : t; });
    v.value("ilines", [this] { return int32_t(ilines); }, [this](int32_t l) { ilines = uint8_t(l & 0x1F); });
    v.value("vidstatus", [this] { return int32_t(mode3half); }, [this](int32_t h) { mode3half = h ? 1 : 0; });
    v.field("aftervblankint", vblankraised);
    v.field("delayedlcdint", mode2hold);
    v.value("vidinacc", [this] { return vraminaccessible; },
            [this](bool off) {
                vraminaccessible = off;
                refreshvrampages();
            });
    v.flag("cpuquirk", cpu.haltbugskip);
    v.block("OAM", oam, sizeof oam);
    v.block("HRAM", hram, sizeof hram);
    v.field("BGP", bgp);
    v.blockvalue("OBP", 2,
                 [&](uint8_t* out) {
                     out[0] = obp0;
                     out[1] = obp1;
                 },
                 [&](const uint8_t* in) {
                     obp0 = in[0];
                     obp1 = in[1];
                 });

    // GBC registers: written in GBC mode, taken only while GBC mode is on (an earlier
    // "gbcmode" decides).
    const bool gbc = gbcmode;
    v.value("KEY1", [this] { return uint8_t(key1prepare | speed << 7); },
            [this](uint8_t k) {
                setspeed(k >> 7);
                key1prepare = k & 1;
            },
            gbc);
    v.value("VBK", [this] { return vbk; }, [this](uint8_t b) { setvrambank(b); }, gbc);
    v.value("HDMA1", [this] { return uint8_t(hdmasource >> 8); },
            [this](uint8_t b) { hdmasource = uint16_t((hdmasource & 0x00FF) | b << 8); }, gbc);
    v.value("HDMA2", [this] { return uint8_t(hdmasource); },
            [this](uint8_t b) { hdmasource = uint16_t((hdmasource & 0xFF00) | b); }, gbc);
    v.value("HDMA3", [this] { return uint8_t(hdmadest >> 8); },
            [this](uint8_t b) { hdmadest = uint16_t((hdmadest & 0x00FF) | b << 8); }, gbc);
    v.value("HDMA4", [this] { return uint8_t(hdmadest); },
            [this](uint8_t b) { hdmadest = uint16_t((hdmadest & 0xFF00) | b); }, gbc);
    v.field("HDMA5", hdma5, gbc);
    v.field("IR", rp, gbc);
    v.field("BCPS", bcps, gbc);
    v.field("OCPS", ocps, gbc);
    v.value("SVBK", [this] { return svbk; }, [this](uint8_t b) { setwrambank(b); }, gbc);
    static_assert(sizeof gbcpal == 128, "64 background bytes, then 64 object bytes");
    v.block("CPAL", gbcpal, sizeof gbcpal, gbc);
    // The memories' sizes follow the mode in force when the chunk is met.
    v.block("WRAM", wram, gbcmode ? wramsize : 8192);
    v.block("VRAM", vram, gbcmode ? vramsize : 8192);

    v.blockvalue("bootrom", int32_t(sizeof bootimage),
                 [this](uint8_t* out) { std::memcpy(out, bootimage, sizeof bootimage); },
                 [this](const uint8_t* in) {
                     mapbootrom(true);
                     std::memcpy(bootimage, in, sizeof bootimage);
                 },
                 {!gbcmode && bootrommapped, !gbcmode});
    // Tracking for the debugger: a state's map is taken only while the option asks for
    // tracking.
    const bool trackingwanted = options.DebugWRAMbreak;
    v.blockvalue("wraminited", int32_t(sizeof wraminited),
                 [this](uint8_t* out) { std::memcpy(out, wraminited, sizeof wraminited); },
                 [this](const uint8_t* in) {
                     trackwraminit = true;
                     std::memcpy(wraminited, in, sizeof wraminited);
                 },
                 {trackwraminit, trackingwanted});
    v.block("hraminited", hraminited, sizeof hraminited, trackwraminit);

    // Mid-line timing: the line-write timestamps, a late VBlank dispatch and an HBlank DMA
    // block requested during mode 3.
    v.field("linerest", linerest);
    v.value("vblanklateness", [this] { return vblanklateness; },
            [this](int32_t l) { vblanklateness = l < -4 ? -4 : l > 0 ? 0 : l; });
    v.field("hdmadeferred", hdmadeferred);
    // The event step as it runs: with these the counter is restored exactly, including
    // events that fell due during the last interrupt dispatch and are not yet processed.
    // Without them the counter is aligned to the divider's position.
    v.value("eventstep", [this] { return eventstep; }, [this](int32_t s) { eventstep = s; });
    v.value("eventcountdown", [this] { return eventcountdown; },
            [this](int32_t c) { eventcountdown = c < -lcdframeunits ? -lcdframeunits : c > 0x800 ? 0x800 : c; });
    v.field("stepfinal", stepfinal);
    v.value("lasteventcounter", [this] { return int32_t(lasteventcounter); },
            [this](int32_t c) { lasteventcounter = uint32_t(c); });
}


void tgb::setdivider(int32_t position) {
    // Bit 31 of the counter is always set, so that an all-ones mask never matches it.
    eventcounter = uint32_t(position) | 0x80000000u;
    eventstep = 0;
    eventcountdown = 0;
    stepfinal = false;
    debugoffset = 0;
}

void tgb::beginstateload() {
    trackwraminit = false;
    statediv = -1;  // a state without "DIV" keeps the divider its "divider" chunk gives
}

void tgb::afterstateload() {
    cart->afterstateload();
    unpackflags(cpu);
    // Outside GBC mode the GBC chunks were not taken: normal speed and the first banks,
    // whatever the machine ran before.
    if (!gbcmode) {
        speed = 0;
        shift = 1;
        key1prepare = 0;
        vbk = 0;
        svbk = 0;
    }
    // A state with the running event step ("eventstep" after "divider") continues it;
    // otherwise the counter is aligned to the divider's position. eventcounter holds that
    // position here (setdivider).
    if (eventstep > 0 && eventstep <= 0x800) {
        int32_t step = eventstep, countdown = eventcountdown;
        bool final = stepfinal;
        recomputeevents();  // the masks of the restored TAC and speed
        eventstep = step;
        eventcountdown = countdown;
        stepfinal = final;
        eventcounter = (eventcounter - uint32_t(step) + uint32_t(countdown)) | 0x80000000u;
    } else {
        resyncevents();
    }
    debugoffset = 0;
    inslice = false;
    if (statediv >= 0 && dividervalue() != statediv) setdividervalue(uint8_t(statediv));
    secondmark = ((eventcounter + timeskew) & 0x7FFFFFFFu) >> 21;
    cpu.exitflag = 1;  // the current slice was budgeted for the old state
    linewritelogcount = 0;
    linewritepending = false;
    draw->gbcmode = gbcmode;
    draw->sgbmode = sgbmode;
    draw->gbchardware = gbchardware;
    draw->init();
    if (sgbmode) sgb->afterstateload();
    // The cartridge re-mapped page 0; the boot image covers it again.
    if (bootrommapped) {
        bootrommapped = false;
        mapbootrom(true);
    }
    setwrambank(svbk);
    setvrambank(vbk);
    vramreplaced();
}

}  // namespace tov
