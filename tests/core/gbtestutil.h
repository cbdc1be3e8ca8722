// Helpers for machine tests: tiny ROM images built in the test, a machine wired to one,
// and a debugger stand-in that samples the machine before every instruction.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "core/gb.h"
#include "frontend/session.h"
#include "frontend/settings.h"

namespace tov::testing {

// A 32 KiB ROM without mapper: entry at 0x100 jumps to 0x150, where the test's code goes.
struct tromimage {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(0x8000, 0x00);

    tromimage() {
        code(0x100, {0x00, 0xC3, 0x50, 0x01});  // nop; jp 0x0150
        code(0x150, {0x18, 0xFE});              // jr -2 (idle)
    }
    tromimage& code(uint16_t at, std::initializer_list<uint8_t> b) {
        for (uint8_t v : b) bytes[at++] = v;
        return *this;
    }
    tromimage& colour(uint8_t flag) { bytes[0x143] = flag; return *this; }
    tromimage& sgbcapable(bool on = true) {
        bytes[0x146] = on ? 0x03 : 0x00;
        bytes[0x14B] = on ? 0x33 : 0x00;
        return *this;
    }
    std::vector<uint8_t> finished() const {
        std::vector<uint8_t> b = bytes;
        uint8_t sum = 0;
        for (int i = 0x134; i <= 0x14C; i++) sum = uint8_t(sum - b[i] - 1);
        b[0x14D] = sum;
        return b;
    }
};

inline tsettings defaultsettings() {
    tsettings s;
    setdefaults(s);
    s.UninitedWRAM = 1;  // deterministic memory: every byte 0x00
    s.WRAMinitvalue = "00";
    return s;
}

// A machine with a ROM attached and reset, built through the session without a renderer
// or synthesiser. Change `settings`, then `reset()` to see the change.
struct tmachine {
    tsettings settings = defaultsettings();
    std::unique_ptr<tsession> session;
    tgb* gb = nullptr;

    static tsessionparts machineonly() {
        tsessionparts parts;
        parts.renderer = false;
        parts.synthesiser = false;
        return parts;
    }
    explicit tmachine(const tromimage& rom = tromimage(), int systemmode = 0, std::string folder = {},
                      tsessionparts parts = machineonly()) {
        settings.SystemMode = systemmode;
        session = std::make_unique<tsession>(settings, std::move(folder), parts);
        gb = &session->machine();
        load(rom);
    }
    void load(const tromimage& rom) {
        std::string message;
        ASSERT_TRUE(session->loadimage(rom.finished(), "", false, message)) << message;
        reset();
    }
    // The settings reach the machine, then the machine resets.
    void reset() {
        session->applysettings();
        session->reset();
    }
    tgb* operator->() { return gb; }
    tgb& operator*() { return *gb; }
};

// Records the machine's state before every instruction (through the debugger seam).
struct tsampler : tdebugport {
    struct tsample {
        uint32_t time;
        uint8_t ly, stat, ifreg;
        uint16_t pc;
        uint8_t div, tima;
    };
    tgb& gb;
    std::vector<tsample> samples;
    int interrupts = 0;

    explicit tsampler(tgb& machine) : gb(machine) {
        gb.debugger = this;
        gb.debugstepping = true;
    }
    ~tsampler() override {
        gb.debugger = nullptr;
        gb.debugstepping = false;
    }
    int checkbreak() override { return 1; }
    void enterdebugger(int) override {
        samples.push_back({gb.currenttime(), gb.ly, gb.stat, gb.ifreg, gb.cpu.PC, gb.div, gb.tima});
    }
    void interruptnotice() override { interrupts++; }
};

}  // namespace tov::testing
