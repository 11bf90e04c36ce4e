#include "server/tlxservice.h"

#include <QByteArray>
#include <QMutexLocker>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

bool TLXService::CliInit = false;

namespace {

int TextLength(const char *text) {
    return text ? int(strlen(text)) : 0;
}

void SetText(TLXCliParam *param, int pos, const char *text) {
    TLXPrmSetText(param, pos, TextLength(text), text ? text : "");
}

// "a;b", or b alone when a is empty: the data of a file packet.
QByteArray PacketPath(const char *a, const char *b) {
    QByteArray data;
    if (a && *a) {
        data = a;
        data += ';';
    }
    data += b ? b : "";
    return data;
}

template <typename T> void Put(char *&out, T value) {
    memcpy(out, &value, sizeof value);
    out += sizeof value;
}

} // namespace

TLXService::TLXService() {
    if (!CliInit) {
        int active = TLSockIsActive();
        if (active == TLX_ERR_UNAVAILABLE)
            return;
        if (active == TLX_ERR_NOSOCK && TLSockInit(50) != 0)
            return;
        if (TLXInit() != 0)
            return;
        CliInit = true;
    }
    if (TLXCliCreate(&handle) != 0) {
        handle = nullptr;
        return;
    }
    if (handle) {
        handle->Owner = this;
        handle->OnMessage = &TLXService::CliMessage;
        handle->OnSockClose = &TLXService::CliSockClose;
    }
}

TLXService::~TLXService() {
    Close();
    if (handle) {
        TLXCliFree(handle);
        handle = nullptr;
    }
}

void TLXService::OnMessage() {}

void TLXService::OnSockClose(bool) {}

void TLXService::CliMessage(TLXCliSes *handle) {
    if (handle && handle->Owner)
        static_cast<TLXService *>(handle->Owner)->OnMessage();
}

void TLXService::CliSockClose(TLXCliSes *handle, int, int flag) {
    if (handle && handle->Owner)
        static_cast<TLXService *>(handle->Owner)->OnSockClose(flag != 0);
}

bool TLXService::Open(const char *host, const char *user, const char *password, unsigned port) {
    Close();
    if (!handle)
        return false;
    lastResult = TLXCliOpen(handle, host, port, user, password, 1, 0);
    return lastResult == 0;
}

void TLXService::Close() {
    {
        QMutexLocker lock(&mutex);
        free(eventSub);
        eventSub = nullptr;
        eventSubCount = 0;
        free(paramSub);
        paramSub = nullptr;
        paramSubCount = 0;
    }
    // Not under the mutex: closing joins the library's thread, which may be inside a callback.
    if (handle)
        lastResult = TLXCliClose(handle, 0);
}

TLXCliParam *TLXService::NewMessage(const char *command) {
    if (!handle)
        return nullptr;
    TLXCliParam *param = nullptr;
    lastResult = TLXCliMessage(handle, command, &param);
    return lastResult == 0 ? param : nullptr;
}

TLXCliParam *TLXService::NewRequest(const char *command, TLXCliParam **reply) {
    if (!handle)
        return nullptr;
    TLXCliParam *param = nullptr;
    lastResult = TLXCliRequest(handle, command, &param, reply);
    return lastResult == 0 ? param : nullptr;
}

bool TLXService::PostParam(TLXCliParam *param) {
    lastResult = TLXCliPost(handle, param);
    return lastResult == 0;
}

bool TLXService::WaitResult(TLXCliParam **reply) {
    if (!handle || !reply)
        return false;
    lastResult = TLXCliWaitResult(handle, reply, requestTimeoutMs > 0 ? requestTimeoutMs : -1);
    if (lastResult == TLX_ERR_TIMEOUT) {
        // Heartbeats keep a stalled server's link up; for the operator it is lost all the same.
        TLXCliClose(handle, 0);
        lastResult = TLX_ERR_TIMEOUT;
        return false;
    }
    return lastResult == 0 && *reply;
}

void TLXService::FreeReply(TLXCliParam *reply) {
    if (reply)
        lastResult = TLXCliPrmFree(reply, handle);
}

bool TLXService::ReplyInt32(TLXCliParam *reply, int pos, int32_t *out) {
    TLField *field = reply ? TLXPrmField(reply, pos) : nullptr;
    if (!field)
        return false;
    TLVal value;
    if (TLRGetVal(field, TLXPrmRecord(reply), &value) != 0 || value.Type != TL_INT32)
        return false;
    *out = value.V.Int32;
    return true;
}

