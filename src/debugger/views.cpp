#include "debugger/views.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "core/gb.h"
#include "core/gbinspect.h"
#include "core/hextext.h"
#include "debugger/symbols.h"

namespace tov {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

}  // namespace

std::optional<uint32_t> parsehex(const std::string& text) {
    size_t a = text.find_first_not_of(" \t");
    size_t b = text.find_last_not_of(" \t");
    if (a == std::string::npos) return std::nullopt;
    if (text[a] == '$') a++;
    if (a > b || b - a + 1 > 8) return std::nullopt;
    uint32_t v = 0;
    for (size_t i = a; i <= b; i++) {
        const int c = std::toupper(static_cast<unsigned char>(text[i]));
        if (c >= '0' && c <= '9') v = v << 4 | uint32_t(c - '0');
        else if (c >= 'A' && c <= 'F') v = v << 4 | uint32_t(c - 'A' + 10);
        else return std::nullopt;
    }
    return v;
}

// ---- Position ----

void tscrollerbase::setvisiblelines(int n) {
    visible = std::max(1, n);
    scrollto(top);
}

void tscrollerbase::scrollto(int line) {
    top = std::clamp(line, 0, std::max(0, linecount() - visible));
}

void tscrollerbase::setcursor(int line) {
    cursor = std::clamp(line, 0, std::max(0, linecount() - 1));
    if (cursor < top) scrollto(cursor);
    else if (cursor >= top + visible) scrollto(cursor - visible + 1);
}

void tscrollerbase::centreon(int line) {
    setcursor(line);
    scrollto(cursor - visible / 3);
}

// ---- Code view ----

bool tscrollerasm::refresh() {
    const int before = table.count();
    table.build(memory, symbols);
    const tcart& cart = memory.machine().cartridge();
    globalsum = cart.romimagedata() && cart.romimagesize() >= 0x150
                    ? globalchecksum(cart.romimagedata(), cart.romimagesize())
                    : -1;
    setcursor(cursor);
    return table.count() != before;
}

int tscrollerasm::firstlineof(uint16_t address) const {
    int n = table.lineof(address);
    while (n > 0 && table.line(n - 1).symbol >= 0 && table.line(n - 1).address == address) n--;
    return n;
}

std::string tscrollerasm::symbolname(int n) const {
    const tasmline& l = table.line(n);
    if (!symbols || l.symbol < 0 || size_t(l.symbol) >= symbols->all().size()) return {};
    return symbols->all()[size_t(l.symbol)].name + ":";
}

std::string tscrollerasm::targetname(const tasmline& l) const {
    if (!symbols || symbols->empty() || l.data) return {};
    const uint8_t op = memory.read(l.address);
    if (op == 0xCB) return {};
    const std::string m = mnemonic(op);
    uint16_t target = 0;
    if (l.length == 3) target = memory.readword(uint16_t(l.address + 1));
    else if (l.length == 2 && m.rfind("JR", 0) == 0)
        target = uint16_t(l.address + int8_t(memory.read(uint16_t(l.address + 1))) + 2);
    else return {};
    return symbols->nameat(target, memory.bankat(target));
}

std::string tscrollerasm::getstring(int n) {
    if (n < 0 || n >= table.count()) return {};
    if (table.line(n).symbol >= 0) return symbolname(n);
    tasmtext parts = disassembleline(memory, table.line(n), lowercase, globalsum);
    if (parts.comment.empty()) parts.comment = targetname(table.line(n));
    // The running cycle total starts at the first visible line.
    if (n < top || n >= top + visible) {
        parts.cycles = -1;
    }
    int total = 0;
    if (parts.cycles >= 0)
        for (int i = top; i <= n; i++) {
            const tasmline& l = table.line(i);
            if (!l.data)
                total += instructioncycles(memory.read(l.address), memory.read(uint16_t(l.address + 1)));
        }
    return composeline(parts, total);
}

