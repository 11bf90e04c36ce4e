#include "views/plotted_channels.h"

#include <QtNumeric>
#include <cmath>

void PlottedChannels::Add(QTreeWidgetItem *item, QCPGraph *main, QCPGraph *violation, AxisTag *tag,
                          const ChannelStyle &style) {
    Channel channel;
    channel.item = item;
    channel.main = main;
    channel.violation = violation;
    channel.tag = tag;
    channel.style = style;
    channels.append(channel);
    items.append(item);
}

PlottedChannels::Channel PlottedChannels::Take(const QTreeWidgetItem *item) {
    const int at = items.indexOf(const_cast<QTreeWidgetItem *>(item));
    if (at < 0)
        return Channel();
    items.removeAt(at);
    return channels.takeAt(at);
}

void PlottedChannels::Clear() {
    channels.clear();
    items.clear();
}

const PlottedChannels::Channel *PlottedChannels::Find(const QTreeWidgetItem *item) const {
    const int at = items.indexOf(const_cast<QTreeWidgetItem *>(item));
    return at < 0 ? nullptr : &channels[at];
}

QVector<AxisTag *> PlottedChannels::Tags() const {
    QVector<AxisTag *> tags;
    tags.reserve(channels.size());
    for (const Channel &channel : channels) {
        if (channel.tag)
            tags.append(channel.tag);
    }
    return tags;
}

QCPRange *PlottedChannels::RangeOf(const QCPGraph *graph) {
    if (!graph)
        return nullptr;
    for (Channel &channel : channels) {
        if (channel.main == graph)
            return &channel.mainRange;
        if (channel.violation == graph)
            return &channel.violationRange;
    }
    return nullptr;
}

const QCPRange *PlottedChannels::RangeOf(const QCPGraph *graph) const {
    if (!graph)
        return nullptr;
    for (const Channel &channel : channels) {
        if (channel.main == graph)
            return &channel.mainRange;
        if (channel.violation == graph)
            return &channel.violationRange;
    }
    return nullptr;
}

void PlottedChannels::Extend(QCPRange *kept, const QCPRange &range) {
    if (!kept || std::isnan(range.lower) || std::isnan(range.upper))
        return;
    if (std::isnan(kept->lower))
        *kept = range;
    else
        kept->expand(range);
}

void PlottedChannels::ForgetRange(const QCPGraph *graph) {
    if (QCPRange *kept = RangeOf(graph))
        *kept = QCPRange(qQNaN(), qQNaN());
}

bool PlottedChannels::RescaleValueAxis(QCPAxis *axis) const {
    bool found = false;
    QCPRange range;
    for (QCPAbstractPlottable *plottable : axis->plottables()) {
        if (!plottable->realVisibility())
            continue;
        QCPRange part;
        bool partFound = false;
        auto *graph = qobject_cast<QCPGraph *>(plottable);
        const QCPRange *kept = RangeOf(graph);
        if (kept && !std::isnan(kept->lower)) {
            part = *kept;
            partFound = true;
        } else if (!graph || !graph->data()->isEmpty()) {
            part = plottable->getValueRange(partFound, QCP::sdBoth);
        }
        if (!partFound)
            continue;
        if (found)
            range.expand(part);
        else
            range = part;
        found = true;
    }
    if (!found)
        return false;
    if (!QCPRange::validRange(range)) {
        const double center = (range.lower + range.upper) * 0.5;
        range = QCPRange(center - axis->range().size() / 2.0, center + axis->range().size() / 2.0);
    }
    axis->setRange(range);
    return true;
}
