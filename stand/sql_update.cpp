#include "stand/stand_database_p.h"
#include "stand/text_codec.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace stand {
namespace {

const char *const kWritableTables[] = {"T_DEDUR_OBJ", "T_DEDUR_DATA", "T_DEDUR_TYPE", "T_DEDUR_SETTINGS"};

std::string Upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(), [](unsigned char c) { return char(std::toupper(c)); });
    return s;
}

// One value to bind, taken from a record field.
struct Bound {
    int kind = SQLITE_NULL;
    int64_t i = 0;
    double d = 0;
    std::string s;
};

bool ReadValue(TLField *field, TLRecord *record, Bound *out) {
    TLVal v{};
    if (TLRGetVal(field, record, &v) != 0)
        return false;
    switch (v.Type) {
    case TL_NONE:
        out->kind = SQLITE_NULL;
        return true;
    case TL_BOOL:
        out->kind = SQLITE_INTEGER;
        out->i = v.V.Bool != 0;
        return true;
    case TL_BYTE:
        out->kind = SQLITE_INTEGER;
        out->i = v.V.Byte;
        return true;
    case TL_INT32:
        out->kind = SQLITE_INTEGER;
        out->i = v.V.Int32;
        return true;
    case TL_INT64:
        out->kind = SQLITE_INTEGER;
        out->i = v.V.Int64;
        return true;
    case TL_FLOAT:
        out->kind = SQLITE_FLOAT;
        out->d = v.V.Float;
        return true;
    case TL_DOUBLE:
        out->kind = SQLITE_FLOAT;
        out->d = v.V.Double;
        return true;
    case TL_TEXT:
    case TL_NAME:
        out->kind = SQLITE_TEXT;
        out->s = Cp1251ToUtf8(std::string(v.V.Text.Ptr ? v.V.Text.Ptr : "", size_t(std::max(0, v.V.Text.Length))));
        return true;
    case TL_BLOB:
        out->kind = SQLITE_BLOB;
        out->s.assign(v.V.Text.Ptr ? v.V.Text.Ptr : "", size_t(std::max(0, v.V.Text.Length)));
        return true;
    default:
        return false;
    }
}

// Numeric columns take numbers, or texts that are numbers; anything else would corrupt ids.
bool FitsColumn(const std::string &declType, Bound *value) {
    const std::string d = Upper(declType);
    const bool integer = d.find("INT") != std::string::npos || d.find("BOOL") != std::string::npos;
    const bool real = d.find("DOUB") != std::string::npos || d.find("REAL") != std::string::npos;
    if (!integer && !real) {
        if (value->kind == SQLITE_INTEGER || value->kind == SQLITE_FLOAT) {
            // Text columns (DEDUR_DATA_VALUE) keep numbers as their text.
            char text[40];
            if (value->kind == SQLITE_INTEGER)
                std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value->i));
            else
                std::snprintf(text, sizeof text, "%.15g", value->d);
            value->s = text;
            value->kind = SQLITE_TEXT;
        }
        return true;
    }
    if (value->kind == SQLITE_NULL)
        return true;
    if (value->kind == SQLITE_BLOB)
        return false;
    if (value->kind == SQLITE_TEXT) {
        errno = 0;
        char *end = nullptr;
        if (integer) {
            const long long n = std::strtoll(value->s.c_str(), &end, 10);
            if (value->s.empty() || *end != '\0' || errno != 0)
                return false;
            value->kind = SQLITE_INTEGER;
            value->i = n;
        } else {
            const double x = std::strtod(value->s.c_str(), &end);
            if (value->s.empty() || *end != '\0' || errno != 0)
                return false;
            value->kind = SQLITE_FLOAT;
            value->d = x;
        }
    }
    if (integer && value->kind == SQLITE_FLOAT) {
        if (value->d != std::floor(value->d))
            return false;
        value->kind = SQLITE_INTEGER;
        value->i = int64_t(value->d);
    }
    if (integer && d.find("INT32") != std::string::npos && (value->i < INT32_MIN || value->i > INT32_MAX))
        return false;
    return true;
}

void Bind(SqlStatement *stmt, int pos, const Bound &v) {
    switch (v.kind) {
    case SQLITE_INTEGER:
        stmt->BindInt64(pos, v.i);
        break;
    case SQLITE_FLOAT:
        stmt->BindDouble(pos, v.d);
        break;
    case SQLITE_TEXT:
        stmt->BindText(pos, v.s);
        break;
    case SQLITE_BLOB:
        stmt->BindBlob(pos, v.s);
        break;
    default:
        stmt->BindNull(pos);
        break;
    }
}

} // namespace

bool StandDatabase::LoadWritableColumns(std::string *error) {
    writable_.clear();
    for (const char *table : kWritableTables) {
        SqlStatement stmt;
        const std::string sql = std::string("PRAGMA table_info(") + table + ")";
        if (!stmt.Prepare(writer_, sql.c_str())) {
            *error = sqlite3_errmsg(writer_);
            return false;
        }
        std::vector<Column> columns;
        while (stmt.Step() == SqlStatement::kRow) {
            Column c;
            c.name = stmt.ColumnText(1);
            c.declType = stmt.ColumnText(2);
            columns.push_back(c);
        }
        writable_[table] = columns;
    }
    return true;
}

