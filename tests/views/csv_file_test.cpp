#include <QTemporaryDir>
#include <QtTest>

#include "csv/csvfile.h"

class CsvFileTest : public QObject {
    Q_OBJECT

private slots:
    void load_data();
    void load();
    void missingFile();
    void write_data();
    void write();
    void roundTrip();

private:
    QTemporaryDir dir;
};

void CsvFileTest::load_data() {
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("rows");
    QTest::addColumn<QDateTime>("lastTime");
    QTest::addColumn<double>("lastFreq");
    QTest::addColumn<double>("lastPower");

    const QDateTime stamp(QDate(2024, 3, 5), QTime(14, 7, 9), Qt::LocalTime);
    QTest::newRow("comma-decimal") << QByteArray("05.03.2024 14:07:09;50,012;123.5\n") << 1 << stamp << 50.012 << 123.5;
    QTest::newRow("missing-power") << QByteArray("05.03.2024 14:07:09;50,012\n") << 1 << stamp << 50.012 << 0.0;
    QTest::newRow("empty-line-skipped") << QByteArray("\n05.03.2024 14:07:09;50.1;7\n\n") << 1 << stamp << 50.1 << 7.0;
    QTest::newRow("no-separator-skipped")
        << QByteArray("05.03.2024 14:07:09;50;1\nnothing here\n") << 1 << stamp << 50.0 << 1.0;
    QTest::newRow("header-gives-zero-row") << QByteArray("Time;Freq;Power\n") << 1 << QDateTime() << 0.0 << 0.0;
    QTest::newRow("crlf-line-end") << QByteArray("05.03.2024 14:07:09;49,98;-3,25\r\n") << 1 << stamp << 49.98 << -3.25;
    QTest::newRow("nul-ends-line") << QByteArray("05.03.2024 14:07:09;50;8\0;99\n", 29) << 1 << stamp << 50.0 << 8.0;
    QTest::newRow("no-seconds") << QByteArray("05.03.2024 14:07;50;1\n") << 1
                                << QDateTime(QDate(2024, 3, 5), QTime(14, 7, 0), Qt::LocalTime) << 50.0 << 1.0;
    QTest::newRow("last-line-without-newline")
        << QByteArray("04.03.2024 00:00:00;1;2\n05.03.2024 14:07:09;3;4") << 2 << stamp << 3.0 << 4.0;
    QTest::newRow("empty-file") << QByteArray() << 0 << QDateTime() << 0.0 << 0.0;
}

void CsvFileTest::load() {
    QFETCH(QByteArray, content);
    QFETCH(int, rows);
    QFETCH(QDateTime, lastTime);
    QFETCH(double, lastFreq);
    QFETCH(double, lastPower);

    QString path = dir.filePath(QStringLiteral("load.csv"));
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
    file.close();

    const QVector<CsvFile::CsvRow> result = CsvFile::LoadFile(path);
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

QTEST_GUILESS_MAIN(CsvFileTest)
#include "csv_file_test.moc"
