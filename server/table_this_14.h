// "T_THIS": the station this server belongs to.
#pragma once

#include "server/db_table_14.h"

class Table_This : public DB_Table {
public:
    explicit Table_This(TLXService *service);

    int GetMainEnergyObjectID();
};
