#include "platform/system.h"

#include <SDL.h>

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

tmsgresult messagebox(SDL_Window* parent, const std::string& text, const std::string& title,
                      tmsgbuttons buttons) {
    SDL_MessageBoxButtonData data[2];
    int count = 0;
    tmsgresult results[2];
    auto add = [&](const char* label, tmsgresult r, Uint32 flags) {
        data[count].flags = flags;
        data[count].buttonid = count;
        data[count].text = label;
        results[count] = r;
        count++;
    };
    switch (buttons) {
        case tmsgbuttons::ok:
            add("OK", tmsgresult::ok, SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
            break;
        case tmsgbuttons::okcancel:
            add("OK", tmsgresult::ok, SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
            add("Cancel", tmsgresult::cancel, SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
            break;
        case tmsgbuttons::yesno:
            add("Yes", tmsgresult::yes, SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT);
            add("No", tmsgresult::no, SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT);
            break;
    }
    // Message texts use CR LF or CR line ends; the box wants LF.
    std::string body;
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r') {
            body += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') i++;
        } else {
            body += text[i];
        }
    }
    SDL_MessageBoxData box{};
    box.flags = title == "error" || title == "Error" || title == "error2" ? SDL_MESSAGEBOX_ERROR
                : title == "warning" || title == "Warning"                ? SDL_MESSAGEBOX_WARNING
                                                                          : SDL_MESSAGEBOX_INFORMATION;
    box.window = parent;
    box.title = title.c_str();
    box.message = body.c_str();
    box.numbuttons = count;
    box.buttons = data;
    int hit = -1;
    if (SDL_ShowMessageBox(&box, &hit) != 0 || hit < 0 || hit >= count) {
        // No display (or the box was closed): the text goes to stderr and the escape button
        // is the answer, so nothing is confirmed that the user did not see.
        std::fprintf(stderr, "%s: %s\n", title.c_str(), body.c_str());
        return count == 1 ? results[0] : results[count - 1];
    }
    return results[hit];
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
