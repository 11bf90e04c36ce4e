#include <QLabel>
#include <QTreeWidget>
#include <QtTest>
#include <cmath>

#include "qcustomplot.h"
#include "views/axistag.h"
#include "views/channel_style.h"
#include "views/objects_tree_widget.h"
#include "views/plot_cursor.h"
#include "views/plot_navigation.h"
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

// Rectangles that overlap by more than a pixel (the frames of neighbours may share one).
bool Overlap(const QRectF &a, const QRectF &b) {
    return a.adjusted(1, 1, -1, -1).intersects(b.adjusted(1, 1, -1, -1));
}

// Boxes of an axis's tick labels in widget pixels, computed from the ticks, the font and the rotation.
QVector<QRectF> TickLabelBoxes(const QCPAxis *axis) {
    QVector<QRectF> boxes;
    const QFontMetrics metrics(axis->tickLabelFont());
    const QVector<double> ticks = axis->tickVector();
    const QVector<QString> labels = axis->tickVectorLabels();
    for (int i = 0; i < ticks.size(); ++i) {
        const QRect text = metrics.boundingRect(0, 0, 0, 0, Qt::TextDontClip | Qt::AlignHCenter, labels[i]);
        const double at = axis->coordToPixel(ticks[i]);
        if (axis->orientation() == Qt::Vertical) {
            boxes << QRectF(0, at - text.height() / 2.0, text.width(), text.height());
        } else if (qFuzzyIsNull(axis->tickLabelRotation())) {
            boxes << QRectF(at - text.width() / 2.0, 0, text.width(), text.height());
        } else {
            // Rotated labels are parallel strips: measure them across, along the tick axis.
            const double across = text.height() / std::sin(qDegreesToRadians(std::abs(axis->tickLabelRotation())));
            boxes << QRectF(at - across, 0, across, 1);
        }
    }
    return boxes;
}

// The line points a graph hands its painter, through its own (virtual) sampling.
struct LineProbe : QCPGraph {
    static QVector<QCPGraphData> Lines(const QCPGraph *graph) {
        QVector<QCPGraphData> lines;
        (graph->*(&LineProbe::getOptimizedLineData))(&lines, graph->data()->constBegin(), graph->data()->constEnd());
        return lines;
    }
};

QString Text(const QVector<QCPGraphData> &lines) {
    QStringList points;
    for (const QCPGraphData &p : lines)
        points << QString::number(p.key, 'g', 17) + QLatin1Char(':') + QString::number(p.value, 'g', 17);
    return points.join(QLatin1Char(','));
}

// The range the library's rescale gives an axis, widened by the margin; the range shown when no graph
// on it has a sample.
QCPRange LibraryFit(QCPAxis *axis) {
    const QCPRange shown = axis->range();
    bool found = false;
    for (QCPAbstractPlottable *plottable : axis->plottables()) {
        bool any = false;
        plottable->getValueRange(any);
        found = found || (plottable->realVisibility() && any);
    }
    if (!found)
        return shown;
    axis->rescale(true);
    const QCPRange fitted = PlotLayout::WithMargin(axis->range());
    axis->setRange(shown);
    return fitted;
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
    void plottedRescale();
    void gaps_data();
    void gaps();
    void csvHoles_data();
    void csvHoles();
    void sampling_data();
    void sampling();
    void labelsApart_data();
    void labelsApart();
    void linkLossBand();
    void readout_data();
    void readout();
    void zoomHistory_data();
    void zoomHistory();
    void axesHoldSamples_data();
    void axesHoldSamples();
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
    // The plotting library's own rescale over every sample, with the margin on each side.
    const QCPRange left = LibraryFit(plot.yAxis);
    const QCPRange right = LibraryFit(plot.yAxis2);
    view.RescalePlotRealtimeAuto();
    QCOMPARE(plot.yAxis->range(), left);
    QCOMPARE(plot.yAxis2->range(), right);
}

