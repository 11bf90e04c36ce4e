#include "analysis/episode_detector.h"

#include <QDateTime>
#include <algorithm>
#include <vector>

#include "analysis/episode_profile.h"

namespace {

// The value in force at t: the last sample at or before t, if it is recent enough and not missing.
double ValueAt(const SampleSeries &series, double t, double maxGap) {
    auto it = series.upperBound(t);
    if (it == series.constBegin())
        return NAN;
    --it;
    if (t - it.key() > maxGap)
        return NAN;
    return it.value().value;
}

// True when a value is in force over the whole of [a, b]: no missing value, no step longer than maxGap.
bool Covered(const SampleSeries &series, double a, double b, double maxGap) {
    auto it = series.upperBound(a);
    if (it == series.constBegin())
        return false;
    --it;
    double previous = it.key();
    if (a - previous > maxGap)
        return false;
    for (; it != series.constEnd() && it.key() <= b; ++it) {
        if (!std::isfinite(it.value().value) || it.key() - previous > maxGap)
            return false;
        previous = it.key();
    }
    return b - previous <= maxGap;
}

// Mean of the samples in [a, b); NaN when there are none or one is missing.
double Mean(const SampleSeries &series, double a, double b) {
    // (NaN samples make the mean NaN, which the callers read as a hole.)
    double sum = 0;
    int count = 0;
    for (auto it = series.lowerBound(a); it != series.constEnd() && it.key() < b; ++it) {
        sum += it.value().value;
        ++count;
    }
    return count > 0 ? sum / count : NAN;
}

int ViolationSeconds(const UnitSeries &unit, double a, double b) {
    QVector<qint64> seconds;
    for (const SampleSeries *series : {&unit.power, &unit.calc})
        for (auto it = series->lowerBound(a); it != series->constEnd() && it.key() <= b; ++it)
            if (it.value().flags & Archive_Measures::ViolationFlag)
                seconds.append(static_cast<qint64>(std::floor(it.key())));
    std::sort(seconds.begin(), seconds.end());
    return static_cast<int>(std::unique(seconds.begin(), seconds.end()) - seconds.begin());
}

// A straight line fitted to the samples of [a, b): its value at the middle, its slope and the largest
// distance of a sample from it.
struct Line {
    double mean = NAN, slope = 0, spread = NAN, middle = NAN;
    int count = 0;
};

Line Fit(const SampleSeries &series, double a, double b) {
    Line line;
    double st = 0, sv = 0, stt = 0, stv = 0;
    QVector<QPair<double, double>> points;
    for (auto it = series.lowerBound(a); it != series.constEnd() && it.key() < b; ++it) {
        const double v = it.value().value;
        if (!std::isfinite(v))
            return Line();
        points.append({it.key(), v});
        st += it.key();
        sv += v;
    }
    line.count = points.size();
    if (line.count == 0)
        return line;
    line.middle = st / line.count;
    line.mean = sv / line.count;
    for (const auto &p : points) {
        stt += (p.first - line.middle) * (p.first - line.middle);
        stv += (p.first - line.middle) * (p.second - line.mean);
    }
    line.slope = stt > 0 ? stv / stt : 0;
    line.spread = 0;
    for (const auto &p : points)
        line.spread = std::max(line.spread, std::fabs(p.second - line.mean - line.slope * (p.first - line.middle)));
    return line;
}

struct Stretch {
    double start = NAN;
    double end = NAN; // first sample back inside the band
    bool open = true;
};

} // namespace

QString VerdictText(EpisodeVerdict verdict) {
    switch (verdict) {
    case EpisodeVerdict::Met:
        return QStringLiteral("выполнено");
    case EpisodeVerdict::NotMet:
        return QStringLiteral("не выполнено");
    case EpisodeVerdict::Limited:
        return QStringLiteral("ограничено");
    case EpisodeVerdict::NotJudged:
        return QStringLiteral("не оценивается");
    default:
        return QStringLiteral("недостаточно данных");
    }
}

