// The main window's save-state commands: the slot menu, the quick save and load inputs,
// F3 for the slot dialog, dropped and command-line state files (through the window's
// `loadstate` hook), the questions of a load as message boxes and file dialogs.
#include <functional>
#include <string>
#include <utility>

#include "frontend/filefilter.h"
#include "frontend/gui/mainwindow.h"
#include "platform/system.h"

namespace tov {

namespace {
constexpr int vkf3 = 0x72;
}

void Tfgb::setupstatehooks() {
    states = std::make_unique<tsavestates>(*session);
    // The state's ROM is loaded as the window loads any ROM: warnings, recent files, caption.
    states->questions.loadrom = [this](const std::string& path) { return loadrom(path, true); };
    session->confirmromhash = [this](const std::string& question) {
        return messagebox(window, question, "warning", tmsgbuttons::okcancel) == tmsgresult::ok;
    };

    hooks.loadstate = [this](const std::string& path) { return loadstatewithrom(path, ""); };
    hooks.quicksave = [this] { mnuSavesnap(); };
    hooks.quickload = [this] { mnuloadsnap(); };
    std::function<bool(int, uint16_t)> otherkeys = hooks.onkey;
    hooks.onkey = [this, otherkeys](int vk, uint16_t modifiers) {
        // The open slot dialog takes the digits, Enter and Escape.
        if (statewindows.formsnap.key(vk)) return true;
        if (vk == vkf3 && !(modifiers & (KMOD_CTRL | KMOD_ALT | KMOD_SHIFT))) {
            mnuselectsnap();
            return true;
        }
        return otherkeys && otherkeys(vk, modifiers);
    };
    std::function<void()> otherwindows = hooks.drawwindows;
    hooks.drawwindows = [this, otherwindows] {
        if (otherwindows) otherwindows();
        drawstatewindows();
    };
    auto game = [this] { return states->hasgame(); };
    hooks.menu.push_back({"save state", "save state", "F2", [this] { mnuSavesnap(); }, {}, game});
    hooks.menu.push_back({"save state", "load state", "F4", [this] { mnuloadsnap(); }, {}, game});
    hooks.menu.push_back({"save state", "select slot...", "F3", [this] { mnuselectsnap(); }, {}, {}});
    hooks.menu.push_back({"save state", "load state file...", "", [this] { mnuloadsnapfile(); }, {}, {}});
}

bool Tfgb::loadstatewithrom(const std::string& path, const std::string& rompath) {
    try {
        states->loadstate(path, rompath);
        statewindows.loadfilenotloaded = {};
        return true;
    } catch (const tromnotfound& e) {
        // "find rom for savestate": the answer comes in a later frame and loads the state again.
        statewindows.findstate = path;
        statewindows.findfailed = e.path;
        statewindows.findrom.open("find rom for savestate", findromfilter, folderof(e.path));
        statewindows.findrom.setname(e.path);  // preset to the path that failed
    } catch (const tstateerror& e) {
        messagebox(window, e.what(), "error");
        statefilenotloaded();
    }
    return false;
}

void Tfgb::statefilenotloaded() {
    if (std::function<void()> notloaded = std::exchange(statewindows.loadfilenotloaded, {})) notloaded();
}

void Tfgb::mnuSavesnap() {
    tstatereport r = savesnap(*states);
    if (r.done)
        setstatus(r.status);
    else if (!r.boxtitle.empty())
        messagebox(window, r.boxtext, r.boxtitle);
    updatecaption();
}

void Tfgb::mnuloadsnap() {
    tstatereport r;
    try {
        r = loadsnap(*states);
    } catch (const tromnotfound& e) {
        statewindows.findstate = states->slotfile();
        statewindows.findfailed = e.path;
        statewindows.findrom.open("find rom for savestate", findromfilter, folderof(e.path));
        statewindows.findrom.setname(e.path);  // preset to the path that failed
    }
    if (r.done) {
        // The state may have changed the mode and the border: picture and border set up again.
        setupdisplay();
        setstatus(r.status);
    } else if (!r.boxtitle.empty()) {
        messagebox(window, r.boxtext, r.boxtitle);
    }
    updatecaption();
}

void Tfgb::mnuselectsnap() { statewindows.formsnap.show(states->slot); }

void Tfgb::mnuloadsnapfile(std::function<void()> notloaded) {
    statewindows.loadfilenotloaded = std::move(notloaded);
    const tsettings& s = settings.working;
    std::string start = !s.SaveRamDir.empty() ? resolvepath(s.SaveRamDir, programdir) : folderof(session->romfile());
    statewindows.loadfile.open("load state", statefilter, start);
}

void Tfgb::drawstatewindows() {
    // buttonokClick: the checked button's slot becomes the slot (and names the slot file).
    if (statewindows.formsnap.draw()) states->slot = statewindows.formsnap.slot();
    tfiledialog::tresult r = statewindows.loadfile.draw();
    if (r == tfiledialog::chosen && loadstatefile(statewindows.loadfile.path())) startloop();
    if (r == tfiledialog::cancelled) statefilenotloaded();
    r = statewindows.findrom.draw();
    if (r == tfiledialog::chosen || r == tfiledialog::cancelled) {
        const std::string answer = r == tfiledialog::chosen ? statewindows.findrom.path() : std::string();
        if (answer.empty() || answer == statewindows.findfailed) {
            messagebox(window, "failed to load the rom for savestate", "error");
            statefilenotloaded();
        } else {
            std::string state = statewindows.findstate;
            bool ok = loadstatewithrom(state, answer);
            setupdisplay();
            updatecaption();
            if (ok) {
                setstatus("State loaded");
                startloop();
            }
        }
    }
}

}  // namespace tov
