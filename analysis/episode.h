// What the primary-response analysis takes in and gives out: a station's series and its episodes.
#pragma once

#include <QMap>
#include <QString>
#include <QVector>
#include <cmath>

#include "server/archive_measures_14.h"
#include "server/object_catalog.h"

using SampleSeries = QMap<double, MeasurePoint>;

struct UnitSeries : UnitPassport {
    QString name;
    bool hasPower = false;
    bool hasCalc = false;
    SampleSeries power;
    SampleSeries calc; // calculated power; zero (no requirement) read as NaN
};

struct StationSeries {
    QString name;
    bool hasFrequency = false;
    SampleSeries frequency;
    QVector<UnitSeries> units;
    double spanFrom = NAN; // the span the series were read for, seconds since the epoch
    double spanTo = NAN;
};

// Limited: the unit had less reserve than asked and gave it; NotJudged: too little was asked to tell.
enum class EpisodeVerdict { Met, NotMet, NoData, Limited, NotJudged };

// A step of the frequency, or a slow drift across the band that is judged only on the amount held.
enum class EpisodeKind { Step, Drift };

// One unit's answer to one episode. Changes are against the power before the episode (A); the required
// change at a moment is the calculated power then minus that power.
struct UnitEpisode {
    QString name;
    EpisodeVerdict verdict = EpisodeVerdict::NoData;
    QString reason; // why there is no verdict, or which check failed
    double powerBefore = NAN;
    double required = NAN; // at the largest deviation (C)
    double required15 = NAN, actual15 = NAN, ratio15 = NAN;
    double required30 = NAN, actual30 = NAN, ratio30 = NAN;
    double requiredB = NAN, actualB = NAN, ratioB = NAN;
    // The profile's check of the full amount (its time after the start), when it differs from 30 s.
    double fullSeconds = NAN;
    double requiredFull = NAN, actualFull = NAN, ratioFull = NAN;
    double heldRatio = NAN; // the share held over the last of the deviation (a drift is judged on it)
    double reserve = NAN;   // MW the unit had towards its limit, when less than asked
    double ramp = 0;        // MW/s of the unit's own schedule before the start, taken off its answer
    double achievedDroop = NAN, setDroop = NAN; // %
    QString profile;                            // name of the profile the unit is judged by
    int violationSeconds = 0;
};

struct Episode {
    QString station;
    double start = NAN;    // t0: where the frequency's move began
    double crossing = NAN; // where it first went beyond the band
    EpisodeKind kind = EpisodeKind::Step;
    double end = NAN;          // NaN while it lasts
    bool ongoing = false;      // still beyond the band at the end of the data
    bool cut = false;          // began before the span, or its span ended while it lasted
    double deviationMHz = NAN; // signed, at its largest
    double deviationTime = NAN;
    // Empty for a clean start; otherwise why the 16 s before it were not clean and what was done.
    QString baseline;
    double baselineFrom = NAN;      // start of the window point A was taken from
    double frequencyA = NAN;        // mean over the 16 s before the start
    double frequencyB = NAN;        // mean over 20-52 s after the start
    double responseMwPer01Hz = NAN; // station's frequency response from A and B
    QVector<UnitEpisode> units;

    double Length(double dataEnd) const { return (std::isnan(end) ? dataEnd : end) - start; }
};

QString VerdictText(EpisodeVerdict verdict);
QString KindText(EpisodeKind kind);
