// Hostile input at the edges of the system: login names that would break an SQL text if pasted
// unquoted, and a peer that announces a frame beyond the size limit.
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <arpa/inet.h>
#include <atomic>
#include <cstring>
#include <netinet/in.h>
#include <numeric>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include "raw_peer.h"
#include "server/db.h"
#include "server/table_users_14.h"
#include "stand/login_throttle.h"
#include "stand/stand_database.h"
#include "stand_client.h"
#include "stand_process.h"
#include "stand_sql.h"
#include "tlx/tlx_wire.h"

namespace {

QString Sql(QString text) {
    return text.replace(QLatin1Char('\''), QLatin1String("''"));
}

} // namespace

class SecurityTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void loginNames_data();
    void loginNames();
    void oversizedFrameClosesOnlyThatConnection_data();
    void oversizedFrameClosesOnlyThatConnection();
    void connectionCaps_data();
    void connectionCaps();
    void loginThrottle_data();
    void loginThrottle();
    void failedLoginsLogged();
    void outOfDescriptors();
    void stalledSelectIsALostLink();
    void stopWhileBusy_data();
    void stopWhileBusy();
    void selectBytesCapped_data();
    void selectBytesCapped();
    void testAids_data();
    void testAids();

private:
    StandProcess stand;
};

void SecurityTest::initTestCase() {
    StartTlx();
    QVERIFY2(stand.Start({"--backfill-hours", "1", "--no-sim"}), qPrintable(stand.Error()));
}

namespace {

// Events of the code the aid rows emit, over all time.
int StoredEvents(StandClient &client) {
    const int code = 8301;
    Param reply = client.Request("EVENT_CODE", [&](TLXCliParam *p) {
        TLXPrmSetBytes(p, 0, 4, &code);
        TLXPrmSetDouble(p, 1, 0);
        TLXPrmSetDouble(p, 2, 4e9);
        TLXPrmSetBool(p, 3, false);
    });
    return FieldInt(reply.get(), 1);
}

} // namespace

void SecurityTest::loginNames_data() {
    QTest::addColumn<QString>("login");
    QTest::newRow("apostrophe") << QStringLiteral("o'brien");
    QTest::newRow("cyrillic-and-quotes") << QStringLiteral("Оператор 'Смена №2' \"Б\"");
    QTest::newRow("injection-text") << QStringLiteral("x' or '1'='1");
    QTest::newRow("doubled-apostrophes") << QStringLiteral("д''артаньян");
}

void SecurityTest::loginNames() {
    QFETCH(QString, login);
    static int serial = 0;
    const QString key = QStringLiteral("{5EC00000-0000-0000-0000-%1}").arg(++serial, 12, 10, QLatin1Char('0'));
    // The new user gets the operator's password; the stand reads its users when it starts.
    stand.Kill();
    QString error;
    QVERIFY2(RunSql(stand.DatabasePath(),
                    QStringLiteral("INSERT INTO Users VALUES('%1', '%2', '%2', '%2', 0);"
                                   "INSERT INTO Credentials SELECT '%2', salt, hash, iterations FROM Credentials "
                                   "WHERE login_ = 'operator';")
                        .arg(key, Sql(login)),
                    &error),
             qPrintable(error));
    QVERIFY2(stand.Restart(), qPrintable(stand.Error()));

    QStringList boxes;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&boxes] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << box->text();
            box->accept();
        }
    });
    closer.start(50);
    DB db;
    QVERIFY(db.OpenSession(stand.Address(), login, QStringLiteral("operator")));
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join("; ")));
    // The users filter found exactly this user, and the name came back letter for letter.
    QCOMPARE(db.userId, key);
    QCOMPARE(db.tableUsers->GetRecordCount(), 1);
    QCOMPARE(db.tableUsers->GetUserLogin(key), login);

    // The wrong password for the same name is still refused.
    DB refused;
    QVERIFY(!refused.OpenSession(stand.Address(), login, QStringLiteral("wrong")));
    QCOMPARE(refused.LastError(), QStringLiteral("Неверное имя пользователя или пароль"));
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join("; ")));
}

void SecurityTest::oversizedFrameClosesOnlyThatConnection_data() {
    QTest::addColumn<quint32>("announced");
    QTest::addColumn<bool>("loggedIn");
    QTest::newRow("before-login") << quint32(1u << 20) << false;
    QTest::newRow("after-login-100-mib") << quint32(100u << 20) << true;
    QTest::newRow("after-login-4-gib") << quint32(0xFFFFFFF0u) << true;
}

