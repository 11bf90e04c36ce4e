// Events from a real zenta-stand: subscription, reading, the events tab, the alarm and acknowledgement.
#include <QAction>
#include <QDir>
#include <QMediaPlayer>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QtTest>

#include "admin_link.h"
#include "app/mainwindow.h"
#include "char_device.h"
#include "server/db.h"
#include "server/table_event_codes_14.h"
#include "stand_process.h"
#include "views/events_table_widget.h"
#include "window_fixture.h"

Q_DECLARE_METATYPE(QMessageBox::StandardButton)

namespace {

const QString kDefaultCodes = QStringLiteral("8301,8302,8303,8304,8305,8306,8307,8308");
// An acknowledged alarm says who acknowledged it and when.
const QString kAckDone = QStringLiteral("Квитировано: ");

void WriteSettings(const QString &categories, const QString &codes, const QString &server = QString()) {
    QSettings settings(QDir::currentPath() + QStringLiteral("/dedur.ini"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("SUBSCRIBE_EVENT_CATEGORIES"), categories);
    settings.setValue(QStringLiteral("SUBSCRIBE_EVENT_CODES"), codes);
    if (!server.isEmpty()) {
        settings.setValue(QStringLiteral("SERVER_NAME"), server);
        settings.setValue(QStringLiteral("USER_NAME"), QStringLiteral("operator"));
        settings.setValue(QStringLiteral("USER_PASSWORD"), QStringLiteral("operator"));
        settings.setValue(QStringLiteral("AUTOLOGIN"), true);
    }
    settings.sync();
}

// Keys of the events announced so far, taken from a spy on EventAcknowledgmentRequired2.
QStringList Keys(const QSignalSpy &spy) {
    QStringList keys;
    for (const QList<QVariant> &args : spy)
        keys << args.at(4).toString();
    return keys;
}

int RowOfKey(QTableWidget *table, const QString &key) {
    for (int row = 0; row < table->rowCount(); ++row) {
        if (table->item(row, 0)->data(EventsTableWidget::KeyRole).toString() == key)
            return row;
    }
    return -1;
}

bool Pending(QTableWidget *table, int row) {
    return table->item(row, 0)->data(EventsTableWidget::AckRequiredRole).toBool();
}

EventSpec Pending(const QByteArray &id, int code = 8301) {
    EventSpec event;
    event.id = id;
    event.code = code;
    event.caption = QStringLiteral("Блок 1");
    event.comment = QStringLiteral("недостаточная реакция");
    return event;
}

} // namespace

class EventsEndToEndTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();

    // The session alone.
    void subscription_data();
    void subscription();
    void queueWorkedOff_data();
    void queueWorkedOff();
    void eventTexts_data();
    void eventTexts();

    // The main window.
    void repeatedEvent_data();
    void repeatedEvent();
    void csvIcon_data();
    void csvIcon();
    void alarmSound_data();
    void alarmSound();
    void acknowledge_data();
    void acknowledge();
    void twoClients_data();
    void twoClients();
    void saveCsv_data();
    void saveCsv();
    void clearEvents_data();
    void clearEvents();
    void acknowledgeWithoutLink_data();
    void acknowledgeWithoutLink();

private:
    bool OpenSession(DB &db);
    static bool SubscriptionInPlace(DB &db);
    MainWindow *Window();
    void ClearWindowEvents();
    // The window's modal driver, with what it saw forgotten: message boxes get `button` (or OK), file
    // dialogs get `fileName` typed and accepted, or are cancelled when it is empty.
    ModalDriver &Closer(QMessageBox::StandardButton button = QMessageBox::Yes, const QString &fileName = QString());
    // One tick of the window's events timer now, instead of waiting up to a second for it.
    void Tick() { Window()->EventTimerSlot(); }
    QTableWidget *WindowTable() { return Window()->findChild<QTableWidget *>(QStringLiteral("events_tableWidget")); }
    QAction *WindowAction(const char *name) { return Window()->findChild<QAction *>(QLatin1String(name)); }

