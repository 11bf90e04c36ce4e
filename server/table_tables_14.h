// "Tables": the server's catalogue of tables.
#pragma once

#include "server/db_table_14.h"

class Table_Tables : public DB_Table {
public:
    explicit Table_Tables(TLXService *service);

    QString GetTableName(QString keyLink);
    QString GetTableID(QString nameLat);
};
