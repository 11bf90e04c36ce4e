#include <QDir>
#include <QImage>
#include <QPainter>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include "analysis/episode_detector.h"
#include "analysis/episode_report.h"
#include "char_device.h"
#include "synthetic_station.h"

namespace {

// A station of three units over an hour with four excursions: one unit too slow, one without calculated power.
StationSeries Station(QVector<Episode> *episodes) {
    SyntheticStation s;
    s.seconds = 3600;
    s.steps = {{300, 90, -0.2}, {1200, 40, 0.15}, {2000, 200, -0.12}, {3000, 60, -0.25}};
    s.units = {SyntheticUnit(), SyntheticUnit{330, 6, 2.5, 20, 250, true}, SyntheticUnit{120, 5, 1, 6, 80, false}};
    StationSeries station = s.Make();
    station.name = QStringLiteral("ГРЭС-1 «Заречная»; главный корпус");
    station.units[0].name = QStringLiteral("Энергоблок №1");
    *episodes = EpisodeDetector(EpisodeSettings()).Detect(station, false);
    return station;
}

int PdfPages(const QString &path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray bytes = file.readAll();
    return bytes.count("/Type /Page\n") + bytes.count("/Type /Page ") + bytes.count("/Type /Page/") +
           bytes.count("/Type /Page>");
}

} // namespace

class EpisodeReportTest : public QObject {
    Q_OBJECT

private slots:
    void csvLines();
    void pdfPages();
    void unitSummary_data();
    void unitSummary();
    void writeFailures_data();
    void writeFailures();
    void writeTargets_data();
    void writeTargets();
};

void EpisodeReportTest::csvLines() {
    QVector<Episode> episodes;
    const StationSeries station = Station(&episodes);
    QCOMPARE(episodes.size(), 4);
    const EpisodeReport report(episodes, {station}, ReportInfo(), EpisodeSettings());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("отчёт.csv"));
    QString error;
    QVERIFY2(report.WriteCsv(path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 4 * 3);
    QCOMPARE(lines[0], EpisodeReport::CsvHeader().join(QLatin1Char(';')));
    const int verdictColumn = EpisodeReport::CsvHeader().indexOf(QStringLiteral("Итог"));
    // The station's name holds the separator: quoted, the columns stay in place.
    QVERIFY(lines[1].startsWith(QStringLiteral("\"ГРЭС-1 «Заречная»; главный корпус\";")));
    const QString unquoted = QString(lines[1]).replace(QStringLiteral("; главный"), QStringLiteral(" главный"));
    QStringList fields = unquoted.split(QLatin1Char(';'));
    QCOMPARE(fields.size(), EpisodeReport::CsvHeader().size());
    QCOMPARE(fields[8], QStringLiteral("Энергоблок №1"));
    QCOMPARE(fields[verdictColumn], QStringLiteral("выполнено"));
    fields = QString(lines[2]).replace(QStringLiteral("; главный"), QStringLiteral(" главный")).split(QLatin1Char(';'));
    QCOMPARE(fields[verdictColumn], QStringLiteral("не выполнено"));
    fields = QString(lines[3]).replace(QStringLiteral("; главный"), QStringLiteral(" главный")).split(QLatin1Char(';'));
    QCOMPARE(fields[verdictColumn], QStringLiteral("недостаточно данных"));
    QCOMPARE(fields[10], QStringLiteral("нет данных"));
}

void EpisodeReportTest::unitSummary_data() {
    // Per unit of the station above: episodes judged, met, not met, no data, and the median share at 30 s.
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("judged");
    QTest::addColumn<int>("met");
    QTest::addColumn<int>("notMet");
    QTest::addColumn<int>("noData");
    QTest::addColumn<QString>("commonReason");
    QTest::newRow("sound") << 0 << 4 << 4 << 0 << 0 << "";
    QTest::newRow("slow") << 1 << 4 << 0 << 4 << 0 << "через 15 с меньше 50 %";
    QTest::newRow("no-calc") << 2 << 0 << 0 << 0 << 4 << "";
}

