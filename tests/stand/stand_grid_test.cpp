// The stand's grid and units: the default day against a real day, disturbances as a random process, a
// recorded frequency replayed and refused, units that fall short by their physics, and a trainer's
// change of a unit's stored settings while the stand runs.
#include "stand/frequency_recording.h"
#include "stand/frequency_statistics.h"
#include "stand/grid_model.h"
#include "stand/simulator.h"
#include "stand/stand_database.h"
#include "stand_client.h"
#include "stand_process.h"
#include "stand_sql.h"

#include <QtTest>

#include <sqlite3.h>

#include <cmath>
#include <cstring>

using namespace stand;

namespace {

QVariant Query(const QString &path, const QString &sql) {
    QVariant result;
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, sql.toUtf8().constData(), -1, &stmt, nullptr) == SQLITE_OK &&
        sqlite3_step(stmt) == SQLITE_ROW)
        result = sqlite3_column_type(stmt, 0) == SQLITE_NULL ? QVariant() : QVariant(sqlite3_column_double(stmt, 0));
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    return result;
}

// The demo's day of backfill with the default options and seed 1, as the stand writes it.
const FrequencyStatistics &DefaultDay() {
    static FrequencyStatistics stats;
    static bool done = false;
    if (done)
        return stats;
    done = true;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("day.sqlite"));
    {
        GridModel model(MakeDemoLayout(3), 1, 0);
        StandDatabase db;
        bool created = false;
        std::string error;
        // A fixed day, so the figures do not depend on when the test runs.
        if (!db.Open(path.toStdString(), model.Layout(), &model, 24, &created, &error, 1733788799))
            qFatal("backfill failed: %s", error.c_str());
    }
    std::vector<double> hz;
    sqlite3 *db = nullptr;
    sqlite3_stmt *stmt = nullptr;
    sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr);
    if (sqlite3_prepare_v2(db, "SELECT value FROM Archive WHERE meas_id = 10001 ORDER BY time", -1, &stmt, nullptr) ==
        SQLITE_OK) {
        while (sqlite3_step(stmt) == SQLITE_ROW)
            hz.push_back(sqlite3_column_double(stmt, 0));
    }
    sqlite3_finalize(stmt);
    sqlite3_close(db);
    if (hz.size() != 86400)
        qFatal("the backfill holds %d seconds", int(hz.size()));
    stats = ComputeFrequencyStatistics(hz);
    return stats;
}

// Seconds of a recording played into the model from t0: `quiet` seconds at 50 Hz, then `hz`.
std::shared_ptr<FrequencyRecording> Plateau(int quiet, int seconds, double hz) {
    std::string text;
    for (int i = 0; i < quiet + seconds; ++i)
        text += i < quiet ? "50.0\n" : std::to_string(hz) + "\n";
    auto recording = std::make_shared<FrequencyRecording>();
    std::string error;
    if (!recording->Parse(text, &error))
        qFatal("%s", error.c_str());
    return recording;
}

QString WriteFile(const QTemporaryDir &dir, const QString &name, const QByteArray &content) {
    const QString path = dir.filePath(name);
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly) || out.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

} // namespace

class StandGridTest : public QObject {
    Q_OBJECT

private slots:
    void defaultDay_data();
    void defaultDay();
    void disturbances_data();
    void disturbances();
    void disturbanceShape();
    void recordingLines_data();
    void recordingLines();
    void unitPhysics_data();
    void unitPhysics();
    void storedSettings_data();
    void storedSettings();
    void replayComesBack();
    void fileWithoutValidLineRefused();
    void governorSwitchedOffWhileRunning();
    void cachedSpansReadAsStored_data();
    void cachedSpansReadAsStored();
};

void StandGridTest::defaultDay_data() {
    QTest::addColumn<double>("measured");
    QTest::addColumn<double>("low");
    QTest::addColumn<double>("high");
    const FrequencyStatistics &s = DefaultDay();
    // A measured day of Continental Europe frequency, within 20 %.
    QTest::newRow("standard-deviation") << s.sd << 0.021 * 0.8 << 0.021 * 1.2;
    QTest::newRow("one-second-change") << s.stepSd << 0.0015 * 0.8 << 0.0015 * 1.2;
    QTest::newRow("autocorrelation-60s") << s.acf60 << 0.75 * 0.8 << 0.75 * 1.2;
    QTest::newRow("autocorrelation-300s") << s.acf300 << 0.28 * 0.8 << 0.28 * 1.2;
    QTest::newRow("beyond-dead-band") << s.beyond75 << 0.001 << 0.01;
    QTest::newRow("mean") << s.mean << 49.995 << 50.005;
}

