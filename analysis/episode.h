// What the primary-response analysis takes in and gives out: a station's series and its episodes.
#pragma once

#include <QMap>
#include <QString>
#include <QVector>
#include <cmath>

#include "server/archive_measures_14.h"
#include "server/object_catalog.h"

using SampleSeries = QMap<double, MeasurePoint>;

struct UnitSeries {
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

enum class EpisodeVerdict { Met, NotMet, NoData };

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
    int violationSeconds = 0;
};

struct Episode {
    QString station;
    double start = NAN;
    double end = NAN;          // NaN while it lasts
    bool ongoing = false;      // still beyond the band at the end of the data
    bool cut = false;          // began before the span, or its span ended while it lasted
    double deviationMHz = NAN; // signed, at its largest
    double deviationTime = NAN;
    double frequencyA = NAN;        // mean over the 16 s before the start
    double frequencyB = NAN;        // mean over 20-52 s after the start
    double responseMwPer01Hz = NAN; // station's frequency response from A and B
    QVector<UnitEpisode> units;

    double Length(double dataEnd) const { return (std::isnan(end) ? dataEnd : end) - start; }
};

QString VerdictText(EpisodeVerdict verdict);
