#include "server/table_identified_objects_14.h"

Table_Identified_Objects::Table_Identified_Objects(TLXService *service)
    : DB_Table(service, QStringLiteral("IdentifiedObject")) {}

QString Table_Identified_Objects::GetNameByKeyLink(QString keyLink) {
    ClearTableInMemory();
    LoadTable(QStringLiteral(" where KeyLink='") + QuoteSqlText(keyLink) + QStringLiteral("'"));
    const int row = FindRecordIndexByStringValue("KeyLink", keyLink);
    return row < 0 ? QString() : GetFieldValueString(row, QStringLiteral("name_"));
}
