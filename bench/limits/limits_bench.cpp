// Objects tree build time for 10,000 objects side by side and in one parent chain, how many wrong
// passwords a guesser gets through in a few seconds, and a 200 MB CSV file read with its peak
// memory. Run with QT_QPA_PLATFORM=offscreen.
#include "bench/figure.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include "csv/csvfile.h"
#include "qcustomplot.h"
#include "server/db.h"
#include "stand_client.h"
#include "stand_process.h"
#include "stand_sql.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

namespace {

QString Objects(int count, bool chain, int firstId) {
    QString sql = QStringLiteral("BEGIN;");
    for (int i = 0; i < count; ++i) {
        const int id = firstId + i;
        const int parent = chain && i > 0 ? id - 1 : 0;
        sql += QStringLiteral("INSERT INTO T_DEDUR_OBJ VALUES ('{b0000000-0000-0000-0000-%1}', %2, 'Объект %2', 3, "
                              "%3, 0, %4);")
                   .arg(id, 12, 10, QLatin1Char('0'))
                   .arg(id)
                   .arg(parent)
                   .arg(i);
    }
    return sql + QStringLiteral("COMMIT;");
}

double TreeMs(const QString &sql) {
    StandProcess stand;
    if (!stand.Start({"--backfill-hours", "0", "--no-sim"}))
        return -1;
    stand.Stop();
    QString error;
    if (!RunSql(stand.DatabasePath(), sql, &error) || !stand.Restart())
        return -1;
    DB db;
    if (!db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")))
        return -1;
    QTreeWidget treeWidget;
    treeWidget.setColumnCount(2);
    QTableWidget tableWidget;
    QCustomPlot customPlot;
    TelemetryTableWidget table(&tableWidget);
    TelemetryPlotWidget plot(&customPlot, &db, &table, false);
    ObjectsTreeWidget tree(&treeWidget, &db, &plot, &table);
    QElapsedTimer timer;
    timer.start();
    tree.ReadObjectsTree(true);
    return timer.elapsed();
}

// Peak resident memory of this process so far, in MiB.
double PeakMiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024;
    return -1;
}

// A day at one second repeated to 200 MB, read as File > Open reads it.
void CsvFigures(const QTemporaryDir &work) {
    const QString path = work.filePath(QStringLiteral("big.csv"));
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly))
            return;
        QByteArray day;
        const QDateTime start(QDate(2024, 3, 5), QTime(0, 0), Qt::UTC);
        for (int i = 0; i < 86400; ++i)
            day += start.addSecs(i).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")).toLatin1() + ";50.012;123.5\n";
        while (file.size() < (qint64(200) << 20))
            file.write(day);
    }
    const double before = PeakMiB();
    QElapsedTimer timer;
    timer.start();
    CsvFile::LoadReport report;
    int progressCalls = 0;
    const QVector<CsvFile::CsvRow> rows = CsvFile::LoadFile(path, Qt::LocalTime, &report, [&](qint64, qint64) {
        ++progressCalls;
        return true;
    });
    const double ms = timer.elapsed();
    Figure("csv_200mb_open_ms", ms, "ms");
    Figure("csv_200mb_rows", rows.size(), "");
    Figure("csv_200mb_peak_memory_growth_mib", PeakMiB() - before, "MiB");
    Figure("csv_200mb_progress_updates", progressCalls, "");
    QFile::remove(path);
}

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
    CsvFigures(work);
    Figure("tree_100_flat_ms", TreeMs(Objects(100, false, 100000)), "ms");
    Figure("tree_10000_flat_ms", TreeMs(Objects(10000, false, 100000)), "ms");
    Figure("tree_10000_chain_ms", TreeMs(Objects(10000, true, 100000)), "ms");

    StandProcess stand;
    if (!stand.Start({"--backfill-hours", "0", "--no-sim"}))
        return 1;
    QElapsedTimer timer;
    timer.start();
    int guesses = 0;
    while (timer.elapsed() < 8000) {
        StandClient guesser;
        guesser.Open(stand.Port(), "operator", QByteArray("guess") + QByteArray::number(guesses));
        ++guesses;
    }
    Figure("guesses_per_second_one_user", guesses * 1000.0 / timer.elapsed(), "1/s");
    timer.restart();
    StandClient other;
    const int status = other.Open(stand.Port(), "engineer", "engineer");
    Figure("other_user_login_during_guessing_ms", status == 0 ? double(timer.elapsed()) : -1, "ms");
    return 0;
}
