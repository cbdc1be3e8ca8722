#include "platform/filedialog.h"

#include <imgui.h>

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace tov {

void tfiledialog::open(const std::string& title, const std::string& filter, const std::string& folder, bool save,
                       const std::string& defaultext) {
    title_ = title;
    filters_ = parsefilefilter(filter);
    if (filters_.empty()) filters_.push_back({"All files", {"*"}});
    filter_ = 0;
    save_ = save;
    defaultext_ = defaultext;
    std::error_code ec;
    folder_ = folder;
    if (folder_.empty() || !std::filesystem::is_directory(folder_, ec))
        folder_ = std::filesystem::current_path(ec).string();
    if (folder_.empty() || folder_.back() != '/') folder_ += '/';
    name_.clear();
    path_.clear();
    error_.clear();
    open_ = true;
    justopened_ = true;
    focusname_ = true;
    readfolder();
}

void tfiledialog::readfolder() {
    entries_.clear();
    selected_ = -1;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder_, ec), end; !ec && it != end; it.increment(ec)) {
        std::string n = it->path().filename().string();
        if (n.empty() || n[0] == '.') continue;
        std::error_code e2;
        bool dir = it->is_directory(e2);
        if (!dir && !filtermatches(filters_[size_t(filter_)], n)) continue;
        entries_.push_back({n, dir});
    }
    std::sort(entries_.begin(), entries_.end(), [](const tentry& a, const tentry& b) {
        if (a.folder != b.folder) return a.folder;
        return a.name < b.name;
    });
}

void tfiledialog::finish(const std::string& name) {
    std::string full = !name.empty() && name[0] == '/' ? name : folder_ + name;
    std::error_code ec;
    if (std::filesystem::is_directory(full, ec)) {
        folder_ = full.back() == '/' ? full : full + "/";
        name_.clear();
        readfolder();
        focusname_ = true;
        return;
    }
    if (!save_ && !std::filesystem::exists(full, ec)) {
        error_ = "file not found";
        focusname_ = true;
        return;
    }
    if (save_ && !defaultext_.empty() && name.find('.') == std::string::npos) full += defaultext_;
    path_ = full;
    open_ = false;
}

tfiledialog::tresult tfiledialog::draw() {
    if (!open_) return none;
    tresult result = none;
    ImGuiIO& io = ImGui::GetIO();
    ImVec2 size(std::min(560.0f, io.DisplaySize.x - 20), std::min(420.0f, io.DisplaySize.y - 20));
    ImGui::SetNextWindowSize(size, ImGuiCond_Appearing);
    ImGui::SetNextWindowPos(ImVec2(io.DisplaySize.x * 0.5f, io.DisplaySize.y * 0.5f), ImGuiCond_Appearing,
                            ImVec2(0.5f, 0.5f));
    // Opened again when ImGui closed it while it was not drawn (its owner hidden for a while):
    // a dialog that stayed open without its window would hold its owner's later questions back.
    if (justopened_ || !ImGui::IsPopupOpen(title_.c_str())) {
        ImGui::OpenPopup(title_.c_str());
        justopened_ = false;
    }
    bool keep = true;
    if (ImGui::BeginPopupModal(title_.c_str(), &keep)) {
        ImGui::TextUnformatted(folder_.c_str());
        ImGui::SameLine();
        if (ImGui::SmallButton("up")) {
            folder_ = parentfolder(folder_);
            readfolder();
        }
        float listheight = ImGui::GetContentRegionAvail().y - ImGui::GetFrameHeightWithSpacing() * 3;
        if (ImGui::BeginChild("files", ImVec2(0, std::max(listheight, 60.0f)), true)) {
            std::string open;
            for (int i = 0; i < int(entries_.size()); i++) {
                const tentry& e = entries_[size_t(i)];
                std::string label = e.folder ? "[" + e.name + "]" : e.name;
                if (ImGui::Selectable(label.c_str(), selected_ == i, ImGuiSelectableFlags_AllowDoubleClick)) {
                    selected_ = i;
                    if (!e.folder) name_ = e.name;
                    if (ImGui::IsMouseDoubleClicked(0)) open = e.name;
                }
            }
            if (!open.empty()) finish(open);
        }
        ImGui::EndChild();
        char buf[1024];
        std::snprintf(buf, sizeof buf, "%s", name_.c_str());
        ImGui::SetNextItemWidth(-1);
        // The keyboard starts in the name field: a name typed and Return is enough.
        if (focusname_) {
            ImGui::SetKeyboardFocusHere();
            focusname_ = false;
        }
        if (ImGui::InputText("##name", buf, sizeof buf, ImGuiInputTextFlags_EnterReturnsTrue)) {
            name_ = buf;
            if (!name_.empty()) finish(name_);
        } else {
            name_ = buf;
        }
        std::vector<const char*> names;
        for (auto& f : filters_) names.push_back(f.description.c_str());
        // The filter takes what the two buttons leave, so that both stay visible in a small window.
        const ImGuiStyle& style = ImGui::GetStyle();
        const float buttons = ImGui::CalcTextSize(save_ ? "Save" : "Open").x + ImGui::CalcTextSize("Cancel").x +
                              style.FramePadding.x * 4 + style.ItemSpacing.x * 2;
        ImGui::SetNextItemWidth(std::clamp(ImGui::GetContentRegionAvail().x - buttons, 60.0f, 260.0f));
        if (ImGui::Combo("##filter", &filter_, names.data(), int(names.size()))) readfolder();
        ImGui::SameLine();
        if (ImGui::Button(save_ ? "Save" : "Open") && !name_.empty()) finish(name_);
        ImGui::SameLine();
        if (ImGui::Button("Cancel") || ImGui::IsKeyPressed(ImGui::GetKeyIndex(ImGuiKey_Escape), false)) {
            open_ = false;
            result = cancelled;
        }
        if (!error_.empty()) {
            ImGui::TextUnformatted(error_.c_str());
        }
        if (!open_) {
            if (result == none) result = chosen;
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
