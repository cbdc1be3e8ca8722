// The cartridge slot. A plain tcart is the empty slot: every read gives 0xFF and writes
// are ignored. Loaded ROMs are subclasses (see mbcbase.h).
#pragma once
#include <cstdint>
#include <functional>
#include <string>
#include <utility>

#include "core/cpu.h"
#include "state/statefwd.h"

namespace tov {

class tcart {
public:
    tpageentry* pagetable = nullptr;  // the machine's 16 entries; may be null
    std::string filename;             // base path of the battery files, without extension
    // Told the name of a battery or clock file that could not be written (the old file is
    // kept); the machine hands its own to every cartridge it takes (tgb::onsavefailed).
    std::function<void(const std::string& path)> onsavefailed;

    tcart() = default;
    tcart(const tcart&) = delete;
    tcart& operator=(const tcart&) = delete;
    virtual ~tcart();

    virtual void mappages() {}
    // The cartridge's save-state chunks (none for the empty slot) and the step after a
    // load that puts its pages back in line with the restored registers.
    virtual void statefields(tstatevisitor&) {}
    virtual void afterstateload() {}
    virtual bool isstandardwrite(uint16_t, uint8_t) { return false; }
    virtual void setfilename(const std::string& name) { filename = name; }
    virtual void loadsram() {}
    virtual void savesram() {}
    virtual void secondtick() {}
    virtual std::string mappername() const { return "(no_cart)"; }
    virtual void romwrite(uint16_t, uint8_t) {}
    virtual void ramwrite(uint16_t, uint8_t) {}
    virtual uint8_t romread(uint16_t) { return 0xFF; }
    virtual uint8_t ramread(uint16_t) { return 0xFF; }
    virtual void cartreset();

    // Inspection (debugger, viewers, cheats): what is loaded and mapped, for any controller.
    // The empty slot has no ROM, no RAM and no banks.
    virtual bool isbanked() const { return false; }          // a ROM image is loaded
    virtual int32_t currentrombank() const { return 0; }     // bank at 0x4000-0x7FFF
    virtual int32_t currentrambank() const { return 0; }     // bank at 0xA000-0xBFFF
    virtual bool ramenabled() const { return false; }
    virtual bool hasbattery() const { return false; }
    virtual bool mbc1modeflag() const { return false; }     // `mbc1mode` of an MBC1 (I/O map)
    // The ROM image (`romimagesize` bytes, edits included) and the cartridge RAM
    // (`ramimagesize` bytes, 0 without RAM). The pointers are null when there is none and
    // until the first reset has allocated the RAM; a reset may move them.
    virtual const uint8_t* romimagedata() const { return nullptr; }
    virtual int32_t romimagesize() const { return 0; }
    virtual const uint8_t* ramdata() const { return nullptr; }
    virtual int32_t ramimagesize() const { return 0; }
    uint8_t* romimagedata() { return const_cast<uint8_t*>(std::as_const(*this).romimagedata()); }
    uint8_t* ramdata() { return const_cast<uint8_t*>(std::as_const(*this).ramdata()); }
    // The byte the CPU would read at a ROM (0x0000-0x7FFF) or RAM (0xA000-0xBFFF) address,
    // without the read's effects. The read slots have none; a controller whose reads do
    // (a serial EEPROM, a latch) overrides these.
    virtual uint8_t peekrom(uint16_t address) { return romread(address); }
    virtual uint8_t peekram(uint16_t address) { return ramread(address); }

    // Page-table routines that forward to romread/ramread of the cartridge in the context.
    static uint8_t romreadroutine(void* context, uint16_t address);
    static uint8_t ramreadroutine(void* context, uint16_t address);

protected:
    void setpage(int index, treadroutine routine, uint8_t* pointer);
    // Replaces a battery or clock file whole (see replacefile); a failure goes to onsavefailed.
    bool writebatteryfile(const std::string& path, const void* data, size_t size);
};

}  // namespace tov
