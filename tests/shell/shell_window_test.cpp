// The main window against a real zenta-stand: settings file, login lifecycle, titles, loss of the
// link, edit mode, tabs and the about box. Each row runs in its own temporary working directory.
#include <QAction>
#include <QDir>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>
#include <cmath>
#include <memory>
#include <qcustomplot.h>

#include "app/mainwindow.h"
#include "server/table_dedur_events_14.h"
#include "server/table_dedur_objects_14.h"
#include "server/table_events_kwit_14.h"
#include "stand_process.h"
#include "stand_sql.h"
#include "support/settings.h"
#include "window_fixture.h"

namespace {

const QString Offline = QStringLiteral("ЗЕНТА.ОПРЧ / Автономный режим");
const QString LostBox = QStringLiteral("ОШИБКА|Потеряно соединение с сервером!");
const QString ConnectFailedBox = QStringLiteral("Ошибка|Не удалось подключиться к серверу!");
const QString RefusedBox = QStringLiteral("Ошибка|Неверное имя пользователя или пароль");
// Nothing listens on port 1 of the loopback address.
const QString Unreachable = QStringLiteral("127.0.0.1:1");

} // namespace

class ShellWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void firstStartWritesDefaults_data();
    void firstStartWritesDefaults();
    void rememberedLists_data();
    void rememberedLists();
    void autoLogin_data();
    void autoLogin();
    void titleShowsServer_data();
    void titleShowsServer();
    void linkLossWarnsOnce_data();
    void linkLossWarnsOnce();
    void editModePassword_data();
    void editModePassword();
    void leavingEditModeAsksNothing_data();
    void leavingEditModeAsksNothing();
    void closingTabHidesTabArea_data();
    void closingTabHidesTabArea();
    void aboutBox_data();
    void aboutBox();
    void screenshotAfterLogin_data();
    void screenshotAfterLogin();
    void unfinishedOperationsWarn_data();
    void unfinishedOperationsWarn();

private:
    QString Expand(QString text) const { return text.replace("%A", stand.Address()); }
    // Builds the window with dedur.ini as given; the driver answers the dialogs of the start.
    MainWindow *Start(const QVariantMap &settings);
    // A window logged in to the shared stand as operator through the login dialog.
    MainWindow *StartConnected();
    QAction *Action(const char *name) const { return fixture->Action(name); }

    StandProcess stand;
    std::unique_ptr<StandProcess> defaultPortStand;
    std::unique_ptr<StandProcess> duplicatesStand; // two objects share an id
    std::unique_ptr<WindowFixture> fixture;
};

void ShellWindowTest::initTestCase() {
    QVERIFY2(stand.Start({"--backfill-hours", "1", "--event-every", "5"}), qPrintable(stand.Error()));
}

void ShellWindowTest::init() {
    fixture = std::make_unique<WindowFixture>();
    QVERIFY(fixture->EnterNewFolder());
}

void ShellWindowTest::cleanup() {
    fixture.reset();
}

MainWindow *ShellWindowTest::Start(const QVariantMap &settings) {
    if (!settings.isEmpty())
        WindowFixture::WriteSettings(settings);
    return fixture->Start();
}

MainWindow *ShellWindowTest::StartConnected() {
    fixture->driver.Queue("DialogLogin", ModalDriver::Login(stand.Address(), "operator", "operator"));
    MainWindow *window = Start({{"AUTOLOGIN", "false"}});
    if (!Action("action_disconnect")->isEnabled())
        qWarning("login to %s failed: %s", qPrintable(stand.Address()), qPrintable(fixture->driver.boxes.join("; ")));
    return window;
}

