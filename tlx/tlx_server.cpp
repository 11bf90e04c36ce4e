// Server side of the wire protocol: one reader and one writer thread per connection, so a slow
// handler or a client that stops reading never holds up the others.
#include "tlx/tlx_server.h"

#include "tlx/tlx_internal.h"
#include "tlx/tlx_socket.h"
#include "tlx/tlx_wire.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <fcntl.h>
#include <map>
#include <mutex>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace tlx {

namespace {

struct Conn {
    ConnId id = 0;
    int fd = -1;
    std::string user;
    std::string peer;
    bool loggedIn = false;
    std::thread reader;
    std::thread writer;
    std::mutex m;
    std::condition_variable cv;
    std::deque<std::vector<uint8_t>> out;
    size_t outBytes = 0;
    bool closed = false;

    // Caller holds m.
    void CloseLocked() {
        if (!closed) {
            closed = true;
            shutdown(fd, SHUT_RDWR);
        }
        cv.notify_all();
    }
    void Close() {
        std::lock_guard<std::mutex> lock(m);
        CloseLocked();
    }
    bool Enqueue(std::vector<uint8_t> frame, size_t limit) {
        std::lock_guard<std::mutex> lock(m);
        if (closed)
            return false;
        // A client that stopped reading while data piles up is dropped rather than buffered forever.
        if (outBytes + frame.size() > limit) {
            CloseLocked();
            return false;
        }
        outBytes += frame.size();
        out.push_back(std::move(frame));
        cv.notify_all();
        return true;
    }
};

} // namespace

struct Server::Impl {
    ServerOptions opt;
    ServerHandler *handler = nullptr;
    int listenFd = -1;
    int wake[2] = {-1, -1};
    uint16_t port = 0;
    std::thread acceptThread;
    mutable std::mutex m;
    std::condition_variable cv;
    std::map<ConnId, std::shared_ptr<Conn>> conns;
    std::vector<std::shared_ptr<Conn>> finished;
    ConnId nextId = 1;
    int exiting = 0; // connection threads between leaving conns and reaching finished
    bool stopping = false;
    bool started = false;

    size_t OutLimit() const { return opt.maxFrame * 2 + (16u << 20); }

    void Reap() {
        std::vector<std::shared_ptr<Conn>> done;
        {
            std::lock_guard<std::mutex> lock(m);
            done.swap(finished);
        }
        for (auto &c : done)
            if (c->reader.joinable())
                c->reader.join();
    }

