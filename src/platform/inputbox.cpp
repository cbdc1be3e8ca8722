#include "platform/inputbox.h"

#include <imgui.h>

#include <algorithm>
#include <cstdio>

namespace tov {

void tinputbox::open(const std::string& caption, const std::string& prompt, const std::string& value) {
    caption_ = caption;
    prompt_ = prompt;
    value_ = value;
    std::snprintf(buffer_, sizeof buffer_, "%s", value.c_str());
    open_ = true;
    justopened_ = true;
}

tinputbox::tresult tinputbox::draw() {
    if (!open_) return none;
    // The caption is the window's title; "##" keeps two boxes with one caption apart.
    std::string id = caption_ + "##inputbox";
    // Opened again when ImGui closed it while it was not drawn (its owner hidden for a while).
    if (justopened_ || !ImGui::IsPopupOpen(id.c_str())) {
        ImGui::OpenPopup(id.c_str());
        justopened_ = false;
    }
    tresult result = none;
    bool keep = true;
    ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y * 0.5f), ImGuiCond_Appearing,
                            ImVec2(0.5f, 0.5f));
    // The main window may be narrower than the prompt (320 pixels at the default size): the
    // prompt wraps at the window's edge instead of running past it.
    const ImGuiStyle& style = ImGui::GetStyle();
    const float room = std::max(
        80.0f, io.DisplaySize.x - 2 * (style.WindowPadding.x + style.DisplaySafeAreaPadding.x + style.WindowBorderSize));
    const float width = std::min(ImGui::CalcTextSize(prompt_.c_str()).x, room);
    if (ImGui::BeginPopupModal(id.c_str(), &keep, ImGuiWindowFlags_AlwaysAutoResize)) {
        ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + width);
        ImGui::TextUnformatted(prompt_.c_str());
        ImGui::PopTextWrapPos();
        if (ImGui::IsWindowAppearing()) ImGui::SetKeyboardFocusHere();
        ImGui::SetNextItemWidth(std::max(width, std::min(room, 200.0f)));
        // The offered text starts selected, as in the desktop's input boxes: typing replaces it
        // (a port typed over "8765" was appended to it), an arrow key keeps it for editing.
        bool enter = ImGui::InputText("##value", buffer_, sizeof buffer_,
                                      ImGuiInputTextFlags_EnterReturnsTrue | ImGuiInputTextFlags_AutoSelectAll);
        if (ImGui::Button("OK") || enter) {
            value_ = buffer_;
            result = ok;
        }
        ImGui::SameLine();
        if (ImGui::Button("Cancel") || ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape))) result = cancelled;
        if (result != none) {
            open_ = false;
            ImGui::CloseCurrentPopup();
        }
        ImGui::EndPopup();
    }
    if (!keep && open_) {
        open_ = false;
        result = cancelled;
    }
    return result;
}

}  // namespace tov