void ShellWindowTest::firstStartWritesDefaults_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("preset");
    QTest::addColumn<QString>("expected");

    const QString none;
    QTest::newRow("default-SERVER_NAME") << "SERVER_NAME" << none << "";
    QTest::newRow("default-USER_NAME") << "USER_NAME" << none << "";
    QTest::newRow("default-USER_PASSWORD") << "USER_PASSWORD" << none << "";
    QTest::newRow("default-AUTOLOGIN") << "AUTOLOGIN" << none << "false";
    QTest::newRow("default-SUBSCRIBE_EVENT_CATEGORIES") << "SUBSCRIBE_EVENT_CATEGORIES" << none << "";
    QTest::newRow("default-SUBSCRIBE_EVENT_CODES")
        << "SUBSCRIBE_EVENT_CODES" << none << "8301,8302,8303,8304,8305,8306,8307,8308";
    QTest::newRow("default-ENOBJ_ID") << "ENOBJ_ID" << none << "1";
    QTest::newRow("kept-SERVER_NAME") << "SERVER_NAME"
                                      << "srv-b|srv-a"
                                      << "srv-b|srv-a";
    QTest::newRow("kept-USER_PASSWORD") << "USER_PASSWORD"
                                        << "by-hand"
                                        << "by-hand";
    QTest::newRow("kept-SUBSCRIBE_EVENT_CODES") << "SUBSCRIBE_EVENT_CODES"
                                                << "8301"
                                                << "8301";
    QTest::newRow("kept-ENOBJ_ID") << "ENOBJ_ID"
                                   << "42"
                                   << "42";
}

void ShellWindowTest::firstStartWritesDefaults() {
    QFETCH(QString, key);
    QFETCH(QString, preset);
    QFETCH(QString, expected);

    QVariantMap settings;
    if (!preset.isNull())
        settings[key] = preset;
    ModalDriver &driver = fixture->driver;
    MainWindow *window = Start(settings);

    QCOMPARE(driver.dialogs, QStringList{"DialogLogin"});
    QCOMPARE(window->windowTitle(), Offline);
    QSettings stored(Settings::FilePath(), QSettings::IniFormat);
    // The seven [General] keys; the sections of later settings are written beside them.
    QCOMPARE(stored.childKeys().size(), 7);
    QVERIFY(stored.childGroups().contains(QStringLiteral("Episodes")));
    QVERIFY(stored.contains(key));
    QCOMPARE(stored.value(key).toString(), expected);
}

void ShellWindowTest::rememberedLists_data() {
    QTest::addColumn<QString>("servers");
    QTest::addColumn<QString>("users");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("expectedServers");
    QTest::addColumn<QString>("expectedUsers");

    // %A is the address of the running stand server.
    QTest::newRow("known-server-to-front") << "srv-b|%A|srv-c"
                                           << "operator"
                                           << "operator"
                                           << "%A|srv-b|srv-c"
                                           << "operator";
    QTest::newRow("new-server-before-sorted-rest") << "srv-a|srv-c|srv-b"
                                                   << "operator"
                                                   << "operator"
                                                   << "%A|srv-a|srv-b|srv-c"
                                                   << "operator";
    QTest::newRow("duplicates-dropped") << "srv-c|srv-c|%A|srv-a|%A"
                                        << "operator"
                                        << "operator"
                                        << "%A|srv-a|srv-c"
                                        << "operator";
    QTest::newRow("users-updated-too") << "%A"
                                       << "zeta|operator|alpha"
                                       << "operator"
                                       << "%A"
                                       << "operator|alpha|zeta";
    QTest::newRow("first-login-keeps-empty-part") << ""
                                                  << ""
                                                  << "operator"
                                                  << "%A|"
                                                  << "operator|";
    QTest::newRow("failed-login-stores-nothing") << "srv-b|srv-a"
                                                 << "zeta|alpha"
                                                 << "wrong"
                                                 << "srv-b|srv-a"
                                                 << "zeta|alpha";
}

