#include "views/channel_style.h"

#include <QTreeWidgetItem>
#include <QVector>
#include <cmath>

#include "views/objects_tree_widget.h"

namespace {

// Shades of each kind, darkest first; the first ones are the kinds' colours of old.
const QVector<QColor> FrequencyShades{QColor(Qt::darkGreen), QColor(0x00, 0xa0, 0x60), QColor(0x5a, 0x80, 0x00),
                                      QColor(0x00, 0x60, 0x40), QColor(0x40, 0xb0, 0x20)};
const QVector<QColor> PowerShades{QColor(Qt::blue), QColor(0x1e, 0x78, 0xd0), QColor(0x6a, 0x2e, 0xd8),
                                  QColor(0x00, 0x2a, 0x8a), QColor(0x30, 0xa0, 0xe0)};
const QVector<QColor> CalcShades{QColor(Qt::black), QColor(0x60, 0x60, 0x60), QColor(0x6b, 0x45, 0x20),
                                 QColor(0x30, 0x30, 0x50), QColor(0x88, 0x88, 0x88)};
const Qt::PenStyle Patterns[] = {Qt::SolidLine, Qt::DashLine, Qt::DotLine, Qt::DashDotLine, Qt::DashDotDotLine};

bool IsObject(const QTreeWidgetItem *item) {
    return item && item->type() == ObjectItem;
}

bool HoldsObjects(const QTreeWidgetItem *object) {
    for (int i = 0; i < object->childCount(); ++i) {
        if (IsObject(object->child(i)))
            return true;
    }
    return false;
}

// 0 for an object that holds units or stands alone, else 1 + its place among its parent's objects.
int ShadeIndex(const QTreeWidgetItem *object) {
    if (!IsObject(object) || HoldsObjects(object) || !IsObject(object->parent()))
        return 0;
    const QTreeWidgetItem *parent = object->parent();
    int index = 0;
    for (int i = 0; i < parent->childCount(); ++i) {
        const QTreeWidgetItem *sibling = parent->child(i);
        if (sibling == object)
            break;
        if (IsObject(sibling))
            ++index;
    }
    return index + 1;
}

QString ShortObject(QString name) {
    if (name.startsWith(QStringLiteral("Энергоблок")))
        name = QStringLiteral("ЭБ") + name.mid(10);
    return name;
}

} // namespace

QPen ChannelStyle::PenOf(int type, int shade) {
    const QVector<QColor> &shades = (type == FreqItem || type == CsvFreqItem)     ? FrequencyShades
                                    : (type == PowerItem || type == CsvPowerItem) ? PowerShades
                                                                                  : CalcShades;
    const int count = int(std::size(Patterns));
    QPen pen(shades[shade % shades.size()], 1);
    pen.setStyle(Patterns[shade % count]);
    return pen;
}

ChannelStyle ChannelStyle::Of(const QTreeWidgetItem *item) {
    ChannelStyle style;
    const int type = item->type();
    const QTreeWidgetItem *owner = item->parent();
    switch (type) {
    case FreqItem:
    case CsvFreqItem:
        style.channel = QStringLiteral("Частота");
        style.shortChannel = QStringLiteral("f");
        style.unit = QStringLiteral("Гц");
        style.decimals = 3;
        style.frequencyAxis = true;
        break;
    case PowerItem:
    case CsvPowerItem:
        style.channel = QStringLiteral("Мощность");
        style.shortChannel = QStringLiteral("P");
        style.unit = QStringLiteral("МВт");
        style.kind = 1;
        break;
    default:
        style.channel = QStringLiteral("Расчетная мощность");
        style.shortChannel = QStringLiteral("Pрасч");
        style.unit = QStringLiteral("МВт");
        style.kind = 2;
        break;
    }
    if (owner) {
        style.object = owner->text(0);
        if (IsObject(owner->parent()))
            style.station = owner->parent()->text(0);
    }
    style.pen = PenOf(type, ShadeIndex(owner));
    return style;
}

QString ChannelStyle::FullName() const {
    QStringList parts;
    for (const QString &part : {station, object, channel}) {
        if (!part.isEmpty())
            parts << part;
    }
    return parts.join(QStringLiteral(" / "));
}

QString ChannelStyle::Place() const {
    return station.isEmpty() ? ShortObject(object) : station + QStringLiteral(" / ") + ShortObject(object);
}

QString ChannelStyle::ShortName() const {
    return Place() + QStringLiteral(" / ") + shortChannel;
}

QString ChannelStyle::Value(double value, const QLocale &locale) const {
    if (std::isnan(value))
        return QStringLiteral("—");
    return locale.toString(value, 'f', decimals) + QLatin1Char(' ') + unit;
}

QString ChannelStyle::TagText(double value, const QLocale &locale) const {
    QStringList where;
    if (!station.isEmpty())
        where << station;
    if (!object.isEmpty())
        where << ShortObject(object);
    return Value(value, locale) + QLatin1Char(' ') + where.join(QStringLiteral(" / ")) + QLatin1Char(' ') +
           shortChannel;
}
