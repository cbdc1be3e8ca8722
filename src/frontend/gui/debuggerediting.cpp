// The debugger window's editing and file commands: the code view's pop-up menu, the "edit"
// menu and the additions to the "file" menu, the program services the commands need
// (clipboard, save states, ROM loading), the symbol file read with every ROM, and the
// question before an edited ROM image is replaced.
#include <SDL.h>
#include <imgui.h>

#include "debugger/symbols.h"
#include "frontend/gui/debuggerwindow.h"
#include "frontend/gui/mainwindow.h"
#include "platform/system.h"
#include "state/savestate.h"

namespace tov {

void TFormdebugger::installediting() {
    tdebugformhost& h = form->host;
    h.setclipboard = [](const std::string& text) { SDL_SetClipboardText(text.c_str()); };
    h.savestate = [this](const std::string& path) -> std::string {
        try {
            fgb.savestates().savestate(path);
            return {};
        } catch (const tstateerror& e) {
            return e.what();
        }
    };
    h.loadstate = [this] {
        // Only the state chosen now stops: a cancelled dialog or a refused state must not
        // leave the stop waiting for some later load.
        stopafterload = true;
        fgb.mnuloadsnapfile([this] { stopafterload = false; });
    };
    h.loadrom = [this] { fgb.mnuloadrom(); };
    h.loadromnoreset = [this](const std::string& path) {
        if (fgb.loadrom(path, false)) form->stopped("");
    };
    // Save states name their ROM by its digest, which follows the edits.
    h.romedited = [this] { fgb.emulation().refreshromdigest(); };
    // The saved image is the game with the user's edits, without the cheats' patches.
    form->edit.beforeromread = [this] {
        if (fgb.emulation().hooks.beforeromread) fgb.emulation().hooks.beforeromread();
    };
    form->edit.afterromread = [this] {
        if (fgb.emulation().hooks.afterromread) fgb.emulation().hooks.afterromread();
    };

    // The loss of changes is asked before any other ROM replaces an edited image (the
    // window's loads, a state that switches ROMs) and before the program closes with one.
    auto confirm = [this] {
        return form->edit.mayloseromchanges([this](const std::string& question) {
            return messagebox(fgb.sdlwindow(), question, "warning", tmsgbuttons::okcancel) == tmsgresult::ok;
        });
    };
    fgb.hooks.beforeromload = confirm;
    fgb.hooks.mayclose = confirm;
    fgb.savestates().questions.loseromchanges = confirm;
    // `menuloadstate` stops at the first instruction after the state.
    auto previousafterload = fgb.savestates().afterload;
    fgb.savestates().afterload = [this, previousafterload] {
        if (previousafterload) previousafterload();
        if (stopafterload) {
            stopafterload = false;
            tov->breaknow();
        }
    };
}

void TFormdebugger::romloadedediting() {
    // A new image has no edits yet; the names of its symbol file (when there is one) come
    // with it. A missing or bad file only means no names.
    form->edit.rommodified = false;
    loadsymbolfile(symbolfilefor(fgb.romfile()), tov->core.symbols);
    const tsettings& s = fgb.store().working;
    form->host.statefolder = s.SaveRamDir.empty() ? std::string() : resolvepath(s.SaveRamDir, fgb.programdirectory());
    const size_t slash = fgb.romfile().find_last_of('/');
    form->host.romfolder = slash == std::string::npos ? std::string() : fgb.romfile().substr(0, slash);
    form->refresh();
}

void TFormdebugger::draweditmenu() {
    const bool stopped = tov->stopped();
    const bool game = fgb.gb().cartridge().isbanked();
    if (ImGui::BeginMenu("edit")) {
        if (ImGui::MenuItem("edit data", nullptr, false, stopped)) form->menueditdata();
        if (ImGui::MenuItem("edit code", nullptr, false, stopped)) form->menueditcode();
        if (ImGui::MenuItem("copy data", nullptr, false, stopped)) form->menueditcopy();
        ImGui::Separator();
        if (ImGui::MenuItem("insert byte", "Insert", false, stopped)) form->insertbyte();
        if (ImGui::MenuItem("delete byte", "Delete", false, stopped)) form->deletebyte();
        if (ImGui::MenuItem("insert size...")) form->menuinsertsize();
        ImGui::Separator();
        if (ImGui::MenuItem("go to", "Ctrl+G")) form->askgoto();
        if (ImGui::MenuItem("run to...", nullptr, false, stopped)) form->askrunto();
        ImGui::EndMenu();
    }
    // Appended to the window's "file" menu.
    if (ImGui::BeginMenu("file")) {
        ImGui::Separator();
        if (ImGui::MenuItem(form->edit.rommodified ? "save rom (modified)" : "save rom", nullptr, false, game))
            form->menusaverom();
        if (ImGui::MenuItem("dump memory")) form->menudump();
        ImGui::Separator();
        if (ImGui::MenuItem("save state", nullptr, false, game)) form->menusavestate();
        if (ImGui::MenuItem("load state")) form->menuloadstate();
        if (ImGui::MenuItem("load rom", "F12")) form->menuloadrom();
        if (ImGui::MenuItem("load rom without reset")) form->menuloadromnoreset();
        ImGui::EndMenu();
    }
}

void TFormdebugger::drawcodepopup(bool open) {
    // The code view's pop-up menu (a right click moved the cursor to the line first), drawn
    // outside the view so that it has the window's colours rather than the view's.
    if (open) ImGui::OpenPopup("codemenu");
    if (!ImGui::BeginPopup("codemenu")) return;
    const bool stopped = tov->stopped();
    if (ImGui::MenuItem("edit data", nullptr, false, stopped)) form->menueditdata();
    if (ImGui::MenuItem("edit code", nullptr, false, stopped)) form->menueditcode();
    if (ImGui::MenuItem("copy data", nullptr, false, stopped)) form->menueditcopy();
    if (ImGui::MenuItem("insert size...")) form->menuinsertsize();
    if (ImGui::MenuItem("go to", "Ctrl+G")) form->askgoto();
    ImGui::Separator();
    if (ImGui::MenuItem("save rom", nullptr, false, fgb.gb().cartridge().isbanked())) form->menusaverom();
    if (ImGui::MenuItem("dump memory")) form->menudump();
    if (ImGui::MenuItem("save state", nullptr, false, fgb.gb().cartridge().isbanked())) form->menusavestate();
    if (ImGui::MenuItem("load state")) form->menuloadstate();
    if (ImGui::MenuItem("load rom", "F12")) form->menuloadrom();
    if (ImGui::MenuItem("load rom without reset")) form->menuloadromnoreset();
    if (ImGui::MenuItem("header checksum fix", nullptr, false, stopped)) form->checksumfix();
    ImGui::EndPopup();
}

}  // namespace tov