    QTemporaryDir workDir;
    QString startDir;
    StandProcess stand;
    AdminLink admin;
    WindowFixture fixture;
    QString fileAnswer;
    int serial = 0;
};

void EventsEndToEndTest::initTestCase() {
    QVERIFY(workDir.isValid());
    startDir = QDir::currentPath();
    QVERIFY(QDir::setCurrent(workDir.path()));
    QVERIFY2(stand.Start({QStringLiteral("--no-sim"), QStringLiteral("--backfill-hours"), QStringLiteral("1"),
                          QStringLiteral("--test-aids")}),
             qPrintable(stand.Error()));
    QVERIFY2(admin.Open(stand.Port()), qPrintable(admin.Error()));
}

void EventsEndToEndTest::cleanupTestCase() {
    fixture.Close();
    QDir::setCurrent(startDir);
}

bool EventsEndToEndTest::OpenSession(DB &db) {
    return db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")) &&
           SubscriptionInPlace(db);
}

bool EventsEndToEndTest::SubscriptionInPlace(DB &db) {
    // The subscription is a one-way message: a request behind it on the same link returns once the
    // server has taken it, so events emitted from here on reach this session.
    return db.client.GetSrvVersion() == 0;
}

MainWindow *EventsEndToEndTest::Window() {
    if (!fixture.Window()) {
        WriteSettings(QString(), kDefaultCodes + QStringLiteral(",9999"), stand.Address());
        fixture.driver.boxAnswer = QMessageBox::Ok;
        fixture.driver.Always("QFileDialog", [this](QDialog *dialog) { return ModalDriver::File(fileAnswer)(dialog); });
        fixture.Start();
        fixture.Window()->show();
        SubscriptionInPlace(*fixture.Window()->Session());
    }
    return fixture.Window();
}

ModalDriver &EventsEndToEndTest::Closer(QMessageBox::StandardButton button, const QString &fileName) {
    Window();
    ModalDriver &driver = fixture.driver;
    driver.ClearSeen();
    driver.boxAnswer = button;
    fileAnswer = fileName;
    return driver;
}

void EventsEndToEndTest::ClearWindowEvents() {
    ModalDriver &closer = Closer(QMessageBox::Yes);
    WindowAction("action_clear_events")->trigger();
    QCOMPARE(closer.Titles(), QStringList{QStringLiteral("Подверждение")});
    QCOMPARE(WindowTable()->rowCount(), 0);
    QVERIFY(!Window()->EventsBlinking());
}

void EventsEndToEndTest::subscription_data() {
    QTest::addColumn<QString>("categories");
    QTest::addColumn<QString>("codes");
    QTest::addColumn<QList<int>>("arrive");
    QTest::addColumn<QList<int>>("stayAway");
    QTest::newRow("defaults") << QString() << kDefaultCodes << QList<int>{8301, 8305, 8308} << QList<int>{9999, 7777};
    QTest::newRow("edited-codes") << QStringLiteral("no-such-category") << QStringLiteral("8301,,abc,8301,9999")
                                  << QList<int>{8301, 9999} << QList<int>{8305, 8308};
}

void EventsEndToEndTest::subscription() {
    QFETCH(QString, categories);
    QFETCH(QString, codes);
    QFETCH(QList<int>, arrive);
    QFETCH(QList<int>, stayAway);
    WriteSettings(categories, codes);
    DB db;
    QVERIFY(OpenSession(db));

    const QStringList list = db.GetEventCodesForSubscribe();
    QCOMPARE(list.mid(0, 4), (QStringList{"501", "601", "602", "603"}));
    QCOMPARE(QSet<QString>(list.begin(), list.end()).size(), list.size());
    for (const QString &code : codes.split(QLatin1Char(',')))
        QCOMPARE(list.count(code), 1);
    if (categories.isEmpty()) {
        // The empty category key stands for every code of "EventCod" without a category.
        for (int code : db.tableEventCodes->GetAllEventCodesFromCategoryID(QString()))
            QVERIFY2(list.contains(QString::number(code)), qPrintable(QString::number(code)));
    }
    for (int code : stayAway)
        QVERIFY(!list.contains(QString::number(code)));

    QSignalSpy spy(signal_emitter, &DBSignal::EventAcknowledgmentRequired2);
    // The unwanted events go first: once the last wanted one is in, they would have been too.
    QVector<EventSpec> events;
    for (int code : stayAway)
        events << Pending(QByteArray("away-") + QByteArray::number(++serial), code);
    for (int code : arrive)
        events << Pending(QByteArray("want-") + QByteArray::number(++serial), code);
    QVERIFY2(admin.Emit(events), qPrintable(admin.Error()));

    const QString lastKey = QString::fromLatin1(events.last().id);
    QTRY_VERIFY_WITH_TIMEOUT((db.ReadEvents(), Keys(spy).contains(lastKey)), 10000);
    QStringList expected;
    for (int i = stayAway.size(); i < events.size(); ++i)
        expected << QString::fromLatin1(events[i].id);
    QCOMPARE(Keys(spy), expected);
}

