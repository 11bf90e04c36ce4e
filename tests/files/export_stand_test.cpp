#include "app/mainwindow.h"
#include "dialogs/dialog_export_csv.h"
#include "dialogs/dialog_login.h"
#include "stand_process.h"
#include "window_fixture.h"

#include "server/archive_measures_14.h"
#include "server/db.h"
#include "server/table_dedur_data_14.h"
#include "server/table_dedur_settings_14.h"
#include "views/objects_tree_widget.h"
#include "views/telemetry_plot_widget.h"
#include "views/telemetry_table_widget.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>
#include <QtTest>

#include <ctime>
#include <memory>
#include <qcustomplot.h>

using Units = QStringList;                   // "station short name/unit number"
using Archives = QMap<QString, QStringList>; // archive -> file names inside

class ExportStandTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void exportArchives_data();
    void exportArchives();
    void linesFollowArchive_data();
    void linesFollowArchive();
    void exportFromMainWindow();
    void zipFailureKeepsFiles_data();
    void zipFailureKeepsFiles();
    void exportReopenedFromZip_data();
    void exportReopenedFromZip();

private:
    QTreeWidgetItem *UnitItem(const QString &station, int number);
    void CheckUnits(const QStringList &units);
    QStringList ZipListing(const QString &archive);
    QString ZipContent(const QString &archive, const QString &file);

    StandProcess stand;
    DB db;
    QTemporaryDir work;
    QCustomPlot customPlot;
    QTableWidget tableWidget;
    std::unique_ptr<TelemetryTableWidget> table;
    std::unique_ptr<TelemetryPlotWidget> plot;
    std::unique_ptr<DialogExportCSV> dialog;
    std::unique_ptr<ObjectsTreeWidget> tree;
    std::unique_ptr<QTemporaryDir> out;
    QDateTime begin;
};

void ExportStandTest::initTestCase() {
    QVERIFY(work.isValid());
    QDir::setCurrent(work.path());
    QVERIFY2(stand.Start({"--no-sim", "--backfill-hours", "1", "--seed", "7", "--units", "3"}),
             qPrintable(stand.Error()));
    QVERIFY(db.OpenSession(stand.Address(), "engineer", "engineer"));
    QVERIFY(db.Connected());
    table = std::make_unique<TelemetryTableWidget>(&tableWidget);
    plot = std::make_unique<TelemetryPlotWidget>(&customPlot, &db, table.get(), false);
    // Well inside the backfilled hour, on a whole second.
    begin = QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch() - 1800);
}

void ExportStandTest::init() {
    dialog = std::make_unique<DialogExportCSV>();
    tree = std::make_unique<ObjectsTreeWidget>(dialog->GetTreeWidget(), &db, plot.get(), table.get());
    tree->ReadObjectsTree(false);
    out = std::make_unique<QTemporaryDir>();
    QVERIFY(out->isValid());
    dialog->SetDatabase(&db);
    dialog->SetPeriod(begin, begin.addSecs(59));
    dialog->findChild<QLineEdit *>("path")->setText(out->path() + "/");
}

void ExportStandTest::cleanup() {
    tree.reset();
    dialog.reset();
    out.reset();
}

QTreeWidgetItem *ExportStandTest::UnitItem(const QString &station, int number) {
    QTreeWidget *widget = dialog->GetTreeWidget();
    for (int i = 0; i < widget->topLevelItemCount(); ++i) {
        QTreeWidgetItem *top = widget->topLevelItem(i);
        if (!top->text(0).startsWith(station))
            continue;
        for (int c = 0; c < top->childCount(); ++c) {
            if (top->child(c)->text(0) == QString("Энергоблок №%1").arg(number))
                return top->child(c);
        }
    }
    return nullptr;
}

void ExportStandTest::CheckUnits(const QStringList &units) {
    for (const QString &unit : units) {
        const QStringList parts = unit.split('/');
        QTreeWidgetItem *item = UnitItem(parts[0], parts[1].toInt());
        QVERIFY2(item, qPrintable("no tree node for " + unit));
        item->setCheckState(0, Qt::Checked);
    }
}

