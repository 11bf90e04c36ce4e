#pragma once

#include <QVector>

#include "qcustomplot.h"

// The spans the chart showed before each zoom or pan, newest last, to step back through.
class PlotZoomHistory {
public:
    struct View {
        QCPRange time;
        QCPRange power;
        QCPRange frequency;
        bool operator==(const View &other) const {
            return time == other.time && power == other.power && frequency == other.frequency;
        }
    };

    explicit PlotZoomHistory(QCustomPlot *plot) : plot(plot) {}

    // Remembers what is shown now, unless it is what was remembered last.
    void Remember();
    // Shows the view remembered last and forgets it; false when there is none.
    bool Back();
    void Clear() { views.clear(); }
    int Size() const { return views.size(); }
    View Shown() const;

private:
    // Kept from growing without end over a long session.
    static constexpr int MaxViews = 100;

    QCustomPlot *plot;
    QVector<View> views;
};
