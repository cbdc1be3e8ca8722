// The sound unit: NR10-NR52, wave RAM, the frame sequencer and channel state.
// This base class keeps the register semantics and produces no samples; the
// synthesiser (tgbsoundtov) derives from it.
#pragma once
#include <array>
#include <cstddef>
#include <cstdint>

#include "state/statefwd.h"

namespace tov {

// One channel's register-side state. The field order is the stored order of the
// 22-byte channel record in the "s_ch1" block.
struct tsoundchannel {
    int32_t length = 0;         // length counter
    int32_t envcountdown = 0;   // envelope countdown
    int32_t volume = 0;         // current volume 0-15 (unused by channel 3)
    int32_t frequency = 2047;   // 11 bits (channel 4 holds 2047)
    uint8_t on = 0;
    uint8_t lengthenable = 0;   // NRx4 bit 6
    uint8_t nrx1 = 0;           // NR11, NR21, NR31, NR41 as written
    uint8_t nrx2 = 0;           // NR12, NR22, NR32, NR42 as written
    uint8_t envfinished = 0;
    uint8_t envzeroperiod = 0;  // envelope period was 0 at trigger
};

class tgbsound {
public:
    static constexpr int st1size = 29;
    static constexpr int ch1size = 88;
    static constexpr int wavesize = 16;
    // Maximum length counter per channel.
    static constexpr int32_t maxlength[4] = {64, 64, 256, 64};

    int32_t pending = 0;      // sound ticks (2^21 per second) elapsed and not yet rendered
    // Where the register write being made falls: units since the last 512 Hz tick point of
    // the frame-sequencer grid (0-8191), set by the machine before each write. Half-way
    // (4096) when nothing sets it: no extra length clock, and steps on the grid.
    int32_t stepphase = 4096;
    bool silencemode = false; // cleared by the frame loop before every frame

    // Register-side state (saved in "s_st1", "s_ch1", "ch3regs", "ch3wave").
    int32_t stepcounter = 0;  // frame-sequencer steps
    int32_t stepclock = 0;    // advanced by 8192 per step
    int32_t sweepcountdown = 0;
    int32_t sweepshadow = 0;
    uint8_t nr10 = 0, nr43 = 0, nr50 = 0, nr51 = 0;
    uint8_t statusbyte = 0;   // last NR52 write, bits 0-3 follow the channel flags
    uint8_t ch3dac = 0;       // NR30 bit 7
    uint8_t power = 0;        // NR52 bit 7
    uint8_t gbchardware = 0;
    uint8_t sgbmode = 0;
    // Saved in "s_st2": the sweep's internal enable (shift or period non-zero at trigger),
    // whether a calculation in negate mode has happened since the trigger, and the half of
    // the 8192-unit grid (0: at its multiples, 1: half-way) on which the steps fall since
    // the last power-on.
    uint8_t sweepenabled = 0;
    uint8_t sweepnegated = 0;
    uint8_t stephalf = 0;
    tsoundchannel channels[4];
    uint8_t ch3regs[16] = {};  // wave RAM as the CPU reads it back
    uint8_t ch3wave[16] = {};  // wave RAM as the wave channel plays it

    tgbsound();
    virtual ~tgbsound() = default;
    tgbsound(const tgbsound&) = delete;
    tgbsound& operator=(const tgbsound&) = delete;

    // Emulated time passed (units of 2 clocks), to be rendered with the next batch.
    void addtime(int32_t units) { pending += units; }
    void soundwrite(uint8_t reg, uint8_t value);  // reg = low byte of the address, 0x10-0x26
    uint8_t soundread(uint8_t reg) const;
    void wavewrite(int index, uint8_t value);     // index = address & 0x0F
    uint8_t waveread(int index) const;
    void framestep();                              // 256 Hz frame-sequencer step
    // The machine's 512 Hz tick of the frame sequencer, `half` = which half of the
    // 8192-unit grid it is on; every other one is a step (framestep).
    void sequencertick(int half) {
        if ((half & 1) == stephalf) framestep();
    }
    void soundreset(bool gbchardware, bool sgb);
    void setpower(bool on);

    // Virtual slots in order: restartoutput, renderpending, trigger.
    virtual void restartoutput() {}
    virtual void renderpending() {}
    virtual void trigger(int channel);  // channel 0-3

    // Save-state chunks: "s_st1", "s_ch1", "ch3regs", "ch3wave", then "s_rng" (the
    // generator of the wave-RAM noise, so a restored machine reads the same noise) and
    // "s_st2" (3 bytes: sweepenabled, sweepnegated, stephalf; without it they follow from
    // "s_st1"'s NR10, not negated, steps on the grid). The
    // blocks hold the fields back to back in the order of st1layout and channellayout;
    // loading brings every field into its valid range, so a damaged state cannot make the
    // synthesiser index outside its tables.
    virtual void statefields(tstatevisitor& v);

    template <class L>
    void st1layout(L& l) {
        l.longint(stepcounter);
        l.longint(stepclock);
        // Time owed to the synthesiser is never negative.
        l.longint(pending, 0);
        // Period 0 counts as 8.
        l.longint(sweepcountdown, 0, 8);
        // The shadow only ever holds 11-bit values or a small negative remainder.
        l.longint(sweepshadow, -4096, 4095);
        l.byte(nr10);
        l.byte(nr43);
        l.byte(nr50);
        l.byte(nr51);
        l.byte(statusbyte);
        l.flag(ch3dac);
        l.flag(power);
        l.flag(gbchardware);
        l.flag(sgbmode);
    }
    template <class L>
    void channellayout(L& l, int i) {
        tsoundchannel& c = channels[i];
        l.longint(c.length, 0, maxlength[i]);
        l.longint(c.envcountdown, 0, 7);
        l.longmask(c.volume, 15);
        l.longmask(c.frequency, 2047);
        l.flag(c.on);
        l.flag(c.lengthenable);
        l.byte(c.nrx1);
        l.byte(c.nrx2);
        l.flag(c.envfinished);
        l.flag(c.envzeroperiod);
    }

    // Seeds the generator of the wave-RAM noise read back after a channel-3 trigger.
    void seedrandom(uint32_t seed) { rng = seed ? seed : 1; }

protected:
    void setchannel(int channel, bool on);
    void envelopewrite(int channel, uint8_t value);
    // The write being made falls in the first half of a length period: the frame
    // sequencer's next step is the one that does not clock the length counters.
    bool firsthalf() const { return ((stepphase - (stephalf ? 4096 : 0)) & 0x1FFF) < 4096; }
    void lengthcontrolwrite(int channel, uint8_t value);  // NRx4
    // The sweep's next frequency from the shadow; notes a use of negate mode.
    int32_t sweepnext();
    // Power off: every register NR10-NR51 reads back as 0 under its mask; the length
    // counters survive on monochrome hardware.
    void clearregisters(bool keeplength);

private:
    uint32_t rng = 0x2545F491u;
    uint8_t randombyte();
};

}  // namespace tov
