#include "dialogs/dialog_export_csv.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

// A zone with an offset, so that writing local instead of UTC times shows.
static const char kZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";

using Samples = QVector<QPointF>; // x: seconds after begin, y: value

class ExportFormatTest : public QObject {
    Q_OBJECT

private slots:
    void lines_data();
    void lines();
    void names_data();
    void names();
    void checkBoxes_data();
    void checkBoxes();
    void zipTakesNamesAsFiles_data();
    void zipTakesNamesAsFiles();
};

static QMap<double, MeasurePoint> Series(const QDateTime &begin, const Samples &samples) {
    QMap<double, MeasurePoint> series;
    for (const QPointF &s : samples) {
        const double t = double(begin.toSecsSinceEpoch()) + s.x();
        series.insert(t, MeasurePoint{t, s.y(), 0});
    }
    return series;
}

void ExportFormatTest::lines_data() {
    QTest::addColumn<QDateTime>("begin");
    QTest::addColumn<int>("length");
    QTest::addColumn<double>("startFreq");
    QTest::addColumn<double>("startPower");
    QTest::addColumn<Samples>("freq");
    QTest::addColumn<Samples>("power");
    QTest::addColumn<QString>("expected");

    const QDateTime tenUtc(QDate(2024, 3, 5), QTime(10, 0, 0), Qt::UTC);
    QTest::newRow("utc-example-frequency-used-up")
        << tenUtc << 3 << 49.99 << 100.0 << Samples{{1.2, 50.01}} << Samples{{0, 101}, {2, 102}}
        << "05.03.2024 10:00:00;49.99;100\n"
           "05.03.2024 10:00:01;49.99;101\n"
           "05.03.2024 10:00:02;50.01;101\n";
    QTest::newRow("local-begin-written-in-utc")
        << QDateTime(QDate(2024, 3, 5), QTime(11, 0, 0), Qt::LocalTime) << 3 << 49.99 << 100.0 << Samples{{1.2, 50.01}}
        << Samples{{0, 101}, {2, 102}}
        << "05.03.2024 10:00:00;49.99;100\n"
           "05.03.2024 10:00:01;49.99;101\n"
           "05.03.2024 10:00:02;50.01;101\n";
    QTest::newRow("end-second-included") << tenUtc << 1 << 50.0 << 1.0 << Samples{{0.5, 50.1}, {5, 50.2}}
                                         << Samples{{0.5, 2}, {5, 3}}
                                         << "05.03.2024 10:00:00;50;1\n"
                                            "05.03.2024 10:00:01;50.1;2\n";
    QTest::newRow("no-power-samples-empty-file")
        << tenUtc << 10 << 50.0 << 1.0 << Samples{{1, 50.1}} << Samples{} << QString();
    QTest::newRow("end-before-begin-empty-file")
        << tenUtc << -5 << 50.0 << 1.0 << Samples{{1, 50.1}} << Samples{{1, 2}} << QString();
    QTest::newRow("midnight-changes-date") << QDateTime(QDate(2024, 12, 31), QTime(23, 59, 59), Qt::UTC) << 2 << 50.0
                                           << 7.0 << Samples{{0.1, 50.01}, {1.1, 50.02}, {9, 0}} << Samples{{9, 0}}
                                           << "31.12.2024 23:59:59;50;7\n"
                                              "01.01.2025 00:00:00;50.01;7\n"
                                              "01.01.2025 00:00:01;50.02;7\n";
    QTest::newRow("six-significant-digits")
        << tenUtc << 1 << 50.0123456 << 1234567.0 << Samples{{0.5, -0.000123456789}} << Samples{{0.5, 0}, {1, 1}}
        << "05.03.2024 10:00:00;50.0123;1.23457e+06\n"
           "05.03.2024 10:00:01;-0.000123457;0\n";
}

void ExportFormatTest::lines() {
    QFETCH(QDateTime, begin);
    QFETCH(int, length);
    QFETCH(double, startFreq);
    QFETCH(double, startPower);
    QFETCH(Samples, freq);
    QFETCH(Samples, power);
    QFETCH(QString, expected);
    const QString text = DialogExportCSV::BuildCsvText(begin, begin.addSecs(length), startFreq, startPower,
                                                       Series(begin, freq), Series(begin, power));
    QCOMPARE(text, expected);
}

void ExportFormatTest::names_data() {
    QTest::addColumn<QString>("station");
    QTest::addColumn<int>("equipment");
    QTest::addColumn<QDateTime>("begin");
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("archive");
    const QDateTime begin(QDate(2024, 3, 5), QTime(14, 0, 0), Qt::LocalTime);
    QTest::newRow("one-digit-gets-leading-zero") << "ГЭС-1" << 3 << begin << "ГЭС-1.03.20240305.140000.csv"
                                                 << "ГЭС-1.20240305.140000.zip";
    QTest::newRow("three-digits-kept") << "ГЭС-1" << 123 << begin << "ГЭС-1.123.20240305.140000.csv"
                                       << "ГЭС-1.20240305.140000.zip";
    QTest::newRow("begin-in-local-time") << "ТЭЦ-2" << 12 << QDateTime(QDate(2024, 7, 1), QTime(0, 5, 9), Qt::LocalTime)
                                         << "ТЭЦ-2.12.20240701.000509.csv"
                                         << "ТЭЦ-2.20240701.000509.zip";
}