QString KindText(EpisodeKind kind) {
    return kind == EpisodeKind::Drift ? QStringLiteral("медленное отклонение") : QStringLiteral("скачок");
}

double EpisodeDetector::Onset(const SampleSeries &frequency, double crossing, double last, double earliest,
                              EpisodeKind *kind) const {
    auto at = frequency.constFind(crossing);
    const double sign = at != frequency.constEnd() && at.value().value < 50.0 ? -1.0 : 1.0;
    // The first move away from 50 Hz of at least the step size within a few seconds, from a little before
    // the crossing (a step's first second may still be inside the band) to the end of the excursion.
    for (auto it = frequency.lowerBound(std::max(earliest, crossing - OnsetBackSeconds));
         it != frequency.constEnd() && it.key() <= last; ++it) {
        const double before = ValueAt(frequency, it.key() - StepSeconds, settings.maxGapSeconds);
        const double v = it.value().value;
        if (!std::isfinite(v) || !std::isfinite(before) || (v - before) * sign < settings.onsetStepHz)
            continue;
        // Back to the first sample that had moved.
        double onset = it.key();
        auto back = it;
        while (back != frequency.constBegin() && back.key() > earliest) {
            auto previous = std::prev(back);
            if (!std::isfinite(previous.value().value) ||
                (back.value().value - previous.value().value) * sign < OnsetRateHz)
                break;
            onset = back.key();
            back = previous;
        }
        *kind = EpisodeKind::Step;
        return onset;
    }
    *kind = EpisodeKind::Drift;
    return crossing;
}

QVector<Episode> EpisodeDetector::Detect(const StationSeries &station, bool live, double from) const {
    QVector<Episode> episodes;
    const SampleSeries &frequency = station.frequency;
    if (!station.hasFrequency || frequency.isEmpty())
        return episodes;

    // Excursions beyond the dead band; a missing value neither starts nor ends one.
    QVector<Stretch> stretches;
    Stretch current;
    bool inside = false;
    auto it = std::isnan(from) ? frequency.constBegin() : frequency.lowerBound(from);
    for (; it != frequency.constEnd(); ++it) {
        const double v = it.value().value;
        if (!std::isfinite(v))
            continue;
        const bool beyond = Beyond(v);
        if (!inside && beyond) {
            current = Stretch();
            current.start = it.key();
            inside = true;
        } else if (inside && !beyond) {
            current.end = it.key();
            current.open = false;
            stretches.append(current);
            inside = false;
        }
    }
    if (inside)
        stretches.append(current);

    // Stretches closer than the merge gap are one episode.
    QVector<Stretch> merged;
    for (const Stretch &s : stretches) {
        if (!merged.isEmpty() && !merged.last().open && s.start - merged.last().end < settings.mergeSeconds) {
            merged.last().end = s.end;
            merged.last().open = s.open;
        } else {
            merged.append(s);
        }
    }

    const double dataEnd = std::isfinite(station.spanTo) && !live ? station.spanTo : frequency.lastKey();
    double previousEnd = std::isnan(from) ? frequency.firstKey() : from;
    for (const Stretch &s : merged) {
        const double length = (s.open ? dataEnd : s.end) - s.start;
        if (length < settings.minLengthSeconds)
            continue;
        Episode episode;
        episode.station = station.name;
        episode.crossing = s.start;
        episode.start = Onset(frequency, s.start, s.open ? dataEnd : s.end, previousEnd, &episode.kind);
        episode.end = s.open ? NAN : s.end;
        episode.ongoing = s.open;
        Evaluate(station, &episode, live);
        episodes.append(episode);
        previousEnd = s.open ? dataEnd : s.end;
    }
    return episodes;
}

