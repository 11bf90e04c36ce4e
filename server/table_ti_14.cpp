#include "server/table_ti_14.h"

namespace {
const char *const AnalogSelect =
    "select Measurement.KeyLink, Measurement.locId, IdentifiedObject.name_ from Measurement inner join "
    "IdentifiedObject on Measurement.KeyLink = IdentifiedObject.KeyLink where IdentifiedObject.ClassName = 'Analog'";
}

Table_TI::Table_TI(TLXService *service) : DB_Table(service, QStringLiteral("Analog")) {}

bool Table_TI::LoadTable(QString) {
    if (!Connected())
        return false;
    return RunSelect(QString::fromLatin1(AnalogSelect));
}

QMap<int, QString> Table_TI::GetList(Table_Identified_Objects *) {
    return MeasurementList(201000000, QStringLiteral("А: "));
}