void ShellWindowTest::rememberedLists() {
    QFETCH(QString, servers);
    QFETCH(QString, users);
    QFETCH(QString, password);
    QFETCH(QString, expectedServers);
    QFETCH(QString, expectedUsers);

    ModalDriver &driver = fixture->driver;
    driver.Queue("DialogLogin", ModalDriver::Login(stand.Address(), "operator", password));
    Start({{"SERVER_NAME", Expand(servers)}, {"USER_NAME", users}, {"AUTOLOGIN", "false"}});

    QCOMPARE(WindowFixture::ReadSetting("SERVER_NAME"), Expand(expectedServers));
    QCOMPARE(WindowFixture::ReadSetting("USER_NAME"), expectedUsers);
    // The password typed into the dialog is never stored.
    QCOMPARE(WindowFixture::ReadSetting("USER_PASSWORD"), QString(""));
}

void ShellWindowTest::autoLogin_data() {
    QTest::addColumn<QString>("servers");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("autologin");
    QTest::addColumn<bool>("dialogLogsIn");
    QTest::addColumn<QStringList>("expectedDialogs");
    QTest::addColumn<QStringList>("expectedBoxes");
    QTest::addColumn<bool>("connected");
    QTest::addColumn<QString>("users");      // USER_NAME; empty: "operator|engineer"
    QTest::addColumn<QString>("owner");      // "user:password" noted by an earlier start
    QTest::addColumn<QString>("ownerAfter"); // and after it

    QTest::newRow("first-entry-used") << "%A|" + Unreachable << "operator" << true << false << QStringList{}
                                      << QStringList{} << true << QString() << QString() << QStringLiteral("@");
    QTest::newRow("first-entry-unreachable-dialog-once")
        << Unreachable + "|%A"
        << "operator" << true << false << QStringList{"DialogLogin"} << QStringList{ConnectFailedBox} << false
        << QString() << QString() << QStringLiteral("@");
    // A refused password is said to be one, not a server out of reach.
    QTest::newRow("wrong-password-then-dialog-login")
        << "%A"
        << "wrong" << true << true << QStringList{"DialogLogin"} << QStringList{RefusedBox} << true << QString()
        << QString() << QStringLiteral("@");
    QTest::newRow("autologin-off-shows-dialog")
        << "%A"
        << "operator" << false << false << QStringList{"DialogLogin"} << QStringList{} << false << QString()
        << QString() << QStringLiteral("@");
    QTest::newRow("failed-dialog-login-not-repeated")
        << Unreachable << "operator" << false << true << QStringList{"DialogLogin"} << QStringList{ConnectFailedBox}
        << false << QString() << QString() << QStringLiteral("@");
    // The stored password follows the user it belongs to, whoever logged in last.
    QTest::newRow("password-follows-its-user")
        << "%A"
        << "operator" << true << false << QStringList{} << QStringList{} << true << "engineer|operator"
        << "operator:operator"
        << "operator";
    // A password changed by hand since is no longer the noted user's.
    QTest::newRow("password-changed-by-hand")
        << "%A"
        << "operator" << true << false << QStringList{} << QStringList{} << true << "operator|engineer"
        << "engineer:engineer"
        << "operator";
    QTest::newRow("first-login-remembers-password-user")
        << "%A"
        << "operator" << true << false << QStringList{} << QStringList{} << true << QString() << QString()
        << "operator";
}

