#pragma once

#include "qcustomplot.h"

// A graph whose adaptive sampling keeps every real sample: the library takes the first point of a
// pixel column as the column's minimum and maximum, so a NaN there hides the whole column. Here the
// extremes come from the finite values only, and a NaN at either end of a column still breaks the
// line. Without NaN the points are the library's own.
class SampleGraph : public QCPGraph {
public:
    SampleGraph(QCPAxis *keyAxis, QCPAxis *valueAxis);

protected:
    void getOptimizedLineData(QVector<QCPGraphData> *lineData, const QCPGraphDataContainer::const_iterator &begin,
                              const QCPGraphDataContainer::const_iterator &end) const override;
};
