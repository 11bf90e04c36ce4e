#include "stand/stand_handler.h"

#include "stand/text_codec.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

namespace stand {
namespace {

int64_t NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// A name for the log: control bytes and over-long input of a hostile client are not echoed.
std::string Printable(const std::string &text) {
    std::string out;
    for (char ch : text.substr(0, 64))
        out += (static_cast<unsigned char>(ch) < 0x20 || ch == '"') ? '?' : ch;
    return text.size() > 64 ? out + "..." : out;
}

bool GetInt(TLXCliParam *p, int pos, int32_t *out) {
    const int type = TLXPrmFieldType(p, pos);
    if (type != TL_INT32 && type != TL_INT64 && type != TL_BYTE && type != TL_BOOL)
        return false;
    return TLRGetAsInt32(TLXPrmField(p, pos), TLXPrmRecord(p), out) == 0;
}

bool GetDouble(TLXCliParam *p, int pos, double *out) {
    const int type = TLXPrmFieldType(p, pos);
    if (type != TL_DOUBLE && type != TL_FLOAT && type != TL_INT32 && type != TL_INT64)
        return false;
    return TLRGetAsDouble(TLXPrmField(p, pos), TLXPrmRecord(p), out) == 0 && !std::isnan(*out);
}

bool GetBool(TLXCliParam *p, int pos, bool *out) {
    const int type = TLXPrmFieldType(p, pos);
    if (type != TL_BOOL && type != TL_INT32 && type != TL_BYTE)
        return false;
    int value = 0;
    if (TLRGetAsBool(TLXPrmField(p, pos), TLXPrmRecord(p), &value) != 0)
        return false;
    *out = value != 0;
    return true;
}

// Text, name or blob field as raw bytes.
bool GetBytes(TLXCliParam *p, int pos, std::string *out) {
    const int type = TLXPrmFieldType(p, pos);
    if (type != TL_TEXT && type != TL_NAME && type != TL_BLOB)
        return false;
    int length = 0;
    const char *bytes = nullptr;
    if (TLRGetTextRef(TLXPrmField(p, pos), TLXPrmRecord(p), &length, &bytes) != 0 || length < 0)
        return false;
    out->assign(bytes ? bytes : "", size_t(length));
    return true;
}

void Fail(TLXCliParam *reply, int status, const std::string &reason, int reasonPos = 1) {
    TLXPrmSetInt32(reply, 0, status);
    const std::string bytes = Utf8ToCp1251(reason);
    TLXPrmSetText(reply, reasonPos, int(bytes.size()), bytes.data());
}

std::vector<int> CodesFromBlob(const std::string &blob) {
    std::vector<int> codes(blob.size() / 4);
    if (!codes.empty())
        std::memcpy(codes.data(), blob.data(), codes.size() * 4);
    return codes;
}

} // namespace

StandHandler::StandHandler(StandDatabase *db, EventHub *events) : db_(db), events_(events) {}

bool StandHandler::Authenticate(tlx::ConnId conn, const std::string &user, const std::string &password) {
    const std::string address = server_ ? server_->PeerOf(conn) : std::string();
    // The wait runs on this connection's own thread: other clients are not held up.
    const int delay = throttle_.DelayMs(address, user, NowMs());
    if (delay > 0 && !Wait(delay))
        return false;
    if (db_->Authenticate(user, password)) {
        throttle_.Succeeded(address, user);
        return true;
    }
    const int failures = throttle_.Failed(address, user, NowMs());
    std::fprintf(stderr, "zenta-stand: failed login of \"%s\" from %s (%d in a row)\n", Printable(user).c_str(),
                 address.c_str(), failures);
    return false;
}

void StandHandler::OnDisconnect(tlx::ConnId conn) {
    events_->Forget(conn);
}

bool StandHandler::FromLoopback(tlx::ConnId conn) const {
    if (!server_)
        return false;
    const std::string peer = server_->PeerOf(conn);
    return peer == "127.0.0.1" || peer == "::1" || peer == "::ffff:127.0.0.1";
}

bool StandHandler::TestAidAllowed(tlx::ConnId conn, const std::string &command, TLXCliParam *reply) const {
    if (!testAids_) {
        Fail(reply, kStatusRefused, command + " is a test aid: the stand was not started with --test-aids");
        return false;
    }
    if (!FromLoopback(conn)) {
        Fail(reply, kStatusRefused, command + " is accepted from 127.0.0.1 only");
        return false;
    }
    // A read-only user must not forge alarms or stop the server.
    const std::string user = server_ ? server_->UserOf(conn) : std::string();
    if (!db_->CanEdit(user)) {
        Fail(reply, kStatusRefused, "user " + user + " may not use " + command);
        return false;
    }
    return true;
}

void StandHandler::OnRequest(tlx::ConnId conn, TLXCliParam *request, TLXCliParam *reply) {
    const char *commandText = TLXPrmCommand(request);
    const std::string command = commandText ? commandText : "";
    FaultPoint(command);
    if (command == "SQL_REQUEST")
        SqlRequest(request, reply);
    else if (command == "SQL_UPDATE")
        SqlUpdate(conn, request, reply);
    else if (command == "MEAS_READ1")
        MeasRead1(request, reply);
    else if (command == "MEAS_READ2")
        MeasRead2(request, reply);
    else if (command == "EVENT_CODE")
        EventCode(request, reply);
    else if (command == "SRV_VERSION")
        SrvVersion(reply);
    else if (command == "ADMIN_EVENT")
        AdminEvent(conn, request, reply);
    else if (command == "ADMIN_FAULT")
        AdminFault(conn, request, reply);
    else
        Fail(reply, kStatusUnknownCommand, "unknown command " + command);
}

void StandHandler::OnMessage(tlx::ConnId conn, TLXCliParam *message) {
    const char *commandText = TLXPrmCommand(message);
    const std::string command = commandText ? commandText : "";
    FaultPoint(command);
    if (command == "SUB_EVENT") {
        std::string blob;
        // An absent field subscribes to nothing.
        events_->Subscribe(conn, GetBytes(message, 0, &blob) ? CodesFromBlob(blob) : std::vector<int>());
    } else if (command == "EVENT_KWIT") {
        std::string id;
        int32_t value = 0;
        if (!GetBytes(message, 0, &id))
            return;
        GetInt(message, 1, &value);
        events_->Acknowledge(server_ ? server_->UserOf(conn) : std::string(), id, value);
    }
    // Other one-way messages (tag and measurement writes of the full server) have nothing to act on here.
}

void StandHandler::SqlRequest(TLXCliParam *request, TLXCliParam *reply) {
    // Test aid: a server that keeps its link alive but stops answering selects.
    if (testStallSelectMs_ > 0)
        Wait(testStallSelectMs_);
    std::string sql;
    if (!GetBytes(request, 0, &sql)) {
        TLXPrmSetInt32(reply, 0, kStatusBadRequest);
        TLXPrmSetInt32(reply, 1, 0);
        Fail(reply, kStatusBadRequest, "field 0 must hold the SQL text", 3);
        return;
    }
    std::string packed, reason;
    int rows = 0;
    const int status = db_->Select(ClientTextToUtf8(sql), &packed, &rows, &reason);
    TLXPrmSetInt32(reply, 0, status);
    TLXPrmSetInt32(reply, 1, rows);
    if (status == 0) {
        TLXPrmSetBytes(reply, 2, int(packed.size()), packed.data());
    } else {
        Fail(reply, status, reason, 3);
    }
}

void StandHandler::SqlUpdate(tlx::ConnId conn, TLXCliParam *request, TLXCliParam *reply) {
    const std::string user = server_ ? server_->UserOf(conn) : std::string();
    if (!db_->CanEdit(user)) {
        Fail(reply, kStatusRefused, "user " + user + " may not change objects");
        return;
    }
    std::string table;
    if (!GetBytes(request, 0, &table)) {
        Fail(reply, kStatusBadRequest, "field 0 must hold the table name");
        return;
    }
    TLArray *array = nullptr;
    TLACreate(&array, 0);
    if (TLXCliGetArr(request, "_ARR", array) != 0) {
        TLADestroy(array);
        Fail(reply, kStatusBadRequest, "no record array _ARR");
        return;
    }
    std::string reason;
    const int status = db_->Update(Cp1251ToUtf8(table), array, &reason);
    TLADestroy(array);
    if (status == 0)
        TLXPrmSetInt32(reply, 0, 0);
    else
        Fail(reply, status, reason);
}

void StandHandler::MeasRead1(TLXCliParam *request, TLXCliParam *reply) {
    int32_t id = 0;
    double time = 0;
    if (!GetInt(request, 0, &id) || !GetDouble(request, 1, &time)) {
        Fail(reply, kStatusBadRequest, "MEAS_READ1 needs int32 id and double time");
        return;
    }
    std::string block;
    if (!db_->ReadLast(id, time, &block)) {
        Fail(reply, kStatusDbError, "archive not available");
        return;
    }
    TLXPrmSetBytes(reply, 0, int(block.size()), block.data());
}

void StandHandler::MeasRead2(TLXCliParam *request, TLXCliParam *reply) {
    int32_t id = 0;
    double from = 0, to = 0;
    if (!GetInt(request, 0, &id) || !GetDouble(request, 1, &from) || !GetDouble(request, 2, &to)) {
        Fail(reply, kStatusBadRequest, "MEAS_READ2 needs int32 id, double from and double to");
        return;
    }
    std::string block;
    if (!db_->ReadSpan(id, from, to, &block)) {
        Fail(reply, kStatusDbError, "archive not available");
        return;
    }
    TLXPrmSetBytes(reply, 0, int(block.size()), block.data());
}

void StandHandler::EventCode(TLXCliParam *request, TLXCliParam *reply) {
    std::string blob;
    double d1 = 0, d2 = 0;
    bool onlyUnacked = false;
    if (!GetBytes(request, 0, &blob) || !GetDouble(request, 1, &d1) || !GetDouble(request, 2, &d2)) {
        Fail(reply, kStatusBadRequest, "EVENT_CODE needs codes, two times and a flag", 3);
        TLXPrmSetInt32(reply, 1, 0);
        return;
    }
    GetBool(request, 3, &onlyUnacked);
    int status = 0;
    const std::vector<StoredEvent> found =
        db_->EventsByCodes(CodesFromBlob(blob), std::min(d1, d2), std::max(d1, d2), onlyUnacked, &status);
    if (status != 0) {
        Fail(reply, status,
             status == kStatusTooLarge ? "the events request took too long" : "the events could not be read", 3);
        TLXPrmSetInt32(reply, 1, 0);
        return;
    }

    TLArray *array = nullptr;
    TLACreate(&array, 0);
    struct Column {
        const char *name;
        int type;
    };
    static const Column columns[] = {{"_ID", TL_TEXT},      {"_CODE", TL_INT32},    {"_DT", TL_DOUBLE},
                                     {"_DTCP", TL_DOUBLE},  {"_OBJ", TL_TEXT},      {"_CAPTION", TL_TEXT},
                                     {"_COMMENT", TL_TEXT}, {"_DATA", TL_TEXT},     {"_USER", TL_TEXT},
                                     {"_KWIT", TL_BOOL},    {"_KWITUSER", TL_TEXT}, {"_KWITTIME", TL_DOUBLE}};
    for (const Column &c : columns)
        TLAFldAdd(array, c.name, c.type);
    for (const StoredEvent &e : found) {
        TLRecord *r = TLARecNew(array);
        auto text = [&](int field, const std::string &utf8, bool convert) {
            const std::string bytes = convert ? Utf8ToCp1251(utf8) : utf8;
            TLRSetAsText(TLAFld(array, field), r, int(bytes.size()), bytes.data());
        };
        text(0, e.id, false);
        TLRSetAsInt32(TLAFld(array, 1), r, e.code);
        TLRSetAsDouble(TLAFld(array, 2), r, e.registered);
        TLRSetAsDouble(TLAFld(array, 3), r, e.time);
        text(4, e.obj, true);
        text(5, e.caption, true);
        text(6, e.comment, true);
        text(7, e.data, true);
        text(8, e.user, true);
        TLRSetAsBool(TLAFld(array, 9), r, e.kwit);
        text(10, e.kwitUser, true);
        TLRSetAsDouble(TLAFld(array, 11), r, e.kwitTime);
        TLARecPost(array, r);
    }
    void *bytes = nullptr;
    int length = 0;
    if (TLAPack(array, &bytes, &length) != 0) {
        TLADestroy(array);
        Fail(reply, kStatusDbError, "cannot pack the events", 3);
        TLXPrmSetInt32(reply, 1, 0);
        return;
    }
    TLXPrmSetInt32(reply, 0, 0);
    TLXPrmSetInt32(reply, 1, int32_t(found.size()));
    TLXPrmSetBytes(reply, 2, length, bytes);
    TLMemFree(bytes);
    TLADestroy(array);
}

void StandHandler::SrvVersion(TLXCliParam *reply) {
    static const char name[] = "zenta-stand";
    static const char version[] = "MAJOR=1\r\nMINOR=7\r\nRELEASE=4";
    TLXPrmSetInt32(reply, 0, 0);
    TLXPrmSetText(reply, 1, int(sizeof name - 1), name);
    TLXPrmSetText(reply, 2, int(sizeof version - 1), version);
}

void StandHandler::AdminEvent(tlx::ConnId conn, TLXCliParam *request, TLXCliParam *reply) {
    if (!TestAidAllowed(conn, "ADMIN_EVENT", reply))
        return;
    int32_t code = 0;
    if (!GetInt(request, 0, &code)) {
        Fail(reply, kStatusBadRequest, "ADMIN_EVENT needs an int32 code in field 0");
        return;
    }
    StoredEvent event;
    event.code = code;
    std::string text;
    if (GetBytes(request, 1, &text))
        event.caption = ClientTextToUtf8(text);
    if (GetBytes(request, 2, &text))
        event.comment = ClientTextToUtf8(text);
    if (GetBytes(request, 3, &text))
        event.data = ClientTextToUtf8(text);
    bool kwit = false;
    if (GetBool(request, 4, &kwit))
        event.kwit = kwit;
    int32_t count = 1;
    if (TLXPrmFieldType(request, 5) != TL_NONE && (!GetInt(request, 5, &count) || count < 1 || count > 100000)) {
        Fail(reply, kStatusBadRequest, "count must be 1..100000");
        return;
    }
    if (GetBytes(request, 6, &text))
        event.obj = ClientTextToUtf8(text);
    double time = 0;
    if (GetDouble(request, 7, &time))
        event.time = time;
    event.user = server_ ? server_->UserOf(conn) : std::string();
    // A given id repeats an event already sent (tests of a client's update of a known event).
    if (GetBytes(request, 8, &text))
        event.id = text;

    std::string ids;
    std::string first;
    for (int i = 0; i < count; ++i) {
        StoredEvent copy = event;
        const std::string id = events_->Emit(copy);
        if (i == 0)
            first = id;
        ids += (i ? "\n" : "") + id;
    }
    TLXPrmSetInt32(reply, 0, 0);
    TLXPrmSetText(reply, 1, int(first.size()), first.data());
    TLXPrmSetInt32(reply, 2, count);
    TLXPrmSetText(reply, 3, int(ids.size()), ids.data());
}

void StandHandler::AdminFault(tlx::ConnId conn, TLXCliParam *request, TLXCliParam *reply) {
    if (!TestAidAllowed(conn, "ADMIN_FAULT", reply))
        return;
    std::string command, action;
    int32_t nth = 0;
    if (!GetBytes(request, 0, &command) || command.empty() || !GetInt(request, 1, &nth) || nth < 1 ||
        !GetBytes(request, 2, &action) || (action != "kill" && action != "freeze")) {
        Fail(reply, kStatusBadRequest, "ADMIN_FAULT needs a command, a count from 1 and kill or freeze");
        return;
    }
    std::lock_guard<std::mutex> lock(faultMutex_);
    faultCommand_ = command;
    faultCountdown_ = nth;
    faultSignal_ = action == "kill" ? SIGKILL : SIGSTOP;
    TLXPrmSetInt32(reply, 0, 0);
}

bool StandHandler::Wait(int ms) {
    std::unique_lock<std::mutex> lock(waitMutex_);
    return !waitCv_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return stopping_; });
}

void StandHandler::StopWaits() {
    {
        std::lock_guard<std::mutex> lock(waitMutex_);
        stopping_ = true;
    }
    waitCv_.notify_all();
}

void StandHandler::FaultPoint(const std::string &command) {
    int signal = 0;
    {
        std::lock_guard<std::mutex> lock(faultMutex_);
        if (faultCountdown_ == 0 || command != faultCommand_ || --faultCountdown_ > 0)
            return;
        signal = faultSignal_;
    }
    // Before the request is answered: the client is left waiting exactly as with a real crash or hang.
    std::raise(signal);
}

} // namespace stand
