// The debugger window's four scrolling text views (code, memory, stack, registers): each gives
// the text of line n on demand with its marks, and keeps its cursor and scroll position. The
// window only draws what these return and forwards clicks and keys.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "debugger/disasm.h"

namespace tov {

class tgb;
class tsymboltable;

// What the views need to know about execution breakpoints (the debugger core answers).
class tbreakpointmarks {
public:
    virtual ~tbreakpointmarks() = default;
    // An execution breakpoint (enabled or not) is set at this address for this bank.
    virtual bool hasexecutionbreakpoint(uint16_t address, int bank) const = 0;
};

// Marks drawn with a line.
struct tlinemarks {
    bool pc = false;          // the line holds PC (code view) or SP (stack view)
    bool breakpoint = false;  // an execution breakpoint at the line's address and bank
    int bookmark = -1;        // 0..9 when a bookmark is at the line's address and bank
};

// Cursor and scroll position over a number of lines.
class tscrollerbase {
public:
    virtual ~tscrollerbase() = default;
    virtual int linecount() const = 0;

    int topline() const { return top; }
    int cursorline() const { return cursor; }
    int visiblelines() const { return visible; }
    void setvisiblelines(int n);
    // Cursor to a line (clamped), scrolled into view.
    void setcursor(int line);
    void scrollto(int line);  // first visible line (clamped)
    // Cursor to a line and that line to the top third of the view (Ctrl+G, stops).
    void centreon(int line);
    // The movement keys: lines up (negative) or down, pages, start and end.
    void movecursor(int lines) { setcursor(cursor + lines); }
    void pageup() { setcursor(cursor - visible); }
    void pagedown() { setcursor(cursor + visible); }
    void home() { setcursor(0); }
    void end() { setcursor(linecount() - 1); }

protected:
    int top = 0, cursor = 0, visible = 20;
};

// A view that gives its lines' texts.
class tscroller : public tscrollerbase {
public:
    virtual std::string getstring(int n) = 0;
    virtual tlinemarks marks(int) const { return {}; }
};

// A bookmark of the code view: an address with its bank.
struct tbookmark {
    bool set = false;
    uint16_t address = 0;
    int bank = 0;
};

// The code view: the disassembly of the whole address space with the view banks.
class tscrollerasm : public tscroller {
public:
    tscrollerasm(tgb& machine, const tviewbanks& banks) : memory(machine, banks) {}

    // Rebuilds the line table and the header sums from memory (after a stop, an edit or a
    // change of the view banks); true when the number of lines changed.
    bool refresh();
    int linecount() const override { return table.count(); }
    std::string getstring(int n) override;
    // Without the comment columns (saving as text).
    std::string plainline(int n) const;
    tlinemarks marks(int n) const override;

    const tlinetable& lines() const { return table; }
    const tdebugmemory& mem() const { return memory; }
    int lineof(uint16_t address) const { return table.lineof(address); }
    // The first label line of an address, else its line (go to shows the name).
    int firstlineof(uint16_t address) const;
    uint16_t cursoraddress() const { return table.count() ? table.line(cursor).address : 0; }
    // The bank of the cursor line for breakpoints (F2, F4).
    int cursorbank() const { return memory.breakpointbank(cursoraddress()); }

    // The status-bar text for the line under the cursor: for an instruction with "(" ... ")"
    // the inside is evaluated (by the debugger's expression evaluator, which gives an address
    // or nothing) and "(ADDR)=BYTE" returned; "" otherwise.
    std::string cursorstatus(const std::function<std::optional<uint32_t>(const std::string&)>& evaluate) const;

    // Bookmark k (0..9) at the cursor line's address and bank, or back to it.
    void setbookmark(int k);
    bool gotobookmark(int k);

    bool lowercase = true;  // `DebugLowercase`
    const tbreakpointmarks* breakpoints = nullptr;
    // Names of the symbol file: label lines, and the name of a jump, call or load target
    // as the comment of lines that have none.
    const tsymboltable* symbols = nullptr;
    std::array<tbookmark, 10> bookmarks{};

private:
    tdebugmemory memory;
    tlinetable table;
    int globalsum = -1;
    std::string symbolname(int n) const;           // "name:" of a label line
    std::string targetname(const tasmline& l) const;  // the name of the line's target
};

// The memory view: 16 bytes a line over the whole address space.
class tscrollermemmap : public tscroller {
public:
    tscrollermemmap(tgb& machine, const tviewbanks& banks) : memory(machine, banks) {}
    int linecount() const override { return 0x1000; }
    std::string getstring(int n) override;
    uint16_t cursoraddress() const { return uint16_t(cursor * 16); }
    void gotoaddress(uint16_t address) { centreon(address >> 4); }
    // With symbols, a line whose first address has a name shows it as its address label
    // (cut or padded to the label's 9 characters).
    const tsymboltable* symbols = nullptr;

private:
    tdebugmemory memory;
};

// The stack view: words from the top of high RAM down, aligned as SP is.
class tscrollerstack : public tscroller {
public:
    tscrollerstack(tgb& machine, const tviewbanks& banks) : memory(machine, banks) {}
    int linecount() const override { return 0x8000; }
    std::string getstring(int n) override;
    tlinemarks marks(int n) const override;
    int lineofsp() const;
    uint16_t lineaddress(int n) const;

private:
    tdebugmemory memory;
};

// The register view: eight lines of registers with LCDC, STAT, LY, the cycle counter, IE, IF,
// IME, the speed and the pending EI.
class tscrollerregs : public tscroller {
public:
    explicit tscrollerregs(tgb& machine) : gb(machine) { visible = 8; }
    int linecount() const override { return 8; }
    std::string getstring(int n) override;
    // Clicking line n asks this question, or "" when the line cannot be edited.
    static std::string editprompt(int n);
    // The current value offered in the input box.
    std::string editdefault(int n) const;
    // Applies an answer: registers read hex and keep their value on a bad entry; IME and the
    // pending EI are set by "1" and cleared by anything else. True when something changed.
    bool edit(int n, const std::string& answer);

private:
    tgb& gb;
};

// Case-insensitive search over a view's lines from the line after `from`, wrapping at the
// end, until back at `from`: the line found or -1.
int searchlines(tscroller& view, int from, const std::string& text);

// The code lines from the one holding `start` to the one holding start + size - 1 (the
// address space ends at 0xFFFF), one text line each, without comments.
std::string disassemblytext(const tscrollerasm& view, uint32_t start, uint32_t size);
// Reads the two answers of "save as text": start (hex) and size (hex, at most 0x10000).
// False on an answer that is not hex or a size of 0.
bool parsesaverange(const std::string& start, const std::string& size, uint32_t& first, uint32_t& count);

// Hex text of at most 8 digits (blanks around are ignored); nothing otherwise.
std::optional<uint32_t> parsehex(const std::string& text);

}  // namespace tov
