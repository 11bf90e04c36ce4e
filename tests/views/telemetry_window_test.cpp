#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QSettings>
#include <QStatusBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimeEdit>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>
#include <memory>

#include "app/mainwindow.h"
#include "qcustomplot.h"
#include "stand_process.h"
#include "views/axistag.h"
#include "views/objects_tree_widget.h"
#include "window_fixture.h"

// Drives the real main window logged in to a live stand: realtime drawing, periods, the table.
class TelemetryWindowTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void realtimeDrawsEveryChannel();
    void tickSkippedWhileTreeBusy();
    void modeSwitch_data();
    void modeSwitch();
    void period_data();
    void period();
    void treeMenu_data();
    void treeMenu();
    void tableShown();

private:
    template <typename T> T *Child(const char *name) const { return fixture.Child<T>(name); }
    QAction *Action(const char *name) const { return fixture.Action(name); }
    void EnterPeriod(int interval, const QDateTime &end);
    void Screenshot(const QString &name, const QSize &size = QSize(1400, 900));
    int GraphsWithData() const;

    WindowFixture fixture;
    StandProcess stand;
    MainWindow *window = nullptr;
    QCustomPlot *plot = nullptr;
};

void TelemetryWindowTest::initTestCase() {
    QVERIFY(fixture.EnterNewFolder());
    QVERIFY2(stand.Start({QStringLiteral("--backfill-hours"), QStringLiteral("2"), QStringLiteral("--seed"),
                          QStringLiteral("5")}),
             qPrintable(stand.Error()));
    WindowFixture::WriteAutoLogin(stand.Address(), "operator", "operator");
    // A failed login would leave the login dialog waiting; the driver rejects it, so the test fails instead of hanging.
    window = fixture.Start();
    window->resize(1400, 900);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window));
    plot = Child<QCustomPlot>("plot");
}

void TelemetryWindowTest::cleanupTestCase() {
    fixture.Close();
    window = nullptr;
    stand.Stop();
}

int TelemetryWindowTest::GraphsWithData() const {
    int count = 0;
    for (int i = 0; i < plot->graphCount(); ++i) {
        const QCPGraph *graph = plot->graph(i);
        // Violation graphs hold data only while a unit falls short; count the channels' own graphs.
        if (graph->name() != QStringLiteral("Нарушение, МВт"))
            count += graph->visible() && !graph->data()->isEmpty();
    }
    return count;
}

void TelemetryWindowTest::Screenshot(const QString &name, const QSize &size) {
    const QString dir = qEnvironmentVariable("ZENTA_SCREENSHOTS", QDir::currentPath());
    QDir().mkpath(dir);
    window->resize(size);
    QCoreApplication::processEvents();
    plot->replot(QCustomPlot::rpImmediateRefresh);
    QVERIFY(window->grab().save(QDir(dir).filePath(name)));
    // The chart alone, at a size where every tick label and tag can be read.
    QVERIFY(plot->savePng(QDir(dir).filePath(QStringLiteral("plot_") + name), 1400, 800));
}

void TelemetryWindowTest::realtimeDrawsEveryChannel() {
    // Every channel of every unit is drawn after login: 2 stations x (2 + 3 units x 3) channels.
    QTRY_COMPARE_WITH_TIMEOUT(GraphsWithData(), 22, 10000);
    QVERIFY(Action("action_realtime")->isChecked());
    QCOMPARE(Child<QLabel>("label_current_object")->text().isEmpty(), false);

    // A few realtime ticks: the span follows the clock, the red line and the value tags appear.
    const double firstUpper = plot->xAxis->range().upper;
    QTRY_VERIFY_WITH_TIMEOUT(plot->xAxis->range().upper >= firstUpper + 3, 10000);
    const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    QVERIFY(qAbs(plot->xAxis->range().upper - now) < 3);
    QCOMPARE(qRound(plot->xAxis->range().size()), 600);

    int redLines = 0;
    int shownTags = 0;
    for (int i = 0; i < plot->itemCount(); ++i) {
        if (auto *line = qobject_cast<QCPItemStraightLine *>(plot->item(i)))
            redLines += line->pen().color() == QColor(Qt::red);
        if (auto *text = qobject_cast<QCPItemText *>(plot->item(i)))
            shownTags += text->visible() && text->text().contains(QStringLiteral("Гц"));
    }
    QCOMPARE(redLines, 1);
    QVERIFY(shownTags >= 8);
    QTRY_COMPARE(QTime::currentTime().secsTo(Child<QTimeEdit>("begin_time")->time()) <= 0, true);
    // Following the clock puts the current-time line on the right border; leave room to see it.
    const QCPRange span = plot->xAxis->range();
    plot->xAxis->setRange(span.lower + 30, span.upper + 30);
    Screenshot(QStringLiteral("telemetry_realtime.png"));
    Screenshot(QStringLiteral("telemetry_realtime_1024x600.png"), QSize(1024, 600));
}

