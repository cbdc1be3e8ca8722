// The scheduler: CPU slices, the shared event counter (divider, timer, serial, sound and
// second ticks), the LCD state machine and interrupt dispatch.
#include "core/gb.h"

namespace tov {

namespace {
// Line timing in units (2 clocks): mode 2, mode 3 in two parts, mode 0.
constexpr int32_t mode2units = 42;
constexpr int32_t mode3firstunits = 20;
constexpr int32_t mode3secondunits = 64;
constexpr int32_t hblankunits = 102;
constexpr int32_t lineunits = 228;
}  // namespace

void tgb::setirqlines(uint8_t levels, uint8_t mask) {
    uint8_t rising = uint8_t(levels & mask & ~ilines);
    ilines = uint8_t((ilines & ~mask) | (levels & mask));
    if (rising) {
        // Only a request that was not already pending wakes the CPU here; one that was
        // pending before HALT leaves it halted (the LCD timing looks at that flag).
        uint8_t newlyset = uint8_t(rising & ~ifreg);
        ifreg |= rising;
        if (newlyset & iereg) cpu.halted = 0;
    }
}

void tgb::chargetime(int32_t units) {
    lcdcountdown -= units;
    eventcountdown -= units;
    totalunits += uint32_t(units);
}

void tgb::updatestatline() {
    if (!(lcdregs.lcdc & lcdcenable)) {
        setirqlines(0, 2);
        return;
    }
    bool active = false;
    if (ly == lyc) {
        stat |= 4;
        if ((statwritten & 0x40) && (ly != 144 || vblankraised)) active = true;
    } else {
        stat &= ~4;
    }
    int mode = stat & 3;
    if (mode == 0 && (statwritten & 0x08)) active = true;
    if (vblankraised && (statwritten & 0x10)) active = true;
    if (mode == 2 && (statwritten & 0x20)) active = true;
    if (mode2hold) return;
    setirqlines(active ? 2 : 0, 2);
}

void tgb::setlcdmode(int mode) {
    stat = uint8_t((stat & ~3) | mode);
    if (mode != 1) {
        vblankraised = false;
        setirqlines(0, 1);
    }
    bool inaccessible = options.EmulateInaccVRAM && mode == 3 && (lcdregs.lcdc & lcdcenable);
    if (inaccessible != vraminaccessible) {
        vraminaccessible = inaccessible;
        refreshvrampages();
    }
    updatestatline();
}

void tgb::lcdcwrite(uint8_t value) {
    uint8_t old = lcdregs.lcdc;
    lcdregs.lcdc = value;
    if ((old ^ value) & 0x80) {
        renderflag = true;
        ly = 0;
        mode2hold = false;
        if (!(value & 0x80)) {
            setlcdmode(0);
            lcdcountdown = 600;
            draw->frameend();
        } else {
            lcdcountdown = mode2units;
            linerest = lineunits - mode2units;
            setlcdmode(2);
        }
    }
}

void tgb::statwrite(uint8_t value) {
    int oldmode = stat & 3;
    stat = uint8_t((value & 0x78) | (stat & 7) | 0x80);
    // Monochrome hardware: a STAT write during HBlank or VBlank briefly enables every source.
    if (!gbchardware && (oldmode == 0 || oldmode == 1) && (lcdregs.lcdc & lcdcenable)) setirqlines(2, 2);
    statwritten = value;
    updatestatline();
}

void tgb::setspeed(int s) {
    speed = s & 1;
    shift = speed + 1;
    resetevents();
}

void tgb::speedswitch() {
    if (gbcmode && key1prepare) {
        key1prepare = 0;
        setspeed(speed ^ 1);
        // STOP also resets the divider.
        dividerreset();
        cpu.exitflag = 1;  // the rest of the slice was budgeted at the old speed
    }
}

void tgb::resetevents() {
    // Events already due are taken first, and the time since the last event stays
    // counted, so that re-aligning neither loses time nor repeats a tick.
    while (eventstep > 0 && eventcountdown <= 0) processevent();
    eventcounter = (eventcounter + uint32_t(eventstep - eventcountdown)) | 0x80000000u;
    eventcountdown = 0;
    eventstep = 0;
    stepfinal = false;
}

void tgb::recomputeevents() {
    // DIV is the upper byte of the internal divider and is read from the counter, so it
    // costs no event; the timer counts from the same divider.
    divmask = 127u >> speed;
    timamask = timermask(tac, speed);
    eventstep = int32_t((timamask & 0x1FFF & 0x7FF) + 1);
}

bool tgb::timerbit(uint8_t tacvalue, uint32_t position) const {
    // TIMA counts on the falling edge of (enable AND the selected divider bit): the bit
    // is the upper half of the selected period.
    if (!(tacvalue & 4)) return false;
    static const int k[4] = {0, 6, 4, 2};
    uint32_t half = ((512u >> speed) >> k[tacvalue & 3]) >> 1;
    return position & half;
}

void tgb::timastep() {
    if (tima == 0xFF) {
        tima = tma;
        setirqlines(4, 4);
        setirqlines(0, 4);
    } else {
        tima++;
    }
}

uint32_t tgb::catchupevents() {
    // Events due before the current instruction are taken first; the slice's own time
    // is charged after it ends, so the next event is (countdown + offset) units from the
    // slice's start.
    int32_t elapsed = inslice ? (slicebudget - cpu.cycles) >> sliceshift : 0;
    while (eventcountdown + debugoffset <= elapsed) processevent();
    return dividertime() + uint32_t(elapsed);
}

void tgb::realignevents(uint32_t position) {
    // The next event is the first multiple of the step after `position` (the divider's
    // position now); nothing is due at the position itself.
    int32_t elapsed = inslice ? (slicebudget - cpu.cycles) >> sliceshift : 0;
    recomputeevents();
    uint32_t period = uint32_t(eventstep);
    uint32_t next = (position | (period - 1)) + 1;
    eventcounter = position | 0x80000000u;
    lasteventcounter = eventcounter;
    eventstep = int32_t(next - position);
    eventcountdown = eventstep + elapsed - debugoffset;
    stepfinal = false;
}

void tgb::dividerreset() {
    uint32_t now = catchupevents();
    // The divider restarts from 0: a selected timer bit that was 1 falls.
    if (timerbit(tac, now)) timastep();
    // All 16 bits of the divider clear: 15 bits of the counter in units at normal speed.
    uint32_t zero = (now & ~0x7FFFu) | 0x80000000u;
    timeskew += now - zero;
    realignevents(zero);
}

void tgb::setdividervalue(uint8_t value) {
    uint32_t now = catchupevents();
    const int low = 7 - speed;  // units below DIV's lowest bit
    uint32_t divbits = 0xFFu << low;
    uint32_t position = (now & ~divbits) | (uint32_t(value) << low) | 0x80000000u;
    timeskew += now - position;
    realignevents(position);
}

void tgb::tacwrite(uint8_t value) {
    uint32_t now = catchupevents();
    // Switching the timer off, or to a bit that is 0, while the selected bit is 1 is a
    // falling edge too (the monochrome models' circuit).
    bool before = timerbit(tac, now);
    tac = value & 7;
    if (before && !timerbit(tac, now)) timastep();
    realignevents(now);
}

void tgb::resyncevents() {
    eventcountdown = 0;
    eventstep = 0;
    stepfinal = false;
    recomputeevents();
    eventcountdown = eventstep - int32_t((uint32_t(eventstep) - 1) & eventcounter);
    eventcounter &= uint32_t(-eventstep);
    eventcounter |= 0x80000000u;
    lasteventcounter = eventcounter;
}

void tgb::processevent() {
    eventcounter = (eventcounter + uint32_t(eventstep)) | 0x80000000u;
    if (!stepfinal) {
        recomputeevents();
        uint32_t d = (uint32_t(eventstep) - 1) & eventcounter;
        if (d)
            eventstep -= int32_t(d);
        else
            stepfinal = true;
    }
    eventcountdown += eventstep;
    // Re-aligning right after an event lands on the value just processed.
    if (eventcounter == lasteventcounter) return;
    lasteventcounter = eventcounter;
    if ((eventcounter & 0x7FF) == 0) {
        if (link)
            link->linktick();
        else
            serialnopeer();
        // The frame sequencer ticks at 512 Hz (every 4096 units); the sound unit's steps
        // take every other tick, on the half of the grid its last power-on chose.
        if ((eventcounter & 0xFFF) == 0) sound->sequencertick(int((eventcounter >> 12) & 1));
        // The clock cartridge's seconds follow the even time, which divider resets do
        // not move: looked at every 2048 units.
        uint32_t second = ((eventcounter + timeskew) & 0x7FFFFFFFu) >> 21;
        if (second != secondmark) {
            secondmark = second;
            cart->secondtick();
        }
    }
    if ((eventcounter & timamask) == 0) timastep();
}

bool tgb::lcdevent() {
    switch (stat & 3) {
    case 2:
        if (mode2hold) {
            lcdcountdown += mode2units - 2;
            linerest = lineunits - mode2units;
            mode2hold = false;
            updatestatline();
        } else {
            lcdcountdown += mode3firstunits;
            linerest = mode3secondunits + hblankunits;
            setlcdmode(3);
            mode3half = 0;
        }
        return false;
    case 3:
        if (mode3half == 0) {
            draw->startline(ly);
            mode3half = 1;
            lcdcountdown += mode3secondunits;
            linerest = hblankunits;
        } else {
            draw->linewritecount = linewritelogcount;
            draw->drawline(ly);
            linewritelogcount = 0;
            if (sgbmode) sgb->endofline(ly);
            setlcdmode(0);
            hdmablock();
            if (hdmadeferred) {
                lcdcountdown = 0;
                hdmadeferred = false;
            }
            lcdcountdown += hblankunits;
            linerest = 0;
        }
        return false;
    case 0:
        ly++;
        if ((stat & 0x48) == 0x48 && ly == lyc) setirqlines(0, 2);
        if (ly < 144) {
            if (cpu.halted) {
                lcdcountdown += mode2units;
                linerest = lineunits - mode2units;
            } else {
                // The OAM source waits 2 units into the line.
                mode2hold = true;
                lcdcountdown += 2;
                linerest = lineunits - 2;
            }
            setlcdmode(2);
            return false;
        }
        draw->frameend();
        if (cpu.halted) {
            vblankraised = true;
            setirqlines(1, 1);
            updatestatline();
            lcdcountdown += lineunits;
            linerest = 0;
        } else {
            lcdcountdown += 4;
            linerest = lineunits - 4;
        }
        setlcdmode(1);
        return passedline149;
    default:  // mode 1
        if (!(ilines & 1)) {
            if (cpu.ime && (iereg & 1)) {
                int32_t late = lcdcountdown;
                vblanklateness = late < -4 ? -4 : late > 0 ? 0 : late;
            }
            lcdcountdown += lineunits - 4;
            setirqlines(1, 1);
            vblankraised = true;
            updatestatline();
            linerest = 0;
            return false;
        }
        if (ly >= 144 && ly <= 151) {
            lcdcountdown += lineunits;
            ly++;
            if (ly == 149) passedline149 = true;
            updatestatline();
        } else if (ly == 152) {
            lcdcountdown += 4;
            linerest = lineunits - 4;
            ly = 153;
            updatestatline();
        } else if (ly == 153) {
            // Line 153 reads as 153 only for its first 4 units, then as line 0.
            lcdcountdown += lineunits - 4;
            linerest = 0;
            ly = 0;
            updatestatline();
        } else {
            draw->skipframe = !renderflag;
            draw->framebegin();
            setlcdmode(2);
            lcdcountdown += mode2units;
            linerest = lineunits - mode2units;
        }
        return false;
    }
}

void tgb::dispatchinterrupt() {
    if (debugstepping && debugger) debugger->interruptnotice();
    // Five machine cycles at either speed: 10 units, or 5 in double speed.
    chargetime((speed ? 5 : 10) + vblanklateness);
    vblanklateness = 0;
    cpu.halted = 0;
    cpu.ime = 0;
    cpu.eipending = 0;
    cpu.SP = uint16_t(cpu.SP - 2);
    writebyte(cpu.SP, uint8_t(cpu.PC));
    writebyte(uint16_t(cpu.SP + 1), uint8_t(cpu.PC >> 8));
    // The push can overwrite IE (stack at 0x0000); with nothing left to serve the
    // dispatch ends at 0x0000, as on the hardware.
    uint8_t pending = iereg & ifreg & 0x1F;
    if (!pending) {
        cpu.PC = 0x0000;
        return;
    }
    int bit = 0;
    while (!(pending & (1 << bit))) bit++;
    ifreg &= uint8_t(~(1 << bit));
    cpu.PC = uint16_t(0x40 + bit * 8);
}

int32_t tgb::runframe() {
    uint32_t start = currenttime();
    linewritepending = false;
    linewritelogcount = 0;
    passedline149 = false;
    if (!(lcdregs.lcdc & lcdcenable)) draw->skipframe = !renderflag;
    // A reset during the call (a requested one, or one made from a debugger break)
    // starts the time afresh; the elapsed time is carried across it.
    auto afterreset = [this, &start](uint32_t elapsed) {
        start = currenttime() - elapsed;
        passedline149 = false;
        linewritepending = false;
        linewritelogcount = 0;
    };
    if (restartpending) {
        resetmachine();
        afterreset(0);
    }
    for (;;) {
        // Time charged between slices (an interrupt dispatch, a DMA) can make events due.
        while (eventcountdown <= 0) processevent();
        const uint32_t slicestart = currenttime();
        const uint32_t resetsbefore = resetcount;
        // Slice up to the next LCD or timer event.
        int32_t a = lcdcountdown;
        if (eventcountdown > 0 && eventcountdown < a) a = eventcountdown;
        if (a <= 0) a = 2 >> speed;
        if (cpu.eipending && !cpu.ime) a = 2 >> speed;  // EI acts after one more instruction
        cpu.ime = cpu.eipending;

        // Clocks convert back to units at the speed the slice started with (STOP may
        // switch it inside the slice).
        const int sh = shift;
        int32_t c;
        if (!debugstepping) {
            int32_t b = a << sh;
            cpu.cycles = b;
            slicebudget = b;
            sliceshift = sh;
            inslice = true;
            cpuexecute(cpu);
            inslice = false;
            c = (b - cpu.cycles) >> sh;
        } else {
            int32_t b = a << sh, r = b;
            while (r > 0) {
                if (debugger) {
                    int reason = debugger->checkbreak();
                    if (reason) {
                        debugoffset = -((b - r) >> sh);
                        debugger->enterdebugger(reason);
                        debugoffset = 0;
                        if (cpu.exitflag && !cpu.halted) b = r = 0;
                    }
                }
                if (cpu.halted && (iereg & ifreg & 0x1F) == 0) {
                    r = 0;
                    break;
                }
                cpu.cycles = 4;
                slicebudget = b - r + 4;
                sliceshift = sh;
                inslice = true;
                cpuexecute(cpu);
                inslice = false;
                int32_t used = 4 - cpu.cycles;
                // An invalid opcode with no debugger to stop in: the CPU is stuck on it,
                // but time must still pass.
                if (used == 0 && !debugger) used = 4;
                r -= used;
                if (cpu.exitflag) break;
            }
            c = (b - r) >> sh;
        }

        if (restartpending || resetcount != resetsbefore) {
            uint32_t elapsed = (slicestart + uint32_t(c) - start) & 0x7FFFFFFF;
            if (restartpending) resetmachine();
            afterreset(elapsed);
            continue;
        }

        sound->addtime(c);
        eventcountdown -= c;
        while (eventcountdown <= 0) processevent();

        lcdcountdown -= c;
        if (linewritepending) {
            if ((stat & 3) == 3 && linewritelogcount < maxlinewrites) {
                linewrites[linewritelogcount].position =
                    lcdcountdown + linerest - 9 * speed - hblankunits;
                linewritelogcount++;
            }
            linewritepending = false;
        }

        bool frameend = false;
        if (lcdregs.lcdc & lcdcenable) {
            while (lcdcountdown <= 0 && (lcdregs.lcdc & lcdcenable)) {
                if (lcdevent()) {
                    frameend = true;
                    break;
                }
            }
        } else {
            while (lcdcountdown <= 0) {
                draw->blank();
                draw->refresh();
                lcdcountdown += 80000;
            }
            if (((currenttime() - start) & 0x7FFFFFFF) > 40000 && lcdcountdown > 600) frameend = true;
        }

        if (cpu.ime && (iereg & ifreg & 0x1F)) dispatchinterrupt();
        if (frameend) break;
    }
    return int32_t((currenttime() - start) & 0x7FFFFFFF);
}

}  // namespace tov