void ExportFormatTest::names() {
    QFETCH(QString, station);
    QFETCH(int, equipment);
    QFETCH(QDateTime, begin);
    QFETCH(QString, file);
    QFETCH(QString, archive);
    QCOMPARE(DialogExportCSV::CsvFileName(station, equipment, begin), file);
    QCOMPARE(DialogExportCSV::ArchiveName(station, begin), archive);
}

// Tree: a(a1, a2(a21, a22)), b. States are listed in that pre-order: u unchecked, c checked, p partial.
static QString States(QTreeWidget *tree) {
    QString s;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        s += "ucp"[(*it)->checkState(0) == Qt::Unchecked ? 0 : (*it)->checkState(0) == Qt::Checked ? 1 : 2];
    return s;
}

void ExportFormatTest::checkBoxes_data() {
    QTest::addColumn<QString>("initial");
    QTest::addColumn<QString>("changed"); // item name
    QTest::addColumn<int>("state");
    QTest::addColumn<QString>("expected");
    QTest::newRow("check-top-checks-subtree") << "uuuuuu"
                                              << "a" << int(Qt::Checked) << "cccccu";
    QTest::newRow("uncheck-top-clears-subtree") << "cccccc"
                                                << "a" << int(Qt::Unchecked) << "uuuuuc";
    QTest::newRow("uncheck-leaf-makes-ancestors-partial") << "cccccc"
                                                          << "a21" << int(Qt::Unchecked) << "pcpucc";
    QTest::newRow("last-sibling-checked-completes-parent") << "ucpcuu"
                                                           << "a22" << int(Qt::Checked) << "cccccu";
    QTest::newRow("ancestor-judged-by-direct-children") << "uuccuu"
                                                        << "a1" << int(Qt::Checked) << "ccccuu";
}

void ExportFormatTest::checkBoxes() {
    QFETCH(QString, initial);
    QFETCH(QString, changed);
    QFETCH(int, state);
    QFETCH(QString, expected);

    DialogExportCSV dialog;
    QTreeWidget *tree = dialog.GetTreeWidget();
    QMap<QString, QTreeWidgetItem *> items;
    auto make = [&](QTreeWidgetItem *parent, const QString &name) {
        auto *item = parent ? new QTreeWidgetItem(parent, {name}) : new QTreeWidgetItem(tree, {name});
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        items[name] = item;
        return item;
    };
    {
        const QSignalBlocker blocker(tree);
        QTreeWidgetItem *a = make(nullptr, "a");
        make(a, "a1");
        QTreeWidgetItem *a2 = make(a, "a2");
        make(a2, "a21");
        make(a2, "a22");
        make(nullptr, "b");
        int i = 0;
        for (QTreeWidgetItemIterator it(tree); *it; ++it, ++i) {
            const QChar c = initial.at(i);
            (*it)->setCheckState(0, c == 'c' ? Qt::Checked : c == 'p' ? Qt::PartiallyChecked : Qt::Unchecked);
        }
    }
    items[changed]->setCheckState(0, Qt::CheckState(state));
    QCOMPARE(States(tree), expected);
}

void ExportFormatTest::zipTakesNamesAsFiles_data() {
    QTest::addColumn<QString>("station");
    QTest::newRow("plain") << QStringLiteral("ГРЭС-1");
    // Regression: a station named like an option made "zip" read its archive name as one.
    QTest::newRow("leading-dash") << QStringLiteral("-T");
    QTest::newRow("leading-double-dash") << QStringLiteral("--help");
}

void ExportFormatTest::zipTakesNamesAsFiles() {
    QFETCH(QString, station);
    if (QStandardPaths::findExecutable(QStringLiteral("zip")).isEmpty())
        QSKIP("zip is not on the search path");
    QTemporaryDir folder;
    const QDateTime begin(QDate(2024, 3, 5), QTime(14, 0));
    const QString csv = DialogExportCSV::CsvFileName(station, 3, begin);
    QFile file(folder.filePath(csv));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("05.03.2024 14:00:00;50,000;100\n");
    file.close();
    const QString archive = DialogExportCSV::ArchiveName(station, begin);

    QProcess zip;
    zip.setWorkingDirectory(folder.path());
    zip.start(QStringLiteral("zip"), DialogExportCSV::ZipArguments(archive, {csv}));
    QVERIFY(zip.waitForFinished(30000));
    QCOMPARE(zip.exitCode(), 0);
    QVERIFY2(QFileInfo(folder.filePath(archive)).isFile(), qPrintable(archive));

    QProcess list;
    list.setWorkingDirectory(folder.path());
    list.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), DialogExportCSV::ZipArguments(archive, {}).at(1)});
    QVERIFY(list.waitForFinished(30000));
    QCOMPARE(QString::fromUtf8(list.readAllStandardOutput()).trimmed(), csv);
}

int main(int argc, char *argv[]) {
    qputenv("TZ", kZone);
    QApplication app(argc, argv);
    ExportFormatTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "export_format_test.moc"
