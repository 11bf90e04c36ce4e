// Objects tree build time for 10,000 objects side by side and in one parent chain, and how many
// wrong passwords a guesser gets through in a few seconds. Run with QT_QPA_PLATFORM=offscreen.
#include "bench/figure.h"
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

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

} // namespace

int main(int argc, char **argv) {
    QApplication app(argc, argv);
    QTemporaryDir work;
    QDir::setCurrent(work.path());
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
