#include "debugger/debugform.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "core/gb.h"
#include "core/gbinspect.h"
#include "core/hextext.h"
#include "debugger/assembler.h"
#include "debugger/debuggercore.h"
#include "debugger/symbols.h"

namespace tov {

namespace {

constexpr const char* statefilter =
    "save states|*.sna;*.sn0;*.sn1;*.sn2;*.sn3;*.sn4;*.sn5;*.sn6;*.sn7;*.sn8;*.sn9|All files|*";

}  // namespace

bool parsebankaddress(const std::string& text, int& bank, uint16_t& address, const tsymboltable* symbols) {
    // The breakpoint fields' parser, where "every address" is no place to go.
    const tbreakaddress a = parsebreakaddress(text, symbols);
    if (!a.valid || a.anyaddress) return false;
    bank = a.bank;
    address = a.address;
    return true;
}

tdebugform::tdebugform(tgb& machine, tdebugcontrol* c)
    : edit(machine, banks), code(machine, banks), memory(machine, banks), stack(machine, banks), registers(machine),
      gb(machine), control(c) {
    setcontrol(c);
    refresh();  // the views have lines before the first stop
}

void tdebugform::setcontrol(tdebugcontrol* c) {
    control = c;
    code.breakpoints = control ? control->breakpointmarks() : nullptr;
}

tscroller& tdebugform::view(tdebugview v) {
    switch (v) {
    case tdebugview::memory: return memory;
    case tdebugview::stack: return stack;
    case tdebugview::registers: return registers;
    default: return code;
    }
}

std::string tdebugform::caption() const {
    if (!titletext.empty()) return titletext;
    return message.empty() ? "debugger" : message + " - debugger";
}

void tdebugform::stopped(const std::string& text) {
    message = text;
    titletext.clear();
    tgbinspect inspect(gb);
    if (code.mem().bankcontroller()) {
        banks.rom = inspect.region(tmemregion::romx).current;
        const int ram = inspect.region(tmemregion::sram).current;
        if (ram >= 0) banks.ram = ram;
    }
    banks.wram = inspect.region(tmemregion::wramx).current;
    banks.vram = inspect.region(tmemregion::vram).current;
    refresh();
    // The views move only when PC or SP left them, so that stepping does not jump about.
    showline(code, code.lineof(gb.cpu.PC));
    showline(stack, stack.lineofsp());
    cursormoved();
}

void tdebugform::showline(tscroller& s, int line) {
    if (line < s.topline() || line >= s.topline() + s.visiblelines() - 1) s.centreon(line);
    else s.setcursor(line);
}

void tdebugform::refresh() {
    code.lowercase = options.DebugLowercase;
    code.breakpoints = control ? control->breakpointmarks() : nullptr;
    code.symbols = memory.symbols = control ? control->symbols() : nullptr;
    code.refresh();
    followdata();
}

void tdebugform::followdata() {
    const tcpuregisters r = tgbinspect(gb).cpuregisters();
    switch (options.DataFollow) {
    case 1: memory.gotoaddress(code.cursoraddress()); break;
    case 2: memory.gotoaddress(r.bc); break;
    case 3: memory.gotoaddress(r.de); break;
    case 4: memory.gotoaddress(r.hl); break;
    case 5: memory.gotoaddress(r.pc); break;
    default: break;
    }
}

std::optional<uint32_t> tdebugform::evaluateaddress(const std::string& text) {
    std::string result;
    if (!control || !control->evaluate(text, result)) return std::nullopt;
    return parsehex(result);
}

void tdebugform::cursormoved() {
    if (options.DataFollow == 1) memory.gotoaddress(code.cursoraddress());
    statustext = code.cursorstatus([this](const std::string& t) { return evaluateaddress(t); });
}

void tdebugform::ask(const std::string& title, const std::string& prompt, const std::string& value,
                     std::function<void(const std::string&)> answer) {
    // A new question replaces what waits, except after the message it follows.
    if (!followup) pending.clear();
    followup = false;
    pending.push_back({tdebugrequest::text, title, prompt, value, std::move(answer), {}, {}});
}

void tdebugform::tell(const std::string& title, const std::string& text) {
    pending.clear();
    pending.push_back({tdebugrequest::message, title, text, "", nullptr, {}, {}});
}

tdebugrequest tdebugform::takerequest() {
    if (pending.empty()) return {};
    tdebugrequest r = std::move(pending.front());
    pending.pop_front();
    return r;
}

void tdebugform::click(tdebugview v, int line) {
    focus = v;
    tscroller& s = view(v);
    s.setcursor(line);
    if (v == tdebugview::code) cursormoved();
    if (v == tdebugview::registers && line >= 0 && line < 8) {
        ask("edit register", tscrollerregs::editprompt(line), registers.editdefault(line),
            [this, line](const std::string& answer) {
                if (registers.edit(line, answer)) refresh();
            });
    }
}

bool tdebugform::key(int code_, int mods) {
    const bool ctrl = mods & keyctrl, shift = mods & keyshift, alt = mods & keyalt;
    if (!control || !control->stopped()) return false;
    tscroller& s = view(focus);
    // Movement in the view that has the keyboard.
    if (!ctrl && !alt) {
        bool moved = true;
        switch (code_) {
        case vk::up: s.movecursor(-1); break;
        case vk::down: s.movecursor(1); break;
        case vk::pageup: s.pageup(); break;
        case vk::pagedown: s.pagedown(); break;
        case vk::home: s.home(); break;
        case vk::end: s.end(); break;
        default: moved = false; break;
        }
        if (moved) {
            if (focus == tdebugview::code) cursormoved();
            return true;
        }
    }
    if (ctrl && code_ >= '0' && code_ <= '9') {
        if (shift) togglebookmark(code_ - '0');
        else gotobookmark(code_ - '0');
        return true;
    }
    // Alt+digit stores a bookmark too: desktops often keep Ctrl+Shift+digit for themselves.
    if (alt && !ctrl && code_ >= '0' && code_ <= '9') {
        togglebookmark(code_ - '0');
        return true;
    }
    if (ctrl && !shift && !alt) {
        switch (code_) {
        case 'G': askgoto(); return true;
        case 'S': asksearch(); return true;
        case 'C': continuesearch(); return true;
        case 'E': askevaluate(); return true;  // the evaluate command without the mouse
        default: return false;
        }
    }
    if (alt && code_ == 'A') {
        control->animate();
        return true;
    }
    if (ctrl || alt) return false;
    switch (code_) {
    case vk::f2:
        control->togglebreakpoint(code.cursoraddress(), code.cursorbank());
        return true;
    case vk::f3: control->stepover(); return true;
    case vk::f4: control->runtocursor(code.cursoraddress(), code.cursorbank()); return true;
    case vk::f7: control->trace(); return true;
    case vk::f8: control->stepout(); return true;
    case vk::f9:
    case vk::escape: control->run(); return true;
    case vk::insert:
    case vk::del:
        if (focus != tdebugview::code) return false;
        code_ == vk::insert ? insertbyte() : deletebyte();
        return true;
    case vk::f12: menuloadrom(); return true;
    case vk::multiply:
        control->reset();
        stopped(message);
        return true;
    case 0x0D:  // Enter edits the register under the cursor
        if (focus == tdebugview::registers) {
            click(focus, registers.cursorline());
            return true;
        }
        return false;
    default: return false;
    }
}

void tdebugform::askgoto() {
    ask("go to", "enter address", "", [this](const std::string& answer) {
        if (!gotoaddress(answer)) tell("error", "invalid address");
    });
}

bool tdebugform::gotoaddress(const std::string& text) {
    int bank = -1;
    uint16_t address = 0;
    if (!parsebankaddress(text, bank, address, control ? control->symbols() : nullptr)) return false;
    if (bank >= 0) {
        tgbinspect inspect(gb);
        const tcart& cart = gb.cartridge();
        if (address >= 0x4000 && address < 0x8000) {
            const int banks16k = inspect.region(tmemregion::romx).banks;
            if (banks16k > 0) banks.rom = bank % banks16k;
        } else if (address >= 0x8000 && address < 0xA000) {
            banks.vram = bank & 1;
        } else if (address >= 0xA000 && address < 0xC000) {
            // Counted in 4 KiB units as the window always has; without RAM there is no bank
            // to choose (and nothing to divide by).
            const int units = cart.ramimagesize() / 4096;
            banks.ram = units > 0 ? bank % units : 0;
            banks.cartram = true;
        } else if (address >= 0xD000 && address < 0xE000) {
            banks.wram = (bank & 7) == 0 ? 1 : bank & 7;
        }
    }
    refresh();
    code.centreon(code.firstlineof(address));
    memory.gotoaddress(address);
    focus = tdebugview::code;
    cursormoved();
    return true;
}

void tdebugform::togglebookmark(int k) {
    if (k < 0 || k > 9) return;
    tbookmark& b = code.bookmarks[size_t(k)];
    if (b.set && b.address == code.cursoraddress() && b.bank == code.mem().bankat(code.cursoraddress())) b = {};
    else code.setbookmark(k);
}

void tdebugform::gotobookmark(int k) {
    if (k < 0 || k > 9 || !code.bookmarks[size_t(k)].set) return;
    const tbookmark b = code.bookmarks[size_t(k)];
    char text[32];
    std::snprintf(text, sizeof text, "%X:%04X", unsigned(b.bank), unsigned(b.address));
    gotoaddress(text);
}

void tdebugform::asksearch() {
    ask("search", "enter string", searchtext, [this](const std::string& answer) {
        searchtext = answer;
        continuesearch();
    });
}

void tdebugform::continuesearch() {
    if (searchtext.empty()) return;
    const int found = searchlines(code, code.cursorline(), searchtext);
    if (found < 0) {
        statustext = "not found";
        return;
    }
    code.centreon(found);
    focus = tdebugview::code;
    cursormoved();
}

void tdebugform::savefile(const std::string& title, const std::string& filter, const std::string& folder,
                          const std::string& ext, std::function<void(const std::string&)> answer) {
    pending.clear();
    pending.push_back({tdebugrequest::savefile, title, filter, lastfile,
                       [this, ext, answer](const std::string& path) {
                           lastfile = ext.empty() ? path : withdefaultextension(path, ext);
                           answer(lastfile);
                       },
                       folder, ext});
}

void tdebugform::saverange(const std::string& title, const std::string& filter, const std::string& folder,
                           const std::string& ext, const std::string& startprompt,
                           std::function<bool(const std::string& path, uint32_t first, uint32_t count)> save) {
    savefile(title, filter, folder, ext, [this, title, startprompt, save](const std::string& path) {
        ask(title, startprompt, "0000", [this, title, path, save](const std::string& start) {
            ask(title, "enter size (hex)", "10000", [this, path, start, save](const std::string& size) {
                uint32_t first = 0, count = 0;
                if (!parsesaverange(start, size, first, count)) {
                    tell("error", "invalid range");
                    return;
                }
                if (!save(path, first, count)) tell("error", "error while saving");
            });
        });
    });
}

void tdebugform::asksaveasm() {
    saverange("save as text", "Text files|*.txt;*.asm|All files|*", "", ".txt", "enter start address (hex)",
              [this](const std::string& path, uint32_t first, uint32_t count) {
                  return writefile && writefile(path, disassemblytext(code, first, count));
              });
}

void tdebugform::checksumfix() {
    if (!fixheaderchecksums(gb.cartridge())) return;
    // Writing the checks is an edit of ROM bytes like any other.
    edit.rommodified = true;
    if (host.romedited) host.romedited();
    refresh();
}

void tdebugform::askevaluate() {
    ask("evaluate", "enter expression", "", [this](const std::string& answer) {
        std::string result;
        if (!control) return;
        if (control->evaluate(answer, result)) tell("result", result);
        else tell("invalid expression", result);
    });
}

void tdebugform::askrunto() {
    ask("run to", "enter address", "", [this](const std::string& answer) {
        int bank = -1;
        uint16_t address = 0;
        if (!control || !parsebankaddress(answer, bank, address, control->symbols())) {
            tell("error", "invalid address");
            return;
        }
        control->runtocursor(address, bank);
    });
}

// ---- Editing ----

void tdebugform::rebuildinplace() {
    // The code view comes back to the same line, whatever the edit did to the lines above.
    const int top = code.topline(), line = code.cursorline();
    refresh();
    code.scrollto(top);
    code.setcursor(line);
    cursormoved();
}

void tdebugform::applyedit(const std::function<void()>& change) {
    const bool before = edit.rommodified;
    edit.rommodified = false;
    change();
    if (edit.rommodified && host.romedited) host.romedited();
    edit.rommodified = edit.rommodified || before;
    rebuildinplace();
}

void tdebugform::writebytes(uint16_t address, const std::vector<uint8_t>& bytes) {
    applyedit([&] { edit.pokebytes(address, bytes); });
}

void tdebugform::editat(bool iscode, uint16_t address, const std::string& value) {
    const std::string title = std::string("edit ") + (iscode ? "code" : "data") + " at " + hex(address, 4);
    ask(title, iscode ? "enter instructions, separated by semicolons" : "enter hexadecimal byte values", value,
        [this, iscode, address](const std::string& answer) {
            const tassembly r = iscode ? assemble(answer, address) : parsehexdata(answer);
            if (!r.ok) tell(r.errortitle, r.error);
            // Asked again while the text gives no bytes, with the text to mend.
            if (r.bytes.empty()) {
                followup = !r.ok;
                editat(iscode, address, answer);
                return;
            }
            writebytes(address, r.bytes);
        });
}

void tdebugform::menueditdata() {
    if (code.linecount() > 0) editat(false, code.cursoraddress(), "");
}

void tdebugform::menueditcode() {
    if (code.linecount() > 0) editat(true, code.cursoraddress(), "");
}

void tdebugform::menueditcopy() {
    if (code.linecount() == 0) return;
    const uint16_t address = code.cursoraddress();
    titletext = "copy data from " + hex(address, 4);
    ask(titletext, "how many bytes to copy", "", [this, address](const std::string& answer) {
        char* end = nullptr;
        const long n = std::strtol(answer.c_str(), &end, 10);
        if (answer.empty() || *end || n <= 0) return;
        // The whole address space at most: more would only repeat it.
        const std::string text = edit.copytext(address, uint32_t(n > 0x10000 ? 0x10000 : n));
        if (host.setclipboard) host.setclipboard(text);
    });
}

void tdebugform::menuinsertsize() {
    ask(caption(), "how many bytes to move", std::to_string(edit.insertsize), [this](const std::string& answer) {
        char* end = nullptr;
        const long long n = std::strtoll(answer.c_str(), &end, 10);
        // A value of 0 or more that fits the 32-bit size; anything else keeps the old one.
        if (!answer.empty() && !*end && n >= 0 && n <= 0x7FFFFFFF) edit.insertsize = uint32_t(n);
    });
}

void tdebugform::insertbyte() {
    if (!control || !control->stopped() || code.linecount() == 0) return;
    applyedit([this] { edit.insertbyte(code.cursoraddress()); });
}

void tdebugform::deletebyte() {
    if (!control || !control->stopped() || code.linecount() == 0) return;
    applyedit([this] { edit.deletebyte(code.cursoraddress()); });
}

// ---- Files ----

void tdebugform::menusaverom() {
    if (!gb.cartridge().isbanked()) return;
    savefile("save rom", "GB roms|*.GB;*.GBC|All files|*", host.romfolder, ".gb", [this](const std::string& path) {
        if (!edit.saverom(path)) tell("error", "error while saving");
    });
}

void tdebugform::menudump() {
    saverange("dump", "All files|*", host.statefolder, "", "enter start offset (hex)",
              [this](const std::string& path, uint32_t first, uint32_t count) {
                  return writeuserfile(path, edit.dumpbytes(uint16_t(first), count));
              });
}

void tdebugform::menusavestate() {
    savefile("save state", statefilter, host.statefolder, ".sna", [this](const std::string& path) {
        if (!host.savestate) return;
        const std::string error = host.savestate(path);
        if (!error.empty()) tell("error while saving", error);
    });
}

void tdebugform::menuloadstate() {
    if (host.loadstate) host.loadstate();
}

void tdebugform::menuloadrom() {
    if (host.loadrom) host.loadrom();
}

void tdebugform::menuloadromnoreset() {
    pending.clear();
    pending.push_back({tdebugrequest::openfile, "load rom", "GB roms and zip files|*.GB;*.GBC;*.ZIP;*.GZ|All files|*",
                       "", [this](const std::string& path) {
                           if (host.loadromnoreset) host.loadromnoreset(path);
                       },
                       "", ""});
}

}  // namespace tov