void StandGridTest::defaultDay() {
    QFETCH(double, measured);
    QFETCH(double, low);
    QFETCH(double, high);
    QVERIFY2(measured >= low && measured <= high,
             qPrintable(QStringLiteral("measured %1, expected %2..%3").arg(measured).arg(low).arg(high)));
}

void StandGridTest::disturbances_data() {
    QTest::addColumn<int>("meanInterval");
    QTest::addColumn<quint64>("seed");
    QTest::newRow("every-2-minutes") << 120 << quint64(1);
    QTest::newRow("every-10-minutes") << 600 << quint64(2);
    QTest::newRow("every-hour") << 3600 << quint64(3);
}

// Start times spread over the whole minute with exponential gaps; sizes 80-300 mHz, small ones more
// frequent; both under- and over-frequency.
void StandGridTest::disturbances() {
    QFETCH(int, meanInterval);
    QFETCH(quint64, seed);
    GridModel model(MakeDemoLayout(1), seed, meanInterval);
    const int64_t t0 = 1733702400;
    const std::vector<Disturbance> events = model.DisturbancesBetween(t0, t0 + int64_t(meanInterval) * 3000);
    QVERIFY2(events.size() > 2500 && events.size() < 3500, qPrintable(QString::number(events.size())));
    int bins[6] = {};
    int small = 0, large = 0, under = 0, over = 0;
    double gapSum = 0, gapSquares = 0;
    for (size_t i = 0; i < events.size(); ++i) {
        const Disturbance &d = events[i];
        ++bins[(d.start % 60) / 10];
        const double size = std::fabs(d.nadirHz);
        QVERIFY(size >= 0.08 && size <= 0.3);
        small += size < 0.15 ? 1 : 0;
        large += size >= 0.15 ? 1 : 0;
        (d.nadirHz < 0 ? under : over) += 1;
        if (i > 0) {
            const double gap = double(d.start - events[i - 1].start);
            QVERIFY(gap > 0);
            gapSum += gap;
            gapSquares += gap * gap;
        }
    }
    for (int bin : bins) {
        const double share = double(bin) / double(events.size());
        QVERIFY2(share > 0.12 && share < 0.21, qPrintable(QStringLiteral("share of a 10-s bin %1").arg(share)));
    }
    const double gaps = double(events.size() - 1);
    const double mean = gapSum / gaps;
    const double sd = std::sqrt(gapSquares / gaps - mean * mean);
    QVERIFY2(std::fabs(mean - meanInterval) < 0.1 * meanInterval, qPrintable(QString::number(mean)));
    // Exponential gaps: the spread equals the mean (a schedule would have none).
    QVERIFY2(sd > 0.8 * mean && sd < 1.2 * mean, qPrintable(QString::number(sd / mean)));
    QVERIFY(small > 1.5 * large);
    QVERIFY(under > over && over > int(events.size()) / 5);
}

// Fall to the nadir in 5-10 s, arrested at a quasi-steady offset, restored within 5-15 minutes.
void StandGridTest::disturbanceShape() {
    GridModel model(MakeDemoLayout(1), 9, 600);
    const std::vector<Disturbance> events = model.DisturbancesBetween(1733702400, 1733702400 + 86400);
    QVERIFY(events.size() > 50);
    for (const Disturbance &d : events) {
        int64_t nadirAt = d.start;
        for (int64_t t = d.start; t < d.start + 60; ++t) {
            if (std::fabs(d.At(t)) > std::fabs(d.At(nadirAt)))
                nadirAt = t;
        }
        QVERIFY2(nadirAt - d.start >= 4 && nadirAt - d.start <= 10, qPrintable(QString::number(nadirAt - d.start)));
        QVERIFY(std::fabs(d.At(nadirAt)) > 0.95 * std::fabs(d.nadirHz));
        const double arrested = d.At(nadirAt + 30) / d.nadirHz;
        QVERIFY2(arrested > 0.35 && arrested < 0.8, qPrintable(QString::number(arrested)));
        int64_t back = nadirAt;
        while (std::fabs(d.At(back)) > 0.1 * std::fabs(d.nadirHz))
            ++back;
        QVERIFY2(back - d.start >= 180 && back - d.start <= 900, qPrintable(QString::number(back - d.start)));
        QCOMPARE(d.At(d.End() + 1), 0.0);
    }
}

