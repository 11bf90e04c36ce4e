#include "server/table_dedur_data_14.h"

#include <QUuid>

Table_Dedur_Data::Table_Dedur_Data(TLXService *service) : DB_Table(service, QStringLiteral("T_DEDUR_DATA")) {}

int Table_Dedur_Data::GetMaxRecordId() {
    return MaxIntValue(QStringLiteral("DEDUR_DATA_ID"));
}

QList<Table_Dedur_Data::DataRecord> Table_Dedur_Data::GetSettingsDataByObjectId(int objectId) {
    QList<DataRecord> list;
    const int count = GetRecordCount();
    for (int row = 0; row < count; ++row) {
        if (GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_OBJ")) != objectId)
            continue;
        DataRecord record;
        record.id = GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_ID"));
        record.objectId = objectId;
        record.settingId = GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_SETTINGS"));
        record.value = GetFieldValueString(row, QStringLiteral("DEDUR_DATA_VALUE"));
        record.archiveTableId = GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_ARCH"));
        list.append(record);
    }
    return list;
}

namespace {
int FindObjectSetting(Table_Dedur_Data *table, int objectId, int settingId) {
    const int count = table->GetRecordCount();
    for (int row = 0; row < count; ++row) {
        if (table->GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_OBJ")) == objectId &&
            table->GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_SETTINGS")) == settingId)
            return row;
    }
    return -1;
}
} // namespace

int Table_Dedur_Data::GetObjectSettingDataId(int objectId, int settingId) {
    const int row = FindObjectSetting(this, objectId, settingId);
    return row < 0 ? -1 : GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_ID"));
}

QString Table_Dedur_Data::GetObjectSettingsDataValueString(int objectId, int settingId) {
    const int row = FindObjectSetting(this, objectId, settingId);
    return row < 0 ? QString() : GetFieldValueString(row, QStringLiteral("DEDUR_DATA_VALUE"));
}

int Table_Dedur_Data::GetObjectSettingsDataArchiveTableId(int objectId, int settingId) {
    const int row = FindObjectSetting(this, objectId, settingId);
    return row < 0 ? 0 : GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_ARCH"));
}

int Table_Dedur_Data::GetObjectSettingDataValueInt(int objectId, int settingId, int *archiveTableId) {
    const int row = FindObjectSetting(this, objectId, settingId);
    if (row < 0)
        return -1;
    const QString value = GetFieldValueString(row, QStringLiteral("DEDUR_DATA_VALUE"));
    if (value.isEmpty())
        return -1;
    if (archiveTableId)
        *archiveTableId = GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_ARCH"));
    return value.toInt(nullptr, 10);
}

bool Table_Dedur_Data::UpdateObjectSettingsData(QList<DataRecord> list) {
    int nextId = GetMaxRecordId();
    for (const DataRecord &record : list) {
        int id = record.id;
        QString keyLink;
        int flag;
        if (id != 0) {
            const int row = FindRecordIndexByIntValue("DEDUR_DATA_ID", id);
            if (row < 0)
                continue;
            keyLink = GetFieldValueString(row, QStringLiteral("KeyLink"));
            flag = TLR_CHANGED;
        } else {
            keyLink = QUuid::createUuid().toString();
            id = ++nextId;
            flag = TLR_NEW;
        }
        const bool written = WriteRecord(flag, {
                                                   {QStringLiteral("KeyLink"), keyLink},
                                                   {QStringLiteral("DEDUR_DATA_ID"), id},
                                                   {QStringLiteral("DEDUR_DATA_OBJ"), record.objectId},
                                                   {QStringLiteral("DEDUR_DATA_SETTINGS"), record.settingId},
                                                   {QStringLiteral("DEDUR_DATA_VALUE"), record.value},
                                                   {QStringLiteral("DEDUR_DATA_ARCH"), record.archiveTableId},
                                               });
        if (!written)
            return false;
    }
    LoadTable(QString());
    return true;
}

bool Table_Dedur_Data::DeleteObjectSettingsData(int dataId) {
    const int row = FindRecordIndexByIntValue("DEDUR_DATA_ID", dataId);
    if (row < 0)
        return false;
    if (!WriteRecord(TLR_DELETED, {{QStringLiteral("KeyLink"), GetFieldValueString(row, QStringLiteral("KeyLink"))}}))
        return false;
    RemoveOneRecordFromMemory(dataId);
    return true;
}

bool Table_Dedur_Data::DeleteAllSettingsDataForObject(int objectId) {
    for (const DataRecord &record : GetSettingsDataByObjectId(objectId)) {
        if (!DeleteObjectSettingsData(record.id))
            return false;
    }
    return true;
}

bool Table_Dedur_Data::RemoveOneRecordFromMemory(int id) {
    const int row = FindRecordIndexByIntValue("DEDUR_DATA_ID", id);
    if (row < 0)
        return false;
    TLARecDel(records, TLARec(records, 0, row));
    return true;
}
