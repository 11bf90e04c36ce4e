#include "analysis/episode_monitor.h"

#include <QDateTime>
#include <algorithm>

#include "server/archive_measures_14.h"

namespace {

QDateTime Moment(double seconds) {
    return QDateTime::fromSecsSinceEpoch(static_cast<qint64>(std::floor(seconds)));
}

void Merge(SampleSeries *into, const SampleSeries &from) {
    for (auto it = from.constBegin(); it != from.constEnd(); ++it)
        into->insert(it.key(), it.value());
}

// Where the next read of a channel starts: after its last sample, or the whole span.
double ReadFrom(const SampleSeries &series, double now, double length) {
    if (series.isEmpty())
        return now - length;
    return std::max(std::floor(series.lastKey() + 0.1), now - length);
}

} // namespace

EpisodeMonitor::EpisodeMonitor(const EpisodeSettings &settings) : settings(settings) {}

void EpisodeMonitor::SetSettings(const EpisodeSettings &value) {
    settings = value;
    for (int s = 0; s < series.size(); ++s) {
        progress[s] = Progress();
        Update(s);
    }
}

void EpisodeMonitor::SetStations(const QVector<StationChannels> &stations) {
    channels = stations;
    series.clear();
    progress.clear();
    for (const StationChannels &station : stations) {
        StationSeries one;
        one.name = station.name;
        one.hasFrequency = station.frequencyId > 0;
        for (const UnitChannels &unit : station.units) {
            UnitSeries u;
            static_cast<UnitPassport &>(u) = unit;
            u.name = unit.name;
            u.hasPower = unit.powerId > 0;
            u.hasCalc = unit.calcId > 0;
            one.units.append(u);
        }
        series.append(one);
        progress.append(Progress());
    }
}

void EpisodeMonitor::LoadPeriod(Archive_Measures *archive, double from, double to) {
    SetStations(channels);
    live = false;
    for (int s = 0; s < series.size(); ++s) {
        StationSeries &station = series[s];
        station.spanFrom = from;
        station.spanTo = to;
        if (archive) {
            const int frequencyId = channels[s].frequencyId;
            if (frequencyId > 0)
                station.frequency =
                    archive->ReadMeasuresVectorForPeriod(frequencyId, Moment(from), Moment(to), false, -1);
            for (int u = 0; u < station.units.size(); ++u) {
                const UnitChannels &unit = channels[s].units[u];
                if (unit.powerId > 0)
                    station.units[u].power =
                        archive->ReadMeasuresVectorForPeriod(unit.powerId, Moment(from), Moment(to), false, -1);
                if (unit.calcId > 0)
                    station.units[u].calc =
                        archive->ReadMeasuresVectorForPeriod(unit.calcId, Moment(from), Moment(to), true, -1);
            }
        }
        Update(s);
    }
}

void EpisodeMonitor::Tick(Archive_Measures *archive, double now, double length) {
    if (!live)
        SetStations(channels);
    live = true;
    for (int s = 0; s < series.size(); ++s) {
        const StationSeries &station = series[s];
        SampleSeries frequency;
        QVector<SampleSeries> power(station.units.size()), calc(station.units.size());
        if (archive) {
            auto read = [&](int id, const SampleSeries &have, bool zeroAsNaN) {
                if (id <= 0)
                    return SampleSeries();
                return archive->ReadMeasuresVectorForPeriod(id, Moment(ReadFrom(have, now, length)), Moment(now),
                                                            zeroAsNaN, -1);
            };
            frequency = read(channels[s].frequencyId, station.frequency, false);
            for (int u = 0; u < station.units.size(); ++u) {
                power[u] = read(channels[s].units[u].powerId, station.units[u].power, false);
                calc[u] = read(channels[s].units[u].calcId, station.units[u].calc, true);
            }
        }
        Append(s, frequency, power, calc, now - length, now);
    }
}

void EpisodeMonitor::SetSeries(const QVector<StationSeries> &value, bool isLive) {
    series = value;
    live = isLive;
    channels.resize(series.size());
    progress = QVector<Progress>(series.size());
    for (int s = 0; s < series.size(); ++s)
        Update(s);
}

