#include "views/plot_layout.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>
#include <vector>

#include "views/axistag.h"

QCPRange PlotLayout::WithMargin(const QCPRange &range) {
    const double margin = range.size() * MarginFraction;
    return QCPRange(range.lower - margin, range.upper + margin);
}

PlotLayout::PlotLayout(QCustomPlot *plot) : plot(plot) {}

void PlotLayout::SetUpAxes() {
    QSharedPointer<QCPAxisTickerDateTime> dateTicker(new QCPAxisTickerDateTime);
    dateTicker->setDateTimeFormat(QStringLiteral("dd.MM.yy HH:mm:ss"));
    dateTicker->setTickStepStrategy(QCPAxisTicker::tssReadability);
    plot->xAxis->setTicker(dateTicker);

    plot->xAxis->ticker()->setTickCount(20);
    plot->yAxis->ticker()->setTickCount(20);
    plot->yAxis2->ticker()->setTickCount(20);
    plot->yAxis2->setVisible(true);

    plot->xAxis->setRange(0, 100);
    plot->yAxis->setRange(49, 51);
    plot->yAxis2->setRange(0, 300);

    plot->xAxis->setTickLabelRotation(-60);
    plot->xAxis->setSubTicks(true);
    twoLineTimeLabels = false;
    timeLabelsSize = QSize();

    plot->yAxis->setTickLabelColor(Qt::blue);
    plot->yAxis->setLabelColor(Qt::blue);
    plot->yAxis2->setTickLabelColor(Qt::darkGreen);
    plot->yAxis2->setLabelColor(Qt::darkGreen);

    QCPAxisRect *rect = plot->axisRect();
    if (rect->axisCount(QCPAxis::atRight) < 2) {
        // A second right axis repeats the power scale next to the frequency scale.
        QCPAxis *power = rect->addAxis(QCPAxis::atRight);
        power->setPadding(30);
        power->ticker()->setTickCount(20);
        power->setTickLabelColor(Qt::blue);
        power->setLabelColor(Qt::blue);
        power->setRange(plot->yAxis->range());
        QObject::connect(plot->yAxis, QOverload<const QCPRange &>::of(&QCPAxis::rangeChanged), power,
                         QOverload<const QCPRange &>::of(&QCPAxis::setRange));
    }

    rect->setRangeDragAxes({plot->xAxis, plot->yAxis, plot->yAxis2});
    rect->setRangeZoomAxes({plot->xAxis, plot->yAxis, plot->yAxis2});

    plot->xAxis->grid()->setVisible(true);
    plot->yAxis->grid()->setVisible(true);
    plot->yAxis2->grid()->setVisible(true);
    plot->xAxis->grid()->setSubGridVisible(true);
}

void PlotLayout::Arrange(const QVector<AxisTag *> &tags) {
    FitAxisTicks();
    StackValueTags(tags);
    const QMargins margins = plot->axisRect()->minimumMargins();
    FitTagsInside(tags);
    // Room made for the tags narrows the plot: fit the ticks to that.
    if (plot->axisRect()->minimumMargins() != margins) {
        FitAxisTicks();
        StackValueTags(tags);
    }
}

void PlotLayout::FitTagsInside(const QVector<AxisTag *> &tags) {
    // The tags stand at the right edge of the axis rect and write to the right of it; without room
    // there their texts run out of the widget. Widen the right margin by what the last layout cut off;
    // the replot of the same tick applies it. No tags shown: no extra room.
    QCPAxisRect *rect = plot->axisRect();
    if (!rect)
        return;
    int rightmost = -1;
    for (const AxisTag *tag : tags)
        rightmost = std::max(rightmost, tag->labelRight());
    QMargins margins = rect->minimumMargins();
    int wanted = 0;
    if (rightmost >= 0) {
        const int overflow = rightmost + 4 - plot->width();
        wanted = overflow > 0 ? rect->margins().right() + overflow : margins.right();
        // The tags may take up to 60 % of the width; beyond that the plot itself would be lost.
        wanted = std::min(wanted, plot->width() * 3 / 5);
    }
    if (margins.right() == wanted)
        return;
    margins.setRight(wanted);
    rect->setMinimumMargins(margins);
}

void PlotLayout::LayOut() {
    // What QCustomPlot does at the start of a replot, so that sizes and pixel positions are current.
    QCPLayout *layout = plot->plotLayout();
    layout->update(QCPLayoutElement::upPreparation);
    layout->update(QCPLayoutElement::upMargins);
    layout->update(QCPLayoutElement::upLayout);
}

void PlotLayout::SetTwoLineTimeLabels(bool twoLines) {
    twoLineTimeLabels = twoLines;
    auto ticker = qSharedPointerDynamicCast<QCPAxisTickerDateTime>(plot->xAxis->ticker());
    if (ticker)
        ticker->setDateTimeFormat(twoLines ? QStringLiteral("dd.MM.yy\nHH:mm:ss")
                                           : QStringLiteral("dd.MM.yy HH:mm:ss"));
    plot->xAxis->setTickLabelRotation(twoLines ? 0 : -60);
}

