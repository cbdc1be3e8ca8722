// The synthesiser and mixer on top of the sound unit's register logic. Elapsed time
// is only accumulated in `pending`; the samples for it are rendered in one batch,
// from one constant register state, just before a register write or a
// frame-sequencer step changes that state.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "sound/gbsound.h"
#include "sound/soundoutput.h"

namespace tov {

class tgbsoundtov : public tgbsound {
public:
    // One channel's mixing block: levels 0-31 for the right output (SO1), 32-63 for
    // the left (SO2), then a 26-bit phase accumulator and its increment per sample.
    struct tmixblock {
        int32_t level[64];
        uint32_t phase;
        uint32_t increment;
    };

    tmixblock mix[4] = {};

    tgbsoundtov();
    ~tgbsoundtov() override;

    // Output and settings (front end).
    void setoutput(std::unique_ptr<Tsoundoutput> out);  // takes ownership; does not start it
    Tsoundoutput* output() const { return out.get(); }
    void setsqwave(bool on) { sqwave = on; }
    bool sqwaveon() const { return sqwave; }
    void setspeedfactor(double f) { speedfactor = (f > 0 && f < 1e6) ? f : 1.0; }
    void setvolume(int v);  // option `Volume`, 0-100
    int volumemultiplier() const { return volumem; }
    void setchannelmask(int mask) { channelmask = mask & 15; }  // bit n set: channel n+1 muted
    int getchannelmask() const { return channelmask; }

    // The register chunks, then "s_mix": the synthesiser's running phases, noise position and
    // high-pass filter states, so that a restored machine goes on with the same samples.
    void statefields(tstatevisitor& v) override;

    void restartoutput() override;  // may raise tsounderror from the output's init
    void stopoutput();              // destroys the output, then restartoutput
    void renderpending() override;
    void trigger(int channel) override;

    // The pages a pull output asks for; also called for a push output when a page is full.
    void fillpage();
    // Lets a polled device output request pages (once per frame-loop pass).
    void serviceoutput() {
        if (out) out->service();
    }

    void setrate(long double rate);
    void refreshlevels();
    void rendersamples(int n);

    double effectiverate() const { return double(effrate); }
    int tickspersample() const { return tps; }
    bool eightbit() const { return bits8; }
    int buffered() const { return bufcount; }
    int capacity() const { return cap; }
    int underruns() const { return underruncount; }
    // Counts since the unit was made, for judging how pages meet the device: batches
    // dropped whole because the staging buffer was full (emulation ahead of the device),
    // and pages handed over with fewer frames buffered than they need (behind it).
    int64_t droppedbatches() const { return dropcount; }
    int64_t underrunpages() const { return underruntotal; }
    uint32_t incrementfor(int frequency) const { return increments[frequency & 2047]; }

private:
    std::unique_ptr<Tsoundoutput> out;
    bool bits8 = false;
    bool sqwave = false;
    double speedfactor = 1.0;
    long double effrate = 0;  // output rate / speed factor, in extended precision
    int tps = 47;
    int channelmask = 0;
    int underruncount = 0;
    int64_t dropcount = 0;
    int64_t underruntotal = 0;
    int volumem = 31;  // `Volume` 90

    // Staging buffer: two pages of frames in the output's format.
    std::vector<uint8_t> staging;
    int bufcount = 0;  // buffered frames
    int cap = 0;       // one page, in frames
    bool pagedelivered = false;

    // Noise generator.
    const uint8_t* lfsr = nullptr;
    int64_t lfsrperiod = 127;  // P
    int64_t lfsrprefix = 8;    // K
    int64_t lfsrpos = 0;       // 15 fraction bits
    int64_t lfsrstep = 0;

    int64_t hpright = 0, hpleft = 0;  // high-pass filter states
    int32_t blamp[2][2] = {};         // band-limited amplitude [channel][0 right, 1 left]

    uint32_t increments[2048] = {};

    static void pagethunk(void* self) { static_cast<tgbsoundtov*>(self)->fillpage(); }
    static int backlogthunk(void* self) { return static_cast<tgbsoundtov*>(self)->bufcount; }
};

// The status text after a change of the channel mask: "sound channels: 1 1 0 1".
std::string soundchannelstext(int mask);

// The options dialog's label beside the volume track bar: the gain in dB with one
// decimal ("-2.4" for `Volume` 90), "-inf" for 0.
std::string volumelabeltext(int volume);

}  // namespace tov