std::string tscrollerasm::plainline(int n) const {
    if (n < 0 || n >= table.count()) return {};
    if (table.line(n).symbol >= 0) return symbolname(n);
    return disassembleline(memory, table.line(n), lowercase, globalsum).text;
}

tlinemarks tscrollerasm::marks(int n) const {
    tlinemarks m;
    if (n < 0 || n >= table.count()) return m;
    const tasmline& l = table.line(n);
    if (l.symbol >= 0) return m;
    const int bank = memory.bankat(l.address);
    m.pc = table.lineof(memory.machine().cpu.PC) == n;
    m.breakpoint = breakpoints && breakpoints->hasexecutionbreakpoint(l.address, memory.breakpointbank(l.address));
    for (int k = 0; k < 10; k++)
        if (bookmarks[size_t(k)].set && bookmarks[size_t(k)].address == l.address &&
            bookmarks[size_t(k)].bank == bank) {
            m.bookmark = k;
            break;
        }
    return m;
}

std::string tscrollerasm::cursorstatus(
    const std::function<std::optional<uint32_t>(const std::string&)>& evaluate) const {
    if (table.count() == 0 || table.line(cursor).data || table.line(cursor).symbol >= 0 || !evaluate) return {};
    const std::string text = plainline(cursor);
    const size_t open = text.find('(', 27);
    if (open == std::string::npos) return {};
    const size_t close = text.find(')', open);
    if (close == std::string::npos) return {};
    const std::optional<uint32_t> address = evaluate(text.substr(open + 1, close - open - 1));
    if (!address || *address > 0xFFFF) return {};
    return std::string("(") + hex(*address, 4) + ")=" + hex(memory.read(uint16_t(*address)), 2);
}

void tscrollerasm::setbookmark(int k) {
    if (k < 0 || k > 9 || table.count() == 0) return;
    bookmarks[size_t(k)] = {true, cursoraddress(), memory.bankat(cursoraddress())};
}

bool tscrollerasm::gotobookmark(int k) {
    if (k < 0 || k > 9 || !bookmarks[size_t(k)].set) return false;
    centreon(table.lineof(bookmarks[size_t(k)].address));
    return true;
}

// ---- Memory view ----

std::string tscrollermemmap::getstring(int n) {
    if (n < 0 || n >= 0x1000) return {};
    const uint16_t base = uint16_t(n * 16);
    std::string name = symbols ? symbols->nameat(base, memory.bankat(base)) : std::string();
    if (!name.empty()) name = (name + "         ").substr(0, 9);
    std::string s = (name.empty() ? memory.label(base) : name) + "  ";
    std::string chars;
    for (int i = 0; i < 16; i++) {
        const uint8_t b = memory.read(uint16_t(base + i));
        s += hex(b, 2);
        s += (i == 7 || i == 15) ? "|" : " ";
        chars += (b <= 32 || b == 0xFF) ? '.' : char(b);
    }
    return s + " " + chars;
}

// ---- Stack view ----

uint16_t tscrollerstack::lineaddress(int n) const {
    return uint16_t((0xFFFE - 2 * n) | (memory.machine().cpu.SP & 1));
}

int tscrollerstack::lineofsp() const {
    const uint16_t sp = memory.machine().cpu.SP;
    return (0xFFFF - sp) / 2;
}

std::string tscrollerstack::getstring(int n) {
    if (n < 0 || n >= 0x8000) return {};
    const uint16_t a = lineaddress(n);
    return memory.label(a) + " " + hex(memory.read(uint16_t(a + 1)), 2) + hex(memory.read(a), 2);
}

tlinemarks tscrollerstack::marks(int n) const {
    tlinemarks m;
    m.pc = lineaddress(n) == memory.machine().cpu.SP;
    return m;
}

// ---- Register view ----

