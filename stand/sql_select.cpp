#include "stand/stand_database_p.h"
#include "stand/text_codec.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <cstring>

namespace stand {
namespace {

long long NowMs() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool EqualsNoCase(const char *a, const char *b) {
    if (!a || !b)
        return false;
    for (; *a && *b; ++a, ++b) {
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b)))
            return false;
    }
    return *a == *b;
}

// Client selects may read every table but the credentials, and may do nothing else.
int Authorize(void *, int action, const char *a, const char *, const char *, const char *) {
    switch (action) {
    case SQLITE_SELECT:
    case SQLITE_RECURSIVE:
    case SQLITE_FUNCTION:
        return SQLITE_OK;
    case SQLITE_READ:
        return EqualsNoCase(a, "Credentials") ? SQLITE_DENY : SQLITE_OK;
    default:
        return SQLITE_DENY;
    }
}

// Set once the server is stopping: running selects end at their next progress check.
std::atomic<bool> readsAborted{false};

int Progress(void *context) {
    auto *deadline = static_cast<long long *>(context);
    return (*deadline > 0 && (NowMs() > *deadline || readsAborted.load(std::memory_order_relaxed))) ? 1 : 0;
}

int TypeFromDecl(const char *decl, int runtimeType) {
    if (decl) {
        std::string d(decl);
        std::transform(d.begin(), d.end(), d.begin(), [](unsigned char c) { return char(std::toupper(c)); });
        if (d.find("BOOL") != std::string::npos)
            return TL_BOOL;
        if (d.find("INT64") != std::string::npos || d.find("BIGINT") != std::string::npos)
            return TL_INT64;
        if (d.find("INT") != std::string::npos)
            return TL_INT32;
        if (d.find("DOUB") != std::string::npos || d.find("REAL") != std::string::npos ||
            d.find("FLOA") != std::string::npos)
            return TL_DOUBLE;
        if (d.find("CHAR") != std::string::npos || d.find("TEXT") != std::string::npos ||
            d.find("CLOB") != std::string::npos)
            return TL_TEXT;
        if (d.find("BLOB") != std::string::npos)
            return TL_BLOB;
    }
    switch (runtimeType) {
    case SQLITE_INTEGER:
        return TL_INT32;
    case SQLITE_FLOAT:
        return TL_DOUBLE;
    case SQLITE_BLOB:
        return TL_BLOB;
    default:
        return TL_TEXT;
    }
}

} // namespace

