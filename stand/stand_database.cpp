#include "stand/stand_database.h"

#include "stand/demo_content.h"
#include "stand/sql_inserter.h"
#include "stand/stand_database_p.h"

#include "tlx/archive_layout.h"

#include <sqlite3.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace stand {

namespace {

const char *const kSchema = R"SQL(
CREATE TABLE StandInfo(key TEXT PRIMARY KEY NOT NULL, value TEXT);
CREATE TABLE Tables(KeyLink TEXT PRIMARY KEY NOT NULL, nameLat TEXT, nameLoc TEXT, TableId INT32);
CREATE TABLE Users(KeyLink TEXT PRIMARY KEY NOT NULL, name_ TEXT, login_ TEXT UNIQUE NOT NULL, fullName TEXT,
    canEdit BOOL NOT NULL DEFAULT 0);
CREATE TABLE Credentials(login_ TEXT PRIMARY KEY NOT NULL, salt BLOB NOT NULL, hash BLOB NOT NULL,
    iterations INT32 NOT NULL);
CREATE TABLE IdentifiedObject(KeyLink TEXT PRIMARY KEY NOT NULL, name_ TEXT, ClassName TEXT);
CREATE TABLE Measurement(KeyLink TEXT PRIMARY KEY NOT NULL, locId INT32 NOT NULL, unit TEXT, ArchiveTable INT32);
CREATE VIEW Analog AS SELECT Measurement.KeyLink AS KeyLink, Measurement.locId AS locId,
    IdentifiedObject.name_ AS name_ FROM Measurement INNER JOIN IdentifiedObject
    ON Measurement.KeyLink = IdentifiedObject.KeyLink WHERE IdentifiedObject.ClassName = 'Analog';
CREATE VIEW Discrete AS SELECT Measurement.KeyLink AS KeyLink, Measurement.locId AS locId,
    IdentifiedObject.name_ AS name_ FROM Measurement INNER JOIN IdentifiedObject
    ON Measurement.KeyLink = IdentifiedObject.KeyLink WHERE IdentifiedObject.ClassName = 'Discrete';
CREATE TABLE T_DEDUR_TYPE(KeyLink TEXT PRIMARY KEY NOT NULL, DEDUR_TYPE_ID INT32 UNIQUE NOT NULL,
    DEDUR_TYPE_NAME TEXT, DEDUR_TYPE_PARENT INT32);
CREATE TABLE T_DEDUR_SETTINGS(KeyLink TEXT PRIMARY KEY NOT NULL, DEDUR_SETTINGS_ID INT32 UNIQUE NOT NULL,
    DEDUR_SETTINGS_TYPE INT32, DEDUR_SETTINGS_KEY TEXT, DEDUR_SETTINGS_DESCRIPTION TEXT,
    DEDUR_SETTINGS_DATATYPE TEXT, DEDUR_SETTINGS_ORDER INT32);
CREATE TABLE T_DEDUR_OBJ(KeyLink TEXT PRIMARY KEY NOT NULL, DEDUR_OBJ_ID INT32 UNIQUE NOT NULL,
    DEDUR_OBJ_NAME TEXT, DEDUR_OBJ_TYPE INT32, DEDUR_OBJ_PARENT INT32, DEDUR_OBJ_IN_REGULATION BOOL,
    DEDUR_OBJ_ORDER INT32);
CREATE TABLE T_DEDUR_DATA(KeyLink TEXT PRIMARY KEY NOT NULL, DEDUR_DATA_ID INT32 UNIQUE NOT NULL,
    DEDUR_DATA_OBJ INT32, DEDUR_DATA_SETTINGS INT32, DEDUR_DATA_VALUE TEXT, DEDUR_DATA_ARCH INT32);
CREATE INDEX T_DEDUR_DATA_OBJ ON T_DEDUR_DATA(DEDUR_DATA_OBJ);
CREATE TABLE EventCat(KeyLink TEXT PRIMARY KEY NOT NULL, EV_CAT_ID INT32, EV_CAT_NAME TEXT);
CREATE TABLE EventCod(KeyLink TEXT PRIMARY KEY NOT NULL, code INT32 UNIQUE NOT NULL, nameLoc TEXT, EventCatKey TEXT);
CREATE TABLE EvDedur(KeyLink TEXT PRIMARY KEY NOT NULL, code INT32, time DOUBLE, registered DOUBLE, obj TEXT,
    caption TEXT, comment TEXT, data TEXT, userName TEXT, kwit BOOL, kwitUser TEXT, kwitTime DOUBLE);
CREATE INDEX EvDedur_time ON EvDedur(time);
CREATE TABLE T_EV_KWIT(KeyLink TEXT PRIMARY KEY NOT NULL, EV_ID TEXT, EV_CODE INT32, KWIT_USER TEXT,
    KWIT_TIME DOUBLE, KWIT_VALUE INT32);
CREATE TABLE T_THIS(KeyLink TEXT PRIMARY KEY NOT NULL, USRS_ID INT32);
CREATE TABLE Archive(meas_id INT32 NOT NULL, time DOUBLE NOT NULL, value DOUBLE, state INT32,
    PRIMARY KEY(meas_id, time)) WITHOUT ROWID;
)SQL";

