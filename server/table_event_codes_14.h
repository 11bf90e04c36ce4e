// "EventCod": event codes with their display names and categories.
#pragma once

#include <QList>

#include "server/db_table_14.h"

class Table_Event_Codes : public DB_Table {
public:
    explicit Table_Event_Codes(TLXService *service);

    QString GetEventName(int code);
    QString GetEventCategoryID(int code);
    QList<int> GetAllEventCodesFromCategoryID(QString key);
};
