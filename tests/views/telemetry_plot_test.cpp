#include <QTreeWidget>
#include <QtTest>
#include <cmath>

#include "qcustomplot.h"
#include "views/axistag.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

namespace {

// "100:1,200:2!" -> samples; "!" marks a violation, "nan" a missing value.
QMap<double, MeasurePoint> Samples(const QString &spec) {
    QMap<double, MeasurePoint> samples;
    for (QString part : spec.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const bool violation = part.endsWith(QLatin1Char('!'));
        if (violation)
            part.chop(1);
        const QStringList kv = part.split(QLatin1Char(':'));
        MeasurePoint p;
        p.time = kv[0].toDouble();
        p.value = kv[1] == QLatin1String("nan") ? std::nan("") : kv[1].toDouble();
        p.flags = violation ? 0x10000000 : 0;
        samples.insert(p.time, p);
    }
    return samples;
}

QString Points(const QCPGraph *graph) {
    QStringList points;
    for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it)
        points << QString::number(it->key, 'g', 12) + QLatin1Char(':') +
                      (std::isnan(it->value) ? QStringLiteral("nan") : QString::number(it->value, 'g', 12));
    return points.join(QLatin1Char(','));
}

} // namespace

class TelemetryPlotTest : public QObject {
    Q_OBJECT

private slots:
    void drawMeasures_data();
    void drawMeasures();
    void tagPosition_data();
    void tagPosition();
    void tagOutlivesItems();
    void csvGraph_data();
    void csvGraph();
    void removeDefersDeletion();
    void resetKeepsOneExtraAxis();
    void realtimeRescale_data();
    void realtimeRescale();
};

void TelemetryPlotTest::drawMeasures_data() {
    QTest::addColumn<QString>("samples");
    QTest::addColumn<bool>("withViolation");
    QTest::addColumn<QString>("main");
    QTest::addColumn<QString>("violation");

    QTest::newRow("frequency-plain") << "100:50.01,101:50.02" << false << "100:50.01,101:50.02"
                                     << "";
    QTest::newRow("calc-violation-split") << "100:1,200:2!,300:3" << true << "100:1,200:2,200.01:nan,300:3"
                                          << "200:2,300:3,300.01:nan";
    QTest::newRow("starts-in-violation") << "100:5!,200:6" << true << "200:6"
                                         << "100:5,200:6,200.01:nan";
    QTest::newRow("key-zero-never-drawn") << "0:5,-3:4,10:1" << false << "10:1"
                                          << "";
    QTest::newRow("violation-run-stays-red") << "100:1,200:2!,300:3!" << true << "100:1,200:2,200.01:nan"
                                             << "200:2,300:3";
    QTest::newRow("nan-before-violation-no-join") << "100:nan,200:2!" << true << "100:nan"
                                                  << "200:2";
}

void TelemetryPlotTest::drawMeasures() {
    QFETCH(QString, samples);
    QFETCH(bool, withViolation);
    QFETCH(QString, main);
    QFETCH(QString, violation);

    QCustomPlot plot;
    QTableWidget widget;
    TelemetryTableWidget table(&widget);
    TelemetryPlotWidget view(&plot, nullptr, &table, false);
    QCPGraph *mainGraph = plot.addGraph();
    QCPGraph *violationGraph = withViolation ? plot.addGraph() : nullptr;
    view.DrawMeasuresToPlot(Samples(samples), mainGraph, violationGraph);
    QCOMPARE(Points(mainGraph), main);
    if (violationGraph)
        QCOMPARE(Points(violationGraph), violation);
}

void TelemetryPlotTest::tagPosition_data() {
    QTest::addColumn<bool>("frequencyAxis");
    QTest::addColumn<double>("key");
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("visible");

    QTest::newRow("nan-value-hidden") << false << 0.0 << std::nan("") << false;
    QTest::newRow("nan-key-hidden") << true << std::nan("") << 50.0 << false;
    QTest::newRow("power-value-shown") << false << 1700000000.0 << 123.0 << true;
    QTest::newRow("frequency-value-shown") << true << 1700000000.0 << 50.01 << true;
}

