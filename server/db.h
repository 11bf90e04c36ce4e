// The session: the one server connection, every cached table and the global signal object.
#pragma once

#include <QDateTime>
#include <QObject>
#include <QString>
#include <QStringList>

#include "server/tlxservice.h"

class QTextCodec;
class Table_Users;
class Table_Tables;
class Table_Event_Categories;
class Table_Dedur_Objects;
class Table_Dedur_Types;
class Table_Dedur_Settings;
class Table_Dedur_Data;
class Table_TI;
class Table_TS;
class Archive_Measures;
class Table_Event_Codes;
class Table_DEDUR_Events;
class Table_Identified_Objects;

class DBSignal : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

signals:
    void ConnectionAborted(QString message);
    void EventAcknowledgmentRequired(QDateTime date, QString text, bool acknowledgment_required, QString event_id);
    void EventAcknowledgmentRequired2(int event_code, QDateTime date, QString text, bool acknowledgment_required,
                                      QString event_id, QString comment, QString csv_data);
    void AcknowledgeEvent(QDateTime date, QString text, bool acknowledgment_required, QString event_id);
    void EventAcknowledged(QString event_id);
    // The same acknowledgement with who gave it and when, as the server says.
    void EventAcknowledgedBy(QString event_id, QString user, QDateTime time);
    // An operation that is not implemented was called; the window tells the user, the session shows nothing.
    void NotImplemented(QString operation);
};

// Created before main runs, destroyed at exit.
extern DBSignal *signal_emitter;

class DataBaseClient : public TLXService {
public:
    void OnSockClose(bool flag) override;
};

class DB {
public:
    DB();
    ~DB();
    DB(const DB &) = delete;
    DB &operator=(const DB &) = delete;

    bool OpenSession(QString server, QString user, QString password);
    bool LoadTablesOnServerConnect();
    void CloseSession();
    // Closes the session after a failed object write; the server refused it when the link was still up.
    void CloseSessionAfterFailedWrite();
    // Whether the last close came from a write the server refused; a new session clears it.
    bool ClosedByRefusedWrite() const { return closedByRefusedWrite; }
    bool Connected() const;
    bool AcknowledeEvent(const char *event_id, int value);
    TLXCliSes *GetTLXSessionPtr() const;

    bool ReadEvents();
    QStringList GetEventCodesForSubscribe();
    bool EventsSubscribe();

    // The fields of a pushed event message; absent fields stay zero or empty.
    struct EventMessage {
        QByteArray id;
        int code = 0;
        double dt = 0;
        double dtcp = 0;
        QByteArray object;
        QByteArray caption;
        QByteArray comment;
        QByteArray data;
        QByteArray user;
        bool kwit = false;
        QByteArray kwitUser;
        double kwitTime = 0;
    };
    static EventMessage DecodeEventMessage(TLXCliParam *param);

    // Host and port of a server text "host[:port]"; empty host = localhost, missing or bad port = 1312.
    static void ParseServerAddress(const QString &server, QString *host, unsigned *port);

    Table_Users *tableUsers = nullptr;
    Table_Tables *tableTables = nullptr;
    Table_Event_Categories *tableEventCategories = nullptr;
    Table_Dedur_Objects *tableDedurObjects = nullptr;
    Table_Dedur_Types *tableDedurTypes = nullptr;
    Table_Dedur_Settings *tableDedurSettings = nullptr;
    Table_Dedur_Data *tableDedurData = nullptr;
    Table_TI *tableTI = nullptr;
    Table_TS *tableTS = nullptr;
    Archive_Measures *archiveMeasures = nullptr;
    Table_Event_Codes *tableEventCodes = nullptr;
    Table_DEDUR_Events *tableDedurEvents = nullptr;
    Table_Identified_Objects *tableIdentifiedObjects = nullptr;
    QString userId;
    // Why the last OpenSession failed and the title its warning carries; both empty after a success.
    // The session shows nothing itself: the window puts them in a box, the batch report prints them.
    QString LastError() const { return lastError; }
    QString LastErrorTitle() const { return lastErrorTitle; }
    DataBaseClient client;
    QTextCodec *codec = nullptr;

private:
    void DeleteTables();
    bool closedByRefusedWrite = false;
    QString lastError;
    QString lastErrorTitle;
};
