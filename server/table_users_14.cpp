#include "server/table_users_14.h"

Table_Users::Table_Users(TLXService *service) : DB_Table(service, QStringLiteral("Users")) {}

QString Table_Users::GetUserID(QString name) {
    const int row = FindRecordIndexByStringValue("name_", name);
    return row < 0 ? QString() : GetFieldValueString(row, QStringLiteral("KeyLink"));
}

QString Table_Users::GetUserLogin(QString keyLink) {
    const int row = FindRecordIndexByStringValue("KeyLink", keyLink);
    return row < 0 ? QString() : GetFieldValueString(row, QStringLiteral("name_"));
}
