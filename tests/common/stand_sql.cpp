#include "stand_sql.h"

#include <sqlite3.h>

bool RunSql(const QString &path, const QString &sql, QString *error) {
    sqlite3 *db = nullptr;
    if (sqlite3_open(path.toUtf8().constData(), &db) != SQLITE_OK) {
        *error = QString::fromUtf8(sqlite3_errmsg(db));
        sqlite3_close(db);
        return false;
    }
    char *message = nullptr;
    const bool ok = sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!ok)
        *error = QString::fromUtf8(message);
    sqlite3_free(message);
    sqlite3_close(db);
    return ok;
}
