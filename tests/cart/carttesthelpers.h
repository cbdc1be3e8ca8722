// Shared fixtures of the cartridge tests: ROM images with a valid header, zip and gzip
// writers, a scratch folder and page-table reads as the CPU does them.
#pragma once
#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "cart/mbcbase.h"
#include "core/cpu.h"
#include "cart/cartoptions.h"
#include "support/testrom.h"

namespace tov::carttest {

// Images with a valid header come from the shared builder.
using testing::makerom;

inline std::vector<uint8_t> deflateraw(const std::vector<uint8_t>& data) {
    z_stream s{};
    deflateInit2(&s, 9, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
    std::vector<uint8_t> out(deflateBound(&s, uLong(data.size())));
    s.next_in = const_cast<Bytef*>(data.data());
    s.avail_in = uInt(data.size());
    s.next_out = out.data();
    s.avail_out = uInt(out.size());
    deflate(&s, Z_FINISH);
    out.resize(s.total_out);
    deflateEnd(&s);
    return out;
}

inline void put16(std::vector<uint8_t>& v, uint32_t x) {
    v.push_back(uint8_t(x));
    v.push_back(uint8_t(x >> 8));
}
inline void put32(std::vector<uint8_t>& v, uint32_t x) {
    put16(v, x & 0xFFFF);
    put16(v, x >> 16);
}

struct tzipentry {
    std::string name;
    std::vector<uint8_t> data;
    bool stored = false;  // method 0 instead of deflate
    // Written as streaming tools do: zero sizes and CRC in the local header (flag bit 3),
    // the real ones in a data descriptor after the data and in the central directory.
    bool streamed = false;
};

// A zip archive: local headers with their data, then the central directory.
inline std::vector<uint8_t> makezip(const std::vector<tzipentry>& entries) {
    std::vector<uint8_t> zip, central;
    uint16_t count = 0;
    for (const auto& e : entries) {
        std::vector<uint8_t> packed = e.stored ? e.data : deflateraw(e.data);
        uint32_t crc = uint32_t(crc32(0, e.data.data(), uInt(e.data.size())));
        uint32_t offset = uint32_t(zip.size());
        auto header = [&](std::vector<uint8_t>& v, bool centralrecord) {
            put32(v, centralrecord ? 0x02014B50 : 0x04034B50);
            if (centralrecord) put16(v, 20);
            put16(v, 20);
            put16(v, e.streamed ? 0x08 : 0);
            put16(v, e.stored ? 0 : 8);
            put16(v, 0);
            put16(v, 0x21);
            const bool blank = e.streamed && !centralrecord;
            put32(v, blank ? 0 : crc);
            put32(v, blank ? 0 : uint32_t(packed.size()));
            put32(v, blank ? 0 : uint32_t(e.data.size()));
            put16(v, uint32_t(e.name.size()));
            put16(v, 0);
            if (centralrecord) {
                put16(v, 0);
                put16(v, 0);
                put16(v, 0);
                put32(v, 0);
                put32(v, offset);
            }
            v.insert(v.end(), e.name.begin(), e.name.end());
        };
        header(zip, false);
        zip.insert(zip.end(), packed.begin(), packed.end());
        if (e.streamed) {
            put32(zip, 0x08074B50);
            put32(zip, crc);
            put32(zip, uint32_t(packed.size()));
            put32(zip, uint32_t(e.data.size()));
        }
        header(central, true);
        count++;
    }
    uint32_t centraloffset = uint32_t(zip.size());
    zip.insert(zip.end(), central.begin(), central.end());
    put32(zip, 0x06054B50);
    put16(zip, 0);
    put16(zip, 0);
    put16(zip, count);
    put16(zip, count);
    put32(zip, uint32_t(central.size()));
    put32(zip, centraloffset);
    put16(zip, 0);
    return zip;
}

struct tgzipoptions {
    std::string name;     // FNAME when not empty
    std::string comment;  // FCOMMENT when not empty
    std::vector<uint8_t> extra;  // FEXTRA when not empty
    bool headercrc = false;      // FHCRC
};

inline std::vector<uint8_t> makegzip(const std::vector<uint8_t>& data, const tgzipoptions& o = {}) {
    std::vector<uint8_t> gz = {0x1F, 0x8B, 0x08, 0, 0, 0, 0, 0, 0, 3};
    uint8_t flags = 0;
    if (!o.extra.empty()) {
        flags |= 0x04;
        put16(gz, uint32_t(o.extra.size()));
        gz.insert(gz.end(), o.extra.begin(), o.extra.end());
    }
    if (!o.name.empty()) {
        flags |= 0x08;
        gz.insert(gz.end(), o.name.begin(), o.name.end());
        gz.push_back(0);
    }
    if (!o.comment.empty()) {
        flags |= 0x10;
        gz.insert(gz.end(), o.comment.begin(), o.comment.end());
        gz.push_back(0);
    }
    if (o.headercrc) {
        flags |= 0x02;
        put16(gz, 0);
    }
    gz[3] = flags;
    std::vector<uint8_t> packed = deflateraw(data);
    gz.insert(gz.end(), packed.begin(), packed.end());
    put32(gz, uint32_t(crc32(0, data.data(), uInt(data.size()))));
    put32(gz, uint32_t(data.size()));
    return gz;
}

// A fresh scratch folder, removed with the object.
class tscratch {
public:
    tscratch() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tovcartXXXXXX").string();
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back(0);
        path = mkdtemp(buffer.data());
    }
    ~tscratch() {
        std::error_code e;
        std::filesystem::remove_all(path, e);
    }
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string write(const std::string& name, const std::vector<uint8_t>& data) const {
        std::ofstream f(file(name), std::ios::binary);
        f.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
        return file(name);
    }
    std::vector<uint8_t> read(const std::string& name) const {
        std::ifstream f(file(name), std::ios::binary);
        return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
    }
    bool exists(const std::string& name) const { return std::filesystem::exists(file(name)); }
    std::string path;
};

// A machine-side view of a cartridge: its page table and CPU-style reads.
struct tbus {
    std::array<tpageentry, 16> pages{};
    uint8_t read(uint16_t address) const {
        const tpageentry& p = pages[address >> 12];
        if (p.data) return p.data[address];
        return p.read ? p.read(p.context, address) : 0xFF;
    }
    bool direct(uint16_t address) const { return pages[address >> 12].data != nullptr; }
    void attach(tcart& cart) { cart.pagetable = pages.data(); }
};

// Options with the accurate cartridge emulation (the stored default is compatibility).
inline tcartoptions accuratesettings() {
    tcartoptions s;
    s.CartMode = 0;
    s.EmulateSramD = true;
    return s;
}

}  // namespace tov::carttest
