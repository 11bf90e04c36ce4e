// Client handles against an in-process tlx::Server on loopback, and against scripted fake peers.
#include "tlx/tlx.h"
#include "tlx/tlx_server.h"
#include "tlx/tlx_socket.h"
#include "tlx/tlx_wire.h"

#include <QByteArray>
#include <QScopeGuard>
#include <QtEndian>
#include <QtTest>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tlx;

namespace {

constexpr int kBeatMs = 200;
constexpr int kDeadMs = 1500;

QByteArray Noise(int n, quint32 seed) {
    QByteArray b(n, 0);
    for (char &c : b) {
        seed = seed * 1103515245u + 12345u;
        c = char(seed >> 24);
    }
    return b;
}

class Handler : public ServerHandler {
public:
    bool Authenticate(ConnId, const std::string &user, const std::string &password) override {
        return user == "operator" && password == "secret";
    }
    void OnRequest(ConnId, TLXCliParam *request, TLXCliParam *reply) override {
        const std::string command = TLXPrmCommand(request);
        if (command == "HOLD") {
            std::unique_lock<std::mutex> lock(m);
            ++held;
            cv.wait(lock, [this] { return released; });
            TLXPrmSetInt32(reply, 0, 0);
            return;
        }
        if (command == "SLOW") {
            // Works for longer than the client's silence limit; the link must survive it.
            std::unique_lock<std::mutex> lock(m);
            cv.wait_for(lock, std::chrono::milliseconds(2 * kDeadMs), [this] { return released; });
            TLXPrmSetInt32(reply, 0, 0);
            return;
        }
        if (command == "THROW")
            throw std::runtime_error("handler failed");
        if (command == "BIG") {
            const QByteArray big = Noise(400000, 11);
            TLXPrmSetInt32(reply, 0, 0);
            TLXPrmSetBytes(reply, 1, big.size(), big.constData());
            return;
        }
        if (command != "ECHO") {
            TLXPrmSetInt32(reply, 0, -1);
            return;
        }
        int32_t v = 0;
        TLRGetAsInt32(TLXPrmField(request, 0), TLXPrmRecord(request), &v);
        TLXPrmSetInt32(reply, 0, 0);
        TLXPrmSetInt32(reply, 1, v);
        const char *p = nullptr;
        int n = 0;
        if (TLRGetTextRef(TLXPrmField(request, 1), TLXPrmRecord(request), &n, &p) == 0)
            TLXPrmSetBytes(reply, 2, n, p);
    }
    void OnMessage(ConnId, TLXCliParam *message) override {
        int32_t v = 0;
        TLRGetAsInt32(TLXPrmField(message, 0), TLXPrmRecord(message), &v);
        lastMessage = v;
        ++messages;
    }
    void OnDisconnect(ConnId) override {
        if (int ms = disconnectDelayMs.load())
            std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        ++disconnects;
    }

    void Release() {
        std::lock_guard<std::mutex> lock(m);
        released = true;
        cv.notify_all();
    }
    int Held() {
        std::lock_guard<std::mutex> lock(m);
        return held;
    }

