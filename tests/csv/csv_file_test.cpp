#include <QTemporaryDir>
#include <QTimeZone>
#include <QtTest>

#include "char_device.h"
#include "csv/csvfile.h"
#include "support/local_time_zone.h"

class CsvFileTest : public QObject {
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void blocks_data();
    void blocks();
    void missingFile();
    void write_data();
    void write();
    void writeToFullDisk();
    void roundTrip();
    void pinnedZoneReadsTheSameTimes();

private:
    QTemporaryDir dir;
};

void CsvFileTest::load_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QDateTime>("lastTime");
    QTest::addColumn<double>("lastFreq");
    QTest::addColumn<double>("lastPower");
    QTest::addColumn<int>("skipped");

    const QDateTime stamp(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::LocalTime);
    const QByteArray good("05.03.2024 14:07:09;50;1\n");
    QTest::newRow("comma-decimal") << QByteArray("05.03.2024 14:07:09;50,012;123.5\n") << 1 << stamp << 50.012 << 123.5
                                   << 0;
    QTest::newRow("missing-power") << QByteArray("05.03.2024 14:07:09;50,012\n") << 1 << stamp << 50.012 << 0.0 << 0;
    QTest::newRow("empty-power") << QByteArray("05.03.2024 14:07:09;50,012; \n") << 1 << stamp << 50.012 << 0.0 << 0;
    QTest::newRow("empty-line-skipped") << QByteArray("\n05.03.2024 14:07:09;50.1;7\n\n") << 1 << stamp << 50.1 << 7.0
                                        << 0;
    QTest::newRow("no-separator-skipped")
        << QByteArray("05.03.2024 14:07:09;50;1\nnothing here\n") << 1 << stamp << 50.0 << 1.0 << 1;
    // A first line that names the columns is no row and no fault.
    QTest::newRow("header-skipped") << QByteArray("Time;Freq;Power\n") << 0 << QDateTime() << 0.0 << 0.0 << 0;
    QTest::newRow("header-then-rows") << QByteArray("Время;Частота;Мощность\r\n") + good << 1 << stamp << 50.0 << 1.0
                                      << 0;
    QTest::newRow("crlf-line-end") << QByteArray("05.03.2024 14:07:09;49,98;-3,25\r\n") << 1 << stamp << 49.98 << -3.25
                                   << 0;
    QTest::newRow("nul-ends-line") << QByteArray("05.03.2024 14:07:09;50;8\0;99\n", 29) << 1 << stamp << 50.0 << 8.0
                                   << 0;
    QTest::newRow("no-seconds") << QByteArray("05.03.2024 14:07;50;1\n") << 1
                                << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 0), Qt::LocalTime) << 50.0 << 1.0 << 0;
    // Times as other tools write them: fractions of a second, other separators, pieces left out.
    QTest::newRow("fraction-kept") << QByteArray("05.03.2024 14:07:09.500;50;1\n") << 1 << stamp.addMSecs(500) << 50.0
                                   << 1.0 << 0;
    QTest::newRow("fraction-comma-long") << QByteArray("05.03.2024 14:07:09,1259;50;1\n") << 1 << stamp.addMSecs(125)
                                         << 50.0 << 1.0 << 0;
    QTest::newRow("dots-in-time") << QByteArray("05.03.2024 14.07.09;50;1\n") << 1 << stamp << 50.0 << 1.0 << 0;
    QTest::newRow("slashes-in-date") << QByteArray("05/03/2024  14:07:09;50;1\n") << 1 << stamp << 50.0 << 1.0 << 0;
    QTest::newRow("date-only") << QByteArray("05.03.2024;50;1\n") << 1
                               << QDateTime(QDate(2024, 3, 5), QTime(0, 0), Qt::LocalTime) << 50.0 << 1.0 << 0;
    QTest::newRow("eighth-piece") << good + "05.03.2024 14:07:09.5.1;50;1\n" << 1 << stamp << 50.0 << 1.0 << 1;
    QTest::newRow("letter-separator") << good + "05.03.2024x14:07:09;50;1\n" << 1 << stamp << 50.0 << 1.0 << 1;
    QTest::newRow("last-line-without-newline")
        << QByteArray("04.03.2024 00:00:00;1;2\n05.03.2024 14:07:09;3;4") << 2 << stamp << 3.0 << 4.0 << 0;
    QTest::newRow("empty-file") << QByteArray() << 0 << QDateTime() << 0.0 << 0.0 << 0;
    // Nothing the file did not say is drawn: impossible or far dates and values that are not numbers
    // are skipped and counted, never read as 1970 or 0.
    QTest::newRow("day-31-february") << good + "31.02.2024 10:00:00;50;1\n" << 1 << stamp << 50.0 << 1.0 << 1;
    QTest::newRow("year-99999") << good + "05.03.99999 14:07:10;50;1\n" << 1 << stamp << 50.0 << 1.0 << 1;
    QTest::newRow("year-before-1970") << good + "05.03.1969 14:07:10;50;1\n" << 1 << stamp << 50.0 << 1.0 << 1;
    QTest::newRow("hour-25") << good + "05.03.2024 25:00:00;50;1\n" << 1 << stamp << 50.0 << 1.0 << 1;
    QTest::newRow("letters-in-date") << good + "05.O3.2024 14:07:10;50;1\n" << 1 << stamp << 50.0 << 1.0 << 1;
    QTest::newRow("garbage-frequency") << good + "05.03.2024 14:07:10;fifty;1\n" << 1 << stamp << 50.0 << 1.0 << 1;
    QTest::newRow("empty-frequency") << good + "05.03.2024 14:07:10;;1\n" << 1 << stamp << 50.0 << 1.0 << 1;
    QTest::newRow("nan-power") << good + "05.03.2024 14:07:10;50;nan\n" << 1 << stamp << 50.0 << 1.0 << 1;
    QTest::newRow("number-then-text") << good + "05.03.2024 14:07:10;50.0x;1\n" << 1 << stamp << 50.0 << 1.0 << 1;
    QTest::newRow("bad-lines-counted") << QByteArray("x;1\n31.02.2024 00:00:00;1;1\n") + good + "junk\n"
                                       << 1 << stamp << 50.0 << 1.0 << 3;
}