void PutLE(std::string *out, const void *value, size_t size) {
    out->append(static_cast<const char *>(value), size);
}

void PutRecord(std::string *out, int measId, double time, double value, int32_t state) {
    namespace layout = archive_layout;
    char record[layout::RecordSize] = {char(layout::TypeSample)};
    std::memcpy(record + layout::OffsetMeasId, &measId, 4);
    std::memcpy(record + layout::OffsetFlags, &state, 4);
    std::memcpy(record + layout::OffsetTime, &time, 8);
    std::memcpy(record + layout::OffsetValue, &value, 8);
    out->append(record, sizeof record);
}

// The record count sits at the same place in both block headers.
void PutCount(std::string *block, int32_t count) {
    std::memcpy(&(*block)[archive_layout::OffsetHeaderCount], &count, 4);
}

} // namespace

StandDatabase::StandDatabase() {
    decoy_ = MakePasswordHash("decoy password that no one types");
}

StandDatabase::~StandDatabase() {
    Close();
}

bool StandDatabase::Exec(const char *sql, std::string *error) {
    char *message = nullptr;
    if (sqlite3_exec(writer_, sql, nullptr, nullptr, &message) != SQLITE_OK) {
        if (error)
            *error = message ? message : "sqlite error";
        sqlite3_free(message);
        return false;
    }
    return true;
}

bool StandDatabase::Open(const std::string &path, const DemoLayout &layout, GridModel *model, double backfillHours,
                         bool *created, std::string *error, int64_t backfillEnd) {
    path_ = path;
    *created = false;
    if (sqlite3_open_v2(path.c_str(), &writer_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                        nullptr) != SQLITE_OK) {
        *error = "cannot open " + path + ": " + (writer_ ? sqlite3_errmsg(writer_) : "out of memory");
        return false;
    }
    sqlite3_busy_timeout(writer_, 10000);
    if (!Exec("PRAGMA synchronous=NORMAL; PRAGMA foreign_keys=OFF;", error)) {
        *error = path + ": " + *error;
        return false;
    }

    // The content is written in one transaction with a ready mark, so a database whose creation was
    // interrupted has no mark and is made again.
    bool ready = false;
    {
        SqlStatement stmt;
        if (stmt.Prepare(writer_, "SELECT value FROM StandInfo WHERE key='ready'"))
            ready = stmt.Step() == SqlStatement::kRow;
    }
    if (!ready) {
        // The demo content is made in one transaction with the mark, so a file without the mark but with
        // tables belongs to something else: leave it alone.
        int tables = 0;
        {
            SqlStatement stmt;
            if (stmt.Prepare(writer_, "SELECT count(*) FROM sqlite_master") && stmt.Step() == SqlStatement::kRow)
                tables = stmt.ColumnInt(0);
        }
        if (tables > 0) {
            *error = path + " is not a zenta-stand database; give a new file name";
            return false;
        }
        if (!Exec("PRAGMA journal_mode=WAL", error) || !CreateContent(layout, model, backfillHours, backfillEnd, error))
            return false;
        *created = true;
    }
    if (!Exec("PRAGMA journal_mode=WAL", error))
        return false;
    newestSample_ = LastArchiveTime();
    return LoadCredentials(error) && LoadWritableColumns(error);
}

