#include "views/sample_graph.h"

#include <cmath>
#include <limits>

namespace {

// A pixel column of the adaptive sampling.
struct Column {
    double startKey;   // key of the column's left edge
    double width;      // one pixel in keys
    double lastEndKey; // key of the previous column's last point
    double minValue;   // extremes of the finite values; NaN when there are none
    double maxValue;
    int count;
};

// The points of the pixel column [first, after); `more` tells whether points follow it.
void AppendColumn(QVector<QCPGraphData> *lineData, const Column &c, QCPGraphDataContainer::const_iterator first,
                  QCPGraphDataContainer::const_iterator after, bool more) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    if (c.count < 2) {
        lineData->append(*first);
        return;
    }
    if (std::isnan(c.minValue)) {
        lineData->append(QCPGraphData(c.startKey + c.width * 0.25, nan));
        return;
    }
    if (std::isnan(first->value))
        lineData->append(QCPGraphData(c.startKey + c.width * 0.2, nan));
    else if (c.lastEndKey < c.startKey - c.width)
        lineData->append(QCPGraphData(c.startKey + c.width * 0.2, first->value));
    lineData->append(QCPGraphData(c.startKey + c.width * 0.25, c.minValue));
    lineData->append(QCPGraphData(c.startKey + c.width * 0.75, c.maxValue));
    const double lastValue = (after - 1)->value;
    if (std::isnan(lastValue))
        lineData->append(QCPGraphData(c.startKey + c.width * 0.8, nan));
    else if (more && after->key > c.startKey + c.width * 2)
        lineData->append(QCPGraphData(c.startKey + c.width * 0.8, lastValue));
}

} // namespace

SampleGraph::SampleGraph(QCPAxis *keyAxis, QCPAxis *valueAxis) : QCPGraph(keyAxis, valueAxis) {}

void SampleGraph::getOptimizedLineData(QVector<QCPGraphData> *lineData,
                                       const QCPGraphDataContainer::const_iterator &begin,
                                       const QCPGraphDataContainer::const_iterator &end) const {
    QCPAxis *keyAxis = mKeyAxis.data();
    if (!mAdaptiveSampling || !lineData || !keyAxis || !mValueAxis || begin == end) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }
    // The library samples only from two points a pixel on average; below that it copies the points,
    // NaN and all, and so does this graph.
    const double pixelSpan = qAbs(keyAxis->coordToPixel(begin->key) - keyAxis->coordToPixel((end - 1)->key));
    if (!(2 * pixelSpan + 2 < double(std::numeric_limits<int>::max())) || int(end - begin) < int(2 * pixelSpan + 2)) {
        QCPGraph::getOptimizedLineData(lineData, begin, end);
        return;
    }

    // Columns, keys and the cluster's four points as the library places them, so that a graph without
    // NaN looks exactly the same.
    const int reversedFactor = keyAxis->pixelOrientation();
    const int reversedRound = reversedFactor == -1 ? 1 : 0;
    const bool logarithmic = keyAxis->scaleType() == QCPAxis::stLogarithmic;
    auto columnStart = [&](double key) {
        return keyAxis->pixelToCoord(int(keyAxis->coordToPixel(key) + reversedRound));
    };
    auto columnWidth = [&](double start) {
        return qAbs(start - keyAxis->pixelToCoord(keyAxis->coordToPixel(start) + 1.0 * reversedFactor));
    };

    // Extremes over the column's finite values, NaN when it has none. The loop compares as the library's
    // does, where a NaN never wins; only a column that opens with NaN looks ahead for its first value.
    double minValue;
    double maxValue;
    auto openColumn = [&](QCPGraphDataContainer::const_iterator at, double startKey, double width) {
        minValue = maxValue = at->value;
        if (!std::isnan(minValue))
            return;
        for (++at; at != end && at->key < startKey + width; ++at) {
            if (!std::isnan(at->value)) {
                minValue = maxValue = at->value;
                return;
            }
        }
    };

    QCPGraphDataContainer::const_iterator first = begin; // first point of the current column
    double startKey = columnStart(begin->key);
    double width = columnWidth(startKey);
    double lastEndKey = startKey; // key of the previous column's last point
    openColumn(begin, startKey, width);
    int count = 1;
    for (QCPGraphDataContainer::const_iterator it = begin + 1; it != end; ++it) {
        if (it->key < startKey + width) {
            if (it->value < minValue)
                minValue = it->value;
            else if (it->value > maxValue)
                maxValue = it->value;
            ++count;
            continue;
        }
        AppendColumn(lineData, Column{startKey, width, lastEndKey, minValue, maxValue, count}, first, it, true);
        lastEndKey = (it - 1)->key;
        first = it;
        startKey = columnStart(it->key);
        if (logarithmic)
            width = columnWidth(startKey);
        openColumn(it, startKey, width);
        count = 1;
    }
    AppendColumn(lineData, Column{startKey, width, lastEndKey, minValue, maxValue, count}, first, end, false);
}
