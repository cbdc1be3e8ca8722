#include "link/gblink.h"

#include <chrono>
#include <thread>

namespace tov {

namespace {

constexpr const char* defaultport = "8765";
constexpr size_t maxportlength = 10;

// SC as the cable sees it: a transfer this side clocks needs bits 7 and 0 (0x81); a value
// outside 0-255 (no transfer message pending) never counts.
bool internalstart(int sc) { return sc >= 0 && sc <= 255 && (sc & 0x81) == 0x81; }

}  // namespace

void tlinkhost::yieldprocessor() { std::this_thread::yield(); }

void tpatientyield::yield(uint32_t tick) {
    if (tick != lasttick) {
        lasttick = tick;
        count = 0;
    }
    if (++count > spinyields)
        std::this_thread::sleep_for(std::chrono::microseconds(sleepmicroseconds));
    else
        std::this_thread::yield();
}

tlinkaddress parselistentext(const std::string& text) {
    tlinkaddress a;
    size_t colon = text.find(':');
    if (colon != std::string::npos) {
        a.host = text.substr(0, colon);
        a.port = text.substr(colon + 1, maxportlength);
    } else if (text.find('.') != std::string::npos) {
        a.host = text;
    } else {
        a.port = text;
    }
    if (a.host.empty()) a.host = "0.0.0.0";
    if (a.port.empty()) a.port = defaultport;
    return a;
}

tlinkaddress parseconnecttext(const std::string& text) {
    tlinkaddress a;
    size_t colon = text.find(':');
    if (colon != std::string::npos) {
        a.host = text.substr(0, colon);
        a.port = text.substr(colon + 1, maxportlength);
    } else {
        a.host = text;
        a.port = defaultport;
    }
    return a;
}

tgblink::tgblink(tgb& machine, tsocketservice& socketservice, tlinkhost& linkhost)
    : gb(machine), sockets(socketservice), host(linkhost) {}

tgblink::~tgblink() {
    if (gb.link == this) gb.link = nullptr;
    // The sockets go without events: nobody is left to hear them.
    connection.reset();
    listener.reset();
}

const char* tgblink::captionsuffix() const {
    if (linked) return " (linked)";
    if (listener) return " (listening)";
    if (connection) return " (connecting)";
    return "";
}

std::string tgblink::listeningon() const {
    if (!listener) return {};
    return listener->address() + ":" + listener->port();
}

// ---- Commands ----

void tgblink::listen(const std::string& text) {
    if (text.empty() || connection) return;
    listener.reset();
    listener = sockets.createsocket();
    listener->events.connectionwaiting = [this] { accept(); };
    tlinkaddress a = parselistentext(text);
    listener->setaddress(a.host);
    listener->setport(a.port);
    try {
        listener->listen();
    } catch (const tsocketerror&) {
        listener.reset();
        host.messagebox("opening port failed", "Error");
    }
    host.linkstatechanged();
}

void tgblink::connect(const std::string& text) {
    announceclose = false;
    // One connection at a time, and listening and connecting exclude each other: a second
    // connect while a socket exists leaves it alone (rather than asking for an address that
    // was given).
    if (connection || listener) return;
    tlinkaddress a = parseconnecttext(text);
    if (a.host.empty() || a.port.empty()) {
        host.messagebox("enter an address", "Error");
        return;
    }
    connection = sockets.createsocket();
    attachevents(*connection);
    connection->setaddress(a.host);
    connection->setport(a.port);
    closed = false;
    connection->connect();
    host.linkstatechanged();
}

void tgblink::disconnect() {
    unlink();
    if (connection) {
        connection->close();
        closed = true;
    }
}

void tgblink::closeport() {
    listener.reset();
    host.linkstatechanged();
}

// ---- Socket events ----

void tgblink::attachevents(tsocket& s) {
    s.events.connected = [this](int error) { connected(error); };
    s.events.dataavailable = [this] { dataavailable(); };
    s.events.closed = [this] { connectionclosed(); };
}

void tgblink::accept() {
    if (!listener) return;
    std::unique_ptr<tsocket> accepted = listener->accept();
    if (!accepted) return;
    if (connection) return;  // one connection at a time; the extra one is dropped
    connection = std::move(accepted);
    attachevents(*connection);
    closed = false;
    // Destroying the listening socket inside its own event is safe: the component keeps what
    // the running event needs until it returns.
    listener.reset();
    linkestablished();
}

void tgblink::connected(int error) {
    if (error != 0) {
        host.messagebox("Connection failed, error " + std::to_string(error), "Error");
        return;
    }
    linkestablished();
}

void tgblink::linkestablished() {
    if (linked || !connection) return;
    linked = true;
    announceclose = true;
    joypadsent = 0;
    // A new peer's stream starts here: the first bytes of a message cut off when the last
    // connection ended, and a transfer of that peer no tick answered, belong to no one now.
    buffered = 0;
    remoteSC = -1;
    connection->setnodelay();
    sendmessage(msgversion, versionbytes[0], versionbytes[1], versionbytes[2]);
    timing = defaulttimingshift;
    sendmessage(msgtiming, uint8_t(timing), 0, 0);
    closed = false;
    host.linkstatechanged();
}

void tgblink::dataavailable() {
    uint8_t chunk[receivechunk];
    size_t total = 0;
    while (connection && !closed && total < receiveperevent) {
        size_t n = connection->receive(chunk, sizeof chunk);
        if (n == 0) break;
        total += n;
        received(chunk, n);
    }
}

void tgblink::unlink() {
    if (!linked) return;
    linked = false;
    host.linkstatechanged();
    timing = defaulttimingshift;
}

void tgblink::connectionclosed() {
    unlink();
    if (!closed && connection) connection->close();
    closed = true;
    if (announceclose) {
        announceclose = false;
        host.messagebox("game link connection closed", "Unplugged");
    }
    destroypending = true;
}

void tgblink::poll() {
    sockets.poll();
    if (destroypending) {
        destroypending = false;
        // Only a connection that is closed goes: a new one may have been made meanwhile.
        if (closed) connection.reset();
        host.linkstatechanged();
    }
}

// ---- Messages ----

void tgblink::received(const uint8_t* data, size_t size) {
    const bool wasclosed = closed;
    for (size_t i = 0; i < size; i++) {
        buffer[buffered++] = data[i];
        if (buffered < 4) continue;
        buffered = 0;
        dispatch(buffer);
        // What follows a message that ended the connection belongs to no link.
        if (closed && !wasclosed) return;
    }
}

void tgblink::dispatch(const uint8_t* m) {
    switch (m[0]) {
    case msgversion:
        if (m[1] != versionbytes[0] || m[2] != versionbytes[1] || m[3] != versionbytes[2]) {
            disconnect();
            host.messagebox("You're using different versions of TOV", "Error");
        }
        break;
    case msgjoypad:
        if (options.RemoteJoy) gb.joypadset(0, m[1] & 7, m[1] > 7);
        break;
    case msgtransfer:
        remoteSB = m[1];
        remoteSC = m[2];
        // A paused copy runs no ticks: it answers at once, and the master completes with 0.
        if (host.paused()) sendmessage(msgreply, 0x00, 0x00, 0x00);
        break;
    case msgreply:
        remoteSB = m[1];
        remoteSC = m[2];
        break;
    case msgtiming:
        // The shift lies in 2-15; a smaller value from the peer is not taken.
        if (m[1] < timing && m[1] >= 2) timing = m[1];
        break;
    default:
        break;  // unknown kinds are ignored
    }
}

void tgblink::sendmessage(uint8_t kind, uint8_t b1, uint8_t b2, uint8_t b3) {
    if (!connection) return;
    const uint8_t m[4] = {kind, b1, b2, b3};
    connection->send(m, sizeof m);
}

bool tgblink::sendjoypad(int bit, bool pressed) {
    if (!linked) return false;
    const uint8_t mask = uint8_t(1u << (bit & 7));
    if (bool(joypadsent & mask) == pressed) return true;
    joypadsent = uint8_t(pressed ? joypadsent | mask : joypadsent & ~mask);
    sendmessage(msgjoypad, uint8_t((bit & 7) | (pressed ? 8 : 0)), 0, 0);
    return true;
}

// ---- The link tick ----

void tgblink::pumponce() {
    host.yieldprocessor();
    host.processmessages();
}

void tgblink::completetransfer(uint8_t value) {
    gb.sb = value;
    // Only the start bit clears at the end of a transfer; the clock select (bit 0) stays, so
    // a game that starts the next byte with SC |= 0x80 stays the master.
    gb.sc = uint8_t(gb.sc & ~0x80);
    gb.ifreg |= 0x08;
}

void tgblink::linktick() {
    ticks++;
    if (!linked) {
        // Nothing attached: the transfer ends at this tick and reads 0xFF (SC bit 7 only clears).
        gb.serialnopeer();
        return;
    }
    if (internalstart(gb.sc)) {
        // This side is the master: the transfer completes inside this tick when the answer
        // comes, else it stays pending and is sent again at the next tick.
        countdown = activityticks;
        sendmessage(msgtransfer, gb.sb, gb.sc, uint8_t(ticks));
        remoteSC = -1;
        // A peer that closes meanwhile ends the wait: nothing will answer.
        for (int i = 0; i < waitlimit && remoteSC < 0 && linked; i++) pumponce();
        if (remoteSC < 0) return;
        completetransfer(remoteSB);
    } else if (internalstart(remoteSC)) {
        // The peer is the master: answer with this side's byte; the transfer completes here
        // only when this side has one enabled.
        countdown = activityticks;
        sendmessage(msgreply, gb.sb, gb.sc, uint8_t(ticks));
        if (gb.sc & 0x80) completetransfer(remoteSB);
    }
    // A transfer message is answered at most once, at the first tick after it arrived.
    remoteSC = -1;
    if (countdown > 0 && --countdown > 0) pumponce();
}

}  // namespace tov
