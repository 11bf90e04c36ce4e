#include "analysis/episode_chart.h"

#include <QDateTime>
#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

struct Axis {
    double from, to;
    double pixelFrom, pixelTo;
    double Map(double v) const { return pixelFrom + (v - from) / (to - from) * (pixelTo - pixelFrom); }
};

// Round steps (1, 2, 5 × 10^n) that give about `count` ticks.
double NiceStep(double span, int count) {
    const double raw = span / std::max(1, count);
    const double power = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0, 10.0})
        if (raw <= m * power)
            return m * power;
    return 10 * power;
}

void ValueRange(const SampleSeries &series, double t0, double t1, double shift, double *low, double *high) {
    for (auto it = series.lowerBound(t0); it != series.constEnd() && it.key() <= t1; ++it) {
        const double v = it.value().value - shift;
        if (std::isfinite(v)) {
            *low = std::min(*low, v);
            *high = std::max(*high, v);
        }
    }
}

// The series as steps, broken at missing values and at holes in the data.
QPainterPath Path(const SampleSeries &series, double t0, double t1, double shift, const Axis &x, const Axis &y) {
    QPainterPath path;
    bool drawing = false;
    double previousKey = 0, previousY = 0;
    for (auto it = series.lowerBound(t0); it != series.constEnd() && it.key() <= t1; ++it) {
        const double v = it.value().value - shift;
        if (!std::isfinite(v)) {
            if (drawing)
                path.lineTo(x.Map(it.key()), previousY);
            drawing = false;
            continue;
        }
        if (drawing && it.key() - previousKey > 5)
            drawing = false;
        const double px = x.Map(it.key()), py = y.Map(v);
        if (!drawing) {
            path.moveTo(px, py);
        } else {
            path.lineTo(px, previousY);
            path.lineTo(px, py);
        }
        drawing = true;
        previousKey = it.key();
        previousY = py;
    }
    return path;
}

} // namespace

QColor EpisodeChart::UnitColor(int index) {
    static const QColor colors[] = {QColor(0x1f, 0x5f, 0xb4), QColor(0xd9, 0x5f, 0x02), QColor(0x2c, 0x8c, 0x3c),
                                    QColor(0x8e, 0x3c, 0xb0), QColor(0xb8, 0x2e, 0x2e), QColor(0x00, 0x8b, 0x8b),
                                    QColor(0x8c, 0x6d, 0x1f), QColor(0xe0, 0x3c, 0x8a), QColor(0x55, 0x55, 0x55),
                                    QColor(0x6b, 0x8e, 0x23)};
    return colors[index % 10];
}

