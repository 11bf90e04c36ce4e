#include "analysis/episode_detector.h"

#include <algorithm>

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
    default:
        return QStringLiteral("недостаточно данных");
    }
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
    for (const Stretch &s : merged) {
        const double length = (s.open ? dataEnd : s.end) - s.start;
        if (length < settings.minLengthSeconds)
            continue;
        Episode episode;
        episode.station = station.name;
        episode.start = s.start;
        episode.end = s.open ? NAN : s.end;
        episode.ongoing = s.open;
        Evaluate(station, &episode, live);
        episodes.append(episode);
    }
    return episodes;
}

void EpisodeDetector::Evaluate(const StationSeries &station, Episode *episode, bool live) const {
    const SampleSeries &frequency = station.frequency;
    const double maxGap = settings.maxGapSeconds;
    const double start = episode->start;
    const double dataEnd =
        frequency.isEmpty() ? start : (std::isfinite(station.spanTo) && !live ? station.spanTo : frequency.lastKey());
    const double firstKey = frequency.isEmpty() ? start : frequency.firstKey();
    const double spanFrom = std::isfinite(station.spanFrom) ? std::max(station.spanFrom, firstKey) : firstKey;
    episode->cut = start - BeforeSeconds < spanFrom || (episode->ongoing && !live);

    const double last = episode->ongoing ? dataEnd : episode->end;
    double extreme = 0;
    for (auto it = frequency.lowerBound(start); it != frequency.constEnd() && it.key() <= last; ++it) {
        const double deviation = it.value().value - 50.0;
        if (std::isfinite(deviation) && std::fabs(deviation) > std::fabs(extreme)) {
            extreme = deviation;
            episode->deviationTime = it.key();
        }
    }
    episode->deviationMHz = std::isnan(episode->deviationTime) ? NAN : extreme * 1000.0;

    const bool haveA = Covered(frequency, start - BeforeSeconds, start, maxGap);
    const bool haveB =
        dataEnd >= start + BToSeconds && Covered(frequency, start + BFromSeconds, start + BToSeconds, maxGap);
    episode->frequencyA = haveA ? Mean(frequency, start - BeforeSeconds, start) : NAN;
    episode->frequencyB = haveB ? Mean(frequency, start + BFromSeconds, start + BToSeconds) : NAN;
    const bool frequencyWhole = Covered(frequency, start, std::min(start + Check30, dataEnd), maxGap);

    double powerA = 0, powerB = 0;
    bool stationFigure = haveA && haveB && !episode->cut;
    episode->units.clear();
    for (const UnitSeries &unit : station.units) {
        UnitEpisode u;
        u.name = unit.name;
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
        const bool powerA_ok = Covered(unit.power, start - BeforeSeconds, start, maxGap);
        u.powerBefore = powerA_ok ? Mean(unit.power, start - BeforeSeconds, start) : NAN;
        u.violationSeconds = ViolationSeconds(unit, start, std::min(last, dataEnd));
        auto required = [&](double t) {
            const double calc = ValueAt(unit.calc, t, maxGap);
            return std::isfinite(calc) ? calc - u.powerBefore : NAN;
        };
        auto ratio = [this](double actual, double need) {
            return std::isfinite(need) && std::fabs(need) >= settings.minRequiredMw ? actual / need : NAN;
        };

        bool complete = true;
        for (const double offset : {Check15, Check30}) {
            const double t = start + offset;
            double *need = offset == Check15 ? &u.required15 : &u.required30;
            double *actual = offset == Check15 ? &u.actual15 : &u.actual30;
            double *share = offset == Check15 ? &u.ratio15 : &u.ratio30;
            if (!powerA_ok || t > dataEnd || !Covered(unit.power, start, t, maxGap)) {
                complete = false;
                continue;
            }
            *actual = ValueAt(unit.power, t, maxGap) - u.powerBefore;
            *need = required(t);
            *share = ratio(*actual, *need);
            if (std::isnan(*need))
                complete = false;
        }
        if (powerA_ok && std::isfinite(episode->deviationTime))
            u.required = required(episode->deviationTime);
        const bool powerB_ok = powerA_ok && dataEnd >= start + BToSeconds &&
                               Covered(unit.power, start + BFromSeconds, start + BToSeconds, maxGap);
        if (powerB_ok) {
            u.actualB = Mean(unit.power, start + BFromSeconds, start + BToSeconds) - u.powerBefore;
            u.requiredB = Mean(unit.calc, start + BFromSeconds, start + BToSeconds) - u.powerBefore;
            u.ratioB = ratio(u.actualB, u.requiredB);
            powerA += u.powerBefore;
            powerB += u.actualB + u.powerBefore;
        } else {
            stationFigure = false;
        }

        const bool fail15 = std::isfinite(u.ratio15) && u.ratio15 < settings.ratio15;
        const bool fail30 = std::isfinite(u.ratio30) && u.ratio30 < settings.ratio30;
        if (start - BeforeSeconds < spanFrom) {
            noData(QStringLiteral("эпизод начался до начала периода"));
        } else if (episode->cut) {
            noData(QStringLiteral("эпизод обрезан краем периода"));
        } else if (!frequencyWhole) {
            noData(QStringLiteral("пропуски частоты"));
        } else if (!powerA_ok) {
            noData(QStringLiteral("нет мощности до эпизода"));
        } else if (fail15 || fail30) {
            u.verdict = EpisodeVerdict::NotMet;
            u.reason = fail15 ? QStringLiteral("через 15 с меньше %1 %").arg(settings.ratio15 * 100, 0, 'f', 0)
                              : QStringLiteral("через 30 с меньше %1 %").arg(settings.ratio30 * 100, 0, 'f', 0);
        } else if (!unit.hasCalc) {
            noData(QStringLiteral("нет канала расчётной мощности"));
        } else if (start + Check30 > dataEnd) {
            noData(live ? QStringLiteral("ожидание данных") : QStringLiteral("эпизод обрезан краем периода"));
        } else if (!complete && (std::isnan(u.actual15) || std::isnan(u.actual30))) {
            noData(QStringLiteral("пропуски мощности"));
        } else if (!complete) {
            noData(QStringLiteral("нет расчётной мощности"));
        } else {
            u.verdict = EpisodeVerdict::Met;
            // Nothing worth judging was asked: said, so the blank shares are not taken for a fault.
            if (std::isnan(u.ratio15) && std::isnan(u.ratio30))
                u.reason = QStringLiteral("требуемое изменение меньше %1 МВт").arg(settings.minRequiredMw);
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