    void AcceptLoop() {
        for (;;) {
            pollfd p[2] = {{listenFd, POLLIN, 0}, {wake[0], POLLIN, 0}};
            int rc = poll(p, 2, 200);
            Reap();
            {
                std::lock_guard<std::mutex> lock(m);
                if (stopping)
                    return;
            }
            if (rc <= 0 || !(p[0].revents & POLLIN))
                continue;
            int fd = accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                // Out of descriptors the pending connection stays queued and poll fires at once:
                // pause instead of spinning, so the connections that are served keep their CPU.
                if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM)
                    poll(p + 1, 1, 100);
                continue;
            }
            const std::string peer = PeerAddress(fd);
            std::lock_guard<std::mutex> lock(m);
            if (!Admit(peer)) {
                close(fd);
                continue;
            }
            TuneSocket(fd, opt.deadAfterMs);
            auto c = std::make_shared<Conn>();
            c->fd = fd;
            c->peer = peer;
            c->id = nextId++;
            conns[c->id] = c;
            try {
                c->reader = std::thread([this, c] { Serve(c); });
            } catch (const std::system_error &) {
                // No thread for it: the client is refused like one past the cap.
                conns.erase(c->id);
                close(fd);
            }
        }
    }

    // Caller holds m. Connections between leaving conns and reaching finished are few and brief.
    bool Admit(const std::string &peer) const {
        if (opt.maxConnections > 0 && conns.size() >= size_t(opt.maxConnections))
            return false;
        if (opt.maxPerAddress > 0) {
            int same = 0;
            for (const auto &c : conns)
                if (c.second->peer == peer && ++same >= opt.maxPerAddress)
                    return false;
        }
        return true;
    }

    void Writer(const std::shared_ptr<Conn> &c) {
        // Made per thread: a static would be destroyed at exit under a writer thread that still runs.
        const std::vector<uint8_t> beat = wire::EncodeFrame(wire::kHeartbeat, 0, nullptr, 0);
        int64_t lastSend = NowMs();
        std::unique_lock<std::mutex> lock(c->m);
        for (;;) {
            c->cv.wait_for(lock, std::chrono::milliseconds(opt.heartbeatMs),
                           [&c] { return c->closed || !c->out.empty(); });
            if (c->closed)
                return;
            std::vector<uint8_t> frame;
            if (!c->out.empty()) {
                frame = std::move(c->out.front());
                c->out.pop_front();
                c->outBytes -= frame.size();
            } else if (NowMs() - lastSend >= opt.heartbeatMs) {
                frame = beat;
            } else {
                continue;
            }
            lock.unlock();
            bool ok = SendAll(c->fd, frame.data(), frame.size());
            lock.lock();
            if (!ok) {
                c->CloseLocked();
                return;
            }
            lastSend = NowMs();
        }
    }

    bool Authenticate(ConnId id, const wire::Hello &hello) {
        try {
            return handler->Authenticate(id, hello.user, hello.password);
        } catch (...) {
            return false;
        }
    }

    bool Handshake(const std::shared_ptr<Conn> &c, FrameReader *frames) {
        wire::Frame frame;
        wire::Hello hello;
        // Before the login nobody gets to send more than a hello needs.
        if (frames->Next(c->fd, std::min<size_t>(opt.maxFrame, wire::kMaxHelloFrame), opt.deadAfterMs, &frame) !=
                FrameReader::kFrame ||
            frame.kind != wire::kHello || !wire::DecodeHello(frame.payload.data(), frame.payload.size(), &hello))
            return false;
        wire::HelloReply reply;
        if (hello.version != wire::kVersion) {
            reply.status = TLX_ERR_PROTO;
            reply.text = "unsupported protocol version";
        } else if (!Authenticate(c->id, hello)) {
            reply.status = TLX_ERR_AUTH;
            reply.text = "login refused";
        }
        std::vector<uint8_t> payload = wire::EncodeHelloReply(reply);
        std::vector<uint8_t> bytes = wire::EncodeFrame(wire::kHelloReply, 0, payload.data(), payload.size());
        if (!SendAll(c->fd, bytes.data(), bytes.size()) || reply.status != 0)
            return false;
        std::lock_guard<std::mutex> lock(m);
        c->user = hello.user;
        c->loggedIn = true;
        return true;
    }

    void Loop(const std::shared_ptr<Conn> &c, FrameReader *frames) {
        for (;;) {
            // After a slow handler the client's heartbeats are waiting in the socket: read before judging.
            int64_t silence = NowMs() - frames->lastReceiveMs();
            wire::Frame frame;
            FrameReader::Result r =
                frames->Next(c->fd, opt.maxFrame, int(std::max<int64_t>(opt.deadAfterMs - silence, 1)), &frame);
            if (r == FrameReader::kTimeout) {
                if (NowMs() - frames->lastReceiveMs() >= opt.deadAfterMs)
                    return;
                continue;
            }
            if (r != FrameReader::kFrame)
                return;
            if (frame.kind == wire::kHeartbeat)
                continue;
            if (frame.kind != wire::kRequest && frame.kind != wire::kMessage)
                return;
            std::unique_ptr<TLXCliParam> param(wire::DecodeParam(frame.payload.data(), frame.payload.size()));
            if (!param)
                return;
            if (frame.kind == wire::kMessage) {
                try {
                    handler->OnMessage(c->id, param.get());
                } catch (...) {
                    // A handler's failure is that message's problem, not the connection's.
                }
                continue;
            }
            std::unique_ptr<TLXCliParam> reply(TLXPrmCreate(param->command.c_str(), wire::kParamReply));
            const char *failure = nullptr;
            try {
                handler->OnRequest(c->id, param.get(), reply.get());
            } catch (...) {
                failure = "server error";
            }
            std::vector<uint8_t> payload;
            wire::EncodeParam(reply.get(), &payload);
            if (!failure && payload.size() > opt.maxFrame)
                failure = "reply too large";
            if (failure) {
                // The client gets a failure instead of nothing, or of a frame it would reject.
                reply.reset(TLXPrmCreate(param->command.c_str(), wire::kParamReply));
                TLXPrmSetInt32(reply.get(), 0, TLX_ERR_ARG);
                TLXPrmSetText(reply.get(), 1, -1, failure);
                payload.clear();
                wire::EncodeParam(reply.get(), &payload);
            }
            if (!c->Enqueue(
                    wire::EncodeFrame(wire::kReply, frame.id, payload.data(), payload.size(), opt.compressAbove),
                    OutLimit()))
                return;
        }
    }

    void Serve(std::shared_ptr<Conn> c) {
        FrameReader frames;
        if (Handshake(c, &frames)) {
            bool writing = true;
            try {
                c->writer = std::thread([this, c] { Writer(c); });
            } catch (const std::system_error &) {
                writing = false;
            }
            if (writing)
                Loop(c, &frames);
        }
        c->Close();
        if (c->writer.joinable())
            c->writer.join();
        bool wasLoggedIn;
        {
            std::lock_guard<std::mutex> lock(m);
            conns.erase(c->id);
            wasLoggedIn = c->loggedIn;
            // Stop must also wait for this thread's last steps below, which still use this object.
            ++exiting;
        }
        if (wasLoggedIn)
            handler->OnDisconnect(c->id);
        close(c->fd);
        std::lock_guard<std::mutex> lock(m);
        finished.push_back(c);
        --exiting;
        cv.notify_all();
    }
};