void StandDatabase::Close() {
    std::lock_guard<std::mutex> lock(readersMutex_);
    idleReaders_.clear();
    if (writer_) {
        sqlite3_close_v2(writer_);
        writer_ = nullptr;
    }
}

bool StandDatabase::CreateContent(const DemoLayout &layout, GridModel *model, double backfillHours, int64_t backfillEnd,
                                  std::string *error) {
    // Drop whatever an interrupted creation may have left.
    static const char *const drops[] = {"StandInfo",        "Tables",       "Users",        "Credentials",
                                        "IdentifiedObject", "Measurement",  "T_DEDUR_TYPE", "T_DEDUR_SETTINGS",
                                        "T_DEDUR_OBJ",      "T_DEDUR_DATA", "EventCat",     "EventCod",
                                        "EvDedur",          "T_EV_KWIT",    "T_THIS",       "Archive"};
    if (!Exec("BEGIN IMMEDIATE", error))
        return false;
    std::string sql = "DROP VIEW IF EXISTS Analog; DROP VIEW IF EXISTS Discrete;";
    for (const char *table : drops)
        sql += std::string("DROP TABLE IF EXISTS ") + table + ";";
    if (!Exec(sql.c_str(), error) || !Exec(kSchema, error)) {
        Exec("ROLLBACK", nullptr);
        return false;
    }

    bool ok = WriteDemoContent(writer_, layout);
    // The statements below are finished before the transaction ends.
    {
        // History: one sample per second per measurement up to the previous whole second.
        if (ok && backfillHours > 0 && model) {
            const int64_t end = backfillEnd > 0 ? backfillEnd : int64_t(std::time(nullptr)) - 1;
            const int64_t start = end - int64_t(std::llround(backfillHours * 3600.0)) + 1;
            model->Reset(start - kWarmUpSeconds);
            std::vector<Sample> samples;
            for (int64_t t = start - kWarmUpSeconds; t < start; ++t) {
                samples.clear();
                model->Step(t, &samples);
            }
            model->RequestDiscreteSnapshot();
            SqlInserter archive(writer_, "INSERT OR REPLACE INTO Archive VALUES(?,?,?,?)");
            for (int64_t t = start; t <= end; ++t) {
                samples.clear();
                model->Step(t, &samples);
                for (const Sample &s : samples)
                    archive.Int(s.measId).Real(s.time).Real(s.value).Int(s.state).Run();
            }
            ok = ok && archive.Ok();
        }

        SqlInserter info(writer_, "INSERT INTO StandInfo VALUES(?,?)");
        info.Text("ready").Text("1").Run();
        info.Text("units").Text(std::to_string(layout.stations.empty() ? 0 : layout.stations[0].units.size())).Run();
        ok = ok && info.Ok();
    }
    if (!ok) {
        *error = std::string("cannot create the demo content: ") + sqlite3_errmsg(writer_);
        Exec("ROLLBACK", nullptr);
        return false;
    }
    return Exec("COMMIT", error);
}

bool StandDatabase::LoadCredentials(std::string *error) {
    SqlStatement stmt;
    if (!stmt.Prepare(writer_, "SELECT Credentials.login_, salt, hash, iterations, Users.canEdit FROM Credentials "
                               "LEFT JOIN Users ON Users.login_ = Credentials.login_")) {
        *error = sqlite3_errmsg(writer_);
        return false;
    }
    std::lock_guard<std::mutex> lock(usersMutex_);
    users_.clear();
    while (stmt.Step() == SqlStatement::kRow) {
        Credential c;
        const std::string login = stmt.ColumnText(0);
        c.hash.salt = stmt.ColumnBlob(1);
        c.hash.hash = stmt.ColumnBlob(2);
        c.hash.iterations = stmt.ColumnInt(3);
        c.canEdit = stmt.ColumnInt(4) != 0;
        users_[login] = c;
    }
    return true;
}

