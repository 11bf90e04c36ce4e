// "Users": the server's users.
#pragma once

#include "server/db_table_14.h"

class Table_Users : public DB_Table {
public:
    explicit Table_Users(TLXService *service);

    QString GetUserID(QString name);
    QString GetUserLogin(QString keyLink);
};
