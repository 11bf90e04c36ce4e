#include "views/plot_legend.h"

#include <algorithm>

namespace {
constexpr int LegendRow = 1;
constexpr int MinPlotHeight = 360; // pixels; a shorter plot shows no legend
const char *const NamedProperty = "zentaLegend";
} // namespace

void PlotLegend::Name(QCPAbstractPlottable *graph) {
    graph->setProperty(NamedProperty, true);
}

PlotLegend::PlotLegend(QCustomPlot *plot) : plot(plot) {}

void PlotLegend::SetUp() {
    QCPLegend *legend = plot->legend;
    plot->setAutoAddPlottableToLegend(false);
    QFont font = plot->font();
    font.setPointSizeF(font.pointSizeF() * 0.85);
    legend->setFont(font);
    legend->setBorderPen(QPen(QColor(0xc0, 0xc0, 0xc0)));
    legend->setIconSize(28, 10);
    legend->setRowSpacing(0);
    legend->setColumnSpacing(12);
    legend->setMargins(QMargins(6, 2, 6, 2));
    legend->setSelectableParts(QCPLegend::spNone);
    SetVisible(visible);
}

void PlotLegend::SetVisible(bool shown) {
    visible = shown;
    Place(visible && plot->legend->itemCount() > 0 && plot->height() >= MinPlotHeight);
}

void PlotLegend::Place(bool shown) {
    QCPLegend *legend = plot->legend;
    QCPLayoutGrid *layout = plot->plotLayout();
    const bool placed = legend->layout() == layout;
    if (shown != placed || legend->visible() != shown) {
        // Out of its band when hidden, so that the band takes no room from the plot.
        if (legend->layout())
            legend->layout()->take(legend);
        layout->simplify();
        if (shown) {
            layout->addElement(LegendRow, 0, legend);
            layout->setRowStretchFactor(LegendRow, 0.001);
        }
        legend->setVisible(shown);
    }
}

void PlotLegend::Arrange() {
    QCPLegend *legend = plot->legend;
    // Only the curves shown: a channel unchecked or waiting to be deleted is not named.
    for (int i = 0; i < plot->plottableCount(); ++i) {
        QCPAbstractPlottable *graph = plot->plottable(i);
        const bool named = graph->property(NamedProperty).toBool() && graph->visible();
        if (named != legend->hasItemWithPlottable(graph)) {
            if (named)
                graph->addToLegend();
            else
                graph->removeFromLegend();
        }
    }
    int widest = 1;
    for (int i = 0; i < legend->itemCount(); ++i) {
        if (QCPAbstractLegendItem *item = legend->item(i))
            widest = std::max(widest, item->minimumOuterSizeHint().width());
    }
    const int room = plot->width() - legend->margins().left() - legend->margins().right();
    const int columns = std::max(1, (room + legend->columnSpacing()) / (widest + legend->columnSpacing()));
    if (legend->wrap() != columns || legend->fillOrder() != QCPLayoutGrid::foColumnsFirst) {
        legend->setWrap(columns);
        legend->setFillOrder(QCPLayoutGrid::foColumnsFirst, true);
    }
    // A short plot keeps its height for the curves: no legend that would take more than a quarter.
    int tallest = 1;
    for (int i = 0; i < legend->itemCount(); ++i) {
        if (QCPAbstractLegendItem *item = legend->item(i))
            tallest = std::max(tallest, item->minimumOuterSizeHint().height());
    }
    const int rows = (legend->itemCount() + columns - 1) / columns;
    const int height = rows * (tallest + legend->rowSpacing()) + legend->margins().top() + legend->margins().bottom();
    Place(visible && legend->itemCount() > 0 && plot->height() >= MinPlotHeight && height * 4 <= plot->height());
}
