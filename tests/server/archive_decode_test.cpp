// Decoding of archive reply blocks built by hand, placed against an unreadable page so that any read
// past the end of a block crashes the test instead of passing unnoticed.
#include <QtTest>

#include <algorithm>
#include <cmath>
#include <random>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "server/archive_measures_14.h"
#include "tlx/archive_layout.h"

namespace {

// The records below are spelled out by hand; the layout the stand writes with must say the same.
static_assert(archive_layout::RecordSize == 29 && archive_layout::OffsetFlags == 9 &&
                  archive_layout::OffsetTime == 13 && archive_layout::OffsetValue == 21 &&
                  archive_layout::LastHeaderSize == 13 && archive_layout::PeriodHeaderSize == 21 &&
                  archive_layout::TypeWithVariablePart == 4,
              "the archive layout of the wire");

struct Rec {
    uint8_t type = 1;
    int32_t flags = 0;
    double time = 0;
    double value = 0;
    int32_t variable = -1; // type 4: length of the variable part
};

void Append(QByteArray &block, const Rec &r) {
    char fixed[29] = {};
    fixed[0] = char(r.type);
    const int32_t id = 7;
    memcpy(fixed + 1, &id, 4);
    memcpy(fixed + 9, &r.flags, 4);
    memcpy(fixed + 13, &r.time, 8);
    memcpy(fixed + 21, &r.value, 8);
    if (r.type == 4)
        memcpy(fixed + 21, &r.variable, 4);
    block.append(fixed, 29);
    // A length beyond a few KiB stands for a variable part that the block does not hold.
    if (r.type == 4 && r.variable > 0 && r.variable < 4096)
        block.append(QByteArray(r.variable, '\xAB'));
}

QByteArray PeriodBlock(const QVector<Rec> &records) {
    QByteArray block(21, '\0');
    block[0] = 2;
    for (const Rec &r : records)
        Append(block, r);
    return block;
}

QByteArray LastBlock(const Rec &r) {
    QByteArray block(13, '\0');
    block[0] = 1;
    Append(block, r);
    return block;
}

// Copies bytes so that they end exactly where an inaccessible page begins.
class FencedBuffer {
public:
    explicit FencedBuffer(const QByteArray &bytes) {
        const size_t page = size_t(sysconf(_SC_PAGESIZE));
        dataPages = (size_t(bytes.size()) + page - 1) / page + 1;
        total = (dataPages + 1) * page;
        void *m = mmap(nullptr, total, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        base = static_cast<char *>(m == MAP_FAILED ? nullptr : m);
        if (!base)
            return;
        mprotect(base + dataPages * page, page, PROT_NONE);
        start = base + dataPages * page - bytes.size();
        memcpy(start, bytes.constData(), size_t(bytes.size()));
    }
    ~FencedBuffer() {
        if (base)
            munmap(base, total);
    }
    const char *data() const { return start; }

private:
    char *base = nullptr;
    char *start = nullptr;
    size_t dataPages = 0;
    size_t total = 0;
};

using Points = QVector<MeasurePoint>;

} // namespace

Q_DECLARE_METATYPE(Rec)

class ArchiveDecodeTest : public QObject {
    Q_OBJECT

private slots:
    void period_data();
    void period();
    void truncated_data();
    void truncated();
    void last_data();
    void last();
    void randomBlocks_data();
    void randomBlocks();
};

void ArchiveDecodeTest::period_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("zeroAsNaN");
    QTest::addColumn<QVector<double>>("times");
    QTest::addColumn<QVector<double>>("values"); // NaN expected where the zero rule applies
    QTest::addColumn<QVector<int>>("flags");