bool StandDatabase::Authenticate(const std::string &login, const std::string &password) {
    Credential c;
    bool known = false;
    {
        std::lock_guard<std::mutex> lock(usersMutex_);
        auto it = users_.find(login);
        if (it != users_.end()) {
            c = it->second;
            known = true;
        }
    }
    // An unknown user is checked against a decoy hash of the same strength, so timing tells nothing.
    const bool match = CheckPassword(known ? c.hash : decoy_, password);
    return known && match;
}

bool StandDatabase::CanEdit(const std::string &login) const {
    std::lock_guard<std::mutex> lock(usersMutex_);
    auto it = users_.find(login);
    return it != users_.end() && it->second.canEdit;
}

void StandDatabase::AppendSamples(const std::vector<Sample> &samples) {
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (!writer_ || !Exec("BEGIN IMMEDIATE", nullptr))
        return;
    {
        SqlInserter archive(writer_, "INSERT OR REPLACE INTO Archive VALUES(?,?,?,?)");
        for (const Sample &s : samples)
            archive.Int(s.measId).Real(s.time).Real(s.value).Int(s.state).Run();
    }
    if (!Exec("COMMIT", nullptr)) {
        Exec("ROLLBACK", nullptr);
        return;
    }
    double newest = newestSample_;
    std::vector<std::pair<int, int64_t>> hours;
    hours.reserve(samples.size());
    for (const Sample &s : samples) {
        newest = std::max(newest, s.time);
        hours.emplace_back(s.measId, int64_t(std::floor(s.time / 3600)));
    }
    std::sort(hours.begin(), hours.end());
    hours.erase(std::unique(hours.begin(), hours.end()), hours.end());
    // Nothing older is written again (see newestSample_), but a cached hour never outlives a write to it.
    for (const auto &hour : hours)
        archiveCache_.Forget(hour.first, hour.second);
    newestSample_ = newest;
}

void StandDatabase::SetArchiveCacheBytes(size_t bytes) {
    archiveCache_.SetCap(bytes);
}

double StandDatabase::LastArchiveTime() {
    std::lock_guard<std::mutex> lock(writeMutex_);
    double last = 0;
    SqlStatement stmt;
    // Per measurement the newest row is one index probe; the demo's first station frequency is enough.
    if (stmt.Prepare(writer_, "SELECT max(time) FROM Archive WHERE meas_id = (SELECT min(meas_id) FROM Archive)") &&
        stmt.Step() == SqlStatement::kRow)
        last = stmt.ColumnDouble(0);
    return last;
}

int StandDatabase::StoredUnitsPerStation() {
    std::lock_guard<std::mutex> lock(writeMutex_);
    int units = 0;
    SqlStatement stmt;
    if (stmt.Prepare(writer_, "SELECT value FROM StandInfo WHERE key = 'units'") && stmt.Step() == SqlStatement::kRow)
        units = stmt.ColumnInt(0);
    return units;
}

std::map<int, std::map<std::string, std::string>> StandDatabase::UnitSettings() {
    std::map<int, std::map<std::string, std::string>> result;
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (!writer_)
        return result;
    SqlStatement stmt;
    const char *sql = "SELECT d.DEDUR_DATA_OBJ, s.DEDUR_SETTINGS_KEY, d.DEDUR_DATA_VALUE FROM T_DEDUR_DATA d "
                      "JOIN T_DEDUR_SETTINGS s ON s.DEDUR_SETTINGS_ID = d.DEDUR_DATA_SETTINGS "
                      "JOIN T_DEDUR_OBJ o ON o.DEDUR_OBJ_ID = d.DEDUR_DATA_OBJ WHERE o.DEDUR_OBJ_TYPE = ?";
    if (stmt.Prepare(writer_, sql)) {
        stmt.BindInt(1, kUnitType);
        while (stmt.Step() == SqlStatement::kRow)
            result[stmt.ColumnInt(0)][stmt.ColumnText(1)] = stmt.ColumnText(2);
    }
    return result;
}

