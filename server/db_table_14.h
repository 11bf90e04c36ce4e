// A server table cached in memory: rows by number, fields by name.
#pragma once

#include <QMap>
#include <QPair>
#include <QString>
#include <QVariant>
#include <QVector>

#include "tlx/tlx.h"

class QTextCodec;
class TLXService;

class DB_Table {
public:
    DB_Table(TLXService *service, QString tableName);
    virtual ~DB_Table();
    DB_Table(const DB_Table &) = delete;
    DB_Table &operator=(const DB_Table &) = delete;

    virtual bool LoadTable(QString filter);

    void ClearTableInMemory();
    void DeleteTable();

    // Rows of the last successful load; 0 when not loaded.
    int GetRecordCount() const;
    QString GetTableName() const { return tableName; }

    int GetFieldValueInt(int row, QString field);
    float GetFieldValueFloat(int row, QString field);
    double GetFieldValueDouble(int row, QString field);
    bool GetFieldValueBool(int row, QString field);
    QString GetFieldValueString(int row, QString field);

    bool SetFieldValueInt(int row, QString field, int value);
    bool SetFieldValueBool(int row, QString field, bool value);
    bool SetFieldValueString(int row, QString field, QString value);

    int FindRecordIndexByIntValue(const char *field, int value);
    int FindRecordIndexByStringValue(const char *field, QString value);

    // Doubles every apostrophe so a typed value stays one SQL literal.
    static QString QuoteSqlText(const QString &value);

    QString tableName;
    TLXService *service = nullptr;
    TLArray *records = nullptr;
    QTextCodec *codec = nullptr;

protected:
    bool Connected() const;
    // Runs a select (converted to the local 8-bit encoding) and keeps its rows; the old rows are dropped first.
    bool RunSelect(const QString &sql);
    // Field and record of a row, both null when either is missing.
    bool Locate(int row, const QString &field, TLField **f, TLRecord **r);
    // Sends one record flagged TLR_NEW / TLR_CHANGED / TLR_DELETED with the given fields (QString, int or
    // bool values) as an "SQL_UPDATE" in the layout of the cached rows; true when the server answered 0.
    bool WriteRecord(int flag, const QVector<QPair<QString, QVariant>> &fields);
    // Largest value of an int field over the cached rows, 0 when there are none.
    int MaxIntValue(const QString &field);
    // Rows of a measurement join as chooser entries: key base + locId, text prefix + name_ + " (locId)".
    QMap<int, QString> MeasurementList(int base, const QString &prefix);
};
