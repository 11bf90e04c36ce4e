#include "app/mainwindow.h"

#include "ui_mainwindow.h"

// Object creation, editing, passport and deletion commands: built with the object editor.

void MainWindow::on_action_add_triggered() {}

void MainWindow::on_action_add_top_level_triggered() {}

void MainWindow::on_action_change_triggered() {}

void MainWindow::on_action_passport_triggered() {}

void MainWindow::on_action_delete_triggered() {}

void MainWindow::on_tree_itemDoubleClicked(QTreeWidgetItem *, int) {}
