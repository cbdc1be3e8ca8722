// The renderer interface the machine drives. The renderer draws from the machine's LCD
// register record and is called at fixed points of each line and frame.
#pragma once
#include <cstdint>

namespace tov {

// One logged write to an LCD register (LCDC, SCY, SCX, BGP, OBP0, OBP1, WY, WX) during
// mode 3; the renderer applies it from its position in the line on.
struct tlinewrite {
    uint32_t reg = 0;       // the register's address
    uint8_t oldvalue = 0;
    int32_t position = 0;   // units left in mode 3 at the write (minus 9 in double speed)
    uint8_t newvalue = 0;
};

constexpr int maxlinewrites = 20;

// The LCD registers the renderer draws from, as the CPU last wrote them (FF40, FF42-FF43,
// FF47-FF4B). The machine owns the record; a renderer only reads it.
struct tlcdregisters {
    uint8_t lcdc = 0, scy = 0, scx = 0, wy = 0, wx = 0, bgp = 0, obp0 = 0, obp1 = 0;
};

class tgbdraw {
public:
    uint8_t* vram = nullptr;        // 16 KiB: bank 0 then bank 1, offsets from 0x8000
    uint8_t* oam = nullptr;         // 160 bytes
    uint16_t* gbcpalram = nullptr;  // 64 words: background palettes 0-31, object palettes 32-63
    bool gbcmode = false;
    bool sgbmode = false;
    bool gbchardware = false;
    const tlinewrite* linewrites = nullptr;  // owned by the machine
    int32_t linewritecount = 0;
    bool skipframe = false;

    tgbdraw() = default;
    tgbdraw(const tgbdraw&) = delete;
    tgbdraw& operator=(const tgbdraw&) = delete;
    virtual ~tgbdraw() = default;

    // The record drawn from: the machine's once attached, null restores the renderer's own.
    void attachregisters(const tlcdregisters* record) { lcdregs = record ? record : &ownregs; }
    const tlcdregisters& registers() const { return *lcdregs; }
    // The renderer's own record, drawn from while no machine's is attached (standalone use).
    tlcdregisters& ownregisters() { return ownregs; }

    virtual void startline(int ly) = 0;
    virtual void refresh() = 0;
    virtual void blank() = 0;
    virtual void invalidate() = 0;
    virtual void init() = 0;
    virtual void framebegin() = 0;
    virtual void frameend() = 0;
    virtual void drawline(int ly) = 0;
    virtual void vramwrite(int bank, int address) = 0;
    virtual void oamwrite(int address) = 0;
    virtual void palwrite(int index) = 0;

private:
    tlcdregisters ownregs;
    const tlcdregisters* lcdregs = &ownregs;
};

// A renderer that draws nothing: the machine's default until a real one is attached.
class tgbdrawnull : public tgbdraw {
public:
    void startline(int) override {}
    void refresh() override {}
    void blank() override {}
    void invalidate() override {}
    void init() override {}
    void framebegin() override {}
    void frameend() override {}
    void drawline(int) override {}
    void vramwrite(int, int) override {}
    void oamwrite(int) override {}
    void palwrite(int) override {}
};

}  // namespace tov
