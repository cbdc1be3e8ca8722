// The debugger window's logic, apart from its drawing: the four views with the view banks,
// which view has the keyboard, the keys and commands (run control, go to, bookmarks, search,
// save as text, checksum fix, evaluate, register editing), and the questions and messages the
// window has to show. The window draws `lines` of each view, forwards clicks and keys, and
// answers `request`.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>

#include "debugger/editing.h"
#include "debugger/views.h"

namespace tov {

class tgb;

// What the window drives in run control (the debugger's `tdebuggertov` provides it).
class tdebugcontrol {
public:
    virtual ~tdebugcontrol() = default;
    virtual bool stopped() const = 0;
    virtual void trace() = 0;                                         // F7
    virtual void stepover() = 0;                                      // F3
    virtual void stepout() = 0;                                       // F8
    virtual void runtocursor(uint16_t address, int bank) = 0;         // F4
    virtual void togglebreakpoint(uint16_t address, int bank) = 0;    // F2
    virtual void run() = 0;                                           // F9, Esc
    virtual void animate() = 0;                                       // Alt+A
    virtual void jumpreturn() = 0;                                    // PC = (SP), SP += 2
    virtual void reset() = 0;                                         // numeric-pad *
    virtual void stop() = 0;  // while running: stop before the next instruction
    // The expression evaluator: "$" and hex digits, or false with the error message.
    virtual bool evaluate(const std::string& text, std::string& result) = 0;
    virtual const tbreakpointmarks* breakpointmarks() const { return nullptr; }
    // The names of the loaded ROM's symbol file, or null.
    virtual const tsymboltable* symbols() const { return nullptr; }
};

// What the window's file and state commands need of the program around the debugger; every
// entry is optional (a command without its entry does nothing).
struct tdebugformhost {
    std::function<void(const std::string& text)> setclipboard;
    // Saves a state to the file: "" when saved, else the error text.
    std::function<std::string(const std::string& path)> savestate;
    // `menuloadstate`: the main window's load-state-file command, stopping in the debugger
    // at the first instruction afterwards.
    std::function<void()> loadstate;
    std::function<void()> loadrom;                                // F12: the main window's
    std::function<void(const std::string& path)> loadromnoreset;  // `menuloadromnoreset`
    // ROM bytes were edited (save states name the ROM by its digest).
    std::function<void()> romedited;
    std::string statefolder;  // where the dump and state dialogs start (`SaveRamDir`)
    std::string romfolder;    // where "save rom" starts: the loaded ROM's folder
};

// The options the window follows (the keys of the settings file).
struct tdebugformoptions {
    bool DebugLowercase = true;
    int DataFollow = 0;  // 0 nothing, 1 the code cursor, 2 BC, 3 DE, 4 HL, 5 PC
};

// A question or message for the window to show; `answer` gets the text (or the chosen file)
// when the user confirms and is not called on cancel.
// savefile and openfile: `prompt` is the filter, `value` the name offered, `folder` where the
// dialog starts and `defaultext` what a name without "." gets.
struct tdebugrequest {
    enum tkind { none, text, savefile, message, openfile };
    tkind kind = none;
    std::string title, prompt, value;
    std::function<void(const std::string&)> answer;
    std::string folder, defaultext;
};

enum class tdebugview { code, memory, stack, registers };

// Windows virtual-key codes of the keys the window uses.
namespace vk {
inline constexpr int back = 0x08, escape = 0x1B, insert = 0x2D, del = 0x2E, f12 = 0x7B, pageup = 0x21, pagedown = 0x22, end = 0x23,
                     home = 0x24, left = 0x25, up = 0x26, right = 0x27, down = 0x28,
                     multiply = 0x6A, f2 = 0x71, f3 = 0x72, f4 = 0x73, f7 = 0x76, f8 = 0x77,
                     f9 = 0x78;
}
// Modifier bits for `key`.
inline constexpr int keyctrl = 1, keyshift = 2, keyalt = 4;

class tdebugform {
public:
    tdebugform(tgb& machine, tdebugcontrol* control);

    tviewbanks banks;
    tdebugeditor edit;  // `poke`, insert and delete, the ROM-modified flag
    tscrollerasm code;
    tscrollermemmap memory;
    tscrollerstack stack;
    tscrollerregs registers;
    tdebugview focus = tdebugview::code;
    tdebugformoptions options;