bool TLXService::ReplyBytes(TLXCliParam *reply, int pos, int *length, const char **bytes) {
    *length = 0;
    *bytes = nullptr;
    TLField *field = reply ? TLXPrmField(reply, pos) : nullptr;
    if (!field)
        return false;
    // A status number in place of the block must not pass for a block (the library would render it as text).
    const int type = TLXPrmFieldType(reply, pos);
    if (type != TL_TEXT && type != TL_NAME && type != TL_BLOB)
        return false;
    int n = 0;
    const char *p = nullptr;
    if (TLRGetTextRef(field, TLXPrmRecord(reply), &n, &p) != 0 || n < 0 || (n > 0 && !p))
        return false;
    *length = n;
    *bytes = p;
    return true;
}

bool TLXService::SqlRequest(const char *sql, TLXCliParam **reply, const char *extra) {
    TLXCliParam *param = NewRequest("SQL_REQUEST", reply);
    if (!param)
        return false;
    SetText(param, 0, sql);
    if (extra && *extra)
        SetText(param, 1, extra);
    return PostParam(param);
}

bool TLXService::SqlUpdate(const char *table, TLArray *array, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("SQL_UPDATE", reply);
    if (!param)
        return false;
    SetText(param, 0, table);
    TLXCliSetArr(param, "_ARR", array, 1);
    return PostParam(param);
}

bool TLXService::MeasRead(int id, double time, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("MEAS_READ1", reply);
    if (!param)
        return false;
    TLXPrmSetInt32(param, 0, id);
    TLXPrmSetDouble(param, 1, time);
    return PostParam(param);
}

bool TLXService::MeasRead(int id, double from, double to, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("MEAS_READ2", reply);
    if (!param)
        return false;
    TLXPrmSetInt32(param, 0, id);
    TLXPrmSetDouble(param, 1, from);
    TLXPrmSetDouble(param, 2, to);
    return PostParam(param);
}

bool TLXService::MeasRead(const char *bytes, int length, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("MEAS_READ", reply);
    if (!param)
        return false;
    TLXPrmSetBytes(param, 0, length, bytes);
    return PostParam(param);
}

bool TLXService::EventRequest(const int *codes, int count, double d1, double d2, bool flag, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("EVENT_CODE", reply);
    if (!param)
        return false;
    TLXPrmSetBytes(param, 0, codes && count > 0 ? count * int(sizeof(int32_t)) : 0, codes);
    TLXPrmSetDouble(param, 1, d1);
    TLXPrmSetDouble(param, 2, d2);
    TLXPrmSetBool(param, 3, flag);
    return PostParam(param);
}

bool TLXService::EventKwit(const char *id, int value) {
    TLXCliParam *param = NewMessage("EVENT_KWIT");
    if (!param)
        return false;
    SetText(param, 0, id);
    TLXPrmSetInt32(param, 1, value);
    return PostParam(param);
}

bool TLXService::SubSet(const int *ids, int count, const char *command) {
    if (!IsConnected())
        return false;
    int *copy = nullptr;
    int n = 0;
    if (ids && count > 0) {
        copy = static_cast<int *>(malloc(sizeof(int) * size_t(count)));
        if (!copy)
            return false;
        memcpy(copy, ids, sizeof(int) * size_t(count));
        QuickSort(copy, 0, count - 1);
        for (int i = 0; i < count; ++i) {
            if (n == 0 || copy[n - 1] != copy[i])
                copy[n++] = copy[i];
        }
    }
    TLXCliParam *param = nullptr;
    lastResult = TLXCliMessage(handle, command, &param);
    if (lastResult != 0 || !param) {
        free(copy);
        return false;
    }
    if (copy)
        TLXPrmSetBytes(param, 0, n * int(sizeof(int32_t)), copy);
    lastResult = TLXCliPost(handle, param);
    const bool posted = lastResult == 0;

    QMutexLocker lock(&mutex);
    if (command && strcmp(command, "SUB_EVENT") == 0) {
        free(eventSub);
        eventSub = copy;
        eventSubCount = n;
    } else {
        free(paramSub);
        paramSub = copy;
        paramSubCount = n;
    }
    return posted;
}

