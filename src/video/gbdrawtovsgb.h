// The renderer with Super Game Boy colouring: each 8x8 cell of the picture takes one of the
// four SGB screen palettes from the adapter's attribute map.
#pragma once
#include <cstdint>

#include "video/gbdrawtov.h"
#include "video/sgb.h"

namespace tov {

class tgbdrawtovsgb : public tgbdrawtov, public tsgbscreen {
public:
    explicit tgbdrawtovsgb(const tvideooptions& options);
    ~tgbdrawtovsgb() override;

    // Links renderer and adapter both ways (null unlinks).
    void setsgb(tsgb* unit);
    tsgb* sgbunit() const { return sgb; }

    void init() override;
    void refresh() override;
    void selectlineproc() override;

    // The adapter's side.
    void sgbcaptureline(int ly, uint8_t* line) override;
    void sgbsetcolors(const uint32_t* colors) override;
    void sgbblank() override { blank(); }
    void sgbrefresh() override { refresh(); }
    bool sgbgbcmode() const override { return gbcmode; }
    void sgbunlinked(const tsgb* unit) override;

protected:
    // SGB line routine: the DMG line, each pixel moved to 4 + 4 x cell palette + shade.
    void sgbline(int ly, uint8_t* line);
    bool sgbcolours() const;

    tsgb* sgb = nullptr;
};

}  // namespace tov
