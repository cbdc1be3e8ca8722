// Fuzz target: save-state files, in the chunk format and the older fixed layout, through the
// state reader, then a frame of whatever machine the load leaves, shown by the VRAM viewer
// and the I/O map as their windows show it. Whatever the bytes, the reader must not crash,
// read outside the file or leave the machine unable to run or be looked at.
// Every input starts from the same machine: a small program with cartridge RAM, in one of
// three set-ups (DMG with MBC1, GBC with an MBC3 clock, SGB with MBC5) chosen by the input's
// length, so that the cartridge classes' chunks and the GBC and SGB chunks are all reached.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "frontend/savestates.h"
#include "fuzzutil.h"
#include "support/testrom.h"
#include "viewers/iomap.h"
#include "viewers/vramviewer.h"

namespace {

using namespace tov;

struct tharness : fuzz::tsessionharness {
    std::unique_ptr<tsavestates> states;
    std::vector<uint8_t> rom;
    std::vector<uint8_t> baseline;
    bool changed = false;  // the last input loaded and ran: back to the baseline first
    const std::string rompath = "/nonexistent/tov-fuzz/rom.gb";

    tharness(uint8_t carttype, uint8_t colour, bool sgb, int systemmode)
        : tsessionharness(fuzz::tparts::picture, systemmode) {
        settings.StateAutoConvert = false;  // no files written
        states = std::make_unique<tsavestates>(*session);
        testing::tromimage image;
        image.entry().type(carttype).ramsizecode(3).colour(colour).sgbcapable(sgb);
        // ei; a loop that writes the LCD, sound and bank registers from a counter.
        image.code(0x150, {0x3E, 0x0A, 0xEA, 0x00, 0x00, 0x3E, 0x91, 0xE0, 0x40, 0x3E, 0x80, 0xE0, 0x26,
                           0xFB, 0x3C, 0xE0, 0x42, 0xE0, 0x13, 0xEA, 0x00, 0x40, 0x77, 0x18, 0xF7});
        rom = image.finished();
        std::string message;
        session->loadimage(rom, rompath, true, message);
        // Any ROM a state names is this one; a differing digest is accepted.
        states->questions.loadrom = [this](const std::string&) {
            std::string m;
            return session->loadimage(rom, rompath, true, m);
        };
        session->confirmromhash = [](const std::string&) { return true; };
        for (int i = 0; i < 3; i++) session->runframe(true);
        baseline = states->statebytes();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tharness dmg(0x03, 0x00, false, 0), gbc(0x10, 0x80, false, 1), sgb(0x1B, 0x00, true, 2);
    tharness* h[] = {&dmg, &gbc, &sgb};
    tharness& t = *h[size % 3];
    if (t.changed) t.states->loadstatebytes(t.baseline, "");
    t.changed = false;
    try {
        t.states->loadstatebytes(std::vector<uint8_t>(data, data + size), "");
    } catch (const tstateerror&) {
        // A refused file leaves the machine as it was (the baseline, known to run), unless
        // the ROM it had switched to could not be replaced by the old one from its file.
        t.changed = t.states->statebytes() != t.baseline;
        return 0;
    }
    // Whatever a file that loads puts into the machine, it must run.
    t.changed = true;
    t.session->runframe(true);
    // Every page and panel of the viewers: tiles, map and sprites drawn from the loaded VRAM,
    // OAM and palettes, the map's and sprites' info at places the input chooses.
    tgb& gb = t.session->machine();
    tvramview vram(gb);
    vram.Checktilecolor = size & 4;
    vram.mapsource = tmapsource(size / 8 % 3);
    vram.tiledata = ttiledata(size / 32 % 3);
    vram.refresh();
    const uint8_t pick = size ? data[size / 2] : 0;
    vram.tileinfo(pick * 3);
    vram.mapentry(pick & 31, pick >> 3);
    for (int i = 0; i < 40; i++) vram.spriteinfo(i);
    for (int i = 0; i < 64; i++) vram.paletteinfo(i);
    tiomap io(gb);
    io.refresh();
    for (int row = 0; row < 5; row++) io.countdown(row);
    return 0;
}
