// Analog measurements ("Analog" joined with their names).
#pragma once

#include <QMap>

#include "server/db_table_14.h"

class Table_Identified_Objects;

class Table_TI : public DB_Table {
public:
    explicit Table_TI(TLXService *service);

    bool LoadTable(QString filter) override;
    // Measurement reference (201000000 + locId) -> "А: name (locId)".
    QMap<int, QString> GetList(Table_Identified_Objects *objects);
};