// The value spans kept for the graphs of plotted channels give the library's own rescale, also after a
// reload has cleared the graphs.
void TelemetryPlotTest::plottedRescale() {
    QCustomPlot plot;
    TelemetryPlotWidget view(&plot, nullptr, nullptr, false);
    QTreeWidget tree;
    auto *file = new QTreeWidgetItem(&tree, CsvFileItem);
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1700000000);
    const QVector<CsvFile::CsvRow> rows{{t0, 50.1, 10}, {t0.addSecs(1), 49.8, 20}};
    view.AddCSVFileGraph(new QTreeWidgetItem(file, CsvFreqItem), rows);
    view.AddCSVFileGraph(new QTreeWidgetItem(file, CsvPowerItem), rows);
    auto *channel = new QTreeWidgetItem(new QTreeWidgetItem(&tree, ObjectItem), CalcPowerItem);
    channel->setData(TreeDataColumn, ObjectIdRole, 7);
    channel->setData(TreeDataColumn, MeasureIdRole, 100);
    view.AddRealtimeGraph(channel, -1);
    view.DrawMeasuresToPlot(Samples("100:1,200:2!,300:30"), ItemPointer<QCPGraph>(channel, GraphRole),
                            ItemPointer<QCPGraph>(channel, ViolationGraphRole));

    for (bool cleared : {false, true}) {
        if (cleared)
            view.LoadPlotForPeriodMaually(t0.addSecs(-600), t0);
        const QCPRange left = LibraryFit(plot.yAxis);
        const QCPRange right = LibraryFit(plot.yAxis2);
        view.RescalePlotRealtimeAuto();
        QCOMPARE(plot.yAxis->range(), left);
        QCOMPARE(plot.yAxis2->range(), right);
    }
}

void TelemetryPlotTest::gaps_data() {
    // spans: link-loss spans "lost-restored" separated by ";", an empty end while the link is down.
    QTest::addColumn<QString>("samples");
    QTest::addColumn<QString>("spans");
    QTest::addColumn<double>("before");
    QTest::addColumn<QString>("drawn");

    // The archive records on change: a long time without a sample holds the value.
    QTest::newRow("long-hole-holds-value") << "100:1,101:2,102:3,112:4,113:5"
                                           << "" << std::nan("") << "100:1,101:2,102:3,112:4,113:5";
    QTest::newRow("minute-step-hole-holds-value") << "60:1,120:2,180:3,400:4"
                                                  << "" << std::nan("") << "60:1,120:2,180:3,400:4";
    QTest::newRow("hole-after-last-drawn-holds") << "100:1,101:2,102:3"
                                                 << "" << 80.0 << "100:1,101:2,102:3";
    QTest::newRow("archive-nan-breaks-alone") << "100:1,101:2,102:nan,130:2"
                                              << "" << std::nan("") << "100:1,101:2,102:nan,130:2";
    QTest::newRow("link-loss-without-samples-breaks") << "100:1,101:2,200:3"
                                                      << "110-150" << std::nan("") << "100:1,101:2,110:nan,200:3";
    QTest::newRow("link-loss-with-samples-holds") << "100:1,101:2,102:3,103:3,130:4,131:5"
                                                  << "110-150" << std::nan("") << "100:1,101:2,102:3,103:3,130:4,131:5";
    QTest::newRow("link-loss-after-last-drawn-breaks") << "150:3"
                                                       << "110-140" << 100.0 << "110:nan,150:3";
    QTest::newRow("link-loss-behind-drawn-ignored") << "130:1,131:2"
                                                    << "50-100" << 120.0 << "130:1,131:2";
    QTest::newRow("link-still-down-breaks") << "100:1,101:2"
                                            << "110-" << std::nan("") << "100:1,101:2,110:nan";
    QTest::newRow("link-loss-before-any-value-ignored") << "200:1,201:2,202:3,230:4"
                                                        << "110-150" << std::nan("") << "200:1,201:2,202:3,230:4";
    QTest::newRow("two-losses-one-with-samples") << "100:1,120:2,300:3"
                                                 << "110-130;200-250" << std::nan("") << "100:1,120:2,200:nan,300:3";
}

void TelemetryPlotTest::gaps() {
    QFETCH(QString, samples);
    QFETCH(QString, spans);
    QFETCH(double, before);
    QFETCH(QString, drawn);

    QCustomPlot plot;
    TelemetryPlotWidget view(&plot, nullptr, nullptr, false);
    for (const QString &span : spans.split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
        const QStringList ends = span.split(QLatin1Char('-'));
        view.LinkLost(ends[0].toDouble());
        if (!ends[1].isEmpty())
            view.LinkRestored(ends[1].toDouble());
    }
    QCPGraph *graph = plot.addGraph();
    const QVector<MeasurePoint> read = Archive_Measures::SamplesOf(Samples(samples));
    view.DrawSamplesToPlot(TelemetryPlotWidget::BreakGaps(read, view.LinkLossSpans(), before), graph, nullptr);
    QCOMPARE(Points(graph), drawn);
}

