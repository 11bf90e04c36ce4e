// Events of zenta-stand: subscriptions, pushed fields, acknowledgements seen by every client, the
// simulator's events.
#include "stand_client.h"
#include "stand_process.h"

#include <QRegularExpression>
#include <QtTest>
#include <numeric>

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netinet/in.h>

namespace {

struct Message {
    int kind = 0;
    QString id;
    int code = 0;
    QString caption, comment, data, kwitUser;
    bool kwit = false;
    double time = 0;
};

// Takes every waiting message of the client into inbox; returns the inbox size.
int Collect(StandClient &client, QVector<Message> *inbox) {
    while (Param p = client.TakeMessage()) {
        Message m;
        m.kind = TLXPrmKind(p.get());
        m.id = QString::fromUtf8(FieldBytes(p.get(), NamedIndex(p.get(), "_ID")));
        m.code = FieldInt(p.get(), NamedIndex(p.get(), "_CODE"), 0);
        m.caption = NamedText(p.get(), "_CAPTION");
        m.comment = NamedText(p.get(), "_COMMENT");
        m.data = NamedText(p.get(), "_DATA");
        m.kwitUser = NamedText(p.get(), "_KWITUSER");
        int kwit = 0;
        const int k = NamedIndex(p.get(), "_KWIT");
        if (k >= 0 && TLRGetAsBool(TLXPrmField(p.get(), k), TLXPrmRecord(p.get()), &kwit) == 0)
            m.kwit = kwit != 0;
        const int t = NamedIndex(p.get(), "_DTCP");
        if (t >= 0)
            TLRGetAsDouble(TLXPrmField(p.get(), t), TLXPrmRecord(p.get()), &m.time);
        inbox->append(m);
    }
    return inbox->size();
}

struct Emitted {
    int status = -1;
    QStringList ids;
};

Emitted Emit(StandClient &client, int code, const QString &caption = QString(), const QString &comment = QString(),
             const QString &data = QString(), bool kwit = true, int count = 1) {
    Emitted result;
    const QByteArray c = caption.toUtf8(), m = comment.toUtf8(), d = data.toUtf8();
    Param reply = client.Request("ADMIN_EVENT", [&](TLXCliParam *p) {
        TLXPrmSetInt32(p, 0, code);
        TLXPrmSetText(p, 1, c.size(), c.constData());
        TLXPrmSetText(p, 2, m.size(), m.constData());
        TLXPrmSetText(p, 3, d.size(), d.constData());
        TLXPrmSetBool(p, 4, kwit);
        TLXPrmSetInt32(p, 5, count);
    });
    if (!reply)
        return result;
    result.status = FieldInt(reply.get(), 0);
    result.ids = QString::fromUtf8(FieldBytes(reply.get(), 3)).split('\n', Qt::SkipEmptyParts);
    return result;
}

int CountOf(const QVector<Message> &inbox, int kind, int code) {
    int n = 0;
    for (const Message &m : inbox)
        n += (m.kind == kind && (code == 0 || m.code == code)) ? 1 : 0;
    return n;
}

const int kSentinel = 9999;

} // namespace

class StandEventsTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void subscription_data();
    void subscription();
    void eventFields_data();
    void eventFields();
    void acknowledgement_data();
    void acknowledgement();
    void burstReachesEveryone();
    void eventCodeRequest_data();
    void eventCodeRequest();
    void adminOnlyFromLoopback();
    void simulatorEvents();

private:
    StandProcess stand;
    StandClient admin;
};

void StandEventsTest::initTestCase() {
    StartTlx();
    QVERIFY2(stand.Start({"--no-sim", "--backfill-hours", "0.1", "--test-aids"}), qPrintable(stand.Error()));
    QCOMPARE(admin.Open(stand.Port(), "engineer", "engineer"), 0);
}