    const double nan = std::nan("");
    QTest::newRow("empty-block") << QByteArray() << false << QVector<double>{} << QVector<double>{} << QVector<int>{};
    QTest::newRow("header-only") << PeriodBlock({}) << false << QVector<double>{} << QVector<double>{}
                                 << QVector<int>{};
    QTest::newRow("keeps-fraction-and-flags")
        << PeriodBlock({{1, 0x10000000, 1700000000.75, 49.98, -1}, {1, 3, 1700000001.0, 50.01, -1}}) << false
        << QVector<double>{1700000000.75, 1700000001.0} << QVector<double>{49.98, 50.01} << QVector<int>{0x10000000, 3};
    QTest::newRow("zero-rule-bounds-inclusive")
        << PeriodBlock({{1, 0, 10, 0.0, -1},
                        {1, 0, 11, 0.000001, -1},
                        {1, 0, 12, -0.000001, -1},
                        {1, 0, 13, 0.0000011, -1},
                        {1, 0, 14, -0.0000011, -1}})
        << true << QVector<double>{10, 11, 12, 13, 14} << QVector<double>{nan, nan, nan, 0.0000011, -0.0000011}
        << QVector<int>{0, 0, 0, 0, 0};
    QTest::newRow("zero-kept-without-rule") << PeriodBlock({{1, 0, 10, 0.0, -1}}) << false << QVector<double>{10}
                                            << QVector<double>{0.0} << QVector<int>{0};
    QTest::newRow("duplicate-key-later-wins")
        << PeriodBlock({{1, 1, 20, 1.0, -1}, {1, 2, 21, 2.0, -1}, {1, 3, 20, 3.0, -1}}) << false
        << QVector<double>{20, 21} << QVector<double>{3.0, 2.0} << QVector<int>{3, 2};
    QTest::newRow("out-of-order-sorted")
        << PeriodBlock({{1, 1, 32, 1.0, -1}, {1, 2, 30, 2.0, -1}, {1, 3, 31, 3.0, -1}, {1, 4, 30, 4.0, -1}}) << false
        << QVector<double>{30, 31, 32} << QVector<double>{4.0, 3.0, 1.0} << QVector<int>{4, 3, 1};
    QTest::newRow("non-positive-times-skipped")
        << PeriodBlock({{1, 0, 0, 1.0, -1}, {1, 0, -5, 2.0, -1}, {1, 0, nan, 3.0, -1}, {1, 0, 30, 4.0, -1}}) << false
        << QVector<double>{30} << QVector<double>{4.0} << QVector<int>{0};
    QTest::newRow("type4-variable-part-skipped")
        << PeriodBlock({{4, 5, 40, 0, 10}, {1, 6, 41, 7.5, -1}}) << false
        << QVector<double>{40, 41}
        // The value of a type-4 record is read as a double whose low bytes hold L = 10 and whose high bytes are 0.
        << QVector<double>{[] {
                               double d = 0;
                               int32_t l = 10;
                               memcpy(&d, &l, 4);
                               return d;
                           }(),
                           7.5}
        << QVector<int>{5, 6};
    QTest::newRow("type4-empty-variable-part")
        << PeriodBlock({{4, 0, 50, 0, 0}, {1, 0, 51, 1.0, -1}}) << false << QVector<double>{50, 51}
        << QVector<double>{0.0, 1.0} << QVector<int>{0, 0};
    QTest::newRow("type4-negative-length-stops")
        << PeriodBlock({{1, 0, 60, 1.0, -1}, {4, 0, 61, 0, -20}, {1, 0, 62, 2.0, -1}}) << false << QVector<double>{60}
        << QVector<double>{1.0} << QVector<int>{0};
}

void ArchiveDecodeTest::period() {
    QFETCH(QByteArray, block);
    QFETCH(bool, zeroAsNaN);
    QFETCH(QVector<double>, times);
    QFETCH(QVector<double>, values);
    QFETCH(QVector<int>, flags);

    FencedBuffer fenced(block);
    const QMap<double, MeasurePoint> points =
        Archive_Measures::DecodePeriodBlock(fenced.data(), block.size(), zeroAsNaN);
    QCOMPARE(points.keys().toVector(), times);
    int i = 0;
    for (auto it = points.cbegin(); it != points.cend(); ++it, ++i) {
        QCOMPARE(it->time, it.key());
        if (std::isnan(values.at(i)))
            QVERIFY2(std::isnan(it->value), qPrintable(QString::number(it->value)));
        else
            QCOMPARE(it->value, values.at(i));
        QCOMPARE(it->flags, flags.at(i));
    }
    // The vector the plot draws holds the same samples in the same order.
    const QVector<MeasurePoint> samples = Archive_Measures::DecodePeriodSamples(fenced.data(), block.size(), zeroAsNaN);
    QCOMPARE(samples.size(), times.size());
    for (i = 0; i < samples.size(); ++i) {
        QCOMPARE(samples[i].time, times.at(i));
        QCOMPARE(std::isnan(samples[i].value), std::isnan(values.at(i)));
        if (!std::isnan(values.at(i)))
            QCOMPARE(samples[i].value, values.at(i));
        QCOMPARE(samples[i].flags, flags.at(i));
    }
}

void ArchiveDecodeTest::truncated_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<QVector<int>>("fixedEnds"); // where the fixed part of each reachable record ends

    QTest::newRow("plain-records") << PeriodBlock({{1, 0, 100, 1.0, -1}, {1, 0, 101, 2.0, -1}, {1, 0, 102, 3.0, -1}})
                                   << QVector<int>{50, 79, 108};
    QTest::newRow("variable-part") << PeriodBlock({{1, 0, 100, 1.0, -1}, {4, 0, 101, 0, 10}, {1, 0, 102, 3.0, -1}})
                                   << QVector<int>{50, 79, 118};
    QTest::newRow("variable-length-past-end")
        << PeriodBlock({{4, 0, 100, 0, 0x7fffffff}, {1, 0, 101, 3.0, -1}}) << QVector<int>{50};
}

