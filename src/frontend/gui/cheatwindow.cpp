#include "frontend/gui/cheatwindow.h"

#include <SDL.h>
#include <imgui.h>
#include <imgui_stdlib.h>

#include <algorithm>

#include "frontend/cheathooks.h"
#include "frontend/gui/fitwindow.h"
#include "frontend/gui/debuggerwindow.h"
#include "frontend/gui/mainwindow.h"
#include "platform/system.h"

namespace tov {

namespace {

constexpr const char* cheatfilter = "cheat code list|*.cht|All files|*";
constexpr int vkf10 = 0x79;

}  // namespace

TFormcheat::TFormcheat(Tfgb& mainwindow) : fgb(mainwindow) {}

TFormcheat::~TFormcheat() = default;

void TFormcheat::install() {
    tfrontendhooks& h = fgb.hooks;
    h.menu.push_back({"", "cheats...", "F10", [this] { mnucheatClick(); }, nullptr, nullptr});
    h.menu.push_back({"other", "cheat searcher", "", [this] { mnucheatsearcherClick(); }, nullptr, nullptr});
    auto previousdraw = h.drawwindows;
    h.drawwindows = [this, previousdraw] {
        if (previousdraw) previousdraw();
        draw();
    };
    auto previouskey = h.onkey;
    h.onkey = [this, previouskey](int vk, uint16_t modifiers) {
        if (vk == vkf10 && !(modifiers & (KMOD_CTRL | KMOD_ALT | KMOD_SHIFT))) {
            mnucheatClick();
            return true;
        }
        return previouskey && previouskey(vk, modifiers);
    };
    // The "toggle cheats" input flips disable-all, as the two buttons do.
    h.togglecheats = [this] {
        if (list) list->setdisableall(!list->disableall());
    };
    auto previousmodal = h.modal;
    h.modal = [this, previousmodal] { return modal() || (previousmodal && previousmodal()); };
    auto previousclosing = h.closing;
    h.closing = [this, previousclosing] {
        if (previousclosing) previousclosing();
        if (!list) return;
        // The option as it is now: the options dialog may have changed it since the game was loaded.
        list->options = cheatoptionsof(fgb.store().working);
        list->autosave();
    };
    if (fgb.store().working.CheatAutoSave) createlist();
}

void TFormcheat::createlist() {
    if (list) return;
    list = std::make_unique<tcheatlist>(fgb.gb());
    list->options = cheatoptionsof(fgb.store().working);
    list->onsavefailed = [this](const std::string& path) {
        messagebox(fgb.sdlwindow(), "error while saving " + path, "error");
    };
    attachcheats(fgb.emulation(), *list, [this] { romchanged(); });
    // The debugger holds the machine: every patch out until it runs again.
    if (TFormdebugger* d = fgb.debuggerwindow()) suspendwithdebugger(d->runcontrol(), *list);
}

void TFormcheat::romchanged() {
    // The old game's cheats are gone: an open edit of one of them ends.
    if (editing == tediting::editing) {
        editing = tediting::none;
        target = nullptr;
    }
    afteroperation();
    if (list->anyenabled()) fgb.setstatus("cheats active");
}

bool TFormcheat::modal() const { return editing != tediting::none || files.isopen(); }

void TFormcheat::mnucheatClick() {
    createlist();
    visible = true;
    ImGui::SetWindowFocus("###TFormcheat");
}

void TFormcheat::mnucheatsearcherClick() {
    if (!fgb.isrunning() || !fgb.emulation().romloaded()) {
        messagebox(fgb.sdlwindow(), "no rom is running", "error");
        return;
    }
    if (!search) search = std::make_unique<tcheatsearch>(fgb.gb());
    searchvisible = true;
    ImGui::SetWindowFocus("cheat searcher###TFormcheatsearch");
}

std::vector<size_t> TFormcheat::selectedlines() const { return {selection.begin(), selection.end()}; }

void TFormcheat::afteroperation() {
    // The focused line stays focused while it exists; the selection keeps only lines that do.
    const size_t n = list->size();
    for (auto it = selection.begin(); it != selection.end();) it = *it >= n ? selection.erase(it) : std::next(it);
    if (focused >= int(n)) focused = -1;
}

// ---------------------------------------------------------------------------------------------
// The list window
// ---------------------------------------------------------------------------------------------

void TFormcheat::Buttonadd() {
    draft = tcheat{};
    edit.open(draft);
    editing = tediting::adding;
    editjustopened = true;
}

void TFormcheat::Buttonedit() {
    // The single selected line, or the focused one when several or none are selected.
    int line = selection.size() == 1 ? int(*selection.begin()) : focused;
    target = line >= 0 ? list->at(size_t(line)) : nullptr;
    if (!target) return;
    list->removecheat(*target);
    edit.open(*target);
    editing = tediting::editing;
    editjustopened = true;
}

void TFormcheat::Buttondel() {
    list->remove(selectedlines());
    selection.clear();
    afteroperation();
}

void TFormcheat::Buttonsave() {
    const tsettings& s = fgb.store().working;
    filepurpose = tfilepurpose::save;
    files.open("save cheats", cheatfilter, resolvepath(s.SaveRamDir, fgb.programdirectory()), true, ".cht");
}

void TFormcheat::Buttonload() {
    const tsettings& s = fgb.store().working;
    filepurpose = tfilepurpose::load;
    files.open("load cheats", cheatfilter, resolvepath(s.SaveRamDir, fgb.programdirectory()));
}

void TFormcheat::draw() {
    if (list && visible) drawlist();
    if (list && editing != tediting::none) drawedit();
    if (search && searchvisible) drawsearch();
    if (!list) return;
    const tfiledialog::tresult r = files.draw();
    if (r == tfiledialog::chosen) {
        if (filepurpose == tfilepurpose::save) {
            list->savefile(files.path());  // a failure is told by onsavefailed
        } else if (filepurpose == tfilepurpose::load) {
            const tcheatfileload l = list->loadfile(files.path());
            if (l.nocodes)
                messagebox(fgb.sdlwindow(), "no cheat codes in " + files.path() + ": the list is unchanged", "warning");
            else if (l.toomany)
                messagebox(fgb.sdlwindow(),
                           "the cheat file holds too many cheats: only the first " + std::to_string(l.loaded) +
                               " were loaded",
                           "warning");
            afteroperation();
        }
        filepurpose = tfilepurpose::none;
    } else if (r == tfiledialog::cancelled) {
        filepurpose = tfilepurpose::none;
    }
}

void TFormcheat::drawlist() {
    ImGui::SetNextWindowSize(ImVec2(470, 330), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowPos(ImVec2(30, 30), ImGuiCond_FirstUseEver);
    const std::string title = list->caption() + "###TFormcheat";
    // Opaque, as the viewers are: the game's picture showed through the list and its lines.
    ImGui::SetNextWindowBgAlpha(1.0f);
    // A window too narrow for the button rows (1x) scrolls sideways to reach them all.
    if (!ImGui::Begin(title.c_str(), &visible, ImGuiWindowFlags_HorizontalScrollbar)) {
        ImGui::End();
        return;
    }
    keepwindowinside(listfit, fgb.toolkeepout());
    // ListBox1: one line per cheat; click selects, Ctrl+click adds, Shift+click a range.
    const float buttons = ImGui::GetFrameHeightWithSpacing() * 2 + ImGui::GetStyle().ItemSpacing.y;
    if (ImGui::BeginListBox("##ListBox1", ImVec2(-1, -buttons))) {
        size_t index = 0;
        const ImGuiIO& io = ImGui::GetIO();
        for (const tcheat& c : list->cheats()) {
            const std::string line = cheatlistline(c) + "##line" + std::to_string(index);
            const bool isselected = selection.count(index) != 0;
            if (ImGui::Selectable(line.c_str(), isselected)) {
                if (io.KeyShift && focused >= 0) {
                    if (!io.KeyCtrl) selection.clear();
                    for (size_t i = std::min(size_t(focused), index); i <= std::max(size_t(focused), index); i++)
                        selection.insert(i);
                } else if (io.KeyCtrl) {
                    isselected ? (void)selection.erase(index) : (void)selection.insert(index).second;
                    focused = int(index);
                } else {
                    selection = {index};
                    focused = int(index);
                }
            }
            if (int(index) == focused && !isselected) {
                // The focus rectangle of the list box.
                ImGui::GetWindowDrawList()->AddRect(ImGui::GetItemRectMin(), ImGui::GetItemRectMax(),
                                                    ImGui::GetColorU32(ImGuiCol_NavHighlight));
            }
            if (ImGui::IsItemHovered() && ImGui::IsMouseDoubleClicked(0)) {
                selection = {index};
                focused = int(index);
                Buttonedit();
            }
            index++;
        }
        ImGui::EndListBox();
    }
    // Delete in the list deletes the selected cheats.
    if (ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows) && !ImGui::GetIO().WantTextInput &&
        ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Delete), false))
        Buttondel();

    if (ImGui::Button("add##Buttonadd")) Buttonadd();
    ImGui::SameLine();
    if (ImGui::Button("edit##Buttonedit")) Buttonedit();
    ImGui::SameLine();
    if (ImGui::Button("delete##Buttondel")) Buttondel();
    ImGui::SameLine();
    if (ImGui::Button("enable##Buttonenable")) {
        list->enable(selectedlines(), true);
        afteroperation();
    }
    ImGui::SameLine();
    if (ImGui::Button("disable##Buttondisable")) {
        list->enable(selectedlines(), false);
        afteroperation();
    }
    ImGui::SameLine();
    if (ImGui::Button("poke##Buttonpoke")) {
        list->poke(selectedlines());
        afteroperation();
    }
    if (ImGui::Button("enable all##Buttonenableall")) list->setdisableall(false);
    ImGui::SameLine();
    if (ImGui::Button("disable all##Buttondisableall")) list->setdisableall(true);
    ImGui::SameLine();
    if (ImGui::Button("save...##Buttonsave")) Buttonsave();
    ImGui::SameLine();
    if (ImGui::Button("load...##Buttonload")) Buttonload();
    ImGui::End();
}

