#include "server/table_tables_14.h"

Table_Tables::Table_Tables(TLXService *service) : DB_Table(service, QStringLiteral("Tables")) {}

QString Table_Tables::GetTableName(QString keyLink) {
    const int row = FindRecordIndexByStringValue("KeyLink", keyLink);
    return row < 0 ? QString() : GetFieldValueString(row, QStringLiteral("nameLat"));
}

QString Table_Tables::GetTableID(QString nameLat) {
    const int row = FindRecordIndexByStringValue("nameLat", nameLat);
    return row < 0 ? QString() : GetFieldValueString(row, QStringLiteral("KeyLink"));
}
