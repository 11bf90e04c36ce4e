// The events table on its own: rows by key, the row limit, acknowledgement without a server link.
#include <QHeaderView>
#include <QTableWidget>
#include <QtTest>

#include "modal_driver.h"
#include "server/db.h"
#include "views/events_table_widget.h"
#include "views/objects_tree_widget.h"

namespace {

struct Event {
    QString key;
    bool ackRequired = false;
    QString csvData;
    int code = 8301;
};

QTableWidget *MakeTable() {
    auto *table = new QTableWidget(0, 6);
    return table;
}

void Add(EventsTableWidget &events, const Event &event, const QString &text = QStringLiteral("Событие"),
         const QString &toolTip = QString()) {
    events.AddEvent(event.key, QDateTime::fromSecsSinceEpoch(1700000000), text, event.ackRequired,
                    QStringLiteral("Причина / пояснение"), 1.5, toolTip, !event.csvData.isEmpty(), event.csvData,
                    event.code);
}

bool Pending(QTableWidget &table, int row) {
    return table.item(row, 0)->data(EventsTableWidget::AckRequiredRole).toBool();
}

QString Key(QTableWidget &table, int row) {
    return table.item(row, 0)->data(EventsTableWidget::KeyRole).toString();
}

} // namespace

class EventsTableWidgetTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();

    void timeText_data();
    void timeText();
    void repeatedKey_data();
    void repeatedKey();
    void rowLimit_data();
    void rowLimit();
    void acknowledgedByServer_data();
    void acknowledgedByServer();
    void acknowledgeWithoutLink_data();
    void acknowledgeWithoutLink();
    void newestRowInView_data();
    void newestRowInView();
    void longTexts_data();
    void longTexts();
    void rowsFitTheirText_data();
    void rowsFitTheirText();

private:
    DB db; // never connected: every acknowledgement that reaches it fails
};

void EventsTableWidgetTest::initTestCase() {
    QVERIFY(!db.Connected());
}

void EventsTableWidgetTest::timeText_data() {
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<QString>("expected");
    const QDate day(2024, 3, 5);
    QTest::newRow("noon-plus-five") << QDateTime(day, QTime(12, 0, 5)) << QStringLiteral("2024-03-05 12:00:05.000");
    QTest::newRow("milliseconds-dropped")
        << QDateTime(day, QTime(12, 0, 5, 789)) << QStringLiteral("2024-03-05 12:00:05.000");
    QTest::newRow("midnight") << QDateTime(day, QTime(0, 0)) << QStringLiteral("2024-03-05 00:00:00.000");
    QTest::newRow("afternoon-24h") << QDateTime(day, QTime(23, 59, 59, 999))
                                   << QStringLiteral("2024-03-05 23:59:59.000");
}

void EventsTableWidgetTest::timeText() {
    QFETCH(QDateTime, time);
    QFETCH(QString, expected);
    QScopedPointer<QTableWidget> table(MakeTable());
    EventsTableWidget events(table.data(), &db);
    events.AddEvent(QStringLiteral("k"), time, QStringLiteral("x"), false, QString(), 0.0, QString(), false, QString(),
                    1);
    QCOMPARE(table->item(0, 1)->text(), expected);
    QCOMPARE(table->item(0, 0)->data(EventsTableWidget::TimeRole).toLongLong(), time.toSecsSinceEpoch());
}

void EventsTableWidgetTest::repeatedKey_data() {
    QTest::addColumn<bool>("firstAck");
    QTest::addColumn<QString>("firstCsv");
    QTest::addColumn<bool>("secondAck");
    QTest::addColumn<QString>("secondCsv");
    QTest::newRow("pending-then-quiet") << true << QString() << false << QString();
    QTest::newRow("quiet-then-pending") << false << QString() << true << QString();
    QTest::newRow("csv-arrives-with-update") << true << QString() << true << QStringLiteral("a;b\n");
    QTest::newRow("csv-kept-when-update-has-none") << true << QStringLiteral("a;b\n") << false << QString();
}

