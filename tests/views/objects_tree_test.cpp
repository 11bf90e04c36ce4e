#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>
#include <sqlite3.h>

#include "qcustomplot.h"
#include "server/db.h"
#include "stand_process.h"
#include "stand_sql.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

namespace {

// The demo has two stations (ids 1 and 5) of three units each (2-4 and 6-8). The test reorders the
// units of station 1, takes the frequency away from unit 6 and adds objects caught in parent cycles
// and an object numbered 0 at the top, whose number is also that of "no parent".
const char *const Changes = R"(
UPDATE T_DEDUR_OBJ SET DEDUR_OBJ_ORDER = 10 WHERE DEDUR_OBJ_ID = 2;
UPDATE T_DEDUR_OBJ SET DEDUR_OBJ_ORDER = 2 WHERE DEDUR_OBJ_ID = 3;
UPDATE T_DEDUR_OBJ SET DEDUR_OBJ_ORDER = 1 WHERE DEDUR_OBJ_ID = 4;
UPDATE T_DEDUR_DATA SET DEDUR_DATA_VALUE = '0' WHERE DEDUR_DATA_OBJ = 6 AND DEDUR_DATA_SETTINGS = 11;
INSERT INTO T_DEDUR_OBJ VALUES ('{c0000000-0000-0000-0000-000000000020}', 20, 'Кольцо А', 3, 21, 0, 5);
INSERT INTO T_DEDUR_OBJ VALUES ('{c0000000-0000-0000-0000-000000000021}', 21, 'Кольцо Б', 3, 20, 0, 1);
INSERT INTO T_DEDUR_OBJ VALUES ('{c0000000-0000-0000-0000-000000000022}', 22, 'Под кольцом', 3, 20, 0, 2);
INSERT INTO T_DEDUR_OBJ VALUES ('{c0000000-0000-0000-0000-000000000023}', 23, 'Сам себе родитель', 3, 23, 0, 6);
INSERT INTO T_DEDUR_OBJ VALUES ('{c0000000-0000-0000-0000-000000000024}', 24, 'Без родителя', 3, 999, 0, 7);
INSERT INTO T_DEDUR_OBJ VALUES ('{c0000000-0000-0000-0000-000000000025}', 0, 'Объект с номером 0', 3, 0, 0, 8);
)";

QString KindName(int kind) {
    switch (kind) {
    case FreqItem:
        return QStringLiteral("f");
    case PowerItem:
        return QStringLiteral("p");
    case CalcPowerItem:
        return QStringLiteral("c");
    default:
        return QString();
    }
}

// "7" is object 7, "7f" / "7p" / "7c" its frequency / power / calculated power channel.
QTreeWidgetItem *Find(QTreeWidget *tree, const QString &name) {
    for (QTreeWidgetItemIterator it(tree); *it; ++it) {
        const QString id = (*it)->data(TreeDataColumn, ObjectIdRole).toString();
        if (id + KindName((*it)->type()) == name)
            return *it;
    }
    return nullptr;
}

} // namespace

class ObjectsTreeTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void init();
    void layout_data();
    void layout();
    void eachObjectOnce();
    void catalogueOrderIsTreeOrder();
    void checking_data();
    void checking();
    void title_data();
    void title();
    void shortTitle_data();
    void shortTitle();
    void rebuildKeepsFile();
    void realtimeStep();

private:
    QStringList Plotted() const;

    QTemporaryDir workDir;
    StandProcess stand;
    DB db;
    QTreeWidget treeWidget;
    QTableWidget tableWidget;
    QCustomPlot customPlot;
    TelemetryTableWidget *table = nullptr;
    TelemetryPlotWidget *plot = nullptr;
    ObjectsTreeWidget *tree = nullptr;
};

