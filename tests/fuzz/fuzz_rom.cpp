// Fuzz target: ROM files through the loader, as the program opens them (a plain image, a
// zip or a gzip archive, told apart by the file's first bytes as a user's file name would
// tell them), then the cartridge runs in every hardware mode (`SystemMode` 0-6) with the real
// renderer and sound unit: `longframes` frames in the default mode (3, automatic), where a
// game's timers, clock seconds and sound sweeps come round, and `shortframes` in each other
// mode, where what differs is the start-up. Whatever the bytes, loading must not crash or read
// outside the file, and the machine must run whatever code they hold.
// A run is bounded: about 400 frames in all (a frame is a fixed number of machine cycles, so a
// stuck or slow program cannot take longer), and a mode ends early as soon as the program can
// never go on (a HALT or a jump to itself that nothing can wake). More frames would starve the
// fuzzer: every frame under both sanitizers costs about a millisecond.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "core/stuck.h"
#include "fuzzutil.h"

namespace {

using namespace tov;

constexpr int modecount = 7;   // SystemMode 0 DMG ... 6 GBC with the initial SGB border
constexpr int defaultmode = 3;
constexpr int longframes = 200, shortframes = 30;

struct tmode : fuzz::tsessionharness {
    explicit tmode(int systemmode) : tsessionharness(fuzz::tparts::picture, systemmode) { nobatteryfiles(); }
};

std::string filenamefor(const uint8_t* data, size_t size) {
    if (size >= 2 && data[0] == 0x1F && data[1] == 0x8B) return "rom.gz";
    if (size >= 2 && data[0] == 'P' && data[1] == 'K') return "rom.zip";
    return "rom.gb";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tmode* modes[modecount];
    if (!modes[0])
        for (int m = 0; m < modecount; m++) modes[m] = new tmode(m);
    const std::string path = fuzz::scratchpath(filenamefor(data, size));
    fuzz::writewhole(path, data, size);
    // Both cartridge emulations: best accuracy, and the compatibility mappers.
    const int cartmode = int(size & 1);
    for (tmode* mode : modes) {
        tsession& s = *mode->session;
        if (mode->settings.CartMode != cartmode) {
            mode->settings.CartMode = cartmode;
            s.applysettings();
        }
        std::string message;
        // The loader does not depend on the hardware mode: refused once, refused for all.
        if (!s.loadrom(path, true, message)) break;
        const int frames = mode->settings.SystemMode == defaultmode ? longframes : shortframes;
        for (int frame = 0; frame < frames && !cannotwake(s.machine()); frame++) {
            // Every fourth frame drawn, as when the pacer skips frames: both paths are run, and
            // the drawing (the costliest part under the sanitizers) takes a quarter of the time.
            s.runframe(frame % 4 == 0);
            s.frameended();
        }
    }
    fuzz::removefile(path);
    return 0;
}