void EventsTableWidgetTest::repeatedKey() {
    QFETCH(bool, firstAck);
    QFETCH(QString, firstCsv);
    QFETCH(bool, secondAck);
    QFETCH(QString, secondCsv);
    QScopedPointer<QTableWidget> table(MakeTable());
    EventsTableWidget events(table.data(), &db);
    Add(events, {QStringLiteral("{before}"), false, QString(), 1});
    Add(events, {QStringLiteral("{same}"), firstAck, firstCsv, 8301}, QStringLiteral("первый"), QStringLiteral("t1"));
    Add(events, {QStringLiteral("{after}"), false, QString(), 1});
    const QIcon pendingIcon = table->item(1, 0)->icon();

    Add(events, {QStringLiteral("{same}"), secondAck, secondCsv, 8302}, QStringLiteral("второй"), QStringLiteral("t2"));

    QCOMPARE(table->rowCount(), 3);
    QCOMPARE(Key(*table, 1), QStringLiteral("{same}"));
    QCOMPARE(Pending(*table, 1), secondAck);
    QCOMPARE(table->item(1, 0)->data(EventsTableWidget::CodeRole).toInt(), 8302);
    QCOMPARE(table->item(1, 0)->data(EventsTableWidget::CsvDataRole).toString(), secondCsv);
    QCOMPARE(table->item(1, 0)->icon().cacheKey() == pendingIcon.cacheKey(), firstAck == secondAck);
    QCOMPARE(table->item(1, 2)->text(), QStringLiteral("первый"));
    for (int column = 1; column <= 4; ++column)
        QCOMPARE(table->item(1, column)->toolTip(), QStringLiteral("t2"));
    QCOMPARE(table->item(1, 5) != nullptr, !firstCsv.isEmpty() || !secondCsv.isEmpty());
    QCOMPARE(events.IsAcknowledgmentRequired(), secondAck);
}

void EventsTableWidgetTest::rowLimit_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("rows");
    QTest::newRow("full") << 1000 << 1000;
    QTest::newRow("one-over") << 1001 << 1000;
    QTest::newRow("many-over") << 1040 << 1000;
}

void EventsTableWidgetTest::rowLimit() {
    QFETCH(int, count);
    QFETCH(int, rows);
    QScopedPointer<QTableWidget> table(MakeTable());
    EventsTableWidget events(table.data(), &db);
    for (int i = 0; i < count; ++i)
        Add(events, {QStringLiteral("{%1}").arg(i), i == 0, QString(), 8301});

    QCOMPARE(table->rowCount(), rows);
    const int dropped = count - rows;
    QCOMPARE(Key(*table, 0), QStringLiteral("{%1}").arg(dropped));
    QCOMPARE(Key(*table, rows - 1), QStringLiteral("{%1}").arg(count - 1));
    // The only pending event was the first one; once it is dropped nothing waits any more.
    QCOMPARE(events.IsAcknowledgmentRequired(), dropped == 0);

    // A dropped key is a stranger again: it comes back as a new row at the bottom.
    Add(events, {QStringLiteral("{0}"), true, QString(), 8301});
    QCOMPARE(table->rowCount(), 1000);
    if (dropped == 0) {
        QCOMPARE(Key(*table, 0), QStringLiteral("{0}"));
        QVERIFY(Pending(*table, 0));
        return;
    }
    QCOMPARE(Key(*table, 999), QStringLiteral("{0}"));
    QCOMPARE(Key(*table, 0), QStringLiteral("{%1}").arg(dropped + 1));
    // Acknowledging the key just dropped must not touch any row that is left.
    events.EventAcknowledged(QStringLiteral("{%1}").arg(dropped));
    QVERIFY(Pending(*table, 999));
    QVERIFY(events.IsAcknowledgmentRequired());
}

void EventsTableWidgetTest::acknowledgedByServer_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QList<bool>>("pendingAfter");
    QTest::newRow("known-key") << QStringLiteral("{b}") << QList<bool>{true, false, true};
    QTest::newRow("unknown-key") << QStringLiteral("{z}") << QList<bool>{true, true, true};
    QTest::newRow("empty-key") << QString() << QList<bool>{true, true, true};
}