void TelemetryPlotTest::tagPosition() {
    QFETCH(bool, frequencyAxis);
    QFETCH(double, key);
    QFETCH(double, value);
    QFETCH(bool, visible);

    QCustomPlot plot;
    QTableWidget widget;
    TelemetryTableWidget table(&widget);
    TelemetryPlotWidget view(&plot, nullptr, &table, false);
    plot.resize(800, 500);
    QCPAxis *axis = frequencyAxis ? plot.yAxis2 : plot.yAxis;
    axis->setOffset(frequencyAxis ? 17 : 0);

    AxisTag tag(axis);
    tag.updatePosition(0, std::nan(""));
    QVERIFY(!tag.arrow()->visible());
    QVERIFY(!tag.label()->visible());

    tag.updatePosition(key, value);
    QCOMPARE(tag.arrow()->visible(), visible);
    QCOMPARE(tag.label()->visible(), visible);
    QVERIFY(!tag.tracer()->visible());
    // The arrow head sits on the axis line, which lies `offset` pixels out from the axis rect.
    QCOMPARE(tag.arrow()->end->coords().x(), double(axis->offset()));
    if (visible)
        QCOMPARE(tag.tracer()->position->coords().y(), value);
}

void TelemetryPlotTest::tagOutlivesItems() {
    QCustomPlot plot;
    auto *tag = new AxisTag(plot.yAxis);
    QCOMPARE(plot.itemCount(), 3);
    plot.clearItems();
    QVERIFY(!tag->arrow());
    tag->setText(QStringLiteral("x"));
    tag->updatePosition(1, 2);
    delete tag;
    QCOMPARE(plot.itemCount(), 0);

    auto *second = new AxisTag(plot.yAxis);
    QCOMPARE(plot.itemCount(), 3);
    delete second;
    QCOMPARE(plot.itemCount(), 0);
}

void TelemetryPlotTest::csvGraph_data() {
    QTest::addColumn<int>("type");
    QTest::addColumn<bool>("rightAxis");
    QTest::addColumn<QColor>("color");
    QTest::addColumn<QString>("points");

    // Two rows of the same second: the later one counts.
    QTest::newRow("frequency") << int(CsvFreqItem) << true << QColor(Qt::darkGreen) << "0:50.1,1:50.3";
    QTest::newRow("power") << int(CsvPowerItem) << false << QColor(Qt::blue) << "0:10,1:30";
}

void TelemetryPlotTest::csvGraph() {
    QFETCH(int, type);
    QFETCH(bool, rightAxis);
    QFETCH(QColor, color);
    QFETCH(QString, points);

    QCustomPlot plot;
    QTableWidget widget;
    TelemetryTableWidget table(&widget);
    table.SetVisible(true);
    TelemetryPlotWidget view(&plot, nullptr, &table, false);
    QTreeWidget tree;
    auto *file = new QTreeWidgetItem(&tree, CsvFileItem);
    auto *channel = new QTreeWidgetItem(file, type);

    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1700000000);
    QVector<CsvFile::CsvRow> rows{{t0, 50.1, 10}, {t0.addSecs(1), 50.2, 20}, {t0.addSecs(1), 50.3, 30}};
    view.AddCSVFileGraph(channel, rows);
    auto *graph = ItemPointer<QCPGraph>(channel, GraphRole);
    QVERIFY(graph);
    QCOMPARE(graph->valueAxis(), rightAxis ? plot.yAxis2 : plot.yAxis);
    QCOMPARE(graph->pen().color(), color);
    QString expected;
    for (const QString &p : points.split(QLatin1Char(','))) {
        const QStringList kv = p.split(QLatin1Char(':'));
        expected += (expected.isEmpty() ? "" : ",") + QString::number(1700000000 + kv[0].toInt()) + ":" + kv[1];
    }
    QCOMPARE(Points(graph), expected);
    QCOMPARE(ItemPointerValue(channel, ValueTagRole), quint64(0));
    // The table shows it in its own column, without carrying.
    QCOMPARE(widget.columnCount(), 1);
    QCOMPARE(widget.rowCount(), 2);
    // A second call does not draw the file twice.
    view.AddCSVFileGraph(channel, rows);
    QCOMPARE(plot.graphCount(), 1);
}

