// The stand server's SQLite storage: schema and demo content, credentials, the archive, read-only
// selects for clients, the ОПРЧ table writes and the event journal.
#pragma once

#include "stand/archive_cache.h"
#include "stand/demo_layout.h"
#include "stand/grid_model.h"
#include "stand/password_hash.h"

#include "tlx/tlx.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace stand {

// Status codes of replies besides 0.
enum StandStatus {
    kStatusRefused = 1,    // no right to do it
    kStatusBadRequest = 2, // missing or mistyped fields, not a single read-only select
    kStatusConflict = 3,   // duplicate id or KeyLink
    kStatusNotFound = 4,   // no row with that KeyLink, unknown event
    kStatusDbError = 5,    // the database failed; nothing was changed
    kStatusTooLarge = 6,   // the result would be too large
    kStatusUnknownCommand = 7,
};

struct StoredEvent {
    std::string id;
    int code = 0;
    double registered = 0;
    double time = 0;
    std::string obj, caption, comment, data, user; // UTF-8
    bool kwit = false;
    std::string kwitUser;
    double kwitTime = 0;
};

class StandDatabase {
public:
    StandDatabase();
    ~StandDatabase();
    StandDatabase(const StandDatabase &) = delete;
    StandDatabase &operator=(const StandDatabase &) = delete;

    // Opens path; a missing or unfinished database is created with the demo content and
    // backfillHours of history in one transaction. *created tells whether that happened. The history ends
    // at second backfillEnd, or at the second before now when it is 0.
    bool Open(const std::string &path, const DemoLayout &layout, GridModel *model, double backfillHours, bool *created,
              std::string *error, int64_t backfillEnd = 0);
    void Close();
    // Ends running client selects (and any started later) at their next progress check; for shutting down.
    void AbortReads();

    // Same hashing work for unknown users and wrong passwords.
    bool Authenticate(const std::string &login, const std::string &password);
    bool CanEdit(const std::string &login) const;

    // A single read-only select; the record array packed with TLAPack into *packed.
    int Select(const std::string &sqlUtf8, std::string *packed, int *rows, std::string *reason);
    // Applies the flagged records of array to an ОПРЧ table in one transaction.
    int Update(const std::string &table, TLArray *array, std::string *reason);

    // Archive blocks in the wire layout; false when the database failed.
    bool ReadLast(int measId, double time, std::string *block);
    bool ReadSpan(int measId, double from, double to, std::string *block);
    void AppendSamples(const std::vector<Sample> &samples);
    // Memory for finished archive hours that span reads copy instead of querying (0 = none).
    void SetArchiveCacheBytes(size_t bytes);
    // Latest archived second, 0 when the archive is empty.
    double LastArchiveTime();

    bool StoreEvent(const StoredEvent &event);
    // Stores an acknowledgement; false when the event is unknown. *event receives the stored event.
    bool Acknowledge(const std::string &id, const std::string &user, double time, int value, StoredEvent *event);
    // At most kMaxEventsReply events; *status is not 0 when the read failed or was cut short by the
    // time limit or a stopping server, so that a part is never taken for the whole.
    std::vector<StoredEvent> EventsByCodes(const std::vector<int> &codes, double from, double to, bool onlyUnacked,
                                           int *status = nullptr);

    // Units per station the stored demo was made with; 0 when unknown.
    int StoredUnitsPerStation();
    // The stored settings (key to value text) of every generating unit, by object id; a trainer changes
    // them while the stand runs and the simulator follows.
    std::map<int, std::map<std::string, std::string>> UnitSettings();
    // True once after another connection (a trainer's SQL session, say) committed a change.
    bool ChangedElsewhere();
    // Rows of a table through the writer (for tests of the server itself).
    int64_t CountRows(const std::string &table);

private:
    struct Reader;
    struct Column {
        std::string name;
        std::string declType;
    };

    bool CreateContent(const DemoLayout &layout, GridModel *model, double backfillHours, int64_t backfillEnd,
                       std::string *error);
    bool LoadCredentials(std::string *error);
    bool LoadWritableColumns(std::string *error);
    std::unique_ptr<Reader> TakeReader();
    void GiveBack(std::unique_ptr<Reader> reader);
    bool Exec(const char *sql, std::string *error);

    std::string path_;
    sqlite3 *writer_ = nullptr;
    std::mutex writeMutex_;
    int64_t dataVersion_ = -1;
    std::mutex readersMutex_;
    std::vector<std::unique_ptr<Reader>> idleReaders_;
    mutable std::mutex usersMutex_;
    struct Credential {
        PasswordHash hash;
        bool canEdit = false;
    };
    std::map<std::string, Credential> users_;
    PasswordHash decoy_;
    std::map<std::string, std::vector<Column>> writable_;

    // Span reads of finished hours. Samples are only ever appended later than every stored one, so an
    // hour that ends at or before the newest stored sample never changes again; a write elsewhere to
    // the file drops the whole cache.
    bool QuerySpan(Reader *reader, int measId, double from, double to, std::string *block, int32_t *count);
    bool CacheUsable();
    ArchiveCache archiveCache_{size_t(256) << 20};
    std::atomic<double> newestSample_{0};
    int64_t cacheDataVersion_ = -1; // guarded by writeMutex_
};

} // namespace stand
