#include "delegates/decimal_spin_box.h"

#include <QLocale>

DecimalSpinBox::DecimalSpinBox(QWidget *parent) : QDoubleSpinBox(parent) {
    setDecimals(MaxDecimals);
}

QString DecimalSpinBox::Normalized(const QString &text) const {
    const QChar point = locale().decimalPoint();
    const QChar group = locale().groupSeparator();
    QString result;
    result.reserve(text.size());
    for (const QChar c : text) {
        if (c == QLatin1Char('.') || c == QLatin1Char(','))
            result += point;
        else if (c != group && c != QChar(0x00A0) && c != QLatin1Char(' '))
            result += c;
    }
    return result;
}

QValidator::State DecimalSpinBox::validate(QString &text, int &pos) const {
    const int before = text.size();
    text = Normalized(text);
    pos = qBound(0, pos - (before - text.size()), text.size());
    return QDoubleSpinBox::validate(text, pos);
}

double DecimalSpinBox::valueFromText(const QString &text) const {
    return QDoubleSpinBox::valueFromText(Normalized(text));
}

QString DecimalSpinBox::textFromValue(double value) const {
    // Fixed notation with the decimals the value needs, no group separators.
    QString text = locale().toString(value, 'f', MaxDecimals);
    text.remove(locale().groupSeparator());
    const QChar point = locale().decimalPoint();
    if (text.contains(point)) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(point))
            text.chop(1);
    }
    return text;
}
