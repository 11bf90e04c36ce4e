#include "tlx/tlx_socket.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tlx {

namespace {

bool WaitConnected(int fd, int timeoutMs) {
    pollfd p{fd, POLLOUT, 0};
    int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        int left = int(deadline - NowMs());
        if (left < 0)
            return false;
        int rc = poll(&p, 1, left);
        if (rc < 0 && errno == EINTR)
            continue;
        if (rc <= 0)
            return false;
        int err = 0;
        socklen_t len = sizeof err;
        return getsockopt(fd, SOL_SOCKET, SO_ERROR, &err, &len) == 0 && err == 0;
    }
}

} // namespace

int ConnectTcp(const char *host, unsigned port, int timeoutMs) {
    if (!host || port == 0 || port > 65535)
        return -1;
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *list = nullptr;
    std::string service = std::to_string(port);
    if (getaddrinfo(host, service.c_str(), &hints, &list) != 0)
        return -1;
    int fd = -1;
    // localhost may resolve to ::1 first while the server listens on 127.0.0.1 only: try each.
    for (addrinfo *a = list; a && fd < 0; a = a->ai_next) {
        fd = socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0)
            continue;
        int flags = fcntl(fd, F_GETFL);
        fcntl(fd, F_SETFL, flags | O_NONBLOCK);
        int rc = connect(fd, a->ai_addr, a->ai_addrlen);
        if (rc != 0 && (errno != EINPROGRESS || !WaitConnected(fd, timeoutMs))) {
            close(fd);
            fd = -1;
            continue;
        }
        fcntl(fd, F_SETFL, flags);
    }
    freeaddrinfo(list);
    return fd;
}

void TuneSocket(int fd, int sendTimeoutMs) {
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval tv{};
    tv.tv_sec = sendTimeoutMs / 1000;
    tv.tv_usec = (sendTimeoutMs % 1000) * 1000;
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof tv);
}

bool SendAll(int fd, const uint8_t *data, size_t size) {
    while (size > 0) {
        ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        data += n;
        size -= size_t(n);
    }
    return true;
}

std::string PeerAddress(int fd) {
    sockaddr_storage ss{};
    socklen_t len = sizeof ss;
    if (getpeername(fd, reinterpret_cast<sockaddr *>(&ss), &len) != 0)
        return std::string();
    char buf[INET6_ADDRSTRLEN] = {0};
    if (ss.ss_family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(&ss)->sin_addr, buf, sizeof buf);
    else if (ss.ss_family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<sockaddr_in6 *>(&ss)->sin6_addr, buf, sizeof buf);
    return buf;
}

FrameReader::Result FrameReader::Next(int fd, size_t maxFrame, int timeoutMs, wire::Frame *out) {
    int64_t deadline = timeoutMs < 0 ? -1 : NowMs() + timeoutMs;
    for (;;) {
        size_t have = buf_.size() - start_;
        if (have >= wire::kHeaderSize) {
            wire::FrameHeader h;
            if (!wire::DecodeFrameHeader(buf_.data() + start_, have, maxFrame, &h))
                return kMalformed;
            if (have >= wire::kHeaderSize + h.length) {
                const uint8_t *payload = buf_.data() + start_ + wire::kHeaderSize;
                if (!wire::DecodeFramePayload(h, payload, h.length, maxFrame, out))
                    return kMalformed;
                start_ += wire::kHeaderSize + h.length;
                if (start_ == buf_.size()) {
                    buf_.clear();
                    start_ = 0;
                }
                return kFrame;
            }
            if (buf_.capacity() < start_ + wire::kHeaderSize + h.length && start_ > 0) {
                buf_.erase(buf_.begin(), buf_.begin() + long(start_));
                start_ = 0;
            }
        } else if (start_ > 0) {
            buf_.erase(buf_.begin(), buf_.begin() + long(start_));
            start_ = 0;
        }
        int wait = -1;
        if (deadline >= 0) {
            wait = int(deadline - NowMs());
            if (wait < 0)
                wait = 0;
        }
        pollfd p{fd, POLLIN, 0};
        int rc = poll(&p, 1, wait);
        if (rc < 0) {
            if (errno == EINTR)
                continue;
            return kClosed;
        }
        if (rc == 0)
            return kTimeout;
        uint8_t chunk[65536];
        ssize_t n = recv(fd, chunk, sizeof chunk, 0);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return kClosed;
        }
        if (n == 0)
            return kClosed;
        lastReceive_ = NowMs();
        buf_.insert(buf_.end(), chunk, chunk + n);
    }
}

} // namespace tlx