void StandGridTest::recordingLines_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("seconds");
    QTest::addColumn<int>("bad");
    QTest::addColumn<qint64>("origin");
    QTest::addColumn<double>("first");
    QTest::newRow("values") << "50.01\n49.99\r\n\n50,02\n" << true << 3 << 0 << qint64(0) << 50.01;
    QTest::newRow("clock-times") << "05.03.2024 14:07:09;50.012\n05.03.2024 14:07:10;49.998\n"
                                 << true << 2 << 0 << qint64(1709647629) << 50.012;
    QTest::newRow("epoch-seconds-gap-held") << "1709647629;50.01\n1709647631;50.03\n"
                                            << true << 3 << 0 << qint64(1709647629) << 50.01;
    QTest::newRow("client-csv-three-fields") << "05.03.2024 14:07:09;50.012;123.5\n"
                                             << true << 1 << 0 << qint64(1709647629) << 50.012;
    QTest::newRow("bad-lines-counted")
        << "time;Hz\n05.03.2024 14:07:09;50.012\nabc\n05.03.2024 14:07:10;\n05.03.2024 14:07:08;50\n"
           "05.03.2024 14:07:11;70\n50.0\n31.02.2024 10:00:00;50\n05.03.2024 14:07:12;49,9;1\n"
        << true << 4 << 7 << qint64(1709647629) << 50.012;
    QTest::newRow("values-with-bad") << "Hz\n50.1\n\n-\n1e400\n49.9\n" << true << 2 << 3 << qint64(0) << 50.1;
    QTest::newRow("nothing-valid") << "time;Hz\nabc\n60\n" << false << 0 << 3 << qint64(0) << 0.0;
    QTest::newRow("empty") << "" << false << 0 << 0 << qint64(0) << 0.0;
}

void StandGridTest::recordingLines() {
    QFETCH(QString, text);
    QFETCH(bool, valid);
    QFETCH(int, seconds);
    QFETCH(int, bad);
    QFETCH(qint64, origin);
    QFETCH(double, first);
    FrequencyRecording recording;
    std::string error;
    QCOMPARE(recording.Parse(text.toStdString(), &error), valid);
    QCOMPARE(recording.BadLines(), bad);
    if (!valid) {
        QVERIFY(QString::fromStdString(error).contains(QLatin1String("not a single valid line")));
        return;
    }
    QCOMPARE(int(recording.Size()), seconds);
    QCOMPARE(recording.Origin(), origin);
    // Looping: the first value comes back once per length of the recording.
    QCOMPARE(recording.At(origin), first);
    QCOMPARE(recording.At(origin + 5 * seconds), first);
    QCOMPARE(recording.At(origin - seconds), first);
}

void StandGridTest::unitPhysics_data() {
    QTest::addColumn<double>("hz");
    QTest::addColumn<QString>("change");
    QTest::addColumn<bool>("flagged");
    QTest::newRow("sound-under-frequency") << 49.8 << "" << false;
    QTest::newRow("sound-over-frequency") << 50.2 << "" << false;
    QTest::newRow("at-maximum-under-frequency") << 49.8 << "maximum" << true;
    QTest::newRow("at-maximum-over-frequency") << 50.2 << "maximum" << false;
    QTest::newRow("at-minimum-over-frequency") << 50.2 << "minimum" << true;
    QTest::newRow("governor-off-under-frequency") << 49.8 << "off" << true;
    QTest::newRow("governor-off-over-frequency") << 50.2 << "off" << true;
    QTest::newRow("ramp-limited") << 49.8 << "ramp" << true;
    QTest::newRow("slow-governor") << 49.8 << "slow" << true;
    QTest::newRow("long-dead-time") << 49.8 << "dead-time" << true;
    QTest::newRow("small-deviation-within-band") << 49.95 << "off" << false;
}

