#include "views/telemetry_plot_widget.h"

#include <QMutexLocker>
#include <QTreeWidgetItem>
#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

#include "server/archive_measures_14.h"
#include "server/db.h"
#include "views/axistag.h"
#include "views/objects_tree_widget.h"
#include "views/sample_graph.h"
#include "views/telemetry_table_widget.h"

namespace {

constexpr double HoldOffset = 0.02;      // hold point: the last value held a little past the span end
constexpr double BreakOffset = 0.01;     // where a line that hands over to the other graph breaks
constexpr double FarFuture = 2541161785; // right end of the dead-band lines

double LastValue(const QCPGraph *graph) {
    if (!graph || graph->data()->isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    return (graph->data()->constEnd() - 1)->value;
}

double LastKey(const QCPGraph *graph) {
    if (!graph || graph->data()->isEmpty())
        return std::numeric_limits<double>::quiet_NaN();
    return (graph->data()->constEnd() - 1)->key;
}

struct ChannelLook {
    const char *name;
    Qt::GlobalColor color;
    bool frequencyAxis;
};

ChannelLook LookOf(int type) {
    switch (type) {
    case FreqItem:
    case CsvFreqItem:
        return {"Частота, Гц", Qt::darkGreen, true};
    case PowerItem:
    case CsvPowerItem:
        return {"Мощность, МВт", Qt::blue, false};
    default:
        return {"Расчетная мощность, МВт", Qt::black, false};
    }
}

} // namespace

TelemetryPlotWidget::TelemetryPlotWidget(QCustomPlot *plot, DB *db, TelemetryTableWidget *table, bool interactive)
    : db(db), table(table), plot(plot), interactive(interactive) {
    graphLineStyle = QCPGraph::lsStepLeft;
    ResetPlot();
    beforeReplotConnection = QObject::connect(plot, &QCustomPlot::beforeReplot, plot, [this] { BeforeReplot(); });
}

TelemetryPlotWidget::~TelemetryPlotWidget() {
    QObject::disconnect(beforeReplotConnection);
    // Tags are children of their axes; delete the ones still queued so none outlives this view.
    QVector<AxisTag *> tags;
    {
        QMutexLocker lock(&tagsToDeleteMutex);
        tags.swap(tagsToDelete);
    }
    qDeleteAll(tags);
}

void TelemetryPlotWidget::ResetPlot() {
    plot->clearPlottables();
    valueRanges.clear();
    plot->clearGraphs();
    plot->clearItems();
    // The items are gone with clearItems; graphs of plotted items are gone with clearPlottables.
    currentTimeLine = nullptr;
    for (QTreeWidgetItem *item : qAsConst(plottedItems)) {
        delete ItemPointer<AxisTag>(item, ValueTagRole);
        for (int role : {GraphRole, ViolationGraphRole, ValueTagRole})
            item->setData(TreeDataColumn, role, QVariant::fromValue<quint64>(0));
    }
    plottedItems.clear();
    {
        QMutexLocker lock(&graphsToDeleteMutex);
        graphsToDelete.clear();
    }
    {
        QMutexLocker lock(&tagsToDeleteMutex);
        qDeleteAll(tagsToDelete);
        tagsToDelete.clear();
    }

    QSharedPointer<QCPAxisTickerDateTime> dateTicker(new QCPAxisTickerDateTime);
    dateTicker->setDateTimeFormat(QStringLiteral("dd.MM.yy HH:mm:ss"));
    dateTicker->setTickStepStrategy(QCPAxisTicker::tssReadability);
    plot->xAxis->setTicker(dateTicker);

    plot->xAxis->ticker()->setTickCount(20);
    plot->yAxis->ticker()->setTickCount(20);
    plot->yAxis2->ticker()->setTickCount(20);
    plot->yAxis2->setVisible(true);

    plot->xAxis->setRange(0, 100);
    plot->yAxis->setRange(49, 51);
    plot->yAxis2->setRange(0, 300);

    plot->xAxis->setTickLabelRotation(-60);
    plot->xAxis->setSubTicks(true);
    twoLineTimeLabels = false;
    timeLabelsSize = QSize();

    plot->yAxis->setTickLabelColor(Qt::blue);
    plot->yAxis->setLabelColor(Qt::blue);
    plot->yAxis2->setTickLabelColor(Qt::darkGreen);
    plot->yAxis2->setLabelColor(Qt::darkGreen);

    QCPAxisRect *rect = plot->axisRect();
    if (rect->axisCount(QCPAxis::atRight) < 2) {
        // A second right axis repeats the power scale next to the frequency scale.
        QCPAxis *power = rect->addAxis(QCPAxis::atRight);
        power->setPadding(30);
        power->ticker()->setTickCount(20);
        power->setTickLabelColor(Qt::blue);
        power->setLabelColor(Qt::blue);
        power->setRange(plot->yAxis->range());
        QObject::connect(plot->yAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), power,
                         QOverload<const QCPRange &>::of(&QCPAxis::setRange));
    }

    rect->setRangeDragAxes({plot->xAxis, plot->yAxis, plot->yAxis2});
    rect->setRangeZoomAxes({plot->xAxis, plot->yAxis, plot->yAxis2});

    plot->xAxis->grid()->setVisible(true);
    plot->yAxis->grid()->setVisible(true);
    plot->yAxis2->grid()->setVisible(true);
    plot->xAxis->grid()->setSubGridVisible(true);

    plot->legend->setVisible(false);

