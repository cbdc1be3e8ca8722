// Helpers for machine tests: a machine wired to a ROM image built in the test
// and a debugger stand-in that samples the machine before every instruction.
#pragma once
#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "cart/loadrom.h"
#include "core/gb.h"
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

// A machine with a ROM attached and reset.
struct tmachine {
    tsettings settings = defaultsettings();
    std::unique_ptr<tgb> gb;

    explicit tmachine(const tromimage& rom = tromimage(), int systemmode = 0) {
        settings.SystemMode = systemmode;
        gb = std::make_unique<tgb>(settings);
        load(rom);
    }
    void load(const tromimage& rom) {
        std::string message;
        auto cart = makecart(rom.finished(), settings, message);
        ASSERT_NE(cart, nullptr) << message;
        gb->attachcart(std::move(cart));
        gb->resetmachine();
    }
    tgb* operator->() { return gb.get(); }
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
