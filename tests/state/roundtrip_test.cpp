// A state saved at frame N and loaded into a machine built afresh gives, frame for frame,
// the same picture, sound samples, serial bytes and machine state as the run that went on
// uninterrupted: DMG, GBC in double speed with an HDMA running, SGB with a border, an
// attribute map and a command in progress, MBC3 with its clock, MBC5 with RAM banking.
// The same through the headless runner in separate processes.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "cart/mbc3.h"
#include "roundtriptest.h"

namespace tov {
namespace {

using namespace statetest;

constexpr int framesafter = 600;

struct troundtrip {
    const char* name;
    uint8_t carttype;
    bool colour, sgb;
    int systemmode;
    int framesbefore;
};

// Plays `before` frames, saves, and compares the uninterrupted run with a fresh machine
// that loaded the file. `atsave` may shape the moment of saving (and check it).
void roundtrip(const troundtrip& t, const std::function<void(tplayer&)>& atsave = {}) {
    ttempfolder folder;
    const std::string rom = folder.file(std::string(t.name) + ".gb");
    writefile(rom, playrom(t.carttype, t.colour, t.sgb));
    const std::string state = folder.file(std::string(t.name) + ".sn1");

    tplayer a(t.systemmode);
    ASSERT_TRUE(a.load(rom));
    for (int i = 0; i < t.framesbefore; i++) a.frame();
    if (atsave) atsave(a);
    if (::testing::Test::HasFatalFailure()) return;
    a.states->savestate(state);
    const size_t samplemark = a.samplecount() * 2;
    const size_t serialmark = a.serial.size();

    tplayer b(t.systemmode);  // nothing loaded: the state brings its ROM
    b.states->loadstate(state);
    ASSERT_EQ(b.session->romfile(), a.session->romfile());
    for (int i = 0; i < framesafter; i++) {
        const tbitmap& pa = a.frame();
        const tbitmap& pb = b.frame();
        ASSERT_TRUE(samepixels(pa, pb)) << t.name << ": picture differs " << i << " frames after the load";
        ASSERT_EQ(snapshot(a.session->machine()), snapshot(b.session->machine()))
            << t.name << ": machine differs " << i << " frames after the load";
        if (t.sgb) {
            ASSERT_EQ(a.session->sgb().border, b.session->sgb().border) << t.name << ": border, frame " << i;
        }
    }
    std::vector<int> sa = a.samples(), sb = b.samples();
    ASSERT_GT(sb.size(), size_t(framesafter) * 500) << "the samples of 600 frames";
    // The staged part-page of the uninterrupted run is not delivered yet.
    ASSERT_GT(sa.size(), samplemark + size_t(framesafter) * 500);
    const size_t common = std::min(sb.size(), sa.size() - samplemark);
    int silent = 0;
    for (size_t i = 0; i < common; i++) {
        ASSERT_EQ(sa[samplemark + i], sb[i]) << t.name << ": sample " << i << " after the load";
        silent += sb[i] == 0;
    }
    EXPECT_LT(silent, int(common / 2)) << "the program makes sound";
    std::vector<uint8_t> serialafter(a.serial.begin() + std::ptrdiff_t(serialmark), a.serial.end());
    EXPECT_GT(serialafter.size(), 100u);
    EXPECT_EQ(serialafter, b.serial) << t.name << ": serial bytes";
}

TEST(StateRoundTrip, DmgRunsOnAsUninterrupted) { roundtrip({"dmg", cartmbc1, false, false, 0, 97}); }

TEST(StateRoundTrip, GbcDoubleSpeedWithHdmaRunning) {
    roundtrip({"gbc", cartmbc5, true, false, 1, 45}, [](tplayer& p) {
        tgb& gb = p.session->machine();
        ASSERT_TRUE(gb.gbcmode);
        EXPECT_EQ(gb.speed, 1) << "double speed";
        EXPECT_EQ(gb.hdma5 & 0x80, 0) << "an HBlank DMA is running when the frame ends";
    });
}

TEST(StateRoundTrip, SgbWithBorderAttributesAndCommandInProgress) {
    roundtrip({"sgb", cartmbc1, false, true, 2, 40}, [](tplayer& p) {
        tsgb& sgb = p.session->sgb();
        ASSERT_TRUE(p.session->machine().sgbmode);
        // A border as a CHR_TRN and PCT_TRN would leave it: tiles, map and palettes.
        for (int i = 0; i < 8192; i++) sgb.chardata[i] = uint8_t(i * 13 + (i >> 5));
        for (int i = 0; i < 1024; i++) sgb.pctmap[i] = uint16_t((i & 0xFF) | (((i >> 4) & 3) + 4) << 10);
        for (int i = 64; i < 128; i++) sgb.pal[i] = uint16_t(i * 0x2F1);
        sgb.hasborder = true;
        sgb.rebuild();
        // An attribute map as ATTR_CHR would leave it.
        for (int i = 0; i < 90; i++) sgb.attr[i] = uint8_t(i * 0x1B);
        sgb.rebuild();
        // Frames until a packet is half sent when the frame ends.
        for (int i = 0; i < 16 && !(sgb.xferbusy && sgb.xferoffset > 0 && sgb.xferoffset < 128); i++) p.frame();
        ASSERT_TRUE(sgb.xferbusy) << "a packet is in progress";
        ASSERT_GT(sgb.xferoffset, 0);
        ASSERT_LT(sgb.xferoffset, 128);
    });
}

TEST(StateRoundTrip, Mbc3WithClock) {
    roundtrip({"mbc3", cartmbc3, false, false, 0, 61}, [](tplayer& p) {
        auto* cart = dynamic_cast<tcartmbc3*>(&p.session->cartridge());
        ASSERT_NE(cart, nullptr);
        cart->rtc = {41, 17, 5, 200, 1};
        cart->rtclatched = {40, 17, 5, 200, 1};
    });
}

TEST(StateRoundTrip, Mbc5WithRamBanking) {
    roundtrip({"mbc5", cartmbc5, false, false, 0, 83}, [](tplayer& p) {
        auto* cart = dynamic_cast<tcartmbcbase*>(&p.session->cartridge());
        ASSERT_NE(cart, nullptr);
        EXPECT_GT(cart->ramused, 0) << "more than one RAM bank in use";
    });
}

// ---- Separate processes through the headless runner ----

std::string run(const std::string& arguments) {
    std::string command = std::string(TOV_RUN) + " " + arguments + " 2>&1";
    std::string output;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = fread(buffer, 1, sizeof buffer, p)) > 0) output.append(buffer, n);
        pclose(p);
    }
    return output;
}

