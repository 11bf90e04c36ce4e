// "T_DEDUR_OBJ": the tree of objects taking part in regulation.
#pragma once

#include "server/db_table_14.h"

class Table_Dedur_Objects : public DB_Table {
public:
    explicit Table_Dedur_Objects(TLXService *service);

    int GetMaxRecordId();
    int CreateObject(QString name, int typeId, int parentId, bool inRegulation, int order);
    bool UpdateObject(int id, QString name, int typeId, int parentId, bool inRegulation, int order);
    bool DeleteObject(int id);
    void UpdateTableRecord(int id, QString name, int typeId, int parentId, bool inRegulation, int order);
    bool RemoveOneRecordFromMemory(int id);
    bool LoadOneRecord(int id);
};
