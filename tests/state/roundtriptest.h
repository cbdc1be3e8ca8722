// Pieces of the save-state file tests: a player (a session with renderer, memory picture,
// synthesiser with a capturing output and a serial listener, and its save states), test
// programs that make sound, start an HBlank DMA late in the frame and send a multi-packet
// SGB command across frames, and temporary files.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "core/hostclock.h"
#include "frontend/savestates.h"
#include "frontend/session.h"
#include "sound/soundtesthelpers.h"
#include "statetest.h"

namespace tov::statetest {

// A folder of its own per test, removed afterwards.
struct ttempfolder {
    std::filesystem::path path;
    ttempfolder() {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        static int count = 0;
        path = std::filesystem::temp_directory_path() /
               ("tov-state-" + std::string(info->test_suite_name()) + "-" + info->name() + "-" +
                std::to_string(::getpid()) + "-" + std::to_string(count++));
        std::filesystem::remove_all(path);
        std::filesystem::create_directories(path);
    }
    ~ttempfolder() {
        std::error_code ec;
        std::filesystem::remove_all(path, ec);
    }
    std::string file(const std::string& name) const { return (path / name).string(); }
};

inline void writefile(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream f(path, std::ios::binary | std::ios::trunc);
    f.write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// The busy program with sound on all four channels changing every frame, an HBlank DMA
// started at line 136 (still running when the frame ends) in GBC mode, and in SGB mode a
// two-packet ATTR_BLK command whose packets are sent in two frames (so a state saved
// between them holds a command in progress), besides the PAL01 packets.
inline std::vector<uint8_t> playrom(uint8_t carttype, bool colour, bool sgb) {
    std::vector<uint8_t> rom = busyrom(carttype, colour, sgb);
    temitter e{rom, 0};
    const int mainloop = 0x408, sendpacket = 0x300;
    // VBlank: the frame counter and SCY as before, then the sound registers.
    e.pc = 0x200;
    e.jp(0x600);
    e.pc = 0x600;
    e.b({0xF5, 0xFA, 0x00, 0xC0, 0x3C, 0xEA, 0x00, 0xC0, 0xE0, 0x42});
    e.b({0x3E, 0x80, 0xE0, 0x26, 0x3E, 0x77, 0xE0, 0x24, 0x3E, 0xF7, 0xE0, 0x25});  // power, volume, panning
    e.b({0xFA, 0x00, 0xC0, 0xE0, 0x13});                                    // channel 1 frequency low = frame
    e.b({0xE6, 0x0F, 0xC2, 0x80, 0x06});                                    // every 16th frame:
    e.b({0x3E, 0x80, 0xE0, 0x11, 0x3E, 0xF3, 0xE0, 0x12, 0x3E, 0x86, 0xE0, 0x14});  // channel 1 trigger
    e.b({0x3E, 0x40, 0xE0, 0x16, 0x3E, 0xA2, 0xE0, 0x17, 0x3E, 0x40, 0xE0, 0x18, 0x3E, 0x85, 0xE0, 0x19});
    e.b({0x3E, 0x80, 0xE0, 0x1A, 0x3E, 0x20, 0xE0, 0x1C, 0x3E, 0x30, 0xE0, 0x1D, 0x3E, 0x87, 0xE0, 0x1E});
    e.b({0x3E, 0xC1, 0xE0, 0x21, 0xFA, 0x00, 0xC0, 0xE0, 0x22, 0x3E, 0x80, 0xE0, 0x23});  // noise
    e.pc = 0x680;
    e.b({0xF1, 0xD9});
    // STAT: as before, then in GBC mode at line 136 an HBlank DMA of 16 blocks.
    e.pc = 0x240;
    e.jp(0x700);
    e.pc = 0x700;
    e.b({0xF5, 0xF0, 0x45, 0xC6, 0x08, 0xFE, 0x90, 0x38, 0x02, 0x3E, 0x08, 0xE0, 0x45, 0x00, 0x00,
         0x00, 0x00, 0xF0, 0x04, 0xE0, 0x43, 0xF0, 0x47, 0x07, 0xE0, 0x47});
    e.b({0xFA, 0x10, 0xC0, 0xFE, 0x11, 0xC2, 0x80, 0x07});  // GBC only
    e.b({0xF0, 0x44, 0xFE, 0x88, 0xC2, 0x80, 0x07});        // LY 136 only
    e.b({0x3E, 0xC1, 0xE0, 0x51, 0xAF, 0xE0, 0x52, 0x3E, 0x09, 0xE0, 0x53, 0xAF, 0xE0, 0x54, 0x3E, 0x8F,
         0xE0, 0x55});
    e.pc = 0x780;
    e.b({0xF1, 0xD9});
    // Packets: frame & 7 == 0 the first ATTR_BLK packet, 1 the second, 4 PAL01.
    e.pc = 0x500;
    e.jp(0x800);
    e.pc = 0x800;
    e.b({0x78, 0xE6, 0x07, 0xFE, 0x00, 0xC2, 0x20, 0x08, 0x21, 0x00, 0x09});
    e.call(sendpacket);
    e.jp(mainloop);
    e.pc = 0x820;
    e.b({0xFE, 0x01, 0xC2, 0x40, 0x08, 0x21, 0x10, 0x09});
    e.call(sendpacket);
    e.jp(mainloop);
    e.pc = 0x840;
    e.b({0xFE, 0x04, 0xC2, 0x60, 0x08, 0x21, 0x20, 0xC0, 0x3E, 0x01, 0x22, 0x70, 0x21, 0x20, 0xC0});
    e.call(sendpacket);
    e.pc = 0x860;
    e.jp(mainloop);
    // ATTR_BLK, two packets, three data sets: inside/border/outside palettes of three boxes.
    const uint8_t attr1[16] = {0x22, 3, 0x07, 0x1B, 1, 1, 8, 8, 0x03, 0x24, 10, 2, 18, 12, 0x07, 0x36};
    const uint8_t attr2[16] = {0, 4, 19, 17, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    std::memcpy(&rom[0x900], attr1, 16);
    std::memcpy(&rom[0x910], attr2, 16);
    uint8_t sum = 0;
    for (int i = 0x134; i <= 0x14C; i++) sum = uint8_t(sum - rom[size_t(i)] - 1);
    rom[0x14D] = sum;
    return rom;
}

// A session as the desktop program builds it, with a capturing sound output and a
// serial listener, and its save states.
struct tplayer {
    static constexpr int pageframes = 512;
    tfakeclock clock;
    tsettings settings;
    std::unique_ptr<tsession> session;
    std::unique_ptr<tsavestates> states;
    testing::tcaptureoutput* out = nullptr;
    std::vector<uint8_t> serial;
    tbitmap screen;

    explicit tplayer(int systemmode = 3) {
        setdefaults(settings);
        settings.SystemMode = systemmode;
        tsessionparts parts;
        parts.memorypicture = true;
        session = std::make_unique<tsession>(settings, "", parts, clock);
        states = std::make_unique<tsavestates>(*session);
        auto o = std::make_unique<testing::tcaptureoutput>(false);
        o->setformat(44100, 2, 2);
        o->setpagesize(pageframes);
        o->setpagecount(4);
        out = o.get();
        session->synthesiser()->setoutput(std::move(o));
        session->synthesiser()->restartoutput();
        session->setserialhook(onserial, this);
        session->reset();
    }
    ~tplayer() { states.reset(); }
    static void onserial(void* context, uint8_t value) { static_cast<tplayer*>(context)->serial.push_back(value); }

    bool load(const std::string& path) {
        std::string message;
        return session->loadrom(path, true, message);
    }
    const tbitmap& frame() {
        session->runframe(true);
        session->renderer()->refresh();
        session->frameended();
        session->picture()->output().getpicture(screen);
        return screen;
    }
    // Samples made so far (delivered pages and the ones still staged).
    size_t samplecount() const { return out->pages.size() * pageframes + size_t(session->synthesiser()->buffered()); }
    std::vector<int> samples() const {
        std::vector<int> left, right, both;
        out->samples16(left, right);
        for (size_t i = 0; i < left.size(); i++) {
            both.push_back(left[i]);
            both.push_back(right[i]);
        }
        return both;
    }
};

inline bool samepixels(const tbitmap& a, const tbitmap& b) {
    if (a.width != b.width || a.height != b.height) return false;
    for (int y = 0; y < a.height; y++)
        for (int x = 0; x < a.width; x++)
            if (a.pixel(x, y) != b.pixel(x, y)) return false;
    return true;
}

}  // namespace tov::statetest
