// Helpers for the link cable's tests: a socket component that keeps everything in memory (the
// test plays the peer's part by handing it bytes and events), a host that records message
// boxes and counts the pumps of the master's wait, and a link on a machine with a fake
// connection already established.
#pragma once
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "core/gbtestutil.h"
#include "link/gblink.h"

namespace tov::testing {

struct tfakesocket : tsocket {
    std::string addr, prt;
    bool listening = false, connecting = false, closedbyus = false, nodelay = false;
    bool faillisten = false;
    std::vector<uint8_t> sent;
    std::deque<uint8_t> incoming;
    std::unique_ptr<tsocket> waiting;  // a connection to hand out on accept
    bool* alive = nullptr;

    ~tfakesocket() override {
        if (alive) *alive = false;
    }
    void setaddress(const std::string& a) override { addr = a; }
    void setport(const std::string& p) override { prt = p; }
    std::string address() const override { return addr; }
    std::string port() const override { return prt; }
    void listen() override {
        if (faillisten) throw tsocketerror("in use");
        listening = true;
    }
    std::unique_ptr<tsocket> accept() override { return std::move(waiting); }
    void connect() override { connecting = true; }
    size_t receive(uint8_t* buffer, size_t size) override {
        size_t n = 0;
        while (n < size && !incoming.empty()) {
            buffer[n++] = incoming.front();
            incoming.pop_front();
        }
        return n;
    }
    void send(const uint8_t* data, size_t size) override { sent.insert(sent.end(), data, data + size); }
    void close() override { closedbyus = true; }
    void setnodelay() override { nodelay = true; }
};

struct tfakenet : tsocketservice {
    std::vector<tfakesocket*> made;  // every socket made, newest last (may be gone)
    bool failnextlisten = false;
    int polls = 0;
    std::unique_ptr<tsocket> createsocket() override {
        auto s = std::make_unique<tfakesocket>();
        s->faillisten = failnextlisten;
        failnextlisten = false;
        made.push_back(s.get());
        return s;
    }
    void poll() override { polls++; }
};

struct tfakehost : tlinkhost {
    std::vector<std::string> boxes;  // "title: text"
    int pumps = 0, statechanges = 0;
    bool ispaused = false;
    std::function<void(int pump)> onpump;
    void processmessages() override {
        pumps++;
        if (onpump) onpump(pumps);
    }
    void yieldprocessor() override {}
    void messagebox(const std::string& text, const std::string& title) override { boxes.push_back(title + ": " + text); }
    void linkstatechanged() override { statechanges++; }
    bool paused() override { return ispaused; }
};

// A machine with a link whose connection to a (played) peer is established.
struct tlinkbench {
    tmachine m;
    tfakenet net;
    tfakehost host;
    tgblink link{*m.gb, net, host};
    tfakesocket* conn = nullptr;

    tlinkbench() { m.session->attachlink(&link); }
    void connect(const std::string& text = "127.0.0.1:9000") {
        link.connect(text);
        conn = net.made.empty() ? nullptr : net.made.back();
    }
    void linkup() {
        connect();
        ASSERT_NE(conn, nullptr);
        conn->events.connected(0);
        ASSERT_TRUE(link.islinked());
        conn->sent.clear();
    }
    // The peer's bytes arrive in one segment.
    void deliver(const std::vector<uint8_t>& bytes) {
        conn->incoming.insert(conn->incoming.end(), bytes.begin(), bytes.end());
        conn->events.dataavailable();
    }
    tgb& gb() { return *m.gb; }
};

}  // namespace tov::testing
