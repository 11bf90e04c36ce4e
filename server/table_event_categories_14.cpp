#include "server/table_event_categories_14.h"

Table_Event_Categories::Table_Event_Categories(TLXService *service) : DB_Table(service, QStringLiteral("EventCat")) {}

QString Table_Event_Categories::GetEventCategoryName(int id) {
    if (GetRecordCount() == 0)
        LoadTable(QString());
    const int row = FindRecordIndexByIntValue("EV_CAT_ID", id);
    return row < 0 ? QString() : GetFieldValueString(row, QStringLiteral("EV_CAT_NAME"));
}
