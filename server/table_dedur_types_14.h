// "T_DEDUR_TYPE": the hierarchy of object types.
#pragma once

#include <QMap>

#include "server/db_table_14.h"

class Table_Dedur_Types : public DB_Table {
public:
    explicit Table_Dedur_Types(TLXService *service);

    QMap<int, QString> GetTypesListByParentType(int parentTypeId);
    QMap<int, QString> GetTypesList();
    QString GetNameById(int typeId);
};