// The serial bytes a run printed (everything before its last lines).
std::string serialtext(const std::string& output) {
    size_t end = output.rfind("result:");
    return end == std::string::npos ? output : output.substr(0, end);
}

// Where the samples of a WAV file start (after the "data" chunk's header).
size_t wavdata(const std::vector<uint8_t>& wav) {
    static const char tag[] = "data";
    auto at = std::search(wav.begin(), wav.end(), tag, tag + 4);
    return at == wav.end() ? wav.size() : size_t(at - wav.begin()) + 8;
}

void processroundtrip(const char* name, uint8_t carttype, bool colour, int systemmode, int before) {
    ttempfolder folder;
    const std::string rom = folder.file(std::string(name) + ".gb");
    writefile(rom, playrom(carttype, colour, false));
    // Power-on memory filled with one value, so that the two runs from the ROM start alike.
    const std::string mode = " --set SystemMode=" + std::to_string(systemmode) + " --set UninitedWRAM=1 --serial ";
    const std::string state = folder.file("saved.sn3");
    std::string a = run("--frames " + std::to_string(before) + mode + "--wav " + folder.file("a.wav") +
                        " --save-state " + state + " " + rom);
    std::string b = run("--frames " + std::to_string(framesafter) + mode + "--wav " + folder.file("b.wav") +
                        " --screenshot " + folder.file("b.bmp") + " --load-state " + state);
    std::string c = run("--frames " + std::to_string(before + framesafter) + mode + "--wav " + folder.file("c.wav") +
                        " --screenshot " + folder.file("c.bmp") + " " + rom);
    ASSERT_NE(b.find("result: none"), std::string::npos) << b;
    EXPECT_EQ(readfile(folder.file("b.bmp")), readfile(folder.file("c.bmp"))) << name << ": last picture";
    // The serial bytes of the loaded run are those the uninterrupted run sent after frame N.
    std::string sa = serialtext(a), sb = serialtext(b), sc = serialtext(c);
    ASSERT_GT(sb.size(), 100u);
    EXPECT_EQ(sc.substr(0, sa.size() - 1), sa.substr(0, sa.size() - 1));
    EXPECT_NE(sc.find(sb.substr(0, sb.size() - 1), sa.size() > 80 ? sa.size() - 80 : 0), std::string::npos)
        << name << ": serial bytes after the load";
    // The samples of the loaded run follow those of the first run; the last part-page of a
    // recording is not written, so the match is looked for within one page after it.
    std::vector<uint8_t> wa = readfile(folder.file("a.wav")), wb = readfile(folder.file("b.wav")),
                         wc = readfile(folder.file("c.wav"));
    ASSERT_GT(wb.size(), 600 * 2000u);
    const std::vector<uint8_t> tail(wb.begin() + std::ptrdiff_t(wavdata(wb)), wb.end());
    const size_t start = wavdata(wc) + (wa.size() - wavdata(wa));
    bool found = false;
    // Either recording may end with the longer unwritten part-page; the common part counts.
    for (size_t o = start; !found && o <= start + 65536 && o + tail.size() / 2 <= wc.size(); o += 4) {
        const size_t n = std::min(tail.size(), wc.size() - o);
        found = n > tail.size() - 65536 && std::equal(tail.begin(), tail.begin() + std::ptrdiff_t(n),
                                                      wc.begin() + std::ptrdiff_t(o));
    }
    EXPECT_TRUE(found) << name << ": the loaded run's sound is the uninterrupted run's";
}

TEST(StateRoundTripProcess, DmgInSeparateRuns) { processroundtrip("dmg", cartmbc1, false, 0, 120); }
TEST(StateRoundTripProcess, GbcInSeparateRuns) { processroundtrip("gbc", cartmbc5, true, 1, 45); }
TEST(StateRoundTripProcess, Mbc3InSeparateRuns) { processroundtrip("mbc3", cartmbc3, false, 0, 77); }

}  // namespace
}  // namespace tov
