// The session against a real stand server: login, server addresses, table loads, archive reads, writes,
// subscription and loss of the connection.
#include <QtTest>

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cmath>
#include <netinet/in.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "server/archive_measures_14.h"
#include "server/db.h"
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
#include "stand_process.h"
#include "stand_sql.h"

namespace {

// Closes every message box that appears while it lives, pressing its button, and remembers what it said:
// the session itself must show none.
class BoxCloser : public QObject {
public:
    BoxCloser() {
        connect(&timer, &QTimer::timeout, this, [this] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen << box->windowTitle() + QStringLiteral(" | ") + box->text();
            QAbstractButton *button = box->button(QMessageBox::Ok);
            if (!button && !box->buttons().isEmpty())
                button = box->buttons().first();
            if (button)
                button->click();
            else
                box->reject();
        });
        timer.start(20);
    }
    QStringList seen;

private:
    QTimer timer;
};

// Edits the stand's database while the stand is stopped.
QList<QByteArray> TextColumn(TLArray *array, const char *field) {
    QList<QByteArray> values;
    TLField *f = TLRFldByName(array, field);
    for (int i = 0; f && i < TLARecCount(array); ++i) {
        const char *text = nullptr;
        if (TLRGetTextPtr(f, TLARec(array, 0, i), &text) == 0 && text)
            values << QByteArray(text);
    }
    return values;
}

// Measurement id held by a setting of the first object that has it.
int MeasurementOf(DB &db, const QString &key) {
    Table_Dedur_Settings *settings = db.tableDedurSettings;
    Table_Dedur_Data *data = db.tableDedurData;
    for (int row = 0; row < data->GetRecordCount(); ++row) {
        const int settingId = data->GetFieldValueInt(row, QStringLiteral("DEDUR_DATA_SETTINGS"));
        const int settingRow = settings->FindRecordIndexByIntValue("DEDUR_SETTINGS_ID", settingId);
        if (settings->GetFieldValueString(settingRow, QStringLiteral("DEDUR_SETTINGS_KEY")) == key)
            return data->GetFieldValueString(row, QStringLiteral("DEDUR_DATA_VALUE")).toInt();
    }
    return 0;
}

// SIGSTOP takes effect asynchronously; a thread of the server may still answer until every one of them stops.
bool AllThreadsStopped(qint64 pid) {
    const QDir tasks(QStringLiteral("/proc/%1/task").arg(pid));
    const QStringList threads = tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString &thread : threads) {
        QFile stat(tasks.filePath(thread) + QStringLiteral("/stat"));
        if (!stat.open(QIODevice::ReadOnly))
            continue; // gone
        const QByteArray line = stat.readAll();
        const int close = line.lastIndexOf(')');
        if (close < 0 || close + 2 >= line.size() || (line.at(close + 2) != 'T' && line.at(close + 2) != 't'))
            return false;
    }
    return !threads.isEmpty();
}

// Kills a process from another thread once the test says it is about to wait; always joined.
class DelayedKiller {
public:
    explicit DelayedKiller(pid_t pid)
        : thread([this, pid] {
              while (!go)
                  std::this_thread::yield();
              if (pid > 0)
                  ::kill(pid, SIGKILL);
          }) {}
    ~DelayedKiller() {
        go = true;
        thread.join();
    }
    std::atomic<bool> go{false};

private:
    std::thread thread;
};

const QStringList standArgs{QStringLiteral("--backfill-hours"), QStringLiteral("1"), QStringLiteral("--no-sim")};

} // namespace

class SessionTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    void openSession_data();
    void openSession();
    void defaultPort_data();
    void defaultPort();
    void tableLoadFailure_data();
    void tableLoadFailure();
    void apostropheInLogin();
    void keyLinkOrder_data();
    void keyLinkOrder();
    void cyrillicRoundTrip_data();
    void cyrillicRoundTrip();
    void editRights_data();
    void editRights();
    void settingsDataWrites();
    void subscription_data();
    void subscription();
    void archiveRead_data();
    void archiveRead();
    void connectionLoss_data();
    void connectionLoss();
    void serverVersion();
    void reopen();
    void otherCommands_data();
    void otherCommands();

private:
    StandProcess stand;
    QTemporaryDir workDir;
};

void SessionTest::initTestCase() {
    QVERIFY(workDir.isValid());
    QVERIFY(QDir::setCurrent(workDir.path())); // dedur.ini of this test only
    QVERIFY2(stand.Start(standArgs), qPrintable(stand.Error()));
}

void SessionTest::cleanupTestCase() {
    stand.Stop();
}

