// Faults injected on purpose: the stand server kills (SIGKILL) or freezes (SIGSTOP) itself on the very
// request the window waits for. The window must never hang past the heartbeat limit, warn of the lost
// link at most once, end disconnected, and log in again once the server is back; the server's database
// stays whole.
#include <QAction>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <memory>
#include <sqlite3.h>

#include "admin_link.h"
#include "app/mainwindow.h"
#include "server/db.h"
#include "server/table_dedur_objects_14.h"
#include "stand_process.h"
#include "support/settings.h"
#include "window_fixture.h"

namespace {

const QString Offline = QStringLiteral("ЗЕНТА.ОПРЧ / Автономный режим");
const QString LostBox = QStringLiteral("ОШИБКА|Потеряно соединение с сервером!");
// Short heartbeats on both sides, so that a frozen server is declared dead in 1.5 s, not 5 s.
constexpr int kBeatMs = 150;
constexpr int kHangLimitMs = 1500;

int LostBoxes(const ModalDriver &driver) {
    return driver.boxes.count(LostBox);
}

// Rows of a table in the stand's database, read directly (the server may be dead).
QString Integrity(const QString &path) {
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK) {
        sqlite3_close(db);
        return QStringLiteral("cannot open");
    }
    QString result;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        result = QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0)));
    sqlite3_finalize(stmt);
    // An object row is written whole or not at all.
    if (sqlite3_prepare_v2(db,
                           "SELECT count(*) FROM T_DEDUR_OBJ WHERE DEDUR_OBJ_NAME IS NULL OR DEDUR_OBJ_TYPE IS NULL "
                           "OR KeyLink IS NULL",
                           -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW && sqlite3_column_int(stmt, 0) != 0)
        result += QStringLiteral(" half-written objects");
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

} // namespace

class FaultsTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void init();
    void cleanup();
    void serverFailsDuringWork_data();
    void serverFailsDuringWork();
    void killRestartCycles();

private:
    MainWindow *Connect(const QString &user);
    QAction *Action(const char *name) const { return fixture->Action(name); }

    StandProcess stand;
    std::unique_ptr<WindowFixture> fixture;
};

void FaultsTest::initTestCase() {
    TLXSetHeartbeat(kBeatMs, kHangLimitMs);
    QVERIFY2(stand.Start({"--backfill-hours", "1", "--event-every", "0", "--heartbeat-ms", QString::number(kBeatMs),
                          "--test-aids"}),
             qPrintable(stand.Error()));
}

void FaultsTest::init() {
    fixture = std::make_unique<WindowFixture>();
    QVERIFY(fixture->EnterNewFolder());
    WindowFixture::WriteSettings({{"AUTOLOGIN", false}});
}

void FaultsTest::cleanup() {
    fixture->Close();
    // Whatever a row left behind (a frozen or dead server, an armed fault), the next one starts afresh.
    QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
    fixture.reset();
}

MainWindow *FaultsTest::Connect(const QString &user) {
    fixture->driver.Queue("DialogLogin", ModalDriver::Login(stand.Address(), user, user));
    return fixture->Start();
}

void FaultsTest::serverFailsDuringWork_data() {
    QTest::addColumn<QString>("moment");
    QTest::addColumn<bool>("freeze");

    for (const char *moment :
         {"login-table-loads", "archive-read", "object-write", "realtime-ticks", "acknowledgement"}) {
        QTest::newRow(qPrintable(QString("%1-killed").arg(moment))) << QString(moment) << false;
        QTest::newRow(qPrintable(QString("%1-frozen").arg(moment))) << QString(moment) << true;
    }
}

