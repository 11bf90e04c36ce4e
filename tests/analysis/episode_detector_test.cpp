#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "analysis/episode_detector.h"
#include "analysis/episode_monitor.h"
#include "synthetic_station.h"

Q_DECLARE_METATYPE(EpisodeVerdict)
Q_DECLARE_METATYPE(SyntheticStep)

namespace {

// One unit answering one long under-frequency step of -0.2 Hz (10 MW asked of a 200 MW, 5 % unit).
SyntheticStation OneStep(double deadTime, double tau) {
    SyntheticStation s;
    s.steps = {{200, 120, -0.2}};
    SyntheticUnit u;
    u.deadTime = deadTime;
    u.tau = tau;
    s.units = {u};
    return s;
}

void DropSamples(SampleSeries *series, double from, double to) {
    for (auto it = series->lowerBound(from); it != series->end() && it.key() < to;)
        it = series->erase(it);
}

} // namespace

class EpisodeDetectorTest : public QObject {
    Q_OBJECT

private slots:
    void ratios_data();
    void ratios();
    void boundaries_data();
    void boundaries();
    void missingData_data();
    void missingData();
    void stationFigures();
    void liveEpisode();
    void settingsSection();
    void monitorFollowsLive();
    void monitorProblem_data();
    void monitorProblem();
};

void EpisodeDetectorTest::ratios_data() {
    QTest::addColumn<double>("deadTime");
    QTest::addColumn<double>("tau");
    QTest::addColumn<EpisodeVerdict>("verdict");
    QTest::newRow("fast") << 1.0 << 5.0 << EpisodeVerdict::Met;
    QTest::newRow("moderate") << 0.0 << 12.0 << EpisodeVerdict::Met;
    QTest::newRow("short-at-30s") << 0.0 << 14.0 << EpisodeVerdict::NotMet;
    QTest::newRow("short-at-15s") << 2.5 << 20.0 << EpisodeVerdict::NotMet;
}

void EpisodeDetectorTest::ratios() {
    QFETCH(double, deadTime);
    QFETCH(double, tau);
    QFETCH(EpisodeVerdict, verdict);
    const SyntheticStation s = OneStep(deadTime, tau);
    const QVector<Episode> episodes = EpisodeDetector(EpisodeSettings()).Detect(s.Make(), false);
    QCOMPARE(episodes.size(), 1);
    const Episode &e = episodes[0];
    QCOMPARE(e.start, s.t0 + 200);
    QCOMPARE(e.end, s.t0 + 320);
    QCOMPARE(e.deviationMHz, -200.0);
    QVERIFY(!e.cut && !e.ongoing);
    QCOMPARE(e.units.size(), 1);
    const UnitEpisode &u = e.units[0];
    QCOMPARE(u.powerBefore, 150.0);
    QVERIFY(std::fabs(u.required - 10.0) < 0.1);
    auto expect = [&](double at) { return 1 - std::exp(-(at - deadTime) / tau); };
    QVERIFY2(std::fabs(u.ratio15 / expect(15) - 1) < 0.01, qPrintable(QString::number(u.ratio15)));
    QVERIFY2(std::fabs(u.ratio30 / expect(30) - 1) < 0.01, qPrintable(QString::number(u.ratio30)));
    QCOMPARE(u.verdict, verdict);
    QVERIFY(u.ratioB > u.ratio30 - 0.01);
}

void EpisodeDetectorTest::boundaries_data() {
    // Excursions as (start, length, deviation); the number of episodes and the first one's length.
    QTest::addColumn<QVector<SyntheticStep>>("steps");
    QTest::addColumn<int>("count");
    QTest::addColumn<double>("firstLength");
    QTest::newRow("quiet") << QVector<SyntheticStep>{{100, 100, 0.05}, {300, 50, -0.07}} << 0 << 0.0;
    QTest::newRow("on-the-band") << QVector<SyntheticStep>{{100, 60, -0.075}} << 0 << 0.0;
    QTest::newRow("just-beyond") << QVector<SyntheticStep>{{100, 60, 0.076}} << 1 << 60.0;
    QTest::newRow("beyond-asking-little") << QVector<SyntheticStep>{{100, 60, -0.08}} << 1 << 60.0;
    QTest::newRow("3s-kept") << QVector<SyntheticStep>{{100, 3, -0.1}} << 1 << 3.0;
    QTest::newRow("2s-dropped") << QVector<SyntheticStep>{{100, 2, -0.1}} << 0 << 0.0;
    QTest::newRow("9s-apart-merged") << QVector<SyntheticStep>{{100, 5, -0.1}, {114, 5, -0.1}} << 1 << 19.0;
    QTest::newRow("10s-apart-two") << QVector<SyntheticStep>{{100, 5, -0.1}, {115, 5, 0.1}} << 2 << 5.0;
    QTest::newRow("short-pieces-merged") << QVector<SyntheticStep>{{100, 1, -0.1}, {103, 1, -0.1}, {106, 1, -0.1}} << 1
                                         << 7.0;
}

