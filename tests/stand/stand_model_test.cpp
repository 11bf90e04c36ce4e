// The stand's own building blocks: the grid model against measured statistics, the units' answer,
// CSV of events, the Windows-1251 conversion and password hashes.
#include "stand/frequency_statistics.h"
#include "stand/grid_model.h"
#include "stand/password_hash.h"
#include "stand/simulator.h"
#include "stand/stand_database.h"
#include "stand/text_codec.h"

#include <QtTest>

#include <cmath>
#include <deque>

using namespace stand;

namespace {

// Eight quiet days of seed 1 (computed once): the share beyond the dead band needs several days to settle.
const FrequencyStatistics &QuietDay() {
    static FrequencyStatistics s;
    static bool done = false;
    if (done)
        return s;
    done = true;
    GridModel model(MakeDemoLayout(1), 1, 0);
    const int64_t t0 = 1700006400; // midnight UTC
    model.Reset(t0 - 3600);
    std::vector<Sample> out;
    for (int64_t t = t0 - 3600; t < t0; ++t) {
        out.clear();
        model.Step(t, &out);
    }
    std::vector<double> f;
    for (int64_t t = t0; t < t0 + 8 * 86400; ++t) {
        out.clear();
        model.Step(t, &out);
        f.push_back(model.Frequency());
    }
    s = ComputeFrequencyStatistics(f);
    return s;
}

} // namespace

class StandModelTest : public QObject {
    Q_OBJECT

private slots:
    void quietDay_data();
    void quietDay();
    void unitAnswer_data();
    void unitAnswer();
    void seeds_data();
    void seeds();
    void episodeEvent_data();
    void episodeEvent();
    void eventCsv_data();
    void eventCsv();
    void cp1251_data();
    void cp1251();
    void utf8Validity_data();
    void utf8Validity();
    void passwords_data();
    void passwords();
};

void StandModelTest::quietDay_data() {
    QTest::addColumn<double>("measured");
    QTest::addColumn<double>("target");
    QTest::addColumn<double>("tolerance");
    const FrequencyStatistics &s = QuietDay();
    // Targets: a measured day of Continental Europe frequency; within 20 % (the mean within a tenth of the
    // spread, since the mean of a few days wanders that much).
    QTest::newRow("mean") << s.mean << 50.0025 << 0.0021;
    QTest::newRow("standard-deviation") << s.sd << 0.021 << 0.0042;
    QTest::newRow("one-second-change") << s.stepSd << 0.0015 << 0.0003;
    QTest::newRow("largest-one-second-change") << s.stepMax << 0.007 << 0.0014;
    QTest::newRow("autocorrelation-60s") << s.acf60 << 0.75 << 0.15;
    QTest::newRow("autocorrelation-300s") << s.acf300 << 0.28 << 0.056;
    // Beyond the dead band: 0.1-1 % of the time, as real days range.
    QTest::newRow("beyond-dead-band") << s.beyond75 << 0.0055 << 0.0045;
}

void StandModelTest::quietDay() {
    QFETCH(double, measured);
    QFETCH(double, target);
    QFETCH(double, tolerance);
    QVERIFY2(std::fabs(measured - target) <= tolerance,
             qPrintable(QStringLiteral("measured %1, target %2 ± %3").arg(measured).arg(target).arg(tolerance)));
}

void StandModelTest::unitAnswer_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<bool>("answers");
    // The demo's first station: unit 1 runs near its maximum only at the evening peak (this is the night),
    // unit 2 is sound, unit 3 has a slow governor.
    QTest::newRow("near-maximum-at-night-answers") << 0 << true;
    QTest::newRow("sound-unit-answers") << 1 << true;
    QTest::newRow("slow-governor-falls-short") << 2 << false;
}