bool TLXService::EventNew(double d1, double d2, int code, const char *s1, const char *s2, const char *s3,
                          const char *bytes, int length) {
    TLXCliParam *param = NewMessage("EVENT_NEW");
    if (!param)
        return false;
    TLXPrmSetInt32(param, 0, code);
    TLXPrmSetDouble(param, 1, d1);
    TLXPrmSetDouble(param, 2, d2);
    if (s1)
        SetText(param, 3, s1);
    if (s2)
        SetText(param, 4, s2);
    if (s3)
        SetText(param, 5, s3);
    if (bytes && length != 0)
        TLXPrmSetBytes(param, 6, length, bytes);
    return PostParam(param);
}

bool TLXService::EventRequest(const char *text, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("EVENT_REQUEST", reply);
    if (!param)
        return false;
    SetText(param, 0, text);
    return PostParam(param);
}

bool TLXService::EventUpdate(TLArray *array, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("EVENT_UPDATE", reply);
    if (!param)
        return false;
    TLXCliSetArr(param, "_ARR", array, 1);
    return PostParam(param);
}

bool TLXService::PostValueWrite(const char *command, const std::function<void(TLXCliParam *)> &setHead, double d1,
                                const std::function<void(TLXCliParam *)> &setValue, int i, double d2) {
    TLXCliParam *param = NewMessage(command);
    if (!param)
        return false;
    setHead(param);
    TLXPrmSetDouble(param, 1, d1);
    setValue(param);
    TLXPrmSetInt32(param, 3, i);
    TLXPrmSetDouble(param, 4, d2);
    return PostParam(param);
}

namespace {

std::function<void(TLXCliParam *)> NameAt0(const char *name) {
    return [name](TLXCliParam *p) { SetText(p, 0, name); };
}

std::function<void(TLXCliParam *)> IdAt0(int id) {
    return [id](TLXCliParam *p) { TLXPrmSetInt32(p, 0, id); };
}

} // namespace

bool TLXService::TagWrite(const char *name, double d1, uint8_t v, int i, double d2) {
    return PostValueWrite(
        "TAG_BYTE", NameAt0(name), d1, [v](TLXCliParam *p) { TLXPrmSetByte(p, 2, v); }, i, d2);
}

bool TLXService::TagWrite(const char *name, double d1, int v, int i, double d2) {
    return PostValueWrite(
        "TAG_INTEGER", NameAt0(name), d1, [v](TLXCliParam *p) { TLXPrmSetInt32(p, 2, v); }, i, d2);
}

bool TLXService::TagWrite(const char *name, double d1, double v, int i, double d2) {
    return PostValueWrite(
        "TAG_DOUBLE", NameAt0(name), d1, [v](TLXCliParam *p) { TLXPrmSetDouble(p, 2, v); }, i, d2);
}

bool TLXService::TagWrite(const char *name, double d1, const char *bytes, int length, int i, double d2) {
    return PostValueWrite(
        "TAG_BLOB", NameAt0(name), d1, [=](TLXCliParam *p) { TLXPrmSetBytes(p, 2, length, bytes); }, i, d2);
}

bool TLXService::TagWrite(const char *bytes, int length) {
    TLXCliParam *param = NewMessage("TAG_VALUES");
    if (!param)
        return false;
    TLXPrmSetBytes(param, 0, length, bytes);
    return PostParam(param);
}

bool TLXService::MeasWrite(int id, double d1, uint8_t v, int i, double d2) {
    return PostValueWrite(
        "MEAS_BYTE", IdAt0(id), d1, [v](TLXCliParam *p) { TLXPrmSetByte(p, 2, v); }, i, d2);
}

bool TLXService::MeasWrite(int id, double d1, int v, int i, double d2) {
    return PostValueWrite(
        "MEAS_INTEGER", IdAt0(id), d1, [v](TLXCliParam *p) { TLXPrmSetInt32(p, 2, v); }, i, d2);
}

bool TLXService::MeasWrite(int id, double d1, double v, int i, double d2) {
    return PostValueWrite(
        "MEAS_DOUBLE", IdAt0(id), d1, [v](TLXCliParam *p) { TLXPrmSetDouble(p, 2, v); }, i, d2);
}

bool TLXService::MeasWrite(int id, double d1, const char *bytes, int length, int i, double d2) {
    return PostValueWrite(
        "MEAS_BLOB", IdAt0(id), d1, [=](TLXCliParam *p) { TLXPrmSetBytes(p, 2, length, bytes); }, i, d2);
}

bool TLXService::MeasWrite(const char *bytes, int length, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("MEAS_VALUES", reply);
    if (!param)
        return false;
    TLXPrmSetBytes(param, 0, length, bytes);
    return PostParam(param);
}

