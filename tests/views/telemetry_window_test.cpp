#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
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
#include <cmath>
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
    void f5Twice_data();
    void f5Twice();
    void axesHoldSamples_data();
    void axesHoldSamples();
    void zoomBackByMouse();
    void readoutScreens_data();
    void readoutScreens();

private:
    template <typename T> T *Child(const char *name) const { return fixture.Child<T>(name); }
    QAction *Action(const char *name) const { return fixture.Action(name); }
    void EnterPeriod(int interval, const QDateTime &end);
    void Screenshot(const QString &name, const QSize &size = QSize(1400, 900));
    int GraphsWithData() const;
    // Channels with a sample inside the shown time span.
    int GraphsInView() const;
    void MoveMouse(const QPoint &at, Qt::MouseButtons buttons = Qt::NoButton);
    // Every shown sample lies inside its value axis, clear of the border.
    bool SamplesInsideAxes(QString *why) const;

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

void TelemetryWindowTest::MoveMouse(const QPoint &at, Qt::MouseButtons buttons) {
    // The move itself, as the window system hands it over; the test's cursor may be elsewhere.
    QMouseEvent move(QEvent::MouseMove, at, plot->mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(plot, &move);
}

int TelemetryWindowTest::GraphsInView() const {
    const QCPRange span = plot->xAxis->range();
    int count = 0;
    for (int i = 0; i < plot->graphCount(); ++i) {
        const QCPGraph *graph = plot->graph(i);
        if (!graph->visible() || graph->name() == QStringLiteral("Нарушение, МВт"))
            continue;
        const auto it = graph->data()->findBegin(span.lower, false);
        count += it != graph->data()->constEnd() && it->key <= span.upper;
    }
    return count;
}

bool TelemetryWindowTest::SamplesInsideAxes(QString *why) const {
    for (int i = 0; i < plot->graphCount(); ++i) {
        const QCPGraph *graph = plot->graph(i);
        if (!graph->visible())
            continue;
        const QCPRange range = graph->valueAxis()->range();
        const double room = range.size() * 0.01;
        for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
            if (!std::isnan(it->value) && (it->value < range.lower + room || it->value > range.upper - room)) {
                *why = QStringLiteral("%1: %2 in %3..%4")
                           .arg(graph->name())
                           .arg(it->value)
                           .arg(range.lower)
                           .arg(range.upper);
                return false;
            }
        }
    }
    return true;
}

void TelemetryWindowTest::f5Twice_data() {
    QTest::addColumn<bool>("startRealtime");

    QTest::newRow("from-realtime") << true;
    QTest::newRow("from-period-an-hour-back") << false;
}

void TelemetryWindowTest::f5Twice() {
    QFETCH(bool, startRealtime);

    if (startRealtime && !Action("action_realtime")->isChecked())
        Action("action_realtime")->trigger();
    if (!startRealtime) {
        QDateTime minute = QDateTime::currentDateTime().addSecs(-3600);
        minute.setTime(QTime(minute.time().hour(), minute.time().minute(), 0));
        EnterPeriod(0, minute);
    }
    QTRY_VERIFY(GraphsInView() >= 20);
    // As a person presses it: twice on the keyboard, without waiting for a tick between.
    window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(window));
    QTest::keyClick(window, Qt::Key_F5);
    QTest::keyClick(window, Qt::Key_F5);
    QCOMPARE(Action("action_realtime")->isChecked(), startRealtime);
    QCOMPARE(GraphsInView(), 22);
    QString why;
    QVERIFY2(SamplesInsideAxes(&why), qPrintable(why));
    QCOMPARE(window->statusBar()->currentMessage(),
             startRealtime ? QStringLiteral("Режим слежения") : QStringLiteral("Период"));
}

void TelemetryWindowTest::axesHoldSamples_data() {
    QTest::addColumn<QString>("step");

    QTest::newRow("period-load") << "load";
    QTest::newRow("check-all-in-period") << "check-all";
    QTest::newRow("zoom-reset") << "reset";
}