void TelemetryPlotTest::csvHoles_data() {
    QTest::addColumn<QString>("samples"); // seconds after the first row : frequency
    QTest::addColumn<int>("breaks");

    QTest::newRow("long-hole-holds-value") << "0:50,1:50.01,2:50.02,3:50.03,30:50.3,31:50.31" << 0;
    QTest::newRow("nan-row-breaks") << "0:50,1:50.01,2:nan,3:50.03,4:50.04,30:50.3" << 1;
}

// A file's curve breaks only where it has no value, and the table shows its rows as they are,
// the same whether the plot or the tree fills it.
void TelemetryPlotTest::csvHoles() {
    QFETCH(QString, samples);
    QFETCH(int, breaks);

    QCustomPlot plot;
    QTableWidget widget;
    TelemetryTableWidget table(&widget);
    table.SetVisible(true);
    TelemetryPlotWidget view(&plot, nullptr, &table, false);
    QTreeWidget tree;
    auto *file = new QTreeWidgetItem(&tree, CsvFileItem);
    auto *channel = new QTreeWidgetItem(file, CsvFreqItem);
    const QDateTime t0 = QDateTime::fromSecsSinceEpoch(1700000000);
    QVector<CsvFile::CsvRow> rows;
    const QMap<double, MeasurePoint> series = Samples(samples);
    for (const MeasurePoint &p : series)
        rows.append({t0.addSecs(qint64(p.time)), p.value, 10});
    view.AddCSVFileGraph(channel, rows);
    auto *graph = ItemPointer<QCPGraph>(channel, GraphRole);
    QCOMPARE(graph->data()->size(), series.size());
    QCOMPARE(Points(graph).count(QStringLiteral("nan")), breaks);

    QTableWidget treeWidget;
    TelemetryTableWidget treeTable(&treeWidget);
    treeWidget.setColumnCount(1);
    treeTable.FillTableData(TelemetryPlotWidget::CsvSeries(rows, CsvFreqItem), 0, false);
    QCOMPARE(widget.rowCount(), series.size());
    QCOMPARE(treeWidget.rowCount(), widget.rowCount());
    for (int r = 0; r < widget.rowCount(); ++r) {
        QCOMPARE(widget.verticalHeaderItem(r)->text(), treeWidget.verticalHeaderItem(r)->text());
        QCOMPARE(widget.item(r, 0)->text(), treeWidget.item(r, 0)->text());
    }
}

void TelemetryPlotTest::sampling_data() {
    QTest::addColumn<int>("type");       // the tree item whose graph is drawn
    QTest::addColumn<bool>("violation"); // its second graph instead of its main one
    QTest::addColumn<bool>("marks");     // NaN in the data, one right before the extreme
    QTest::addColumn<double>("extreme"); // the one sample that differs from its neighbours

    QTest::newRow("csv-dip-after-nan") << int(CsvFreqItem) << false << true << 49.5;
    QTest::newRow("realtime-dip-after-nan") << int(PowerItem) << false << true << 20.0;
    QTest::newRow("violation-peak-after-nan") << int(CalcPowerItem) << true << true << 300.0;
    QTest::newRow("csv-nan-free-as-library") << int(CsvFreqItem) << false << false << 49.5;
    QTest::newRow("realtime-nan-free-as-library") << int(FreqItem) << false << false << 50.5;
}

