#pragma once

#include <QVector>

#include "qcustomplot.h"
#include "server/archive_measures_14.h"

// Where a channel's curve breaks. The archive records on change, so a value holds until the next sample
// however long that takes, and a NaN it hands breaks the curve by itself; only a loss of link in which
// the archive has no sample breaks it too, with a NaN mark at the loss's start.
class GapMarks {
public:
    // The series to draw for samples read from the archive, ascending by time: a NaN mark at the start
    // of each loss of link without a sample, when a value is in force before it. `before` is the time
    // of the last sample already drawn or in force (NaN: none).
    static QVector<MeasurePoint> BreakGaps(const QVector<MeasurePoint> &series, const QVector<QCPRange> &lossSpans,
                                           double before);

    // The value in force before a span moved to the span's start `from`. Marks at or before `from` are
    // taken off the series: the link was lost after that value was recorded and nothing was read since,
    // so the value is not known to hold at the start and is NaN instead.
    static MeasurePoint InForceAtStart(const MeasurePoint &last, double from, QVector<MeasurePoint> *series);

    // The part of a read newer than `last`, the last sample already drawn (NaN: none drawn). A read that
    // starts at the second of that sample would otherwise add it again on every tick.
    static QVector<MeasurePoint> NotDrawnYet(const QVector<MeasurePoint> &series, double last);
};