void EpisodeDetectorTest::boundaries() {
    QFETCH(QVector<SyntheticStep>, steps);
    QFETCH(int, count);
    QFETCH(double, firstLength);
    SyntheticStation s;
    s.steps = steps;
    s.units = {SyntheticUnit()};
    const QVector<Episode> episodes = EpisodeDetector(EpisodeSettings()).Detect(s.Make(), false);
    QCOMPARE(episodes.size(), count);
    if (count > 0) {
        QCOMPARE(episodes[0].end - episodes[0].start, firstLength);
        QCOMPARE(episodes[0].start, s.t0 + steps[0].start);
        // 1 mHz or 5 mHz beyond the band asks 0.08 or 0.4 MW: too little to judge, so nothing fell short.
        if (std::fabs(steps[0].deviation) < 0.085) {
            QCOMPARE(episodes[0].units[0].verdict, EpisodeVerdict::Met);
            QVERIFY(std::isnan(episodes[0].units[0].ratio15));
            QCOMPARE(episodes[0].units[0].reason, QStringLiteral("требуемое изменение меньше 1 МВт"));
        }
    }
}

void EpisodeDetectorTest::missingData_data() {
    QTest::addColumn<QString>("fault");
    QTest::addColumn<double>("stepStart");
    QTest::addColumn<QString>("reason");
    QTest::newRow("power-hole-at-10s") << "power-hole" << 200.0 << "пропуски мощности";
    QTest::newRow("power-nan-at-20s") << "power-nan" << 200.0 << "пропуски мощности";
    QTest::newRow("no-calc-channel") << "no-calc" << 200.0 << "нет канала расчётной мощности";
    QTest::newRow("no-power-channel") << "no-power" << 200.0 << "нет канала мощности";
    QTest::newRow("calc-missing") << "calc-missing" << 200.0 << "нет расчётной мощности";
    QTest::newRow("began-before-span") << "" << 5.0 << "эпизод начался до начала периода";
    QTest::newRow("lasts-past-span") << "" << 560.0 << "эпизод обрезан краем периода";
    QTest::newRow("frequency-hole") << "frequency-hole" << 200.0 << "пропуски частоты";
}

void EpisodeDetectorTest::missingData() {
    QFETCH(QString, fault);
    QFETCH(double, stepStart);
    QFETCH(QString, reason);
    SyntheticStation s = OneStep(0.5, 5);
    s.steps[0].start = stepStart;
    StationSeries station = s.Make();
    UnitSeries &unit = station.units[0];
    const double start = s.t0 + stepStart;
    if (fault == QLatin1String("power-hole"))
        DropSamples(&unit.power, start + 8, start + 12);
    if (fault == QLatin1String("power-nan"))
        unit.power[start + 20].value = std::nan("");
    if (fault == QLatin1String("no-calc")) {
        unit.hasCalc = false;
        unit.calc.clear();
    }
    if (fault == QLatin1String("no-power")) {
        unit.hasPower = false;
        unit.power.clear();
    }
    if (fault == QLatin1String("calc-missing"))
        DropSamples(&unit.calc, start + 25, start + 35);
    if (fault == QLatin1String("frequency-hole"))
        DropSamples(&station.frequency, start + 5, start + 10);
    const QVector<Episode> episodes = EpisodeDetector(EpisodeSettings()).Detect(station, false);
    QCOMPARE(episodes.size(), 1);
    const UnitEpisode &u = episodes[0].units[0];
    QCOMPARE(u.verdict, EpisodeVerdict::NoData);
    QCOMPARE(u.reason, reason);
    // A ratio is never made of a hole.
    if (fault.startsWith(QLatin1String("power")))
        QVERIFY(std::isnan(u.ratio30) || std::isnan(u.ratio15));
}

