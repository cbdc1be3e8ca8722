// Output base, WAV writer and output group. The WAV writer is the one place of the
// sound block that touches the disk.
#include "sound/soundoutput.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

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
    errorreported = false;
    error.clear();
    data = 0;
    if (continuefile && opencontinued()) return;
    file = std::fopen(filename.c_str(), "w+b");
    if (!file) fail("failed to open file " + filename + " for write");
    uint8_t h[headersize];
    // Both size fields stay 0 until shutdown.
    makeheader(h, filerate(), channels, bytespersample, 0);
    put32(h + 4, 0);
    if (std::fwrite(h, 1, headersize, file) != size_t(headersize) || std::fflush(file) != 0) {
        std::fclose(file);
        file = nullptr;
        fail("failed to open file " + filename + " for write");
    }
}

// Opens the file for continuing when it holds a header of this output's format; the
// data already there (cut to whole frames) stays, the next page goes after it.
bool Tsoundoutputdiskwav::opencontinued() {
    std::FILE* f = std::fopen(filename.c_str(), "r+b");
    if (!f) return false;
    uint8_t have[headersize], want[headersize];
    makeheader(want, filerate(), channels, bytespersample, 0);
    bool same = std::fread(have, 1, headersize, f) == size_t(headersize);
    // Everything but the two size fields must match: another format cannot be appended.
    for (int i = 0; same && i < headersize; i++)
        if ((i < 4 || i >= 8) && (i < 42) && have[i] != want[i]) same = false;
    long length = same && std::fseek(f, 0, SEEK_END) == 0 ? std::ftell(f) : -1;
    if (length < headersize) {
        std::fclose(f);
        return false;
    }
    const uint64_t frame = uint64_t(std::max(1, framebytes()));
    data = (uint64_t(length) - headersize) / frame * frame;
    if (uint64_t(length) != headersize + data) {
        // A part frame left by an earlier failure is cut off.
        std::fflush(f);
        std::error_code ec;
        std::filesystem::resize_file(filename, headersize + data, ec);
    }
    if (std::fseek(f, long(headersize + data), SEEK_SET) != 0) {
        std::fclose(f);
        data = 0;
        return false;
    }
    file = f;
    return true;
}

void Tsoundoutputdiskwav::writepage(const uint8_t* frames) {
    if (!initialised || failed || !file || !frames) return;
    size_t n = size_t(pageframes) * size_t(channels) * size_t(bytespersample);
    if (n == 0) return;
    // Flushed page by page, so that `data` counts only what reached the file.
    if (std::fwrite(frames, 1, n, file) != n || std::fflush(file) != 0) {
        failed = true;
        error = "failed to write file " + filename;
        finish();
        return;
    }
    data += n;
    pageswritten++;
}

// Closes the file with its header telling the data written whole: after a write error
// the file is cut back to that length, dropping a part page, and the header is written
// in place (which needs no new room on a full disk).
void Tsoundoutputdiskwav::finish() {
    if (!file) return;
    std::fclose(file);
    file = nullptr;
    const uint64_t length = headersize + data;
    std::error_code ec;
    if (std::filesystem::is_regular_file(filename, ec) && std::filesystem::file_size(filename, ec) != length &&
        !ec)
        std::filesystem::resize_file(filename, length, ec);
    if (std::FILE* f = std::fopen(filename.c_str(), "r+b")) {
        std::setvbuf(f, nullptr, _IONBF, 0);
        uint8_t h[headersize];
        makeheader(h, filerate(), channels, bytespersample, length);
        std::fwrite(h, 1, headersize, f);
        std::fclose(f);
    }
}

void Tsoundoutputdiskwav::shutdown() {
    if (initialised) finish();
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
    if (pacing) {
        pacing->pagecallback = pagecallback;
        pacing->backlog = backlog;
    }
    for (auto it = members.rbegin(); it != members.rend(); ++it) {
        Tsoundoutput& m = **it;
        m.setformat(samplerate, bytespersample, channels);
        m.sourcerate = sourcerate;
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
