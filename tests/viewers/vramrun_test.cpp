// tov-run --vram: the viewer's tiles and map pages after a headless run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "support/runner.h"
#include "support/testrom.h"
#include "video/gfxout.h"

namespace tov::testing {
namespace {

TEST(VramRun, WritesTheTilesAndMapPages) {
    // Tile 1 all colour 3, map entry (0,0) shows it; the LCD back on with 0x8000 addressing.
    tromimage rom;
    rom.code(0x150, {0xAF, 0xE0, 0x40,              // xor a ; ldh (LCDC),a
                     0x21, 0x10, 0x80, 0x3E, 0xFF,  // ld hl,0x8010 ; ld a,0xFF
                     0x06, 0x10, 0x22, 0x05, 0x20, 0xFC,  // ld b,16 ; fill: ld (hl+),a ; dec b ; jr nz
                     0x3E, 0x01, 0xEA, 0x00, 0x98,  // ld a,1 ; ld (0x9800),a
                     0x3E, 0x91, 0xE0, 0x40,        // LCDC 0x91
                     0x18, 0xFE});
    // Names of this process: another run of the suite (a second build, ctest -j) may be at
    // the same test.
    const auto dir = std::filesystem::temp_directory_path();
    const std::string stem = "tov_vramrun_" + std::to_string(::getpid());
    const std::string romfile = (dir / (stem + ".gb")).string(), picture = (dir / (stem + ".bmp")).string();
    {
        const std::vector<uint8_t> bytes = rom.finished();
        std::ofstream(romfile, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    const trunresult r = runtovrun("--frames 5 --vram \"" + picture + "\"", romfile);
    EXPECT_EQ(r.status, 3) << r.out;
    tbitmap b;
    ASSERT_TRUE(loadbmpfile(picture, b));
    ASSERT_EQ(b.width, 520);
    ASSERT_EQ(b.height, 256);
    EXPECT_EQ(b.pixel(8, 0), 0x000000u);   // tile 1 on the grey tiles page
    EXPECT_EQ(b.pixel(0, 0), 0xFFFFFFu);   // tile 0
    EXPECT_NE(b.pixel(264, 0), b.pixel(272, 0));  // the map: tile 1, then tile 0, through BGP
    EXPECT_EQ(runtovrun("--frames 1 --vram /nonexistent-folder/x.bmp", romfile).status, 2);
    std::filesystem::remove(romfile);
    std::filesystem::remove(picture);
}

}  // namespace
}  // namespace tov::testing
