// Fuzz target: battery and clock files (".sav", ".rtc") through the loaders of every
// controller that keeps them. The input chooses the controller and its RAM size and holds
// both files:
//   byte 0   controller (index into `carttypes`; bit 7: the compatibility mappers, `CartMode` 1)
//   byte 1   RAM size code (0x149); codes the header does not know are refused at loading
//   byte 2   length of the ".rtc" file, 0-22; 23 and above: no ".rtc" file
//   then the ".rtc" bytes, then the ".sav" bytes (none: no ".sav" file).
// The cartridge is loaded with its files, saved at once, run for a few frames by a program
// that fills its RAM banks, saved again and loaded again. Whatever the files hold, loading must
// not crash or read outside them, and nothing a file held may be lost: the first save keeps
// every ".sav" byte the RAM can hold, each save holds the RAM as it was, a reload gives back
// what was saved, and the clock read back from a saved ".rtc" is the clock that was saved.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "cart/mbc3.h"
#include "core/hostclock.h"
#include "frontend/session.h"
#include "frontend/settings.h"
#include "fuzzutil.h"
#include "support/testrom.h"

namespace {

using namespace tov;

// Every header type with a battery; 0x22 (MBC7, an EEPROM) is only loaded, saved and run:
// its file is not a copy of the RAM view.
constexpr uint8_t carttypes[] = {0x03, 0x06, 0x09, 0x0F, 0x10, 0x13, 0x1B, 0x1E, 0xFE, 0xFF, 0x22};
constexpr size_t noclockfile = 23;

std::vector<uint8_t> readwhole(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
}

[[noreturn]] void fail(const char* what) {
    std::fprintf(stderr, "fuzz_battery: %s\n", what);
    std::abort();
}

struct tharness {
    tsettings settings;
    tfakeclock clock;
    std::unique_ptr<tsession> session;
    const std::string rompath = fuzz::scratchpath("game.gb");
    const std::string savpath = fuzz::scratchpath("game.sav");
    const std::string rtcpath = fuzz::scratchpath("game.rtc");

    tharness() {
        setdefaults(settings);
        settings.SystemMode = 0;
        tsessionparts parts;
        parts.renderer = false;
        parts.synthesiser = false;
        session = std::make_unique<tsession>(settings, "", parts, clock);
    }

    static std::vector<uint8_t> rom(uint8_t type, uint8_t ramcode) {
        testing::tromimage image;
        image.entry().type(type).ramsizecode(ramcode);
        // RAM on; then a counter written to every byte of 0xA000-0xBFFF, RAM bank (counter & 3)
        // selected before each byte.
        image.code(0x150, {0x3E, 0x0A, 0xEA, 0x00, 0x00, 0x21, 0x00, 0xA0, 0x3C, 0x47, 0xE6, 0x03, 0xEA, 0x00,
                           0x40, 0x78, 0x22, 0xCB, 0x74, 0x28, 0x03, 0x21, 0x00, 0xA0, 0x18, 0xEE});
        return image.finished();
    }

    // The live clock registers of an MBC3 with a clock file; empty for the others.
    std::vector<uint16_t> clockregisters() {
        auto* timer = dynamic_cast<tcartmbc3timer*>(&session->cartridge());
        if (!timer || timer->rtcfilename().empty()) return {};
        return std::vector<uint16_t>(timer->rtc.begin(), timer->rtc.end());
    }

    std::vector<uint8_t> ram() {
        const uint8_t* p = session->cartridge().ramdata();
        const int32_t n = session->cartridge().ramimagesize();
        return p ? std::vector<uint8_t>(p, p + n) : std::vector<uint8_t>();
    }

    // The saved ".sav" holds the RAM's first bytes.
    void checksaved(const std::vector<uint8_t>& ramnow) {
        const std::vector<uint8_t> file = readwhole(savpath);
        if (file.size() > ramnow.size()) fail("the .sav is longer than the RAM");
        if (!std::equal(file.begin(), file.end(), ramnow.begin())) fail("the .sav differs from the RAM it saved");
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tharness h;
    if (size < 3) return 0;
    const uint8_t type = carttypes[(data[0] & 0x7F) % std::size(carttypes)];
    const bool exact = type != 0x22;
    const int cartmode = data[0] >> 7;
    const size_t rtclength = std::min<size_t>(data[2], noclockfile);
    const size_t rtcbytes = rtclength == noclockfile ? 0 : std::min(rtclength, size - 3);
    const uint8_t* sav = data + 3 + rtcbytes;
    const size_t savbytes = size - 3 - rtcbytes;

    tsession& s = *h.session;
    // The last input's cartridge writes its files when it leaves: before this input's files.
    s.unloadrom();
    fuzz::removefile(h.savpath);
    fuzz::removefile(h.rtcpath);
    if (rtclength != noclockfile) fuzz::writewhole(h.rtcpath, data + 3, rtcbytes);
    if (savbytes) fuzz::writewhole(h.savpath, sav, savbytes);
    if (h.settings.CartMode != cartmode) {
        h.settings.CartMode = cartmode;
        h.session->applysettings();
    }
    std::string message;
    if (!s.loadimage(tharness::rom(type, data[1]), h.rompath, true, message)) return 0;

    // From here on the files are the cartridge's own saves.
    fuzz::removefile(h.savpath);
    fuzz::removefile(h.rtcpath);
    const bool keepsram = s.cartridge().hasbattery() && s.cartridge().ramimagesize() > 0;

    // Saved straight away: every byte of the old file that the RAM holds is kept.
    std::vector<uint8_t> ram = h.ram();
    std::vector<uint16_t> clock = h.clockregisters();
    s.savebattery();
    if (exact && keepsram != std::filesystem::exists(h.savpath)) fail("a .sav written without RAM, or none with it");
    if (exact && savbytes && keepsram) {
        const std::vector<uint8_t> file = readwhole(h.savpath);
        const size_t kept = std::min(savbytes, ram.size());
        if (file.size() < kept || !std::equal(sav, sav + kept, file.begin())) fail("the first save lost .sav bytes");
    }
    if (exact) h.checksaved(ram);

    // Run, save, load again: the RAM and the clock come back as saved.
    for (int frame = 0; frame < 3; frame++) s.runframe(false);
    ram = h.ram();
    clock = h.clockregisters();
    s.savebattery();
    if (exact) h.checksaved(ram);
    const size_t saved = readwhole(h.savpath).size();
    if (!s.loadimage(tharness::rom(type, data[1]), h.rompath, true, message)) fail("the cartridge no longer loads");
    if (exact) {
        const std::vector<uint8_t> again = h.ram();
        if (again.size() != ram.size() || !std::equal(ram.begin(), ram.begin() + std::ptrdiff_t(saved), again.begin()))
            fail("the RAM read back differs from the save");
    }
    if (h.clockregisters() != clock) fail("the clock read back differs from the save");
    return 0;
}