void TelemetryWindowTest::axesHoldSamples() {
    QFETCH(QString, step);

    QDateTime minute = QDateTime::currentDateTime().addSecs(-1200);
    minute.setTime(QTime(minute.time().hour(), minute.time().minute(), 0));
    if (step == QLatin1String("check-all"))
        Action("action_check_none")->trigger();
    EnterPeriod(2, minute);
    if (step == QLatin1String("check-all")) {
        Action("action_check_all")->trigger();
    } else if (step == QLatin1String("reset")) {
        plot->yAxis->setRange(plot->yAxis->range().center(), plot->yAxis->range().upper);
        plot->yAxis2->setRange(plot->yAxis2->range().center(), plot->yAxis2->range().upper);
        Action("action_shrink_all")->trigger();
    }
    QTRY_VERIFY(GraphsInView() >= 20);
    QString why;
    QVERIFY2(SamplesInsideAxes(&why), qPrintable(why));
}

void TelemetryWindowTest::zoomBackByMouse() {
    QDateTime minute = QDateTime::currentDateTime().addSecs(-1200);
    minute.setTime(QTime(minute.time().hour(), minute.time().minute(), 0));
    EnterPeriod(0, minute);
    const QCPRange before = plot->xAxis->range();
    const QRect area = plot->axisRect()->rect();
    QTest::mousePress(plot, Qt::LeftButton, Qt::NoModifier, area.center() - QPoint(area.width() / 4, 0));
    MoveMouse(area.center(), Qt::LeftButton);
    QTest::mouseRelease(plot, Qt::LeftButton, Qt::NoModifier, area.center() + QPoint(area.width() / 8, 0));
    QVERIFY(plot->xAxis->range().size() < before.size() / 2);
    QVERIFY(Action("action_zoom_back")->isVisible());
    Action("action_zoom_back")->trigger();
    QCOMPARE(plot->xAxis->range(), before);
}

void TelemetryWindowTest::readoutScreens_data() {
    QTest::addColumn<QSize>("size");

    QTest::newRow("1600x900") << QSize(1600, 900);
    QTest::newRow("1366x768") << QSize(1366, 768);
    QTest::newRow("1024x600") << QSize(1024, 600);
}

void TelemetryWindowTest::readoutScreens() {
    QFETCH(QSize, size);

    QDateTime minute = QDateTime::currentDateTime().addSecs(-900);
    minute.setTime(QTime(minute.time().hour(), minute.time().minute(), 0));
    EnterPeriod(0, minute);
    QTRY_VERIFY(GraphsInView() >= 20);
    window->resize(size);
    QCoreApplication::processEvents();
    plot->replot(QCustomPlot::rpImmediateRefresh);

    // A fixed cursor a third in, the mouse at two thirds: the box gives both moments' values.
    const QRect area = plot->axisRect()->rect();
    const QPoint fixedAt(area.left() + area.width() / 3, area.center().y());
    QTest::mouseClick(plot, Qt::LeftButton, Qt::NoModifier, fixedAt);
    MoveMouse(QPoint(area.left() + area.width() * 2 / 3, area.center().y()));
    auto *box = Child<QLabel>("plot_readout");
    QTRY_VERIFY(box->isVisible());
    QVERIFY(box->text().contains(QStringLiteral("Δt = ")));
    QVERIFY(box->text().contains(QStringLiteral("f, Гц")));
    QVERIFY(box->text().contains(QStringLiteral("ЭБ №1")));
    // The box stays inside the chart, whatever the size.
    QVERIFY2(plot->rect().contains(box->geometry()), qPrintable(QStringLiteral("%1,%2 %3x%4 in %5x%6")
                                                                    .arg(box->x())
                                                                    .arg(box->y())
                                                                    .arg(box->width())
                                                                    .arg(box->height())
                                                                    .arg(plot->width())
                                                                    .arg(plot->height())));
    const QString name = QStringLiteral("telemetry_readout_%1x%2.png").arg(size.width()).arg(size.height());
    const QString dir = qEnvironmentVariable("ZENTA_SCREENSHOTS", QDir::currentPath());
    QDir().mkpath(dir);
    QVERIFY(window->grab().save(QDir(dir).filePath(name)));
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(plot, &leave);
    QVERIFY(box->isHidden());
}

QTEST_MAIN(TelemetryWindowTest)
#include "telemetry_window_test.moc"
