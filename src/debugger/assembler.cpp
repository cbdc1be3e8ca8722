#include "debugger/assembler.h"

#include <cctype>
#include <cstring>

#include "core/hextext.h"
#include "debugger/disasm.h"

namespace tov {

namespace {

// Two hex digits at `at`, or -1.
int hexpair(const std::string& s, size_t at) {
    if (at + 1 >= s.size()) return -1;
    const int hi = hexdigit(s[at]), lo = hexdigit(s[at + 1]);
    return hi < 0 || lo < 0 ? -1 : hi << 4 | lo;
}

// An entry matches a segment of its length whose characters are equal, except that each
// placeholder "n" stands for a hex digit or "@" (the start of a label reference).
bool matches(const char* entry, const std::string& segment) {
    if (std::strlen(entry) != segment.size()) return false;
    for (size_t i = 0; i < segment.size(); i++) {
        const char c = segment[i];
        if (entry[i] == 'n') {
            if (!((c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || c == '@')) return false;
        } else if (entry[i] != c) {
            return false;
        }
    }
    return true;
}

// The first matching entry of one half of the table (base 0 plain, 256 after 0xCB), or -1.
int findentry(const std::string& segment, int base) {
    for (int i = 0; i < 256; i++)
        if (matches(mnemonic(base + i), segment)) return i;
    return -1;
}

struct tlabel {
    std::string name;
    uint16_t address;
};
struct treference {
    size_t position;  // index of the operand byte in the output
    char name;        // the label's character after "@"
};

}  // namespace

tassembly parsehexdata(const std::string& text) {
    std::string s;
    for (char c : text)
        if (!std::isspace(static_cast<unsigned char>(c))) s += c;
    tassembly r;
    for (size_t i = 0; i + 1 < s.size(); i += 2) {
        const int b = hexpair(s, i);
        if (b < 0) {
            r.bytes.clear();
            r.error = "error";
            r.errortitle = "invalid data";
            return r;
        }
        r.bytes.push_back(uint8_t(b));
    }
    r.ok = true;
    return r;
}

tassembly assemble(const std::string& text, uint16_t start) {
    tassembly r;
    std::vector<tlabel> labels;
    std::vector<treference> references;
    uint16_t address = start;
    size_t from = 0;
    while (from <= text.size()) {
        size_t end = text.find(';', from);
        if (end == std::string::npos) end = text.size();
        // Blanks around an instruction are not part of it: "nop; nop" is two of them.
        size_t first = from, last = end;
        while (first < last && (text[first] == ' ' || text[first] == '\t')) first++;
        while (last > first && (text[last - 1] == ' ' || text[last - 1] == '\t')) last--;
        std::string segment = text.substr(first, last - first);
        from = end + 1;
        if (segment.empty()) continue;  // ";;" (or "; ;") counts as one separator
        for (char& c : segment) c = char(std::toupper(static_cast<unsigned char>(c)));
        if (segment[0] == '@') {
            labels.push_back({segment, address});
            continue;
        }
        // A prefixed instruction wins over a plain one of the same text.
        const int cb = findentry(segment, 256);
        const int plain = cb < 0 ? findentry(segment, 0) : -1;
        if (cb < 0 && plain < 0) {
            r.bytes.clear();
            r.error = "unable to assemble opcode: " + segment;
            r.errortitle = "error";
            return r;
        }
        if (cb >= 0) {
            r.bytes.push_back(0xCB);
            r.bytes.push_back(uint8_t(cb));
            address = uint16_t(address + 2);
            continue;
        }
        const std::string entry = mnemonic(plain);
        const int length = instructionlength(uint8_t(plain));
        r.bytes.push_back(uint8_t(plain));
        if (length == 3) {
            // The word is written high byte first, as the code view shows it.
            const size_t at = entry.find("nnnn");
            const int lo = hexpair(segment, at + 2), hi = hexpair(segment, at);
            r.bytes.push_back(uint8_t(lo < 0 ? 0 : lo));
            r.bytes.push_back(uint8_t(hi < 0 ? 0 : hi));
        } else if (length == 2) {
            const size_t at = entry.find("nn");
            const int b = hexpair(segment, at);
            if (segment[at] == '@') references.push_back({r.bytes.size(), segment[at + 1]});
            r.bytes.push_back(uint8_t(b < 0 ? 0 : b));
        }
        address = uint16_t(address + length);
    }
    for (const treference& ref : references) {
        const std::string name = std::string("@") + ref.name;
        for (auto l = labels.rbegin(); l != labels.rend(); ++l) {
            if (l->name != name) continue;
            // The distance from the end of the two-byte instruction: the operand's position
            // counted from 1 is that end's offset from the start.
            r.bytes[ref.position] = uint8_t(l->address - start - int(ref.position + 1));
            break;
        }
    }
    r.ok = true;
    return r;
}

}  // namespace tov
