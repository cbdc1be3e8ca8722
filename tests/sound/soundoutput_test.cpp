// WAV writer layout and sizes, the output group's fan-out, and sound start-up with
// its fall-back and messages.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "sound/gbsoundtov.h"
#include "sound/soundoutput.h"
#include "sound/soundsetup.h"
#include "soundtesthelpers.h"

namespace tov {
namespace {

using testing::tcaptureoutput;
namespace fs = std::filesystem;

std::vector<uint8_t> readfile(const std::string& name) {
    std::ifstream f(name, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(f), {});
}
uint32_t le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}
uint32_t le16(const std::vector<uint8_t>& b, size_t at) { return b[at] | b[at + 1] << 8; }

class TempDir : public ::testing::Test {
protected:
    fs::path dir;
    void SetUp() override {
        dir = fs::temp_directory_path() /
              ("tov_sound_" + std::to_string(::getpid()) + "_" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string file(const char* name) { return (dir / name).string(); }
};

using WavWriter = TempDir;

TEST_F(WavWriter, HeaderAndSizesForNPages) {
    for (int n : {0, 1, 5}) {
        std::string name = file("out.wav");
        {
            Tsoundoutputdiskwav w(name);
            w.setformat(22050, 2, 2);
            w.setpagesize(100);
            w.init();
            std::vector<uint8_t> page(400, 0x5A);
            for (int i = 0; i < n; i++) w.writepage(page.data());
            w.shutdown();
        }
        auto b = readfile(name);
        const uint32_t pagebytes = 100 * 2 * 2;
        ASSERT_EQ(b.size(), 46 + n * pagebytes) << n;
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
        EXPECT_EQ(le32(b, 4), 38 + n * pagebytes);
        EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
        EXPECT_EQ(le32(b, 16), 18u);
        EXPECT_EQ(le16(b, 20), 1u);
        EXPECT_EQ(le16(b, 22), 2u);
        EXPECT_EQ(le32(b, 24), 22050u);
        EXPECT_EQ(le32(b, 28), 22050u * 4);
        EXPECT_EQ(le16(b, 32), 4u);
        EXPECT_EQ(le16(b, 34), 16u);
        EXPECT_EQ(le16(b, 36), 0u);
        EXPECT_EQ(std::string(b.begin() + 38, b.begin() + 42), "data");
        EXPECT_EQ(le32(b, 42), n * pagebytes);
    }
}

TEST_F(WavWriter, DestroyingFinishesTheFile) {
    std::string name = file("d.wav");
    std::vector<uint8_t> page(64, 1);
    {
        Tsoundoutputdiskwav w(name);
        w.setformat(8000, 1, 1);
        w.setpagesize(64);
        w.init();
        w.writepage(page.data());
    }
    auto b = readfile(name);
    ASSERT_EQ(b.size(), 46u + 64);
    EXPECT_EQ(le32(b, 42), 64u);
}

TEST_F(WavWriter, UnopenableFileFailsWithItsMessage) {
    std::string name = dir.string() + "/";
    Tsoundoutputdiskwav w(name);
    try {
        w.init();
        FAIL() << "init succeeded on a directory";
    } catch (const tsounderror& e) {
        EXPECT_EQ(std::string(e.what()), "failed to open file " + name + " for write");
    }
    EXPECT_FALSE(w.initialised);
}

// A file size limit makes writes fail part-way through a page, as a full disk does.
class tfilelimit {
public:
    explicit tfilelimit(rlim_t bytes) {
        std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &old);
        rlimit l = old;
        l.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &l);
    }
    ~tfilelimit() { setrlimit(RLIMIT_FSIZE, &old); }

private:
    rlimit old{};
};

// The header's sizes agree with the file's length and describe whole pages.
void expectvalidwav(const std::vector<uint8_t>& b, uint32_t pagebytes, size_t pages) {
    ASSERT_EQ(b.size(), 46 + pages * pagebytes);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
    EXPECT_EQ(le32(b, 4), b.size() - 8);
    EXPECT_EQ(std::string(b.begin() + 38, b.begin() + 42), "data");
    EXPECT_EQ(le32(b, 42), b.size() - 46);
}

TEST_F(WavWriter, WriteErrorFinishesAValidFileOfTheWholePages) {
    std::string name = file("full.wav");
    const uint32_t pagebytes = 100 * 4;
    Tsoundoutputdiskwav w(name);
    w.setformat(44100, 2, 2);
    w.setpagesize(100);
    std::vector<uint8_t> page(pagebytes, 0x33);
    {
        tfilelimit limit(46 + 2 * pagebytes + pagebytes / 2);  // room for 2.5 pages
        w.init();
        for (int i = 0; i < 5; i++) w.writepage(page.data());
        EXPECT_TRUE(w.writefailed());
        EXPECT_EQ(w.writeerror(), "failed to write file " + name);
        EXPECT_EQ(w.pageswritten, 2);
        // Finished at once: valid while the program still runs.
        expectvalidwav(readfile(name), pagebytes, 2);
    }
    w.writepage(page.data());  // dropped after the error
    w.shutdown();
    expectvalidwav(readfile(name), pagebytes, 2);
}

TEST(OutputGroup, FansPagesOutLastAddedFirst) {
    std::vector<int> order;
    tsoundoutputgroup g;
    auto push = std::make_unique<tcaptureoutput>(false, &order, 1);
    auto pull = std::make_unique<tcaptureoutput>(true, &order, 2);
    auto pull2 = std::make_unique<tcaptureoutput>(true, &order, 3);
    tcaptureoutput *a = push.get(), *b = pull.get(), *c = pull2.get();
    g.add(std::move(push));
    EXPECT_FALSE(g.pull());
    g.add(std::move(pull));
    g.add(std::move(pull2));
    EXPECT_TRUE(g.pull());
    EXPECT_EQ(g.pacingmember(), b);  // the first pull member paces

    int calls = 0;
    g.pagecallback = tpagecallback{[](void* n) { ++*static_cast<int*>(n); }, &calls};
    g.backlog = tbacklogcallback{[](void*) { return 77; }, nullptr};
    g.sourcerate = 44620.25;
    g.setformat(44100, 2, 2);
    g.setpagesize(1050);
    g.setpagecount(4);
    g.init();
    for (tcaptureoutput* m : {a, b, c}) {
        EXPECT_TRUE(m->initialised);
        EXPECT_EQ(m->samplerate, 44100);
        EXPECT_EQ(m->bytespersample, 2);
        EXPECT_EQ(m->channels, 2);
        EXPECT_EQ(m->pageframes, 1050);
        EXPECT_EQ(m->pagecount, 4);
    }
    b->pagecallback();
    EXPECT_EQ(calls, 1);
    EXPECT_FALSE(c->pagecallback);
    // The pacing member also learns the unit's backlog and rate, to meet its device.
    EXPECT_EQ(b->backlog(), 77);
    EXPECT_FALSE(c->backlog);
    EXPECT_EQ(b->sourcerate, 44620.25);

    std::vector<uint8_t> page(1050 * 4, 7);
    g.writepage(page.data());
    EXPECT_EQ(order, (std::vector<int>{3, 2, 1}));
    EXPECT_EQ(a->pages.size(), 1u);
    EXPECT_EQ(c->pages.size(), 1u);

    g.shutdown();
    EXPECT_FALSE(a->initialised || b->initialised || c->initialised);
    g.writepage(page.data());  // not initialised: nothing
    EXPECT_EQ(order.size(), 3u);
}

TEST(OutputGroup, EmptyGroupFails) {
    tsoundoutputgroup g;
    try {
        g.init();
    } catch (const tsounderror& e) {
        EXPECT_EQ(std::string(e.what()), "no items in group");
    }
    EXPECT_FALSE(g.initialised);
}

// A device that fails at init while `broken` is set.
class tfakedevice : public Tsoundoutput {
public:
    explicit tfakedevice(bool broken) : broken(broken) {}
    bool broken;
    bool pull() override { return true; }
    void init() override {
        Tsoundoutput::init();
        if (broken) fail("device broken");
    }
};

class SoundStart : public TempDir {
protected:
    tgbsoundtov unit;
    tsoundoptions s;
    tsoundsetup setup;
    std::vector<bool> asked;  // the `preferred` argument of each device request
    std::vector<std::pair<std::string, std::string>> boxes;
    int saves = 0;
    bool preferredbroken = false, fallbackbroken = false;