void EventsTableWidgetTest::acknowledgedByServer() {
    QFETCH(QString, key);
    QFETCH(QList<bool>, pendingAfter);
    QScopedPointer<QTableWidget> table(MakeTable());
    EventsTableWidget events(table.data(), &db);
    Add(events, {QStringLiteral("{quiet}"), false, QString(), 8301});
    const QIcon quietIcon = table->item(0, 0)->icon();
    for (const QString &k : {QStringLiteral("{a}"), QStringLiteral("{b}"), QStringLiteral("{c}")})
        Add(events, {k, true, QString(), 8301});

    events.EventAcknowledged(key);
    // Who and when follow from the server's acknowledgement.
    const QDateTime when(QDate(2026, 12, 10), QTime(20, 35, 16));
    events.MarkAcknowledged(key, QStringLiteral("engineer"), when);

    for (int i = 0; i < pendingAfter.size(); ++i) {
        const int row = i + 1;
        QCOMPARE(Pending(*table, row), pendingAfter[i]);
        // An acknowledged alarm keeps a mark of its own: it is not an informational event.
        QCOMPARE(table->item(row, 0)->toolTip(), pendingAfter[i]
                                                     ? QStringLiteral("Требуется квитирование")
                                                     : QStringLiteral("Квитировано: engineer, 10.12.2026 20:35:16"));
        QVERIFY(table->item(row, 0)->icon().cacheKey() != quietIcon.cacheKey());
        QCOMPARE(table->item(row, 0)->icon().cacheKey() == events.AcknowledgedIcon().cacheKey(), !pendingAfter[i]);
        QCOMPARE(table->item(row, 0)->data(EventsTableWidget::AcknowledgedRole).toBool(), !pendingAfter[i]);
    }
    // A repeat of the acknowledged alarm keeps the mark and who acknowledged it.
    if (!key.isEmpty() && !pendingAfter.isEmpty() && !pendingAfter[1]) {
        events.AddEvent(key, when, QStringLiteral("Событие"), false, QString(), 0.0, QString(), false, QString(), 8301);
        QCOMPARE(table->item(2, 0)->toolTip(), QStringLiteral("Квитировано: engineer, 10.12.2026 20:35:16"));
        QCOMPARE(table->item(2, 0)->icon().cacheKey(), events.AcknowledgedIcon().cacheKey());
    }
    QCOMPARE(events.IsAcknowledgmentRequired(), pendingAfter.contains(true));
}

void EventsTableWidgetTest::acknowledgeWithoutLink_data() {
    QTest::addColumn<QList<bool>>("flags");
    QTest::addColumn<int>("currentRow"); // -2 = acknowledge all
    QTest::addColumn<bool>("result");
    QTest::addColumn<int>("boxes");
    QTest::addColumn<QList<bool>>("pendingAfter");
    QTest::newRow("quiet-row-sends-nothing") << QList<bool>{false} << 0 << true << 0 << QList<bool>{false};
    QTest::newRow("pending-row-fails") << QList<bool>{false, true} << 1 << false << 1 << QList<bool>{false, true};
    QTest::newRow("no-current-row") << QList<bool>{true} << -1 << false << 0 << QList<bool>{true};
    QTest::newRow("all-stops-at-first-failure")
        << QList<bool>{false, true, true} << -2 << false << 1 << QList<bool>{false, true, true};
    QTest::newRow("all-quiet-succeeds") << QList<bool>{false, false} << -2 << true << 0 << QList<bool>{false, false};
    QTest::newRow("all-on-empty-table") << QList<bool>{} << -2 << true << 0 << QList<bool>{};
}

void EventsTableWidgetTest::acknowledgeWithoutLink() {
    QFETCH(QList<bool>, flags);
    QFETCH(int, currentRow);
    QFETCH(bool, result);
    QFETCH(int, boxes);
    QFETCH(QList<bool>, pendingAfter);
    QScopedPointer<QTableWidget> table(MakeTable());
    EventsTableWidget events(table.data(), &db);
    for (int i = 0; i < flags.size(); ++i)
        Add(events, {QStringLiteral("{%1}").arg(i), flags[i], QString(), 8301});
    table->setCurrentCell(currentRow, 0);

    ModalDriver closer;
    closer.boxAnswer = QMessageBox::Yes;
    const bool done = currentRow == -2 ? events.AcknowledeAllEvents() : events.AcknowledeOneSelectedEvent();

    QCOMPARE(done, result);
    QCOMPARE(closer.Texts().size(), boxes);
    for (int i = 0; i < boxes; ++i) {
        QCOMPARE(closer.Titles()[i], QStringLiteral("Ошибка"));
        QCOMPARE(closer.Texts()[i], QStringLiteral("Не удалось квитировать событие!"));
    }
    for (int row = 0; row < pendingAfter.size(); ++row)
        QCOMPARE(Pending(*table, row), pendingAfter[row]);
}