void ObjectsTreeTest::initTestCase() {
    QVERIFY(QDir::setCurrent(workDir.path()));
    const QStringList args{QStringLiteral("--backfill-hours"), QStringLiteral("1"), QStringLiteral("--seed"),
                           QStringLiteral("11")};
    QVERIFY2(stand.Start(args), qPrintable(stand.Error()));
    stand.Stop();
    QString error;
    QVERIFY2(RunSql(stand.DatabasePath(), QString::fromUtf8(Changes), &error), qPrintable(error));
    QVERIFY2(stand.Restart(), qPrintable(stand.Error()));
    QVERIFY(db.OpenSession(stand.Address(), QStringLiteral("operator"), QStringLiteral("operator")));

    treeWidget.setColumnCount(2);
    table = new TelemetryTableWidget(&tableWidget);
    plot = new TelemetryPlotWidget(&customPlot, &db, table, false);
    tree = new ObjectsTreeWidget(&treeWidget, &db, plot, table);
    plot->SetPloRealtimeMode(true, QDateTime::currentDateTime(), 600);
}

void ObjectsTreeTest::cleanupTestCase() {
    delete tree;
    delete plot;
    delete table;
}

void ObjectsTreeTest::init() {
    tree->ReadObjectsTree(true);
    plot->DeleteDefferedGraphs();
}

QStringList ObjectsTreeTest::Plotted() const {
    QStringList names;
    for (QTreeWidgetItem *item : plot->PlottedItems())
        names << item->data(TreeDataColumn, ObjectIdRole).toString() + KindName(item->type());
    names.sort();
    return names;
}

void ObjectsTreeTest::layout_data() {
    QTest::addColumn<QString>("parent");
    QTest::addColumn<QStringList>("children");

    QTest::newRow("top-level-by-order") << QString()
                                        << QStringList{"ГРЭС-1 «Заречная»", "ТЭЦ-2 «Северная»",   "Кольцо А",
                                                       "Сам себе родитель", "Объект с номером 0", "Без родителя"};
    QTest::newRow("orders-1-2-10") << "1"
                                   << QStringList{"Частота, Гц", "Мощность, МВт", "Энергоблок №3", "Энергоблок №2",
                                                  "Энергоблок №1"};
    QTest::newRow("unit-channels") << "7" << QStringList{"Частота, Гц", "Мощность, МВт", "Расч. мощ., МВт"};
    QTest::newRow("frequency-id-0-no-channel") << "6" << QStringList{"Мощность, МВт", "Расч. мощ., МВт"};
    QTest::newRow("cycle-not-followed") << "20" << QStringList{"Кольцо Б", "Под кольцом"};
    QTest::newRow("cycle-member-no-children") << "21" << QStringList{};
    QTest::newRow("own-parent-no-children") << "23" << QStringList{};
    QTest::newRow("orphan-shown-apart") << "24" << QStringList{};
    QTest::newRow("object-0-no-children") << "0" << QStringList{};
}

void ObjectsTreeTest::layout() {
    QFETCH(QString, parent);
    QFETCH(QStringList, children);

    QStringList texts;
    if (parent.isEmpty()) {
        for (int i = 0; i < treeWidget.topLevelItemCount(); ++i)
            texts << treeWidget.topLevelItem(i)->text(0);
    } else {
        QTreeWidgetItem *node = Find(&treeWidget, parent);
        QVERIFY(node);
        for (int i = 0; i < node->childCount(); ++i)
            texts << node->child(i)->text(0);
    }
    QCOMPARE(texts, children);
}