// A day of one-second samples in a narrow plot, so that a pixel column holds some two hundred: the
// line keeps a one-sample extreme that follows a NaN at the start of its column, and NaN-free data
// gives exactly the plotting library's own points.
void TelemetryPlotTest::sampling() {
    QFETCH(int, type);
    QFETCH(bool, violation);
    QFETCH(bool, marks);
    QFETCH(double, extreme);

    QCustomPlot plot;
    TelemetryPlotWidget view(&plot, nullptr, nullptr, false);
    plot.resize(400, 300);
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    const double t0 = 1700000000;
    const int n = 86400;
    plot.xAxis->setRange(t0, t0 + n);
    plot.replot(QCustomPlot::rpImmediateRefresh);

    // The first sample of a column in the middle, well inside it.
    int at = n / 2;
    const int column = int(plot.xAxis->coordToPixel(t0 + at)) + 1;
    while (int(plot.xAxis->coordToPixel(t0 + at)) < column)
        ++at;
    QVERIFY(plot.xAxis->coordToPixel(t0 + at) - column > 1e-6);
    const double width = plot.xAxis->pixelToCoord(column + 1) - plot.xAxis->pixelToCoord(column);
    QVERIFY(width > 100);

    const double level = type == CsvFreqItem || type == FreqItem ? 50.0 : 100.0;
    QVector<double> values(n);
    for (int i = 0; i < n; ++i)
        values[i] = level + 0.02 * std::sin(i / 900.0);
    values[at + 1] = extreme;
    if (marks) {
        values[at] = std::nan("");
        for (int i = 5000; i < n; i += 5000)
            values[i] = std::nan("");
    }

    QTreeWidget tree;
    auto *parent = new QTreeWidgetItem(&tree, IsFileChannel(type) ? CsvFileItem : ObjectItem);
    auto *channel = new QTreeWidgetItem(parent, type);
    QCPGraph *graph = nullptr;
    if (IsFileChannel(type)) {
        QVector<CsvFile::CsvRow> rows;
        for (int i = 0; i < n; ++i)
            rows.append({QDateTime::fromSecsSinceEpoch(qint64(t0) + i), values[i], values[i]});
        view.AddCSVFileGraph(channel, rows);
        graph = ItemPointer<QCPGraph>(channel, GraphRole);
    } else {
        channel->setData(TreeDataColumn, ObjectIdRole, 7);
        channel->setData(TreeDataColumn, MeasureIdRole, 100);
        view.AddRealtimeGraph(channel, -1);
        graph = ItemPointer<QCPGraph>(channel, violation ? ViolationGraphRole : GraphRole);
        QVERIFY(graph);
        QVector<QCPGraphData> data(n);
        for (int i = 0; i < n; ++i)
            data[i] = QCPGraphData(t0 + i, values[i]);
        graph->data()->set(data, true);
    }
    QVERIFY(graph);
    QCOMPARE(graph->data()->size(), n);

    const QVector<QCPGraphData> lines = LineProbe::Lines(graph);
    QVERIFY(lines.size() < n / 10);
    if (!marks) {
        QCPGraph *library = plot.addGraph(graph->keyAxis(), graph->valueAxis());
        library->setData(graph->data());
        QCOMPARE(Text(lines), Text(LineProbe::Lines(library)));
        return;
    }
    bool found = false;
    bool broken = false;
    for (const QCPGraphData &p : lines) {
        found = found || p.value == extreme;
        broken = broken || (std::isnan(p.value) && std::abs(p.key - (t0 + at)) < width);
    }
    QVERIFY2(found, "the extreme next to the NaN is drawn");
    QVERIFY2(broken, "the line still breaks at the NaN");
}

void TelemetryPlotTest::labelsApart_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QList<double>>("frequencies");
    QTest::addColumn<bool>("tagsInside"); // the widget is wide enough for the tags' texts

    const QList<double> close{50.01, 50.011, 50.012, 50.0, 49.99, 50.02, 50.013};
    QTest::newRow("wide-and-short") << QSize(1300, 260) << close << true;
    QTest::newRow("tall") << QSize(1300, 800) << close << true;
    QTest::newRow("small-window") << QSize(700, 330) << close << true;
    QTest::newRow("tiny") << QSize(420, 160) << close << false;
    QTest::newRow("many-tags-two-columns") << QSize(1300, 200) << (close + close) << true;
}

