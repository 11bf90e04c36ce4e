#include "app/mainwindow.h"

#include "ui_mainwindow.h"

#include "csv/csvfile.h"
#include "views/events_table_widget.h"
#include "views/objects_tree_widget.h"

#include <QFile>
#include <QFileDialog>
#include <QMessageBox>
#include <QTreeWidget>

// Opening and closing CSV files, the event CSV viewer and the CSV export.

void MainWindow::on_action_open_triggered() {
    const QString path =
        QFileDialog::getOpenFileName(this, "Открыть файл ОПРЧ", QString(), "csv (*.csv);;Все файлы (*.*)");
    if (path.isEmpty())
        return;

    // Checked before anything changes, so an unreadable file leaves the view as it was.
    QFile probe(path);
    if (!probe.open(QIODevice::ReadOnly)) {
        QMessageBox::warning(this, "Ошибка", "Не удалось открыть файл [" + path + "]!");
        return;
    }
    probe.close();

    StopRealtime();
    objectsTree->UncheckTopNodes();
    QString filePath = path;
    const QVector<CsvFile::CsvRow> rows = CsvFile::LoadFile(filePath);
    objectsTree->AddCSVFileTreeNodes(filePath, nullptr, rows);
    on_action_shrink_all_triggered();
}

void MainWindow::on_action_close_triggered() {
    QTreeWidgetItem *node = ui->tree->currentItem();
    if (!node) {
        QMessageBox::information(this, "Информация", "Необходимо выбрать файл для закрытия!");
        return;
    }
    if (node->type() != CsvFileItem) {
        QMessageBox::information(this, "Информация", "Закрывать можно только файлы!");
        return;
    }
    QVector<QTreeWidgetItem *> nodes = objectsTree->CollectChildrenItems(node);
    nodes.append(node);
    for (QTreeWidgetItem *item : nodes)
        objectsTree->DeleteTreeObject(item);
    objectsTree->DisposeDetached();
    on_action_shrink_all_triggered();
}

void MainWindow::on_action_view_csv_triggered() {
    const int row = ui->events_tableWidget->currentRow();
    if (row < 0) {
        QMessageBox::information(this, "Информация", "Необходимо выбрать строку с данными!");
        return;
    }
    const QString text = eventsTable->GetCSVTextFromRow(row);
    if (text.isEmpty()) {
        QMessageBox::information(this, "Информация", "Нет данных для отображения!");
        return;
    }
    QByteArray utf8 = text.toUtf8();
    const int nul = utf8.indexOf('\0');
    if (nul >= 0)
        utf8.truncate(nul);
    dialogViewCSV.SetText(QString::fromUtf8(utf8));
    dialogViewCSV.exec();
}

void MainWindow::on_action_export_csv_triggered() {
    const QDateTime end = GetPlotTimeEndSetting();
    const QDateTime begin = end.addMSecs(-qint64(double(GetPlotTimeLengthSecondsSetting()) * 1000.0));

    ObjectsTreeWidget exportTree(dialogExportCSV.GetTreeWidget(), &db, telemetryPlot, telemetryTable);
    exportTree.ReadObjectsTree(false);
    dialogExportCSV.GetTreeWidget()->expandToDepth(0);

    dialogExportCSV.SetPeriod(begin, end);
    dialogExportCSV.SetDatabase(&db);
    dialogExportCSV.exec();
}
