#define ASIO_NO_DEPRECATED
#include "platform/asiosocket.h"

#include <asio.hpp>

#include <vector>

namespace tov {

namespace {

using asio::ip::tcp;

// A port number the system's resolver would take modulo 65536 ("99999" became 34463, where
// the program then listened or connected without a word): out of range is refused.
bool portoutofrange(const std::string& port) {
    if (port.empty() || port.size() > 10) return port.size() > 10;
    unsigned long long v = 0;
    for (char c : port) {
        if (c < '0' || c > '9') return false;  // not a number: the resolver says so itself
        v = v * 10 + unsigned(c - '0');
    }
    return v > 65535;
}

// What a socket's pending operations need: it lives on (held by their handlers) after the
// tsocket that made it is gone, and then runs no event.
struct tnetsocket : std::enable_shared_from_this<tnetsocket> {
    tnetsocket(asio::io_context& context, const bool& polling)
        : io(context), inpoll(polling), acceptor(context), socket(context), resolver(context) {}

    asio::io_context& io;
    const bool& inpoll;  // the service is running events
    tcp::acceptor acceptor;
    tcp::socket socket;
    tcp::resolver resolver;
    std::string address, port;
    tsocketevents* events = nullptr;  // the owner's; null once it is gone
    std::vector<uint8_t> outgoing;    // from `sent` on: not yet taken by the system
    size_t sent = 0;
    bool open = false;                // connecting or connected
    bool connected = false;
    bool writing = false;             // waiting for room to send
    bool flushposted = false;         // a flush of what events sent runs after them
    bool closednotified = false;

    // The events are copied before they run: an event may destroy the socket's owner.
    void fireconnectionwaiting() {
        if (!events || !events->connectionwaiting) return;
        auto f = events->connectionwaiting;
        f();
    }
    void fireconnected(int error) {
        if (!events || !events->connected) return;
        auto f = events->connected;
        f(error);
    }
    void firedataavailable() {
        if (!events || !events->dataavailable) return;
        auto f = events->dataavailable;
        f();
    }
    void fireclosed() {
        if (closednotified) return;
        closednotified = true;
        if (!events || !events->closed) return;
        auto f = events->closed;
        f();
    }

    void waitforconnection() {
        acceptor.async_wait(tcp::acceptor::wait_read, [self = shared_from_this()](const asio::error_code& ec) {
            if (ec || !self->acceptor.is_open()) return;
            self->fireconnectionwaiting();
            if (self->events && self->acceptor.is_open()) self->waitforconnection();
        });
    }

    void becomeconnected() {
        open = connected = true;
        asio::error_code ec;
        socket.non_blocking(true, ec);
        waitfordata();
        if (pending() > 0) flush();
    }

    void waitfordata() {
        socket.async_wait(tcp::socket::wait_read, [self = shared_from_this()](const asio::error_code& ec) {
            if (!self->open) return;
            if (ec) {
                self->peerclosed();
                return;
            }
            // Readable with nothing to read: the peer closed (or the connection broke).
            uint8_t probe;
            asio::error_code pe;
            size_t n = self->socket.receive(asio::buffer(&probe, 1), tcp::socket::message_peek, pe);
            if (pe == asio::error::would_block || pe == asio::error::try_again) {
                self->waitfordata();
                return;
            }
            if (pe || n == 0) {
                self->peerclosed();
                return;
            }
            self->firedataavailable();
            if (self->open && self->events) self->waitfordata();
        });
    }

    size_t pending() const { return outgoing.size() - sent; }

    void flush() {
        while (pending() > 0 && open) {
            asio::error_code ec;
            size_t n = socket.write_some(asio::buffer(outgoing.data() + sent, pending()), ec);
            if (ec == asio::error::would_block || ec == asio::error::try_again) break;
            if (ec) {
                // The next wait for data sees the broken connection and reports it.
                outgoing.clear();
                sent = 0;
                return;
            }
            sent += n;
        }
        // What was taken goes when it is most of the queue, so that a slow peer does not
        // make every send move the whole queue.
        if (sent == outgoing.size()) {
            outgoing.clear();
            sent = 0;
        } else if (sent > outgoing.size() / 2) {
            outgoing.erase(outgoing.begin(), outgoing.begin() + std::ptrdiff_t(sent));
            sent = 0;
        }
        if (pending() == 0 || writing || !open) return;
        writing = true;
        socket.async_wait(tcp::socket::wait_write, [self = shared_from_this()](const asio::error_code& ec) {
            self->writing = false;
            if (ec || !self->open) return;
            self->flush();
        });
    }

    void send(const uint8_t* data, size_t size) {
        if (!open) return;
        if (pending() + size > tasiosockets::sendlimit) {
            // The peer has read nothing for a long time: the connection is given up.
            close();
            return;
        }
        outgoing.insert(outgoing.end(), data, data + size);
        if (!connected || writing) return;
        if (!inpoll) {
            // From the emulation (a transfer, a button): out at once.
            flush();
        } else if (!flushposted) {
            // From an event (answers to a stream of transfers): gathered into one write after
            // the events that are ready, rather than a system call per message.
            flushposted = true;
            asio::post(io, [self = shared_from_this()] {
                self->flushposted = false;
                if (self->connected && !self->writing) self->flush();
            });
        }
    }

