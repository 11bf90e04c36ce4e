#include "server/table_event_codes_14.h"

Table_Event_Codes::Table_Event_Codes(TLXService *service) : DB_Table(service, QStringLiteral("EventCod")) {}

QString Table_Event_Codes::GetEventName(int code) {
    const int row = FindRecordIndexByIntValue("code", code);
    return row < 0 ? QString() : GetFieldValueString(row, QStringLiteral("nameLoc"));
}

QString Table_Event_Codes::GetEventCategoryID(int code) {
    const int row = FindRecordIndexByIntValue("code", code);
    return row < 0 ? QString() : GetFieldValueString(row, QStringLiteral("EventCatKey"));
}

QList<int> Table_Event_Codes::GetAllEventCodesFromCategoryID(QString key) {
    QList<int> codes;
    const int count = GetRecordCount();
    for (int row = 0; row < count; ++row) {
        if (GetFieldValueString(row, QStringLiteral("EventCatKey")) == key)
            codes.append(GetFieldValueInt(row, QStringLiteral("code")));
    }
    return codes;
}
