#include "frontend/messageboxes.h"

#include <algorithm>
#include <cstdio>

namespace tov {

std::vector<tmsgbutton> msgboxbuttons(tmsgbuttons buttons) {
    switch (buttons) {
        case tmsgbuttons::okcancel: return {{"OK", tmsgresult::ok}, {"Cancel", tmsgresult::cancel}};
        case tmsgbuttons::yesno: return {{"Yes", tmsgresult::yes}, {"No", tmsgresult::no}};
        case tmsgbuttons::ok: break;
    }
    return {{"OK", tmsgresult::ok}};
}

tmsgresult msgboxescape(tmsgbuttons buttons) { return msgboxbuttons(buttons).back().result; }

std::string msgboxbody(const std::string& text) {
    std::string body;
    body.reserve(text.size());
    for (size_t i = 0; i < text.size(); i++) {
        if (text[i] == '\r') {
            body += '\n';
            if (i + 1 < text.size() && text[i + 1] == '\n') i++;
        } else {
            body += text[i];
        }
    }
    return body;
}

int tmessageboxes::push(tmessagebox box) {
    const int id = nextid++;
    pending.emplace_back(id, std::move(box));
    return id;
}

void tmessageboxes::answer(int index) {
    if (pending.empty()) return;
    const auto buttons = msgboxbuttons(pending.back().second.buttons);
    const tmsgresult r = index >= 0 && index < int(buttons.size()) ? buttons[size_t(index)].result
                                                                    : buttons.back().result;
    answers.emplace_back(pending.back().first, r);
    pending.pop_back();
}

void tmessageboxes::escape() { answer(-1); }

std::optional<tmsgresult> tmessageboxes::take(int id) {
    auto it = std::find_if(answers.begin(), answers.end(), [id](const auto& a) { return a.first == id; });
    if (it == answers.end()) return std::nullopt;
    tmsgresult r = it->second;
    answers.erase(it);
    return r;
}

tmsgresult askinwindow(tmessageboxes& boxes, const tmessagebox& box, const std::function<bool()>& pass) {
    const int id = boxes.push(box);
    for (;;) {
        if (auto r = boxes.take(id)) return *r;
        if (!pass()) break;
    }
    // The program is ending: this box and any asked on top of it take their Esc answers.
    while (!boxes.empty()) {
        const int top = boxes.shownid();
        boxes.escape();
        if (top == id) break;
    }
    if (auto r = boxes.take(id)) return *r;
    return msgboxescape(box.buttons);
}

tmsgresult showmessagebox(const tmessagebox& box, const tnativemsgbox& native, const tfallbackmsgbox& fallback) {
    const auto buttons = msgboxbuttons(box.buttons);
    std::optional<int> hit = native ? native(box) : std::nullopt;
    if (hit) return *hit >= 0 && *hit < int(buttons.size()) ? buttons[size_t(*hit)].result : buttons.back().result;
    if (fallback) return fallback(box);
    std::fprintf(stderr, "%s: %s\n", box.title.c_str(), msgboxbody(box.text).c_str());
    return buttons.back().result;
}

}  // namespace tov
