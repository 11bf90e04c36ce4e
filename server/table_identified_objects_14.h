// "IdentifiedObject": names of the server's objects, fetched one row at a time.
#pragma once

#include "server/db_table_14.h"

class Table_Identified_Objects : public DB_Table {
public:
    explicit Table_Identified_Objects(TLXService *service);

    QString GetNameByKeyLink(QString keyLink);
};