void EventsEndToEndTest::queueWorkedOff_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<QList<int>>("perTick");
    QTest::newRow("hundred") << 100 << QList<int>{49, 49, 2, 0};
    QTest::newRow("exactly-one-tick") << 49 << QList<int>{49, 0};
    QTest::newRow("one-over-a-tick") << 50 << QList<int>{49, 1, 0};
}

void EventsEndToEndTest::queueWorkedOff() {
    QFETCH(int, count);
    QFETCH(QList<int>, perTick);
    WriteSettings(QString(), kDefaultCodes);
    DB db;
    QVERIFY(OpenSession(db));

    QVector<EventSpec> events;
    for (int i = 0; i < count; ++i)
        events << Pending(QByteArray("queue-") + QByteArray::number(++serial), 8301 + i % 8);
    QVERIFY2(admin.Emit(events), qPrintable(admin.Error()));
    // A request on the client's own link is answered after the events pushed before it.
    QVERIFY(db.client.GetSrvVersion() == 0);

    QSignalSpy spy(signal_emitter, &DBSignal::EventAcknowledgmentRequired2);
    QList<int> taken;
    for (int tick = 0; tick < perTick.size(); ++tick) {
        const int before = spy.count();
        QVERIFY(db.ReadEvents());
        taken << spy.count() - before;
    }
    QCOMPARE(taken, perTick);
    QStringList expected;
    for (const EventSpec &event : events)
        expected << QString::fromLatin1(event.id);
    QCOMPARE(Keys(spy), expected);
}

void EventsEndToEndTest::eventTexts_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QString>("comment");
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("shown");
    QTest::addColumn<QString>("text"); // empty: the name the event codes table gives
    QTest::addColumn<QString>("expectedComment");
    QTest::newRow("named-code") << 8301 << QStringLiteral("Блок 2") << QStringLiteral("мощность ниже расчетной")
                                << QString() << true << QString() << QStringLiteral("Блок 2 / мощность ниже расчетной");
    QTest::newRow("unknown-code") << 9999 << QStringLiteral("x") << QStringLiteral("y") << QString() << true
                                  << QStringLiteral("Неизвестное событие (код события 9999)")
                                  << QStringLiteral("x / y");
    QTest::newRow("caption-empty-comment") << 8302 << QStringLiteral("Только заголовок") << QString() << QString()
                                           << true << QString() << QStringLiteral("Только заголовок / ");
    QTest::newRow("csv-data-as-sent") << 8303 << QString() << QString()
                                      << QStringLiteral(
                                             "Время;Частота;Мощность\r\n05.03.2024 14:07:09;50,012;123.5\r\n")
                                      << true << QString() << QStringLiteral(" / ");
    QTest::newRow("code-601-hidden") << 601 << QStringLiteral("c") << QString() << QString() << false << QString()
                                     << QString();
    QTest::newRow("code-602-hidden") << 602 << QStringLiteral("c") << QString() << QString() << false << QString()
                                     << QString();
    QTest::newRow("code-603-hidden") << 603 << QStringLiteral("c") << QString() << QString() << false << QString()
                                     << QString();
}