bool TLXService::ManualWrite(int id, double d1, int i, double d2, uint8_t b) {
    TLXCliParam *param = NewMessage("MANUAL_INPUT");
    if (!param)
        return false;
    // Packed: uint8 1, int32 id, double, int32, double, uint8, then 7 zero bytes.
    char block[33] = {};
    char *out = block;
    Put<uint8_t>(out, 1);
    Put<int32_t>(out, id);
    Put<double>(out, d1);
    Put<int32_t>(out, i);
    Put<double>(out, d2);
    Put<uint8_t>(out, b);
    TLXPrmSetBytes(param, 0, int(sizeof block), block);
    return PostParam(param);
}

bool TLXService::SqlExec(const char *sql, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("SQL_EXEC", reply);
    if (!param)
        return false;
    SetText(param, 0, sql);
    return PostParam(param);
}

bool TLXService::TblCreate(const char *name, TLArray *table, TLArray *tables, TLArray *fields, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("TBL_CREATE", reply);
    if (!param)
        return false;
    SetText(param, 0, name);
    if (table)
        TLXCliSetArr(param, "_TBL", table, 1);
    if (tables)
        TLXCliSetArr(param, "_TABLES", tables, 1);
    if (fields)
        TLXCliSetArr(param, "_FIELDS", fields, 1);
    return PostParam(param);
}

bool TLXService::TblChange(const char *name, TLArray *table, TLArray *tables, TLArray *fields, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("TBL_CHANGE", reply);
    if (!param)
        return false;
    SetText(param, 0, name);
    if (table)
        TLXCliSetArr(param, "_TBL", table, 1);
    if (tables)
        TLXCliSetArr(param, "_TABLES", tables, 1);
    if (fields)
        TLXCliSetArr(param, "_FIELDS", fields, 1);
    return PostParam(param);
}

bool TLXService::TblDelete(const char *name, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("TBL_DELETE", reply);
    if (!param)
        return false;
    SetText(param, 0, name);
    return PostParam(param);
}

bool TLXService::OperationRights(const char *name, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("OPERATION_PERMISSION", reply);
    if (!param)
        return false;
    SetText(param, 0, name);
    return PostParam(param);
}

bool TLXService::OperationRights(const char *name) {
    TLXCliParam *reply = nullptr;
    if (!OperationRights(name, &reply) || !WaitResult(&reply))
        return false;
    int32_t status = -1;
    const bool granted = ReplyInt32(reply, 0, &status) && status == 0;
    FreeReply(reply);
    return granted;
}

bool TLXService::PacketExec(const char *name, const char *bytes, int length, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("_PACKET", reply);
    if (!param)
        return false;
    SetText(param, 0, name);
    if (bytes && length != 0)
        TLXPrmSetBytes(param, 1, length, bytes);
    return PostParam(param);
}

bool TLXService::IcSave(const char *path, const char *ic, const char *time, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("TRAINING_SAVE_IC", reply);
    if (!param)
        return false;
    char text[512];
    snprintf(text, sizeof text, "Path=%s\r\nIC=%s\r\nTime=%s", path ? path : "", ic ? ic : "", time ? time : "");
    SetText(param, 1, text);
    return PostParam(param);
}

bool TLXService::IcLoad(const char *path, const char *ic, int modelTime, int nameIc, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("TRAINING_LOAD_IC", reply);
    if (!param)
        return false;
    char text[512];
    snprintf(text, sizeof text, "Path=%s\r\nIC=%s\r\nModelTime=%d\r\nNameIC=%d", path ? path : "", ic ? ic : "",
             modelTime, nameIc);
    SetText(param, 1, text);
    return PostParam(param);
}

bool TLXService::ChangeStatus(int status, TLXCliParam **reply) {
    TLXCliParam *param = NewRequest("TRAINING_CHANGE_STATUS", reply);
    if (!param)
        return false;
    char text[512];
    snprintf(text, sizeof text, "NewStatus=%d", status);
    SetText(param, 1, text);
    return PostParam(param);
}

bool TLXService::CalcExec(const char *name, const CVar *variable, TLXCliParam **reply) {
    if (!handle)
        return false;
    void *bytes = nullptr;
    int length = 0;
    if (variable) {
        CVarToBuff(variable, &bytes, &length);
    } else {
        CVar *empty = nullptr;
        if (CVarInit(&empty) == 0 && empty) {
            CVarSetArr(empty, 0);
            CVarToBuff(empty, &bytes, &length);
            CVarClear(empty);
        }
    }
    TLXCliParam *param = NewRequest("CALC_EXEC", reply);
    if (!param) {
        TLMemFree(bytes);
        return false;
    }
    SetText(param, 0, name);
    TLXPrmSetBytes(param, 1, length, bytes);
    TLMemFree(bytes);
    return PostParam(param);
}