// Every prefix of a block decodes to exactly the records whose 29 fixed bytes it holds, never reading past it.
void ArchiveDecodeTest::truncated() {
    QFETCH(QByteArray, block);
    QFETCH(QVector<int>, fixedEnds);

    for (int cut = 0; cut <= block.size(); ++cut) {
        FencedBuffer fenced(block.left(cut));
        const QMap<double, MeasurePoint> points = Archive_Measures::DecodePeriodBlock(fenced.data(), cut, false);
        const int expected =
            int(std::count_if(fixedEnds.cbegin(), fixedEnds.cend(), [cut](int end) { return end <= cut; }));
        QCOMPARE(Archive_Measures::DecodePeriodSamples(fenced.data(), cut, false).size(), points.size());
        QVERIFY2(
            points.size() == expected,
            qPrintable(QStringLiteral("cut at %1: %2 records, expected %3").arg(cut).arg(points.size()).arg(expected)));
    }
}

void ArchiveDecodeTest::last_data() {
    QTest::addColumn<QByteArray>("block");
    QTest::addColumn<bool>("zeroAsNaN");
    QTest::addColumn<bool>("decoded");
    QTest::addColumn<double>("time");
    QTest::addColumn<double>("value");
    QTest::addColumn<int>("flags");

    const QByteArray record = LastBlock({1, 0x10000000, 1700000000.75, 50.02, -1});
    QTest::newRow("time-truncated-to-seconds") << record << false << true << 1700000000.0 << 50.02 << 0x10000000;
    QTest::newRow("negative-time-toward-zero") << LastBlock({1, 0, -1.5, 1.0, -1}) << false << true << -1.0 << 1.0 << 0;
    QTest::newRow("zero-rule") << LastBlock({1, 0, 1000, 0.0000005, -1}) << true << true << 1000.0 << std::nan("") << 0;
    QTest::newRow("header-only-is-no-value") << QByteArray(13, '\0') << false << false << 0.0 << 0.0 << 0;
    QTest::newRow("record-cut-short") << record.left(record.size() - 1) << false << false << 0.0 << 0.0 << 0;
    QTest::newRow("empty-block") << QByteArray() << false << false << 0.0 << 0.0 << 0;
    QTest::newRow("time-beyond-32-bits") << LastBlock({1, 0, 1e12, 1.0, -1}) << false << false << 0.0 << 0.0 << 0;
}

void ArchiveDecodeTest::last() {
    QFETCH(QByteArray, block);
    QFETCH(bool, zeroAsNaN);
    QFETCH(bool, decoded);
    QFETCH(double, time);
    QFETCH(double, value);
    QFETCH(int, flags);

    FencedBuffer fenced(block);
    MeasurePoint point;
    point.time = -12345;
    QCOMPARE(Archive_Measures::DecodeLastBlock(fenced.data(), block.size(), &point, zeroAsNaN), decoded);
    if (!decoded) {
        QCOMPARE(point.time, -12345.0);
        return;
    }
    QCOMPARE(point.time, time);
    if (std::isnan(value))
        QVERIFY(std::isnan(point.value));
    else
        QCOMPARE(point.value, value);
    QCOMPARE(point.flags, flags);
}

void ArchiveDecodeTest::randomBlocks_data() {
    QTest::addColumn<uint>("seed");
    QTest::addColumn<bool>("typeFour"); // bias the record type bytes towards 4
    QTest::newRow("noise-1") << 1u << false;
    QTest::newRow("noise-2") << 2u << false;
    QTest::newRow("type4-heavy-1") << 3u << true;
    QTest::newRow("type4-heavy-2") << 4u << true;
}

// Garbage of every length decodes without reading past its end and yields only positive times.
void ArchiveDecodeTest::randomBlocks() {
    QFETCH(uint, seed);
    QFETCH(bool, typeFour);

    std::mt19937 random(seed);
    for (int round = 0; round < 400; ++round) {
        QByteArray block(int(random() % 400), '\0');
        for (char &c : block)
            c = char(random());
        if (typeFour) {
            for (int p = 21; p < block.size(); p += 29)
                block[p] = 4;
        }
        FencedBuffer fenced(block);
        const QMap<double, MeasurePoint> points =
            Archive_Measures::DecodePeriodBlock(fenced.data(), block.size(), round % 2 == 0);
        for (auto it = points.cbegin(); it != points.cend(); ++it)
            QVERIFY(it.key() > 0);
        QCOMPARE(Archive_Measures::DecodePeriodSamples(fenced.data(), block.size(), round % 2 == 0).size(),
                 points.size());
        MeasurePoint point;
        Archive_Measures::DecodeLastBlock(fenced.data(), block.size(), &point, false);
    }
}

QTEST_GUILESS_MAIN(ArchiveDecodeTest)
#include "archive_decode_test.moc"