void EpisodeDetectorTest::stationFigures() {
    SyntheticStation s = OneStep(0.5, 3);
    s.units.append(SyntheticUnit{300, 4, 0.5, 3, 200, true});
    StationSeries station = s.Make();
    // The second unit's violations flagged by the server over 7 distinct seconds.
    for (int i = 0; i < 7; ++i) {
        station.units[1].power[s.t0 + 210 + i].flags = Archive_Measures::ViolationFlag;
        station.units[1].calc[s.t0 + 210 + i].flags = Archive_Measures::ViolationFlag;
    }
    const QVector<Episode> episodes = EpisodeDetector(EpisodeSettings()).Detect(station, false);
    QCOMPARE(episodes.size(), 1);
    const Episode &e = episodes[0];
    QCOMPARE(e.frequencyA, 50.0);
    QCOMPARE(e.frequencyB, 49.8);
    QCOMPARE(e.units[0].violationSeconds, 0);
    QCOMPARE(e.units[1].violationSeconds, 7);
    // 10 MW + 18.75 MW answered for -0.2 Hz: 14.375 MW per 0.1 Hz.
    QVERIFY2(std::fabs(e.responseMwPer01Hz - 14.375) < 0.15, qPrintable(QString::number(e.responseMwPer01Hz)));

    // Frequency back at its level by B: no figure made of the units' drift.
    SyntheticStation brief = OneStep(0.5, 3);
    brief.steps[0].length = 10;
    QVERIFY(std::isnan(EpisodeDetector(EpisodeSettings()).Detect(brief.Make(), false)[0].responseMwPer01Hz));

    // A unit without data leaves the station's figure unknown rather than wrong.
    station.units[1].hasPower = false;
    station.units[1].power.clear();
    QVERIFY(std::isnan(EpisodeDetector(EpisodeSettings()).Detect(station, false)[0].responseMwPer01Hz));

    // No frequency, or only missing values: no episode.
    station.frequency.clear();
    QVERIFY(EpisodeDetector(EpisodeSettings()).Detect(station, false).isEmpty());
    for (double t = s.t0; t < s.t0 + 100; t += 1)
        station.frequency.insert(t, MeasurePoint{t, std::nan(""), 0});
    QVERIFY(EpisodeDetector(EpisodeSettings()).Detect(station, false).isEmpty());
}

void EpisodeDetectorTest::liveEpisode() {
    SyntheticStation s = OneStep(0.5, 5);
    s.steps[0].start = 500;
    s.seconds = 540; // the data ends 40 s into the excursion
    EpisodeDetector detector{EpisodeSettings()};
    const StationSeries station = s.Make();
    const QVector<Episode> live = detector.Detect(station, true);
    QCOMPARE(live.size(), 1);
    QVERIFY(live[0].ongoing && !live[0].cut && std::isnan(live[0].end));
    QCOMPARE(live[0].units[0].verdict, EpisodeVerdict::Met);
    QVERIFY(!detector.IsFinal(live[0], s.t0 + 539));
    // The same data as a period that ends there: the episode is cut.
    const QVector<Episode> period = detector.Detect(station, false);
    QVERIFY(period[0].cut);
    QCOMPARE(period[0].units[0].verdict, EpisodeVerdict::NoData);
    // 20 s in, the 30 s check is still to come.
    s.seconds = 520;
    const QVector<Episode> early = detector.Detect(s.Make(), true);
    QCOMPARE(early[0].units[0].verdict, EpisodeVerdict::NoData);
    QCOMPARE(early[0].units[0].reason, QStringLiteral("ожидание данных"));
    // Detection resumed from a quiet moment before it finds the same episode.
    const QVector<Episode> resumed = detector.Detect(station, true, s.t0 + 300);
    QCOMPARE(resumed.size(), 1);
    QCOMPARE(resumed[0].start, live[0].start);
}

void EpisodeDetectorTest::settingsSection() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("dedur.ini"));
    {
        QSettings ini(path, QSettings::IniFormat);
        ini.setValue(QStringLiteral("SERVER_NAME"), QStringLiteral("host"));
        ini.setValue(QStringLiteral("Episodes/RATIO_30S"), QStringLiteral("0,8"));
        ini.setValue(QStringLiteral("Episodes/DEAD_BAND_HZ"), QStringLiteral("много"));
    }
    const EpisodeSettings loaded = EpisodeSettings::Load(path);
    QCOMPARE(loaded.ratio30, 0.8);
    QCOMPARE(loaded.deadBandHz, 0.075); // not a number: the default, the text left for the user to see
    QCOMPARE(loaded.ratio15, 0.5);
    QSettings ini(path, QSettings::IniFormat);
    QCOMPARE(ini.value(QStringLiteral("SERVER_NAME")).toString(), QStringLiteral("host"));
    QCOMPARE(ini.value(QStringLiteral("Episodes/DEAD_BAND_HZ")).toString(), QStringLiteral("много"));
    QCOMPARE(ini.value(QStringLiteral("Episodes/RATIO_15S")).toDouble(), 0.5);
    QCOMPARE(ini.value(QStringLiteral("Episodes/MIN_REQUIRED_MW")).toDouble(), 1.0);
    QVERIFY(ini.childGroups().contains(QStringLiteral("Episodes")));
}

