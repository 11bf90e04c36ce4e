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
    return MeasurementList(202000000, QStringLiteral("Д: "));
}
