// The banked cartridge base: ROM and SRAM buffers, bank registers, page mapping and the
// battery ".sav" file. Used as is for cartridges without a mapper; every mapper derives
// from it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "cart/cart.h"
#include "core/hostclock.h"

namespace tov {

struct tcartoptions;

class tcartmbcbase : public tcart {
public:
    // `image` becomes the cartridge's ROM (romsize = its size). `options` are read at every
    // RAM enable (`EmulateSramD`) and must outlive the cartridge; null behaves as
    // with `EmulateSramD` on. `clock` is the wall clock of the running cartridge clock.
    tcartmbcbase(std::vector<uint8_t> image, int32_t ramsize, bool battery,
                 const tcartoptions* options = nullptr, thostclock& clock = realclock());
    ~tcartmbcbase() override;

    // Fields, in the order of the cartridge record.
    int32_t ramused = 0;      // highest 8 KiB RAM bank known to hold data
    int32_t rombank = 1;      // ROM bank at 0x4000-0x7FFF
    int32_t rambank = 0;      // RAM bank at 0xA000-0xBFFF
    int32_t romsize = 0;      // ROM image size in bytes
    int32_t ramsize = 0;      // cartridge RAM size in bytes (0 = none)
    int32_t rombankmask = 0;  // applied to every ROM bank number
    int32_t romalloc = 0;     // ROM buffer size (romsize raised to 16 KiB), 0 until prepared
    int32_t ramalloc = 0;     // SRAM buffer size (ramsize raised to 8 KiB), 0 until prepared
    uint8_t* rom = nullptr;   // ROM buffer (owned, see rombuffer)
    uint8_t* sram = nullptr;  // SRAM buffer (owned, see srambuffer)
    bool prepared = false;
    bool battery = false;
    bool sraminited = false;
    bool sramenable = false;
    bool rombank0ok = false;
    bool mbc1mode = false;
    bool keepsramenable = false;

    // tcart slots
    void mappages() override;
    bool isstandardwrite(uint16_t address, uint8_t value) override;
    void loadsram() override;
    void savesram() override;
    std::string mappername() const override;
    void romwrite(uint16_t address, uint8_t value) override;
    void ramwrite(uint16_t address, uint8_t value) override;
    uint8_t romread(uint16_t address) override;
    uint8_t ramread(uint16_t address) override;
    void cartreset() override;
    // "ROMB", then with cartridge RAM "SRMB", "sramenable", "SRAM" and "mbc1mode".
    void statefields(tstatevisitor& v) override;
    void afterstateload() override;
    bool isbanked() const override { return true; }
    int32_t currentrombank() const override { return rombank; }
    int32_t currentrambank() const override { return rambank; }
    bool ramenabled() const override { return sramenable; }
    bool hasbattery() const override { return battery; }
    bool mbc1modeflag() const override { return mbc1mode; }
    const uint8_t* romimagedata() const override { return rom; }
    int32_t romimagesize() const override { return romsize; }
    const uint8_t* ramdata() const override { return sram; }
    int32_t ramimagesize() const override { return ramsize; }

    // Banked slots
    virtual int maxrambank();
    virtual void mapram();
    virtual void setrombank(int32_t bank);
    virtual void setrambank(int32_t bank);

    void setsramenable(bool enable);
    void noteramused(int32_t bank);
    int32_t sramsavesize() const;
    // Replaces the SRAM content: random fill of the first `ramsize` bytes, then up to
    // `ramsize` bytes of `data` over it.
    void setsramcontent(const uint8_t* data, int32_t count);

    // The ".sav" path, or empty when this cartridge keeps no RAM file.
    std::string ramfilename() const;
    // A copy of the ROM image (`romsize` bytes, edits included), for rebuilding the
    // cartridge from the bytes already in memory.
    std::vector<uint8_t> romimage() const;

protected:
    const tcartoptions* options = nullptr;

    // Applies a ROM bank read from a state.
    virtual void staterombank(int32_t bank) { setrombank(bank); }
    thostclock* clock = nullptr;

    // Grows the buffers to whole banks once per object, padding with 0xFF.
    void preparebuffers();
    void fillrandom(uint8_t* data, size_t count);
    // Page pointer biased so that pointer[address] is the byte for the page base `base`.
    // A bank number within `rombankmask` (compared unsigned: under 16 KiB the mask is all ones).
    bool bankallowed(int32_t bank) const { return uint32_t(bank) <= uint32_t(rombankmask); }
    static uint8_t* biased(uint8_t* buffer, int64_t offset, uint32_t base);

private:
    std::vector<uint8_t> rombuffer;
    std::vector<uint8_t> srambuffer;
    uint64_t randomstate = 0;
};

}  // namespace tov
