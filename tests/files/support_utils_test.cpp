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

class SupportUtilsTest : public QObject
{
    Q_OBJECT

private slots:
    void msecToTevTime_data();
    void msecToTevTime();
    void timeNowFollowsWallClock();
    void timeUtc_data();
    void timeUtc();
    void timeLocal_data();
    void timeLocal();
    void timeMakeRoundTrip_data();
    void timeMakeRoundTrip();
    void offsetFromUtc_data();
    void offsetFromUtc();
    void threadTimeCountsOwnCpu_data();
    void threadTimeCountsOwnCpu();
    void dumpLines_data();
    void dumpLines();
};

void SupportUtilsTest::msecToTevTime_data()
{
    QTest::addColumn<qint64>("msecs");
    QTest::addColumn<double>("expected");
    QTest::newRow("2020-01-01-12:00:00.250") << qint64(1577880000250) << 1577880000.25;
    QTest::newRow("epoch") << qint64(0) << 0.0;
    QTest::newRow("last-millisecond-of-second") << qint64(1999) << 1.999;
}

void SupportUtilsTest::msecToTevTime()
{
    QFETCH(qint64, msecs);
    QFETCH(double, expected);
    QCOMPARE(CTevDT::MSecToTevTime(msecs), expected);
}

void SupportUtilsTest::timeNowFollowsWallClock()
{
    CTevDT dt;
    const qint64 before = QDateTime::currentMSecsSinceEpoch();
    const double now = dt.TevTimeNow();
    const qint64 after = QDateTime::currentMSecsSinceEpoch();
    QVERIFY(now >= before / 1000.0 - 1e-6);
    QVERIFY(now <= after / 1000.0 + 1e-6);
}

void SupportUtilsTest::timeUtc_data()
{
    QTest::addColumn<double>("time");
    QTest::addColumn<QList<int>>("fields");
    QTest::newRow("0.999-thursday") << 0.999 << QList<int>{1970, 1, 1, 0, 0, 0, 999, 4};
    QTest::newRow("2020-new-year-noon") << 1577880000.25 << QList<int>{2020, 1, 1, 12, 0, 0, 250, 3};
    QTest::newRow("fraction-truncated") << 1700000000.7509 << QList<int>{2023, 11, 14, 22, 13, 20, 750, 2};
    QTest::newRow("before-epoch") << -0.5 << QList<int>{1969, 12, 31, 23, 59, 59, 500, 3};
    QTest::newRow("sunday-is-7") << 1709424000.0 << QList<int>{2024, 3, 3, 0, 0, 0, 0, 7};
}

static QList<int> Fields(const rdxSystemTime &t)
{
    return {t.year, t.month, t.day, t.hour, t.minute, t.second, t.millisecond, t.dayOfWeek};
}

void SupportUtilsTest::timeUtc()
{
    QFETCH(double, time);
    QFETCH(QList<int>, fields);
    CTevDT dt;
    rdxSystemTime out{};
    dt.TevTimeUtc(time, &out);
    QCOMPARE(Fields(out), fields);
}

void SupportUtilsTest::timeLocal_data()
{
    QTest::addColumn<double>("time");
    QTest::addColumn<QList<int>>("fields");
    QTest::newRow("winter-one-hour-ahead") << 1577880000.25 << QList<int>{2020, 1, 1, 13, 0, 0, 250, 3};
    QTest::newRow("summer-two-hours-ahead") << 1593604800.5 << QList<int>{2020, 7, 1, 14, 0, 0, 500, 3};
    QTest::newRow("crosses-midnight") << 1577833200.0 << QList<int>{2020, 1, 1, 0, 0, 0, 0, 3};
}

void SupportUtilsTest::timeLocal()
{
    QFETCH(double, time);
    QFETCH(QList<int>, fields);
    CTevDT dt;
    rdxSystemTime out{};
    dt.TevTimeLocal(time, &out);
    QCOMPARE(Fields(out), fields);
}

void SupportUtilsTest::timeMakeRoundTrip_data()
{
    QTest::addColumn<QList<int>>("fields");
    QTest::addColumn<bool>("utc");
    QTest::addColumn<double>("expected");
    // The day of week is ignored: a wrong one must not change the result.
    QTest::newRow("utc-noon") << QList<int>{2020, 1, 1, 12, 0, 0, 250, 1} << true << 1577880000.25;
    QTest::newRow("local-winter") << QList<int>{2020, 1, 1, 13, 0, 0, 250, 3} << false << 1577880000.25;
    QTest::newRow("local-summer") << QList<int>{2020, 7, 1, 14, 0, 0, 500, 3} << false << 1593604800.5;
    QTest::newRow("invalid-date") << QList<int>{2020, 2, 30, 0, 0, 0, 0, 0} << true << 0.0;
}

void SupportUtilsTest::timeMakeRoundTrip()
{
    QFETCH(QList<int>, fields);
    QFETCH(bool, utc);
    QFETCH(double, expected);
    rdxSystemTime t{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7]};
    CTevDT dt;
    QCOMPARE(dt.TevTimeMake(&t, utc), expected);
}

void SupportUtilsTest::offsetFromUtc_data()
{
    QTest::addColumn<double>("time");
    QTest::addColumn<int>("offset");
    QTest::newRow("winter") << 1577880000.0 << 3600;
    QTest::newRow("summer") << 1593604800.0 << 7200;
}

void SupportUtilsTest::offsetFromUtc()
{
    QFETCH(double, time);
    QFETCH(int, offset);
    CTevDT dt;
    QCOMPARE(dt.OffsetFromUtc(time), offset);
    rdxSystemTime local{};
    dt.TevTimeLocal(time, &local);
    QCOMPARE(dt.OffsetFromUtc(&local), offset);
}

void SupportUtilsTest::threadTimeCountsOwnCpu_data()
{
    QTest::addColumn<int>("burnMs");
    QTest::newRow("short-burn") << 30;
    QTest::newRow("longer-burn") << 120;
}

// The thread burns CPU until its own clock shows the amount; an idle helper thread must stay far below it.
void SupportUtilsTest::threadTimeCountsOwnCpu()
{
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

void SupportUtilsTest::dumpLines_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("count");
    QTest::addColumn<int>("base");
    QTest::addColumn<QList<int>>("perLine");
    QTest::newRow("u16-30-two-lines") << "u16" << 30 << 0 << QList<int>{15, 15};
    QTest::newRow("u16-16-remainder") << "u16" << 16 << 0 << QList<int>{15, 1};
    QTest::newRow("u16-empty") << "u16" << 0 << 0 << QList<int>{};
    QTest::newRow("u8-52-two-lines") << "u8" << 52 << 0 << QList<int>{26, 26};
    QTest::newRow("u8-27-remainder") << "u8" << 27 << 0 << QList<int>{26, 1};
    QTest::newRow("i16-five-digits") << "i16" << 26 << 10000 << QList<int>{13, 13};
    QTest::newRow("i16-negative-six-chars") << "i16" << 22 << -32768 << QList<int>{11, 11};
    QTest::newRow("i16-255-values-no-overflow") << "i16" << 255 << -32768 << QList<int>{11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 2};
}

void SupportUtilsTest::dumpLines()
{
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

int main(int argc, char *argv[])
{
    qputenv("TZ", kZone);
    QCoreApplication app(argc, argv);
    SupportUtilsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "support_utils_test.moc"
