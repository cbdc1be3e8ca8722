// The I/O map window `TFormiomap`.
#include <imgui.h>

#include <cstdio>

#include "frontend/gui/mainwindow.h"
#include "frontend/gui/fitwindow.h"
#include "frontend/gui/viewerwindows.h"

namespace tov {

namespace {

void field(const char* id, const std::string& value, float width) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%s", value.c_str());
    ImGui::SetNextItemWidth(width);
    ImGui::InputText(id, buf, sizeof buf, ImGuiInputTextFlags_ReadOnly);
}

// A check box showing `state`; true with the box's new state in `clicked` when clicked.
bool clickbox(const char* label, bool state, bool& clicked) {
    bool b = state;
    if (!ImGui::Checkbox(label, &b)) return false;
    clicked = b;
    return true;
}

}  // namespace

TFormiomap::TFormiomap(Tfgb& mainwindow, TFormvram* vramviewer) : fgb(mainwindow), map(mainwindow.gb()), vram(vramviewer) {
    map.onlcdcchanged = [this] {
        if (vram && vram->visible) vram->redraw();
    };
    map.refresh();
}

void TFormiomap::show() {
    visible = true;
    map.refresh();
    ImGui::SetWindowFocus("I/O map");
}

void TFormiomap::askusercounter() {
    map.refresh();
    askedwith = map.usercountershown();
    box.open("user clocks counter value", "", std::to_string(askedwith));
}

void TFormiomap::draw() {
    if (box.isopen() && box.draw() == tinputbox::ok) map.answerusercounter(askedwith, box.value());
    if (!visible) return;
    const bool regclick = fgb.store().working.RegClick;
    ImGui::SetNextWindowSize(ImVec2(800, 700), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowBgAlpha(1.0f);
    if (!ImGui::Begin("I/O map", &visible)) {
        ImGui::End();
        wasfocused = false;
        return;
    }
    keepwindowinside(fit, fgb.toolkeepout());
    // Activating the window refreshes it.
    const bool focused = ImGui::IsWindowFocused(ImGuiFocusedFlags_RootAndChildWindows);
    if (focused && !wasfocused) map.refresh();
    wasfocused = focused;
    const tiomapview& v = map.view;

    // The six register columns.
    const auto& columns = iomapcolumns();
    for (size_t c = 0; c < columns.size(); c++) {
        if (c) ImGui::SameLine();
        ImGui::BeginGroup();
        ImGui::TextUnformatted(columns[c].caption);
        for (size_t r = 0; r < columns[c].rows.size(); r++) {
            ImGui::PushID(int(c * 32 + r));
            field("##reg", r < v.registers[c].size() ? v.registers[c][r] : "", 24);
            ImGui::SameLine();
            ImGui::TextUnformatted(iomaplabel(columns[c].rows[r]).c_str());
            ImGui::PopID();
        }
        ImGui::EndGroup();
    }
    ImGui::Separator();

    // LCDC bits, bit 7 at the top.
    ImGui::BeginGroup();
    ImGui::TextUnformatted("LCDC (FF40)");  // Grouplcdc
    for (int j = 7; j >= 0; j--) {
        ImGui::PushID(j);
        bool clicked = false;
        const std::string label = std::string(lcdcbitinfo()[size_t(j)].caption) + "##lcdc";
        if (clickbox(label.c_str(), v.lcdc[size_t(j)], clicked)) map.clicklcdc(j, clicked, regclick);
        ImGui::SameLine(70);
        ImGui::TextUnformatted(v.lcdctext[size_t(j)].c_str());
        ImGui::PopID();
    }
    ImGui::EndGroup();
    ImGui::SameLine(170);
    drawinterrupts(regclick);
    ImGui::Separator();
    drawfixedgroups(regclick);
    ImGui::End();
}

void TFormiomap::drawinterrupts(bool regclick) {
    const tiomapview& v = map.view;
    ImGui::BeginGroup();
    ImGui::TextUnformatted("IF, IE");  // Groupints
    for (int j = 0; j < 5; j++) {
        ImGui::PushID(j);
        bool clicked = false;
        if (clickbox("##if", v.ifbits[size_t(j)], clicked)) map.clickif(j, clicked, regclick);
        ImGui::SameLine();
        if (clickbox(interruptcaptions()[size_t(j)], v.iebits[size_t(j)], clicked)) map.clickie(j, clicked, regclick);
        ImGui::SameLine(130);
        field("##countdown", v.countdowns[size_t(j)], 64);
        ImGui::PopID();
    }
    ImGui::EndGroup();
    ImGui::SameLine(400);
    ImGui::BeginGroup();
    ImGui::TextUnformatted("STAT (FF41)");  // Groupstat
    const char* stats[5] = {"b2 LY=LYC", "b3 HBlank (mode0) int", "b4 Vblank (mode1) int", "b5 OAM (mode2) int",
                            "b6 LY=LYC int"};
    for (int b = 6; b >= 2; b--) {
        bool clicked = false;
        if (clickbox(stats[b - 2], v.stat[size_t(b)], clicked)) map.clickstat(b, clicked, regclick);
    }
    field("mode##stat", v.Editstatmode, 24);
    ImGui::EndGroup();
}

void TFormiomap::drawfixedgroups(bool regclick) {
    const tiomapview& v = map.view;
    ImGui::BeginGroup();  // Groupmbc
    ImGui::TextUnformatted("MBC");
    field("ROM", v.Editrombank, 40);
    field("RAM", v.Editsrambank, 40);
    bool ignored = false;
    clickbox("RAM enabled", v.Checkramenabled, ignored);  // shown only: writes nothing
    clickbox("mbc1", v.Checkmbc1, ignored);
    ImGui::EndGroup();
    ImGui::SameLine();
    ImGui::BeginGroup();
    ImGui::TextUnformatted("GBC DMA");  // Grouphdma
    field("FF51/2 src", v.Edithdmas, 48);
    field("FF53/4 dest", v.Edithdmad, 48);
    field("FF55", v.Edithdma5, 48);
    ImGui::EndGroup();
    ImGui::SameLine();
    ImGui::BeginGroup();
    ImGui::TextUnformatted("GBC pal");  // Groupgbcpal
    field("FF68 BCPS", v.Editbgps, 24);
    field("FF69 BCPD", v.Editbgpd, 24);
    field("FF6A OCPS", v.Editobps, 24);
    field("FF6B OCPD", v.Editobpd, 24);
    ImGui::EndGroup();
    ImGui::SameLine();
    ImGui::BeginGroup();
    ImGui::TextUnformatted("sound");  // Groupnr5x
    field("FF24 VOL", v.Editnr50, 24);
    field("FF25 L/R", v.Editnr51, 24);
    field("FF26 ON", v.Editnr52, 24);
    ImGui::EndGroup();
    ImGui::SameLine();
    ImGui::BeginGroup();
    ImGui::TextUnformatted("CPU");  // Groupcpumode
    bool clicked = false;
    if (clickbox("double speed", v.Checkdoublespeed, clicked)) map.clickdoublespeed(clicked, regclick);
    if (clickbox("halted", v.Checkhalted, clicked)) map.clickhalted();
    ImGui::TextUnformatted("divider");  // Groupdiv
    field("##divider", v.Editdivider, 72);
    ImGui::EndGroup();
    ImGui::TextUnformatted("wave pattern (FF3x)");  // Groupwave
    field("##wave", v.Editwave, 300);
}

}  // namespace tov