// A sound unit of the demo (ГРЭС-1 unit 2) answering a lasting offset, as is and with one of its physics
// changed: violations come from what the unit can do, never from its number.
void StandGridTest::unitPhysics() {
    QFETCH(double, hz);
    QFETCH(QString, change);
    QFETCH(bool, flagged);
    GridModel model(MakeDemoLayout(3), 4, 0);
    model.SetRecording(Plateau(300, 900, hz));
    const int64_t t0 = 1733702400; // midnight UTC: the recording's first value
    UnitParams params = model.Params(0, 1);
    const double setPoint = model.ScheduledMw(0, 1, t0);
    if (change == "maximum")
        params.physics.maxMw = setPoint - 0.05 * params.nominalMw;
    else if (change == "minimum")
        params.physics.minMw = setPoint + 0.05 * params.nominalMw;
    else if (change == "off")
        params.physics.governorOn = false;
    else if (change == "ramp")
        params.physics.rampMwPerSec = 0.002 * params.nominalMw;
    else if (change == "slow")
        params.physics.timeConstantSec = 40;
    else if (change == "dead-time")
        params.physics.deadTimeSec = 8;
    model.SetParams(0, 1, params);
    model.Reset(t0);
    const int powerId = model.Layout().stations[0].units[1].powerId;
    const int calcId = model.Layout().stations[0].units[1].calcId;
    std::vector<Sample> out;
    int flaggedSeconds = 0, calcSeconds = 0, reported = -1;
    for (int64_t t = t0; t < t0 + 1300; ++t) {
        out.clear();
        model.Step(t, &out);
        for (const Sample &s : out) {
            if (s.measId == powerId)
                flaggedSeconds += (s.state & kViolationBit) ? 1 : 0;
            if (s.measId == calcId && s.value != 0)
                ++calcSeconds;
        }
        for (const EpisodeReport &r : model.EndedEpisodes()) {
            if (r.station == 0 && r.unit == 1)
                reported = r.violationSeconds;
        }
    }
    if (std::fabs(hz - 50) > 0.075) {
        QVERIFY(calcSeconds >= 900);
        QCOMPARE(reported, flaggedSeconds); // the episode's event tells the same
    } else {
        QCOMPARE(calcSeconds, 0);
    }
    QCOMPARE(flaggedSeconds > 0, flagged);
    if (flagged && change != "slow" && change != "dead-time" && change != "ramp")
        QVERIFY2(flaggedSeconds > 800, qPrintable(QString::number(flaggedSeconds))); // short all along
}

void StandGridTest::storedSettings_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("timeConstant");
    QTest::addColumn<double>("droop");
    QTest::addColumn<bool>("governor");
    QTest::newRow("comma-decimal") << "TimeConstant"
                                   << "12,5" << 12.5 << 5.0 << true;
    QTest::newRow("point-decimal") << "TimeConstant"
                                   << "7.25" << 7.25 << 5.0 << true;
    QTest::newRow("garbage-kept") << "TimeConstant"
                                  << "slow" << 8.0 << 5.0 << true;
    QTest::newRow("trailing-garbage-kept") << "TimeConstant"
                                           << "9s" << 8.0 << 5.0 << true;
    QTest::newRow("empty-kept") << "TimeConstant"
                                << "" << 8.0 << 5.0 << true;
    QTest::newRow("zero-droop-kept") << "Droop"
                                     << "0" << 8.0 << 5.0 << true;
    QTest::newRow("droop") << "Droop"
                           << "4.5" << 8.0 << 4.5 << true;
    QTest::newRow("governor-off") << "Governor"
                                  << "0" << 8.0 << 5.0 << false;
    QTest::newRow("governor-bad-kept") << "Governor"
                                       << "2" << 8.0 << 5.0 << true;
}