// Tick labels of every axis keep apart and inside the widget; value tags never cover each other and
// their arrows still point at their values.
void TelemetryPlotTest::labelsApart() {
    QFETCH(QSize, size);
    QFETCH(QList<double>, frequencies);
    QFETCH(bool, tagsInside);

    QCustomPlot plot;
    TelemetryPlotWidget view(&plot, nullptr, nullptr, false);
    plot.resize(size);
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    QTreeWidget tree;
    auto *unit = new QTreeWidgetItem(&tree, ObjectItem);
    unit->setText(0, QStringLiteral("Энергоблок №1"));
    QVector<AxisTag *> tags;
    for (int i = 0; i < frequencies.size(); ++i) {
        auto *channel = new QTreeWidgetItem(unit, FreqItem);
        channel->setData(TreeDataColumn, ObjectIdRole, 7);
        channel->setData(TreeDataColumn, MeasureIdRole, 100 + i);
        view.AddRealtimeGraph(channel, -1);
        auto *tag = ItemPointer<AxisTag>(channel, ValueTagRole);
        QVERIFY(tag);
        tag->updatePosition(1700000000, frequencies[i]);
        tag->setText(QString::number(frequencies[i], 'f', 2) + QStringLiteral(" Гц Энергоблок №1"));
        tags << tag;
    }
    plot.xAxis->setRange(1700000000 - 3600, 1700000000);
    plot.yAxis->setRange(0, 725);
    plot.yAxis2->setRange(49.95, 50.05);
    plot.replot(QCustomPlot::rpImmediateRefresh);

    const QRectF widget(0, 0, size.width(), size.height());
    QCPAxisRect *rect = plot.axisRect();
    for (QCPAxis *axis : rect->axes()) {
        if (!axis->visible())
            continue;
        const QVector<QRectF> boxes = TickLabelBoxes(axis);
        QVERIFY(!boxes.isEmpty());
        for (int i = 1; i < boxes.size(); ++i)
            QVERIFY2(!Overlap(boxes[i - 1], boxes[i]),
                     qPrintable(
                         axis->tickVectorLabels()[i] +
                         QStringLiteral(" %1 %2 %3").arg(boxes[i - 1].right()).arg(boxes[i].left()).arg(boxes.size())));
        if (axis->orientation() == Qt::Vertical) {
            QVERIFY(boxes.first().bottom() <= size.height() && boxes.last().top() >= 0);
            QVERIFY(boxes.first().top() >= 0 || boxes.last().top() >= 0);
        }
    }
    // The leftmost time label, rotated or upright, starts inside the widget.
    const QFontMetrics metrics(plot.xAxis->tickLabelFont());
    const QVector<double> ticks = plot.xAxis->tickVector();
    const QString first = plot.xAxis->tickVectorLabels().first();
    const QRect text = metrics.boundingRect(0, 0, 0, 0, Qt::TextDontClip | Qt::AlignHCenter, first);
    const double left = plot.xAxis->tickLabelRotation() == 0
                            ? plot.xAxis->coordToPixel(ticks.first()) - text.width() / 2.0
                            : plot.xAxis->coordToPixel(ticks.first()) - text.width() * 0.5 - text.height();
    QVERIFY2(left >= 0, qPrintable(QString::number(left)));
    // Short plots take the time labels upright on two lines.
    QCOMPARE(plot.xAxis->tickLabelRotation() == 0, rect->height() < 300 || first.contains(QLatin1Char('\n')));

    QVector<QRectF> labels;
    for (AxisTag *tag : qAsConst(tags)) {
        const QRectF box(tag->label()->topLeft->pixelPosition(), tag->label()->bottomRight->pixelPosition());
        QVERIFY2(!tagsInside || widget.contains(box),
                 qPrintable(
                     QStringLiteral("%1 %2 %3 %4").arg(box.left()).arg(box.top()).arg(box.right()).arg(box.bottom())));
        QVERIFY(box.top() >= -1 && box.bottom() <= size.height() + 1);
        for (const QRectF &other : qAsConst(labels))
            QVERIFY2(!Overlap(box, other), qPrintable(tag->label()->text()));
        labels << box;
        QCOMPARE(qRound(tag->arrow()->end->pixelPosition().y()),
                 qRound(plot.yAxis2->coordToPixel(tag->tracer()->position->coords().y())));
    }
}

