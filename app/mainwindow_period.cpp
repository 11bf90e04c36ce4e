#include "app/mainwindow.h"

#include <QMenu>
#include <QMouseEvent>
#include <QSignalBlocker>
#include <QTreeWidgetItemIterator>
#include <QWheelEvent>
#include <cmath>
#include <iterator>

#include "server/table_dedur_types_14.h"
#include "ui_mainwindow.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

// Realtime and period control, and the handlers of the plot and the objects tree.

namespace {

constexpr int RealtimeIntervalMs = 1000;

QMenu *NewContextMenu(QWidget *owner) {
    auto *menu = new QMenu(owner);
    // Each request builds a fresh menu; it goes away once closed instead of piling up under the window.
    menu->setAttribute(Qt::WA_DeleteOnClose);
    return menu;
}

} // namespace

QDateTime MainWindow::GetPlotTimeEndSetting() {
    QTime time = ui->begin_time->time();
    time = QTime(time.hour(), time.minute(), time.second());
    return QDateTime(ui->begin_date->date(), time, Qt::LocalTime);
}

float MainWindow::GetPlotTimeLengthSecondsSetting() {
    const int index = ui->interval->currentIndex();
    const bool listed = index >= 0 && index < int(std::size(PeriodLengths));
    return float(PeriodLengths[listed ? index : 0]);
}

MainWindow::Period MainWindow::ShownPeriod(PeriodEnd cut) {
    Period period;
    period.lengthSeconds = static_cast<qint64>(GetPlotTimeLengthSecondsSetting());
    const QTime shown = ui->begin_time->time();
    switch (cut) {
    case PeriodEnd::WholeSecond:
        period.end = GetPlotTimeEndSetting();
        break;
    case PeriodEnd::ShownMinute:
        period.end = QDateTime(ui->begin_date->date(), QTime(shown.hour(), shown.minute(), 0, 0), Qt::LocalTime);
        break;
    case PeriodEnd::AsShown:
        period.end = QDateTime(ui->begin_date->date(), shown, Qt::LocalTime);
        break;
    }
    period.begin = period.end.addSecs(-period.lengthSeconds);
    return period;
}

void MainWindow::PassPeriodToPlot(bool realtime) {
    const Period period = ShownPeriod(PeriodEnd::WholeSecond);
    telemetryPlot->SetPloRealtimeMode(realtime, period.end, static_cast<int>(period.lengthSeconds));
}

void MainWindow::SetPeriodFields(QDateTime end, QDateTime) {
    {
        const QSignalBlocker dateBlocker(ui->begin_date);
        ui->begin_date->setDate(end.date());
    }
    {
        const QSignalBlocker timeBlocker(ui->begin_time);
        ui->begin_time->setTime(end.time());
    }
    PassPeriodToPlot(realtimeMode);
}

void MainWindow::StartRealtime() {
    realtimeTimer.stop();
    realtimeMode = true;
    followMode = true;
    ui->action_realtime->setChecked(true);
    ui->action_follow->setChecked(true);

    editMode = false;
    ui->action_edit_mode->setChecked(false);
    if (editOffIcon)
        ui->action_edit_mode->setIcon(*editOffIcon);
    for (QAction *action : {ui->action_add, ui->action_add_top_level, ui->action_change, ui->action_delete})
        action->setEnabled(false);
    objectsTree->SetEditMode(false);

    for (QWidget *control : std::initializer_list<QWidget *>{ui->begin_date, ui->begin_time, ui->interval,
                                                             ui->button_left, ui->button_right})
        control->setEnabled(false);

    const QDateTime now = QDateTime::currentDateTime();
    const qint64 length = ShownPeriod().lengthSeconds;
    SetPeriodFields(now, now);
    telemetryPlot->DrawAllPlots(now.addSecs(-length), now);
    // Shown at once, not from the first tick: a quick second F5 would leave the span of before.
    telemetryPlot->RescalePlotRealtimeAuto();
    UpdatePlotNavigation();

    realtimeTimer.start(RealtimeIntervalMs);
    ui->action_realtime->setChecked(true);
    eventTimer.start(RealtimeIntervalMs);
    statusBar()->showMessage(QStringLiteral("Режим слежения"));
}

void MainWindow::StopRealtime() {
    realtimeTimer.stop();
    realtimeMode = false;
    for (QWidget *control : std::initializer_list<QWidget *>{ui->begin_date, ui->begin_time, ui->interval,
                                                             ui->button_left, ui->button_right})
        control->setEnabled(true);
    telemetryPlot->RemoveCurrentTimeLine();
    telemetryPlot->HideAllCurrentValueTags();
    ui->action_realtime->setChecked(false);
    followMode = false;
    ui->action_follow->setChecked(false);
    PassPeriodToPlot(false);
    UpdatePlotNavigation();
    statusBar()->showMessage(QStringLiteral("Период"));
}

void MainWindow::UpdatePlotNavigation() {
    telemetryPlot->SetNavigationEnabled(!(realtimeMode && followMode));
}

