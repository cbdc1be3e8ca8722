// Fuzz target: Super Game Boy packets, sent by a program through P1 as a game sends them. The
// input is a list of 17-byte records, each a control byte and a 16-byte packet, which a driver
// program in the cartridge sends one by one: the reset pulse, 128 bits (a one: P15 low, a zero:
// P14 low, each followed by both lines high), the stop bit, then a wait of some frames so that
// the video transfers (CHR_TRN, PCT_TRN, PAL_TRN, ATTR_TRN) capture the screen. Control bits:
//   0-2  frames to wait after the packet
//   3    the stop bit is a one (the packet must be dropped)
//   4    no idle state after the reset pulse (not a packet)
//   5    the joypads read afterwards as a multiplayer game reads them (MLT_REQ)
//   7    of the first record only: SGB + GBC hardware (`SystemMode` 5) instead of SGB (2)
// Video RAM starts filled with the input repeated, so the screen the transfers capture is the
// input's too. Whatever the packets hold, the SGB unit, the renderer and the border must not
// crash or write outside their tables.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "core/stuck.h"
#include "fuzzutil.h"
#include "support/testrom.h"
#include "video/border.h"

namespace {

using namespace tov;

constexpr size_t recordbytes = 17;
constexpr size_t maxrecords = 64;
constexpr int maxframes = 500;

// The driver at 0x150; the record count is patched into `ld bc,N` at 0x15C, the records
// are at 0x4000.
const std::vector<uint8_t> driver = {
    0xF3, 0x31, 0xFE, 0xFF, 0x3E, 0x91, 0xE0, 0x40,  // di; ld sp,$FFFE; LCD on
    0x21, 0x00, 0x40, 0x01, 0x00, 0x00,              // ld hl,$4000; ld bc,N
    // record ($015E)
    0x78, 0xB1, 0x28, 0x63, 0x0B, 0xC5, 0x5E, 0x23,  // bc = 0: done; dec bc; push bc; e = control
    0xAF, 0xE0, 0x00,                                // reset pulse: both lines low
    0xCB, 0x63, 0x20, 0x04, 0x3E, 0x30, 0xE0, 0x00,  // then both high unless control bit 4
    0x16, 0x10,                                      // 16 bytes
    // byte ($0173)
    0x4E, 0x23, 0x06, 0x08,
    // bit ($0177): low bit first
    0x3E, 0x20, 0xCB, 0x19, 0x30, 0x02, 0x3E, 0x10, 0xE0, 0x00, 0x3E, 0x30, 0xE0, 0x00,
    0x05, 0x20, 0xEF, 0x15, 0x20, 0xE8,
    // stop bit ($018B): a zero, a one with control bit 3
    0x3E, 0x20, 0xCB, 0x5B, 0x28, 0x02, 0x3E, 0x10, 0xE0, 0x00, 0x3E, 0x30, 0xE0, 0x00,
    // joypad reads with control bit 5 ($0199)
    0xCB, 0x6B, 0x28, 0x10, 0x3E, 0x20, 0xE0, 0x00, 0xF0, 0x00, 0x3E, 0x10, 0xE0, 0x00, 0xF0, 0x00,
    0x3E, 0x30, 0xE0, 0x00,
    // wait (control & 7) frames ($01AD): LY reaches 144, then leaves it
    0x7B, 0xE6, 0x07, 0x28, 0x10, 0x47, 0xF0, 0x44, 0xFE, 0x90, 0x20, 0xFA, 0xF0, 0x44, 0xFE, 0x90,
    0x28, 0xFA, 0x05, 0x20, 0xF1,
    // next ($01C2)
    0xC1, 0x18, 0x99,
    // done ($01C5): jr $ with interrupts off, which the harness sees as the end
    0x18, 0xFE};

struct tharness : fuzz::tsessionharness {
    explicit tharness(int systemmode) : tsessionharness(fuzz::tparts::picture, systemmode) {
        nobatteryfiles();
        // The cartridge as its header says (no RAM): the compatibility mappers' 128 KiB of RAM,
        // filled with noise at every load, took a quarter of each input's time.
        settings.CartMode = 0;
        session->applysettings();
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tharness sgb(2), sgbgbc(5);
    const size_t records = std::min(size / recordbytes, maxrecords);
    if (records == 0) return 0;
    tharness& h = (data[0] & 0x80) ? sgbgbc : sgb;

    testing::tromimage image;
    image.entry().sgbcapable().colour(h.settings.SystemMode == 5 ? 0x80 : 0x00).code(0x150, driver);
    image.bytes[0x15C] = uint8_t(records);
    image.bytes[0x15D] = 0;
    std::copy(data, data + records * recordbytes, image.bytes.begin() + 0x4000);
    tsession& s = *h.session;
    std::string message;
    if (!s.loadimage(image.finished(), "", true, message)) __builtin_trap();

    tgbinspect memory = s.inspector();
    for (uint32_t a = 0x8000; a < 0xA000; a++) memory.poke(uint16_t(a), data[(a - 0x8000) % size]);
    for (int frame = 0; frame < maxframes && !cannotwake(s.machine()); frame++) {
        s.runframe(true);
        s.frameended();
    }
    // The border picture as the window takes it.
    const tborder border = sgbborder(s.sgb().border.data());
    if (!border.present || border.picture.width != tsgb::borderwidth) __builtin_trap();
    return 0;
}