void SecurityTest::oversizedFrameClosesOnlyThatConnection() {
    QFETCH(quint32, announced);
    QFETCH(bool, loggedIn);

    StandClient bystander;
    QCOMPARE(bystander.Open(stand.Port(), "operator", "operator"), 0);

    RawPeer peer(stand.Port());
    if (loggedIn) {
        tlx::wire::Hello hello;
        hello.user = "operator";
        hello.password = "operator";
        const std::vector<uint8_t> payload = tlx::wire::EncodeHello(hello);
        QVERIFY(peer.Send(tlx::wire::EncodeFrame(tlx::wire::kHello, 0, payload.data(), payload.size())));
    }
    // A request header that announces more than the limit, followed by a little of its "payload".
    std::vector<uint8_t> header = tlx::wire::EncodeFrame(tlx::wire::kRequest, 1, nullptr, 0);
    std::memcpy(header.data(), &announced, sizeof announced);
    header.resize(header.size() + 1024, 0xAB);
    QVERIFY(peer.Send(header));
    QVERIFY(peer.ClosedWithin(5000));

    // The other client goes on as if nothing happened.
    const SelectResult result = Select(bystander, "select KeyLink, nameLat from Tables");
    QCOMPARE(result.status, 0);
    QVERIFY(result.rows.size() > 0);
    StandClient newcomer;
    QCOMPARE(newcomer.Open(stand.Port(), "operator", "operator"), 0);
}

void SecurityTest::connectionCaps_data() {
    QTest::addColumn<QString>("option");
    QTest::newRow("total") << QStringLiteral("--max-connections");
    QTest::newRow("per-address") << QStringLiteral("--max-per-address");
}

void SecurityTest::connectionCaps() {
    QFETCH(QString, option);
    StandProcess capped;
    QVERIFY2(capped.Start({"--backfill-hours", "1", "--no-sim", option, "3"}), qPrintable(capped.Error()));
    std::vector<std::unique_ptr<StandClient>> held;
    for (int i = 0; i < 3; ++i) {
        held.emplace_back(new StandClient);
        QCOMPARE(held.back()->Open(capped.Port(), "operator", "operator"), 0);
    }
    // The fourth is closed at once instead of getting a thread, and the held ones still work.
    RawPeer extra(capped.Port());
    QVERIFY(extra.ClosedWithin(5000));
    QCOMPARE(Select(*held.front(), "select KeyLink from Tables").status, 0);
    // A freed place is given to the next client.
    held.pop_back();
    const quint16 port = capped.Port();
    // Not QTRY: it evaluates its expression again after success, and a login just closed may still
    // hold its place for a moment, so that extra attempt could be refused.
    QDeadlineTimer deadline(30000);
    int status;
    while ((status = StandClient().Open(port, "operator", "operator")) != 0 && !deadline.hasExpired())
        QTest::qWait(50);
    QCOMPARE(status, 0);
}

void SecurityTest::loginThrottle_data() {
    QTest::addColumn<int>("failures");
    QTest::addColumn<bool>("distinctNames");
    QTest::addColumn<qint64>("laterMs");
    QTest::addColumn<bool>("thenSucceeds");
    QTest::addColumn<int>("sameUserDelay");
    QTest::addColumn<int>("otherUserDelay");
    using T = stand::LoginThrottle;
    QTest::newRow("none") << 0 << false << qint64(0) << false << 0 << 0;
    QTest::newRow("one") << 1 << false << qint64(0) << false << T::kFirstDelayMs << 0;
    QTest::newRow("doubles") << 3 << false << qint64(0) << false << 4 * T::kFirstDelayMs << 0;
    QTest::newRow("capped") << 40 << false << qint64(0) << false << T::kMaxDelayMs << T::kMaxDelayMs;
    QTest::newRow("forgotten") << 5 << false << qint64(T::kForgetAfterMs + 1) << false << 0 << 0;
    QTest::newRow("success-clears") << 5 << false << qint64(0) << true << 0 << 0;
    QTest::newRow("names-under-threshold")
        << T::kAddressFreeFailures << true << qint64(0) << false << T::kFirstDelayMs << 0;
    QTest::newRow("address-spray") << T::kAddressFreeFailures + 2 << true << qint64(0) << false << 2 * T::kFirstDelayMs
                                   << 2 * T::kFirstDelayMs;
}

