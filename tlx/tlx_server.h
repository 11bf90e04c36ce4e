// Server side of the tlx wire protocol: accepts clients, performs the handshake and login,
// answers heartbeats, decodes frames into parameter records and hands them to a handler.
// Plain C++17, no Qt. Used by the stand server and by tests that need a scripted peer.
#pragma once

#include "tlx/tlx.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace tlx {

using ConnId = uint64_t;

struct ServerOptions {
    std::string listenAddress = "127.0.0.1";
    uint16_t port = 1312;             // 0 = any free port; Server::Port() tells which
    size_t maxFrame = 64u << 20;      // larger frames close the connection
    int heartbeatMs = 1000;           // heartbeat sent to idle clients
    int deadAfterMs = 5000;           // silence after which a client counts as gone
    size_t compressAbove = 64u << 10; // payloads larger than this go out zlib-compressed
    int maxConnections = 256;         // connections past this are closed at once
    int maxPerAddress = 128;          // the same for one peer address (a terminal server holds many)
};

// Called on connection threads, possibly several at once: implementations lock their own state.
class ServerHandler {
public:
    virtual ~ServerHandler() = default;
    // True accepts the login. Must cost the same for unknown users and wrong passwords.
    virtual bool Authenticate(ConnId conn, const std::string &user, const std::string &password) = 0;
    // A request that expects a reply. reply is created empty (command = request's command); field 0
    // must be set to an int32 status (0 = done). The server sends the reply when this returns.
    virtual void OnRequest(ConnId conn, TLXCliParam *request, TLXCliParam *reply) = 0;
    // A one-way message.
    virtual void OnMessage(ConnId conn, TLXCliParam *message) = 0;
    virtual void OnDisconnect(ConnId conn) { (void)conn; }
};

class Server {
public:
    Server(ServerOptions options, ServerHandler *handler);
    ~Server();
    Server(const Server &) = delete;
    Server &operator=(const Server &) = delete;

    // Binds and starts accepting on a thread of its own. False with a reason when binding fails.
    bool Start(std::string *error);
    uint16_t Port() const;
    // Closes every connection and stops accepting; waits for the connection threads.
    void Stop();

    // Queues a pushed message (its kind, e.g. TLX_MSG_EVENT) to one client. Thread-safe; false when
    // that connection is gone. The message is copied; the caller keeps ownership.
    bool Push(ConnId conn, const TLXCliParam *message);
    std::vector<ConnId> Connections() const;
    std::string UserOf(ConnId conn) const;
    // Peer address of the connection as text ("127.0.0.1").
    std::string PeerOf(ConnId conn) const;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace tlx
