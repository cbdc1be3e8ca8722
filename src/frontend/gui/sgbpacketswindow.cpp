// The SGB packet log window `TFormsgbpackets` and the processor-load meter control.
#include <imgui.h>

#include <algorithm>

#include "frontend/gui/debuggerwindow.h"
#include "frontend/gui/mainwindow.h"
#include "frontend/gui/fitwindow.h"
#include "frontend/gui/viewerwindows.h"

namespace tov {

namespace {
ImU32 colourof(uint32_t bgr) { return IM_COL32(bgr & 0xFF, (bgr >> 8) & 0xFF, (bgr >> 16) & 0xFF, 255); }
}  // namespace

TFormsgbpackets::TFormsgbpackets(Tfgb& mainwindow) : fgb(mainwindow) { log.attach(fgb.emulation().sgb()); }

void TFormsgbpackets::show() {
    visible = true;
    ImGui::SetWindowFocus("SGB packets");
}

void TFormsgbpackets::draw() {
    if (!visible) return;
    const ImVec2 display = ImGui::GetIO().DisplaySize;
    ImGui::SetNextWindowPos(ImVec2(display.x / 2, display.y / 2), ImGuiCond_FirstUseEver, ImVec2(0.5f, 0.5f));
    ImGui::SetNextWindowSize(ImVec2(560, 320), ImGuiCond_FirstUseEver);
    ImGui::SetNextWindowBgAlpha(1.0f);
    if (!ImGui::Begin("SGB packets", &visible)) {
        ImGui::End();
        return;
    }
    keepwindowinside(fit, fgb.toolkeepout());
    // Memo1 in the debugger's colours and font size, above the panel with Buttonclear.
    const tsettings& s = fgb.store().working;
    ImGui::PushStyleColor(ImGuiCol_ChildBg, colourof(uint32_t(s.DebugBgColor)));
    ImGui::PushStyleColor(ImGuiCol_Text, colourof(uint32_t(s.DebugTextColor)));
    ImGui::BeginChild("Memo1", ImVec2(0, -ImGui::GetFrameHeightWithSpacing()), true, ImGuiWindowFlags_HorizontalScrollbar);
    ImGui::SetWindowFontScale(float(std::clamp(s.DebugFontSize, 6, 32)) * 96.0f / 72.0f / 13.0f);
    ImGuiListClipper clipper;
    clipper.Begin(int(log.lines.size()));
    while (clipper.Step())
        for (int i = clipper.DisplayStart; i < clipper.DisplayEnd; i++) ImGui::TextUnformatted(log.lines[size_t(i)].c_str());
    // New lines scroll into view.
    if (log.lines.size() != shownlines) {
        shownlines = log.lines.size();
        ImGui::SetScrollHereY(1.0f);
    }
    ImGui::EndChild();
    ImGui::PopStyleColor(2);
    if (ImGui::Button("clear")) {  // Buttonclear
        log.clear();
        shownlines = 0;
    }
    ImGui::SameLine();
    ImGui::Text("%zu lines", log.lines.size());
    ImGui::End();
}

// ---- The processor-load meter ----

void tcpumetercontrol::frame(int32_t frameunits, TFormdebugger& debugger) {
    meter.update(frameunits, fgb.gb(), debugger.runcontrol().core, debugger.shown());
}

void tcpumetercontrol::draw(float width, float height) {
    const ImVec2 p = ImGui::GetCursorScreenPos();
    ImGui::InvisibleButton("tcpumetercontrol", ImVec2(width, height));
    tsettings& s = fgb.store().working;
    if (ImGui::IsItemClicked()) {
        // The click switches `CpuMeter`, stores it in the file at once and applies it: the
        // debugger's counting node comes and goes with it.
        s.CpuMeter = !s.CpuMeter;
        fgb.savesettings();
        fgb.emulation().applysettings();
    }
    if (ImGui::IsItemHovered()) ImGui::SetTooltip("processor load (click: on/off)");
    const tmeterpaint paint = meter.paint(int(height) - 2, s.CpuMeter);
    ImDrawList* dl = ImGui::GetWindowDrawList();
    const ImVec2 q(p.x + width, p.y + height);
    if (paint.buttonface) {
        dl->AddRectFilled(p, q, ImGui::GetColorU32(ImGuiCol_Button));
    } else {
        // Rows from the top down to height - bar in the background colour, the bar below.
        const float top = p.y + 1, split = q.y - 1 - float(paint.barheight);
        dl->AddRectFilled(ImVec2(p.x + 1, top), ImVec2(q.x - 1, split), colourof(paint.back));
        dl->AddRectFilled(ImVec2(p.x + 1, split), ImVec2(q.x - 1, q.y - 1), colourof(paint.bar));
    }
    // The sunken edge.
    dl->AddRect(p, q, ImGui::GetColorU32(ImGuiCol_BorderShadow));
    dl->AddLine(p, ImVec2(q.x, p.y), IM_COL32(64, 64, 64, 255));
    dl->AddLine(p, ImVec2(p.x, q.y), IM_COL32(64, 64, 64, 255));
}

}  // namespace tov
