#pragma once

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QVector>

#include "qcustomplot.h"

class PlottedChannels;
class QLabel;

// The cursor readout: a vertical line under the mouse and, in a box beside it, the time and the value
// in force of every shown channel at that moment. A click fixes a second cursor; the box then gives the
// time between the two and each channel's change.
class PlotCursor : public QObject {
    Q_OBJECT
public:
    PlotCursor(QCustomPlot *plot, const PlottedChannels *channels);
    ~PlotCursor() override;

    struct Reading {
        QString name;
        QString place; // station / unit
        int kind = 0;  // column of the box: frequency, power, calculated power
        QColor color;
        QString number; // the value alone
        QString value;  // with its unit, in the axes' locale
        QString delta;  // empty without a fixed cursor
    };

    // The value a channel had at `key`: the last sample at or before it, from whichever of the two
    // graphs holds it; NaN before the first sample, after the last one and within a break.
    static double ValueAt(const QCPGraph *main, const QCPGraph *violation, double key);

    // The cursor under the mouse at a time; NaN hides it and its box.
    void MoveTo(double key);
    // Fixes the second cursor at a time; NaN takes it away.
    void Fix(double key);
    double HoverKey() const { return hoverKey; }
    double FixedKey() const { return fixedKey; }
    QVector<Reading> Readings() const;
    // The box as shown, hidden when no cursor is on the chart.
    QLabel *Box() const { return box; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QCPItemStraightLine *Line(QPointer<QCPItemStraightLine> *line, const QPen &pen);
    void PlaceLine(QCPItemStraightLine *line, double key);
    void Update();
    void PlaceBox();
    static QString ReadoutHtml(const QString &head, const QVector<Reading> &readings, int columns);

    QCustomPlot *plot;
    const PlottedChannels *channels;
    QCPLayer *layer = nullptr;
    QPointer<QCPItemStraightLine> hoverLine;
    QPointer<QCPItemStraightLine> fixedLine;
    QLabel *box = nullptr;
    double hoverKey;
    double fixedKey;
    QPoint pressAt;
    bool pressed = false;
};