    if (interactive)
        plot->setInteractions(QCP::iRangeDrag | QCP::iRangeZoom);

    // The frequency dead band of primary regulation.
    QPen bandPen(Qt::darkGreen);
    bandPen.setStyle(Qt::DashLine);
    for (double level : {50.075, 49.925}) {
        auto *line = new QCPItemStraightLine(plot);
        line->point1->setAxes(plot->xAxis, plot->yAxis2);
        line->point2->setAxes(plot->xAxis, plot->yAxis2);
        line->point1->setCoords(0, level);
        line->point2->setCoords(FarFuture, level);
        line->setPen(bandPen);
    }
    DrawLinkLossBands();

    plot->replot(QCustomPlot::rpRefreshHint);
}

void TelemetryPlotWidget::SetPloRealtimeMode(bool realtime, QDateTime end, int lengthSeconds) {
    realtimeMode = realtime;
    periodEnd = end;
    periodLength = lengthSeconds;
}

void TelemetryPlotWidget::DrawMeasuresToPlot(QMap<double, MeasurePoint> samples, QCPGraph *main, QCPGraph *violation) {
    DrawSamplesToPlot(Archive_Measures::SamplesOf(samples), main, violation);
}

void TelemetryPlotWidget::DrawSamplesToPlot(const QVector<MeasurePoint> &samples, QCPGraph *main, QCPGraph *violation) {
    if (!main)
        return;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    QVector<QCPGraphData> run;
    for (int i = 0; i < samples.size();) {
        const double k = samples[i].time;
        if (!(k > 0)) {
            ++i;
            continue;
        }
        const bool violated = violation && (samples[i].flags & Archive_Measures::ViolationFlag);
        QCPGraph *target = violated ? violation : main;
        QCPGraph *left = violated ? main : violation;

        // While the other graph ends before k with a break, nothing hands over: the samples up to the
        // next change of graph are appended to this one at once.
        if (!left || left->data()->isEmpty() || (LastKey(left) < k && std::isnan(LastValue(left)))) {
            run.clear();
            QCPRange range(nan, nan);
            for (; i < samples.size(); ++i) {
                const MeasurePoint &p = samples[i];
                if (!(p.time > 0))
                    continue;
                if (violation && bool(p.flags & Archive_Measures::ViolationFlag) != violated)
                    break;
                run.append(QCPGraphData(p.time, p.value));
                if (!std::isnan(p.value)) {
                    if (std::isnan(range.lower))
                        range = QCPRange(p.value, p.value);
                    else
                        range.expand(p.value);
                }
            }
            target->data()->add(run, true);
            if (!std::isnan(range.lower)) {
                ExtendRange(target, range.lower);
                ExtendRange(target, range.upper);
            }
            continue;
        }

        const double v = samples[i].value;
        double inForce = LastValue(left);
        auto found = left->data()->findBegin(k, true);
        if (found != left->data()->constEnd())
            inForce = found->value;
        if (!std::isnan(inForce)) {
            // Join the two lines at k and break the one that hands over right after it.
            left->addData(k, v);
            left->addData(k + BreakOffset, nan);
            ExtendRange(left, v);
        }
        target->addData(k, v);
        ExtendRange(target, v);
        ++i;
    }
}

void TelemetryPlotWidget::AddHoldPoint(QCPGraph *graph, double key) {
    if (graph && !graph->data()->isEmpty())
        graph->addData(key, LastValue(graph));
}

void TelemetryPlotWidget::ReadSpan(QTreeWidgetItem *item, QCPGraph *main, QCPGraph *violation, double from, double to,
                                   int column) {
    Archive_Measures *archive = db ? db->archiveMeasures : nullptr;
    if (!archive)
        return;
    const int archiveId = item->data(TreeDataColumn, MeasureIdRole).toInt();
    const bool zeroAsNaN = item->data(TreeDataColumn, CalculatedRole).toBool();
    const QDateTime fromTime = QDateTime::fromMSecsSinceEpoch(qint64(std::floor(from * 1000.0)));
    const QDateTime toTime = QDateTime::fromMSecsSinceEpoch(qint64(std::floor(to * 1000.0)));

    MeasurePoint point;
    const bool haveLast = archive->ReadLastMeasure(archiveId, fromTime.addMSecs(-10), &point, zeroAsNaN);
    const QVector<MeasurePoint> read = archive->ReadSamplesForPeriod(archiveId, fromTime, toTime, zeroAsNaN);
    DrawSpan(main, violation, from, to, column, haveLast ? &point : nullptr, read);
}

