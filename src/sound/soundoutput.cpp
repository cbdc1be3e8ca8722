// Output base, WAV writer and output group. The WAV writer is the one place of the
// sound block that touches the disk.
#include "sound/soundoutput.h"

#include <algorithm>

namespace tov {

void Tsoundoutput::fail(const std::string& message) {
    shutdown();
    throw tsounderror(message);
}

void Tsoundoutput::init() {
    if (initialised) shutdown();
    initialised = true;
}

// ---- WAV writer ----

namespace {
void put16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
    put16(p, v);
    put16(p + 2, v >> 16);
}
// RIFF sizes are 32-bit; a longer recording keeps the largest value it can hold.
uint32_t clampsize(uint64_t v) { return v > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(v); }
}  // namespace

void Tsoundoutputdiskwav::makeheader(uint8_t h[headersize], int rate, int chans, int bytes,
                                     uint64_t filelength) {
    std::fill(h, h + headersize, uint8_t(0));
    std::copy_n("RIFF", 4, h);
    put32(h + 4, filelength >= 8 ? clampsize(filelength - 8) : 0);
    std::copy_n("WAVE", 4, h + 8);
    std::copy_n("fmt ", 4, h + 12);
    put32(h + 16, 18);
    put16(h + 20, 1);  // PCM
    put16(h + 22, uint32_t(chans));
    put32(h + 24, uint32_t(rate));
    put32(h + 28, uint32_t(rate) * uint32_t(chans) * uint32_t(bytes));
    put16(h + 32, uint32_t(chans * bytes));
    put16(h + 34, uint32_t(8 * bytes));
    put16(h + 36, 0);  // no extra format bytes
    std::copy_n("data", 4, h + 38);
    put32(h + 42, filelength >= uint64_t(headersize) ? clampsize(filelength - headersize) : 0);
}

Tsoundoutputdiskwav::~Tsoundoutputdiskwav() {
    if (initialised) shutdown();
}

void Tsoundoutputdiskwav::init() {
    Tsoundoutput::init();
    failed = false;
    file.open(filename, std::ios::in | std::ios::out | std::ios::binary | std::ios::trunc);
    if (!file.is_open()) fail("failed to open file " + filename + " for write");
    uint8_t h[headersize];
    makeheader(h, samplerate, channels, bytespersample, 0);
    // Both size fields stay 0 until shutdown.
    put32(h + 4, 0);
    file.write(reinterpret_cast<const char*>(h), headersize);
    if (!file) fail("failed to open file " + filename + " for write");
}

void Tsoundoutputdiskwav::writepage(const uint8_t* frames) {
    if (!initialised || failed || !frames) return;
    std::streamsize n = std::streamsize(pageframes) * channels * bytespersample;
    if (n <= 0) return;
    file.write(reinterpret_cast<const char*>(frames), n);
    if (!file) {
        failed = true;
        return;
    }
    pageswritten++;
}

void Tsoundoutputdiskwav::shutdown() {
    if (initialised && file.is_open()) {
        file.clear();
        file.seekp(0, std::ios::end);
        std::streamoff length = file.tellp();
        if (length >= headersize) {
            uint8_t h[headersize];
            file.seekg(0);
            file.read(reinterpret_cast<char*>(h), headersize);
            if (file) {
                put32(h + 4, clampsize(uint64_t(length) - 8));
                put32(h + 42, clampsize(uint64_t(length) - headersize));
                file.seekp(0);
                file.write(reinterpret_cast<const char*>(h), headersize);
            }
        }
        file.close();
    }
    Tsoundoutput::shutdown();
}

// ---- group ----

tsoundoutputgroup::~tsoundoutputgroup() {
    if (initialised) shutdown();
}

void tsoundoutputgroup::add(std::unique_ptr<Tsoundoutput> member) {
    if (!member) return;
    if (!pacing && member->pull()) pacing = member.get();
    members.push_back(std::move(member));
}

void tsoundoutputgroup::init() {
    Tsoundoutput::init();
    if (members.empty()) fail("no items in group");
    if (pacing) pacing->pagecallback = pagecallback;
    for (auto it = members.rbegin(); it != members.rend(); ++it) {
        Tsoundoutput& m = **it;
        m.setformat(samplerate, bytespersample, channels);
        m.setpagesize(pageframes);
        m.setpagecount(pagecount);
        m.init();
    }
}

void tsoundoutputgroup::writepage(const uint8_t* frames) {
    if (!initialised) return;
    for (auto it = members.rbegin(); it != members.rend(); ++it) (*it)->writepage(frames);
    pageswritten++;
}

void tsoundoutputgroup::shutdown() {
    for (auto& m : members)
        if (m->initialised) m->shutdown();
    Tsoundoutput::shutdown();
}

void tsoundoutputgroup::service() {
    for (auto& m : members) m->service();
}

}  // namespace tov