// Through a dip of the demo: a sound unit gives at least 80 % of the power its droop asks within 30 s and
// is never flagged; a weak one is flagged and its episode reports the violation.
void StandModelTest::unitAnswer() {
    QFETCH(int, unit);
    QFETCH(bool, answers);
    const DemoLayout layout = MakeDemoLayout(3);
    const UnitSpec &spec = layout.stations[0].units[size_t(unit)];
    GridModel model(layout, 3, 300);
    const int64_t t0 = 1700000000;
    model.Reset(t0 - 600);
    std::vector<Sample> out;
    int64_t episodeStart = 0;
    int64_t lastOutside = 0;
    bool seenQuiet = false;
    std::deque<double> recent;
    int flagged = 0, answeredSeconds = 0, askedSeconds = 0, episodes = 0, quietSeconds = 0, quietWithCalc = 0;
    bool reported = false;
    int reportedViolation = -1;
    for (int64_t t = t0 - 600; t < t0 + 6 * 3600; ++t) {
        out.clear();
        model.Step(t, &out);
        const double dev = model.Frequency() - 50.0;
        double power = 0, calc = 0;
        int32_t flags = 0;
        for (const Sample &s : out) {
            if (s.measId == spec.powerId) {
                power = s.value;
                flags = s.state;
            }
            if (s.measId == spec.calcId)
                calc = s.value;
        }
        for (const EpisodeReport &r : model.EndedEpisodes()) {
            if (r.station == 0 && r.unit == unit && seenQuiet) {
                reported = true;
                reportedViolation = std::max(reportedViolation, r.violationSeconds);
            }
        }
        if (std::fabs(dev) > 0.075)
            lastOutside = t;
        if (t < t0)
            continue;
        // The required power is published only during an episode: never after a minute inside the band.
        if (t - lastOutside > 61) {
            ++quietSeconds;
            quietWithCalc += calc != 0.0 ? 1 : 0;
        }
        if (calc == 0.0) {
            seenQuiet = true;
            episodeStart = 0;
            recent.clear();
            continue;
        }
        if (!seenQuiet)
            continue; // an episode already under way at the start
        if (episodeStart == 0) {
            episodeStart = t;
            ++episodes;
        }
        flagged += (flags & kViolationBit) ? 1 : 0;
        const double effective = dev > 0.075 ? dev - 0.075 : (dev < -0.075 ? dev + 0.075 : 0);
        const double required = -(effective / 50.0) * (100.0 / spec.droopPercent) * spec.nominalMw;
        // Asked: the required power has stayed within 25 % for the last 30 s, so it must be given by now.
        recent.push_back(required);
        if (recent.size() > 31)
            recent.pop_front();
        bool steady = recent.size() == 31;
        for (double r : recent)
            steady = steady && std::fabs(r - required) <= 0.25 * std::fabs(required);
        if (steady && std::fabs(required) > 0.01 * spec.nominalMw) {
            ++askedSeconds;
            const double base = calc - required;
            answeredSeconds += (power - base) / required >= 0.8 ? 1 : 0;
        }
    }
    QVERIFY(episodes >= 2);
    QVERIFY(quietSeconds > 100);
    QCOMPARE(quietWithCalc, 0);
    QVERIFY(askedSeconds > 5);
    QVERIFY(reported);
    if (answers) {
        QCOMPARE(answeredSeconds, askedSeconds);
        QCOMPARE(flagged, 0);
        QCOMPARE(reportedViolation, 0);
    } else {
        // A slow governor catches up on a lasting offset; it falls short while the frequency falls.
        QVERIFY(flagged > 10);
        QVERIFY(reportedViolation > 10);
    }
}

void StandModelTest::seeds_data() {
    QTest::addColumn<quint64>("seedA");
    QTest::addColumn<quint64>("seedB");
    QTest::addColumn<bool>("same");
    QTest::newRow("same-seed") << quint64(5) << quint64(5) << true;
    QTest::newRow("other-seed") << quint64(5) << quint64(6) << false;
}

