// Small socket helpers shared by the client handle and the server.
#pragma once

#include "tlx/tlx_wire.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tlx {

inline int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Connected TCP socket to host:port within timeoutMs, or -1.
int ConnectTcp(const char *host, unsigned port, int timeoutMs);
// Tunes a connected socket: no Nagle delay, sends that stall longer than sendTimeoutMs fail.
void TuneSocket(int fd, int sendTimeoutMs);
// Whole buffer or false (peer gone, send timed out).
bool SendAll(int fd, const uint8_t *data, size_t size);
std::string PeerAddress(int fd);

// Reads whole frames from a stream socket, keeping any bytes that arrived past the last frame.
class FrameReader {
public:
    enum Result { kFrame, kTimeout, kClosed, kMalformed };
    // Waits up to timeoutMs (<0 = no limit) for one frame.
    Result Next(int fd, size_t maxFrame, int timeoutMs, wire::Frame *out);
    int64_t lastReceiveMs() const { return lastReceive_; }
    void Reset() {
        buf_.clear();
        start_ = 0;
        lastReceive_ = NowMs();
    }

private:
    std::vector<uint8_t> buf_;
    size_t start_ = 0;
    int64_t lastReceive_ = NowMs();
};

} // namespace tlx