void EpisodeDetectorTest::monitorFollowsLive() {
    // Three excursions, two of them close enough to merge, and a short one that a later one joins.
    SyntheticStation s;
    s.seconds = 900;
    s.steps = {{100, 40, -0.2}, {200, 2, 0.1}, {208, 30, 0.15}, {400, 120, -0.12}, {700, 1, -0.1}};
    s.units = {SyntheticUnit(), SyntheticUnit{300, 4, 2.5, 20, 200, true}};
    const StationSeries whole = s.Make();
    EpisodeMonitor monitor;
    StationSeries empty = whole;
    empty.frequency.clear();
    for (UnitSeries &u : empty.units)
        u.power.clear(), u.calc.clear();
    monitor.SetSeries({empty}, true);
    int changesAfterFinal = 0;
    QVector<Episode> seen;
    for (double t = s.t0; t < s.t0 + s.seconds; t += 1) {
        auto one = [t](const SampleSeries &from) {
            SampleSeries x;
            x.insert(t, from.value(t));
            return x;
        };
        monitor.Append(0, one(whole.frequency), {one(whole.units[0].power), one(whole.units[1].power)},
                       {one(whole.units[0].calc), one(whole.units[1].calc)}, s.t0, t);
        const QVector<Episode> now = monitor.Episodes();
        // A finished episode's row never changes afterwards.
        for (int i = 0; i < seen.size() && i < now.size(); ++i)
            if (EpisodeDetector(EpisodeSettings()).IsFinal(seen[i], t - 1) &&
                (seen[i].start != now[i].start || seen[i].units[1].ratio30 != now[i].units[1].ratio30))
                ++changesAfterFinal;
        seen = now;
    }
    QCOMPARE(changesAfterFinal, 0);
    const QVector<Episode> batch = EpisodeDetector(EpisodeSettings()).Detect(whole, true);
    QCOMPARE(seen.size(), 3);
    QCOMPARE(seen.size(), batch.size());
    for (int i = 0; i < batch.size(); ++i) {
        QCOMPARE(seen[i].start, batch[i].start);
        QCOMPARE(seen[i].end, batch[i].end);
        for (int u = 0; u < 2; ++u) {
            QCOMPARE(seen[i].units[u].verdict, batch[i].units[u].verdict);
            QCOMPARE(seen[i].units[u].ratio30, batch[i].units[u].ratio30);
        }
    }
    QCOMPARE(seen[1].start, s.t0 + 200);
    QCOMPARE(seen[0].units[0].verdict, EpisodeVerdict::Met);
    QCOMPARE(seen[0].units[1].verdict, EpisodeVerdict::NotMet);
}

void EpisodeDetectorTest::monitorProblem_data() {
    QTest::addColumn<QString>("frequency");
    QTest::addColumn<QString>("problem");
    QTest::newRow("no-station") << "none"
                                << "Эпизоды ОПРЧ: нет станций с каналом частоты";
    QTest::newRow("no-channel") << "absent"
                                << "Эпизоды ОПРЧ: «Станция»: нет канала частоты";
    QTest::newRow("all-missing") << "nan"
                                 << "Эпизоды ОПРЧ: «Станция»: нет значений частоты за период";
    QTest::newRow("fine") << "values"
                          << "";
}

void EpisodeDetectorTest::monitorProblem() {
    QFETCH(QString, frequency);
    QFETCH(QString, problem);
    SyntheticStation s = OneStep(0.5, 5);
    StationSeries station = s.Make();
    if (frequency == QLatin1String("absent")) {
        station.hasFrequency = false;
        station.frequency.clear();
    }
    if (frequency == QLatin1String("nan"))
        for (MeasurePoint &p : station.frequency)
            p.value = std::nan("");
    EpisodeMonitor monitor;
    if (frequency != QLatin1String("none"))
        monitor.SetSeries({station}, false);
    QCOMPARE(monitor.Problem(), problem);
    QCOMPARE(monitor.Episodes().size(), frequency == QLatin1String("values") ? 1 : 0);
}

QTEST_GUILESS_MAIN(EpisodeDetectorTest)
#include "episode_detector_test.moc"
