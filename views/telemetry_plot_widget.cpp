#include "views/telemetry_plot_widget.h"

#include <QMutexLocker>
#include <QTreeWidgetItem>
#include <cmath>
#include <limits>

#include "server/archive_measures_14.h"
#include "server/db.h"
#include "views/axistag.h"
#include "views/channel_style.h"
#include "views/objects_tree_widget.h"
#include "views/plot_cursor.h"
#include "views/plot_navigation.h"
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

void ClearLinks(QTreeWidgetItem *item) {
    for (int role : {GraphRole, ViolationGraphRole, ValueTagRole})
        item->setData(TreeDataColumn, role, QVariant::fromValue<quint64>(0));
}

QDateTime TimeOf(double seconds) {
    return QDateTime::fromMSecsSinceEpoch(qint64(std::floor(seconds * 1000.0)));
}

} // namespace

TelemetryPlotWidget::TelemetryPlotWidget(QCustomPlot *plot, DB *db, TelemetryTableWidget *table, bool interactive)
    : db(db), table(table), plot(plot), interactive(interactive), linkLoss(plot), layout(plot), legend(plot) {
    graphLineStyle = QCPGraph::lsStepLeft;
    if (interactive) {
        cursor = new PlotCursor(plot, &plotted);
        navigation = new PlotNavigation(plot);
    }
    ResetPlot();
    beforeReplotConnection = QObject::connect(plot, &QCustomPlot::beforeReplot, plot, [this] { BeforeReplot(); });
}

TelemetryPlotWidget::~TelemetryPlotWidget() {
    QObject::disconnect(beforeReplotConnection);
    // They watch the plot and read the channels kept here.
    delete cursor;
    delete navigation;
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
    plot->clearGraphs();
    plot->clearItems();
    // The items are gone with clearItems; graphs of plotted items are gone with clearPlottables.
    currentTimeLine = nullptr;
    for (const Channel &channel : plotted.All()) {
        delete channel.tag;
        ClearLinks(channel.item);
    }
    plotted.Clear();
    {
        QMutexLocker lock(&graphsToDeleteMutex);
        graphsToDelete.clear();
    }
    {
        QMutexLocker lock(&tagsToDeleteMutex);
        qDeleteAll(tagsToDelete);
        tagsToDelete.clear();
    }

    layout.SetUpAxes();

    legend.SetUp();
    if (navigation)
        navigation->History().Clear();

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
    linkLoss.Draw();

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
    QCPRange *mainRange = plotted.RangeOf(main);
    QCPRange *violationRange = plotted.RangeOf(violation);
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
        QCPRange *targetRange = violated ? violationRange : mainRange;

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
            PlottedChannels::Extend(targetRange, range);
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
            PlottedChannels::Extend(violated ? mainRange : violationRange, QCPRange(v, v));
        }
        target->addData(k, v);
        PlottedChannels::Extend(targetRange, QCPRange(v, v));
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
    const QDateTime fromTime = TimeOf(from);

    MeasurePoint point;
    const bool haveLast = archive->ReadLastMeasure(archiveId, fromTime.addMSecs(-10), &point, zeroAsNaN);
    const QVector<MeasurePoint> read = archive->ReadSamplesForPeriod(archiveId, fromTime, TimeOf(to), zeroAsNaN);
    DrawSpan(main, violation, from, to, column, haveLast ? &point : nullptr, read);
}