    std::atomic<int> messages{0};
    std::atomic<int> lastMessage{0};
    std::atomic<int> disconnects{0};
    std::atomic<int> disconnectDelayMs{0};

private:
    std::mutex m;
    std::condition_variable cv;
    bool released = false;
    int held = 0;
};

struct Probe {
    std::atomic<int> closes{0};
    std::atomic<int> lastCode{0};
    std::atomic<int> messages{0};
};

void OnClose(TLXCliSes *h, int code, int) {
    auto *p = static_cast<Probe *>(h->Owner);
    p->lastCode = code;
    ++p->closes;
}

void OnMessage(TLXCliSes *h) {
    ++static_cast<Probe *>(h->Owner)->messages;
}

// A client handle with its callbacks counted.
struct Client {
    TLXCliSes *h = nullptr;
    Probe probe;
    Client() {
        TLXCliCreate(&h);
        h->Owner = &probe;
        h->OnSockClose = OnClose;
        h->OnMessage = OnMessage;
    }
    ~Client() { TLXCliFree(h); }
    int Open(uint16_t port, const char *user = "operator", const char *password = "secret") {
        return TLXCliOpen(h, "127.0.0.1", port, user, password, 1, 0);
    }
    // One ECHO round trip: 0 when the reply carries the value back.
    int Echo(int value, const QByteArray &payload = QByteArray(), int timeoutMs = -1) {
        TLXCliParam *param = nullptr, *reply = nullptr;
        if (TLXCliRequest(h, "ECHO", &param, &reply) != 0)
            return -100;
        TLXPrmSetInt32(param, 0, value);
        if (!payload.isNull())
            TLXPrmSetBytes(param, 1, payload.size(), payload.constData());
        int rc = TLXCliPost(h, param);
        if (rc != 0)
            return rc;
        rc = TLXCliWaitResult(h, &reply, timeoutMs);
        if (rc != 0)
            return rc;
        int32_t status = -1, back = 0;
        TLRGetAsInt32(TLXPrmField(reply, 0), TLXPrmRecord(reply), &status);
        TLRGetAsInt32(TLXPrmField(reply, 1), TLXPrmRecord(reply), &back);
        const char *p = nullptr;
        int n = 0;
        bool same = payload.isNull() ? TLXPrmFieldCount(reply) == 2
                                     : TLRGetTextRef(TLXPrmField(reply, 2), TLXPrmRecord(reply), &n, &p) == 0 &&
                                           QByteArray(p, n) == payload;
        TLXCliPrmFree(reply, h);
        return status == 0 && back == value && same ? 0 : -200;
    }
};

struct ServerBox {
    Handler handler;
    std::unique_ptr<Server> server;
    explicit ServerBox(size_t maxFrame = 64u << 20) {
        ServerOptions o;
        o.port = 0;
        o.maxFrame = maxFrame;
        o.heartbeatMs = kBeatMs;
        o.deadAfterMs = kDeadMs;
        server = std::make_unique<Server>(o, &handler);
    }
    bool Start() {
        std::string error;
        return server->Start(&error);
    }
    uint16_t Port() const { return server->Port(); }
};

// A raw connection that speaks the protocol by hand.
struct Raw {
    int fd = -1;
    FrameReader frames;
    explicit Raw(uint16_t port) { fd = ConnectTcp("127.0.0.1", port, 5000); }
    ~Raw() {
        if (fd >= 0)
            close(fd);
    }
    bool Send(const QByteArray &bytes) {
        return SendAll(fd, reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    }
    bool SendFrame(uint8_t kind, const std::vector<uint8_t> &payload, uint64_t id = 0) {
        std::vector<uint8_t> f = wire::EncodeFrame(kind, id, payload.data(), payload.size());
        return SendAll(fd, f.data(), f.size());
    }
    bool Hello(const char *user, const char *password, uint16_t version = wire::kVersion) {
        wire::Hello h;
        h.version = version;
        h.user = user;
        h.password = password;
        return SendFrame(wire::kHello, wire::EncodeHello(h));
    }
    // Next frame other than a heartbeat; kind 0 when the peer closed first.
    wire::Frame Next(int timeoutMs = 10000) {
        wire::Frame f;
        for (;;) {
            if (frames.Next(fd, wire::kDefaultMaxFrame, timeoutMs, &f) != FrameReader::kFrame)
                return wire::Frame();
            if (f.kind != wire::kHeartbeat)
                return f;
        }
    }
};

// A scripted server: answers the login, then misbehaves as told.
class FakeServer {
public:
    enum Mode { kSilent, kGarbage, kClose, kBadPush, kSlowReply, kBadReply };
    explicit FakeServer(Mode mode) : mode_(mode) {
        listenFd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listenFd_, reinterpret_cast<sockaddr *>(&a), sizeof a);
        listen(listenFd_, 4);
        socklen_t len = sizeof a;
        getsockname(listenFd_, reinterpret_cast<sockaddr *>(&a), &len);
        port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~FakeServer() {
        {
            std::lock_guard<std::mutex> lock(m_);
            done_ = true;
        }
        cv_.notify_all();
        shutdown(listenFd_, SHUT_RDWR);
        thread_.join();
        close(listenFd_);
    }
    uint16_t Port() const { return port_; }

private:
    void Run() {
        int fd = accept(listenFd_, nullptr, nullptr);
        if (fd < 0)
            return;
        FrameReader frames;
        wire::Frame f;
        if (frames.Next(fd, wire::kDefaultMaxFrame, 5000, &f) == FrameReader::kFrame) {
            std::vector<uint8_t> ok = wire::EncodeHelloReply(wire::HelloReply());
            std::vector<uint8_t> frame = wire::EncodeFrame(wire::kHelloReply, 0, ok.data(), ok.size());
            SendAll(fd, frame.data(), frame.size());
            if (mode_ == kSlowReply && frames.Next(fd, wire::kDefaultMaxFrame, 5000, &f) == FrameReader::kFrame) {
                // Only heartbeats for twice the silence limit, then the reply.
                const std::vector<uint8_t> beat = wire::EncodeFrame(wire::kHeartbeat, 0, nullptr, 0);
                for (int i = 0; i < 2 * kDeadMs / kBeatMs; ++i) {
                    std::unique_lock<std::mutex> lock(m_);
                    if (cv_.wait_for(lock, std::chrono::milliseconds(kBeatMs), [this] { return done_; }))
                        break;
                    SendAll(fd, beat.data(), beat.size());
                }
                TLXCliParam *reply = TLXPrmCreate("ECHO", wire::kParamReply);
                TLXPrmSetInt32(reply, 0, 0);
                std::vector<uint8_t> payload;
                wire::EncodeParam(reply, &payload);
                TLXPrmDestroy(reply);
                frame = wire::EncodeFrame(wire::kReply, f.id, payload.data(), payload.size());
                SendAll(fd, frame.data(), frame.size());
            }
            if (mode_ == kBadReply && frames.Next(fd, wire::kDefaultMaxFrame, 5000, &f) == FrameReader::kFrame) {
                const uint8_t notAParam[3] = {0xff, 0xff, 0xff};
                frame = wire::EncodeFrame(wire::kReply, f.id, notAParam, sizeof notAParam);
                SendAll(fd, frame.data(), frame.size());
            }
            if (mode_ == kGarbage) {
                const uint8_t junk[16] = {1, 2, 3, 4, 0xee, 0, 0, 0, 9, 9, 9, 9, 9, 9, 9, 9};
                SendAll(fd, junk, sizeof junk);
            } else if (mode_ == kBadPush) {
                const uint8_t notAParam[3] = {0xff, 0xff, 0xff};
                frame = wire::EncodeFrame(wire::kPush, 0, notAParam, sizeof notAParam);
                SendAll(fd, frame.data(), frame.size());
            }
            if (mode_ != kClose) {
                // Stays connected and says nothing more, as a frozen process would.
                std::unique_lock<std::mutex> lock(m_);
                cv_.wait(lock, [this] { return done_; });
            }
        }
        close(fd);
    }