    size_t receive(uint8_t* buffer, size_t size) {
        if (!connected || !open) return 0;
        asio::error_code ec;
        size_t n = socket.read_some(asio::buffer(buffer, size), ec);
        return ec ? 0 : n;
    }

    void peerclosed() {
        shut();
        fireclosed();
    }

    void shut() {
        open = connected = false;
        outgoing.clear();
        sent = 0;
        asio::error_code ec;
        resolver.cancel();
        socket.close(ec);
    }

    // Closed by this side: the closed event follows from the next poll, outside the caller.
    void close() {
        if (!open) return;
        shut();
        asio::post(io, [self = shared_from_this()] { self->fireclosed(); });
    }

    void ownergone() {
        events = nullptr;
        shut();
        asio::error_code ec;
        acceptor.close(ec);
    }
};

class tasiosocket : public tsocket {
public:
    explicit tasiosocket(std::shared_ptr<tnetsocket> state) : s(std::move(state)) { s->events = &events; }
    ~tasiosocket() override { s->ownergone(); }

    void setaddress(const std::string& address) override { s->address = address; }
    void setport(const std::string& port) override { s->port = port; }
    std::string address() const override {
        asio::error_code ec;
        if (s->acceptor.is_open()) {
            tcp::endpoint e = s->acceptor.local_endpoint(ec);
            if (!ec) return e.address().to_string();
        }
        return s->address;
    }
    std::string port() const override {
        asio::error_code ec;
        if (s->acceptor.is_open()) {
            tcp::endpoint e = s->acceptor.local_endpoint(ec);
            if (!ec) return std::to_string(e.port());
        }
        return s->port;
    }

    void listen() override {
        if (portoutofrange(s->port)) throw tsocketerror("port out of range");
        asio::error_code ec;
        tcp::resolver::results_type found =
            s->resolver.resolve(s->address, s->port, tcp::resolver::passive | tcp::resolver::numeric_service, ec);
        if (ec) throw tsocketerror(ec.message());
        for (const auto& entry : found) {
            tcp::endpoint endpoint = entry.endpoint();
            asio::error_code e;
            s->acceptor.open(endpoint.protocol(), e);
            if (!e) s->acceptor.set_option(tcp::acceptor::reuse_address(true), e);
            if (!e) s->acceptor.bind(endpoint, e);
            if (!e) s->acceptor.listen(asio::socket_base::max_listen_connections, e);
            if (!e) s->acceptor.non_blocking(true, e);
            if (!e) {
                s->waitforconnection();
                return;
            }
            ec = e;
            s->acceptor.close(e);
        }
        throw tsocketerror(ec ? ec.message() : "no address to listen on");
    }

    std::unique_ptr<tsocket> accept() override {
        if (!s->acceptor.is_open()) return nullptr;
        auto state = std::make_shared<tnetsocket>(s->io, s->inpoll);
        asio::error_code ec;
        s->acceptor.accept(state->socket, ec);
        if (ec) return nullptr;
        auto accepted = std::make_unique<tasiosocket>(state);
        state->becomeconnected();
        return accepted;
    }

    void connect() override {
        if (s->open) return;
        s->open = true;
        s->closednotified = false;
        if (portoutofrange(s->port)) {
            // Reported as the resolver's failures are, from the next poll.
            asio::post(s->io, [self = s] {
                if (self->open) self->fireconnected(int(asio::error::invalid_argument));
            });
            return;
        }
        s->resolver.async_resolve(
            s->address, s->port, tcp::resolver::numeric_service,
            [self = s](const asio::error_code& ec, tcp::resolver::results_type found) {
                if (!self->open) return;
                if (ec) {
                    self->fireconnected(ec.value() ? ec.value() : -1);
                    return;
                }
                asio::async_connect(self->socket, found, [self](const asio::error_code& ce, const tcp::endpoint&) {
                    if (!self->open) return;
                    if (ce) {
                        self->fireconnected(ce.value() ? ce.value() : -1);
                        return;
                    }
                    self->becomeconnected();
                    self->fireconnected(0);
                });
            });
    }

    size_t receive(uint8_t* buffer, size_t size) override { return s->receive(buffer, size); }
    void send(const uint8_t* data, size_t size) override { s->send(data, size); }
    void close() override { s->close(); }
    void setnodelay() override {
        asio::error_code ec;
        s->socket.set_option(tcp::no_delay(true), ec);
    }

private:
    std::shared_ptr<tnetsocket> s;
};

}  // namespace

tasiosockets::tasiosockets() : io(std::make_unique<asio::io_context>(1)) {}

tasiosockets::~tasiosockets() {
    // Handlers still queued hold their sockets; they go with the context.
    io.reset();
}

std::unique_ptr<tsocket> tasiosockets::createsocket() {
    return std::make_unique<tasiosocket>(std::make_shared<tnetsocket>(*io, polling));
}

void tasiosockets::poll() {
    if (polling) return;
    polling = true;
    io->restart();
    for (int i = 0; i < eventsperpoll && io->poll_one(); i++) {
    }
    polling = false;
}

}  // namespace tov
