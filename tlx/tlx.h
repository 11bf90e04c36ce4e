// tlx: the client library of the station's SCADA server.
//
// A C-style API (no Qt, no exceptions across it). Integer results: 0 = success, non-zero = failure.
// Byte blocks handed out by the library (field values, packed arrays, decompressed data) are valid
// until the owning object is changed or freed; blocks the caller owns are released with TLMemFree.
#pragma once

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

// Type codes of values, fields and record-array columns.
enum TLType {
    TL_NONE = 0,
    TL_BOOL = 1,
    TL_BYTE = 2,
    TL_INT64 = 4,
    TL_INT32 = 5,
    TL_FLOAT = 7,
    TL_DOUBLE = 8, // also used for times: seconds since 1970-01-01 UTC
    TL_TEXT = 9,
    TL_NAME = 10,
    TL_BLOB = 11,
};

// Record flags of a record array.
enum { TLR_NEW = 1, TLR_CHANGED = 2, TLR_DELETED = 4 };

// Kinds of messages a client takes with TLXCliGetMessage.
enum { TLX_MSG_EVENT = 10, TLX_MSG_KWIT = 12 };

// Result codes (besides 0).
enum {
    TLX_ERR_ARG = -1,         // bad argument / null pointer
    TLX_ERR_NOSOCK = -2,      // sockets not started (TLSockIsActive)
    TLX_ERR_CONNECT = -3,     // connect / handshake failed
    TLX_ERR_AUTH = -4,        // user or password refused
    TLX_ERR_CLOSED = -5,      // no connection, or it was lost while waiting
    TLX_ERR_PROTO = -6,       // malformed data
    TLX_ERR_NOTFOUND = -7,    // no such field / record / message
    TLX_ERR_UNAVAILABLE = -8, // sockets cannot be used at all (TLSockIsActive)
    TLX_ERR_TYPE = -9,        // value cannot be read as the asked type
    TLX_ERR_TIMEOUT = -10,    // wait ended by its time limit
};

typedef struct TLXCliSes TLXCliSes;
typedef struct TLXCliParam TLXCliParam;
typedef struct TLArray TLArray;
typedef struct TLRecord TLRecord;
typedef struct TLField TLField;
typedef struct CVar CVar;

typedef void (*TLXSockCloseProc)(TLXCliSes *handle, int code, int flag);
typedef void (*TLXMessageProc)(TLXCliSes *handle);

// Client handle. `Connected` is the first 32-bit word and is non-zero while the link is up. The reader
// thread clears it: read it with an atomic load (__atomic_load_n) from other threads.
struct TLXCliSes {
    volatile int32_t Connected;
    void *Owner;
    TLXSockCloseProc OnSockClose; // may be called on the library's reader thread
    TLXMessageProc OnMessage;     // called on the reader thread when a pushed message is queued
    void *Impl;                   // library private
};

// A typed value. Text and blob values point into memory owned by whoever produced the value.
typedef struct TLVal {
    int32_t Type; // TLType
    union {
        int32_t Int32;
        int64_t Int64;
        double Double;
        float Float;
        int32_t Bool;
        uint8_t Byte;
        struct {
            int32_t Length;
            const char *Ptr;
        } Text;
    } V;
} TLVal;

// ---- start ----
// 0 when sockets are usable and started; TLX_ERR_NOSOCK when not started yet; TLX_ERR_UNAVAILABLE when unusable.
int TLSockIsActive(void);
int TLSockInit(int maxSockets);
int TLXInit(void);

// ---- client handle ----
int TLXCliCreate(TLXCliSes **handle);
int TLXCliFree(TLXCliSes *handle);
// Connects, performs the handshake and logs in. mode and reserved are kept for compatibility (pass 1, 0).
int TLXCliOpen(TLXCliSes *handle, const char *host, unsigned port, const char *user, const char *password, int mode,
               int reserved);
int TLXCliClose(TLXCliSes *handle, int reserved);