    Mode mode_;
    int listenFd_ = -1;
    uint16_t port_ = 0;
    std::thread thread_;
    std::mutex m_;
    std::condition_variable cv_;
    bool done_ = false;
};

uint16_t ClosedPort() {
    int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    socklen_t len = sizeof a;
    getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    close(fd);
    return ntohs(a.sin_port);
}

} // namespace

class TlxLinkTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void login_data();
    void login();
    void handshakeRefusals_data();
    void handshakeRefusals();
    void requestReply_data();
    void requestReply();
    void waitOutOfOrder_data();
    void waitOutOfOrder();
    void pushedMessages_data();
    void pushedMessages();
    void oneWayMessages_data();
    void oneWayMessages();
    void connectionLoss_data();
    void connectionLoss();
    void badFrameClosesOnlyThatConnection_data();
    void badFrameClosesOnlyThatConnection();
    void slowPeerKeepsLink_data();
    void slowPeerKeepsLink();
    void failedRequestKeepsConnection_data();
    void failedRequestKeepsConnection();
    void manyClients_data();
    void manyClients();
    void stopWhileClientsLeave_data();
    void stopWhileClientsLeave();
};

void TlxLinkTest::initTestCase() {
    QCOMPARE(TLSockIsActive(), int(TLX_ERR_NOSOCK));
    QCOMPARE(TLSockInit(50), 0);
    QCOMPARE(TLSockIsActive(), 0);
    QCOMPARE(TLXInit(), 0);
    TLXSetHeartbeat(kBeatMs, kDeadMs);
}

void TlxLinkTest::login_data() {
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("password");
    QTest::addColumn<bool>("serverUp");
    QTest::addColumn<int>("rc");
    QTest::newRow("right-password") << QByteArray("operator") << QByteArray("secret") << true << 0;
    QTest::newRow("wrong-password") << QByteArray("operator") << QByteArray("Secret") << true << int(TLX_ERR_AUTH);
    QTest::newRow("unknown-user") << QByteArray("nobody") << QByteArray("secret") << true << int(TLX_ERR_AUTH);
    QTest::newRow("empty-password") << QByteArray("operator") << QByteArray("") << true << int(TLX_ERR_AUTH);
    QTest::newRow("no-server") << QByteArray("operator") << QByteArray("secret") << false << int(TLX_ERR_CONNECT);
}