void StandEventsTest::subscription_data() {
    QTest::addColumn<QVector<int>>("subA");
    QTest::addColumn<QVector<int>>("subB");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("aGets");
    QTest::addColumn<bool>("bGets");
    QTest::newRow("only-a") << QVector<int>{501, 8301} << QVector<int>{501, 8302} << 8301 << true << false;
    QTest::newRow("both") << QVector<int>{8303} << QVector<int>{8304, 8303} << 8303 << true << true;
    QTest::newRow("nobody") << QVector<int>{8301} << QVector<int>{8302} << 8305 << false << false;
    QTest::newRow("unsorted-with-repeats")
        << QVector<int>{8308, 601, 8308, 8301} << QVector<int>{} << 8308 << true << false;
    QTest::newRow("service-code") << QVector<int>{601, 602, 603} << QVector<int>{8301} << 602 << true << false;
    QTest::newRow("resubscribed-away") << QVector<int>{8306} << QVector<int>{8306} << 8306 << true << true;
}

// The sentinel, which both clients take, arrives after the event: whoever has not seen the event by then
// will not get it.
void StandEventsTest::subscription() {
    QFETCH(QVector<int>, subA);
    QFETCH(QVector<int>, subB);
    QFETCH(int, code);
    QFETCH(bool, aGets);
    QFETCH(bool, bGets);
    StandClient a, b;
    QCOMPARE(a.Open(stand.Port(), "operator", "operator"), 0);
    QCOMPARE(b.Open(stand.Port(), "operator", "operator"), 0);
    a.Subscribe(subA << kSentinel);
    b.Subscribe(subB << kSentinel);
    if (QTest::currentDataTag() == QByteArray("resubscribed-away"))
        b.Subscribe({kSentinel, 8301}); // a later subscription replaces the earlier one
    // Subscriptions are one-way messages: a request round trip makes sure they have been handled.
    QCOMPARE(Select(a, "select 1").status, 0);
    QCOMPARE(Select(b, "select 1").status, 0);
    QCOMPARE(Emit(admin, code).status, 0);
    QCOMPARE(Emit(admin, kSentinel).status, 0);
    QVector<Message> inboxA, inboxB;
    QTRY_VERIFY(Collect(a, &inboxA) >= 1 && inboxA.last().code == kSentinel);
    QTRY_VERIFY(Collect(b, &inboxB) >= 1 && inboxB.last().code == kSentinel);
    const bool resubscribed = QTest::currentDataTag() == QByteArray("resubscribed-away");
    QCOMPARE(CountOf(inboxA, TLX_MSG_EVENT, code), aGets ? 1 : 0);
    QCOMPARE(CountOf(inboxB, TLX_MSG_EVENT, code), (bGets && !resubscribed) ? 1 : 0);
}

void StandEventsTest::eventFields_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("kwit");
    QTest::newRow("violation-with-csv") << 8303 << QString::fromUtf8("ГРЭС-1 Энергоблок №2")
                                        << QString::fromUtf8("нарушение 45 с")
                                        << QString("05.03.2024 14:07:09;50.012;123.5\n05.03.2024 14:07:10;50.01;124\n")
                                        << true;
    QTest::newRow("empty-comment") << 8304 << QString::fromUtf8("ТЭЦ-2") << QString() << QString("0") << false;
    QTest::newRow("quotes-and-semicolons")
        << 8301 << QString("a'b\"c;d") << QString::fromUtf8("ё Ё №") << QString() << true;
}

