// One prepared SQLite statement, finalized when it goes.
#pragma once

#include <cstdint>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

namespace stand {

class SqlStatement {
public:
    enum StepResult { kRow, kDone, kError };

    SqlStatement() = default;
    ~SqlStatement();
    SqlStatement(const SqlStatement &) = delete;
    SqlStatement &operator=(const SqlStatement &) = delete;
    SqlStatement(SqlStatement &&other) noexcept;
    SqlStatement &operator=(SqlStatement &&other) noexcept;

    // False when SQLite refuses the text; sqlite3_errmsg(db) tells why. Text holding no statement
    // (blanks, comments) succeeds but prepares nothing. `tail` receives where the first statement ends;
    // a persistent statement is one kept for many runs.
    bool Prepare(sqlite3 *db, const char *sql, int bytes = -1, const char **tail = nullptr, bool persistent = false);
    bool IsPrepared() const { return stmt_ != nullptr; }
    // For what the wrapper does not cover: column metadata, values read without a copy.
    sqlite3_stmt *Handle() const { return stmt_; }

    // Positions count from 1. Texts and blobs are copied.
    void BindInt(int pos, int value);
    void BindInt64(int pos, int64_t value);
    void BindDouble(int pos, double value);
    void BindText(int pos, const std::string &value);
    void BindBlob(int pos, const std::string &value);
    void BindNull(int pos);

    StepResult Step();
    // SQLite's code of the last step, to tell an interrupt or a constraint from other failures.
    int LastCode() const { return code_; }
    // Ready to run again; bindings stay until cleared.
    void Reset();
    void ClearBindings();
    void Finalize();

    int ColumnInt(int i) const;
    int64_t ColumnInt64(int i) const;
    double ColumnDouble(int i) const;
    // Empty for NULL.
    std::string ColumnText(int i) const;
    std::string ColumnBlob(int i) const;

private:
    sqlite3_stmt *stmt_ = nullptr;
    int code_ = 0;
};

} // namespace stand