bool EpisodeDetector::CleanWindow(const StationSeries &station, const Episode &episode, double to) const {
    const double from = to - BeforeSeconds;
    const double maxGap = settings.maxGapSeconds;
    if (!Covered(station.frequency, from, to, maxGap))
        return false;
    // Inside the band, but for the episode's own drift before its step.
    for (auto it = station.frequency.lowerBound(from); it != station.frequency.constEnd() && it.key() < to; ++it)
        if (Beyond(it.value().value) && !(it.key() >= episode.crossing && it.key() <= episode.start))
            return false;
    for (const UnitSeries &unit : station.units) {
        if (!unit.hasPower || !Covered(unit.power, from, to, maxGap))
            continue;
        const Line line = Fit(unit.power, from, to);
        const double nominal = std::isfinite(unit.nominal) ? unit.nominal : 0;
        // Steady: close to a line that is no steeper than a schedule moves (a unit still coming back from
        // an earlier answer, or settling, is not).
        if (std::isnan(line.spread) || line.spread > std::max(1.0, SteadyShare * nominal) ||
            std::fabs(line.slope) * 60 > std::max(2.0, ScheduleRampShare * nominal))
            return false;
    }
    return true;
}

void EpisodeDetector::Evaluate(const StationSeries &station, Episode *episode, bool live) const {
    const SampleSeries &frequency = station.frequency;
    const double maxGap = settings.maxGapSeconds;
    const double start = episode->start;
    const double dataEnd =
        frequency.isEmpty() ? start : (std::isfinite(station.spanTo) && !live ? station.spanTo : frequency.lastKey());
    const double firstKey = frequency.isEmpty() ? start : frequency.firstKey();
    const double spanFrom = std::isfinite(station.spanFrom) ? std::max(station.spanFrom, firstKey) : firstKey;
    if (std::isnan(episode->crossing))
        episode->crossing = start;
    const bool beganBefore = start - BeforeSeconds < spanFrom;
    episode->cut = beganBefore || (episode->ongoing && !live);

    const double last = episode->ongoing ? dataEnd : episode->end;
    double extreme = 0;
    for (auto it = frequency.lowerBound(std::min(start, episode->crossing));
         it != frequency.constEnd() && it.key() <= last; ++it) {
        const double deviation = it.value().value - 50.0;
        if (std::isfinite(deviation) && std::fabs(deviation) > std::fabs(extreme)) {
            extreme = deviation;
            episode->deviationTime = it.key();
        }
    }
    episode->deviationMHz = std::isnan(episode->deviationTime) ? NAN : extreme * 1000.0;

    // Point A: the 16 s before t0 when they are clean, else the latest clean window not long before.
    double baseTo = start;
    bool baseKnown = !beganBefore;
    episode->baseline.clear();
    if (baseKnown && !CleanWindow(station, *episode, start)) {
        baseKnown = false;
        for (double to = start - StepBackSeconds; to - BeforeSeconds >= spanFrom && to >= start - CleanSearchSeconds;
             to -= StepBackSeconds)
            if (CleanWindow(station, *episode, to)) {
                baseTo = to;
                baseKnown = true;
                break;
            }
        episode->baseline = baseKnown ? QStringLiteral("нечистое начало: точка A взята за 16 с до %1")
                                            .arg(QDateTime::fromSecsSinceEpoch(qint64(std::floor(baseTo)))
                                                     .toString(QStringLiteral("hh:mm:ss")))
                                      : QStringLiteral("нечистое начало: спокойного окна для точки A нет, без оценки");
    }
    const double baseFrom = baseTo - BeforeSeconds;
    episode->baselineFrom = baseKnown ? baseFrom : NAN;

    const bool haveA = baseKnown && Covered(frequency, baseFrom, baseTo, maxGap);
    const bool haveB =
        dataEnd >= start + BToSeconds && Covered(frequency, start + BFromSeconds, start + BToSeconds, maxGap);
    episode->frequencyA = haveA ? Mean(frequency, baseFrom, baseTo) : NAN;
    episode->frequencyB = haveB ? Mean(frequency, start + BFromSeconds, start + BToSeconds) : NAN;
    const bool frequencyWhole = Covered(frequency, start, std::min(start + Check30, dataEnd), maxGap);
    // The deviation beyond the band over B, for the droop the answers show.
    double beyondB = NAN;
    if (std::isfinite(episode->frequencyB)) {
        const double df = episode->frequencyB - 50.0;
        beyondB = std::fabs(df) > settings.deadBandHz ? df - std::copysign(settings.deadBandHz, df) : 0;
    }
    const bool drift = episode->kind == EpisodeKind::Drift;

    double powerA = 0, powerB = 0;
    bool stationFigure = haveA && haveB && !episode->cut;
    episode->units.clear();
    for (const UnitSeries &unit : station.units) {
        UnitEpisode u;
        u.name = unit.name;
        const EpisodeProfile profile = EpisodeProfile::Find(unit.profile, settings);
        u.profile = profile.name;
        u.setDroop = unit.droop;
        auto noData = [&u](const QString &reason) {
            u.verdict = EpisodeVerdict::NoData;
            u.reason = reason;
        };
        if (!unit.hasPower) {
            noData(QStringLiteral("нет канала мощности"));
            stationFigure = false;
            episode->units.append(u);
            continue;
        }
        const double nominal = std::isfinite(unit.nominal) ? unit.nominal : 0;
        const double threshold = std::max(settings.minRequiredMw, settings.minRequiredShare * nominal);
        const bool powerA_ok = baseKnown && Covered(unit.power, baseFrom, baseTo, maxGap);
        u.powerBefore = powerA_ok ? Mean(unit.power, baseFrom, baseTo) : NAN;
        // A unit moving on its schedule before t0 is judged against that move carried on, seen over a
        // longer clean stretch than A so that its meter noise does not pass for a ramp.
        if (powerA_ok && baseTo == start && CleanWindow(station, *episode, start - BeforeSeconds) &&
            CleanWindow(station, *episode, start - 2 * BeforeSeconds)) {
            const Line longer = Fit(unit.power, start - RampSeconds, start);
            if (longer.count > 0 && std::fabs(longer.slope) * 60 >= std::max(1.0, SteadyShare * nominal))
                u.ramp = longer.slope;
        }
        const double middle = (baseFrom + baseTo) / 2;
        auto baseline = [&](double t) { return u.powerBefore + u.ramp * (t - middle); };
        u.violationSeconds = ViolationSeconds(unit, start, std::min(last, dataEnd));
        const double sign = extreme < 0 ? 1.0 : -1.0; // the way the power must go
        auto rawNeed = [&](double t) {
            const double calc = ValueAt(unit.calc, t, maxGap);
            return std::isfinite(calc) ? calc - baseline(t) : NAN;
        };
        // What the unit could give: no more than its reserve towards its limit.
        auto reserveAt = [&](double t) {
            const double limit = sign > 0 ? unit.maxPower : unit.minPower;
            return std::isfinite(limit) ? std::max(0.0, (limit - baseline(t)) * sign) : INFINITY;
        };
        auto need = [&](double t) {
            const double raw = rawNeed(t);
            if (std::isnan(raw) || raw * sign <= 0)
                return raw;
            return std::copysign(std::min(std::fabs(raw), reserveAt(t)), raw);
        };
        auto actualAt = [&](double t) { return ValueAt(unit.power, t, maxGap) - baseline(t); };
        auto ratio = [threshold](double actual, double needed) {
            return std::isfinite(needed) && std::fabs(needed) >= threshold ? actual / needed : NAN;
        };
        if (powerA_ok && std::isfinite(episode->deviationTime))
            u.required = rawNeed(episode->deviationTime);
        const double reserve = powerA_ok ? reserveAt(start) : INFINITY;
        const bool limited = std::isfinite(u.required) && std::fabs(u.required) > reserve + 0.05;
        if (limited)
            u.reserve = reserve;

        // The checks at their times, each judged when its time is inside the data.
        struct Check {
            double offset, share;
            double *need, *actual, *ratio;
            bool due = true, inside = false, complete = false;
        };
        std::vector<Check> checks{{Check15, 0, &u.required15, &u.actual15, &u.ratio15},
                                  {Check30, 0, &u.required30, &u.actual30, &u.ratio30}};
        checks[0].offset = profile.earlySeconds;
        checks[0].share = profile.earlyShare;
        if (profile.fullSeconds == Check30) {
            checks[1].share = profile.FullNeeded();
        } else {
            // The 30 s figures are shown; the full amount is due by the profile's time if the deviation lasts.
            checks[1].due = false;
            u.fullSeconds = profile.fullSeconds;
            checks.push_back({profile.fullSeconds, profile.FullNeeded(), &u.requiredFull, &u.actualFull, &u.ratioFull});
            checks.back().due =
                profile.fullSeconds <= BToSeconds || episode->ongoing || episode->end >= start + profile.fullSeconds;
        }
        for (Check &c : checks) {
            const double t = start + c.offset;
            c.inside = t <= dataEnd;
            if (!powerA_ok || !c.inside || !Covered(unit.power, start, t, maxGap))
                continue;
            *c.actual = actualAt(t);
            *c.need = need(t);
            *c.ratio = ratio(*c.actual, *c.need);
            c.complete = std::isfinite(*c.need);
        }
        const bool powerB_ok = powerA_ok && dataEnd >= start + BToSeconds &&
                               Covered(unit.power, start + BFromSeconds, start + BToSeconds, maxGap);
        if (powerB_ok) {
            u.actualB = Mean(unit.power, start + BFromSeconds, start + BToSeconds) -
                        baseline((2 * start + BFromSeconds + BToSeconds) / 2);
            u.requiredB = Mean(unit.calc, start + BFromSeconds, start + BToSeconds) -
                          baseline((2 * start + BFromSeconds + BToSeconds) / 2);
            if (limited)
                u.requiredB = std::copysign(std::min(std::fabs(u.requiredB), reserve), u.requiredB);
            u.ratioB = ratio(u.actualB, u.requiredB);
            powerA += u.powerBefore;
            powerB += u.actualB + u.powerBefore;
            if (nominal > 0 && std::isfinite(beyondB) && std::fabs(beyondB) >= 0.005 &&
                std::fabs(u.actualB) >= threshold && u.actualB * beyondB < 0)
                u.achievedDroop = -(beyondB / 50.0) * 100.0 * nominal / u.actualB;
        } else {
            stationFigure = false;
        }

        // Held: once the unit has given the full share, falling back below half of it for a while during the
        // deviation is withdrawing it. Over the last half minute of the deviation: the share held.
        bool withdrawn = false;
        if (powerA_ok && unit.hasCalc) {
            const double level = profile.FullNeeded();
            const double holdEnd = std::min(last, dataEnd);
            bool reached = false;
            double lowSince = NAN;
            double sumNeed = 0, sumActual = 0;
            for (auto it = unit.power.lowerBound(start); it != unit.power.constEnd() && it.key() <= holdEnd; ++it) {
                const double t = it.key();
                const double n = need(t), a = it.value().value - baseline(t);
                if (!std::isfinite(n) || !std::isfinite(a) || std::fabs(n) < threshold) {
                    lowSince = NAN;
                    continue;
                }
                if (t >= holdEnd - HeldSeconds && t >= start + (drift ? 0 : BFromSeconds)) {
                    sumNeed += n;
                    sumActual += a;
                }
                const double share = a / n;
                if (share >= level)
                    reached = true;
                else if (reached && share < level / 2) {
                    if (std::isnan(lowSince))
                        lowSince = t;
                    if (t - lowSince >= WithdrawnSeconds && profile.held)
                        withdrawn = true;
                    continue;
                }
                lowSince = NAN;
            }
            if (std::fabs(sumNeed) >= threshold)
                u.heldRatio = sumActual / sumNeed;
        }

        bool failed = false, undecided = false, holes = false, noCalc = false;
        QString failure;
        if (drift) {
            if (std::isfinite(u.heldRatio) && u.heldRatio < profile.FullNeeded()) {
                failed = true;
                failure = QStringLiteral("удержано меньше %1 %").arg(profile.FullNeeded() * 100, 0, 'f', 0);
            } else if (std::isnan(u.heldRatio)) {
                undecided = true;
            }
        } else {
            for (const Check &c : checks) {
                if (!c.due)
                    continue;
                if (!failed && std::isfinite(*c.ratio) && *c.ratio < c.share) {
                    failed = true;
                    failure = QStringLiteral("через %1 с меньше %2 %").arg(c.offset).arg(c.share * 100, 0, 'f', 0);
                }
                if (!c.inside)
                    undecided = true;
                else if (std::isnan(*c.actual))
                    holes = true;
                else if (!c.complete)
                    noCalc = true;
            }
            if (!failed && withdrawn) {
                failed = true;
                failure = QStringLiteral("отклик не удержан");
            }
        }
        const bool tiny = std::isfinite(u.required) && std::fabs(u.required) < threshold;
        const bool tinyReserve = limited && reserve < threshold;
        if (beganBefore) {
            noData(QStringLiteral("эпизод начался до начала периода"));
        } else if (!frequencyWhole) {
            noData(QStringLiteral("пропуски частоты"));
        } else if (!baseKnown) {
            noData(QStringLiteral("нечистое начало"));
        } else if (!powerA_ok) {
            noData(QStringLiteral("нет мощности до эпизода"));
        } else if (tiny) {
            u.verdict = EpisodeVerdict::NotJudged;
            u.reason = QStringLiteral("требуемое изменение меньше %1 МВт").arg(threshold, 0, 'g', 3);
        } else if (tinyReserve) {
            u.verdict = EpisodeVerdict::Limited;
            u.reason = QStringLiteral("резерв %1 МВт").arg(reserve, 0, 'f', 1);
        } else if (failed) {
            u.verdict = EpisodeVerdict::NotMet;
            u.reason = failure;
        } else if (!unit.hasCalc) {
            noData(QStringLiteral("нет канала расчётной мощности"));
        } else if (undecided) {
            noData(live ? QStringLiteral("ожидание данных") : QStringLiteral("эпизод обрезан краем периода"));
        } else if (holes) {
            noData(QStringLiteral("пропуски мощности"));
        } else if (noCalc) {
            noData(QStringLiteral("нет расчётной мощности"));
        } else if (limited) {
            u.verdict = EpisodeVerdict::Limited;
            u.reason = QStringLiteral("резерв %1 МВт").arg(reserve, 0, 'f', 1);
        } else {
            u.verdict = EpisodeVerdict::Met;
        }
        episode->units.append(u);
    }

    // A change of frequency smaller than this leaves the figure to the units' own drift.
    const double df = episode->frequencyB - episode->frequencyA;
    episode->responseMwPer01Hz =
        stationFigure && !station.units.isEmpty() && std::fabs(df) >= 0.02 ? -(powerB - powerA) / (df / 0.1) : NAN;
}

bool EpisodeDetector::Beyond(double frequency) const {
    // A value written as exactly 50 Hz +/- the band is inside it, whatever the binary rounding.
    return std::isfinite(frequency) && std::fabs(frequency - 50.0) > settings.deadBandHz + 1e-9;
}

bool EpisodeDetector::IsFinal(const Episode &episode, double dataEnd) const {
    return !episode.ongoing && dataEnd >= episode.end + settings.mergeSeconds &&
           dataEnd >= episode.start + BToSeconds + settings.maxGapSeconds;
}
