#pragma once

#include <QList>
#include <QVector>
#include <QtNumeric>

#include "qcustomplot.h"
#include "views/channel_style.h"

class AxisTag;
class QTreeWidgetItem;

// The plot's own record of what it draws for each tree item: the item's graphs, its value tag and the
// value span of the samples drawn into each graph. Kept in the order the graphs were made.
class PlottedChannels {
public:
    struct Channel {
        QTreeWidgetItem *item = nullptr;
        QCPGraph *main = nullptr;
        QCPGraph *violation = nullptr; // second graph of calculated power, else null
        AxisTag *tag = nullptr;        // archive channels only
        ChannelStyle style;
        // Value spans of the samples drawn into each graph, NaN while none is known.
        QCPRange mainRange{qQNaN(), qQNaN()};
        QCPRange violationRange{qQNaN(), qQNaN()};
    };

    void Add(QTreeWidgetItem *item, QCPGraph *main, QCPGraph *violation, AxisTag *tag,
             const ChannelStyle &style = ChannelStyle());
    // Forgets the item's record and hands it back; a record with a null item when there was none.
    Channel Take(const QTreeWidgetItem *item);
    void Clear();

    const Channel *Find(const QTreeWidgetItem *item) const;
    int Size() const { return channels.size(); }
    const Channel &At(int i) const { return channels[i]; }
    const QVector<Channel> &All() const { return channels; }
    const QList<QTreeWidgetItem *> &Items() const { return items; }
    // Every value tag, in order.
    QVector<AxisTag *> Tags() const;

    // The value span kept for a plotted graph; null for any other graph, which keeps none.
    QCPRange *RangeOf(const QCPGraph *graph);
    const QCPRange *RangeOf(const QCPGraph *graph) const;
    // Widens a kept span (null: none kept) by a range; a range with a NaN end is ignored.
    static void Extend(QCPRange *kept, const QCPRange &range);
    void ForgetRange(const QCPGraph *graph);
    // The same as QCPAxis::rescale(true), from the spans kept while drawing instead of a pass over every
    // sample: with a day of thirty channels that pass would be a good part of each tick.
    // False, the axis left alone, when no shown graph on it has a sample.
    bool RescaleValueAxis(QCPAxis *axis) const;

private:
    QVector<Channel> channels;
    QList<QTreeWidgetItem *> items; // the same items as `channels`, for callers that want the list
};
