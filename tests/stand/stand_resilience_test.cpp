// zenta-stand under abuse: killed in the middle of writes, fed broken frames, restarted, read by many
// clients at once.
#include "raw_peer.h"
#include "stand_client.h"
#include "stand_process.h"

#include <QElapsedTimer>
#include <QtTest>

#include <sqlite3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <thread>

namespace {

TLXCliParam *BatchRequest(StandClient &client, const QByteArray &tag, int batch, int size, TLXCliParam **replySlot) {
    TLArray *array = nullptr;
    TLACreate(&array, 0);
    const char *names[] = {"KeyLink", "DEDUR_OBJ_ID", "DEDUR_OBJ_NAME", "DEDUR_OBJ_TYPE", "DEDUR_OBJ_PARENT"};
    const int types[] = {TL_TEXT, TL_INT32, TL_TEXT, TL_INT32, TL_INT32};
    for (int i = 0; i < 5; ++i)
        TLAFldAdd(array, names[i], types[i]);
    for (int k = 0; k < size; ++k) {
        TLRecord *r = TLARecNew(array);
        const int id = 100000 + batch * size + k;
        const QByteArray key = "{" + tag + "-" + QByteArray::number(id) + "}";
        const QByteArray name = tag + "-" + QByteArray::number(batch);
        TLRSetAsText(TLAFld(array, 0), r, key.size(), key.constData());
        TLRSetAsInt32(TLAFld(array, 1), r, id);
        TLRSetAsText(TLAFld(array, 2), r, name.size(), name.constData());
        TLRSetAsInt32(TLAFld(array, 3), r, 7);
        TLRSetAsInt32(TLAFld(array, 4), r, 1);
        for (int f = 0; f < 5; ++f)
            TLRSetUser(TLAFld(array, f), r, 1);
        TLRSetFlags(r, TLR_NEW);
        TLARecPost(array, r);
    }
    TLXCliParam *param = nullptr;
    TLXCliRequest(client.handle, "SQL_UPDATE", &param, replySlot);
    TLXPrmSetText(param, 0, 11, "T_DEDUR_OBJ");
    TLXCliSetArr(param, "_ARR", array, 1);
    TLADestroy(array);
    return param;
}

// Raw bytes to the port, bypassing tlx; the socket is closed afterwards.
bool SendRaw(quint16 port, const QByteArray &bytes, bool waitForClose) {
    RawPeer peer(port);
    if (!peer.Connected())
        return false;
    peer.Send(bytes);
    if (waitForClose)
        peer.ClosedWithin(10000);
    return true;
}

} // namespace

class StandResilienceTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void killDuringWrites_data();
    void killDuringWrites();
    void brokenFrames_data();
    void brokenFrames();
    void restartFillsGap();
    void parallelReaders();
    void loginCost();
    void unusableDatabase_data();
    void unusableDatabase();
};

void StandResilienceTest::initTestCase() {
    StartTlx();
}

void StandResilienceTest::killDuringWrites_data() {
    QTest::addColumn<int>("inFlight");
    QTest::addColumn<int>("batchSize");
    QTest::newRow("one-batch") << 1 << 400;
    QTest::newRow("many-batches") << 12 << 150;
    QTest::newRow("many-small") << 40 << 10;
}

