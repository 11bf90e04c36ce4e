// "T_EV_KWIT": event acknowledgements (names the table only).
#pragma once

#include "server/db_table_14.h"

class Table_Events_Kwit : public DB_Table {
public:
    explicit Table_Events_Kwit(TLXService *service);

    bool AddAcknowledgement(int, int, QString, QString, int, QString, QString);
};
