#include "cart/mbcbase.h"

#include <algorithm>
#include <fstream>
#include <random>

#include "cart/cartoptions.h"
#include "state/statevisitor.h"

namespace tov {

namespace {
constexpr int32_t rombanksize = 16384;
constexpr int32_t rambanksize = 8192;
}  // namespace

tcartmbcbase::tcartmbcbase(std::vector<uint8_t> image, int32_t ramsize_, bool battery_,
                           const tcartoptions* options_, thostclock& clock_)
    : options(options_), clock(&clock_), rombuffer(std::move(image)) {
    romsize = static_cast<int32_t>(rombuffer.size());
    ramsize = std::max<int32_t>(ramsize_, 0);
    battery = battery_;
    rom = rombuffer.empty() ? nullptr : rombuffer.data();
    std::random_device seed;
    randomstate = (uint64_t(seed()) << 32) ^ seed() ^ uint64_t(reinterpret_cast<uintptr_t>(this));
    if (randomstate == 0) randomstate = 0x9E3779B97F4A7C15ull;
}

tcartmbcbase::~tcartmbcbase() = default;

uint8_t* tcartmbcbase::biased(uint8_t* buffer, int64_t offset, uint32_t base) {
    // Integer arithmetic: the biased pointer lies before the buffer and is only ever
    // indexed with addresses of its own page.
    return reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(buffer) + uintptr_t(offset) -
                                      uintptr_t(base));
}

void tcartmbcbase::fillrandom(uint8_t* data, size_t count) {
    // xorshift64*: uniform bytes, one generator per cartridge.
    for (size_t i = 0; i < count; i++) {
        randomstate ^= randomstate >> 12;
        randomstate ^= randomstate << 25;
        randomstate ^= randomstate >> 27;
        data[i] = static_cast<uint8_t>((randomstate * 0x2545F4914F6CDD1Dull) >> 56);
    }
}

void tcartmbcbase::preparebuffers() {
    if (prepared) return;
    int64_t alloc = (int64_t(romsize) + rombanksize - 1) / rombanksize * rombanksize;
    rombuffer.resize(size_t(alloc), 0xFF);
    romalloc = static_cast<int32_t>(alloc);
    rom = rombuffer.empty() ? nullptr : rombuffer.data();
    alloc = (int64_t(ramsize) + rambanksize - 1) / rambanksize * rambanksize;
    srambuffer.assign(size_t(alloc), 0xFF);
    ramalloc = static_cast<int32_t>(alloc);
    sram = srambuffer.empty() ? nullptr : srambuffer.data();
    prepared = true;
}

void tcartmbcbase::cartreset() {
    tcart::cartreset();
    preparebuffers();
    if (!sraminited) {
        fillrandom(sram, size_t(ramsize));
        sraminited = true;
    }
    // Next power of two minus one of the bank count; a ROM under 16 KiB gives all ones.
    uint32_t mask = uint32_t(romsize / rombanksize) - 1u;
    for (int i = 0; i < 32; i++) mask |= mask >> 1;
    rombankmask = static_cast<int32_t>(mask);
    setsramenable(false);
    setrombank(1);
    setrambank(0);
    mappages();
}

void tcartmbcbase::mappages() {
    uint8_t* pointer = romalloc >= rombanksize ? rom : nullptr;
    for (int i = 0; i < 4; i++) setpage(i, romreadroutine, pointer);
    setrombank(rombank);
}

int tcartmbcbase::maxrambank() { return ramsize > 0 ? (ramsize - 1) / rambanksize : 0; }

void tcartmbcbase::setrombank(int32_t bank) {
    if (!rombank0ok && bank == 0) bank = 1;
    bank &= rombankmask;
    rombank = bank;
    uint8_t* pointer = nullptr;
    if (rom && int64_t(romalloc) >= (int64_t(bank) + 1) * rombanksize)
        pointer = biased(rom, int64_t(bank) * rombanksize, 0x4000);
    for (int i = 4; i < 8; i++) setpage(i, romreadroutine, pointer);
}

void tcartmbcbase::setrambank(int32_t bank) {
    bank &= maxrambank();
    rambank = bank;
    if (ramused < bank) noteramused(bank);
    mapram();
}

void tcartmbcbase::mapram() {
    uint8_t* pointer = nullptr;
    if (sramenable && sram && int64_t(ramalloc) >= (int64_t(rambank) + 1) * rambanksize)
        pointer = biased(sram, int64_t(rambank) * rambanksize, 0xA000);
    setpage(10, ramreadroutine, pointer);
    setpage(11, ramreadroutine, pointer);
}

void tcartmbcbase::noteramused(int32_t bank) { ramused = std::clamp(bank, 0, std::max(maxrambank(), 0)); }

