#include "server/table_dedur_types_14.h"

Table_Dedur_Types::Table_Dedur_Types(TLXService *service) : DB_Table(service, QStringLiteral("T_DEDUR_TYPE")) {}

QMap<int, QString> Table_Dedur_Types::GetTypesListByParentType(int parentTypeId) {
    QMap<int, QString> types;
    const int count = GetRecordCount();
    for (int row = 0; row < count; ++row) {
        if (GetFieldValueInt(row, QStringLiteral("DEDUR_TYPE_PARENT")) == parentTypeId)
            types[GetFieldValueInt(row, QStringLiteral("DEDUR_TYPE_ID"))] =
                GetFieldValueString(row, QStringLiteral("DEDUR_TYPE_NAME"));
    }
    return types;
}

QMap<int, QString> Table_Dedur_Types::GetTypesList() {
    QMap<int, QString> types;
    const int count = GetRecordCount();
    for (int row = 0; row < count; ++row)
        types[GetFieldValueInt(row, QStringLiteral("DEDUR_TYPE_ID"))] =
            GetFieldValueString(row, QStringLiteral("DEDUR_TYPE_NAME"));
    return types;
}

QString Table_Dedur_Types::GetNameById(int typeId) {
    const int row = FindRecordIndexByIntValue("DEDUR_TYPE_ID", typeId);
    return row < 0 ? QString() : GetFieldValueString(row, QStringLiteral("DEDUR_TYPE_NAME"));
}
