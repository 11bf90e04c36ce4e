// Finds primary-response episodes in a station's frequency and judges each unit's answer.
// Plain computation over series in memory: no server, no widgets.
#pragma once

#include "analysis/episode.h"
#include "analysis/episode_settings.h"

class EpisodeDetector {
public:
    explicit EpisodeDetector(const EpisodeSettings &settings) : settings(settings) {}

    // Points of the study: the 16 s before the start (A) and 20-52 s after it (B); the checks at +15 and +30 s.
    static constexpr double BeforeSeconds = 16;
    static constexpr double BFromSeconds = 20;
    static constexpr double BToSeconds = 52;
    static constexpr double Check15 = 15;
    static constexpr double Check30 = 30;

    // Episodes of the station that start at or after `from` (NaN: the whole series). `live` means the data
    // ends now: an episode still lasting is "идёт" and judged on what has come; otherwise an episode that
    // lasts to the end of the span is cut.
    QVector<Episode> Detect(const StationSeries &station, bool live, double from = NAN) const;

    // Judges one episode whose start and end are known; fills its points and units.
    void Evaluate(const StationSeries &station, Episode *episode, bool live) const;

    // A frequency value beyond the dead band (a missing value is not).
    bool Beyond(double frequency) const;

    // An episode is final once nothing that comes later can change it.
    bool IsFinal(const Episode &episode, double dataEnd) const;

private:
    EpisodeSettings settings;
};