bool TLXService::FileCommand(const char *command, const char *packet, const char *a, const char *b, TLXCliParam **reply,
                             bool viaPacket) {
    if (viaPacket) {
        const QByteArray data = PacketPath(a, b);
        return PacketExec(packet, data.constData(), data.size(), reply);
    }
    TLXCliParam *param = NewRequest(command, reply);
    if (!param)
        return false;
    SetText(param, 0, a);
    SetText(param, 1, b);
    return PostParam(param);
}

bool TLXService::FileList(const char *a, const char *b, TLXCliParam **reply, bool viaPacket) {
    return FileCommand("FILE_LIST", "FileList", a, b, reply, viaPacket);
}

bool TLXService::FileGet(const char *a, const char *b, TLXCliParam **reply, bool viaPacket) {
    return FileCommand("FILE_GET", "FileGet", a, b, reply, viaPacket);
}

bool TLXService::FilePut(const char *a, const char *b, const char *bytes, int length, bool viaPacket) {
    if (!handle)
        return false;
    TLArray *array = nullptr;
    if (TLACreate(&array, 0) != 0 || !array)
        return false;
    TLAFldAdd(array, "name", TL_NAME);
    TLAFldAdd(array, "time", TL_DOUBLE);
    TLAFldAdd(array, "size", TL_INT32);
    TLAFldAdd(array, "data", TL_BLOB);
    const QByteArray name = viaPacket ? PacketPath(a, b) : QByteArray(b ? b : "");
    TLRecord *record = TLARecNew(array);
    if (record) {
        TLRSetAsText(TLRFldByName(array, "name"), record, name.size(), name.constData());
        TLRSetAsDouble(TLRFldByName(array, "time"), record, CTimeNow());
        TLRSetAsInt32(TLRFldByName(array, "size"), record, length);
        TLRSetAsText(TLRFldByName(array, "data"), record, length, bytes ? bytes : "");
        TLARecPost(array, record);
    }
    void *packed = nullptr;
    int packedLength = 0;
    const int packResult = TLAPack(array, &packed, &packedLength);
    TLADestroy(array);
    if (packResult != 0) {
        lastResult = packResult;
        return false;
    }
    bool sent = false;
    if (viaPacket) {
        sent = PacketExec("FilePut", static_cast<const char *>(packed), packedLength, nullptr);
    } else if (TLXCliParam *param = NewMessage("FILE_PUT")) {
        SetText(param, 0, a);
        TLXPrmSetBytes(param, 1, packedLength, packed);
        sent = PostParam(param);
    }
    TLMemFree(packed);
    return sent;
}

bool TLXService::FileDel(const char *a, const char *b, bool viaPacket) {
    return FileCommand("FILE_DEL", "FileDel", a, b, nullptr, viaPacket);
}

bool TLXService::UserDescription(TLXCliParam **) {
    return false;
}

TLArray *TLXService::DoSqlRequest(const char *sql) {
    TLXCliParam *reply = nullptr;
    if (!SqlRequest(sql, &reply, nullptr))
        return nullptr;
    if (!WaitResult(&reply))
        return nullptr;
    int32_t status = -1;
    if (!ReplyInt32(reply, 0, &status) || status != 0) {
        FreeReply(reply);
        return nullptr;
    }
    TLArray *array = nullptr;
    if (TLACreate(&array, 0) != 0 || !array) {
        FreeReply(reply);
        return nullptr;
    }
    const char *packed = nullptr;
    TLField *field = TLXPrmField(reply, 2);
    const bool unpacked = field && TLRGetTextPtr(field, TLXPrmRecord(reply), &packed) == 0 && packed &&
                          TLXArrayUnPack(array, packed, 1) == 0;
    FreeReply(reply);
    if (!unpacked) {
        // A reply without its rows is a failed select, not an empty table.
        TLADestroy(array);
        return nullptr;
    }

    SortByKeyLink(array);
    return array;
}

