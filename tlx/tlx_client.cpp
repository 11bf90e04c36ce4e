// Client handle: connection, handshake, reader thread, request/reply matching, pushed messages.
#include "tlx/tlx_internal.h"
#include "tlx/tlx_socket.h"
#include "tlx/tlx_wire.h"

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <csignal>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include <sys/socket.h>
#include <unistd.h>

using namespace tlx;

namespace {

std::atomic<int> g_sockets{0}; // 0 not started, 1 started
std::atomic<int> g_heartbeatMs{1000};
std::atomic<int> g_deadAfterMs{5000};
std::atomic<size_t> g_maxFrame{wire::kDefaultMaxFrame};
constexpr size_t kCompressAbove = 64u << 10;
// Pushed messages nobody takes must not eat the memory: beyond this the oldest are dropped.
constexpr size_t kMaxQueued = 1u << 16;

struct Pending {
    TLXCliParam **slot = nullptr; // null: nobody waits, the reply is dropped
    TLXCliParam *reply = nullptr;
    bool done = false;
    int error = 0;
};

struct Client {
    TLXCliSes *handle = nullptr;
    std::mutex m;
    std::condition_variable cv;
    std::mutex writeMutex;
    int fd = -1;
    std::thread reader;
    FrameReader frames;
    std::atomic<int64_t> lastSend{0};
    std::map<uint64_t, Pending> pending;
    std::deque<TLXCliParam *> messages;
    uint64_t nextId = 1;
    bool closing = false; // set by TLXCliClose: the loss that follows is not reported

    ~Client() {
        for (auto &p : pending)
            TLXPrmDestroy(p.second.reply);
        for (TLXCliParam *msg : messages)
            TLXPrmDestroy(msg);
    }

    bool Send(const std::vector<uint8_t> &frame, bool tryOnly = false) {
        std::unique_lock<std::mutex> lock(writeMutex, std::defer_lock);
        if (tryOnly) {
            if (!lock.try_lock())
                return true; // someone is sending: the peer hears from us anyway
        } else {
            lock.lock();
        }
        if (fd < 0)
            return false;
        bool ok = SendAll(fd, frame.data(), frame.size());
        if (ok)
            lastSend = NowMs();
        return ok;
    }

    // Caller holds m.
    void FailAll(int error) {
        for (auto it = pending.begin(); it != pending.end();) {
            if (!it->second.slot) {
                TLXPrmDestroy(it->second.reply);
                it = pending.erase(it);
                continue;
            }
            if (!it->second.done) {
                it->second.done = true;
                it->second.error = error;
            }
            ++it;
        }
        cv.notify_all();
    }

    void Lost(int code) {
        bool report;
        {
            std::lock_guard<std::mutex> lock(m);
            report = !closing;
            __atomic_store_n(&handle->Connected, 0, __ATOMIC_RELEASE);
            FailAll(TLX_ERR_CLOSED);
        }
        shutdown(fd, SHUT_RDWR); // wakes a sender stuck on a full socket
        if (report && handle->OnSockClose)
            handle->OnSockClose(handle, code, 1);
    }

    // False when the reply cannot be decoded: its waiter would otherwise wait for ever.
    bool HandleReply(const wire::Frame &frame) {
        TLXCliParam *reply = wire::DecodeParam(frame.payload.data(), frame.payload.size());
        if (!reply)
            return false;
        std::lock_guard<std::mutex> lock(m);
        auto it = pending.find(frame.id);
        if (it == pending.end() || it->second.done) {
            TLXPrmDestroy(reply);
            return true;
        }
        if (!it->second.slot) {
            TLXPrmDestroy(reply);
            pending.erase(it);
            return true;
        }
        it->second.reply = reply;
        it->second.done = true;
        cv.notify_all();
        return true;
    }

