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
    // The start of the move: a step is a change of at least the settings' step size over StepSeconds,
    // looked for from OnsetBackSeconds before the band crossing; its start, the first sample that had
    // moved by at least OnsetRateHz from the one before.
    static constexpr double StepSeconds = 4;
    static constexpr double OnsetBackSeconds = 10;
    static constexpr double OnsetRateHz = 0.004;
    // A clean window for A: frequency inside the band, every unit within max(1 MW, SteadyShare of its
    // nominal power) of a line no steeper than ScheduleRampShare of nominal a minute. An unclean one is
    // replaced by the latest clean one up to CleanSearchSeconds before, looked for StepBackSeconds apart.
    static constexpr double SteadyShare = 0.005;
    static constexpr double ScheduleRampShare = 0.05;
    static constexpr double CleanSearchSeconds = 600;
    static constexpr double StepBackSeconds = 4;
    static constexpr double RampSeconds = 48; // the schedule's ramp is seen over this long before t0
    static constexpr double HeldSeconds = 30; // the share held: over the last of the deviation
    static constexpr double WithdrawnSeconds = 5;

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
    double Onset(const SampleSeries &frequency, double crossing, double last, double earliest, EpisodeKind *kind) const;
    // Whether the 16 s before `to` can be point A of the episode.
    bool CleanWindow(const StationSeries &station, const Episode &episode, double to) const;

    EpisodeSettings settings;
};
