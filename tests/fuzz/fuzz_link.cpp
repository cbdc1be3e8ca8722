// Fuzz target: the link cable's message stream. The input's first byte sets up this side (paused
// or not, `RemoteJoy`, the SC value a transfer is started with, whether the peer closes at the
// end), the second seeds how the rest is cut into TCP segments; the rest is what the peer sends.
// After every segment the link ticks, and the master's waits take the next segments as they
// come. Whatever the peer sends, the link must not crash, must send only whole messages of
// the known kinds, and must keep its state in range.
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "fuzzutil.h"
#include "link/gblink.h"
#include "support/testrom.h"

namespace {

using namespace tov;

void check(bool condition) {
    if (!condition) __builtin_trap();
}

struct tpeersocket : tsocket {
    std::vector<uint8_t> sent;
    std::deque<uint8_t> incoming;
    bool closedbyus = false;
    void setaddress(const std::string&) override {}
    void setport(const std::string&) override {}
    std::string address() const override { return "127.0.0.1"; }
    std::string port() const override { return "8765"; }
    void listen() override {}
    std::unique_ptr<tsocket> accept() override { return nullptr; }
    void connect() override {}
    size_t receive(uint8_t* buffer, size_t size) override {
        size_t n = 0;
        while (n < size && !incoming.empty()) {
            buffer[n++] = incoming.front();
            incoming.pop_front();
        }
        return n;
    }
    void send(const uint8_t* data, size_t size) override {
        check(size == 4 && !closedbyus);
        sent.insert(sent.end(), data, data + size);
    }
    void close() override { closedbyus = true; }
    void setnodelay() override {}
};

struct tpeernet : tsocketservice {
    tpeersocket* last = nullptr;
    std::unique_ptr<tsocket> createsocket() override {
        auto s = std::make_unique<tpeersocket>();
        last = s.get();
        return s;
    }
    void poll() override {}
};

// The peer's segments, handed over whenever the link pumps (its waits) or the test steps.
struct tpeerhost : tlinkhost {
    std::deque<std::vector<uint8_t>> segments;
    tpeersocket* socket = nullptr;
    bool ispaused = false;
    bool socketgone = false;
    void deliver() {
        if (segments.empty() || !socket || socketgone) return;
        std::vector<uint8_t> s = std::move(segments.front());
        segments.pop_front();
        socket->incoming.insert(socket->incoming.end(), s.begin(), s.end());
        if (socket->events.dataavailable) socket->events.dataavailable();
    }
    void processmessages() override { deliver(); }
    void yieldprocessor() override {}
    void messagebox(const std::string&, const std::string&) override {}
    bool paused() override { return ispaused; }
};

struct tharness : fuzz::tsessionharness {
    tharness() : tsessionharness(fuzz::tparts::machineonly) {
        std::string message;
        session->loadimage(testing::tromimage().finished(), "", true, message);
    }
};

constexpr uint8_t scvalues[4] = {0x00, 0x80, 0x81, 0x83};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static tharness h;
    if (size < 2) return 0;
    tgb& gb = h.session->machine();
    gb.sb = 0x00;
    gb.sc = 0x00;
    for (auto& j : gb.joypad) j = 0;

    const uint8_t flags = data[0];
    uint32_t seed = data[1];
    tpeernet net;
    tpeerhost host;
    host.ispaused = flags & 1;
    tgblink link(gb, net, host);
    link.options.RemoteJoy = (flags & 2) != 0;
    h.session->attachlink(&link);
    link.connect("127.0.0.1");
    tpeersocket* socket = net.last;
    host.socket = socket;
    socket->events.connected(0);
    check(link.islinked() && socket->sent.size() == 8);

    // Segments of 1-16 bytes.
    for (size_t i = 2; i < size;) {
        seed = seed * 1103515245u + 12345u;
        size_t n = 1 + ((seed >> 16) & 15);
        if (n > size - i) n = size - i;
        host.segments.emplace_back(data + i, data + i + n);
        i += n;
    }
    const uint8_t sc = scvalues[(flags >> 2) & 3];
    int ticks = 0;
    while (!host.segments.empty() && ticks < 64) {
        host.deliver();
        if (!link.islinked()) break;
        gb.sc = sc;
        gb.sb = uint8_t(ticks);
        // A master's wait with nothing left to read costs its whole limit: only while data remains.
        if ((sc & 0x81) == 0x81 && host.segments.empty()) break;
        link.linktick();
        ticks++;
        check(link.remotesc() >= -1 && link.remotesc() <= 255);
        check(link.timingshift() >= 2 && link.timingshift() <= 15);
    }
    // Only whole messages of the known kinds went out.
    const std::vector<uint8_t>& out = socket->sent;
    check(out.size() % 4 == 0);
    for (size_t i = 0; i < out.size(); i += 4) {
        uint8_t k = out[i];
        check(k == 0x01 || k == 0x65 || k == 0x68 || k == 0x69 || k == 0x6B);
    }
    if (flags & 0x10) {
        if (socket->events.closed) socket->events.closed();
        host.socketgone = true;
        link.poll();
        check(!link.islinked() && !link.isconnecting());
        gb.sc = 0x81;
        link.linktick();  // unplugged: the serial port reads 0xFF
        check(gb.sb == 0xFF && gb.sc == 0x01);
    }
    h.session->attachlink(nullptr);
    return 0;
}
