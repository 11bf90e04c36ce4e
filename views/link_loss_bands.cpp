#include "views/link_loss_bands.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double FarFuture = 2541161785; // right end of a band while the link is still down

} // namespace

LinkLossBands::LinkLossBands(QCustomPlot *plot) : plot(plot) {}

bool LinkLossBands::Lost(double time) {
    if (!spans.isEmpty() && std::isnan(spans.last().upper))
        return false;
    spans.append(QCPRange(time, std::numeric_limits<double>::quiet_NaN()));
    Draw();
    return true;
}

bool LinkLossBands::Restored(double time) {
    if (spans.isEmpty() || !std::isnan(spans.last().upper))
        return false;
    spans.last().upper = std::max(time, spans.last().lower);
    Draw();
    return true;
}

QVector<QCPItemRect *> LinkLossBands::Bands() const {
    QVector<QCPItemRect *> bands;
    for (const QPointer<QCPItemRect> &rect : rects) {
        if (rect)
            bands.append(rect);
    }
    return bands;
}

void LinkLossBands::Draw() {
    for (const QPointer<QCPItemRect> &rect : qAsConst(rects)) {
        if (rect)
            plot->removeItem(rect);
    }
    for (const QPointer<QCPItemText> &text : qAsConst(texts)) {
        if (text)
            plot->removeItem(text);
    }
    rects.clear();
    texts.clear();
    if (spans.isEmpty())
        return;

    // Beneath the grid and the curves, so the band tints the background only.
    const QString layerName = QStringLiteral("linkloss");
    if (!plot->layer(layerName))
        plot->addLayer(layerName, plot->layer(QStringLiteral("grid")), QCustomPlot::limBelow);
    QCPAxisRect *rect = plot->axisRect();
    for (const QCPRange &span : qAsConst(spans)) {
        auto *band = new QCPItemRect(plot);
        band->setLayer(layerName);
        band->setPen(Qt::NoPen);
        band->setBrush(QColor(255, 200, 120, 110));
        for (QCPItemPosition *corner : {band->topLeft, band->bottomRight}) {
            corner->setAxisRect(rect);
            corner->setAxes(plot->xAxis, plot->yAxis);
            corner->setTypeX(QCPItemPosition::ptPlotCoords);
            corner->setTypeY(QCPItemPosition::ptAxisRectRatio);
        }
        // Still down: the band runs on to the right end of any range.
        band->topLeft->setCoords(span.lower, 0);
        band->bottomRight->setCoords(std::isnan(span.upper) ? FarFuture : span.upper, 1);
        rects.append(band);

        auto *text = new QCPItemText(plot);
        text->setLayer(layerName);
        text->setText(QStringLiteral("нет связи"));
        text->setColor(QColor(150, 80, 0));
        text->setPositionAlignment(Qt::AlignHCenter | Qt::AlignTop);
        text->position->setAxisRect(rect);
        text->position->setAxes(plot->xAxis, plot->yAxis);
        text->position->setTypeX(QCPItemPosition::ptPlotCoords);
        text->position->setTypeY(QCPItemPosition::ptAxisRectRatio);
        text->position->setCoords(span.lower, 0);
        texts.append(text);
    }
}

void LinkLossBands::PlaceTexts() {
    // A little below the top of the band; hidden when the visible part is narrower than the text.
    const QCPRange visible = plot->xAxis->range();
    for (int i = 0; i < texts.size() && i < spans.size(); ++i) {
        QCPItemText *text = texts[i];
        if (!text)
            continue;
        const QCPRange &span = spans[i];
        const double lower = std::max(span.lower, visible.lower);
        const double upper = std::min(std::isnan(span.upper) ? FarFuture : span.upper, visible.upper);
        const double width = plot->xAxis->coordToPixel(upper) - plot->xAxis->coordToPixel(lower);
        const int textWidth = QFontMetrics(text->font()).horizontalAdvance(text->text()) + 4;
        text->setVisible(upper > lower && width >= textWidth);
        text->position->setCoords((lower + upper) / 2, 0);
        text->setPadding(QMargins(2, 4, 2, 0));
    }
}