void TelemetryPlotTest::removeDefersDeletion() {
    QCustomPlot plot;
    QTableWidget widget;
    TelemetryTableWidget table(&widget);
    TelemetryPlotWidget view(&plot, nullptr, &table, false);
    QTreeWidget tree;
    auto *file = new QTreeWidgetItem(&tree, CsvFileItem);
    auto *channel = new QTreeWidgetItem(file, CsvFreqItem);
    view.AddCSVFileGraph(channel, {{QDateTime::fromSecsSinceEpoch(1700000000), 50, 1}});
    auto *graph = ItemPointer<QCPGraph>(channel, GraphRole);
    QVERIFY(graph);

    view.RemoveRealtimeGraph(channel);
    QVERIFY(!graph->visible());
    QCOMPARE(plot.graphCount(), 1);
    QCOMPARE(ItemPointerValue(channel, GraphRole), quint64(0));
    QVERIFY(view.PlottedItems().isEmpty());
    view.DeleteDefferedGraphs();
    QCOMPARE(plot.graphCount(), 0);
    // Removing again is harmless.
    view.RemoveRealtimeGraph(channel);
    view.DeleteDefferedGraphs();
}

void TelemetryPlotTest::resetKeepsOneExtraAxis() {
    QCustomPlot plot;
    QTableWidget widget;
    TelemetryTableWidget table(&widget);
    TelemetryPlotWidget view(&plot, nullptr, &table, false);
    view.ResetPlot();
    view.ResetPlot();
    QCOMPARE(plot.axisRect()->axisCount(QCPAxis::atRight), 2);
    // Two dead-band lines, nothing else.
    QCOMPARE(plot.itemCount(), 2);
    // The extra right axis repeats the power scale.
    plot.yAxis->setRange(10, 20);
    QCOMPARE(plot.axisRect()->axis(QCPAxis::atRight, 1)->range(), QCPRange(10, 20));
}

void TelemetryPlotTest::realtimeRescale_data() {
    // graphs: "axis|visible|samples" with axis L (power) or R (frequency); "+" adds a point by hand.
    QTest::addColumn<QStringList>("graphs");

    QTest::newRow("both-axes") << QStringList{"L|1|100:5,200:7", "R|1|100:50.1,200:49.9"};
    QTest::newRow("hidden-graph-ignored") << QStringList{"L|1|100:5,200:7", "L|0|100:-50,200:900"};
    QTest::newRow("single-value-centred") << QStringList{"L|1|100:5,200:5"};
    QTest::newRow("nan-ignored") << QStringList{"L|1|100:nan,200:3,300:nan,400:4"};
    QTest::newRow("violation-split") << QStringList{"C|1|100:1,200:2!,300:30"};
    QTest::newRow("graph-filled-elsewhere") << QStringList{"L|1|100:5", "L|1|+150:-20"};
    QTest::newRow("nothing-visible") << QStringList{"L|0|100:5"};
}

void TelemetryPlotTest::realtimeRescale() {
    QFETCH(QStringList, graphs);

    QCustomPlot plot;
    QTableWidget widget;
    TelemetryTableWidget table(&widget);
    TelemetryPlotWidget view(&plot, nullptr, &table, false);
    view.SetPloRealtimeMode(true, QDateTime::currentDateTime(), 600);
    for (const QString &spec : graphs) {
        const QStringList parts = spec.split(QLatin1Char('|'));
        QCPAxis *axis = parts[0] == QLatin1String("R") ? plot.yAxis2 : plot.yAxis;
        QCPGraph *main = plot.addGraph(plot.xAxis, axis);
        QCPGraph *violation = parts[0] == QLatin1String("C") ? plot.addGraph(plot.xAxis, axis) : nullptr;
        main->setVisible(parts[1] == QLatin1String("1"));
        QString samples = parts[2];
        if (samples.startsWith(QLatin1Char('+'))) {
            const QStringList kv = samples.mid(1).split(QLatin1Char(':'));
            main->addData(kv[0].toDouble(), kv[1].toDouble());
        } else {
            view.DrawMeasuresToPlot(Samples(samples), main, violation);
        }
    }
    view.RescalePlotRealtimeAuto();
    const QCPRange left = plot.yAxis->range();
    const QCPRange right = plot.yAxis2->range();
    // The same ranges as the plotting library's own rescale over every sample.
    plot.yAxis->rescale(true);
    plot.yAxis2->rescale(true);
    QCOMPARE(left, plot.yAxis->range());
    QCOMPARE(right, plot.yAxis2->range());
}

QTEST_MAIN(TelemetryPlotTest)
#include "telemetry_plot_test.moc"