namespace {
constexpr const char* regnames[6] = {"af", "bc", "de", "hl", "sp", "pc"};

uint16_t regvalue(const tcpuregisters& r, int n) {
    const uint16_t v[6] = {r.af, r.bc, r.de, r.hl, r.sp, r.pc};
    return v[n];
}
}  // namespace

std::string tscrollerregs::getstring(int n) {
    const tcpuregisters r = tgbinspect(gb).cpuregisters();
    if (n >= 0 && n < 6) {
        std::string s = std::string(regnames[n]) + "= " + hex(regvalue(r, n), 4);
        switch (n) {
        case 0: return s + "  lcdc=" + hex(gb.lcdregs.lcdc, 2);
        case 1: return s + "  stat=" + hex(gb.iopeek(0xFF41), 2);
        case 2: return s + "  ly=  " + hex(gb.ly, 2);
        case 3: return s + "  cnt= " + std::to_string(gb.currenttime());
        case 4: return s + "  ie=  " + hex(gb.iereg, 2);
        default: return s + "  if=  " + hex(uint8_t(gb.ifreg | 0xE0), 2);
        }
    }
    if (n == 6) return std::string("ime=") + (r.ime ? "1" : "0") + "     spd= " + std::to_string(gb.speed);
    if (n == 7) return std::string("ima=") + (r.eipending ? "1" : "0");
    return {};
}

std::string tscrollerregs::editprompt(int n) {
    if (n >= 0 && n < 6) {
        std::string name = regnames[n];
        for (char& c : name) c = char(std::toupper(static_cast<unsigned char>(c)));
        return "enter new value for register " + name;
    }
    if (n == 6) return "enter new value for register IME";
    if (n == 7) return "enter new value for register IMA";
    return {};
}

std::string tscrollerregs::editdefault(int n) const {
    const tcpuregisters r = tgbinspect(gb).cpuregisters();
    if (n >= 0 && n < 6) return hex(regvalue(r, n), 4);
    if (n == 6) return r.ime ? "1" : "0";
    if (n == 7) return r.eipending ? "1" : "0";
    return {};
}

bool tscrollerregs::edit(int n, const std::string& answer) {
    tgbinspect inspect(gb);
    tcpuregisters r = inspect.cpuregisters();
    if (n >= 0 && n < 6) {
        const std::optional<uint32_t> v = parsehex(answer);
        if (!v || *v > 0xFFFF) return false;
        uint16_t* fields[6] = {&r.af, &r.bc, &r.de, &r.hl, &r.sp, &r.pc};
        *fields[n] = uint16_t(*v);
    } else if (n == 6) {
        r.ime = answer == "1";
    } else if (n == 7) {
        r.eipending = answer == "1";
    } else {
        return false;
    }
    inspect.setcpuregisters(r);
    return true;
}

// ---- Commands ----

int searchlines(tscroller& view, int from, const std::string& text) {
    const int count = view.linecount();
    if (count == 0 || text.empty()) return -1;
    const std::string needle = lower(text);
    from = std::clamp(from, 0, count - 1);
    for (int i = (from + 1) % count; i != from; i = (i + 1) % count)
        if (lower(view.getstring(i)).find(needle) != std::string::npos) return i;
    return -1;
}

std::string disassemblytext(const tscrollerasm& view, uint32_t start, uint32_t size) {
    if (size == 0 || start > 0xFFFF || view.linecount() == 0) return {};
    const uint32_t last = std::min<uint32_t>(start + size - 1, 0xFFFF);
    std::string out;
    for (int n = view.lineof(uint16_t(start)); n <= view.lineof(uint16_t(last)); n++)
        out += view.plainline(n) + "\n";
    return out;
}

bool parsesaverange(const std::string& start, const std::string& size, uint32_t& first, uint32_t& count) {
    const std::optional<uint32_t> s = parsehex(start), n = parsehex(size);
    if (!s || !n || *s > 0xFFFF || *n == 0) return false;
    first = *s;
    count = std::min<uint32_t>(*n, 0x10000);
    return true;
}

}  // namespace tov