void SecurityTest::loginThrottle() {
    QFETCH(int, failures);
    QFETCH(bool, distinctNames);
    QFETCH(qint64, laterMs);
    QFETCH(bool, thenSucceeds);
    QFETCH(int, sameUserDelay);
    QFETCH(int, otherUserDelay);
    stand::LoginThrottle throttle;
    const int64_t start = 1000000;
    for (int i = 0; i < failures; ++i)
        throttle.Failed("10.0.0.7", distinctNames ? "guess" + std::to_string(i) : "operator", start + i);
    if (thenSucceeds)
        throttle.Succeeded("10.0.0.7", "operator");
    const int64_t now = start + failures + laterMs;
    QCOMPARE(throttle.DelayMs("10.0.0.7", distinctNames ? "guess0" : "operator", now), sameUserDelay);
    QCOMPARE(throttle.DelayMs("10.0.0.7", "engineer", now), otherUserDelay);
    // Another address is never slowed by this one's guesses at another name.
    QCOMPARE(throttle.DelayMs("10.0.0.8", "engineer", now), 0);
}

// Against a real stand: each failed login is logged with its address and count, the guesser waits
// out its growing delay, and another user still gets in.
void SecurityTest::failedLoginsLogged() {
    StandProcess guarded;
    QVERIFY2(guarded.Start({"--backfill-hours", "0", "--no-sim"}), qPrintable(guarded.Error()));
    for (int i = 0; i < 3; ++i)
        QVERIFY(StandClient().Open(guarded.Port(), "operator", "wrong") != 0);
    QTRY_VERIFY_WITH_TIMEOUT(guarded.ReadOutput().contains("failed login of \"operator\" from 127.0.0.1 (3 in a row)"),
                             10000);
    QCOMPARE(StandClient().Open(guarded.Port(), "engineer", "engineer"), 0);
    QCOMPARE(StandClient().Open(guarded.Port(), "operator", "operator"), 0);
    QVERIFY(!guarded.ReadOutput().contains("failed login of \"engineer\""));
}

// CPU time the process has used so far, in clock ticks.
long CpuTicks(qint64 pid) {
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> fields = stat.readAll().split(')').last().split(' ');
    // After the name: state is field 3 of the whole line, utime 14 and stime 15.
    return fields.size() > 13 ? fields[12].toLong() + fields[13].toLong() : -1;
}

// At its descriptor limit the stand leaves further connections queued without spinning on them,
// keeps serving its clients and takes new ones once descriptors are free again.
void SecurityTest::outOfDescriptors() {
#ifdef __SANITIZE_ADDRESS__
    // The sanitizers' runtime in the stand needs descriptors of its own (to read its suppressions and
    // the process's maps when it checks a type) and reports nonsense once they run out.
    QSKIP("a sanitized stand cannot run at its descriptor limit");
#endif
    StandProcess limited;
    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_NOFILE, &saved) == 0);
    rlimit low = saved;
    low.rlim_cur = 64; // inherited by the stand
    QVERIFY(setrlimit(RLIMIT_NOFILE, &low) == 0);
    const bool started = limited.Start({"--backfill-hours", "0", "--no-sim"});
    setrlimit(RLIMIT_NOFILE, &saved);
    QVERIFY2(started, qPrintable(limited.Error()));
    StandClient held;
    QCOMPARE(held.Open(limited.Port(), "operator", "operator"), 0);
    std::vector<std::unique_ptr<RawPeer>> peers;
    QCOMPARE(Select(held, "select KeyLink from Tables").status, 0);
    for (int i = 0; i < 100; ++i)
        peers.emplace_back(new RawPeer(limited.Port()));
    // A select that needs a descriptor of its own may fail at the limit, but it is answered.
    QVERIFY(Select(held, "select KeyLink from Tables").status >= 0);
    // A spinning accept loop would burn a whole core meanwhile; the pause costs next to nothing.
    const long before = CpuTicks(limited.Pid());
    QElapsedTimer wall;
    wall.start();
    QTest::qWait(1000);
    const double share = double(CpuTicks(limited.Pid()) - before) * 1000.0 / sysconf(_SC_CLK_TCK) / wall.elapsed();
    qInfo("stand used %.0f %% of a core at its descriptor limit", share * 100);
    QVERIFY2(share < 0.5, qPrintable(QString::number(share)));
    QVERIFY(Select(held, "select KeyLink from Tables").status >= 0);
    peers.clear();
    QDeadlineTimer deadline(30000);
    int status;
    while ((status = StandClient().Open(limited.Port(), "engineer", "engineer")) != 0 && !deadline.hasExpired())
        QTest::qWait(50);
    QCOMPARE(status, 0);
}

