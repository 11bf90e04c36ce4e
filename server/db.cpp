#include "server/db.h"

#include <QDir>
#include <QSettings>
#include <QTextCodec>

#include "server/archive_measures_14.h"
#include "server/table_dedur_data_14.h"
#include "server/table_dedur_events_14.h"
#include "server/table_dedur_objects_14.h"
#include "server/table_dedur_settings_14.h"
#include "server/table_dedur_types_14.h"
#include "server/table_event_categories_14.h"
#include "server/table_event_codes_14.h"
#include "server/table_identified_objects_14.h"
#include "server/table_tables_14.h"
#include "server/table_ti_14.h"
#include "server/table_ts_14.h"
#include "server/table_users_14.h"
#include "support/settings.h"

namespace {
DBSignal emitterInstance;
}

DBSignal *signal_emitter = &emitterInstance;

void DataBaseClient::OnSockClose(bool) {
    // Runs on the library's thread; the automatic connection queues the slot onto the GUI thread.
    if (!signal_emitter->signalsBlocked())
        emit signal_emitter->ConnectionAborted(QStringLiteral("Потеряно соединение с сервером!"));
}

DB::DB() : codec(QTextCodec::codecForName("Windows-1251")) {}

DB::~DB() {
    CloseSession();
    DeleteTables();
}

void DB::DeleteTables() {
    delete tableUsers;
    tableUsers = nullptr;
    delete tableTables;
    tableTables = nullptr;
    delete tableEventCategories;
    tableEventCategories = nullptr;
    delete tableDedurObjects;
    tableDedurObjects = nullptr;
    delete tableDedurTypes;
    tableDedurTypes = nullptr;
    delete tableDedurSettings;
    tableDedurSettings = nullptr;
    delete tableDedurData;
    tableDedurData = nullptr;
    delete tableTI;
    tableTI = nullptr;
    delete tableTS;
    tableTS = nullptr;
    delete archiveMeasures;
    archiveMeasures = nullptr;
    delete tableEventCodes;
    tableEventCodes = nullptr;
    delete tableDedurEvents;
    tableDedurEvents = nullptr;
    delete tableIdentifiedObjects;
    tableIdentifiedObjects = nullptr;
}

void DB::ParseServerAddress(const QString &server, QString *host, unsigned *port) {
    const QStringList parts = server.split(QLatin1Char(':'), Qt::KeepEmptyParts);
    *host = parts.value(0);
    if (host->isEmpty())
        *host = QStringLiteral("localhost");
    *port = 1312;
    if (parts.size() >= 2) {
        bool ok = false;
        const int value = parts.at(1).toInt(&ok, 10);
        // A port outside 1..65535 cannot be meant; fall back to the default.
        if (ok && value > 0 && value <= 65535)
            *port = unsigned(value);
    }
}

bool DB::OpenSession(QString server, QString user, QString password) {
    DeleteTables();
    closedByRefusedWrite = false;

    QString host;
    unsigned port = 1312;
    ParseServerAddress(server, &host, &port);
    {
        const std::unique_ptr<QSettings> settings = Settings::Open();
        bool ok = false;
        // Fractions are allowed (tests shorten it); a bad value keeps the default rather than waiting for ever.
        const double seconds = settings->value(QStringLiteral("Network/REQUEST_TIMEOUT_SEC"), 30).toDouble(&ok);
        client.SetRequestTimeoutMs(ok && seconds >= 0.1 && seconds <= 3600 ? int(seconds * 1000) : 30000);
    }
    lastError.clear();
    lastErrorTitle.clear();
    if (!client.Open(host.toUtf8().constData(), user.toUtf8().constData(), password.toUtf8().constData(), port)) {
        // A server that refused the name or password is not a server that cannot be reached.
        lastErrorTitle = QStringLiteral("Ошибка");
        lastError = client.GetLastResult() == TLX_ERR_AUTH ? QStringLiteral("Неверное имя пользователя или пароль")
                                                           : QStringLiteral("Не удалось подключиться к серверу!");
        return false;
    }

    tableUsers = new Table_Users(&client);
    tableTables = new Table_Tables(&client);
    tableEventCategories = new Table_Event_Categories(&client);
    tableDedurObjects = new Table_Dedur_Objects(&client);
    tableDedurTypes = new Table_Dedur_Types(&client);
    tableDedurSettings = new Table_Dedur_Settings(&client);
    tableDedurData = new Table_Dedur_Data(&client);
    tableTI = new Table_TI(&client);
    tableTS = new Table_TS(&client);
    archiveMeasures = new Archive_Measures(&client);
    tableEventCodes = new Table_Event_Codes(&client);
    tableDedurEvents = new Table_DEDUR_Events(&client);
    tableIdentifiedObjects = new Table_Identified_Objects(&client);

    if (!LoadTablesOnServerConnect()) {
        lastErrorTitle = QStringLiteral("ОШИБКА");
        lastError = QStringLiteral("Не удалось прочитать таблицы с сервера!");
        CloseSession();
        return false;
    }

    // The typed login stays one SQL literal, whatever quotes it holds.
    if (tableUsers->LoadTable(QStringLiteral(" where login_='") + DB_Table::QuoteSqlText(user) + QStringLiteral("'")))
        userId = tableUsers->GetUserID(user);

    EventsSubscribe();
    return true;
}

bool DB::LoadTablesOnServerConnect() {
    if (!Connected())
        return false;
    DB_Table *const order[] = {tableTables,       tableDedurTypes, tableDedurSettings,
                               tableDedurObjects, tableDedurData,  tableEventCodes,
                               tableTI,           tableTS};
    for (DB_Table *table : order) {
        if (!table || !table->LoadTable(QString())) {
            CloseSession();
            return false;
        }
    }
    return true;
}

void DB::CloseSession() {
    client.Close();
}

void DB::CloseSessionAfterFailedWrite() {
    closedByRefusedWrite = Connected();
    CloseSession();
}

bool DB::Connected() const {
    return client.IsConnected();
}

bool DB::AcknowledeEvent(const char *event_id, int value) {
    return client.EventKwit(event_id, value);
}

TLXCliSes *DB::GetTLXSessionPtr() const {
    return client.GetHandle();
}