    void SetUp() override {
        TempDir::SetUp();
        s.WaveOut = true;
        s.WavFileOut = false;
        s.DSound = true;
        s.DSoundWarning = false;
        s.Samplerate = 44100;
        s.SoundBufSize = 42;
        s.Speed = 1.0;
        s.WavFilename = "gbsound.wav";
        setup.createdevice = [this](bool preferred) -> std::unique_ptr<Tsoundoutput> {
            asked.push_back(preferred);
            return std::make_unique<tfakedevice>(preferred ? preferredbroken : fallbackbroken);
        };
        setup.messagebox = [this](const std::string& t, const std::string& title) {
            boxes.emplace_back(t, title);
        };
        setup.soundoff = [this] { saves++; };
        setup.resolvepath = [this](const std::string& n) { return dir.string() + "/" + n; };
        unit.soundreset(false, false);
    }
};

TEST_F(SoundStart, DeviceGetsTheFixedGeometry) {
    EXPECT_TRUE(setup.start(unit, s));
    Tsoundoutput* o = unit.output();
    ASSERT_NE(o, nullptr);
    EXPECT_EQ(o->samplerate, 44100);
    EXPECT_EQ(o->channels, 2);
    EXPECT_EQ(o->bytespersample, 2);
    EXPECT_EQ(o->pagecount, 4);
    EXPECT_EQ(o->pageframes, 1050);
    EXPECT_TRUE(o->initialised);
    EXPECT_EQ(asked, (std::vector<bool>{true}));
    EXPECT_TRUE(boxes.empty());
}

TEST_F(SoundStart, DeviceAndWavFileMakeAGroup) {
    s.WavFileOut = true;
    s.Bits8 = true;
    ASSERT_TRUE(setup.start(unit, s));
    auto* g = dynamic_cast<tsoundoutputgroup*>(unit.output());
    ASSERT_NE(g, nullptr);
    ASSERT_EQ(g->size(), 2u);
    EXPECT_NE(dynamic_cast<tfakedevice*>(g->member(0)), nullptr);
    auto* wav = dynamic_cast<Tsoundoutputdiskwav*>(g->member(1));
    ASSERT_NE(wav, nullptr);
    EXPECT_EQ(wav->filename, dir.string() + "/gbsound.wav");
    EXPECT_EQ(wav->bytespersample, 1);
    unit.stopoutput();
    // The primed pages went to both: the file holds exactly what the device got.
    auto b = readfile(dir.string() + "/gbsound.wav");
    EXPECT_EQ(b.size(), 46u + 4 * 1050 * 2);
}

// The group reports its pacing member's page size; the unit's pages must be as long as
// the pages the members write, also when that is more than a device's default page.
TEST_F(SoundStart, GroupPagesAreAsLongAsTheMembersPages) {
    s.WavFileOut = true;
    s.Samplerate = 96000;  // 2285 frames a page, more than an output's default 1024
    ASSERT_TRUE(setup.start(unit, s));
    EXPECT_EQ(unit.capacity(), 2285);
    EXPECT_EQ(unit.output()->pagesize(), 2285);
    // Rendered pages reach the file whole: a square wave, then the file's data.
    unit.soundwrite(0x25, 0xFF);
    unit.soundwrite(0x17, 0xF0);
    unit.soundwrite(0x19, 0x87);
    for (int i = 0; i < 2; i++) unit.fillpage();
    unit.stopoutput();
    auto b = readfile(dir.string() + "/gbsound.wav");
    EXPECT_EQ(b.size(), 46u + 6 * 2285 * 4);
}

TEST_F(SoundStart, PreferredDeviceFailureFallsBackQuietly) {
    preferredbroken = true;
    EXPECT_TRUE(setup.start(unit, s));
    EXPECT_EQ(asked, (std::vector<bool>{true, false}));
    EXPECT_TRUE(boxes.empty());
    // The successful start clears the failure record: the next start tries again.
    EXPECT_FALSE(setup.preferredfailed);
    preferredbroken = false;
    EXPECT_TRUE(setup.start(unit, s));
    EXPECT_EQ(asked, (std::vector<bool>{true, false, true}));
}

TEST_F(SoundStart, FallbackWarningWhenAsked) {
    preferredbroken = true;
    s.DSoundWarning = true;
    EXPECT_TRUE(setup.start(unit, s));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "sound output: device broken");
    EXPECT_EQ(boxes[0].second, "error2");
}

