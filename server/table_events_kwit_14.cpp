#include "server/table_events_kwit_14.h"

#include "server/db.h"

Table_Events_Kwit::Table_Events_Kwit(TLXService *service) : DB_Table(service, QStringLiteral("T_EV_KWIT")) {}

bool Table_Events_Kwit::AddAcknowledgement(int, int, QString, QString, int, QString, QString) {
    emit signal_emitter->NotImplemented(QStringLiteral("AddAcknowledgement"));
    return true;
}
