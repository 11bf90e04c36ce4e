#include "server/table_dedur_events_14.h"

#include <QDateTime>

#include "server/db.h"
#include "server/tlxservice.h"

Table_DEDUR_Events::Table_DEDUR_Events(TLXService *service) : DB_Table(service, QStringLiteral("EvDedur")) {}

bool Table_DEDUR_Events::LoadTable(QString) {
    if (!Connected())
        return false;
    static const int codes[] = {8301, 8302, 8303};
    const double now = double(QDateTime::currentSecsSinceEpoch());
    TLXCliParam *reply = nullptr;
    if (!service->EventRequest(codes, 3, now, now - 300, false, &reply))
        return false;
    if (!service->WaitResult(&reply))
        return false;
    service->FreeReply(reply);
    return true;
}

QString Table_DEDUR_Events::GetEventComment(QString keyLink) {
    const int row = FindRecordIndexByStringValue("KeyLink", keyLink);
    return row < 0 ? QString() : GetFieldValueString(row, QStringLiteral("comment"));
}

bool Table_DEDUR_Events::SetAcknowledgement(QString, bool) {
    emit signal_emitter->NotImplemented(QStringLiteral("SetAcknowledgement"));
    return false;
}