void EpisodeMonitor::Append(int s, const SampleSeries &frequency, const QVector<SampleSeries> &power,
                            const QVector<SampleSeries> &calc, double spanFrom, double now) {
    if (s < 0 || s >= series.size())
        return;
    live = true;
    StationSeries &station = series[s];
    Merge(&station.frequency, frequency);
    for (int u = 0; u < station.units.size(); ++u) {
        if (u < power.size())
            Merge(&station.units[u].power, power[u]);
        if (u < calc.size())
            Merge(&station.units[u].calc, calc[u]);
    }
    station.spanFrom = spanFrom;
    station.spanTo = now;
    Trim(s, spanFrom);
    Update(s);
}

void EpisodeMonitor::Trim(int s, double spanFrom) {
    // Samples before the span are kept as long as an episode of the span may need them for its A point.
    const double keep = spanFrom - EpisodeDetector::BeforeSeconds - settings.maxGapSeconds - 1;
    auto trim = [keep](SampleSeries &one) {
        while (!one.isEmpty() && one.firstKey() < keep)
            one.erase(one.begin());
    };
    StationSeries &station = series[s];
    trim(station.frequency);
    for (UnitSeries &unit : station.units) {
        trim(unit.power);
        trim(unit.calc);
    }
    QVector<Episode> &final = progress[s].final;
    final.erase(std::remove_if(final.begin(), final.end(), [spanFrom](const Episode &e) { return e.start < spanFrom; }),
                final.end());
}

void EpisodeMonitor::Update(int s) {
    Progress &p = progress[s];
    const StationSeries &station = series[s];
    const EpisodeDetector detector(settings);
    p.open.clear();
    if (!live) {
        p.final = detector.Detect(station, false);
        return;
    }
    if (station.frequency.isEmpty())
        return;
    const QVector<Episode> found = detector.Detect(station, true, p.resume);
    const double dataEnd = station.frequency.lastKey();
    bool settled = true;
    for (const Episode &e : found) {
        if (settled && detector.IsFinal(e, dataEnd)) {
            p.final.append(e);
            p.resume = e.end;
        } else {
            settled = false;
            p.open.append(e);
        }
    }
    if (!found.isEmpty())
        return;
    // Nothing found: move past the quiet part, keeping any recent short excursion that a later one may join.
    auto it = station.frequency.constEnd();
    double latestBeyond = NAN;
    while (it != station.frequency.constBegin()) {
        --it;
        if (!std::isnan(p.resume) && it.key() <= p.resume)
            break;
        if (detector.Beyond(it.value().value)) {
            latestBeyond = it.key();
            break;
        }
    }
    if (std::isnan(latestBeyond)) {
        p.resume = dataEnd;
    } else if (dataEnd - latestBeyond >= settings.mergeSeconds) {
        auto after = station.frequency.upperBound(latestBeyond);
        p.resume = after == station.frequency.constEnd() ? dataEnd : after.key();
    }
}

QVector<Episode> EpisodeMonitor::Episodes() const {
    QVector<Episode> all;
    for (const Progress &p : progress)
        all << p.final << p.open;
    std::stable_sort(all.begin(), all.end(), [](const Episode &a, const Episode &b) { return a.start < b.start; });
    return all;
}

QString EpisodeMonitor::Problem() const {
    if (series.isEmpty())
        return QStringLiteral("Эпизоды ОПРЧ: нет станций с каналом частоты");
    QStringList missing;
    for (const StationSeries &station : series) {
        bool any = false;
        for (const MeasurePoint &p : station.frequency)
            if (std::isfinite(p.value)) {
                any = true;
                break;
            }
        if (!station.hasFrequency)
            missing << QStringLiteral("«%1»: нет канала частоты").arg(station.name);
        else if (!any)
            missing << QStringLiteral("«%1»: нет значений частоты за период").arg(station.name);
    }
    return missing.isEmpty() ? QString() : QStringLiteral("Эпизоды ОПРЧ: ") + missing.join(QStringLiteral("; "));
}
