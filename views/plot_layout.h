#pragma once

#include <QSize>
#include <QVector>

#include "qcustomplot.h"

class AxisTag;

// Sets up the plot's axes and fits them and the value tags to its size: tick counts and time label
// layout that keep the labels apart, tags stacked so that none covers another, room for their texts.
class PlotLayout {
public:
    explicit PlotLayout(QCustomPlot *plot);

    // Room around the samples on a value axis, so that an extreme (a frequency nadir, a unit dropped to
    // its minimum) is drawn inside the plot and not on its border: this part of the span on each side.
    static constexpr double MarginFraction = 0.05;
    static QCPRange WithMargin(const QCPRange &range);

    // The axes of an empty chart: date-time ticks, ranges, colours, grids and a second right axis that
    // repeats the power scale; the time labels are laid out anew for the next size.
    void SetUpAxes();
    // Before every replot of a plot with a size.
    void Arrange(const QVector<AxisTag *> &tags);
    // Widens the right margin so that the shown value tags stay inside the widget.
    void FitTagsInside(const QVector<AxisTag *> &tags);

private:
    void LayOut();
    void FitAxisTicks();
    void SetTwoLineTimeLabels(bool twoLines);
    void StackValueTags(const QVector<AxisTag *> &tags);

    QCustomPlot *plot;
    QSize timeLabelsSize; // plot size the time label layout was chosen for
    bool twoLineTimeLabels = false;
};
