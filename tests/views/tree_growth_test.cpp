// The objects tree is built in time linear in the objects, whatever their nesting: many objects side
// by side and one long parent chain each take a bounded multiple of a small tree's time. Ratios only,
// each from the best of a few builds, so that a loaded machine does not decide the outcome.
#include <QElapsedTimer>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include "qcustomplot.h"
#include "server/db.h"
#include "stand_process.h"
#include "stand_sql.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

namespace {

constexpr int kSmall = 1000;
constexpr int kLarge = 10000;

// Objects numbered from `firstId`; in a chain each is the parent of the next.
QString Objects(int count, bool chain, int firstId) {
    QString sql = QStringLiteral("BEGIN;");
    for (int i = 0; i < count; ++i) {
        const int id = firstId + i;
        sql += QStringLiteral("INSERT INTO T_DEDUR_OBJ VALUES ('{d0000000-0000-0000-0000-%1}', %2, 'Объект %2', 3, "
                              "%3, 0, %4);")
                   .arg(id, 12, 10, QLatin1Char('0'))
                   .arg(id)
                   .arg(chain && i > 0 ? id - 1 : 0)
                   .arg(i);
    }
    return sql + QStringLiteral("COMMIT;");
}

} // namespace

class TreeGrowthTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void linear_data();
    void linear();

private:
    // Best of three builds of the tree the stand holds now, in ms (at least 1); the item count too.
    qint64 BuildMs(int *items);

    QTemporaryDir workDir;
    StandProcess stand;
    qint64 smallMs = 0;
    int smallItems = 0;
};

void TreeGrowthTest::initTestCase() {
    QVERIFY(QDir::setCurrent(workDir.path()));
    QVERIFY2(stand.Start({"--backfill-hours", "0", "--no-sim"}), qPrintable(stand.Error()));
    stand.Stop();
    QString error;
    QVERIFY2(RunSql(stand.DatabasePath(), Objects(kSmall, false, 100000), &error), qPrintable(error));
    QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
    smallMs = BuildMs(&smallItems);
    QVERIFY(smallItems > kSmall);
}

qint64 TreeGrowthTest::BuildMs(int *items) {
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
    qint64 best = -1;
    for (int i = 0; i < 3; ++i) {
        QElapsedTimer timer;
        timer.start();
        tree.ReadObjectsTree(true);
        const qint64 ms = std::max<qint64>(1, timer.elapsed());
        best = best < 0 ? ms : std::min(best, ms);
    }
    *items = 0;
    for (QTreeWidgetItemIterator it(&treeWidget); *it; ++it)
        ++*items;
    return best;
}

void TreeGrowthTest::linear_data() {
    QTest::addColumn<bool>("chain");
    QTest::newRow("side-by-side") << false;
    QTest::newRow("one-parent-chain") << true;
}

void TreeGrowthTest::linear() {
    QFETCH(bool, chain);
    stand.Stop();
    QString error;
    // Each row has the small tree plus its own objects.
    const QString sql = QStringLiteral("DELETE FROM T_DEDUR_OBJ WHERE DEDUR_OBJ_ID >= 300000;") +
                        Objects(kLarge - kSmall, chain, 300000);
    QVERIFY2(RunSql(stand.DatabasePath(), sql, &error), qPrintable(error));
    QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
    int items = 0;
    const qint64 ms = BuildMs(&items);
    QVERIFY(ms > 0);
    // Every object is in the tree, also at the end of a chain thousands deep.
    QVERIFY2(items >= smallItems + (kLarge - kSmall), qPrintable(QString::number(items)));
    // Ten times the objects: linear work takes about ten times as long, quadratic a hundred.
    const double ratio = double(ms) / double(smallMs);
    qInfo("%d objects in %lld ms, %d in %lld ms, ratio %.1f", smallItems, smallMs, items, ms, ratio);
    QVERIFY2(ratio < 40, qPrintable(QString::number(ratio)));
}

QTEST_MAIN(TreeGrowthTest)
#include "tree_growth_test.moc"