// A trainer's text in a stored setting: what can be read is taken, anything else keeps the unit as it was.
void StandGridTest::storedSettings() {
    QFETCH(QString, key);
    QFETCH(QString, text);
    QFETCH(double, timeConstant);
    QFETCH(double, droop);
    QFETCH(bool, governor);
    UnitParams params;
    params.physics.timeConstantSec = 8;
    Simulator::ApplySettings({{key.toStdString(), text.toStdString()}, {"Note", "x"}}, &params);
    QCOMPARE(params.physics.timeConstantSec, timeConstant);
    QCOMPARE(params.droopPercent, droop);
    QCOMPARE(params.physics.governorOn, governor);
}

// A recording replayed by the stand comes back out of MEAS_READ2 second for second, at its place on the
// clock; the bad lines are counted at start.
void StandGridTest::replayComesBack() {
    QTemporaryDir dir;
    const int length = 997; // not a divisor of anything the stand does
    const qint64 origin = 1709647629;
    QByteArray content = "time;Hz\n";
    for (int i = 0; i < length; ++i) {
        const QDateTime at = QDateTime::fromSecsSinceEpoch(origin + i, Qt::UTC);
        content += QStringLiteral("%1;%2\n")
                       .arg(at.toString(QStringLiteral("dd.MM.yyyy hh:mm:ss")))
                       .arg(50.0 + 0.09 * std::sin(i / 17.0) + i * 1e-6, 0, 'f', 6)
                       .toUtf8();
        if (i == 500)
            content += "garbage\n";
    }
    const QString file = WriteFile(dir, QStringLiteral("freq.csv"), content);
    FrequencyRecording recording;
    std::string error;
    QVERIFY(recording.Load(file.toStdString(), &error));
    QCOMPARE(recording.BadLines(), 2);

    StandProcess stand;
    QVERIFY2(stand.Start({"--frequency-file", file, "--backfill-hours", "1", "--no-sim"}), qPrintable(stand.Error()));
    QVERIFY2(stand.Output().contains(QLatin1String("997 s of frequency, 2 bad lines skipped")),
             qPrintable(stand.Output()));
    StartTlx();
    StandClient client;
    QCOMPARE(client.Open(stand.Port(), "operator", "operator"), 0);
    const double end = Query(stand.DatabasePath(), "select max(time) from Archive where meas_id = 10001").toDouble();
    for (int measId : {10001, 20001}) {
        Param reply = client.Request("MEAS_READ2", [&](TLXCliParam *p) {
            TLXPrmSetInt32(p, 0, measId);
            TLXPrmSetDouble(p, 1, end - 2999);
            TLXPrmSetDouble(p, 2, end);
        });
        QVERIFY(reply);
        const QByteArray block = FieldBytes(reply.get(), 0);
        QCOMPARE(block.size(), 21 + 29 * 3000);
        for (int i = 0; i < 3000; ++i) {
            double time = 0, value = 0;
            std::memcpy(&time, block.constData() + 21 + 29 * i + 13, 8);
            std::memcpy(&value, block.constData() + 21 + 29 * i + 21, 8);
            QCOMPARE(value, recording.At(int64_t(time)));
        }
    }
}

void StandGridTest::fileWithoutValidLineRefused() {
    QTemporaryDir dir;
    const QString file = WriteFile(dir, QStringLiteral("bad.csv"), "time;Hz\nyesterday;fifty\n");
    StandProcess stand;
    QVERIFY(!stand.Start({"--frequency-file", file, "--backfill-hours", "0"}));
    QVERIFY2(stand.Error().contains(QLatin1String("not a single valid line")), qPrintable(stand.Error()));
    QVERIFY(!QFile::exists(stand.DatabasePath())); // refused before anything was made

    StandProcess missing;
    QVERIFY(!missing.Start({"--frequency-file", dir.filePath(QStringLiteral("none.csv")), "--backfill-hours", "0"}));
    QVERIFY2(missing.Error().contains(QLatin1String("cannot read the frequency file")), qPrintable(missing.Error()));
}