void ShellWindowTest::autoLogin() {
    QFETCH(QString, servers);
    QFETCH(QString, password);
    QFETCH(bool, autologin);
    QFETCH(bool, dialogLogsIn);
    QFETCH(QStringList, expectedDialogs);
    QFETCH(QStringList, expectedBoxes);
    QFETCH(bool, connected);
    QFETCH(QString, users);
    QFETCH(QString, owner);
    QFETCH(QString, ownerAfter);

    ModalDriver &driver = fixture->driver;
    if (dialogLogsIn) {
        const QString server = connected ? stand.Address() : Unreachable;
        driver.Queue("DialogLogin", ModalDriver::Login(server, "operator", "operator"));
    }
    if (!owner.isEmpty()) {
        // "user:password": whom an earlier start noted the stored password for.
        const std::unique_ptr<QSettings> settings = Settings::Open();
        settings->setValue("USER_PASSWORD", owner.section(':', 1));
        Settings::RememberPasswordUser(settings.get(), owner.section(':', 0, 0), owner.section(':', 1));
    }
    MainWindow *window = Start({{"SERVER_NAME", Expand(servers)},
                                {"USER_NAME", users.isEmpty() ? QStringLiteral("operator|engineer") : users},
                                {"USER_PASSWORD", password},
                                {"AUTOLOGIN", autologin ? "true" : "false"}});

    QCOMPARE(driver.dialogs, expectedDialogs);
    QCOMPARE(driver.boxes, expectedBoxes);
    QCOMPARE(window->Session()->Connected(), connected);
    QCOMPARE(Action("action_connect")->isEnabled(), !connected);
    QCOMPARE(Action("action_disconnect")->isEnabled(), connected);
    QCOMPARE(window->windowTitle(), connected ? QString("ЗЕНТА.ОПРЧ /  / operator") : Offline);
    if (ownerAfter != QLatin1String("@"))
        QCOMPARE(WindowFixture::ReadSetting("Login/PASSWORD_USER"), ownerAfter);
}

void ShellWindowTest::titleShowsServer_data() {
    QTest::addColumn<QString>("server");
    QTest::addColumn<bool>("defaultPort");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("status");

    QTest::newRow("loopback-ip") << "127.0.0.1" << true << "ЗЕНТА.ОПРЧ / Локальный сервер / operator"
                                 << "Режим слежения";
    QTest::newRow("localhost") << "localhost" << true << "ЗЕНТА.ОПРЧ / Локальный сервер / operator"
                               << "Режим слежения";
    QTest::newRow("localhost-in-capitals") << "LOCALHOST" << true << "ЗЕНТА.ОПРЧ /  / operator"
                                           << "Режим слежения";
    QTest::newRow("address-with-port") << "%A" << false << "ЗЕНТА.ОПРЧ /  / operator"
                                       << "Режим слежения";
    // The end of the window's construction shows the realtime status whatever the login gave.
    QTest::newRow("login-failed") << Unreachable << false << Offline << "Режим слежения";
    // The notice of repeated ids stays beside the mode messages that follow the login.
    QTest::newRow("duplicate-ids-stay-shown") << "%D" << false << "ЗЕНТА.ОПРЧ /  / operator"
                                              << "Режим слежения";
}

void ShellWindowTest::titleShowsServer() {
    QFETCH(QString, server);
    QFETCH(bool, defaultPort);
    QFETCH(QString, title);
    QFETCH(QString, status);

    if (defaultPort && !defaultPortStand) {
        auto candidate = std::make_unique<StandProcess>();
        if (candidate->Start({"--port", "1312", "--backfill-hours", "1", "--no-sim"}) && candidate->Port() == 1312)
            defaultPortStand = std::move(candidate);
    }
    if (defaultPort && !defaultPortStand)
        QSKIP("port 1312 is taken on this machine; names without a port cannot be tried");
    const bool duplicates = server == QLatin1String("%D");
    if (duplicates && !duplicatesStand) {
        duplicatesStand = std::make_unique<StandProcess>();
        QString error;
        QVERIFY2(duplicatesStand->Start({"--backfill-hours", "0", "--no-sim"}), qPrintable(duplicatesStand->Error()));
        duplicatesStand->Stop();
        QVERIFY2(RunSql(duplicatesStand->DatabasePath(),
                        QStringLiteral(
                            // A real server's table may repeat an id; the stand's own forbids it.
                            "ALTER TABLE T_DEDUR_OBJ RENAME TO T_OLD;"
                            "CREATE TABLE T_DEDUR_OBJ(KeyLink TEXT PRIMARY KEY NOT NULL, DEDUR_OBJ_ID INT32 NOT NULL,"
                            " DEDUR_OBJ_NAME TEXT, DEDUR_OBJ_TYPE INT32, DEDUR_OBJ_PARENT INT32,"
                            " DEDUR_OBJ_IN_REGULATION BOOL, DEDUR_OBJ_ORDER INT32);"
                            "INSERT INTO T_DEDUR_OBJ SELECT * FROM T_OLD; DROP TABLE T_OLD;"
                            "INSERT INTO T_DEDUR_OBJ SELECT '{d0000000-0000-0000-0000-000000000002}', DEDUR_OBJ_ID,"
                            " 'Двойник', DEDUR_OBJ_TYPE, DEDUR_OBJ_PARENT, 0, 99 FROM T_DEDUR_OBJ"
                            " WHERE DEDUR_OBJ_ID = 2;"),
                        &error),
                 qPrintable(error));
        QVERIFY2(duplicatesStand->Restart(), qPrintable(duplicatesStand->Error()));
    }
    if (duplicates)
        server = duplicatesStand->Address();

    ModalDriver &driver = fixture->driver;
    driver.Queue("DialogLogin", ModalDriver::Login(Expand(server), "operator", "operator"));
    MainWindow *window = Start({{"AUTOLOGIN", "false"}});

    QCOMPARE(window->windowTitle(), title);
    QCOMPARE(window->statusBar()->currentMessage(), status);
    auto *notice = window->findChild<QLabel *>(QStringLiteral("duplicate_ids_label"));
    QVERIFY(notice);
    QCOMPARE(notice->isVisibleTo(window), duplicates);
    if (duplicates)
        QCOMPARE(notice->text(), QStringLiteral("Повторяющихся идентификаторов объектов: 1"));
}

