#include "frontend/gui/optionsform.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>

#include "frontend/gui/mainwindow.h"
#include "platform/sdlkeys.h"
#include "platform/system.h"
#include "sound/gbsoundtov.h"
#include "video/gbcolors.h"

namespace tov {

namespace {

const char* groupnames[] = {"all", "BG", "WIN", "OBP0", "OBP1"};

ImVec4 tocolor(uint32_t bgr) {
    return ImVec4(float(bgr & 0xFF) / 255.0f, float((bgr >> 8) & 0xFF) / 255.0f, float((bgr >> 16) & 0xFF) / 255.0f,
                  1.0f);
}

uint32_t fromcolor(const float* c) {
    auto ch = [](float v) { return uint32_t(std::clamp(int(v * 255.0f + 0.5f), 0, 255)); };
    return ch(c[0]) | (ch(c[1]) << 8) | (ch(c[2]) << 16);
}

// The keyboard as the configuration sequence sees it: every key held right now.
std::array<bool, 256> keyboardnow() {
    std::array<bool, 256> keys{};
    int count = 0;
    const Uint8* state = SDL_GetKeyboardState(&count);
    for (int sc = 0; sc < count; sc++) {
        if (!state[sc]) continue;
        int vk = sdlkeytovk(SDL_GetKeyFromScancode(SDL_Scancode(sc)), SDL_Scancode(sc));
        if (vk >= 0 && vk < 256) keys[size_t(vk)] = true;
    }
    return keys;
}

}  // namespace

void TFormcontrol::show() {
    owner.store().reloadstored();
    dialog.fill(owner.store().stored);
    fillpresetschemes(dialog.values.colorschemes);
    shown = true;
    focus = true;
}

void TFormcontrol::apply() {
    dialog.apply(owner.store().stored);
    owner.applysettings();
}

void TFormcontrol::check(const char* key, const char* label) {
    const toptionentry* e = findoption(key);
    if (!e || !e->boolfield) return;
    ImGui::Checkbox(label, &(dialog.values.*(e->boolfield)));
}

void TFormcontrol::intedit(const char* key, const char* label, int lo, int hi) {
    const toptionentry* e = findoption(key);
    if (!e || !e->intfield) return;
    int32_t& v = dialog.values.*(e->intfield);
    ImGui::SetNextItemWidth(120);
    if (ImGui::InputInt(label, &v)) v = std::clamp(v, lo, hi);
}

void TFormcontrol::textedit(const char* key, const char* label) {
    const toptionentry* e = findoption(key);
    if (!e || !e->stringfield) return;
    std::string& v = dialog.values.*(e->stringfield);
    char buf[maxsettingstring + 1];
    std::snprintf(buf, sizeof buf, "%s", v.c_str());
    ImGui::SetNextItemWidth(260);
    if (ImGui::InputText(label, buf, sizeof buf)) v = buf;
}

void TFormcontrol::radio(const char* key, const char* label,
                         std::initializer_list<std::pair<int, const char*>> choices) {
    const toptionentry* e = findoption(key);
    if (!e || !e->intfield) return;
    int32_t& v = dialog.values.*(e->intfield);
    ImGui::TextUnformatted(label);
    ImGui::Indent();
    for (const auto& [tag, text] : choices) {
        std::string id = std::string(text) + "##" + key + std::to_string(tag);
        if (ImGui::RadioButton(id.c_str(), v == tag)) v = tag;
    }
    ImGui::Unindent();
}

void TFormcontrol::draw() {
    if (!shown) return;
    ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowSize(ImVec2(std::min(520.0f, io.DisplaySize.x), std::min(460.0f, io.DisplaySize.y)),
                             ImGuiCond_Appearing);
    ImGui::SetNextWindowPos(ImVec2(0, 0), ImGuiCond_Appearing);
    if (focus) {
        ImGui::SetNextWindowFocus();
        focus = false;
    }
    if (!ImGui::Begin("options", &shown)) {
        ImGui::End();
        return;
    }
    float footer = ImGui::GetFrameHeightWithSpacing() + 4;
    if (ImGui::BeginChild("pages", ImVec2(0, -footer))) {
        if (ImGui::BeginTabBar("tabs")) {
            if (ImGui::BeginTabItem("sound")) {
                tabsound();
                ImGui::EndTabItem();
            }
            if (ImGui::BeginTabItem("colors")) {
                Tabcolors();
                ImGui::EndTabItem();
            }
            if (ImGui::BeginTabItem("joypad")) {
                Tabjoypad();
                ImGui::EndTabItem();
            }
            if (ImGui::BeginTabItem("misc")) {
                Tabmisc();
                ImGui::EndTabItem();
            }
            if (ImGui::BeginTabItem("gfx")) {
                Tabgfx();
                ImGui::EndTabItem();
            }
            if (ImGui::BeginTabItem("system")) {
                Tabsystem();
                ImGui::EndTabItem();
            }
            ImGui::EndTabBar();
        }
    }
    ImGui::EndChild();
    if (ImGui::Button("OK")) {
        apply();
        shown = false;
    }
    ImGui::SameLine();
    if (ImGui::Button("Cancel")) shown = false;
    ImGui::SameLine();
    if (ImGui::Button("Apply")) apply();
    ImGui::SameLine();
    if (ImGui::Button("default") &&
        messagebox(owner.sdlwindow(), "Go back to default options, Are you sure?", "default", tmsgbuttons::yesno) ==
            tmsgresult::yes)
        dialog.defaults();
    joyconfigpopup();
    ImGui::End();
}

void TFormcontrol::tabsound() {
    check("WaveOut", "sound output");
    check("WavFileOut", "write sound to WAV file");
    textedit("WavFilename", "WAV file");
    ImGui::TextUnformatted("sample rate");
    for (int i = 0; i < int(samplerates.size()); i++) {
        if (i % 3) ImGui::SameLine();
        std::string label = std::to_string(samplerates[size_t(i)]) + "##rate";
        if (ImGui::RadioButton(label.c_str(), dialog.samplerate == i)) dialog.samplerate = i;
    }
    check("8Bits", "8 bits per sample");
    ImGui::SetNextItemWidth(200);
    ImGui::SliderInt("##trackvolume", &dialog.values.Volume, 0, 100, "");
    ImGui::SameLine();
    ImGui::Text("volume %s", volumelabeltext(dialog.values.Volume).c_str());
    intedit("SoundBufSize", "buffer divisor (latency)", 1, 1000);
    check("SQWave", "simple square waves");
    check("Pitch", "pitch follows emulation speed");
    check("DSound", "preferred sound device");
    check("DSoundWarning", "warn when the preferred device fails");
}

void TFormcontrol::Tabcolors() {
    tsettings& v = dialog.values;
    ImGui::SetNextItemWidth(120);
    ImGui::Combo("groups", &dialog.colorgroup, groupnames, 5);
    ImGui::SameLine();
    ImGui::SetNextItemWidth(90);
    ImGui::Combo("edit", &editgroup, groupnames + 1, 4);
    for (int shade = 0; shade < 4; shade++) {
        int index = editgroup * 4 + shade;
        ImVec4 c = tocolor(v.colors[size_t(index)]);
        float f[3] = {c.x, c.y, c.z};
        std::string label = "shade " + std::to_string(shade);
        if (ImGui::ColorEdit3(label.c_str(), f, ImGuiColorEditFlags_NoInputs)) {
            uint32_t value = fromcolor(f);
            // The selected groups all take the edited shade.
            for (int g = 0; g < 4; g++)
                if (dialog.colorgroup == 0 || dialog.colorgroup == g + 1 || g == editgroup)
                    v.colors[size_t(g * 4 + shade)] = value;
        }
        if (shade < 3) ImGui::SameLine();
    }
    if (ImGui::Button("interpolate")) interpolateshades(v.colors, editgroup, dialog.colorgroup);

    std::vector<std::string> names;
    for (const auto& text : v.colorschemes) names.push_back(parsecolorscheme(text).name);
    scheme = std::clamp(scheme, 0, std::max(0, int(names.size()) - 1));
    ImGui::SetNextItemWidth(200);
    if (ImGui::BeginCombo("scheme", names.empty() ? "" : names[size_t(scheme)].c_str())) {
        for (int i = 0; i < int(names.size()); i++) {
            std::string label = names[size_t(i)] + "##scheme" + std::to_string(i);
            if (ImGui::Selectable(label.c_str(), i == scheme)) {
                scheme = i;
                tcolorscheme sc = parsecolorscheme(v.colorschemes[size_t(i)]);
                if (sc.valid) choosecolorscheme(v.colors, sc.colors, dialog.colorgroup);
            }
        }
        ImGui::EndCombo();
    }
    ImGui::SameLine();
    if (ImGui::Button("add")) namebox.open("name", "enter name of color scheme");
    ImGui::SameLine();
    if (ImGui::Button("delete") && scheme < int(v.colorschemes.size()))
        v.colorschemes.erase(v.colorschemes.begin() + scheme);
    if (namebox.draw() == tinputbox::ok && !namebox.value().empty())
        addcolorscheme(v.colorschemes, v.colors, namebox.value());
    ImGui::Separator();
    ImGui::SetNextItemWidth(200);
    ImGui::SliderInt("gamma", &dialog.gamma, 1, gammatrackmax, "");
    ImGui::SameLine();
    ImGui::Text("%.1f", gammafromtrack(dialog.gamma));
    ImGui::SetNextItemWidth(200);
    ImGui::SliderInt("saturation", &dialog.saturation, 0, saturationtrackmax, "");
    ImGui::SameLine();
    ImGui::Text("%.2f", saturationfromtrack(dialog.saturation));
    check("LCDcolors", "LCD-like GBC colours");
    ImVec4 wp = tocolor(uint32_t(v.ColorWhitepoint));
    float f[3] = {wp.x, wp.y, wp.z};
    if (ImGui::ColorEdit3("white point", f, ImGuiColorEditFlags_NoInputs)) v.ColorWhitepoint = int32_t(fromcolor(f));
    textedit("ReflectorColor", "LCD-off colour (hex BBGGRR)");
}

void TFormcontrol::Tabjoypad() {
    tsettings& v = dialog.values;
    const char* players[] = {"joypad 0", "joypad 1", "joypad 2", "joypad 3"};
    ImGui::SetNextItemWidth(120);
    ImGui::Combo("##Combojoynum", &dialog.player, players, 4);
    int p = std::clamp(dialog.player, 0, playercount - 1);
    ImGui::SameLine();
    ImGui::SetNextItemWidth(100);
    int number = v.joysticknum[size_t(p)];
    if (ImGui::InputInt("joystick number", &number)) v.joysticknum[size_t(p)] = std::clamp(number, 0, 16);
    ImGui::SameLine();
    if (ImGui::Button("configure")) {
        sequence.setinitial(v.keys[size_t(p)], v.joybuttons[size_t(p)]);
        sequence.start(p);
        sequencerunning = true;
        // Opened where the pop-up is drawn: inside the tab page the ID would differ.
        openjoyconfig = true;
    }
    if (ImGui::BeginTable("map", 3, ImGuiTableFlags_Borders | ImGuiTableFlags_ScrollY, ImVec2(0, 220))) {
        ImGui::TableSetupColumn("function");
        ImGui::TableSetupColumn("key");
        ImGui::TableSetupColumn("joystick");
        ImGui::TableHeadersRow();
        for (int f = 0; f < inputfunctioncount; f++) {
            ImGui::TableNextRow();
            ImGui::TableNextColumn();
            ImGui::TextUnformatted(inputfunctionname(f));
            ImGui::TableNextColumn();
            uint8_t key = v.keys[size_t(p)][size_t(f)];
            ImGui::TextUnformatted(key == unassigned ? "-" : keyname(key).c_str());
            ImGui::SameLine();
            std::string clear = "x##k" + std::to_string(f);
            if (key != unassigned && ImGui::SmallButton(clear.c_str())) v.keys[size_t(p)][size_t(f)] = unassigned;
            ImGui::TableNextColumn();
            uint8_t joy = v.joybuttons[size_t(p)][size_t(f)];
            std::string name = joy == unassigned ? "-" : joyinputname(joy);
            if (joy != unassigned && name.empty()) name = "input " + std::to_string(joy);
            ImGui::TextUnformatted(name.c_str());
            ImGui::SameLine();
            std::string clearj = "x##j" + std::to_string(f);
            if (joy != unassigned && ImGui::SmallButton(clearj.c_str())) v.joybuttons[size_t(p)][size_t(f)] = unassigned;
        }
        ImGui::EndTable();
    }
    check("JoyFocus", "joystick only while the window has the focus");
    check("JoyOpposite", "allow opposite directions");
    check("RemoteJoy", "link: remote joypad");
    intedit("MBC7Joystick", "tilt sensor: 0 mouse, n joystick n", 0, 16);
}

void TFormcontrol::joyconfigpopup() {
    if (openjoyconfig) {
        ImGui::OpenPopup("joypad configuration###TFormjoyconfig");
        openjoyconfig = false;
    }
    if (!ImGui::BeginPopupModal("joypad configuration###TFormjoyconfig", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) return;
    tsettings& v = dialog.values;
    int p = sequence.player();
    sequence.update(keyboardnow(), owner.joystickstate(v.joysticknum[size_t(p)]));
    ImGui::TextUnformatted(sequence.prompt().c_str());
    if (ImGui::Button("skip")) sequence.skip();
    ImGui::SameLine();
    if (ImGui::Button("cancel")) sequence.cancel();
    if (sequence.phase() == tjoyconfigsequence::finished) {
        if (!sequence.cancelled()) {
            v.keys[size_t(p)] = sequence.keycodes();
            v.joybuttons[size_t(p)] = sequence.joycodes();
        }
        sequencerunning = false;
        // The keys pressed for the dialog must not reach the game.
        owner.inputstate().clearkeys();
        ImGui::CloseCurrentPopup();
    }
    ImGui::EndPopup();
}

void TFormcontrol::Tabmisc() {
    check("PauseOnDefocus", "pause while the window is inactive");
    check("StayOnTop", "stay on top");
    check("FrameRate", "show the frame rate");
    check("StartOpen", "open dialog at start");
    check("LoadRomWarnings", "warn about ROM problems");
    check("CheatAutoSave", "save and load cheats with the ROM");
    check("StateAutoConvert", "convert older save states");
    check("BOpendialog", "own file dialog");
    check("RecordMovie", "record every frame as a screenshot");
    check("RecordHalfSpeed", "record every second frame only");
    textedit("SaveRamDir", "battery/state folder");
    textedit("RomDir", "ROM folder");
    textedit("LinkListenAddr", "link: listen on");
    textedit("LinkConnectAddr", "link: connect to");
}

void TFormcontrol::Tabgfx() {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s", dialog.speed.c_str());
    ImGui::SetNextItemWidth(120);
    if (ImGui::InputText("frames per second (0 = normal)##editspeed", buf, sizeof buf)) dialog.speed = buf;
    intedit("MaxSkip", "most frames skipped in a row", 0, 100);
    check("Sleep", "sleep while waiting");
    check("MMTimer", "predicted vertical blank");
    radio("VSync", "vertical sync", {{0, "off"}, {1, "1"}, {2, "2"}, {3, "3"}, {4, "wait in blank steps"}});
    radio("Border", "border",
          {{0, "none"}, {1, "SGB border"}, {2, "SGB border or bitmap"}, {3, "always the bitmap"}});
    textedit("Background", "border bitmap");
    textedit("BackgroundGBC", "border bitmap for GBC games");
    check("BootImage", "start-up picture");
    check("NoWindow", "window without frame");
    check("nullgfx", "no picture output");
    radio("FullscreenMode", "Alt+Enter enters", {{0, "full screen"}, {1, "full screen stretched"}});
    check("DDraw", "hardware picture output");
    check("DDrawBB", "back buffer in system memory");
    check("DDrawWarning", "warn when the hardware output fails");
    check("DDrawFS", "exclusive full screen");
    radio("bpp", "colour depth", {{0, "automatic"}, {1, "8 bits"}, {2, "16 bits"}, {3, "24 bits"}, {4, "32 bits"}});
    intedit("DDrawFSWidth", "full-screen width", 160, 16384);
    intedit("DDrawFSHeight", "full-screen height", 144, 16384);
    intedit("DDrawFSHz", "full-screen refresh (0 default)", 0, 1000);
    radio("Blend", "frame blending", {{0, "off"}, {1, "mix with previous frame"}, {2, "interlaced"}});
    intedit("Interpolation", "interpolation", 0, 10);
}

void TFormcontrol::Tabsystem() {
    radio("SystemMode", "hardware",
          {{0, "Game Boy"}, {1, "Game Boy Color"}, {2, "Super Game Boy"}, {3, "automatic, GBC preferred"},
           {4, "automatic, SGB preferred"}, {5, "SGB + GBC"}, {6, "GBC with the SGB border"}});
    check("DetectGBP", "identify as Game Boy Pocket / SGB2");
    check("DetectGBA", "identify a GBC as a GBA");
    check("fastSGB", "fast SGB start-up");
    check("SGBnocolors", "ignore SGB colours");
    check("SpriteLimit", "10 sprites per line");
    check("EmulateHaltBug", "HALT bug");
    check("EmulateInaccVRAM", "VRAM inaccessible while drawn");
    check("EmulateSramD", "disabled cartridge RAM");
    check("GBCpalPD", "GBC start palettes");
    radio("CartMode", "cartridges", {{0, "best accuracy"}, {1, "best compatibility"}});
    radio("UninitedWRAM", "work RAM at start", {{0, "close to reality"}, {1, "fill value"}, {2, "random"}});
    textedit("WRAMinitvalue", "fill value (hex)");
    textedit("DmgBootRom", "DMG boot ROM");
    if (ImGui::CollapsingHeader("debugger")) {
        check("StartDebug", "stop at the first instruction");
        check("DebugEsc", "pause input opens the debugger");
        check("DebugEcho", "stop on echo RAM");
        check("DebugHaltBugBreak", "stop on the HALT bug");
        check("DebugSgbStartBreak", "stop at SGB transfers");
        check("DebugVRAMbreak", "stop on inaccessible VRAM");
        check("DebugDisableLCD", "stop when the LCD is switched off outside VBlank");
        check("DebugSramBreak", "stop on disabled cartridge RAM");
        check("DebugMBCaddr", "stop on odd cartridge register writes");
        check("DebugSrcBrk", "ld b,b is a breakpoint");
        check("DebugWRAMbreak", "stop on never-written RAM");
        check("DebugInc16OAMBreak", "stop on 16-bit inc/dec into OAM");
        check("DebugScreen", "picture inside the debugger");
        check("DebugLowercase", "lower-case disassembly");
        check("CpuMeter", "processor-load meter");
        check("RegClick", "I/O map check boxes write");
        intedit("DataFollow", "memory view follows (0-5)", 0, 5);
        textedit("DebugFont", "font");
        intedit("DebugFontSize", "font size", 4, 72);
        intedit("DebugFontDense", "line spacing", 0, 20);
    }
}

}  // namespace tov
