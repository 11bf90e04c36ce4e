// Reading pushed events from a real stand server: the per-call limit, fixed codes, texts and acknowledgement.
#include <QtTest>

#include <QTemporaryDir>

#include "server/db.h"
#include "server/table_event_codes_14.h"
#include "stand_process.h"

namespace {

// Asks the stand to push count events of one code at once. Returns the first event's id, empty on failure.
QString EmitEvents(DB &db, int code, const QString &caption, const QString &comment, const QString &data, bool kwit,
                   int count, double time) {
    TLXCliSes *handle = db.GetTLXSessionPtr();
    TLXCliParam *param = nullptr;
    TLXCliParam *reply = nullptr;
    if (TLXCliRequest(handle, "ADMIN_EVENT", &param, &reply) != 0)
        return QString();
    const QByteArray c = caption.toUtf8(), m = comment.toUtf8(), d = data.toUtf8();
    TLXPrmSetInt32(param, 0, code);
    TLXPrmSetText(param, 1, c.size(), c.constData());
    TLXPrmSetText(param, 2, m.size(), m.constData());
    TLXPrmSetText(param, 3, d.size(), d.constData());
    TLXPrmSetBool(param, 4, kwit);
    TLXPrmSetInt32(param, 5, count);
    TLXPrmSetText(param, 6, 0, "");
    TLXPrmSetDouble(param, 7, time);
    if (TLXCliPost(handle, param) != 0 || !db.client.WaitResult(&reply))
        return QString();
    int32_t status = -1;
    int length = 0;
    const char *id = nullptr;
    const bool ok =
        TLXService::ReplyInt32(reply, 0, &status) && status == 0 && TLXService::ReplyBytes(reply, 1, &length, &id);
    const QString first = ok ? QString::fromUtf8(id, length) : QString();
    db.client.FreeReply(reply);
    return first;
}

} // namespace

class EventsReadTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void readEvents_data();
    void readEvents();
    void acknowledgement();

private:
    StandProcess stand;
    QTemporaryDir workDir;
};

void EventsReadTest::initTestCase() {
    QVERIFY(workDir.isValid());
    QVERIFY(QDir::setCurrent(workDir.path()));
    QVERIFY2(stand.Start({QStringLiteral("--backfill-hours"), QStringLiteral("0"), QStringLiteral("--no-sim"),
                          QStringLiteral("--test-aids")}),
             qPrintable(stand.Error()));
}

void EventsReadTest::readEvents_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("kwit");
    QTest::addColumn<int>("count");
    QTest::addColumn<QVector<int>>("perCall"); // events announced by successive calls
    QTest::addColumn<QString>("text");         // empty: the name from the codes table
    QTest::addColumn<QString>("shownComment");

    const QString csv = QStringLiteral("Время;Частота;Мощность\n05.03.2024 14:07:09;50,012;123.5\n");
    QTest::newRow("hundred-in-three-calls")
        << 8301 << "Снижение"
        << "Блок 1" << csv << true << 100 << QVector<int>{49, 49, 2, 0} << QString() << "Снижение / Блок 1";
    QTest::newRow("fixed-code-never-shown")
        << 602 << "x"
        << "y" << QString() << false << 3 << QVector<int>{0, 0} << QString() << QString();
    QTest::newRow("unknown-code") << 9999 << "Заголовок"
                                  << "Текст" << QString() << false << 1 << QVector<int>{1, 0}
                                  << "Неизвестное событие (код события 9999)"
                                  << "Заголовок / Текст";
    QTest::newRow("caption-without-comment") << 8302 << "Только заголовок" << QString() << QString() << false << 1
                                             << QVector<int>{1, 0} << QString() << "Только заголовок / ";
}

void EventsReadTest::readEvents() {
    QFETCH(int, code);
    QFETCH(QString, caption);
    QFETCH(QString, comment);
    QFETCH(QString, data);
    QFETCH(bool, kwit);
    QFETCH(int, count);
    QFETCH(QVector<int>, perCall);
    QFETCH(QString, text);
    QFETCH(QString, shownComment);

    // The aid that emits the events takes a user with the edit right.
    DB db;
    QVERIFY(db.OpenSession(stand.Address(), QStringLiteral("engineer"), QStringLiteral("engineer")));
    const int codes[] = {501, 601, 602, 603, 8301, 8302, 9999};
    QVERIFY(db.client.SubSet(codes, 7, "SUB_EVENT"));
    if (text.isEmpty() && code != 602) {
        text = db.tableEventCodes->GetEventName(code);
        QVERIFY(!text.isEmpty());
    }

    const double time = 1709647629.8;
    QSignalSpy events(signal_emitter, &DBSignal::EventAcknowledgmentRequired2);
    QSignalSpy acknowledged(signal_emitter, &DBSignal::EventAcknowledged);
    const QString firstId = EmitEvents(db, code, caption, comment, data, kwit, count, time);
    QVERIFY(!firstId.isEmpty());

    // The pushes travel ahead of the reply on the same connection, so all of them are queued by now.
    int total = 0;
    for (int expected : perCall) {
        QVERIFY(db.ReadEvents());
        QCOMPARE(events.count() - total, expected);
        total = events.count();
    }
    QCOMPARE(acknowledged.count(), 0);
    if (events.isEmpty())
        return;

    const QList<QVariant> first = events.first();
    QCOMPARE(first.at(0).toInt(), code);
    QCOMPARE(first.at(1).toDateTime(), QDateTime::fromSecsSinceEpoch(1709647629, Qt::LocalTime));
    QCOMPARE(first.at(2).toString(), text);
    QCOMPARE(first.at(3).toBool(), kwit);
    QCOMPARE(first.at(4).toString(), firstId);
    QCOMPARE(first.at(5).toString(), shownComment);
    QCOMPARE(first.at(6).toString(), data);
    QSet<QString> ids;
    for (const QList<QVariant> &event : events)
        ids.insert(event.at(4).toString());
    QCOMPARE(ids.size(), count); // each event announced once
}

// An acknowledgement sent by one client comes back to every subscribed client as EventAcknowledged.
void EventsReadTest::acknowledgement() {
    DB first, second;
    QVERIFY(first.OpenSession(stand.Address(), QStringLiteral("engineer"), QStringLiteral("engineer")));
    QVERIFY(second.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")));
    const int codes[] = {501, 8303};
    QVERIFY(first.client.SubSet(codes, 2, "SUB_EVENT"));
    QVERIFY(second.client.SubSet(codes, 2, "SUB_EVENT"));
    // The subscriptions are one-way messages handled by each connection's own server thread: a request
    // behind them on the same link returns only once they are in place.
    QCOMPARE(first.client.GetSrvVersion(), 0);
    QCOMPARE(second.client.GetSrvVersion(), 0);

    QSignalSpy acknowledged(signal_emitter, &DBSignal::EventAcknowledged);
    const QString id = EmitEvents(first, 8303, QStringLiteral("Квитировать"), QString(), QString(), true, 1,
                                  double(QDateTime::currentSecsSinceEpoch()));
    QVERIFY(!id.isEmpty());
    QVERIFY(first.AcknowledeEvent(id.toUtf8().constData(), 8303));
    QTRY_COMPARE((first.ReadEvents(), second.ReadEvents(), acknowledged.count()), 2);
    for (const QList<QVariant> &signal : acknowledged)
        QCOMPARE(signal.first().toString(), id);

    first.CloseSession();
    QVERIFY(!first.AcknowledeEvent(id.toUtf8().constData(), 8303));
    QVERIFY(!first.ReadEvents());
}

QTEST_MAIN(EventsReadTest)
#include "events_read_test.moc"
