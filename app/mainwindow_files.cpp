#include "app/mainwindow.h"

#include "ui_mainwindow.h"

#include "csv/csvfile.h"
#include "csv/zip_archive.h"
#include "views/events_table_widget.h"
#include "views/objects_tree_widget.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QTreeWidget>

// Opening and closing CSV files, the event CSV viewer and the CSV export.

namespace {

// A member is one of our CSV files when it is named so and every line that is not empty is a row
// with a valid date and time; an empty file is ours too (an object without samples in the period).
bool TelemetryRows(const QByteArray &data, const QVector<CsvFile::CsvRow> &rows) {
    int lines = 0;
    for (const QByteArray &line : data.split('\n'))
        lines += !line.trimmed().isEmpty();
    if (rows.size() != lines)
        return false;
    for (const CsvFile::CsvRow &row : rows) {
        if (!row.dateTime.isValid())
            return false;
    }
    return true;
}

struct ArchiveMember {
    QString name;
    QVector<CsvFile::CsvRow> rows;
};

// The CSV files of one of our export archives, their times read as UTC as the export writes them;
// what cannot be opened is listed in `problems`.
QVector<ArchiveMember> ReadArchive(const ZipArchive &archive, QStringList *problems) {
    QVector<ArchiveMember> members;
    for (int i = 0; i < archive.Count(); ++i) {
        const QString name = archive.Name(i);
        if (name.endsWith(QLatin1Char('/')))
            continue;
        if (!name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
            problems->append(name + QStringLiteral(": не файл CSV"));
            continue;
        }
        QByteArray data;
        QString reason;
        if (!archive.Read(i, &data, &reason)) {
            problems->append(name + QStringLiteral(": ") + reason);
            continue;
        }
        const QVector<CsvFile::CsvRow> rows = CsvFile::LoadData(data, Qt::UTC);
        if (!TelemetryRows(data, rows)) {
            problems->append(name + QStringLiteral(": строки не в формате «дата время;частота;мощность»"));
            continue;
        }
        members.append({name, rows});
    }
    return members;
}

} // namespace

void MainWindow::on_action_open_triggered() {
    const QString path = QFileDialog::getOpenFileName(
        this, "Открыть файл ОПРЧ", QString(), "csv, zip (*.csv *.zip);;csv (*.csv);;zip (*.zip);;Все файлы (*.*)");
    if (path.isEmpty())
        return;

    // Our own export archives: every CSV file inside becomes a file node; the rest is reported.
    if (ZipArchive::LooksLikeZip(path)) {
        const ZipArchive archive(path);
        if (!archive.IsOpen()) {
            QMessageBox::warning(this, "Ошибка", "Не удалось открыть архив [" + path + "]: " + archive.Error() + "!");
            return;
        }
        QStringList problems;
        const QVector<ArchiveMember> members = ReadArchive(archive, &problems);
        if (!members.isEmpty()) {
            StopRealtime();
            objectsTree->UncheckTopNodes();
            for (const ArchiveMember &member : members)
                objectsTree->AddCSVFileTreeNodes(path + QLatin1Char('/') + member.name, nullptr, member.rows);
            on_action_shrink_all_triggered();
        }
        if (!problems.isEmpty()) {
            QMessageBox::warning(this, "Ошибка",
                                 "Не все файлы архива [" + QFileInfo(path).fileName() + "] открыты:\n" +
                                     problems.join(QLatin1Char('\n')));
        } else if (members.isEmpty()) {
            QMessageBox::information(this, "Информация",
                                     "В архиве [" + QFileInfo(path).fileName() + "] нет файлов CSV!");
        }
        return;
    }

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