void StandEventsTest::eventFields() {
    QFETCH(int, code);
    QFETCH(QString, caption);
    QFETCH(QString, comment);
    QFETCH(QString, data);
    QFETCH(bool, kwit);
    StandClient client;
    QCOMPARE(client.Open(stand.Port(), "operator", "operator"), 0);
    client.Subscribe({code});
    QCOMPARE(Select(client, "select 1").status, 0);
    const double before = QDateTime::currentMSecsSinceEpoch() / 1000.0 - 1;
    const Emitted sent = Emit(admin, code, caption, comment, data, kwit);
    QCOMPARE(sent.status, 0);
    QCOMPARE(sent.ids.size(), 1);
    QVector<Message> inbox;
    QTRY_COMPARE(Collect(client, &inbox), 1);
    const Message &m = inbox[0];
    QCOMPARE(m.kind, int(TLX_MSG_EVENT));
    QCOMPARE(m.id, sent.ids[0]);
    QCOMPARE(m.code, code);
    QCOMPARE(m.caption, caption);
    QCOMPARE(m.comment, comment);
    QCOMPARE(m.data, data);
    QCOMPARE(m.kwit, kwit);
    QVERIFY(m.time >= before);
    // The event is journalled.
    QCOMPARE(Select(client, "select * from EvDedur where KeyLink = '" + sent.ids[0].toUtf8() + "'").rows.size(), 1);
}

void StandEventsTest::acknowledgement_data() {
    QTest::addColumn<bool>("byFirst");
    QTest::addColumn<int>("acknowledgements");
    QTest::addColumn<bool>("knownEvent");
    QTest::newRow("operator-acknowledges") << true << 1 << true;
    QTest::newRow("engineer-acknowledges") << false << 1 << true;
    QTest::newRow("acknowledged-twice") << true << 2 << true;
    QTest::newRow("unknown-event") << true << 1 << false;
}

void StandEventsTest::acknowledgement() {
    QFETCH(bool, byFirst);
    QFETCH(int, acknowledgements);
    QFETCH(bool, knownEvent);
    StandClient op, eng;
    QCOMPARE(op.Open(stand.Port(), "operator", "operator"), 0);
    QCOMPARE(eng.Open(stand.Port(), "engineer", "engineer"), 0);
    op.Subscribe({501, 8303, kSentinel});
    eng.Subscribe({501, 8303, kSentinel});
    QCOMPARE(Select(op, "select 1").status, 0);
    QCOMPARE(Select(eng, "select 1").status, 0);
    const Emitted sent = Emit(admin, 8303, "ack", "me");
    QCOMPARE(sent.status, 0);
    QVector<Message> inboxOp, inboxEng;
    QTRY_COMPARE(Collect(op, &inboxOp), 1);
    QTRY_COMPARE(Collect(eng, &inboxEng), 1);

    StandClient &acker = byFirst ? op : eng;
    const QByteArray id = knownEvent ? sent.ids[0].toUtf8() : QByteArray("{no-such-event}");
    for (int i = 0; i < acknowledgements; ++i)
        QVERIFY(acker.Post("EVENT_KWIT", [&](TLXCliParam *p) {
            TLXPrmSetText(p, 0, id.size(), id.constData());
            TLXPrmSetInt32(p, 1, 8303);
        }));
    // Messages of one connection are handled in order: after this reply the acknowledgements are done.
    QCOMPARE(Select(acker, "select 1").status, 0);
    QCOMPARE(Emit(admin, kSentinel).status, 0);
    QTRY_VERIFY(Collect(op, &inboxOp) >= 2 && inboxOp.last().code == kSentinel);
    QTRY_VERIFY(Collect(eng, &inboxEng) >= 2 && inboxEng.last().code == kSentinel);
    const int notices = knownEvent ? acknowledgements : 0;
    QCOMPARE(CountOf(inboxOp, TLX_MSG_KWIT, 0), notices);
    QCOMPARE(CountOf(inboxEng, TLX_MSG_KWIT, 0), notices);
    const QString firstAcker = byFirst ? "operator" : "engineer";
    for (const QVector<Message> *inbox : {&inboxOp, &inboxEng}) {
        for (const Message &m : *inbox) {
            if (m.kind == TLX_MSG_KWIT) {
                QCOMPARE(m.id, QString::fromUtf8(id));
                QCOMPARE(m.kwitUser, firstAcker);
            }
        }
    }
    QCOMPARE(Select(admin, "select * from T_EV_KWIT where EV_ID = '" + id + "'").rows.size(), notices);
    if (knownEvent) {
        const SelectResult stored = Select(admin, "select kwitUser from EvDedur where KeyLink = '" + id + "'");
        QCOMPARE(stored.rows.size(), 1);
        QCOMPARE(stored.rows[0][0].toString(), firstAcker);
    }
}