void EventsEndToEndTest::eventTexts() {
    QFETCH(int, code);
    QFETCH(QString, caption);
    QFETCH(QString, comment);
    QFETCH(QString, data);
    QFETCH(bool, shown);
    QFETCH(QString, text);
    QFETCH(QString, expectedComment);
    WriteSettings(QString(), kDefaultCodes + QStringLiteral(",9999"));
    DB db;
    QVERIFY(OpenSession(db));
    if (text.isEmpty() && shown) {
        text = db.tableEventCodes->GetEventName(code);
        QVERIFY(!text.isEmpty());
    }

    EventSpec event = Pending(QByteArray("text-") + QByteArray::number(++serial), code);
    event.caption = caption;
    event.comment = comment;
    event.data = data;
    const EventSpec marker = Pending(QByteArray("marker-") + QByteArray::number(++serial), 8308);
    QSignalSpy spy(signal_emitter, &DBSignal::EventAcknowledgmentRequired2);
    QSignalSpy acks(signal_emitter, &DBSignal::EventAcknowledged);
    QVERIFY2(admin.Emit(QVector<EventSpec>{event, marker}), qPrintable(admin.Error()));
    QTRY_VERIFY_WITH_TIMEOUT((db.ReadEvents(), Keys(spy).contains(QString::fromLatin1(marker.id))), 10000);

    QCOMPARE(spy.count(), shown ? 2 : 1);
    QCOMPARE(acks.count(), 0);
    if (!shown)
        return;
    const QList<QVariant> args = spy.first();
    QCOMPARE(args.at(0).toInt(), code);
    QCOMPARE(args.at(2).toString(), text);
    QCOMPARE(args.at(3).toBool(), true);
    QCOMPARE(args.at(4).toString(), QString::fromLatin1(event.id));
    QCOMPARE(args.at(5).toString(), expectedComment);
    QCOMPARE(args.at(6).toString(), data);
}

void EventsEndToEndTest::repeatedEvent_data() {
    QTest::addColumn<bool>("firstKwit");
    QTest::addColumn<bool>("secondKwit");
    QTest::newRow("pending-then-quiet") << true << false;
    QTest::newRow("quiet-then-pending") << false << true;
}

void EventsEndToEndTest::repeatedEvent() {
    QFETCH(bool, firstKwit);
    QFETCH(bool, secondKwit);
    QTableWidget *table = WindowTable();
    ClearWindowEvents();

    EventSpec event = Pending(QByteArray("twice-") + QByteArray::number(++serial));
    event.kwit = firstKwit;
    event.comment = QStringLiteral("первый");
    QVERIFY2(admin.Emit(event), qPrintable(admin.Error()));
    QTRY_COMPARE_WITH_TIMEOUT((Tick(), table->rowCount()), 1, 10000);
    QCOMPARE(Window()->EventsBlinking(), firstKwit);

    event.kwit = secondKwit;
    event.comment = QStringLiteral("второй");
    const EventSpec marker = [&] {
        EventSpec m = Pending(QByteArray("after-") + QByteArray::number(++serial));
        m.kwit = false;
        return m;
    }();
    QVERIFY2(admin.Emit(QVector<EventSpec>{event, marker}), qPrintable(admin.Error()));
    QTRY_COMPARE_WITH_TIMEOUT((Tick(), table->rowCount()), 2, 10000);

    const int row = RowOfKey(table, QString::fromLatin1(event.id));
    QCOMPARE(row, 0);
    QCOMPARE(Pending(table, row), secondKwit);
    QCOMPARE(table->item(row, 4)->text(), QStringLiteral("Блок 1 / первый"));
    QCOMPARE(Window()->EventsBlinking(), secondKwit);
}

void EventsEndToEndTest::csvIcon_data() {
    QTest::addColumn<QString>("data");
    QTest::addColumn<bool>("icon");
    QTest::newRow("zero-means-none") << QStringLiteral("0") << false;
    QTest::newRow("empty") << QString() << false;
    QTest::newRow("csv") << QStringLiteral("Время;Частота\r\n05.03.2024 14:07:09;50,012\r\n") << true;
}

