// Fuzz target: ROM files through the loader, as the program opens them (a plain image, a
// zip or a gzip archive, told apart by the file's first bytes as a user's file name would
// tell them), then the cartridge runs with the real renderer and sound unit. Whatever the
// bytes, loading must not crash or read outside the file, and the machine must run whatever
// code they hold.
// One run per input, set by its choice byte: the file's last byte, XOR the low byte of its
// size (so that an archive, whose last bytes are sizes and comment lengths, still chooses;
// for a ROM of whole banks it is just the last byte, which code seldom reaches):
//   bits 0-2  hardware mode, `SystemMode` 0-6 (7: 3, automatic)
//   bit 3     the compatibility mappers (`CartMode` 1) instead of best accuracy
//   bits 4-7  frames: 12 + 12 x n (12-192), where a game's timers, clock seconds and sound
//             sweeps come round; the start-up, where the modes differ most, is in every run.
// A frame is a fixed number of machine cycles, so a stuck or slow program cannot take
// longer, and the run ends early as soon as the program can never go on (a HALT or a jump to
// itself that nothing can wake). Every frame under both sanitizers costs about a
// millisecond: running every mode for each input (about 400 frames) let the fuzzer try only
// a few hundred inputs in ten minutes.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/stuck.h"
#include "fuzzutil.h"

namespace {

using namespace tov;

constexpr int modecount = 7;   // SystemMode 0 DMG ... 6 GBC with the initial SGB border
constexpr int defaultmode = 3;
constexpr int framestep = 12;

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
    if (size == 0) return 0;
    // Built when first chosen and never destroyed: a session ending at exit would save its
    // clock cartridge through the host clock, itself already gone by then.
    static tmode* modes[modecount];
    const uint8_t choice = data[size - 1] ^ uint8_t(size);
    const int systemmode = (choice & 7) == 7 ? defaultmode : choice & 7;
    const int cartmode = (choice >> 3) & 1;
    const int frames = framestep * (1 + (choice >> 4));
    if (!modes[systemmode]) modes[systemmode] = new tmode(systemmode);
    tmode& mode = *modes[systemmode];
    tsession& s = *mode.session;
    if (mode.settings.CartMode != cartmode) {
        mode.settings.CartMode = cartmode;
        s.applysettings();
    }
    const std::string path = fuzz::scratchpath(filenamefor(data, size));
    fuzz::writewhole(path, data, size);
    std::string message;
    if (s.loadrom(path, true, message)) {
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
