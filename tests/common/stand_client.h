// A thin tlx client for tests that talk to a real zenta-stand without the client library.
#pragma once

#include "tlx/tlx.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QString>
#include <QStringList>
#include <QTextCodec>
#include <QVariant>
#include <QVector>

#include <functional>
#include <memory>

struct ParamDeleter {
    void operator()(TLXCliParam *p) const { TLXPrmDestroy(p); }
};
using Param = std::unique_ptr<TLXCliParam, ParamDeleter>;

inline QTextCodec *Cp1251() {
    return QTextCodec::codecForName("Windows-1251");
}
inline QByteArray ToCp1251(const QString &s) {
    return Cp1251()->fromUnicode(s);
}

inline void StartTlx() {
    if (TLSockIsActive() == TLX_ERR_NOSOCK)
        TLSockInit(50);
    TLXInit();
}

inline int FieldInt(TLXCliParam *p, int pos, int fallback = -99999) {
    int32_t v = 0;
    if (!p || TLXPrmFieldType(p, pos) != TL_INT32 || TLRGetAsInt32(TLXPrmField(p, pos), TLXPrmRecord(p), &v) != 0)
        return fallback;
    return v;
}

inline QByteArray FieldBytes(TLXCliParam *p, int pos) {
    int length = 0;
    const char *bytes = nullptr;
    if (!p || TLRGetTextRef(TLXPrmField(p, pos), TLXPrmRecord(p), &length, &bytes) != 0 || !bytes)
        return QByteArray();
    return QByteArray(bytes, length);
}

inline int NamedIndex(TLXCliParam *p, const char *name) {
    return p ? TLXPrmFieldIndex(p, name) : -1;
}

// The bytes of a field found by name; empty when the message has no such field.
inline QByteArray NamedBytes(TLXCliParam *p, const char *name) {
    const int i = NamedIndex(p, name);
    return i < 0 ? QByteArray() : FieldBytes(p, i);
}

// The text of a field found by name, from Windows-1251; null when the message has no such field.
inline QString NamedText(TLXCliParam *p, const char *name) {
    const int i = NamedIndex(p, name);
    return i < 0 ? QString() : Cp1251()->toUnicode(FieldBytes(p, i));
}

class StandClient {
public:
    StandClient() { TLXCliCreate(&handle); }
    ~StandClient() {
        if (handle) {
            TLXCliClose(handle, 0);
            TLXCliFree(handle);
        }
    }
    StandClient(const StandClient &) = delete;
    StandClient &operator=(const StandClient &) = delete;

    int Open(quint16 port, const QByteArray &user, const QByteArray &password) {
        return TLXCliOpen(handle, "127.0.0.1", port, user.constData(), password.constData(), 1, 0);
    }
    bool Connected() const { return handle && __atomic_load_n(&handle->Connected, __ATOMIC_ACQUIRE) != 0; }

    // Sends a request filled by fill and waits for its reply; null when none came.
    Param Request(const char *command, const std::function<void(TLXCliParam *)> &fill = {}, int timeoutMs = 30000) {
        TLXCliParam *param = nullptr;
        TLXCliParam *reply = nullptr;
        if (TLXCliRequest(handle, command, &param, &reply) != 0)
            return Param();
        if (fill)
            fill(param);
        if (TLXCliPost(handle, param) != 0)
            return Param();
        if (TLXCliWaitResult(handle, &reply, timeoutMs) != 0)
            return Param();
        return Param(reply);
    }

    bool Post(const char *command, const std::function<void(TLXCliParam *)> &fill = {}) {
        TLXCliParam *param = nullptr;
        if (TLXCliMessage(handle, command, &param) != 0)
            return false;
        if (fill)
            fill(param);
        return TLXCliPost(handle, param) == 0;
    }

    Param TakeMessage() {
        TLXCliParam *message = nullptr;
        if (TLXCliGetMessage(handle, &message, 0) != 0)
            return Param();
        return Param(message);
    }

    void Subscribe(QVector<int> codes) {
        Post("SUB_EVENT", [&](TLXCliParam *p) {
            if (!codes.isEmpty())
                TLXPrmSetBytes(p, 0, codes.size() * 4, codes.constData());
        });
    }

    TLXCliSes *handle = nullptr;
};

// A select's result decoded into Qt values (texts from Windows-1251).
struct SelectResult {
    int status = -1;
    int rowCount = -1;
    QStringList names;
    QVector<int> types;
    QVector<QVector<QVariant>> rows;

    int Column(const QString &name) const { return names.indexOf(name); }
};

inline SelectResult Select(StandClient &client, const QByteArray &sql) {
    SelectResult result;
    Param reply =
        client.Request("SQL_REQUEST", [&](TLXCliParam *p) { TLXPrmSetText(p, 0, sql.size(), sql.constData()); });
    if (!reply)
        return result;
    result.status = FieldInt(reply.get(), 0);
    result.rowCount = FieldInt(reply.get(), 1);
    if (result.status != 0)
        return result;
    const QByteArray packed = FieldBytes(reply.get(), 2);
    TLArray *array = nullptr;
    TLACreate(&array, 0);
    if (TLXArrayUnPackBuf(array, packed.constData(), packed.size()) != 0) {
        TLADestroy(array);
        result.status = -2;
        return result;
    }
    const int fields = TLAFldCount(array);
    for (int f = 0; f < fields; ++f) {
        result.names << QString::fromUtf8(TLFldName(TLAFld(array, f)));
        result.types << TLFldType(TLAFld(array, f));
    }
    for (int r = 0; r < TLARecCount(array); ++r) {
        TLRecord *record = TLARec(array, 0, r);
        QVector<QVariant> row;
        for (int f = 0; f < fields; ++f) {
            TLField *field = TLAFld(array, f);
            if (TLRIsNull(field, record) == 1) {
                row << QVariant();
                continue;
            }
            switch (result.types[f]) {
            case TL_BOOL: {
                int v = 0;
                TLRGetAsBool(field, record, &v);
                row << QVariant(v != 0);
                break;
            }
            case TL_INT32: {
                int32_t v = 0;
                TLRGetAsInt32(field, record, &v);
                row << QVariant(int(v));
                break;
            }
            case TL_DOUBLE: {
                double v = 0;
                TLRGetAsDouble(field, record, &v);
                row << QVariant(v);
                break;
            }
            default: {
                int length = 0;
                const char *bytes = nullptr;
                TLRGetTextRef(field, record, &length, &bytes);
                const QByteArray raw(bytes, length);
                row << QVariant(result.types[f] == TL_BLOB ? QVariant(raw) : QVariant(Cp1251()->toUnicode(raw)));
                break;
            }
            }
        }
        result.rows << row;
    }
    TLADestroy(array);
    return result;
}