void TelemetryPlotWidget::ReadSpans(const QVector<QTreeWidgetItem *> &items, const QVector<bool> &read, double from,
                                    double to, const std::function<void(QTreeWidgetItem *)> &other) {
    Archive_Measures *archive = db ? db->archiveMeasures : nullptr;
    const QDateTime fromTime = QDateTime::fromMSecsSinceEpoch(qint64(std::floor(from * 1000.0)));
    const QDateTime toTime = QDateTime::fromMSecsSinceEpoch(qint64(std::floor(to * 1000.0)));
    QVector<Archive_Measures::SpanRequest> requests;
    QVector<int> itemOf;
    for (int i = 0; i < items.size(); ++i) {
        if (!read[i])
            continue;
        Archive_Measures::SpanRequest request;
        request.id = items[i]->data(TreeDataColumn, MeasureIdRole).toInt();
        request.zeroAsNaN = items[i]->data(TreeDataColumn, CalculatedRole).toBool();
        request.from = fromTime;
        request.to = toTime;
        request.lastBefore = fromTime.addMSecs(-10);
        requests << request;
        itemOf << i;
    }

    int next = 0; // first item not handled yet
    auto othersUpTo = [&](int end) {
        for (; next < end; ++next) {
            if (!read[next])
                other(items[next]);
        }
    };
    // The item of a request, with the items before it handed to `other` and its graphs cleared.
    auto reach = [&](int request) {
        const int at = itemOf[request];
        othersUpTo(at);
        next = at + 1;
        ClearItemGraphs(items[at]);
        return items[at];
    };
    if (archive) {
        archive->ReadSpans(requests, [&](int request, const MeasurePoint *last, const QVector<MeasurePoint> &samples) {
            QTreeWidgetItem *item = reach(request);
            const int column = table ? table->GetTableColumIndexByTreeItem(item) : -1;
            DrawSpan(ItemPointer<QCPGraph>(item, GraphRole), ItemPointer<QCPGraph>(item, ViolationGraphRole), from, to,
                     column, last, samples);
        });
    } else {
        // Without an archive nothing is read, but the graphs are cleared all the same.
        for (int request = 0; request < requests.size(); ++request)
            reach(request);
    }
    othersUpTo(items.size());
}

void TelemetryPlotWidget::DrawSpan(QCPGraph *main, QCPGraph *violation, double from, double to, int column,
                                   const MeasurePoint *last, const QVector<MeasurePoint> &read) {
    QVector<MeasurePoint> series =
        BreakGaps(read, linkLossSpans, last ? last->time : std::numeric_limits<double>::quiet_NaN());
    if (last) {
        MeasurePoint point = *last;
        point.time = from;
        // A mark up to the span's start: the link was lost after the value in force was recorded and
        // nothing was read since, so that value is not known to hold at the start.
        int before = 0;
        while (before < series.size() && series[before].time <= from && std::isnan(series[before].value))
            ++before;
        if (before > 0) {
            point.value = std::numeric_limits<double>::quiet_NaN();
            series.remove(0, before);
        }
        DrawSamplesToPlot({point}, main, violation);
    }

    DrawSamplesToPlot(series, main, violation);
    if (table && table->IsVisible())
        table->FillTableSamples(read, column, true);

    AddHoldPoint(main, to + HoldOffset);
    AddHoldPoint(violation, to + HoldOffset);
}

QCPGraph *TelemetryPlotWidget::AddGraph(QCPAxis *valueAxis) {
    // The graph registers itself with the plot of its axes, as addGraph's would.
    return new SampleGraph(plot->xAxis, valueAxis);
}

void TelemetryPlotWidget::AddRealtimeGraph(QTreeWidgetItem *item, int column) {
    if (!item || !IsObjectChannel(item->type()) || ItemPointerValue(item, GraphRole))
        return;
    const int objectId = item->data(TreeDataColumn, ObjectIdRole).toInt();
    const int archiveId = item->data(TreeDataColumn, MeasureIdRole).toInt();
    if (objectId == 0 || archiveId < 0)
        return;

    const ChannelLook look = LookOf(item->type());
    QCPAxis *valueAxis = look.frequencyAxis ? plot->yAxis2 : plot->yAxis;
    QCPGraph *main = AddGraph(valueAxis);
    main->setName(QString::fromUtf8(look.name));
    main->setPen(QPen(QColor(look.color), 1));
    main->setLineStyle(graphLineStyle);

    QCPGraph *violation = nullptr;
    if (item->type() == CalcPowerItem) {
        violation = AddGraph(plot->yAxis);
        violation->setName(QStringLiteral("Нарушение, МВт"));
        violation->setPen(QPen(QColor(Qt::red), 1));
        violation->setLineStyle(graphLineStyle);
    }

    auto *tag = new AxisTag(valueAxis);
    tag->setPen(main->pen());
    tag->updatePosition(0, std::numeric_limits<double>::quiet_NaN());

    SetItemPointer(item, GraphRole, main);
    SetItemPointer(item, ViolationGraphRole, violation);
    SetItemPointer(item, ValueTagRole, tag);
    plottedItems.append(item);

    double to;
    if (realtimeMode)
        to = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    else
        to = periodEnd.toMSecsSinceEpoch() / 1000.0;
    ReadSpan(item, main, violation, to - periodLength, to, column);
}

void TelemetryPlotWidget::RemoveRealtimeGraph(QTreeWidgetItem *item) {
    if (!item)
        return;
    auto *main = ItemPointer<QCPGraph>(item, GraphRole);
    auto *violation = ItemPointer<QCPGraph>(item, ViolationGraphRole);
    auto *tag = ItemPointer<AxisTag>(item, ValueTagRole);
    for (int role : {GraphRole, ViolationGraphRole, ValueTagRole})
        item->setData(TreeDataColumn, role, QVariant::fromValue<quint64>(0));
    if (!main)
        return;
    plottedItems.removeAll(item);
    {
        QMutexLocker lock(&graphsToDeleteMutex);
        main->setVisible(false);
        graphsToDelete.append(main);
        if (violation) {
            violation->setVisible(false);
            graphsToDelete.append(violation);
        }
    }
    if (tag) {
        QMutexLocker lock(&tagsToDeleteMutex);
        tag->setVisible(false);
        tagsToDelete.append(tag);
    }
}

