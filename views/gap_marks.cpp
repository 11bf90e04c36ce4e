#include "views/gap_marks.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

QVector<MeasurePoint> GapMarks::BreakGaps(const QVector<MeasurePoint> &series, const QVector<QCPRange> &lossSpans,
                                          double before) {
    QVector<MeasurePoint> marks;
    for (const QCPRange &span : lossSpans) {
        // A sample known at or after the loss's start: the loss is behind the drawn part or the archive
        // has a sample inside it.
        if (!std::isnan(before) && before >= span.lower)
            continue;
        const auto after = std::lower_bound(series.cbegin(), series.cend(), span.lower,
                                            [](const MeasurePoint &p, double time) { return p.time < time; });
        if (after != series.cend() && (std::isnan(span.upper) || after->time <= span.upper))
            continue;
        // Nothing in force before the loss: nothing to cut.
        if (std::isnan(before) && after == series.cbegin())
            continue;
        MeasurePoint mark;
        mark.time = span.lower;
        mark.value = std::numeric_limits<double>::quiet_NaN();
        mark.flags = 0;
        marks.append(mark);
    }
    // Without a mark the series is handed back as it came, shared rather than copied.
    if (marks.isEmpty())
        return series;
    QVector<MeasurePoint> result;
    result.reserve(series.size() + marks.size());
    std::merge(series.cbegin(), series.cend(), marks.cbegin(), marks.cend(), std::back_inserter(result),
               [](const MeasurePoint &a, const MeasurePoint &b) { return a.time < b.time; });
    return result;
}

MeasurePoint GapMarks::InForceAtStart(const MeasurePoint &last, double from, QVector<MeasurePoint> *series) {
    MeasurePoint point = last;
    point.time = from;
    int before = 0;
    while (before < series->size() && series->at(before).time <= from && std::isnan(series->at(before).value))
        ++before;
    if (before > 0) {
        point.value = std::numeric_limits<double>::quiet_NaN();
        series->remove(0, before);
    }
    return point;
}

QVector<MeasurePoint> GapMarks::NotDrawnYet(const QVector<MeasurePoint> &series, double last) {
    int drawn = 0;
    while (!std::isnan(last) && drawn < series.size() && series[drawn].time <= last)
        ++drawn;
    return drawn ? series.mid(drawn) : series;
}
