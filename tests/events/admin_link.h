// A loopback admin connection to zenta-stand that makes it emit events at once.
#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

struct TLXCliSes;

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
    QString Error() const { return error; }

private:
    TLXCliSes *handle = nullptr;
    QString error;
};
