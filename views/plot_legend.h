#pragma once

#include "qcustomplot.h"

// The legend of the chart: a band under the plot that names every curve, in as many columns as its
// width holds, so that it never covers a curve.
class PlotLegend {
public:
    explicit PlotLegend(QCustomPlot *plot);

    // Marks a graph as one the legend names while it is shown; other graphs it leaves out.
    static void Name(QCPAbstractPlottable *graph);

    // Puts the legend in its band; after every reset of the plot.
    void SetUp();
    void SetVisible(bool visible);
    bool Visible() const { return visible; }
    // Before every replot: the columns for the plot's width.
    void Arrange();

private:
    void Place(bool shown);

    QCustomPlot *plot;
    bool visible = true;
};
