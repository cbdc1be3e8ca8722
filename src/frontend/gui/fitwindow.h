// Keeps the current ImGui window inside the main window's drawable area and off the debugger
// window's menu bar (ttoolwindowfit).
#pragma once
#include <imgui.h>

#include "frontend/windowlogic.h"

namespace tov {

// Called between Begin and End: moves and resizes the window only when the rectangle it is to
// have differs from the one it has (shrunk for a small area, grown back when there is room).
// `keepout`: the debugger's title and menu bar while it is shown (Tfgb::toolkeepout()).
inline void keepwindowinside(ttoolwindowfit& fit, twinrect keepout) {
    const ImVec2 pos = ImGui::GetWindowPos(), size = ImGui::GetWindowSize(), area = ImGui::GetIO().DisplaySize;
    const twinrect now{int32_t(pos.x), int32_t(pos.y), int32_t(size.x), int32_t(size.y)};
    // The user moves and resizes windows with the mouse; anything else that moved the window
    // was the library keeping it on a shrinking screen.
    const bool byuser = ImGui::IsMouseDown(ImGuiMouseButton_Left) || ImGui::IsMouseReleased(ImGuiMouseButton_Left);
    const twinrect want = fit.fit(now, {int32_t(area.x), int32_t(area.y)}, keepout, byuser);
    if (want.x != now.x || want.y != now.y) ImGui::SetWindowPos(ImVec2(float(want.x), float(want.y)));
    if (want.w != now.w || want.h != now.h) ImGui::SetWindowSize(ImVec2(float(want.w), float(want.h)));
}

}  // namespace tov