void EventsEndToEndTest::csvIcon() {
    QFETCH(QString, data);
    QFETCH(bool, icon);
    QTableWidget *table = WindowTable();
    ClearWindowEvents();
    EventSpec event = Pending(QByteArray("csv-") + QByteArray::number(++serial));
    event.kwit = false;
    event.data = data;
    QVERIFY2(admin.Emit(event), qPrintable(admin.Error()));
    QTRY_COMPARE_WITH_TIMEOUT((Tick(), table->rowCount()), 1, 10000);

    QCOMPARE(table->item(0, 5) != nullptr, icon);
    QCOMPARE(table->item(0, 0)->data(EventsTableWidget::CsvDataRole).toString(), data);

    // A double click on the CSV column shows the data; elsewhere it does nothing.
    ModalDriver &closer = Closer();
    for (int column : {2, 5}) {
        table->scrollTo(table->model()->index(0, column));
        const QRect cell = table->visualRect(table->model()->index(0, column));
        QTest::mouseClick(table->viewport(), Qt::LeftButton, {}, cell.center());
        QTest::mouseDClick(table->viewport(), Qt::LeftButton, {}, cell.center());
    }
    // The viewer opens for the CSV column only; with "0" it shows that text, with none it says so.
    if (data.isEmpty()) {
        QCOMPARE(closer.Texts(), QStringList{QStringLiteral("Нет данных для отображения!")});
        QVERIFY(closer.dialogs.isEmpty());
    } else {
        QCOMPARE(closer.dialogs, QStringList{QStringLiteral("DialogViewCSV")});
        QVERIFY(closer.Texts().isEmpty());
    }
}

void EventsEndToEndTest::alarmSound_data() {
    QTest::addColumn<bool>("muted");
    QTest::newRow("muted-still-blinks") << true;
    QTest::newRow("sound-on") << false;
}

void EventsEndToEndTest::alarmSound() {
    QFETCH(bool, muted);
    QTableWidget *table = WindowTable();
    ClearWindowEvents();
    QAction *mute = WindowAction("action_mute_sound");
    if (mute->isChecked() != muted)
        mute->trigger();
    QCOMPARE(mute->isChecked(), muted);
    QMediaPlayer *player = Window()->AlarmPlayer();
    QVERIFY(player);
    player->stop();
    // Without a sound backend play() reports an error instead of changing state: either proves an attempt.
    QSignalSpy played(player, &QMediaPlayer::stateChanged);
    QSignalSpy failed(player, QOverload<QMediaPlayer::Error>::of(&QMediaPlayer::error));

    QVERIFY2(admin.Emit(Pending(QByteArray("alarm-") + QByteArray::number(++serial))), qPrintable(admin.Error()));
    QTRY_COMPARE_WITH_TIMEOUT((Tick(), table->rowCount()), 1, 10000);
    QVERIFY(Window()->EventsBlinking());

    // The icon of the show-events command alternates between two pictures.
    QAction *show = WindowAction("action_show_events");
    QSet<qint64> seen;
    QTRY_VERIFY_WITH_TIMEOUT((seen.insert(show->icon().cacheKey()), seen.size() >= 2), 5000);
    if (muted) {
        QCOMPARE(played.count(), 0);
        QCOMPARE(failed.count(), 0);
    } else {
        QTRY_VERIFY(played.count() + failed.count() > 0);
    }
    if (muted)
        mute->trigger();
}

void EventsEndToEndTest::acknowledge_data() {
    QTest::addColumn<int>("pending");
    QTest::addColumn<int>("selected"); // -1: acknowledge all
    QTest::addColumn<bool>("blinkingAfter");
    QTest::newRow("one-of-two") << 2 << 1 << true;
    QTest::newRow("the-last-one") << 1 << 0 << false;
    QTest::newRow("all") << 3 << -1 << false;
}

