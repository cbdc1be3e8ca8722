// Where the whole-tile and whole-row drawing meets the screen's edges: sprites cut at the
// left and right border, map rows wrapping inside a line, priority tiles on both sides of
// the window's start.
#include <gtest/gtest.h>

#include "videotest.h"

namespace tov::test {
namespace {

class EdgesDmg : public tvideotest {};
class EdgesGbc : public tvideotest {
protected:
    void SetUp() override {
        defaultsettings(settings);
        make(true, true);
    }
};

// Sprite tile 2: colours 1 2 3 1 2 3 0 1 on every row (one transparent pixel).
constexpr const char* spritepattern = "12312301";

// Line 0 with sprite tile 2 at OAM x `x`, mirrored or not, over a background of colour 0: the
// pixel value `background` where the sprite is off screen or transparent, `sprite` + its
// colour where it shows.
void expectcutsprite(const std::vector<uint8_t>& line, int x, bool mirrored, int background, int sprite) {
    for (int sx = 0; sx < 160; ++sx) {
        const int k = sx - (x - 8);
        int want = background;
        if (k >= 0 && k < 8) {
            const int c = spritepattern[mirrored ? 7 - k : k] - '0';
            if (c) want = sprite + c;
        }
        ASSERT_EQ(int(line[size_t(sx)]), want) << "column " << sx;
    }
}

TEST_F(EdgesDmg, SpritesCutAtBothBordersShowTheirVisibleColumnsOnly) {
    hidesprites();
    tile(0, 2, spritepattern);
    r->ownregisters().lcdc = 0x93;
    r->ownregisters().obp0 = 0xE4;  // shade = colour
    for (int x : {1, 4, 7, 153, 156, 159, 160, 167}) {
        for (bool mirrored : {false, true}) {
            SCOPED_TRACE("sprite x " + std::to_string(x) + (mirrored ? " mirrored" : ""));
            sprite(0, 16, x, 2, mirrored ? 0x20 : 0x00);
            runframe();
            expectcutsprite(row(0), x, mirrored, 0x20, 0x08);  // background colour 0; OBP0
        }
    }
}

TEST_F(EdgesGbc, SpritesCutAtBothBordersShowTheirVisibleColumnsOnly) {
    hidesprites();
    tile(0, 2, spritepattern);
    r->ownregisters().lcdc = 0x93;
    for (int x : {1, 7, 153, 159, 167}) {
        for (bool mirrored : {false, true}) {
            SCOPED_TRACE("sprite x " + std::to_string(x) + (mirrored ? " mirrored" : ""));
            sprite(0, 16, x, 2, uint8_t((mirrored ? 0x20 : 0x00) | 5));
            runframe();
            expectcutsprite(row(0), x, mirrored, 4, 36 + 4 * 5);  // background palette 0, colour 0; OBJ palette 5
        }
    }
}

TEST_F(EdgesGbc, MapRowWrapsWithEachTilesOwnAttributes) {
    // Tiles 1-4 distinct; the map row mixes banks, mirrors and palettes and the line starts
    // near its end, so the row wraps to column 0 part-way.
    tile(0, 1, "0123012301230123012301230123012301230123012301230123012301230123");
    tile(1, 1, "3210321032103210321032103210321032103210321032103210321032103210");
    for (int c = 0; c < 32; ++c) {
        map(0, c, 0, 1);
        attr(0, c, 0, uint8_t((c % 8) | ((c & 1) ? 0x08 : 0) | ((c & 2) ? 0x20 : 0)));
    }
    r->ownregisters().scx = 8 * 29 + 3;
    runframe();
    for (int sx = 0; sx < 160; ++sx) {
        const int px = (r->ownregisters().scx + sx) & 255, c = px >> 3, k = px & 7;
        const int kk = (c & 2) ? 7 - k : k;
        const int colour = (c & 1) ? 3 - (kk & 3) : (kk & 3);
        ASSERT_EQ(int(row(0)[sx]), 4 + 4 * (c % 8) + colour) << "column " << sx;
    }
}

TEST_F(EdgesGbc, PriorityTilesOnEitherSideOfTheWindowStartCoverSprites) {
    hidesprites();
    solidtile(0, 1, 1);      // background: colour 1
    solidtile(0, 3, 2);      // window: colour 2
    solidtile(0, 2, 3);      // sprite: colour 3
    fillmap(0, 1);
    fillmap(1, 3);
    // Background priority only in map column 9, window priority only in window column 0.
    attr(0, 9, 0, 0x80);
    attr(1, 0, 0, 0x80);
    r->ownregisters().lcdc = 0x80 | 0x40 | 0x20 | 0x10 | 0x02 | 0x01;  // window map 1 on, sprites, priorities
    r->ownregisters().wx = 7 + 80;
    r->ownregisters().wy = 0;
    sprite(0, 16, 8 + 72, 2, 0);   // columns 72-79: background, priority from 72
    sprite(1, 16, 8 + 80, 2, 0);   // columns 80-87: window column 0, priority
    sprite(2, 16, 8 + 88, 2, 0);   // columns 88-95: window column 1, no priority
    runframe();
    for (int sx = 64; sx < 96; ++sx) {
        int want;
        if (sx < 72)
            want = 4 + 1;
        else if (sx < 80)
            want = 4 + 1;  // background priority tile (map column 9) wins over the sprite
        else if (sx < 88)
            want = 4 + 2;  // window priority tile wins
        else
            want = 36 + 3;
        ASSERT_EQ(int(row(0)[sx]), want) << "column " << sx;
    }
}

}  // namespace
}  // namespace tov::test
