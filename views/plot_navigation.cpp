#include "views/plot_navigation.h"

#include <QMouseEvent>
#include <QRubberBand>
#include <QWheelEvent>
#include <cmath>

namespace {

constexpr int MinRect = 6;           // pixels of a rectangle that zooms; smaller is a click
constexpr double WheelFactor = 0.85; // span kept by one notch in
constexpr qint64 WheelBurstMs = 700; // notches closer than this are one step of the history
constexpr double MinTimeSpan = 5;    // seconds: closer than the archive's samples tells nothing
constexpr double MinValueSpan = 1e-4;

void ScaleAbout(QCPAxis *axis, double factor, double center, double minSpan) {
    const QCPRange range = axis->range();
    if (range.size() * factor < minSpan)
        factor = minSpan / range.size();
    axis->setRange(center - (center - range.lower) * factor, center + (range.upper - center) * factor);
}

} // namespace

PlotNavigation::PlotNavigation(QCustomPlot *plot) : QObject(plot), plot(plot), history(plot) {
    band = new QRubberBand(QRubberBand::Rectangle, plot);
    band->hide();
    plot->installEventFilter(this);
}

void PlotNavigation::Replot() {
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void PlotNavigation::ZoomToRect(const QRect &rect) {
    const QRect inside = rect.normalized().intersected(plot->axisRect()->rect());
    if (inside.width() < MinRect)
        return;
    history.Remember();
    const double from = plot->xAxis->pixelToCoord(inside.left());
    const double to = plot->xAxis->pixelToCoord(inside.right());
    plot->xAxis->setRange(from, std::max(to, from + MinTimeSpan));
    // A rectangle of some height zooms the values too; a flat one only the time.
    if (inside.height() >= MinRect) {
        for (QCPAxis *axis : {plot->yAxis, plot->yAxis2})
            axis->setRange(axis->pixelToCoord(inside.bottom()), axis->pixelToCoord(inside.top()));
    }
    Replot();
}

void PlotNavigation::Wheel(const QPoint &at, double steps, bool valueAxes) {
    if (!lastWheel.isValid() || lastWheel.elapsed() > WheelBurstMs)
        history.Remember();
    lastWheel.start();
    const double factor = std::pow(WheelFactor, steps);
    if (valueAxes) {
        for (QCPAxis *axis : {plot->yAxis, plot->yAxis2})
            ScaleAbout(axis, factor, axis->pixelToCoord(at.y()), MinValueSpan);
    } else {
        ScaleAbout(plot->xAxis, factor, plot->xAxis->pixelToCoord(at.x()), MinTimeSpan);
    }
    Replot();
}

void PlotNavigation::Pan(const QPoint &offset) {
    history.Remember();
    PanBy(offset);
}

void PlotNavigation::PanBy(const QPoint &offset) {
    for (QCPAxis *axis : {plot->xAxis, plot->yAxis, plot->yAxis2}) {
        const double shift = axis->orientation() == Qt::Horizontal ? offset.x() : offset.y();
        const double delta = axis->pixelToCoord(0) - axis->pixelToCoord(shift);
        axis->moveRange(delta);
    }
    Replot();
}

bool PlotNavigation::eventFilter(QObject *watched, QEvent *event) {
    if (watched != plot || !enabled)
        return false;
    switch (event->type()) {
    case QEvent::MouseButtonPress: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (!plot->axisRect()->rect().contains(mouse->pos()))
            return false;
        const bool pan = mouse->button() == Qt::MiddleButton ||
                         (mouse->button() == Qt::LeftButton && (mouse->modifiers() & Qt::ShiftModifier));
        if (pan) {
            drag = Drag::Pan;
            history.Remember();
        } else if (mouse->button() == Qt::LeftButton) {
            drag = Drag::Rect;
        }
        dragFrom = dragLast = mouse->pos();
        return false;
    }
    case QEvent::MouseMove: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (drag == Drag::Pan) {
            PanBy(mouse->pos() - dragLast);
            dragLast = mouse->pos();
        } else if (drag == Drag::Rect) {
            const QRect rect = QRect(dragFrom, mouse->pos()).normalized();
            band->setGeometry(rect);
            band->setVisible(rect.width() >= MinRect);
        }
        return false;
    }
    case QEvent::MouseButtonRelease: {
        const auto *mouse = static_cast<QMouseEvent *>(event);
        if (drag == Drag::Rect && mouse->button() == Qt::LeftButton) {
            band->hide();
            ZoomToRect(QRect(dragFrom, mouse->pos()));
        }
        if (mouse->buttons() == Qt::NoButton)
            drag = Drag::None;
        return false;
    }
    case QEvent::Wheel: {
        const auto *wheel = static_cast<QWheelEvent *>(event);
        const double steps = wheel->angleDelta().y() / 120.0;
        if (steps != 0)
            Wheel(wheel->position().toPoint(), steps, wheel->modifiers() & Qt::ControlModifier);
        return true;
    }
    default:
        return false;
    }
}
