#include "frontend/cheathooks.h"

#include <utility>

#include "cart/loadrom.h"

namespace tov {

std::string cheatbasename(tsession& session) {
    const std::string& rom = session.romfile();
    if (rom.empty()) return {};
    return absolutepath(batterybasepath(rom, session.settings().SaveRamDir, session.programfolder()));
}

tcheatoptions cheatoptionsof(const tsettings& s) {
    tcheatoptions o;
    o.CheatAutoSave = s.CheatAutoSave;
    return o;
}

void attachcheats(tsession& session, tcheatlist& list, std::function<void()> romchanged) {
    tsessionhooks& h = session.hooks;
    auto loaded = std::move(h.romloaded);
    h.romloaded = [&session, &list, loaded, romchanged] {
        if (loaded) loaded();
        list.options = cheatoptionsof(session.settings());
        list.setrom(cheatbasename(session));
        if (romchanged) romchanged();
    };
    auto frame = std::move(h.afterframe);
    h.afterframe = [&list, frame] {
        if (frame) frame();
        list.applygameshark();
    };
    auto before = std::move(h.beforeromread);
    h.beforeromread = [&list, before] {
        if (before) before();
        list.removeall();
    };
    auto after = std::move(h.afterromread);
    h.afterromread = [&list, after] {
        if (after) after();
        list.applyall();
    };
}

void suspendwithdebugger(tdebuggertov& debugger, tcheatlist& list) {
    auto stop = std::move(debugger.onstop);
    debugger.onstop = [&list, stop] {
        if (stop) stop();
        list.setsuspended(true);
    };
    auto resume = std::move(debugger.onresume);
    debugger.onresume = [&list, resume] {
        if (resume) resume();
        list.setsuspended(false);
    };
}

}  // namespace tov
