#include "server/table_dedur_settings_14.h"

#include <QMap>

Table_Dedur_Settings::Table_Dedur_Settings(TLXService *service)
    : DB_Table(service, QStringLiteral("T_DEDUR_SETTINGS")) {}

QList<Table_Dedur_Settings::SettingsRecord> Table_Dedur_Settings::GetSettingListByTypeId(int typeId) {
    // Keyed by order: of two settings with the same order the later row wins.
    QMap<int, SettingsRecord> byOrder;
    const int count = GetRecordCount();
    for (int row = 0; row < count; ++row) {
        if (GetFieldValueInt(row, QStringLiteral("DEDUR_SETTINGS_TYPE")) != typeId)
            continue;
        SettingsRecord record;
        record.id = GetFieldValueInt(row, QStringLiteral("DEDUR_SETTINGS_ID"));
        record.key = GetFieldValueString(row, QStringLiteral("DEDUR_SETTINGS_KEY"));
        record.datatype = GetFieldValueString(row, QStringLiteral("DEDUR_SETTINGS_DATATYPE"));
        record.type = typeId;
        record.description = GetFieldValueString(row, QStringLiteral("DEDUR_SETTINGS_DESCRIPTION"));
        record.order = GetFieldValueInt(row, QStringLiteral("DEDUR_SETTINGS_ORDER"));
        byOrder[record.order] = record;
    }
    return byOrder.values();
}

int Table_Dedur_Settings::GetSettingIdByName(int typeId, QString key) {
    const int count = GetRecordCount();
    for (int row = 0; row < count; ++row) {
        if (GetFieldValueInt(row, QStringLiteral("DEDUR_SETTINGS_TYPE")) == typeId &&
            GetFieldValueString(row, QStringLiteral("DEDUR_SETTINGS_KEY")) == key)
            return GetFieldValueInt(row, QStringLiteral("DEDUR_SETTINGS_ID"));
    }
    return -1;
}
