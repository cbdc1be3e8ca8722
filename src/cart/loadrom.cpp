#include "cart/loadrom.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>

#include "cart/generic.h"
#include "cart/huc.h"
#include "cart/mbc125.h"
#include "cart/mbc3.h"
#include "cart/mbc7.h"
#include "cart/cartoptions.h"

namespace tov {

namespace {

constexpr size_t minromsize = 0x150;           // up to the end of the header
constexpr size_t maxfilesize = 8 * 1024 * 1024;  // 512 banks of 16 KiB
constexpr size_t minarchivesize = 256;

uint32_t le16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t le32(const uint8_t* p) { return le16(p) | le16(p + 2) << 16; }

std::string upper(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// Position of the extension's "." in the file-name part of `path`, or npos. A dot in a
// folder name is not an extension.
size_t extensiondot(const std::string& path) {
    size_t slash = path.rfind('/');
    size_t dot = path.rfind('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string::npos;
    return dot;
}

// Raw deflate (no zlib or gzip wrapper) of `input` into exactly `expected` bytes.
bool inflateraw(const uint8_t* input, size_t inputsize, uint32_t expected, std::vector<uint8_t>& out) {
    if (expected == 0 || expected > maxunpackedsize) return false;
    // One spare byte shows output beyond the announced size.
    out.assign(size_t(expected) + 1, 0);
    z_stream stream{};
    if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
    stream.next_in = const_cast<Bytef*>(input);
    stream.avail_in = static_cast<uInt>(std::min<size_t>(inputsize, 0xFFFFFFFFu));
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    int result;
    do {
        result = inflate(&stream, Z_NO_FLUSH);
    } while (result == Z_OK);
    uLong produced = stream.total_out;
    inflateEnd(&stream);
    // A stream that ends early, runs out of input or goes beyond the size is damaged.
    if (result != Z_STREAM_END || produced != expected) return false;
    out.resize(expected);
    return true;
}

bool unpackgzip(const std::vector<uint8_t>& file, std::vector<uint8_t>& rom) {
    // RFC 1952 member: 10-byte header, optional fields, deflate data, CRC-32 and size.
    const size_t size = file.size();
    if (size < 18) return false;
    const uint8_t flags = file[3];
    size_t pos = 10;
    if (flags & 0x04) {
        if (pos + 2 > size) return false;
        pos += 2 + le16(&file[pos]);
    }
    for (uint8_t bit : {uint8_t(0x08), uint8_t(0x10)}) {
        if (!(flags & bit)) continue;
        while (pos < size && file[pos] != 0) pos++;
        pos++;  // the terminating zero
    }
    if (flags & 0x02) pos += 2;
    if (pos > size - 8) return false;
    uint32_t expected = le32(&file[size - 4]);
    if (!inflateraw(&file[pos], size - 8 - pos, expected, rom)) return false;
    uint32_t crc = le32(&file[size - 8]);
    return crc32(0, rom.data(), static_cast<uInt>(rom.size())) == crc;
}

// What the central directory says of one entry: zip tools that stream their output write
// zero sizes and CRC into the local header (general-purpose flag bit 3) and give the real
// ones in a data descriptor and in the central directory.
struct tcentralrecord {
    uint32_t crc, packed, unpacked;
};

// Every central directory record, by the offset of the local header it names (of several
// naming one header, the first in the file). Read once per archive: looking each streamed
// entry up by a scan of the whole file took time quadratic in its size (an 8 MiB file of
// streamed headers kept the loader busy for minutes).
std::map<uint32_t, tcentralrecord> centralrecords(const std::vector<uint8_t>& file) {
    std::map<uint32_t, tcentralrecord> records;
    const size_t size = file.size();
    for (size_t pos = 0; pos + 46 <= size; pos++) {
        const uint8_t* c = &file[pos];
        if (c[0] != 'P' || c[1] != 'K' || c[2] != 1 || c[3] != 2) continue;
        records.emplace(le32(c + 42), tcentralrecord{le32(c + 16), le32(c + 20), le32(c + 24)});
    }
    return records;
}

bool unpackzip(const std::vector<uint8_t>& file, std::vector<uint8_t>& rom) {
    // Scan for local headers of deflated entries; of several ROM entries the last wins. The
    // full signature is checked so that a central directory record (whose offset 8 holds
    // the flags, 8 for a streamed entry) is never taken for a local header.
    const size_t size = file.size();
    bool found = false;
    size_t founddata = 0;
    uint32_t foundpacked = 0, foundsize = 0, foundcrc = 0;
    std::optional<std::map<uint32_t, tcentralrecord>> central;  // read at the first streamed entry
    size_t pos = 0;
    while (pos + 30 < size) {
        const uint8_t* h = &file[pos];
        if (h[0] != 'P' || h[1] != 'K' || h[2] != 3 || h[3] != 4 || le16(h + 8) != 8) {
            pos++;
            continue;
        }
        uint32_t namelength = le16(h + 26), extralength = le16(h + 28);
        uint32_t packed = le32(h + 18), unpacked = le32(h + 22), crc = le32(h + 14);
        if ((le16(h + 6) & 0x08) && packed == 0 && unpacked == 0) {
            if (!central) central = centralrecords(file);
            auto record = central->find(uint32_t(pos));
            if (record != central->end()) {
                crc = record->second.crc;
                packed = record->second.packed;
                unpacked = record->second.unpacked;
            }
        }
        if (namelength > 255 || pos + 30 + namelength > size) {
            pos++;
            continue;
        }
        std::string name = upper(std::string(reinterpret_cast<const char*>(h + 30), namelength));
        size_t data = pos + 30 + size_t(namelength) + extralength;
        bool isrom = false;
        for (const char* ext : {".GB", ".GBC", ".GMB", ".SGB", ".CGB"})
            if (name.find(ext) != std::string::npos) isrom = true;
        if (isrom) {
            found = true;
            founddata = data;
            foundpacked = packed;
            foundsize = unpacked;
            foundcrc = crc;
        }
        pos = data + packed;  // 64-bit size_t: cannot wrap
    }
    if (!found || founddata >= size) return false;
    size_t available = size - founddata;
    if (foundpacked != 0) available = std::min<size_t>(available, foundpacked);
    if (!inflateraw(&file[founddata], available, foundsize, rom)) return false;
    return crc32(0, rom.data(), static_cast<uInt>(rom.size())) == foundcrc;
}

std::string joinlines(const std::vector<std::string>& lines) {
    std::string text;
    for (size_t i = 0; i < lines.size(); i++) {
        if (i) text += "\r\n";
        text += lines[i];
    }
    return text;
}

enum class tmapper { none, mbc1, mbc2, mbc3, mbc3timer, mbc5, mbc5rumble, mbc7, huc1, huc3, generic };

struct tcarttype {
    tmapper mapper;
    bool ram, battery;
};

bool carttypeinfo(uint8_t type, tcarttype& info) {
    switch (type) {
    case 0x00: info = {tmapper::none, false, false}; return true;
    case 0x01: info = {tmapper::mbc1, false, false}; return true;
    case 0x02: info = {tmapper::mbc1, true, false}; return true;
    case 0x03: info = {tmapper::mbc1, true, true}; return true;
    case 0x05: info = {tmapper::mbc2, true, false}; return true;
    case 0x06: info = {tmapper::mbc2, true, true}; return true;
    case 0x08: info = {tmapper::none, true, false}; return true;
    case 0x09: info = {tmapper::none, true, true}; return true;
    case 0x0F: info = {tmapper::mbc3timer, false, true}; return true;
    case 0x10: info = {tmapper::mbc3timer, true, true}; return true;
    case 0x11: info = {tmapper::mbc3, false, false}; return true;
    case 0x12: info = {tmapper::mbc3, true, false}; return true;
    case 0x13: info = {tmapper::mbc3, true, true}; return true;
    case 0x19: info = {tmapper::mbc5, false, false}; return true;
    case 0x1A: info = {tmapper::mbc5, true, false}; return true;
    case 0x1B: info = {tmapper::mbc5, true, true}; return true;
    case 0x1C: info = {tmapper::mbc5rumble, false, false}; return true;
    case 0x1D: info = {tmapper::mbc5rumble, true, false}; return true;
    case 0x1E: info = {tmapper::mbc5rumble, true, true}; return true;
    case 0x22: info = {tmapper::mbc7, true, true}; return true;
    case 0xFE: info = {tmapper::huc3, true, true}; return true;
    case 0xFF: info = {tmapper::huc1, true, true}; return true;
    }
    info = {tmapper::generic, false, false};
    return false;
}

// Rotating hash of the logo bitmap at 0x104-0x133; the console refuses any other logo.
uint32_t logohash(const uint8_t* rom) {
    uint32_t h = 0;
    for (int i = 0x104; i <= 0x133; i++) {
        h ^= rom[i];
        h = (h << 3) | (h >> 29);
    }
    return h;
}

}  // namespace

int32_t ramsizefromheader(const uint8_t* bytes, size_t size) {
    if (!bytes || size <= 0x149) return -1;
    switch (bytes[0x149]) {
    case 0: return 0;
    case 1: return 2048;
    case 2: return 8192;
    case 3: return 32768;
    case 4: return 131072;
    case 5: return 65536;
    }
    return -1;
}

bool unpackarchive(const std::vector<uint8_t>& archive, std::vector<uint8_t>& rom) {
    rom.clear();
    bool ok;
    if (archive.size() >= 3 && archive[0] == 0x1F && archive[1] == 0x8B && archive[2] == 0x08)
        ok = unpackgzip(archive, rom);
    else
        ok = unpackzip(archive, rom);
    if (!ok) rom.clear();
    return ok;
}

std::unique_ptr<tcart> makecart(std::vector<uint8_t> bytes, const tcartoptions& options, std::string& message,
                                thostclock& clock) {
    std::vector<std::string> lines;
    auto fail = [&](const char* text) {
        lines.push_back(text);
        message = joinlines(lines);
        return std::unique_ptr<tcart>();
    };
    const size_t size = bytes.size();
    if (size < minromsize) return fail("Rom too small to contain a complete header.");
    const uint8_t* rom = bytes.data();

    uint8_t sizecode = rom[0x148];
    int64_t banks;
    if (sizecode <= 8)
        banks = 2 << sizecode;
    else if (sizecode == 0x52)
        banks = 72;
    else if (sizecode == 0x53)
        banks = 80;
    else if (sizecode == 0x54)
        banks = 96;
    else
        return fail("Unsupported ROM size");
    if (banks * 16384 != int64_t(size)) lines.push_back("Rom size in header does not match actual rom size.");

    bool refused = false;  // a real console would not start this cartridge
    uint32_t sum = 25;
    for (int i = 0x134; i <= 0x14D; i++) sum += rom[i];
    if (sum & 0xFF) {
        lines.push_back("Header checksum fails.");
        refused = true;
    }
    if (logohash(rom) != 0xEB65AF85u) {
        lines.push_back("Logo check fails.");
        refused = true;
    }
    uint32_t global = 0;
    for (size_t i = 0; i < size; i++)
        if (i != 0x14E && i != 0x14F) global += rom[i];
    if ((global & 0xFFFF) != (uint32_t(rom[0x14E]) << 8 | rom[0x14F])) lines.push_back("ROM checksum fails.");

    uint8_t type = rom[0x147];
    tcarttype info;
    if (!carttypeinfo(type, info)) {
        char text[40];
        std::snprintf(text, sizeof text, "Unsupported cart type: %02X", unsigned(type));
        lines.push_back(text);
    }
    int32_t ramsize = 0;
    if (info.ram) {
        ramsize = ramsizefromheader(rom, size);
        if (ramsize < 0) return fail("Unsupported RAM size");
    }

    if (options.CartMode == 1) {
        // The generic mapper takes 0x4000-0x5FFF as a RAM bank until the game writes
        // 0x6000; an MBC1 game beyond 512 KiB selects its upper ROM banks there without
        // ever writing 0x6000, so it keeps the real controller.
        bool bigmbc1 = info.mapper == tmapper::mbc1 && banks > 32;
        bool special = info.mapper == tmapper::huc1 || info.mapper == tmapper::huc3 ||
                       info.mapper == tmapper::mbc5rumble || info.mapper == tmapper::mbc3timer || bigmbc1;
        if (!special) {
            ramsize = std::max<int32_t>(ramsize, 131072);
            if (info.mapper == tmapper::none || info.mapper == tmapper::mbc1 || info.mapper == tmapper::mbc2)
                info.mapper = tmapper::generic;
        }
    }

    std::unique_ptr<tcart> cart;
    const tcartoptions* s = &options;
    bool battery = info.battery;
    switch (info.mapper) {
    case tmapper::none: cart = std::make_unique<tcartmbcbase>(std::move(bytes), ramsize, battery, s, clock); break;
    case tmapper::mbc1: cart = std::make_unique<tcartmbc1>(std::move(bytes), ramsize, battery, s, clock); break;
    case tmapper::mbc2: cart = std::make_unique<tcartmbc2>(std::move(bytes), ramsize, battery, s, clock); break;
    case tmapper::mbc3: cart = std::make_unique<tcartmbc3>(std::move(bytes), ramsize, battery, s, clock); break;
    case tmapper::mbc3timer:
        cart = std::make_unique<tcartmbc3timer>(std::move(bytes), ramsize, battery, s, clock);
        break;
    case tmapper::mbc5: cart = std::make_unique<tcartmbc5>(std::move(bytes), ramsize, battery, s, clock); break;
    case tmapper::mbc5rumble:
        cart = std::make_unique<tcartmbc5rumble>(std::move(bytes), ramsize, battery, s, clock);
        break;
    case tmapper::mbc7: cart = std::make_unique<tcartmbc7>(std::move(bytes), ramsize, battery, s, clock); break;
    case tmapper::huc1: cart = std::make_unique<tcarthuc1>(std::move(bytes), ramsize, battery, s, clock); break;
    case tmapper::huc3: cart = std::make_unique<tcarthuc3>(std::move(bytes), ramsize, battery, s, clock); break;
    case tmapper::generic:
        cart = std::make_unique<tcartgeneric>(std::move(bytes), ramsize, battery, s, clock);
        break;
    }

    if (refused)
        lines.push_back("This rom would not work on a real gameboy.");
    else if (!lines.empty())
        lines.push_back("A real gameboy wouldn't care.");
    message = joinlines(lines);
    return cart;
}

std::unique_ptr<tcart> loadromfile(const std::string& path_, const tcartoptions& options, std::string& message,
                                   thostclock& clock) {
    message.clear();
    if (path_.empty()) {
        message = "no filename given";
        return nullptr;
    }
    std::string path = path_;
    size_t dot = extensiondot(path);
    if (dot == std::string::npos) {
        path += ".gb";
        dot = extensiondot(path);
    }

    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        message = "Cannot open file";
        return nullptr;
    }
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        message = "Cannot open file";
        return nullptr;
    }
    file.seekg(0, std::ios::end);
    std::streamoff length = file.tellg();
    file.seekg(0, std::ios::beg);
    if (length < 0) {
        message = "Cannot open file";
        return nullptr;
    }

