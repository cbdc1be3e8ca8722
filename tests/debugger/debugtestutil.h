// A machine with the debugger's run control attached and a host that records every stop
// and answers it with a scripted command, as a user at the debugger window would.
#pragma once
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/gbtestutil.h"
#include "debugger/debuggertov.h"

namespace tov::testing {

struct tstoprecord {
    int32_t reason;
    uint16_t pc;
    uint8_t a, b;
    std::string caption;
};

struct tscriptedhost : tdebuggerhost {
    tdebuggertov* dbg = nullptr;
    std::vector<tstoprecord> stops;
    // What the user does at each stop; Run when not given or when it did not resume.
    std::function<void(tdebuggertov&, const tstoprecord&)> command;
    size_t maxstops = 64;  // then every breakpoint goes and the machine runs on

    void debuggerstopped(const std::string& caption, int32_t reason) override {
        const tcpustate& c = dbg->core.machine().cpu;
        stops.push_back({reason, c.PC, c.A, c.B, caption});
    }
    void processmessages() override {
        if (stops.size() >= maxstops) {
            dbg->core.options = {};
            dbg->core.clearall();
        } else if (command) {
            command(*dbg, stops.back());
        }
        if (!dbg->resuming()) dbg->run();
    }
    void idle() override {}
};

struct tdebugmachine {
    tsettings settings = defaultsettings();
    std::unique_ptr<tsession> session;
    tscriptedhost host;
    std::unique_ptr<tdebuggertov> debugger;
    tdebuggertov& dbg;

    // `configure` changes the settings before the ROM is loaded.
    explicit tdebugmachine(const tromimage& rom, int systemmode = 0,
                           const std::function<void(tsettings&)>& configure = {})
        : dbg(build(rom, systemmode, configure)) {}
    tdebuggertov& build(const tromimage& rom, int systemmode, const std::function<void(tsettings&)>& configure) {
        settings.SystemMode = systemmode;
        if (configure) configure(settings);
        session = std::make_unique<tsession>(settings, std::string(), tmachine::machineonly());
        debugger = std::make_unique<tdebuggertov>(session->machine(), &host);
        host.dbg = debugger.get();
        session->applysettings();
        // The options first: the reset then starts the RAM tracking they ask for.
        debugger->setoptions(session->debuggeroptions());
        std::string message;
        EXPECT_TRUE(session->loadimage(rom.finished(), "", false, message)) << message;
        session->reset();
        return *debugger;
    }
    // Runs frames until `count` stops were recorded or the frames are used up.
    void rununtil(size_t count, int frames = 10) {
        for (int i = 0; i < frames && host.stops.size() < count; i++) session->runframe(false);
    }
    tgb& gb() { return session->machine(); }
};

}  // namespace tov::testing
