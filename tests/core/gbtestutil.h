// Helpers for machine tests: a machine wired to a ROM image built in the test
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
#include "support/testrom.h"

namespace tov::testing {

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
        session->applysettings();
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
        samples.push_back({gb.currenttime(), gb.ly, gb.stat, gb.ifreg, gb.cpu.PC, gb.dividervalue(), gb.tima});
    }
    void interruptnotice() override { interrupts++; }
};

}  // namespace tov::testing