void TLXService::SortByKeyLink(TLArray *array) {
    if (!array || TLAFldCount(array) < 1)
        return;
    TLField *first = TLAFld(array, 0);
    const char *name = first ? TLFldName(first) : nullptr;
    if (!name || qstricmp(name, "KeyLink") != 0 || TLFldType(first) != TL_TEXT)
        return;
    const TLAKey key = {name, 0};
    if (TLAKeyCount(array) == 0)
        TLAKeyAdd(array, 1, &key);
    else
        TLAKeySet(array, 0, &key);
    // Sorted in both cases: adding a key does not promise to reorder records already there.
    TLARecSort(array);
}

char *TLXService::DoMeasRequest(const MeasValRead &request, int *length) {
    if (length)
        *length = 0;
    TLXCliParam *reply = nullptr;
    if (!MeasRead(request.data, request.length, &reply) || !WaitResult(&reply))
        return nullptr;
    int n = 0;
    const char *bytes = nullptr;
    void *out = nullptr;
    int outLength = 0;
    if (ReplyBytes(reply, 0, &n, &bytes) && n > 0) {
        if (TLXDataDeCompress(n, bytes, &outLength, &out) != 0)
            out = nullptr;
    }
    FreeReply(reply);
    if (out && length)
        *length = outLength;
    return static_cast<char *>(out);
}

int TLXService::GetSrvVersion(int *major, int *minor, int *release) {
    TLXCliParam *reply = nullptr;
    TLXCliParam *param = NewRequest("SRV_VERSION", &reply);
    if (!param || !PostParam(param) || !WaitResult(&reply))
        return lastResult != 0 ? lastResult : TLX_ERR_CLOSED;
    int32_t status = -1;
    ReplyInt32(reply, 0, &status);
    int n = 0;
    const char *bytes = nullptr;
    QByteArray text;
    if (ReplyBytes(reply, 2, &n, &bytes) && n > 0) {
        void *plain = nullptr;
        int plainLength = 0;
        if (TLXDataIsCompress(n, bytes) && TLXDataDeCompress(n, bytes, &plainLength, &plain) == 0 && plain) {
            text = QByteArray(static_cast<const char *>(plain), plainLength);
            TLMemFree(plain);
        } else {
            text = QByteArray(bytes, n);
        }
    }
    struct Part {
        const char *name;
        int *out;
    } parts[] = {{"MAJOR", major}, {"MINOR", minor}, {"RELEASE", release}};
    for (const Part &part : parts) {
        char value[64];
        if (part.out && GetParamFromName(text.data(), part.name, value, int(sizeof value)))
            *part.out = atoi(value);
    }
    lastResult = TLXCliPrmFree(reply, handle);
    return lastResult;
}

bool TLXService::EventInSub(int code) {
    QMutexLocker lock(&mutex);
    return eventSubCount > 0 && QuickSeek(eventSub, eventSubCount, code);
}

bool TLXService::ParamInSub(int id) {
    QMutexLocker lock(&mutex);
    return paramSubCount > 0 && QuickSeek(paramSub, paramSubCount, id);
}

void TLXService::QuickSort(int *values, int first, int last) {
    while (values && first < last) {
        const int pivot = values[first + (last - first) / 2];
        int i = first;
        int j = last;
        while (i <= j) {
            while (values[i] < pivot)
                ++i;
            while (values[j] > pivot)
                --j;
            if (i <= j) {
                const int t = values[i];
                values[i] = values[j];
                values[j] = t;
                ++i;
                --j;
            }
        }
        // Recurse into the smaller half so the depth stays logarithmic.
        if (j - first < last - i) {
            QuickSort(values, first, j);
            first = i;
        } else {
            QuickSort(values, i, last);
            last = j;
        }
    }
}

bool TLXService::QuickSeek(int *values, int count, int value) {
    int low = 0;
    int high = count - 1;
    while (values && low <= high) {
        const int middle = low + (high - low) / 2;
        if (values[middle] == value)
            return true;
        if (values[middle] < value)
            low = middle + 1;
        else
            high = middle - 1;
    }
    return false;
}

bool TLXService::GetParamFromName(char *text, const char *name, char *out, int outSize) {
    if (!text || !name || !out || outSize == 0)
        return false;
    const char *found = strstr(text, name);
    if (!found)
        return false;
    const char *equals = strchr(found + strlen(name), '=');
    if (!equals)
        return false;
    const char *from = equals + 1;
    size_t n = strcspn(from, "\r\n");
    if (outSize > 0 && n > size_t(outSize - 1))
        n = size_t(outSize - 1);
    memcpy(out, from, n);
    out[n] = '\0';
    return true;
}
