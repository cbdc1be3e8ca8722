#include "debugger/editing.h"

#include <algorithm>
#include <cstdio>

#include "core/gb.h"
#include "core/safefile.h"

namespace tov {

void tdebugeditor::poke(uint16_t a, uint8_t v) {
    tcart& cart = gb.cartridge();
    const bool controller = cart.isbanked();
    if (a < 0x8000) {
        if (!controller) return;
        const int64_t offset = a < 0x4000 ? int64_t(a) : int64_t(view.rom) * 0x4000 + (a - 0x4000);
        uint8_t* rom = cart.romimagedata();
        if (!rom || view.rom < 0 || offset >= cart.romimagesize()) return;
        rom[offset] = v;
        rommodified = true;
    } else if (a < 0xA000) {
        const int bank = view.vram & 1;
        gb.vram[bank * 0x2000 + (a & 0x1FFF)] = v;
        // The renderer keeps decoded tiles: it is told, as for a store through the bus.
        gb.renderer().vramwrite(bank, a & 0x1FFF);
    } else if (a < 0xC000) {
        if (!controller) return;
        uint8_t* ram = cart.ramdata();
        const int64_t offset = int64_t(view.ram) * 0x2000 + (a & 0x1FFF);
        if (ram && view.ram >= 0 && offset < cart.ramimagesize()) ram[offset] = v;
    } else if (a < 0xD000 || (a >= 0xE000 && a < 0xF000)) {
        gb.wram[a & 0xFFF] = v;
    } else if (a < 0xFE00) {
        // 0xF000-0xFDFF is the echo of 0xD000-0xDDFF.
        gb.wram[(view.wram & 7) * 0x1000 + (a & 0xFFF)] = v;
    } else {
        gb.writebyte(a, v);
    }
}

void tdebugeditor::pokebytes(uint16_t address, const std::vector<uint8_t>& bytes) {
    for (uint8_t b : bytes) poke(address++, b);
}

namespace {

// The bytes an insert or delete moves: at most the whole 16-bit address space. A larger size
// (the field takes up to 2^31 - 1) would only go round it again, for billions of pokes.
uint32_t movedbytes(uint32_t insertsize) { return std::min<uint32_t>(insertsize, 0x10000); }

}  // namespace

void tdebugeditor::insertbyte(uint16_t a) {
    const uint32_t size = movedbytes(insertsize);
    if (size == 0) return;
    // From the top down, each byte takes the one below it.
    for (uint32_t i = size - 1; i >= 1; i--) poke(uint16_t(a + i), read(uint16_t(a + i - 1)));
    poke(a, 0);
}

void tdebugeditor::deletebyte(uint16_t a) {
    const uint32_t size = movedbytes(insertsize);
    if (size == 0) return;
    for (uint32_t i = 0; i + 1 < size; i++) poke(uint16_t(a + i), read(uint16_t(a + i + 1)));
    poke(uint16_t(a + size - 1), 0);
}

std::string tdebugeditor::copytext(uint16_t address, uint32_t count) const {
    std::string s;
    s.reserve(size_t(count) * 2);
    char b[4];
    for (uint32_t i = 0; i < count; i++) {
        std::snprintf(b, sizeof b, "%02X", read(uint16_t(address + i)));
        s += b;
    }
    return s;
}

std::vector<uint8_t> tdebugeditor::dumpbytes(uint16_t start, uint32_t size) const {
    if (size > 0x10000) size = 0x10000;
    std::vector<uint8_t> out(size);
    for (uint32_t i = 0; i < size; i++) out[i] = read(uint16_t(start + i));
    return out;
}

std::vector<uint8_t> tdebugeditor::romimage() const {
    const tcart& cart = gb.cartridge();
    if (!cart.isbanked() || !cart.romimagedata() || cart.romimagesize() <= 0) return {};
    return std::vector<uint8_t>(cart.romimagedata(), cart.romimagedata() + cart.romimagesize());
}

bool tdebugeditor::saverom(const std::string& path) {
    if (beforeromread) beforeromread();
    const std::vector<uint8_t> image = romimage();
    if (afterromread) afterromread();
    if (image.empty() || !writeuserfile(path, image)) return false;
    rommodified = false;
    return true;
}

bool tdebugeditor::mayloseromchanges(const std::function<bool(const std::string&)>& confirm) {
    if (!rommodified) return true;
    if (!confirm || !confirm(romlossquestion)) return false;
    rommodified = false;
    return true;
}

std::string withdefaultextension(const std::string& path, const std::string& extension) {
    const size_t slash = path.find_last_of("/\\");
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    return name.find('.') == std::string::npos ? path + extension : path;
}

bool writeuserfile(const std::string& path, const std::vector<uint8_t>& bytes) {
    return replacefile(path, bytes.data(), bytes.size());
}

}  // namespace tov