// Every batch is one transaction: after a kill at any moment a batch is either whole or absent.
void StandResilienceTest::killDuringWrites() {
    QFETCH(int, inFlight);
    QFETCH(int, batchSize);
    StandProcess stand;
    QVERIFY2(stand.Start({"--no-sim", "--backfill-hours", "0"}), qPrintable(stand.Error()));
    const QByteArray tag = QByteArray("kill") + QTest::currentDataTag();
    {
        StandClient engineer;
        QCOMPARE(engineer.Open(stand.Port(), "engineer", "engineer"), 0);
        std::vector<TLXCliParam *> replies(size_t(inFlight), nullptr);
        std::vector<TLXCliParam *> requests;
        for (int b = 0; b < inFlight; ++b)
            requests.push_back(BatchRequest(engineer, tag, b, batchSize, &replies[size_t(b)]));
        for (TLXCliParam *request : requests)
            QCOMPARE(TLXCliPost(engineer.handle, request), 0);
        // Let the first batch be under way, then kill.
        TLXCliWaitResult(engineer.handle, &replies[0], inFlight > 1 ? 20000 : 0);
        if (replies[0])
            QCOMPARE(FieldInt(replies[0], 0), 0);
        stand.Kill();
        QTRY_VERIFY(!engineer.Connected());
        for (TLXCliParam *reply : replies) {
            if (reply)
                TLXCliPrmFree(reply, engineer.handle);
        }
    }

    sqlite3 *db = nullptr;
    QCOMPARE(sqlite3_open_v2(stand.DatabasePath().toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr),
             SQLITE_OK);
    sqlite3_stmt *stmt = nullptr;
    QCOMPARE(sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &stmt, nullptr), SQLITE_OK);
    QCOMPARE(sqlite3_step(stmt), SQLITE_ROW);
    QCOMPARE(QByteArray(reinterpret_cast<const char *>(sqlite3_column_text(stmt, 0))), QByteArray("ok"));
    sqlite3_finalize(stmt);
    const QByteArray sql = "SELECT DEDUR_OBJ_NAME, count(*) FROM T_DEDUR_OBJ WHERE DEDUR_OBJ_NAME LIKE '" + tag +
                           "-%' GROUP BY DEDUR_OBJ_NAME";
    QCOMPARE(sqlite3_prepare_v2(db, sql.constData(), -1, &stmt, nullptr), SQLITE_OK);
    int batches = 0;
    while (sqlite3_step(stmt) == SQLITE_ROW) {
        QCOMPARE(sqlite3_column_int(stmt, 1), batchSize);
        ++batches;
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    QVERIFY(batches <= inFlight);
    if (inFlight > 1)
        QVERIFY(batches >= 1); // the awaited first batch was answered, so it is stored

    // The server starts again on the same file and serves it.
    QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
    StandClient reader;
    QCOMPARE(reader.Open(stand.Port(), "operator", "operator"), 0);
    const SelectResult r = Select(reader, "select count(*) from T_DEDUR_OBJ where DEDUR_OBJ_NAME like '" + tag + "-%'");
    QCOMPARE(r.status, 0);
    QCOMPARE(r.rows[0][0].toInt(), batches * batchSize);
}

void StandResilienceTest::brokenFrames_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("waitForClose");
    QByteArray huge(16, '\xFF');
    QByteArray garbage;
    for (int i = 0; i < 5000; ++i)
        garbage.append(char((i * 7919 + 13) & 0xFF));
    QTest::newRow("garbage") << garbage << true;
    QTest::newRow("huge-length") << huge << true;
    QTest::newRow("http") << QByteArray("GET / HTTP/1.1\r\nHost: x\r\n\r\n") << true;
    QTest::newRow("one-byte-then-close") << QByteArray("\x01", 1) << false;
    QTest::newRow("connect-and-close") << QByteArray() << false;
    QTest::newRow("zeros") << QByteArray(64, '\0') << true;
}

void StandResilienceTest::brokenFrames() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, waitForClose);
    static StandProcess stand;
    static std::unique_ptr<StandClient> steady;
    if (!steady) {
        QVERIFY2(stand.Start({"--no-sim", "--backfill-hours", "0.05"}), qPrintable(stand.Error()));
        steady = std::make_unique<StandClient>();
        QCOMPARE(steady->Open(stand.Port(), "operator", "operator"), 0);
    }
    QVERIFY(SendRaw(stand.Port(), bytes, waitForClose));
    // The server goes on: the open session answers and a new login works.
    QCOMPARE(Select(*steady, "select count(*) from T_DEDUR_OBJ").status, 0);
    StandClient fresh;
    QCOMPARE(fresh.Open(stand.Port(), "engineer", "engineer"), 0);
    QCOMPARE(Select(fresh, "select USRS_ID from T_THIS").status, 0);
}

// After a crash the live simulator fills the missed seconds, so the archive has no hole.
void StandResilienceTest::restartFillsGap() {
    StandProcess stand;
    QVERIFY2(stand.Start({"--backfill-hours", "0.02", "--disturb-every", "0"}), qPrintable(stand.Error()));
    StandClient before;
    QCOMPARE(before.Open(stand.Port(), "operator", "operator"), 0);
    const double first = Select(before, "select min(time) from Archive where meas_id = 10001").rows[0][0].toDouble();
    stand.Kill();
    QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
    StandClient after;
    QCOMPARE(after.Open(stand.Port(), "operator", "operator"), 0);
    const double restarted = QDateTime::currentSecsSinceEpoch();
    // Wait until the archive has reached beyond the restart.
    QTRY_VERIFY_WITH_TIMEOUT(
        Select(after, "select max(time) from Archive where meas_id = 10001").rows.value(0).value(0).toDouble() >=
            restarted + 1,
        10000);
    const SelectResult r = Select(after, "select count(*), max(time) - min(time) from Archive where meas_id = 10001");
    QCOMPARE(r.status, 0);
    QCOMPARE(r.rows[0][0].toDouble(), r.rows[0][1].toDouble() + 1);
    QVERIFY(first > 0);
}