void TelemetryPlotWidget::DeleteDefferedGraphs() {
    QVector<QCPGraph *> graphs;
    {
        QMutexLocker lock(&graphsToDeleteMutex);
        graphs.swap(graphsToDelete);
    }
    QVector<AxisTag *> tags;
    {
        QMutexLocker lock(&tagsToDeleteMutex);
        tags.swap(tagsToDelete);
    }
    for (QCPGraph *graph : qAsConst(graphs)) {
        valueRanges.remove(graph);
        plot->removeGraph(graph);
    }
    qDeleteAll(tags);
}

QMap<double, MeasurePoint> TelemetryPlotWidget::CsvSeries(const QVector<CsvFile::CsvRow> &rows, int itemType) {
    QMap<double, MeasurePoint> series;
    for (const CsvFile::CsvRow &row : rows) {
        MeasurePoint point;
        point.time = double(row.dateTime.toSecsSinceEpoch());
        point.value = itemType == CsvFreqItem ? row.freq : row.power;
        point.flags = 0;
        series.insert(point.time, point);
    }
    return series;
}

void TelemetryPlotWidget::AddCSVFileGraph(QTreeWidgetItem *item, QVector<CsvFile::CsvRow> rows) {
    if (!item || !IsFileChannel(item->type()) || ItemPointerValue(item, GraphRole))
        return;
    const ChannelLook look = LookOf(item->type());
    QCPGraph *graph = AddGraph(look.frequencyAxis ? plot->yAxis2 : plot->yAxis);
    graph->setName(QString::fromUtf8(look.name));
    graph->setPen(QPen(QColor(look.color), 1));
    graph->setLineStyle(graphLineStyle);
    SetItemPointer(item, GraphRole, graph);
    plottedItems.append(item);

    const QMap<double, MeasurePoint> series = CsvSeries(rows, item->type());
    DrawMeasuresToPlot(series, graph, nullptr);
    if (table && table->IsVisible()) {
        const int column = table->AddTableColumn(item);
        table->FillTableData(series, column, false);
    }
}

