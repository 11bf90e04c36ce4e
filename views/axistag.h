#pragma once

#include <QBrush>
#include <QObject>
#include <QPen>
#include <QPointer>
#include <QString>

#include "qcustomplot.h"

// A label with an arrow at the edge of a value axis that points at a channel's current value.
class AxisTag : public QObject {
    Q_OBJECT
public:
    explicit AxisTag(QCPAxis *parentAxis);
    ~AxisTag() override;

    void setPen(const QPen &pen);
    void setBrush(const QBrush &brush);
    void setText(const QString &text);
    void setVisible(bool visible);
    // Right edge of the shown label in widget pixels as of the last layout; -1 when hidden or gone.
    int labelRight() const;
    void updatePosition(double key, double value);
    // Moves the label by (dx, dy) pixels from its place beside the value; the arrow keeps pointing at it.
    void setLabelOffset(double dx, double dy);
    // Size of the label's box as drawn; empty when the label is gone.
    QSizeF labelSize() const;
    // Vertical pixel of the value the tag points at.
    double valuePixel() const;

    QCPAxis *axis() const { return mAxis; }
    QCPItemTracer *tracer() const { return mDummyTracer; }
    QCPItemLine *arrow() const { return mArrow; }
    QCPItemText *label() const { return mLabel; }

private:
    QCPAxis *mAxis;
    QPointer<QCPItemTracer> mDummyTracer;
    QPointer<QCPItemLine> mArrow;
    QPointer<QCPItemText> mLabel;
};
