#include "app/mainwindow.h"

#include "ui_mainwindow.h"

#include "csv/csvfile.h"
#include "csv/zip_archive.h"
#include "csv/zip_member.h"
#include "support/settings.h"
#include "views/events_table_widget.h"
#include "views/objects_tree_widget.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>
#include <QProgressDialog>
#include <QSettings>
#include <QTreeWidget>

// Opening and closing CSV files, the event CSV viewer and the CSV export.

namespace {

struct ArchiveMember {
    QString name;
    QVector<CsvFile::CsvRow> rows;
};

// What the archive's CSV members unpack to, as the archive states it.
qint64 CsvBytes(const ZipArchive &archive) {
    qint64 total = 0;
    for (int i = 0; i < archive.Count(); ++i)
        if (archive.Name(i).endsWith(QLatin1String(".csv"), Qt::CaseInsensitive))
            total += qMax<qint64>(0, archive.Size(i));
    return total;
}

// The CSV files of one of our export archives, their times read as UTC as the export writes them,
// each read in blocks with `progress` told the bytes of all members; what cannot be opened is listed
// in `problems`. The members together may unpack to at most `limit` bytes. False when cancelled or
// out of memory (`outOfMemory`): nothing is returned then.
bool ReadArchive(const ZipArchive &archive, qint64 limit, const CsvFile::Progress &progress,
                 QVector<ArchiveMember> *members, QStringList *problems, bool *outOfMemory) {
    const qint64 total = CsvBytes(archive);
    qint64 before = 0; // bytes of the members already read
    for (int i = 0; i < archive.Count(); ++i) {
        const QString name = archive.Name(i);
        if (name.endsWith(QLatin1Char('/')))
            continue;
        if (!name.endsWith(QLatin1String(".csv"), Qt::CaseInsensitive)) {
            problems->append(name + QStringLiteral(": не файл CSV"));
            continue;
        }
        ZipMember member(archive, i, limit - before);
        if (!member.IsOpen()) {
            problems->append(name + QStringLiteral(": ") + member.Error());
            continue;
        }
        CsvFile::LoadReport report;
        const QVector<CsvFile::CsvRow> rows = CsvFile::LoadBlocks(
            [&member](char *data, qint64 max) { return member.Read(data, max); }, member.Size(), Qt::UTC, &report,
            [&](qint64 done, qint64) { return !progress || progress(before + done, total); });
        before += member.Size();
        if (report.cancelled)
            return false;
        if (report.outOfMemory) {
            *outOfMemory = true;
            return false;
        }
        if (report.unreadable) {
            problems->append(name + QStringLiteral(": ") + member.Error());
            continue;
        }
        // Ours when every line that is not empty is a row with a valid date and time; an empty file
        // is ours too (an object without samples in the period).
        if (report.skipped > 0 || report.header) {
            problems->append(name + QStringLiteral(": строки не в формате «дата время;частота;мощность»"));
            continue;
        }
        members->append({name, rows});
    }
    return true;
}

// The largest CSV file opened, in MiB ([Files] MAX_CSV_MB, written with its default when missing):
// a day at one second is a few megabytes, and every row costs memory on the chart besides.
qint64 MaxCsvBytes() {
    constexpr int kDefaultMb = 512;
    const std::unique_ptr<QSettings> ini = Settings::Open();
    const QString key = QStringLiteral("Files/MAX_CSV_MB");
    if (!ini->contains(key)) {
        ini->setValue(key, kDefaultMb);
        ini->sync();
        return qint64(kDefaultMb) << 20;
    }
    bool ok = false;
    const int mb = ini->value(key).toString().trimmed().toInt(&ok);
    return qint64(ok && mb >= 1 && mb <= 65536 ? mb : kDefaultMb) << 20;
}

} // namespace