// Every reader of the hierarchy meets the objects in the order the tree shows them level by level,
// and the stations with the units the tree has below them.
void ObjectsTreeTest::catalogueOrderIsTreeOrder() {
    QVector<int> shown;
    QVector<const QTreeWidgetItem *> queue;
    for (int i = 0; i < treeWidget.topLevelItemCount(); ++i)
        queue.append(treeWidget.topLevelItem(i));
    for (int i = 0; i < queue.size(); ++i) {
        for (int c = 0; c < queue[i]->childCount(); ++c)
            queue.append(queue[i]->child(c));
        if (queue[i]->type() == ObjectItem)
            shown.append(queue[i]->data(TreeDataColumn, ObjectIdRole).toInt());
    }
    const ObjectCatalog &catalog = tree->Catalog();
    QCOMPARE(catalog.ShownOrder(), shown);
    const QVector<StationChannels> stations = catalog.Stations();
    QCOMPARE(stations.size(), 2);
    QCOMPARE(stations[0].objectId, 1);
    QCOMPARE(stations[0].units.size(), 3);
    QCOMPARE(stations[0].units[0].name, QStringLiteral("Энергоблок №3"));
    QCOMPARE(stations[0].frequencyId, Find(&treeWidget, "1f")->data(TreeDataColumn, MeasureIdRole).toInt());
    QCOMPARE(stations[0].units[0].powerId, Find(&treeWidget, "4p")->data(TreeDataColumn, MeasureIdRole).toInt());
    QCOMPARE(stations[0].units[0].calcId, Find(&treeWidget, "4c")->data(TreeDataColumn, MeasureIdRole).toInt());
    QVERIFY(catalog.Find(4)->passport.contains(QStringLiteral("GeneratingEquipmentNumber")));
}

void ObjectsTreeTest::eachObjectOnce() {
    QMap<int, int> seen;
    for (QTreeWidgetItemIterator it(&treeWidget); *it; ++it) {
        if ((*it)->type() == ObjectItem)
            ++seen[(*it)->data(TreeDataColumn, ObjectIdRole).toInt()];
    }
    for (int id : {0, 1, 2, 3, 4, 5, 6, 7, 8, 20, 21, 22, 23, 24})
        QCOMPARE(seen.value(id), 1);
    // The orphan hangs under the node apart instead of vanishing.
    QCOMPARE(tree->DuplicateIds(), 0);
    QTreeWidgetItem *orphan = Find(&treeWidget, QStringLiteral("24"));
    QVERIFY(orphan && orphan->parent());
    QCOMPARE(orphan->parent()->text(0), QStringLiteral("Без родителя"));
    QVERIFY(!orphan->parent()->parent());
    QCOMPARE(Find(&treeWidget, QStringLiteral("3"))->text(TreeDataColumn), QStringLiteral("000000002"));
}

void ObjectsTreeTest::checking_data() {
    // Steps: "all", "none", "+X" checks and "-X" unchecks node X, each followed by ItemChanged.
    QTest::addColumn<QStringList>("steps");
    QTest::addColumn<QStringList>("plotted");
    QTest::addColumn<QStringList>("stillChecked");

    QTest::newRow("channel-under-unchecked-object") << QStringList{"none", "+7f"} << QStringList{} << QStringList{"7f"};
    QTest::newRow("object-checked-afterwards")
        << QStringList{"none", "+7f", "+7", "+5"} << QStringList{"7f"} << QStringList{"7f"};
    QTest::newRow("parent-left-unchecked") << QStringList{"none", "+7f", "+7"} << QStringList{} << QStringList{};
    QTest::newRow("unchecking-top-keeps-marks")
        << QStringList{"all", "-5"} << QStringList{"1f", "1p", "2c", "2f", "2p", "3c", "3f", "3p", "4c", "4f", "4p"}
        << QStringList{"6p", "7f", "8c"};
    QTest::newRow("top-checked-again-brings-back")
        << QStringList{"all", "-5", "+5", "-7"} << QStringList{"1f", "1p", "2c", "2f", "2p", "3c", "3f", "3p", "4c",
                                                               "4f", "4p", "5f", "5p", "6c", "6p", "8c", "8f", "8p"}
        << QStringList{"7f", "7c"};
    QTest::newRow("uncheck-top-nodes") << QStringList{"all", "top"} << QStringList{} << QStringList{"2f", "8p"};
}

