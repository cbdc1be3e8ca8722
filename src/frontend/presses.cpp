#include "frontend/presses.h"

#include <cstdlib>

namespace tov {

namespace {

bool parsecount(const std::string& text, long& out) {
    if (text.empty() || text.size() > 9) return false;
    for (char c : text)
        if (c < '0' || c > '9') return false;
    out = std::strtol(text.c_str(), nullptr, 10);
    return true;
}

}  // namespace

bool parsepress(const std::string& text, tpress& press, std::string& error) {
    static const char* const names[8] = {"right", "left", "up", "down", "a", "b", "select", "start"};
    size_t first = text.find(':');
    if (first == std::string::npos) {
        error = "expected FRAME:BUTTONS[:N]";
        return false;
    }
    size_t second = text.find(':', first + 1);
    tpress p;
    if (!parsecount(text.substr(0, first), p.frame)) {
        error = "bad frame number";
        return false;
    }
    std::string buttons = text.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
    if (second != std::string::npos && (!parsecount(text.substr(second + 1), p.frames) || p.frames < 1)) {
        error = "bad frame count";
        return false;
    }
    size_t start = 0;
    while (start <= buttons.size()) {
        size_t end = buttons.find_first_of("+,", start);
        std::string name = buttons.substr(start, end == std::string::npos ? std::string::npos : end - start);
        for (char& c : name)
            if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
        int bit = -1;
        for (int i = 0; i < 8; i++)
            if (name == names[i]) bit = i;
        if (bit < 0) {
            error = "unknown button \"" + name + "\" (a, b, start, select, up, down, left, right)";
            return false;
        }
        p.buttons |= uint8_t(1 << bit);
        if (end == std::string::npos) break;
        start = end + 1;
    }
    press = p;
    return true;
}

uint8_t pressedbuttons(const std::vector<tpress>& presses, long frame) {
    uint8_t held = 0;
    for (const tpress& p : presses)
        if (frame >= p.frame && frame - p.frame < p.frames) held |= p.buttons;
    return held;
}

}  // namespace tov