void EventsTableWidgetTest::newestRowInView_data() {
    QTest::addColumn<int>("count");
    QTest::newRow("one-screen") << 3;
    QTest::newRow("burst") << 200;
    QTest::newRow("past-the-limit") << 1100;
}

void EventsTableWidgetTest::newestRowInView() {
    QFETCH(int, count);
    QTableWidget table(0, 6);
    table.resize(600, 300);
    table.show();
    EventsTableWidget events(&table, &db);
    for (int i = 0; i < count; ++i)
        Add(events, {QStringLiteral("{%1}").arg(i), false, QString(), 8301});
    const int last = table.rowCount() - 1;
    QTRY_VERIFY(table.viewport()->rect().contains(table.visualRect(table.model()->index(last, 1)).bottomLeft()));
    QCOMPARE(Key(table, last), QStringLiteral("{%1}").arg(count - 1));
}

void EventsTableWidgetTest::longTexts_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("fullInToolTip");
    const QString megabyte(1 << 20, QChar(0x0416));
    QTest::newRow("short-kept") << QStringLiteral("Отклонение частоты") << QStringLiteral("Отклонение частоты")
                                << false;
    QTest::newRow("one-megabyte-caption")
        << megabyte << megabyte.left(ObjectsTreeWidget::kDisplayLength) + QStringLiteral("…") << true;
    const QString longer = QString(ObjectsTreeWidget::kDisplayLength + 1, QLatin1Char('x'));
    QTest::newRow("201-characters-cut-with-tip")
        << longer << longer.left(ObjectsTreeWidget::kDisplayLength) + QStringLiteral("…") << true;
    QTest::newRow("trailing-newline-not-cut")
        << QStringLiteral("Отклонение частоты\n") << QStringLiteral("Отклонение частоты") << false;
    QTest::newRow("ten-lines-and-line-end-not-cut")
        << QString("a\n").repeated(EventsTableWidget::kShownLines)
        << QString("a\n").repeated(EventsTableWidget::kShownLines - 1) + "a" << false;
    QTest::newRow("thousand-lines") << QString("a\n").repeated(1000)
                                    << QString("a\n").repeated(EventsTableWidget::kShownLines - 1) + "a…" << true;
}

void EventsTableWidgetTest::longTexts() {
    QFETCH(QString, text);
    QFETCH(QString, shown);
    QFETCH(bool, fullInToolTip);
    QScopedPointer<QTableWidget> table(MakeTable());
    EventsTableWidget events(table.data(), &db);
    Event event;
    event.key = QStringLiteral("{long}");
    Add(events, event, text);
    QCOMPARE(table->item(0, 2)->text(), shown);
    const QString tip = table->item(0, 2)->toolTip();
    QVERIFY(tip.size() <= ObjectsTreeWidget::kToolTipLength + 1);
    if (fullInToolTip)
        QVERIFY(tip.startsWith(text.left(ObjectsTreeWidget::kToolTipLength)));
    else
        QVERIFY(tip.isEmpty());
}

void EventsTableWidgetTest::rowsFitTheirText_data() {
    QTest::addColumn<int>("lines");
    QTest::newRow("one-line") << 1;
    QTest::newRow("three-lines") << 3;
    QTest::newRow("eight-lines") << 8;
}

void EventsTableWidgetTest::rowsFitTheirText() {
    QFETCH(int, lines);
    QTableWidget table(0, 6);
    table.resize(900, 600);
    table.show();
    EventsTableWidget events(&table, &db);
    QStringList text;
    for (int i = 0; i < lines; ++i)
        text << QStringLiteral("Строка %1").arg(i + 1);
    events.AddEvent(QStringLiteral("{tall}"), QDateTime::fromSecsSinceEpoch(1700000000), text.join('\n'), false,
                    QStringLiteral("Причина"), 0.0, QString(), false, QString(), 8301);
    const int lineHeight = table.fontMetrics().lineSpacing();
    QVERIFY2(table.rowHeight(0) >= lines * lineHeight,
             qPrintable(QString("row %1 px for %2 lines of %3 px").arg(table.rowHeight(0)).arg(lines).arg(lineHeight)));
    // Narrowing the text's column keeps the row fitted to what it now shows.
    const int before = table.rowHeight(0);
    table.setColumnWidth(2, 30);
    QVERIFY(table.rowHeight(0) >= before);
}

QTEST_MAIN(EventsTableWidgetTest)
#include "events_table_widget_test.moc"
