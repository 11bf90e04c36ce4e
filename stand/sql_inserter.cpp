#include "stand/sql_inserter.h"

namespace stand {

SqlInserter::SqlInserter(sqlite3 *db, const char *sql) {
    stmt_.Prepare(db, sql);
}

SqlInserter &SqlInserter::Text(const std::string &v) {
    stmt_.BindText(++pos_, v);
    return *this;
}

SqlInserter &SqlInserter::Int(int64_t v) {
    stmt_.BindInt64(++pos_, v);
    return *this;
}

SqlInserter &SqlInserter::Real(double v) {
    stmt_.BindDouble(++pos_, v);
    return *this;
}

SqlInserter &SqlInserter::Blob(const std::string &v) {
    stmt_.BindBlob(++pos_, v);
    return *this;
}

bool SqlInserter::Run() {
    const bool ok = stmt_.IsPrepared() && stmt_.Step() == SqlStatement::kDone;
    stmt_.Reset();
    stmt_.ClearBindings();
    pos_ = 0;
    ok_ = ok_ && ok;
    return ok;
}

} // namespace stand
