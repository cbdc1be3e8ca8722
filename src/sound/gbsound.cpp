// Register file, frame sequencer and channel state of the sound unit.
#include "sound/gbsound.h"

#include <algorithm>
#include <cstring>

#include "state/blocklayout.h"
#include "state/statevisitor.h"

namespace tov {

namespace {

// Registers, by the low byte of their address.
enum : uint8_t {
    NR10 = 0x10, NR11 = 0x11, NR12 = 0x12, NR13 = 0x13, NR14 = 0x14,
    NR21 = 0x16, NR22 = 0x17, NR23 = 0x18, NR24 = 0x19,
    NR30 = 0x1A, NR31 = 0x1B, NR32 = 0x1C, NR33 = 0x1D, NR34 = 0x1E,
    NR41 = 0x20, NR42 = 0x21, NR43 = 0x22, NR44 = 0x23,
    NR50 = 0x24, NR51 = 0x25, NR52 = 0x26,
};

// Wave RAM after power-up: the DMG pattern, and the one of GBC and SGB hardware.
constexpr uint8_t dmgwave[16] = {0x06, 0xFE, 0x0E, 0x7F, 0x00, 0xFF, 0x58, 0xDF,
                                 0x00, 0xEC, 0x00, 0xBF, 0x0C, 0xED, 0x04, 0xF7};

}  // namespace

tgbsound::tgbsound() {
    for (auto& c : channels) c = tsoundchannel{};
}

uint8_t tgbsound::randombyte() {
    // xorshift32: any uniform source of 0-254 will do.
    rng ^= rng << 13;
    rng ^= rng >> 17;
    rng ^= rng << 5;
    return static_cast<uint8_t>(rng % 255u);
}

void tgbsound::setchannel(int channel, bool on) {
    channels[channel].on = on ? 1 : 0;
    if (on)
        statusbyte |= uint8_t(1u << channel);
    else
        statusbyte &= uint8_t(~(1u << channel));
    // Hardware returns garbage from wave RAM while channel 3 plays; once it stops, reads
    // see the wave RAM again.
    if (channel == 2) {
        if (on)
            for (auto& b : ch3regs) b = randombyte();
        else
            std::memcpy(ch3regs, ch3wave, sizeof ch3regs);
    }
}

void tgbsound::envelopewrite(int channel, uint8_t value) {
    tsoundchannel& c = channels[channel];
    uint8_t old = c.nrx2;
    c.nrx2 = value;
    if ((value & 0xF8) == 0) {
        // DAC off (volume 0 and decreasing): the channel stops at once. 0x08 keeps the
        // DAC on, silent.
        c.volume = 0;
        setchannel(channel, false);
        return;
    }
    if (value & 7) c.envzeroperiod = 0;
    if (c.on) {
        // "Zombie mode": writing NRx2 while playing nudges the volume.
        int k = c.envzeroperiod ? 1 : (((old ^ value) & 8) ? 4 : 2);
        c.volume = (c.volume + k) & 15;
    }
}

void tgbsound::soundwrite(uint8_t reg, uint8_t value) {
    renderpending();
    if (reg == NR52) {
        statusbyte = value;
        setpower((value & 0x80) != 0);
        return;
    }
    if (!power) {
        // Powered off, writes to NR10-NR51 are ignored; only the monochrome hardware
        // still loads its length counters (the duty bits are not written).
        if (gbchardware) return;
        switch (reg) {
        case NR11: channels[0].length = 64 - (value & 63); return;
        case NR21: channels[1].length = 64 - (value & 63); return;
        case NR31: channels[2].length = 256 - value; return;
        case NR41: channels[3].length = 64 - (value & 63); return;
        default: return;
        }
    }
    switch (reg) {
    case NR10:
        // Leaving negate mode after a calculation used it stops channel 1 at once.
        if (sweepnegated && !(value & 0x08)) setchannel(0, false);
        nr10 = value;
        return;
    case NR30:
        if (!(value & 0x80)) setchannel(2, false);
        ch3dac = (value >> 7) & 1;
        return;
    case NR32: channels[2].nrx2 = value; return;
    case NR43: nr43 = value; return;
    case NR50: nr50 = value; return;
    case NR51: nr51 = value; return;
    case NR11: case NR21: case NR31: case NR41: {
        int ch = reg == NR11 ? 0 : reg == NR21 ? 1 : reg == NR31 ? 2 : 3;
        int32_t max = maxlength[ch];
        channels[ch].nrx1 = value;
        channels[ch].length = max - (value & (max - 1));
        return;
    }
    case NR12: envelopewrite(0, value); return;
    case NR22: envelopewrite(1, value); return;
    case NR42: envelopewrite(3, value); return;
    case NR13: case NR23: case NR33: {
        int ch = reg == NR13 ? 0 : reg == NR23 ? 1 : 2;
        channels[ch].frequency = (channels[ch].frequency & 0x700) | value;
        return;
    }
    case NR14: lengthcontrolwrite(0, value); return;
    case NR24: lengthcontrolwrite(1, value); return;
    case NR34: lengthcontrolwrite(2, value); return;
    case NR44: lengthcontrolwrite(3, value); return;
    default: return;  // 0x15, 0x1F and 0x27 upwards do not exist
    }
}

void tgbsound::lengthcontrolwrite(int ch, uint8_t value) {
    tsoundchannel& c = channels[ch];
    const bool wasenabled = c.lengthenable != 0;
    c.lengthenable = (value >> 6) & 1;
    if (ch != 3) c.frequency = (c.frequency & 0xFF) | ((value & 7) << 8);
    // Enabling the counter when the next step will not clock it clocks it once now; if
    // that empties it, the channel stops (unless this write also triggers it).
    if (!wasenabled && c.lengthenable && c.length > 0 && firsthalf()) {
        c.length--;
        if (c.length == 0 && !(value & 0x80)) setchannel(ch, false);
    }
    // A trigger with the DAC off still has every effect but starting the channel.
    if (value & 0x80) trigger(ch);
}

uint8_t tgbsound::soundread(uint8_t reg) const {
    // Unused and write-only bits read as 1: frequencies and length loads are write-only.
    switch (reg) {
    case NR10: return nr10 | 0x80;
    case NR11: return channels[0].nrx1 | 0x3F;
    case NR21: return channels[1].nrx1 | 0x3F;
    case NR12: return channels[0].nrx2;
    case NR22: return channels[1].nrx2;
    case NR42: return channels[3].nrx2;
    case NR14: case NR24: case NR34: case NR44: {
        const tsoundchannel& c = channels[reg == NR14 ? 0 : reg == NR24 ? 1 : reg == NR34 ? 2 : 3];
        return uint8_t((c.lengthenable ? 0x40 : 0) | 0xBF);
    }
    case NR30: return uint8_t((ch3dac ? 0x80 : 0) | 0x7F);
    case NR32: return channels[2].nrx2 | 0x9F;
    case NR43: return nr43;
    case NR50: return nr50;
    case NR51: return nr51;
    case NR52: {
        uint8_t v = 0x70 | (power ? 0x80 : 0);
        for (int i = 0; i < 4; i++)
            if (channels[i].on) v |= uint8_t(1u << i);
        return v;
    }
    default: return 0xFF;  // NRx3, NR31, NR41 are write-only; gaps read 0xFF
    }
}

void tgbsound::wavewrite(int index, uint8_t value) {
    index &= 15;
    ch3regs[index] = value;
    ch3wave[index] = value;
}

uint8_t tgbsound::waveread(int index) const { return ch3regs[index & 15]; }

int32_t tgbsound::sweepnext() {
    int32_t d = sweepshadow >> (nr10 & 7);
    if (nr10 & 0x08) {
        sweepnegated = 1;
        return sweepshadow - d;
    }
    return sweepshadow + d;
}

void tgbsound::trigger(int channel) {
    tsoundchannel& c = channels[channel];
    c.envfinished = 0;
    // An empty length counter is reloaded; loaded when the next step will not clock it,
    // an enabled counter is clocked once at once.
    if (c.length == 0) {
        c.length = maxlength[channel];
        if (c.lengthenable && firsthalf()) c.length--;
    }
    bool dac;
    if (channel != 2) {
        // A DAC that is off (upper five bits of NRx2 clear) keeps the channel from starting.
        dac = (c.nrx2 & 0xF8) != 0;
        c.volume = c.nrx2 >> 4;
        c.envcountdown = c.nrx2 & 7;
        c.envzeroperiod = (c.nrx2 & 7) == 0 ? 1 : 0;
    } else {
        dac = ch3dac != 0;
    }
    if (dac) setchannel(channel, true);
    if (channel == 0) {
        const int period = (nr10 >> 4) & 7, shift = nr10 & 7;
        sweepshadow = c.frequency;
        sweepcountdown = period ? period : 8;
        sweepenabled = (period || shift) ? 1 : 0;
        sweepnegated = 0;
        // With a shift, the first calculation and its overflow check happen at once.
        if (shift && sweepnext() > 2047) setchannel(0, false);
    }
}

void tgbsound::framestep() {
    renderpending();
    // Time nobody renders (no output, or this silent base unit) only accumulates; keep
    // the counter the machine adds to far from overflow.
    if (pending > (1 << 30)) pending = 1 << 30;
    stepcounter = int32_t(uint32_t(stepcounter) + 1u);

    for (int i = 0; i < 4; i++) {
        tsoundchannel& c = channels[i];
        if (c.lengthenable && c.length > 0) {
            c.length--;
            if (c.length == 0) setchannel(i, false);
        }
    }

    if ((stepcounter & 3) == 0) {
        for (int i : {0, 1, 3}) {
            tsoundchannel& c = channels[i];
            if (c.envfinished) continue;
            c.envcountdown--;
            if (c.envcountdown == 0) {
                if (c.nrx2 & 8) {
                    if (c.volume < 15) c.volume++;
                    if (c.volume >= 15) c.envfinished = 1;
                } else {
                    if (c.volume > 0) c.volume--;
                    if (c.volume <= 0) c.envfinished = 1;
                }
            }
            // A period of 0 reloads to 0 and therefore never steps.
            if (c.envcountdown <= 0) c.envcountdown = c.nrx2 & 7;
        }
    }

    // Sweep at 128 Hz. The timer reloads with the period, 0 counting as 8; a calculation
    // happens at the reload only with a non-zero period. A result over 2047 stops channel
    // 1; otherwise, with a shift, it becomes the frequency and is checked once more.
    if ((stepcounter & 1) == 0 && channels[0].on) {
        if (sweepcountdown > 0) sweepcountdown--;
        if (sweepcountdown == 0) {
            const int period = (nr10 >> 4) & 7;
            sweepcountdown = period ? period : 8;
            if (sweepenabled && period) {
                int32_t next = sweepnext();
                if (next > 2047) {
                    setchannel(0, false);
                } else if (nr10 & 7) {
                    sweepshadow = next;
                    channels[0].frequency = next;
                    if (sweepnext() > 2047) setchannel(0, false);
                }
            }
        }
    }

    // Both counters wrap around like the 32-bit fields they are saved as.
    stepclock = int32_t(uint32_t(stepclock) + 8192u);
}

void tgbsound::clearregisters(bool keeplength) {
    for (int i = 0; i < 4; i++) {
        const int32_t length = channels[i].length;
        channels[i] = tsoundchannel{};
        // Channel 4 has no frequency register; its record holds 2047.
        channels[i].frequency = i == 3 ? 2047 : 0;
        if (keeplength) channels[i].length = length;
    }
    statusbyte &= 0xF0;
    nr10 = nr43 = nr50 = nr51 = 0;
    ch3dac = 0;
    sweepcountdown = sweepshadow = 0;
    sweepenabled = sweepnegated = 0;
    // Channel 3 is off: reads see the wave RAM, which power does not touch.
    std::memcpy(ch3regs, ch3wave, sizeof ch3regs);
}

void tgbsound::setpower(bool on) {
    uint8_t v = on ? 1 : 0;
    if (v == power) return;
    power = v;
    clearregisters(!gbchardware);
    if (on) {
        // The frame sequencer starts over: its next tick is step 0, which clocks the length
        // counters, and it comes at the next 512 Hz tick of the divider, so the steps may
        // now fall half-way between the earlier ones.
        stepcounter = int32_t(uint32_t(stepcounter) & ~3u);
        stephalf = stepphase < 4096 ? 1 : 0;
    }
}

void tgbsound::soundreset(bool gbc, bool sgb) {
    renderpending();
    gbchardware = gbc ? 1 : 0;
    sgbmode = sgb ? 1 : 0;
    power = 0;
    stepphase = 4096;
    setpower(true);
    clearregisters(false);
    for (int i = 0; i < 16; i++) {
        uint8_t b = (gbc || sgb) ? ((i & 1) ? 0xFF : 0x00) : dmgwave[i];
        ch3regs[i] = ch3wave[i] = b;
    }
    // The boot program leaves channel 1 on, its envelope run down.
    if (!sgb) {
        setchannel(0, true);
        channels[0].envfinished = 1;
    }
    nr10 = 0x80;
    nr43 = 0x00;
    nr50 = 0x77;
    nr51 = 0xF3;
    statusbyte = 0xF1;
    ch3dac = 0;
    channels[0].nrx1 = 0xBF;
    channels[0].nrx2 = 0xF3;
    for (int i = 0; i < 3; i++) channels[i].frequency = 2047;
}

// ---- save-state blocks ----

void tgbsound::statefields(tstatevisitor& v) {
    v.blockvalue(
        "s_st1", st1size,
        [this](uint8_t* out) {
            tlayoutsaver l(out);
            st1layout(l);
        },
        [this](const uint8_t* in) {
            tlayoutloader l(in);
            st1layout(l);
            // Until an "s_st2" says otherwise (states written before it existed): the sweep
            // as a trigger under this NR10 leaves it, steps on the grid.
            sweepenabled = (nr10 & 0x77) ? 1 : 0;
            sweepnegated = 0;
            stephalf = 0;
        });
    v.blockvalue(
        "s_ch1", ch1size,
        [this](uint8_t* out) {
            tlayoutsaver l(out);
            for (int i = 0; i < 4; i++) channellayout(l, i);
        },
        [this](const uint8_t* in) {
            tlayoutloader l(in);
            for (int i = 0; i < 4; i++) channellayout(l, i);
        });
    v.block("ch3regs", ch3regs, wavesize);
    v.block("ch3wave", ch3wave, wavesize);
    v.value(
        "s_rng", [this] { return int32_t(rng); }, [this](int32_t r) { seedrandom(uint32_t(r)); });
    v.blockvalue(
        "s_st2", 3,
        [this](uint8_t* out) {
            out[0] = sweepenabled;
            out[1] = sweepnegated;
            out[2] = stephalf;
        },
        [this](const uint8_t* in) {
            sweepenabled = in[0] ? 1 : 0;
            sweepnegated = in[1] ? 1 : 0;
            stephalf = in[2] ? 1 : 0;
        });
}

}  // namespace tov
