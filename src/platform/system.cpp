#include "platform/system.h"

#include <SDL.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

namespace tov {

std::string programfolder() {
    std::error_code ec;
    std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    std::string folder = ec ? std::filesystem::current_path(ec).string() : exe.parent_path().string();
    if (folder.empty() || folder.back() != '/') folder += '/';
    return folder;
}

namespace {
tfallbackmsgbox& fallbackbox() {
    static tfallbackmsgbox f;
    return f;
}
}  // namespace

void setmessageboxfallback(tfallbackmsgbox fallback) { fallbackbox() = std::move(fallback); }

tmsgresult messagebox(SDL_Window* parent, const std::string& text, const std::string& title,
                      tmsgbuttons buttons) {
    auto native = [parent](const tmessagebox& m) -> std::optional<int> {
        const auto list = msgboxbuttons(m.buttons);
        SDL_MessageBoxButtonData data[2];
        const int count = int(std::min<size_t>(list.size(), 2));
        for (int i = 0; i < count; i++) {
            data[i].flags = 0;
            if (i == 0) data[i].flags |= SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT;
            if (i == count - 1) data[i].flags |= SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT;
            data[i].buttonid = i;
            data[i].text = list[size_t(i)].label;
        }
        const std::string body = msgboxbody(m.text);
        SDL_MessageBoxData box{};
        box.flags = m.title == "error" || m.title == "Error" || m.title == "error2" ? SDL_MESSAGEBOX_ERROR
                    : m.title == "warning" || m.title == "Warning"                  ? SDL_MESSAGEBOX_WARNING
                                                                                    : SDL_MESSAGEBOX_INFORMATION;
        box.window = parent;
        box.title = m.title.c_str();
        box.message = body.c_str();
        box.numbuttons = count;
        box.buttons = data;
        int hit = -1;
        if (SDL_ShowMessageBox(&box, &hit) != 0) return std::nullopt;
        return hit;
    };
    return showmessagebox({text, title, buttons}, native, fallbackbox());
}

std::vector<std::string> listfolder(const std::string& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        names.push_back(it->path().filename().string());
    return names;
}

bool makefolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    return std::filesystem::is_directory(folder, ec);
}

}  // namespace tov