void TelemetryWindowTest::tickSkippedWhileTreeBusy() {
    if (!Action("action_realtime")->isChecked())
        Action("action_realtime")->trigger();
    auto *tree = Child<QTreeWidget>("tree");
    auto *time = Child<QTimeEdit>("begin_time");
    const QTime marker(1, 2, 3);
    {
        const QSignalBlocker blocker(time);
        time->setTime(marker);
    }
    const double upper = plot->xAxis->range().upper;
    tree->blockSignals(true);
    window->RealtimeTimerSlot();
    QCOMPARE(time->time(), marker);
    QCOMPARE(plot->xAxis->range().upper, upper);
    tree->blockSignals(false);
    window->RealtimeTimerSlot();
    QVERIFY(time->time() != marker);
}

void TelemetryWindowTest::modeSwitch_data() {
    QTest::addColumn<bool>("startRealtime");
    QTest::addColumn<QString>("action");
    QTest::addColumn<bool>("realtimeAfter");

    QTest::newRow("f8-leaves-realtime") << true << "action_pause" << false;
    QTest::newRow("f5-in-realtime-leaves") << true << "action_realtime" << false;
    QTest::newRow("f5-in-period-enters") << false << "action_realtime" << true;
}

void TelemetryWindowTest::modeSwitch() {
    QFETCH(bool, startRealtime);
    QFETCH(QString, action);
    QFETCH(bool, realtimeAfter);

    QAction *realtime = Action("action_realtime");
    if (realtime->isChecked() != startRealtime)
        realtime->trigger();
    QCOMPARE(realtime->isChecked(), startRealtime);

    const QTime before = Child<QTimeEdit>("begin_time")->time();
    Action(action.toLatin1().constData())->trigger();
    QCOMPARE(realtime->isChecked(), realtimeAfter);
    QCOMPARE(Child<QDateEdit>("begin_date")->isEnabled(), !realtimeAfter);
    QCOMPARE(Child<QComboBox>("interval")->isEnabled(), !realtimeAfter);
    QCOMPARE(window->statusBar()->currentMessage(),
             realtimeAfter ? QStringLiteral("Режим слежения") : QStringLiteral("Период"));
    if (!realtimeAfter) {
        // The period controls keep the moment of leaving; no tick moves them any more.
        QVERIFY(qAbs(before.secsTo(Child<QTimeEdit>("begin_time")->time())) <= 1);
        for (int i = 0; i < plot->itemCount(); ++i) {
            auto *line = qobject_cast<QCPItemStraightLine *>(plot->item(i));
            QVERIFY(!line || line->pen().color() != QColor(Qt::red));
        }
    }
}

void TelemetryWindowTest::EnterPeriod(int interval, const QDateTime &end) {
    if (Action("action_realtime")->isChecked())
        Action("action_pause")->trigger();
    auto *combo = Child<QComboBox>("interval");
    {
        const QSignalBlocker blocker(combo);
        combo->setCurrentIndex(interval);
    }
    {
        const QSignalBlocker blocker(Child<QDateEdit>("begin_date"));
        Child<QDateEdit>("begin_date")->setDate(end.date());
    }
    // The user's last edit loads the period.
    Child<QTimeEdit>("begin_time")->setTime(end.time());
}

void TelemetryWindowTest::period_data() {
    // steps: "load", "left", "right"; spans: the plotted [from, to] after each step as minutes before
    // `end` rounded down to its minute; fields: seconds of the time edit after the last step.
    QTest::addColumn<int>("interval");
    QTest::addColumn<int>("endSeconds");
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("spans");

    QTest::newRow("hour-back-and-forward")
        << 2 << 0 << QStringList{"load", "left", "right"} << QStringList{"-60..0", "-120..-60", "-60..0"};
    QTest::newRow("seconds-dropped-on-load")
        << 2 << 37 << QStringList{"load", "left", "right"} << QStringList{"-60..0", "-120..-60", "-60..0"};
    QTest::newRow("ten-minutes-back-twice")
        << 0 << 15 << QStringList{"load", "left", "left"} << QStringList{"-10..0", "-20..-10", "-30..-20"};
    QTest::newRow("half-hour-forward") << 1 << 0 << QStringList{"load", "right"} << QStringList{"-30..0", "0..30"};
}