    tscroller& view(tdebugview v);
    void setcontrol(tdebugcontrol* c);
    tdebugcontrol* runcontrol() const { return control; }

    // The machine stopped: the view banks follow what is mapped, the views are rebuilt, the
    // code view shows PC and the stack view SP. message: the stop reason's text.
    void stopped(const std::string& message);
    // Memory or the view banks changed: the views are rebuilt where they stand.
    void refresh();
    // "message - debugger", or the title alone without a message.
    std::string caption() const;
    const std::string& status() const { return statustext; }

    // A click on a line of a view: the cursor moves there and the view gets the keyboard; on
    // the register view the line's register is asked for.
    void click(tdebugview v, int line);
    // A key while the window has the keyboard (mods: keyctrl, keyshift, keyalt); true when used.
    bool key(int vkcode, int mods);

    // Commands (the window's menu).
    void askgoto();          // Ctrl+G
    void asksearch();        // Ctrl+S
    void continuesearch();   // Ctrl+C
    void asksaveasm();
    void checksumfix();
    void askevaluate();      // Ctrl+E
    // Go to "BANK:ADDR" or "ADDR" (hex): the bank becomes the view bank of the address's
    // region; the code view moves to the address and the memory view to its line. False
    // when the text is not an address.
    bool gotoaddress(const std::string& text);
    void togglebookmark(int k);  // Ctrl+Shift+digit
    void gotobookmark(int k);    // Ctrl+digit
    // "run to": an address or a name, run until it is reached in the bank given (any without).
    void askrunto();

    // ---- Editing and files ----
    void menueditdata();
    void menueditcode();
    void menueditcopy();
    void menuinsertsize();
    void insertbyte();  // Insert in the code view
    void deletebyte();  // Delete in the code view
    void menusaverom();
    void menudump();
    void menusavestate();
    void menuloadstate();
    void menuloadrom();
    void menuloadromnoreset();
    // Writes bytes with `poke` from the address on, then rebuilds the code view where it stands.
    void writebytes(uint16_t address, const std::vector<uint8_t>& bytes);
    tdebugformhost host;

    // The question or message waiting to be shown (the first of them); the window takes it
    // with `takerequest`.
    const tdebugrequest& request() const { return pending.empty() ? nothing : pending.front(); }
    tdebugrequest takerequest();
    // Where "save as text" writes; the window supplies the file writing (tests keep it in memory).
    std::function<bool(const std::string& path, const std::string& text)> writefile;

private:
    tgb& gb;
    tdebugcontrol* control;
    std::string message;
    std::string statustext;
    std::string searchtext;
    std::string lastfile;  // the last name given to one of the save dialogs
    std::string titletext;  // "copy data from ..." replaces the stop message in the caption
    std::deque<tdebugrequest> pending;  // a message may wait before the question it leads to
    bool followup = false;               // the next question follows the waiting message
    tdebugrequest nothing;

    void ask(const std::string& title, const std::string& prompt, const std::string& value,
             std::function<void(const std::string&)> answer);
    void tell(const std::string& title, const std::string& text);
    void savefile(const std::string& title, const std::string& filter, const std::string& folder,
                  const std::string& ext, std::function<void(const std::string&)> answer);
    // A file to save, then a start (`startprompt`) and a size in hex; `save` writes the range
    // and answers false on a failure. A bad range or a failure is told.
    void saverange(const std::string& title, const std::string& filter, const std::string& folder,
                   const std::string& ext, const std::string& startprompt,
                   std::function<bool(const std::string& path, uint32_t first, uint32_t count)> save);
    void editat(bool code, uint16_t address, const std::string& value);
    // Runs `change` on the editor, tells the host when it changed the ROM image (its digest is
    // computed again), keeps the ROM-modified flag set when it was, and redraws in place.
    void applyedit(const std::function<void()>& change);
    void rebuildinplace();
    void cursormoved();
    static void showline(tscroller& s, int line);
    void followdata();
    std::optional<uint32_t> evaluateaddress(const std::string& text);
};

// "BANK:ADDR" or "ADDR" in hex, read by `parsebreakaddress` (the breakpoint fields and
// tov-run --break): bank -1 without one. False for an empty or non-hex address or a value
// above 0xFFFF.
bool parsebankaddress(const std::string& text, int& bank, uint16_t& address,
                      const tsymboltable* symbols = nullptr);

}  // namespace tov