void TlxLinkTest::login() {
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, password);
    QFETCH(bool, serverUp);
    QFETCH(int, rc);
    ServerBox box;
    QVERIFY(box.Start());
    Client c;
    QCOMPARE(c.Open(serverUp ? box.Port() : ClosedPort(), user.constData(), password.constData()), rc);
    QCOMPARE(c.h->Connected != 0, rc == 0);
    if (rc == 0) {
        QCOMPARE(c.Echo(5), 0);
        QTRY_COMPARE(int(box.server->Connections().size()), 1);
        QCOMPARE(QByteArray::fromStdString(box.server->UserOf(box.server->Connections()[0])), user);
        QCOMPARE(QByteArray::fromStdString(box.server->PeerOf(box.server->Connections()[0])), QByteArray("127.0.0.1"));
        // Opening again on the same handle replaces the connection quietly.
        QCOMPARE(c.Open(box.Port()), 0);
        QCOMPARE(c.Echo(6), 0);
        QTRY_COMPARE(int(box.server->Connections().size()), 1);
    } else {
        QVERIFY(c.Echo(5) != 0);
    }
    QCOMPARE(TLXCliClose(c.h, 0), 0);
    QCOMPARE(c.probe.closes.load(), 0);
}

void TlxLinkTest::handshakeRefusals_data() {
    QTest::addColumn<QByteArray>("script");
    QTest::addColumn<int>("replyStatus"); // 1 = no reply, only the close
    QTest::newRow("wrong-version") << QByteArray("version") << int(TLX_ERR_PROTO);
    QTest::newRow("wrong-password") << QByteArray("password") << int(TLX_ERR_AUTH);
    QTest::newRow("bad-magic") << QByteArray("magic") << 1;
    QTest::newRow("http-garbage") << QByteArray("garbage") << 1;
    QTest::newRow("request-before-login") << QByteArray("request") << 1;
    QTest::newRow("silent-before-login") << QByteArray("silent") << 1;
    QTest::newRow("large-frame-before-login") << QByteArray("large") << 1;
    QTest::newRow("silent-after-login") << QByteArray("idle") << 0;
}