void StandModelTest::seeds() {
    QFETCH(quint64, seedA);
    QFETCH(quint64, seedB);
    QFETCH(bool, same);
    auto run = [](quint64 seed) {
        GridModel model(MakeDemoLayout(2), seed, 120);
        model.Reset(1700000000);
        std::vector<Sample> out;
        for (int64_t t = 1700000000; t < 1700000600; ++t)
            model.Step(t, &out);
        return out;
    };
    const std::vector<Sample> a = run(seedA), b = run(seedB);
    QCOMPARE(a.size(), b.size());
    bool equal = true;
    for (size_t i = 0; i < a.size(); ++i)
        equal = equal && a[i].measId == b[i].measId && a[i].time == b[i].time && a[i].value == b[i].value &&
                a[i].state == b[i].state;
    QCOMPARE(equal, same);
}

void StandModelTest::episodeEvent_data() {
    QTest::addColumn<int>("unit");
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("kwit");
    QTest::newRow("sound-unit") << 1 << 8304 << false;
    QTest::newRow("slow-governor") << 0 << 8303 << true;
}

// An ended episode becomes an event naming the unit, with every second of the episode (and half a minute
// before it) as CSV data in time order.
void StandModelTest::episodeEvent() {
    QFETCH(int, unit);
    QFETCH(int, code);
    QFETCH(bool, kwit);
    GridModel model(MakeDemoLayout(3), 2, 300);
    Simulator simulator(nullptr, nullptr, &model, 0, 0);
    const int64_t t0 = 1700000000;
    model.Reset(t0);
    std::vector<Sample> out;
    StoredEvent event;
    EpisodeReport report;
    for (int64_t t = t0; t < t0 + 1800 && event.code == 0; ++t) {
        out.clear();
        model.Step(t, &out);
        for (const EpisodeReport &r : model.EndedEpisodes()) {
            if (r.station == 1 && r.unit == unit && r.start > t0 + 60) {
                report = r;
                event = simulator.EpisodeEvent(r);
            }
        }
    }
    QCOMPARE(event.code, code);
    QCOMPARE(event.kwit, kwit);
    QCOMPARE(QString::fromStdString(event.caption), QString::fromUtf8("ТЭЦ-2 Энергоблок №%1").arg(unit + 1));
    QCOMPARE(event.time, double(report.end));
    // Object ids of the demo: station 1 and its three units, then station 2 (5) and its units.
    QCOMPARE(QString::fromStdString(event.obj), QString::number(6 + unit));
    const QStringList lines = QString::fromStdString(event.data).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), int(report.end - report.start + 31));
    QCOMPARE(lines.first(),
             QString::fromStdString(Simulator::CsvOf(model.History(1, unit, report.start - 30, report.start - 30)))
                 .trimmed());
    double farthest = 0;
    for (const QString &line : lines)
        farthest = std::max(farthest, std::fabs(line.section(';', 1, 1).toDouble() - 50));
    QVERIFY(farthest > 0.075); // the data shows the disturbance
}

void StandModelTest::eventCsv_data() {
    QTest::addColumn<qint64>("t");
    QTest::addColumn<double>("freq");
    QTest::addColumn<double>("power");
    QTest::addColumn<QString>("line");
    QTest::newRow("plain") << qint64(1709647629) << 50.012 << 123.5 << "05.03.2024 14:07:09;50.012;123.5\n";
    QTest::newRow("six-digits") << qint64(1709647629) << 49.98765432 << 1234567.8
                                << "05.03.2024 14:07:09;49.9877;1.23457e+06\n";
    QTest::newRow("utc-midnight") << qint64(1704067200) << 50.0 << 0.0 << "01.01.2024 00:00:00;50;0\n";
    QTest::newRow("negative-power") << qint64(1704067201) << 50.1 << -3.25 << "01.01.2024 00:00:01;50.1;-3.25\n";
}

