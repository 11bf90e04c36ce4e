#include "support/DevScr.h"
#include "support/TevDT.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QThread>
#include <QtTest>

#include <atomic>

// Times are checked in a fixed zone with summer time, so local conversions are deterministic.
static const char kZone[] = "CET-1CEST,M3.5.0,M10.5.0/3";

class SupportUtilsTest : public QObject {
    Q_OBJECT

private slots:
    void msecToTevTime_data();
    void msecToTevTime();
    void timeUtc_data();
    void timeUtc();
    void offsetFromUtc_data();
    void offsetFromUtc();
    void threadTimeCountsOwnCpu_data();
    void threadTimeCountsOwnCpu();
    void dumpLines_data();
    void dumpLines();
};

void SupportUtilsTest::msecToTevTime_data() {
    QTest::addColumn<qint64>("msecs");
    QTest::addColumn<double>("expected");
    QTest::newRow("2020-01-01-12:00:00.250") << qint64(1577880000250) << 1577880000.25;
    QTest::newRow("epoch") << qint64(0) << 0.0;
    QTest::newRow("last-millisecond-of-second") << qint64(1999) << 1.999;
}

void SupportUtilsTest::msecToTevTime() {
    QFETCH(qint64, msecs);
    QFETCH(double, expected);
    QCOMPARE(CTevDT::MSecToTevTime(msecs), expected);
}

void SupportUtilsTest::timeUtc_data() {
    QTest::addColumn<double>("time");
    QTest::addColumn<QList<int>>("fields");
    QTest::newRow("0.999-thursday") << 0.999 << QList<int>{1970, 1, 1, 0, 0, 0, 999, 4};
    QTest::newRow("2020-new-year-noon") << 1577880000.25 << QList<int>{2020, 1, 1, 12, 0, 0, 250, 3};
    QTest::newRow("fraction-truncated") << 1700000000.7509 << QList<int>{2023, 11, 14, 22, 13, 20, 750, 2};
    QTest::newRow("before-epoch") << -0.5 << QList<int>{1969, 12, 31, 23, 59, 59, 500, 3};
    QTest::newRow("sunday-is-7") << 1709424000.0 << QList<int>{2024, 3, 3, 0, 0, 0, 0, 7};
}

static QList<int> Fields(const rdxSystemTime &t) {
    return {t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond, t.dayOfWeek};
}

void SupportUtilsTest::timeUtc() {
    QFETCH(double, time);
    QFETCH(QList<int>, fields);
    CTevDT dt;
    rdxSystemTime out{};
    dt.TevTimeUtc(time, &out);
    QCOMPARE(Fields(out), fields);
}

void SupportUtilsTest::offsetFromUtc_data() {
    QTest::addColumn<double>("time");
    QTest::addColumn<int>("offset");
    QTest::newRow("winter") << 1577880000.0 << 3600;
    QTest::newRow("summer") << 1593604800.0 << 7200;
}

void SupportUtilsTest::offsetFromUtc() {
    QFETCH(double, time);
    QFETCH(int, offset);
    CTevDT dt;
    QCOMPARE(dt.OffsetFromUtc(time), offset);
    rdxSystemTime local{};
    dt.TevTimeLocal(time, &local);
    QCOMPARE(dt.OffsetFromUtc(&local), offset);
}

void SupportUtilsTest::threadTimeCountsOwnCpu_data() {
    QTest::addColumn<int>("burnMs");
    QTest::newRow("short-burn") << 30;
    QTest::newRow("longer-burn") << 120;
}

// The thread burns CPU until its own clock shows the amount; an idle helper thread must stay far below it.
void SupportUtilsTest::threadTimeCountsOwnCpu() {
    QFETCH(int, burnMs);
    CTevDT dt;
    const qint64 start = dt.ThreadTimeToMSec();
    QVERIFY(start >= 0);

    std::atomic<bool> stop{false};
    std::atomic<qint64> idleCpu{-1};
    QThread *idle = QThread::create([&] {
        CTevDT own;
        while (!stop.load())
            QThread::msleep(5);
        idleCpu = own.ThreadTimeToMSec();
    });
    idle->start();

    QElapsedTimer guard;
    guard.start();
    volatile double sink = 0;
    while (dt.ThreadTimeToMSec() - start < burnMs) {
        for (int i = 0; i < 10000; ++i)
            sink = sink + i * 0.5;
        QVERIFY2(guard.elapsed() < 20000, "thread CPU time does not advance");
    }
    stop = true;
    idle->wait();
    delete idle;
    QVERIFY(idleCpu.load() >= 0);
    QVERIFY(idleCpu.load() < burnMs);
}

void SupportUtilsTest::dumpLines_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("base");
    QTest::addColumn<QList<int>>("perLine");
    QTest::newRow("u16-30-two-lines") << "u16" << 30 << 0 << QList<int>{15, 15};
    QTest::newRow("u16-empty") << "u16" << 0 << 0 << QList<int>{};
    QTest::newRow("u8-27-remainder") << "u8" << 27 << 0 << QList<int>{26, 1};
    QTest::newRow("i16-five-digits") << "i16" << 26 << 10000 << QList<int>{13, 13};
    QTest::newRow("i16-negative-six-chars") << "i16" << 22 << -32768 << QList<int>{11, 11};
    QTest::newRow("i16-255-values-no-overflow")
        << "i16" << 255 << -32768
        << QList<int>{11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 2};
}

void SupportUtilsTest::dumpLines() {
    QFETCH(QString, kind);
    QFETCH(int, count);
    QFETCH(int, base);
    QFETCH(QList<int>, perLine);

    std::vector<std::string> lines;
    uint16_t written = 0;
    CDevScr scr;
    if (kind == "u16") {
        std::vector<uint16_t> v(count);
        for (int i = 0; i < count; ++i)
            v[i] = static_cast<uint16_t>(0xA000 + i);
        lines = CDevScr::FormatLines(v.data(), count);
        written = scr.DataToScr(v.data(), count);
        QCOMPARE(scr.DataToFile(v.data(), count, true), written);
    } else if (kind == "u8") {
        std::vector<uint8_t> v(count);
        for (int i = 0; i < count; ++i)
            v[i] = static_cast<uint8_t>(i);
        lines = CDevScr::FormatLines(v.data(), count);
        written = scr.DataToScr(v.data(), count);
    } else {
        std::vector<int16_t> v(count);
        for (int i = 0; i < count; ++i)
            v[i] = static_cast<int16_t>(base + (base < 0 ? i : -i));
        lines = CDevScr::FormatLines(v.data(), count);
        written = scr.DataToScr(v.data(), count);
    }
    QCOMPARE(int(written), count);
    QCOMPARE(int(lines.size()), perLine.size());
    int total = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const QStringList items = QString::fromStdString(lines[i]).split(' ', Qt::SkipEmptyParts);
        QCOMPARE(items.size(), perLine[int(i)]);
        total += items.size();
        QVERIFY(lines[i].size() < 128);
    }
    QCOMPARE(total, count);
    if (kind == "u16" && count > 0)
        QCOMPARE(QString::fromStdString(lines[0]).left(10), QString("A000 A001 "));
}

int main(int argc, char *argv[]) {
    qputenv("TZ", kZone);
    QCoreApplication app(argc, argv);
    SupportUtilsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "support_utils_test.moc"
