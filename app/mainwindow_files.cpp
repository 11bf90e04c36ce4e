#include "app/mainwindow.h"

#include "ui_mainwindow.h"

// Opening and closing CSV files, the event CSV viewer and the CSV export: built with the CSV files feature.

void MainWindow::on_action_open_triggered() {}

void MainWindow::on_action_close_triggered() {}

void MainWindow::on_action_view_csv_triggered() {}

void MainWindow::on_action_export_csv_triggered() {}
