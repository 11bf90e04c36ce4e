// One prepared write run for many rows: the values of a row are bound in column order, then Run().
#pragma once

#include "stand/sql_statement.h"

#include <cstdint>
#include <string>

namespace stand {

class SqlInserter {
public:
    SqlInserter(sqlite3 *db, const char *sql);

    SqlInserter &Text(const std::string &v);
    SqlInserter &Int(int64_t v);
    SqlInserter &Real(double v);
    SqlInserter &Blob(const std::string &v);
    // Runs the statement with the values bound since the last run and clears them.
    bool Run();
    // False once the statement could not be prepared or any run failed.
    bool Ok() const { return stmt_.IsPrepared() && ok_; }

private:
    SqlStatement stmt_;
    int pos_ = 0;
    bool ok_ = true;
};

} // namespace stand