// Heartbeat interval and the silence after which the peer counts as dead (milliseconds). Process-wide.
void TLXSetHeartbeat(int intervalMs, int deadAfterMs);
// Largest frame a client handle sends or accepts (bytes, default 64 MiB). Process-wide; set it before
// TLXCliOpen.
void TLXSetMaxFrame(unsigned bytes);

// ---- commands ----
// Creates a one-way message record for command; send it with TLXCliPost.
int TLXCliMessage(TLXCliSes *handle, const char *command, TLXCliParam **param);
// Creates a request record for command; TLXCliPost sends it and the reply is later stored in *replySlot
// (TLXCliWaitResult waits for it). *replySlot is set to null here.
int TLXCliRequest(TLXCliSes *handle, const char *command, TLXCliParam **param, TLXCliParam **replySlot);
// Sends the record and takes ownership of it (also on failure).
int TLXCliPost(TLXCliSes *handle, TLXCliParam *param);
// Waits until the reply for replySlot arrives. timeoutMs < 0: no limit (ends when the link is lost).
// 0 and *replySlot non-null on success; the caller frees the reply with TLXCliPrmFree.
int TLXCliWaitResult(TLXCliSes *handle, TLXCliParam **replySlot, int timeoutMs);
int TLXCliPrmFree(TLXCliParam *param, TLXCliSes *handle);
// Takes the oldest pushed message without waiting: 0 when one was taken (free it with TLXCliPrmFree),
// TLX_ERR_NOTFOUND when none waits, TLX_ERR_CLOSED when not connected and nothing is queued.
int TLXCliGetMessage(TLXCliSes *handle, TLXCliParam **param, int timeoutMs);

// ---- parameter records ----
// Fields are addressed by position 0..count-1; setting a position past the end adds unset fields up to it.
TLXCliParam *TLXPrmCreate(const char *command, int kind);
void TLXPrmDestroy(TLXCliParam *param);
const char *TLXPrmCommand(const TLXCliParam *param);
int TLXPrmKind(const TLXCliParam *param);
void TLXPrmSetKind(TLXCliParam *param, int kind);
int TLXPrmFieldCount(const TLXCliParam *param);
const char *TLXPrmFieldName(const TLXCliParam *param, int pos);   // "" when unnamed, null past the end
int TLXPrmFieldIndex(const TLXCliParam *param, const char *name); // -1 when absent
int TLXPrmFieldType(const TLXCliParam *param, int pos);           // TL_NONE for unset / past the end
int TLXPrmSetName(TLXCliParam *param, int pos, const char *name);
int TLXPrmSetInt32(TLXCliParam *param, int pos, int32_t value);
int TLXPrmSetDouble(TLXCliParam *param, int pos, double value);
int TLXPrmSetBool(TLXCliParam *param, int pos, int value);
int TLXPrmSetByte(TLXCliParam *param, int pos, uint8_t value);
int TLXPrmSetText(TLXCliParam *param, int pos, int length, const char *bytes);
int TLXPrmSetBytes(TLXCliParam *param, int pos, int length, const void *bytes);
// The field of a parameter record as a one-record array field: read it with the TLR getters
// together with TLXPrmRecord(param). Null past the end.
TLField *TLXPrmField(TLXCliParam *param, int pos);
TLRecord *TLXPrmRecord(TLXCliParam *param);
// Attaches a copy of array under name (e.g. "_ARR"). mode 1 = packed copy.
int TLXCliSetArr(TLXCliParam *param, const char *name, TLArray *array, int mode);
// Unpacks the array attached under name into array (which it replaces).
int TLXCliGetArr(const TLXCliParam *param, const char *name, TLArray *array);
int TLXPrmArrCount(const TLXCliParam *param);
const char *TLXPrmArrName(const TLXCliParam *param, int index);

