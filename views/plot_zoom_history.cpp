#include "views/plot_zoom_history.h"

PlotZoomHistory::View PlotZoomHistory::Shown() const {
    return {plot->xAxis->range(), plot->yAxis->range(), plot->yAxis2->range()};
}

void PlotZoomHistory::Remember() {
    const View shown = Shown();
    if (!views.isEmpty() && views.last() == shown)
        return;
    if (views.size() >= MaxViews)
        views.removeFirst();
    views.append(shown);
}

bool PlotZoomHistory::Back() {
    // A view remembered just before nothing changed is the one shown; step past it.
    while (!views.isEmpty() && views.last() == Shown())
        views.removeLast();
    if (views.isEmpty())
        return false;
    const View view = views.takeLast();
    plot->xAxis->setRange(view.time);
    plot->yAxis->setRange(view.power);
    plot->yAxis2->setRange(view.frequency);
    return true;
}
