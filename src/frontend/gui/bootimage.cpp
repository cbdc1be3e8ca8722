#include "frontend/gui/bootimage.h"

namespace tov {

tbitmap makebootimage() {
    // 5 x 7 letters "t", "o", "v"; each cell becomes an 8 x 8 block.
    static const char* const glyphs[3][7] = {
        {"..#..", "..#..", "#####", "..#..", "..#..", "..#..", "...##"},
        {".....", ".....", ".###.", "#...#", "#...#", "#...#", ".###."},
        {".....", ".....", "#...#", "#...#", "#...#", ".#.#.", "..#.."},
    };
    tbitmap b;
    b.create(160, 144, 32);
    const uint32_t light = 0xE0F8D0, dark = 0x081820, mid = 0x88C070;  // 0x00BBGGRR
    for (int y = 0; y < 144; y++)
        for (int x = 0; x < 160; x++) b.setpixel(x, y, (y >= 118 && y < 122) ? mid : light);
    const int cell = 8, left = (160 - (3 * 5 + 2) * cell) / 2, top = 36;
    for (int g = 0; g < 3; g++)
        for (int row = 0; row < 7; row++)
            for (int col = 0; col < 5; col++) {
                if (glyphs[g][row][col] != '#') continue;
                int x0 = left + (g * 6 + col) * cell, y0 = top + row * cell;
                for (int y = y0; y < y0 + cell; y++)
                    for (int x = x0; x < x0 + cell; x++) b.setpixel(x, y, dark);
            }
    return b;
}

}  // namespace tov