Server::Server(ServerOptions options, ServerHandler *handler) : impl_(new Impl) {
    impl_->opt = std::move(options);
    impl_->handler = handler;
    if (impl_->opt.heartbeatMs <= 0)
        impl_->opt.heartbeatMs = 1000;
    if (impl_->opt.deadAfterMs <= 0)
        impl_->opt.deadAfterMs = 5000;
}

Server::~Server() {
    Stop();
}

bool Server::Start(std::string *error) {
    auto fail = [error](const std::string &why) {
        if (error)
            *error = why;
        return false;
    };
    if (impl_->started)
        return fail("already started");
    if (!impl_->handler)
        return fail("no handler");
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_PASSIVE | AI_NUMERICSERV;
    addrinfo *list = nullptr;
    std::string service = std::to_string(impl_->opt.port);
    const char *host = impl_->opt.listenAddress.empty() ? nullptr : impl_->opt.listenAddress.c_str();
    int rc = getaddrinfo(host, service.c_str(), &hints, &list);
    if (rc != 0)
        return fail(std::string("cannot resolve listen address: ") + gai_strerror(rc));
    int fd = -1;
    std::string why;
    for (addrinfo *a = list; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        int one = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
        if (bind(fd, a->ai_addr, a->ai_addrlen) != 0 || listen(fd, 128) != 0) {
            why = std::strerror(errno);
            close(fd);
            fd = -1;
        }
    }
    freeaddrinfo(list);
    if (fd < 0)
        return fail("cannot listen on " + impl_->opt.listenAddress + ":" + service + ": " + why);
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    getsockname(fd, reinterpret_cast<sockaddr *>(&ss), &len);
    impl_->port = ntohs(ss.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&ss)->sin6_port
                                                 : reinterpret_cast<sockaddr_in *>(&ss)->sin_port);
    if (pipe2(impl_->wake, O_CLOEXEC) != 0) {
        close(fd);
        return fail("cannot create a pipe");
    }
    impl_->listenFd = fd;
    impl_->started = true;
    impl_->stopping = false;
    impl_->acceptThread = std::thread([this] { impl_->AcceptLoop(); });
    return true;
}

uint16_t Server::Port() const {
    return impl_->port;
}

void Server::Stop() {
    if (!impl_->started)
        return;
    {
        std::lock_guard<std::mutex> lock(impl_->m);
        impl_->stopping = true;
    }
    (void)!write(impl_->wake[1], "x", 1);
    if (impl_->acceptThread.joinable())
        impl_->acceptThread.join();
    close(impl_->listenFd);
    close(impl_->wake[0]);
    close(impl_->wake[1]);
    impl_->listenFd = impl_->wake[0] = impl_->wake[1] = -1;
    std::vector<std::shared_ptr<Conn>> live;
    {
        std::lock_guard<std::mutex> lock(impl_->m);
        for (auto &c : impl_->conns)
            live.push_back(c.second);
    }
    for (auto &c : live)
        c->Close();
    {
        std::unique_lock<std::mutex> lock(impl_->m);
        impl_->cv.wait(lock, [this] { return impl_->conns.empty() && impl_->exiting == 0; });
    }
    impl_->Reap();
    impl_->started = false;
}

bool Server::Push(ConnId conn, const TLXCliParam *message) {
    if (!message)
        return false;
    std::shared_ptr<Conn> c;
    {
        std::lock_guard<std::mutex> lock(impl_->m);
        auto it = impl_->conns.find(conn);
        if (it == impl_->conns.end() || !it->second->loggedIn)
            return false;
        c = it->second;
    }
    std::vector<uint8_t> payload;
    wire::EncodeParam(message, &payload);
    if (payload.size() > impl_->opt.maxFrame)
        return false;
    return c->Enqueue(wire::EncodeFrame(wire::kPush, 0, payload.data(), payload.size(), impl_->opt.compressAbove),
                      impl_->OutLimit());
}

std::vector<ConnId> Server::Connections() const {
    std::vector<ConnId> ids;
    std::lock_guard<std::mutex> lock(impl_->m);
    for (const auto &c : impl_->conns)
        if (c.second->loggedIn)
            ids.push_back(c.first);
    return ids;
}

std::string Server::UserOf(ConnId conn) const {
    std::lock_guard<std::mutex> lock(impl_->m);
    auto it = impl_->conns.find(conn);
    return it == impl_->conns.end() ? std::string() : it->second->user;
}

std::string Server::PeerOf(ConnId conn) const {
    std::lock_guard<std::mutex> lock(impl_->m);
    auto it = impl_->conns.find(conn);
    return it == impl_->conns.end() ? std::string() : it->second->peer;
}

} // namespace tlx