void SessionTest::openSession_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("opened");

    const QString address = stand.Address();
    QTest::newRow("engineer") << address << "engineer"
                              << "engineer" << true;
    QTest::newRow("operator") << address << "operator"
                              << "operator" << true;
    QTest::newRow("trailing-address-part") << address + ":x"
                                           << "operator"
                                           << "operator" << true;
    QTest::newRow("wrong-password") << address << "operator"
                                    << "engineer" << false;
    QTest::newRow("empty-password") << address << "operator"
                                    << "" << false;
    QTest::newRow("unknown-user") << address << "nobody"
                                  << "nobody" << false;
    QTest::newRow("injection-in-login") << address << "operator' --"
                                        << "operator" << false;
}

void SessionTest::openSession() {
    QFETCH(QString, server);
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, opened);

    DB db;
    BoxCloser boxes;
    QCOMPARE(db.OpenSession(server, user, password), opened);
    QCOMPARE(db.Connected(), opened);
    // The session shows no box itself; the window shows the failure it reports.
    QVERIFY(boxes.seen.isEmpty());
    if (!opened) {
        // Every refusal here is the server's word on the name or password, not a server out of reach.
        QCOMPARE(db.LastErrorTitle() + QStringLiteral(" | ") + db.LastError(),
                 QStringLiteral("Ошибка | Неверное имя пользователя или пароль"));
        QVERIFY(!db.tableTables);
        QVERIFY(db.userId.isEmpty());
        return;
    }
    QVERIFY(db.LastError().isEmpty());
    QCOMPARE(db.tableUsers->GetRecordCount(), 1);
    QVERIFY(!db.userId.isEmpty());
    QCOMPARE(db.tableUsers->GetUserLogin(db.userId), user);
    const QVector<DB_Table *> loaded{db.tableTables,       db.tableDedurTypes, db.tableDedurSettings,
                                     db.tableDedurObjects, db.tableDedurData,  db.tableEventCodes,
                                     db.tableTI,           db.tableTS};
    for (DB_Table *table : loaded)
        QVERIFY2(table->GetRecordCount() > 0, qPrintable(table->GetTableName()));
    // Loaded on demand only.
    QCOMPARE(db.tableEventCategories->GetRecordCount(), 0);
    QCOMPARE(db.tableIdentifiedObjects->GetRecordCount(), 0);
    QCOMPARE(db.tableEventCategories->GetEventCategoryName(2), QStringLiteral("ОПРЧ"));
    QVERIFY(db.tableEventCategories->GetRecordCount() > 0);
    QVERIFY(db.client.EventInSub(501));

    // Measurement choosers: reference = archive table id * 1000000 + locId, text shows the bare locId.
    const QMap<int, QString> analog = db.tableTI->GetList(nullptr);
    const QMap<int, QString> discrete = db.tableTS->GetList(nullptr);
    QVERIFY(!analog.isEmpty() && !discrete.isEmpty());
    for (auto it = analog.cbegin(); it != analog.cend(); ++it) {
        QVERIFY(it.key() > 201000000 && it.key() < 202000000);
        QVERIFY2(it->startsWith(QStringLiteral("А: ")) &&
                     it->endsWith(QStringLiteral(" (%1)").arg(it.key() - 201000000)),
                 qPrintable(*it));
    }
    for (auto it = discrete.cbegin(); it != discrete.cend(); ++it) {
        QVERIFY(it.key() > 202000000 && it.key() < 203000000);
        QVERIFY2(it->startsWith(QStringLiteral("Д: ")) &&
                     it->endsWith(QStringLiteral(" (%1)").arg(it.key() - 202000000)),
                 qPrintable(*it));
    }

    // The regulation events request succeeds but fills no rows.
    QVERIFY(db.tableDedurEvents->LoadTable(QString()));
    QCOMPARE(db.tableDedurEvents->GetRecordCount(), 0);
}

// The default port 1312 is used whenever the text names no usable port: a listener there sees the attempt.
void SessionTest::defaultPort_data() {
    QTest::addColumn<QString>("server");
    QTest::newRow("host-only") << "127.0.0.1";
    QTest::newRow("port-not-number") << "127.0.0.1:abc";
    QTest::newRow("port-zero") << "127.0.0.1:0";
    QTest::newRow("empty-port") << "127.0.0.1:";
}

