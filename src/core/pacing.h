// Pacing of the frame loop against the wall clock: a target time advanced by each
// frame's emulated duration, waiting when ahead, dropping the drawing of frames when
// behind, fast forward, and vertical-blank waits (blocking, or predicted from a
// calibrated refresh period). The clock, the sleeping, the display's vertical-blank
// wait and the window's message processing are injected, so the decisions can be
// tested against a fake clock.
#pragma once
#include <cstdint>
#include <string>

namespace tov {

// Services the pacing needs from the program around it.
class tpacinghost {
public:
    virtual ~tpacinghost() = default;
    virtual double clockseconds() = 0;  // wall clock in seconds, monotonic
    virtual void sleepms(int ms) = 0;   // give up the processor
    virtual void processmessages() {}   // window events, device page requests
    virtual bool canwaitvblank() { return false; }  // the display has a blocking vertical-blank wait
    virtual void waitvblank() {}        // that blocking wait
    // The display's present can itself wait for vertical blanks (a swap interval), so that a
    // frame shown after n blanks is shown at the blank, not just after a wait that ended there.
    virtual bool presentwaitsvblank() { return false; }
    virtual void raisepriority() {}     // real-time priority and 1 ms timer resolution
    virtual void restorepriority() {}
};

// Options of the frame loop, by their settings keys.
struct tpacingoptions {
    double Speed = 1.0;
    int MaxSkip = 9;
    bool Sleep = true;
    bool MMTimer = true;
    int VSync = 0;
    bool fastSGB = true;
};

// Predicts the display's vertical blanks from a calibrated period and phase, so that a
// wait can sleep most of the way instead of blocking in the display driver.
class tvblankpredictor {
public:
    static constexpr int ringsize = 50;

    explicit tvblankpredictor(tpacinghost& host) : host(host) {}

    // One wait for the next vertical blank; calibrates first when needed.
    void wait();
    // Forget everything: the next wait calibrates again.
    void reset();

    // Five blocking waits; period from the median slopes, phase from their mean.
    void calibrate();
    // New period and phase from the ring of stored blank times.
    void reestimate();
    // Store one blank time in the ring.
    void store(double t);

    bool calibrated = false;
    double period = 0;        // seconds per refresh
    double phase = 0;         // fraction of a period
    double resynctime = 0;    // when the next blocking wait re-synchronises
    double ring[ringsize] = {};
    int ringpos = 0;          // next write; the oldest entry once full
    int ringcount = 0;
    int reestimates = 0;      // saturates at 50
    int lastoutliers = 0;     // outliers found by the last re-estimation

private:
    tpacinghost& host;
    double position(double now) const { return now / period - phase; }
};

// What the loop does after the pacing of one frame.
struct tpacedecision {
    bool renderflag = true;   // draw the next frame
    bool present = false;     // present the frame now (VSync 4: after the wait)
    bool newsecond = false;   // a wall-clock second began: frame counts updated
    bool savesram = false;    // every 256 seconds: the cartridge saves its battery RAM
    bool resynced = false;    // the loop was held up; the target jumped to now
};

class tframepacer {
public:
    explicit tframepacer(tpacinghost& h) : predictor(h), host(h) {}

    tpacingoptions options;
    tvblankpredictor predictor;

    // Start of the loop: the first pace() re-synchronises the target to the clock.
    void start();

    // After runframe. drawn: the frame was drawn. Counts it, waits for the vertical
    // blank `VSync` (1-3) times when the display can and fast forward is off.
    // Returns whether to present now; pollinput tells whether to poll the input.
    bool afterframe(bool drawn, bool fastforward, bool& pollinput);

    // Pacing after a frame of `units` (2^21 per second). fastforward: the key is held;
    // sgbmasked: SGB mode while the SGB unit masks the screen; clientempty: the
    // window is minimised. Waits when ahead (processing messages meanwhile).
    tpacedecision pace(int units, bool fastforward, bool sgbmasked, bool clientempty);

    // One vertical-blank wait: predicted with `Sleep` and `MMTimer`, else blocking.
    void waitforvblank();

    // Vertical blanks the present of a drawn frame waits for itself, on a display whose
    // present can wait: `VSync` 1-3 wait that many blanks and 4 waits for the next one, unless
    // the waits are predicted (`Sleep` and `MMTimer`: the predictor already slept to the blank)
    // or fast forward is held. 0 everywhere else.
    int swapinterval(bool fastforward);

    // "dd/dd   ": drawn and emulated frames of the last second, for the overlay.
    std::string frameratetext() const;

    double target = 0;
    double previous = 0;
    int ontime = 0;
    int skipped = 0;
    int drawnframes = 0, emulatedframes = 0;  // in the current second
    int lastdrawn = 0, lastemulated = 0;      // of the last whole second

private:
    tpacinghost& host;
    double speed() const { return options.Speed > 0 ? options.Speed : 1.0; }
    bool vsyncwaits(bool fastforward) {
        return options.VSync >= 1 && options.VSync <= 3 && host.canwaitvblank() && !fastforward;
    }
    bool predicted() const { return options.Sleep && options.MMTimer; }
};

// The host's real clock and sleep (no window, no vertical blank).
class tsystempacinghost : public tpacinghost {
public:
    double clockseconds() override;
    void sleepms(int ms) override;
};

// Real-time pacing for the headless runner: clock pacing at `Speed`, 1 ms sleeps.
// Call frame(units) after every runframe; it returns whether to draw the next frame.
class trealtimepacer {
public:
    explicit trealtimepacer(double speed, int maxskip = 9);
    bool frame(int units);

private:
    tsystempacinghost host;
    tframepacer pacer;
};

}  // namespace tov