// A trainer switches a sound unit's governor off with a plain SQL update of its stored setting while the
// stand runs; within seconds the unit is flagged, and switched on again it answers.
void StandGridTest::governorSwitchedOffWhileRunning() {
    QTemporaryDir dir;
    const QString file = WriteFile(dir, QStringLiteral("low.csv"), "49.8\n");
    StandProcess stand;
    QVERIFY2(stand.Start({"--frequency-file", file, "--backfill-hours", "0.02"}), qPrintable(stand.Error()));
    const QString db = stand.DatabasePath();
    // ГРЭС-1 unit 2 (object 3, power 11002) is sound.
    const QString newest = QStringLiteral("select state from Archive where meas_id = 11002 and time = "
                                          "(select max(time) from Archive where meas_id = 11002)");
    const double started = QDateTime::currentSecsSinceEpoch();
    QTRY_VERIFY_WITH_TIMEOUT(Query(db, "select max(time) from Archive where meas_id = 11002").toDouble() >= started + 1,
                             20000);
    QCOMPARE(int(Query(db, newest).toDouble()) & kViolationBit, 0);

    const QString setGovernor = QStringLiteral(
        "UPDATE T_DEDUR_DATA SET DEDUR_DATA_VALUE = '%1' WHERE DEDUR_DATA_OBJ = 3 AND DEDUR_DATA_SETTINGS = "
        "(SELECT DEDUR_SETTINGS_ID FROM T_DEDUR_SETTINGS WHERE DEDUR_SETTINGS_KEY = 'Governor' AND "
        "DEDUR_SETTINGS_TYPE = 7)");
    QString error;
    QVERIFY2(RunSql(db, setGovernor.arg(0), &error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(int(Query(db, newest).toDouble()) & kViolationBit, 60000);
    QVERIFY2(RunSql(db, setGovernor.arg(1), &error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT((int(Query(db, newest).toDouble()) & kViolationBit) == 0, 60000);
}

void StandGridTest::cachedSpansReadAsStored_data() {
    QTest::addColumn<double>("from"); // seconds after the first stored hour began
    QTest::addColumn<double>("to");
    QTest::newRow("whole-hours-to-on-an-hour-start") << 0.0 << 3 * 3600.0;
    QTest::newRow("parts-of-hours-at-both-ends") << 17.5 << 4 * 3600.0 + 100;
    QTest::newRow("past-the-newest-sample") << 1800.0 << 9 * 3600.0;
    QTest::newRow("before-the-first-sample") << -7200.5 << 2 * 3600.0 - 1;
    QTest::newRow("under-an-hour") << 3000.0 << 5000.0;
    QTest::newRow("one-second-past-an-hour") << 3600.0 << 7201.0;
}

// A span read gives the same block whether finished hours come from the cache or from SQLite, and an
// hour written again is read as written.
void StandGridTest::cachedSpansReadAsStored() {
    QFETCH(double, from);
    QFETCH(double, to);
    static QTemporaryDir dir;
    static const QString path = dir.filePath(QStringLiteral("cache.sqlite"));
    const double first = 1733767200; // an hour start; six hours are stored from it
    GridModel model(MakeDemoLayout(1), 1, 0);
    StandDatabase db;
    bool created = false;
    std::string error;
    QVERIFY2(db.Open(path.toStdString(), model.Layout(), &model, 6, &created, &error, int64_t(first) + 6 * 3600 - 1),
             error.c_str());
    std::string stored, missed, cached;
    db.SetArchiveCacheBytes(0);
    QVERIFY(db.ReadSpan(10001, first + from, first + to, &stored));
    db.SetArchiveCacheBytes(size_t(64) << 20);
    QVERIFY(db.ReadSpan(10001, first + from, first + to, &missed));
    QVERIFY(db.ReadSpan(10001, first + from, first + to, &cached));
    QVERIFY(stored.size() > 21);
    QCOMPARE(missed.size(), stored.size());
    QVERIFY(missed == stored);
    QVERIFY(cached == stored);

    // A sample written into a held hour replaces what the cache had.
    const double rewritten = first + 3600 + 10;
    db.AppendSamples({Sample{10001, rewritten, 51.25, 0}});
    QVERIFY(db.ReadSpan(10001, first, first + 3 * 3600, &cached));
    bool seen = false;
    for (size_t at = 21; at + 29 <= cached.size(); at += 29) {
        double time = 0, value = 0;
        std::memcpy(&time, cached.data() + at + 13, 8);
        std::memcpy(&value, cached.data() + at + 21, 8);
        seen = seen || (time == rewritten && value == 51.25);
    }
    QVERIFY(seen);
}

QTEST_GUILESS_MAIN(StandGridTest)
#include "stand_grid_test.moc"