void TelemetryPlotWidget::ReadSpans(const QVector<Channel> &channels, const QVector<bool> &read, double from, double to,
                                    const std::function<void(const Channel &)> &other) {
    Archive_Measures *archive = db ? db->archiveMeasures : nullptr;
    const QDateTime fromTime = TimeOf(from);
    const QDateTime toTime = TimeOf(to);
    QVector<Archive_Measures::SpanRequest> requests;
    QVector<int> channelOf;
    for (int i = 0; i < channels.size(); ++i) {
        if (!read[i])
            continue;
        Archive_Measures::SpanRequest request;
        request.id = channels[i].item->data(TreeDataColumn, MeasureIdRole).toInt();
        request.zeroAsNaN = channels[i].item->data(TreeDataColumn, CalculatedRole).toBool();
        request.from = fromTime;
        request.to = toTime;
        request.lastBefore = fromTime.addMSecs(-10);
        requests << request;
        channelOf << i;
    }

    int next = 0; // first channel not handled yet
    auto othersUpTo = [&](int end) {
        for (; next < end; ++next) {
            if (!read[next])
                other(channels[next]);
        }
    };
    // The channel of a request, with the channels before it handed to `other` and its graphs cleared.
    auto reach = [&](int request) -> const Channel & {
        const int at = channelOf[request];
        othersUpTo(at);
        next = at + 1;
        ClearGraphs(channels[at]);
        return channels[at];
    };
    if (archive) {
        archive->ReadSpans(requests, [&](int request, const MeasurePoint *last, const QVector<MeasurePoint> &samples) {
            const Channel &channel = reach(request);
            const int column = table ? table->GetTableColumIndexByTreeItem(channel.item) : -1;
            DrawSpan(channel.main, channel.violation, from, to, column, last, samples);
        });
    } else {
        // Without an archive nothing is read, but the graphs are cleared all the same.
        for (int request = 0; request < requests.size(); ++request)
            reach(request);
    }
    othersUpTo(channels.size());
}

