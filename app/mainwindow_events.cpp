#include "app/mainwindow.h"

#include "ui_mainwindow.h"

// Events table, alarm sound and blinking, acknowledgement: built with the events feature.

void MainWindow::AddEvent(QString, QDateTime, QString, bool, QString, double, QString, bool, QString, int) {}

void MainWindow::AcknowledgmentRequiredTimerSlot() {}

void MainWindow::EventAcknowledgmentRequired(QDateTime, QString, bool, QString) {}

void MainWindow::EventAcknowledgmentRequired2(int, QDateTime, QString, bool, QString, QString, QString) {}

void MainWindow::EventAcknowledged(QString) {}

void MainWindow::EventsBlinkingStart() {}

void MainWindow::EventsBlinkingStop() {}

void MainWindow::on_action_acknowledgment_triggered() {}

void MainWindow::on_action_acknowledgment_all_triggered() {}

void MainWindow::on_action_mute_sound_triggered(bool) {}

void MainWindow::on_action_clear_events_triggered() {}

void MainWindow::on_action_save_csv_triggered() {}

void MainWindow::on_events_tableWidget_customContextMenuRequested(const QPoint &) {}

void MainWindow::on_events_tableWidget_cellDoubleClicked(int, int) {}