    void Run() {
        // Made per thread: a static would be destroyed at exit under a reader thread that still runs.
        const std::vector<uint8_t> beat = wire::EncodeFrame(wire::kHeartbeat, 0, nullptr, 0);
        for (;;) {
            int interval = g_heartbeatMs.load();
            int deadAfter = g_deadAfterMs.load();
            int64_t now = NowMs();
            if (now - lastSend >= interval) {
                Send(beat, true);
                now = NowMs();
            }
            // Silence counts only once the socket has been asked: bytes that waited while a callback
            // held this thread are not silence.
            int64_t silence = now - frames.lastReceiveMs();
            int64_t wait = std::min<int64_t>(interval - (now - lastSend), deadAfter - silence);
            wire::Frame frame;
            switch (frames.Next(fd, g_maxFrame.load(), int(std::max<int64_t>(wait, 1)), &frame)) {
            case FrameReader::kTimeout:
                if (NowMs() - frames.lastReceiveMs() >= deadAfter) {
                    Lost(TLX_ERR_TIMEOUT);
                    return;
                }
                continue;
            case FrameReader::kClosed:
                Lost(TLX_ERR_CLOSED);
                return;
            case FrameReader::kMalformed:
                Lost(TLX_ERR_PROTO);
                return;
            case FrameReader::kFrame:
                break;
            }
            if (frame.kind == wire::kReply) {
                if (!HandleReply(frame)) {
                    Lost(TLX_ERR_PROTO);
                    return;
                }
            } else if (frame.kind == wire::kPush) {
                TLXCliParam *msg = wire::DecodeParam(frame.payload.data(), frame.payload.size());
                if (!msg) {
                    Lost(TLX_ERR_PROTO);
                    return;
                }
                {
                    std::lock_guard<std::mutex> lock(m);
                    if (messages.size() >= kMaxQueued) {
                        TLXPrmDestroy(messages.front());
                        messages.pop_front();
                    }
                    messages.push_back(msg);
                    cv.notify_all();
                }
                if (handle->OnMessage)
                    handle->OnMessage(handle);
            } else if (frame.kind != wire::kHeartbeat) {
                Lost(TLX_ERR_PROTO);
                return;
            }
        }
    }

    // Ends the connection without reporting it; safe from any thread, the reader's own included.
    void Shutdown() {
        {
            std::lock_guard<std::mutex> lock(m);
            closing = true;
            __atomic_store_n(&handle->Connected, 0, __ATOMIC_RELEASE);
            FailAll(TLX_ERR_CLOSED);
        }
        if (fd >= 0)
            shutdown(fd, SHUT_RDWR);
        if (reader.joinable()) {
            if (reader.get_id() == std::this_thread::get_id())
                reader.detach(); // closed from the socket-close callback: the thread ends by itself
            else
                reader.join();
        }
        std::lock_guard<std::mutex> wlock(writeMutex);
        if (fd >= 0)
            close(fd);
        fd = -1;
    }

    void ClearQueues() {
        std::lock_guard<std::mutex> lock(m);
        for (auto &p : pending)
            TLXPrmDestroy(p.second.reply);
        pending.clear();
        for (TLXCliParam *msg : messages)
            TLXPrmDestroy(msg);
        messages.clear();
    }
};

Client *ImplOf(TLXCliSes *handle) {
    return handle ? static_cast<Client *>(handle->Impl) : nullptr;
}

bool ReadHello(Client *c, int timeoutMs, wire::HelloReply *reply) {
    wire::Frame frame;
    if (c->frames.Next(c->fd, std::min<size_t>(g_maxFrame.load(), wire::kMaxHelloFrame), timeoutMs, &frame) !=
        FrameReader::kFrame)
        return false;
    return frame.kind == wire::kHelloReply && wire::DecodeHelloReply(frame.payload.data(), frame.payload.size(), reply);
}

} // namespace