void ObjectsTreeTest::checking() {
    QFETCH(QStringList, steps);
    QFETCH(QStringList, plotted);
    QFETCH(QStringList, stillChecked);

    for (const QString &step : steps) {
        if (step == QLatin1String("all")) {
            tree->CheckAll();
        } else if (step == QLatin1String("none")) {
            tree->CheckNone();
        } else if (step == QLatin1String("top")) {
            tree->UncheckTopNodes();
        } else {
            QTreeWidgetItem *node = Find(&treeWidget, step.mid(1));
            QVERIFY2(node, qPrintable(step));
            node->setCheckState(0, step.startsWith(QLatin1Char('+')) ? Qt::Checked : Qt::Unchecked);
            tree->ItemChanged(node);
        }
    }
    QCOMPARE(Plotted(), plotted);
    // Only drawn channels have a table column, one each.
    QCOMPARE(tableWidget.columnCount(), plotted.size());
    for (const QString &name : stillChecked)
        QCOMPARE(Find(&treeWidget, name)->checkState(0), Qt::Checked);
    // Drawn archive channels got samples from the stand.
    for (QTreeWidgetItem *item : plot->PlottedItems())
        QVERIFY(!ItemPointer<QCPGraph>(item, GraphRole)->data()->isEmpty());
    QVERIFY(!treeWidget.signalsBlocked());
}

void ObjectsTreeTest::title_data() {
    QTest::addColumn<QStringList>("checked");
    QTest::addColumn<QString>("title");
    QTest::newRow("nothing") << QStringList{} << QStringLiteral("Объект не выбран");
    QTest::newRow("one-station") << QStringList{"5"} << QStringLiteral("ТЭЦ-2 «Северная»");
    QTest::newRow("station-and-unit") << QStringList{"5", "6"} << QStringLiteral("ТЭЦ-2 «Северная» / Энергоблок №1");
    QTest::newRow("below-unchecked-not-listed") << QStringList{"6", "6p"} << QStringLiteral("Объект не выбран");
}

void ObjectsTreeTest::title() {
    QFETCH(QStringList, checked);
    QFETCH(QString, title);
    tree->CheckNone();
    for (const QString &name : checked)
        Find(&treeWidget, name)->setCheckState(0, Qt::Checked);
    QCOMPARE(tree->GetSelectedItemsTitle(nullptr, QStringLiteral(" / ")), title);
}

void ObjectsTreeTest::shortTitle_data() {
    QTest::addColumn<int>("length");
    QTest::addColumn<int>("shown");
    QTest::newRow("exactly-50-whole") << 50 << 50;
    QTest::newRow("51-cut") << 51 << 53;
    QTest::newRow("short") << 3 << 3;
}

void ObjectsTreeTest::shortTitle() {
    QFETCH(int, length);
    QFETCH(int, shown);
    const QString title = QString(length, QChar(0x0416));
    const QString result = ObjectsTreeWidget::ShortTitle(title);
    QCOMPARE(result.size(), shown);
    QVERIFY(result.startsWith(title.left(50)));
    QCOMPARE(result.endsWith(QLatin1String("...")), length > 50);
}

