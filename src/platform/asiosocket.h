// The socket component on standalone Asio: TCP sockets whose events run inside `poll`, which
// the program calls on its main thread (the frame loop, and the link cable's waits). Asio's
// io_context is never run by another thread.
#pragma once
#include <memory>

#include "link/socket.h"

namespace asio {
class io_context;
}

namespace tov {

class tasiosockets : public tsocketservice {
public:
    // Bytes waiting to be sent beyond which the peer counts as gone (it reads nothing while
    // this side goes on sending): the connection is closed rather than the queue grown.
    static constexpr size_t sendlimit = size_t(1) << 20;
    // Events run by one poll: a peer that floods cannot keep the caller in `poll`.
    static constexpr int eventsperpoll = 32;

    tasiosockets();
    ~tasiosockets() override;
    tasiosockets(const tasiosockets&) = delete;
    tasiosockets& operator=(const tasiosockets&) = delete;

    std::unique_ptr<tsocket> createsocket() override;
    // Runs the ready events; a call from inside an event (a message box's loop) does nothing.
    void poll() override;

private:
    std::unique_ptr<asio::io_context> io;
    bool polling = false;
};

}  // namespace tov
