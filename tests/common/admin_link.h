// A loopback admin connection to zenta-stand that makes it emit events at once, or arms a fault.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>
#include <functional>

struct TLXCliSes;
struct TLXCliParam;

struct EventSpec {
    QByteArray id;
    int code = 8301;
    QString caption;
    QString comment;
    QString data;
    bool kwit = true;
    double time = 0; // 0 = now
};

class AdminLink {
public:
    AdminLink() = default;
    ~AdminLink();
    AdminLink(const AdminLink &) = delete;
    AdminLink &operator=(const AdminLink &) = delete;

    bool Open(quint16 port, const QByteArray &user = "engineer", const QByteArray &password = "engineer");
    // Returns once the server has handed the events to every subscribed client.
    bool Emit(const EventSpec &event);
    bool Emit(const QVector<EventSpec> &events);
    // The server kills ("kill") or stops ("freeze") itself on the n-th `command` that follows, before answering.
    bool Fault(const QByteArray &command, int n, const QByteArray &action);
    QString Error() const { return error; }

private:
    // Sends one admin request filled by `fill` and waits for its status.
    bool Call(const char *command, const std::function<void(TLXCliParam *)> &fill);

    TLXCliSes *handle = nullptr;
    QString error;
};
