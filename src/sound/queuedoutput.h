// A sound device fed from the main thread through a queue that the device drains at
// its own clock. The sound unit makes 2^21 / ticks-per-sample frames per emulated
// second (44620.25 for 47 ticks, about 1.2 % above a 44100 Hz device), and the frame
// loop keeps emulated time with the wall clock; handing its pages to the device as
// they are would leave a surplus that fills the unit's staging buffer until whole
// batches are dropped. So each page is converted on its way into the queue from the
// unit's exact fractional rate to the device's rate, trimmed slightly against the
// queued amount so that small differences between the device's clock and the pacing
// clock are absorbed too, and pages are taken as soon as the unit has one ready.
#pragma once
#include <cstdint>
#include <vector>

#include "sound/soundoutput.h"

namespace tov {

// Converts a stream of pages of interleaved frames (8-bit unsigned or 16-bit signed)
// from one rate to another by linear interpolation. The position and the last frame
// are carried from page to page, so the converted stream has no seams.
class tpageresampler {
public:
    void reset(int channels, int bytespersample);
    // Converts `frames` input frames; step = input frames per output frame (> 0).
    // Writes at most `capacity` output frames to out and returns how many it wrote.
    int convert(const uint8_t* in, int frames, double step, uint8_t* out, int capacity);
    // Enough room for the output of `frames` input frames at `step` or above.
    static int maxoutput(int frames, double step) { return int(frames / step) + 2; }

private:
    int chans = 2, bytes = 2;
    double pos = 0;         // next output frame, in input frames from the page start
    int32_t last[8] = {};   // the previous page's last frame (position -1)
    bool primed = false;

    int32_t sample(const uint8_t* in, int frame, int channel) const;
    void put(uint8_t* out, int32_t v) const;
};

class tsoundoutputqueued : public Tsoundoutput {
public:
    // The queue is kept near `pagecount` pages (the latency of a device ring of that many
    // pages). Beyond `pagecount` + 4 pages no page is taken: the emulation runs faster
    // than the device and the unit drops batches (the margin holds the primed pages plus
    // the frame loop's lead of up to 50 ms at the start). Below half a page a page is
    // taken even when the unit has none ready: the emulation is held up, and the unit
    // fills the page from its current state.
    // The trim is a proportional and integral control of the averaged queue: 0.2 % per
    // page of error, and an integral of 0.005 % per page-second that learns a device
    // whose clock is off by up to 2 % (the closed loop is damped near critically, settling
    // in about a minute, with no audible change of pitch). Beyond 2 pages of error (a
    // device thread that lost time, the frame loop held up) the trim grows by 0.5 % a
    // page more, so the queue comes back within seconds instead of running into its bounds.
    static constexpr double propgain = 0.002;
    static constexpr double intgain = 0.00005;
    static constexpr double widegain = 0.005;
    static constexpr double widepages = 2;
    static constexpr double maxtrim = 0.02;

    bool pull() override { return true; }
    void writepage(const uint8_t* frames) override;
    void service() override;

    // Device frames the control aims at, and the bounds described above.
    int64_t targetframes() const { return int64_t(pagecount) * pageframes; }
    int64_t highframes() const { return int64_t(pagecount + 4) * pageframes; }
    int64_t lowframes() const { return pageframes / 2; }
    // Source frames per device frame at the exact rates (before the trim).
    double nominalstep() const;
    // The trim applied to the last page: step / nominal step - 1.
    double trim() const { return trimnow; }
    // Services that found the device queue empty after it had been fed: the device ran dry.
    int64_t starvedpasses = 0;

protected:
    // The device: frames waiting in its queue (partly played ones included), and
    // appending frames to it.
    virtual int64_t queuedframes() = 0;
    virtual void queueframes(const uint8_t* data, int frames) = 0;
    // Called by a derived init once its device is open.
    void startqueue();

private:
    tpageresampler resampler;
    std::vector<uint8_t> converted;
    int convertedframes = 0;   // capacity of `converted`
    double smoothed = 0;       // queued frames, averaged over about 16 pages
    double integral = 0;       // the learnt part of the trim
    double trimnow = 0;
    bool fed = false;
};

}  // namespace tov
