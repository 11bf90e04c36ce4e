// "T_DEDUR_DATA": each object's values of its type's settings.
#pragma once

#include <QList>

#include "server/db_table_14.h"

class Table_Dedur_Data : public DB_Table {
public:
    struct DataRecord {
        int id = 0; // 0 = not yet on the server
        int objectId = 0;
        int settingId = 0;
        QString value;
        int archiveTableId = 0;
    };

    explicit Table_Dedur_Data(TLXService *service);

    int GetMaxRecordId();
    QList<DataRecord> GetSettingsDataByObjectId(int objectId);
    int GetObjectSettingDataId(int objectId, int settingId);
    QString GetObjectSettingsDataValueString(int objectId, int settingId);
    int GetObjectSettingsDataArchiveTableId(int objectId, int settingId);
    int GetObjectSettingDataValueInt(int objectId, int settingId, int *archiveTableId);

    bool UpdateObjectSettingsData(QList<DataRecord> records);
    bool DeleteObjectSettingsData(int dataId);
    bool DeleteAllSettingsDataForObject(int objectId);
    bool RemoveOneRecordFromMemory(int id);
};
