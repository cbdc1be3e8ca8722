#include "frontend/gui/debuggerwindow.h"

#include <SDL.h>
#include <imgui.h>
#include <imgui_internal.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "core/gbinspect.h"
#include "frontend/gui/fitwindow.h"
#include "frontend/gui/mainwindow.h"
#include "frontend/gui/viewerwindows.h"

namespace tov {

namespace {

// Memory-view characters are bytes; the font draws Latin-1 through UTF-8, and control codes
// as ".".
std::string displaytext(const std::string& s) {
    std::string out;
    out.reserve(s.size() + 8);
    for (unsigned char c : s) {
        if (c < 0x80) out += c == 0x7F ? '.' : char(c);
        else if (c < 0xA0) out += '.';
        else {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

ImU32 colourof(int32_t bgr) {
    // Settings colours are 0x00BBGGRR.
    return IM_COL32(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF, 255);
}

bool writetext(const std::string& path, const std::string& text) {
    std::ofstream f(path, std::ios::binary);
    if (!f) return false;
    f << text;
    return bool(f);
}

// An edit field over a std::string.
bool inputfield(const char* label, std::string& value, float width) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s", value.c_str());
    ImGui::SetNextItemWidth(width);
    const bool changed = ImGui::InputText(label, buf, sizeof buf);
    if (changed) value = buf;
    return changed;
}

}  // namespace

TFormdebugger::TFormdebugger(Tfgb& mainwindow) : fgb(mainwindow) {
    tov = std::make_unique<tdebuggertov>(fgb.gb(), this);
    control = std::make_unique<tdebuggercontrol>(*tov);
    form = std::make_unique<tdebugform>(fgb.gb(), control.get());
    form->writefile = writetext;
    breakpoints = std::make_unique<tbreakpointsform>(tov->core);
    accessbreakpoints = std::make_unique<taccessbreakpointsform>(tov->core);
    tov->setoptions(fgb.emulation().debuggeroptions());
}

TFormdebugger::~TFormdebugger() = default;

void TFormdebugger::install() {
    tfrontendhooks& h = fgb.hooks;
    h.menu.push_back({"", "debugger", "", [this] { open(); }, nullptr, nullptr});
    h.menu.push_back({"", "debug mode", "",
                      [this] { tov->toggledebugmode(); }, [this] { return tov->debugmode(); }, nullptr});
    auto previousdraw = h.drawwindows;
    h.drawwindows = [this, previousdraw] {
        if (previousdraw) previousdraw();
        draw();
    };
    h.pauseinput = [this] { open(); };
    viewers = std::make_unique<tviewerwindows>(fgb, *this);
    viewers->install();
    installediting();
    // `StartDebug` stops at the first instruction of the first game the program runs.
    tsessionhooks& sh = fgb.emulation().hooks;
    auto previousloaded = sh.romloaded;
    sh.romloaded = [this, previousloaded] {
        if (previousloaded) previousloaded();
        syncoptions();
        romloadedediting();
        if (!startupdone) {
            startupdone = true;
            tov->startup();
        }
    };
}

void TFormdebugger::open() {
    visible = true;
    growwindow();
    syncoptions();
    if (fgb.isrunning() && !fgb.ispaused() && !tov->stopped()) control->stop();
    else form->stopped("");
}

void TFormdebugger::growwindow() {
    // The debugger's views need room that the game's 2x window does not have: the window
    // grows to five times the picture while the debugger is open and returns afterwards.
    SDL_Window* w = fgb.sdlwindow();
    if (!w || grown || (SDL_GetWindowFlags(w) & (SDL_WINDOW_FULLSCREEN | SDL_WINDOW_MAXIMIZED))) return;
    SDL_GetWindowSize(w, &oldwidth, &oldheight);
    SDL_Rect usable{};
    if (SDL_GetDisplayUsableBounds(SDL_GetWindowDisplayIndex(w), &usable) != 0) return;
    int k = 5;
    while (k > 3 && (k * 160 > usable.w || k * 144 > usable.h - 40)) k--;
    if (oldwidth >= k * 160 && oldheight >= k * 144) return;
    grown = true;
    fitframes = 10;
    covering.reset();
    const tsettings& st = fgb.store().working;
    keptwidth = st.Width;
    keptheight = st.Height;
    int x = 0, y = 0;
    SDL_GetWindowPosition(w, &x, &y);
    const twinrect before{x, y, oldwidth, oldheight};
    const twinrect r = growndebuggerrect(before, {std::max(oldwidth, k * 160), std::max(oldheight, k * 144)}, {usable.x, usable.y, usable.w, usable.h});
    SDL_SetWindowSize(w, r.w, r.h);
    SDL_SetWindowPosition(w, r.x, r.y);
    // Window managers may place it differently: what counts is where it went.
    SDL_GetWindowPosition(w, &x, &y);
    fgb.grownbefore = before;
    fgb.grownplaced = {x, y, r.w, r.h};
}

void TFormdebugger::shrinkwindow() {
    if (!grown) return;
    grown = false;
    if (SDL_Window* w = fgb.sdlwindow(); w && fgb.grownbefore) {
        int x = 0, y = 0;
        SDL_GetWindowPosition(w, &x, &y);
        const twinrect r = restoredwindowrect(*fgb.grownbefore, fgb.grownplaced, x, y);
        SDL_SetWindowSize(w, r.w, r.h);
        SDL_SetWindowPosition(w, r.x, r.y);
    }
    fgb.grownbefore.reset();
}

void TFormdebugger::syncoptions() {
    const tsettings& s = fgb.store().working;
    form->options.DebugLowercase = s.DebugLowercase;
    form->options.DataFollow = s.DataFollow;
    const tdebuggeroptions& o = fgb.emulation().debuggeroptions();
    if (!(o == tov->core.options)) tov->setoptions(o);
}

bool TFormdebugger::takeskey(int vk, uint16_t sdlmods, bool repeat) {
    if (!tov->stopped()) return false;
    // A question of the debugger's own keeps the keyboard (Esc cancels the file dialog rather
    // than running the machine away from it).
    if (box.isopen() || files.isopen() || messageopen) return false;
    // Insert and Delete edit the code view: with another window in front (the cheat list, a
    // breakpoint list, whose Delete deletes its selected lines) they are that window's.
    if ((vk == vk::insert || vk == vk::del) && !windowfocused) return false;
    int mods = 0;
    if (sdlmods & KMOD_CTRL) mods |= keyctrl;
    if (sdlmods & KMOD_SHIFT) mods |= keyshift;
    if (sdlmods & KMOD_ALT) mods |= keyalt;
    // Held keys repeat the movements and the single steps; the other commands act once.
    const bool repeats = vk == vk::up || vk == vk::down || vk == vk::pageup || vk == vk::pagedown ||
                         vk == vk::f7 || vk == vk::f3;
    if (repeat && !repeats) return true;
    visible = true;
    if (vk == 0x74 && mods == 0) {  // F5: mnuvram
        viewers->mnuvram();
        return true;
    }
    const bool used = form->key(vk, mods);
    if (used && vk == vk::f2) breakpoints->rebuild();
    return used;
}

// ---- Run control's host ----

void TFormdebugger::debuggerstopped(const std::string&, int32_t reason) {
    visible = true;
    growwindow();
    fgb.debuggerstop(true);
    syncoptions();
    form->stopped(stopmessage(reason));
    breakpoints->rebuild();
    accessbreakpoints->rebuild();
    viewers->debuggerviewsupdated();
}

void TFormdebugger::refreshviews() {
    form->refresh();
    breakpoints->rebuild();
    viewers->debuggerviewsupdated();
}

void TFormdebugger::processmessages() {
    if (fgb.debuggerpass()) {
        // The program is closing: nothing may hold the machine any more.
        tov->core.clearall();
        tov->run();
    }
}

void TFormdebugger::idle() { SDL_Delay(5); }

void TFormdebugger::debuggerresumed() {
    fgb.inputstate().releaseall(fgb);
    fgb.debuggerstop(false);
    // Run shows the main window again in front: the game, no longer covered, at its own size.
    // Single steps keep the window up.
    if (tov->runningfree()) visible = false;
}

// ---- Drawing ----

void TFormdebugger::draw() {
    // Options applied in the options dialog reach the checks at once.
    syncoptions();
    if (!visible) {
        shrinkwindow();
        return;
    }
    if (SDL_Window* w = fgb.sdlwindow()) {
        // Back from full screen with the debugger open: the window grows again, as on opening
        // (it came back at the game's size with the debugger crammed into it).
        const bool fullscreen = SDL_GetWindowFlags(w) & SDL_WINDOW_FULLSCREEN;
        if (wasfullscreen && !fullscreen) {
            if (grown && fgb.grownbefore) {
                // Full screen was entered from the grown window: back to its size and place.
                SDL_SetWindowSize(w, fgb.grownplaced.w, fgb.grownplaced.h);
                SDL_SetWindowPosition(w, fgb.grownplaced.x, fgb.grownplaced.y);
                fitframes = 10;
            } else {
                growwindow();
            }
        }
        wasfullscreen = fullscreen;
    }
    if (grown) {
        // The game's window size stays the one kept in the settings file.
        tsettings& st = fgb.store().working;
        st.Width = keptwidth;
        st.Height = keptheight;
    }
    if (!tov->stopped() && ++runningframes >= 15) {
        // While the machine runs the views follow it a few times a second.
        runningframes = 0;
        form->refresh();
        viewers->debuggerviewsupdated();
    }
    const std::string title =
        debuggercaption(tov->stopped(), fgb.isrunning() && !fgb.ispaused() && fgb.emulation().romloaded(),
                        form->caption()) + "###debugger";
    // Over the whole main window, following it (grown, full screen, back) until the user moves
    // or resizes it; it came back at the grown window's size in full screen.
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    if (fitframes > 0) {
        fitframes--;
        // The window manager may still move the grown window in its first frames (its frame
        // and title bar): that is where it was placed, not a move of the user's.
        if (SDL_Window* w = fgb.sdlwindow(); w && grown && fgb.grownbefore)
            SDL_GetWindowPosition(w, &fgb.grownplaced.x, &fgb.grownplaced.y);
    }
    // A move by the user happened before Begin (and a resize happens inside it).
    const bool byuser = ImGui::IsMouseDown(ImGuiMouseButton_Left) || ImGui::IsMouseReleased(ImGuiMouseButton_Left);
    if (const ImGuiWindow* w = ImGui::FindWindowByName(title.c_str()); w && !w->Collapsed)
        covering.drawn({int32_t(w->Pos.x), int32_t(w->Pos.y), int32_t(w->SizeFull.x), int32_t(w->SizeFull.y)}, byuser);
    if (const auto r = covering.cover({int32_t(display.x), int32_t(display.y)}, {640, 480})) {
        ImGui::SetNextWindowPos(ImVec2(float(r->x), float(r->y)));
        ImGui::SetNextWindowSize(ImVec2(float(r->w), float(r->h)));
    }
    // Opaque: the game's picture stretched behind it made the views hard to read.
    ImGui::SetNextWindowBgAlpha(1.0f);
    // Behind the viewers, cheat and breakpoint windows, as the desktop they lie on: a click on
    // the debugger (its menus too) hid every viewer behind it, the window filling the screen.
    const bool open =
        ImGui::Begin(title.c_str(), &visible, ImGuiWindowFlags_MenuBar | ImGuiWindowFlags_NoBringToFrontOnFocus);
    if (ImGui::IsWindowAppearing()) ImGui::BringWindowToDisplayBack(ImGui::GetCurrentWindow());
    windowfocused = open && ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows);
    if (open) {
        const ImVec2 p = ImGui::GetWindowPos(), z = ImGui::GetWindowSize();
        covering.drawn({int32_t(p.x), int32_t(p.y), int32_t(z.x), int32_t(z.y)}, byuser);
    }
    {
        // The title and menu bar (the title alone while folded), which the viewers and the
        // cheat windows keep clear of: over them they would hide the menus, full screen too.
        const ImGuiWindow* w = ImGui::GetCurrentWindow();
        const ImRect r = open ? w->MenuBarRect() : w->TitleBarRect();
        band = {int32_t(w->Pos.x), int32_t(w->Pos.y), int32_t(w->SizeFull.x), int32_t(r.Max.y - w->Pos.y)};
    }
    // Closing the window lets the machine go on, rather than leaving it held out of sight.
    if (!visible && tov->stopped()) control->run();
    if (!open) {
        ImGui::End();
        drawrequests();
        return;
    }
    drawmenu();
    // `DebugFontSize` is in points (96 dots per inch) over ImGui's 13-pixel font, and
    // `DebugFontDense` the pixels between lines. The font face (`DebugFont`) stays ImGui's
    // own monospaced one: font files are not named like the settings' face names.
    const tsettings& fontopts = fgb.store().working;
    const float points = float(std::clamp(fontopts.DebugFontSize, 6, 32));
    ImGui::SetWindowFontScale(points * 96.0f / 72.0f / 13.0f);
    ImGui::PushStyleVar(ImGuiStyleVar_ItemSpacing,
                        ImVec2(ImGui::GetStyle().ItemSpacing.x, float(std::clamp(fontopts.DebugFontDense, 0, 16))));
    const float line = ImGui::GetTextLineHeightWithSpacing();
    const ImVec2 avail = ImGui::GetContentRegionAvail();
    const float right = 250.0f;  // registers and stack: the code view keeps its comment columns
    const float metercolumn = 20.0f;  // the processor-load meter beside the code view
    const float memoryheight = line * 9;
    const float upper = std::max(line * 10, avail.y - memoryheight - line * 2);

    ImGui::BeginGroup();
    drawview(tdebugview::code, "code", avail.x - right - 8 - metercolumn, upper);
    ImGui::EndGroup();
    ImGui::SameLine();
    drawcpumeter(upper);
    ImGui::SameLine();
    ImGui::BeginGroup();
    drawregisters();
    drawbanks();
    const float used = line * 14;
    if (fgb.store().working.DebugScreen && fgb.picturetex()) {
        ImGui::Image(reinterpret_cast<ImTextureID>(static_cast<intptr_t>(fgb.picturetex())), ImVec2(160, 144));
    }
    drawview(tdebugview::stack, "stack", right, std::max(line * 4, upper - used -
                                                   (fgb.store().working.DebugScreen ? 150.0f : 0.0f)));
    ImGui::EndGroup();
    drawview(tdebugview::memory, "memory", avail.x, memoryheight);
    ImGui::TextUnformatted(form->status().empty() ? " " : form->status().c_str());
    ImGui::PopStyleVar();
    ImGui::End();

    drawbreakpoints();
    drawaccessbreakpoints();
    drawrequests();
}

void TFormdebugger::drawmenu() {
    if (!ImGui::BeginMenuBar()) return;
    const bool stopped = tov->stopped();
    if (ImGui::BeginMenu("run")) {
        if (ImGui::MenuItem("trace", "F7", false, stopped)) control->trace();
        if (ImGui::MenuItem("step over", "F3", false, stopped)) control->stepover();
        if (ImGui::MenuItem("step out", "F8", false, stopped)) control->stepout();
        if (ImGui::MenuItem("run to cursor", "F4", false, stopped))
            control->runtocursor(form->code.cursoraddress(), form->code.cursorbank());
        if (ImGui::MenuItem("toggle breakpoint", "F2", false, stopped)) {
            control->togglebreakpoint(form->code.cursoraddress(), form->code.cursorbank());
            breakpoints->rebuild();
        }
        if (ImGui::MenuItem("run", "F9", false, stopped)) control->run();
        if (ImGui::MenuItem("animate", "Alt+A", false, stopped)) control->animate();
        if (ImGui::MenuItem("jump (SP); SP=SP+2", nullptr, false, stopped)) {
            control->jumpreturn();
            form->stopped("");
        }
        if (ImGui::MenuItem("reset", "num *", false, stopped)) {
            control->reset();
            form->stopped("");
        }
        if (ImGui::MenuItem("stop", nullptr, false, !stopped)) control->stop();
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("breakpoints")) {
        if (ImGui::MenuItem("breakpoints", nullptr, showbreakpoints)) {
            showbreakpoints = !showbreakpoints;
            breakpoints->rebuild();
        }
        if (ImGui::MenuItem("access breakpoints", nullptr, showaccess)) {
            showaccess = !showaccess;
            accessbreakpoints->rebuild();
        }
        ImGui::EndMenu();
    }
    if (ImGui::BeginMenu("search")) {
        if (ImGui::MenuItem("go to", "Ctrl+G")) form->askgoto();
        if (ImGui::MenuItem("search", "Ctrl+S")) form->asksearch();
        if (ImGui::MenuItem("continue search", "Ctrl+C")) form->continuesearch();
        if (ImGui::MenuItem("evaluate", "Ctrl+E")) form->askevaluate();
        ImGui::EndMenu();
    }
    viewers->drawdebuggermenu();
    if (ImGui::BeginMenu("file")) {
        if (ImGui::MenuItem("save as text")) form->asksaveasm();
        if (ImGui::MenuItem("header checksum fix")) form->checksumfix();
        ImGui::EndMenu();
    }
    draweditmenu();
    ImGui::EndMenuBar();
}

void TFormdebugger::drawview(tdebugview v, const char* id, float width, float height) {
    tscroller& s = form->view(v);
    const tsettings& set = fgb.store().working;
    ImGui::PushStyleColor(ImGuiCol_ChildBg, colourof(set.DebugBgColor));
    ImGui::PushStyleColor(ImGuiCol_Text, colourof(set.DebugTextColor));
    // A slider at the right edge stands for the scroll bar over the view's many lines.
    const float bar = s.linecount() > 64 ? 14.0f : 0.0f;
    ImGui::BeginChild(id, ImVec2(width - bar, height), true, ImGuiWindowFlags_NoScrollbar);
    const float line = ImGui::GetTextLineHeight();
    const int visible = std::max(1, int(ImGui::GetContentRegionAvail().y / line));
    s.setvisiblelines(visible);
    if (ImGui::IsWindowHovered()) {
        const float wheel = ImGui::GetIO().MouseWheel;
        if (wheel != 0) s.scrollto(s.topline() - int(wheel * 3));
    }
    ImDrawList* draw = ImGui::GetWindowDrawList();
    const bool focused = form->focus == v;
    const int top = s.topline();
    for (int n = top; n < top + visible && n < s.linecount(); n++) {
        const tlinemarks m = s.marks(n);
        const std::string text = displaytext(s.getstring(n));
        const ImVec2 p = ImGui::GetCursorScreenPos();
        const float w = ImGui::GetContentRegionAvail().x;
        // Current line (PC, or SP in the stack view), breakpoint line, cursor line.
        const bool highlighted = m.pc || m.breakpoint;
        if (m.breakpoint) draw->AddRectFilled(p, ImVec2(p.x + w, p.y + line), colourof(set.DebugBrkColor));
        if (m.pc) draw->AddRectFilled(p, ImVec2(p.x + (m.breakpoint ? 10 : w), p.y + line), colourof(set.DebugCurrentColor));
        if (m.pc && m.breakpoint) draw->AddRectFilled(ImVec2(p.x + 10, p.y), ImVec2(p.x + w, p.y + line), colourof(set.DebugBrkColor));
        if (n == s.cursorline()) {
            if (!highlighted) draw->AddRectFilled(p, ImVec2(p.x + w, p.y + line), colourof(set.DebugHilightColor));
            draw->AddRect(p, ImVec2(p.x + w, p.y + line), focused ? colourof(set.DebugTextColor) : colourof(set.DebugHilightColor));
        }
        char marks[4] = "  ";
        if (m.bookmark >= 0) marks[0] = char('0' + m.bookmark);
        ImGui::PushID(n);
        if (ImGui::Selectable("##line", false, 0, ImVec2(w, line))) form->click(v, n);
        if (v == tdebugview::code && ImGui::IsItemClicked(ImGuiMouseButton_Right)) form->click(v, n);
        // A double click on a code line toggles its breakpoint, as F2 does.
        if (v == tdebugview::code && ImGui::IsItemHovered() && ImGui::IsMouseDoubleClicked(0) && tov->stopped()) {
            control->togglebreakpoint(form->code.cursoraddress(), form->code.cursorbank());
            breakpoints->rebuild();
        }
        ImGui::SameLine(0, 0);
        ImGui::SetCursorScreenPos(ImVec2(p.x + 2, p.y));
        if (highlighted || n == s.cursorline()) ImGui::PushStyleColor(ImGuiCol_Text, colourof(set.DebugHLTextColor));
        ImGui::Text("%s%s", v == tdebugview::code ? marks : "", text.c_str());
        if (highlighted || n == s.cursorline()) ImGui::PopStyleColor();
        ImGui::PopID();
    }
    const bool codemenu = v == tdebugview::code && ImGui::IsWindowHovered() && ImGui::IsMouseReleased(ImGuiMouseButton_Right);
    ImGui::EndChild();
    ImGui::PopStyleColor(2);
    if (v == tdebugview::code) drawcodepopup(codemenu);
    if (bar > 0) {
        ImGui::SameLine(0, 0);
        // Top of the slider is the first line.
        const int last = std::max(0, s.linecount() - s.visiblelines());
        int pos = last - s.topline();
        ImGui::PushID(id);
        if (ImGui::VSliderInt("##scroll", ImVec2(bar, height), &pos, 0, last, ""))
            s.scrollto(last - pos);
        ImGui::PopID();
    }
}

void TFormdebugger::drawregisters() {
    tscroller& regs = form->registers;
    ImGui::BeginChild("registers", ImVec2(250, ImGui::GetTextLineHeightWithSpacing() * 10.5f), true, ImGuiWindowFlags_NoScrollbar);
    for (int n = 0; n < 8; n++) {
        ImGui::PushID(n);
        const std::string text = regs.getstring(n);
        if (ImGui::Selectable(text.c_str(), form->focus == tdebugview::registers && regs.cursorline() == n))
            form->click(tdebugview::registers, n);
        ImGui::PopID();
    }
    // The flags of F as check boxes; a new AF shows in them at once.
    tgbinspect inspect(fgb.gb());
    tcpuregisters r = inspect.cpuregisters();
    const char* names[4] = {"Z", "N", "H", "C"};
    bool changed = false;
    for (int i = 0; i < 4; i++) {
        bool on = r.af & (0x80 >> i);
        if (i) ImGui::SameLine();
        if (ImGui::Checkbox(names[i], &on) && tov->stopped()) {
            r.af = uint16_t(on ? r.af | (0x80 >> i) : r.af & ~(0x80 >> i));
            changed = true;
        }
    }
    if (changed) inspect.setcpuregisters(r);
    ImGui::EndChild();
}

void TFormdebugger::drawbanks() {
    tviewbanks& b = form->banks;
    tviewbanks before = b;
    // Room for three digits besides the - and + buttons at every debugger font size (a fixed
    // 64 pixels left the bank number cut to one digit).
    const ImGuiStyle& st = ImGui::GetStyle();
    ImGui::PushItemWidth(ImGui::CalcTextSize("000").x + st.FramePadding.x * 2 +
                         (ImGui::GetFrameHeight() + st.ItemInnerSpacing.x) * 2);
    // Hexadecimal without leading zeros (InputInt's hexadecimal shows eight digits).
    const int one = 1;
    ImGui::InputScalar("rom", ImGuiDataType_S32, &b.rom, &one, &one, "%X", ImGuiInputTextFlags_CharsHexadecimal);
    ImGui::SameLine();
    ImGui::InputInt("vram", &b.vram, 1, 1);
    ImGui::InputInt("wram", &b.wram, 1, 1);
    ImGui::SameLine();
    ImGui::InputInt("sram", &b.ram, 1, 1);
    ImGui::PopItemWidth();
    ImGui::Checkbox("cartridge RAM view", &b.cartram);
    b.rom = std::clamp(b.rom, 0, 0x1FF);
    b.vram = std::clamp(b.vram, 0, 1);
    b.wram = std::clamp(b.wram, 0, 7);
    b.ram = std::clamp(b.ram, 0, 15);
    if (b.rom != before.rom || b.vram != before.vram || b.wram != before.wram || b.ram != before.ram ||
        b.cartram != before.cartram)
        form->refresh();
}

void TFormdebugger::drawrequests() {
    // A question that follows another waits two frames, so that its box appears afresh (with
    // the keyboard in its field) even when it has the same title.
    if (quietframes > 0) quietframes--;
    if (!box.isopen() && !files.isopen() && !messageopen && quietframes == 0 &&
        form->request().kind != tdebugrequest::none) {
        current = form->takerequest();
        switch (current.kind) {
        case tdebugrequest::text: box.open(current.title, current.prompt, current.value); break;
        case tdebugrequest::savefile:
        case tdebugrequest::openfile: {
            // The dialog starts in the request's folder, else beside the name offered.
            std::string folder = current.folder;
            const size_t slash = current.value.find_last_of('/');
            if (folder.empty() && slash != std::string::npos) folder = current.value.substr(0, slash);
            files.open(current.title, current.prompt, folder, current.kind == tdebugrequest::savefile,
                       current.defaultext);
            break;
        }

        case tdebugrequest::message:
            messagetitle = current.title;
            messagetext = current.prompt;
            messageopen = true;
            ImGui::OpenPopup("###debuggermessage");
            break;
        default: break;
        }
    }
    if (box.isopen()) {
        const tinputbox::tresult r = box.draw();
        if (r != tinputbox::none) quietframes = 2;
        if (r == tinputbox::ok && current.answer) current.answer(box.value());
    }
    if (files.isopen()) {
        const tfiledialog::tresult r = files.draw();
        if (r != tfiledialog::none) quietframes = 2;
        if (r == tfiledialog::chosen && current.answer) current.answer(files.path());
    }
    if (messageopen) {
        // The box's title is the message's ("result", "invalid expression", "error").
        if (!ImGui::IsPopupOpen("###debuggermessage")) ImGui::OpenPopup("###debuggermessage");
        const std::string id = messagetitle + "###debuggermessage";
        if (ImGui::BeginPopupModal(id.c_str(), nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
            ImGui::TextUnformatted(messagetext.c_str());
            ImGui::Dummy(ImVec2(std::max(200.0f, ImGui::CalcTextSize(messagetitle.c_str()).x + 40), 0));
            if (ImGui::Button("OK") || ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Enter))) {
                messageopen = false;
                ImGui::CloseCurrentPopup();
            }
            ImGui::EndPopup();
        }
    }
}

namespace {

// What both breakpoint windows share: the window, its list with selection (Ctrl adds to it,
// Delete removes) and the command buttons; `fields` draws the window's own input fields
// between the list and the buttons.
template <class F, class D>
void drawbreakpointlist(const char* title, bool& open, F& f, ttoolwindowfit& fit, twinrect keepout, D fields) {
    if (!open) return;
    ImGui::SetNextWindowPos(ImVec2(60, 60), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowSize(ImVec2(460, 320), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowBgAlpha(1.0f);  // readable over the code view
    if (!ImGui::Begin(title, &open)) {
        ImGui::End();
        return;
    }
    keepwindowinside(fit, keepout);
    ImGui::BeginChild("list", ImVec2(0, -ImGui::GetFrameHeightWithSpacing() * 4), true);
    for (int i = 0; i < f.count(); i++) {
        ImGui::PushID(i);
        if (ImGui::Selectable(f.text(i).c_str(), f.selected[size_t(i)])) {
            if (!ImGui::GetIO().KeyCtrl) f.selected.assign(f.selected.size(), false);
            f.selected[size_t(i)] = !f.selected[size_t(i)];
            f.clickitem(i);
        }
        ImGui::PopID();
    }
    if (ImGui::IsWindowFocused() && ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Delete))) f.deleteselected();
    ImGui::EndChild();
    fields();
    if (ImGui::Button("add")) f.add();
    ImGui::SameLine();
    if (ImGui::Button("replace")) f.replace();
    ImGui::SameLine();
    if (ImGui::Button("delete")) f.deleteselected();
    ImGui::SameLine();
    if (ImGui::Button("enable")) f.enableselected();
    ImGui::SameLine();
    if (ImGui::Button("disable")) f.disableselected();
    ImGui::End();
}

}  // namespace

void TFormdebugger::drawbreakpoints() {
    tbreakpointsform& f = *breakpoints;
    drawbreakpointlist("breakpoints", showbreakpoints, f, breakpointsfit, menuband(), [&] {
        inputfield("PC (bank:address, empty: any)", f.Editpc, 120);
        inputfield("condition (A>=$10, (HL)=3F...)", f.Editcondition, 120);
    });
}

void TFormdebugger::drawaccessbreakpoints() {
    taccessbreakpointsform& f = *accessbreakpoints;
    drawbreakpointlist("access breakpoints", showaccess, f, accessfit, menuband(), [&] {
        inputfield("address (first-last)", f.Editaddr, 120);
        ImGui::SameLine();
        inputfield("value", f.Editvalue, 40);
        ImGui::Checkbox("on read", &f.Checkonread);
        ImGui::SameLine();
        ImGui::Checkbox("on write", &f.Checkonwrite);
    });
}

void TFormdebugger::showpartialframe() { fgb.showpartialframe(); }

// The processor-load meter `tcpumetercontrol`, a bar beside the code view.
void TFormdebugger::drawcpumeter(float height) { viewers->cpumeter().draw(12.0f, height); }

}  // namespace tov
