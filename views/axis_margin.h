#pragma once

#include "qcustomplot.h"

// Room around the samples on a value axis, so that an extreme (a frequency nadir, a unit dropped to
// its minimum) is drawn inside the plot and not on its border.
class AxisMargin {
public:
    // Part of the span added on each side.
    static constexpr double Fraction = 0.05;

    // The range widened on both sides; a range of one value keeps the width it was given.
    static QCPRange Widen(const QCPRange &range);
};