extern "C" {

int TLSockIsActive(void) {
    return g_sockets.load() ? 0 : TLX_ERR_NOSOCK;
}

int TLSockInit(int maxSockets) {
    (void)maxSockets; // threads are made per handle; no pool to size
    g_sockets = 1;
    return 0;
}

int TLXInit(void) {
    return g_sockets.load() ? 0 : TLX_ERR_NOSOCK;
}

void TLXSetHeartbeat(int intervalMs, int deadAfterMs) {
    if (intervalMs > 0)
        g_heartbeatMs = intervalMs;
    if (deadAfterMs > 0)
        g_deadAfterMs = deadAfterMs;
}

void TLXSetMaxFrame(unsigned bytes) {
    if (bytes >= wire::kHeaderSize)
        g_maxFrame = bytes;
}

int TLXCliCreate(TLXCliSes **handle) {
    if (!handle)
        return TLX_ERR_ARG;
    auto *h = new TLXCliSes{};
    auto *c = new Client;
    c->handle = h;
    h->Impl = c;
    *handle = h;
    return 0;
}

int TLXCliFree(TLXCliSes *handle) {
    Client *c = ImplOf(handle);
    if (!c)
        return TLX_ERR_ARG;
    c->Shutdown();
    delete c;
    delete handle;
    return 0;
}

int TLXCliOpen(TLXCliSes *handle, const char *host, unsigned port, const char *user, const char *password, int mode,
               int reserved) {
    (void)mode;
    (void)reserved;
    Client *c = ImplOf(handle);
    if (!c || !host || !user || !password)
        return TLX_ERR_ARG;
    c->Shutdown();
    c->ClearQueues();
    {
        std::lock_guard<std::mutex> lock(c->m);
        c->closing = false;
    }
    int deadAfter = g_deadAfterMs.load();
    int fd = ConnectTcp(*host ? host : "localhost", port, deadAfter);
    if (fd < 0)
        return TLX_ERR_CONNECT;
    TuneSocket(fd, deadAfter);
    c->fd = fd;
    c->frames.Reset();
    wire::Hello hello;
    hello.user = user;
    hello.password = password;
    std::vector<uint8_t> payload = wire::EncodeHello(hello);
    wire::HelloReply reply;
    int rc = 0;
    if (!c->Send(wire::EncodeFrame(wire::kHello, 0, payload.data(), payload.size())) ||
        !ReadHello(c, deadAfter, &reply))
        rc = TLX_ERR_CONNECT;
    else if (reply.status != 0)
        rc = reply.status == TLX_ERR_AUTH ? TLX_ERR_AUTH : TLX_ERR_PROTO;
    if (rc != 0) {
        close(fd);
        c->fd = -1;
        return rc;
    }
    __atomic_store_n(&handle->Connected, 1, __ATOMIC_RELEASE);
    c->lastSend = NowMs();
    c->reader = std::thread([c] { c->Run(); });
    return 0;
}

// A close asked for by the user is not a loss: the socket-close callback stays silent.
int TLXCliClose(TLXCliSes *handle, int reserved) {
    (void)reserved;
    Client *c = ImplOf(handle);
    if (!c)
        return TLX_ERR_ARG;
    c->Shutdown();
    return 0;
}

int TLXCliMessage(TLXCliSes *handle, const char *command, TLXCliParam **param) {
    if (!ImplOf(handle) || !command || !param)
        return TLX_ERR_ARG;
    *param = TLXPrmCreate(command, wire::kParamMessage);
    return 0;
}

int TLXCliRequest(TLXCliSes *handle, const char *command, TLXCliParam **param, TLXCliParam **replySlot) {
    Client *c = ImplOf(handle);
    if (!c || !command || !param)
        return TLX_ERR_ARG;
    TLXCliParam *p = TLXPrmCreate(command, wire::kParamRequest);
    std::lock_guard<std::mutex> lock(c->m);
    if (replySlot) {
        *replySlot = nullptr;
        // A slot reused for a new request forgets the old one (its reply, if any, is dropped).
        for (auto it = c->pending.begin(); it != c->pending.end();) {
            if (it->second.slot != replySlot) {
                ++it;
            } else if (it->second.done) {
                TLXPrmDestroy(it->second.reply);
                it = c->pending.erase(it);
            } else {
                it->second.slot = nullptr;
                ++it;
            }
        }
    }
    p->requestId = c->nextId++;
    c->pending[p->requestId].slot = replySlot;
    *param = p;
    return 0;
}

int TLXCliPost(TLXCliSes *handle, TLXCliParam *param) {
    Client *c = ImplOf(handle);
    if (!param)
        return TLX_ERR_ARG;
    if (!c) {
        TLXPrmDestroy(param);
        return TLX_ERR_ARG;
    }
    uint64_t id = param->requestId;
    std::vector<uint8_t> payload;
    wire::EncodeParam(param, &payload);
    param->requestId = 0;
    TLXPrmDestroy(param);
    int rc = 0;
    if (payload.size() > g_maxFrame.load())
        rc = TLX_ERR_ARG;
    else if (!__atomic_load_n(&handle->Connected, __ATOMIC_ACQUIRE))
        rc = TLX_ERR_CLOSED;
    else if (!c->Send(wire::EncodeFrame(id ? wire::kRequest : wire::kMessage, id, payload.data(), payload.size(),
                                        kCompressAbove)))
        rc = TLX_ERR_CLOSED;
    if (rc != 0 && id) {
        std::lock_guard<std::mutex> lock(c->m);
        auto it = c->pending.find(id);
        if (it != c->pending.end()) {
            if (it->second.slot) {
                it->second.done = true;
                it->second.error = rc;
            } else {
                c->pending.erase(it);
            }
            c->cv.notify_all();
        }
    }
    return rc;
}

int TLXCliWaitResult(TLXCliSes *handle, TLXCliParam **replySlot, int timeoutMs) {
    Client *c = ImplOf(handle);
    if (!c || !replySlot)
        return TLX_ERR_ARG;
    std::unique_lock<std::mutex> lock(c->m);
    uint64_t id = 0;
    for (auto &p : c->pending)
        if (p.second.slot == replySlot)
            id = p.first;
    if (!id)
        return *replySlot ? 0
                          : (__atomic_load_n(&handle->Connected, __ATOMIC_ACQUIRE) ? TLX_ERR_NOTFOUND : TLX_ERR_CLOSED);
    auto ready = [c, id] {
        auto it = c->pending.find(id);
        return it == c->pending.end() || it->second.done || it->second.slot == nullptr;
    };
    if (timeoutMs < 0)
        c->cv.wait(lock, ready);
    else if (!c->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready))
        return TLX_ERR_TIMEOUT;
    auto it = c->pending.find(id);
    if (it == c->pending.end() || !it->second.slot)
        return TLX_ERR_CLOSED; // dropped by Open/Free, or the slot was reused meanwhile
    int rc = it->second.error;
    if (rc == 0)
        *replySlot = it->second.reply;
    c->pending.erase(it);
    return rc;
}

