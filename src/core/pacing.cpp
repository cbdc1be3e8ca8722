#include "core/pacing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <limits>
#include <thread>

#include "core/hostclock.h"

namespace tov {

namespace {
double frac(double x) { return x - std::trunc(x); }
}  // namespace

// ---- vertical-blank predictor ----

void tvblankpredictor::reset() {
    calibrated = false;
    ringpos = 0;
    ringcount = 0;
    reestimates = 0;
}

void tvblankpredictor::store(double t) {
    ring[ringpos] = t;
    ringpos = (ringpos + 1) % ringsize;
    if (ringcount < ringsize) ringcount++;
}

void tvblankpredictor::calibrate() {
    double t[5];
    host.raisepriority();
    for (double& ti : t) {
        host.waitvblank();
        ti = host.clockseconds();
        store(ti);
    }
    host.restorepriority();
    // Slopes over every pair that starts at one of the first four samples; the mean of
    // the ten middle ones ignores a late wake-up or two.
    double slopes[16];
    int n = 0;
    for (int i = 0; i < 4; i++)
        for (int j = 0; j < 5; j++)
            if (j != i) slopes[n++] = (t[j] - t[i]) / (j - i);
    std::sort(slopes, slopes + 16);
    double sum = 0;
    for (int r = 4; r <= 13; r++) sum += slopes[r];
    double p = 0.1 * sum;
    // A clock that did not move cannot give a period; stay uncalibrated rather than
    // divide by zero on the next wait.
    if (!(p > 0) || !std::isfinite(p)) return;
    period = p;
    double mean = (t[0] + t[1] + t[2] + t[3] + t[4]) / 5;
    phase = frac(mean / period);
    calibrated = true;
    resynctime = host.clockseconds() + 0.2;
}

void tvblankpredictor::reestimate() {
    if (ringcount < 2 || !(period > 0)) return;
    int outliers = 0;
    double sum = 0;
    int count = 0;
    int start = ringcount == ringsize ? ringpos : 0;
    for (int k = 0; k + 1 < ringcount; k++) {
        double a = ring[(start + k) % ringsize];
        double b = ring[(start + k + 1) % ringsize];
        double g = frac(b / period - phase);
        if (g > 0.5) g -= 1;
        if (std::fabs(g) > 0.1) outliers++;
        double d = b - a;
        int best = 1;
        double bestdiff = std::fabs(d - period);
        for (int h = 2; h <= 40; h++) {
            double diff = std::fabs(d / h - period);
            if (diff < bestdiff) {
                bestdiff = diff;
                best = h;
            }
        }
        // A gap that fits no whole number of refreshes says nothing about the period.
        if (best != 40) {
            sum += d / best;
            count++;
        }
    }
    reestimates++;
    if (count > 0) {
        double estimate = sum / count;
        if (reestimates < 50) {
            period = estimate;
        } else {
            reestimates = 50;
            period = (39 * period + estimate) * 0.025;
        }
    } else if (reestimates > 50) {
        reestimates = 50;
    }
    if (period > 0) {
        double e[ringsize];
        bool low = false, high = false;
        for (int i = 0; i < ringcount; i++) {
            e[i] = frac(ring[i] / period);
            low |= e[i] < 0.25;
            high |= e[i] > 0.75;
        }
        // Times scattered around the wrap point of the phase: unwrap before averaging.
        double total = 0;
        for (int i = 0; i < ringcount; i++) total += (low && high && e[i] < 0.25) ? e[i] + 1 : e[i];
        phase = frac(total / ringcount);
    }
    lastoutliers = outliers;
    if (outliers >= 4) reset();
}

void tvblankpredictor::wait() {
    if (!calibrated) {
        calibrate();
        return;
    }
    double now = host.clockseconds();
    double pos = position(now);
    double next = std::floor(pos) + 1;
    if (now < resynctime) {
        while (position(now) + 0.002 / period < next) {
            host.sleepms(1);
            double t = host.clockseconds();
            if (t < now) return;  // the clock went back: stop waiting
            now = t;
        }
        // The last two milliseconds: spin for precision.
        while (position(now) < next) {
            double t = host.clockseconds();
            if (t < now) return;
            now = t;
        }
        return;
    }
    host.raisepriority();
    while (position(now) + 0.004 / period < next) {
        host.sleepms(1);
        double t = host.clockseconds();
        if (t < now) break;
        now = t;
    }
    host.waitvblank();
    double t = host.clockseconds();
    store(t);
    host.restorepriority();
    reestimate();
    resynctime = t + 0.2;
}

// ---- frame pacer ----

void tframepacer::start() {
    previous = 0;
    ontime = 0;
    skipped = 0;
}

void tframepacer::waitforvblank() {
    if (options.Sleep && options.MMTimer)
        predictor.wait();
    else
        host.waitvblank();
}

bool tframepacer::afterframe(bool drawn, bool fastforward, bool& pollinput) {
    bool present = false;
    if (!drawn) {
        skipped++;
        // Input is still read on every 16th frame not drawn.
        pollinput = (skipped & 15) == 0;
    } else {
        pollinput = true;
        skipped = 0;
        // A present that waits for the blanks itself replaces the blocking waits here.
        if (vsyncwaits(fastforward) && (predicted() || !host.presentwaitsvblank()))
            for (int i = 0; i < options.VSync; i++) waitforvblank();
        bool vsyncafter = options.VSync == 4 && host.canwaitvblank() && !fastforward;
        present = !vsyncafter;
        drawnframes++;
    }
    emulatedframes++;
    return present;
}

tpacedecision tframepacer::pace(int units, bool fastforward, bool sgbmasked, bool clientempty) {
    tpacedecision d;
    target += units / (speed() * 2097152.0);
    double now = host.clockseconds();
    if (now - previous > 0.2) {
        // Held up (a dialog, the debugger): do not run catch-up frames.
        target = now;
        d.renderflag = true;
        d.resynced = true;
    }
    if (std::floor(now) > std::floor(previous)) {
        lastdrawn = drawnframes;
        lastemulated = emulatedframes;
        drawnframes = emulatedframes = 0;
        d.newsecond = true;
        double whole = std::floor(now);
        d.savesram = std::fmod(whole, 256.0) == 0;
    }
    previous = now;

    if (fastforward || (options.fastSGB && sgbmasked)) {
        d.renderflag = emulatedframes % 10 == 0;
        return d;
    }
    if (options.VSync >= 1 && options.VSync <= 3 && host.canwaitvblank() && !clientempty) {
        d.renderflag = true;
        return d;
    }

    if (now > target + 0.2) target = now - 0.2;
    if (now < target - 0.2) target = now + 0.2;
    bool render;
    if (now >= target + 0.05) {
        ontime = 0;
        // A negative `MaxSkip` from a hand-edited settings file counts as 0; the largest value
        // is kept one below the top so that adding the drawn frame cannot overflow.
        int every = std::clamp(options.MaxSkip, 0, std::numeric_limits<int>::max() - 1) + 1;
        render = emulatedframes % every == 0;
    } else {
        if (ontime > 3) {
            bool vblanksteps = options.VSync == 4 && host.canwaitvblank();
            for (;;) {
                double t = host.clockseconds();
                if (t >= target - 0.05 || t < now) break;
                host.processmessages();
                if (vblanksteps)
                    waitforvblank();
                else if (options.Sleep)
                    host.sleepms(1);
            }
        }
        ontime++;
        render = true;
    }
    d.present = options.VSync == 4 && host.canwaitvblank() && !fastforward;
    d.renderflag = render;
    return d;
}

int tframepacer::swapinterval(bool fastforward) {
    if (fastforward || predicted() || !host.presentwaitsvblank() || !host.canwaitvblank()) return 0;
    if (options.VSync >= 1 && options.VSync <= 3) return options.VSync;
    return options.VSync == 4 ? 1 : 0;
}

std::string tframepacer::frameratetext() const {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d   ", lastdrawn, lastemulated);
    return buf;
}

// ---- real time for the headless runner ----

double tsystempacinghost::clockseconds() { return realclock().monotonic(); }

void tsystempacinghost::sleepms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

trealtimepacer::trealtimepacer(double speed, int maxskip) : pacer(host) {
    pacer.options.Speed = speed > 0 ? speed : 1.0;
    pacer.options.MaxSkip = maxskip;
    pacer.options.VSync = 0;
    pacer.options.Sleep = true;
    pacer.start();
}

bool trealtimepacer::frame(int units) {
    bool poll;
    pacer.afterframe(true, false, poll);
    return pacer.pace(units, false, false, false).renderflag;
}

}  // namespace tov
