// The link cable over TCP, `tgblink`: two running copies joined by one connection. A byte
// transfer started with the internal clock on one machine completes on both with the bytes
// exchanged, and the same connection carries the second controller's buttons to the peer.
//
// Wire format: every message is 4 bytes, a kind and three data bytes.
//   0x01 version         00 55 01             once, when linked
//   0x65 joypad          button|pressed*8 0 0 a change of controller 1
//   0x68 transfer        SB SC tick           the side that starts a transfer (master)
//   0x69 transfer reply  SB SC tick           the answer to a 0x68
//   0x6B timing          shift 0 0            once, when linked
// Other kinds are ignored.
#pragma once
#include <cstdint>
#include <memory>
#include <string>

#include "core/gb.h"
#include "link/socket.h"

namespace tov {

// What the link reads of the settings.
struct tlinkoptions {
    bool RemoteJoy = true;  // apply the peer's joypad messages to controller 0
};

// What the link needs from the program that owns it.
class tlinkhost {
public:
    virtual ~tlinkhost() = default;
    // Runs the pending events of the program (at least the sockets': `tgblink::poll`).
    virtual void processmessages() = 0;
    // Gives the processor to other programs for a moment (the peer may run on this computer).
    virtual void yieldprocessor();
    virtual void messagebox(const std::string& text, const std::string& title) = 0;
    // Linked, listening or connecting changed: the caption follows.
    virtual void linkstatechanged() {}
    // The frame loop is paused: a transfer of the peer is answered at once with 0x00.
    virtual bool paused() { return false; }
};

// A yield for hosts that must not lose a transfer to a slow peer (the headless runner, the
// tests). The master's wait counts yields, and its 30000 pass in a few milliseconds on an idle
// processor, less than a loaded computer may keep the peer from running between taking the
// transfer and answering it; the transfer given up on is sent again at the next tick, and
// the peer, which answered the first, takes the byte twice. Past `spinyields` yields within
// one link tick each yield sleeps instead, so that the wait lasts seconds, and it still ends
// as soon as the answer arrives.
class tpatientyield {
public:
    static constexpr int spinyields = 1000;
    static constexpr int sleepmicroseconds = 100;
    void yield(uint32_t tick);

private:
    uint32_t lasttick = 0;
    int count = 0;
};

// The parts of a listen text: "PORT", "ADDRESS" or "ADDRESS:PORT"; empty parts are filled
// with "0.0.0.0" and "8765".
struct tlinkaddress {
    std::string host;
    std::string port;
};
tlinkaddress parselistentext(const std::string& text);
// "HOST" or "HOST:PORT" (port "8765" when there is no colon); the parts may come out empty.
tlinkaddress parseconnecttext(const std::string& text);

class tgblink : public tlinkport {
public:
    static constexpr uint8_t msgversion = 0x01, msgjoypad = 0x65, msgtransfer = 0x68, msgreply = 0x69,
                             msgtiming = 0x6B;
    static constexpr uint8_t versionbytes[3] = {0x00, 0x55, 0x01};
    static constexpr int waitlimit = 30000;   // yields of a master waiting for its answer
    static constexpr int activityticks = 50;  // ticks that pump messages after a transfer
    static constexpr int defaulttimingshift = 10;
    // Bytes taken from the socket per data event: a flood is read in bounded steps and the
    // rest waits for the next poll.
    static constexpr size_t receivechunk = 4096, receiveperevent = 16384;

    tgblink(tgb& machine, tsocketservice& sockets, tlinkhost& host);
    ~tgblink() override;
    tgblink(const tgblink&) = delete;
    tgblink& operator=(const tgblink&) = delete;

    tlinkoptions options;

    // ---- Commands ----
    void listen(const std::string& text);
    void connect(const std::string& text);
    void disconnect();
    // Stops listening.
    void closeport();

    // ---- State ----
    bool islinked() const { return linked; }
    bool islistening() const { return listener != nullptr; }
    bool isconnecting() const { return connection != nullptr; }
    // The caption's suffix: " (linked)", " (listening)", " (connecting)" or "".
    const char* captionsuffix() const;
    // "ADDRESS:PORT" the listening socket is bound to; empty when not listening.
    std::string listeningon() const;
    int timingshift() const { return timing; }
    uint32_t tickcounter() const { return ticks; }
    int remotesc() const { return remoteSC; }

    // Runs the socket events, then the destruction of a closed connection that its closed
    // event left for later (a socket is not destroyed inside its own event).
    void poll();

    // ---- tlinkport ----
    void linktick() override;
    bool sendjoypad(int bit, bool pressed) override;

    // Dispatches bytes as if they had arrived from the peer (the data event's path).
    void received(const uint8_t* data, size_t size);

private:
    void accept();
    void connected(int error);
    void dataavailable();
    void connectionclosed();
    void linkestablished();
    void unlink();
    void dispatch(const uint8_t* m);
    void sendmessage(uint8_t kind, uint8_t b1, uint8_t b2, uint8_t b3);
    void pumponce();
    void attachevents(tsocket& s);
    // The machine's transfer ends with `value` in SB: SC bits 7 and 0 clear, serial interrupt.
    void completetransfer(uint8_t value);

    tgb& gb;
    tsocketservice& sockets;
    tlinkhost& host;
    std::unique_ptr<tsocket> listener;
    std::unique_ptr<tsocket> connection;
    bool linked = false;
    bool closed = false;
    bool announceclose = false;
    bool destroypending = false;
    uint8_t buffer[4]{};  // a partial message waiting for the rest
    size_t buffered = 0;
    uint8_t remoteSB = 0;
    int remoteSC = -1;
    uint32_t ticks = 0;
    int countdown = 0;
    int timing = defaulttimingshift;
    uint8_t joypadsent = 0;  // controller 1's buttons as last sent (rapid fire repeats a state)
};

}  // namespace tov
