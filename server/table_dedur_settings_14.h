// "T_DEDUR_SETTINGS": the settings each object type defines.
#pragma once

#include <QList>

#include "server/db_table_14.h"

class Table_Dedur_Settings : public DB_Table {
public:
    struct SettingsRecord {
        int id = 0;
        QString key;
        QString datatype;
        int type = 0;
        QString description;
        int order = 0;
    };

    explicit Table_Dedur_Settings(TLXService *service);

    QList<SettingsRecord> GetSettingListByTypeId(int typeId);
    int GetSettingIdByName(int typeId, QString key);
};
