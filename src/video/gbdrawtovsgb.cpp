// The renderer's Super Game Boy side: the colouring line routine and the services the SGB
// unit uses (screen capture for video transfers, the SGB output palette entries).
#include "video/gbdrawtovsgb.h"

#include <cstring>

#include "video/videooptions.h"

namespace tov {

tgbdrawtovsgb::tgbdrawtovsgb(const tvideooptions& settings) : tgbdrawtov(settings) {}

tgbdrawtovsgb::~tgbdrawtovsgb() {
    if (sgb && sgb->screen == this) sgb->screen = nullptr;
}

void tgbdrawtovsgb::setsgb(tsgb* unit) {
    if (sgb && sgb->screen == this) sgb->screen = nullptr;
    sgb = unit;
    if (sgb) {
        sgb->screen = this;
        // Both read the same options (SGBnocolors decides who owns entries 4-19).
        if (!sgb->options) sgb->options = &settings;
    }
    selectlineproc();
}

void tgbdrawtovsgb::sgbunlinked(const tsgb* unit) {
    if (sgb != unit) return;
    sgb = nullptr;
    selectlineproc();
}

bool tgbdrawtovsgb::sgbcolours() const {
    return sgbmode && !gbcmode && !settings.SGBnocolors;
}

void tgbdrawtovsgb::selectlineproc() {
    if (sgbcolours() && sgb)
        lineproc = static_cast<tlineproc>(&tgbdrawtovsgb::sgbline);
    else
        tgbdrawtov::selectlineproc();
}

void tgbdrawtovsgb::init() {
    tgbdrawtov::init();
    // A new output (or a reset) needs the SGB screen colours the adapter already holds.
    if (sgbcolours() && sgb && gfxout) {
        for (int p = 0; p < 4; ++p)
            for (int c = 0; c < 4; ++c)
                gfxout->palette[palentry::gbcbase + 4 * p + c] = sgb->colors[16 * p + c];
        gfxout->setpalette(palentry::gbcbase, 16);
    }
}

void tgbdrawtovsgb::refresh() {
    // MASK_EN: while the adapter masks the screen the last presented picture stays.
    if (sgbmode && sgb && sgb->screenfrozen) return;
    tgbdrawtov::refresh();
}

void tgbdrawtovsgb::sgbline(int ly, uint8_t* line) {
    if (unsigned(ly) >= unsigned(visiblelines)) return;
    dmgline(ly, privateline);
    // Background, window and objects alike take the palette of the cell they fall in.
    const int row = ly >> 3;
    for (int cx = 0; cx < 20; ++cx) {
        const uint8_t base = uint8_t(palentry::gbcbase + 4 * sgb->cellpalette(cx, row));
        const uint8_t* src = privateline + cx * 8;
        uint8_t* dst = line + cx * 8;
        for (int x = 0; x < 8; ++x) dst[x] = uint8_t(base + (src[x] & 3));
    }
}

void tgbdrawtovsgb::sgbcaptureline(int ly, uint8_t* line) {
    std::memset(line, 0, 160);
    if (unsigned(ly) >= unsigned(visiblelines)) return;
    // The adapter reads the picture after BGP; a game in GBC mode gets the plain ramp.
    lcd = registers();
    if (gbcmode) lcd.bgp = 0xE4;
    refreshcaches();  // skipped frames leave the caches behind
    dmgline(ly, line);
}

void tgbdrawtovsgb::sgbsetcolors(const uint32_t* colors) {
    if (!gfxout) return;
    for (int i = 0; i < 16; ++i) gfxout->palette[palentry::gbcbase + i] = colors[i];
    gfxout->setpalette(palentry::gbcbase, 16);
}

}  // namespace tov
