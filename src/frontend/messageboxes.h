// Message boxes and questions: their buttons and answers, and the boxes the window draws
// itself when the desktop offers no message box of its own (a bare X server). No window
// system here: the desktop's box and the window's drawing pass are handed in.
#pragma once
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tov {

enum class tmsgbuttons { ok, okcancel, yesno };
enum class tmsgresult { ok, cancel, yes, no };

struct tmsgbutton {
    const char* label;
    tmsgresult result;
};
// The buttons left to right: "OK"; "OK", "Cancel"; "Yes", "No". Return gives the first
// button's answer, Esc (or closing the box) the last one's, so that nothing is confirmed
// that the user did not choose.
std::vector<tmsgbutton> msgboxbuttons(tmsgbuttons buttons);
tmsgresult msgboxescape(tmsgbuttons buttons);
// Message texts use CR LF or CR line ends; boxes want LF.
std::string msgboxbody(const std::string& text);

struct tmessagebox {
    std::string text;  // as the caller gave it
    std::string title;
    tmsgbuttons buttons = tmsgbuttons::ok;
};

// The boxes waiting for an answer in the window. A box asked while another one waits (from
// the nested loop of the first) is shown on top and answered first.
class tmessageboxes {
public:
    int push(tmessagebox box);  // its id
    bool empty() const { return pending.empty(); }
    size_t size() const { return pending.size(); }
    // The box shown now (the newest), null when none waits.
    const tmessagebox* shown() const { return pending.empty() ? nullptr : &pending.back().second; }
    int shownid() const { return pending.empty() ? 0 : pending.back().first; }
    // The shown box's button `index` was clicked (out-of-range indexes count as Esc).
    void answer(int index);
    // The shown box was closed without a button.
    void escape();
    // The answer of box `id` once given; it is forgotten when taken.
    std::optional<tmsgresult> take(int id);

private:
    std::deque<std::pair<int, tmessagebox>> pending;
    std::vector<std::pair<int, tmsgresult>> answers;
    int nextid = 1;
};

// Asks in the window: shows the box and runs `pass` (one pass of a nested loop: events and
// drawing) until it is answered. `pass` returns false when the program is ending; the box
// then takes its Esc answer.
tmsgresult askinwindow(tmessageboxes& boxes, const tmessagebox& box, const std::function<bool()>& pass);

// The desktop's box returns the index of the button clicked, -1 when it was closed without
// one, or nothing when it cannot show boxes at all; then `fallback` asks instead (when there
// is one), else the text goes to stderr and the Esc answer is given.
using tnativemsgbox = std::function<std::optional<int>(const tmessagebox& box)>;
using tfallbackmsgbox = std::function<tmsgresult(const tmessagebox& box)>;
tmsgresult showmessagebox(const tmessagebox& box, const tnativemsgbox& native, const tfallbackmsgbox& fallback);

}  // namespace tov
