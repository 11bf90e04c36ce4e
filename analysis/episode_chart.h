// A picture of one episode for the report: the station's frequency with the dead band and the points
// of the study above, each unit's change of power against its requirement below.
#pragma once

#include <QRectF>

#include "analysis/episode.h"

class QPainter;

class EpisodeChart {
public:
    // Seconds shown before the start and after the end of the episode.
    static constexpr double Before = 60;
    static constexpr double After = 120;

    static void Paint(QPainter *painter, const QRectF &rect, const StationSeries &station, const Episode &episode,
                      double deadBandHz);
    // Colour of the unit's curves, also used by the report's table.
    static QColor UnitColor(int index);
};
