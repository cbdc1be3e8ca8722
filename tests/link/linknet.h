// Link cable tests over real loopback sockets: an endpoint (a machine, its link and its own
// socket component, polled by whoever runs the endpoint) and a raw peer that speaks bytes
// straight to a listening link (the hostile-peer cases).
#pragma once
#ifndef ASIO_STANDALONE
#define ASIO_STANDALONE
#endif
#include <asio.hpp>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "core/gbtestutil.h"
#include "link/gblink.h"
#include "platform/asiosocket.h"

namespace tov::testing {

inline double secondssince(std::chrono::steady_clock::time_point t) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - t).count();
}

struct tendpoint : tlinkhost {
    tmachine m;
    tasiosockets sockets;
    tgblink link;
    std::vector<std::string> boxes;
    bool ispaused = false;
    long pumps = 0;
    std::function<void()> onpump;
    // The master's wait sleeps once it has lasted (tpatientyield): the peer's thread may be
    // kept from running for longer than 30000 bare yields take. Off where the test is the
    // wait limit itself.
    bool patient = true;
    tpatientyield patience;

    explicit tendpoint(const tromimage& rom = tromimage()) : m(rom), link(*m.gb, sockets, *this) {
        m.session->attachlink(&link);
    }
    void processmessages() override {
        pumps++;
        if (onpump) onpump();
        link.poll();
    }
    void messagebox(const std::string& text, const std::string& title) override {
        boxes.push_back(title + ": " + text);
    }
    bool paused() override { return ispaused; }
    void yieldprocessor() override {
        if (patient)
            patience.yield(link.tickcounter());
        else
            std::this_thread::yield();
    }
    tgb& gb() { return *m.gb; }
    uint8_t peek(uint16_t address) { return m.session->inspector().peek(address); }
    // Polls until `done` or the time is up; false when the time ran out. The limit is for a
    // loaded machine under the sanitizer: a passing test ends as soon as `done` holds.
    bool pollfor(const std::function<bool()>& done, double seconds = 30) {
        auto start = std::chrono::steady_clock::now();
        while (!done()) {
            if (secondssince(start) > seconds) return false;
            link.poll();
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        return true;
    }
    // Listens on a port the system chooses; returns it.
    std::string listenlocal() {
        link.listen("127.0.0.1:0");
        EXPECT_TRUE(link.islistening());
        std::string on = link.listeningon();
        return on.substr(on.find(':') + 1);
    }
};

// Links two endpoints over loopback (`a` listens, `b` connects).
inline void linkpair(tendpoint& a, tendpoint& b) {
    std::string port = a.listenlocal();
    b.link.connect("127.0.0.1:" + port);
    auto start = std::chrono::steady_clock::now();
    while (!(a.link.islinked() && b.link.islinked()) && secondssince(start) < 30) {
        a.link.poll();
        b.link.poll();
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    ASSERT_TRUE(a.link.islinked() && b.link.islinked());
}

// A peer that writes and reads raw bytes with blocking calls.
struct trawpeer {
    asio::io_context io;
    asio::ip::tcp::socket socket{io};

    bool connect(const std::string& port) {
        asio::error_code ec;
        socket.connect({asio::ip::make_address("127.0.0.1"), uint16_t(std::stoi(port))}, ec);
        if (!ec) socket.set_option(asio::ip::tcp::no_delay(true), ec);
        return !ec;
    }
    void write(const std::vector<uint8_t>& b) {
        asio::error_code ec;
        asio::write(socket, asio::buffer(b), ec);
    }
    // Exactly n bytes; fewer when the connection ends first.
    std::vector<uint8_t> read(size_t n) {
        std::vector<uint8_t> b(n);
        asio::error_code ec;
        size_t got = asio::read(socket, asio::buffer(b), ec);
        b.resize(got);
        return b;
    }
    void close() {
        asio::error_code ec;
        socket.shutdown(asio::ip::tcp::socket::shutdown_both, ec);
        socket.close(ec);
    }
};

// A raw peer connected to `e`, which listens; the link's hello (version, timing) is read.
inline void connectraw(tendpoint& e, trawpeer& peer) {
    std::string port = e.listenlocal();
    ASSERT_TRUE(peer.connect(port));
    ASSERT_TRUE(e.pollfor([&] { return e.link.islinked(); }));
    EXPECT_EQ(peer.read(8), (std::vector<uint8_t>{0x01, 0x00, 0x55, 0x01, 0x6B, 0x0A, 0x00, 0x00}));
}

}  // namespace tov::testing
