#include "server/table_ts_14.h"

namespace {
const char *const DiscreteSelect =
    "select Measurement.KeyLink, Measurement.locId, IdentifiedObject.name_ from Measurement inner join "
    "IdentifiedObject on Measurement.KeyLink = IdentifiedObject.KeyLink where IdentifiedObject.ClassName = 'Discrete'";
}

Table_TS::Table_TS(TLXService *service) : DB_Table(service, QStringLiteral("Discrete")) {}

bool Table_TS::LoadTable(QString) {
    if (!Connected())
        return false;
    return RunSelect(QString::fromLatin1(DiscreteSelect));
}

QMap<int, QString> Table_TS::GetList(Table_Identified_Objects *) {
    QMap<int, QString> list;
    const int count = GetRecordCount();
    for (int row = 0; row < count; ++row) {
        const int locId = GetFieldValueInt(row, QStringLiteral("locId"));
        const QString name = GetFieldValueString(row, QStringLiteral("name_"));
        list[202000000 + locId] = QStringLiteral("Д: ") + name + QStringLiteral(" (") + QString::number(locId) + ')';
    }
    return list;
}