// ---- record arrays ----
int TLACreate(TLArray **array, int mode);
int TLADestroy(TLArray *array);
// mode 0: copy only the field layout (no records); mode 1: layout and records.
int TLACopy(TLArray *dst, const TLArray *src, int mode);
int TLARecCount(const TLArray *array);
TLRecord *TLARec(TLArray *array, int mode, int index); // null past the end
// Makes a new, detached record with the array's layout (all fields unset); TLARecPost adds it.
TLRecord *TLARecNew(TLArray *array);
int TLARecPost(TLArray *array, TLRecord *record);
int TLARecDel(TLArray *array, TLRecord *record);
int TLARecSort(TLArray *array);
// Adds count sort keys. key describes one key: field name; descending flag.
typedef struct TLAKey {
    const char *Field;
    int Descending;
} TLAKey;
int TLAKeyAdd(TLArray *array, int count, const TLAKey *keys);
int TLAKeyCount(const TLArray *array);
int TLAKeySet(TLArray *array, int index, const TLAKey *key); // replaces key index
int TLAFldAdd(TLArray *array, const char *name, int type);
int TLAFldCount(const TLArray *array);
TLField *TLAFld(TLArray *array, int index);
const char *TLFldName(const TLField *field);
int TLFldType(const TLField *field);
// Packs the array (layout, keys, records, flags, user marks) into a block the caller frees with TLMemFree.
int TLAPack(const TLArray *array, void **bytes, int *length);
// Unpacks a block made by TLAPack. The 3-argument form takes a block handed out by this library (a field
// value or TLAPack output), whose length the library knows; TLXArrayUnPackBuf takes an explicit length.
int TLXArrayUnPack(TLArray *array, const void *bytes, int mode);
int TLXArrayUnPackBuf(TLArray *array, const void *bytes, int length);

// ---- fields of records ----
TLField *TLRFldByName(TLArray *array, const char *name); // null if absent
int TLRGetAsInt32(const TLField *field, const TLRecord *record, int32_t *out);
int TLRGetAsInt64(const TLField *field, const TLRecord *record, int64_t *out);
int TLRGetAsDouble(const TLField *field, const TLRecord *record, double *out);
int TLRGetAsFloat(const TLField *field, const TLRecord *record, float *out);
int TLRGetAsBool(const TLField *field, const TLRecord *record, int *out);
// NUL-ended text (the library keeps a NUL after every text and blob value).
int TLRGetTextPtr(const TLField *field, const TLRecord *record, const char **out);
int TLRGetTextRef(const TLField *field, const TLRecord *record, int *length, const char **out);
int TLRGetVal(const TLField *field, const TLRecord *record, TLVal *out); // unset: 0 and Type TL_NONE
int TLRSetVal(TLField *field, TLRecord *record, const TLVal *value);
int TLRSetUser(TLField *field, TLRecord *record, int user); // 1 = this value is to be written
int TLRGetUser(const TLField *field, const TLRecord *record);
int TLRSetFlags(TLRecord *record, int flags);
int TLRGetFlags(const TLRecord *record);
int TLRSetAsText(TLField *field, TLRecord *record, int length, const char *bytes);
int TLRSetAsInt32(TLField *field, TLRecord *record, int32_t value);
int TLRSetAsInt64(TLField *field, TLRecord *record, int64_t value);
int TLRSetAsDouble(TLField *field, TLRecord *record, double value);
int TLRSetAsFloat(TLField *field, TLRecord *record, float value);
int TLRSetAsBool(TLField *field, TLRecord *record, int value);
int TLRSetAsByte(TLField *field, TLRecord *record, uint8_t value);
int TLRIsNull(const TLField *field, const TLRecord *record); // 1 when unset

// ---- data ----
// 1 when the block is a compressed block made by TLXDataCompress.
int TLXDataIsCompress(int length, const void *data);
int TLXDataCompress(int length, const void *data, int *outLength, void **out);
int TLXDataDeCompress(int length, const void *data, int *outLength, void **out);
void TLMemFree(void *block);
double CTimeNow(void); // seconds since the epoch, with fraction

// ---- CVar: a small variant used by CALC_EXEC ----
int CVarInit(CVar **var);
int CVarClear(CVar *var); // frees the variable
int CVarSetArr(CVar *var, int count);
int CVarToBuff(const CVar *var, void **bytes, int *length); // caller frees with TLMemFree

#ifdef __cplusplus
}
#endif