bool StandDatabase::ChangedElsewhere() {
    std::lock_guard<std::mutex> lock(writeMutex_);
    if (!writer_)
        return false;
    int64_t version = dataVersion_;
    {
        SqlStatement stmt;
        if (stmt.Prepare(writer_, "PRAGMA data_version") && stmt.Step() == SqlStatement::kRow)
            version = stmt.ColumnInt64(0);
    }
    const bool changed = dataVersion_ >= 0 && version != dataVersion_;
    dataVersion_ = version;
    return changed;
}

int64_t StandDatabase::CountRows(const std::string &table) {
    std::lock_guard<std::mutex> lock(writeMutex_);
    int64_t count = -1;
    SqlStatement stmt;
    const std::string sql = "SELECT count(*) FROM \"" + table + "\"";
    if (stmt.Prepare(writer_, sql.c_str()) && stmt.Step() == SqlStatement::kRow)
        count = stmt.ColumnInt64(0);
    return count;
}

bool StandDatabase::ReadLast(int measId, double time, std::string *block) {
    std::unique_ptr<Reader> reader = TakeReader();
    if (!reader)
        return false;
    block->clear();
    const uint8_t kind = archive_layout::LastBlockKind;
    const int32_t count = 0;
    const int32_t zero = 0;
    PutLE(block, &kind, 1);
    PutLE(block, &measId, 4);
    PutLE(block, &count, 4);
    PutLE(block, &zero, 4);
    SqlStatement &stmt = reader->last;
    stmt.BindInt(1, measId);
    stmt.BindDouble(2, time);
    SqlStatement::StepResult step = stmt.Step();
    if (step == SqlStatement::kRow) {
        PutRecord(block, measId, stmt.ColumnDouble(0), stmt.ColumnDouble(1), stmt.ColumnInt(2));
        PutCount(block, 1);
        step = SqlStatement::kDone;
    }
    stmt.Reset();
    GiveBack(std::move(reader));
    return step == SqlStatement::kDone;
}

bool StandDatabase::QuerySpan(Reader *reader, int measId, double from, double to, std::string *block, int32_t *count) {
    if (from > to)
        return true;
    SqlStatement &stmt = reader->span;
    stmt.BindInt(1, measId);
    stmt.BindDouble(2, from);
    stmt.BindDouble(3, to);
    SqlStatement::StepResult step = SqlStatement::kError;
    while (*count < kMaxSpanRecords && (step = stmt.Step()) == SqlStatement::kRow) {
        PutRecord(block, measId, stmt.ColumnDouble(0), stmt.ColumnDouble(1), stmt.ColumnInt(2));
        ++*count;
    }
    if (*count >= kMaxSpanRecords)
        step = SqlStatement::kDone;
    stmt.Reset();
    return step == SqlStatement::kDone;
}

bool StandDatabase::CacheUsable() {
    if (archiveCache_.Cap() == 0)
        return false;
    // A read never waits for the writer's transaction: while it runs, the check waits for a later read.
    std::unique_lock<std::mutex> lock(writeMutex_, std::try_to_lock);
    if (!lock.owns_lock())
        return true;
    if (!writer_)
        return false;
    int64_t version = cacheDataVersion_;
    {
        SqlStatement stmt;
        if (stmt.Prepare(writer_, "PRAGMA data_version") && stmt.Step() == SqlStatement::kRow)
            version = stmt.ColumnInt64(0);
    }
    if (version != cacheDataVersion_) {
        // Another program wrote to the file: nothing held can be trusted, nor the newest sample.
        if (cacheDataVersion_ >= 0)
            archiveCache_.Clear();
        cacheDataVersion_ = version;
    }
    return true;
}

