// Sound outputs: where the sound unit's pages of interleaved PCM frames go.
// A pull output (a device) asks for pages through its page callback when it has
// room; a push output (the WAV writer alone) is handed each page as soon as it is
// full. Device outputs live in src/platform; this file holds the base, the WAV
// writer and the group that fans pages out to several outputs.
#pragma once
#include <cstdint>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace tov {

// Raised by an output's init (and by "fail with message"); the text is one of the
// outputs' own messages, which the caller prefixes with "sound output: ".
class tsounderror : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A routine and its context: called when a pull output wants one more page.
struct tpagecallback {
    void (*code)(void* context) = nullptr;
    void* context = nullptr;
    void operator()() const {
        if (code) code(context);
    }
    explicit operator bool() const { return code != nullptr; }
};

// A routine and its context that tell how many sample frames the sound unit holds
// ready, not yet handed over (its staging buffer).
struct tbacklogcallback {
    int (*code)(void* context) = nullptr;
    void* context = nullptr;
    int operator()() const { return code ? code(context) : 0; }
    explicit operator bool() const { return code != nullptr; }
};

class Tsoundoutput {
public:
    bool initialised = false;
    int pageframes = 1024;   // sample frames per page
    int pagebytes = 0;       // pageframes x channels x bytes per sample (device outputs)
    int pagecount = 2;       // pages in a device ring; a power of two
    int samplerate = 11025;
    int bytespersample = 1;  // 1: unsigned 8-bit, 2: signed 16-bit little-endian
    int channels = 1;        // frames interleave left then right
    tpagecallback pagecallback;
    int64_t pageswritten = 0;
    // The sound unit's side, set before init: its staging backlog, and the rate at which
    // it delivers frames in real time (its whole ticks per sample make that about 1.2 %
    // more than `samplerate` at 44100 Hz; 0: the same as `samplerate`). A device output
    // uses both to meet its device at the device's own pace.
    tbacklogcallback backlog;
    double sourcerate = 0;

    virtual ~Tsoundoutput() = default;  // derived classes shut down in their destructors

    // Virtual operations in slot order.
    virtual void setplaytime(double) {}
    virtual double playtime() { return 0; }
    virtual bool pull() { return false; }
    virtual int pagesize() { return pageframes; }
    virtual void writepage(const uint8_t* frames) {}
    virtual void setpagesize(int frames) {
        if (!initialised) pageframes = frames;
    }
    virtual void setpagecount(int count) {
        if (!initialised) pagecount = count;
    }
    [[noreturn]] virtual void fail(const std::string& message);
    virtual void init();
    virtual void shutdown() { initialised = false; }
    // Host services for device outputs that are polled from the main loop rather than
    // notified (the SDL device): called once per pass of the frame loop and in every
    // waiting pass; requests the pages the device takes now. Nothing by default.
    virtual void service() {}

    void setformat(int rate, int bytes, int chans) {
        samplerate = rate;
        bytespersample = bytes;
        channels = chans;
    }
    int framebytes() const { return channels * bytespersample; }
};

// WAV file writer: a 46-byte header (format chunk of 18 bytes), then the pages as
// they arrive; the two size fields are fixed up at every shutdown. With `continuefile`
// (the same run of the program restarting its sound) an existing file of the same
// format is continued after its data instead of being truncated.
class Tsoundoutputdiskwav : public Tsoundoutput {
public:
    static constexpr int headersize = 46;
    std::string filename = "sample.wav";
    bool continuefile = false;
    // Set by the front end once it has told the user about a write error.
    bool errorreported = false;

    Tsoundoutputdiskwav() = default;
    explicit Tsoundoutputdiskwav(std::string name) : filename(std::move(name)) {}
    ~Tsoundoutputdiskwav() override;

    bool pull() override { return false; }
    void writepage(const uint8_t* frames) override;
    void init() override;
    void shutdown() override;

    // True after a write to the file failed (a full disk, a removed folder). The file was
    // then finished at once, cut back to the pages written whole, so it stays a valid
    // WAV file; later pages are dropped. A failing disk must not stop the emulation, so
    // the error is not raised: the front end asks for it and tells the user.
    bool writefailed() const { return failed; }
    // "failed to write file " + the name, after a write error.
    const std::string& writeerror() const { return error; }
    // Bytes of sample data in the file (whole pages, including a continued file's).
    uint64_t databytes() const { return data; }

    // The rate the file is labelled with: the rate the sound unit really makes its frames at
    // (its whole ticks per sample give 44620 frames an emulated second for a 44100 Hz
    // setting), so that the recording plays at the pitch and length of the emulation; the
    // configured rate when the unit does not say.
    int filerate() const { return sourcerate > 0 ? int(sourcerate + 0.5) : samplerate; }

    // The header for a file of the given total length (46 + data bytes).
    static void makeheader(uint8_t out[headersize], int rate, int chans, int bytes,
                           uint64_t filelength);

private:
    std::FILE* file = nullptr;
    uint64_t data = 0;
    bool failed = false;
    std::string error;

    bool opencontinued();
    void finish();
};

// Fans pages out to several outputs (device first, then the WAV writer). The first
// pull member added paces the group: it receives the group's page callback.
class tsoundoutputgroup : public Tsoundoutput {
public:
    ~tsoundoutputgroup() override;

    void add(std::unique_ptr<Tsoundoutput> member);
    size_t size() const { return members.size(); }
    Tsoundoutput* member(size_t i) const { return members[i].get(); }
    Tsoundoutput* pacingmember() const { return pacing; }

    void setplaytime(double t) override {
        if (pacing) pacing->setplaytime(t);
    }
    double playtime() override { return pacing ? pacing->playtime() : 0; }
    bool pull() override { return pacing != nullptr; }
    int pagesize() override { return pacing ? pacing->pagesize() : pageframes; }
    void writepage(const uint8_t* frames) override;
    void init() override;
    void shutdown() override;
    void service() override;

private:
    std::vector<std::unique_ptr<Tsoundoutput>> members;
    Tsoundoutput* pacing = nullptr;
};

}  // namespace tov
