#include "views/telemetry_plot_widget.h"

#include "server/archive_measures_14.h"
#include "views/axistag.h"

TelemetryPlotWidget::TelemetryPlotWidget(QCustomPlot *plot, DB *db, TelemetryTableWidget *table, bool interactive)
    : db(db), table(table), plot(plot), interactive(interactive)
{
}
TelemetryPlotWidget::~TelemetryPlotWidget() {}
void TelemetryPlotWidget::ResetPlot() {}
void TelemetryPlotWidget::SetPloRealtimeMode(bool realtime, QDateTime end, int lengthSeconds)
{
    realtimeMode = realtime;
    periodEnd = end;
    periodLength = lengthSeconds;
}
void TelemetryPlotWidget::AddRealtimeGraph(QTreeWidgetItem *, int) {}
void TelemetryPlotWidget::RemoveRealtimeGraph(QTreeWidgetItem *) {}
void TelemetryPlotWidget::DeleteDefferedGraphs() {}
void TelemetryPlotWidget::AddCSVFileGraph(QTreeWidgetItem *, QVector<CsvFile::CsvRow>) {}
void TelemetryPlotWidget::LoadPlotForPeriodMaually(QDateTime, QDateTime) {}
void TelemetryPlotWidget::DrawAllPlots(QDateTime, QDateTime) {}
void TelemetryPlotWidget::DrawRealtimePlots() {}
void TelemetryPlotWidget::RescalePlotRealtimeAuto() {}
void TelemetryPlotWidget::MoveCurrentTimeLine() {}
void TelemetryPlotWidget::RemoveCurrentTimeLine() {}
void TelemetryPlotWidget::HideAllCurrentValueTags() {}
void TelemetryPlotWidget::HighlightSelectedGrapgh(QTreeWidgetItem *) {}
void TelemetryPlotWidget::SetGraphLineStyle(QCPGraph::LineStyle style) { graphLineStyle = style; }
void TelemetryPlotWidget::DrawMeasuresToPlot(QMap<double, MeasurePoint>, QCPGraph *, QCPGraph *) {}
QMap<double, MeasurePoint> TelemetryPlotWidget::CsvSeries(const QVector<CsvFile::CsvRow> &, int) { return {}; }
