#include "state/savestate.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>

#include "core/gb.h"
#include "state/machinestate.h"

namespace tov {

// ---- The typed view of one chunk ----

namespace {
uint32_t littleendian(const uint8_t* p, int n) {
    uint32_t v = 0;
    for (int i = 0; i < n; i++) v |= uint32_t(p[i]) << (8 * i);
    return v;
}
}  // namespace

bool tloadstate::asboolean() const {
    if (size != 1) throw tstateerror(wrongsizemessage(tchunktype::boolean, 1));
    return data[0] != 0;
}

uint8_t tloadstate::asbyte() const {
    if (size != 1) throw tstateerror(wrongsizemessage(tchunktype::byte, 1));
    return data[0];
}

uint16_t tloadstate::asword() const {
    if (size != 2) throw tstateerror(wrongsizemessage(tchunktype::word, 2));
    return uint16_t(littleendian(data, 2));
}

int32_t tloadstate::aslongint() const {
    if (size != 4) throw tstateerror(wrongsizemessage(tchunktype::longint, 4));
    return int32_t(littleendian(data, 4));
}

void tloadstate::asblock(void* destination, int32_t n) const {
    if (size != n) throw tstateerror(wrongsizemessage(tchunktype::block, n));
    if (n > 0) std::memcpy(destination, data, size_t(n));
}

std::string tloadstate::asstring() const {
    return size > 0 ? std::string(reinterpret_cast<const char*>(data), size_t(size)) : std::string();
}

// ---- Writing ----

void writechunk(std::vector<uint8_t>& file, std::string_view name, int32_t size, const void* data) {
    file.insert(file.end(), name.begin(), name.end());
    file.push_back(0);
    for (int i = 0; i < 4; i++) file.push_back(uint8_t(uint32_t(size) >> (8 * i)));
    if (size >= 1) {
        const auto* p = static_cast<const uint8_t*>(data);
        file.insert(file.end(), p, p + size);
    }
}

void writechunkint(std::vector<uint8_t>& file, std::string_view name, int32_t value) {
    uint8_t b[4];
    for (int i = 0; i < 4; i++) b[i] = uint8_t(uint32_t(value) >> (8 * i));
    writechunk(file, name, 4, b);
}

void tfilechunkwriter::chunk(const tchunk& c) {
    if (!c.when.written) return;
    size_t namelength = std::strlen(c.name);
    size_t at = file.size();
    int32_t size = c.size > 0 ? c.size : 0;
    file.resize(at + namelength + 5 + size_t(size));
    uint8_t* p = file.data() + at;
    std::memcpy(p, c.name, namelength);
    p += namelength;
    *p++ = 0;
    for (int i = 0; i < 4; i++) *p++ = uint8_t(uint32_t(size) >> (8 * i));
    if (size > 0) c.save(c.context, p);
}

void writemachinechunks(std::vector<uint8_t>& file, tgb& gb) {
    tfilechunkwriter writer(file);
    machinestatefields(gb, writer);
}

// ---- Reading the container ----

std::vector<tloadstate> splitstatechunks(const std::vector<uint8_t>& bytes) {
    std::vector<tloadstate> chunks;
    const size_t filesize = bytes.size();
    size_t pos = 0;
    do {
        tloadstate c;
        const void* zero = filesize > pos ? std::memchr(bytes.data() + pos, 0, filesize - pos) : nullptr;
        if (!zero) throw tstateerror("reached end of file reading chunk name");
        size_t end = size_t(static_cast<const uint8_t*>(zero) - bytes.data());
        c.name = std::string_view(reinterpret_cast<const char*>(bytes.data() + pos), end - pos);
        pos = end + 1;
        if (pos + 4 > filesize) throw tstateerror("reached end of file while reading chunk size");
        c.size = int32_t(littleendian(bytes.data() + pos, 4));
        pos += 4;
        if (c.size < 0) throw tstateerror("negative chunk size");
        if (pos + size_t(c.size) > filesize) throw tstateerror("reached end of file while reading chunk data");
        c.data = bytes.data() + pos;
        pos += size_t(c.size);
        chunks.push_back(c);
    } while (pos != filesize);
    return chunks;
}

bool islegacystate(const std::vector<uint8_t>& bytes) {
    // Shorter files cannot be legacy states; the chunk reader names what is missing.
    if (bytes.size() < 4) return false;
    return int32_t(littleendian(bytes.data(), 4)) <= 256;
}

// ---- The older fixed layout ----

namespace {
const char* const readpastend = "read beyond end of file";
constexpr size_t legacyregisters = 256, legacyblocks = 320;
}  // namespace

tlegacystate readlegacyheader(const std::vector<uint8_t>& bytes) {
    if (bytes.size() < legacyblocks) throw tstateerror(readpastend);
    tlegacystate s;
    const uint8_t* b = bytes.data();
    // The name's length comes first; the registers start at 256 whatever it says.
    int32_t n = int32_t(littleendian(b, 4));
    if (n > 0) s.romname.assign(reinterpret_cast<const char*>(b + 4), size_t(n > 252 ? 252 : n));
    const uint8_t* r = b + legacyregisters;
    s.af = uint16_t(littleendian(r, 2));
    s.bc = uint16_t(littleendian(r + 2, 2));
    s.de = uint16_t(littleendian(r + 4, 2));
    s.hl = uint16_t(littleendian(r + 6, 2));
    s.sp = uint16_t(littleendian(r + 8, 2));
    s.pc = uint16_t(littleendian(r + 10, 2));
    s.ime = b[268] != 0;
    s.halted = b[269] != 0;
    s.rombank = uint16_t(littleendian(b + 270, 2));
    s.rambank = uint16_t(littleendian(b + 272, 2));
    s.gbcmode = (b[274] & 1) != 0;
    s.sgbmode = (b[274] & 2) != 0;
    s.doublespeed = b[275] != 0;
    return s;
}

void readlegacyblocks(const std::vector<uint8_t>& bytes, tlegacystate& s, int32_t sramsize) {
    size_t pos = legacyblocks;
    auto take = [&](size_t n) -> const uint8_t* {
        if (pos + n > bytes.size()) throw tstateerror(readpastend);
        const uint8_t* p = bytes.data() + pos;
        pos += n;
        return p;
    };
    const bool gbc = s.gbcmode;
    s.io = take(gbc ? 128 : 80);
    s.oam = take(160);
    s.palettes = gbc ? take(128) : nullptr;
    s.vram = take(gbc ? 16384 : 8192);
    s.hram = take(127);
    s.ie = *take(1);
    s.wram = take(gbc ? 32768 : 8192);
    s.sramsize = sramsize > 0 ? sramsize : 0;
    s.sram = s.sramsize > 0 ? take(size_t(s.sramsize)) : nullptr;
    s.sgb = s.sgbmode ? take(legacysgbsize) : nullptr;
}

// ---- Files ----

std::vector<uint8_t> readstatefile(const std::string& path) {
    std::ifstream f(path, std::ios::binary | std::ios::ate);
    if (!f) throw tstateerror("could not open snapshot file: " + path);
    // One byte past the limit is enough to tell an oversized file.
    const std::streamoff length = f.tellg();
    const size_t wanted = length < 0 ? size_t(maxstatefilesize) + 1
                                     : size_t(std::min<std::streamoff>(length, std::streamoff(maxstatefilesize) + 1));
    std::vector<uint8_t> bytes(wanted);
    f.seekg(0);
    f.read(reinterpret_cast<char*>(bytes.data()), std::streamsize(bytes.size()));
    if (f.bad()) throw tstateerror("could not open snapshot file: " + path);
    bytes.resize(size_t(f.gcount()));
    return bytes;
}

void writestatefile(const std::string& path, const std::vector<uint8_t>& bytes) {
    // The new state goes beside the old one and replaces it only once it is complete, so
    // a full disk or a crash mid-write never costs the player the previous state.
    const std::string temp = path + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) throw tstateerror("unable to save file, check the path");
    bool written = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    written = std::fflush(f) == 0 && written;
    written = std::fclose(f) == 0 && written;
    if (!written) {
        std::remove(temp.c_str());
        throw tstateerror("disk write error");
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        throw tstateerror("unable to save file, check the path");
    }
}

}  // namespace tov
