// Reading ROM files and archives, header checks, mapper choice and the ROM information text.
#include <gtest/gtest.h>

#include <cstring>

#include "cart/loadrom.h"
#include "cart/md5.h"
#include "cart/mbc3.h"
#include "carttesthelpers.h"

namespace tov {
namespace {

using carttest::makegzip;
using carttest::makerom;
using carttest::makezip;
using carttest::tscratch;

constexpr size_t KiB = 1024;
const char* const unzipfailed = "Could not unzip gameboy rom from archive";

struct tload {
    std::unique_ptr<tcart> cart;
    std::string message;
    tcartmbcbase* banked() const { return dynamic_cast<tcartmbcbase*>(cart.get()); }
};

tload loadfile(const std::string& path, tcartoptions settings = carttest::accuratesettings()) {
    tload r;
    r.cart = loadromfile(path, settings, r.message);
    return r;
}

tload build(std::vector<uint8_t> rom, tcartoptions& settings) {
    tload r;
    r.cart = makecart(std::move(rom), settings, r.message);
    return r;
}

tload build(std::vector<uint8_t> rom) {
    tcartoptions settings = carttest::accuratesettings();
    return build(std::move(rom), settings);
}

void setu32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    for (int i = 0; i < 4; i++) v[at + size_t(i)] = uint8_t(x >> (8 * i));
}

// ---- Plain files

TEST(RomFile, FailuresNameTheirCause) {
    tscratch dir;
    EXPECT_EQ(loadfile("").message, "no filename given");
    EXPECT_EQ(loadfile(dir.file("missing.gb")).message, "Cannot open file");
    EXPECT_EQ(loadfile(dir.path).message, "Cannot open file");  // a folder
    for (size_t size : {size_t(0), size_t(335), size_t(8 * 1024 * 1024 + 1)}) {
        tload r = loadfile(dir.write("size.gb", std::vector<uint8_t>(size, 0)));
        EXPECT_EQ(r.cart, nullptr) << size;
        EXPECT_EQ(r.message, "Bad file size") << size;
    }
    EXPECT_EQ(loadfile(dir.write("small.zip", std::vector<uint8_t>(255, 0))).message, "Bad file size");
}

TEST(RomFile, SmallestAndLargestImagesLoad) {
    tscratch dir;
    tload smallest = loadfile(dir.write("min.gb", makerom(336)));
    ASSERT_NE(smallest.cart, nullptr);
    EXPECT_EQ(smallest.banked()->romsize, 336);
    EXPECT_EQ(smallest.message, "Rom size in header does not match actual rom size.\r\nA real gameboy wouldn't care.");
    tload largest = loadfile(dir.write("max.gb", makerom(8192 * KiB, 0x19)));
    ASSERT_NE(largest.cart, nullptr);
    EXPECT_EQ(largest.message, "");
    EXPECT_EQ(largest.cart->mappername(), "MBC5");
}

TEST(RomFile, NameWithoutDotGetsGbAppended) {
    tscratch dir;
    dir.write("game.gb", makerom(32 * KiB));
    tload r = loadfile(dir.file("game"));
    ASSERT_NE(r.cart, nullptr) << r.message;
    // A dot in a folder name is not an extension.
    std::filesystem::create_directory(dir.file("v1.2"));
    dir.write("v1.2/game.gb", makerom(32 * KiB));
    EXPECT_NE(loadfile(dir.file("v1.2/game")).cart, nullptr);
}

TEST(RomFile, ExtensionWithZMeansArchive) {
    tscratch dir;
    auto rom = makerom(64 * KiB, 0x01);
    EXPECT_NE(loadfile(dir.write("a.GZ", makegzip(rom))).cart, nullptr);
    EXPECT_NE(loadfile(dir.write("a.gbz", makezip({{"a.gb", rom}}))).cart, nullptr);
    // Without a Z the archive is taken as an image and fails its header checks.
    tload plain = loadfile(dir.write("a.bin", makezip({{"a.gb", rom}})));
    EXPECT_TRUE(plain.cart == nullptr || plain.banked()->romimage() != rom);
}

// ---- Zip archives

TEST(ZipArchive, DeflatedRomEntryLoads) {
    tscratch dir;
    auto rom = makerom(128 * KiB, 0x03, 2);
    tload r = loadfile(dir.write("g.zip", makezip({{"readme.txt", std::vector<uint8_t>(500, 'x')}, {"game.gbc", rom}})));
    ASSERT_NE(r.cart, nullptr) << r.message;
    EXPECT_EQ(r.message, "");
    EXPECT_EQ(r.banked()->romimage(), rom);
}

TEST(ZipArchive, LastOfSeveralRomEntriesWins) {
    tscratch dir;
    auto first = makerom(32 * KiB, 0, 0, -1, "FIRST");
    auto second = makerom(32 * KiB, 0, 0, -1, "SECOND");
    tload r = loadfile(dir.write("two.zip", makezip({{"one.gb", first}, {"two.sgb", second}})));
    ASSERT_NE(r.cart, nullptr);
    EXPECT_EQ(r.banked()->romimage(), second);
}

// Streaming zip tools leave the local header's sizes at zero; the central directory has them.
// A streamed entry among normal ones, and two streamed ROMs (the last one still wins).
TEST(ZipArchive, StreamedEntriesTakeTheirSizesFromTheCentralDirectory) {
    tscratch dir;
    auto first = makerom(32 * KiB, 0, 0, -1, "FIRST");
    auto second = makerom(1024 * KiB, 0x01, 0, -1, "SECOND");
    carttest::tzipentry text{"readme.txt", std::vector<uint8_t>(300, 'x')};
    text.streamed = true;
    carttest::tzipentry a{"a.gb", first}, b{"b.gb", second};
    a.streamed = b.streamed = true;
    tload one = loadfile(dir.write("one.zip", makezip({text, a})));
    ASSERT_NE(one.cart, nullptr) << one.message;
    EXPECT_EQ(one.banked()->romimage(), first);
    tload two = loadfile(dir.write("two.zip", makezip({a, b})));
    ASSERT_NE(two.cart, nullptr) << two.message;
    EXPECT_EQ(two.banked()->romimage(), second);
    // Without its central directory a streamed entry has no size and fails as before.
    std::vector<uint8_t> cut = makezip({a});
    cut.resize(cut.size() - 22 - 46 - 4);
    EXPECT_EQ(loadfile(dir.write("cut.zip", cut)).message, unzipfailed);
}

TEST(ZipArchive, EntriesThatCannotBeUsedFail) {
    tscratch dir;
    auto rom = makerom(32 * KiB);
    EXPECT_EQ(loadfile(dir.write("stored.zip", makezip({{"g.gb", rom, true}}))).message, unzipfailed);
    EXPECT_EQ(loadfile(dir.write("norom.zip", makezip({{"g.txt", rom}}))).message, unzipfailed);
    EXPECT_EQ(loadfile(dir.write("junk.zip", std::vector<uint8_t>(4096, 'P'))).message, unzipfailed);
}

TEST(ZipArchive, DamagedDataFails) {
    tscratch dir;
    auto rom = makerom(64 * KiB);
    auto zip = makezip({{"g.gb", rom}});
    auto corrupt = zip;
    for (size_t i = 100; i < 160; i++) corrupt[i] ^= 0x5A;
    EXPECT_EQ(loadfile(dir.write("c.zip", corrupt)).message, unzipfailed);
    auto truncated = std::vector<uint8_t>(zip.begin(), zip.begin() + std::ptrdiff_t(zip.size() / 2));
    EXPECT_EQ(loadfile(dir.write("t.zip", truncated)).message, unzipfailed);
    auto badcrc = zip;
    badcrc[14] ^= 1;
    EXPECT_EQ(loadfile(dir.write("crc.zip", badcrc)).message, unzipfailed);
}

TEST(ZipArchive, AnnouncedSizeMustMatchTheData) {
    tscratch dir;
    auto zip = makezip({{"g.gb", makerom(64 * KiB)}});
    for (uint32_t size : {0u, 64u * 1024 - 1, 64u * 1024 + 1, 0x7FFFFFFFu, 0xFFFFFFF0u}) {
        auto patched = zip;
        setu32(patched, 22, size);
        EXPECT_EQ(loadfile(dir.write("s.zip", patched)).message, unzipfailed) << size;
    }
}

TEST(ZipArchive, HeaderFieldsPointingOutsideTheFileAreSafe) {
    tscratch dir;
    auto zip = makezip({{"g.gb", makerom(32 * KiB)}});
    auto longname = zip;
    longname[26] = 0xFF;  // name length 255 runs into the data
    longname[27] = 0;
    EXPECT_EQ(loadfile(dir.write("n.zip", longname)).message, unzipfailed);
    auto hugepacked = zip;
    setu32(hugepacked, 18, 0xFFFFFFFFu);
    EXPECT_NE(loadfile(dir.write("p.zip", hugepacked)).cart, nullptr);  // data is taken up to the file end
    // A header at the very end whose name would run past the buffer.
    std::vector<uint8_t> tail(300, 0);
    tail[260] = 'P';
    tail[261] = 'K';
    tail[268] = 8;
    tail[286] = 200;
    EXPECT_EQ(loadfile(dir.write("e.zip", tail)).message, unzipfailed);
}

// ---- Gzip files

TEST(GzipArchive, OptionalHeaderFieldsAreSkipped) {
    tscratch dir;
    auto rom = makerom(64 * KiB, 0x1B, 3);
    carttest::tgzipoptions all;
    all.name = "game.gb";
    all.comment = "a comment";
    all.extra = {1, 2, 3, 4, 5};
    all.headercrc = true;
    for (const auto& options : {carttest::tgzipoptions{}, all}) {
        std::vector<uint8_t> rombytes;
        ASSERT_TRUE(unpackarchive(makegzip(rom, options), rombytes));
        EXPECT_EQ(rombytes, rom);
    }
    tload r = loadfile(dir.write("g.gz", makegzip(rom, all)));
    ASSERT_NE(r.cart, nullptr);
    EXPECT_EQ(r.cart->mappername(), "MBC5");
}

TEST(GzipArchive, DamagedOrImplausibleFilesFail) {
    tscratch dir;
    auto gz = makegzip(makerom(64 * KiB));
    auto truncated = std::vector<uint8_t>(gz.begin(), gz.end() - 1000);
    EXPECT_EQ(loadfile(dir.write("t.gz", truncated)).message, unzipfailed);
    auto corrupt = gz;
    for (size_t i = 40; i < 90; i++) corrupt[i] ^= 0xA5;
    EXPECT_EQ(loadfile(dir.write("c.gz", corrupt)).message, unzipfailed);
    auto badcrc = gz;
    badcrc[gz.size() - 8] ^= 1;
    EXPECT_EQ(loadfile(dir.write("crc.gz", badcrc)).message, unzipfailed);
    for (uint32_t size : {0u, 1000u, 0xFFFFFFFFu, maxunpackedsize + 1}) {
        auto patched = gz;
        setu32(patched, gz.size() - 4, size);
        EXPECT_EQ(loadfile(dir.write("s.gz", patched)).message, unzipfailed) << size;
    }
    // Header fields that claim more bytes than the file holds.
    std::vector<uint8_t> extra(300, 0);
    extra[0] = 0x1F, extra[1] = 0x8B, extra[2] = 8, extra[3] = 0x04, extra[10] = 0xFF, extra[11] = 0xFF;
    EXPECT_EQ(loadfile(dir.write("x.gz", extra)).message, unzipfailed);
    std::vector<uint8_t> name(300, 'a');
    name[0] = 0x1F, name[1] = 0x8B, name[2] = 8, name[3] = 0x18;
    EXPECT_EQ(loadfile(dir.write("y.gz", name)).message, unzipfailed);
}

TEST(Archive, RandomBytesNeverCrashTheUnpacker) {
    uint32_t seed = 99;
    std::vector<uint8_t> out;
    for (int round = 0; round < 300; round++) {
        std::vector<uint8_t> buffer(256 + size_t(round) * 7);
        for (auto& b : buffer) {
            seed = seed * 1664525u + 1013904223u;
            b = uint8_t(seed >> 24);
        }
        // Plant plausible headers so that the parsers go deep.
        if (round % 2) {
            buffer[0] = 0x1F, buffer[1] = 0x8B, buffer[2] = 8;
        } else {
            for (size_t at = 0; at + 40 < buffer.size(); at += 97) {
                buffer[at] = 'P', buffer[at + 1] = 'K', buffer[at + 8] = 8, buffer[at + 9] = 0;
                buffer[at + 30] = '.', buffer[at + 31] = 'g', buffer[at + 32] = 'b';
            }
        }
        EXPECT_FALSE(unpackarchive(buffer, out));
    }
}

// ---- Header checks

TEST(RomHeader, ChecksumAndLogoFaultsAreWarnings) {
    auto rom = makerom(32 * KiB);
    EXPECT_EQ(build(rom).message, "");
    auto headerbad = rom;
    headerbad[0x14D] ^= 1;
    tload r = build(headerbad);
    ASSERT_NE(r.cart, nullptr);
    EXPECT_EQ(r.message, "Header checksum fails.\r\nROM checksum fails.\r\nThis rom would not work on a real gameboy.");
    auto logobad = rom;
    logobad[0x110] ^= 0x40;
    EXPECT_EQ(build(logobad).message, "Logo check fails.\r\nROM checksum fails.\r\nThis rom would not work on a real gameboy.");
    auto globalbad = rom;
    globalbad[0x4000] ^= 1;
    r = build(globalbad);
    ASSERT_NE(r.cart, nullptr);
    EXPECT_EQ(r.message, "ROM checksum fails.\r\nA real gameboy wouldn't care.");
}

TEST(RomHeader, SizeCodes) {
    EXPECT_EQ(build(std::vector<uint8_t>()).message, "Rom too small to contain a complete header.");
    EXPECT_EQ(build(std::vector<uint8_t>(335, 0)).message, "Rom too small to contain a complete header.");
    EXPECT_EQ(build(makerom(32 * KiB, 0, 0, 9)).message, "Unsupported ROM size");
    EXPECT_EQ(build(makerom(72 * 16 * KiB, 0x19, 0, 0x52)).message, "");
    EXPECT_EQ(build(makerom(80 * 16 * KiB, 0x19, 0, 0x53)).message, "");
    EXPECT_EQ(build(makerom(96 * 16 * KiB, 0x19, 0, 0x54)).message, "");
    tload r = build(makerom(64 * KiB, 0, 0, 0));
    ASSERT_NE(r.cart, nullptr);
    EXPECT_EQ(r.message, "Rom size in header does not match actual rom size.\r\nA real gameboy wouldn't care.");
}

TEST(RomHeader, RamSizeCodes) {
    std::vector<uint8_t> h(0x150, 0);
    const int32_t expected[] = {0, 2048, 8192, 32768, 131072, 65536, -1};
    for (uint8_t code = 0; code < 7; code++) {
        h[0x149] = code;
        EXPECT_EQ(ramsizefromheader(h.data(), h.size()), expected[code]);
    }
    EXPECT_EQ(ramsizefromheader(h.data(), 0x149), -1);
    EXPECT_EQ(build(makerom(32 * KiB, 0x03, 6)).message, "Unsupported RAM size");
    // Without the RAM flag the code is not looked at.
    tload r = build(makerom(32 * KiB, 0x01, 6));
    ASSERT_NE(r.cart, nullptr);
    EXPECT_EQ(r.banked()->ramsize, 0);
}

TEST(RomHeader, CartTypeSelectsMapperRamAndBattery) {
    struct tcase {
        uint8_t type;
        const char* name;
        bool ram, battery;
    };
    const tcase cases[] = {
        {0x00, "(no_MBC)", false, false}, {0x01, "MBC1", false, false},   {0x02, "MBC1", true, false},
        {0x03, "MBC1", true, true},       {0x05, "MBC2", true, false},    {0x06, "MBC2", true, true},
        {0x08, "(no_MBC)", true, false},  {0x09, "(no_MBC)", true, true}, {0x0F, "MBC3-timer", false, true},
        {0x10, "MBC3-timer", true, true}, {0x11, "MBC3", false, false},   {0x12, "MBC3", true, false},
        {0x13, "MBC3", true, true},       {0x19, "MBC5", false, false},   {0x1A, "MBC5", true, false},
        {0x1B, "MBC5", true, true},       {0x1C, "MBC5-rumble", false, false},
        {0x1D, "MBC5-rumble", true, false}, {0x1E, "MBC5-rumble", true, true},
        {0xFE, "HuC3", true, true},       {0xFF, "HuC1", true, true},
    };
    for (const auto& c : cases) {
        tload r = build(makerom(64 * KiB, c.type, 3));
        ASSERT_NE(r.cart, nullptr) << int(c.type);
        EXPECT_EQ(r.message, "") << int(c.type);
        EXPECT_EQ(r.cart->mappername(), c.name) << int(c.type);
        EXPECT_EQ(r.banked()->ramsize, c.ram ? 32768 : 0) << int(c.type);
        EXPECT_EQ(r.banked()->battery, c.battery) << int(c.type);
    }
}

TEST(RomHeader, UnknownTypeGetsTheGenericMapper) {
    for (uint8_t type : {uint8_t(0x20), uint8_t(0x04), uint8_t(0xFD)}) {
        tload r = build(makerom(64 * KiB, type));
        ASSERT_NE(r.cart, nullptr);
        EXPECT_EQ(r.cart->mappername(), "generic");
        char expected[80];
        std::snprintf(expected, sizeof expected, "Unsupported cart type: %02X\r\nA real gameboy wouldn't care.", type);
        EXPECT_EQ(r.message, expected);
    }
}

TEST(RomHeader, CompatibilityModeWidensPlainMappers) {
    tcartoptions settings = carttest::accuratesettings();
    settings.CartMode = 1;
    settings.EmulateSramD = false;  // the session's override in the compatibility mode
    tload r = build(makerom(64 * KiB, 0x03, 2), settings);
    ASSERT_NE(r.cart, nullptr);
    EXPECT_EQ(r.cart->mappername(), "generic");
    EXPECT_EQ(r.banked()->ramsize, 131072);
    EXPECT_TRUE(r.banked()->battery);
    // The cartridge reads its options: RAM stays enabled.
    carttest::tbus bus;
    bus.attach(*r.cart);
    r.cart->cartreset();
    EXPECT_TRUE(r.banked()->sramenable);

    struct tcase {
        uint8_t type;
        const char* name;
        int32_t ramsize;
    };
    for (const tcase& c : {tcase{0x00, "generic", 131072}, tcase{0x05, "generic", 131072},
                           tcase{0x13, "MBC3", 131072}, tcase{0x1B, "MBC5", 131072},
                           tcase{0x10, "MBC3-timer", 8192}, tcase{0x1E, "MBC5-rumble", 8192},
                           tcase{0xFF, "HuC1", 8192}, tcase{0xFE, "HuC3", 8192}, tcase{0x22, "MBC7", 131072},
                           tcase{0x20, "generic", 131072}}) {
        tload t = build(makerom(64 * KiB, c.type, 2), settings);
        ASSERT_NE(t.cart, nullptr);
        EXPECT_EQ(t.cart->mappername(), c.name) << int(c.type);
        EXPECT_EQ(t.banked()->ramsize, c.ramsize) << int(c.type);
    }
}

// An MBC1 game beyond 512 KiB reaches its upper banks through 0x4000-0x5FFF without ever
// writing 0x6000; the compatibility mode must keep its controller for it.
TEST(RomHeader, CompatibilityModeKeepsLargeMbc1Games) {
    tcartoptions options;
    options.CartMode = 1;
    options.EmulateSramD = false;
    for (size_t size : {512 * KiB, 1024 * KiB, 2048 * KiB}) {
        tload r = build(makerom(size, 0x01), options);
        ASSERT_NE(r.cart, nullptr) << r.message;
        const bool big = size > 512 * KiB;
        EXPECT_EQ(r.cart->mappername(), big ? "MBC1" : "generic") << size;
        if (!big) continue;
        carttest::tbus bus;
        bus.attach(*r.cart);
        r.cart->cartreset();
        const int bank = int(size / (16 * KiB)) - 3;  // upper bits in 0x4000, lower in 0x2000
        r.cart->romwrite(0x2000, uint8_t(bank & 0x1F));
        r.cart->romwrite(0x4000, uint8_t(bank >> 5));
        EXPECT_EQ(bus.read(0x4000) | bus.read(0x4001) << 8, bank) << size;
    }
}

TEST(RomHeader, RebuildFromTheImageInMemory) {
    tcartoptions settings = carttest::accuratesettings();
    tload first = build(makerom(64 * KiB, 0x01), settings);
    ASSERT_NE(first.cart, nullptr);
    first.cart->cartreset();  // pads the buffer; the image stays the file's bytes
    first.banked()->rom[0x2000] = 0x42;  // an edit made in the debugger
    settings.CartMode = 1;
    tload second = build(first.banked()->romimage(), settings);
    ASSERT_NE(second.cart, nullptr);
    EXPECT_EQ(second.cart->mappername(), "generic");
    EXPECT_EQ(second.banked()->romsize, 64 * 1024);
    EXPECT_EQ(second.banked()->rom[0x2000], 0x42);
}

// ---- MD5 and the information box

TEST(RomIdentity, Md5KnownDigests) {
    auto md5 = [](const char* text) {
        return md5hex(md5buffer(reinterpret_cast<const uint8_t*>(text), std::strlen(text)));
    };
    EXPECT_EQ(md5(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(md5("abc"), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(md5("12345678901234567890123456789012345678901234567890123456789012345678901234567890"),
              "57edf4a22be3c955ac49da2e2107b67a");
    // 55 and 56 bytes straddle the padding boundary.
    EXPECT_EQ(md5(std::string(55, 'a').c_str()), "ef1772b6dff9a122358552954ad0df65");
    EXPECT_EQ(md5(std::string(56, 'a').c_str()), "3b0c8ac703f828b04c6c197006d17218");
}

TEST(RomIdentity, InformationText) {
    auto rom = makerom(64 * KiB, 0x03, 2, -1, "AB");
    rom[0x136] = 0x80;  // left out, the title goes on after it
    rom[0x137] = 'C';
    rom[0x143] = 0x80;
    rom[0x146] = 3;
    rom[0x14B] = 0x33;
    tload r = build(rom);
    ASSERT_NE(r.cart, nullptr);
    EXPECT_EQ(rominfotext(*r.cart, "/roms/ab.gb"),
              "file: /roms/ab.gb\nname: ABC\ncart type: MBC1\nROM size: 65536 bytes\n"
              "RAM size: 8192 bytes\nbattery: Yes\nGBC support\nSGB support\n");
    rom[0x143] = 0xC0;
    rom[0x146] = 0;
    r = build(rom);
    std::string text = rominfotext(*r.cart, "x");
    EXPECT_EQ(text.substr(text.size() - 13), "GBC exclusive");
    tcart empty;
    EXPECT_FALSE(rominfotext(empty, "").empty());
}

// ---- Battery base path

TEST(BatteryPath, BesideTheRomOrInSaveRamDir) {
    EXPECT_EQ(batterybasepath("/roms/game.gb", "", "/opt/tov"), "/roms/game");
    EXPECT_EQ(batterybasepath("/roms/game.v1.gbc", "", "/opt/tov"), "/roms/game.v1");
    EXPECT_EQ(batterybasepath("/roms/v1.2/game", "", "/opt/tov"), "/roms/v1.2/game");
    EXPECT_EQ(batterybasepath("/roms/game.gb", "/saves", "/opt/tov"), "/saves/game");
    EXPECT_EQ(batterybasepath("/roms/game.gb", "/saves/", "/opt/tov"), "/saves/game");
    EXPECT_EQ(batterybasepath("/roms/game.zip", "saves", "/opt/tov/"), "/opt/tov/saves/game");
    EXPECT_EQ(batterybasepath("game.gb", "", "/opt/tov"), "/opt/tov/game");
}

}  // namespace
}  // namespace tov