std::unique_ptr<StandDatabase::Reader> StandDatabase::TakeReader() {
    {
        std::lock_guard<std::mutex> lock(readersMutex_);
        if (!idleReaders_.empty()) {
            std::unique_ptr<Reader> reader = std::move(idleReaders_.back());
            idleReaders_.pop_back();
            return reader;
        }
    }
    auto reader = std::make_unique<Reader>();
    if (sqlite3_open_v2(path_.c_str(), &reader->db, SQLITE_OPEN_READONLY | SQLITE_OPEN_NOMUTEX, nullptr) != SQLITE_OK)
        return nullptr;
    sqlite3_busy_timeout(reader->db, 10000);
    // Reading a day of one measurement walks tens of megabytes of pages; mapping the file instead of
    // copying each page through read() halves the time of such a span.
    sqlite3_exec(reader->db, "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
    sqlite3_limit(reader->db, SQLITE_LIMIT_ATTACHED, 0);
    sqlite3_limit(reader->db, SQLITE_LIMIT_SQL_LENGTH, 100000);
    // One string or blob function call is a single step the progress handler cannot break into:
    // bound what one value can grow to instead (a reply cannot carry more anyway).
    sqlite3_limit(reader->db, SQLITE_LIMIT_LENGTH, int(kMaxReplyBytes));
    if (!reader->last.Prepare(reader->db,
                              "SELECT time, value, state FROM Archive WHERE meas_id = ?1 AND time <= ?2 "
                              "ORDER BY time DESC LIMIT 1",
                              -1, nullptr, true) ||
        !reader->span.Prepare(reader->db,
                              "SELECT time, value, state FROM Archive WHERE meas_id = ?1 AND time >= ?2 AND time <= ?3 "
                              "ORDER BY time",
                              -1, nullptr, true))
        return nullptr;
    // Installed after the archive statements, which therefore need no permission of their own.
    sqlite3_set_authorizer(reader->db, Authorize, nullptr);
    sqlite3_progress_handler(reader->db, 10000, Progress, &reader->deadlineMs);
    return reader;
}

void StandDatabase::GiveBack(std::unique_ptr<Reader> reader) {
    if (!reader)
        return;
    reader->deadlineMs = 0;
    std::lock_guard<std::mutex> lock(readersMutex_);
    if (idleReaders_.size() < 64)
        idleReaders_.push_back(std::move(reader));
}

int StandDatabase::Select(const std::string &sqlUtf8, std::string *packed, int *rows, std::string *reason) {
    *rows = 0;
    packed->clear();
    std::unique_ptr<Reader> reader = TakeReader();
    if (!reader) {
        *reason = "database not available";
        return kStatusDbError;
    }
    SqlStatement statement;
    const char *tail = nullptr;
    const bool prepared = statement.Prepare(reader->db, sqlUtf8.c_str(), int(sqlUtf8.size()), &tail);
    // Finished before the connection goes back to the pool, where another thread may take it.
    auto fail = [&](int status, const std::string &why) {
        statement.Finalize();
        *reason = why;
        GiveBack(std::move(reader));
        return status;
    };
    if (!prepared)
        return fail(kStatusBadRequest, sqlite3_errmsg(reader->db));
    if (!statement.IsPrepared())
        return fail(kStatusBadRequest, "empty statement");
    sqlite3_stmt *stmt = statement.Handle();
    if (!sqlite3_stmt_readonly(stmt))
        return fail(kStatusBadRequest, "only a select may be sent");
    // Exactly one statement: whatever follows must be blanks, semicolons or comments.
    if (tail && *tail) {
        SqlStatement next;
        const bool more = !next.Prepare(reader->db, tail) || next.IsPrepared();
        next.Finalize();
        if (more)
            return fail(kStatusBadRequest, "only one statement may be sent");
    }

    TLArray *array = nullptr;
    TLACreate(&array, 0);
    reader->deadlineMs = NowMs() + kSelectTimeLimitMs;
    SqlStatement::StepResult step = statement.Step();
    const int columns = sqlite3_column_count(stmt);
    std::vector<int> types(size_t(columns), TL_TEXT);
    for (int c = 0; c < columns; ++c) {
        types[size_t(c)] = TypeFromDecl(sqlite3_column_decltype(stmt, c),
                                        step == SqlStatement::kRow ? sqlite3_column_type(stmt, c) : SQLITE_NULL);
        const char *name = sqlite3_column_name(stmt, c);
        TLAFldAdd(array, name ? name : "", types[size_t(c)]);
    }
    const std::string firstName = columns > 0 && sqlite3_column_name(stmt, 0) ? sqlite3_column_name(stmt, 0) : "";
    std::vector<TLField *> fields(static_cast<size_t>(columns), nullptr);
    for (int c = 0; c < columns; ++c)
        fields[size_t(c)] = TLAFld(array, c);
    int count = 0;
    size_t resultBytes = 0;
    std::string text;
    while (step == SqlStatement::kRow) {
        if (count >= kMaxSelectRows) {
            TLADestroy(array);
            return fail(kStatusTooLarge, "more than " + std::to_string(kMaxSelectRows) + " rows; narrow the select");
        }
        // Rows are capped by count, their size by bytes: a few rows of huge values cannot fill memory.
        for (int c = 0; c < columns; ++c) {
            const int type = sqlite3_column_type(stmt, c);
            resultBytes += (type == SQLITE_TEXT || type == SQLITE_BLOB ? size_t(sqlite3_column_bytes(stmt, c)) : 0) + 8;
        }
        if (resultBytes > kMaxReplyBytes) {
            TLADestroy(array);
            return fail(kStatusTooLarge, "the result is larger than 64 MiB; narrow the select");
        }
        TLRecord *record = TLARecNew(array);
        for (int c = 0; c < columns; ++c) {
            if (sqlite3_column_type(stmt, c) == SQLITE_NULL)
                continue;
            TLField *field = fields[size_t(c)];
            switch (types[size_t(c)]) {
            case TL_BOOL:
                TLRSetAsBool(field, record, sqlite3_column_int64(stmt, c) != 0);
                break;
            case TL_INT32:
                TLRSetAsInt32(field, record, int32_t(sqlite3_column_int64(stmt, c)));
                break;
            case TL_INT64:
                TLRSetAsInt64(field, record, sqlite3_column_int64(stmt, c));
                break;
            case TL_DOUBLE:
                TLRSetAsDouble(field, record, sqlite3_column_double(stmt, c));
                break;
            case TL_BLOB: {
                const void *blob = sqlite3_column_blob(stmt, c);
                TLVal value{};
                value.Type = TL_BLOB;
                value.V.Text.Length = sqlite3_column_bytes(stmt, c);
                value.V.Text.Ptr = static_cast<const char *>(blob);
                TLRSetVal(field, record, &value);
                break;
            }
            default: {
                const unsigned char *p = sqlite3_column_text(stmt, c);
                text =
                    Utf8ToCp1251(std::string(reinterpret_cast<const char *>(p), size_t(sqlite3_column_bytes(stmt, c))));
                TLRSetAsText(field, record, int(text.size()), text.data());
                break;
            }
            }
        }
        TLARecPost(array, record);
        ++count;
        step = statement.Step();
    }
    if (step != SqlStatement::kDone) {
        const int rc = statement.LastCode();
        const std::string why = rc == SQLITE_INTERRUPT ? "the select took too long" : sqlite3_errmsg(reader->db);
        TLADestroy(array);
        return fail(rc == SQLITE_INTERRUPT || rc == SQLITE_TOOBIG ? kStatusTooLarge : kStatusDbError, why);
    }
    statement.Finalize();
    reader->deadlineMs = 0;
    GiveBack(std::move(reader));

    // Rows whose first column is KeyLink go out ordered by it, as the client expects.
    if (columns > 0 && types[0] == TL_TEXT && EqualsNoCase(firstName.c_str(), "KeyLink")) {
        const TLAKey key{firstName.c_str(), 0};
        TLAKeyAdd(array, 1, &key);
        TLARecSort(array);
    }
    void *bytes = nullptr;
    int length = 0;
    if (TLAPack(array, &bytes, &length) != 0) {
        TLADestroy(array);
        *reason = "cannot pack the result";
        return kStatusDbError;
    }
    packed->assign(static_cast<const char *>(bytes), size_t(length));
    TLMemFree(bytes);
    TLADestroy(array);
    *rows = count;
    return 0;
}

void StandDatabase::AbortReads() {
    readsAborted = true;
}

} // namespace stand