// A lost link is told once; the window then tries again by itself until the server answers.
void ShellWindowTest::linkLossWarnsOnce_data() {
    QTest::addColumn<QString>("how");

    QTest::newRow("server-killed") << "kill";
    QTest::newRow("notice-reported-twice") << "twice";
    QTest::newRow("session-closed-under-window") << "close";
    QTest::newRow("lost-while-asking-edit-password") << "edit";
}

void ShellWindowTest::linkLossWarnsOnce() {
    QFETCH(QString, how);

    ModalDriver &driver = fixture->driver;
    MainWindow *window = StartConnected();
    QVERIFY(window->Session()->Connected());
    driver.boxes.clear();

    if (how == "kill") {
        stand.Kill();
    } else if (how == "twice") {
        emit signal_emitter->ConnectionAborted("first");
        emit signal_emitter->ConnectionAborted("second");
    } else if (how == "close") {
        window->Session()->CloseSession();
    } else {
        MainWindow *shown = window;
        driver.Queue("DialogPassword", [shown](QDialog *dialog) {
            shown->Session()->CloseSession();
            return ModalDriver::Password("VERNA")(dialog);
        });
        Action("action_edit_mode")->trigger();
        // The right password must not open edit mode over a session that is gone.
        QVERIFY(!window->EditMode());
    }
    QTRY_COMPARE_WITH_TIMEOUT(driver.boxes, QStringList{LostBox}, 15000);
    QVERIFY(!window->EditMode());
    auto *indicator = window->findChild<QLabel *>("link_indicator");
    QVERIFY(indicator);
    auto *plot = window->findChild<QCustomPlot *>("plot");
    auto linkLossBands = [plot] {
        QList<QCPItemRect *> bands;
        for (int i = 0; i < plot->itemCount(); ++i) {
            auto *band = qobject_cast<QCPItemRect *>(plot->item(i));
            if (band && band->layer() && band->layer()->name() == QLatin1String("linkloss"))
                bands << band;
        }
        return bands;
    };

    if (how == "kill") {
        // The server is gone: the window says so beside the indicator and keeps trying.
        const double lost = QDateTime::currentMSecsSinceEpoch() / 1000.0;
        QVERIFY(!window->Session()->Connected());
        QCOMPARE(window->windowTitle(), Offline);
        QVERIFY(window->statusBar()->currentMessage().startsWith(QString("нет связи, повтор через ")));
        QVERIFY(indicator->text().contains(QString("нет связи")));
        QVERIFY(Action("action_connect")->isEnabled());
        QVERIFY(!Action("action_disconnect")->isEnabled());
        // A late notice of the same loss, and the failed tries, tell nothing more.
        emit signal_emitter->ConnectionAborted("late");
        QTest::qWait(3500);
        QCOMPARE(driver.boxes, QStringList{LostBox});

        // The chart shades the time since the loss, once, up to now and beyond.
        QList<QCPItemRect *> bands = linkLossBands();
        QCOMPARE(bands.size(), 1);
        const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
        QVERIFY(bands[0]->topLeft->coords().x() <= now && bands[0]->topLeft->coords().x() > now - 60);
        QVERIFY(bands[0]->bottomRight->coords().x() > now);
        const QString folder = qEnvironmentVariable("ZENTA_SCREENSHOTS");
        if (!folder.isEmpty()) {
            QDir().mkpath(folder);
            window->resize(1366, 768);
            QTest::qWait(100);
            window->grab().save(QDir(folder).filePath(QStringLiteral("shell_link_lost_retrying.png")));
        }

        // The server comes back and fills its archive for the time it was down.
        QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
        const double restarted = QDateTime::currentMSecsSinceEpoch() / 1000.0;
        QTRY_VERIFY_WITH_TIMEOUT(window->Session()->Connected(), 30000);
        // The span missed is read again: a frequency curve has samples inside the loss.
        auto sampledInLoss = [&] {
            for (int i = 0; i < plot->graphCount(); ++i) {
                const QCPGraph *graph = plot->graph(i);
                if (graph->valueAxis() != plot->yAxis2 || !graph->visible())
                    continue;
                for (auto it = graph->data()->findBegin(lost + 1, false);
                     it != graph->data()->constEnd() && it->key < restarted - 1; ++it) {
                    if (!std::isnan(it->value) && it->key > lost + 1)
                        return true;
                }
            }
            return false;
        };
        QTRY_VERIFY_WITH_TIMEOUT(sampledInLoss(), 15000);
    } else {
        // The server is still there: the next try finds it.
        QTRY_VERIFY_WITH_TIMEOUT(window->Session()->Connected(), 15000);
    }
    QTRY_VERIFY(indicator->text().contains(QString("связь есть")));
    QCOMPARE(driver.boxes, QStringList{LostBox});
    QVERIFY(!Action("action_connect")->isEnabled());
    QVERIFY(Action("action_disconnect")->isEnabled());
    QVERIFY(window->windowTitle() != Offline);
    QCOMPARE(linkLossBands().size(), 1);
}