void StandResilienceTest::parallelReaders() {
    StandProcess stand;
    QVERIFY2(stand.Start({"--backfill-hours", "0.5"}), qPrintable(stand.Error()));
    std::atomic<int> failures{0};
    std::atomic<int> done{0};
    std::vector<std::thread> threads;
    const double now = QDateTime::currentSecsSinceEpoch();
    for (int c = 0; c < 8; ++c) {
        threads.emplace_back([&, c] {
            StandClient client;
            if (client.Open(stand.Port(), c % 2 ? "operator" : "engineer", c % 2 ? "operator" : "engineer") != 0) {
                ++failures;
                return;
            }
            for (int i = 0; i < 25; ++i) {
                Param reply = client.Request("MEAS_READ2", [&](TLXCliParam *p) {
                    TLXPrmSetInt32(p, 0, 10001 + (i % 2) * 1000 + (i % 2));
                    TLXPrmSetDouble(p, 1, now - 1500);
                    TLXPrmSetDouble(p, 2, now - 300);
                });
                const QByteArray block = FieldBytes(reply.get(), 0);
                if (block.size() != 21 + 29 * 1201)
                    ++failures;
                if (Select(client, "select * from T_DEDUR_DATA").status != 0)
                    ++failures;
                ++done;
            }
        });
    }
    for (auto &t : threads)
        t.join();
    QCOMPARE(failures.load(), 0);
    QCOMPARE(done.load(), 8 * 25);
}

// Prints the cost of refused logins: an unknown user must cost what a wrong password costs.
void StandResilienceTest::loginCost() {
    StandProcess stand;
    QVERIFY2(stand.Start({"--no-sim", "--backfill-hours", "0"}), qPrintable(stand.Error()));
    // Interleaved, so warming up favours neither.
    qint64 wrongPassword = 0, unknownUser = 0;
    for (int i = 0; i < 12; ++i) {
        const bool unknown = i % 2 == 1;
        StandClient client;
        QElapsedTimer timer;
        timer.start();
        const int rc = client.Open(stand.Port(), unknown ? "no-such-user" : "operator", "wrong");
        (unknown ? unknownUser : wrongPassword) += timer.nsecsElapsed();
        QCOMPARE(rc, int(TLX_ERR_AUTH));
    }
    qInfo("refused login: wrong password %.1f ms, unknown user %.1f ms", wrongPassword / 6e6, unknownUser / 6e6);
}

void StandResilienceTest::unusableDatabase_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QByteArray>("sql");
    QTest::newRow("garbage-file") << QByteArray("this is not a database at all, just text\n").repeated(200)
                                  << QByteArray();
    QTest::newRow("foreign-sqlite") << QByteArray()
                                    << QByteArray("CREATE TABLE Users(a); INSERT INTO Users VALUES(42);");
    QTest::newRow("directory") << QByteArray() << QByteArray();
}

// A file that is not the stand's own is refused with a message and left as it was.
void StandResilienceTest::unusableDatabase() {
    QFETCH(QByteArray, content);
    QFETCH(QByteArray, sql);
    QTemporaryDir dir;
    const QString path = dir.filePath("given.db");
    if (!content.isEmpty()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(content);
    } else if (!sql.isEmpty()) {
        sqlite3 *db = nullptr;
        QCOMPARE(sqlite3_open(path.toUtf8().constData(), &db), SQLITE_OK);
        QCOMPARE(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
        sqlite3_close(db);
    } else {
        QVERIFY(QDir(dir.path()).mkdir("given.db"));
    }
    QFile before(path);
    const QByteArray original = before.open(QIODevice::ReadOnly) ? before.readAll() : QByteArray();
    before.close();

    QProcess stand;
    stand.start(QStringLiteral(ZENTA_STAND_PATH), {"--db", path, "--port", "0", "--no-sim", "--backfill-hours", "0"});
    QVERIFY(stand.waitForFinished(20000));
    QVERIFY(stand.exitCode() != 0);
    QVERIFY(!stand.readAllStandardOutput().contains("listening on"));
    QVERIFY(stand.readAllStandardError().contains(path.toUtf8()));
    QFile after(path);
    const QByteArray now = after.open(QIODevice::ReadOnly) ? after.readAll() : QByteArray();
    QCOMPARE(now, original);
}

QTEST_GUILESS_MAIN(StandResilienceTest)
#include "stand_resilience_test.moc"