void EpisodeReportTest::unitSummary() {
    QFETCH(int, unit);
    QFETCH(int, judged);
    QFETCH(int, met);
    QFETCH(int, notMet);
    QFETCH(int, noData);
    QFETCH(QString, commonReason);
    QVector<Episode> episodes;
    const StationSeries station = Station(&episodes);
    const EpisodeReport report(episodes, {station}, ReportInfo(), EpisodeSettings());
    const QVector<UnitSummary> rows = report.UnitSummaries();
    QCOMPARE(rows.size(), 3);
    const UnitSummary &r = rows[unit];
    QCOMPARE(r.unit, station.units[unit].name);
    QCOMPARE(r.episodes, 4);
    QCOMPARE(r.judged, judged);
    QCOMPARE(r.met, met);
    QCOMPARE(r.notMet, notMet);
    QCOMPARE(r.noData, noData);
    QCOMPARE(r.commonReason, commonReason);
    QCOMPARE(r.profile, QStringLiteral("ОПРЧ"));
    // The median of the unit's four shares at 30 s, and the worst one's episode.
    QVector<double> at30;
    double worst = INFINITY, worstStart = NAN;
    for (const Episode &e : episodes) {
        at30 << e.units[unit].ratio30;
        if (e.units[unit].ratio15 < worst)
            worst = e.units[unit].ratio15, worstStart = e.start;
    }
    std::sort(at30.begin(), at30.end());
    if (judged > 0) {
        QVERIFY(std::fabs(r.median30 - (at30[1] + at30[2]) / 2) < 1e-9);
        QCOMPARE(r.worstStart, worstStart);
        QVERIFY(r.medianDroop > 0);
    } else {
        QVERIFY(std::isnan(r.median30));
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("сводка.csv"));
    QString error;
    QVERIFY2(report.WriteSummaryCsv(path, &error), qPrintable(error));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 1 + 3);
    QCOMPARE(lines[0], EpisodeSummary::CsvHeader().join(QLatin1Char(';')));
    const QStringList fields = QString(lines[1 + unit])
                                   .replace(QStringLiteral("; главный"), QStringLiteral(" главный"))
                                   .split(QLatin1Char(';'));
    QCOMPARE(fields.size(), EpisodeSummary::CsvHeader().size());
    QCOMPARE(fields[EpisodeSummary::CsvHeader().indexOf(QStringLiteral("Не выполнено"))], QString::number(notMet));
}

void EpisodeReportTest::pdfPages() {
    QVector<Episode> episodes;
    const StationSeries station = Station(&episodes);
    ReportInfo info;
    info.server = QStringLiteral("127.0.0.1:1312");
    info.user = QStringLiteral("operator");
    info.from = station.spanFrom;
    info.to = station.spanTo;
    info.made = QDateTime::currentDateTime();
    const EpisodeReport report(episodes, {station}, info, EpisodeSettings());
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("report.pdf"));
    QString error;
    QVERIFY2(report.WritePdf(path, &error), qPrintable(error));
    QCOMPARE(PdfPages(path), 5);

    // No episodes: the title page alone, saying so.
    const EpisodeReport empty({}, {station}, info, EpisodeSettings());
    QVERIFY(empty.WritePdf(path, &error));
    QCOMPARE(PdfPages(path), 1);

    // The pages as pictures, for a person to look at.
    const QString shots = qEnvironmentVariable("ZENTA_SCREENSHOTS");
    if (!shots.isEmpty() && QDir().mkpath(shots)) {
        for (int page : {0, 1, 2}) {
            QImage image(1754, 1240, QImage::Format_RGB32);
            image.fill(Qt::white);
            QPainter painter(&image);
            report.PaintPage(&painter, QRectF(40, 40, 1674, 1160), page);
            painter.end();
            image.save(QDir(shots).filePath(QStringLiteral("episode_report_page%1.png").arg(page)));
        }
    }
}

