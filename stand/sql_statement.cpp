#include "stand/sql_statement.h"

#include <sqlite3.h>

#include <utility>

namespace stand {

SqlStatement::~SqlStatement() {
    Finalize();
}

SqlStatement::SqlStatement(SqlStatement &&other) noexcept
    : stmt_(std::exchange(other.stmt_, nullptr)), code_(other.code_) {}

SqlStatement &SqlStatement::operator=(SqlStatement &&other) noexcept {
    if (this != &other) {
        Finalize();
        stmt_ = std::exchange(other.stmt_, nullptr);
        code_ = other.code_;
    }
    return *this;
}

bool SqlStatement::Prepare(sqlite3 *db, const char *sql, int bytes, const char **tail, bool persistent) {
    Finalize();
    code_ = sqlite3_prepare_v3(db, sql, bytes, persistent ? SQLITE_PREPARE_PERSISTENT : 0, &stmt_, tail);
    return code_ == SQLITE_OK;
}

void SqlStatement::BindInt(int pos, int value) {
    if (stmt_)
        sqlite3_bind_int(stmt_, pos, value);
}

void SqlStatement::BindInt64(int pos, int64_t value) {
    if (stmt_)
        sqlite3_bind_int64(stmt_, pos, value);
}

void SqlStatement::BindDouble(int pos, double value) {
    if (stmt_)
        sqlite3_bind_double(stmt_, pos, value);
}

void SqlStatement::BindText(int pos, const std::string &value) {
    if (stmt_)
        sqlite3_bind_text(stmt_, pos, value.c_str(), int(value.size()), SQLITE_TRANSIENT);
}

void SqlStatement::BindBlob(int pos, const std::string &value) {
    if (stmt_)
        sqlite3_bind_blob(stmt_, pos, value.data(), int(value.size()), SQLITE_TRANSIENT);
}

void SqlStatement::BindNull(int pos) {
    if (stmt_)
        sqlite3_bind_null(stmt_, pos);
}

SqlStatement::StepResult SqlStatement::Step() {
    code_ = stmt_ ? sqlite3_step(stmt_) : SQLITE_MISUSE;
    return code_ == SQLITE_ROW ? kRow : code_ == SQLITE_DONE ? kDone : kError;
}

void SqlStatement::Reset() {
    if (stmt_)
        sqlite3_reset(stmt_);
}

void SqlStatement::ClearBindings() {
    if (stmt_)
        sqlite3_clear_bindings(stmt_);
}

void SqlStatement::Finalize() {
    sqlite3_finalize(stmt_);
    stmt_ = nullptr;
}

int SqlStatement::ColumnInt(int i) const {
    return sqlite3_column_int(stmt_, i);
}

int64_t SqlStatement::ColumnInt64(int i) const {
    return sqlite3_column_int64(stmt_, i);
}

double SqlStatement::ColumnDouble(int i) const {
    return sqlite3_column_double(stmt_, i);
}

std::string SqlStatement::ColumnText(int i) const {
    // The pointer first, then its length, as SQLite asks.
    const unsigned char *p = sqlite3_column_text(stmt_, i);
    return p ? std::string(reinterpret_cast<const char *>(p), size_t(sqlite3_column_bytes(stmt_, i))) : std::string();
}

std::string SqlStatement::ColumnBlob(int i) const {
    const void *p = sqlite3_column_blob(stmt_, i);
    return p ? std::string(static_cast<const char *>(p), size_t(sqlite3_column_bytes(stmt_, i))) : std::string();
}

} // namespace stand