void FaultsTest::serverFailsDuringWork() {
    QFETCH(QString, moment);
    QFETCH(bool, freeze);

    ModalDriver &driver = fixture->driver;
    MainWindow *window = Connect(moment == "object-write" ? "engineer" : "operator");
    QVERIFY2(window->Session()->Connected(), qPrintable(driver.boxes.join("; ")));
    QTRY_VERIFY_WITH_TIMEOUT(driver.boxes.isEmpty() && !QApplication::activeModalWidget(), 5000);

    // The server faults itself on the first request (or message) of the step below, before answering it.
    static const QHash<QString, QByteArray> commands{{"login-table-loads", "SQL_REQUEST"},
                                                     {"archive-read", "MEAS_READ2"},
                                                     {"object-write", "SQL_UPDATE"},
                                                     {"realtime-ticks", "MEAS_READ2"},
                                                     {"acknowledgement", "EVENT_KWIT"}};
    AdminLink admin;
    QVERIFY2(admin.Open(stand.Port()), qPrintable(admin.Error()));
    auto arm = [&] { return admin.Fault(commands.value(moment), 1, freeze ? "freeze" : "kill"); };

    QElapsedTimer blocked;
    if (moment == "login-table-loads") {
        window->Session()->CloseSession();
        QTRY_VERIFY(Action("action_connect")->isEnabled());
        driver.boxes.clear();
        QVERIFY2(arm(), qPrintable(admin.Error()));
        blocked.start();
        QVERIFY(!window->Login(stand.Address(), "operator", "operator"));
    } else if (moment == "archive-read") {
        window->StopRealtime();
        QVERIFY2(arm(), qPrintable(admin.Error()));
        blocked.start();
        window->LoadPlotForPeriodMaually();
    } else if (moment == "object-write") {
        QVERIFY2(arm(), qPrintable(admin.Error()));
        blocked.start();
        window->Session()->tableDedurObjects->CreateObject(QStringLiteral("Блок сбоя"), 7, 1, true, 99);
    } else {
        if (moment == "realtime-ticks")
            QVERIFY(Action("action_realtime")->isChecked());
        QVERIFY2(arm(), qPrintable(admin.Error()));
        blocked.start();
        if (moment == "realtime-ticks")
            window->RealtimeTimerSlot(); // blocks in its archive reads until the link is declared lost
        else
            window->Session()->AcknowledeEvent("{no-such-event}", 8301);
        QTRY_VERIFY_WITH_TIMEOUT(!window->Session()->Connected(), 3 * kHangLimitMs);
    }
    const qint64 waitedMs = blocked.elapsed();
    qInfo("%s: the window's thread came back after %lld ms", qPrintable(moment), waitedMs);
    QVERIFY2(waitedMs < 3 * kHangLimitMs, qPrintable(QString::number(waitedMs)));

    QTRY_VERIFY_WITH_TIMEOUT(!window->Session()->Connected(), 3 * kHangLimitMs);
    QTRY_VERIFY_WITH_TIMEOUT(Action("action_connect")->isEnabled(), 3 * kHangLimitMs);
    QTRY_COMPARE(window->windowTitle(), Offline);
    QVERIFY(!Action("action_disconnect")->isEnabled());
    // Let every late notice of the same loss arrive: still one warning at most.
    QTest::qWait(500);
    // A login that fails mid-way says so itself and the window was never connected: no lost-link warning.
    if (moment == "login-table-loads")
        QVERIFY2(LostBoxes(driver) == 0, qPrintable(driver.boxes.join("; ")));
    else
        QVERIFY2(LostBoxes(driver) == 1, qPrintable(driver.boxes.join("; ")));

    QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
    QCOMPARE(Integrity(stand.DatabasePath()), QStringLiteral("ok"));

    driver.boxes.clear();
    QVERIFY(window->Login(stand.Address(), "operator", "operator"));
    QVERIFY(window->Session()->Connected());
    QVERIFY(!Action("action_connect")->isEnabled());
    QVERIFY2(driver.boxes.isEmpty(), qPrintable(driver.boxes.join("; ")));
}

void FaultsTest::killRestartCycles() {
    ModalDriver &driver = fixture->driver;
    MainWindow *window = Connect("operator");
    QVERIFY(window->Session()->Connected());
    QTRY_VERIFY_WITH_TIMEOUT(driver.boxes.isEmpty() && !QApplication::activeModalWidget(), 5000);
    constexpr int kCycles = 20;
    for (int cycle = 0; cycle < kCycles; ++cycle) {
        driver.boxes.clear();
        stand.Kill();
        QTRY_COMPARE_WITH_TIMEOUT(LostBoxes(driver), 1, 3 * kHangLimitMs);
        QCOMPARE(window->windowTitle(), Offline);
        QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
        QVERIFY2(window->Login(stand.Address(), "operator", "operator"), qPrintable(QString::number(cycle)));
        // A realtime tick against the new server before the next kill.
        window->RealtimeTimerSlot();
        QVERIFY(window->Session()->Connected());
        QCOMPARE(LostBoxes(driver), 1);
    }
    QCOMPARE(Integrity(stand.DatabasePath()), QStringLiteral("ok"));
}

QTEST_MAIN(FaultsTest)
#include "faults_test.moc"