void TelemetryPlotTest::linkLossBand() {
    QCustomPlot plot;
    TelemetryPlotWidget view(&plot, nullptr, nullptr, false);
    plot.resize(800, 400);
    QVERIFY(view.LinkLossBands().isEmpty());

    view.LinkLost(1000);
    QCOMPARE(view.LinkLossBands().size(), 1);
    QCOMPARE(view.LinkLossBands().first()->topLeft->coords().x(), 1000.0);
    // Still down: the band reaches past any range.
    QVERIFY(view.LinkLossBands().first()->bottomRight->coords().x() > 2e9);
    view.LinkLost(1005); // a second notice of the same loss
    QCOMPARE(view.LinkLossSpans().size(), 1);

    view.LinkRestored(1030);
    view.LinkLost(2000);
    view.LinkRestored(2010);
    QCOMPARE(view.LinkLossSpans().size(), 2);
    QCOMPARE(view.LinkLossBands().size(), 2);
    QCOMPARE(view.LinkLossBands().first()->bottomRight->coords().x(), 1030.0);
    QCOMPARE(view.LinkLossBands().last()->topLeft->coords().x(), 2000.0);

    // The bands are kept for the running session, also across a reset of the plot, and say why.
    view.ResetPlot();
    QCOMPARE(view.LinkLossBands().size(), 2);
    int texts = 0;
    for (int i = 0; i < plot.itemCount(); ++i) {
        auto *text = qobject_cast<QCPItemText *>(plot.item(i));
        texts += text && text->text() == QStringLiteral("нет связи");
    }
    QCOMPARE(texts, 2);

    // A picture of the bands, with a wider one, and a curve across them, to look at.
    view.LinkLost(1400);
    view.LinkRestored(1700);
    plot.show();
    QVERIFY(QTest::qWaitForWindowExposed(&plot));
    QCPGraph *graph = plot.addGraph(plot.xAxis, plot.yAxis2);
    for (int t = 900; t <= 2100; t += 10)
        graph->addData(t, 50 + 0.02 * std::sin(t / 60.0));
    plot.xAxis->setRange(900, 2100);
    plot.yAxis2->setRange(49.95, 50.05);
    plot.replot(QCustomPlot::rpImmediateRefresh);
    const QString dir = qEnvironmentVariable("ZENTA_SCREENSHOTS", QDir::currentPath());
    QDir().mkpath(dir);
    QVERIFY(plot.savePng(QDir(dir).filePath(QStringLiteral("plot_link_loss.png")), 800, 400));
}

void TelemetryPlotTest::readout_data() {
    // The value in force at a moment: the last sample at or before it, from either graph of a channel.
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("samples");
    QTest::addColumn<double>("fixed"); // NaN: no second cursor
    QTest::addColumn<double>("at");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("delta");

    const double none = std::nan("");
    QTest::newRow("between-samples-last-in-force")
        << int(FreqItem) << "100:50.001,200:49.912" << none << 150.0 << "50.001 Гц"
        << "";
    QTest::newRow("on-a-sample") << int(FreqItem) << "100:50.001,200:49.912" << none << 200.0 << "49.912 Гц"
                                 << "";
    QTest::newRow("before-first-unknown") << int(PowerItem) << "100:84,200:90" << none << 50.0 << "—"
                                          << "";
    QTest::newRow("break-unknown") << int(PowerItem) << "100:84,110:nan,200:90" << none << 150.0 << "—"
                                   << "";
    QTest::newRow("violation-run-in-force") << int(CalcPowerItem) << "100:1,200:2!,300:3" << none << 250.0 << "2.00 МВт"
                                            << "";
    QTest::newRow("back-from-violation") << int(CalcPowerItem) << "100:1,200:2!,300:3,400:4" << none << 350.0
                                         << "3.00 МВт"
                                         << "";
    QTest::newRow("delta-to-fixed-cursor") << int(FreqItem) << "100:50.010,200:49.850" << 120.0 << 260.0 << "49.850 Гц"
                                           << "-0.160";
    QTest::newRow("delta-unknown-before-first") << int(PowerItem) << "100:84,200:90" << 50.0 << 150.0 << "84.00 МВт"
                                                << "—";
}