void MainWindow::RealtimeTimerSlot() {
    // The tree is resynchronising the plot; this tick is skipped, not queued.
    if (ui->tree->signalsBlocked())
        return;
    // Without link nothing can be read; what is drawn stays, and the time goes on.
    if (!linkDown) {
        telemetryPlot->DrawRealtimePlots();
        UpdateEpisodes(false);
    }
    telemetryPlot->MoveCurrentTimeLine();
    if (followMode)
        telemetryPlot->RescalePlotRealtimeAuto();

    const QDateTime now = QDateTime::currentDateTime();
    const QSignalBlocker dateBlocker(ui->begin_date);
    const QSignalBlocker timeBlocker(ui->begin_time);
    ui->begin_date->setDate(now.date());
    ui->begin_time->setTime(now.time());
}

void MainWindow::LoadPlotForPeriodMaually() {
    StopRealtime();
    telemetryTable->ClearTableWidget();
    // The time edit shows hours and minutes only; the span ends at the minute it shows.
    const Period period = ShownPeriod(PeriodEnd::ShownMinute);
    telemetryPlot->LoadPlotForPeriodMaually(period.begin, period.end);
    UpdateEpisodes(false);
}

// Following the clock ends by its command only: a click on the chart fixes the readout's cursor, and
// zoom and pan work once following is off.
void MainWindow::PlotMousePress(QMouseEvent *) {}

void MainWindow::PlotMouseWheel(QWheelEvent *) {}

void MainWindow::on_action_realtime_triggered() {
    if (!realtimeMode) {
        StartRealtime();
    } else {
        StopRealtime();
        ui->action_realtime->setChecked(false);
    }
}

void MainWindow::on_action_pause_triggered() {
    StopRealtime();
}

void MainWindow::on_action_follow_triggered() {
    if (realtimeMode) {
        followMode = !followMode;
        if (followMode)
            telemetryPlot->RescalePlotRealtimeAuto();
    } else {
        followMode = false;
    }
    ui->action_follow->setChecked(followMode);
    UpdatePlotNavigation();
}

void MainWindow::on_action_shrink_width_triggered() {
    telemetryPlot->FitAll(true, false);
}

void MainWindow::on_action_shrink_height_triggered() {
    telemetryPlot->FitAll(false, true);
}

void MainWindow::on_action_shrink_all_triggered() {
    telemetryPlot->FitAll(true, true);
}

void MainWindow::on_action_zoom_back_triggered() {
    telemetryPlot->ZoomBack();
}

void MainWindow::on_action_show_legend_triggered(bool checked) {
    telemetryPlot->SetLegendVisible(checked);
}

void MainWindow::on_action_period_left_triggered() {
    const QDateTime newEnd = ShownPeriod().begin;
    {
        const QSignalBlocker dateBlocker(ui->begin_date);
        ui->begin_date->setDate(newEnd.date());
    }
    {
        const QSignalBlocker timeBlocker(ui->begin_time);
        ui->begin_time->setTime(newEnd.time());
    }
    on_begin_time_dateTimeChanged(newEnd);
}

void MainWindow::on_action_period_right_triggered() {
    const Period period = ShownPeriod();
    const QDateTime newEnd = period.end.addSecs(period.lengthSeconds);
    {
        const QSignalBlocker dateBlocker(ui->begin_date);
        ui->begin_date->setDate(newEnd.date());
    }
    {
        const QSignalBlocker timeBlocker(ui->begin_time);
        ui->begin_time->setTime(newEnd.time());
    }
    on_begin_time_dateTimeChanged(newEnd);
}

void MainWindow::on_action_graph_style_step_triggered() {
    ui->action_graph_style_step->setChecked(true);
    ui->action_graph_style_line->setChecked(false);
    telemetryPlot->SetGraphLineStyle(QCPGraph::lsStepLeft);
}

void MainWindow::on_action_graph_style_line_triggered() {
    ui->action_graph_style_step->setChecked(false);
    ui->action_graph_style_line->setChecked(true);
    telemetryPlot->SetGraphLineStyle(QCPGraph::lsLine);
}

void MainWindow::on_action_show_table_triggered(bool checked) {
    if (checked) {
        ui->tabWidget->show();
        ui->tabWidget->setCurrentWidget(ui->tab_table);
        ui->action_show_events->setChecked(false);
        ui->action_show_episodes->setChecked(false);
        telemetryTable->SetVisible(true);
        ui->tab_table->show();
        const Period period = ShownPeriod();
        telemetryPlot->DrawAllPlots(period.begin, period.end);
    } else {
        ui->tabWidget->hide();
        telemetryTable->SetVisible(false);
        telemetryTable->ClearTableWidget();
    }
}

void MainWindow::on_begin_time_dateTimeChanged(const QDateTime &) {
    PassPeriodToPlot(realtimeMode);
    if (!realtimeMode)
        LoadPlotForPeriodMaually();
}