void EventsEndToEndTest::acknowledge() {
    QFETCH(int, pending);
    QFETCH(int, selected);
    QFETCH(bool, blinkingAfter);
    QTableWidget *table = WindowTable();
    ClearWindowEvents();
    QVector<EventSpec> events;
    for (int i = 0; i < pending; ++i)
        events << Pending(QByteArray("ack-") + QByteArray::number(++serial), 8301 + i);
    QVERIFY2(admin.Emit(events), qPrintable(admin.Error()));
    QTRY_COMPARE_WITH_TIMEOUT((Tick(), table->rowCount()), pending, 10000);
    QVERIFY(Window()->EventsBlinking());

    ModalDriver &closer = Closer();
    if (selected >= 0) {
        table->setCurrentCell(selected, 2);
        WindowAction("action_acknowledgment")->trigger();
    } else {
        WindowAction("action_acknowledgment_all")->trigger();
    }
    QVERIFY(closer.Texts().isEmpty());
    QCOMPARE(Window()->EventsBlinking(), blinkingAfter);

    // The server's confirmation reaches the window through its event timer.
    for (int row = 0; row < pending; ++row) {
        const bool acknowledged = selected < 0 || row == selected;
        QCOMPARE(Pending(table, row), !acknowledged);
        if (acknowledged)
            QTRY_VERIFY_WITH_TIMEOUT((Tick(), table->item(row, 0)->toolTip().startsWith(kAckDone)), 10000);
    }
    QCOMPARE(Window()->EventsBlinking(), blinkingAfter);

    // A picture of the events tab with quiet and pending rows, for a person to look at.
    const QString folder = qEnvironmentVariable("ZENTA_SCREENSHOTS");
    if (!folder.isEmpty() && pending > 1 && selected >= 0) {
        QAction *showEvents = WindowAction("action_show_events");
        if (!showEvents->isChecked())
            showEvents->trigger();
        QDir().mkpath(folder);
        Window()->resize(1400, 900);
        // The current cell was set while the tab area was hidden, which scrolled the table sideways.
        table->horizontalScrollBar()->setValue(0);
        QTest::qWait(50);
        Window()->grab().save(QDir(folder).filePath(QStringLiteral("events_tab.png")));
    }
}

void EventsEndToEndTest::twoClients_data() {
    QTest::addColumn<bool>("otherAcknowledges");
    QTest::newRow("other-client-acknowledges") << true;
    QTest::newRow("window-acknowledges") << false;
}

void EventsEndToEndTest::twoClients() {
    QFETCH(bool, otherAcknowledges);
    QTableWidget *table = WindowTable();
    ClearWindowEvents();

    // The second client: its own session and events table, fed only while it polls.
    DB otherDb;
    QVERIFY(OpenSession(otherDb));
    QTableWidget otherTable(0, 6);
    EventsTableWidget other(&otherTable, &otherDb);
    auto poll = [&] {
        const auto added =
            connect(signal_emitter, &DBSignal::EventAcknowledgmentRequired2, this,
                    [&](int code, QDateTime date, QString text, bool ack, QString id, QString comment, QString csv) {
                        other.AddEvent(id, date, text, ack, comment, 0.0, QString(), !csv.isEmpty(), csv, code);
                    });
        const auto acked = connect(signal_emitter, &DBSignal::EventAcknowledged, this,
                                   [&](QString id) { other.EventAcknowledged(id); });
        const auto by =
            connect(signal_emitter, &DBSignal::EventAcknowledgedBy, this,
                    [&](QString id, QString user, QDateTime time) { other.MarkAcknowledged(id, user, time); });
        otherDb.ReadEvents();
        disconnect(added);
        disconnect(acked);
        disconnect(by);
    };

    const EventSpec event = Pending(QByteArray("shared-") + QByteArray::number(++serial));
    QVERIFY2(admin.Emit(event), qPrintable(admin.Error()));
    QTRY_COMPARE_WITH_TIMEOUT((Tick(), table->rowCount()), 1, 10000);
    QTRY_VERIFY_WITH_TIMEOUT((poll(), otherTable.rowCount() == 1), 10000);
    QVERIFY(Pending(table, 0));
    QVERIFY(Pending(&otherTable, 0));

    ModalDriver &closer = Closer();
    if (otherAcknowledges) {
        QVERIFY(other.AcknowledeOneEventByRowIndex(0));
        QTRY_VERIFY_WITH_TIMEOUT((Tick(), !Pending(table, 0)), 10000);
        QTRY_VERIFY_WITH_TIMEOUT((Tick(), table->item(0, 0)->toolTip().startsWith(kAckDone)), 10000);
        QVERIFY(!Window()->EventsBlinking());
    } else {
        table->setCurrentCell(0, 1);
        WindowAction("action_acknowledgment")->trigger();
        QTRY_VERIFY_WITH_TIMEOUT((poll(), !Pending(&otherTable, 0)), 10000);
        QTRY_VERIFY_WITH_TIMEOUT((poll(), otherTable.item(0, 0)->toolTip().startsWith(kAckDone)), 10000);
    }
    QVERIFY(closer.Texts().isEmpty());
}