void PlotLayout::FitAxisTicks() {
    QCPAxisRect *rect = plot->axisRect();
    // Rotated time labels where the plot stays tall enough with them; below about 300 pixels of plot
    // height they stand upright on two lines, date above time.
    if (plot->viewport().size() != timeLabelsSize) {
        timeLabelsSize = plot->viewport().size();
        SetTwoLineTimeLabels(false);
        LayOut();
        if (rect->height() < 300)
            SetTwoLineTimeLabels(true);
    }

    const QFontMetrics valueMetrics(plot->yAxis->tickLabelFont());
    const QFontMetrics timeMetrics(plot->xAxis->tickLabelFont());
    // Room for the halves of the outermost labels: the top value labels above the rect, the first
    // rotated time label to the left of it.
    QMargins margins = rect->minimumMargins();
    margins.setTop(valueMetrics.height() / 2 + 2);
    if (!twoLineTimeLabels) {
        const int labelWidth = timeMetrics.horizontalAdvance(QStringLiteral("00.00.00 00:00:00"));
        margins.setLeft(int(std::ceil(labelWidth * 0.5 + timeMetrics.height() * std::sin(M_PI / 3))) + 4);
    } else {
        margins.setLeft(0);
    }
    if (margins != rect->minimumMargins())
        rect->setMinimumMargins(margins);

    // Distance two neighbouring labels need between their ticks.
    const double valueNeed = valueMetrics.height() * 1.15;
    double timeNeed;
    if (twoLineTimeLabels) {
        timeNeed = std::max(timeMetrics.horizontalAdvance(QStringLiteral("00.00.00")),
                            timeMetrics.horizontalAdvance(QStringLiteral("00:00:00"))) +
                   10;
    } else {
        // Rotated labels lie side by side; the distance across them is the tick distance times sin 60°.
        timeNeed = (timeMetrics.height() + 3) / std::sin(M_PI / 3);
    }
    const auto apart = [](const QCPAxis *axis, double need) {
        const QVector<double> ticks = axis->tickVector();
        for (int i = 1; i < ticks.size(); ++i) {
            if (std::abs(axis->coordToPixel(ticks[i]) - axis->coordToPixel(ticks[i - 1])) < need)
                return false;
        }
        return true;
    };
    // The specified 20 ticks where there is room; otherwise fewer, until the readable steps the tickers
    // choose keep every two labels apart.
    const QList<QCPAxis *> valueAxes = rect->axes(QCPAxis::atLeft | QCPAxis::atRight);
    int valueCount = qBound(1, int(rect->height() / valueNeed), 20);
    int timeCount = qBound(1, int(rect->width() / timeNeed), 20);
    for (int attempt = 0; attempt < 8; ++attempt) {
        for (QCPAxis *axis : valueAxes)
            axis->ticker()->setTickCount(valueCount);
        plot->xAxis->ticker()->setTickCount(timeCount);
        LayOut();
        bool valuesApart = true;
        for (const QCPAxis *axis : valueAxes)
            valuesApart = valuesApart && (!axis->visible() || apart(axis, valueNeed));
        const bool timesApart = apart(plot->xAxis, timeNeed);
        if ((valuesApart || valueCount == 1) && (timesApart || timeCount == 1))
            break;
        if (!valuesApart)
            valueCount = std::max(1, valueCount * 2 / 3);
        if (!timesApart)
            timeCount = std::max(1, timeCount * 2 / 3);
    }
}

void PlotLayout::StackValueTags(const QVector<AxisTag *> &valueTags) {
    struct Placed {
        AxisTag *tag;
        double want;
        QSizeF size;
        double centre;
    };
    std::vector<Placed> tags;
    for (AxisTag *tag : valueTags) {
        if (!tag->label() || !tag->label()->visible())
            continue;
        const double want = tag->valuePixel();
        tags.push_back({tag, want, tag->labelSize(), want});
    }
    if (tags.empty())
        return;
    std::stable_sort(tags.begin(), tags.end(), [](const Placed &a, const Placed &b) { return a.want < b.want; });

    // Tags that would overlap are pushed apart within the widget's height; when one column cannot hold
    // them all, every k-th tag goes to the k-th column further right.
    const double gap = 1;
    const double top = 1;
    const double bottom = plot->viewport().height() - 2;
    // The column stands right of the value axes, so their labels stay readable; the arrows cross them.
    QCPAxisRect *rect = plot->axisRect();
    double axesRight = 0;
    for (QCPAxis *axis : rect->axes(QCPAxis::atRight)) {
        if (!axis->visible())
            continue;
        const QFontMetrics metrics(axis->tickLabelFont());
        int widest = 0;
        for (const QString &label : axis->tickVectorLabels())
            widest = std::max(widest, metrics.horizontalAdvance(label));
        axesRight =
            std::max(axesRight, double(axis->offset() + axis->tickLengthOut() + axis->tickLabelPadding() + widest + 4));
    }
    double total = 0;
    for (const Placed &p : tags)
        total += p.size.height() + gap;
    const int columns = std::max(1, int(std::ceil(total / std::max(1.0, bottom - top))));
    double dx = 0;
    for (int c = 0; c < columns; ++c) {
        std::vector<Placed *> column;
        for (size_t i = size_t(c); i < tags.size(); i += size_t(columns))
            column.push_back(&tags[i]);
        for (size_t i = 0; i < column.size(); ++i) {
            Placed &p = *column[i];
            p.centre = std::max(p.want, top + p.size.height() / 2);
            if (i > 0) {
                const Placed &above = *column[i - 1];
                p.centre = std::max(p.centre, above.centre + (above.size.height() + p.size.height()) / 2 + gap);
            }
        }
        for (size_t i = column.size(); i-- > 0;) {
            Placed &p = *column[i];
            double limit = bottom - p.size.height() / 2;
            if (i + 1 < column.size()) {
                const Placed &below = *column[i + 1];
                limit = below.centre - (below.size.height() + p.size.height()) / 2 - gap;
            }
            p.centre = std::min(p.centre, limit);
        }
        double width = 0;
        for (Placed *p : column) {
            // The label starts 15 pixels right of the arrow head, which sits on the tag's own axis.
            const double shift = std::max(0.0, axesRight - 15 - p->tag->axis()->offset());
            p->tag->setLabelOffset(shift + dx, p->centre - p->want);
            width = std::max(width, p->size.width());
        }
        dx += width + 4;
    }
}