void StandModelTest::eventCsv() {
    QFETCH(qint64, t);
    QFETCH(double, freq);
    QFETCH(double, power);
    QFETCH(QString, line);
    QCOMPARE(QString::fromStdString(Simulator::CsvOf({{t, freq, power}})), line);
    QCOMPARE(QString::fromStdString(Simulator::CsvOf({{t, freq, power}, {t, freq, power}})), line + line);
}

void StandModelTest::cp1251_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("ascii") << "Freq 50" << QByteArray("Freq 50");
    QTest::newRow("cyrillic") << QString::fromUtf8("Частота") << QByteArray("\xD7\xE0\xF1\xF2\xEE\xF2\xE0");
    QTest::newRow("yo") << QString::fromUtf8("ёЁ") << QByteArray("\xB8\xA8");
    QTest::newRow("numero-quotes") << QString::fromUtf8("№«»") << QByteArray("\xB9\xAB\xBB");
    QTest::newRow("not-in-cp1251") << QString::fromUtf8("a日b") << QByteArray("a?b");
    QTest::newRow("empty") << QString() << QByteArray();
}

void StandModelTest::cp1251() {
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const std::string out = Utf8ToCp1251(text.toStdString());
    QCOMPARE(QByteArray(out.data(), int(out.size())), bytes);
    if (!bytes.contains('?'))
        QCOMPARE(QString::fromStdString(Cp1251ToUtf8(bytes.toStdString())), text);
    // A client text in Windows-1251 is recognised as such.
    QCOMPARE(QString::fromStdString(ClientTextToUtf8(bytes.toStdString())),
             bytes.contains('?') ? QString::fromLatin1(bytes) : text);
}

void StandModelTest::utf8Validity_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<bool>("valid");
    QTest::newRow("ascii") << QByteArray("select 1") << true;
    QTest::newRow("cyrillic") << QString::fromUtf8("Энергоблок").toUtf8() << true;
    QTest::newRow("cp1251-cyrillic") << QByteArray("\xDD\xED\xE5\xF0\xE3\xEE") << false;
    QTest::newRow("truncated") << QByteArray("\xD0") << false;
    QTest::newRow("overlong-slash") << QByteArray("\xC0\xAF") << false;
    QTest::newRow("surrogate") << QByteArray("\xED\xA0\x80") << false;
    QTest::newRow("four-bytes") << QByteArray("\xF0\x9F\x98\x80") << true;
}

void StandModelTest::utf8Validity() {
    QFETCH(QByteArray, bytes);
    QFETCH(bool, valid);
    QCOMPARE(IsValidUtf8(bytes.toStdString()), valid);
}

void StandModelTest::passwords_data() {
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("typed");
    QTest::addColumn<bool>("match");
    QTest::newRow("same") << QByteArray("engineer") << QByteArray("engineer") << true;
    QTest::newRow("other") << QByteArray("engineer") << QByteArray("operator") << false;
    QTest::newRow("prefix") << QByteArray("engineer") << QByteArray("engine") << false;
    QTest::newRow("empty-typed") << QByteArray("engineer") << QByteArray() << false;
    QTest::newRow("cyrillic") << QString::fromUtf8("пароль").toUtf8() << QString::fromUtf8("пароль").toUtf8() << true;
}

void StandModelTest::passwords() {
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, typed);
    QFETCH(bool, match);
    const PasswordHash a = MakePasswordHash(stored.toStdString(), 1000);
    const PasswordHash b = MakePasswordHash(stored.toStdString(), 1000);
    QVERIFY(a.salt != b.salt); // salted: equal passwords give different hashes
    QVERIFY(a.hash != b.hash);
    QVERIFY(a.hash.find(stored.toStdString()) == std::string::npos || stored.isEmpty());
    QCOMPARE(CheckPassword(a, typed.toStdString()), match);
    QCOMPARE(CheckPassword(b, typed.toStdString()), match);
}

QTEST_GUILESS_MAIN(StandModelTest)
#include "stand_model_test.moc"
