// "EventCat": event categories, loaded on first use.
#pragma once

#include "server/db_table_14.h"

class Table_Event_Categories : public DB_Table {
public:
    explicit Table_Event_Categories(TLXService *service);

    QString GetEventCategoryName(int id);
};