void MainWindow::on_action_open_triggered() {
    const QString path = QFileDialog::getOpenFileName(
        this, "Открыть файл ОПРЧ", QString(), "csv, zip (*.csv *.zip);;csv (*.csv);;zip (*.zip);;Все файлы (*.*)");
    if (path.isEmpty())
        return;

    // Our own export archives: every CSV file inside becomes a file node; the rest is reported.
    // The file limit holds for what the members unpack to, whatever the archive's own size.
    const qint64 limit = MaxCsvBytes();
    if (ZipArchive::LooksLikeZip(path)) {
        const ZipArchive archive(path);
        if (!archive.IsOpen()) {
            QMessageBox::warning(this, "Ошибка", "Не удалось открыть архив [" + path + "]: " + archive.Error() + "!");
            return;
        }
        const qint64 unpacked = CsvBytes(archive);
        if (unpacked > limit) {
            QMessageBox::warning(this, "Ошибка",
                                 QStringLiteral("Архив [%1] слишком большой: файлы CSV в нём занимают %2 МБ. "
                                                "Открываются файлы до %3 МБ (MAX_CSV_MB в разделе [Files] файла "
                                                "dedur.ini).")
                                     .arg(path)
                                     .arg((unpacked + (1 << 20) - 1) >> 20)
                                     .arg(limit >> 20));
            return;
        }
        QProgressDialog progress(QStringLiteral("Чтение архива [%1]…").arg(QFileInfo(path).fileName()),
                                 QStringLiteral("Отмена"), 0, 1000, this);
        progress.setWindowTitle(QStringLiteral("Открыть файл ОПРЧ"));
        progress.setWindowModality(Qt::WindowModal);
        progress.setMinimumDuration(400);
        QVector<ArchiveMember> members;
        QStringList problems;
        bool outOfMemory = false;
        const bool read = ReadArchive(
            archive, limit,
            [&progress](qint64 done, qint64 total) {
                progress.setValue(total > 0 ? int(qMin<qint64>(done * 1000 / total, 1000)) : 0);
                return !progress.wasCanceled();
            },
            &members, &problems, &outOfMemory);
        progress.reset();
        if (outOfMemory) {
            QMessageBox::warning(this, "Ошибка", "Недостаточно памяти, чтобы открыть архив [" + path + "]!");
            return;
        }
        if (!read)
            return;
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

    // Checked before anything changes, so an unreadable, too large or cancelled file leaves the view as it was.
    const QFileInfo info(path);
    if (info.isFile() && info.size() > limit) {
        QMessageBox::warning(this, "Ошибка",
                             QStringLiteral("Файл [%1] слишком большой: %2 МБ. Открываются файлы до %3 МБ "
                                            "(MAX_CSV_MB в разделе [Files] файла dedur.ini).")
                                 .arg(path)
                                 .arg((info.size() + (1 << 20) - 1) >> 20)
                                 .arg(limit >> 20));
        return;
    }
    QProgressDialog progress(QStringLiteral("Чтение файла [%1]…").arg(info.fileName()), QStringLiteral("Отмена"), 0,
                             1000, this);
    progress.setWindowTitle(QStringLiteral("Открыть файл ОПРЧ"));
    progress.setWindowModality(Qt::WindowModal);
    progress.setMinimumDuration(400);
    CsvFile::LoadReport report;
    const QVector<CsvFile::CsvRow> rows =
        CsvFile::LoadFile(path, Qt::LocalTime, &report, [&progress](qint64 done, qint64 total) {
            progress.setValue(total > 0 ? int(done * 1000 / total) : 0);
            return !progress.wasCanceled();
        });
    progress.reset();
    if (report.cancelled)
        return;
    if (report.unreadable) {
        QMessageBox::warning(this, "Ошибка", "Не удалось открыть файл [" + path + "]!");
        return;
    }
    if (report.outOfMemory) {
        QMessageBox::warning(this, "Ошибка", "Недостаточно памяти, чтобы открыть файл [" + path + "]!");
        return;
    }
    StopRealtime();
    objectsTree->UncheckTopNodes();
    objectsTree->AddCSVFileTreeNodes(path, nullptr, rows);
    on_action_shrink_all_triggered();
    // Lines that are not rows are left out, never drawn at a made-up time; the operator is told how many.
    if (report.skipped > 0)
        QMessageBox::information(this, "Информация",
                                 QStringLiteral("Файл [%1] открыт. Пропущено строк: %2 (нет даты и времени или "
                                                "чисел в виде «дд.ММ.гггг чч:мм:сс;частота;мощность»).")
                                     .arg(path)
                                     .arg(report.skipped));
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
    const Period period = ShownPeriod(PeriodEnd::WholeSecond);

    ObjectsTreeWidget exportTree(dialogExportCSV.GetTreeWidget(), &db, telemetryPlot.get(), telemetryTable.get());
    exportTree.ReadObjectsTree(false);
    dialogExportCSV.GetTreeWidget()->expandToDepth(0);

    dialogExportCSV.SetPeriod(period.begin, period.end);
    dialogExportCSV.SetDatabase(&db);
    dialogExportCSV.exec();
}