int TLXCliPrmFree(TLXCliParam *param, TLXCliSes *handle) {
    if (!param)
        return TLX_ERR_ARG;
    // A request record freed without being posted takes its reply slot with it.
    Client *c = ImplOf(handle);
    if (c && param->requestId) {
        std::lock_guard<std::mutex> lock(c->m);
        c->pending.erase(param->requestId);
    }
    TLXPrmDestroy(param);
    return 0;
}

int TLXCliGetMessage(TLXCliSes *handle, TLXCliParam **param, int timeoutMs) {
    Client *c = ImplOf(handle);
    if (!c || !param)
        return TLX_ERR_ARG;
    *param = nullptr;
    std::unique_lock<std::mutex> lock(c->m);
    auto ready = [c, handle] { return !c->messages.empty() || !__atomic_load_n(&handle->Connected, __ATOMIC_ACQUIRE); };
    if (timeoutMs < 0)
        c->cv.wait(lock, ready);
    else if (timeoutMs > 0)
        c->cv.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
    if (c->messages.empty())
        return __atomic_load_n(&handle->Connected, __ATOMIC_ACQUIRE) ? TLX_ERR_NOTFOUND : TLX_ERR_CLOSED;
    *param = c->messages.front();
    c->messages.pop_front();
    return 0;
}

} // extern "C"
