#include "frontend/gui/formsnap.h"

#include <imgui.h>

#include "frontend/savestates.h"

namespace tov {

void TFormsnap::show(int slot) {
    checked_ = buttonofslot(slot);
    open_ = true;
    justopened_ = true;
}

int TFormsnap::slot() const { return slotofbutton(checked_); }

bool TFormsnap::key(int vk) {
    if (!open_) return false;
    if (vk >= '0' && vk <= '9') checked_ = buttonofslot(vk - '0');
    if (vk == 13 || vk == 27) closing_ = true;
    return true;
}

bool TFormsnap::draw() {
    if (!open_) return false;
    if (justopened_) {
        ImGui::OpenPopup("select slot##TFormsnap");
        justopened_ = false;
    }
    bool ok = false;
    if (ImGui::BeginPopupModal("select slot##TFormsnap", nullptr, ImGuiWindowFlags_AlwaysAutoResize)) {
        for (int k = 1; k <= 10; k++) {
            // "&1" shows as "1": the ampersand marks the key that chooses the button.
            const std::string caption = slotcaption(k).substr(1) + "##RadioButton" + std::to_string(k);
            if (ImGui::RadioButton(caption.c_str(), checked_ == k)) checked_ = k;
            if (k != 5 && k != 10) ImGui::SameLine();
        }
        // buttonokClick; Enter and Escape (through `key`) do the same.
        if (ImGui::Button("OK##buttonok") || closing_) {
            closing_ = false;
            ok = true;
            open_ = false;
            ImGui::CloseCurrentPopup();
        }
        ImGui::EndPopup();
    } else {
        open_ = false;
    }
    return ok;
}

}  // namespace tov
