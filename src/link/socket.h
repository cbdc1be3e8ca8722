// The asynchronous TCP socket component the link cable is built on. Sockets report a waiting
// connection, the end of a connect, arrived data and the closing of the connection as events;
// every event runs inside `tsocketservice::poll`, on the thread that polls (the main thread),
// so that no other thread ever touches the machine.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace tov {

// Raised by `listen` when the address cannot be bound or listened on.
class tsocketerror : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct tsocketevents {
    std::function<void()> connectionwaiting;  // a listening socket has a connection to accept
    std::function<void(int error)> connected; // an asynchronous connect ended: 0 or an error number
    std::function<void()> dataavailable;      // bytes can be received
    std::function<void()> closed;             // the connection closed, by either side (once)
};

class tsocket {
public:
    virtual ~tsocket() = default;
    tsocketevents events;

    // Address and port as text: what was set before listening or connecting; after `listen`
    // the address and port actually bound (a port "0" becomes the one the system chose).
    virtual void setaddress(const std::string& address) = 0;
    virtual void setport(const std::string& port) = 0;
    virtual std::string address() const = 0;
    virtual std::string port() const = 0;

    // Listens on the address and port; raises tsocketerror on failure.
    virtual void listen() = 0;
    // The waiting connection attached to a new socket (its events still to be set); null when
    // none is waiting.
    virtual std::unique_ptr<tsocket> accept() = 0;
    // Starts connecting to the address (a name or a numeric address) and port.
    virtual void connect() = 0;
    // Up to `size` of the bytes that have arrived; 0 when none.
    virtual size_t receive(uint8_t* buffer, size_t size) = 0;
    // Queues the bytes for sending.
    virtual void send(const uint8_t* data, size_t size) = 0;
    // Ends the connection; the closed event follows from the next poll.
    virtual void close() = 0;
    // Sends small writes at once (TCP_NODELAY: Nagle's algorithm off).
    virtual void setnodelay() = 0;
};

class tsocketservice {
public:
    virtual ~tsocketservice() = default;
    virtual std::unique_ptr<tsocket> createsocket() = 0;
    // Runs the events that are ready, on the calling thread; returns without waiting.
    virtual void poll() = 0;
};

}  // namespace tov