void SecurityTest::stalledSelectIsALostLink() {
    const int stallMs = 60000;
    StandProcess stalled;
    QVERIFY2(stalled.Start(
                 {"--backfill-hours", "1", "--no-sim", "--test-aids", "--test-stall-select", QString::number(stallMs)}),
             qPrintable(stalled.Error()));
    QTemporaryDir work;
    const QString startDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(work.path()));
    {
        QFile ini(QStringLiteral("dedur.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Network]\nREQUEST_TIMEOUT_SEC=0.5\n");
    }
    QStringList boxes;
    QTimer closer;
    connect(&closer, &QTimer::timeout, [&boxes] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            boxes << box->text();
            box->accept();
        }
    });
    closer.start(50);
    QElapsedTimer waited;
    waited.start();
    DB db;
    const bool opened = db.OpenSession(stalled.Address(), QStringLiteral("operator"), QStringLiteral("operator"));
    const qint64 elapsed = waited.elapsed();
    QDir::setCurrent(startDir);
    // The login gave up on the first unanswered select, long before the server would have answered,
    // closed the link and said so, for the window to show.
    QVERIFY(!opened);
    QVERIFY(!db.Connected());
    QVERIFY2(elapsed < stallMs / 2, qPrintable(QString::number(elapsed)));
    QCOMPARE(db.LastError(), QStringLiteral("Не удалось прочитать таблицы с сервера!"));
    QVERIFY2(boxes.isEmpty(), qPrintable(boxes.join("; ")));
}

void SecurityTest::selectBytesCapped_data() {
    QTest::addColumn<QByteArray>("sql");
    QTest::newRow("one-value-past-64-mib") << QByteArray("select zeroblob(100000000) as b");
    QTest::newRow("rows-adding-up-past-64-mib")
        << QByteArray("select zeroblob(40000000) as b union all select zeroblob(40000001)");
}

void SecurityTest::selectBytesCapped() {
    QFETCH(QByteArray, sql);
    StandClient client;
    QCOMPARE(client.Open(stand.Port(), "operator", "operator"), 0);
    // Refused by the select itself, before a reply of that size is packed; the link goes on.
    QCOMPARE(Select(client, sql.constData()).status, int(stand::kStatusTooLarge));
    QCOMPARE(Select(client, "select KeyLink from Tables").status, 0);
}

void SecurityTest::testAids_data() {
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<bool>("service"); // started as the installed service is
    QTest::addColumn<QByteArray>("user");
    QTest::addColumn<QByteArray>("command");
    QTest::addColumn<int>("status"); // -1: the stand refuses to start
    QTest::addColumn<QString>("reason");
    const QStringList on{"--test-aids"};
    const QByteArray fault("ADMIN_FAULT"), event("ADMIN_EVENT"), engineer("engineer"), op("operator");
    QTest::newRow("off-fault") << QStringList() << false << engineer << fault << 1 << "--test-aids";
    QTest::newRow("off-event") << QStringList() << false << engineer << event << 1 << "--test-aids";
    QTest::newRow("on-fault-read-only-user") << on << false << op << fault << 1 << "may not use ADMIN_FAULT";
    QTest::newRow("on-event-read-only-user") << on << false << op << event << 1 << "may not use ADMIN_EVENT";
    QTest::newRow("on-fault-engineer") << on << false << engineer << fault << 0 << QString();
    QTest::newRow("on-event-engineer") << on << false << engineer << event << 0 << QString();
    QTest::newRow("service-refuses-aids")
        << on << true << engineer << event << -1 << "refused in the installed service";
    QTest::newRow("service-without-aids") << QStringList() << true << engineer << event << 1 << "--test-aids";
    QTest::newRow("stall-needs-aids") << QStringList{"--test-stall-select", "1000"} << false << engineer << event << -1
                                      << "needs --test-aids";
}

// The aids forge stored alarms or stop the server: without --test-aids, or for a read-only user,
// they are refused and leave no trace; the installed service never has them.
void SecurityTest::testAids() {
    QFETCH(QStringList, options);
    QFETCH(bool, service);
    QFETCH(QByteArray, user);
    QFETCH(QByteArray, command);
    QFETCH(int, status);
    QFETCH(QString, reason);
    StandProcess aided;
    if (service)
        qputenv("ZENTA_STAND_SERVICE", "1");
    const bool started = aided.Start(QStringList{"--backfill-hours", "0", "--no-sim"} + options);
    qunsetenv("ZENTA_STAND_SERVICE");
    if (status < 0) {
        QVERIFY(!started);
        QVERIFY2(aided.Error().contains(reason), qPrintable(aided.Error()));
        return;
    }
    QVERIFY2(started, qPrintable(aided.Error()));
    StandClient caller, watcher;
    QCOMPARE(caller.Open(aided.Port(), user, user), 0);
    QCOMPARE(watcher.Open(aided.Port(), "engineer", "engineer"), 0);
    Param reply = caller.Request(command.constData(), [&](TLXCliParam *p) {
        if (command == "ADMIN_FAULT") {
            TLXPrmSetText(p, 0, 11, "SRV_VERSION");
            TLXPrmSetInt32(p, 1, 1);
            TLXPrmSetText(p, 2, 4, "kill");
        } else {
            TLXPrmSetInt32(p, 0, 8301);
        }
    });
    QCOMPARE(FieldInt(reply.get(), 0), status);
    QVERIFY2(QString::fromLatin1(FieldBytes(reply.get(), 1)).contains(reason), FieldBytes(reply.get(), 1).constData());
    if (command == "ADMIN_EVENT") {
        QCOMPARE(StoredEvents(watcher), status == 0 ? 1 : 0);
    } else {
        // An armed fault kills the server on the next SRV_VERSION; a refused one leaves it answering.
        QCOMPARE(bool(watcher.Request("SRV_VERSION", {}, 10000)), status != 0);
        QCOMPARE(StoredEvents(watcher) >= 0, status != 0);
    }
}