void MainWindow::on_begin_date_dateChanged(const QDate &) {
    PassPeriodToPlot(realtimeMode);
    if (!realtimeMode)
        LoadPlotForPeriodMaually();
}

void MainWindow::on_interval_currentIndexChanged(int) {
    if (!realtimeMode)
        LoadPlotForPeriodMaually();
}

void MainWindow::on_button_left_clicked() {
    on_action_period_left_triggered();
}

void MainWindow::on_button_right_clicked() {
    on_action_period_right_triggered();
}

void MainWindow::on_plot_customContextMenuRequested(const QPoint &pos) {
    QMenu *menu = NewContextMenu(this);
    menu->addAction(ui->action_realtime);
    menu->addSeparator();
    menu->addAction(ui->action_follow);
    menu->addSeparator();
    menu->addAction(ui->action_shrink_width);
    menu->addAction(ui->action_shrink_height);
    menu->addAction(ui->action_shrink_all);
    menu->addAction(ui->action_zoom_back);
    menu->addSeparator();
    menu->addAction(ui->action_show_legend);
    menu->addAction(ui->action_graph_style_step);
    menu->addAction(ui->action_graph_style_line);
    menu->addSeparator();
    menu->addAction(ui->action_show_table);
    menu->addAction(ui->action_show_episodes);
    menu->addSeparator();
    menu->addAction(ui->action_export_csv);
    menu->addAction(ui->action_save_plot_image);
    menu->addAction(ui->action_print_plot);
    menu->popup(ui->plot->mapToGlobal(pos));
}

void MainWindow::on_tree_itemChanged(QTreeWidgetItem *item, int column) {
    if (column != 0)
        return;
    objectsTree->ItemChanged(item);
    ui->label_current_object->setText(
        ObjectsTreeWidget::ShortTitle(objectsTree->GetSelectedItemsTitle(nullptr, QStringLiteral(" / "))));
    if (!realtimeMode)
        ui->plot->xAxis->rescale(true);
    telemetryPlot->FitValueAxes();
    ui->plot->replot(QCustomPlot::rpQueuedReplot);
}

void MainWindow::on_tree_currentItemChanged(QTreeWidgetItem *current, QTreeWidgetItem *) {
    telemetryPlot->HighlightSelectedGrapgh(current);
}

void MainWindow::on_tree_customContextMenuRequested(const QPoint &pos) {
    QTreeWidgetItem *node = ui->tree->itemAt(pos);
    QMenu *menu = NewContextMenu(this);
    menu->addAction(ui->action_check_all);
    menu->addAction(ui->action_check_none);
    menu->addSeparator();
    if (!node) {
        menu->addAction(ui->action_add_top_level);
    } else if (node->type() == ObjectItem) {
        menu->addAction(ui->action_passport);
        menu->addSeparator();
        const int type = node->data(TreeDataColumn, ObjectTypeRole).toInt();
        if (db.tableDedurTypes && !db.tableDedurTypes->GetTypesListByParentType(type).isEmpty())
            menu->addAction(ui->action_add);
        menu->addAction(ui->action_change);
        menu->addAction(ui->action_delete);
    } else if (node->type() == CsvFileItem) {
        menu->addAction(ui->action_close);
    }
    menu->popup(ui->tree->viewport()->mapToGlobal(pos));
}

void MainWindow::ShowArchiveSpan(double fromSeconds, double toSeconds, int stationId) {
    const QDateTime from = QDateTime::fromSecsSinceEpoch(qint64(std::floor(fromSeconds)));
    const QDateTime to = QDateTime::fromSecsSinceEpoch(qint64(std::ceil(toSeconds)));
    StopRealtime();
    // The fields show the end and the shortest length that holds the span; the chart shows it exactly.
    const int longest = int(std::size(PeriodLengths)) - 1;
    int index = 0;
    while (index < longest && PeriodLengths[index] < from.secsTo(to))
        ++index;
    {
        const QSignalBlocker blocker(ui->interval);
        ui->interval->setCurrentIndex(index);
    }
    SetPeriodFields(to, from);

    // Only the station's channels: its own, its units' and the way down to it.
    QTreeWidgetItem *station = nullptr;
    for (QTreeWidgetItemIterator it(ui->tree); *it && stationId > 0; ++it)
        if ((*it)->type() == ObjectItem && (*it)->data(TreeDataColumn, ObjectIdRole).toInt() == stationId) {
            station = *it;
            break;
        }
    if (station) {
        objectsTree->CheckNone();
        {
            const QSignalBlocker blocker(ui->tree);
            for (QTreeWidgetItem *up = station->parent(); up; up = up->parent())
                up->setCheckState(0, Qt::Checked);
            station->setCheckState(0, Qt::Checked);
            for (QTreeWidgetItem *below : objectsTree->CollectChildrenItems(station))
                below->setCheckState(0, Qt::Checked);
        }
        on_tree_itemChanged(station, 0);
        ui->tree->setCurrentItem(station);
    }
    telemetryPlot->LoadPlotForPeriodMaually(from, to);
    UpdateEpisodes(false);
}
