#include "views/axistag.h"

#include <cmath>

AxisTag::AxisTag(QCPAxis *parentAxis) : QObject(parentAxis), mAxis(parentAxis) {
    QCustomPlot *plot = mAxis->parentPlot();

    // Invisible anchor at the right edge of the axis rect, at the value on this axis.
    mDummyTracer = new QCPItemTracer(plot);
    mDummyTracer->setVisible(false);
    mDummyTracer->position->setTypeX(QCPItemPosition::ptAxisRectRatio);
    mDummyTracer->position->setTypeY(QCPItemPosition::ptPlotCoords);
    mDummyTracer->position->setAxisRect(mAxis->axisRect());
    mDummyTracer->position->setAxes(nullptr, mAxis);
    mDummyTracer->position->setCoords(1, 0);

    mArrow = new QCPItemLine(plot);
    mArrow->setLayer(QLatin1String("overlay"));
    mArrow->setClipToAxisRect(false);
    mArrow->setHead(QCPLineEnding(QCPLineEnding::esSpikeArrow, 8, 10));
    mArrow->end->setParentAnchor(mDummyTracer->position);
    mArrow->start->setParentAnchor(mArrow->end);
    mArrow->start->setCoords(15, 0);

    mLabel = new QCPItemText(plot);
    mLabel->setLayer(QLatin1String("overlay"));
    mLabel->setClipToAxisRect(false);
    mLabel->setPadding(QMargins(3, 0, 3, 0));
    mLabel->setBrush(QBrush(Qt::white));
    mLabel->setPen(QPen(Qt::blue));
    mLabel->setPositionAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    mLabel->position->setParentAnchor(mArrow->start);
}

AxisTag::~AxisTag() {
    // The plot may have removed the items already (clearItems); the guarded pointers are null then.
    if (mDummyTracer)
        mDummyTracer->parentPlot()->removeItem(mDummyTracer);
    if (mArrow)
        mArrow->parentPlot()->removeItem(mArrow);
    if (mLabel)
        mLabel->parentPlot()->removeItem(mLabel);
}

void AxisTag::setPen(const QPen &pen) {
    if (mArrow)
        mArrow->setPen(pen);
    if (mLabel)
        mLabel->setPen(pen);
}

void AxisTag::setBrush(const QBrush &brush) {
    if (mLabel)
        mLabel->setBrush(brush);
}

void AxisTag::setText(const QString &text) {
    if (mLabel)
        mLabel->setText(text);
}

int AxisTag::labelRight() const {
    if (!mLabel || !mLabel->visible())
        return -1;
    return int(std::ceil(mLabel->right->pixelPosition().x()));
}

void AxisTag::setVisible(bool visible) {
    if (mArrow)
        mArrow->setVisible(visible);
    if (mLabel)
        mLabel->setVisible(visible);
}

void AxisTag::updatePosition(double key, double value) {
    if (std::isnan(value) || std::isnan(key)) {
        setVisible(false);
    } else {
        if (mDummyTracer)
            mDummyTracer->position->setCoords(1, value);
        setVisible(true);
    }
    // An axis that lies further out (offset) still gets the arrow head on its line.
    if (mArrow)
        mArrow->end->setCoords(mAxis->offset(), 0);
}

void AxisTag::setLabelOffset(double dx, double dy) {
    if (mArrow)
        mArrow->start->setCoords(15 + dx, dy);
}

QSizeF AxisTag::labelSize() const {
    if (!mLabel)
        return QSizeF();
    // The same box QCPItemText draws: the text's bounding rect plus the padding.
    const QFontMetrics metrics(mLabel->font());
    const QRect text = metrics.boundingRect(0, 0, 0, 0, Qt::TextDontClip | mLabel->textAlignment(), mLabel->text());
    const QMargins padding = mLabel->padding();
    return QSizeF(text.width() + padding.left() + padding.right(), text.height() + padding.top() + padding.bottom());
}

double AxisTag::valuePixel() const {
    return mDummyTracer ? mAxis->coordToPixel(mDummyTracer->position->coords().y()) : 0.0;
}