void TelemetryPlotWidget::DrawSpan(QCPGraph *main, QCPGraph *violation, double from, double to, int column,
                                   const MeasurePoint *last, const QVector<MeasurePoint> &read) {
    QVector<MeasurePoint> series =
        GapMarks::BreakGaps(read, linkLoss.Spans(), last ? last->time : std::numeric_limits<double>::quiet_NaN());
    if (last)
        DrawSamplesToPlot({GapMarks::InForceAtStart(*last, from, &series)}, main, violation);

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
    if (!item || !IsObjectChannel(item->type()) || plotted.Find(item))
        return;
    const int objectId = item->data(TreeDataColumn, ObjectIdRole).toInt();
    const int archiveId = item->data(TreeDataColumn, MeasureIdRole).toInt();
    if (objectId == 0 || archiveId < 0)
        return;

    const ChannelStyle style = ChannelStyle::Of(item);
    QCPAxis *valueAxis = style.frequencyAxis ? plot->yAxis2 : plot->yAxis;
    QCPGraph *main = AddGraph(valueAxis);
    main->setName(style.ShortName());
    main->setPen(style.pen);
    main->setLineStyle(graphLineStyle);
    PlotLegend::Name(main);

    QCPGraph *violation = nullptr;
    if (item->type() == CalcPowerItem) {
        violation = AddGraph(plot->yAxis);
        violation->setName(QStringLiteral("Нарушение, МВт"));
        QPen violationPen = style.pen;
        violationPen.setColor(Qt::red);
        violation->setPen(violationPen);
        violation->setLineStyle(graphLineStyle);
    }

    auto *tag = new AxisTag(valueAxis);
    tag->setPen(main->pen());
    tag->updatePosition(0, std::numeric_limits<double>::quiet_NaN());

    // The tree, the table and the export find the links in the item.
    SetItemPointer(item, GraphRole, main);
    SetItemPointer(item, ViolationGraphRole, violation);
    SetItemPointer(item, ValueTagRole, tag);
    plotted.Add(item, main, violation, tag, style);

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
    const Channel channel = plotted.Take(item);
    ClearLinks(item);
    if (!channel.main)
        return;
    {
        QMutexLocker lock(&graphsToDeleteMutex);
        channel.main->setVisible(false);
        graphsToDelete.append(channel.main);
        if (channel.violation) {
            channel.violation->setVisible(false);
            graphsToDelete.append(channel.violation);
        }
    }
    if (channel.tag) {
        QMutexLocker lock(&tagsToDeleteMutex);
        channel.tag->setVisible(false);
        tagsToDelete.append(channel.tag);
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
    for (QCPGraph *graph : qAsConst(graphs))
        plot->removeGraph(graph);
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
    if (!item || !IsFileChannel(item->type()) || plotted.Find(item))
        return;
    const ChannelStyle style = ChannelStyle::Of(item);
    QCPGraph *graph = AddGraph(style.frequencyAxis ? plot->yAxis2 : plot->yAxis);
    graph->setName(style.ShortName());
    graph->setPen(style.pen);
    graph->setLineStyle(graphLineStyle);
    PlotLegend::Name(graph);
    SetItemPointer(item, GraphRole, graph);
    plotted.Add(item, graph, nullptr, nullptr, style);

    const QMap<double, MeasurePoint> series = CsvSeries(rows, item->type());
    DrawMeasuresToPlot(series, graph, nullptr);
    if (table && table->IsVisible()) {
        const int column = table->AddTableColumn(item);
        table->FillTableData(series, column, false);
    }
}

void TelemetryPlotWidget::LoadPlotForPeriodMaually(QDateTime from, QDateTime to) {
    QVector<Channel> channels;
    QVector<bool> read;
    for (const Channel &channel : plotted.All()) {
        if (!IsObjectChannel(channel.item->type()))
            continue;
        channels << channel;
        read << (channel.item->data(TreeDataColumn, MeasureIdRole).toInt() >= 0);
    }
    ReadSpans(channels, read, from.toMSecsSinceEpoch() / 1000.0, to.toMSecsSinceEpoch() / 1000.0,
              [this](const Channel &channel) { ClearGraphs(channel); });
    for (const Channel &channel : qAsConst(channels)) {
        if (channel.tag)
            channel.tag->setVisible(false);
    }
    FitTagsInside();
    FitValueAxes();
    plot->xAxis->setRange(double(from.toSecsSinceEpoch()), double(to.toSecsSinceEpoch()));
    if (navigation)
        navigation->History().Clear();
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void TelemetryPlotWidget::DrawAllPlots(QDateTime from, QDateTime to) {
    const QVector<Channel> channels = plotted.All();
    QVector<bool> read;
    for (const Channel &channel : channels)
        read << (channel.item->data(TreeDataColumn, MeasureIdRole).toInt() > 0 &&
                 IsObjectChannel(channel.item->type()));
    ReadSpans(channels, read, from.toMSecsSinceEpoch() / 1000.0, to.toMSecsSinceEpoch() / 1000.0,
              [this](const Channel &channel) {
                  QTreeWidgetItem *item = channel.item;
                  if (!IsFileChannel(item->type()) || !item->parent() || item->parent()->checkState(0) != Qt::Checked)
                      return;
                  channel.main->setVisible(true);
                  if (table) {
                      const int column = table->AddTableColumn(item);
                      const auto rows =
                          item->parent()->data(TreeDataColumn, CsvRowsRole).value<QVector<CsvFile::CsvRow>>();
                      table->FillTableData(CsvSeries(rows, item->type()), column, false);
                  }
              });
    DeleteDefferedGraphs();
    FitValueAxes();
    plot->replot(QCustomPlot::rpImmediateRefresh);
}

void TelemetryPlotWidget::DrawRealtimePlots() {
    Archive_Measures *archive = db ? db->archiveMeasures : nullptr;
    const double now = QDateTime::currentMSecsSinceEpoch() / 1000.0;
    const QDateTime nowTime = QDateTime::fromMSecsSinceEpoch(qint64(now * 1000.0));

    for (int c = 0; c < plotted.Size(); ++c) {
        QTreeWidgetItem *item = plotted.At(c).item;
        QCPGraph *main = plotted.At(c).main;
        QCPGraph *violation = plotted.At(c).violation;
        AxisTag *tag = plotted.At(c).tag;
        if (IsFileChannel(item->type()))
            continue;

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
            const QVector<MeasurePoint> series = GapMarks::BreakGaps(read, linkLoss.Spans(), last);
            DrawSamplesToPlot(GapMarks::NotDrawnYet(series, last), main, violation);
            if (table && table->IsVisible())
                table->FillTableSamples(read, table->GetTableColumIndexByTreeItem(item), true);
        }

        AddHoldPoint(main, now + HoldOffset);
        AddHoldPoint(violation, now + HoldOffset);

        if (!tag)
            continue;
        double value = LastValue(main);
        QPen pen = plotted.At(c).style.pen;
        if (std::isnan(value) && violation) {
            value = LastValue(violation);
            pen.setColor(violation->pen().color());
        }
        pen.setStyle(Qt::SolidLine);
        if (std::isnan(value)) {
            tag->setVisible(false);
            continue;
        }
        tag->updatePosition(now, value);
        tag->setText(plotted.At(c).style.TagText(value, plot->locale()));
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

void TelemetryPlotWidget::ClearGraph(QCPGraph *graph) {
    graph->data()->clear();
    plotted.ForgetRange(graph);
}

void TelemetryPlotWidget::ClearGraphs(const Channel &channel) {
    if (channel.main)
        ClearGraph(channel.main);
    if (channel.violation)
        ClearGraph(channel.violation);
}

void TelemetryPlotWidget::FitValueAxes() {
    for (QCPAxis *axis : {plot->yAxis, plot->yAxis2}) {
        if (plotted.RescaleValueAxis(axis))
            axis->setRange(PlotLayout::WithMargin(axis->range()));
    }
}

void TelemetryPlotWidget::FitAll(bool time, bool values) {
    if (navigation)
        navigation->History().Remember();
    if (time) {
        if (realtimeMode) {
            const double now = double(QDateTime::currentSecsSinceEpoch());
            plot->xAxis->setRange(now - periodLength, now);
        } else {
            plot->xAxis->rescale(true);
        }
    }
    if (values)
        FitValueAxes();
    plot->replot(QCustomPlot::rpImmediateRefresh);
}

bool TelemetryPlotWidget::ZoomBack() {
    if (!navigation || !navigation->History().Back())
        return false;
    plot->replot(QCustomPlot::rpImmediateRefresh);
    return true;
}

void TelemetryPlotWidget::SetNavigationEnabled(bool enabled) {
    if (navigation)
        navigation->SetEnabled(enabled);
}

void TelemetryPlotWidget::SetLegendVisible(bool visible) {
    legend.SetVisible(visible);
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void TelemetryPlotWidget::RescalePlotRealtimeAuto() {
    FitValueAxes();
    const double now = double(QDateTime::currentSecsSinceEpoch());
    plot->xAxis->setRange(now - periodLength, now);
    plot->replot(QCustomPlot::rpQueuedReplot);
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
    for (AxisTag *tag : plotted.Tags())
        tag->setVisible(false);
    FitTagsInside();
    plot->replot(QCustomPlot::rpRefreshHint);
}

void TelemetryPlotWidget::HighlightSelectedGrapgh(QTreeWidgetItem *current) {
    for (const Channel &channel : plotted.All()) {
        for (QCPGraph *graph : {channel.main, channel.violation}) {
            if (graph && graph->pen().widthF() > 1) {
                QPen pen = graph->pen();
                pen.setWidthF(1);
                graph->setPen(pen);
            }
        }
    }
    if (const Channel *selected = plotted.Find(current)) {
        for (QCPGraph *graph : {selected->main, selected->violation}) {
            if (graph) {
                // Thicker, in the pattern that tells the unit.
                QPen pen = graph->pen();
                pen.setWidthF(2);
                pen.setCapStyle(Qt::SquareCap);
                pen.setJoinStyle(Qt::BevelJoin);
                graph->setPen(pen);
            }
        }
    }
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void TelemetryPlotWidget::SetGraphLineStyle(QCPGraph::LineStyle style) {
    graphLineStyle = style;
    for (const Channel &channel : plotted.All()) {
        for (QCPGraph *graph : {channel.main, channel.violation}) {
            if (graph)
                graph->setLineStyle(style);
        }
    }
    plot->replot(QCustomPlot::rpImmediateRefresh);
}

void TelemetryPlotWidget::FitTagsInside() {
    layout.FitTagsInside(plotted.Tags());
}

void TelemetryPlotWidget::LinkLost(double time) {
    if (linkLoss.Lost(time))
        plot->replot(QCustomPlot::rpQueuedReplot);
}

void TelemetryPlotWidget::LinkRestored(double time) {
    if (linkLoss.Restored(time))
        plot->replot(QCustomPlot::rpQueuedReplot);
}

void TelemetryPlotWidget::BeforeReplot() {
    if (plot->viewport().isEmpty() || !plot->axisRect())
        return;
    legend.Arrange();
    layout.Arrange(plotted.Tags());
    linkLoss.PlaceTexts();
}
