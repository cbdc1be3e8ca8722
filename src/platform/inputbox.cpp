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
    if (justopened_) {
        ImGui::OpenPopup(id.c_str());
        justopened_ = false;
    }
    tresult result = none;
    bool keep = true;
    ImGuiIO& io = ImGui::GetIO();
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y * 0.5f), ImGuiCond_Appearing,
                            ImVec2(0.5f, 0.5f));
    if (ImGui::BeginPopupModal(id.c_str(), &keep, ImGuiWindowFlags_AlwaysAutoResize)) {
        // The prompt wraps inside the window (a long one ran off the edge of a 2x window).
        const ImGuiStyle& style = ImGui::GetStyle();
        const float wrap = std::max(40.0f, std::min(420.0f, io.DisplaySize.x - 4 * style.WindowPadding.x));
        ImGui::PushTextWrapPos(ImGui::GetCursorPosX() + wrap);
        ImGui::TextUnformatted(prompt_.c_str());
        ImGui::PopTextWrapPos();
        if (ImGui::IsWindowAppearing()) ImGui::SetKeyboardFocusHere();
        bool enter = ImGui::InputText("##value", buffer_, sizeof buffer_, ImGuiInputTextFlags_EnterReturnsTrue);
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
