// The cartridge slot. A plain tcart is the empty slot: every read gives 0xFF and writes
// are ignored. Loaded ROMs are subclasses (see mbcbase.h).
#pragma once
#include <cstdint>
#include <string>

#include "core/cpu.h"
#include "state/statefwd.h"

namespace tov {

class tcart {
public:
    tpageentry* pagetable = nullptr;  // the machine's 16 entries; may be null
    std::string filename;             // base path of the battery files, without extension

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

    // Page-table routines that forward to romread/ramread of the cartridge in the context.
    static uint8_t romreadroutine(void* context, uint16_t address);
    static uint8_t ramreadroutine(void* context, uint16_t address);

protected:
    void setpage(int index, treadroutine routine, uint8_t* pointer);
};

}  // namespace tov
