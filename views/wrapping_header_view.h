#pragma once

#include <QHeaderView>
#include <QStringList>

// A header whose sections show their whole text: wrapped at word boundaries over the section's height,
// elided only when even that does not fit. The full text stays in the item's tool tip.
class WrappingHeaderView : public QHeaderView {
    Q_OBJECT
public:
    explicit WrappingHeaderView(Qt::Orientation orientation, QWidget *parent = nullptr);

    // The lines drawn for `text` in a box of `size`: each line of the text wrapped to the width, and
    // the last line that fits elided when more would follow.
    static QStringList FitLines(const QString &text, const QFont &font, const QSize &size);
    // Most lines a section grows to before its text is elided.
    static constexpr int MaxLines = 5;
    // Width a section is widened to for `text`: its longest line, but no more than 1.7 default widths
    // unless a single word needs it; never less than `current`.
    static int FitWidth(const QString &text, const QFont &font, int current, int defaultWidth);

    void setModel(QAbstractItemModel *model) override;

private slots:
    void FitSections(Qt::Orientation orientation, int first, int last);

protected:
    void paintSection(QPainter *painter, const QRect &rect, int logicalIndex) const override;
    QSize sectionSizeFromContents(int logicalIndex) const override;
};
