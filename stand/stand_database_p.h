// Internals shared by the source files of StandDatabase.
#pragma once

#include "stand/sql_statement.h"
#include "stand/stand_database.h"

#include <sqlite3.h>

namespace stand {

constexpr int kWarmUpSeconds = 600;      // model time run before the first stored second
constexpr int kMaxSpanRecords = 2000000; // one archive reply stays below the 64 MiB frame limit
constexpr int kMaxEventsReply = 10000;
constexpr int kMaxSelectRows = 500000;
constexpr size_t kMaxReplyBytes = 64u << 20; // the protocol's frame limit
constexpr int kSelectTimeLimitMs = 15000;

// A read-only connection with the authorizer installed and the archive statements prepared.
struct StandDatabase::Reader {
    sqlite3 *db = nullptr;
    SqlStatement last;
    SqlStatement span;
    long long deadlineMs = 0; // for the progress handler of client selects
    ~Reader() {
        last.Finalize();
        span.Finalize();
        sqlite3_close_v2(db);
    }
};

} // namespace stand