void SessionTest::defaultPort() {
    QFETCH(QString, server);

    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    QVERIFY(listener >= 0);
    const int yes = 1;
    setsockopt(listener, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(1312);
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(listener, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0 || listen(listener, 4) != 0) {
        close(listener);
        QSKIP("port 1312 is taken on this machine");
    }
    std::atomic<int> accepted{0};
    // Accepts one connection and drops it, so the login fails at once.
    std::thread acceptor([&] {
        const int peer = accept(listener, nullptr, nullptr);
        if (peer >= 0) {
            accepted = 1;
            close(peer);
        }
    });

    DB db;
    BoxCloser boxes;
    const bool opened = db.OpenSession(server, QStringLiteral("operator"), QStringLiteral("operator"));
    shutdown(listener, SHUT_RDWR); // ends accept() when nothing came
    acceptor.join();
    close(listener);
    QVERIFY(!opened);
    QCOMPARE(accepted.load(), 1);
    QCOMPARE(db.LastError(), QStringLiteral("Не удалось подключиться к серверу!"));
    QVERIFY(boxes.seen.isEmpty());
}

void SessionTest::tableLoadFailure_data() {
    QTest::addColumn<QString>("table");
    QTest::addColumn<int>("loadedBefore"); // tables of the connect order that still get their rows

    QTest::newRow("Tables") << "Tables" << 0;
    QTest::newRow("T_DEDUR_TYPE") << "T_DEDUR_TYPE" << 1;
    QTest::newRow("T_DEDUR_SETTINGS") << "T_DEDUR_SETTINGS" << 2;
    QTest::newRow("T_DEDUR_OBJ") << "T_DEDUR_OBJ" << 3;
    QTest::newRow("T_DEDUR_DATA") << "T_DEDUR_DATA" << 4;
    QTest::newRow("EventCod") << "EventCod" << 5;
    QTest::newRow("Measurement") << "Measurement" << 6;
}

// A server that lacks one table: the tables before it in the connect order are loaded, the rest are never
// asked, the connection is closed and one box tells the user.
void SessionTest::tableLoadFailure() {
    QFETCH(QString, table);
    QFETCH(int, loadedBefore);

    StandProcess broken;
    QVERIFY2(broken.Start(standArgs), qPrintable(broken.Error()));
    broken.Stop();
    QString error;
    QVERIFY2(RunSql(broken.DatabasePath(), QStringLiteral("ALTER TABLE %1 RENAME TO Hidden_%1").arg(table), &error),
             qPrintable(error));
    QVERIFY2(broken.Restart(), qPrintable(broken.Error()));

    DB db;
    BoxCloser boxes;
    QVERIFY(!db.OpenSession(broken.Address(), QStringLiteral("engineer"), QStringLiteral("engineer")));
    QCOMPARE(db.LastErrorTitle() + QStringLiteral(" | ") + db.LastError(),
             QStringLiteral("ОШИБКА | Не удалось прочитать таблицы с сервера!"));
    QVERIFY(boxes.seen.isEmpty());
    QVERIFY(!db.Connected());
    const QVector<DB_Table *> order{db.tableTables,       db.tableDedurTypes, db.tableDedurSettings,
                                    db.tableDedurObjects, db.tableDedurData,  db.tableEventCodes,
                                    db.tableTI,           db.tableTS};
    for (int i = 0; i < order.size(); ++i) {
        QVERIFY(order[i]);
        QVERIFY2(
            (order[i]->GetRecordCount() > 0) == (i < loadedBefore),
            qPrintable(QStringLiteral("%1 has %2 rows").arg(order[i]->GetTableName()).arg(order[i]->GetRecordCount())));
    }
    // The users load comes after the tables and is not reached.
    QCOMPARE(db.tableUsers->GetRecordCount(), 0);
}

// A login holding an apostrophe reaches the users filter as one literal.
void SessionTest::apostropheInLogin() {
    StandProcess quoted;
    QVERIFY2(quoted.Start(standArgs), qPrintable(quoted.Error()));
    quoted.Stop();
    QString error;
    QVERIFY2(RunSql(quoted.DatabasePath(),
                    QStringLiteral("INSERT INTO Users VALUES('{0B51E9E0-0000-0000-0000-000000000001}', 'o''brien', "
                                   "'o''brien', 'O''Brien', 0);"
                                   "INSERT INTO Credentials SELECT 'o''brien', salt, hash, iterations FROM Credentials "
                                   "WHERE login_ = 'operator';"),
                    &error),
             qPrintable(error));
    QVERIFY2(quoted.Restart(), qPrintable(quoted.Error()));

    DB db;
    BoxCloser boxes;
    QVERIFY(db.OpenSession(quoted.Address(), QStringLiteral("o'brien"), QStringLiteral("operator")));
    QVERIFY(boxes.seen.isEmpty());
    QCOMPARE(db.userId, QStringLiteral("{0B51E9E0-0000-0000-0000-000000000001}"));

    // The same quoting guards the one-row lookup of object names.
    QCOMPARE(db.tableIdentifiedObjects->GetNameByKeyLink(QStringLiteral("x' or '1'='1")), QString());
    QCOMPARE(db.tableIdentifiedObjects->GetRecordCount(), 0);
}

void SessionTest::keyLinkOrder_data() {
    QTest::addColumn<QString>("sql");
    QTest::addColumn<QString>("column");
    QTest::addColumn<bool>("byKeyLink");

    QTest::newRow("keylink-first-reversed") << "select KeyLink, nameLat from Tables order by KeyLink desc"
                                            << "KeyLink" << true;
    QTest::newRow("lower-case-name") << "select KeyLink as keylink, nameLat from Tables order by nameLat desc"
                                     << "keylink" << true;
    QTest::newRow("keylink-second") << "select nameLat, KeyLink from Tables order by KeyLink desc"
                                    << "KeyLink" << false;
}

void SessionTest::keyLinkOrder() {
    QFETCH(QString, sql);
    QFETCH(QString, column);
    QFETCH(bool, byKeyLink);

    DB db;
    QVERIFY(db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")));
    TLArray *array = db.client.DoSqlRequest(sql.toUtf8().constData());
    QVERIFY(array);
    const QList<QByteArray> keys = TextColumn(array, column.toUtf8().constData());
    TLADestroy(array);
    QVERIFY(keys.size() > 2);
    QList<QByteArray> ascending = keys;
    std::sort(ascending.begin(), ascending.end());
    if (byKeyLink) {
        QCOMPARE(keys, ascending);
    } else {
        // Left in the server's order, which was descending.
        QList<QByteArray> descending = ascending;
        std::reverse(descending.begin(), descending.end());
        QCOMPARE(keys, descending);
    }
}

void SessionTest::cyrillicRoundTrip_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("stored");

    QTest::newRow("cyrillic") << "Энергоблок №3 «Ёлка»"
                              << "Энергоблок №3 «Ёлка»";
    QTest::newRow("mixed-with-quote") << "ГТУ-1 (unit 'A')"
                                      << "ГТУ-1 (unit 'A')";
    QTest::newRow("not-in-1251") << "Блок ☃"
                                 << "Блок ?";
}

// Names written through the session come back equal from a fresh session.
void SessionTest::cyrillicRoundTrip() {
    QFETCH(QString, name);
    QFETCH(QString, stored);

    DB writer;
    QVERIFY(writer.OpenSession(stand.Address(), QStringLiteral("engineer"), QStringLiteral("engineer")));
    const int id = writer.tableDedurObjects->CreateObject(name, 1, 0, true, 99);
    QVERIFY(id > 0);

    DB reader;
    QVERIFY(reader.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")));
    const int row = reader.tableDedurObjects->FindRecordIndexByIntValue("DEDUR_OBJ_ID", id);
    QVERIFY(row >= 0);
    QCOMPARE(reader.tableDedurObjects->GetFieldValueString(row, QStringLiteral("DEDUR_OBJ_NAME")), stored);
    QCOMPARE(reader.tableDedurObjects->FindRecordIndexByStringValue("DEDUR_OBJ_NAME", stored.toUpper()),
             stored == stored.toUpper() ? row : -1);

    QVERIFY(writer.tableDedurObjects->DeleteObject(id));
    QCOMPARE(writer.tableDedurObjects->FindRecordIndexByIntValue("DEDUR_OBJ_ID", id), -1);
}

void SessionTest::editRights_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("allowed");
    QTest::newRow("engineer") << "engineer" << true;
    QTest::newRow("operator") << "operator" << false;
}

void SessionTest::editRights() {
    QFETCH(QString, user);
    QFETCH(bool, allowed);

    DB db;
    QVERIFY(db.OpenSession(stand.Address(), user, user));
    Table_Dedur_Objects *objects = db.tableDedurObjects;
    const int rowsBefore = objects->GetRecordCount();
    const int maxBefore = objects->GetMaxRecordId();
    const int id = objects->CreateObject(QStringLiteral("Проба прав"), 1, 0, false, 1);
    QCOMPARE(id != 0, allowed);
    QCOMPARE(objects->GetRecordCount(), rowsBefore + (allowed ? 1 : 0));
    if (!allowed) {
        const int existing = objects->GetFieldValueInt(0, QStringLiteral("DEDUR_OBJ_ID"));
        const QString name = objects->GetFieldValueString(0, QStringLiteral("DEDUR_OBJ_NAME"));
        QVERIFY(!objects->UpdateObject(existing, QStringLiteral("чужое"), 1, 0, false, 1));
        QCOMPARE(objects->GetFieldValueString(0, QStringLiteral("DEDUR_OBJ_NAME")), name);
        QVERIFY(!objects->DeleteObject(existing));
        QCOMPARE(objects->GetRecordCount(), rowsBefore);
        return;
    }
    QCOMPARE(id, maxBefore + 1);
    QVERIFY(objects->UpdateObject(id, QStringLiteral("Проба прав 2"), 1, 0, true, 2));
    const int row = objects->FindRecordIndexByIntValue("DEDUR_OBJ_ID", id);
    QCOMPARE(objects->GetFieldValueString(row, QStringLiteral("DEDUR_OBJ_NAME")), QStringLiteral("Проба прав 2"));
    QCOMPARE(objects->GetFieldValueBool(row, QStringLiteral("DEDUR_OBJ_IN_REGULATION")), true);
    QVERIFY(objects->DeleteObject(id));
    QVERIFY(!objects->UpdateObject(id, QStringLiteral("нет"), 1, 0, false, 1));
}

// New setting values get the next free ids; deleting all of an object's values removes exactly those.
void SessionTest::settingsDataWrites() {
    DB db;
    QVERIFY(db.OpenSession(stand.Address(), QStringLiteral("engineer"), QStringLiteral("engineer")));
    const int objectId = db.tableDedurObjects->CreateObject(QStringLiteral("Проба уставок"), 1, 0, false, 5);
    QVERIFY(objectId > 0);
    Table_Dedur_Data *data = db.tableDedurData;
    const int rowsBefore = data->GetRecordCount();
    const int maxId = data->GetMaxRecordId();

    QList<Table_Dedur_Data::DataRecord> records;
    for (int i = 0; i < 3; ++i)
        records.append({0, objectId, 9000 + i, QStringLiteral("знач %1").arg(i), i});
    QVERIFY(data->UpdateObjectSettingsData(records));
    QCOMPARE(data->GetRecordCount(), rowsBefore + 3);
    for (int i = 0; i < 3; ++i) {
        QCOMPARE(data->GetObjectSettingDataId(objectId, 9000 + i), maxId + 1 + i);
        QCOMPARE(data->GetObjectSettingsDataValueString(objectId, 9000 + i), QStringLiteral("знач %1").arg(i));
    }

    // An update of an existing value and a record unknown to the cache (skipped).
    QList<Table_Dedur_Data::DataRecord> changes{{maxId + 2, objectId, 9001, QStringLiteral("12"), 201},
                                                {987654, objectId, 9005, QStringLiteral("x"), 0}};
    QVERIFY(data->UpdateObjectSettingsData(changes));
    int archive = 0;
    QCOMPARE(data->GetObjectSettingDataValueInt(objectId, 9001, &archive), 12);
    QCOMPARE(archive, 201);
    QCOMPARE(data->GetObjectSettingDataId(objectId, 9005), -1);

    QVERIFY(data->DeleteAllSettingsDataForObject(objectId));
    QVERIFY(data->GetSettingsDataByObjectId(objectId).isEmpty());
    QCOMPARE(data->GetRecordCount(), rowsBefore);
    QVERIFY(db.tableDedurObjects->DeleteObject(objectId));

    // The server agrees.
    QVERIFY(data->LoadTable(QString()));
    QCOMPARE(data->GetRecordCount(), rowsBefore);
}

void SessionTest::subscription_data() {
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("codes"); // what GetEventCodesForSubscribe lists first
    QTest::addColumn<QVector<int>>("subscribed");
    QTest::addColumn<QVector<int>>("notSubscribed");

    const QStringList fixed{"501", "601", "602", "603"};
    QTest::newRow("unquoted-list") << QByteArray("[General]\nSUBSCRIBE_EVENT_CODES=8301,8302\n")
                                   << fixed + QStringList{"8301", "8302"}
                                   << QVector<int>{501, 601, 602, 603, 8301, 8302} << QVector<int>{8303, 0};
    QTest::newRow("quoted-list") << QByteArray("[General]\nSUBSCRIBE_EVENT_CODES=\"8305,8306\"\n")
                                 << fixed + QStringList{"8305", "8306"} << QVector<int>{8305, 8306}
                                 << QVector<int>{8301};
    QTest::newRow("repeats-and-junk") << QByteArray("[General]\nSUBSCRIBE_EVENT_CODES=\"8301,,abc,8301,501\"\n")
                                      << fixed + QStringList{"8301", "", "abc"} << QVector<int>{501, 8301}
                                      << QVector<int>{8302};
}

void SessionTest::subscription() {
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, codes);
    QFETCH(QVector<int>, subscribed);
    QFETCH(QVector<int>, notSubscribed);

    QFile file(QStringLiteral("dedur.ini"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(ini);
    file.close();

    DB db;
    QVERIFY(db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")));
    QStringList listed = db.GetEventCodesForSubscribe();
    // The codes of the empty category come between the fixed codes and the configured ones.
    const QList<int> uncategorised = db.tableEventCodes->GetAllEventCodesFromCategoryID(QString());
    for (int code : uncategorised)
        listed.removeOne(QString::number(code));
    QCOMPARE(listed, codes);
    for (int code : subscribed)
        QVERIFY2(db.client.EventInSub(code), qPrintable(QString::number(code)));
    for (int code : notSubscribed)
        QVERIFY2(!db.client.EventInSub(code), qPrintable(QString::number(code)));

    // The service sorts and drops repeats itself.
    const int ids[] = {5, 3, 5, 1};
    QVERIFY(db.client.SubSet(ids, 4, "SUB_EVENT"));
    for (int code = 0; code <= 6; ++code)
        QCOMPARE(db.client.EventInSub(code), code == 1 || code == 3 || code == 5);
    QVERIFY(db.client.SubSet(nullptr, 0, "SUB_EVENT"));
    QVERIFY(!db.client.EventInSub(1));
    db.CloseSession();
    QVERIFY(!db.client.SubSet(ids, 4, "SUB_EVENT"));
    QVERIFY(!db.EventsSubscribe());
}

void SessionTest::archiveRead_data() {
    QTest::addColumn<QString>("setting");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    QTest::newRow("frequency") << "Freq" << 49.5 << 50.5;
    QTest::newRow("power") << "Power" << -1e6 << 1e6;
}

void SessionTest::archiveRead() {
    QFETCH(QString, setting);
    QFETCH(double, low);
    QFETCH(double, high);

    DB db;
    QVERIFY(db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")));
    const int id = MeasurementOf(db, setting);
    QVERIFY(id > 0);

    const QDateTime to = QDateTime::currentDateTimeUtc();
    const QDateTime from = to.addSecs(-600);
    const QMap<double, MeasurePoint> points = db.archiveMeasures->ReadMeasuresVectorForPeriod(id, from, to, false, -1);
    QVERIFY(points.size() > 100);
    for (auto it = points.cbegin(); it != points.cend(); ++it) {
        QVERIFY(it.key() >= double(from.toSecsSinceEpoch()) && it.key() <= double(to.toSecsSinceEpoch()));
        QVERIFY2(it->value >= low && it->value <= high, qPrintable(QString::number(it->value)));
    }

    // The value in force at a sample's own second is that sample.
    const MeasurePoint last = points.last();
    MeasurePoint point;
    QVERIFY(db.archiveMeasures->ReadLastMeasure(id, QDateTime::fromSecsSinceEpoch(qint64(last.time)), &point, false));
    QCOMPARE(point.time, std::trunc(last.time));
    QCOMPARE(point.value, last.value);
    QCOMPARE(point.flags, last.flags);
    QVERIFY(db.archiveMeasures->ReadLastMeasure(id, to, nullptr, false));
    // Long before the history begins there is no value.
    QVERIFY(!db.archiveMeasures->ReadLastMeasure(id, to.addDays(-30), &point, false));
    QVERIFY(db.archiveMeasures->ReadMeasuresVectorForPeriod(id, to.addDays(-30), to.addDays(-29), false, -1).isEmpty());

    // Spans read with their requests overlapping come back in order, each as a read on its own gives
    // it: long and short, with and without the value before, and one with nothing in it. There are
    // more of them than are ever in flight at once.
    QVector<Archive_Measures::SpanRequest> spans;
    for (int k = 0; k < 2 * Archive_Measures::SpansInFlight; ++k) {
        Archive_Measures::SpanRequest r;
        r.id = id;
        r.to = k % 3 == 2 ? to.addDays(-29) : to.addSecs(-7 * k);
        r.from = k % 3 == 2 ? to.addDays(-30) : r.to.addSecs(k % 2 ? -30 : -600);
        if (k % 2 == 0)
            r.lastBefore = r.from;
        spans << r;
    }
    auto readSpans = [&](QVector<int> *order) {
        db.archiveMeasures->ReadSpans(spans, [&](int i, const MeasurePoint *last,
                                                 const QVector<MeasurePoint> &samples) {
            order->append(i);
            const Archive_Measures::SpanRequest &r = spans[i];
            MeasurePoint alone;
            const bool haveAlone =
                r.lastBefore.isValid() && db.archiveMeasures->ReadLastMeasure(id, r.lastBefore, &alone, false);
            QCOMPARE(last != nullptr, haveAlone);
            if (last)
                QCOMPARE(last->value, alone.value);
            const QVector<MeasurePoint> expected = db.archiveMeasures->ReadSamplesForPeriod(id, r.from, r.to, false);
            QCOMPARE(samples.size(), expected.size());
            for (int j = 0; j < samples.size(); ++j)
                QVERIFY(samples[j].time == expected[j].time && samples[j].value == expected[j].value);
        });
    };
    QVector<int> order;
    readSpans(&order);
    QCOMPARE(order.size(), spans.size());
    QVERIFY(std::is_sorted(order.cbegin(), order.cend()));

    db.CloseSession();
    order.clear();
    readSpans(&order);
    QCOMPARE(order.size(), spans.size());
    QVERIFY(!db.archiveMeasures->ReadLastMeasure(id, to, &point, false));
    QVERIFY(db.archiveMeasures->ReadMeasuresVectorForPeriod(id, from, to, false, -1).isEmpty());
}

void SessionTest::connectionLoss_data() {
    QTest::addColumn<QString>("how");
    QTest::addColumn<int>("aborted");

    QTest::newRow("killed-while-waiting") << "kill" << 1;
    QTest::newRow("frozen-during-reload") << "reload" << 1;
    QTest::newRow("frozen-while-waiting") << "freeze" << 1;
    QTest::newRow("closed-by-user") << "close" << 0;
}

// A wait without limit ends when the server goes away, and the loss is announced once.
void SessionTest::connectionLoss() {
    QFETCH(QString, how);
    QFETCH(int, aborted);

    StandProcess doomed;
    QVERIFY2(doomed.Start(standArgs), qPrintable(doomed.Error()));
    DB db;
    QVERIFY(db.OpenSession(doomed.Address(), QStringLiteral("operator"), QStringLiteral("operator")));
    // Received the way the main window receives it: queued onto this thread from the library's thread.
    QObject receiver;
    QStringList messages;
    connect(signal_emitter, &DBSignal::ConnectionAborted, &receiver,
            [&messages](const QString &message) { messages << message; });

    if (how == QLatin1String("close")) {
        db.CloseSession();
    } else {
        doomed.Freeze(); // the request below stays unanswered
        QTRY_VERIFY(AllThreadsStopped(doomed.Pid()));
        if (how != QLatin1String("kill"))
            TLXSetHeartbeat(100, 1500); // a silent peer counts as dead soon
        const bool kill = how == QLatin1String("kill");
        DelayedKiller killer(kill ? pid_t(doomed.Pid()) : 0);
        if (how == QLatin1String("reload")) {
            // The old rows go before the request, so a reload cut off by the loss leaves an empty table.
            const bool loaded = db.tableTables->LoadTable(QString());
            TLXSetHeartbeat(1000, 5000);
            QVERIFY(!loaded);
            QVERIFY(!db.tableTables->records);
            QCOMPARE(db.tableTables->GetFieldValueString(0, QStringLiteral("KeyLink")), QString());
            QCOMPARE(db.tableTables->GetFieldValueInt(0, QStringLiteral("TableId")), 0);
            QCOMPARE(db.tableTables->FindRecordIndexByStringValue("nameLat", QStringLiteral("Tables")), -1);
            // Not connected: a further load keeps what the other tables hold.
            const int typeRows = db.tableDedurTypes->GetRecordCount();
            QVERIFY(!db.tableDedurTypes->LoadTable(QString()));
            QCOMPARE(db.tableDedurTypes->GetRecordCount(), typeRows);
        } else {
            TLXCliParam *reply = nullptr;
            QVERIFY(db.client.SqlRequest("select * from Tables", &reply));
            killer.go = true;
            const bool answered = db.client.WaitResult(&reply);
            TLXSetHeartbeat(1000, 5000);
            QVERIFY(!answered);
            QVERIFY(!reply);
            QVERIFY(db.client.GetLastResult() != 0);
            QVERIFY(db.tableTables->GetRecordCount() > 0); // the cache survives the loss
        }
    }
    QVERIFY(!db.Connected());
    QTRY_COMPARE(messages.size(), aborted);
    if (aborted)
        QCOMPARE(messages.first(), QStringLiteral("Потеряно соединение с сервером!"));
    db.CloseSession();
    QCoreApplication::processEvents();
    QCOMPARE(messages.size(), aborted);
    doomed.Thaw();
}

// Opening again on the same session replaces the connection and the tables without announcing a loss.
void SessionTest::reopen() {
    DB db;
    QObject receiver;
    int aborted = 0;
    connect(signal_emitter, &DBSignal::ConnectionAborted, &receiver, [&aborted] { ++aborted; });
    QVERIFY(db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")));
    const int ids[] = {4242};
    QVERIFY(db.client.SubSet(ids, 1, "SUB_EVENT"));
    QVERIFY(db.OpenSession(stand.Address(), QStringLiteral("engineer"), QStringLiteral("engineer")));
    QVERIFY(db.Connected());
    QVERIFY(!db.client.EventInSub(4242));
    QVERIFY(db.client.EventInSub(501));
    QCOMPARE(db.tableUsers->GetUserLogin(db.userId), QStringLiteral("engineer"));
    QVERIFY(db.tableDedurObjects->GetRecordCount() > 0);
    QCoreApplication::processEvents();
    QCOMPARE(aborted, 0);
}

void SessionTest::serverVersion() {
    DB db;
    QVERIFY(db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")));
    int major = -1, minor = -1, release = -1;
    QCOMPARE(db.client.GetSrvVersion(&major, &minor, &release), 0);
    QVERIFY(major >= 0 && minor >= 0 && release >= 0);
}

// Commands the program never uses still make well-formed frames: requests get an answer (a refusal from the
// stand), messages leave the link up.
void SessionTest::otherCommands_data() {
    QTest::addColumn<int>("command");
    QTest::addColumn<bool>("request");
    const char *names[] = {"SQL_EXEC",
                           "TBL_DELETE",
                           "OPERATION_PERMISSION",
                           "_PACKET",
                           "TRAINING_CHANGE_STATUS",
                           "TRAINING_LOAD_IC",
                           "CALC_EXEC",
                           "FILE_LIST-packet",
                           "MEAS_VALUES",
                           "TAG_DOUBLE",
                           "MANUAL_INPUT",
                           "FILE_PUT",
                           "FILE_DEL",
                           "EVENT_NEW"};
    for (int i = 0; i < int(sizeof names / sizeof *names); ++i)
        QTest::newRow(names[i]) << i << (i < 9);
}

void SessionTest::otherCommands() {
    QFETCH(int, command);
    QFETCH(bool, request);

    DB db;
    QVERIFY(db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")));
    TLXService &s = db.client;
    TLXCliParam *reply = nullptr;
    const char blob[] = "\x01\x02\x03";
    bool posted = false;
    switch (command) {
    case 0:
        posted = s.SqlExec("delete from Tables", &reply);
        break;
    case 1:
        posted = s.TblDelete("Tables", &reply);
        break;
    case 2:
        posted = s.OperationRights("EDIT", &reply);
        break;
    case 3:
        posted = s.PacketExec("Ping", blob, 3, &reply);
        break;
    case 4:
        posted = s.ChangeStatus(2, &reply);
        break;
    case 5:
        posted = s.IcLoad("/ic", "base", 10, 1, &reply);
        break;
    case 6:
        posted = s.CalcExec("calc", nullptr, &reply);
        break;
    case 7:
        posted = s.FileList("dir", "*.csv", &reply, true);
        break;
    case 8:
        posted = s.MeasWrite(blob, 3, &reply);
        break;
    case 9:
        posted = s.TagWrite("TAG", 1.0, 2.5, 3, 4.0);
        break;
    case 10:
        posted = s.ManualWrite(201000001, 1.0, 2, 3.0, 1);
        break;
    case 11:
        posted = s.FilePut("dir", "file.csv", blob, 3, false);
        break;
    case 12:
        posted = s.FileDel("dir", "file.csv", false);
        break;
    case 13:
        posted = s.EventNew(1.0, 2.0, 8301, "a", nullptr, "c", blob, 3);
        break;
    }
    QVERIFY(posted);
    if (request) {
        QVERIFY(s.WaitResult(&reply));
        int32_t status = 0;
        QVERIFY(TLXService::ReplyInt32(reply, 0, &status));
        QVERIFY(status != 0);
        s.FreeReply(reply);
    }
    // The link is still up and answers.
    QVERIFY(db.tableTables->LoadTable(QString()));
    QVERIFY(!s.OperationRights("EDIT"));
    MeasValRead raw{blob, 3};
    int length = -1;
    QVERIFY(!s.DoMeasRequest(raw, &length));
    QCOMPARE(length, 0);
    QVERIFY(db.Connected());
}

QTEST_MAIN(SessionTest)
#include "session_test.moc"
