// "EvDedur": events of the regulation episodes.
#pragma once

#include "server/db_table_14.h"

class Table_DEDUR_Events : public DB_Table {
public:
    explicit Table_DEDUR_Events(TLXService *service);

    // Sends the event request for the last five minutes; the cache is left as it was.
    bool LoadTable(QString filter) override;
    QString GetEventComment(QString keyLink);
    bool SetAcknowledgement(QString, bool);
};