void StandEventsTest::burstReachesEveryone() {
    const int clients = 5;
    const int events = 1000;
    std::vector<std::unique_ptr<StandClient>> all;
    for (int i = 0; i < clients; ++i) {
        all.push_back(std::make_unique<StandClient>());
        QCOMPARE(all.back()->Open(stand.Port(), "operator", "operator"), 0);
        all.back()->Subscribe({8307});
        QCOMPARE(Select(*all.back(), "select 1").status, 0);
    }
    const Emitted sent = Emit(admin, 8307, "burst", QString(), QString(), false, events);
    QCOMPARE(sent.status, 0);
    QCOMPARE(sent.ids.size(), events);
    for (auto &client : all) {
        QVector<Message> inbox;
        QTRY_COMPARE_WITH_TIMEOUT(Collect(*client, &inbox), events, 20000);
        QSet<QString> ids;
        for (const Message &m : inbox)
            ids.insert(m.id);
        QCOMPARE(ids.size(), events);
        QCOMPARE(ids, QSet<QString>(sent.ids.begin(), sent.ids.end()));
    }
}

void StandEventsTest::eventCodeRequest_data() {
    QTest::addColumn<QVector<int>>("codes");
    QTest::addColumn<bool>("onlyUnacked");
    QTest::addColumn<int>("expected");
    QTest::newRow("both-codes") << QVector<int>{8302, 8305} << false << 3;
    QTest::newRow("one-code") << QVector<int>{8305} << false << 1;
    QTest::newRow("unacknowledged") << QVector<int>{8302, 8305} << true << 1;
    QTest::newRow("other-code") << QVector<int>{8308} << false << 0;
    // Millions of codes are read without the write lock and tested per row in logarithmic time.
    QVector<int> many(2000000);
    std::iota(many.begin(), many.end(), -1000);
    QTest::newRow("two-million-codes") << many << false << 3;
    many.removeAll(8305);
    QTest::newRow("two-million-codes-but-one") << many << false << 2;
}

void StandEventsTest::eventCodeRequest() {
    QFETCH(QVector<int>, codes);
    QFETCH(bool, onlyUnacked);
    QFETCH(int, expected);
    // A fresh window in the future keeps earlier rows out.
    static double window = QDateTime::currentSecsSinceEpoch() + 100000;
    static bool emitted = false;
    if (!emitted) {
        emitted = true;
        for (int code : {8302, 8302, 8305}) {
            Param reply = admin.Request("ADMIN_EVENT", [&](TLXCliParam *p) {
                TLXPrmSetInt32(p, 0, code);
                TLXPrmSetBool(p, 4, true);
                TLXPrmSetDouble(p, 7, window + 10);
            });
            QCOMPARE(FieldInt(reply.get(), 0), 0);
            if (code == 8302) {
                const QByteArray id = FieldBytes(reply.get(), 1);
                // Acknowledge both 8302 events; the round trip below orders it before the query.
                admin.Post("EVENT_KWIT", [&](TLXCliParam *m) { TLXPrmSetText(m, 0, id.size(), id.constData()); });
            }
        }
        QCOMPARE(Select(admin, "select 1").status, 0);
    }
    Param reply = admin.Request("EVENT_CODE", [&](TLXCliParam *p) {
        TLXPrmSetBytes(p, 0, codes.size() * 4, codes.constData());
        TLXPrmSetDouble(p, 1, window + 20);
        TLXPrmSetDouble(p, 2, window);
        TLXPrmSetBool(p, 3, onlyUnacked);
    });
    QVERIFY(reply);
    QCOMPARE(FieldInt(reply.get(), 0), 0);
    QCOMPARE(FieldInt(reply.get(), 1), expected);
    const QByteArray packed = FieldBytes(reply.get(), 2);
    TLArray *array = nullptr;
    TLACreate(&array, 0);
    QCOMPARE(TLXArrayUnPackBuf(array, packed.constData(), packed.size()), 0);
    QCOMPARE(TLARecCount(array), expected);
    QVERIFY(TLRFldByName(array, "_ID") && TLRFldByName(array, "_CODE") && TLRFldByName(array, "_DATA"));
    TLADestroy(array);
}