void SecurityTest::stopWhileBusy_data() {
    QTest::addColumn<QString>("work");
    QTest::newRow("endless-select") << "select";
    QTest::newRow("stalled-select") << "stall";
    QTest::newRow("throttled-login") << "login";
    QTest::newRow("events-request-over-many-events") << "events";
    QTest::newRow("hundred-connections") << "connections";
}

// SIGTERM ends the stand within about two seconds whatever its clients have it doing; the test only
// guards against a hang and prints the time.
void SecurityTest::stopWhileBusy() {
    QFETCH(QString, work);
    StandProcess busy;
    QStringList options{"--backfill-hours", "0.05", "--no-sim"};
    if (work == "stall")
        options << "--test-aids"
                << "--test-stall-select"
                << "60000";
    QVERIFY2(busy.Start(options), qPrintable(busy.Error()));
    if (work == "events") {
        busy.Stop();
        QString error;
        QVERIFY2(RunSql(busy.DatabasePath(),
                        "WITH RECURSIVE r(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM r WHERE i < 300000) "
                        "INSERT INTO EvDedur SELECT printf('{E%07d}', i), -5000, 1e9 + i, 1e9 + i, '', 'Событие', "
                        "'', '', '', 1, '', 0 FROM r;",
                        &error),
                 qPrintable(error));
        QVERIFY2(busy.Restart(), qPrintable(busy.Error()));
    }
    const quint16 port = busy.Port();
    std::atomic<int> started{0};
    std::vector<std::thread> threads;
    std::vector<std::unique_ptr<StandClient>> held;
    if (work == "select" || work == "stall") {
        threads.emplace_back([port, &started] {
            StandClient client;
            if (client.Open(port, "operator", "operator") != 0)
                return;
            ++started;
            Select(client, "with recursive r(i) as (select 1 union all select i + 1 from r) select count(*) from r");
        });
        QTRY_COMPARE(started.load(), 1);
    } else if (work == "events") {
        threads.emplace_back([port, &started] {
            StandClient client;
            if (client.Open(port, "operator", "operator") != 0)
                return;
            QVector<int> codes(2000000);
            std::iota(codes.begin(), codes.end(), 1);
            ++started;
            client.Request("EVENT_CODE", [&](TLXCliParam *p) {
                TLXPrmSetBytes(p, 0, codes.size() * 4, codes.constData());
                TLXPrmSetDouble(p, 1, 0);
                TLXPrmSetDouble(p, 2, 4e9);
                TLXPrmSetBool(p, 3, false);
            });
        });
        QTRY_COMPARE(started.load(), 1);
    } else if (work == "login") {
        for (int i = 0; i < 3; ++i)
            QVERIFY(StandClient().Open(port, "operator", "wrong") != 0);
        threads.emplace_back([port, &started] {
            ++started;
            StandClient().Open(port, "operator", "wrong"); // waits out the throttle's delay
        });
        QTRY_COMPARE(started.load(), 1);
    } else {
        for (int i = 0; i < 100; ++i) {
            held.emplace_back(new StandClient);
            QCOMPARE(held.back()->Open(port, "operator", "operator"), 0);
        }
    }
    QTest::qWait(200); // the work is under way in the server
    qint64 took = 0;
    const bool stopped = busy.Terminate(10000, &took);
    for (std::thread &t : threads)
        t.join();
    qInfo("%s: stopped %lld ms after SIGTERM", qPrintable(work), took);
    QVERIFY2(stopped, qPrintable(busy.Output()));
}

QTEST_MAIN(SecurityTest)
#include "security_test.moc"
