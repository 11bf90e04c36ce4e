#include "app/mainwindow.h"

#include "ui_mainwindow.h"

// Realtime and period control, plot and tree handlers: built with the telemetry view.

void MainWindow::SetPeriodFields(QDateTime, QDateTime) {}

void MainWindow::LoadPlotForPeriodMaually() {}

QDateTime MainWindow::GetPlotTimeEndSetting() { return QDateTime(); }

float MainWindow::GetPlotTimeLengthSecondsSetting() { return 600; }

void MainWindow::StartRealtime() {}

void MainWindow::StopRealtime() {}

void MainWindow::RealtimeTimerSlot() {}

void MainWindow::PlotMousePress(QMouseEvent *) {}

void MainWindow::PlotMouseWheel(QWheelEvent *) {}

void MainWindow::on_action_realtime_triggered() {}

void MainWindow::on_action_pause_triggered() {}

void MainWindow::on_action_follow_triggered() {}

void MainWindow::on_action_shrink_width_triggered() {}

void MainWindow::on_action_shrink_height_triggered() {}

void MainWindow::on_action_shrink_all_triggered() {}

void MainWindow::on_action_period_left_triggered() {}

void MainWindow::on_action_period_right_triggered() {}

void MainWindow::on_action_graph_style_step_triggered() {}

void MainWindow::on_action_graph_style_line_triggered() {}

void MainWindow::on_action_show_table_triggered(bool) {}

void MainWindow::on_begin_time_dateTimeChanged(const QDateTime &) {}

void MainWindow::on_begin_date_dateChanged(const QDate &) {}

void MainWindow::on_interval_currentIndexChanged(int) {}

void MainWindow::on_button_left_clicked() {}

void MainWindow::on_button_right_clicked() {}

void MainWindow::on_plot_customContextMenuRequested(const QPoint &) {}

void MainWindow::on_tree_itemChanged(QTreeWidgetItem *, int) {}

void MainWindow::on_tree_currentItemChanged(QTreeWidgetItem *, QTreeWidgetItem *) {}

void MainWindow::on_tree_customContextMenuRequested(const QPoint &) {}