void ShellWindowTest::editModePassword_data() {
    QTest::addColumn<bool>("connect");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("editing");
    QTest::addColumn<QStringList>("expectedBoxes");

    const QString wrong = QStringLiteral("Ошибка|Неверный пароль!");
    QTest::newRow("not-connected") << false << "VERNA" << false
                                   << QStringList{"Режим редактирования|Сначала необходимо подключиться к серверу!"};
    QTest::newRow("exact-password") << true << "VERNA" << true << QStringList{};
    QTest::newRow("lower-case-refused") << true << "verna" << false << QStringList{wrong};
    QTest::newRow("mixed-case-refused") << true << "Verna" << false << QStringList{wrong};
    QTest::newRow("prefix-refused") << true << "VERN" << false << QStringList{wrong};
    QTest::newRow("trailing-space-refused") << true << "VERNA " << false << QStringList{wrong};
    QTest::newRow("empty-refused") << true << "" << false << QStringList{wrong};
    QTest::newRow("cancelled") << true << QString() << false << QStringList{};
}

void ShellWindowTest::editModePassword() {
    QFETCH(bool, connect);
    QFETCH(QString, password);
    QFETCH(bool, editing);
    QFETCH(QStringList, expectedBoxes);

    ModalDriver &driver = fixture->driver;
    MainWindow *window = nullptr;
    if (connect) {
        window = StartConnected();
        QVERIFY(window->Session()->Connected());
    } else {
        window = Start({});
    }
    driver.boxes.clear();
    driver.dialogs.clear();
    driver.Queue("DialogPassword", ModalDriver::Password(password));

    Action("action_edit_mode")->trigger();

    QCOMPARE(driver.boxes, expectedBoxes);
    QCOMPARE(driver.dialogs, connect ? QStringList{"DialogPassword"} : QStringList{});
    QCOMPARE(window->EditMode(), editing);
    QCOMPARE(Action("action_edit_mode")->isChecked(), editing);
    for (const char *name : {"action_add", "action_add_top_level", "action_change", "action_delete"})
        QCOMPARE(Action(name)->isEnabled(), editing);
    if (editing)
        QCOMPARE(window->statusBar()->currentMessage(), QString("Режим редактирования"));
}