void EpisodeReportTest::writeFailures_data() {
    QTest::addColumn<QString>("where");
    QTest::addColumn<QString>("reason");
    QTest::newRow("no-folder") << "missing/report"
                               << "нет такой папки";
    QTest::newRow("read-only-folder") << "locked/report"
                                      << "нет прав на запись";
    QTest::newRow("name-of-a-folder") << "taken"
                                      << "это папка";
}

void EpisodeReportTest::writeFailures() {
    QFETCH(QString, where);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("locked"));
    QDir(dir.path()).mkdir(QStringLiteral("taken.csv"));
    QDir(dir.path()).mkdir(QStringLiteral("taken.pdf"));
    QFile::setPermissions(dir.filePath(QStringLiteral("locked")), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
    QFile probe(dir.filePath(QStringLiteral("locked/probe")));
    if (where.startsWith(QLatin1String("locked")) && probe.open(QIODevice::WriteOnly))
        QSKIP("running as a user who may write anywhere");
    QVector<Episode> episodes;
    const StationSeries station = Station(&episodes);
    const EpisodeReport report(episodes, {station}, ReportInfo(), EpisodeSettings());
    for (const QString &suffix : {QStringLiteral(".csv"), QStringLiteral(".pdf")}) {
        const QString path = dir.filePath(where + suffix);
        QString error;
        const bool written =
            suffix == QLatin1String(".csv") ? report.WriteCsv(path, &error) : report.WritePdf(path, &error);
        QVERIFY(!written);
        QVERIFY2(error.contains(QDir::toNativeSeparators(path)) && error.contains(reason), qPrintable(error));
        QVERIFY(!QFileInfo(path).isFile());
        QCOMPARE(QFileInfo(path).isDir(), where == QLatin1String("taken"));
    }
}

void EpisodeReportTest::writeTargets_data() {
    QTest::addColumn<QString>("target"); // absolute: a device; else a link in a fresh folder to "real"
    QTest::addColumn<QString>("reason"); // empty when written
    QTest::newRow("null-device") << "/dev/null" << QString();
    QTest::newRow("full-device") << "/dev/full"
                                 << "ошибка записи (возможно, нет места на диске)";
    QTest::newRow("link-to-file") << "link-to-file" << QString();
    QTest::newRow("link-to-folder") << "link-to-folder"
                                    << "это папка";
}

// Only a regular file is replaced by a new one: a device is written in place and stays a device,
// a link stays a link.
void EpisodeReportTest::writeTargets() {
    QFETCH(QString, target);
    QFETCH(QString, reason);
    const bool device = QDir::isAbsolutePath(target);
    if (device && !IsCharacterDevice(target))
        QSKIP("no such character device here");
    QTemporaryDir dir;
    QVector<Episode> episodes;
    const StationSeries station = Station(&episodes);
    const EpisodeReport report(episodes, {station}, ReportInfo(), EpisodeSettings());
    for (const QString &suffix : {QStringLiteral(".csv"), QStringLiteral(".pdf")}) {
        const QString real = dir.filePath(QStringLiteral("real") + suffix);
        if (target == QLatin1String("link-to-folder"))
            QVERIFY(QDir().mkdir(real));
        const QString path = device ? target : dir.filePath(target + suffix);
        if (!device)
            QVERIFY(QFile::link(real, path));
        QString error;
        const bool written =
            suffix == QLatin1String(".csv") ? report.WriteCsv(path, &error) : report.WritePdf(path, &error);
        QCOMPARE(written, reason.isEmpty());
        QVERIFY2(error.contains(reason) && (written || error.contains(QDir::toNativeSeparators(path))),
                 qPrintable(error));
        if (device) {
            QVERIFY(IsCharacterDevice(target));
            continue;
        }
        QCOMPARE(QFileInfo(path).symLinkTarget(), real);
        QCOMPARE(QFileInfo(real).isDir(), !written);
        QVERIFY(written ? QFileInfo(real).size() > 1000 : QDir(real).isEmpty());
    }
}

QTEST_MAIN(EpisodeReportTest)
#include "episode_report_test.moc"
