#include "server/table_this_14.h"

Table_This::Table_This(TLXService *service) : DB_Table(service, QStringLiteral("T_THIS")) {}

int Table_This::GetMainEnergyObjectID() {
    if (GetRecordCount() == 0)
        LoadTable(QString());
    if (GetRecordCount() == 0)
        return -1;
    return GetFieldValueInt(0, QStringLiteral("USRS_ID"));
}
