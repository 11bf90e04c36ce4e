// Keeps the series of the stations shown and their episodes: loaded once for a period, or followed
// second by second in realtime, where finished episodes are kept as they are and only what can still
// change is judged again.
#pragma once

#include <QVector>

#include "analysis/episode_detector.h"

class Archive_Measures;

class EpisodeMonitor {
public:
    explicit EpisodeMonitor(const EpisodeSettings &settings = EpisodeSettings());

    void SetSettings(const EpisodeSettings &settings);
    const EpisodeSettings &Settings() const { return settings; }

    // Forgets everything and follows these stations from now on.
    void SetStations(const QVector<StationChannels> &stations);
    const QVector<StationChannels> &Channels() const { return channels; }

    // Reads the span [from, to] of every channel and finds its episodes (period mode).
    void LoadPeriod(Archive_Measures *archive, double from, double to);
    // Reads what is new since the last call and updates the episodes of the span ending now (realtime).
    void Tick(Archive_Measures *archive, double now, double length);

    // The same without a server, for data already in memory: replaces all series (period or live) ...
    void SetSeries(const QVector<StationSeries> &series, bool live);
    // ... or appends newer samples to station s (live); units in the order of the station's channels.
    void Append(int station, const SampleSeries &frequency, const QVector<SampleSeries> &power,
                const QVector<SampleSeries> &calc, double spanFrom, double now);

    // Episodes of all stations, oldest first.
    QVector<Episode> Episodes() const;
    const QVector<StationSeries> &Series() const { return series; }
    bool Live() const { return live; }
    // Why no episode can be found, for the status line; empty when there is a frequency to look at.
    QString Problem() const;

private:
    struct Progress {
        QVector<Episode> final; // nothing later can change these
        QVector<Episode> open;
        double resume = NAN; // a quiet moment before which everything is settled
    };
    void Update(int station);
    void Trim(int station, double spanFrom);

    EpisodeSettings settings;
    QVector<StationChannels> channels;
    QVector<StationSeries> series;
    QVector<Progress> progress;
    bool live = false;
};
