#pragma once

#include <QPointer>
#include <QVector>

#include "qcustomplot.h"

// Times without link to the server, shaded on the plot for the rest of the run, each band with a text
// that says why.
class LinkLossBands {
public:
    explicit LinkLossBands(QCustomPlot *plot);

    // The link went down or came back; false when that changes nothing (a second notice of the same).
    bool Lost(double time);
    bool Restored(double time);
    // Spans without link; the upper end is NaN while the link is still down.
    const QVector<QCPRange> &Spans() const { return spans; }
    QVector<QCPItemRect *> Bands() const;

    // Makes the bands and texts anew, also after the plot has lost its items.
    void Draw();
    // Each text at the middle of the visible part of its band; before every replot.
    void PlaceTexts();

private:
    QCustomPlot *plot;
    QVector<QCPRange> spans;
    QVector<QPointer<QCPItemRect>> rects;
    QVector<QPointer<QCPItemText>> texts;
};
