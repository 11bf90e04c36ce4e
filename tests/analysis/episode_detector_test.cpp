#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

#include "analysis/episode_detector.h"
#include "analysis/episode_monitor.h"
#include "synthetic_station.h"

Q_DECLARE_METATYPE(EpisodeVerdict)
Q_DECLARE_METATYPE(SyntheticStep)
Q_DECLARE_METATYPE(EpisodeKind)

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
    void verdicts_data();
    void verdicts();
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
    // The droop the answer shows over B: the set 5 % over the share given by then.
    QCOMPARE(u.setDroop, 5.0);
    QVERIFY2(std::fabs(u.achievedDroop - 5.0 / u.ratioB) < 0.05, qPrintable(QString::number(u.achievedDroop)));
    QVERIFY(e.baseline.isEmpty());
    QCOMPARE(e.kind, EpisodeKind::Step);
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
        // 1 mHz or 5 mHz beyond the band asks 0.08 or 0.4 MW, under 1 % of the unit's 200 MW: not judged,
        // and not counted as met either.
        if (std::fabs(steps[0].deviation) < 0.085) {
            QCOMPARE(episodes[0].units[0].verdict, EpisodeVerdict::NotJudged);
            QVERIFY(std::isnan(episodes[0].units[0].ratio15));
            QCOMPARE(episodes[0].units[0].reason, QStringLiteral("требуемое изменение меньше 2 МВт"));
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
    // 19 s into the episode the span ends: the 30 s check is outside the data.
    QTest::newRow("lasts-past-span") << "" << 580.0 << "эпизод обрезан краем периода";
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

void EpisodeDetectorTest::verdicts_data() {
    // A scenario played on one unit (200 MW, 5 %, 150 MW before) and what it must get.
    QTest::addColumn<QString>("scenario");
    QTest::addColumn<EpisodeVerdict>("verdict");
    QTest::addColumn<QString>("reason");
    QTest::newRow("drift-then-step") << "drift-then-step" << EpisodeVerdict::Met << "";
    QTest::newRow("slow-drift-held") << "drift" << EpisodeVerdict::Met << "";
    QTest::newRow("slow-drift-not-held") << "drift-idle" << EpisodeVerdict::NotMet << "удержано меньше 90 %";
    QTest::newRow("step-after-tail") << "after-tail" << EpisodeVerdict::Met << "";
    QTest::newRow("no-clean-window") << "no-clean-window" << EpisodeVerdict::NoData << "нечистое начало";
    QTest::newRow("at-maximum") << "at-maximum" << EpisodeVerdict::Limited << "резерв 3.0 МВт";
    QTest::newRow("at-maximum-short") << "at-maximum-short" << EpisodeVerdict::NotMet << "через 15 с меньше 50 %";
    QTest::newRow("no-reserve") << "no-reserve" << EpisodeVerdict::Limited << "резерв 0.5 МВт";
    QTest::newRow("answers-and-withdraws") << "withdraws" << EpisodeVerdict::NotMet << "отклик не удержан";
    QTest::newRow("ramping-on-schedule") << "ramping" << EpisodeVerdict::Met << "";
    QTest::newRow("cut-40s-at-9-percent") << "cut-9" << EpisodeVerdict::NotMet << "через 15 с меньше 50 %";
    QTest::newRow("requirement-0.5-MW") << "half-mw" << EpisodeVerdict::NotJudged
                                        << "требуемое изменение меньше 2.5 МВт";
    QTest::newRow("slow-unit-default-profile") << "slow" << EpisodeVerdict::NotMet << "через 30 с меньше 90 %";
    QTest::newRow("slow-unit-steam-profile") << "slow-steam" << EpisodeVerdict::Met << "";
    QTest::newRow("steam-profile-short-at-360s")
        << "slow-steam-short" << EpisodeVerdict::NotMet << "через 360 с меньше 90 %";
}

void EpisodeDetectorTest::verdicts() {
    QFETCH(QString, scenario);
    QFETCH(EpisodeVerdict, verdict);
    QFETCH(QString, reason);
    SyntheticStation s;
    s.seconds = 900;
    SyntheticUnit unit;
    unit.deadTime = 0.5;
    unit.tau = 5;
    s.steps = {{200, 120, -0.2}};
    const bool drift = scenario == QLatin1String("drift") || scenario == QLatin1String("drift-idle");
    if (scenario == QLatin1String("drift-then-step"))
        s.steps = {{225, 120, -0.265}};
    if (drift)
        s.steps = {{400, 200, -0.15}};
    if (scenario == QLatin1String("after-tail"))
        s.steps = {{200, 60, -0.2}, {275, 60, -0.2}};
    if (scenario == QLatin1String("no-clean-window")) {
        s.steps.clear();
        for (double at = 20; at < 760; at += 40)
            s.steps.append({at, 25, at < 740 ? -0.1 : -0.2});
    }
    if (scenario.startsWith(QLatin1String("at-maximum")))
        unit.maxPower = 153;
    if (scenario == QLatin1String("no-reserve"))
        unit.maxPower = 150.5;
    if (scenario == QLatin1String("cut-9"))
        s.seconds = 240; // the span ends 40 s into the episode
    if (scenario == QLatin1String("half-mw")) {
        unit.nominal = 250;
        s.steps = {{200, 120, -0.08}};
    }
    if (scenario.startsWith(QLatin1String("slow"))) {
        unit.deadTime = 1;
        unit.tau = 18;
        s.steps = {{200, 500, -0.2}};
        if (scenario != QLatin1String("slow"))
            unit.profile = QStringLiteral("ОПРЧ, паровой блок");
    }
    s.units = {unit};
    StationSeries station = s.Make();
    SampleSeries &frequency = station.frequency, &power = station.units[0].power, &calc = station.units[0].calc;
    const double t0 = s.t0;
    auto calcAt = [&](double t, double f) { calc[t].value = unit.base + s.Required(unit, f); };
    if (scenario == QLatin1String("drift-then-step"))
        // Secondary control still bringing the frequency back from an earlier disturbance: it creeps across
        // the band 50 s before the step, the units asked next to nothing meanwhile.
        for (double t = t0 + 100; t < t0 + 225; t += 1) {
            frequency[t].value = 50.0 - 0.085 * std::min(1.0, (t - t0 - 100) / 85);
            calcAt(t, frequency[t].value);
        }
    if (drift) {
        // 50 Hz to -150 mHz over 300 s, held, and back; the unit follows through its lag, or not at all.
        double answer = 0;
        for (double t = t0 + 100; t < t0 + 800; t += 1) {
            const double f = t < t0 + 400 ? 50.0 - 0.15 * (t - t0 - 100) / 300 : t < t0 + 600 ? 49.85 : 50.0;
            frequency[t].value = f;
            const double need = s.Required(unit, f);
            answer += (need - answer) * (1 - std::exp(-1.0 / unit.tau));
            power[t].value = unit.base + (scenario == QLatin1String("drift") ? answer : 0.0);
            calc[t].value = t < t0 + 660 ? unit.base + need : std::nan("");
        }
    }
    if (scenario.startsWith(QLatin1String("at-maximum")) || scenario == QLatin1String("no-reserve"))
        for (MeasurePoint &p : power)
            p.value = std::min(p.value, scenario == QLatin1String("at-maximum-short") ? 151.0 : unit.maxPower);
    if (scenario == QLatin1String("withdraws"))
        // Gives its share by 30 s, then goes back to where it was while the frequency is still low.
        for (double t = t0 + 260; t < t0 + 320; t += 1)
            power[t].value = unit.base + (power[t].value - unit.base) * std::max(0.0, 1 - (t - t0 - 260) / 10);
    if (scenario == QLatin1String("ramping"))
        // Unloading on schedule at 0.1 MW/s through the whole span, the calculated power with it.
        for (SampleSeries *series : {&power, &calc})
            for (auto it = series->begin(); it != series->end(); ++it)
                it.value().value -= 0.1 * (it.key() - t0);
    if (scenario == QLatin1String("cut-9"))
        for (MeasurePoint &p : power)
            p.value = unit.base + (p.value - unit.base) * 0.09;
    if (scenario == QLatin1String("slow-steam-short"))
        // Stops at 85 % of the amount.
        for (MeasurePoint &p : power)
            p.value = std::min(p.value, unit.base + 8.5);

    const QVector<Episode> episodes = EpisodeDetector(EpisodeSettings()).Detect(station, false);
    QVERIFY(!episodes.isEmpty());
    const Episode &e = episodes.last();
    const UnitEpisode &u = e.units[0];
    QVERIFY2(u.verdict == verdict, qPrintable(VerdictText(u.verdict) + QStringLiteral(": ") + u.reason));
    QCOMPARE(u.reason, reason);
    if (scenario == QLatin1String("drift-then-step")) {
        QCOMPARE(episodes.size(), 1);
        QCOMPARE(e.start, t0 + 225);
        QVERIFY(e.crossing < t0 + 180 && e.crossing > t0 + 170);
        QCOMPARE(e.kind, EpisodeKind::Step);
        QVERIFY(e.baseline.isEmpty());
        QVERIFY2(std::fabs(u.required15 - 15.2) < 0.1, qPrintable(QString::number(u.required15)));
    }
    if (drift) {
        QCOMPARE(episodes.size(), 1);
        QCOMPARE(e.kind, EpisodeKind::Drift);
        QCOMPARE(e.start, e.crossing);
    }
    if (scenario == QLatin1String("after-tail")) {
        QCOMPARE(episodes.size(), 2);
        QVERIFY(episodes[0].baseline.isEmpty());
        QVERIFY2(e.baseline.startsWith(QStringLiteral("нечистое начало: точка A взята")), qPrintable(e.baseline));
        QVERIFY(e.baselineFrom < episodes[0].start);
        QCOMPARE(u.powerBefore, 150.0);
    }
    if (scenario == QLatin1String("no-clean-window"))
        QVERIFY2(e.baseline.contains(QStringLiteral("без оценки")), qPrintable(e.baseline));
    if (scenario == QLatin1String("at-maximum")) {
        QCOMPARE(u.reserve, 3.0);
        QVERIFY2(std::fabs(u.ratio30 - 1.0) < 0.01, qPrintable(QString::number(u.ratio30)));
    }
    if (scenario == QLatin1String("ramping")) {
        QVERIFY2(std::fabs(u.ramp + 0.1) < 0.005, qPrintable(QString::number(u.ramp)));
        QVERIFY2(std::fabs(u.ratio30 - (1 - std::exp(-29.5 / 5))) < 0.02, qPrintable(QString::number(u.ratio30)));
    }
    if (scenario == QLatin1String("cut-9"))
        QVERIFY(e.cut);
    if (scenario.startsWith(QLatin1String("slow-steam"))) {
        QCOMPARE(u.profile, QStringLiteral("ОПРЧ, паровой блок"));
        QCOMPARE(u.fullSeconds, 360.0);
        QVERIFY(std::isfinite(u.ratioFull));
    }
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
    // The same data as a period that ends there: the episode is cut, but both its checks fall inside the
    // data, so the unit is judged on them.
    const QVector<Episode> period = detector.Detect(station, false);
    QVERIFY(period[0].cut);
    QCOMPARE(period[0].units[0].verdict, EpisodeVerdict::Met);
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
