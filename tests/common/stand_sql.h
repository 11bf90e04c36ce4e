// Edits a stand server's database file directly, for tests that prepare unusual content.
#pragma once

#include <QString>

// Runs one or more SQL statements on the database at path; false with SQLite's message in *error.
bool RunSql(const QString &path, const QString &sql, QString *error);