// Each ends with the server closing the connection, after its answer where there is one.
void TlxLinkTest::handshakeRefusals() {
    QFETCH(QByteArray, script);
    QFETCH(int, replyStatus);
    ServerBox box;
    QVERIFY(box.Start());
    Raw raw(box.Port());
    QVERIFY(raw.fd >= 0);
    if (script == "version") {
        QVERIFY(raw.Hello("operator", "secret", 2));
    } else if (script == "password") {
        QVERIFY(raw.Hello("operator", "x"));
    } else if (script == "magic") {
        wire::Hello h;
        h.magic = 0x11223344;
        QVERIFY(raw.SendFrame(wire::kHello, wire::EncodeHello(h)));
    } else if (script == "garbage") {
        QVERIFY(raw.Send("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
    } else if (script == "request") {
        QVERIFY(raw.SendFrame(wire::kRequest, {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, 1));
    } else if (script == "large") {
        // A well-formed hello of about 128 KiB: answered if it were read, but too large to be read.
        // The server may close before all of it is sent, so the send itself may fail.
        raw.Hello(std::string(65535, 'u').c_str(), std::string(65535, 'p').c_str());
    } else if (script == "idle") {
        QVERIFY(raw.Hello("operator", "secret"));
    }
    wire::Frame f = raw.Next();
    if (replyStatus != 1) {
        QCOMPARE(int(f.kind), int(wire::kHelloReply));
        wire::HelloReply reply;
        QVERIFY(wire::DecodeHelloReply(f.payload.data(), f.payload.size(), &reply));
        QCOMPARE(reply.status, replyStatus);
        f = raw.Next(); // a client that logged in and then says nothing is dropped as dead
    }
    QCOMPARE(int(f.kind), 0);
    QTRY_VERIFY(box.server->Connections().empty());
    QCOMPARE(box.handler.disconnects.load(), script == "idle" ? 1 : 0);
}

void TlxLinkTest::requestReply_data() {
    QTest::addColumn<int>("threads");
    QTest::addColumn<int>("perThread");
    QTest::addColumn<QByteArray>("payload");
    QTest::newRow("single") << 1 << 1 << QByteArray();
    QTest::newRow("sequential") << 1 << 200 << QByteArray("abc");
    QTest::newRow("four-threads") << 4 << 100 << QByteArray("x");
    QTest::newRow("compressible-300k") << 2 << 5 << QByteArray(300000, 'z');
    QTest::newRow("noise-1m") << 2 << 3 << Noise(1 << 20, 7);
}

// Threads share one handle; every reply must reach the thread that asked.
void TlxLinkTest::requestReply() {
    QFETCH(int, threads);
    QFETCH(int, perThread);
    QFETCH(QByteArray, payload);
    ServerBox box;
    QVERIFY(box.Start());
    Client c;
    QCOMPARE(c.Open(box.Port()), 0);
    std::atomic<int> failures{0};
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back([&, t] {
            for (int i = 0; i < perThread; ++i)
                if (c.Echo(t * 100000 + i, payload) != 0)
                    ++failures;
        });
    }
    for (auto &th : pool)
        th.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(c.probe.closes.load(), 0);
}

void TlxLinkTest::waitOutOfOrder_data() {
    QTest::addColumn<int>("count");
    QTest::newRow("two") << 2;
    QTest::newRow("twenty") << 20;
}

void TlxLinkTest::waitOutOfOrder() {
    QFETCH(int, count);
    ServerBox box;
    QVERIFY(box.Start());
    Client c;
    QCOMPARE(c.Open(box.Port()), 0);
    std::vector<TLXCliParam *> replies(size_t(count), nullptr);
    for (int i = 0; i < count; ++i) {
        TLXCliParam *p = nullptr;
        QCOMPARE(TLXCliRequest(c.h, "ECHO", &p, &replies[size_t(i)]), 0);
        TLXPrmSetInt32(p, 0, 1000 + i);
        QCOMPARE(TLXCliPost(c.h, p), 0);
    }
    for (int i = count - 1; i >= 0; --i) {
        QCOMPARE(TLXCliWaitResult(c.h, &replies[size_t(i)], -1), 0);
        int32_t v = 0;
        TLRGetAsInt32(TLXPrmField(replies[size_t(i)], 1), TLXPrmRecord(replies[size_t(i)]), &v);
        QCOMPARE(int(v), 1000 + i);
        TLXCliPrmFree(replies[size_t(i)], c.h);
    }
    // A slot that has nothing pending does not wait.
    TLXCliParam *none = nullptr;
    QCOMPARE(TLXCliWaitResult(c.h, &none, -1), int(TLX_ERR_NOTFOUND));
}

void TlxLinkTest::pushedMessages_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("blobBytes");
    QTest::newRow("one") << 1 << 0;
    QTest::newRow("three-hundred") << 300 << 0;
    QTest::newRow("large-compressed") << 5 << 200000;
}

void TlxLinkTest::pushedMessages() {
    QFETCH(int, count);
    QFETCH(int, blobBytes);
    ServerBox box;
    QVERIFY(box.Start());
    Client c;
    QCOMPARE(c.Open(box.Port()), 0);
    TLXCliParam *none = nullptr;
    QCOMPARE(TLXCliGetMessage(c.h, &none, 0), int(TLX_ERR_NOTFOUND));
    QTRY_COMPARE(int(box.server->Connections().size()), 1);
    ConnId conn = box.server->Connections()[0];
    const QByteArray data(blobBytes, ';');
    for (int i = 0; i < count; ++i) {
        const int kind = i % 3 ? TLX_MSG_EVENT : TLX_MSG_KWIT;
        TLXCliParam *m = TLXPrmCreate("EVENT", kind);
        QByteArray id = "{ev-" + QByteArray::number(i) + "}";
        TLXPrmSetText(m, 0, id.size(), id.constData());
        TLXPrmSetName(m, 0, "_ID");
        TLXPrmSetInt32(m, 1, 8301 + i % 8);
        TLXPrmSetName(m, 1, "_CODE");
        if (blobBytes) {
            TLXPrmSetText(m, 2, data.size(), data.constData());
            TLXPrmSetName(m, 2, "_DATA");
        }
        QVERIFY(box.server->Push(conn, m));
        TLXPrmDestroy(m);
    }
    QTRY_COMPARE(c.probe.messages.load(), count);
    for (int i = 0; i < count; ++i) {
        TLXCliParam *m = nullptr;
        QCOMPARE(TLXCliGetMessage(c.h, &m, 0), 0);
        QCOMPARE(TLXPrmKind(m), i % 3 ? int(TLX_MSG_EVENT) : int(TLX_MSG_KWIT));
        const char *id = nullptr;
        QCOMPARE(TLRGetTextPtr(TLXPrmField(m, TLXPrmFieldIndex(m, "_ID")), TLXPrmRecord(m), &id), 0);
        QCOMPARE(QByteArray(id), "{ev-" + QByteArray::number(i) + "}");
        if (blobBytes) {
            const char *p = nullptr;
            int n = 0;
            QCOMPARE(TLRGetTextRef(TLXPrmField(m, TLXPrmFieldIndex(m, "_DATA")), TLXPrmRecord(m), &n, &p), 0);
            QCOMPARE(QByteArray(p, n), data);
        }
        TLXCliPrmFree(m, c.h);
    }
    QCOMPARE(TLXCliGetMessage(c.h, &none, 0), int(TLX_ERR_NOTFOUND));
    TLXCliParam *stray = TLXPrmCreate("EVENT", TLX_MSG_EVENT);
    QVERIFY(!box.server->Push(conn + 1000, stray)); // no such connection
    TLXPrmDestroy(stray);
}

void TlxLinkTest::oneWayMessages_data() {
    QTest::addColumn<int>("count");
    QTest::newRow("one") << 1;
    QTest::newRow("fifty") << 50;
}

void TlxLinkTest::oneWayMessages() {
    QFETCH(int, count);
    ServerBox box;
    QVERIFY(box.Start());
    Client c;
    QCOMPARE(c.Open(box.Port()), 0);
    for (int i = 1; i <= count; ++i) {
        TLXCliParam *p = nullptr;
        QCOMPARE(TLXCliMessage(c.h, "EVENT_KWIT", &p), 0);
        TLXPrmSetInt32(p, 0, i);
        QCOMPARE(TLXCliPost(c.h, p), 0);
    }
    QTRY_COMPARE(box.handler.messages.load(), count);
    QCOMPARE(box.handler.lastMessage.load(), count); // in order on one connection
}

void TlxLinkTest::connectionLoss_data() {
    QTest::addColumn<QByteArray>("how");
    QTest::addColumn<int>("expectedCloses");
    QTest::newRow("server-stops") << QByteArray("stop") << 1;
    QTest::newRow("peer-closes") << QByteArray("close") << 1;
    QTest::newRow("frozen-peer") << QByteArray("silent") << 1;
    QTest::newRow("garbage-from-peer") << QByteArray("garbage") << 1;
    QTest::newRow("malformed-push") << QByteArray("badpush") << 1;
    QTest::newRow("malformed-reply") << QByteArray("badreply") << 1;
    QTest::newRow("user-closes") << QByteArray("user") << 0;
    QTest::newRow("push-above-client-limit") << QByteArray("bigpush") << 1;
}

// A wait without limit ends when the link goes, the socket-close callback runs once (never for a
// close the user asked for), and the handle then refuses work.
void TlxLinkTest::connectionLoss() {
    QFETCH(QByteArray, how);
    QFETCH(int, expectedCloses);
    std::unique_ptr<ServerBox> box;
    std::unique_ptr<FakeServer> fake;
    uint16_t port;
    if (how == "stop" || how == "user" || how == "bigpush") {
        box = std::make_unique<ServerBox>();
        QVERIFY(box->Start());
        port = box->Port();
    } else {
        FakeServer::Mode mode = how == "close"     ? FakeServer::kClose
                                : how == "silent"  ? FakeServer::kSilent
                                : how == "garbage" ? FakeServer::kGarbage
                                : how == "badpush" ? FakeServer::kBadPush
                                                   : FakeServer::kBadReply;
        fake = std::make_unique<FakeServer>(mode);
        port = fake->Port();
    }
    Client c;
    if (how == "bigpush")
        TLXSetMaxFrame(64u << 10);
    QCOMPARE(c.Open(port), 0);

    TLXCliParam *param = nullptr, *reply = nullptr;
    QCOMPARE(TLXCliRequest(c.h, box ? "HOLD" : "ECHO", &param, &reply), 0);
    int posted = TLXCliPost(c.h, param);
    std::atomic<int> waitRc{1};
    std::thread waiter([&] { waitRc = posted == 0 ? TLXCliWaitResult(c.h, &reply, -1) : posted; });
    std::thread stopper;
    // On a failed check the handle is closed so the waiter ends and no thread is left running.
    auto cleanup = qScopeGuard([&] {
        TLXSetMaxFrame(unsigned(wire::kDefaultMaxFrame));
        if (box)
            box->handler.Release();
        TLXCliClose(c.h, 0);
        if (waiter.joinable())
            waiter.join();
        if (stopper.joinable())
            stopper.join();
    });
    if (box) {
        QTRY_COMPARE(box->handler.Held(), 1);
        if (how == "stop") {
            stopper = std::thread([&] { box->server->Stop(); });
        } else if (how == "bigpush") {
            const QByteArray big = Noise(100000, 5);
            TLXCliParam *m = TLXPrmCreate("EVENT", TLX_MSG_EVENT);
            TLXPrmSetBytes(m, 0, big.size(), big.constData());
            QVERIFY(box->server->Push(box->server->Connections().at(0), m));
            TLXPrmDestroy(m);
        } else {
            TLXCliClose(c.h, 0);
        }
    }
    QTRY_VERIFY_WITH_TIMEOUT(waitRc.load() != 1, 3 * kDeadMs + 5000);
    waiter.join();
    QVERIFY(waitRc.load() != 0);
    QVERIFY(!reply);
    QCOMPARE(c.h->Connected, 0);
    QTRY_COMPARE(c.probe.closes.load(), expectedCloses);
    TLXSetMaxFrame(unsigned(wire::kDefaultMaxFrame));
    if (how == "silent")
        QCOMPARE(c.probe.lastCode.load(), int(TLX_ERR_TIMEOUT));
    if (how == "bigpush" || how == "garbage" || how == "badpush" || how == "badreply")
        QCOMPARE(c.probe.lastCode.load(), int(TLX_ERR_PROTO));
    if (box)
        box->handler.Release();
    if (stopper.joinable())
        stopper.join();

    QCOMPARE(c.Echo(1), int(TLX_ERR_CLOSED));
    TLXCliParam *m = nullptr;
    QCOMPARE(TLXCliGetMessage(c.h, &m, 0), int(TLX_ERR_CLOSED));
    QCOMPARE(TLXCliClose(c.h, 0), 0);
    QCOMPARE(c.probe.closes.load(), expectedCloses);
}

void TlxLinkTest::badFrameClosesOnlyThatConnection_data() {
    QTest::addColumn<QByteArray>("how");
    QTest::newRow("length-4g") << QByteArray("huge-length");
    QTest::newRow("length-just-above-limit") << QByteArray("above-limit");
    QTest::newRow("unknown-kind") << QByteArray("kind");
    QTest::newRow("param-garbage") << QByteArray("param");
    QTest::newRow("real-request-above-limit") << QByteArray("client");
}

void TlxLinkTest::badFrameClosesOnlyThatConnection() {
    QFETCH(QByteArray, how);
    const size_t limit = 256u << 10;
    ServerBox box(limit);
    QVERIFY(box.Start());
    Client good;
    QCOMPARE(good.Open(box.Port()), 0);
    QCOMPARE(good.Echo(1), 0);

    if (how == "client") {
        Client bad;
        QCOMPARE(bad.Open(box.Port()), 0);
        QVERIFY(bad.Echo(2, Noise(int(limit) + 1000, 3)) != 0);
        QTRY_COMPARE(bad.probe.closes.load(), 1);
    } else {
        Raw raw(box.Port());
        QVERIFY(raw.Hello("operator", "secret"));
        QCOMPARE(int(raw.Next().kind), int(wire::kHelloReply));
        QByteArray header(16, 0);
        if (how == "huge-length") {
            qToLittleEndian(quint32(0xffffffffu), header.data());
            header[4] = char(wire::kRequest);
            QVERIFY(raw.Send(header));
        } else if (how == "above-limit") {
            qToLittleEndian(quint32(limit + 1), header.data());
            header[4] = char(wire::kRequest);
            QVERIFY(raw.Send(header));
        } else if (how == "kind") {
            header[4] = char(42);
            QVERIFY(raw.Send(header));
        } else {
            QVERIFY(raw.SendFrame(wire::kRequest, {1, 0, 'X', 0xff, 0xff, 0xff, 0xff}, 5));
        }
        QCOMPARE(int(raw.Next().kind), 0); // closed without a reply
    }
    QTRY_COMPARE(int(box.server->Connections().size()), 1);
    QCOMPARE(good.Echo(3), 0);
    QCOMPARE(good.probe.closes.load(), 0);
}

void TlxLinkTest::slowPeerKeepsLink_data() {
    QTest::addColumn<bool>("fake");
    QTest::newRow("slow-server-handler") << false;
    QTest::newRow("peer-sends-only-heartbeats") << true;
}

// A reply that takes longer than the silence limit is no loss while the peer's heartbeats come.
void TlxLinkTest::slowPeerKeepsLink() {
    QFETCH(bool, fake);
    std::unique_ptr<ServerBox> box;
    std::unique_ptr<FakeServer> peer;
    if (fake) {
        peer = std::make_unique<FakeServer>(FakeServer::kSlowReply);
    } else {
        box = std::make_unique<ServerBox>();
        QVERIFY(box->Start());
    }
    Client c;
    QCOMPARE(c.Open(fake ? peer->Port() : box->Port()), 0);
    TLXCliParam *param = nullptr, *reply = nullptr;
    QCOMPARE(TLXCliRequest(c.h, fake ? "ECHO" : "SLOW", &param, &reply), 0);
    QCOMPARE(TLXCliPost(c.h, param), 0);
    std::atomic<int> rc{1};
    std::thread waiter([&] { rc = TLXCliWaitResult(c.h, &reply, -1); });
    auto cleanup = qScopeGuard([&] {
        if (box)
            box->handler.Release();
        TLXCliClose(c.h, 0);
        waiter.join();
    });
    QTRY_VERIFY_WITH_TIMEOUT(rc.load() != 1, 4 * kDeadMs + 5000);
    QCOMPARE(rc.load(), 0);
    QVERIFY(reply);
    TLXCliPrmFree(reply, c.h);
    QCOMPARE(c.probe.closes.load(), 0);
    QVERIFY(c.h->Connected != 0);
    if (box)
        QCOMPARE(c.Echo(4), 0); // the server did not drop the client meanwhile either
}

void TlxLinkTest::failedRequestKeepsConnection_data() {
    QTest::addColumn<QByteArray>("command");
    QTest::newRow("handler-throws") << QByteArray("THROW");
    QTest::newRow("reply-above-limit") << QByteArray("BIG");
    QTest::newRow("unknown-command") << QByteArray("NO_SUCH_COMMAND");
}

// A request the server cannot answer gets a failure status; the connection goes on.
void TlxLinkTest::failedRequestKeepsConnection() {
    QFETCH(QByteArray, command);
    ServerBox box(256u << 10);
    QVERIFY(box.Start());
    Client c;
    QCOMPARE(c.Open(box.Port()), 0);
    TLXCliParam *param = nullptr, *reply = nullptr;
    QCOMPARE(TLXCliRequest(c.h, command.constData(), &param, &reply), 0);
    QCOMPARE(TLXCliPost(c.h, param), 0);
    QCOMPARE(TLXCliWaitResult(c.h, &reply, -1), 0);
    int32_t status = 0;
    QCOMPARE(TLRGetAsInt32(TLXPrmField(reply, 0), TLXPrmRecord(reply), &status), 0);
    QVERIFY(status != 0);
    QCOMPARE(QByteArray(TLXPrmCommand(reply)), command);
    TLXCliPrmFree(reply, c.h);
    QCOMPARE(c.Echo(9), 0);
    QCOMPARE(c.probe.closes.load(), 0);
}

void TlxLinkTest::manyClients_data() {
    QTest::addColumn<int>("clients");
    QTest::newRow("sixty") << 60;
}

void TlxLinkTest::manyClients() {
    QFETCH(int, clients);
    ServerBox box;
    QVERIFY(box.Start());
    std::vector<std::unique_ptr<Client>> all;
    for (int i = 0; i < clients; ++i) {
        all.push_back(std::make_unique<Client>());
        QCOMPARE(all.back()->Open(box.Port()), 0);
    }
    QTRY_COMPARE(int(box.server->Connections().size()), clients);
    std::atomic<int> failures{0};
    std::vector<std::thread> pool;
    for (int i = 0; i < clients; ++i)
        pool.emplace_back([&, i] {
            for (int k = 0; k < 5; ++k)
                if (all[size_t(i)]->Echo(i * 10 + k) != 0)
                    ++failures;
        });
    for (auto &t : pool)
        t.join();
    QCOMPARE(failures.load(), 0);
    all.clear();
    QTRY_COMPARE(box.handler.disconnects.load(), clients);
}

void TlxLinkTest::stopWhileClientsLeave_data() {
    QTest::addColumn<int>("clients");
    QTest::addColumn<int>("rounds");
    // Regression: Stop returned while a connection thread still had its last steps to run, which then
    // wrote into the freed server (seen under AddressSanitizer).
    QTest::newRow("server-freed-under-leaving-connection") << 8 << 5;
}

void TlxLinkTest::stopWhileClientsLeave() {
    QFETCH(int, clients);
    QFETCH(int, rounds);
    for (int round = 0; round < rounds; ++round) {
        auto box = std::make_unique<ServerBox>();
        box->handler.disconnectDelayMs = 20; // a handler that takes its time over a departure
        QVERIFY(box->Start());
        std::vector<std::unique_ptr<Client>> all;
        for (int i = 0; i < clients; ++i) {
            all.push_back(std::make_unique<Client>());
            QCOMPARE(all.back()->Open(box->Port()), 0);
        }
        std::thread leaving([&all] { all.clear(); });
        box->server.reset();
        QCOMPARE(box->handler.disconnects.load(), clients);
        leaving.join();
    }
}

QTEST_GUILESS_MAIN(TlxLinkTest)
#include "tlx_link_test.moc"