void tcartmbcbase::setsramenable(bool enable) {
    // The compatibility mode keeps cartridge RAM always enabled, except on the HuC
    // controllers, whose disabled RAM reads give the infrared port instead.
    bool emulatedisable = options ? options->EmulateSramD : true;
    if (!enable && !emulatedisable && !keepsramenable) enable = true;
    sramenable = enable;
    mapram();
}

uint8_t tcartmbcbase::romread(uint16_t address) {
    int64_t offset = address < 0x4000 ? int64_t(address)
                                      : int64_t(address) + int64_t(rombank) * rombanksize - 0x4000;
    if (offset >= 0 && offset < romsize && rom) return rom[offset];
    return 0xFF;
}

uint8_t tcartmbcbase::ramread(uint16_t address) {
    if (!sramenable) return 0xFF;
    int64_t offset = int64_t(address) - 0xA000 + int64_t(rambank) * rambanksize;
    if (offset >= 0 && offset < ramsize && sram) return sram[offset];
    return 0xFF;
}

void tcartmbcbase::ramwrite(uint16_t address, uint8_t value) {
    if (!sramenable) return;
    int64_t offset = int64_t(address) - 0xA000 + int64_t(rambank) * rambanksize;
    if (offset >= 0 && offset < ramsize && sram) sram[offset] = value;
}

void tcartmbcbase::romwrite(uint16_t, uint8_t) {}

bool tcartmbcbase::isstandardwrite(uint16_t, uint8_t) { return false; }

std::string tcartmbcbase::mappername() const { return "(no_MBC)"; }

int32_t tcartmbcbase::sramsavesize() const {
    return static_cast<int32_t>(std::min<int64_t>(ramsize, (int64_t(ramused) + 1) * rambanksize));
}

void tcartmbcbase::setsramcontent(const uint8_t* data, int32_t count) {
    preparebuffers();
    count = std::clamp(count, 0, ramsize);
    if (!data) count = 0;
    fillrandom(sram, size_t(ramsize));
    if (count > 0) std::copy(data, data + count, sram);
    sraminited = true;
    noteramused(count > 0 ? (count - 1) / rambanksize : 0);
    mapram();
}

void tcartmbcbase::statefields(tstatevisitor& v) {
    // The bank registers go through the bank operations, so the masks and the bank-0 rule
    // apply to whatever a state holds.
    v.value("ROMB", [this] { return rombank; }, [this](int32_t b) { staterombank(b); });
    // Without cartridge RAM the banking mode still decides what 0x4000 writes select, so
    // it is kept then too, after the ROM bank.
    if (ramsize <= 0) {
        v.field("mbc1mode", mbc1mode);
        return;
    }
    v.value("SRMB", [this] { return rambank; }, [this](int32_t b) { setrambank(b); });
    v.value("sramenable", [this] { return sramenable; }, [this](bool e) { setsramenable(e); });
    // Only the banks in use are written; a block of any length is taken.
    v.anysize("SRAM", sram, sram ? std::min(sramsavesize(), ramalloc) : 0,
              [this](const uint8_t* data, int32_t count) { setsramcontent(data, count); });
    v.field("mbc1mode", mbc1mode);
}

void tcartmbcbase::afterstateload() {
    mappages();
    mapram();
}

std::string tcartmbcbase::ramfilename() const {
    if (!battery || filename.empty() || ramsize <= 0) return {};
    return filename + ".sav";
}

void tcartmbcbase::loadsram() {
    cartreset();
    std::string name = ramfilename();
    if (name.empty()) return;
    std::ifstream file(name, std::ios::binary);
    if (!file) return;
    std::vector<uint8_t> data(static_cast<size_t>(ramsize));
    file.read(reinterpret_cast<char*>(data.data()), std::streamsize(data.size()));
    std::streamsize got = file.gcount();
    if (got < 0) return;
    setsramcontent(data.data(), static_cast<int32_t>(got));
}

void tcartmbcbase::savesram() {
    std::string name = ramfilename();
    // Without defined content (the cartridge was never reset or loaded) there is nothing
    // to keep, and writing would replace the player's file with filler.
    if (name.empty() || !sraminited || !sram) return;
    int32_t size = std::min(sramsavesize(), ramalloc);
    if (size <= 0) return;
    writebatteryfile(name, sram, size_t(size));
}

std::vector<uint8_t> tcartmbcbase::romimage() const {
    size_t n = std::min(size_t(romsize), rombuffer.size());
    return std::vector<uint8_t>(rombuffer.begin(), rombuffer.begin() + std::ptrdiff_t(n));
}

}  // namespace tov
