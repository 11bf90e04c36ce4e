// Thresholds of the primary-response episodes, kept in the [Episodes] section of dedur.ini.
#pragma once

#include <QString>

struct EpisodeSettings {
    double deadBandHz = 0.075;      // |f - 50 Hz| beyond this is an excursion
    double ratio15 = 0.5;           // share of the required change due 15 s after the start
    double ratio30 = 0.9;           // share due 30 s after the start
    double minRequiredMw = 1.0;     // a smaller requirement cannot be told from the unit's own drift
    double maxGapSeconds = 2.5;     // a longer step between samples is a hole in the data
    double mergeSeconds = 10;       // stretches closer than this are one episode
    double minLengthSeconds = 3;    // shorter stretches are not episodes
    double minRequiredShare = 0.01; // of nominal power: a smaller requirement is not judged (at least minRequiredMw)
    double onsetStepHz = 0.03;      // a move this large within a few seconds is a step, not a drift
    QString profile = QStringLiteral("ОПРЧ"); // the regime profile of a unit whose passport names none

    // Reads the section from `path`, writing every missing key with its default first. Values that are
    // not numbers or out of their sane range fall back to the default (and are left in the file).
    static EpisodeSettings Load(const QString &path);
};
