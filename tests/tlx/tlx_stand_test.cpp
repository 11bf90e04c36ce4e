// The link library against a real zenta-stand: a select as the session makes it, and the end of
// a wait without limit when the server is killed or frozen.
#include "stand_process.h"
#include "tlx/tlx.h"

#include <QtTest>

#include <atomic>
#include <thread>

namespace {

constexpr int kBeatMs = 500;
constexpr int kDeadMs = 3000;

struct Probe {
    std::atomic<int> closes{0};
    std::atomic<int> lastCode{0};
};

void OnClose(TLXCliSes *h, int code, int) {
    auto *p = static_cast<Probe *>(h->Owner);
    p->lastCode = code;
    ++p->closes;
}

struct Client {
    TLXCliSes *h = nullptr;
    Probe probe;
    Client() {
        TLXCliCreate(&h);
        h->Owner = &probe;
        h->OnSockClose = OnClose;
    }
    ~Client() { TLXCliFree(h); }
};

// Starts a request and waits for it on a thread of its own; the result lands in rc (1 while waiting).
struct Waiter {
    std::atomic<int> rc{1};
    TLXCliParam *reply = nullptr;
    std::thread thread;
    Waiter(TLXCliSes *h, const char *command, const QByteArray &text) {
        TLXCliParam *param = nullptr;
        TLXCliRequest(h, command, &param, &reply);
        if (!text.isEmpty())
            TLXPrmSetText(param, 0, text.size(), text.constData());
        int posted = TLXCliPost(h, param);
        thread = std::thread([this, h, posted] { rc = posted == 0 ? TLXCliWaitResult(h, &reply, -1) : posted; });
    }
    ~Waiter() {
        if (thread.joinable())
            thread.join();
    }
};

} // namespace

class TlxStandTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void selectUnpacks_data();
    void selectUnpacks();
    void serverGone_data();
    void serverGone();

private:
    StandProcess stand;
};

void TlxStandTest::initTestCase() {
    if (TLSockIsActive() == TLX_ERR_NOSOCK)
        QCOMPARE(TLSockInit(50), 0);
    QCOMPARE(TLXInit(), 0);
    TLXSetHeartbeat(kBeatMs, kDeadMs);
    QVERIFY2(stand.Start({"--backfill-hours", "0.05", "--no-sim"}), qPrintable(stand.Error()));
}

void TlxStandTest::selectUnpacks_data() {
    QTest::addColumn<QByteArray>("sql");
    QTest::addColumn<bool>("ok");
    QTest::newRow("tables") << QByteArray("select * from Tables") << true;
    QTest::newRow("users") << QByteArray("select * from Users") << true;
    QTest::newRow("unknown-table") << QByteArray("select * from NoSuchTable") << false;
}

// The reply's packed array is taken as a bare pointer and unpacked with the three-argument form,
// as the session does.
void TlxStandTest::selectUnpacks() {
    QFETCH(QByteArray, sql);
    QFETCH(bool, ok);
    Client c;
    QCOMPARE(TLXCliOpen(c.h, "127.0.0.1", stand.Port(), "operator", "operator", 1, 0), 0);
    Waiter w(c.h, "SQL_REQUEST", sql);
    QTRY_VERIFY(w.rc.load() != 1);
    QCOMPARE(w.rc.load(), 0);
    int32_t status = -1, rows = -1;
    QCOMPARE(TLRGetAsInt32(TLXPrmField(w.reply, 0), TLXPrmRecord(w.reply), &status), 0);
    QCOMPARE(status == 0, ok);
    if (ok) {
        TLRGetAsInt32(TLXPrmField(w.reply, 1), TLXPrmRecord(w.reply), &rows);
        const char *packed = nullptr;
        QCOMPARE(TLRGetTextPtr(TLXPrmField(w.reply, 2), TLXPrmRecord(w.reply), &packed), 0);
        TLArray *a = nullptr;
        TLACreate(&a, 0);
        QCOMPARE(TLXArrayUnPack(a, packed, 1), 0);
        QVERIFY(TLAFldCount(a) > 0);
        QVERIFY(TLARecCount(a) > 0);
        QCOMPARE(TLARecCount(a), int(rows));
        TLADestroy(a);
    }
    TLXCliPrmFree(w.reply, c.h);
}

void TlxStandTest::serverGone_data() {
    QTest::addColumn<bool>("freeze");
    QTest::newRow("killed") << false;
    QTest::newRow("frozen") << true;
}

// A wait without limit ends when the server dies or stops answering, and the socket-close callback
// runs exactly once.
void TlxStandTest::serverGone() {
    QFETCH(bool, freeze);
    Client c;
    QCOMPARE(TLXCliOpen(c.h, "127.0.0.1", stand.Port(), "operator", "operator", 1, 0), 0);
    if (freeze)
        stand.Freeze();
    else
        stand.Kill();
    {
        Waiter w(c.h, "SQL_REQUEST", "select * from Tables");
        QTRY_VERIFY_WITH_TIMEOUT(w.rc.load() != 1, 3 * kDeadMs);
        QVERIFY(w.rc.load() != 0);
        QVERIFY(!w.reply);
    }
    QCOMPARE(c.h->Connected, 0);
    QTRY_COMPARE(c.probe.closes.load(), 1);
    if (freeze)
        QCOMPARE(c.probe.lastCode.load(), int(TLX_ERR_TIMEOUT));
    TLXCliClose(c.h, 0);
    QCOMPARE(c.probe.closes.load(), 1);
    stand.Thaw();
    QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
    QCOMPARE(TLXCliOpen(c.h, "127.0.0.1", stand.Port(), "operator", "operator", 1, 0), 0);
}

QTEST_GUILESS_MAIN(TlxStandTest)
#include "tlx_stand_test.moc"
