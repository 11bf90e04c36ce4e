#include "admin_link.h"

#include "tlx/tlx.h"

namespace {

void SetText(TLXCliParam *param, int pos, const QString &text) {
    const QByteArray bytes = text.toUtf8();
    TLXPrmSetText(param, pos, bytes.size(), bytes.constData());
}

} // namespace

AdminLink::~AdminLink() {
    if (handle) {
        TLXCliClose(handle, 0);
        TLXCliFree(handle);
    }
}

bool AdminLink::Open(quint16 port, const QByteArray &user, const QByteArray &password) {
    if (TLSockIsActive() != 0)
        TLSockInit(64);
    TLXInit();
    if (handle) {
        TLXCliClose(handle, 0);
        TLXCliFree(handle);
        handle = nullptr;
    }
    if (TLXCliCreate(&handle) != 0 || !handle) {
        error = QStringLiteral("no client handle");
        return false;
    }
    const int result = TLXCliOpen(handle, "127.0.0.1", port, user.constData(), password.constData(), 1, 0);
    if (result != 0)
        error = QStringLiteral("login to the stand failed: %1").arg(result);
    return result == 0;
}

bool AdminLink::Call(const char *command, const std::function<void(TLXCliParam *)> &fill) {
    if (!handle) {
        error = QStringLiteral("not open");
        return false;
    }
    TLXCliParam *request = nullptr;
    TLXCliParam *reply = nullptr;
    if (TLXCliRequest(handle, command, &request, &reply) != 0) {
        error = QStringLiteral("no request record");
        return false;
    }
    fill(request);
    if (TLXCliPost(handle, request) != 0 || TLXCliWaitResult(handle, &reply, 10000) != 0 || !reply) {
        error = QStringLiteral("%1 got no answer").arg(command);
        return false;
    }
    int32_t status = -1;
    TLRGetAsInt32(TLXPrmField(reply, 0), TLXPrmRecord(reply), &status);
    TLXCliPrmFree(reply, handle);
    if (status != 0)
        error = QStringLiteral("%1 refused with status %2").arg(command).arg(status);
    return status == 0;
}

bool AdminLink::Emit(const EventSpec &event) {
    return Call("ADMIN_EVENT", [&event](TLXCliParam *request) {
        TLXPrmSetInt32(request, 0, event.code);
        SetText(request, 1, event.caption);
        SetText(request, 2, event.comment);
        SetText(request, 3, event.data);
        TLXPrmSetBool(request, 4, event.kwit ? 1 : 0);
        if (event.time > 0)
            TLXPrmSetDouble(request, 7, event.time);
        if (!event.id.isEmpty())
            TLXPrmSetText(request, 8, event.id.size(), event.id.constData());
    });
}

bool AdminLink::Emit(const QVector<EventSpec> &events) {
    for (const EventSpec &event : events) {
        if (!Emit(event))
            return false;
    }
    return true;
}

bool AdminLink::Fault(const QByteArray &command, int n, const QByteArray &action) {
    return Call("ADMIN_FAULT", [&](TLXCliParam *request) {
        TLXPrmSetText(request, 0, command.size(), command.constData());
        TLXPrmSetInt32(request, 1, n);
        TLXPrmSetText(request, 2, action.size(), action.constData());
    });
}