void ShellWindowTest::leavingEditModeAsksNothing_data() {
    QTest::addColumn<QString>("how");

    QTest::newRow("f7-key") << "key";
    QTest::newRow("menu-command") << "menu";
    QTest::newRow("disconnect") << "disconnect";
}

void ShellWindowTest::leavingEditModeAsksNothing() {
    QFETCH(QString, how);

    ModalDriver &driver = fixture->driver;
    MainWindow *window = StartConnected();
    QVERIFY(window->Session()->Connected());
    driver.Queue("DialogPassword", ModalDriver::Password("VERNA"));
    Action("action_edit_mode")->trigger();
    QVERIFY(window->EditMode());
    driver.boxes.clear();
    driver.dialogs.clear();

    if (how == "key") {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_F7);
    } else if (how == "menu") {
        Action("action_edit_mode")->trigger();
    } else {
        Action("action_disconnect")->trigger();
    }

    QVERIFY(!window->EditMode());
    QCOMPARE(driver.dialogs, QStringList{});
    QCOMPARE(driver.boxes, QStringList{});
    QVERIFY(!Action("action_edit_mode")->isChecked());
    QVERIFY(!Action("action_delete")->isEnabled());
    // Edit mode left the chart in period mode; without link the window is offline.
    QCOMPARE(window->statusBar()->currentMessage(), QString(how == "disconnect" ? "Автономный режим" : "Период"));
    if (how == "disconnect") {
        QCOMPARE(window->windowTitle(), Offline);
        QVERIFY(!window->Session()->Connected());
    }
}

void ShellWindowTest::closingTabHidesTabArea_data() {
    QTest::addColumn<int>("shownTab");
    QTest::addColumn<int>("closedTab");

    QTest::newRow("events-tab-closed") << 1 << 1;
    QTest::newRow("table-tab-closed-while-events-shown") << 1 << 0;
    QTest::newRow("table-tab-closed") << 0 << 0;
    QTest::newRow("events-tab-closed-while-table-shown") << 0 << 1;
}

void ShellWindowTest::closingTabHidesTabArea() {
    QFETCH(int, shownTab);
    QFETCH(int, closedTab);

    MainWindow *window = Start({});
    auto *tabs = window->findChild<QTabWidget *>("tabWidget");
    QVERIFY(!tabs->isVisible());

    Action("action_show_events")->trigger();
    QVERIFY(tabs->isVisible());
    QCOMPARE(tabs->currentWidget()->objectName(), QString("tab_events"));
    if (shownTab == 0) {
        tabs->tabBar()->setCurrentIndex(0);
        QVERIFY(Action("action_show_table")->isChecked());
        QVERIFY(!Action("action_show_events")->isChecked());
    }

    auto *close = tabs->tabBar()->tabButton(closedTab, QTabBar::RightSide);
    QVERIFY(close);
    QTest::mouseClick(close, Qt::LeftButton);

    QVERIFY(!tabs->isVisible());
    QVERIFY(!Action("action_show_table")->isChecked());
    QVERIFY(!Action("action_show_events")->isChecked());
}

void ShellWindowTest::aboutBox_data() {
    QTest::addColumn<bool>("byKey");

    QTest::newRow("menu-command") << false;
    QTest::newRow("f1-key") << true;
}

