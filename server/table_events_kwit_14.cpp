#include "server/table_events_kwit_14.h"

#include <QMessageBox>

Table_Events_Kwit::Table_Events_Kwit(TLXService *service) : DB_Table(service, QStringLiteral("T_EV_KWIT")) {}

bool Table_Events_Kwit::AddAcknowledgement(int, int, QString, QString, int, QString, QString) {
    QMessageBox::warning(nullptr, QStringLiteral("AddAcknowledgement"), QStringLiteral("Функция не реализована!"),
                         QMessageBox::Ok);
    return true;
}