int StandDatabase::Update(const std::string &tableName, TLArray *array, std::string *reason) {
    auto tableIt = writable_.end();
    for (auto it = writable_.begin(); it != writable_.end(); ++it) {
        if (Upper(it->first) == Upper(tableName))
            tableIt = it;
    }
    if (tableIt == writable_.end()) {
        *reason = "table " + tableName + " cannot be changed";
        return kStatusRefused;
    }
    const std::string &table = tableIt->first;
    const std::vector<Column> &columns = tableIt->second;

    // Map the array's fields to the table's columns once.
    const int fieldCount = TLAFldCount(array);
    std::vector<const Column *> fieldColumn(size_t(std::max(0, fieldCount)), nullptr);
    int keyField = -1;
    for (int f = 0; f < fieldCount; ++f) {
        const char *name = TLFldName(TLAFld(array, f));
        for (const Column &c : columns) {
            if (name && Upper(c.name) == Upper(name))
                fieldColumn[size_t(f)] = &c;
        }
        if (fieldColumn[size_t(f)] && fieldColumn[size_t(f)]->name == "KeyLink")
            keyField = f;
    }

    std::lock_guard<std::mutex> lock(writeMutex_);
    if (!Exec("BEGIN IMMEDIATE", reason)) {
        return kStatusDbError;
    }
    int status = 0;
    const int count = TLARecCount(array);
    for (int r = 0; r < count && status == 0; ++r) {
        TLRecord *record = TLARec(array, 0, r);
        const int flags = TLRGetFlags(record);
        if (!(flags & (TLR_NEW | TLR_CHANGED | TLR_DELETED)))
            continue;
        std::vector<std::pair<const Column *, Bound>> values;
        Bound key;
        bool haveKey = false;
        if (keyField >= 0 && TLRIsNull(TLAFld(array, keyField), record) == 0 &&
            ReadValue(TLAFld(array, keyField), record, &key) && key.kind == SQLITE_TEXT && !key.s.empty())
            haveKey = true;
        for (int f = 0; f < fieldCount && status == 0; ++f) {
            TLField *field = TLAFld(array, f);
            if (TLRGetUser(field, record) != 1)
                continue;
            if (!fieldColumn[size_t(f)]) {
                *reason = std::string("no column ") + (TLFldName(field) ? TLFldName(field) : "") + " in " + table;
                status = kStatusBadRequest;
                break;
            }
            Bound value;
            if (!ReadValue(field, record, &value) || !FitsColumn(fieldColumn[size_t(f)]->declType, &value)) {
                *reason = "bad value for " + fieldColumn[size_t(f)]->name;
                status = kStatusBadRequest;
                break;
            }
            values.emplace_back(fieldColumn[size_t(f)], value);
        }
        if (status != 0)
            break;

        std::string sql;
        if (flags & TLR_DELETED) {
            sql = "DELETE FROM " + table + " WHERE KeyLink = ?";
        } else if (flags & TLR_NEW) {
            if (values.empty()) {
                *reason = "a new record without values";
                status = kStatusBadRequest;
                break;
            }
            std::string names, marks;
            for (const auto &v : values) {
                names += (names.empty() ? "" : ", ") + v.first->name;
                marks += marks.empty() ? "?" : ", ?";
            }
            sql = "INSERT INTO " + table + " (" + names + ") VALUES (" + marks + ")";
        } else {
            std::string sets;
            for (const auto &v : values) {
                if (v.first->name != "KeyLink")
                    sets += (sets.empty() ? "" : ", ") + v.first->name + " = ?";
            }
            sql = sets.empty() ? "UPDATE " + table + " SET KeyLink = KeyLink WHERE KeyLink = ?"
                               : "UPDATE " + table + " SET " + sets + " WHERE KeyLink = ?";
        }
        if (!(flags & TLR_NEW) && !haveKey) {
            *reason = "the record has no KeyLink";
            status = kStatusBadRequest;
            break;
        }
        SqlStatement stmt;
        if (!stmt.Prepare(writer_, sql.c_str())) {
            *reason = sqlite3_errmsg(writer_);
            status = kStatusDbError;
            break;
        }
        int pos = 0;
        if (flags & TLR_DELETED) {
            Bind(&stmt, ++pos, key);
        } else if (flags & TLR_NEW) {
            for (const auto &v : values)
                Bind(&stmt, ++pos, v.second);
        } else {
            for (const auto &v : values) {
                if (v.first->name != "KeyLink")
                    Bind(&stmt, ++pos, v.second);
            }
            Bind(&stmt, ++pos, key);
        }
        if (stmt.Step() != SqlStatement::kDone) {
            const int extended = sqlite3_extended_errcode(writer_);
            *reason = sqlite3_errmsg(writer_);
            status = (extended == SQLITE_CONSTRAINT_UNIQUE || extended == SQLITE_CONSTRAINT_PRIMARYKEY)
                         ? kStatusConflict
                         : (stmt.LastCode() == SQLITE_CONSTRAINT ? kStatusBadRequest : kStatusDbError);
        } else if (!(flags & TLR_NEW) && sqlite3_changes(writer_) == 0) {
            *reason = "no row with KeyLink " + key.s + " in " + table;
            status = kStatusNotFound;
        }
    }
    if (status != 0) {
        Exec("ROLLBACK", nullptr);
        return status;
    }
    if (!Exec("COMMIT", reason)) {
        Exec("ROLLBACK", nullptr);
        return kStatusDbError;
    }
    return 0;
}

} // namespace stand
