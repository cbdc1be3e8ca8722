// The VRAM viewer's decoding of tiles, maps, sprites and palettes, and its change tracking.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "core/gbtestutil.h"
#include "viewers/vramviewer.h"

namespace tov::testing {
namespace {

// A machine whose LCD is off, so that the bus reaches VRAM at any time.
struct tviewmachine : tmachine {
    explicit tviewmachine(int systemmode = 0, uint8_t colourflag = 0)
        : tmachine(tromimage().colour(colourflag), systemmode) {
        gb->writebyte(0xFF40, 0x00);
        // No logo in the maps: every entry shows tile 0.
        for (uint16_t a = 0x9800; a < 0xA000; a++) gb->writebyte(a, 0);
    }
    void vram(uint16_t address, std::initializer_list<uint8_t> bytes) {
        for (uint8_t b : bytes) gb->writebyte(address++, b);
    }
};

TEST(VramViewer, DecodesTilesAndDrawsThemWithFlipsAndPalettes) {
    tviewmachine m;
    // Row 0 of tile 1: low plane 0x80, high plane 0x01 -> colours 1,0,0,0,0,0,0,2.
    m.vram(0x8010, {0x80, 0x01, 0xFF, 0xFF});
    tvramview v(*m.gb);
    const auto px = v.tilepixels(1);
    EXPECT_EQ(px[0], 1);
    EXPECT_EQ(px[7], 2);
    EXPECT_EQ(px[3], 0);
    EXPECT_EQ(px[8], 3);  // row 1: both planes set
    tviewimage img;
    img.create(8, 8);
    v.drawtile(img, 0, 0, 1, -1, true, true);  // both flips: row 0 lands at the bottom, mirrored
    EXPECT_EQ(img.at(7, 7), greyramp[1]);
    EXPECT_EQ(img.at(0, 7), greyramp[2]);
    EXPECT_EQ(img.at(0, 6), greyramp[3]);
    // Colour 0 in the window's background (sprites).
    v.drawtile(img, 0, 0, 1, -1, false, false, 0x123456);
    EXPECT_EQ(img.at(3, 0), 0x123456u);
    // DMG palettes read the output's mapped entries: BGP from 16, OBP0 from 24, OBP1 from 28.
    std::array<uint32_t, 256> out{};
    for (int i = 0; i < 256; i++) out[size_t(i)] = uint32_t(i);
    v.outputpalette = &out;
    EXPECT_EQ(v.palettecolours(4), (std::array<uint32_t, 4>{16, 17, 18, 19}));
    EXPECT_EQ(v.palettecolours(7), (std::array<uint32_t, 4>{28, 29, 30, 31}));
    EXPECT_EQ(v.palettecolours(-1), greyramp);
}

TEST(VramViewer, NamesPalettesAndSpritesByMode) {
    struct tcase {
        int n;
        bool gbc;
        const char* name;
    } cases[] = {{0, true, "BG 0"}, {7, true, "BG 7"}, {8, true, "OBJ 0"}, {15, true, "OBJ 7"},
                 {4, false, "BGP"}, {6, false, "OBP0"}, {7, false, "OBP1"}, {0, false, ""}, {-1, false, ""}};
    for (const auto& c : cases) EXPECT_EQ(vrampalettename(c.n, c.gbc), c.name) << c.n;
}

TEST(VramViewer, MapEntriesFollowLcdcAddressingAndShowDmgPalette) {
    tviewmachine m;
    m.vram(0x9805, {0x05});
    tvramview v(*m.gb);
    // LCDC bit 4 clear: 0x8800 addressing, tile number 5 is tile 256 + 5 at 0x9050.
    m.gb->writebyte(0xFF40, 0x00);
    tmapentryinfo e = v.mapentry(5, 0);
    EXPECT_EQ(e.tile, 261);
    EXPECT_EQ(e.Editmaptileaddr, "0:9050");
    EXPECT_EQ(e.Editmapmapaddr, "9805");
    EXPECT_EQ(e.Editmappal, "BGP");
    EXPECT_EQ(e.Editmapattr, "00");
    EXPECT_EQ(e.editmapx, "05");
    m.gb->writebyte(0xFF40, 0x10);
    EXPECT_EQ(v.mapentry(5, 0).Editmaptileaddr, "0:8050");
    // Fixed choices override LCDC.
    v.tiledata = ttiledata::fixed8800;
    v.mapsource = tmapsource::fixed9c00;
    e = v.mapentry(1, 1);
    EXPECT_EQ(e.Editmapmapaddr, "9C21");
    EXPECT_EQ(e.tile, 256);
}

TEST(VramViewer, GbcAttributesPickBankFlipsAndPalette) {
    tviewmachine m(1, 0x80);
    ASSERT_TRUE(m.gb->gbcmode);
    m.gb->writebyte(0xFF40, 0x10);
    m.vram(0x9800, {0x02});
    m.gb->writebyte(0xFF4F, 1);
    m.vram(0x9800, {0x08 | 0x20 | 0x80 | 0x03});  // bank 1, horizontal flip, priority, palette 3
    m.gb->writebyte(0xFF4F, 0);
    tvramview v(*m.gb);
    const tmapentryinfo e = v.mapentry(0, 0);
    EXPECT_EQ(e.tile, 384 + 2);
    EXPECT_EQ(e.Editmaptileaddr, "1:8020");
    EXPECT_TRUE(e.Checkhflip);
    EXPECT_FALSE(e.checkvflip);
    EXPECT_TRUE(e.Checkmappriority);
    EXPECT_EQ(e.Editmappal, "BG 3");
    // The palette page: word 0x7C1F (blue 1F, green 00, red 1F) of background palette 1.
    m.gb->writebyte(0xFF68, 0x80 | 8);
    m.gb->writebyte(0xFF69, 0x1F);
    m.gb->writebyte(0xFF69, 0x7C);
    const tpaletteentryinfo p = v.paletteinfo(4);
    EXPECT_EQ(p.text, "7C1F");
    EXPECT_EQ(p.Editpalred, "1F");
    EXPECT_EQ(p.Editpalgreen, "00");
    EXPECT_EQ(p.Editpalblue, "1F");
}

TEST(VramViewer, SpritesOffTheScreenAndTheirPanel) {
    struct tcase {
        int y;
        bool tall, off;
    } cases[] = {{0, false, true}, {8, false, true}, {9, false, false}, {0, true, true},
                 {1, true, false}, {159, false, false}, {160, true, true}};
    for (const auto& c : cases) EXPECT_EQ(spriteoffscreen(c.y, c.tall), c.off) << c.y << c.tall;
    tviewmachine m;
    tgbinspect in(*m.gb);
    in.poke(0xFE04, 0);     // sprite 1: Y 0
    in.poke(0xFE05, 20);
    in.poke(0xFE06, 0x07);
    in.poke(0xFE07, 0x10);  // OBP1
    m.gb->writebyte(0xFF40, 0x04);  // 8 x 16
    tvramview v(*m.gb);
    const tspriteinfo s = v.spriteinfo(1);
    EXPECT_TRUE(s.offscreen);
    EXPECT_EQ(s.tile, 6);  // the pair's even tile
    EXPECT_EQ(s.Editoamaddr, "FE04");
    EXPECT_EQ(s.Editoampal, "OBP1");
    EXPECT_EQ(s.Editoamtileaddr, "0:8060");
    EXPECT_EQ(s.box, (tviewrect{12, -16, 8, 16}));
}

TEST(VramViewer, RedrawsOnlyWhatAWriteChanged) {
    tviewmachine m;
    m.gb->writebyte(0xFF40, 0x10);  // 0x8000 addressing, map 0x9800
    tvramview v(*m.gb);
    m.vram(0x9800, {0x03, 0x01, 0x03});  // two entries use tile 3
    tvramredraw first = v.refresh();
    EXPECT_EQ(first.tiles, 768);
    EXPECT_EQ(first.mapentries, 1024);
    EXPECT_EQ(v.refresh().tiles + v.refresh().mapentries, 0);
    // A tile's byte: that tile and the map entries showing it.
    m.vram(0x8031, {0xFF});
    tvramredraw r = v.refresh();
    EXPECT_EQ(r.tiles, 1);
    EXPECT_EQ(r.mapentries, 2);
    EXPECT_EQ(r.sprites, 0);
    EXPECT_EQ(v.tilepage.at(3 * 8, 0), greyramp[2]);  // colour 2 on the tiles page
    EXPECT_EQ(v.mappage.at(0, 0), greyramp[2]);
    EXPECT_EQ(v.mappage.at(16, 0), greyramp[2]);
    // A map byte: that entry only.
    m.vram(0x9801, {0x00});
    r = v.refresh();
    EXPECT_EQ(r.tiles, 0);
    EXPECT_EQ(r.mapentries, 1);
    // A changed BGP marks palette 4: every map entry.
    m.gb->writebyte(0xFF47, 0x1B);
    EXPECT_EQ(v.refresh().mapentries, 1024);
    // Switching LCDC's map base in automatic mode marks every entry; a sprite's OAM its cell.
    m.gb->writebyte(0xFF40, 0x18);
    EXPECT_EQ(v.refresh().mapentries, 1024);
    tgbinspect(*m.gb).poke(0xFE00 + 4 * 7, 50);
    r = v.refresh();
    EXPECT_EQ(r.sprites, 1);
    EXPECT_EQ(r.mapentries, 0);
    // A reset tells the watch that all of VRAM may have changed.
    m.gb->resetmachine();
    EXPECT_EQ(v.refresh().tiles, 768);
}

TEST(VramViewer, TileColoursComeFromTheMapAndVisibleSprites) {
    tviewmachine m(1, 0x80);
    m.gb->writebyte(0xFF40, 0x10);
    m.vram(0x9800, {0x04});
    m.gb->writebyte(0xFF4F, 1);
    m.vram(0x9800, {0x02});  // palette 2
    m.gb->writebyte(0xFF4F, 0);
    tgbinspect in(*m.gb);
    // Sprite 0 shows tile 9 with object palette 5, visible; sprite 1 tile 10 off the screen.
    for (uint16_t a = 0xFE00; a < 0xFEA0; a++) in.poke(a, 0);
    in.poke(0xFE00, 40), in.poke(0xFE01, 40), in.poke(0xFE02, 9), in.poke(0xFE03, 5);
    in.poke(0xFE04, 0), in.poke(0xFE05, 40), in.poke(0xFE06, 10), in.poke(0xFE07, 5);
    tvramview v(*m.gb);
    v.Checktilecolor = true;
    v.refresh();
    EXPECT_EQ(v.tileinfo(4).Edittilepal, "BG 2");
    EXPECT_EQ(v.tileinfo(9).Edittilepal, "OBJ 5");
    EXPECT_EQ(v.tileinfo(10).Edittilepal, "");
    // The map's other 1023 entries show tile 0 with palette 0; a later sprite overrides it.
    EXPECT_EQ(v.tileinfo(0).Edittilepal, "BG 0");
    in.poke(0xFE02, 0);
    v.refresh();
    EXPECT_EQ(v.tileinfo(0).Edittilepal, "OBJ 5");
    EXPECT_EQ(v.tileinfo(9).Edittilepal, "OBJ 5");  // last seen with it
}

TEST(VramViewer, PageGeometry) {
    EXPECT_EQ(tvramview::tileatcell(0, 0), 0);
    EXPECT_EQ(tvramview::tileatcell(17, 2), 384 + 33);
    EXPECT_EQ(tvramview::tileatcell(15, 23), 383);
    const tcellsize t = tilecellsize(800, 500, 160);
    EXPECT_EQ(t.width, (800 - 160 - 31) >> 5);
    EXPECT_EQ(t.height, (500 - 31) / 24);
    EXPECT_EQ(tilestretchtext(t), "stretch 19,19");
    EXPECT_EQ(tilecellsize(10, 10, 200).width, 1);
    EXPECT_EQ(mapcellsize(10, 10, 200).height, 2);
    EXPECT_EQ(mapstretchtext({5, 6}, true), "5,6");
    EXPECT_EQ(mapstretchtext({5, 6}, false), "6,7");
    struct tcase {
        int scx, scy;
        std::vector<tviewrect> rects;
    } cases[] = {
        {0, 0, {{0, 0, 160, 144}}},
        {96, 112, {{96, 112, 160, 144}}},
        {200, 0, {{200, 0, 56, 144}, {0, 0, 104, 144}}},
        {0, 200, {{0, 200, 160, 56}, {0, 0, 160, 88}}},
        {250, 250, {{250, 250, 6, 6}, {0, 250, 154, 6}, {250, 0, 6, 138}, {0, 0, 154, 138}}},
    };
    for (const auto& c : cases) EXPECT_EQ(screenrectangles(c.scx, c.scy), c.rects) << c.scx << "," << c.scy;
}

TEST(VramViewer, ChainsTheWatchAndLetsGoOfIt) {
    tviewmachine m;
    int calls = 0;
    static int* counter;
    counter = &calls;
    m.gb->vramwatch = [](void*, int, int) { (*counter)++; };
    m.gb->vramwatchcontext = nullptr;
    {
        tvramview v(*m.gb);
        m.vram(0x8000, {1});
        EXPECT_EQ(calls, 1);
        EXPECT_TRUE(v.tilechanged[0]);
    }
    m.vram(0x8000, {2});
    EXPECT_EQ(calls, 2);
    m.gb->vramwatch = nullptr;
}

TEST(VramViewer, WritesTheTileAndMapPages) {
    tviewmachine m;
    tvramview v(*m.gb);
    const std::string file = (std::filesystem::temp_directory_path() /
                              ("tov_vram_test_" + std::to_string(::getpid()) + ".bmp")).string();
    ASSERT_TRUE(v.writepages(file));
    EXPECT_GT(std::filesystem::file_size(file), 520u * 256u * 3u);
    std::filesystem::remove(file);
    EXPECT_FALSE(v.writepages("/nonexistent-folder/x.bmp"));
}

}  // namespace
}  // namespace tov::testing