// ---------------------------------------------------------------------------------------------
// TFormeditcheat
// ---------------------------------------------------------------------------------------------

void TFormcheat::drawedit() {
    constexpr const char* id = "edit cheat##TFormeditcheat";
    if (editjustopened) {
        ImGui::OpenPopup(id);
        editjustopened = false;
    }
    if (!ImGui::BeginPopupModal(id, nullptr, ImGuiWindowFlags_AlwaysAutoResize)) return;
    bool close = false, accepted = false;
    const float field = ImGui::CalcTextSize("0").x * 14;
    ImGui::SetNextItemWidth(field * 2);
    ImGui::InputText("comment##Editcomment", &edit.Editcomment);
    ImGui::Separator();
    if (ImGui::RadioButton("code##Radioeditcode", edit.mode == tcheatedit::codemode)) edit.mode = tcheatedit::codemode;
    ImGui::SameLine();
    ImGui::SetNextItemWidth(field);
    // The dialog opens in code mode with the keyboard in the code field.
    if (ImGui::IsWindowAppearing()) ImGui::SetKeyboardFocusHere();
    ImGui::InputText("##Editcode", &edit.Editcode, ImGuiInputTextFlags_CharsUppercase);
    // Typing into or clicking a field chooses its mode.
    if (ImGui::IsItemActivated() || ImGui::IsItemEdited()) edit.mode = tcheatedit::codemode;
    if (ImGui::RadioButton("address and values##Radioeditdebug", edit.mode == tcheatedit::valuesmode))
        edit.mode = tcheatedit::valuesmode;
    const ImGuiInputTextFlags hex = ImGuiInputTextFlags_CharsHexadecimal | ImGuiInputTextFlags_CharsUppercase;
    auto valuefield = [&](const char* label, std::string& text) {
        ImGui::SetNextItemWidth(field * 0.6f);
        ImGui::InputText(label, &text, hex);
        if (ImGui::IsItemActivated() || ImGui::IsItemEdited()) edit.mode = tcheatedit::valuesmode;
    };
    ImGui::Indent();
    valuefield("address##Editaddr", edit.Editaddr);
    ImGui::SameLine();
    valuefield("new value##Editnewval", edit.Editnewval);
    ImGui::SameLine();
    valuefield("old value##Editoldval", edit.Editoldval);
    ImGui::Unindent();
    ImGui::Separator();
    // Return is the OK button, as in the desktop's dialogs.
    const bool enter = ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter), false) ||
                       ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_KeyPadEnter), false);
    if (ImGui::Button("OK##Buttonok") || enter) {
        tcheat& c = editing == tediting::adding ? draft : *target;
        const std::string message = edit.ok(c, *list);
        if (message.empty()) {
            close = accepted = true;
        } else {
            // The dialog stays open.
            messagebox(fgb.sdlwindow(), message, tcheatedit::errortitle);
        }
    }
    ImGui::SameLine();
    if (ImGui::Button("Cancel##Buttoncancel") || ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false))
        close = true;
    if (close) {
        if (editing == tediting::adding) {
            if (accepted) {
                list->insert(std::move(draft));
                // The new cheat is the first line, focused.
                selection = {0};
                focused = 0;
            }
        } else if (target) {
            list->applycheat(*target);
        }
        editing = tediting::none;
        target = nullptr;
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

// ---------------------------------------------------------------------------------------------
// TFormcheatsearch
// ---------------------------------------------------------------------------------------------

void TFormcheat::drawsearch() {
    ImGui::SetNextWindowSize(ImVec2(420, 360), ImGuiCond_FirstUseEver);
    // Beside the list where the window has room, else over its lower part.
    const bool wide = ImGui::GetIO().DisplaySize.x >= 960;
    ImGui::SetNextWindowPos(wide ? ImVec2(510, 30) : ImVec2(60, 80), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowBgAlpha(1.0f);
    if (!ImGui::Begin("cheat searcher###TFormcheatsearch", &searchvisible, ImGuiWindowFlags_HorizontalScrollbar)) {
        ImGui::End();
        return;
    }
    keepwindowinside(searchfit, fgb.toolkeepout());
    if (ImGui::RadioButton("8 bit##Radiobits8", !Radiobits16)) Radiobits16 = false;
    ImGui::SameLine();
    if (ImGui::RadioButton("16 bit##Radiobits16", Radiobits16)) Radiobits16 = true;
    ImGui::SameLine();
    if (ImGui::Button("start##Buttonreset")) search->start(Radiobits16);

    ImGui::TextUnformatted("keep values which are");
    ImGui::SameLine();
    ImGui::Checkbox("not##Checknot", &Checknot);
    ImGui::SameLine();
    ImGui::RadioButton("equal##Radioequal", &comparison, tcheatsearch::equal);
    ImGui::SameLine();
    ImGui::RadioButton("above##Radioabove", &comparison, tcheatsearch::above);
    ImGui::SameLine();
    ImGui::RadioButton("below##Radiobelow", &comparison, tcheatsearch::below);
    ImGui::TextUnformatted("than the");
    ImGui::SameLine();
    if (ImGui::RadioButton("previous value##Radioprevious", !Radioconst)) Radioconst = false;
    ImGui::SameLine();
    if (ImGui::RadioButton("constant##Radioconst", Radioconst)) Radioconst = true;
    ImGui::SameLine();
    ImGui::SetNextItemWidth(ImGui::CalcTextSize("0").x * 8);
    ImGui::InputText("##editconst", &editconst, ImGuiInputTextFlags_CharsHexadecimal | ImGuiInputTextFlags_CharsUppercase);
    if (ImGui::IsItemEdited()) Radioconst = true;
    if (ImGui::Button("search##Buttonsearch"))
        search->search(tcheatsearch::tcomparison(comparison), Checknot, Radioconst,
                       tcheatsearch::parseconstant(editconst));
    ImGui::SameLine();
    ImGui::TextUnformatted(search->label().c_str());  // Labelnumber

    // Memo1: the one line of candidates, wrapped at the memo's width. Every entry has the
    // same width, so the wrapped rows are computed and only the visible ones drawn.
    if (ImGui::BeginChild("##Memo1", ImVec2(-1, -1), true)) {
        const std::string& memo = search->memo();
        const float charwidth = ImGui::CalcTextSize("0").x;
        const int perrow = std::max(1, int(ImGui::GetContentRegionAvail().x / (charwidth * tcheatsearch::entrywidth)));
        const int entries = int(memo.size()) / tcheatsearch::entrywidth;
        const int rows = (entries + perrow - 1) / perrow;
        ImGuiListClipper clipper;
        clipper.Begin(rows);
        while (clipper.Step()) {
            for (int row = clipper.DisplayStart; row < clipper.DisplayEnd; row++) {
                const size_t from = size_t(row) * size_t(perrow) * tcheatsearch::entrywidth;
                const size_t to = std::min(memo.size(), from + size_t(perrow) * tcheatsearch::entrywidth);
                ImGui::TextUnformatted(memo.data() + from, memo.data() + to);
            }
        }
        clipper.End();
    }
    ImGui::EndChild();
    ImGui::End();
}

}  // namespace tov
