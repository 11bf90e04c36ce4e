// A raw loopback connection for bytes no well-behaved client sends, bypassing tlx.
#pragma once

#include <QByteArray>
#include <QtGlobal>
#include <cstdint>
#include <vector>

class RawPeer {
public:
    explicit RawPeer(quint16 port);
    ~RawPeer();
    RawPeer(const RawPeer &) = delete;
    RawPeer &operator=(const RawPeer &) = delete;

    bool Connected() const { return fd >= 0; }
    bool Send(const std::vector<uint8_t> &bytes);
    bool Send(const QByteArray &bytes);
    // True when the peer closed the connection within the time given (data before the close is skipped).
    bool ClosedWithin(int ms);

private:
    int fd = -1;
};