void ShellWindowTest::aboutBox() {
    QFETCH(bool, byKey);

    ModalDriver &driver = fixture->driver;
    MainWindow *window = Start({});
    driver.dialogs.clear();
    QString version;
    driver.Queue("DialogAbout", [&version](QDialog *dialog) {
        version = dialog->findChild<QLabel *>("label_version")->text();
        ModalDriver::Button(dialog, QDialogButtonBox::Ok)->click();
        return true;
    });

    if (byKey) {
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window));
        QTest::keyClick(window, Qt::Key_F1);
    } else {
        Action("action_about")->trigger();
    }

    QCOMPARE(driver.dialogs, QStringList{"DialogAbout"});
    QCOMPARE(version, QString("Версия 1.7.4"));
}

void ShellWindowTest::screenshotAfterLogin_data() {
    QTest::addColumn<bool>("showEvents");

    QTest::newRow("plot-and-tree") << false;
    QTest::newRow("with-events-tab") << true;
}

void ShellWindowTest::screenshotAfterLogin() {
    QFETCH(bool, showEvents);

    MainWindow *window = StartConnected();
    QVERIFY(window->Session()->Connected());
    window->showNormal();
    window->resize(1280, 800);
    auto *tree = window->findChild<QTreeWidget *>("tree");
    QTRY_VERIFY(tree->topLevelItemCount() > 0);
    QCOMPARE(tree->topLevelItem(0)->checkState(0), Qt::Checked);
    // Every channel is checked at login, so the plot soon shows recent samples.
    auto *plot = window->findChild<QCustomPlot *>("plot");
    const double hourAgo = QDateTime::currentSecsSinceEpoch() - 3600;
    QTRY_VERIFY_WITH_TIMEOUT(
        plot->graphCount() > 0 && plot->graph(0)->dataCount() > 0 && plot->xAxis->range().upper > hourAgo, 20000);
    if (showEvents) {
        Action("action_show_events")->trigger();
        auto *events = window->findChild<QTableWidget *>("events_tableWidget");
        QTRY_VERIFY_WITH_TIMEOUT(events->rowCount() > 0, 20000);
    }

    const QString folder = qEnvironmentVariable("ZENTA_SCREENSHOTS", QDir::tempPath());
    QVERIFY(QDir().mkpath(folder));
    const QString path = folder + "/shell_main_window_" + QTest::currentDataTag() + ".png";
    QVERIFY(window->grab().save(path));
    qInfo("screenshot: %s", qPrintable(path));
}

void ShellWindowTest::unfinishedOperationsWarn_data() {
    QTest::addColumn<QString>("operation");
    QTest::addColumn<bool>("result");

    QTest::newRow("load-one-record") << "LoadOneRecord" << false;
    QTest::newRow("set-acknowledgement") << "SetAcknowledgement" << false;
    QTest::newRow("add-acknowledgement") << "AddAcknowledgement" << true;
}

// The session asks; the window shows the warning while the operation waits for it.
void ShellWindowTest::unfinishedOperationsWarn() {
    QFETCH(QString, operation);
    QFETCH(bool, result);

    ModalDriver &driver = fixture->driver;
    MainWindow *window = StartConnected();
    QVERIFY(window->Session()->Connected());
    driver.boxes.clear();
    DB *db = window->Session();
    bool returned = !result;
    if (operation == "LoadOneRecord") {
        returned = db->tableDedurObjects->LoadOneRecord(1);
    } else if (operation == "SetAcknowledgement") {
        returned = db->tableDedurEvents->SetAcknowledgement(QStringLiteral("{no-such-event}"), true);
    } else {
        Table_Events_Kwit kwit(&db->client);
        returned = kwit.AddAcknowledgement(1, 8301, QString(), QString(), 1, QString(), QString());
    }
    QCOMPARE(returned, result);
    QCOMPARE(driver.boxes, QStringList{operation + "|Функция не реализована!"});
}

QTEST_MAIN(ShellWindowTest)
#include "shell_window_test.moc"
