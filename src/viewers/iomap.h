// The I/O map `TFormiomap`: the I/O registers as hexadecimal bytes, the bits of LCDC,
// STAT, IF and IE, the cartridge's banks, the GBC DMA and palette registers, the speed and
// halt state, the wave pattern and, per interrupt, the units until it can next be
// requested. Read through the inspection interface; clicks (with `RegClick`) write through
// the machine's normal register writes.
#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/gbinspect.h"

namespace tov {

class tgb;

struct tiomapregister {
    const char* name;
    uint16_t address;
};
struct tiomapcolumn {
    const char* caption;
    std::vector<tiomapregister> rows;
};
// The six register columns, left to right: "LCD", "various", "Sound 1" ... "Sound 4".
const std::array<tiomapcolumn, 6>& iomapcolumns();
// A row's label: the name, a blank and the address as 4 hex digits ("LCDC FF40").
std::string iomaplabel(const tiomapregister& r);

struct tlcdcbitinfo {
    const char* caption;
    const char* whenoff;
    const char* whenon;
};
const std::array<tlcdcbitinfo, 8>& lcdcbitinfo();  // by bit number
// The IE box captions, by interrupt: "VBlank 40", "LCD 48", "Timer 50", "Serial 58", "Joypad 60".
const std::array<const char*, 5>& interruptcaptions();

// Frame timing in units: a frame is 154 lines of 228.
namespace frametiming {
constexpr int32_t line = 228;
constexpr int32_t frame = 35112;
constexpr int32_t line0 = 34888;  // LY turns to 0 four units into line 153
}  // namespace frametiming

// Units since the start of line 0 (0 to 35111).
int32_t frameposition(const ttimingview& t);
// Distances from frame position pos; -1 when there is none.
int32_t untilline(int32_t pos, int n);
int32_t untilhblank(int32_t pos);
int32_t untilmode2(int32_t pos);

// What the window shows after a refresh.
struct tiomapview {
    std::array<std::vector<std::string>, 6> registers;  // per column, per row: 2 hex digits
    std::array<bool, 8> lcdc{};
    std::array<std::string, 8> lcdctext{"-", "-", "-", "-", "-", "-", "-", "-"};
    std::array<bool, 5> ifbits{}, iebits{};
    std::array<std::string, 5> countdowns;
    // `Groupmbc`: kept as they were while no banked cartridge is in the slot.
    std::string Editrombank, Editsrambank;
    bool Checkramenabled = false, Checkmbc1 = false;
    std::string Edithdmas, Edithdmad, Edithdma5;
    // STAT bits 2-6 (index = bit), the mode in decimal.
    std::array<bool, 7> stat{};
    std::string Editstatmode;
    std::string Editwave;
    bool Checkdoublespeed = false, Checkhalted = false;
    std::string Editbgps, Editbgpd, Editobps, Editobpd;
    std::string Editdivider;
    std::string Editnr50, Editnr51, Editnr52;
};

class tiomap {
public:
    explicit tiomap(tgb& machine) : gb(machine) {}

    tiomapview view;
    int32_t userreference = 0;  // the user clock reference
    // Called after a click changed LCDC (the VRAM viewer redraws).
    std::function<void()> onlcdcchanged;

    void refresh();
    // Countdown of interrupt row 0-4 in units, -1 for none (row 4: the user clock counter).
    int32_t countdown(int row) const;

    // `menusercount`: the number row 4 shows now (0 when it is not a number), and the answer
    // of the input box ("user clocks counter value"): a number sets the counter to it, any
    // other text keeps it.
    int32_t usercountershown() const;
    void answerusercounter(int32_t shown, const std::string& answer);

    // Clicks on the check boxes: `newstate` is the box's state after the click. Without
    // `regclick` (the `RegClick` option) nothing is written; every click ends in a refresh,
    // which puts the boxes back to the registers' state.
    void clicklcdc(int bit, bool newstate, bool regclick);
    void clickstat(int bit, bool newstate, bool regclick);  // bits 3-6; bit 2 is never written
    void clickif(int bit, bool newstate, bool regclick);
    void clickie(int bit, bool newstate, bool regclick);
    void clickdoublespeed(bool newstate, bool regclick);
    void clickhalted() { refresh(); }

private:
    tgb& gb;
    void togglebit(uint16_t address, int bit, bool newstate, bool regclick);
};

}  // namespace tov
