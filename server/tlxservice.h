// Typed commands of the SCADA server over the tlx client library.
#pragma once

#include <QMutex>
#include <functional>
#include <stdint.h>

#include "tlx/tlx.h"

// Argument of DoMeasRequest: a ready-made MEAS_READ request block.
struct MeasValRead {
    const char *data = nullptr;
    int32_t length = 0;
};

class TLXService {
public:
    TLXService();
    virtual ~TLXService();
    TLXService(const TLXService &) = delete;
    TLXService &operator=(const TLXService &) = delete;

    virtual void OnMessage();
    virtual void OnSockClose(bool flag);

    bool Open(const char *host, const char *user, const char *password, unsigned port);
    void Close();

    // The client handle (null when the library failed to start) and its connection word.
    TLXCliSes *GetHandle() const { return handle; }
    bool IsConnected() const { return handle && __atomic_load_n(&handle->Connected, __ATOMIC_ACQUIRE) != 0; }
    // Library result of the most recent call made by any method; 0 = success.
    int GetLastResult() const { return lastResult; }
    void SetLastResult(int result) { lastResult = result; }

    // Commands. Req methods store the reply in *reply (wait for it with TLXCliWaitResult); every
    // method returns true when the record was created and posted.
    bool SqlRequest(const char *sql, TLXCliParam **reply, const char *extra = nullptr);
    bool SqlUpdate(const char *table, TLArray *array, TLXCliParam **reply);
    bool MeasRead(int id, double time, TLXCliParam **reply);
    bool MeasRead(int id, double from, double to, TLXCliParam **reply);
    bool MeasRead(const char *bytes, int length, TLXCliParam **reply);
    bool EventRequest(const int *codes, int count, double d1, double d2, bool flag, TLXCliParam **reply);
    bool EventKwit(const char *id, int value);
    bool SubSet(const int *ids, int count, const char *command);
    bool EventNew(double d1, double d2, int code, const char *s1, const char *s2, const char *s3, const char *bytes,
                  int length);
    bool EventRequest(const char *text, TLXCliParam **reply);
    bool EventUpdate(TLArray *array, TLXCliParam **reply);
    bool TagWrite(const char *name, double d1, uint8_t v, int i, double d2);
    bool TagWrite(const char *name, double d1, int v, int i, double d2);
    bool TagWrite(const char *name, double d1, double v, int i, double d2);
    bool TagWrite(const char *name, double d1, const char *bytes, int length, int i, double d2);
    bool TagWrite(const char *bytes, int length);
    bool MeasWrite(int id, double d1, uint8_t v, int i, double d2);
    bool MeasWrite(int id, double d1, int v, int i, double d2);
    bool MeasWrite(int id, double d1, double v, int i, double d2);
    bool MeasWrite(int id, double d1, const char *bytes, int length, int i, double d2);
    bool MeasWrite(const char *bytes, int length, TLXCliParam **reply);
    bool ManualWrite(int id, double d1, int i, double d2, uint8_t b);
    bool SqlExec(const char *sql, TLXCliParam **reply);
    bool TblCreate(const char *name, TLArray *table, TLArray *tables, TLArray *fields, TLXCliParam **reply);
    bool TblChange(const char *name, TLArray *table, TLArray *tables, TLArray *fields, TLXCliParam **reply);
    bool TblDelete(const char *name, TLXCliParam **reply);
    bool OperationRights(const char *name, TLXCliParam **reply);
    bool OperationRights(const char *name);
    bool PacketExec(const char *name, const char *bytes, int length, TLXCliParam **reply);
    bool IcSave(const char *path, const char *ic, const char *time, TLXCliParam **reply);
    bool IcLoad(const char *path, const char *ic, int modelTime, int nameIc, TLXCliParam **reply);
    bool ChangeStatus(int status, TLXCliParam **reply);
    bool CalcExec(const char *name, const CVar *variable, TLXCliParam **reply);
    bool FileList(const char *a, const char *b, TLXCliParam **reply, bool viaPacket);
    bool FileGet(const char *a, const char *b, TLXCliParam **reply, bool viaPacket);
    bool FilePut(const char *a, const char *b, const char *bytes, int length, bool viaPacket);
    bool FileDel(const char *a, const char *b, bool viaPacket);
    bool UserDescription(TLXCliParam **reply);

    // Waits for the reply of a Req method up to the request time limit; stores the result. True with
    // a reply. A reply past the limit closes the session: the caller sees it as a lost link.
    bool WaitResult(TLXCliParam **reply);
    // 0 or less waits for ever.
    void SetRequestTimeoutMs(int ms) { requestTimeoutMs = ms; }
    int RequestTimeoutMs() const { return requestTimeoutMs; }
    // Releases a reply and stores the result.
    void FreeReply(TLXCliParam *reply);
    // Reads reply field pos. False when it is absent or of another kind (ReplyBytes: text, name or blob only).
    static bool ReplyInt32(TLXCliParam *reply, int pos, int32_t *out);
    static bool ReplyBytes(TLXCliParam *reply, int pos, int *length, const char **bytes);

    // Synchronous operations (wait up to the request time limit).
    TLArray *DoSqlRequest(const char *sql);                       // caller releases with TLADestroy
    char *DoMeasRequest(const MeasValRead &request, int *length); // caller releases with TLMemFree
    int GetSrvVersion(int *major = nullptr, int *minor = nullptr, int *release = nullptr);

    // Orders the records by their first field when it is a text field named KeyLink (any letter case).
    static void SortByKeyLink(TLArray *array);

    bool EventInSub(int code);
    bool ParamInSub(int id);

    static void QuickSort(int *values, int first, int last);
    static bool QuickSeek(int *values, int count, int value);
    // outSize bounds the copy into out (including the NUL); -1 trusts the caller's buffer.
    static bool GetParamFromName(char *text, const char *name, char *out, int outSize = -1);

    // True once the library has been started in this process.
    static bool CliInit;

private:
    static void CliMessage(TLXCliSes *handle);
    static void CliSockClose(TLXCliSes *handle, int code, int flag);

    TLXCliParam *NewMessage(const char *command);
    TLXCliParam *NewRequest(const char *command, TLXCliParam **reply);
    bool PostParam(TLXCliParam *param);
    // The TAG_ and MEAS_ write messages share one layout: 0 name or id, 1 d1, 2 the value, 3 i, 4 d2.
    bool PostValueWrite(const char *command, const std::function<void(TLXCliParam *)> &setHead, double d1,
                        const std::function<void(TLXCliParam *)> &setValue, int i, double d2);
    bool FileCommand(const char *command, const char *packet, const char *a, const char *b, TLXCliParam **reply,
                     bool viaPacket);

    QMutex mutex;
    TLXCliSes *handle = nullptr;
    int32_t lastResult = 0;
    int requestTimeoutMs = 30000;
    int *eventSub = nullptr;
    int32_t eventSubCount = 0;
    int *paramSub = nullptr;
    int32_t paramSubCount = 0;
};
