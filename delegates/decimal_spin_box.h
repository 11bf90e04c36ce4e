#pragma once

#include <QDoubleSpinBox>

// A number box for real-valued settings: it shows a value with as many decimals as it has (up to six),
// so that opening and committing a setting never rounds it, and takes "," and "." alike as the decimal
// separator whatever the locale, so that "0.075" typed on a Russian desktop is 0.075, not 75.
class DecimalSpinBox : public QDoubleSpinBox {
    Q_OBJECT
public:
    explicit DecimalSpinBox(QWidget *parent = nullptr);

    static constexpr int MaxDecimals = 6;

    QValidator::State validate(QString &text, int &pos) const override;
    double valueFromText(const QString &text) const override;
    QString textFromValue(double value) const override;

private:
    // The text with either separator turned into the locale's and group separators dropped.
    QString Normalized(const QString &text) const;
};