void ObjectsTreeTest::rebuildKeepsFile() {
    tree->CheckAll();
    const QDateTime t0 = QDateTime::currentDateTime().addSecs(-100);
    const QVector<CsvFile::CsvRow> rows{{t0, 50.01, 10}, {t0.addSecs(1), 50.02, 11}};
    const QVector<QTreeWidgetItem *> added =
        tree->AddCSVFileTreeNodes(QStringLiteral("/somewhere/file.csv"), nullptr, rows);
    QCOMPARE(added.size(), 1);
    QTreeWidgetItem *file = added.first();
    QCOMPARE(file->text(0), QStringLiteral("file.csv"));
    QCOMPARE(file->childCount(), 2);

    tree->ReadObjectsTree(true);
    plot->DeleteDefferedGraphs();

    QCOMPARE(treeWidget.topLevelItem(treeWidget.topLevelItemCount() - 1), file);
    QCOMPARE(file->checkState(0), Qt::Checked);
    for (int i = 0; i < file->childCount(); ++i) {
        auto *graph = ItemPointer<QCPGraph>(file->child(i), GraphRole);
        QVERIFY(graph);
        QVERIFY(graph->visible());
        QCOMPARE(graph->dataCount(), 2);
    }
    // Rebuilt objects come back unchecked, and nothing plotted lies outside the tree.
    QCOMPARE(Find(&treeWidget, QStringLiteral("1"))->checkState(0), Qt::Unchecked);
    QCOMPARE(plot->PlottedItems().size(), 2);
    for (QTreeWidgetItem *item : plot->PlottedItems())
        QCOMPARE(item->parent(), file);
    QCOMPARE(customPlot.graphCount(), 2);

    // Closing the file takes its graphs away too.
    QVector<QTreeWidgetItem *> closing = tree->CollectChildrenItems(file);
    closing << file;
    for (QTreeWidgetItem *node : closing)
        QVERIFY(tree->DeleteTreeObject(node));
    plot->DeleteDefferedGraphs();
    QCOMPARE(customPlot.graphCount(), 0);
    QVERIFY(plot->PlottedItems().isEmpty());
    tree->DisposeDetached();
}

void ObjectsTreeTest::realtimeStep() {
    tree->CheckNone();
    QTreeWidgetItem *unit = Find(&treeWidget, QStringLiteral("2"));
    QTreeWidgetItem *station = Find(&treeWidget, QStringLiteral("1"));
    QTreeWidgetItem *channel = Find(&treeWidget, QStringLiteral("2p"));
    for (QTreeWidgetItem *node : {station, unit, channel})
        node->setCheckState(0, Qt::Checked);
    tree->ItemChanged(channel);
    auto *graph = ItemPointer<QCPGraph>(channel, GraphRole);
    QVERIFY(graph);
    QVERIFY(graph->dataCount() > 10);

    auto keys = [graph]() {
        QVector<double> k;
        for (auto it = graph->data()->constBegin(); it != graph->data()->constEnd(); ++it)
            k << it->key;
        return k;
    };
    const QVector<double> before = keys();
    const double lastSample = before[before.size() - 2];
    const int archiveId = channel->data(TreeDataColumn, MeasureIdRole).toInt();
    // Wait for the stand to write a newer sample.
    QTRY_VERIFY_WITH_TIMEOUT(
        db.archiveMeasures
                ->ReadMeasuresVectorForPeriod(archiveId, QDateTime::fromSecsSinceEpoch(qint64(lastSample) + 1),
                                              QDateTime::currentDateTime().addSecs(5), false, -1)
                .size() > 0,
        10000);

    for (int step = 0; step < 3; ++step) {
        plot->DrawRealtimePlots();
        const QVector<double> after = keys();
        // Old samples stay as they were, nothing is drawn twice, one hold point ends the line.
        for (int i = 0; i + 1 < before.size(); ++i)
            QCOMPARE(after[i], before[i]);
        for (int i = 1; i < after.size(); ++i)
            QVERIFY2(after[i] > after[i - 1], qPrintable(QString::number(after[i], 'f', 3)));
        QVERIFY(after.size() >= before.size() + 1 || step > 0);
        const double hold = after.last();
        QVERIFY(qAbs(hold - QDateTime::currentMSecsSinceEpoch() / 1000.0) < 2);
        auto last = graph->data()->constEnd() - 1;
        QCOMPARE(last->value, (last - 1)->value);
    }
    auto *tag = ItemPointer<AxisTag>(channel, ValueTagRole);
    QVERIFY(tag);
    QVERIFY(plot->CurrentTimeLine());
    QCOMPARE(plot->CurrentTimeLine()->pen().color(), QColor(Qt::red));
}

QTEST_MAIN(ObjectsTreeTest)
#include "objects_tree_test.moc"