void TelemetryPlotWidget::LoadPlotForPeriodMaually(QDateTime from, QDateTime to) {
    const double fromSeconds = from.toMSecsSinceEpoch() / 1000.0;
    const double toSeconds = to.toMSecsSinceEpoch() / 1000.0;
    QVector<QTreeWidgetItem *> items;
    QVector<bool> read;
    for (QTreeWidgetItem *item : qAsConst(plottedItems)) {
        if (!IsObjectChannel(item->type()))
            continue;
        items << item;
        read << (ItemPointer<QCPGraph>(item, GraphRole) && item->data(TreeDataColumn, MeasureIdRole).toInt() >= 0);
    }
    ReadSpans(items, read, fromSeconds, toSeconds, [this](QTreeWidgetItem *item) { ClearItemGraphs(item); });
    for (QTreeWidgetItem *item : qAsConst(items)) {
        if (auto *tag = ItemPointer<AxisTag>(item, ValueTagRole))
            tag->setVisible(false);
    }
    FitTagsInside();
    plot->yAxis->rescale(true);
    plot->yAxis2->rescale(true);
    plot->xAxis->setRange(double(from.toSecsSinceEpoch()), double(to.toSecsSinceEpoch()));
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void TelemetryPlotWidget::DrawAllPlots(QDateTime from, QDateTime to) {
    const double fromSeconds = from.toMSecsSinceEpoch() / 1000.0;
    const double toSeconds = to.toMSecsSinceEpoch() / 1000.0;
    const QVector<QTreeWidgetItem *> items = plottedItems.toVector();
    QVector<bool> read;
    for (QTreeWidgetItem *item : items)
        read << (ItemPointer<QCPGraph>(item, GraphRole) && item->data(TreeDataColumn, MeasureIdRole).toInt() > 0 &&
                 IsObjectChannel(item->type()));
    ReadSpans(items, read, fromSeconds, toSeconds, [this](QTreeWidgetItem *item) {
        if (!IsFileChannel(item->type()) || !item->parent() || item->parent()->checkState(0) != Qt::Checked)
            return;
        if (auto *main = ItemPointer<QCPGraph>(item, GraphRole))
            main->setVisible(true);
        if (table) {
            const int column = table->AddTableColumn(item);
            const auto rows = item->parent()->data(TreeDataColumn, CsvRowsRole).value<QVector<CsvFile::CsvRow>>();
            table->FillTableData(CsvSeries(rows, item->type()), column, false);
        }
    });
    DeleteDefferedGraphs();
    plot->yAxis->rescale(true);
    plot->yAxis2->rescale(true);
    plot->replot(QCustomPlot::rpImmediateRefresh);
}

void TelemetryPlotWidget::DrawRealtimePlots() {
    Archive_Measures *archive = db ? db->archiveMeasures : nullptr;
    const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    const QDateTime nowTime = QDateTime::fromMSecsSinceEpoch(qint64(now * 1000.0));

    for (QTreeWidgetItem *item : qAsConst(plottedItems)) {
        auto *main = ItemPointer<QCPGraph>(item, GraphRole);
        if (!main || IsFileChannel(item->type()))
            continue;
        auto *violation = ItemPointer<QCPGraph>(item, ViolationGraphRole);

        for (QCPGraph *graph : {main, violation}) {
            if (graph && !graph->data()->isEmpty())
                graph->data()->remove(LastKey(graph));
        }

        const double lastMain = LastKey(main);
        const double lastViolation = LastKey(violation);
        double last = lastMain;
        if (std::isnan(last) || (!std::isnan(lastViolation) && lastViolation > last))
            last = lastViolation;

        double from = now - periodLength;
        if (!std::isnan(last)) {
            const double next = std::trunc(last + 0.1);
            if (next >= from)
                from = next;
        }

        if (archive) {
            const int archiveId = item->data(TreeDataColumn, MeasureIdRole).toInt();
            const bool zeroAsNaN = item->data(TreeDataColumn, CalculatedRole).toBool();
            const QVector<MeasurePoint> read = archive->ReadSamplesForPeriod(
                archiveId, QDateTime::fromMSecsSinceEpoch(qint64(from * 1000.0)), nowTime, zeroAsNaN);
            const QVector<MeasurePoint> series = BreakGaps(read, linkLossSpans, last);
            // The read starts at the second of the last drawn sample; drawing that sample again would
            // add a duplicate point on every tick.
            int drawn = 0;
            while (!std::isnan(last) && drawn < series.size() && series[drawn].time <= last)
                ++drawn;
            DrawSamplesToPlot(drawn ? series.mid(drawn) : series, main, violation);
            if (table && table->IsVisible())
                table->FillTableSamples(read, table->GetTableColumIndexByTreeItem(item), true);
        }

        AddHoldPoint(main, now + HoldOffset);
        AddHoldPoint(violation, now + HoldOffset);

        auto *tag = ItemPointer<AxisTag>(item, ValueTagRole);
        if (!tag)
            continue;
        double value = LastValue(main);
        QPen pen = main->pen();
        if (std::isnan(value) && violation) {
            value = LastValue(violation);
            pen = violation->pen();
        }
        if (std::isnan(value)) {
            tag->setVisible(false);
            continue;
        }
        tag->updatePosition(now, value);
        QString text =
            QString::number(value, 'f', 2) + QLatin1Char(' ') + item->data(TreeDataColumn, UnitRole).toString();
        if (item->parent())
            text += QLatin1Char(' ') + item->parent()->text(0);
        tag->setText(text);
        tag->setPen(pen);
        tag->setVisible(true);
    }
    FitTagsInside();

    if (!currentTimeLine) {
        currentTimeLine = new QCPItemStraightLine(plot);
        QPen pen(Qt::red);
        pen.setStyle(Qt::DashLine);
        currentTimeLine->setPen(pen);
        MoveCurrentTimeLine();
    }
    DeleteDefferedGraphs();
    // Queued, like the rescale that follows it on a tick: the two share one replot, which with a day of
    // samples is most of the tick.
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void TelemetryPlotWidget::ExtendRange(const QCPGraph *graph, double value) {
    if (std::isnan(value))
        return;
    auto it = valueRanges.find(graph);
    if (it == valueRanges.end())
        valueRanges.insert(graph, QCPRange(value, value));
    else
        it->expand(value);
}

void TelemetryPlotWidget::ClearGraph(QCPGraph *graph) {
    graph->data()->clear();
    valueRanges.remove(graph);
}

void TelemetryPlotWidget::ClearItemGraphs(QTreeWidgetItem *item) {
    if (auto *main = ItemPointer<QCPGraph>(item, GraphRole))
        ClearGraph(main);
    if (auto *violation = ItemPointer<QCPGraph>(item, ViolationGraphRole))
        ClearGraph(violation);
}

void TelemetryPlotWidget::RescaleValueAxis(QCPAxis *axis) {
    // The same as QCPAxis::rescale(true), from ranges kept while drawing instead of a pass over every
    // sample: with a day of thirty channels that pass would be a good part of each tick.
    bool found = false;
    QCPRange range;
    for (QCPAbstractPlottable *plottable : axis->plottables()) {
        if (!plottable->realVisibility())
            continue;
        QCPRange part;
        bool partFound = false;
        auto *graph = qobject_cast<QCPGraph *>(plottable);
        const auto cached = graph ? valueRanges.constFind(graph) : valueRanges.constEnd();
        if (cached != valueRanges.constEnd()) {
            part = *cached;
            partFound = true;
        } else if (!graph || !graph->data()->isEmpty()) {
            part = plottable->getValueRange(partFound, QCP::sdBoth);
        }
        if (!partFound)
            continue;
        if (found)
            range.expand(part);
        else
            range = part;
        found = true;
    }
    if (!found)
        return;
    if (!QCPRange::validRange(range)) {
        const double center = (range.lower + range.upper) * 0.5;
        range = QCPRange(center - axis->range().size() / 2.0, center + axis->range().size() / 2.0);
    }
    axis->setRange(range);
}

void TelemetryPlotWidget::RescalePlotRealtimeAuto() {
    RescaleValueAxis(plot->yAxis);
    RescaleValueAxis(plot->yAxis2);
    const double now = double(QDateTime::currentSecsSinceEpoch());
    plot->xAxis->setRange(now - periodLength, now);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void TelemetryPlotWidget::FitTagsInside() {
    // The tags stand at the right edge of the axis rect and write to the right of it; without room
    // there their texts run out of the widget. Widen the right margin by what the last layout cut off;
    // the replot of the same tick applies it. No tags shown: no extra room.
    QCPAxisRect *rect = plot->axisRect();
    if (!rect)
        return;
    int rightmost = -1;
    for (QTreeWidgetItem *item : qAsConst(plottedItems)) {
        if (auto *tag = ItemPointer<AxisTag>(item, ValueTagRole))
            rightmost = std::max(rightmost, tag->labelRight());
    }
    QMargins margins = rect->minimumMargins();
    int wanted = 0;
    if (rightmost >= 0) {
        const int overflow = rightmost + 4 - plot->width();
        wanted = overflow > 0 ? rect->margins().right() + overflow : margins.right();
        // The tags may take up to 60 % of the width; beyond that the plot itself would be lost.
        wanted = std::min(wanted, plot->width() * 3 / 5);
    }
    if (margins.right() == wanted)
        return;
    margins.setRight(wanted);
    rect->setMinimumMargins(margins);
}

void TelemetryPlotWidget::MoveCurrentTimeLine() {
    if (!currentTimeLine)
        return;
    const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    currentTimeLine->point1->setCoords(now, 0);
    currentTimeLine->point2->setCoords(now, 100);
}

void TelemetryPlotWidget::RemoveCurrentTimeLine() {
    if (!currentTimeLine)
        return;
    plot->removeItem(currentTimeLine);
    currentTimeLine = nullptr;
}

void TelemetryPlotWidget::HideAllCurrentValueTags() {
    for (QTreeWidgetItem *item : qAsConst(plottedItems)) {
        if (auto *tag = ItemPointer<AxisTag>(item, ValueTagRole))
            tag->setVisible(false);
    }
    FitTagsInside();
    plot->replot(QCustomPlot::rpRefreshHint);
}

void TelemetryPlotWidget::HighlightSelectedGrapgh(QTreeWidgetItem *current) {
    for (QTreeWidgetItem *item : qAsConst(plottedItems)) {
        for (int role : {GraphRole, ViolationGraphRole}) {
            auto *graph = ItemPointer<QCPGraph>(item, role);
            if (graph && graph->pen().widthF() > 1)
                graph->setPen(QPen(graph->pen().color(), 1));
        }
    }
    if (current) {
        for (int role : {GraphRole, ViolationGraphRole}) {
            auto *graph = ItemPointer<QCPGraph>(current, role);
            if (graph)
                graph->setPen(QPen(QBrush(graph->pen().color()), 2, Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin));
        }
    }
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void TelemetryPlotWidget::SetGraphLineStyle(QCPGraph::LineStyle style) {
    graphLineStyle = style;
    for (QTreeWidgetItem *item : qAsConst(plottedItems)) {
        for (int role : {GraphRole, ViolationGraphRole}) {
            if (auto *graph = ItemPointer<QCPGraph>(item, role))
                graph->setLineStyle(style);
        }
    }
    plot->replot(QCustomPlot::rpImmediateRefresh);
}

// Breaks of a channel's curve.

QVector<MeasurePoint> TelemetryPlotWidget::BreakGaps(const QVector<MeasurePoint> &series,
                                                     const QVector<QCPRange> &lossSpans, double before) {
    QVector<MeasurePoint> marks;
    for (const QCPRange &span : lossSpans) {
        // A sample known at or after the loss's start: the loss is behind the drawn part or the archive
        // has a sample inside it.
        if (!std::isnan(before) && before >= span.lower)
            continue;
        const auto after = std::lower_bound(series.cbegin(), series.cend(), span.lower,
                                            [](const MeasurePoint &p, double time) { return p.time < time; });
        if (after != series.cend() && (std::isnan(span.upper) || after->time <= span.upper))
            continue;
        // Nothing in force before the loss: nothing to cut.
        if (std::isnan(before) && after == series.cbegin())
            continue;
        MeasurePoint mark;
        mark.time = span.lower;
        mark.value = std::numeric_limits<double>::quiet_NaN();
        mark.flags = 0;
        marks.append(mark);
    }
    // Without a mark the series is handed back as it came, shared rather than copied.
    if (marks.isEmpty())
        return series;
    QVector<MeasurePoint> result;
    result.reserve(series.size() + marks.size());
    std::merge(series.cbegin(), series.cend(), marks.cbegin(), marks.cend(), std::back_inserter(result),
               [](const MeasurePoint &a, const MeasurePoint &b) { return a.time < b.time; });
    return result;
}

// Times without link to the server.

void TelemetryPlotWidget::LinkLost(double time) {
    if (!linkLossSpans.isEmpty() && std::isnan(linkLossSpans.last().upper))
        return;
    linkLossSpans.append(QCPRange(time, std::numeric_limits<double>::quiet_NaN()));
    DrawLinkLossBands();
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void TelemetryPlotWidget::LinkRestored(double time) {
    if (linkLossSpans.isEmpty() || !std::isnan(linkLossSpans.last().upper))
        return;
    linkLossSpans.last().upper = std::max(time, linkLossSpans.last().lower);
    DrawLinkLossBands();
    plot->replot(QCustomPlot::rpQueuedReplot);
}

QVector<QCPItemRect *> TelemetryPlotWidget::LinkLossBands() const {
    QVector<QCPItemRect *> bands;
    for (const QPointer<QCPItemRect> &rect : linkLossRects) {
        if (rect)
            bands.append(rect);
    }
    return bands;
}

void TelemetryPlotWidget::DrawLinkLossBands() {
    for (const QPointer<QCPItemRect> &rect : qAsConst(linkLossRects)) {
        if (rect)
            plot->removeItem(rect);
    }
    for (const QPointer<QCPItemText> &text : qAsConst(linkLossTexts)) {
        if (text)
            plot->removeItem(text);
    }
    linkLossRects.clear();
    linkLossTexts.clear();
    if (linkLossSpans.isEmpty())
        return;

    // Beneath the grid and the curves, so the band tints the background only.
    const QString layerName = QStringLiteral("linkloss");
    if (!plot->layer(layerName))
        plot->addLayer(layerName, plot->layer(QStringLiteral("grid")), QCustomPlot::limBelow);
    QCPAxisRect *rect = plot->axisRect();
    for (const QCPRange &span : qAsConst(linkLossSpans)) {
        auto *band = new QCPItemRect(plot);
        band->setLayer(layerName);
        band->setPen(Qt::NoPen);
        band->setBrush(QColor(255, 200, 120, 110));
        for (QCPItemPosition *corner : {band->topLeft, band->bottomRight}) {
            corner->setAxisRect(rect);
            corner->setAxes(plot->xAxis, plot->yAxis);
            corner->setTypeX(QCPItemPosition::ptPlotCoords);
            corner->setTypeY(QCPItemPosition::ptAxisRectRatio);
        }
        // Still down: the band runs on to the right end of any range.
        band->topLeft->setCoords(span.lower, 0);
        band->bottomRight->setCoords(std::isnan(span.upper) ? FarFuture : span.upper, 1);
        linkLossRects.append(band);

        auto *text = new QCPItemText(plot);
        text->setLayer(layerName);
        text->setText(QStringLiteral("нет связи"));
        text->setColor(QColor(150, 80, 0));
        text->setPositionAlignment(Qt::AlignHCenter | Qt::AlignTop);
        text->position->setAxisRect(rect);
        text->position->setAxes(plot->xAxis, plot->yAxis);
        text->position->setTypeX(QCPItemPosition::ptPlotCoords);
        text->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        text->position->setCoords(span.lower, 0);
        linkLossTexts.append(text);
    }
}

void TelemetryPlotWidget::PlaceLinkLossTexts() {
    // Each text sits at the middle of the visible part of its band, a little below the top; hidden when
    // that part is narrower than the text.
    const QCPRange visible = plot->xAxis->range();
    for (int i = 0; i < linkLossTexts.size() && i < linkLossSpans.size(); ++i) {
        QCPItemText *text = linkLossTexts[i];
        if (!text)
            continue;
        const QCPRange &span = linkLossSpans[i];
        const double lower = std::max(span.lower, visible.lower);
        const double upper = std::min(std::isnan(span.upper) ? FarFuture : span.upper, visible.upper);
        const double width = plot->xAxis->coordToPixel(upper) - plot->xAxis->coordToPixel(lower);
        const int textWidth = QFontMetrics(text->font()).horizontalAdvance(text->text()) + 4;
        text->setVisible(upper > lower && width >= textWidth);
        text->position->setCoords((lower + upper) / 2, 0);
        text->setPadding(QMargins(2, 4, 2, 0));
    }
}

// Axes, value tags and link-loss texts laid out for the plot's size before each replot.

void TelemetryPlotWidget::BeforeReplot() {
    if (plot->viewport().isEmpty() || !plot->axisRect())
        return;
    FitAxisTicks();
    StackValueTags();
    const QMargins margins = plot->axisRect()->minimumMargins();
    FitTagsInside();
    // Room made for the tags narrows the plot: fit the ticks to that.
    if (plot->axisRect()->minimumMargins() != margins) {
        FitAxisTicks();
        StackValueTags();
    }
    PlaceLinkLossTexts();
}

void TelemetryPlotWidget::LayOut() {
    // What QCustomPlot does at the start of a replot, so that sizes and pixel positions are current.
    QCPLayout *layout = plot->plotLayout();
    layout->update(QCPLayoutElement::upPreparation);
    layout->update(QCPLayoutElement::upMargins);
    layout->update(QCPLayoutElement::upLayout);
}

void TelemetryPlotWidget::SetTwoLineTimeLabels(bool twoLines) {
    twoLineTimeLabels = twoLines;
    auto ticker = qSharedPointerDynamicCast<QCPAxisTickerDateTime>(plot->xAxis->ticker());
    if (ticker)
        ticker->setDateTimeFormat(twoLines ? QStringLiteral("dd.MM.yy\nHH:mm:ss")
                                           : QStringLiteral("dd.MM.yy HH:mm:ss"));
    plot->xAxis->setTickLabelRotation(twoLines ? 0 : -60);
}

void TelemetryPlotWidget::FitAxisTicks() {
    QCPAxisRect *rect = plot->axisRect();
    // Rotated time labels where the plot stays tall enough with them; below about 300 pixels of plot
    // height they stand upright on two lines, date above time.
    if (plot->viewport().size() != timeLabelsSize) {
        timeLabelsSize = plot->viewport().size();
        SetTwoLineTimeLabels(false);
        LayOut();
        if (rect->height() < 300)
            SetTwoLineTimeLabels(true);
    }

    const QFontMetrics valueMetrics(plot->yAxis->tickLabelFont());
    const QFontMetrics timeMetrics(plot->xAxis->tickLabelFont());
    // Room for the halves of the outermost labels: the top value labels above the rect, the first
    // rotated time label to the left of it.
    QMargins margins = rect->minimumMargins();
    margins.setTop(valueMetrics.height() / 2 + 2);
    if (!twoLineTimeLabels) {
        const int labelWidth = timeMetrics.horizontalAdvance(QStringLiteral("00.00.00 00:00:00"));
        margins.setLeft(int(std::ceil(labelWidth * 0.5 + timeMetrics.height() * std::sin(M_PI / 3))) + 4);
    } else {
        margins.setLeft(0);
    }
    if (margins != rect->minimumMargins())
        rect->setMinimumMargins(margins);

    // Distance two neighbouring labels need between their ticks.
    const double valueNeed = valueMetrics.height() * 1.15;
    double timeNeed;
    if (twoLineTimeLabels) {
        timeNeed = std::max(timeMetrics.horizontalAdvance(QStringLiteral("00.00.00")),
                            timeMetrics.horizontalAdvance(QStringLiteral("00:00:00"))) +
                   10;
    } else {
        // Rotated labels lie side by side; the distance across them is the tick distance times sin 60°.
        timeNeed = (timeMetrics.height() + 3) / std::sin(M_PI / 3);
    }
    const auto apart = [](const QCPAxis *axis, double need) {
        const QVector<double> ticks = axis->tickVector();
        for (int i = 1; i < ticks.size(); ++i) {
            if (std::abs(axis->coordToPixel(ticks[i]) - axis->coordToPixel(ticks[i - 1])) < need)
                return false;
        }
        return true;
    };
    // The specified 20 ticks where there is room; otherwise fewer, until the readable steps the tickers
    // choose keep every two labels apart.
    const QList<QCPAxis *> valueAxes = rect->axes(QCPAxis::atLeft | QCPAxis::atRight);
    int valueCount = qBound(1, int(rect->height() / valueNeed), 20);
    int timeCount = qBound(1, int(rect->width() / timeNeed), 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        for (QCPAxis *axis : valueAxes)
            axis->ticker()->setTickCount(valueCount);
        plot->xAxis->ticker()->setTickCount(timeCount);
        LayOut();
        bool valuesApart = true;
        for (const QCPAxis *axis : valueAxes)
            valuesApart = valuesApart && (!axis->visible() || apart(axis, valueNeed));
        const bool timesApart = apart(plot->xAxis, timeNeed);
        if ((valuesApart || valueCount == 1) && (timesApart || timeCount == 1))
            break;
        if (!valuesApart)
            valueCount = std::max(1, valueCount * 2 / 3);
        if (!timesApart)
            timeCount = std::max(1, timeCount * 2 / 3);
    }
}

void TelemetryPlotWidget::StackValueTags() {
    struct Placed {
        AxisTag *tag;
        double want;
        QSizeF size;
        double centre;
    };
    std::vector<Placed> tags;
    for (QTreeWidgetItem *item : qAsConst(plottedItems)) {
        auto *tag = ItemPointer<AxisTag>(item, ValueTagRole);
        if (!tag || !tag->label() || !tag->label()->visible())
            continue;
        const double want = tag->valuePixel();
        tags.push_back({tag, want, tag->labelSize(), want});
    }
    if (tags.empty())
        return;
    std::stable_sort(tags.begin(), tags.end(), [](const Placed &a, const Placed &b) { return a.want < b.want; });

    // Tags that would overlap are pushed apart within the widget's height; when one column cannot hold
    // them all, every k-th tag goes to the k-th column further right.
    const double gap = 1;
    const double top = 1;
    const double bottom = plot->viewport().height() - 2;
    // The column stands right of the value axes, so their labels stay readable; the arrows cross them.
    QCPAxisRect *rect = plot->axisRect();
    double axesRight = 0;
    for (QCPAxis *axis : rect->axes(QCPAxis::atRight)) {
        if (!axis->visible())
            continue;
        const QFontMetrics metrics(axis->tickLabelFont());
        int widest = 0;
        for (const QString &label : axis->tickVectorLabels())
            widest = std::max(widest, metrics.horizontalAdvance(label));
        axesRight =
            std::max(axesRight, double(axis->offset() + axis->tickLengthOut() + axis->tickLabelPadding() + widest + 4));
    }
    double total = 0;
    for (const Placed &p : tags)
        total += p.size.height() + gap;
    const int columns = std::max(1, int(std::ceil(total / std::max(1.0, bottom - top))));
    double dx = 0;
    for (int c = 0; c < columns; ++c) {
        std::vector<Placed *> column;
        for (size_t i = size_t(c); i < tags.size(); i += size_t(columns))
            column.push_back(&tags[i]);
        for (size_t i = 0; i < column.size(); ++i) {
            Placed &p = *column[i];
            p.centre = std::max(p.want, top + p.size.height() / 2);
            if (i > 0) {
                const Placed &above = *column[i - 1];
                p.centre = std::max(p.centre, above.centre + (above.size.height() + p.size.height()) / 2 + gap);
            }
        }
        for (size_t i = column.size(); i-- > 0;) {
            Placed &p = *column[i];
            double limit = bottom - p.size.height() / 2;
            if (i + 1 < column.size()) {
                const Placed &below = *column[i + 1];
                limit = below.centre - (below.size.height() + p.size.height()) / 2 - gap;
            }
            p.centre = std::min(p.centre, limit);
        }
        double width = 0;
        for (Placed *p : column) {
            // The label starts 15 pixels right of the arrow head, which sits on the tag's own axis.
            const double shift = std::max(0.0, axesRight - 15 - p->tag->axis()->offset());
            p->tag->setLabelOffset(shift + dx, p->centre - p->want);
            width = std::max(width, p->size.width());
        }
        dx += width + 4;
    }
}
