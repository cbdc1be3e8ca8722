// The cheat list on a session: the list follows the loaded game (its ".cht" file with
// `CheatAutoSave`), the GameShark codes are written after every frame, and the Game Genie
// patches are out of the ROM image whenever the session reads it whole (digest, rebuild).
// The desktop program and tov-run both wire their list this way.
#pragma once
#include <string>

#include "cheats/cheats.h"
#include "debugger/debuggertov.h"
#include "frontend/session.h"

namespace tov {

// The ROM base name of the session's game for its cheat file: the battery folder (or the
// ROM's folder) and the ROM's name without its extension; "" without a ROM file.
std::string cheatbasename(tsession& session);

// Chains the list into the session's hooks (the hooks already there keep running first).
// `romchanged` (optional) runs after the list has followed a newly loaded ROM.
void attachcheats(tsession& session, tcheatlist& list, std::function<void()> romchanged = {});

// While the debugger holds the machine every patch is out of the ROM image (and no
// GameShark code writes); they go back in when it lets the machine run.
void suspendwithdebugger(tdebuggertov& debugger, tcheatlist& list);

// The list's options from the working settings.
tcheatoptions cheatoptionsof(const tsettings& s);

}  // namespace tov