void EventsEndToEndTest::saveCsv_data() {
    QTest::addColumn<QString>("data"); // CSV data of the one row; no row at all when null
    QTest::addColumn<bool>("select");
    QTest::addColumn<QString>("fileName"); // relative names land in a fresh folder; empty cancels
    QTest::addColumn<bool>("written");
    QTest::addColumn<QString>("message");
    const QString csv = QStringLiteral("Время;Частота;Мощность\r\n05.03.2024 14:07:09;50,012;123.5\n");
    QTest::newRow("written-as-sent") << csv << true << QStringLiteral("event.csv") << true << QString();
    QTest::newRow("replaces-old-content") << csv << true << QStringLiteral("old.csv") << true << QString();
    QTest::newRow("cancelled") << csv << true << QString() << false << QString();
    QTest::newRow("no-row-selected") << csv << false << QStringLiteral("x.csv") << false
                                     << QStringLiteral("Необходимо выбрать строку в таблице событий!");
    QTest::newRow("no-data") << QString("") << true << QStringLiteral("x.csv") << false
                             << QStringLiteral("Нет данных для сохранения!");
    // Regression: a file that cannot be written used to be reported as nothing at all.
    // The reason is given in Russian, not as Qt's English error text.
    QTest::newRow("folder-missing") << csv << true << QStringLiteral("missing/folder/event.csv") << false
                                    << QStringLiteral("Не удалось сохранить CSV-файл \"%1\": папка не найдена");
    QTest::newRow("disk-full") << csv << true << QStringLiteral("/dev/full") << false
                               << QStringLiteral("Не удалось сохранить CSV-файл \"/dev/full\": ошибка записи на диск "
                                                 "(возможно, диск заполнен)");
    // Larger than the file's buffer: the write itself fails, not the flush.
    QTest::newRow("disk-full-large") << csv.repeated(2000) << true << QStringLiteral("/dev/full") << false
                                     << QStringLiteral("Не удалось сохранить CSV-файл \"/dev/full\": ошибка записи на "
                                                       "диск (возможно, диск заполнен)");
}

void EventsEndToEndTest::saveCsv() {
    QFETCH(QString, data);
    QFETCH(bool, select);
    QFETCH(QString, fileName);
    QFETCH(bool, written);
    QFETCH(QString, message);
    if (fileName.startsWith(QLatin1String("/dev/")) && !IsCharacterDevice(fileName))
        QSKIP("no such character device here");
    QTableWidget *table = WindowTable();
    ClearWindowEvents();
    Window()->AddEvent(QStringLiteral("{save}"), QDateTime::currentDateTime(), QStringLiteral("Событие"), false,
                       QString(), 0.0, QString(), !data.isEmpty(), data, 8301);
    table->setCurrentCell(select ? 0 : -1, 1);

    QTemporaryDir folder;
    const QString path = fileName.isEmpty() || QDir::isAbsolutePath(fileName) ? fileName : folder.filePath(fileName);
    const bool oldFile = fileName == QLatin1String("old.csv");
    if (oldFile) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(QByteArray(4096, 'x'));
    }

    ModalDriver &closer = Closer(QMessageBox::Yes, path);
    WindowAction("action_save_csv")->trigger();

    if (message.isEmpty()) {
        QVERIFY(closer.Texts().isEmpty() || (oldFile && closer.Texts().size() == 1));
    } else {
        QVERIFY(!closer.Texts().isEmpty());
        if (message.contains(QLatin1String("%1")))
            message = message.arg(QDir::toNativeSeparators(path));
        QVERIFY2(closer.Texts().last().startsWith(message), qPrintable(closer.Texts().last()));
    }
    // The file name is asked for only when there is something to save.
    QCOMPARE(closer.fileDialogs, select && !data.isEmpty() ? 1 : 0);
    if (written) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), data.toUtf8());
    } else if (!path.isEmpty() && !QDir::isAbsolutePath(fileName)) {
        QVERIFY(!QFile::exists(path));
    }
}