void TelemetryWindowTest::period() {
    QFETCH(int, interval);
    QFETCH(int, endSeconds);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, spans);

    // An end within the stand's history, on a whole minute plus the row's seconds.
    QDateTime minute = QDateTime::currentDateTime().addSecs(-1800);
    minute.setTime(QTime(minute.time().hour(), minute.time().minute(), 0));
    const QDateTime end = minute.addSecs(endSeconds);
    const int length = QList<int>{600, 1800, 3600}.at(interval);

    int shift = 0;
    for (int i = 0; i < steps.size(); ++i) {
        if (steps[i] == QLatin1String("load")) {
            EnterPeriod(interval, end);
        } else {
            shift += steps[i] == QLatin1String("left") ? -length : length;
            Action(steps[i] == QLatin1String("left") ? "action_period_left" : "action_period_right")->trigger();
        }
        const QStringList bounds = spans[i].split(QStringLiteral(".."));
        const double to = double(minute.toSecsSinceEpoch()) + bounds[1].toInt() * 60;
        const double from = double(minute.toSecsSinceEpoch()) + bounds[0].toInt() * 60;
        QCOMPARE(plot->xAxis->range().lower, from);
        QCOMPARE(plot->xAxis->range().upper, to);
        // Back and forward move the fields by exactly one length, seconds included.
        const QDateTime fields(Child<QDateEdit>("begin_date")->date(), Child<QTimeEdit>("begin_time")->time());
        QCOMPARE(fields, end.addSecs(shift));
    }
    QVERIFY(!Action("action_realtime")->isChecked());
    if (shift <= 0)
        QVERIFY(GraphsWithData() > 0);
}

void TelemetryWindowTest::treeMenu_data() {
    QTest::addColumn<int>("objectId");
    QTest::addColumn<QStringList>("entries");

    const QStringList common{"action_check_all", "action_check_none"};
    QTest::newRow("station-may-hold-units")
        << 1 << common + QStringList{"action_passport", "action_add", "action_change", "action_delete"};
    QTest::newRow("unit-no-add-entry") << 2
                                       << common + QStringList{"action_passport", "action_change", "action_delete"};
    QTest::newRow("empty-space") << 0 << common + QStringList{"action_add_top_level"};
}

void TelemetryWindowTest::treeMenu() {
    QFETCH(int, objectId);
    QFETCH(QStringList, entries);

    auto *tree = Child<QTreeWidget>("tree");
    QPoint pos(5, tree->viewport()->height() - 3);
    if (objectId) {
        QTreeWidgetItem *node = nullptr;
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            if ((*it)->type() == ObjectItem && (*it)->data(TreeDataColumn, ObjectIdRole).toInt() == objectId)
                node = *it;
        }
        QVERIFY(node);
        tree->scrollToItem(node);
        pos = tree->visualItemRect(node).center();
    } else {
        QVERIFY(!tree->itemAt(pos));
    }
    emit tree->customContextMenuRequested(pos);
    QMenu *menu = nullptr;
    for (QMenu *m : window->findChildren<QMenu *>()) {
        if (m->isVisible() && m->parent() == window)
            menu = m;
    }
    QVERIFY(menu);
    QStringList names;
    for (QAction *action : menu->actions()) {
        if (!action->isSeparator())
            names << action->objectName();
    }
    menu->close();
    QCOMPARE(names, entries);
}

void TelemetryWindowTest::tableShown() {
    QDateTime minute = QDateTime::currentDateTime().addSecs(-900);
    minute.setTime(QTime(minute.time().hour(), minute.time().minute(), 0));
    EnterPeriod(0, minute);
    QTRY_VERIFY(GraphsWithData() >= 20);

    Action("action_show_table")->trigger();
    QVERIFY(Action("action_show_table")->isChecked());
    auto *tabs = Child<QTabWidget>("tabWidget");
    QVERIFY(tabs->isVisible());
    QCOMPARE(tabs->currentWidget(), Child<QWidget>("tab_table"));
    auto *table = Child<QTableWidget>("tableWidget");
    QCOMPARE(table->columnCount(), 22);
    // One sample per second per channel over ten minutes, newest on top, all inside the span.
    QVERIFY(table->rowCount() >= 590);
    const double from = double(minute.addSecs(-600).toSecsSinceEpoch());
    for (int r = 0; r < table->rowCount(); ++r) {
        const double t = table->verticalHeaderItem(r)->data(Qt::UserRole).toDouble();
        QVERIFY(t >= from - 1 && t <= minute.toSecsSinceEpoch());
        if (r > 0)
            QVERIFY(t <= table->verticalHeaderItem(r - 1)->data(Qt::UserRole).toDouble());
    }
    // Every cell of the top row has a value: real or carried.
    for (int c = 0; c < table->columnCount(); ++c)
        QVERIFY(table->item(0, c));
    Screenshot(QStringLiteral("telemetry_period_table.png"));
    Screenshot(QStringLiteral("telemetry_period_table_1600x900.png"), QSize(1600, 900));
    Screenshot(QStringLiteral("telemetry_period_table_1024x600.png"), QSize(1024, 600));

    Action("action_show_table")->trigger();
    QVERIFY(!tabs->isVisible());
    QCOMPARE(table->rowCount(), 0);
}

QTEST_MAIN(TelemetryWindowTest)
#include "telemetry_window_test.moc"