    std::string extension = upper(path.substr(dot, 80));
    bool archive = extension.find('Z') != std::string::npos;
    size_t minimum = archive ? minarchivesize : minromsize;
    if (length < std::streamoff(minimum) || length > std::streamoff(maxfilesize)) {
        message = "Bad file size";
        return nullptr;
    }
    std::vector<uint8_t> bytes(static_cast<size_t>(length));
    file.read(reinterpret_cast<char*>(bytes.data()), length);
    if (file.gcount() != length) {
        message = "Cannot open file";
        return nullptr;
    }

    if (archive) {
        std::vector<uint8_t> rom;
        if (!unpackarchive(bytes, rom)) {
            message = "Could not unzip gameboy rom from archive";
            return nullptr;
        }
        bytes = std::move(rom);
    }
    return makecart(std::move(bytes), options, message, clock);
}

std::string batterybasepath(const std::string& rompath, const std::string& saveramdir,
                            const std::string& programdir) {
    std::string base;
    if (saveramdir.empty()) {
        base = rompath;
    } else {
        size_t slash = rompath.rfind('/');
        base = saveramdir;
        if (base.back() != '/') base += '/';
        base += slash == std::string::npos ? rompath : rompath.substr(slash + 1);
    }
    size_t dot = extensiondot(base);
    if (dot != std::string::npos) base.erase(dot);
    if (!base.empty() && base[0] != '/' && !programdir.empty()) {
        std::string folder = programdir;
        if (folder.back() != '/') folder += '/';
        base = folder + base;
    }
    return base;
}

std::string rominfotext(const tcart& cart, const std::string& rompath) {
    if (!cart.isbanked()) return "No game is loaded.";
    const uint8_t* rom = cart.romimagedata();
    auto header = [&](int address) -> uint8_t {
        return rom && address < cart.romimagesize() ? rom[address] : 0xFF;
    };
    // The title leaves out (rather than stops at) zero bytes and bytes with bit 7 set.
    std::string title;
    for (int i = 0x134; i <= 0x143; i++) {
        uint8_t c = header(i);
        if (c != 0 && !(c & 0x80)) title += char(c);
    }
    std::string text;
    text += "file: " + rompath + "\n";
    text += "name: " + title + "\n";
    text += "cart type: " + cart.mappername() + "\n";
    text += "ROM size: " + std::to_string(cart.romimagesize()) + " bytes\n";
    text += "RAM size: " + std::to_string(cart.ramimagesize()) + " bytes\n";
    text += std::string("battery: ") + (cart.hasbattery() ? "Yes" : "No") + "\n";
    uint8_t cgb = header(0x143);
    if ((cgb & 0xC0) == 0xC0)
        text += "GBC exclusive";
    else if (cgb & 0x80)
        text += "GBC support\n";
    if (header(0x146) == 3 && header(0x14B) == 0x33) text += "SGB support\n";
    return text;
}

}  // namespace tov