void EventsEndToEndTest::clearEvents_data() {
    QTest::addColumn<QMessageBox::StandardButton>("answer");
    QTest::addColumn<int>("rowsAfter");
    QTest::newRow("yes-clears-and-quiets") << QMessageBox::Yes << 0;
    QTest::newRow("no-keeps-everything") << QMessageBox::No << 2;
}

void EventsEndToEndTest::clearEvents() {
    QFETCH(QMessageBox::StandardButton, answer);
    QFETCH(int, rowsAfter);
    QTableWidget *table = WindowTable();
    ClearWindowEvents();
    for (const QString &key : {QStringLiteral("{c1}"), QStringLiteral("{c2}")})
        Window()->AddEvent(key, QDateTime::currentDateTime(), QStringLiteral("Событие"), true, QString(), 0.0,
                           QString(), false, QString(), 8301);
    QVERIFY(Window()->EventsBlinking());

    ModalDriver &closer = Closer(answer);
    WindowAction("action_clear_events")->trigger();

    QCOMPARE(closer.Texts(), QStringList{QStringLiteral("Вы хотите полностью очистить таблицу событий?")});
    QCOMPARE(table->rowCount(), rowsAfter);
    QCOMPARE(Window()->EventsBlinking(), rowsAfter > 0);
    // A cleared key is new again; a kept one still updates its row.
    Window()->AddEvent(QStringLiteral("{c1}"), QDateTime::currentDateTime(), QStringLiteral("Событие"), false,
                       QString(), 0.0, QString(), false, QString(), 8301);
    QCOMPARE(table->rowCount(), rowsAfter == 0 ? 1 : rowsAfter);
}

void EventsEndToEndTest::acknowledgeWithoutLink_data() {
    QTest::addColumn<bool>("all");
    QTest::newRow("one-selected") << false;
    QTest::newRow("all") << true;
}

void EventsEndToEndTest::acknowledgeWithoutLink() {
    QFETCH(bool, all);
    QTableWidget *table = WindowTable();
    if (!WindowAction("action_disconnect")->isEnabled()) {
        QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
        QVERIFY(admin.Open(stand.Port()));
        QVERIFY(Window()->Login(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")));
        QVERIFY(SubscriptionInPlace(*Window()->Session()));
    }
    ClearWindowEvents();
    QVERIFY2(admin.Emit(QVector<EventSpec>{Pending(QByteArray("lost-") + QByteArray::number(++serial)),
                                           Pending(QByteArray("lost-") + QByteArray::number(++serial))}),
             qPrintable(admin.Error()));
    QTRY_COMPARE_WITH_TIMEOUT((Tick(), table->rowCount()), 2, 10000);

    ModalDriver &closer = Closer();
    stand.Kill();
    QTRY_VERIFY_WITH_TIMEOUT(closer.Texts().contains(QStringLiteral("Потеряно соединение с сервером!")), 20000);
    closer.ClearSeen();

    table->setCurrentCell(1, 1);
    WindowAction(all ? "action_acknowledgment_all" : "action_acknowledgment")->trigger();

    QCOMPARE(closer.Texts(), QStringList{QStringLiteral("Не удалось квитировать событие!")});
    QVERIFY(Pending(table, 0));
    QVERIFY(Pending(table, 1));
    // Nothing was acknowledged, so the alarm keeps blinking, after acknowledge-all too.
    QVERIFY(Window()->EventsBlinking());
}

QTEST_MAIN(EventsEndToEndTest)
#include "events_e2e_test.moc"