TEST_F(SoundStart, EveryDeviceFailingSwitchesSoundOff) {
    preferredbroken = fallbackbroken = true;
    s.WavFileOut = true;
    EXPECT_FALSE(setup.start(unit, s));
    EXPECT_FALSE(s.WaveOut);
    EXPECT_FALSE(s.WavFileOut);
    EXPECT_EQ(saves, 1);
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "sound output: device broken");
    EXPECT_EQ(boxes[0].second, "error");
    EXPECT_EQ(unit.output(), nullptr);
}

TEST_F(SoundStart, EmptyWavFilenameFailsToOpenAndSwitchesSoundOff) {
    s.WaveOut = false;
    s.WavFileOut = true;
    s.WavFilename = "";
    EXPECT_FALSE(setup.start(unit, s));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "sound output: failed to open file " + dir.string() + "/ for write");
    EXPECT_EQ(boxes[0].second, "error");
    EXPECT_FALSE(s.WavFileOut);
}

TEST_F(SoundStart, WavRecordingForTheHeadlessRunner) {
    std::string name = file("run.wav");
    ASSERT_EQ(startwavrecording(unit, name), "");
    // A WAV file alone is not primed: its pages are emulated time only.
    unit.soundwrite(0x25, 0xFF);
    for (int i = 0; i < 256; i++) {  // one emulated second
        unit.pending += 8192;
        unit.framestep();
    }
    unit.stopoutput();
    auto b = readfile(name);
    // 2^21 / 47 = 44620 frames; whole pages of 1050 only.
    EXPECT_EQ(b.size(), 46u + 42 * 1050 * 4);
    // The file is labelled with the rate the frames were made at, so one emulated second
    // plays for one second at the emulation's pitch.
    ASSERT_GE(b.size(), 28u);
    const uint32_t rate = uint32_t(b[24]) | uint32_t(b[25]) << 8 | uint32_t(b[26]) << 16 | uint32_t(b[27]) << 24;
    EXPECT_EQ(rate, 44620u);
    EXPECT_EQ(startwavrecording(unit, dir.string() + "/"),
              "sound output: failed to open file " + dir.string() + "/ for write");
    EXPECT_EQ(unit.output(), nullptr);
}

