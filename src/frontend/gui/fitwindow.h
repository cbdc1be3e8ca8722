// Keeps the current ImGui window inside the main window's drawable area (fitwindow()).
#pragma once
#include <imgui.h>

#include "frontend/windowlogic.h"

namespace tov {

// Called between Begin and End: moves and shrinks the window only when it lies partly outside.
inline void keepwindowinside() {
    const ImVec2 pos = ImGui::GetWindowPos(), size = ImGui::GetWindowSize(), area = ImGui::GetIO().DisplaySize;
    const twinrect now{int32_t(pos.x), int32_t(pos.y), int32_t(size.x), int32_t(size.y)};
    const twinrect fit = fitwindow(now, {int32_t(area.x), int32_t(area.y)});
    if (fit.x != now.x || fit.y != now.y) ImGui::SetWindowPos(ImVec2(float(fit.x), float(fit.y)));
    if (fit.w != now.w || fit.h != now.h) ImGui::SetWindowSize(ImVec2(float(fit.w), float(fit.h)));
}

}  // namespace tov
