#include "raw_peer.h"

#include <QElapsedTimer>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

RawPeer::RawPeer(quint16 port) {
    fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        fd = -1;
    }
}

RawPeer::~RawPeer() {
    if (fd >= 0)
        ::close(fd);
}

bool RawPeer::Send(const std::vector<uint8_t> &bytes) {
    return fd >= 0 && ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

bool RawPeer::Send(const QByteArray &bytes) {
    return fd >= 0 && ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == ssize_t(bytes.size());
}

bool RawPeer::ClosedWithin(int ms) {
    char buffer[4096];
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < ms) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 100) > 0) {
            const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
            if (n <= 0)
                return true;
        }
    }
    return false;
}
