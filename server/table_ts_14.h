// Discrete measurements ("Discrete" joined with their names).
#pragma once

#include <QMap>

#include "server/db_table_14.h"

class Table_Identified_Objects;

class Table_TS : public DB_Table {
public:
    explicit Table_TS(TLXService *service);

    bool LoadTable(QString filter) override;
    // Measurement reference (202000000 + locId) -> "Д: name (locId)".
    QMap<int, QString> GetList(Table_Identified_Objects *objects);
};