void CsvFileTest::load() {
    QFETCH(QByteArray, content);
    QFETCH(int, rows);
    QFETCH(QDateTime, lastTime);
    QFETCH(double, lastFreq);
    QFETCH(double, lastPower);
    QFETCH(int, skipped);

    QString path = dir.filePath(QStringLiteral("load.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();

    CsvFile::LoadReport report;
    const QVector<CsvFile::CsvRow> result = CsvFile::LoadFile(path, Qt::LocalTime, &report);
    QCOMPARE(report.skipped, skipped);
    QCOMPARE(CsvFile::LoadFile(path).size(), result.size());
    QCOMPARE(CsvFile::LoadData(content).size(), result.size());
    QCOMPARE(result.size(), rows);
    if (rows == 0)
        return;
    const CsvFile::CsvRow &last = result.last();
    QCOMPARE(last.dateTime.isValid(), lastTime.isValid());
    if (lastTime.isValid()) {
        QCOMPARE(last.dateTime, lastTime);
        QCOMPARE(last.dateTime.timeSpec(), Qt::LocalTime);
    }
    QCOMPARE(last.freq, lastFreq);
    QCOMPARE(last.power, lastPower);
}

void CsvFileTest::blocks_data() {
    QTest::addColumn<int>("lines");
    QTest::addColumn<int>("cancelAt"); // progress call that says stop; -1 never
    // Lines of 26 bytes cross the 4 MiB block boundaries mid-line.
    QTest::newRow("lines-across-blocks") << 400000 << -1;
    QTest::newRow("cancelled-midway") << 400000 << 2;
}

void CsvFileTest::blocks() {
    QFETCH(int, lines);
    QFETCH(int, cancelAt);
    QString path = dir.filePath(QStringLiteral("blocks.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QDateTime start(QDate(2024, 3, 5), QTime(0, 0, 0), Qt::UTC);
    QByteArray text;
    for (int i = 0; i < lines; ++i)
        text += start.addSecs(i).toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")).toLatin1() + ';' +
                QByteArray::number(i % 1000) + ";1\n";
    file.write(text);
    file.close();
    int calls = 0;
    qint64 lastDone = -1;
    CsvFile::LoadReport report;
    const QVector<CsvFile::CsvRow> rows = CsvFile::LoadFile(path, Qt::UTC, &report, [&](qint64 done, qint64 total) {
        lastDone = done;
        [&] { QCOMPARE(total, qint64(text.size())); }();
        return calls++ != cancelAt;
    });
    QCOMPARE(report.cancelled, cancelAt >= 0);
    if (cancelAt >= 0) {
        QVERIFY(rows.isEmpty());
        return;
    }
    QCOMPARE(lastDone, qint64(text.size()));
    QCOMPARE(report.skipped, 0);
    QCOMPARE(rows.size(), lines);
    for (int i = 0; i < lines; i += 997) {
        QCOMPARE(rows[i].dateTime, start.addSecs(i));
        QCOMPARE(rows[i].freq, double(i % 1000));
    }
}

void CsvFileTest::missingFile() {
    QString path = dir.filePath(QStringLiteral("does-not-exist.csv"));
    QVERIFY(CsvFile::LoadFile(path).isEmpty());
}

void CsvFileTest::write_data() {
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QString>("text");

    QTest::newRow("shorter-over-longer") << QByteArray(500, 'x') << QStringLiteral("05.03.2024 14:07:09;50;1\n");
    QTest::newRow("into-missing-file") << QByteArray() << QStringLiteral("a;b\n");
    QTest::newRow("empty-text-empties-file") << QByteArray("old;content\n") << QString();
}

void CsvFileTest::write() {
    QFETCH(QByteArray, before);
    QFETCH(QString, text);

    const QString path = dir.filePath(QStringLiteral("write-%1.csv").arg(QTest::currentDataTag()));
    if (!before.isEmpty()) {
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write(before);
    }
    QVERIFY(CsvFile::WriteTextToFile(path, text));
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), text.toLocal8Bit());
}

void CsvFileTest::writeToFullDisk() {
    if (!IsCharacterDevice(QStringLiteral("/dev/full")))
        QSKIP("no /dev/full on this machine");
    QVERIFY(!CsvFile::WriteTextToFile(QStringLiteral("/dev/full"), QStringLiteral("05.03.2024 14:07:09;50;1\n")));
    QVERIFY(IsCharacterDevice(QStringLiteral("/dev/full")));
}

void CsvFileTest::roundTrip() {
    // What the export writes is what the reader gives back.
    QString text;
    QVector<CsvFile::CsvRow> expected;
    QDateTime t(QDate(2025, 12, 31), QTime(23, 59, 58), Qt::LocalTime);
    for (int i = 0; i < 5; ++i, t = t.addSecs(1)) {
        const double freq = 49.9 + i * 0.0371;
        const double power = 100.25 * i - 7;
        text += t.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")) + ';' + QString::number(freq, 'g', 6) + ';' +
                QString::number(power, 'g', 6) + '\n';
        expected.append({t, QString::number(freq, 'g', 6).toDouble(), power});
    }
    QString path = dir.filePath(QStringLiteral("roundtrip.csv"));
    QVERIFY(CsvFile::WriteTextToFile(path, text));
    const QVector<CsvFile::CsvRow> rows = CsvFile::LoadFile(path);
    QCOMPARE(rows.size(), expected.size());
    for (int i = 0; i < rows.size(); ++i) {
        QCOMPARE(rows[i].dateTime, expected[i].dateTime);
        QCOMPARE(rows[i].freq, expected[i].freq);
        QCOMPARE(rows[i].power, expected[i].power);
    }
}

void CsvFileTest::pinnedZoneReadsTheSameTimes() {
    if (qEnvironmentVariableIsSet("TZ"))
        QSKIP("TZ is set for this run; the pin leaves it alone");
    // Around the usual daylight-saving changes and an ordinary day.
    const QVector<QDateTime> local = {
        QDateTime(QDate(2024, 3, 31), QTime(2, 30)), QDateTime(QDate(2024, 10, 27), QTime(2, 30)),
        QDateTime(QDate(2011, 3, 27), QTime(2, 30)), QDateTime(QDate(2025, 6, 1), QTime(12, 0))};
    const QByteArray zone = QTimeZone::systemTimeZoneId();
    QVector<qint64> before;
    for (const QDateTime &time : local)
        before << QDateTime(time.date(), time.time(), Qt::LocalTime).toMSecsSinceEpoch();
    QVERIFY(LocalTimeZone::Pin());
    QVERIFY(!LocalTimeZone::Pin());
    QCOMPARE(QTimeZone::systemTimeZoneId(), zone);
    for (int i = 0; i < local.size(); ++i)
        QCOMPARE(QDateTime(local[i].date(), local[i].time(), Qt::LocalTime).toMSecsSinceEpoch(), before[i]);
    qunsetenv("TZ");
}

QTEST_GUILESS_MAIN(CsvFileTest)
#include "csv_file_test.moc"