bool StandDatabase::ReadSpan(int measId, double from, double to, std::string *block) {
    std::unique_ptr<Reader> reader = TakeReader();
    if (!reader)
        return false;
    block->clear();
    const uint8_t kind = archive_layout::PeriodBlockKind;
    int32_t count = 0;
    const int32_t zero = 0;
    const double zeroTime = 0;
    PutLE(block, &kind, 1);
    PutLE(block, &measId, 4);
    PutLE(block, &count, 4);
    PutLE(block, &zeroTime, 8);
    PutLE(block, &zero, 4);
    // One sample a second is the usual density; reserving for it avoids regrowing a large block.
    const double seconds = to - from + 1;
    if (seconds > 0)
        block->reserve(archive_layout::PeriodHeaderSize +
                       archive_layout::RecordSize * size_t(std::min(seconds, double(kMaxSpanRecords))));

    bool ok = true;
    double cursor = from; // the first time not read yet
    constexpr double kHour = 3600;
    // Whole finished hours inside the span come from the cache; the rest, and any span too odd or too
    // long to walk hour by hour, from SQLite.
    if (std::isfinite(from) && std::isfinite(to) && to - from >= kHour && to - from <= 400 * 24 * kHour &&
        CacheUsable()) {
        const double newest = newestSample_;
        for (int64_t hour = int64_t(std::ceil(from / kHour)); ok && count < kMaxSpanRecords; ++hour) {
            const double start = double(hour) * kHour, end = start + kHour;
            if (end > to || end > newest)
                break;
            ok = QuerySpan(reader.get(), measId, cursor, std::nextafter(start, -HUGE_VAL), block, &count);
            size_t appended = 0;
            if (ok && count < kMaxSpanRecords &&
                archiveCache_.Append(measId, hour, block, size_t(kMaxSpanRecords - count), &appended)) {
                count += int32_t(appended);
            } else if (ok && count < kMaxSpanRecords) {
                const size_t before = block->size();
                ok = QuerySpan(reader.get(), measId, start, std::nextafter(end, -HUGE_VAL), block, &count);
                if (ok && count < kMaxSpanRecords)
                    archiveCache_.Store(measId, hour, block->substr(before));
            }
            cursor = end;
        }
    }
    if (ok && count < kMaxSpanRecords)
        ok = QuerySpan(reader.get(), measId, cursor, to, block, &count);
    PutCount(block, count);
    GiveBack(std::move(reader));
    return ok;
}

bool StandDatabase::StoreEvent(const StoredEvent &e) {
    std::lock_guard<std::mutex> lock(writeMutex_);
    SqlInserter insert(writer_, "INSERT OR REPLACE INTO EvDedur VALUES(?,?,?,?,?,?,?,?,?,?,?,?)");
    insert.Text(e.id)
        .Int(e.code)
        .Real(e.time)
        .Real(e.registered)
        .Text(e.obj)
        .Text(e.caption)
        .Text(e.comment)
        .Text(e.data)
        .Text(e.user)
        .Int(e.kwit)
        .Text(e.kwitUser)
        .Real(e.kwitTime);
    return insert.Run();
}

namespace {

StoredEvent EventFromRow(const SqlStatement &stmt) {
    StoredEvent e;
    e.id = stmt.ColumnText(0);
    e.code = stmt.ColumnInt(1);
    e.time = stmt.ColumnDouble(2);
    e.registered = stmt.ColumnDouble(3);
    e.obj = stmt.ColumnText(4);
    e.caption = stmt.ColumnText(5);
    e.comment = stmt.ColumnText(6);
    e.data = stmt.ColumnText(7);
    e.user = stmt.ColumnText(8);
    e.kwit = stmt.ColumnInt(9) != 0;
    e.kwitUser = stmt.ColumnText(10);
    e.kwitTime = stmt.ColumnDouble(11);
    return e;
}

} // namespace