QStringList ExportStandTest::ZipListing(const QString &archive) {
    QProcess unzip;
    unzip.start("unzip", {"-Z1", archive});
    if (!unzip.waitForFinished(30000) || unzip.exitCode() != 0)
        return {};
    QStringList names = QString::fromUtf8(unzip.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    names.sort();
    return names;
}

QString ExportStandTest::ZipContent(const QString &archive, const QString &file) {
    QProcess unzip;
    unzip.start("unzip", {"-p", archive, file});
    if (!unzip.waitForFinished(30000))
        return {};
    return QString::fromLocal8Bit(unzip.readAllStandardOutput());
}

void ExportStandTest::exportArchives_data() {
    QTest::addColumn<Units>("units");
    QTest::addColumn<bool>("trailingSlash");
    QTest::addColumn<Archives>("expected"); // names with B standing for the begin stamp

    QTest::newRow("one-unit") << Units{"ГРЭС-1/1"} << true << Archives{{"ГРЭС-1.B.zip", {"ГРЭС-1.01.B.csv"}}};
    QTest::newRow("folder-without-trailing-slash")
        << Units{"ГРЭС-1/2"} << false << Archives{{"ГРЭС-1.B.zip", {"ГРЭС-1.02.B.csv"}}};
    QTest::newRow("two-units-one-archive")
        << Units{"ТЭЦ-2/3", "ТЭЦ-2/1"} << true << Archives{{"ТЭЦ-2.B.zip", {"ТЭЦ-2.01.B.csv", "ТЭЦ-2.03.B.csv"}}};
    QTest::newRow("two-stations-two-archives")
        << Units{"ГРЭС-1/1", "ТЭЦ-2/2"} << true
        << Archives{{"ГРЭС-1.B.zip", {"ГРЭС-1.01.B.csv"}}, {"ТЭЦ-2.B.zip", {"ТЭЦ-2.02.B.csv"}}};
}

void ExportStandTest::exportArchives() {
    QFETCH(Units, units);
    QFETCH(bool, trailingSlash);
    QFETCH(Archives, expected);

    if (!trailingSlash)
        dialog->findChild<QLineEdit *>("path")->setText(out->path());
    CheckUnits(units);

    ModalDriver closer;
    dialog->findChild<QPushButton *>("pushButton_ok")->click();
    QCOMPARE(closer.Titles().join('|'), QString("Выгрузка завершена"));
    QCOMPARE(dialog->findChild<QProgressBar *>("progressBar")->value(), 0);

    const QString stamp = begin.toString("yyyyMMdd.hhmmss");
    QStringList expectedArchives;
    for (const QString &name : expected.keys())
        expectedArchives << QString(name).replace(".B.", "." + stamp + ".");
    expectedArchives.sort();
    // The CSV files went into the archives and are gone from the folder.
    QCOMPARE(QDir(out->path()).entryList(QDir::Files, QDir::Name), expectedArchives);

    for (auto it = expected.constBegin(); it != expected.constEnd(); ++it) {
        const QString archive = out->filePath(QString(it.key()).replace(".B.", "." + stamp + "."));
        QStringList files;
        for (const QString &f : it.value())
            files << QString(f).replace(".B.", "." + stamp + ".");
        files.sort();
        QCOMPARE(ZipListing(archive), files);
        for (const QString &f : files)
            QCOMPARE(ZipContent(archive, f).count('\n'), 60);
    }
}

void ExportStandTest::linesFollowArchive_data() {
    QTest::addColumn<QString>("unit");
    QTest::addColumn<int>("length");
    QTest::newRow("grES-unit-2-minute") << "ГРЭС-1/2" << 119;
    QTest::newRow("tets-unit-3-ten-seconds") << "ТЭЦ-2/3" << 9;
}

// Every line holds the values in force just before its second, read back from the server independently.
void ExportStandTest::linesFollowArchive() {
    QFETCH(QString, unit);
    QFETCH(int, length);
    const QDateTime end = begin.addSecs(length);
    dialog->SetPeriod(begin, end);
    CheckUnits({unit});
    QTreeWidgetItem *item = UnitItem(unit.section('/', 0, 0), unit.section('/', 1).toInt());
    const int objectId = item->data(TreeDataColumn, ObjectIdRole).toInt();
    const int typeId = item->data(TreeDataColumn, ObjectTypeRole).toInt();
    const int freqId = db.tableDedurData->GetObjectSettingDataValueInt(
        objectId, db.tableDedurSettings->GetSettingIdByName(typeId, "Freq"), nullptr);
    const int powerId = db.tableDedurData->GetObjectSettingDataValueInt(
        objectId, db.tableDedurSettings->GetSettingIdByName(typeId, "Power"), nullptr);
    QVERIFY(freqId > 0 && powerId > 0);

    ModalDriver closer;
    QVERIFY(dialog->ExportToCSV());
    const QString station = unit.section('/', 0, 0);
    const QString archive = out->filePath(DialogExportCSV::ArchiveName(station, begin));
    const QString file = DialogExportCSV::CsvFileName(station, unit.section('/', 1).toInt(), begin);
    const QStringList lines = ZipContent(archive, file).split('\n', Qt::SkipEmptyParts);

    MeasurePoint point;
    QVERIFY(db.archiveMeasures->ReadLastMeasure(freqId, begin, &point, false));
    const double startFreq = point.value;
    QVERIFY(db.archiveMeasures->ReadLastMeasure(powerId, begin, &point, false));
    const double startPower = point.value;
    const auto freq = db.archiveMeasures->ReadMeasuresVectorForPeriod(freqId, begin, end, false, -1);
    const auto power = db.archiveMeasures->ReadMeasuresVectorForPeriod(powerId, begin, end, false, -1);
    QVERIFY(!freq.isEmpty() && !power.isEmpty());

    auto inForce = [](const QMap<double, MeasurePoint> &series, double second, double start) {
        auto it = series.lowerBound(second); // first sample at or after the second
        return it == series.constBegin() ? start : std::prev(it).value().value;
    };
    auto lineExists = [&](qint64 second) {
        // Lines run while both series still had samples not taken by the previous second.
        const double floor = double(second - 1);
        return second == begin.toSecsSinceEpoch() || (freq.lastKey() >= floor && power.lastKey() >= floor);
    };
    int expectedCount = 0;
    for (qint64 s = begin.toSecsSinceEpoch(); s <= end.toSecsSinceEpoch() && lineExists(s); ++s)
        ++expectedCount;
    QCOMPARE(lines.size(), expectedCount);
    QVERIFY(expectedCount > length / 2);

    for (int i = 0; i < lines.size(); ++i) {
        const QStringList parts = lines[i].split(';');
        QCOMPARE(parts.size(), 3);
        const qint64 second = begin.toSecsSinceEpoch() + i;
        QCOMPARE(parts[0], QDateTime::fromSecsSinceEpoch(second, Qt::UTC).toString("dd.MM.yyyy hh:mm:ss"));
        QCOMPARE(parts[1], QString::number(inForce(freq, double(second), startFreq), 'g', 6));
        QCOMPARE(parts[2], QString::number(inForce(power, double(second), startPower), 'g', 6));
    }
}

// The user's road: the command opens the dialog over the window's period with the objects only.
void ExportStandTest::exportFromMainWindow() {
    WindowFixture fixture;
    ModalDriver &closer = fixture.driver;
    int step = 0;
    int topLevel = -1;
    bool onlyObjects = true;
    QDateTime dialogBegin, dialogEnd;
    // The login dialog of the start is turned down; the export dialog is asked again until the export is over.
    closer.Always("DialogExportCSV", [&](QDialog *modal) {
        auto *exportDialog = qobject_cast<DialogExportCSV *>(modal);
        if (step++ == 0) {
            QTreeWidget *widget = exportDialog->GetTreeWidget();
            topLevel = widget->topLevelItemCount();
            for (QTreeWidgetItemIterator it(widget); *it; ++it)
                onlyObjects = onlyObjects && (*it)->type() == ObjectItem;
            dialogBegin = exportDialog->GetBeginDate();
            dialogEnd = exportDialog->GetEndDate();
            exportDialog->findChild<QLineEdit *>("path")->setText(out->path());
            if (topLevel > 0 && widget->topLevelItem(0)->childCount() > 0)
                widget->topLevelItem(0)->child(0)->setCheckState(0, Qt::Checked);
            QTimer::singleShot(0, exportDialog->findChild<QPushButton *>("pushButton_ok"), &QPushButton::click);
        } else if (!closer.boxes.isEmpty()) {
            exportDialog->findChild<QPushButton *>("pushButton_cancel")->click();
            return true;
        }
        return false;
    });
    MainWindow *window = fixture.Start();
    QVERIFY(window->Login(stand.Address(), "operator", "operator"));
    const QDateTime windowEnd = window->GetPlotTimeEndSetting();
    fixture.Action("action_export_csv")->trigger();

    QCOMPARE(topLevel, 2);
    QVERIFY(onlyObjects);
    QCOMPARE(dialogEnd, windowEnd);
    QCOMPARE(dialogBegin, windowEnd.addSecs(-qint64(window->GetPlotTimeLengthSecondsSetting())));
    QCOMPARE(closer.Titles().join('|'), QString("Выгрузка завершена"));
    QCOMPARE(QDir(out->path()).entryList(QDir::Files),
             QStringList{DialogExportCSV::ArchiveName("ГРЭС-1", dialogBegin)});
}

void ExportStandTest::zipFailureKeepsFiles_data() {
    QTest::addColumn<QString>("obstacle");
    QTest::addColumn<QString>("title");
    QTest::newRow("archive-name-taken-by-a-folder") << "folder"
                                                    << "Ошибка ZIP";
    QTest::newRow("archive-name-taken-by-a-broken-file") << "garbage"
                                                         << "Ошибка ZIP";
    QTest::newRow("zip-not-on-search-path") << "no-zip"
                                            << "Ошибка";
}

void ExportStandTest::zipFailureKeepsFiles() {
    QFETCH(QString, obstacle);
    QFETCH(QString, title);
    const QString archive = DialogExportCSV::ArchiveName("ГРЭС-1", begin);
    const QString csv = DialogExportCSV::CsvFileName("ГРЭС-1", 3, begin);
    if (obstacle == "folder")
        QVERIFY(QDir(out->path()).mkdir(archive));
    if (obstacle == "garbage") {
        QFile broken(out->filePath(archive));
        QVERIFY(broken.open(QIODevice::WriteOnly));
        broken.write("this is not a zip archive");
    }
    const QByteArray path = qgetenv("PATH");
    QTemporaryDir emptyBin;
    if (obstacle == "no-zip")
        qputenv("PATH", emptyBin.path().toLocal8Bit());

    CheckUnits({"ГРЭС-1/3"});
    ModalDriver closer;
    const bool exported = dialog->ExportToCSV();
    qputenv("PATH", path);

    QVERIFY(!exported);
    QCOMPARE(closer.Titles().join('|'), title);
    QVERIFY(closer.Texts().first().contains(archive));
    QFile kept(out->filePath(csv));
    QVERIFY2(kept.exists(), "the exported CSV file was lost");
    QVERIFY(kept.open(QIODevice::ReadOnly));
    QCOMPARE(kept.readAll().count('\n'), 60);
}

void ExportStandTest::exportReopenedFromZip_data() {
    QTest::addColumn<QByteArray>("zone");
    QTest::newRow("utc") << QByteArray("UTC");
    // Regression: the reopened export used to read its UTC times as local time, five hours off here.
    QTest::newRow("utc-plus-five") << QByteArray("Asia/Yekaterinburg");
}

// An export opened again from its archive shows the samples at the seconds the archive gave them.
void ExportStandTest::exportReopenedFromZip() {
    QFETCH(QByteArray, zone);
    const QByteArray oldZone = qgetenv("TZ");
    // A local date-time keeps its wall clock across a zone change; take the same instant in the new zone.
    const qint64 seconds = begin.toSecsSinceEpoch();
    qputenv("TZ", zone);
    tzset();
    const QDateTime begin = QDateTime::fromSecsSinceEpoch(seconds);
    const int length = 29;
    dialog->SetPeriod(begin, begin.addSecs(length));
    CheckUnits({"ГРЭС-1/1", "ГРЭС-1/2"});
    {
        ModalDriver exportCloser;
        QVERIFY(dialog->ExportToCSV());
    }
    const QString archive = out->filePath(DialogExportCSV::ArchiveName("ГРЭС-1", begin));
    QVERIFY(QFile::exists(archive));

    {
        // The login dialog of the start is turned down; the file dialog gets the archive.
        WindowFixture fixture;
        ModalDriver &closer = fixture.driver;
        closer.Always("QFileDialog", ModalDriver::File(archive));
        fixture.Start();
        fixture.Action("action_open")->trigger();
        QCOMPARE(closer.boxes.size(), 0);
        QStringList names;
        QTreeWidget *tree = fixture.Child<QTreeWidget>("tree");
        for (QTreeWidgetItemIterator it(tree); *it; ++it) {
            if ((*it)->type() != CsvFreqItem)
                continue;
            const QString name = (*it)->parent()->text(0);
            names << name;
            auto *graph = ItemPointer<QCPGraph>(*it, GraphRole);
            QVERIFY(graph);
            QList<double> keys;
            for (auto p = graph->data()->constBegin(); p != graph->data()->constEnd(); ++p)
                keys << p->key;
            // The seconds of the archive's lines, read as the UTC they are written in.
            QList<double> expected;
            for (const QString &line : ZipContent(archive, name).split('\n', Qt::SkipEmptyParts)) {
                QDateTime time = QDateTime::fromString(line.section(';', 0, 0), "dd.MM.yyyy hh:mm:ss");
                time.setTimeSpec(Qt::UTC);
                expected << double(time.toSecsSinceEpoch());
            }
            QVERIFY(expected.size() >= length);
            QCOMPARE(expected.first(), double(begin.toSecsSinceEpoch()));
            QCOMPARE(keys, expected);
        }
        names.sort();
        QCOMPARE(names, (QStringList{DialogExportCSV::CsvFileName("ГРЭС-1", 1, begin),
                                     DialogExportCSV::CsvFileName("ГРЭС-1", 2, begin)}));
    }
    qputenv("TZ", oldZone);
    tzset();
}

int main(int argc, char *argv[]) {
    // The lines are written in UTC; with a UTC zone the period edits and the lines agree.
    qputenv("TZ", "UTC");
    QApplication app(argc, argv);
    CsvFile::RegisterMetaType();
    ExportStandTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "export_stand_test.moc"
