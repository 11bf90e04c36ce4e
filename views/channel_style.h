#pragma once

#include <QLocale>
#include <QPen>
#include <QString>

class QTreeWidgetItem;

// How a plotted channel looks and is named, alike on its curve, in the legend, its value tag and the
// cursor readout. The colour tells the kind of channel; the units of one station differ in shade and
// line pattern.
struct ChannelStyle {
    // The style of a channel node of the objects tree (an object's or a CSV file's channel).
    static ChannelStyle Of(const QTreeWidgetItem *channel);
    // The pen of a kind of channel for the n-th unit of a station (0: the station itself or a file).
    static QPen PenOf(int type, int shade);

    QPen pen;
    QString station; // the object above the channel's object; empty when none
    QString object;  // the channel's object or file
    QString channel; // the channel's name without its unit
    QString shortChannel;
    QString unit;
    int decimals = 2;
    int kind = 0; // 0 frequency, 1 power, 2 calculated power
    bool frequencyAxis = false;

    // "Station / unit / channel".
    QString FullName() const;
    // "Station / unit": where the channel is measured.
    QString Place() const;
    // "Station / unit / f": the legend's short form of the full name.
    QString ShortName() const;
    // The value with the unit, in the locale the axes write their numbers in; "—" for NaN.
    QString Value(double value, const QLocale &locale) const;
    // A value tag: the value, then a short station, unit and channel.
    QString TagText(double value, const QLocale &locale) const;
};
