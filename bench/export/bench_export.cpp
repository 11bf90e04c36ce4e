// Export of 10 units x 24 h against a stand server: the CSV part, then "zip" alone on the same files
// (the floor for the archiving part), then the whole export as the user runs it.
#include "bench/figure.h"
#include "dialogs/dialog_export_csv.h"
#include "stand_process.h"

#include "server/db.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <cstdio>
#include <qcustomplot.h>

namespace {

// Presses OK on every message box the export shows, so the run needs no person.
void KeepClosingMessageBoxes(QObject *owner) {
    QTimer::singleShot(20, owner, [owner] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            std::printf("  message: %s\n", qPrintable(box->text()));
            box->buttons().first()->click();
        }
        KeepClosingMessageBoxes(owner);
    });
}

qint64 CountLines(const QDir &dir) {
    qint64 lines = 0;
    for (const QString &name : dir.entryList({"*.csv"}, QDir::Files)) {
        QFile file(dir.filePath(name));
        if (file.open(QIODevice::ReadOnly))
            lines += file.readAll().count('\n');
    }
    return lines;
}

} // namespace

int main(int argc, char *argv[]) {
    QApplication app(argc, argv);
    CsvFile::RegisterMetaType();
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    QObject closer;
    KeepClosingMessageBoxes(&closer);

    StandProcess stand;
    std::printf("starting zenta-stand with 24 h of history for 10 units...\n");
    QElapsedTimer timer;
    timer.start();
    if (!stand.Start({"--no-sim", "--backfill-hours", "24", "--units", "5", "--seed", "1"})) {
        std::fprintf(stderr, "stand server failed: %s\n", qPrintable(stand.Error()));
        return 1;
    }
    std::printf("stand ready in %.1f s\n", timer.elapsed() / 1000.0);

    DB db;
    if (!db.OpenSession(stand.Address(), "operator", "operator")) {
        std::fprintf(stderr, "login failed\n");
        return 1;
    }
    QCustomPlot customPlot;
    QTableWidget tableWidget;
    TelemetryTableWidget table(&tableWidget);
    TelemetryPlotWidget plot(&customPlot, &db, &table, false);
    DialogExportCSV dialog;
    ObjectsTreeWidget tree(dialog.GetTreeWidget(), &db, &plot, &table);
    tree.ReadObjectsTree(false);

    // Only the units: their stations stay unchecked, so exactly one file per unit.
    int units = 0;
    {
        const QSignalBlocker blocker(dialog.GetTreeWidget());
        for (QTreeWidgetItemIterator it(dialog.GetTreeWidget()); *it; ++it) {
            const bool unit = (*it)->parent() != nullptr;
            (*it)->setCheckState(0, unit ? Qt::Checked : Qt::Unchecked);
            units += unit ? 1 : 0;
        }
    }
    const QDateTime end = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 5);
    const QDateTime begin = end.addSecs(-86399);
    dialog.SetDatabase(&db);
    dialog.SetPeriod(begin, end);

    QTemporaryDir out;
    dialog.findChild<QLineEdit *>("path")->setText(out.path());
    std::printf("units checked: %d, period %s .. %s\n", units, qPrintable(begin.toString(Qt::ISODate)),
                qPrintable(end.toString(Qt::ISODate)));

    // 1. CSV part: with no "zip" on the search path the export stops before packing and keeps the files.
    // Run twice: the first run meets a cold server cache.
    double csvPart = 0;
    double csvRate = 0;
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir emptyBin;
    qputenv("PATH", emptyBin.path().toLocal8Bit());
    for (const char *run : {"cold", "warm"}) {
        for (const QString &name : QDir(out.path()).entryList(QDir::Files))
            QFile::remove(out.filePath(name));
        timer.restart();
        dialog.ExportToCSV();
        const double csvSeconds = timer.elapsed() / 1000.0;
        const qint64 lines = CountLines(QDir(out.path()));
        std::printf("CSV part, %s (archive reads + lines + files): %.2f s, %lld lines, %.0f lines/s\n", run, csvSeconds,
                    static_cast<long long>(lines), csvSeconds > 0 ? lines / csvSeconds : 0.0);
        if (QByteArray(run) == "warm") {
            csvPart = csvSeconds;
            csvRate = csvSeconds > 0 ? lines / csvSeconds : 0.0;
        }
    }
    qputenv("PATH", path);

    // 2. "zip" alone on the same files.
    const QStringList files = QDir(out.path()).entryList({"*.csv"}, QDir::Files, QDir::Name);
    QProcess zip;
    zip.setWorkingDirectory(out.path());
    timer.restart();
    zip.start("zip", QStringList{"-r", "limit.zip"} + files);
    zip.waitForFinished(-1);
    const double zipSeconds = timer.elapsed() / 1000.0;
    std::printf("zip alone on the same %d files: %.2f s (exit code %d)\n", files.size(), zipSeconds, zip.exitCode());
    const QByteArray zipLimit = "zip alone " + QByteArray::number(zipSeconds, 'f', 2) + " s";
    Figure("export of 10 units x 24 h: CSV part", csvPart, "s", "< 5 s", zipLimit.constData());
    Figure("export of 10 units x 24 h: CSV lines per second", csvRate, "lines/s");
    for (const QString &name : QDir(out.path()).entryList(QDir::Files))
        QFile::remove(out.filePath(name));

    // 3. The whole export as the user runs it.
    timer.restart();
    const bool ok = dialog.ExportToCSV();
    const double total = timer.elapsed() / 1000.0;
    Figure("export of 10 units x 24 h: whole, with archives", total, "s");
    std::printf("whole export with archives: %.2f s (%s), archives: %s\n", total, ok ? "ok" : "failed",
                qPrintable(QDir(out.path()).entryList(QDir::Files).join(", ")));
    return ok ? 0 : 1;
}
