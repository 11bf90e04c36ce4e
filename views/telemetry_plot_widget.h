#pragma once

#include <functional>

#include <QDateTime>
#include <QList>
#include <QMap>
#include <QMetaObject>
#include <QMutex>
#include <QVector>

#include "csv/csvfile.h"
#include "qcustomplot.h"
#include "server/archive_measures_14.h"
#include "views/gap_marks.h"
#include "views/link_loss_bands.h"
#include "views/plot_layout.h"
#include "views/plot_legend.h"
#include "views/plotted_channels.h"

class AxisTag;
class PlotCursor;
class PlotNavigation;
class DB;
class QTreeWidgetItem;
class TelemetryTableWidget;

// Drives the form's QCustomPlot: archive channels in realtime or for a period, and CSV file channels.
class TelemetryPlotWidget {
public:
    TelemetryPlotWidget(QCustomPlot *plot, DB *db, TelemetryTableWidget *table, bool interactive);
    TelemetryPlotWidget(const TelemetryPlotWidget &) = delete;
    TelemetryPlotWidget &operator=(const TelemetryPlotWidget &) = delete;
    ~TelemetryPlotWidget();

    void ResetPlot();
    void SetPloRealtimeMode(bool realtime, QDateTime end, int lengthSeconds);

    void AddRealtimeGraph(QTreeWidgetItem *item, int column);
    void RemoveRealtimeGraph(QTreeWidgetItem *item);
    void DeleteDefferedGraphs();
    void AddCSVFileGraph(QTreeWidgetItem *item, QVector<CsvFile::CsvRow> rows);

    void LoadPlotForPeriodMaually(QDateTime from, QDateTime to);
    void DrawAllPlots(QDateTime from, QDateTime to);
    void DrawRealtimePlots();
    // Widens the right margin so that the shown value tags stay inside the widget.
    void FitTagsInside();

    void RescalePlotRealtimeAuto();
    // Both value axes hold every sample of the shown curves, with a margin.
    void FitValueAxes();
    // The whole span: the period in realtime, else every sample; remembered for ZoomBack first.
    void FitAll(bool time, bool values);
    // Steps back to the view before the last zoom or pan; false when there is none.
    bool ZoomBack();
    // Zoom and pan by mouse, off while realtime follows the clock.
    void SetNavigationEnabled(bool enabled);
    void SetLegendVisible(bool visible);
    bool LegendVisible() const { return legend.Visible(); }
    void MoveCurrentTimeLine();
    void RemoveCurrentTimeLine();
    void HideAllCurrentValueTags();
    void HighlightSelectedGrapgh(QTreeWidgetItem *current);
    void SetGraphLineStyle(QCPGraph::LineStyle style);

    void DrawMeasuresToPlot(QMap<double, MeasurePoint> samples, QCPGraph *main, QCPGraph *violation);
    // The same for samples ascending by time with one per time, as the archive reads hand them; runs
    // that need no hand-over between the two graphs go in as one block.
    void DrawSamplesToPlot(const QVector<MeasurePoint> &samples, QCPGraph *main, QCPGraph *violation);
    // A span [from, to] read from the archive: the value in force before it (null when none), then the
    // samples, drawn with the breaks of lost links; the table column gets the samples as read.
    void DrawSpan(QCPGraph *main, QCPGraph *violation, double from, double to, int column, const MeasurePoint *last,
                  const QVector<MeasurePoint> &read);

    // Series of a CSV channel (1006 frequency, 1007 power); rows with equal seconds keep the last. The
    // graph and every table fill of a file take this one series.
    static QMap<double, MeasurePoint> CsvSeries(const QVector<CsvFile::CsvRow> &rows, int itemType);

    // The series to draw for samples read from the archive, with the breaks of lost links (GapMarks).
    static QVector<MeasurePoint> BreakGaps(const QVector<MeasurePoint> &series, const QVector<QCPRange> &lossSpans,
                                           double before) {
        return GapMarks::BreakGaps(series, lossSpans, before);
    }

    // The link to the server went down or came back; the time between is shaded for the rest of the run.
    void LinkLost(double time);
    void LinkRestored(double time);
    // Spans without link; the upper end is NaN while the link is still down.
    const QVector<QCPRange> &LinkLossSpans() const { return linkLoss.Spans(); }
    QVector<QCPItemRect *> LinkLossBands() const { return linkLoss.Bands(); }

    QCustomPlot *Plot() const { return plot; }
    const QList<QTreeWidgetItem *> &PlottedItems() const { return plotted.Items(); }
    QCPItemStraightLine *CurrentTimeLine() const { return currentTimeLine; }
    bool IsRealtime() const { return realtimeMode; }
    QDateTime PeriodEnd() const { return periodEnd; }
    int PeriodLength() const { return periodLength; }
    QCPGraph::LineStyle GraphLineStyle() const { return graphLineStyle; }
    const PlottedChannels &Plotted() const { return plotted; }
    // Null unless the plot was made interactive.
    PlotCursor *Cursor() const { return cursor; }
    PlotNavigation *Navigation() const { return navigation; }

private:
    using Channel = PlottedChannels::Channel;

    void ReadSpan(QTreeWidgetItem *item, QCPGraph *main, QCPGraph *violation, double from, double to, int column);
    // Reads the archive spans of the channels marked in `read`, in order, with the next requests on their
    // way while one is drawn; each graph is cleared just before its span is drawn. The other channels go
    // to `other` at their place in the order, so the table is filled in the same order as before.
    void ReadSpans(const QVector<Channel> &channels, const QVector<bool> &read, double from, double to,
                   const std::function<void(const Channel &)> &other);
    // Every graph of the plot samples its line keeping the samples next to a NaN.
    QCPGraph *AddGraph(QCPAxis *valueAxis);
    static void AddHoldPoint(QCPGraph *graph, double key);
    void ClearGraph(QCPGraph *graph);
    // The channel's curve and violation curve, where it has them.
    void ClearGraphs(const Channel &channel);
    // Run before every replot: the axes and value tags fitted to the plot's size, link-loss texts placed
    // in the visible part of their band.
    void BeforeReplot();

    DB *db;
    TelemetryTableWidget *table;
    QCustomPlot *plot;
    PlottedChannels plotted;
    QVector<QCPGraph *> graphsToDelete;
    QMutex graphsToDeleteMutex;
    QVector<AxisTag *> tagsToDelete;
    QMutex tagsToDeleteMutex;
    QCPItemStraightLine *currentTimeLine = nullptr;
    bool realtimeMode = true;
    bool interactive;
    QDateTime periodEnd;
    int periodLength = 600;
    QCPGraph::LineStyle graphLineStyle = QCPGraph::lsStepLeft;
    QMetaObject::Connection beforeReplotConnection;
    ::LinkLossBands linkLoss;
    PlotLayout layout;
    PlotLegend legend;
    PlotCursor *cursor = nullptr;
    PlotNavigation *navigation = nullptr;
};
