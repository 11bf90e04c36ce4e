#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPoint>
#include <functional>

#include "qcustomplot.h"
#include "views/plot_zoom_history.h"

class QRubberBand;

// Zoom and pan of the chart by mouse: a dragged rectangle or the wheel zoom the time axis (Ctrl+wheel
// the value axes), the middle button or Shift with the left one pan. Every change is remembered so
// that Back steps through them again. Off while realtime follows the clock.
class PlotNavigation : public QObject {
    Q_OBJECT
public:
    explicit PlotNavigation(QCustomPlot *plot);

    void SetEnabled(bool on) { enabled = on; }
    bool Enabled() const { return enabled; }
    PlotZoomHistory &History() { return history; }

    // The steps of the mouse, also for tests: a rectangle between two widget points, `steps` notches of
    // the wheel at a point (positive: in), a pan by a pixel offset.
    void ZoomToRect(const QRect &rect);
    void Wheel(const QPoint &at, double steps, bool valueAxes);
    void Pan(const QPoint &offset);

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Replot();
    // A step of a drag; the view before the drag is remembered at its start.
    void PanBy(const QPoint &offset);

    QCustomPlot *plot;
    PlotZoomHistory history;
    bool enabled = false;
    enum class Drag { None, Rect, Pan } drag = Drag::None;
    QPoint dragFrom;
    QPoint dragLast;
    QRubberBand *band = nullptr;
    QElapsedTimer lastWheel;
};