// The admin command is for tests on this machine only: a client from another address is refused.
void StandEventsTest::adminOnlyFromLoopback() {
    QByteArray address;
    ifaddrs *list = nullptr;
    if (getifaddrs(&list) == 0) {
        for (ifaddrs *i = list; i && address.isEmpty(); i = i->ifa_next) {
            if (!i->ifa_addr || i->ifa_addr->sa_family != AF_INET)
                continue;
            char text[INET_ADDRSTRLEN] = {};
            inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in *>(i->ifa_addr)->sin_addr, text, sizeof text);
            if (!QByteArray(text).startsWith("127."))
                address = text;
        }
        freeifaddrs(list);
    }
    if (address.isEmpty())
        QSKIP("this machine has no address besides loopback");
    StandProcess open;
    QVERIFY2(open.Start({"--no-sim", "--backfill-hours", "0", "--listen", "0.0.0.0", "--test-aids"}),
             qPrintable(open.Error()));
    StandClient remote;
    QCOMPARE(TLXCliOpen(remote.handle, address.constData(), open.Port(), "engineer", "engineer", 1, 0), 0);
    QCOMPARE(Emit(remote, 8301).status, 1);
    StandClient local;
    QCOMPARE(local.Open(open.Port(), "engineer", "engineer"), 0);
    QCOMPARE(Emit(local, 8301).status, 0);
}

void StandEventsTest::simulatorEvents() {
    StandProcess live;
    QVERIFY2(live.Start({"--backfill-hours", "0.05", "--event-every", "1", "--disturb-every", "0"}),
             qPrintable(live.Error()));
    StandClient client;
    QCOMPARE(client.Open(live.Port(), "operator", "operator"), 0);
    client.Subscribe({8301, 8302, 8303, 8304, 8305, 8306, 8307, 8308});
    QVector<Message> inbox;
    QTRY_VERIFY_WITH_TIMEOUT(Collect(client, &inbox) >= 2, 15000);
    const QRegularExpression line("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d;[-0-9.e+]+;[-0-9.e+]+$");
    for (const Message &m : inbox) {
        QVERIFY(m.code >= 8301 && m.code <= 8308);
        QVERIFY(!m.caption.isEmpty());
        QVERIFY(m.data.endsWith('\n'));
        const QStringList lines = m.data.split('\n', Qt::SkipEmptyParts);
        QVERIFY(lines.size() >= 10);
        for (const QString &l : lines)
            QVERIFY2(line.match(l).hasMatch(), qPrintable(l));
    }
    // The archive follows the clock.
    Param reply = client.Request("MEAS_READ1", [&](TLXCliParam *p) {
        TLXPrmSetInt32(p, 0, 10001);
        TLXPrmSetDouble(p, 1, QDateTime::currentSecsSinceEpoch());
    });
    const QByteArray block = FieldBytes(reply.get(), 0);
    QCOMPARE(block.size(), 13 + 29);
    double time = 0;
    memcpy(&time, block.constData() + 13 + 13, 8);
    QVERIFY(QDateTime::currentSecsSinceEpoch() - time < 5);
}

QTEST_GUILESS_MAIN(StandEventsTest)
#include "stand_events_test.moc"