void TelemetryPlotTest::readout() {
    QFETCH(int, type);
    QFETCH(QString, samples);
    QFETCH(double, fixed);
    QFETCH(double, at);
    QFETCH(QString, value);
    QFETCH(QString, delta);

    QCustomPlot plot;
    plot.setLocale(QLocale::c());
    TelemetryPlotWidget view(&plot, nullptr, nullptr, true);
    QTreeWidget tree;
    auto *station = new QTreeWidgetItem(&tree, ObjectItem);
    station->setText(0, QStringLiteral("ГЭС"));
    auto *unit = new QTreeWidgetItem(station, ObjectItem);
    unit->setText(0, QStringLiteral("Энергоблок №1"));
    auto *channel = new QTreeWidgetItem(unit, type);
    channel->setData(TreeDataColumn, ObjectIdRole, 7);
    channel->setData(TreeDataColumn, MeasureIdRole, 100);
    view.AddRealtimeGraph(channel, -1);
    // The span read ends where its samples end: the readout knows nothing past it.
    view.DrawMeasuresToPlot(Samples(samples), ItemPointer<QCPGraph>(channel, GraphRole),
                            ItemPointer<QCPGraph>(channel, ViolationGraphRole));
    view.DrawMeasuresToPlot(Samples("1000:nan"), ItemPointer<QCPGraph>(channel, GraphRole), nullptr);

    PlotCursor *cursor = view.Cursor();
    QVERIFY(cursor);
    cursor->Fix(fixed);
    cursor->MoveTo(at);
    const QVector<PlotCursor::Reading> readings = cursor->Readings();
    QCOMPARE(readings.size(), 1);
    QCOMPARE(readings[0].name, ChannelStyle::Of(channel).FullName());
    QVERIFY(readings[0].name.startsWith(QStringLiteral("ГЭС / Энергоблок №1 / ")));
    QCOMPARE(readings[0].place, QStringLiteral("ГЭС / ЭБ №1"));
    QCOMPARE(readings[0].color, ItemPointer<QCPGraph>(channel, GraphRole)->pen().color());
    QCOMPARE(readings[0].value, value);
    QCOMPARE(readings[0].delta, delta);
    // The box writes the number under its unit's heading.
    QVERIFY(cursor->Box()->text().contains(readings[0].number));
    QVERIFY(value.startsWith(readings[0].number));

    // Past the last point drawn nothing is in force yet.
    cursor->MoveTo(2000);
    QCOMPARE(cursor->Readings()[0].value, QStringLiteral("—"));
    cursor->MoveTo(std::nan(""));
    QVERIFY(cursor->Box()->isHidden());
}

void TelemetryPlotTest::zoomHistory_data() {
    // steps: "rect" (a dragged rectangle), "flat" (a rectangle one row high: time only), "wheel" (one
    // notch in), "pan", "back"; shown: after each step, the index of the earlier view that is shown
    // again, or -1 for a new one.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QList<int>>("shown");

    QTest::newRow("zoom-twice-back-twice") << QStringList{"rect", "rect", "back", "back"} << QList<int>{-1, -1, 1, 0};
    QTest::newRow("time-only-rect-keeps-values") << QStringList{"flat", "back"} << QList<int>{-1, 0};
    QTest::newRow("wheel-then-pan-back-twice")
        << QStringList{"wheel", "pan", "back", "back"} << QList<int>{-1, -1, 1, 0};
    QTest::newRow("back-without-history-stays") << QStringList{"back"} << QList<int>{0};
    QTest::newRow("back-past-the-first-stays") << QStringList{"rect", "back", "back"} << QList<int>{-1, 0, 0};
}

void TelemetryPlotTest::zoomHistory() {
    QFETCH(QStringList, steps);
    QFETCH(QList<int>, shown);

    QCustomPlot plot;
    plot.resize(900, 600);
    TelemetryPlotWidget view(&plot, nullptr, nullptr, true);
    plot.xAxis->setRange(1000, 4600);
    plot.yAxis->setRange(0, 300);
    plot.yAxis2->setRange(49.8, 50.2);
    plot.replot(QCustomPlot::rpImmediateRefresh);
    PlotNavigation *navigation = view.Navigation();
    QVERIFY(navigation);
    navigation->SetEnabled(true);

    const QRect area = plot.axisRect()->rect();
    QVector<PlotZoomHistory::View> views{navigation->History().Shown()};
    for (int i = 0; i < steps.size(); ++i) {
        const QString &step = steps[i];
        if (step == QLatin1String("rect"))
            navigation->ZoomToRect(area.adjusted(area.width() / 4, area.height() / 4, -area.width() / 4, -10));
        else if (step == QLatin1String("flat"))
            navigation->ZoomToRect(QRect(area.left() + 50, area.center().y(), area.width() / 3, 1));
        else if (step == QLatin1String("wheel"))
            navigation->Wheel(area.center(), 1, false);
        else if (step == QLatin1String("pan"))
            navigation->Pan(QPoint(80, -40));
        else
            view.ZoomBack();
        const PlotZoomHistory::View now = navigation->History().Shown();
        if (shown[i] < 0) {
            QVERIFY2(!views.contains(now), qPrintable(step));
        } else {
            QCOMPARE(now.time, views[shown[i]].time);
            QCOMPARE(now.power, views[shown[i]].power);
            QCOMPARE(now.frequency, views[shown[i]].frequency);
        }
        if (step == QLatin1String("flat")) {
            QCOMPARE(now.power, views.last().power);
            QVERIFY(now.time.size() < views.last().time.size());
        }
        views << now;
    }
}