// Pausing and resuming, Apply or the sound switch restart the sound: within one run the
// recording goes on in the same file, with or without the device; a new run (a new
// setup) starts the file anew.
TEST_F(SoundStart, RestartsInOneRunContinueTheRecording) {
    for (bool device : {false, true}) {
        s.WaveOut = device;
        s.WavFileOut = true;
        s.Bits8 = false;
        const std::string name = dir.string() + "/gbsound.wav";
        const uint32_t pagebytes = 1050 * 4;
        tsoundsetup run;
        run.createdevice = setup.createdevice;
        run.resolvepath = setup.resolvepath;
        std::vector<uint8_t> before;
        size_t pages = 0;
        for (int start = 0; start < 3; start++) {
            ASSERT_TRUE(run.start(unit, s));
            // A few pages of a tone: pushed when full, or asked for by the device.
            unit.soundwrite(0x25, 0xFF);
            unit.soundwrite(0x17, 0xF0);
            unit.soundwrite(0x19, 0x80 | start);
            for (int i = 0; i < 3; i++) {
                unit.pending += 1050 * 47;
                unit.renderpending();
                if (device) unit.fillpage();
            }
            pages += device ? 4 + 3 : 3;  // a device's ring is primed first
            unit.stopoutput();
            auto b = readfile(name);
            expectvalidwav(b, pagebytes, pages);
            // What was recorded before is still there.
            ASSERT_GE(b.size(), before.size());
            if (!before.empty())
                EXPECT_TRUE(std::equal(before.begin() + 46, before.end(), b.begin() + 46)) << device << start;
            before = b;
        }
        EXPECT_EQ(run.recordedfiles(), (std::vector<std::string>{name}));
        // The program started again: a new file.
        tsoundsetup next;
        next.createdevice = setup.createdevice;
        next.resolvepath = setup.resolvepath;
        ASSERT_TRUE(next.start(unit, s));
        unit.stopoutput();
        expectvalidwav(readfile(name), pagebytes, device ? 4 : 0);
        // Another format cannot go on in the same file: it starts anew.
        ASSERT_TRUE(run.start(unit, s));
        unit.stopoutput();
        s.Bits8 = true;
        ASSERT_TRUE(run.start(unit, s));
        unit.stopoutput();
        auto b = readfile(name);
        EXPECT_EQ(le16(b, 34), 8u);
        expectvalidwav(b, 1050 * 2, device ? 4 : 0);
    }
}

// A write error while recording (a full disk) is told once under "error", ends the
// recording and leaves the device playing.
TEST_F(SoundStart, WriteErrorIsReportedOnceAndEndsTheRecording) {
    s.WavFileOut = true;
    int offs = 0;
    setup.recordingoff = [&] { offs++; };
    const std::string name = dir.string() + "/gbsound.wav";
    {
        tfilelimit limit(46 + 6 * 1050 * 4 + 100);
        ASSERT_TRUE(setup.start(unit, s));
        EXPECT_FALSE(setup.checkrecording(unit, s));
        for (int i = 0; i < 10; i++) unit.fillpage();
    }
    EXPECT_TRUE(setup.checkrecording(unit, s));
    EXPECT_FALSE(setup.checkrecording(unit, s));
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].first, "sound output: failed to write file " + name);
    EXPECT_EQ(boxes[0].second, "error");
    EXPECT_FALSE(s.WavFileOut);
    EXPECT_TRUE(s.WaveOut);
    EXPECT_EQ(offs, 1);
    EXPECT_EQ(saves, 0);  // the device was not switched off
    expectvalidwav(readfile(name), 1050 * 4, 6);
    // The device still gets its pages.
    auto* g = dynamic_cast<tsoundoutputgroup*>(unit.output());
    ASSERT_NE(g, nullptr);
    EXPECT_EQ(g->member(0)->initialised, true);
    unit.stopoutput();
    expectvalidwav(readfile(name), 1050 * 4, 6);
}

}  // namespace
}  // namespace tov