bool StandDatabase::Acknowledge(const std::string &id, const std::string &user, double time, int value,
                                StoredEvent *event) {
    std::lock_guard<std::mutex> lock(writeMutex_);
    bool found = false;
    {
        SqlStatement stmt;
        if (stmt.Prepare(writer_, "SELECT * FROM EvDedur WHERE KeyLink = ?")) {
            stmt.BindText(1, id);
            if (stmt.Step() == SqlStatement::kRow) {
                *event = EventFromRow(stmt);
                found = true;
            }
        }
    }
    if (!found)
        return false;
    if (!Exec("BEGIN IMMEDIATE", nullptr))
        return true;
    bool ok = true;
    {
        // The first acknowledgement is the one that counts; later ones are journalled only.
        if (event->kwitUser.empty()) {
            event->kwitUser = user;
            event->kwitTime = time;
            SqlInserter update(writer_, "UPDATE EvDedur SET kwitUser = ?, kwitTime = ? WHERE KeyLink = ?");
            ok = update.Text(user).Real(time).Text(id).Run();
        }
        static uint64_t counter = 0;
        const uint64_t n = ++counter;
        SqlInserter journal(writer_, "INSERT INTO T_EV_KWIT VALUES(?,?,?,?,?,?)");
        char key[64];
        std::snprintf(key, sizeof key, "{%08X-%04X-4B1D-9C2E-%012llX}", unsigned(time), unsigned(n & 0xFFFF),
                      static_cast<unsigned long long>(n));
        ok = journal.Text(key).Text(id).Int(event->code).Text(user).Real(time).Int(value).Run() && ok;
    }
    if (!ok || !Exec("COMMIT", nullptr))
        Exec("ROLLBACK", nullptr);
    return true;
}

std::vector<StoredEvent> StandDatabase::EventsByCodes(const std::vector<int> &codes, double from, double to,
                                                      bool onlyUnacked, int *status) {
    std::vector<StoredEvent> result;
    if (status)
        *status = kStatusDbError;
    // A request may name millions of codes: a sorted list keeps each row's test short.
    std::vector<int> wanted(codes);
    std::sort(wanted.begin(), wanted.end());
    wanted.erase(std::unique(wanted.begin(), wanted.end()), wanted.end());
    // Read on a reader connection, never under the write lock: in WAL mode the archive writer and
    // every other client go on however long this read takes, and the select time limit (and a
    // stopping server) ends it through the reader's progress handler.
    std::unique_ptr<Reader> reader = TakeReader();
    if (!reader)
        return result;
    int rc = SQLITE_ERROR;
    reader->deadlineMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
            .count() +
        kSelectTimeLimitMs;
    SqlStatement stmt;
    const char *sql = "SELECT * FROM EvDedur WHERE time >= ? AND time <= ? ORDER BY time, KeyLink";
    if (stmt.Prepare(reader->db, sql)) {
        stmt.BindDouble(1, from);
        stmt.BindDouble(2, to);
        while (result.size() < size_t(kMaxEventsReply) && stmt.Step() == SqlStatement::kRow) {
            if (!std::binary_search(wanted.begin(), wanted.end(), stmt.ColumnInt(1)))
                continue;
            StoredEvent e = EventFromRow(stmt);
            if (!onlyUnacked || (e.kwit && e.kwitUser.empty()))
                result.push_back(std::move(e));
        }
        rc = stmt.LastCode();
        // The reply's cap ends the read as planned.
        if (result.size() >= size_t(kMaxEventsReply))
            rc = SQLITE_DONE;
    }
    // Finished before the connection goes back to the pool, where another thread may take it.
    stmt.Finalize();
    GiveBack(std::move(reader));
    if (status)
        *status = rc == SQLITE_DONE ? 0 : rc == SQLITE_INTERRUPT ? int(kStatusTooLarge) : int(kStatusDbError);
    if (rc != SQLITE_DONE)
        result.clear();
    return result;
}

} // namespace stand
