#include "views/axis_margin.h"

QCPRange AxisMargin::Widen(const QCPRange &range) {
    const double margin = range.size() * Fraction;
    return QCPRange(range.lower - margin, range.upper + margin);
}
