#include "cheats/cheats.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <istream>

#include "cart/cart.h"
#include "core/gb.h"
#include "core/hextext.h"
#include "core/safefile.h"

namespace tov {

namespace {

constexpr char hexdigits[] = "0123456789ABCDEF";

// The digit at a position of a code, 0 where the text has none.
int digitat(const std::string& code, size_t index) {
    if (index >= code.size()) return 0;
    const int v = hexdigit(code[index]);
    return v < 0 ? 0 : v;
}

int byteat(const std::string& code, size_t index) { return digitat(code, index) << 4 | digitat(code, index + 1); }

uint8_t ror2(uint8_t v) { return uint8_t(v >> 2 | v << 6); }
uint8_t rol2(uint8_t v) { return uint8_t(v << 2 | v >> 6); }

void appendhex(std::string& s, unsigned value, int digits) {
    for (int d = digits - 1; d >= 0; d--) s += hexdigits[(value >> (4 * d)) & 0xF];
}

void padto(std::string& s, size_t length) {
    if (s.size() < length) s.append(length - s.size(), ' ');
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Codes
// ---------------------------------------------------------------------------------------------

std::string normalisecode(const std::string& text) {
    std::string d;
    for (char c : text) {
        if (c == ' ' || c == '-') continue;
        if (hexdigit(c) < 0) return {};
        d += c >= 'a' && c <= 'f' ? char(c - 'a' + 'A') : c;
        if (d.size() > 9) return {};
    }
    switch (d.size()) {
    case 6: return d.substr(0, 3) + "-" + d.substr(3);
    case 9: return d.substr(0, 3) + "-" + d.substr(3, 3) + "-" + d.substr(6);
    case 8: return d;
    default: return {};
    }
}

void decodecode(tcheat& cheat) {
    const std::string& c = cheat.code;
    if (c.size() == 8) {
        // GameShark TTVVLLHH: the type TT is not interpreted.
        cheat.gameshark = true;
        cheat.value = uint8_t(byteat(c, 2));
        cheat.address = uint16_t(byteat(c, 6) << 8 | byteat(c, 4));
        cheat.compare = -1;
        return;
    }
    // Game Genie ABC-DEF[-GHI]: value AB; address CDE with bits 12-14 from F, inverted
    // (bit 15 never set: the code reaches the ROM only).
    cheat.gameshark = false;
    cheat.value = uint8_t(byteat(c, 0));
    const int f = digitat(c, 6);
    cheat.address = uint16_t(((f ^ 0xF) & 7) << 12 | digitat(c, 2) << 8 | digitat(c, 4) << 4 | digitat(c, 5));
    if (c.size() == 11) {
        // G and I carry the old byte, rotated and scrambled; H is only a check digit.
        cheat.compare = ror2(uint8_t(digitat(c, 8) << 4 | digitat(c, 10))) ^ 0xBA;
    } else {
        cheat.compare = -1;
    }
}

tencodedcheat encodecode(uint16_t address, int32_t compare, uint8_t value) {
    tencodedcheat e;
    if (address > 0x7FFF) {
        e.code = "01";
        appendhex(e.code, value, 2);
        appendhex(e.code, address & 0xFF, 2);
        appendhex(e.code, address >> 8, 2);
        e.gameshark = true;
        e.compare = -1;
        return e;
    }
    appendhex(e.code, value, 2);
    appendhex(e.code, (address >> 8) & 0xF, 1);
    e.code += '-';
    appendhex(e.code, (address >> 4) & 0xF, 1);
    appendhex(e.code, address & 0xF, 1);
    appendhex(e.code, (address >> 12) ^ 0xF, 1);
    e.compare = compare;
    if (compare >= 0) {
        const uint8_t c = rol2(uint8_t(compare ^ 0xBA));
        e.code += '-';
        appendhex(e.code, c >> 4, 1);
        appendhex(e.code, (c >> 4) ^ 8, 1);
        appendhex(e.code, c & 0xF, 1);
        e.compare = compare & 0xFF;
    }
    return e;
}

std::string cheatlistline(const tcheat& cheat) {
    std::string s = " " + cheat.code;
    padto(s, 14);
    s += cheat.gameshark ? 'S' : 'G';
    s += cheat.patched ? 'P' : '-';
    s += cheat.enabled ? 'E' : '-';
    s += " (";
    appendhex(s, cheat.address, 4);
    s += ")=";
    appendhex(s, cheat.value, 2);
    if (cheat.compare >= 0) {
        s += "<-";
        appendhex(s, unsigned(cheat.compare) & 0xFF, 2);
    }
    padto(s, 33);
    return s + cheat.comment;
}

// ---------------------------------------------------------------------------------------------
// Patching
// ---------------------------------------------------------------------------------------------

bool tcheatlist::patchoffset(tcheat& cheat, uint32_t offset) {
    tcart& cart = gb->cartridge();
    uint8_t* rom = cart.romimagedata();
    if (!rom || offset >= uint32_t(cart.romimagesize())) return false;
    if (cheat.patchcount >= tcheat::maxpatches) return false;
    if (cheat.compare != -1 && rom[offset] != uint8_t(cheat.compare)) return false;
    for (int i = 0; i < cheat.patchcount; i++)
        if (cheat.patches[size_t(i)].offset == offset) return false;
    tcheat::tpatch& p = cheat.patches[size_t(cheat.patchcount)];
    p.offset = offset;
    p.previous = rom[offset];
    stacks[offset].push_back({&cheat, cheat.patchcount});
    cheat.patchcount++;
    rom[offset] = cheat.value;
    return true;
}

void tcheatlist::applycheat(tcheat& cheat) {
    if (cheat.patched || !cheat.enabled) return;
    if (isdisableall || issuspended) return;
    tcart& cart = gb->cartridge();
    if (!cart.isbanked()) return;  // the empty slot: no game to change
    cheat.patchcount = 0;
    if (cheat.gameshark) {
        // Through the bus, as a CPU write: below 0x8000 it reaches the controller's registers.
        // Never marked patched, so every call writes again.
        gb->writebyte(cheat.address, cheat.value);
        return;
    }
    const uint32_t size = uint32_t(std::max(cart.romimagesize(), 0));
    if (cheat.address & 0x4000) {
        // The switchable area: the same address in every bank from 1 on.
        for (uint32_t offset = cheat.address; offset < size; offset += 0x4000) patchoffset(cheat, offset);
    } else {
        patchoffset(cheat, cheat.address);
    }
    cheat.patched = cheat.patchcount > 0;
}

void tcheatlist::removecheat(tcheat& cheat) {
    if (!cheat.patched) return;
    tcart& cart = gb->cartridge();
    uint8_t* rom = cart.romimagedata();
    const uint32_t size = uint32_t(std::max(cart.romimagesize(), 0));
    for (int i = 0; i < cheat.patchcount; i++) {
        const tcheat::tpatch& p = cheat.patches[size_t(i)];
        auto found = stacks.find(p.offset);
        if (found == stacks.end()) continue;
        std::vector<tpatchref>& stack = found->second;
        auto at = std::find_if(stack.begin(), stack.end(),
                               [&](const tpatchref& r) { return r.cheat == &cheat && r.index == i; });
        if (at == stack.end()) continue;
        // A cheat that patched the byte later recorded this cheat's value as the old byte:
        // it takes this cheat's record over and the byte stays. Undoing in any order then
        // gives back the original image.
        if (at + 1 != stack.end())
            (at + 1)->cheat->patches[size_t((at + 1)->index)].previous = p.previous;
        else if (rom && p.offset < size)
            rom[p.offset] = p.previous;
        stack.erase(at);
        if (stack.empty()) stacks.erase(found);
    }
    cheat.patchcount = 0;
    cheat.patched = false;
}

void tcheatlist::applyall() {
    for (tcheat& c : list) applycheat(c);
}

void tcheatlist::removeall() {
    // Every patched byte gets the value from before its first patch.
    tcart& cart = gb->cartridge();
    uint8_t* rom = cart.romimagedata();
    const uint32_t size = uint32_t(std::max(cart.romimagesize(), 0));
    for (const auto& [offset, stack] : stacks) {
        const tpatchref& first = stack.front();
        if (rom && offset < size) rom[offset] = first.cheat->patches[size_t(first.index)].previous;
    }
    stacks.clear();
    for (tcheat& c : list) {
        c.patchcount = 0;
        c.patched = false;
    }
}

void tcheatlist::applygameshark() {
    for (tcheat& c : list)
        if (c.gameshark) applycheat(c);
}

void tcheatlist::setsuspended(bool on) {
    issuspended = on;
    if (on)
        removeall();
    else
        applyall();
}

void tcheatlist::setdisableall(bool on) {
    isdisableall = on;
    removeall();
    applyall();
}

std::string tcheatlist::caption() const { return isdisableall ? "tov cheats (disabled)" : "tov cheats"; }

// ---------------------------------------------------------------------------------------------
// The game
// ---------------------------------------------------------------------------------------------

bool tcheatlist::autosave() {
    if (!options.CheatAutoSave || basename.empty()) return true;
    const std::string path = basename + ".cht";
    // An emptied list empties its file too, or the deleted cheats would come back with the
    // next load; a game that never had a file does not get an empty one.
    std::error_code error;
    if (list.empty() && !std::filesystem::exists(path, error)) return true;
    return savefile(path);
}

void tcheatlist::setrom(const std::string& b) {
    autosave();
    clear();
    basename = b;
    if (options.CheatAutoSave && !basename.empty()) loadfile(basename + ".cht");
}

bool tcheatlist::anyenabled() const {
    return std::any_of(list.begin(), list.end(), [](const tcheat& c) { return c.enabled; });
}

// ---------------------------------------------------------------------------------------------
// The list
// ---------------------------------------------------------------------------------------------

tcheat* tcheatlist::at(size_t index) {
    if (index >= list.size()) return nullptr;
    auto it = list.begin();
    std::advance(it, index);
    return &*it;
}

bool tcheatlist::hascode(const std::string& code, const tcheat* except) const {
    return std::any_of(list.begin(), list.end(),
                       [&](const tcheat& c) { return &c != except && c.code == code; });
}

tcheat& tcheatlist::insert(tcheat cheat) {
    cheat.patched = false;
    cheat.patchcount = 0;
    list.push_front(std::move(cheat));
    return list.front();
}

namespace {

std::vector<tcheat*> selected(std::list<tcheat>& list, const std::vector<size_t>& lines) {
    std::vector<tcheat*> out;
    size_t index = 0;
    for (tcheat& c : list) {
        if (std::find(lines.begin(), lines.end(), index) != lines.end()) out.push_back(&c);
        index++;
    }
    return out;
}

}  // namespace

void tcheatlist::remove(const std::vector<size_t>& lines) {
    for (tcheat* c : selected(list, lines)) {
        removecheat(*c);
        list.remove_if([c](const tcheat& x) { return &x == c; });
    }
}

void tcheatlist::enable(const std::vector<size_t>& lines, bool on) {
    for (tcheat* c : selected(list, lines)) {
        c->enabled = on;
        on ? applycheat(*c) : removecheat(*c);
    }
}

void tcheatlist::poke(const std::vector<size_t>& lines) {
    // Once: a GameShark value is written now, a Game Genie patch is put in and taken out.
    for (tcheat* c : selected(list, lines)) {
        const bool was = c->enabled;
        removecheat(*c);
        c->enabled = true;
        applycheat(*c);
        if (!was) {
            c->enabled = false;
            removecheat(*c);
        }
    }
}

// ---------------------------------------------------------------------------------------------
// The ".cht" file
// ---------------------------------------------------------------------------------------------

std::string tcheatlist::filetext() const {
    std::string text;
    for (const tcheat& c : list) {
        text += c.code;
        text += c.enabled ? " 1" : " 0";
        text += c.comment;
        text += "\r\n";
    }
    return text;
}

bool tcheatlist::savefile(const std::string& path) {
    const std::string text = filetext();
    if (replacefile(path, text.data(), text.size())) return true;
    if (onsavefailed) onsavefailed(path);
    return false;
}

tcheatfileload tcheatlist::loadfile(const std::string& path) {
    // A folder (or a device) by the name is no cheat file: it cannot be opened as one, and
    // reading it would fail at the first byte.
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) return {};
    std::ifstream in(path, std::ios::binary);
    if (!in) return {};
    return loadstream(in);
}

tcheatfileload tcheatlist::loadstream(std::istream& in) {
    tcheatfileload r;
    r.opened = true;
    // The file's cheats replace the list only once it is known to hold at least one.
    std::vector<tcheat> read;
    // Lines end in LF (CR LF as written); a line is kept up to a length no real cheat reaches
    // and read to its end, so neither a file without line ends nor a huge one costs more
    // than one bounded line of memory per cheat.
    const size_t keep = maxcomment + 32;
    std::streambuf* buf = in.rdbuf();
    // The file buffer throws when the system's read fails (an I/O error, a folder): the file
    // ends there, the lines before it kept.
    auto next = [buf]() -> int {
        try {
            return buf->sbumpc();
        } catch (const std::ios_base::failure&) {
            return std::char_traits<char>::eof();
        }
    };
    std::string line;
    bool more = buf != nullptr;
    bool first = true;
    int junk = 0;  // skipped lines that hold something: blank lines are no sign of a wrong file
    while (more) {
        line.clear();
        bool cut = false;
        int ch;
        while ((ch = next()) != std::char_traits<char>::eof() && ch != '\n') {
            if (line.size() < keep)
                line += char(ch);
            else
                cut = true;
        }
        if (ch == std::char_traits<char>::eof()) {
            more = false;
            if (line.empty() && !cut) break;
        }
        if (!cut && !line.empty() && line.back() == '\r') line.pop_back();
        // A UTF-8 byte order mark (a file saved by a Windows editor) is no part of the first code.
        if (first && line.compare(0, 3, "\xEF\xBB\xBF") == 0) line.erase(0, 3);
        first = false;
        const size_t blank = line.find(' ');
        std::string code = blank == std::string::npos ? line : line.substr(0, blank);
        std::string rest = blank == std::string::npos ? std::string() : line.substr(blank + 1);
        tcheat c;
        if (!rest.empty() && (rest[0] == '0' || rest[0] == '1')) {
            c.enabled = rest[0] == '1';
            rest.erase(0, 1);
        }
        c.code = normalisecode(code);
        if (c.code.empty()) {
            r.skipped++;
            if (line.find_first_not_of(" \t") != std::string::npos) junk++;
            continue;
        }
        if (r.loaded >= maxcheats) {
            r.toomany = true;
            break;
        }
        if (rest.size() > maxcomment) rest.resize(maxcomment);
        c.comment = std::move(rest);
        read.push_back(std::move(c));
        r.loaded++;
    }
    // Text and not one code: some other file chosen by mistake (a battery file, a ROM). The
    // list stays, or the automatic save would later write the emptied list over the game's
    // own cheat file.
    if (read.empty() && junk > 0) {
        r.nocodes = true;
        return r;
    }
    removeall();
    clear();
    for (tcheat& c : read) decodecode(insert(std::move(c)));
    applyall();
    return r;
}

}  // namespace tov
