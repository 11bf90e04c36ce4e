// The episodes seen unit by unit: how many each was judged in, met, failed, was limited in or not asked
// enough to judge, its median shares and achieved droop, and its worst episode.
#pragma once

#include <QStringList>
#include <QVector>

#include "analysis/episode.h"

struct UnitSummary {
    QString station;
    QString unit;
    QString profile;
    int episodes = 0;
    int judged = 0; // met, not met or limited
    int met = 0, notMet = 0, limited = 0, notJudged = 0, noData = 0;
    double median15 = NAN, median30 = NAN, medianFull = NAN, fullSeconds = NAN;
    double medianDroop = NAN, setDroop = NAN;
    double worstStart = NAN; // the episode with the smallest share of a failed (or else any) check
    double worstRatio = NAN;
    QString worstReason;
    QString commonReason; // the most frequent reason of its failures
};

class EpisodeSummary {
public:
    // A row per unit, in the order the units first appear.
    static QVector<UnitSummary> Of(const QVector<Episode> &episodes);
    static QStringList CsvHeader();
    static QString CsvText(const QVector<UnitSummary> &rows);
    // "23 из 72 не выполнено (через 30 с меньше 90 %)" and the like, for a line of text.
    static QString Line(const UnitSummary &row);
};
