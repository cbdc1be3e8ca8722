#include "debugger/symbols.h"

#include <algorithm>
#include <cctype>
#include <fstream>

namespace tov {

namespace {

std::string lower(std::string s) {
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

bool ishexdigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }
bool isblank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

// Hex digits [from, to) of at most `most` digits; -1 otherwise.
long hexfield(const std::string& s, size_t from, size_t to, size_t most) {
    if (to <= from || to - from > most) return -1;
    long v = 0;
    for (size_t i = from; i < to; i++) {
        const char c = char(std::toupper(static_cast<unsigned char>(s[i])));
        if (!ishexdigit(c)) return -1;
        v = v * 16 + (c <= '9' ? c - '0' : c - 'A' + 10);
    }
    return v;
}

bool banked(uint16_t a) {
    return (a >= 0x4000 && a < 0xC000) || (a >= 0xD000 && a < 0xE000);
}

}  // namespace

void tsymboltable::clear() {
    symbols.clear();
    byaddress.clear();
    byname.clear();
    bylowername.clear();
    skipped = 0;
}

void tsymboltable::read(const std::string& text) {
    clear();
    // A UTF-8 byte order mark (editors on Windows write one) is no part of the first line.
    size_t from = text.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;
    while (from < text.size()) {
        size_t end = text.find('\n', from);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(from, end - from);
        from = end + 1;
        const size_t comment = line.find(';');
        if (comment != std::string::npos) line.resize(comment);
        size_t a = 0;
        while (a < line.size() && isblank(line[a])) a++;
        if (a == line.size()) continue;  // blank or comment only
        // "BB:AAAA name": a bank of up to 4 digits (linkers write 2), an address of 4.
        const size_t colon = line.find(':', a);
        size_t b = colon == std::string::npos ? line.size() : colon + 1;
        size_t e = b;
        while (e < line.size() && !isblank(line[e])) e++;
        const long bank = colon == std::string::npos ? -1 : hexfield(line, a, colon, 4);
        const long address = hexfield(line, b, e, 4);
        size_t n = e;
        while (n < line.size() && isblank(line[n])) n++;
        size_t ne = n;
        while (ne < line.size() && !isblank(line[ne])) ne++;
        size_t rest = ne;
        while (rest < line.size() && isblank(line[rest])) rest++;
        if (bank < 0 || address < 0 || e - b != 4 || n == ne || rest != line.size() || n == e) {
            skipped++;
            continue;
        }
        tsymbol s{int32_t(bank), uint16_t(address), line.substr(n, ne - n)};
        const size_t index = symbols.size();
        symbols.push_back(s);
        byaddress.emplace(s.address, index);
        byname.emplace(s.name, index);  // the first of a repeated name counts
        bylowername.emplace(lower(s.name), index);
    }
}

const tsymbol* tsymboltable::find(const std::string& name) const {
    auto i = byname.find(name);
    if (i != byname.end()) return &symbols[i->second];
    auto j = bylowername.find(lower(name));
    return j != bylowername.end() ? &symbols[j->second] : nullptr;
}

std::vector<const tsymbol*> tsymboltable::at(uint16_t address, int bank) const {
    std::vector<const tsymbol*> out;
    auto range = byaddress.equal_range(address);
    for (auto i = range.first; i != range.second; ++i) {
        const tsymbol& s = symbols[i->second];
        bool same = !banked(address) || s.bank == bank;
        // A DMG's one switchable work RAM bank is bank 1 to the views and 0 to linkers.
        if (address >= 0xD000 && address < 0xE000 && s.bank == 0 && bank == 1) same = true;
        if (same) out.push_back(&s);
    }
    // The multimap gives no order: file order, as the names were written.
    std::sort(out.begin(), out.end());
    return out;
}

std::string tsymboltable::nameat(uint16_t address, int bank) const {
    const std::vector<const tsymbol*> s = at(address, bank);
    return s.empty() ? std::string() : s.front()->name;
}

int32_t tsymboltable::breakbank(const tsymbol& s) {
    const uint16_t a = s.address;
    if ((a >= 0x4000 && a < 0x8000) || (a >= 0xA000 && a < 0xC000)) return s.bank;
    if (a >= 0xD000 && a < 0xE000) return s.bank == 0 ? -1 : s.bank;
    return -1;
}

std::string symbolfilefor(const std::string& rompath) {
    const size_t slash = rompath.find_last_of("/\\");
    const size_t dot = rompath.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return rompath + ".sym";
    return rompath.substr(0, dot) + ".sym";
}

bool loadsymbolfile(const std::string& path, tsymboltable& table) {
    table.clear();
    std::ifstream f(path, std::ios::binary);
    if (!f) return false;
    f.seekg(0, std::ios::end);
    const std::streamoff size = f.tellg();
    if (size < 0 || size > (16 << 20)) return false;
    f.seekg(0);
    std::string text(size_t(size), '\0');
    if (size > 0 && !f.read(text.data(), size)) return false;
    table.read(text);
    return true;
}

}  // namespace tov