void TelemetryPlotTest::axesHoldSamples_data() {
    // A channel's samples, how the axes are fitted: "values" (after a load or check all), "all" (zoom
    // reset), "realtime" (a tick that follows the clock).
    QTest::addColumn<int>("type");
    QTest::addColumn<QString>("samples");
    QTest::addColumn<QString>("fit");

    const QString unitDropped = "100:300,200:301,300:84,400:299";
    const QString nadir = "100:50.01,200:49.78,300:50.0";
    QTest::newRow("unit-far-below-after-load") << int(PowerItem) << unitDropped << "values";
    QTest::newRow("unit-far-below-after-reset") << int(PowerItem) << unitDropped << "all";
    QTest::newRow("unit-far-below-realtime") << int(PowerItem) << unitDropped << "realtime";
    QTest::newRow("nadir-after-load") << int(FreqItem) << nadir << "values";
    QTest::newRow("nadir-after-reset") << int(FreqItem) << nadir << "all";
    QTest::newRow("violation-below") << int(CalcPowerItem) << "100:280,200:60!,300:290"
                                     << "values";
}

void TelemetryPlotTest::axesHoldSamples() {
    QFETCH(int, type);
    QFETCH(QString, samples);
    QFETCH(QString, fit);

    QCustomPlot plot;
    plot.resize(900, 600);
    TelemetryPlotWidget view(&plot, nullptr, nullptr, true);
    view.SetPloRealtimeMode(fit == QLatin1String("realtime"), QDateTime::currentDateTime(), 600);
    QTreeWidget tree;
    auto *unit = new QTreeWidgetItem(&tree, ObjectItem);
    // A second channel near the first, so that the extreme is far from the rest.
    QTreeWidgetItem *channels[2];
    for (int i = 0; i < 2; ++i) {
        channels[i] = new QTreeWidgetItem(unit, type);
        channels[i]->setData(TreeDataColumn, ObjectIdRole, 7);
        channels[i]->setData(TreeDataColumn, MeasureIdRole, 100 + i);
        view.AddRealtimeGraph(channels[i], -1);
    }
    view.DrawMeasuresToPlot(Samples(samples), ItemPointer<QCPGraph>(channels[0], GraphRole),
                            ItemPointer<QCPGraph>(channels[0], ViolationGraphRole));
    const double level = type == FreqItem ? 50.0 : 300.0;
    view.DrawMeasuresToPlot(Samples(QStringLiteral("100:%1,400:%1").arg(level)),
                            ItemPointer<QCPGraph>(channels[1], GraphRole), nullptr);
    // An axis range that cuts the extreme, as a chart of before would have.
    plot.yAxis->setRange(250, 320);
    plot.yAxis2->setRange(49.9, 50.1);

    if (fit == QLatin1String("values"))
        view.FitValueAxes();
    else if (fit == QLatin1String("all"))
        view.FitAll(true, true);
    else
        view.RescalePlotRealtimeAuto();

    for (int i = 0; i < plot.graphCount(); ++i) {
        const QCPGraph *graph = plot.graph(i);
        const QCPRange range = graph->valueAxis()->range();
        for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it) {
            if (std::isnan(it->value))
                continue;
            // Inside with room to spare: a sample on the border is cut by the axis line.
            const double room = range.size() * PlotLayout::MarginFraction * 0.5;
            QVERIFY2(it->value > range.lower + room && it->value < range.upper - room,
                     qPrintable(QStringLiteral("%1 in %2..%3").arg(it->value).arg(range.lower).arg(range.upper)));
        }
    }
}

QTEST_MAIN(TelemetryPlotTest)
#include "telemetry_plot_test.moc"