void EpisodeChart::Paint(QPainter *painter, const QRectF &rect, const StationSeries &station, const Episode &episode,
                         double deadBandHz) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    const double unit = rect.width() / 1000.0; // line widths and gaps follow the picture's size
    const double end = std::isfinite(episode.end)
                           ? episode.end
                           : (station.frequency.isEmpty() ? episode.start : station.frequency.lastKey());
    const double t0 = episode.start - Before, t1 = end + After;

    QFont font = painter->font();
    font.setPixelSize(std::max(8, int(13 * unit)));
    painter->setFont(font);
    const QFontMetricsF metrics(font, painter->device());
    const double labelWidth = metrics.horizontalAdvance(QStringLiteral("-000.00")) + 6 * unit;
    const double lineHeight = metrics.height();

    const QRectF plotArea = rect.adjusted(labelWidth + 4 * unit, lineHeight * 0.5, -8 * unit, -lineHeight * 2.6);
    const double split = plotArea.top() + plotArea.height() * 0.42;
    const QRectF top(plotArea.left(), plotArea.top(), plotArea.width(), split - plotArea.top() - lineHeight * 0.6);
    const QRectF bottom(plotArea.left(), split + lineHeight * 0.6, plotArea.width(),
                        plotArea.bottom() - split - lineHeight * 0.6);
    const Axis x{t0, t1, plotArea.left(), plotArea.right()};

    // Value ranges.
    double fLow = 50 - deadBandHz * 1.5, fHigh = 50 + deadBandHz * 1.5;
    ValueRange(station.frequency, t0, t1, 0, &fLow, &fHigh);
    const double fPad = (fHigh - fLow) * 0.08;
    const Axis yf{fLow - fPad, fHigh + fPad, top.bottom(), top.top()};
    double pLow = 0, pHigh = 0;
    for (int u = 0; u < station.units.size() && u < episode.units.size(); ++u) {
        const double base = episode.units[u].powerBefore;
        if (!std::isfinite(base))
            continue;
        ValueRange(station.units[u].power, t0, t1, base, &pLow, &pHigh);
        ValueRange(station.units[u].calc, t0, t1, base, &pLow, &pHigh);
    }
    if (pHigh - pLow < 1)
        pHigh = pLow + 1;
    const double pPad = (pHigh - pLow) * 0.08;
    const Axis yp{pLow - pPad, pHigh + pPad, bottom.bottom(), bottom.top()};

    const QPen gridPen(QColor(0xd8, 0xd8, 0xd8), unit * 0.8);
    const QPen framePen(QColor(0x60, 0x60, 0x60), unit * 1.2);
    auto frame = [&](const QRectF &panel, const Axis &y, int decimals, const QString &title) {
        painter->fillRect(panel, Qt::white);
        // Points of the study: A before the start, B after it; the checks at +15 s and +30 s.
        const QColor shade(0xee, 0xf2, 0xf8);
        painter->fillRect(
            QRectF(QPointF(x.Map(episode.start - 16), panel.top()), QPointF(x.Map(episode.start), panel.bottom())),
            shade);
        painter->fillRect(QRectF(QPointF(x.Map(episode.start + 20), panel.top()),
                                 QPointF(x.Map(std::min(episode.start + 52, t1)), panel.bottom())),
                          shade);
        const double step = NiceStep(y.to - y.from, 5);
        painter->setPen(gridPen);
        for (double v = std::ceil(y.from / step) * step; v <= y.to; v += step) {
            painter->setPen(gridPen);
            painter->drawLine(QPointF(panel.left(), y.Map(v)), QPointF(panel.right(), y.Map(v)));
            painter->setPen(Qt::black);
            painter->drawText(QRectF(rect.left(), y.Map(v) - lineHeight / 2, labelWidth, lineHeight),
                              Qt::AlignRight | Qt::AlignVCenter, QString::number(v, 'f', decimals));
        }
        QPen checks(QColor(0x90, 0x90, 0x90), unit, Qt::DotLine);
        painter->setPen(checks);
        for (double at : {0.0, 15.0, 30.0})
            painter->drawLine(QPointF(x.Map(episode.start + at), panel.top()),
                              QPointF(x.Map(episode.start + at), panel.bottom()));
        painter->setPen(framePen);
        painter->drawRect(panel);
        painter->setPen(Qt::black);
        painter->drawText(panel.adjusted(6 * unit, 2 * unit, 0, 0), Qt::AlignLeft | Qt::AlignTop, title);
    };

    frame(top, yf, fHigh - fLow > 0.5 ? 2 : 3, QStringLiteral("Частота, Гц"));
    painter->save();
    painter->setClipRect(top);
    painter->setPen(QPen(QColor(0x00, 0x80, 0x00), unit, Qt::DashLine));
    for (double band : {50 + deadBandHz, 50 - deadBandHz})
        painter->drawLine(QPointF(top.left(), yf.Map(band)), QPointF(top.right(), yf.Map(band)));
    painter->setPen(QPen(QColor(0x00, 0x64, 0x00), unit * 2));
    painter->drawPath(Path(station.frequency, t0, t1, 0, x, yf));
    if (std::isfinite(episode.deviationTime)) {
        const QPointF c(x.Map(episode.deviationTime), yf.Map(50 + episode.deviationMHz / 1000));
        painter->setBrush(QColor(0xd2, 0x3c, 0x3c));
        painter->setPen(Qt::NoPen);
        painter->drawEllipse(c, 4 * unit, 4 * unit);
        painter->setPen(Qt::black);
        painter->drawText(QRectF(c.x() + 6 * unit, c.y() - lineHeight / 2, 300 * unit, lineHeight),
                          Qt::AlignLeft | Qt::AlignVCenter,
                          QStringLiteral("C: %1 мГц").arg(QString::number(episode.deviationMHz, 'f', 0)));
    }
    painter->restore();

    frame(bottom, yp, pHigh - pLow > 20 ? 0 : 1,
          QStringLiteral("Изменение мощности от точки A, МВт (сплошная — факт, штрих — требуемое)"));
    painter->save();
    painter->setClipRect(bottom);
    painter->setBrush(Qt::NoBrush);
    for (int u = 0; u < station.units.size() && u < episode.units.size(); ++u) {
        const double base = episode.units[u].powerBefore;
        if (!std::isfinite(base))
            continue;
        const QColor color = UnitColor(u);
        painter->setPen(QPen(color, unit * 1.4, Qt::DashLine));
        painter->drawPath(Path(station.units[u].calc, t0, t1, base, x, yp));
        painter->setPen(QPen(color, unit * 2.2));
        painter->drawPath(Path(station.units[u].power, t0, t1, base, x, yp));
    }
    painter->restore();

    // Time axis under both panels.
    painter->setPen(Qt::black);
    const double span = t1 - t0;
    const double step = span <= 300 ? 30 : span <= 600 ? 60 : span <= 1800 ? 300 : 600;
    for (double t = std::ceil(t0 / step) * step; t <= t1; t += step) {
        const double px = x.Map(t);
        painter->setPen(framePen);
        painter->drawLine(QPointF(px, bottom.bottom()), QPointF(px, bottom.bottom() + 3 * unit));
        painter->setPen(Qt::black);
        painter->drawText(QRectF(px - 60 * unit, bottom.bottom() + 4 * unit, 120 * unit, lineHeight), Qt::AlignCenter,
                          QDateTime::fromSecsSinceEpoch(qint64(t)).toString(QStringLiteral("hh:mm:ss")));
    }
    // Legend: one entry per unit in its colour.
    double lx = plotArea.left();
    const double ly = bottom.bottom() + lineHeight * 1.4;
    for (int u = 0; u < episode.units.size(); ++u) {
        const QString name = episode.units[u].name;
        const double w = metrics.horizontalAdvance(name) + 30 * unit;
        if (lx + w > plotArea.right())
            break;
        painter->setPen(QPen(UnitColor(u), unit * 3));
        painter->drawLine(QPointF(lx, ly + lineHeight / 2), QPointF(lx + 18 * unit, ly + lineHeight / 2));
        painter->setPen(Qt::black);
        painter->drawText(QRectF(lx + 22 * unit, ly, w, lineHeight), Qt::AlignLeft | Qt::AlignVCenter, name);
        lx += w + 10 * unit;
    }
    painter->restore();
}
